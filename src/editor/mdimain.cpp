#include "editor/mdimain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QDir>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyle>
#include <QToolBar>

#include "ui/aboutsorvixform.h"
#include "ui/flowtreemodel.h"
#include "ui/help.h"
#include "ui/prompt.h"
#include "editor/dialogs/editregistry.h"
#include "editor/flowform.h"
#include "editor/statementdrag.h"
#include "engine/flow.h"
#include "engine/statement.h"
#include "engine/texts.h"

TfrmSorvixEdit* frmSorvixEdit = nullptr;

namespace {

uint32_t selectedFlags(const TfrmFlow* w)
{
    if (!w) return 0;
    FlowNode* n = w->FFlow->tree().selected();
    return n && n->statement() ? n->statement()->GetTypeSet() : 0;
}

TIVRBase* selectedStatement(const TfrmFlow* w)
{
    if (!w) return nullptr;
    FlowNode* n = w->FFlow->tree().selected();
    return n ? n->statement() : nullptr;
}

// The file name with its last extension replaced, as the save dialogs propose it.
QString changeFileExt(const QString& fileName, const QString& ext)
{
    const qsizetype slash = std::max(fileName.lastIndexOf(QLatin1Char('/')), fileName.lastIndexOf(QLatin1Char('\\')));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return (dot > slash ? fileName.left(dot) : fileName) + ext;
}

// The six buttons that carry a longer English hint, shown even while the palette shows captions.
struct EnglishHint {
    int index;
    const char* hint;
};
constexpr EnglishHint englishHints[] = {
    {2, "Data Category"},
    {3, "Variant operation"},
    {6, "Database operation"},
    {7, "get Field value from openned Database"},
    {8, "set CommandType and CommandText of dataBase"},
    {9, "set Param value of CommandText of DataBase"},
};

}  // namespace

QIcon toolBarImage(int index)
{
    QStyle* style = QApplication::style();
    switch (index) {
    case 0: return style->standardIcon(QStyle::SP_FileIcon);
    case 1: return style->standardIcon(QStyle::SP_DialogOpenButton);
    case 2: return style->standardIcon(QStyle::SP_DialogSaveButton);
    case 3: return style->standardIcon(QStyle::SP_MediaPlay);
    case 4: return style->standardIcon(QStyle::SP_MediaStop);
    case 5: return style->standardIcon(QStyle::SP_MediaSeekForward);
    case 6: return style->standardIcon(QStyle::SP_TitleBarNormalButton);
    case 7: return style->standardIcon(QStyle::SP_ToolBarVerticalExtensionButton);
    case 8: return style->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton);
    default: return {};
    }
}

// ---- creation ----

TfrmSorvixEdit::TfrmSorvixEdit(std::shared_ptr<ITAPI3Device> device, QWidget* parent)
    : TSorvixForm(parent), TAPI3Device(std::move(device))
{
    setObjectName(QStringLiteral("TfrmSorvixEdit"));
    frmSorvixEdit = this;

    // 1. Caption.
    setWindowTitle(ProductTitle);
    setWindowState(Qt::WindowMaximized);

    mdiArea = new QMdiArea(this);
    mdiArea->setBackground(QColor(128, 128, 128));
    mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdiArea);
    connect(mdiArea, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* sub) {
        if (auto* w = sub ? qobject_cast<TfrmFlow*>(sub->widget()) : nullptr; w && !w->closing) w->FormActivate();
    });

    // 2. The process's telephony device came with the window (TAPI3Device).
    // 3. The debug options have not been chosen in this run.
    FOptionsConfirmed = false;

    createActions();
    createMenus();
    createToolBars();
    // 4.-7. The palette.
    createPalette();
    // 10.
    EnableFlowActions(false);
    acStop->setEnabled(false);
}

TfrmSorvixEdit::~TfrmSorvixEdit()
{
    // Flow windows go first: their flows call back into this window while they close. A runner
    // still going is stopped before its flow is freed.
    for (TfrmFlow* w : flowWindows())
        if (w->FFlow->Running()) w->FFlow->Stop();
    for (QMdiSubWindow* sub : mdiArea->subWindowList()) delete sub;
    if (frmSorvixEdit == this) frmSorvixEdit = nullptr;
}

void TfrmSorvixEdit::setTelephonyDevice(std::shared_ptr<ITAPI3Device> device)
{
    TAPI3Device = std::move(device);
    for (TfrmFlow* w : flowWindows()) w->FFlow->setDevice(TAPI3Device);
}

void TfrmSorvixEdit::createActions()
{
    auto action = [this](const QString& caption, const QKeySequence& key = {}, int image = -1) {
        auto* a = new QAction(caption, this);
        if (!key.isEmpty()) a->setShortcut(key);
        if (image >= 0) a->setIcon(withDisabledLook(toolBarImage(image)));
        // Shortcuts work wherever the focus is inside the frame, flow windows included.
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
        return a;
    };
    auto hinted = [](QAction* a) {
        a->setToolTip(TIVRFlow::CaptionToName(a->text()));
        a->setStatusTip(a->toolTip());
        return a;
    };

    acNew = hinted(action(txt::mnuNew, QKeySequence(Qt::CTRL | Qt::Key_N), 0));
    acOpen = hinted(action(txt::mnuOpen, QKeySequence(Qt::CTRL | Qt::Key_O), 1));
    acSave = hinted(action(txt::mnuSave, QKeySequence(Qt::CTRL | Qt::Key_S), 2));
    acSaveAs = action(txt::mnuSaveAs);
    acSaveFlowText = action(txt::mnuSaveFlowText);
    acClose = action(txt::mnuClose);
    acCloseAll = action(txt::mnuCloseAll);
    acExit = action(txt::mnuExit, QKeySequence(Qt::ALT | Qt::Key_F4));

    acProperty = action(txt::mnuProperty);
    acProperty->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    acDelete = action(txt::mnuDelete, QKeySequence(Qt::Key_Delete));
    acBreakPoint = action(txt::mnuBreakPoint, QKeySequence(Qt::Key_F9));
    acClearAllBreakPoint = action(txt::mnuClearAllBreakPoint);
    acDisable = action(txt::mnuDisable, QKeySequence(Qt::Key_F4));
    acEnableAll = action(txt::mnuEnableAll);
    acExpandAllFlow = action(txt::mnuExpandAll);
    acCollapseAllFlow = action(txt::mnuCollapseAll);
    acExpandCurFlow = action(txt::mnuExpand);
    acCollapseCurFlow = action(txt::mnuCollapse);
    acAdd = action(txt::mnuAddFlow);
    acAddChildFirst = action(txt::mnuInsertChildFlow);

    acRun = hinted(action(txt::mnuRun, QKeySequence(Qt::Key_F5), 3));
    acStep = hinted(action(txt::mnuStep, QKeySequence(Qt::Key_F10), 5));
    acStop = hinted(action(txt::mnuStop, QKeySequence(Qt::SHIFT | Qt::Key_F5), 4));
    acExecute = action(txt::mnuExecute, QKeySequence(Qt::CTRL | Qt::Key_F5));
    acDebugOption = action(txt::mnuOption);

    acWindowCascade = action(txt::mnuCascade, {}, 6);
    acWindowTileHorizontal = action(txt::mnuTileHorizontal, {}, 7);
    acWindowTileVertical = action(txt::mnuTileVertical, {}, 8);
    acWindowMinimizeAll = action(txt::mnuMinimizeAll);
    acWindowArrange = action(txt::mnuArrangeIcons);
    acWindowNext = action(txt::mnuNext);
    acWindowPrevious = action(txt::mnuPrevious);

    acHelpContent = action(txt::mnuContents, QKeySequence(Qt::Key_F1));
    acHelpAbout = action(txt::About + ProductTitle + txt::AboutTail);

    connect(acNew, &QAction::triggered, this, [this] { OpenFlowFile(QString()); });
    connect(acOpen, &QAction::triggered, this, &TfrmSorvixEdit::acOpenExecute);
    connect(acSave, &QAction::triggered, this, &TfrmSorvixEdit::acSaveExecute);
    connect(acSaveAs, &QAction::triggered, this, &TfrmSorvixEdit::acSaveAsExecute);
    connect(acSaveFlowText, &QAction::triggered, this, &TfrmSorvixEdit::acSaveFlowTextExecute);
    connect(acClose, &QAction::triggered, this, &TfrmSorvixEdit::acCloseExecute);
    connect(acCloseAll, &QAction::triggered, this, [this] { CloseAllFlows(); });
    connect(acExit, &QAction::triggered, this, &QWidget::close);
    connect(acProperty, &QAction::triggered, this, &TfrmSorvixEdit::acPropertyExecute);
    connect(acDelete, &QAction::triggered, this, &TfrmSorvixEdit::acDeleteExecute);
    connect(acBreakPoint, &QAction::triggered, this, &TfrmSorvixEdit::acBreakPointExecute);
    connect(acClearAllBreakPoint, &QAction::triggered, this, &TfrmSorvixEdit::acClearAllBreakPointExecute);
    connect(acDisable, &QAction::triggered, this, &TfrmSorvixEdit::acDisableExecute);
    connect(acEnableAll, &QAction::triggered, this, &TfrmSorvixEdit::acEnableAllExecute);
    connect(acExpandAllFlow, &QAction::triggered, this, &TfrmSorvixEdit::acExpandAllFlowExecute);
    connect(acCollapseAllFlow, &QAction::triggered, this, &TfrmSorvixEdit::acCollapseAllFlowExecute);
    connect(acExpandCurFlow, &QAction::triggered, this, &TfrmSorvixEdit::acExpandCurFlowExecute);
    connect(acCollapseCurFlow, &QAction::triggered, this, &TfrmSorvixEdit::acCollapseCurFlowExecute);
    connect(acAdd, &QAction::triggered, this, &TfrmSorvixEdit::acAddExecute);
    connect(acAddChildFirst, &QAction::triggered, this, &TfrmSorvixEdit::acAddChildFirstExecute);
    connect(acRun, &QAction::triggered, this, [this] { StartFlow(true, false); });
    connect(acStep, &QAction::triggered, this, [this] { StartFlow(true, true); });
    connect(acExecute, &QAction::triggered, this, [this] { StartFlow(false, false); });
    connect(acStop, &QAction::triggered, this, [this] {
        if (FDebugWindow) FDebugWindow->FFlow->Stop();
    });
    connect(acDebugOption, &QAction::triggered, this, [this] { ShowDebugOptions(); });
    connect(acWindowCascade, &QAction::triggered, mdiArea, &QMdiArea::cascadeSubWindows);
    connect(acWindowTileHorizontal, &QAction::triggered, this, &TfrmSorvixEdit::acWindowTileHorizontalExecute);
    connect(acWindowTileVertical, &QAction::triggered, this, &TfrmSorvixEdit::acWindowTileVerticalExecute);
    connect(acWindowMinimizeAll, &QAction::triggered, this, &TfrmSorvixEdit::acWindowMinimizeAllExecute);
    connect(acWindowArrange, &QAction::triggered, this, &TfrmSorvixEdit::acWindowArrangeExecute);
    connect(acWindowNext, &QAction::triggered, mdiArea, &QMdiArea::activateNextSubWindow);
    connect(acWindowPrevious, &QAction::triggered, mdiArea, &QMdiArea::activatePreviousSubWindow);
    connect(acHelpContent, &QAction::triggered, this, &TfrmSorvixEdit::acHelpContentExecute);
    connect(acHelpAbout, &QAction::triggered, this, &TfrmSorvixEdit::acHelpAboutExecute);
}

// A menu item that runs the command. The command keeps its key and stays enabled; the item shows
// the key and is enabled by the menu's own rules.
QAction* TfrmSorvixEdit::editItem(QAction* command, bool checkable)
{
    QString text = command->text();
    // The Property key is shown by its keyboard name, Enter, as on the key cap.
    if (command == acProperty)
        text += QStringLiteral("\tEnter");
    else if (!command->shortcut().isEmpty())
        text += QLatin1Char('\t') + command->shortcut().toString(QKeySequence::NativeText);
    auto* item = new QAction(text, this);
    item->setCheckable(checkable);
    connect(item, &QAction::triggered, command, &QAction::trigger);
    return item;
}

void TfrmSorvixEdit::createMenus()
{
    QMenuBar* bar = menuBar();

    mnuFile = bar->addMenu(txt::mnuFile);
    mnuFile->addActions({acNew, acOpen, acSave, acSaveAs, acSaveFlowText, acClose, acCloseAll});
    mnuFile->addSeparator();
    mnuFile->addAction(acExit);

    mnuEdit = bar->addMenu(txt::mnuEdit);
    mnuEditItems.property = editItem(acProperty);
    mnuEditItems.del = editItem(acDelete);
    mnuEditItems.breakPoint = editItem(acBreakPoint, true);
    mnuEditItems.clearAllBreakPoint = editItem(acClearAllBreakPoint);
    mnuEditItems.disable = editItem(acDisable, true);
    mnuEditItems.enableAll = editItem(acEnableAll);
    mnuEdit->addAction(mnuEditItems.property);
    mnuEdit->addSeparator();
    mnuEdit->addAction(mnuEditItems.del);
    mnuEdit->addSeparator();
    mnuEdit->addActions({mnuEditItems.breakPoint, mnuEditItems.clearAllBreakPoint});
    mnuEdit->addSeparator();
    mnuEdit->addActions({mnuEditItems.disable, mnuEditItems.enableAll});
    connect(mnuEdit, &QMenu::aboutToShow, this, &TfrmSorvixEdit::mnuEditPopup);

    mnuView = bar->addMenu(txt::mnuView);
    mnuToolBar = mnuView->addAction(txt::mnuToolBar);
    mnuToolBar->setCheckable(true);
    mnuToolBar->setChecked(true);
    mnuStatementBar = mnuView->addMenu(txt::mnuStatementBar);
    mnuStatementVisible = mnuStatementBar->addAction(txt::mnuVisible);
    mnuStatementVisible->setCheckable(true);
    mnuStatementVisible->setChecked(true);
    mnuStatementBar->addSeparator();
    mnuStatementText = mnuStatementBar->addAction(txt::mnuText);
    mnuStatementText->setCheckable(true);
    mnuStatementText->setChecked(true);
    mnuView->addSeparator();
    mnuViewItems.expandAll = editItem(acExpandAllFlow);
    mnuViewItems.expand = editItem(acExpandCurFlow);
    mnuViewItems.collapse = editItem(acCollapseCurFlow);
    mnuViewItems.collapseAll = editItem(acCollapseAllFlow);
    mnuView->addActions({mnuViewItems.expandAll, mnuViewItems.expand, mnuViewItems.collapse, mnuViewItems.collapseAll});
    connect(mnuView, &QMenu::aboutToShow, this, &TfrmSorvixEdit::mnuViewPopup);
    // The check marks follow the user's clicks; the handlers flip the bars.
    connect(mnuToolBar, &QAction::triggered, this, &TfrmSorvixEdit::mnuToolBarClick);
    connect(mnuStatementVisible, &QAction::triggered, this, &TfrmSorvixEdit::mnuStatementVisibleClick);
    connect(mnuStatementText, &QAction::triggered, this, &TfrmSorvixEdit::mnuStatementTextClick);

    mnuDebug = bar->addMenu(txt::mnuDebug);
    mnuDebug->addActions({acRun, acStep, acStop});
    mnuDebug->addSeparator();
    mnuDebug->addAction(acExecute);
    mnuDebug->addSeparator();
    mnuDebug->addAction(acDebugOption);

    mnuWindow = bar->addMenu(txt::mnuWindow);
    connect(mnuWindow, &QMenu::aboutToShow, this, &TfrmSorvixEdit::mnuWindowPopup);
    mnuWindowPopup();

    mnuHelp = bar->addMenu(txt::mnuHelp);
    mnuHelp->addAction(acHelpContent);
    mnuHelp->addSeparator();
    mnuHelp->addAction(acHelpAbout);

    popmFlow = new QMenu(this);
    popmFlowItems.property = editItem(acProperty);
    popmFlowItems.del = editItem(acDelete);
    popmFlowItems.breakPoint = editItem(acBreakPoint, true);
    popmFlowItems.clearAllBreakPoint = editItem(acClearAllBreakPoint);
    popmFlowItems.disable = editItem(acDisable, true);
    popmFlowItems.enableAll = editItem(acEnableAll);
    popmFlowItems.expandAll = editItem(acExpandAllFlow);
    popmFlowItems.collapseAll = editItem(acCollapseAllFlow);
    popmFlowItems.expand = editItem(acExpandCurFlow);
    popmFlowItems.collapse = editItem(acCollapseCurFlow);
    popmFlow->addAction(popmFlowItems.property);
    popmFlow->addSeparator();
    popmFlow->addAction(popmFlowItems.del);
    popmFlow->addSeparator();
    popmFlow->addActions({popmFlowItems.breakPoint, popmFlowItems.clearAllBreakPoint});
    popmFlow->addSeparator();
    popmFlow->addActions({popmFlowItems.disable, popmFlowItems.enableAll});
    popmFlow->addSeparator();
    popmFlow->addActions(
        {popmFlowItems.expandAll, popmFlowItems.collapseAll, popmFlowItems.expand, popmFlowItems.collapse});
    popmFlow->addSeparator();
    connect(popmFlow, &QMenu::aboutToShow, this, &TfrmSorvixEdit::popmFlowPopup);

    popmCommandBar = new QMenu(this);
    popmCommandBar->addActions({acAdd, acAddChildFirst});
}

void TfrmSorvixEdit::createToolBars()
{
    tbarTool = new QToolBar(this);
    tbarTool->setObjectName(QStringLiteral("tbarTool"));
    tbarTool->setMovable(false);
    tbarTool->setFloatable(false);
    tbarTool->setIconSize(QSize(16, 16));
    tbarTool->addActions({acNew, acOpen, acSave});
    tbarTool->addSeparator();
    tbarTool->addActions({acRun, acStep, acStop});
    addToolBar(Qt::TopToolBarArea, tbarTool);
}

void TfrmSorvixEdit::createPalette()
{
    tbarCommand = new QToolBar(this);
    tbarCommand->setObjectName(QStringLiteral("tbarCommand"));
    tbarCommand->setOrientation(Qt::Vertical);
    tbarCommand->setMovable(false);
    tbarCommand->setFloatable(false);
    palettePanel = new TStatementPanel(tbarCommand);
    tbarCommand->addWidget(palettePanel);
    addToolBar(Qt::LeftToolBarArea, tbarCommand);

    // 4. FPalette in palette order; 6. tag, caption, hint and image from the class.
    FPalette = palettePanel->buttons;
    for (TPaletteButton* b : FPalette) {
        const ClassInfo* c = b->statementClass();
        b->setText(c->GetTypeName());
        b->setHint(c->GetTypeName());
        b->setIcon(statementImage(c->image));
        b->installEventFilter(this);
        connect(b, &QToolButton::clicked, this, [this, b] {
            const Qt::KeyboardModifiers mods =
                releaseSeen_ ? releaseModifiers_ : QGuiApplication::keyboardModifiers();
            releaseSeen_ = false;
            tbtnClick(b, mods);
        });
    }
    // 5. The categories.
    tbtnDataDefine = palettePanel->categories[0];
    tbtnDataOperate = palettePanel->categories[1];
    tbtnFlowControl = palettePanel->categories[2];
    tbtnCardOperate = palettePanel->categories[3];
    const auto& cats = PaletteCategories();
    for (int c = 0; c < 4; ++c) {
        TPaletteButton* b = palettePanel->categories[size_t(c)];
        b->setText(*cats[size_t(c)].caption);
        b->setHint(*cats[size_t(c)].caption);
        b->setIcon(statementImage(cats[size_t(c)].image));
        connect(b, &QToolButton::clicked, this, [this, c] { tbtnCategoryClick(c); });
    }
    palettePanel->setShowCaptions(true);
    // 7.
    SetEnglishHints(true);
}

QMenu* TfrmSorvixEdit::createPopupMenu()
{
    // The bars are shown and hidden through the View menu only, so its check marks stay true.
    return nullptr;
}

// ---- enabling ----

void TfrmSorvixEdit::EnableFlowActions(bool enabled)
{
    for (QAction* a : {acSave, acSaveAs, acSaveFlowText, acClose, acCloseAll, acRun, acStep, acExecute, acWindowNext,
                       acWindowPrevious})
        a->setEnabled(enabled);
    EnablePalette(enabled);
}

void TfrmSorvixEdit::EnablePalette(bool enabled)
{
    for (TPaletteButton* b : FPalette) b->setEnabled(enabled);
}

void TfrmSorvixEdit::SetEnglishHints(bool setTexts)
{
    if (IsChinese) return;
    for (const EnglishHint& h : englishHints) {
        if (setTexts) FPalette[size_t(h.index)]->setHint(QLatin1String(h.hint));
        FPalette[size_t(h.index)]->setShowHint(true);
    }
}

void TfrmSorvixEdit::SetRunActions(bool enabled)
{
    acRun->setEnabled(enabled);
    acStep->setEnabled(enabled);
    acExecute->setEnabled(enabled);
    acStop->setEnabled(!enabled);
}

// ---- flow windows ----

QMdiSubWindow* TfrmSorvixEdit::subWindowOf(const TfrmFlow* window) const
{
    for (QMdiSubWindow* sub : mdiArea->subWindowList())
        if (sub->widget() == window) return sub;
    return nullptr;
}

QList<TfrmFlow*> TfrmSorvixEdit::flowWindows() const
{
    QList<TfrmFlow*> list;
    for (QMdiSubWindow* sub : mdiArea->subWindowList(QMdiArea::CreationOrder))
        if (auto* w = qobject_cast<TfrmFlow*>(sub->widget()); w && !w->closing) list << w;
    return list;
}

TfrmFlow* TfrmSorvixEdit::activeFlowWindow() const
{
    if (QMdiSubWindow* sub = mdiArea->currentSubWindow())
        if (auto* w = qobject_cast<TfrmFlow*>(sub->widget()); w && !w->closing) return w;
    // While the frame is being set up or a window has just gone, the last one active counts.
    const QList<QMdiSubWindow*> history = mdiArea->subWindowList(QMdiArea::ActivationHistoryOrder);
    for (auto it = history.crbegin(); it != history.crend(); ++it)
        if (auto* w = qobject_cast<TfrmFlow*>((*it)->widget()); w && !w->closing) return w;
    return nullptr;
}

bool TfrmSorvixEdit::sameFlowFile(const QString& a, const QString& b)
{
    if (a.isEmpty() || b.isEmpty()) return false;
    auto key = [](const QString& name) {
        const QFileInfo fi(name);
        const QString canonical = fi.canonicalFilePath();
        return canonical.isEmpty() ? QDir::cleanPath(fi.absoluteFilePath()) : canonical;
    };
    return key(a) == key(b);
}

TfrmFlow* TfrmSorvixEdit::findFlowWindow(const QString& fileName) const
{
    for (TfrmFlow* w : flowWindows())
        if (sameFlowFile(w->FFlow->FileName, fileName)) return w;
    return nullptr;
}

void TfrmSorvixEdit::showFlowWindow(TfrmFlow* window)
{
    QMdiSubWindow* sub = subWindowOf(window);
    if (!sub) return;
    if (sub->isMinimized()) sub->showNormal();
    sub->show();
    sub->raise();
    mdiArea->setActiveSubWindow(sub);
}

void TfrmSorvixEdit::showError(const QString& text)
{
    Prompt::instance().message(this, text, ProductTitle, Prompt::Kind::Error, Prompt::Buttons::Ok);
}

void TfrmSorvixEdit::OpenFlowFile(const QString& fileName)
{
    QString name = fileName;
    if (!name.isEmpty()) {
        const QFileInfo fi(name);
        // A pipe or a device goes on to the load, which refuses it and says why.
        if (!fi.exists() || fi.isDir()) return;
        if (TfrmFlow* w = findFlowWindow(name)) {
            showFlowWindow(w);
            return;
        }
        // The flow keeps the absolute name: its relative wave and data paths start from its folder.
        name = fi.absoluteFilePath();
    }
    QString error;
    auto* w = new TfrmFlow(this, name, &error);
    if (!error.isEmpty()) {
        showError(error);
        CloseFlow(w);
        return;
    }
    if (!name.isEmpty()) FLastFolder = QFileInfo(name).absolutePath();
    if (flowWindows().size() == 1) EnableFlowActions(true);
}

// A flow without a file asks for a name in the dialog titled as for Save, whoever asked.
bool TfrmSorvixEdit::saveFlowOf(TfrmFlow* w, QObject*, QString* error)
{
    error->clear();
    if (!w) return false;
    if (w->FFlow->FileName.isEmpty()) return saveFlowAsOf(w, acSave, error);
    if (!w->FFlow->SaveToFile(error) || !error->isEmpty()) return false;
    FLastFolder = QFileInfo(w->FFlow->FileName).absolutePath();
    return true;
}

bool TfrmSorvixEdit::saveFlowAsOf(TfrmFlow* w, QObject* sender, QString* error)
{
    error->clear();
    if (!w) return false;
    TIVRFlow* f = w->FFlow;
    const QString title = sender == acSave ? TIVRFlow::CaptionToName(txt::mnuSave) : txt::SaveAsTitle;
    const QString proposed = f->FileName.isEmpty() ? f->FlowName : f->FileName;
    // Two windows on one file would overwrite each other's work on every save: refused in the
    // dialog, before it asks whether to replace the file.
    const auto heldElsewhere = [this, w](const QString& name) {
        TfrmFlow* other = findFlowWindow(name);
        return other && other != w ? txt::FileOpenInOtherWindow + QDir::toNativeSeparators(name) : QString();
    };
    const QString chosen = Prompt::instance().saveFileName(this, title, proposed, Prompt::qtFilter(txt::FlowFileFilter),
                                                           QStringLiteral("SVX"), heldElsewhere);
    if (chosen.isEmpty()) return false;
    *error = heldElsewhere(chosen);
    if (!error->isEmpty()) return false;
    if (!f->SaveAs(chosen, error) || !error->isEmpty()) return false;
    FLastFolder = QFileInfo(chosen).absolutePath();
    return true;
}

bool TfrmSorvixEdit::SaveFlow(QObject* sender, QString* error)
{
    return saveFlowOf(activeFlowWindow(), sender, error);
}

bool TfrmSorvixEdit::SaveFlowAs(QObject* sender, QString* error)
{
    return saveFlowAsOf(activeFlowWindow(), sender, error);
}

bool TfrmSorvixEdit::queryCloseFlow(TfrmFlow* w)
{
    TIVRFlow* f = w->FFlow;
    Prompt& prompt = Prompt::instance();
    if (f->Running()) {
        if (prompt.message(this, txt::StopDebuggingOf + f->FlowName + QStringLiteral(" ?"), ProductTitle,
                           Prompt::Kind::Question, Prompt::Buttons::OkCancel) != Prompt::Ok)
            return false;
        f->Stop();
        // A runner that would not stop keeps its window: freeing the flow under it is not safe.
        if (f->Running()) return false;
    }
    if (f->Modified) {
        const int answer = prompt.message(this, txt::SaveChangesTo + f->FlowName + QStringLiteral(" ?"), ProductTitle,
                                          Prompt::Kind::Question, Prompt::Buttons::YesNoCancel);
        if (answer == Prompt::Yes) {
            // The closing window's own flow is saved, whichever window is active.
            QString error;
            if (!saveFlowOf(w, acSave, &error)) {
                if (!error.isEmpty()) showError(error);
                return false;
            }
        } else if (answer != Prompt::No) {
            return false;
        }
    }
    return true;
}

void TfrmSorvixEdit::destroyFlowWindow(TfrmFlow* w)
{
    w->closing = true;
    if (FDebugWindow == w) FDebugWindow = nullptr;
    if (FPopupButton && !activeFlowWindow()) FPopupButton = nullptr;
    // A close that came from the window itself is finished by Qt, which frees the window then.
    if (w->inCloseEvent()) return;
    w->closeApproved = true;
    if (QMdiSubWindow* sub = subWindowOf(w)) {
        const bool wasCurrent = mdiArea->currentSubWindow() == sub;
        mdiArea->removeSubWindow(sub);
        delete sub;
        if (wasCurrent) {
            const QList<QMdiSubWindow*> history = mdiArea->subWindowList(QMdiArea::ActivationHistoryOrder);
            if (!history.isEmpty()) mdiArea->setActiveSubWindow(history.last());
        }
    } else {
        delete w;
    }
}

bool TfrmSorvixEdit::CloseFlow(TfrmFlow* w)
{
    if (!w) return false;
    const bool closed = queryCloseFlow(w);
    if (closed) destroyFlowWindow(w);
    if (flowWindows().isEmpty()) EnableFlowActions(false);
    return closed;
}

bool TfrmSorvixEdit::CloseAllFlows()
{
    while (TfrmFlow* w = activeFlowWindow())
        if (!CloseFlow(w)) return false;
    return true;
}

void TfrmSorvixEdit::closeEvent(QCloseEvent* event)
{
    if (CloseAllFlows())
        event->accept();
    else
        event->ignore();
}

// ---- file commands ----

void TfrmSorvixEdit::acOpenExecute()
{
    const QString name = Prompt::instance().openFileName(this, TIVRFlow::CaptionToName(txt::mnuOpen), FLastFolder,
                                                         Prompt::qtFilter(txt::FlowFileFilter));
    if (!name.isEmpty()) OpenFlowFile(name);
}

void TfrmSorvixEdit::acSaveExecute()
{
    QString error;
    SaveFlow(nullptr, &error);
    if (!error.isEmpty()) showError(error);
}

void TfrmSorvixEdit::acSaveAsExecute()
{
    QString error;
    SaveFlowAs(acSaveAs, &error);
    if (!error.isEmpty()) showError(error);
}

void TfrmSorvixEdit::acSaveFlowTextExecute()
{
    TfrmFlow* w = activeFlowWindow();
    if (!w) return;
    TIVRFlow* f = w->FFlow;
    const QString proposed = f->FileName.isEmpty() ? f->FlowName : changeFileExt(f->FileName, QStringLiteral(".txt"));
    const QString chosen = Prompt::instance().saveFileName(this, txt::SaveFlowTextTitle, proposed,
                                                           Prompt::qtFilter(txt::TextFileFilter), QStringLiteral("TXT"));
    if (chosen.isEmpty()) return;
    QString error;
    f->SaveFlowText(chosen, &error);
    if (!error.isEmpty()) showError(error);
}

void TfrmSorvixEdit::acCloseExecute()
{
    CloseFlow(activeFlowWindow());
}

// ---- edit commands: they act on the active flow, whatever the menus show ----

void TfrmSorvixEdit::acPropertyExecute()
{
    TfrmFlow* w = activeFlowWindow();
    if (!w) return;
    w->FFlow->PressedNode = w->FFlow->tree().selected();
    w->FFlow->TreeDblClick();
}

void TfrmSorvixEdit::acDeleteExecute()
{
    // The runner reads the tree: nothing is deleted while the flow runs, also not by the key.
    TfrmFlow* w = activeFlowWindow();
    if (!w || w->FFlow->Running() || !selectedStatement(w)) return;
    w->FFlow->DeleteStatement();
}

void TfrmSorvixEdit::acBreakPointExecute()
{
    // The key obeys the same permission as the menu item.
    TfrmFlow* w = activeFlowWindow();
    if (!selectedStatement(w) || !TfrmFlow::CanDo(0, selectedFlags(w), 6)) return;
    w->FFlow->ToggleBreakPoint();
}

void TfrmSorvixEdit::acDisableExecute()
{
    TfrmFlow* w = activeFlowWindow();
    if (!selectedStatement(w) || !TfrmFlow::CanDo(0, selectedFlags(w), 7)) return;
    w->FFlow->ToggleEnabled();
}

void TfrmSorvixEdit::acClearAllBreakPointExecute()
{
    if (TfrmFlow* w = activeFlowWindow()) w->FFlow->ClearAllBreakPoints();
}

void TfrmSorvixEdit::acEnableAllExecute()
{
    if (TfrmFlow* w = activeFlowWindow()) w->FFlow->EnableAll();
}

void TfrmSorvixEdit::acExpandAllFlowExecute()
{
    if (TfrmFlow* w = activeFlowWindow()) w->ExpandFlow();
}

void TfrmSorvixEdit::acCollapseAllFlowExecute()
{
    if (TfrmFlow* w = activeFlowWindow()) w->CollapseFlow();
}

void TfrmSorvixEdit::acExpandCurFlowExecute()
{
    TfrmFlow* w = activeFlowWindow();
    if (!w) return;
    FlowTree& tree = w->FFlow->tree();
    FlowNode* node = tree.selected();
    if (!node) return;
    for (FlowNode* n = node; n && n->isInside(node); n = n->nextInTree())
        if (n->hasChildren()) tree.setExpanded(n, true);
}

void TfrmSorvixEdit::acCollapseCurFlowExecute()
{
    TfrmFlow* w = activeFlowWindow();
    if (!w) return;
    if (FlowNode* node = w->FFlow->tree().selected()) w->FFlow->tree().setExpanded(node, false);
}

void TfrmSorvixEdit::acAddExecute()
{
    TfrmFlow* w = activeFlowWindow();
    if (w && FPopupButton) w->AddToFlow(FPopupButton->statementClass());
}

void TfrmSorvixEdit::acAddChildFirstExecute()
{
    TfrmFlow* w = activeFlowWindow();
    if (w && FPopupButton) w->AddToChildFlow(FPopupButton->statementClass());
}

// ---- menus as they open ----

void TfrmSorvixEdit::updateEditItems(const EditItems& items, bool popup)
{
    TfrmFlow* w = activeFlowWindow();
    TIVRBase* s = selectedStatement(w);
    const uint32_t t = selectedFlags(w);
    // Commands on the selected statement need one.
    const bool any = s != nullptr;

    items.property->setEnabled(any && TfrmFlow::CanDo(0, t, 2));
    items.del->setEnabled(any && !w->FFlow->Running() && TfrmFlow::CanDo(0, t, 3));
    if (any && TfrmFlow::CanDo(0, t, 6)) {
        items.breakPoint->setEnabled(true);
        items.breakPoint->setChecked(s->breakPoint());
    } else {
        items.breakPoint->setEnabled(false);
        items.breakPoint->setChecked(false);
    }
    if (any && TfrmFlow::CanDo(0, t, 7)) {
        items.disable->setEnabled(true);
        items.disable->setChecked(!s->enabled());
        if (!s->enabled()) {
            items.breakPoint->setChecked(false);
            items.breakPoint->setEnabled(false);
        }
    } else {
        items.disable->setEnabled(false);
        items.disable->setChecked(false);
    }
    const bool flow = w != nullptr;
    items.clearAllBreakPoint->setEnabled(flow);
    items.enableAll->setEnabled(flow);
    if (popup)
        for (QAction* a : {items.expandAll, items.collapseAll, items.expand, items.collapse}) a->setEnabled(flow);
}

void TfrmSorvixEdit::mnuEditPopup()
{
    updateEditItems(mnuEditItems, false);
}

void TfrmSorvixEdit::popmFlowPopup()
{
    updateEditItems(popmFlowItems, true);
}

void TfrmSorvixEdit::mnuViewPopup()
{
    const bool flow = activeFlowWindow() != nullptr;
    for (QAction* a : {mnuViewItems.expandAll, mnuViewItems.expand, mnuViewItems.collapse, mnuViewItems.collapseAll})
        a->setEnabled(flow);
}

void TfrmSorvixEdit::popmFlowShow(const QPoint& globalPos)
{
    popmFlow->popup(globalPos);
}

void TfrmSorvixEdit::mnuWindowPopup()
{
    mnuWindow->clear();
    mnuWindow->addActions({acWindowCascade, acWindowTileHorizontal, acWindowTileVertical, acWindowNext,
                           acWindowPrevious, acWindowMinimizeAll, acWindowArrange});
    const QList<TfrmFlow*> windows = flowWindows();
    for (QAction* a : {acWindowCascade, acWindowTileHorizontal, acWindowTileVertical, acWindowMinimizeAll, acWindowArrange})
        a->setEnabled(!windows.isEmpty());
    if (windows.isEmpty()) return;
    mnuWindow->addSeparator();
    TfrmFlow* active = activeFlowWindow();
    int number = 1;
    for (TfrmFlow* w : windows) {
        QString caption = w->windowTitle();
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* item = mnuWindow->addAction(number < 10 ? QStringLiteral("&%1 %2").arg(number).arg(caption) : caption);
        ++number;
        item->setCheckable(true);
        item->setChecked(w == active);
        connect(item, &QAction::triggered, this, [this, w] {
            if (flowWindows().contains(w)) showFlowWindow(w);
        });
    }
}

void TfrmSorvixEdit::popmCommandBarPopup(TPaletteButton* button)
{
    FPopupButton = button;
    TfrmFlow* w = activeFlowWindow();
    const bool usable = button && button->statementClass() && w && !w->FFlow->Running() && selectedStatement(w);
    const uint32_t s = usable ? button->statementClass()->typeSet : 0;
    const uint32_t t = selectedFlags(w);
    acAdd->setVisible(usable && TfrmFlow::CanDo(s, t, 0));
    acAddChildFirst->setVisible(usable && TfrmFlow::CanDo(s, t, 1));
}

// ---- window commands ----

namespace {
QList<QMdiSubWindow*> shownWindows(QMdiArea* area)
{
    QList<QMdiSubWindow*> list;
    for (QMdiSubWindow* sub : area->subWindowList(QMdiArea::CreationOrder))
        if (sub->isVisible() && !sub->isMinimized()) list << sub;
    return list;
}
}  // namespace

void TfrmSorvixEdit::acWindowTileHorizontalExecute()
{
    // One above the other, each as wide as the area.
    const QList<QMdiSubWindow*> windows = shownWindows(mdiArea);
    if (windows.isEmpty()) return;
    const QRect area = mdiArea->viewport()->rect();
    const int h = area.height() / int(windows.size());
    for (int i = 0; i < windows.size(); ++i) {
        windows[i]->showNormal();
        windows[i]->setGeometry(0, i * h, area.width(), h);
    }
}

void TfrmSorvixEdit::acWindowTileVerticalExecute()
{
    // Side by side, each as high as the area.
    const QList<QMdiSubWindow*> windows = shownWindows(mdiArea);
    if (windows.isEmpty()) return;
    const QRect area = mdiArea->viewport()->rect();
    const int wd = area.width() / int(windows.size());
    for (int i = 0; i < windows.size(); ++i) {
        windows[i]->showNormal();
        windows[i]->setGeometry(i * wd, 0, wd, area.height());
    }
}

void TfrmSorvixEdit::acWindowMinimizeAllExecute()
{
    // The area maximises whichever window it activates after a maximised one goes: bring the
    // maximised ones to normal first, and go round until every window is minimised.
    const QList<QMdiSubWindow*> windows = mdiArea->subWindowList();
    for (QMdiSubWindow* sub : windows)
        if (sub->isMaximized()) sub->showNormal();
    for (int round = 0; round < 3; ++round)
        for (QMdiSubWindow* sub : windows)
            if (!sub->isMinimized()) sub->showMinimized();
}

void TfrmSorvixEdit::acWindowArrangeExecute()
{
    // Minimised windows in a row along the bottom edge, wrapping upwards.
    const QRect area = mdiArea->viewport()->rect();
    int x = 0, y = area.bottom() + 1;
    for (QMdiSubWindow* sub : mdiArea->subWindowList(QMdiArea::CreationOrder)) {
        if (!sub->isMinimized()) continue;
        const QSize size = sub->size();
        if (x > 0 && x + size.width() > area.width()) {
            x = 0;
            y -= size.height();
        }
        sub->move(x, y - size.height());
        x += size.width();
    }
}

// ---- help ----

void TfrmSorvixEdit::acHelpContentExecute()
{
    ShowHtmlHelp(this, txt::HelpRoot + QStringLiteral("SorvixEdit.htm"), 0, 0);
}

TfrmAboutSorvix* TfrmSorvixEdit::aboutBox()
{
    if (!about_) about_ = new TfrmAboutSorvix(this);
    return about_;
}

void TfrmSorvixEdit::acHelpAboutExecute()
{
    aboutBox()->exec();
}

// The debugger commands are in mdidebug.cpp.

// ---- palette ----

void TfrmSorvixEdit::tbtnCategoryClick(int category)
{
    const PaletteCategory& cat = PaletteCategories()[size_t(category)];
    // Each button flips by itself.
    for (int i = cat.first; i <= cat.last; ++i) FPalette[size_t(i)]->setHidden(!FPalette[size_t(i)]->isHidden());
    TPaletteButton* b = palettePanel->categories[size_t(category)];
    if (b == tbtnDataDefine || b == tbtnFlowControl) b->setIcon(statementImage(b->isChecked() ? 1 : 0));
}

// A button clicks when the left button is released over it, so a click never comes mid-press.
void TfrmSorvixEdit::tbtnClick(TPaletteButton* button, Qt::KeyboardModifiers modifiers)
{
    if (!button || !button->statementClass()) return;
    TfrmFlow* w = activeFlowWindow();
    if (!w) return;
    if (modifiers & Qt::ControlModifier)
        w->AddToChildFlow(button->statementClass());
    else
        w->AddToFlow(button->statementClass());
}

bool TfrmSorvixEdit::paletteButtonEvent(TPaletteButton* b, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        dragDone_ = nullptr;
        if (e->button() == Qt::LeftButton) {
            FPressedButton = b;
            FPressPoint = e->position().toPoint();
        }
        return false;
    }
    case QEvent::MouseMove: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (dragDone_ == b) return true;
        if (FPressedButton != b || !(e->buttons() & Qt::LeftButton)) return false;
        const QPoint p = e->position().toPoint();
        const QPoint d = p - FPressPoint;
        if (std::abs(d.x()) < 3 && std::abs(d.y()) < 3) return false;
        if (p.x() < 1 || p.y() < 1 || p.x() >= width() || p.y() >= height()) return false;
        FPressedButton = nullptr;
        // The drag ends the press: the release it may swallow must not turn into a click.
        dragDone_ = b;
        b->setDown(false);
        StatementDrag::run(b, StatementDrag::paletteData(b->statementClass()), b->icon().pixmap(16, 16));
        b->setDown(false);
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton) FPressedButton = nullptr;
        if (dragDone_ == b) {
            dragDone_ = nullptr;
            b->setDown(false);
            return true;
        }
        releaseModifiers_ = e->modifiers();
        releaseSeen_ = true;
        return false;
    }
    case QEvent::ContextMenu: {
        auto* e = static_cast<QContextMenuEvent*>(event);
        popmCommandBarPopup(b);
        if (acAdd->isVisible() || acAddChildFirst->isVisible()) popmCommandBar->popup(e->globalPos());
        return true;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        // A statement button takes what is dragged over it; the drop changes nothing.
        auto* e = static_cast<QDragMoveEvent*>(event);
        if (StatementDrag::isStatementData(e->mimeData()))
            e->acceptProposedAction();
        else
            e->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* e = static_cast<QDropEvent*>(event);
        if (StatementDrag::isStatementData(e->mimeData())) e->acceptProposedAction();
        return true;
    }
    default: return false;
    }
}

bool TfrmSorvixEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (auto* b = qobject_cast<TPaletteButton*>(watched); b && b->statementClass())
        return paletteButtonEvent(b, event);
    return TSorvixForm::eventFilter(watched, event);
}

// ---- view toggles ----

void TfrmSorvixEdit::mnuToolBarClick()
{
    tbarTool->setHidden(!tbarTool->isHidden());
    mnuToolBar->setChecked(!tbarTool->isHidden());
}

void TfrmSorvixEdit::mnuStatementVisibleClick()
{
    tbarCommand->setHidden(!tbarCommand->isHidden());
    mnuStatementVisible->setChecked(!tbarCommand->isHidden());
    mnuStatementText->setEnabled(!tbarCommand->isHidden());
}

void TfrmSorvixEdit::mnuStatementTextClick()
{
    const bool captions = palettePanel->showCaptions();
    palettePanel->setShowCaptions(!captions);
    // Tool tips exactly while the captions are off.
    for (TPaletteButton* b : FPalette) b->setShowHint(captions);
    for (TPaletteButton* b : palettePanel->categories) b->setShowHint(captions);
    mnuStatementText->setChecked(!captions);
    SetEnglishHints(false);
}
