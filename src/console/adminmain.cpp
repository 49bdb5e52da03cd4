#include "console/adminmain.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "console/addform.h"
#include "console/addressform.h"
#include "channels/admintexts.h"
#include "console/applicationform.h"
#include "console/consolelist.h"
#include "console/groupform.h"
#include "channels/supervisor.h"
#include "ui/aboutsorvixform.h"
#include "ui/authorizated.h"
#include "ui/help.h"
#include "ui/prompt.h"
#include "engine/device.h"
#include "engine/flow.h"
#include "engine/texts.h"
#include "platform/registry.h"

TfrmSorvixAdmin* frmSorvixAdmin = nullptr;
TfrmApplication* frmApplication = nullptr;
TfrmGroup* frmGroup = nullptr;
TfrmAdd* frmAdd = nullptr;
TfrmAboutSorvix* frmAboutSorvix = nullptr;
TfrmAuthorizated* frmAuthorizated = nullptr;
TfrmAddress* frmAddress = nullptr;

namespace {

constexpr int KindRole = Qt::UserRole;

QTreeWidgetItem* makeNode(const QString& caption, int kind, int image)
{
    auto* node = new QTreeWidgetItem(QStringList{caption});
    node->setData(0, KindRole, kind);
    node->setIcon(0, consoleImage(image));
    return node;
}

bool contains(const std::vector<int>& rows, int row)
{
    return std::find(rows.begin(), rows.end(), row) != rows.end();
}

// Makes a list show exactly these rows of the model (each list row's data is its model row): the
// rows that stay keep their place and their selection, new ones follow in the order given.
void followRows(ConsoleListView* list, const std::vector<int>& rows, const QStringList& names, int image)
{
    std::vector<int> shown;
    for (int r = list->rowCount() - 1; r >= 0; --r) {
        if (contains(rows, list->rowData(r))) shown.push_back(list->rowData(r));
        else list->removeRow(r);
    }
    for (int row : rows)
        if (!contains(shown, row)) list->addRow(names.value(row), image, {}, row);
    for (int r = 0; r < list->rowCount(); ++r) list->setText(r, 0, names.value(list->rowData(r)));
}

}  // namespace

void createConsoleDialogs(TfrmSorvixAdmin* main)
{
    frmApplication = new TfrmApplication(&main->config(), main);
    frmGroup = new TfrmGroup(&main->config(), main);
    frmAdd = new TfrmAdd(main);
    frmAboutSorvix = new TfrmAboutSorvix(main);
    const std::unique_ptr<WaveDeviceList> waves = WaveDeviceList::system();
    frmAuthorizated = new TfrmAuthorizated(main->TAPI3Device.get(), *waves, main);
    frmAddress = new TfrmAddress(main);

    // The console has no use for the spacer above the channel properties.
    frmAuthorizated->hideTopSpacer();
    frmAuthorizated->OnCheckAddress = [main](int address, int gateway, QString* error) {
        main->CheckAddressInUse(address, gateway, error);
    };
}

// ---- creation ----

TfrmSorvixAdmin::TfrmSorvixAdmin(std::shared_ptr<ITAPI3Device> device, const QString& registryFile, QWidget* parent)
    : TSorvixForm(parent), TAPI3Device(std::move(device))
{
    setObjectName(QStringLiteral("TfrmSorvixAdmin"));
    createActions();
    createMenus();
    createLayout();
    FRegistry = std::make_unique<RegistryStore>(registryFile);
    FormCreate();
}

TfrmSorvixAdmin::~TfrmSorvixAdmin()
{
    // The dialogs are children of this window and go with it.
    if (frmSorvixAdmin == this) {
        frmSorvixAdmin = nullptr;
        frmApplication = nullptr;
        frmGroup = nullptr;
        frmAdd = nullptr;
        frmAboutSorvix = nullptr;
        frmAuthorizated = nullptr;
        frmAddress = nullptr;
    }
}

QAction* TfrmSorvixAdmin::action(const QString& caption, int image)
{
    auto* a = new QAction(caption, this);
    if (image >= 0) a->setIcon(withDisabledLook(consoleImage(image)));
    a->setToolTip(TIVRFlow::CaptionToName(caption));
    return a;
}

void TfrmSorvixAdmin::createActions()
{
    acNewApplication = action(adm::New);
    acDeleteApplication = action(adm::Delete);
    acEditApplication = action(adm::Property);
    acNewGroup = action(adm::New);
    acDeleteGroup = action(adm::Delete);
    acEditGroup = action(adm::Property);
    acAddAddress = action(adm::Add);
    acRemoveAddress = action(adm::Remove);
    acAddGroup = action(adm::Add);
    acRemoveGroup = action(adm::Remove);
    acSetApplication = action(adm::Property);
    acClearAddressSet = action(adm::Reset);
    acClearAllAddressSet = action(adm::ResetAll);
    acSetAddress = action(adm::Property);
    acClearAuthorizationSet = action(adm::Reset);
    acAuthorizatedResetAll = action(adm::ResetAll);
    acStartAll = action(adm::StartAll, 6);
    acStart = action(adm::Start, 7);
    acStop = action(txt::mnuStop, 8);
    acStopAll = action(adm::StopAll, 9);
    acToolBar = action(adm::ToolBar);
    acStatusBar = action(adm::StatusBar);
    acShowExplorBar = action(adm::Visible);
    acAuthorization = action(adm::AuthorizedChannels, 0);
    acApplication = action(adm::Applications, 3);
    acAddress = action(adm::Addresses, 1);
    acGroup = action(adm::Groups, 2);
    acLargeIcon = action(adm::LargeIcons);
    acSmallIcon = action(adm::SmallIcons);
    acList = action(adm::List);
    acDetail = action(adm::Details);
    acHelpContent = action(txt::mnuContents);
    acAbout = action(txt::About + ProductTitle + txt::AboutTail);

    // Keys of one list act on that list only: they work while the list has the focus.
    auto listKey = [](QAction* a, const QList<QKeySequence>& keys) {
        a->setShortcuts(keys);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    };
    listKey(acNewApplication, {QKeySequence(Qt::CTRL | Qt::Key_N)});
    listKey(acDeleteApplication, {QKeySequence(Qt::Key_Delete)});
    listKey(acEditApplication, {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    listKey(acNewGroup, {QKeySequence(Qt::CTRL | Qt::Key_N)});
    listKey(acDeleteGroup, {QKeySequence(Qt::Key_Delete)});
    listKey(acEditGroup, {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    acAddAddress->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    acRemoveAddress->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    acAddGroup->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    acRemoveGroup->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    acStart->setShortcut(QKeySequence(Qt::Key_F5));
    acStop->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5));
    for (QAction* a : {acAddAddress, acRemoveAddress, acAddGroup, acRemoveGroup, acStart, acStop}) {
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
    }

    for (QAction* a : {acToolBar, acStatusBar, acShowExplorBar}) {
        a->setCheckable(true);
        a->setChecked(true);
    }
    FExplorGroup = new QActionGroup(this);
    for (QAction* a : {acAuthorization, acApplication, acAddress, acGroup}) {
        a->setCheckable(true);
        FExplorGroup->addAction(a);
    }
    FStyleGroup = new QActionGroup(this);
    for (QAction* a : {acLargeIcon, acSmallIcon, acList, acDetail}) {
        a->setCheckable(true);
        FStyleGroup->addAction(a);
    }
    acDetail->setChecked(true);

    connect(acNewApplication, &QAction::triggered, this, &TfrmSorvixAdmin::acNewApplicationExecute);
    connect(acDeleteApplication, &QAction::triggered, this, &TfrmSorvixAdmin::acDeleteApplicationExecute);
    connect(acEditApplication, &QAction::triggered, this, &TfrmSorvixAdmin::acEditApplicationExecute);
    connect(acNewGroup, &QAction::triggered, this, &TfrmSorvixAdmin::acNewGroupExecute);
    connect(acDeleteGroup, &QAction::triggered, this, &TfrmSorvixAdmin::acDeleteGroupExecute);
    connect(acEditGroup, &QAction::triggered, this, &TfrmSorvixAdmin::acEditGroupExecute);
    connect(acAddAddress, &QAction::triggered, this, &TfrmSorvixAdmin::acAddAddressExecute);
    connect(acRemoveAddress, &QAction::triggered, this, &TfrmSorvixAdmin::acRemoveAddressExecute);
    connect(acAddGroup, &QAction::triggered, this, &TfrmSorvixAdmin::acAddGroupExecute);
    connect(acRemoveGroup, &QAction::triggered, this, &TfrmSorvixAdmin::acRemoveGroupExecute);
    connect(acSetApplication, &QAction::triggered, this, &TfrmSorvixAdmin::acSetApplicationExecute);
    connect(acClearAddressSet, &QAction::triggered, this, &TfrmSorvixAdmin::acClearAddressSetExecute);
    connect(acClearAllAddressSet, &QAction::triggered, this, &TfrmSorvixAdmin::acClearAllAddressSetExecute);
    connect(acSetAddress, &QAction::triggered, this, &TfrmSorvixAdmin::acSetAddressExecute);
    connect(acClearAuthorizationSet, &QAction::triggered, this, &TfrmSorvixAdmin::acClearAuthorizationSetExecute);
    connect(acAuthorizatedResetAll, &QAction::triggered, this, &TfrmSorvixAdmin::acAuthorizatedResetAllExecute);
    connect(acStartAll, &QAction::triggered, this, &TfrmSorvixAdmin::acStartAllExecute);
    connect(acStart, &QAction::triggered, this, &TfrmSorvixAdmin::acStartExecute);
    connect(acStop, &QAction::triggered, this, &TfrmSorvixAdmin::acStopExecute);
    connect(acStopAll, &QAction::triggered, this, &TfrmSorvixAdmin::acStopAllExecute);
    connect(acToolBar, &QAction::triggered, this, &TfrmSorvixAdmin::acToolBarExecute);
    connect(acStatusBar, &QAction::triggered, this, &TfrmSorvixAdmin::acStatusBarExecute);
    connect(acShowExplorBar, &QAction::triggered, this, &TfrmSorvixAdmin::acShowExplorBarExecute);
    connect(acAuthorization, &QAction::triggered, this, [this] { selectNode(FChannelsNode); });
    connect(acApplication, &QAction::triggered, this, [this] { selectNode(FApplicationsNode); });
    connect(acAddress, &QAction::triggered, this, [this] { selectNode(FAddressesNode); });
    connect(acGroup, &QAction::triggered, this, [this] { selectNode(FGroupsNode); });
    connect(acLargeIcon, &QAction::triggered, this, [this] { setViewStyle(ConsoleListView::vsIcon); });
    connect(acSmallIcon, &QAction::triggered, this, [this] { setViewStyle(ConsoleListView::vsSmallIcon); });
    connect(acList, &QAction::triggered, this, [this] { setViewStyle(ConsoleListView::vsList); });
    connect(acDetail, &QAction::triggered, this, [this] { setViewStyle(ConsoleListView::vsReport); });
    connect(acHelpContent, &QAction::triggered, this, &TfrmSorvixAdmin::acHelpContentExecute);
    connect(acAbout, &QAction::triggered, this, &TfrmSorvixAdmin::acAboutExecute);
}

void TfrmSorvixAdmin::createMenus()
{
    auto menu = [this](QMenu* m, std::initializer_list<QAction*> items) {
        for (QAction* a : items) {
            if (a) m->addAction(a);
            else m->addSeparator();
        }
        return m;
    };
    popmApplication = menu(new QMenu(this), {acNewApplication, acDeleteApplication, nullptr, acEditApplication});
    popmAllGroup = menu(new QMenu(this), {acNewGroup, acDeleteGroup, nullptr, acEditGroup});
    popmAllAddress = menu(new QMenu(this), {acClearAddressSet, acClearAllAddressSet, nullptr, acSetApplication});
    popmAuthorization =
        menu(new QMenu(this), {acClearAuthorizationSet, acAuthorizatedResetAll, nullptr, acSetAddress});
    popmAddress = menu(new QMenu(this), {acAddAddress, acRemoveAddress});
    popmGroup = menu(new QMenu(this), {acAddGroup, acRemoveGroup});

    // The application node's menu carries the four commands under captions of their own.
    popmOperateAddressAndGroup = new QMenu(this);
    auto item = [this](const QString& caption, QAction* command) {
        QAction* a = popmOperateAddressAndGroup->addAction(caption);
        a->setShortcut(command->shortcut());
        a->setShortcutContext(Qt::WidgetShortcut);  // the command's own shortcut does the work
        connect(a, &QAction::triggered, command, &QAction::trigger);
        connect(command, &QAction::changed, a, [a, command] { a->setEnabled(command->isEnabled()); });
        return a;
    };
    miAddAddress = item(adm::AddAddress, acAddAddress);
    miRemoveAddress = item(adm::RemoveAddress, acRemoveAddress);
    popmOperateAddressAndGroup->addSeparator();
    miAddGroup = item(adm::AddGroup, acAddGroup);
    miRemoveGroup = item(adm::RemoveGroup, acRemoveGroup);

    popmRun = menu(new QMenu(this), {acStartAll, acStart, acStop, acStopAll});
    popmExplorBar = menu(new QMenu(adm::ExplorBar, this), {acShowExplorBar, acAuthorization, acApplication, acAddress, acGroup});
    popmView = menu(new QMenu(this), {acToolBar, acStatusBar});
    popmView->addMenu(popmExplorBar);
    menu(popmView, {nullptr, acLargeIcon, acSmallIcon, acList, acDetail});
    popmHelp = menu(new QMenu(this), {acHelpContent, nullptr, acAbout});

    connect(popmApplication, &QMenu::aboutToShow, this, &TfrmSorvixAdmin::popmApplicationPopup);
    connect(popmAllGroup, &QMenu::aboutToShow, this, &TfrmSorvixAdmin::popmAllGroupPopup);
    connect(popmAllAddress, &QMenu::aboutToShow, this, &TfrmSorvixAdmin::popmAllAddressPopup);
    connect(popmGroup, &QMenu::aboutToShow, this, &TfrmSorvixAdmin::popmGroupPopup);
    connect(popmAddress, &QMenu::aboutToShow, this, &TfrmSorvixAdmin::popmGroupPopup);
    connect(popmOperateAddressAndGroup, &QMenu::aboutToShow, this, &TfrmSorvixAdmin::popmGroupPopup);
    connect(popmAuthorization, &QMenu::aboutToShow, this, &TfrmSorvixAdmin::popmAuthorizationPopup);
    connect(popmView, &QMenu::aboutToShow, this, &TfrmSorvixAdmin::popmViewPopup);
    connect(popmExplorBar, &QMenu::aboutToShow, this, &TfrmSorvixAdmin::popmExplorBarPopup);
}

void TfrmSorvixAdmin::createLayout()
{
    // The menu bar and the tool bar share the top row, as two bands.
    tbarMenu = new QMenuBar(this);
    tbarMenu->setNativeMenuBar(false);
    mnuRunButton = tbarMenu->addMenu(popmRun);
    mnuRunButton->setText(adm::mnuRun);
    mnuOperateButton = tbarMenu->addMenu(popmAuthorization);
    mnuOperateButton->setText(adm::mnuOperate);
    mnuViewButton = tbarMenu->addMenu(popmView);
    mnuViewButton->setText(adm::mnuView);
    mnuHelpButton = tbarMenu->addMenu(popmHelp);
    mnuHelpButton->setText(adm::mnuHelp);
    FOperateMenu = popmAuthorization;

    bandMenu = new QToolBar(this);
    bandMenu->setObjectName(QStringLiteral("bandMenu"));
    bandMenu->setMovable(false);
    bandMenu->setFloatable(false);
    bandMenu->toggleViewAction()->setVisible(false);
    bandMenu->addWidget(tbarMenu);
    addToolBar(Qt::TopToolBarArea, bandMenu);

    tbarTool = new QToolBar(this);
    tbarTool->setObjectName(QStringLiteral("tbarTool"));
    tbarTool->setFloatable(false);
    tbarTool->toggleViewAction()->setVisible(false);
    tbarTool->setToolButtonStyle(Qt::ToolButtonIconOnly);
    tbarTool->addActions({acStartAll, acStart, acStop, acStopAll});
    addToolBar(Qt::TopToolBarArea, tbarTool);
    setContextMenuPolicy(Qt::NoContextMenu);

    splitMain = new QSplitter(Qt::Horizontal, this);
    splitMain->setChildrenCollapsible(false);
    tvMain = new QTreeWidget(splitMain);
    tvMain->setHeaderHidden(true);
    tvMain->setColumnCount(1);
    tvMain->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvMain->setExpandsOnDoubleClick(true);
    tvMain->setContextMenuPolicy(Qt::CustomContextMenu);
    tvMain->setMinimumWidth(120);

    pnlLists = new QWidget(splitMain);
    auto* lists = new QVBoxLayout(pnlLists);
    lists->setContentsMargins(0, 0, 0, 0);
    lists->setSpacing(0);
    auto list = [this](QMenu* popup) {
        auto* l = new ConsoleListView(pnlLists);
        l->setPopupMenu(popup);
        return l;
    };
    lvAllAuthorization = list(popmAuthorization);
    lvAllAuthorization->setColumns({{adm::Name, 100}, {adm::Address, 200}, {adm::Gateway, 75}, {adm::State, 75}});
    lvAllApplication = list(popmApplication);
    lvAllApplication->setColumns({{adm::Name, 100}, {adm::FlowFile, -1}});
    lvAllAddress = list(popmAllAddress);
    lvAllAddress->setColumns({{adm::Name, 300}, {adm::Application, 100}, {adm::Group, 100}});
    lvAllGroup = list(popmAllGroup);
    lvAllGroup->setColumns({{adm::Name, 100}, {adm::Application, 100}});
    splitSub = new QSplitter(Qt::Vertical, pnlLists);
    splitSub->setChildrenCollapsible(false);
    lvGroup = new ConsoleListView(splitSub);
    lvGroup->setPopupMenu(popmGroup);
    lvGroup->setColumns({{adm::Group, 300}});
    lvAddress = new ConsoleListView(splitSub);
    lvAddress->setPopupMenu(popmAddress);
    lvAddress->setColumns({{adm::Address, 300}});
    splitSub->addWidget(lvGroup);
    splitSub->addWidget(lvAddress);
    for (QWidget* w : std::initializer_list<QWidget*>{lvAllAuthorization, lvAllApplication, lvAllAddress, lvAllGroup, splitSub}) {
        lists->addWidget(w);
        w->hide();
    }

    splitMain->addWidget(tvMain);
    splitMain->addWidget(pnlLists);
    splitMain->setStretchFactor(0, 0);
    splitMain->setStretchFactor(1, 1);
    splitMain->setSizes({200, 600});
    setCentralWidget(splitMain);

    StatusLine = new QStatusBar(this);
    setStatusBar(StatusLine);

    // The keys of each list's commands belong to that list.
    lvAllApplication->addActions({acNewApplication, acDeleteApplication, acEditApplication});
    lvAllGroup->addActions({acNewGroup, acDeleteGroup, acEditGroup});

    connect(tvMain, &QTreeWidget::currentItemChanged, this, [this] { tvMainChange(); });
    connect(tvMain, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* node) {
        if (node == FApplicationsNode || node == FGroupsNode) node->setIcon(0, consoleImage(5));
    });
    connect(tvMain, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem* node) {
        if (node == FApplicationsNode || node == FGroupsNode) node->setIcon(0, consoleImage(4));
    });
    connect(tvMain, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (QTreeWidgetItem* node = tvMain->itemAt(pos)) tvMain->setCurrentItem(node);
        popmRun->popup(tvMain->viewport()->mapToGlobal(pos));
    });
    connect(lvAllApplication, &ConsoleListView::rowDoubleClicked, this, &TfrmSorvixAdmin::acEditApplicationExecute);
    connect(lvAllGroup, &ConsoleListView::rowDoubleClicked, this, &TfrmSorvixAdmin::acEditGroupExecute);
    connect(lvAllAddress, &ConsoleListView::rowDoubleClicked, this, &TfrmSorvixAdmin::acSetApplicationExecute);
    connect(lvAllAuthorization, &ConsoleListView::rowDoubleClicked, this, &TfrmSorvixAdmin::acSetAddressExecute);
    for (ConsoleListView* l : {lvAllAuthorization, lvAllApplication, lvAllAddress, lvAllGroup, lvAddress, lvGroup})
        connect(l, &ConsoleListView::selectionChanged, this, &TfrmSorvixAdmin::updateActions);
}

void TfrmSorvixAdmin::FormCreate()
{
    // Applications and groups from the store, the addresses from the device.
    FConfig = std::make_unique<ConsoleConfig>(FRegistry.get());
    QStringList addressNames;
    if (TAPI3Device) {
        TAPI3Device->GetAddressCount(FAddressCount);
        TAPI3Device->GetGatewayAddress(FGatewayAddressIndex);
        for (int i = 0; i < FAddressCount; ++i) {
            QString name;
            TAPI3Device->GetAddressName(i, name);
            addressNames << name;
        }
    }
    if (!FConfig->load(addressNames) && !askUnreadableStore(FConfig->errorString())) FConfig->clear(addressNames);

    FApplicationsNode = makeNode(adm::Applications, nkApplications, 4);
    tvMain->addTopLevelItem(FApplicationsNode);
    for (size_t i = 0; i < FConfig->applications().size(); ++i)
        appendModelRow(ConsoleConfig::Table::Applications, int(i));
    FGroupsNode = makeNode(adm::Groups, nkGroups, 4);
    tvMain->addTopLevelItem(FGroupsNode);
    for (size_t i = 0; i < FConfig->groups().size(); ++i) appendModelRow(ConsoleConfig::Table::Groups, int(i));
    FAddressesNode = makeNode(adm::Addresses, nkAddresses, 1);
    tvMain->insertTopLevelItem(tvMain->indexOfTopLevelItem(FGroupsNode), FAddressesNode);
    for (const ConsoleConfig::Address& a : FConfig->addresses()) lvAllAddress->addRow(a.name, 1, {QString(), QString()});

    // The channel rows, fixed while the console runs.
    FChannelNames = ConsoleConfig::channelNames(FRegistry.get(), FAddressCount);
    FSupervisor = std::make_unique<ChannelSupervisor>(TAPI3Device, FRegistry.get(), FConfig.get(), FChannelNames,
                                                      FGatewayAddressIndex);
    FChannelsNode = makeNode(adm::AuthorizedChannels, nkChannels, 0);
    tvMain->insertTopLevelItem(tvMain->indexOfTopLevelItem(FApplicationsNode), FChannelsNode);
    for (const QString& name : FChannelNames) lvAllAuthorization->addRow(name, 0, {QString(), QString(), QString()});
    connect(FSupervisor.get(), &ChannelSupervisor::channelStateChanged, this, &TfrmSorvixAdmin::channelRowChanged);
    connect(FSupervisor.get(), &ChannelSupervisor::channelOptionsChanged, this, &TfrmSorvixAdmin::channelRowChanged);

    // From here on the tree and the lists follow the model, whoever changes it.
    connect(FConfig.get(), &ConsoleConfig::rowAppended, this, &TfrmSorvixAdmin::appendModelRow);
    connect(FConfig.get(), &ConsoleConfig::rowsRemoved, this, &TfrmSorvixAdmin::removeModelRows);
    connect(FConfig.get(), &ConsoleConfig::changed, this, &TfrmSorvixAdmin::modelChanged);

    refreshColumns();
    tvMain->expandAll();
    // Expanding the whole tree at once raises no expansion signals: give the folders their picture.
    for (QTreeWidgetItem* folder : {FApplicationsNode, FGroupsNode}) folder->setIcon(0, consoleImage(5));

    setWindowTitle(ProductTitle);
    resize(820, 560);
    selectNode(FChannelsNode);
}

// ---- tree and lists ----

int TfrmSorvixAdmin::selectedKind() const
{
    const QTreeWidgetItem* node = tvMain->currentItem();
    return node ? node->data(0, KindRole).toInt() : -1;
}

int TfrmSorvixAdmin::selectedNodeRow() const
{
    QTreeWidgetItem* node = tvMain->currentItem();
    const int kind = selectedKind();
    if (kind != nkApplication && kind != nkGroup) return -1;
    return node->parent()->indexOfChild(node);
}

void TfrmSorvixAdmin::selectNode(QTreeWidgetItem* node)
{
    if (node) tvMain->setCurrentItem(node);
}

std::vector<ConsoleListView*> TfrmSorvixAdmin::shownLists() const
{
    switch (selectedKind()) {
    case nkChannels: return {lvAllAuthorization};
    case nkApplications: return {lvAllApplication};
    case nkApplication: return {lvGroup, lvAddress};
    case nkAddresses: return {lvAllAddress};
    case nkGroups: return {lvAllGroup};
    case nkGroup: return {lvAddress};
    default: return {};
    }
}

void TfrmSorvixAdmin::setOperateMenu(QMenu* menu)
{
    FOperateMenu = menu;
    mnuOperateButton->setMenu(menu);
    mnuOperateButton->setText(adm::mnuOperate);
}

void TfrmSorvixAdmin::tvMainChange()
{
    const int kind = selectedKind();
    lvAllAuthorization->setVisible(kind == nkChannels);
    lvAllApplication->setVisible(kind == nkApplications);
    lvAllAddress->setVisible(kind == nkAddresses);
    lvAllGroup->setVisible(kind == nkGroups);
    splitSub->setVisible(kind == nkApplication || kind == nkGroup);
    lvGroup->setVisible(kind == nkApplication);
    lvAddress->setVisible(kind == nkApplication || kind == nkGroup);
    if (kind == nkApplication) {
        const int third = pnlLists->height() / 3;
        splitSub->setSizes({third, std::max(pnlLists->height() - third, 1)});
    }
    rebuildSubLists();

    switch (kind) {
    case nkApplications: setOperateMenu(popmApplication); break;
    case nkApplication: setOperateMenu(popmOperateAddressAndGroup); break;
    case nkAddresses: setOperateMenu(popmAllAddress); break;
    case nkGroups: setOperateMenu(popmAllGroup); break;
    case nkGroup: setOperateMenu(popmAddress); break;
    default: setOperateMenu(popmAuthorization); break;
    }
    // Right after a click on the Applications or the Groups node the focus is in the tree: the
    // keys of the menu that node shows act there too.
    for (QAction* a : {acNewApplication, acDeleteApplication, acEditApplication, acNewGroup, acDeleteGroup, acEditGroup})
        tvMain->removeAction(a);
    if (kind == nkApplications) tvMain->addActions({acNewApplication, acDeleteApplication, acEditApplication});
    else if (kind == nkGroups) tvMain->addActions({acNewGroup, acDeleteGroup, acEditGroup});
    updateActions();
}

void TfrmSorvixAdmin::rebuildSubLists()
{
    lvAddress->clear();
    lvGroup->clear();
    followSubLists();
}

void TfrmSorvixAdmin::followSubLists()
{
    const int kind = selectedKind();
    const int row = selectedNodeRow();
    std::vector<int> addresses, groups;
    if (kind == nkApplication) {
        addresses = FConfig->addressesOf(ConsoleConfig::Binding::Application, row);
        groups = FConfig->groupsOf(row);
    } else if (kind == nkGroup) {
        addresses = FConfig->addressesOf(ConsoleConfig::Binding::Group, row);
    }
    followRows(lvAddress, addresses, FConfig->addressNames(), 1);
    followRows(lvGroup, groups, FConfig->groupNames(), 2);
}

void TfrmSorvixAdmin::appendModelRow(ConsoleConfig::Table table, int row)
{
    const bool application = table == ConsoleConfig::Table::Applications;
    const QString name = application ? FConfig->applications()[size_t(row)].name : FConfig->groups()[size_t(row)].name;
    const int image = application ? 3 : 2;
    QTreeWidgetItem* folder = application ? FApplicationsNode : FGroupsNode;
    (application ? lvAllApplication : lvAllGroup)->addRow(name, image, {QString()});
    folder->addChild(makeNode(name, application ? nkApplication : nkGroup, image));
    folder->setExpanded(true);
}

void TfrmSorvixAdmin::removeModelRows(ConsoleConfig::Table table, const std::vector<int>& rows)
{
    const bool application = table == ConsoleConfig::Table::Applications;
    ConsoleListView* list = application ? lvAllApplication : lvAllGroup;
    QTreeWidgetItem* folder = application ? FApplicationsNode : FGroupsNode;
    // The group rows behind the deleted ones move up: the group list is made afresh.
    if (!application) lvGroup->clear();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        list->removeRow(*it);
        delete folder->takeChild(*it);
    }
}

void TfrmSorvixAdmin::modelChanged()
{
    refreshColumns();
    followSubLists();
    updateActions();
}

void TfrmSorvixAdmin::refreshColumns()
{
    const ConsoleConfig& c = *FConfig;
    for (size_t i = 0; i < c.applications().size(); ++i) {
        lvAllApplication->setText(int(i), 0, c.applications()[i].name);
        lvAllApplication->setText(int(i), 1, c.applications()[i].flowFile);
        FApplicationsNode->child(int(i))->setText(0, c.applications()[i].name);
    }
    for (size_t i = 0; i < c.groups().size(); ++i) {
        lvAllGroup->setText(int(i), 0, c.groups()[i].name);
        lvAllGroup->setText(int(i), 1, c.groupApplicationText(int(i)));
        FGroupsNode->child(int(i))->setText(0, c.groups()[i].name);
    }
    for (size_t i = 0; i < c.addresses().size(); ++i) {
        lvAllAddress->setText(int(i), 1, c.addressApplicationText(int(i)));
        lvAllAddress->setText(int(i), 2, c.addressGroupText(int(i)));
    }
}

void TfrmSorvixAdmin::updateActions()
{
    popmApplicationPopup();
    popmAllGroupPopup();
    popmAllAddressPopup();
    popmGroupPopup();
    popmAuthorizationPopup();
    lvAllAuthorizationChange();
}

void TfrmSorvixAdmin::popmApplicationPopup()
{
    acEditApplication->setEnabled(lvAllApplication->selectedCount() == 1);
    acDeleteApplication->setEnabled(lvAllApplication->selectedCount() >= 1);
    acNewApplication->setEnabled(true);
}

void TfrmSorvixAdmin::popmAllGroupPopup()
{
    acEditGroup->setEnabled(lvAllGroup->selectedCount() == 1);
    acDeleteGroup->setEnabled(lvAllGroup->selectedCount() >= 1);
    acNewGroup->setEnabled(true);
}

void TfrmSorvixAdmin::popmAllAddressPopup()
{
    acSetApplication->setEnabled(lvAllAddress->selectedCount() >= 1);
    acClearAddressSet->setEnabled(lvAllAddress->selectedCount() >= 1);
    acClearAllAddressSet->setEnabled(true);
}

void TfrmSorvixAdmin::popmGroupPopup()
{
    // The address and group commands act on the selected application or group only.
    const int kind = selectedKind();
    const bool application = kind == nkApplication;
    acAddAddress->setEnabled(application || kind == nkGroup);
    acRemoveAddress->setEnabled(application || kind == nkGroup);
    acAddGroup->setEnabled(application && lvGroup->rowCount() < lvAllGroup->rowCount());
    acRemoveGroup->setEnabled(application && lvGroup->selectedCount() >= 1);
}

void TfrmSorvixAdmin::popmAuthorizationPopup()
{
    acSetAddress->setEnabled(lvAllAuthorization->selectedCount() == 1);
    acClearAuthorizationSet->setEnabled(lvAllAuthorization->selectedCount() >= 1);
    acAuthorizatedResetAll->setEnabled(true);
}

void TfrmSorvixAdmin::lvAllAuthorizationChange()
{
    acStartAll->setEnabled(true);
    acStopAll->setEnabled(true);
    if (selectedKind() != nkChannels) {
        acStart->setEnabled(false);
        acStop->setEnabled(false);
        return;
    }
    const std::vector<int> rows = lvAllAuthorization->selectedRows();
    if (rows.size() >= 2) {
        acStart->setEnabled(true);
        acStop->setEnabled(true);
    } else if (rows.size() == 1) {
        const bool running = FSupervisor->isRunning(rows.front());
        acStart->setEnabled(!running);
        acStop->setEnabled(running);
    } else {
        acStart->setEnabled(false);
        acStop->setEnabled(false);
    }
}

// ---- dialogs and failures ----

int TfrmSorvixAdmin::showModal(QDialog& dialog)
{
    return runDialog ? runDialog(dialog) : dialog.exec();
}

bool TfrmSorvixAdmin::askUnreadableStore(const QString& reason)
{
    if (FStoreAsked) return FKeepWhatWasRead;
    FStoreAsked = true;
    const QString file = FRegistry->filePath();
    // Whatever was wrong with it, writing could only make it worse.
    FRegistry->refuseWrites(QStringLiteral("The registry file \"%1\" could not be read when the console started; "
                                           "it is left as it is and nothing is written to it.")
                                .arg(file));
    qWarning("SorvixAdmin: the configuration store %s could not be read: %s", qPrintable(file),
             qPrintable(QString(reason).replace(QStringLiteral("\r\n"), QStringLiteral(" "))));
    FKeepWhatWasRead = Prompt::instance().message(this, adm::StoreUnreadable.arg(file, reason), ProductTitle, Prompt::Kind::Warning,
                                                  Prompt::Buttons::YesNo) == Prompt::Yes;
    return FKeepWhatWasRead;
}

void TfrmSorvixAdmin::reportFailure()
{
    Prompt::instance().message(this, FConfig->errorString(), ProductTitle, Prompt::Kind::Error, Prompt::Buttons::Ok);
}

// ---- applications ----

void TfrmSorvixAdmin::acNewApplicationExecute()
{
    if (!frmApplication) return;
    frmApplication->setValues(-1, {});
    if (showModal(*frmApplication) != QDialog::Accepted) return;
    const ConsoleConfig::Application a = frmApplication->values();
    if (!FConfig->newApplication(a.name, a.flowFile)) reportFailure();
}

void TfrmSorvixAdmin::acEditApplicationExecute()
{
    const int row = lvAllApplication->firstSelected();
    if (row < 0 || !frmApplication) return;
    frmApplication->setValues(row, FConfig->applications()[size_t(row)]);
    if (showModal(*frmApplication) != QDialog::Accepted) return;
    const ConsoleConfig::Application a = frmApplication->values();
    if (!FConfig->editApplication(row, a.name, a.flowFile)) reportFailure();
}

void TfrmSorvixAdmin::acDeleteApplicationExecute()
{
    const std::vector<int> rows = lvAllApplication->selectedRows();
    if (!rows.empty() && !FConfig->deleteApplications(rows)) reportFailure();
}

// ---- groups ----

void TfrmSorvixAdmin::acNewGroupExecute()
{
    if (!frmGroup) return;
    frmGroup->setValues(-1, {});
    if (showModal(*frmGroup) != QDialog::Accepted) return;
    const ConsoleConfig::Group g = frmGroup->values();
    if (!FConfig->newGroup(g.name, g.application)) reportFailure();
}

void TfrmSorvixAdmin::acEditGroupExecute()
{
    const int row = lvAllGroup->firstSelected();
    if (row < 0 || !frmGroup) return;
    frmGroup->setValues(row, FConfig->groups()[size_t(row)]);
    if (showModal(*frmGroup) != QDialog::Accepted) return;
    const ConsoleConfig::Group g = frmGroup->values();
    if (!FConfig->editGroup(row, g.name, g.application)) reportFailure();
}

void TfrmSorvixAdmin::acDeleteGroupExecute()
{
    const std::vector<int> rows = lvAllGroup->selectedRows();
    if (!rows.empty() && !FConfig->deleteGroups(rows)) reportFailure();
}

// ---- addresses and groups of the selected application or group ----

void TfrmSorvixAdmin::acAddAddressExecute()
{
    const int kind = selectedKind();
    if ((kind != nkApplication && kind != nkGroup) || !frmAdd) return;
    const ConsoleConfig::Binding binding =
        kind == nkApplication ? ConsoleConfig::Binding::Application : ConsoleConfig::Binding::Group;
    const int owner = selectedNodeRow();
    std::vector<std::pair<QString, int>> offered;
    for (size_t i = 0; i < FConfig->addresses().size(); ++i) {
        const ConsoleConfig::Address& a = FConfig->addresses()[i];
        if (a.binding != binding || a.target != owner) offered.emplace_back(a.name, int(i));
    }
    frmAdd->setEntries(adm::Address, offered);
    if (showModal(*frmAdd) != QDialog::Accepted) return;
    const std::vector<int> chosen = frmAdd->chosenRows();
    if (!chosen.empty() && !FConfig->bindAddresses(chosen, binding, owner)) reportFailure();
}

void TfrmSorvixAdmin::acRemoveAddressExecute()
{
    std::vector<int> addresses;
    for (int r : lvAddress->selectedRows()) addresses.push_back(lvAddress->rowData(r));
    if (!addresses.empty() && !FConfig->unbindAddresses(addresses)) reportFailure();
}

void TfrmSorvixAdmin::acAddGroupExecute()
{
    if (selectedKind() != nkApplication || !frmAdd) return;
    const int owner = selectedNodeRow();
    std::vector<std::pair<QString, int>> offered;
    for (size_t i = 0; i < FConfig->groups().size(); ++i)
        if (FConfig->groups()[i].application != owner) offered.emplace_back(FConfig->groups()[i].name, int(i));
    frmAdd->setEntries(adm::Group, offered);
    if (showModal(*frmAdd) != QDialog::Accepted) return;
    const std::vector<int> chosen = frmAdd->chosenRows();
    if (!chosen.empty() && !FConfig->addGroupsToApplication(chosen, owner)) reportFailure();
}

void TfrmSorvixAdmin::acRemoveGroupExecute()
{
    std::vector<int> groups;
    for (int r : lvGroup->selectedRows()) groups.push_back(lvGroup->rowData(r));
    if (!groups.empty() && !FConfig->removeGroupsFromApplication(groups)) reportFailure();
}

// ---- the address list ----

void TfrmSorvixAdmin::acSetApplicationExecute()
{
    const std::vector<int> rows = lvAllAddress->selectedRows();
    if (rows.empty() || !frmAddress) return;
    // One address shows its own binding; several show the first one's, with neither kind checked.
    const ConsoleConfig::Address& first = FConfig->addresses()[size_t(rows.front())];
    const bool one = rows.size() == 1;
    frmAddress->setValues({one ? first.name : adm::Addresses, FConfig->applicationNames(), FConfig->groupNames(),
                           first.binding, first.target, one});
    if (showModal(*frmAddress) != QDialog::Accepted) return;
    const auto [binding, target] = frmAddress->chosenBinding();
    if (binding != ConsoleConfig::Binding::None && !FConfig->bindAddresses(rows, binding, target)) reportFailure();
}

void TfrmSorvixAdmin::acClearAddressSetExecute()
{
    const std::vector<int> rows = lvAllAddress->selectedRows();
    if (!rows.empty() && !FConfig->unbindAddresses(rows)) reportFailure();
}

void TfrmSorvixAdmin::acClearAllAddressSetExecute()
{
    if (!FConfig->unbindAllAddresses()) reportFailure();
}

// ---- view ----

void TfrmSorvixAdmin::acToolBarExecute()
{
    tbarTool->setVisible(!tbarTool->isVisible());
    acToolBar->setChecked(tbarTool->isVisible());
}

void TfrmSorvixAdmin::acStatusBarExecute()
{
    StatusLine->setVisible(!StatusLine->isVisible());
    acStatusBar->setChecked(StatusLine->isVisible());
}

void TfrmSorvixAdmin::acShowExplorBarExecute()
{
    // The splitter shows its handle exactly while the tree is shown.
    tvMain->setVisible(tvMain->isHidden());
    acShowExplorBar->setChecked(!tvMain->isHidden());
}

void TfrmSorvixAdmin::popmExplorBarPopup()
{
    acShowExplorBar->setChecked(!tvMain->isHidden());
    switch (selectedKind()) {
    case nkChannels: acAuthorization->setChecked(true); break;
    case nkApplications:
    case nkApplication: acApplication->setChecked(true); break;
    case nkAddresses: acAddress->setChecked(true); break;
    case nkGroups:
    case nkGroup: acGroup->setChecked(true); break;
    default: break;
    }
}

void TfrmSorvixAdmin::setViewStyle(int style)
{
    for (ConsoleListView* l : shownLists()) l->setViewStyle(ConsoleListView::ViewStyle(style));
}

void TfrmSorvixAdmin::popmViewPopup()
{
    const std::vector<ConsoleListView*> lists = shownLists();
    if (lists.empty()) return;
    const ConsoleListView::ViewStyle style = lists.front()->viewStyle();
    for (ConsoleListView* l : lists)
        if (l->viewStyle() != style) return;  // the two lists disagree: leave the checks
    QAction* items[] = {acLargeIcon, acSmallIcon, acList, acDetail};
    items[style]->setChecked(true);
}

// ---- help ----

void TfrmSorvixAdmin::acHelpContentExecute()
{
    ShowHtmlHelp(nullptr, txt::HelpRoot + QStringLiteral("SorvixAdmin.htm"), 0, 0);
}

void TfrmSorvixAdmin::acAboutExecute()
{
    if (frmAboutSorvix) showModal(*frmAboutSorvix);
}

void TfrmSorvixAdmin::BringToFront()
{
    if (isMinimized()) showNormal();
    else show();
    raise();
    activateWindow();
}

void TfrmSorvixAdmin::closeEvent(QCloseEvent* event)
{
    acStopAllExecute();
    event->accept();
}
