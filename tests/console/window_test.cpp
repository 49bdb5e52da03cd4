#include "consolefixture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QRadioButton>
#include <QSet>
#include <QSqlQuery>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

#include "console/addform.h"
#include "console/addressform.h"
#include "console/adminmain.h"
#include "console/applicationform.h"
#include "console/consolelist.h"
#include "console/groupform.h"
#include "channels/supervisor.h"
#include "ui/aboutsorvixform.h"
#include "ui/authorizated.h"
#include "ui/help.h"
#include "ui/fakeprompt.h"
#include "ui/iconlook.h"
#include "devices/sim/simdevice.h"
#include "support/damagedstore.h"

namespace {

using Kind = TfrmSorvixAdmin::NodeKind;

// A window over a seeded store and a device with five lines; dialogs are answered by `answer`.
struct WindowTest : ConsoleStoreFixture {
    FakePrompt prompt;
    std::unique_ptr<TfrmSorvixAdmin> win;
    std::function<int(QDialog&)> answer;
    std::vector<QDialog*> shown;

    void SetUp() override
    {
        ConsoleStoreFixture::SetUp();
        initProductTexts();
        seed(ConsoleConfig::ApplicationKey, "Bank", "/flows/bank.svx");
        seed(ConsoleConfig::ApplicationKey, "Shop", "/flows/shop.svx");
        seed(ConsoleConfig::GroupKey, "Sales", "Bank");
        seed(ConsoleConfig::GroupKey, "Night", "");
        seed(ConsoleConfig::AddressKey, "Line 1", "APPLICATION Bank");
        seed(ConsoleConfig::AddressKey, "Line 2", "GROUP Sales");
        seed(ConsoleConfig::AddressKey, "Line 3", "APPLICATION Shop");
        open();
    }
    void TearDown() override
    {
        win.reset();
        ConsoleStoreFixture::TearDown();
    }

    void open()
    {
        win.reset();
        Scenario scenario;
        scenario.speed = 0;
        scenario.gateway = 4;
        for (const char* name : {"Line 1", "Line 2", "Line 3", "Line 4", "Gateway"}) {
            ScriptedAddress line;
            line.name = name;
            scenario.addresses.push_back(line);
        }
        win = std::make_unique<TfrmSorvixAdmin>(std::make_shared<SimDevice>(scenario), registryFile());
        frmSorvixAdmin = win.get();
        createConsoleDialogs(win.get());
        win->runDialog = [this](QDialog& d) {
            shown.push_back(&d);
            return answer ? answer(d) : int(QDialog::Rejected);
        };
    }

    QTreeWidgetItem* node(Kind kind, int child = -1)
    {
        QTreeWidgetItem* roots[] = {win->FChannelsNode, win->FApplicationsNode, win->FApplicationsNode,
                                    win->FAddressesNode, win->FGroupsNode, win->FGroupsNode};
        QTreeWidgetItem* root = roots[kind];
        return child < 0 ? root : root->child(child);
    }
    void select(Kind kind, int child = -1) { win->selectNode(node(kind, child)); }
    static void selectRows(ConsoleListView* list, const std::vector<int>& rows)
    {
        list->clearSelection();
        for (int r : rows) list->setRowSelected(r, true);
    }
    static QStringList column(ConsoleListView* list, int c)
    {
        QStringList out;
        for (int r = 0; r < list->rowCount(); ++r) out << list->text(r, c);
        return out;
    }
    // Accepts a dialog through its own OK button, after fill has set its fields.
    template <class D>
    void acceptWith(std::function<void(D&)> fill)
    {
        answer = [fill](QDialog& d) {
            auto* dlg = dynamic_cast<D*>(&d);
            if (!dlg) return int(QDialog::Rejected);
            dlg->setResult(0);
            fill(*dlg);
            return dlg->result();
        };
    }
};

TEST_F(WindowTest, TreeAndListsAtStart)
{
    ASSERT_EQ(win->tvMain->topLevelItemCount(), 4);
    EXPECT_EQ(win->tvMain->topLevelItem(0)->text(0), "Authorized Channels");
    EXPECT_EQ(win->tvMain->topLevelItem(1)->text(0), "Applications");
    EXPECT_EQ(win->tvMain->topLevelItem(2)->text(0), "Addresses");
    EXPECT_EQ(win->tvMain->topLevelItem(3)->text(0), "Groups");
    EXPECT_EQ(win->FApplicationsNode->childCount(), 2);
    EXPECT_TRUE(win->FApplicationsNode->isExpanded());
    auto picture = [](const QIcon& icon) { return icon.pixmap(16, 16).toImage(); };
    EXPECT_EQ(picture(win->FApplicationsNode->icon(0)), picture(consoleImage(5))) << "an open folder";
    EXPECT_EQ(picture(win->FAddressesNode->icon(0)), picture(consoleImage(1)));
    EXPECT_EQ(win->windowTitle(), ProductTitle);
    EXPECT_EQ(win->selectedKind(), Kind::nkChannels);

    EXPECT_EQ(column(win->lvAllAuthorization, 0),
              (QStringList{"Channel 1", "Channel 2", "Channel 3", "Channel 4", "Channel 5"}));
    EXPECT_EQ(win->lvAllAuthorization->columnCount(), 4);
    EXPECT_EQ(win->lvAllAuthorization->columnCaption(3), "State");
    EXPECT_EQ(column(win->lvAllAddress, 0), (QStringList{"Line 1", "Line 2", "Line 3", "Line 4", "Gateway"}));
    EXPECT_EQ(column(win->lvAllAddress, 1), (QStringList{"Bank", "", "Shop", "", ""}));
    EXPECT_EQ(column(win->lvAllAddress, 2), (QStringList{"", "Sales", "", "", ""}));
    EXPECT_EQ(column(win->lvAllGroup, 1), (QStringList{"Bank", ""}));
    EXPECT_EQ(column(win->lvAllApplication, 1), (QStringList{"/flows/bank.svx", "/flows/shop.svx"}));
    EXPECT_EQ(win->FGatewayAddressIndex, 4);

    // The channel properties dialog is trimmed and asks the window about addresses in use.
    ASSERT_NE(frmAuthorizated, nullptr);
    EXPECT_TRUE(frmAuthorizated->pnlTop->isHidden());
    EXPECT_TRUE(bool(frmAuthorizated->OnCheckAddress));
    EXPECT_EQ(win->acAbout->text(), "&About " + ProductTitle + "...");
    EXPECT_EQ(win->acStart->toolTip(), "Start");
    // Its tool bar's disabled commands are drawn plainly faded.
    for (QAction* a : {win->acStart, win->acStop})
        EXPECT_TRUE(looksPlainlyDisabled(a->icon())) << a->toolTip().toStdString();
}

TEST_F(WindowTest, ChannelCountFromTheStore)
{
    ASSERT_TRUE(store->writeInteger(ConsoleConfig::ProductKey, "ChannelCount", 2));
    open();
    EXPECT_EQ(column(win->lvAllAuthorization, 0), (QStringList{"Channel 1", "Channel 2"}));
    EXPECT_EQ(win->supervisor().FChannels.size(), 2u);
}

TEST_F(WindowTest, NodeKindDecidesTheListsAndTheOperateMenu)
{
    win->resize(900, 600);
    win->show();
    struct Case {
        Kind kind;
        int child;
        std::vector<ConsoleListView*> lists;
        QMenu* operate;
    } cases[] = {
        {Kind::nkChannels, -1, {win->lvAllAuthorization}, win->popmAuthorization},
        {Kind::nkApplications, -1, {win->lvAllApplication}, win->popmApplication},
        {Kind::nkApplication, 0, {win->lvGroup, win->lvAddress}, win->popmOperateAddressAndGroup},
        {Kind::nkAddresses, -1, {win->lvAllAddress}, win->popmAllAddress},
        {Kind::nkGroups, -1, {win->lvAllGroup}, win->popmAllGroup},
        {Kind::nkGroup, 0, {win->lvAddress}, win->popmAddress},
    };
    const std::vector<ConsoleListView*> all = {win->lvAllAuthorization, win->lvAllApplication, win->lvAllAddress,
                                               win->lvAllGroup, win->lvGroup, win->lvAddress};
    for (const Case& c : cases) {
        select(c.kind, c.child);
        EXPECT_EQ(win->selectedKind(), c.kind);
        for (ConsoleListView* l : all) {
            const bool wanted = std::find(c.lists.begin(), c.lists.end(), l) != c.lists.end();
            EXPECT_EQ(l->isVisible(), wanted) << "kind " << c.kind << " list " << qPrintable(l->columnCaption(0));
        }
        EXPECT_EQ(win->operateMenu(), c.operate) << c.kind;
        EXPECT_EQ(win->mnuOperateButton->menu(), c.operate) << c.kind;
        EXPECT_EQ(win->shownLists(), c.lists);
    }

    // An application shows its groups above a third of the height, its addresses below.
    select(Kind::nkApplication, 0);
    EXPECT_EQ(column(win->lvGroup, 0), QStringList{"Sales"});
    EXPECT_EQ(column(win->lvAddress, 0), QStringList{"Line 1"});
    EXPECT_NEAR(win->lvGroup->height(), win->pnlLists->height() / 3, 8);
    select(Kind::nkApplication, 1);
    EXPECT_TRUE(column(win->lvGroup, 0).isEmpty());
    EXPECT_EQ(column(win->lvAddress, 0), QStringList{"Line 3"});
    select(Kind::nkGroup, 0);
    EXPECT_EQ(column(win->lvAddress, 0), QStringList{"Line 2"});
    EXPECT_EQ(win->lvAddress->rowData(0), 1);
}

TEST_F(WindowTest, CommandsAreEnabledByTheNodeKindAndTheSelection)
{
    // Address and group commands only where an application or a group is selected.
    struct Case {
        Kind kind;
        int child;
        bool address, addGroup;
    } cases[] = {{Kind::nkChannels, -1, false, false}, {Kind::nkApplications, -1, false, false},
                 {Kind::nkApplication, 1, true, true},  {Kind::nkAddresses, -1, false, false},
                 {Kind::nkGroups, -1, false, false},    {Kind::nkGroup, 0, true, false}};
    for (const Case& c : cases) {
        select(c.kind, c.child);
        win->updateActions();
        EXPECT_EQ(win->acAddAddress->isEnabled(), c.address) << c.kind;
        EXPECT_EQ(win->acRemoveAddress->isEnabled(), c.address) << c.kind;
        EXPECT_EQ(win->acAddGroup->isEnabled(), c.addGroup) << c.kind;
        EXPECT_FALSE(win->acRemoveGroup->isEnabled()) << c.kind;
        EXPECT_EQ(win->miAddAddress->isEnabled(), c.address) << c.kind;
        EXPECT_EQ(win->acStart->isEnabled() || win->acStop->isEnabled(), false) << c.kind;
    }

    // Add group while the application has fewer groups than there are; remove with a selection.
    select(Kind::nkApplication, 0);
    ASSERT_EQ(win->lvGroup->rowCount(), 1);
    win->popmGroupPopup();
    EXPECT_TRUE(win->acAddGroup->isEnabled());
    selectRows(win->lvGroup, {0});
    EXPECT_TRUE(win->acRemoveGroup->isEnabled());
    EXPECT_TRUE(win->miRemoveGroup->isEnabled());

    // The list menus by the number of selected rows.
    for (auto [list, edit, del, popup] :
         {std::tuple{win->lvAllApplication, win->acEditApplication, win->acDeleteApplication, &TfrmSorvixAdmin::popmApplicationPopup},
          std::tuple{win->lvAllGroup, win->acEditGroup, win->acDeleteGroup, &TfrmSorvixAdmin::popmAllGroupPopup}}) {
        for (auto [rows, editOn, deleteOn] : {std::tuple{std::vector<int>{}, false, false},
                                               std::tuple{std::vector<int>{1}, true, true},
                                               std::tuple{std::vector<int>{0, 1}, false, true}}) {
            selectRows(list, rows);
            (win.get()->*popup)();
            EXPECT_EQ(edit->isEnabled(), editOn);
            EXPECT_EQ(del->isEnabled(), deleteOn);
        }
    }
    selectRows(win->lvAllAddress, {});
    win->popmAllAddressPopup();
    EXPECT_FALSE(win->acSetApplication->isEnabled());
    EXPECT_FALSE(win->acClearAddressSet->isEnabled());
    EXPECT_TRUE(win->acClearAllAddressSet->isEnabled());
    selectRows(win->lvAllAddress, {0, 3});
    EXPECT_TRUE(win->acSetApplication->isEnabled());
    EXPECT_TRUE(win->acClearAddressSet->isEnabled());

    // Channels: start and stop by the selection (no channel runs here).
    select(Kind::nkChannels);
    selectRows(win->lvAllAuthorization, {});
    EXPECT_FALSE(win->acStart->isEnabled());
    EXPECT_FALSE(win->acStop->isEnabled());
    selectRows(win->lvAllAuthorization, {2});
    EXPECT_TRUE(win->acStart->isEnabled());
    EXPECT_FALSE(win->acStop->isEnabled());
    selectRows(win->lvAllAuthorization, {1, 2});
    EXPECT_TRUE(win->acStart->isEnabled());
    EXPECT_TRUE(win->acStop->isEnabled());
    win->popmAuthorizationPopup();
    EXPECT_FALSE(win->acSetAddress->isEnabled());
    EXPECT_TRUE(win->acClearAuthorizationSet->isEnabled());
}

TEST_F(WindowTest, ListKeysActOnTheListThatHasTheFocus)
{
    win->show();
    QApplication::setActiveWindow(win.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(win.get()));
    // An application row stays selected in the hidden application list.
    selectRows(win->lvAllApplication, {0});
    select(Kind::nkGroups);
    selectRows(win->lvAllGroup, {1});
    win->lvAllGroup->currentView()->setFocus();
    ASSERT_TRUE(win->lvAllGroup->currentView()->hasFocus());

    QTest::keyClick(win->lvAllGroup->currentView(), Qt::Key_Delete);
    EXPECT_EQ(column(win->lvAllGroup, 0), QStringList{"Sales"});
    EXPECT_EQ(win->lvAllApplication->rowCount(), 2) << "Del went to the group list only";
    EXPECT_EQ(dump(ConsoleConfig::ApplicationKey).size(), 2);

    QTest::keyClick(win->lvAllGroup->currentView(), Qt::Key_N, Qt::ControlModifier);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown.back(), frmGroup);
    selectRows(win->lvAllGroup, {0});
    QTest::keyClick(win->lvAllGroup->currentView(), Qt::Key_Return);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown.back(), frmGroup);
    EXPECT_EQ(frmGroup->EditedItem, 0);

    select(Kind::nkApplications);
    win->lvAllApplication->currentView()->setFocus();
    QTest::keyClick(win->lvAllApplication->currentView(), Qt::Key_N, Qt::ControlModifier);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown.back(), frmApplication);
    QTest::keyClick(win->lvAllApplication->currentView(), Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(frmApplication->EditedItem, 0);

    // Right after a click on the Applications or the Groups node the focus is in the tree, and
    // the keys do what that node's menu shows.
    win->tvMain->setFocus();
    QTest::keyClick(win->tvMain, Qt::Key_N, Qt::ControlModifier);
    ASSERT_EQ(shown.size(), 5u);
    EXPECT_EQ(shown.back(), frmApplication);
    QTest::keyClick(win->tvMain, Qt::Key_Return);
    ASSERT_EQ(shown.size(), 6u);
    EXPECT_EQ(frmApplication->EditedItem, 0);
    QTest::keyClick(win->tvMain, Qt::Key_Delete);
    EXPECT_EQ(win->lvAllApplication->rowCount(), 1);

    select(Kind::nkGroups);
    win->tvMain->setFocus();
    QTest::keyClick(win->tvMain, Qt::Key_N, Qt::ControlModifier);
    ASSERT_EQ(shown.size(), 7u);
    EXPECT_EQ(shown.back(), frmGroup);
    QTest::keyClick(win->tvMain, Qt::Key_Delete);
    EXPECT_EQ(win->lvAllGroup->rowCount(), 0);
    EXPECT_EQ(win->lvAllApplication->rowCount(), 1);

    // Other nodes have none of these keys.
    select(Kind::nkAddresses);
    win->tvMain->setFocus();
    QTest::keyClick(win->tvMain, Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(win->tvMain, Qt::Key_Delete);
    EXPECT_EQ(shown.size(), 7u);
    EXPECT_EQ(win->lvAllApplication->rowCount(), 1);
}

TEST_F(WindowTest, NewEditAndDeleteApplications)
{
    acceptWith<TfrmApplication>([](TfrmApplication& d) {
        d.edtApplicationName->setText("Fax");
        d.edtApplicationFile->setText("/flows/fax.svx");
        d.btnOKClick();
    });
    win->acNewApplicationExecute();
    EXPECT_EQ(frmApplication->EditedItem, -1);
    EXPECT_EQ(column(win->lvAllApplication, 0), (QStringList{"Bank", "Shop", "Fax"}));
    EXPECT_EQ(win->FApplicationsNode->child(2)->text(0), "Fax");
    EXPECT_EQ(dump(ConsoleConfig::ApplicationKey).last(), "Fax=/flows/fax.svx");

    // A refused dialog writes nothing.
    acceptWith<TfrmApplication>([](TfrmApplication& d) {
        d.edtApplicationName->setText("fax");
        d.btnOKClick();
    });
    win->acNewApplicationExecute();
    EXPECT_EQ(prompt.messages.last(), "Name has been used by another Application. ");
    EXPECT_EQ(win->lvAllApplication->rowCount(), 3);

    // Rename Bank: every column that shows it follows, and so does the store.
    selectRows(win->lvAllApplication, {0});
    acceptWith<TfrmApplication>([](TfrmApplication& d) {
        EXPECT_EQ(d.edtApplicationName->text(), "Bank");
        EXPECT_EQ(d.edtApplicationFile->text(), "/flows/bank.svx");
        d.edtApplicationName->setText("Savings");
        d.btnOKClick();
    });
    win->acEditApplicationExecute();
    EXPECT_EQ(win->FApplicationsNode->child(0)->text(0), "Savings");
    EXPECT_EQ(column(win->lvAllAddress, 1).first(), "Savings");
    EXPECT_EQ(column(win->lvAllGroup, 1).first(), "Savings");
    EXPECT_TRUE(dump(ConsoleConfig::AddressKey).contains("Line 1=APPLICATION Savings"));

    selectRows(win->lvAllApplication, {0, 2});
    win->acDeleteApplicationExecute();
    EXPECT_EQ(column(win->lvAllApplication, 0), QStringList{"Shop"});
    EXPECT_EQ(win->FApplicationsNode->childCount(), 1);
    EXPECT_EQ(column(win->lvAllAddress, 1), (QStringList{"", "", "Shop", "", ""}));
    EXPECT_EQ(column(win->lvAllAddress, 2), (QStringList{"", "Sales", "", "", ""}));
    EXPECT_EQ(column(win->lvAllGroup, 1), (QStringList{"", ""}));
    EXPECT_EQ(prompt.messages, QStringList{"Name has been used by another Application. "}) << "no question, no error";
}

TEST_F(WindowTest, NewAndEditGroups)
{
    acceptWith<TfrmGroup>([](TfrmGroup& d) {
        EXPECT_EQ(d.cmbApplication->currentIndex(), -1);
        d.edtGroupName->setText("Day");
        d.cmbApplication->setCurrentIndex(1);
        d.btnOkClick();
    });
    win->acNewGroupExecute();
    EXPECT_EQ(column(win->lvAllGroup, 0), (QStringList{"Sales", "Night", "Day"}));
    EXPECT_EQ(column(win->lvAllGroup, 1).last(), "Shop");
    EXPECT_EQ(win->FGroupsNode->child(2)->text(0), "Day");
    EXPECT_EQ(dump(ConsoleConfig::GroupKey).last(), "Day=Shop");

    selectRows(win->lvAllGroup, {0});
    acceptWith<TfrmGroup>([](TfrmGroup& d) {
        EXPECT_EQ(d.cmbApplication->currentText(), "Bank") << "the group's application is chosen";
        d.edtGroupName->setText("Team");
        d.btnOkClick();
    });
    win->acEditGroupExecute();
    EXPECT_EQ(frmGroup->EditedItem, 0);
    EXPECT_EQ(win->FGroupsNode->child(0)->text(0), "Team");
    EXPECT_EQ(column(win->lvAllAddress, 2).at(1), "Team");
    EXPECT_TRUE(dump(ConsoleConfig::AddressKey).contains("Line 2=GROUP Team"));

    selectRows(win->lvAllGroup, {0});
    win->acDeleteGroupExecute();
    EXPECT_EQ(column(win->lvAllGroup, 0), (QStringList{"Night", "Day"}));
    EXPECT_EQ(column(win->lvAllAddress, 2).at(1), "");
}

TEST_F(WindowTest, AddingAndRemovingAddressesAndGroupsOfAnApplication)
{
    select(Kind::nkApplication, 1);  // Shop: Line 3
    QStringList offered;
    acceptWith<TfrmAdd>([&](TfrmAdd& d) {
        for (int i = 0; i < d.lbAdd->count(); ++i) offered << d.lbAdd->item(i)->text();
        d.lbAdd->item(0)->setSelected(true);  // Line 1, bound to Bank
        d.lbAdd->item(1)->setSelected(true);  // Line 2, in Sales
        d.accept();
    });
    win->acAddAddressExecute();
    EXPECT_EQ(frmAdd->windowTitle(), "Address");
    EXPECT_EQ(offered, (QStringList{"Line 1", "Line 2", "Line 4", "Gateway"})) << "all but Shop's own";
    EXPECT_EQ(column(win->lvAddress, 0), (QStringList{"Line 3", "Line 1", "Line 2"}));
    EXPECT_EQ(column(win->lvAllAddress, 1), (QStringList{"Shop", "Shop", "Shop", "", ""}));
    EXPECT_EQ(column(win->lvAllAddress, 2), (QStringList{"", "", "", "", ""}));
    EXPECT_TRUE(dump(ConsoleConfig::AddressKey).contains("Line 2=APPLICATION Shop"));

    // OK with nothing chosen changes nothing.
    const QStringList before = allKeys();
    acceptWith<TfrmAdd>([](TfrmAdd& d) { d.accept(); });
    win->acAddAddressExecute();
    EXPECT_EQ(allKeys(), before);

    selectRows(win->lvAddress, {0, 2});
    win->acRemoveAddressExecute();
    EXPECT_EQ(column(win->lvAddress, 0), QStringList{"Line 1"});
    EXPECT_EQ(column(win->lvAllAddress, 1), (QStringList{"Shop", "", "", "", ""}));
    EXPECT_FALSE(dump(ConsoleConfig::AddressKey).contains("Line 3=APPLICATION Shop"));

    offered.clear();
    acceptWith<TfrmAdd>([&](TfrmAdd& d) {
        for (int i = 0; i < d.lbAdd->count(); ++i) offered << d.lbAdd->item(i)->text();
        d.lbAdd->item(0)->setSelected(true);
        d.accept();
    });
    win->acAddGroupExecute();
    EXPECT_EQ(frmAdd->windowTitle(), "Group");
    EXPECT_EQ(offered, (QStringList{"Sales", "Night"}));
    EXPECT_EQ(column(win->lvGroup, 0), QStringList{"Sales"});
    EXPECT_EQ(column(win->lvAllGroup, 1), (QStringList{"Shop", ""}));
    win->popmGroupPopup();
    EXPECT_TRUE(win->acAddGroup->isEnabled());

    selectRows(win->lvGroup, {0});
    win->acRemoveGroupExecute();
    EXPECT_EQ(win->lvGroup->rowCount(), 0);
    EXPECT_EQ(dump(ConsoleConfig::GroupKey).first(), "Sales=");

    // A group node adds addresses to the group.
    select(Kind::nkGroup, 1);
    acceptWith<TfrmAdd>([](TfrmAdd& d) {
        d.lbAdd->item(3)->setSelected(true);  // Line 4
        d.accept();
    });
    win->acAddAddressExecute();
    EXPECT_EQ(column(win->lvAddress, 0), QStringList{"Line 4"});
    EXPECT_TRUE(dump(ConsoleConfig::AddressKey).contains("Line 4=GROUP Night"));
}

TEST_F(WindowTest, TheTreeAndTheListsFollowTheModelWhoeverChangesIt)
{
    using Binding = ConsoleConfig::Binding;
    ConsoleConfig& c = win->config();
    select(Kind::nkApplication, 0);  // Bank: group Sales, address Line 1
    selectRows(win->lvAddress, {0});

    ASSERT_TRUE(c.newApplication("Fax", "/flows/fax.svx"));
    EXPECT_EQ(column(win->lvAllApplication, 0), (QStringList{"Bank", "Shop", "Fax"}));
    EXPECT_EQ(column(win->lvAllApplication, 1).last(), "/flows/fax.svx");
    ASSERT_EQ(win->FApplicationsNode->childCount(), 3);
    EXPECT_EQ(win->FApplicationsNode->child(2)->text(0), "Fax");

    // The selected application's own lists: new rows follow, the selection stays.
    ASSERT_TRUE(c.bindAddresses({3}, Binding::Application, 0));
    EXPECT_EQ(column(win->lvAddress, 0), (QStringList{"Line 1", "Line 4"}));
    EXPECT_EQ(win->lvAddress->selectedRows(), std::vector<int>{0});
    EXPECT_TRUE(win->acRemoveAddress->isEnabled());
    EXPECT_EQ(column(win->lvAllAddress, 1).at(3), "Bank");
    ASSERT_TRUE(c.newGroup("Day", 0));
    EXPECT_EQ(column(win->lvGroup, 0), (QStringList{"Sales", "Day"}));
    EXPECT_EQ(column(win->lvAllGroup, 1).last(), "Bank");
    EXPECT_EQ(win->FGroupsNode->child(2)->text(0), "Day");

    // A deleted group moves the rows behind it up, in every list that shows them.
    ASSERT_TRUE(c.deleteGroups({0}));
    EXPECT_EQ(column(win->lvGroup, 0), QStringList{"Day"});
    EXPECT_EQ(win->lvGroup->rowData(0), 1);
    EXPECT_EQ(column(win->lvAllGroup, 0), (QStringList{"Night", "Day"}));
    EXPECT_EQ(win->FGroupsNode->childCount(), 2);
    EXPECT_EQ(column(win->lvAllAddress, 2).at(1), "") << "Line 2 was in Sales";

    ASSERT_TRUE(c.editApplication(0, "Savings", "/flows/bank.svx"));
    EXPECT_EQ(win->FApplicationsNode->child(0)->text(0), "Savings");
    EXPECT_EQ(column(win->lvAllGroup, 1), (QStringList{"", "Savings"}));
    ASSERT_TRUE(c.removeGroupsFromApplication({1}));
    EXPECT_EQ(win->lvGroup->rowCount(), 0);
    ASSERT_TRUE(c.deleteApplications({1}));
    EXPECT_EQ(column(win->lvAllApplication, 0), (QStringList{"Savings", "Fax"}));
    EXPECT_EQ(column(win->lvAllAddress, 1), (QStringList{"Savings", "", "", "Savings", ""}));
    EXPECT_EQ(win->selectedKind(), Kind::nkApplication);
    EXPECT_EQ(column(win->lvAddress, 0), (QStringList{"Line 1", "Line 4"}));
}

TEST_F(WindowTest, AddressPropertyForOneAndForSeveral)
{
    selectRows(win->lvAllAddress, {1});
    acceptWith<TfrmAddress>([](TfrmAddress& d) {
        EXPECT_EQ(d.windowTitle(), "Line 2");
        EXPECT_TRUE(d.radGroup->isChecked());
        EXPECT_EQ(d.cmbGroup->currentText(), "Sales");
        EXPECT_EQ(d.cmbApplication->currentIndex(), 0) << "an empty choice gets the first entry";
        EXPECT_FALSE(d.cmbApplication->isEnabled());
        d.radApplication->click();
        d.cmbApplication->setCurrentIndex(1);
        d.btnOkClick();
    });
    win->acSetApplicationExecute();
    EXPECT_EQ(column(win->lvAllAddress, 1).at(1), "Shop");
    EXPECT_EQ(column(win->lvAllAddress, 2).at(1), "");
    EXPECT_TRUE(dump(ConsoleConfig::AddressKey).contains("Line 2=APPLICATION Shop"));

    // Several: caption "Addresses", no radio checked, OK refused until one is chosen.
    selectRows(win->lvAllAddress, {0, 3});
    acceptWith<TfrmAddress>([this](TfrmAddress& d) {
        EXPECT_EQ(d.windowTitle(), "Addresses");
        EXPECT_FALSE(d.radApplication->isChecked());
        EXPECT_FALSE(d.radGroup->isChecked());
        d.btnOkClick();
        EXPECT_EQ(prompt.messages.last(), "Please select Application or Group");
        d.radGroup->click();
        d.cmbGroup->setCurrentIndex(1);
        d.btnOkClick();
    });
    win->acSetApplicationExecute();
    EXPECT_EQ(column(win->lvAllAddress, 2), (QStringList{"Night", "", "", "Night", ""}));

    selectRows(win->lvAllAddress, {0});
    win->acClearAddressSetExecute();
    EXPECT_EQ(column(win->lvAllAddress, 2).first(), "");
    EXPECT_FALSE(dump(ConsoleConfig::AddressKey).join(' ').contains("Line 1="));

    win->acClearAllAddressSetExecute();
    EXPECT_EQ(column(win->lvAllAddress, 1).join(""), "");
    EXPECT_EQ(column(win->lvAllAddress, 2).join(""), "");
    EXPECT_EQ(dump(ConsoleConfig::AddressKey), QStringList{"<none>"});
    open();
    EXPECT_EQ(column(win->lvAllAddress, 1).join(""), "") << "unbound at the next start too";
}

TEST_F(WindowTest, AFailedWriteIsReportedAndLeavesTheListsAsTheyWere)
{
    failWrites();
    acceptWith<TfrmApplication>([](TfrmApplication& d) {
        d.edtApplicationName->setText("Fax");
        d.edtApplicationFile->setText("/f.svx");
        d.btnOKClick();
    });
    win->acNewApplicationExecute();
    EXPECT_EQ(win->lvAllApplication->rowCount(), 2);
    EXPECT_EQ(win->FApplicationsNode->childCount(), 2);
    ASSERT_EQ(prompt.captions.size(), 1);
    EXPECT_EQ(prompt.captions.last(), ProductTitle);
    EXPECT_TRUE(prompt.messages.last().contains("disk is full")) << qPrintable(prompt.messages.last());

    selectRows(win->lvAllApplication, {0});
    win->acDeleteApplicationExecute();
    EXPECT_EQ(column(win->lvAllApplication, 0), (QStringList{"Bank", "Shop"}));
    EXPECT_EQ(column(win->lvAllAddress, 1).first(), "Bank");
    win->acClearAllAddressSetExecute();
    EXPECT_EQ(column(win->lvAllAddress, 1).first(), "Bank");
    EXPECT_EQ(prompt.captions.size(), 3);
}

// The configuration store as a user may find it: not a database, damaged inside, or closed to us.
TEST_F(WindowTest, AnUnreadableStoreIsSaidInABoxAndNeverWritten)
{
    ASSERT_TRUE(store->createKey(channelKeyPath("Channel 1")));
    ASSERT_TRUE(store->writeString(channelKeyPath("Channel 1"), "Address", "Line 1"));
    win.reset();
    store.reset();  // the file is complete and closed
    QFile f(registryFile());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray good = f.readAll();
    f.close();
    ASSERT_GT(good.size(), 4096);

    struct Case {
        const char* what;
        std::function<QByteArray()> spoil;  // the file's bytes afterwards
        int answer;
    };
    const Case cases[] = {
        {"not a database", [] { return QByteArray("[Application]\nBank=/flows/bank.svx\n").repeated(200); }, Prompt::No},
        {"damaged", [&] {
             QByteArray bad = good;
             for (int i = 4096; i < bad.size(); ++i) bad[i] = char(0xA5 ^ (i * 7));
             return bad;
         }, Prompt::Yes},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray bytes = c.spoil();
        for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(registryFile() + suffix);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        prompt.messages.clear();
        prompt.captions.clear();
        prompt.answers = {c.answer};

        open();
        win->LoadChannelOptions();
        // One box, at start-up, naming the file and the reason; the user's choice holds.
        ASSERT_EQ(prompt.messages.size(), 1);
        EXPECT_EQ(prompt.captions.first(), ProductTitle);
        EXPECT_TRUE(prompt.messages.first().contains(registryFile())) << qPrintable(prompt.messages.first());
        EXPECT_TRUE(prompt.messages.first().contains(c.answer == Prompt::No ? "not a database" : "malformed"))
            << qPrintable(prompt.messages.first());
        if (c.answer == Prompt::No) {
            EXPECT_EQ(win->lvAllApplication->rowCount(), 0);
            EXPECT_EQ(win->supervisor().FChannels[0].Address, -1);
            EXPECT_EQ(win->lvAllAddress->rowCount(), 5);
        }

        // A command fails with a box and changes nothing, in the window or in the file.
        const int rows = win->lvAllApplication->rowCount();
        acceptWith<TfrmApplication>([](TfrmApplication& d) {
            d.edtApplicationName->setText("Fax");
            d.edtApplicationFile->setText("/f.svx");
            d.btnOKClick();
        });
        win->acNewApplicationExecute();
        EXPECT_EQ(win->lvAllApplication->rowCount(), rows);
        ASSERT_EQ(prompt.messages.size(), 2);
        EXPECT_TRUE(prompt.messages.last().contains("nothing is written")) << qPrintable(prompt.messages.last());
        win.reset();
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_TRUE(f.readAll() == bytes) << "the file is never overwritten";
        f.close();
    }
}

// A store whose key index is damaged answers every lookup with "no such key": it must not open as an
// empty configuration that the console then writes into. It is checked when it opens and said in
// the box; nothing is written to it.
TEST_F(WindowTest, AStoreWithADamagedIndexIsSaidInABoxAndNeverWritten)
{
    ASSERT_TRUE(store->createKey(channelKeyPath("Channel 1")));
    ASSERT_TRUE(store->writeString(channelKeyPath("Channel 1"), "Address", "Line 1"));
    win.reset();
    store.reset();  // the file is complete and closed
    ASSERT_TRUE(emptyIndexPage(registryFile(), QStringLiteral("registry_keys_name")));
    QFile f(registryFile());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray damaged = f.readAll();
    f.close();

    prompt.answers = {Prompt::Yes};
    open();
    win->LoadChannelOptions();
    ASSERT_EQ(prompt.messages.size(), 1);
    EXPECT_TRUE(prompt.messages.first().contains(registryFile())) << qPrintable(prompt.messages.first());
    EXPECT_TRUE(prompt.messages.first().contains("damaged")) << qPrintable(prompt.messages.first());
    EXPECT_EQ(win->lvAllApplication->rowCount(), 0);

    acceptWith<TfrmApplication>([](TfrmApplication& d) {
        d.edtApplicationName->setText("Fax");
        d.edtApplicationFile->setText("/f.svx");
        d.btnOKClick();
    });
    win->acNewApplicationExecute();
    EXPECT_EQ(win->lvAllApplication->rowCount(), 0);
    ASSERT_EQ(prompt.messages.size(), 2);
    win.reset();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll() == damaged) << "the damaged file is never written";
    f.close();
    for (const char* suffix : {"-wal", "-journal"}) {
        QFile side(registryFile() + QLatin1String(suffix));
        EXPECT_TRUE(!side.exists() || side.size() == 0) << suffix;
    }
}

TEST_F(WindowTest, AStoreLockedElsewhereFailsFastAndChangesNothing)
{
    // Another program holds the store's write lock and keeps it.
    QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("inject"));
    other.setDatabaseName(registryFile());
    ASSERT_TRUE(other.open());
    QSqlQuery q(other);
    ASSERT_TRUE(q.exec("BEGIN IMMEDIATE"));
    ASSERT_TRUE(q.exec("UPDATE registry_values SET data = data"));

    acceptWith<TfrmApplication>([](TfrmApplication& d) {
        d.edtApplicationName->setText("Fax");
        d.edtApplicationFile->setText("/f.svx");
        d.btnOKClick();
    });
    QElapsedTimer timer;
    timer.start();
    win->acNewApplicationExecute();
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(column(win->lvAllApplication, 0), (QStringList{"Bank", "Shop"}));
    ASSERT_EQ(prompt.messages.size(), 1);
    EXPECT_TRUE(prompt.messages.last().contains("locked")) << qPrintable(prompt.messages.last());

    q.exec("ROLLBACK");
    q = QSqlQuery();
    other.close();
    other = QSqlDatabase();
    win->acNewApplicationExecute();
    EXPECT_EQ(column(win->lvAllApplication, 0), (QStringList{"Bank", "Shop", "Fax"}));
}

TEST_F(WindowTest, AStoreDeletedWhileTheConsoleRunsIsReported)
{
    for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(registryFile() + suffix);
    acceptWith<TfrmApplication>([](TfrmApplication& d) {
        d.edtApplicationName->setText("Fax");
        d.edtApplicationFile->setText("/f.svx");
        d.btnOKClick();
    });
    win->acNewApplicationExecute();
    EXPECT_EQ(column(win->lvAllApplication, 0), (QStringList{"Bank", "Shop"}));
    ASSERT_EQ(prompt.messages.size(), 1);
    EXPECT_TRUE(prompt.messages.last().contains("deleted")) << qPrintable(prompt.messages.last());
    EXPECT_FALSE(QFile::exists(registryFile()));
}

TEST_F(WindowTest, ViewCommands)
{
    win->show();
    win->acToolBarExecute();
    EXPECT_FALSE(win->tbarTool->isVisible());
    EXPECT_FALSE(win->acToolBar->isChecked());
    win->acToolBarExecute();
    EXPECT_TRUE(win->tbarTool->isVisible());
    win->acStatusBarExecute();
    EXPECT_FALSE(win->StatusLine->isVisible());
    EXPECT_FALSE(win->acStatusBar->isChecked());
    win->acShowExplorBarExecute();
    EXPECT_FALSE(win->tvMain->isVisible());
    EXPECT_FALSE(win->acShowExplorBar->isChecked());
    win->acShowExplorBarExecute();
    EXPECT_TRUE(win->tvMain->isVisible());

    // The explorer-bar items select their roots, and show the selected kind.
    win->acGroup->trigger();
    EXPECT_EQ(win->selectedKind(), Kind::nkGroups);
    select(Kind::nkApplication, 0);
    win->popmExplorBarPopup();
    EXPECT_TRUE(win->acApplication->isChecked());

    // View styles apply to the lists shown; both lists of an application.
    win->acLargeIcon->trigger();
    EXPECT_EQ(win->lvGroup->viewStyle(), ConsoleListView::vsIcon);
    EXPECT_EQ(win->lvAddress->viewStyle(), ConsoleListView::vsIcon);
    EXPECT_EQ(win->lvAllApplication->viewStyle(), ConsoleListView::vsReport);
    select(Kind::nkGroup, 0);
    win->acList->trigger();
    EXPECT_EQ(win->lvAddress->viewStyle(), ConsoleListView::vsList);
    win->acDetail->setChecked(true);
    win->popmViewPopup();
    EXPECT_TRUE(win->acList->isChecked());
    select(Kind::nkApplication, 0);  // lvGroup icons, lvAddress list: the checks stay
    win->popmViewPopup();
    EXPECT_TRUE(win->acList->isChecked());

    // Expanding and collapsing a folder root changes its picture; double clicks open the dialogs.
    auto picture = [](const QIcon& icon) { return icon.pixmap(16, 16).toImage(); };
    win->FGroupsNode->setExpanded(false);
    EXPECT_EQ(picture(win->FGroupsNode->icon(0)), picture(consoleImage(4)));
    win->FGroupsNode->setExpanded(true);
    EXPECT_EQ(picture(win->FGroupsNode->icon(0)), picture(consoleImage(5)));
    select(Kind::nkAddresses);
    selectRows(win->lvAllAddress, {0});
    emit win->lvAllAddress->rowDoubleClicked(0);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown.back(), frmAddress);
}

TEST_F(WindowTest, HelpAndAbout)
{
    QTemporaryDir help;
    qputenv("SORVIX_HELP_DIR", help.path().toUtf8());
    QFile page(help.filePath("SorvixAdmin.htm"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    win->acHelpContentExecute();
    ASSERT_EQ(prompt.urls.size(), 1);
    EXPECT_TRUE(prompt.urls.first().endsWith("/SorvixAdmin.htm"));
    qunsetenv("SORVIX_HELP_DIR");

    win->acAboutExecute();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown.back(), frmAboutSorvix);
}

TEST_F(WindowTest, AnAutoStartThatFailsIsLoggedWithoutAMessageBox)
{
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtWarningMsg) warnings << text;
    });
    win->supervisor().FChannels[1].AutoStart = true;
    win->AutoStartChannels();
    qInstallMessageHandler(previous);
    EXPECT_TRUE(prompt.messages.isEmpty());
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings.first().startsWith("SorvixAdmin: Channel 2 did not start: ")) << qPrintable(warnings.first());
}

TEST_F(WindowTest, BringToFrontShowsAMinimizedWindow)
{
    win->show();
    win->showMinimized();
    win->BringToFront();
    EXPECT_FALSE(win->isMinimized());
    EXPECT_TRUE(win->isVisible());
    EXPECT_TRUE(QTest::qWaitForWindowActive(win.get()));
}

TEST_F(WindowTest, ChineseCaptions)
{
    setTextLanguage(true);
    setAdminTextLanguage(true);
    initProductTexts();
    open();
    EXPECT_EQ(win->FChannelsNode->text(0), QStringLiteral("授权通道"));
    EXPECT_EQ(win->lvAllAddress->columnCaption(1), QStringLiteral("应用流程"));
    EXPECT_EQ(win->mnuOperateButton->text(), QStringLiteral("操作(&O)"));
    EXPECT_EQ(win->miRemoveAddress->text(), QStringLiteral("移去设备(&D)"));
    // No two entries of one menu read the same.
    for (QMenu* menu : win->findChildren<QMenu*>()) {
        QSet<QString> seen;
        for (QAction* a : menu->actions()) {
            if (a->isSeparator() || a->menu()) continue;
            EXPECT_FALSE(seen.contains(a->text())) << qPrintable(a->text());
            seen.insert(a->text());
        }
    }
    EXPECT_EQ(win->acStop->text(), QStringLiteral("停止(&T)"));
    EXPECT_EQ(win->acStart->toolTip(), QStringLiteral("开始"));
    EXPECT_EQ(win->acAbout->text(), QStringLiteral("关于") + ProductTitle + QStringLiteral("(&A)..."));
}

}  // namespace
