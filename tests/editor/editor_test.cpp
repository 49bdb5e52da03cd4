#include <gtest/gtest.h>


#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QFileInfo>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <QToolButton>
#include <sys/stat.h>

#include "ui/aboutsorvixform.h"
#include "ui/flowtreemodel.h"
#include "ui/help.h"
#include "editor/flowform.h"
#include "editor/mdimain.h"
#include "editor/palette.h"
#include "editor/dialogs/editregistry.h"
#include "editor/statementdrag.h"
#include "devices/sim/devicefactory.h"
#include "engine/flow.h"
#include "engine/statement.h"
#include "engine/texts.h"
#include "support/files.h"
#include "ui/fakeprompt.h"
#include "ui/iconlook.h"

// Sets a flow's run state without a runner thread.
struct TIVRFlowTestAccess {
    static void setRunning(TIVRFlow& flow, bool running) { flow.running_ = running; }
};

namespace {

const ClassInfo* cls(const char* name)
{
    const ClassInfo* c = ClassRegistry::find(QLatin1String(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

uint32_t flags(const char* name)
{
    return cls(name)->typeSet;
}

QString childTexts(const FlowNode* node)
{
    QStringList texts;
    for (FlowNode* c = node->firstChild(); c; c = c->nextSibling()) texts << c->text();
    return texts.join(QLatin1Char('|'));
}

// Whether this build can write flow files (the writer may not be there yet).
bool canSaveFlows()
{
    QTemporaryDir dir;
    TIVRFlow flow(nullptr, QString(), true);
    QString error;
    return flow.SaveAs(dir.filePath(QStringLiteral("probe.svx")), &error) && error.isEmpty();
}

struct Editor : ::testing::Test {
    FakePrompt prompt;
    std::unique_ptr<TfrmSorvixEdit> main;

    void SetUp() override
    {
        initProductTexts();
        main = std::make_unique<TfrmSorvixEdit>(createTelephonyDevice());
        installStatementDialogs(main.get());
        main->resize(1000, 700);
        main->show();
    }
    void TearDown() override
    {
        StatementDrag::setRunner({});
        if (main)
            for (TfrmFlow* w : main->flowWindows()) TIVRFlowTestAccess::setRunning(*w->FFlow, false);
        main.reset();
    }

    TfrmFlow* newFlow()
    {
        main->OpenFlowFile(QString());
        return main->activeFlowWindow();
    }
    static FlowNode* add(TfrmFlow* w, FlowNode* at, const char* name, int code)
    {
        FlowNode* n = w->AddStatement(at, cls(name), code);
        EXPECT_NE(n, nullptr) << name;
        return n;
    }
    static void select(TfrmFlow* w, FlowNode* node) { w->FFlow->tree().select(node); }
    TPaletteButton* button(const char* className)
    {
        for (TPaletteButton* b : main->FPalette)
            if (b->statementClass() == cls(className)) return b;
        return nullptr;
    }
};

// ---- the palette ----

TEST_F(Editor, PaletteHoldsTheThirtyThreeClassesInOrderWithCaptionsImagesAndGroups)
{
    const char* const expected[] = {
        "IVRVariant", "IVRDataBase", "IVRCategory", "IVROperator", "IVRString", "IVRDateTime", "IVRDBOperate",
        "IVRField", "IVRCommand", "IVRParam", "IVRTextFile", "IVRInitFile", "IVRExecute", "IVRIf", "IVRSwitch",
        "IVRCase", "IVRWhile", "IVRBlock", "IVRLabel", "IVRGoto", "IVRFinish", "IVRRestart", "IVRRing",
        "IVRAnswer", "IVRCall", "IVRPlay", "IVRRecord", "IVRSpeech", "IVRSleep", "IVRReceiveDTMF",
        "IVRSendDTMF", "IVRGateway", "IVRSpeakerPhone"};
    for (int i = 0; i < PaletteSize; ++i) {
        SCOPED_TRACE(expected[i]);
        TPaletteButton* b = main->FPalette[size_t(i)];
        ASSERT_EQ(b->statementClass(), cls(expected[i]));
        EXPECT_EQ(b->text(), b->statementClass()->GetTypeName());
        EXPECT_EQ(b->icon().cacheKey(), statementImage(b->statementClass()->image).cacheKey());
    }
    EXPECT_EQ(main->FPalette[20]->objectName(), "tbtnEndFlow");
    EXPECT_EQ(main->FPalette[29]->objectName(), "tbtnGetDTMF");

    struct Cat {
        TPaletteButton* button;
        QString caption;
        int image;
        bool pressed;
    };
    const Cat cats[] = {{main->tbtnDataDefine, "Data Define", 1, true},
                        {main->tbtnDataOperate, "Data Operate", 2, true},
                        {main->tbtnFlowControl, "Flow Control", 1, true},
                        {main->tbtnCardOperate, "Telephone", 4, false}};
    for (const Cat& c : cats) {
        EXPECT_EQ(c.button->text(), c.caption);
        EXPECT_EQ(c.button->hint(), c.caption);
        EXPECT_EQ(c.button->icon().cacheKey(), statementImage(c.image).cacheKey());
        EXPECT_EQ(c.button->isChecked(), c.pressed);
        EXPECT_TRUE(c.button->isCheckable());
    }
}

TEST_F(Editor, PaletteShowsEachGroupTwoPerRowAfterItsCategory)
{
    QApplication::processEvents();
    auto pos = [this](int i) { return main->FPalette[size_t(i)]->geometry().topLeft(); };
    // Data Define: the category with Category beside it, then Variant and DataBase.
    const QPoint cat = main->tbtnDataDefine->geometry().topLeft();
    EXPECT_EQ(pos(2).y(), cat.y());
    EXPECT_GT(pos(2).x(), cat.x());
    EXPECT_GT(pos(0).y(), cat.y());
    EXPECT_EQ(pos(0).x(), cat.x());
    EXPECT_EQ(pos(1).y(), pos(0).y());
    EXPECT_EQ(pos(1).x(), pos(2).x());
    // Telephone: Ring beside the category; Gateway and SpeakerPhone share the last row.
    EXPECT_EQ(pos(22).y(), main->tbtnCardOperate->geometry().y());
    EXPECT_EQ(pos(31).y(), pos(32).y());
    EXPECT_LT(pos(31).x(), pos(32).x());
    // Execute is alone on the last row of Data Operate, before Flow Control begins.
    EXPECT_LT(pos(12).y(), main->tbtnFlowControl->geometry().y());
    EXPECT_GT(pos(12).y(), pos(11).y());
    // Captions beside images at one width of at least 99 pixels.
    for (TPaletteButton* b : main->FPalette) {
        EXPECT_EQ(b->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
        EXPECT_EQ(b->width(), main->palettePanel->captionWidth());
        EXPECT_GE(b->width(), 99);
        EXPECT_GE(b->width(), b->sizeHint().width()) << b->objectName().toStdString();
    }
}

TEST_F(Editor, CategoryButtonsFlipTheirGroupsAndFolderImages)
{
    main->tbtnCardOperate->click();
    for (int i = 22; i <= 32; ++i) EXPECT_TRUE(main->FPalette[size_t(i)]->isHidden()) << i;
    EXPECT_FALSE(main->FPalette[21]->isHidden());
    EXPECT_EQ(main->tbtnCardOperate->icon().cacheKey(), statementImage(4).cacheKey());
    main->tbtnCardOperate->click();
    for (int i = 22; i <= 32; ++i) EXPECT_FALSE(main->FPalette[size_t(i)]->isHidden()) << i;

    main->tbtnDataDefine->click();
    for (int i = 0; i <= 2; ++i) EXPECT_TRUE(main->FPalette[size_t(i)]->isHidden());
    EXPECT_EQ(main->tbtnDataDefine->icon().cacheKey(), statementImage(0).cacheKey());
    main->tbtnDataDefine->click();
    EXPECT_EQ(main->tbtnDataDefine->icon().cacheKey(), statementImage(1).cacheKey());
    main->tbtnDataOperate->click();
    EXPECT_EQ(main->tbtnDataOperate->icon().cacheKey(), statementImage(2).cacheKey());

    // A hidden palette does not confuse the flip: hidden buttons show again with the bar.
    main->mnuStatementVisible->trigger();
    main->tbtnFlowControl->click();
    main->mnuStatementVisible->trigger();
    for (int i = 13; i <= 21; ++i) EXPECT_TRUE(main->FPalette[size_t(i)]->isHidden()) << i;
}

TEST_F(Editor, EnglishHintsAndToolTipsFollowTheCaptionState)
{
    const std::map<int, QString> english{{2, "Data Category"},
                                         {3, "Variant operation"},
                                         {6, "Database operation"},
                                         {7, "get Field value from openned Database"},
                                         {8, "set CommandType and CommandText of dataBase"},
                                         {9, "set Param value of CommandText of DataBase"}};
    for (int i = 0; i < PaletteSize; ++i) {
        TPaletteButton* b = main->FPalette[size_t(i)];
        const auto it = english.find(i);
        if (it != english.end()) {
            EXPECT_EQ(b->hint(), it->second);
            EXPECT_EQ(b->toolTip(), it->second);
        } else {
            EXPECT_EQ(b->hint(), b->text());
            EXPECT_TRUE(b->toolTip().isEmpty()) << i;
        }
    }
    EXPECT_TRUE(main->tbtnDataDefine->toolTip().isEmpty());

    // Captions off: images only, every button shows its tool tip; the six keep their long hints.
    main->mnuStatementText->trigger();
    EXPECT_FALSE(main->mnuStatementText->isChecked());
    EXPECT_FALSE(main->palettePanel->showCaptions());
    for (TPaletteButton* b : main->FPalette) {
        EXPECT_EQ(b->toolButtonStyle(), Qt::ToolButtonIconOnly);
        EXPECT_EQ(b->toolTip(), b->hint());
        EXPECT_LT(b->width(), 99);
    }
    EXPECT_EQ(main->tbtnDataDefine->toolTip(), "Data Define");
    EXPECT_EQ(main->FPalette[7]->toolTip(), english.at(7));

    main->mnuStatementText->trigger();
    EXPECT_TRUE(main->mnuStatementText->isChecked());
    EXPECT_TRUE(main->FPalette[0]->toolTip().isEmpty());
    EXPECT_EQ(main->FPalette[3]->toolTip(), english.at(3));
    EXPECT_EQ(main->FPalette[0]->width(), main->palettePanel->captionWidth());

    // The Text item is usable only while the palette shows.
    main->mnuStatementVisible->trigger();
    EXPECT_TRUE(main->tbarCommand->isHidden());
    EXPECT_FALSE(main->mnuStatementVisible->isChecked());
    EXPECT_FALSE(main->mnuStatementText->isEnabled());
    main->mnuStatementVisible->trigger();
    EXPECT_TRUE(main->mnuStatementText->isEnabled());
    main->mnuToolBar->trigger();
    EXPECT_TRUE(main->tbarTool->isHidden());
    EXPECT_FALSE(main->mnuToolBar->isChecked());
}

TEST_F(Editor, InChineseNoPaletteButtonShowsAToolTipWhileCaptionsShow)
{
    main.reset();
    setTextLanguage(true);
    initProductTexts();
    main = std::make_unique<TfrmSorvixEdit>(createTelephonyDevice());
    installStatementDialogs(main.get());
    for (TPaletteButton* b : main->FPalette) {
        EXPECT_TRUE(b->toolTip().isEmpty()) << b->objectName().toStdString();
        EXPECT_EQ(b->hint(), b->text());
    }
    EXPECT_EQ(main->tbtnDataDefine->text(), txt::CatDataDefine);
    main->mnuStatementText->trigger();
    EXPECT_EQ(main->FPalette[7]->toolTip(), main->FPalette[7]->text());
    EXPECT_EQ(main->acHelpAbout->text(), txt::About + ProductTitle + txt::AboutTail);
    main.reset();
    setTextLanguage(false);
    initProductTexts();
}

// ---- actions ----

TEST_F(Editor, ActionsCarryTheirCaptionsShortcutsAndHints)
{
    struct Row {
        QAction* action;
        const char* caption;
        QKeySequence key;
    };
    const Row rows[] = {
        {main->acNew, "&New", QKeySequence(Qt::CTRL | Qt::Key_N)},
        {main->acOpen, "&Open", QKeySequence(Qt::CTRL | Qt::Key_O)},
        {main->acSave, "&Save", QKeySequence(Qt::CTRL | Qt::Key_S)},
        {main->acSaveAs, "Save &As...", {}},
        {main->acSaveFlowText, "Save Flow &Text...", {}},
        {main->acClose, "&Close", {}},
        {main->acCloseAll, "Close A&ll", {}},
        {main->acExit, "&Exit", QKeySequence(Qt::ALT | Qt::Key_F4)},
        {main->acProperty, "&Property...", QKeySequence(Qt::Key_Return)},
        {main->acDelete, "&Delete", QKeySequence(Qt::Key_Delete)},
        {main->acBreakPoint, "&BreakPoint", QKeySequence(Qt::Key_F9)},
        {main->acClearAllBreakPoint, "&Clear All BreakPoint", {}},
        {main->acDisable, "D&isable", QKeySequence(Qt::Key_F4)},
        {main->acEnableAll, "&Enable All", {}},
        {main->acExpandAllFlow, "&Expand All", {}},
        {main->acCollapseAllFlow, "&Collapse All", {}},
        {main->acExpandCurFlow, "E&xpand", {}},
        {main->acCollapseCurFlow, "&C&ollapse", {}},
        {main->acAdd, "&Add Flow", {}},
        {main->acAddChildFirst, "&Insert Child Flow", {}},
        {main->acRun, "&Run", QKeySequence(Qt::Key_F5)},
        {main->acStep, "&Step", QKeySequence(Qt::Key_F10)},
        {main->acStop, "S&top", QKeySequence(Qt::SHIFT | Qt::Key_F5)},
        {main->acExecute, "&Execute", QKeySequence(Qt::CTRL | Qt::Key_F5)},
        {main->acDebugOption, "&Option...", {}},
        {main->acWindowCascade, "&Cascade", {}},
        {main->acWindowTileHorizontal, "Tile &Horizontal", {}},
        {main->acWindowTileVertical, "Tile &Vertical", {}},
        {main->acWindowMinimizeAll, "&Minimize All", {}},
        {main->acWindowArrange, "&Ararange Icons", {}},
        {main->acWindowNext, "&Next", {}},
        {main->acWindowPrevious, "&Previous", {}},
        {main->acHelpContent, "&Contents", QKeySequence(Qt::Key_F1)},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.action->text(), r.caption);
        EXPECT_EQ(r.action->shortcut(), r.key) << r.caption;
    }
    EXPECT_TRUE(main->acProperty->shortcuts().contains(QKeySequence(Qt::Key_Enter)));
    EXPECT_EQ(main->acHelpAbout->text(), "&About " + ProductTitle + "...");
    for (auto [a, hint] : {std::pair{main->acNew, "New"}, {main->acOpen, "Open"}, {main->acSave, "Save"},
                           {main->acRun, "Run"}, {main->acStep, "Step"}, {main->acStop, "Stop"}})
        EXPECT_EQ(a->toolTip(), hint);
    EXPECT_EQ(main->windowTitle(), ProductTitle);
    EXPECT_EQ(main->objectName(), "TfrmSorvixEdit");
    EXPECT_STREQ(main->metaObject()->className(), "TfrmSorvixEdit");
    EXPECT_EQ(main->mnuEditItems.property->text(), "&Property...\tEnter");
    EXPECT_EQ(main->popmFlowItems.breakPoint->text(), "&BreakPoint\tF9");

    // Tool bar: New, Open, Save, a separator, Run, Step, Stop.
    QList<QAction*> bar = main->tbarTool->actions();
    ASSERT_EQ(bar.size(), 7);
    EXPECT_EQ(bar[0], main->acNew);
    EXPECT_TRUE(bar[3]->isSeparator());
    EXPECT_EQ(bar[6], main->acStop);
}

TEST_F(Editor, FlowActionsAndPaletteFollowTheOpenWindows)
{
    auto flowActions = [this] {
        return std::vector<QAction*>{main->acSave, main->acSaveAs, main->acSaveFlowText, main->acClose,
                                     main->acCloseAll, main->acRun, main->acStep, main->acExecute,
                                     main->acWindowNext, main->acWindowPrevious};
    };
    for (QAction* a : flowActions()) EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    for (TPaletteButton* b : main->FPalette) EXPECT_FALSE(b->isEnabled());
    EXPECT_FALSE(main->acStop->isEnabled());
    for (QAction* a : {main->acNew, main->acOpen, main->acExit, main->acProperty, main->acDelete, main->acBreakPoint,
                       main->acDisable, main->acDebugOption, main->acHelpContent, main->acHelpAbout})
        EXPECT_TRUE(a->isEnabled());

    TfrmFlow* a = newFlow();
    // Every flow runs on the frame's one device.
    ASSERT_NE(main->TAPI3Device, nullptr);
    EXPECT_EQ(a->FFlow->device(), main->TAPI3Device);
    for (QAction* x : flowActions()) EXPECT_TRUE(x->isEnabled());
    for (TPaletteButton* b : main->FPalette) EXPECT_TRUE(b->isEnabled());
    TfrmFlow* b = newFlow();
    EXPECT_EQ(main->flowWindows().size(), 2);

    // Activating a running flow's window disables the palette; another window enables it again.
    TIVRFlowTestAccess::setRunning(*a->FFlow, true);
    main->mdiArea->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(a->parentWidget()));
    EXPECT_FALSE(main->FPalette[0]->isEnabled());
    main->mdiArea->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(b->parentWidget()));
    EXPECT_TRUE(main->FPalette[0]->isEnabled());
    TIVRFlowTestAccess::setRunning(*a->FFlow, false);

    EXPECT_TRUE(main->CloseFlow(b));
    EXPECT_TRUE(main->acSave->isEnabled());
    main->acClose->trigger();
    EXPECT_TRUE(main->flowWindows().isEmpty());
    for (QAction* x : flowActions()) EXPECT_FALSE(x->isEnabled());
    for (TPaletteButton* p : main->FPalette) EXPECT_FALSE(p->isEnabled());
}

// A tool bar button looks as its command is: a disabled one is drawn greyed, as its menu item is.
TEST_F(Editor, ToolBarButtonsShowTheirCommandsDisabledState)
{
    for (QAction* a : {main->acSave, main->acRun, main->acStep, main->acStop}) {
        SCOPED_TRACE(a->toolTip().toStdString());
        auto* button = qobject_cast<QToolButton*>(main->tbarTool->widgetForAction(a));
        ASSERT_NE(button, nullptr);
        a->setEnabled(false);
        EXPECT_FALSE(button->isEnabled());
        const QImage off = button->grab().toImage();
        a->setEnabled(true);
        EXPECT_TRUE(button->isEnabled());
        const QImage on = button->grab().toImage();
        EXPECT_NE(off, on) << "the disabled button looks like the enabled one";
        // Plainly faded, not a shade lighter.
        EXPECT_TRUE(looksPlainlyDisabled(button->icon()));
        a->setEnabled(false);
    }
}

// ---- the permission matrix ----

TEST(FlowPermissions, CanDoFollowsTheMatrix)
{
    struct Row {
        const char* source;  // nullptr: no class
        const char* target;
        int operation;
        bool allowed;
    };
    const Row rows[] = {
        // 0: add after the selected statement
        {"IVRIf", "IVRBegin", 0, false},       // the call-flow root has no sibling
        {"IVRVariant", "IVRPlay", 0, true},    // a declaration goes to the declarations anyway
        {"IVRVariant", "IVRVar", 0, false},    // not after the declarations root
        {"IVRVariant", "IVRVariant", 0, true},
        {"IVRPlay", "IVRVariant", 0, true},    // an operation with a declaration selected
        {"IVRCase", "IVRVariant", 0, false},
        {"IVRCase", "IVRDefault", 0, true},
        {"IVRCase", "IVRCase", 0, true},
        {"IVRPlay", "IVRDefault", 0, false},
        {"IVRCase", "IVRPlay", 0, false},
        {"IVRPlay", "IVRPlay", 0, true},
        {"IVRPlay", "IVRTrue", 0, false},      // If branches have no sibling
        {"IVRPlay", "IVREnd", 0, false},
        // 1: add as the first child
        {"IVRIf", "IVRBegin", 1, true},
        {"IVRVariant", "IVRVar", 1, true},
        {"IVRVariant", "IVRCategory", 1, true},
        {"IVRVariant", "IVRVariant", 1, false},
        {"IVRVariant", "IVRBlock", 1, false},
        {"IVRPlay", "IVRCategory", 1, false},
        {"IVRCase", "IVRSwitch", 1, true},
        {"IVRPlay", "IVRSwitch", 1, false},
        {"IVRPlay", "IVRWhile", 1, true},
        {"IVRCase", "IVRWhile", 1, false},
        {"IVRPlay", "IVRDefault", 1, true},
        {"IVRPlay", "IVRPlay", 1, false},
        {"IVRPlay", "IVRTrue", 1, true},
        // 2: properties; 3: delete
        {nullptr, "IVRPlay", 2, true},
        {nullptr, "IVRBegin", 2, false},
        {nullptr, "IVRTrue", 2, false},
        {nullptr, "IVRPlay", 3, true},
        {nullptr, "IVRResult", 3, false},
        {nullptr, "IVRDefault", 3, false},
        {nullptr, "IVRCase", 3, true},
        // 6: breakpoint
        {nullptr, "IVRBegin", 6, false},
        {nullptr, "IVRVariant", 6, false},
        {nullptr, "IVRCategory", 6, false},
        {nullptr, "IVRTrue", 6, false},
        {nullptr, "IVRFalse", 6, false},
        {nullptr, "IVRCase", 6, false},
        {nullptr, "IVRDefault", 6, false},
        {nullptr, "IVREnd", 6, true},
        {nullptr, "IVRPlay", 6, true},
        {nullptr, "IVRIf", 6, true},
        // 7: disable
        {nullptr, "IVRBegin", 7, false},
        {nullptr, "IVRVar", 7, false},
        {nullptr, "IVRDataBase", 7, false},
        {nullptr, "IVREnd", 7, true},
        {nullptr, "IVRTrue", 7, true},
        {nullptr, "IVRCase", 7, true},
        // no operation
        {nullptr, "IVRPlay", 4, false},
        {nullptr, "IVRPlay", 5, false},
        {nullptr, "IVRPlay", 8, false},
        {"IVRPlay", "IVRPlay", -1, false},
    };
    for (const Row& r : rows) {
        const uint32_t s = r.source ? flags(r.source) : 0;
        EXPECT_EQ(TfrmFlow::CanDo(s, flags(r.target), r.operation), r.allowed)
            << (r.source ? r.source : "-") << " " << r.target << " " << r.operation;
    }
}

// ---- placement from the palette ----

TEST_F(Editor, AddToFlowAndAddToChildFlowPlaceByTheRules)
{
    TfrmFlow* w = newFlow();
    TIVRFlow* f = w->FFlow;

    // With Begin selected the after rule fails and the If becomes Begin's first child, with its
    // branches; AddToChildFlow gives the same place directly.
    select(w, f->BeginRoot);
    w->AddToFlow(cls("IVRIf"));
    ASSERT_EQ(f->BeginRoot->childCount(), 1);
    FlowNode* ifNode = f->BeginRoot->firstChild();
    EXPECT_EQ(ifNode->statement()->className(), std::string("IVRIf"));
    EXPECT_EQ(childTexts(ifNode), "True|False");
    select(w, f->BeginRoot);
    w->AddToChildFlow(cls("IVRWhile"));
    EXPECT_EQ(f->BeginRoot->firstChild()->statement()->className(), std::string("IVRWhile"));

    // A variable from anywhere in the call flow goes last into the declarations.
    FlowNode* play = add(w, f->BeginRoot, "IVRPlay", pcLastChild);
    select(w, play);
    w->AddToFlow(cls("IVRVariant"));
    EXPECT_EQ(f->VarRoot->lastChild()->statement()->className(), std::string("IVRVariant"));
    // With Var selected it goes right after the result variable.
    select(w, f->VarRoot);
    w->AddToFlow(cls("IVRDataBase"));
    EXPECT_EQ(f->VarRoot->child(1)->statement()->className(), std::string("IVRDataBase"));
    EXPECT_EQ(f->VarRoot->firstChild()->statement()->className(), std::string("IVRResult"));

    // With a declaration selected an operation goes last into the call flow.
    select(w, f->VarRoot->firstChild());
    w->AddToFlow(cls("IVRAnswer"));
    EXPECT_EQ(f->BeginRoot->lastChild()->statement()->className(), std::string("IVRAnswer"));

    // Switch arms: a Case before the Default, after another Case.
    FlowNode* sw = add(w, f->BeginRoot, "IVRSwitch", pcLastChild);
    FlowNode* def = sw->firstChild();
    select(w, def);
    w->AddToFlow(cls("IVRCase"));
    ASSERT_EQ(sw->childCount(), 2);
    FlowNode* case1 = sw->firstChild();
    EXPECT_EQ(case1->statement()->className(), std::string("IVRCase"));
    EXPECT_EQ(sw->lastChild(), def);
    select(w, case1);
    w->AddToFlow(cls("IVRCase"));
    ASSERT_EQ(sw->childCount(), 3);
    EXPECT_EQ(sw->child(0), case1);
    EXPECT_EQ(sw->lastChild(), def);
    // A plain statement with an arm selected goes into the arm; a Case beside a Play nowhere.
    select(w, case1);
    w->AddToFlow(cls("IVRSleep"));
    EXPECT_EQ(case1->childCount(), 1);
    const int before = f->tree().count();
    select(w, play);
    w->AddToFlow(cls("IVRCase"));
    w->AddToChildFlow(cls("IVRCase"));
    EXPECT_EQ(f->tree().count(), before);
    // A declaration selected and a Case: nothing.
    select(w, f->VarRoot->firstChild());
    w->AddToFlow(cls("IVRCase"));
    EXPECT_EQ(f->tree().count(), before);
}

TEST_F(Editor, NothingIsAddedWithoutASelectionOrWhileTheFlowRuns)
{
    TfrmFlow* w = newFlow();
    const int count = w->FFlow->tree().count();
    select(w, nullptr);
    for (const char* c : {"IVRVariant", "IVRIf", "IVRCase"}) {
        w->AddToFlow(cls(c));
        w->AddToChildFlow(cls(c));
    }
    EXPECT_EQ(w->FFlow->tree().count(), count);
    select(w, w->FFlow->BeginRoot);
    TIVRFlowTestAccess::setRunning(*w->FFlow, true);
    w->AddToFlow(cls("IVRPlay"));
    EXPECT_EQ(w->FFlow->tree().count(), count);
    TIVRFlowTestAccess::setRunning(*w->FFlow, false);
    w->AddToFlow(cls("IVRPlay"));
    EXPECT_EQ(w->FFlow->tree().count(), count + 1);
}

// ---- captions ----

TEST_F(Editor, NewFlowsAreNumberedAndCaptionsCarryTheMarks)
{
    TfrmFlow* a = newFlow();
    const int n = TIVRFlow::NewFlowCounter;
    EXPECT_EQ(a->FFlow->FlowName, "NewFlow" + QString::number(n));
    EXPECT_EQ(a->windowTitle(), a->FFlow->FlowName);
    TfrmFlow* b = newFlow();
    EXPECT_EQ(b->FFlow->FlowName, "NewFlow" + QString::number(n + 1));
    // A failed load does not advance the number.
    QTemporaryDir dir;
    const QString bad = dir.filePath("bad.svx");
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("this is not a flow\r\n");
    file.close();
    main->OpenFlowFile(bad);
    TfrmFlow* c = newFlow();
    EXPECT_EQ(c->FFlow->FlowName, "NewFlow" + QString::number(n + 2));

    select(b, b->FFlow->BeginRoot);
    b->AddToFlow(cls("IVRPlay"));
    EXPECT_TRUE(b->FFlow->Modified);
    EXPECT_EQ(b->windowTitle(), b->FFlow->FlowName + " - Modified");
    TIVRFlowTestAccess::setRunning(*b->FFlow, true);
    b->UpdateCaption(b->FFlow->Modified);
    EXPECT_EQ(b->windowTitle(), b->FFlow->FlowName + " - Modified - Debugging");
    b->UpdateCaption(false);
    EXPECT_EQ(b->windowTitle(), b->FFlow->FlowName + " - Debugging");
    EXPECT_FALSE(b->FFlow->Modified);
    TIVRFlowTestAccess::setRunning(*b->FFlow, false);
    b->UpdateCaption(false);
    EXPECT_EQ(b->windowTitle(), b->FFlow->FlowName);
}

// ---- opening ----

TEST_F(Editor, OpeningAMissingFileOrAFolderDoesNothingSilently)
{
    QTemporaryDir dir;
    main->OpenFlowFile(dir.filePath("missing.svx"));
    main->OpenFlowFile(dir.path());
    EXPECT_TRUE(main->flowWindows().isEmpty());
    EXPECT_TRUE(prompt.messages.isEmpty());
    EXPECT_FALSE(main->acSave->isEnabled());
}

TEST_F(Editor, ALoadErrorIsShownAndLeavesNoWindow)
{
    QTemporaryDir dir;
    const QString bad = dir.filePath("bad.svx");
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("object Wrong: Nothing\r\n");
    file.close();
    main->OpenFlowFile(bad);
    ASSERT_EQ(prompt.messages.size(), 1);
    EXPECT_FALSE(prompt.messages[0].isEmpty());
    EXPECT_EQ(prompt.captions[0], ProductTitle);
    EXPECT_TRUE(main->flowWindows().isEmpty());
    EXPECT_TRUE(main->mdiArea->subWindowList().isEmpty());
    EXPECT_FALSE(main->acSave->isEnabled());
    EXPECT_FALSE(main->FPalette[0]->isEnabled());

    // With a flow open, a failed load keeps the actions of the open one.
    newFlow();
    main->OpenFlowFile(bad);
    EXPECT_EQ(main->flowWindows().size(), 1);
    EXPECT_TRUE(main->acSave->isEnabled());
}

// A name that is there but no regular file (a pipe without a writer, a device) is refused by the
// load at once, and the box says why; nothing waits for the pipe or reads the device.
TEST_F(Editor, ANameThatIsNoRegularFileShowsWhy)
{
    QTemporaryDir dir;
    const QString pipe = dir.filePath("pipe.svx");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    for (const QString& file : {pipe, QStringLiteral("/dev/zero")}) {
        SCOPED_TRACE(file.toStdString());
        prompt.messages.clear();
        main->OpenFlowFile(file);
        ASSERT_EQ(prompt.messages.size(), 1);
        EXPECT_EQ(prompt.messages[0], "File cann't be openned: \r\n" + file + ": not a regular file");
        EXPECT_TRUE(main->flowWindows().isEmpty());
    }
}

TEST(FlowFileNames, SameFileIsDecidedOnCanonicalPathsExactly)
{
    QTemporaryDir dir;
    for (const char* name : {"a.svx", "A.svx"}) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    ASSERT_TRUE(QFile::link(dir.filePath("a.svx"), dir.filePath("link.svx")));
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    struct Row {
        QString a, b;
        bool same;
    };
    const Row rows[] = {
        {dir.filePath("a.svx"), dir.filePath("A.svx"), false},  // two files on this system
        {dir.filePath("a.svx"), "a.svx", true},                 // relative and absolute
        {dir.filePath("a.svx"), "./sub/../a.svx", true},
        {dir.filePath("a.svx"), dir.filePath("link.svx"), true},
        {dir.filePath("a.svx"), "", false},
        {dir.filePath("gone.svx"), "gone.svx", true},  // a file removed since it was opened
    };
    for (const Row& r : rows) EXPECT_EQ(TfrmSorvixEdit::sameFlowFile(r.a, r.b), r.same) << r.a.toStdString() << " " << r.b.toStdString();
    QDir::setCurrent(saved);
}

TEST_F(Editor, OpeningAnOpenFileActivatesItsWindow)
{
    if (!canSaveFlows()) GTEST_SKIP() << "flow files cannot be written in this build yet";
    QTemporaryDir dir;
    QString error;
    for (const char* name : {"a.svx", "A.svx"}) {
        TIVRFlow f(nullptr, QString(), true);
        ASSERT_TRUE(f.SaveAs(dir.filePath(name), &error)) << error.toStdString();
    }
    const QString saved = QDir::currentPath();
    QDir::setCurrent(dir.path());
    main->OpenFlowFile("a.svx");
    ASSERT_EQ(main->flowWindows().size(), 1);
    TfrmFlow* first = main->flowWindows()[0];
    EXPECT_EQ(first->FFlow->FileName, dir.filePath("a.svx"));
    main->OpenFlowFile(dir.filePath("A.svx"));
    EXPECT_EQ(main->flowWindows().size(), 2);
    main->OpenFlowFile(dir.filePath("a.svx"));
    EXPECT_EQ(main->flowWindows().size(), 2);
    EXPECT_EQ(main->activeFlowWindow(), first);
    EXPECT_TRUE(prompt.messages.isEmpty());
    QDir::setCurrent(saved);
}

TEST_F(Editor, SaveAsOntoAFileAnotherWindowHoldsIsRefused)
{
    if (!canSaveFlows()) GTEST_SKIP() << "flow files cannot be written in this build yet";
    QTemporaryDir dir;
    const QString held = dir.filePath("held.svx");
    {
        TIVRFlow f(nullptr, QString(), true);
        QString error;
        ASSERT_TRUE(f.SaveAs(held, &error)) << error.toStdString();
    }
    main->OpenFlowFile(held);
    TfrmFlow* holder = main->activeFlowWindow();
    ASSERT_NE(holder, nullptr);
    const QByteArray before = testfiles::bytesOf(held);

    TfrmFlow* other = newFlow();
    add(other, other->FFlow->BeginRoot, "IVRPlay", pcLastChild);
    // By the same name, and by another spelling of the same path.
    for (const QString& chosen : {held, dir.path() + "/./held.svx"}) {
        prompt.fileNames = {chosen};
        prompt.messages.clear();
        main->acSaveAs->trigger();
        ASSERT_EQ(prompt.messages.size(), 1);
        EXPECT_TRUE(prompt.messages[0].startsWith(txt::FileOpenInOtherWindow)) << prompt.messages[0].toStdString();
        EXPECT_EQ(prompt.captions[0], ProductTitle);
        EXPECT_TRUE(other->FFlow->FileName.isEmpty());
        EXPECT_TRUE(other->FFlow->Modified);
    }
    QFile file(held);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);

    // The window that holds the file may save under its own name.
    main->OpenFlowFile(held);
    ASSERT_EQ(main->activeFlowWindow(), holder);
    prompt.messages.clear();
    prompt.fileNames = {held};
    main->acSaveAs->trigger();
    EXPECT_TRUE(prompt.messages.isEmpty()) << prompt.messages.join("|").toStdString();
    EXPECT_EQ(main->flowWindows().size(), 2);
}

// Qt's save dialog hears the refusal before it would ask whether to replace the file.
TEST_F(Editor, TheSaveDialogRefusesAHeldFileBeforeItAsksToReplaceIt)
{
    QTemporaryDir dir;
    const QString held = dir.filePath("held.svx");
    QFile(held).open(QIODevice::WriteOnly);
    QStringList asked;
    const auto refuse = [&](const QString& name) {
        asked << name;
        return name == held ? QStringLiteral("held") : QString();
    };
    // Any box of Qt's own that comes up is noted and closed.
    QStringList qtBoxes;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            qtBoxes << box->text();
            box->reject();
        }
    });
    watch.start(20);
    const auto d = QtPrompt::saveDialog(main.get(), "Save As", dir.path(), "Flows (*.svx)", "svx", refuse);
    d->open();
    d->selectFile(held);
    static_cast<QDialog*>(d.get())->accept();
    EXPECT_NE(d->result(), QDialog::Accepted);
    EXPECT_TRUE(d->isVisible()) << "the dialog stays for another name";
    EXPECT_EQ(asked, QStringList{held});
    EXPECT_EQ(prompt.messages, QStringList{"held"});
    EXPECT_EQ(prompt.captions, QStringList{ProductTitle});
    EXPECT_TRUE(qtBoxes.isEmpty()) << qtBoxes.join('|').toStdString();

    const QString fresh = dir.filePath("fresh.svx");
    d->selectFile(fresh);
    static_cast<QDialog*>(d.get())->accept();
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_EQ(d->selectedFiles(), QStringList{fresh});
    EXPECT_EQ(prompt.messages.size(), 1);
}

// The Open dialog starts where the last flow was opened or saved.
TEST_F(Editor, TheOpenDialogStartsInTheFolderOfTheLastOpenOrSave)
{
    if (!canSaveFlows()) GTEST_SKIP() << "flow files cannot be written in this build yet";
    QTemporaryDir one, two;
    const QString first = one.filePath("first.svx");
    {
        TIVRFlow f(nullptr, QString(), true);
        QString error;
        ASSERT_TRUE(f.SaveAs(first, &error)) << error.toStdString();
    }
    main->acOpen->trigger();
    EXPECT_EQ(prompt.dialogs.back().dir, QString());
    main->OpenFlowFile(first);
    main->acOpen->trigger();
    EXPECT_EQ(prompt.dialogs.back().dir, one.path());

    newFlow();
    prompt.fileNames = {two.filePath("second.svx")};
    main->acSave->trigger();
    ASSERT_TRUE(QFileInfo::exists(two.filePath("second.svx")));
    main->acOpen->trigger();
    EXPECT_EQ(prompt.dialogs.back().dir, two.path());
}

// ---- closing ----

// Answers the questions; when it answers OK to the stop question the runner stops, or not.
struct StoppingPrompt : FakePrompt {
    TIVRFlow* flow = nullptr;
    bool runnerStops = true;
    int message(QWidget* parent, const QString& text, const QString& caption, Kind kind, Buttons buttons) override
    {
        const int answer = FakePrompt::message(parent, text, caption, kind, buttons);
        if (flow && runnerStops && answer == Ok && text.startsWith("Stop debugging of "))
            TIVRFlowTestAccess::setRunning(*flow, false);
        return answer;
    }
};

TEST(CloseFlow, QuestionsAndAnswersDecideWhetherTheWindowCloses)
{
    enum class Save { None, Cancelled, Fails, Succeeds };
    struct Row {
        bool running;
        bool runnerStops;
        bool modified;
        std::vector<int> answers;
        Save save;
        bool closed;
        int messages;  // questions and error boxes shown
    };
    const Row rows[] = {
        {false, true, false, {}, Save::None, true, 0},
        {false, true, true, {Prompt::No}, Save::None, true, 1},
        {false, true, true, {Prompt::Cancel}, Save::None, false, 1},
        {false, true, true, {Prompt::Yes}, Save::Cancelled, false, 1},  // nothing more shown
        {false, true, true, {Prompt::Yes}, Save::Fails, false, 2},      // the save error
        {false, true, true, {Prompt::Yes}, Save::Succeeds, true, 1},
        {true, true, false, {Prompt::Cancel}, Save::None, false, 1},
        {true, true, false, {Prompt::Ok}, Save::None, true, 1},
        {true, false, false, {Prompt::Ok}, Save::None, false, 1},  // a runner that does not stop
        {true, true, true, {Prompt::Ok, Prompt::No}, Save::None, true, 2},
        {true, true, true, {Prompt::Ok, Prompt::Cancel}, Save::None, false, 2},
        {true, true, true, {Prompt::Cancel}, Save::None, false, 1},
    };
    const bool writer = canSaveFlows();
    initProductTexts();
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& r = rows[i];
        SCOPED_TRACE(i);
        if (r.save == Save::Succeeds && !writer) continue;  // needs the flow file writer
        StoppingPrompt prompt;
        TfrmSorvixEdit main(createTelephonyDevice());
        installStatementDialogs(&main);
        main.OpenFlowFile(QString());
        TfrmFlow* w = main.activeFlowWindow();
        ASSERT_NE(w, nullptr);
        TIVRFlow* f = w->FFlow;
        const QString name = f->FlowName;
        prompt.flow = f;
        prompt.runnerStops = r.runnerStops;
        QTemporaryDir dir;
        if (r.modified) f->signalModified();
        if (r.save == Save::Fails) f->FileName = dir.filePath("no/such/folder/f.svx");
        if (r.save == Save::Succeeds) prompt.fileNames.push_back(dir.filePath("saved.svx"));
        TIVRFlowTestAccess::setRunning(*f, r.running);
        prompt.answers.assign(r.answers.begin(), r.answers.end());

        EXPECT_EQ(main.CloseFlow(w), r.closed);
        EXPECT_EQ(main.flowWindows().isEmpty(), r.closed);
        EXPECT_EQ(main.acSave->isEnabled(), !r.closed);
        ASSERT_EQ(prompt.messages.size(), r.messages);
        int q = 0;
        if (r.running) {
            EXPECT_EQ(prompt.messages[q++], "Stop debugging of " + name + " ?");
        }
        if (r.modified && (!r.running || (r.answers[0] == Prompt::Ok && r.runnerStops))) {
            EXPECT_EQ(prompt.messages[q++], "Save Changes to " + name + " ?");
        }
        for (const QString& c : prompt.captions) EXPECT_EQ(c, ProductTitle);
        if (r.save == Save::Cancelled || r.save == Save::Succeeds) {
            ASSERT_EQ(prompt.dialogs.size(), 1u);
            EXPECT_EQ(prompt.dialogs[0].caption, "Save");
        }
        if (r.save == Save::Succeeds) {
            EXPECT_TRUE(QFile::exists(dir.filePath("saved.svx")));
        }
        if (!r.closed) {
            EXPECT_EQ(f->Modified, r.modified);
            TIVRFlowTestAccess::setRunning(*f, false);
        }
    }
}

TEST_F(Editor, ClosingTheMainWindowAsksForEachFlowActiveFirst)
{
    TfrmFlow* a = newFlow();
    TfrmFlow* b = newFlow();
    main->mdiArea->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(b->parentWidget()));
    a->FFlow->signalModified();
    b->FFlow->signalModified();
    const QString nameA = a->FFlow->FlowName, nameB = b->FFlow->FlowName;
    prompt.answers = {Prompt::No, Prompt::Cancel};
    EXPECT_FALSE(main->close());
    ASSERT_EQ(prompt.messages.size(), 2);
    EXPECT_EQ(prompt.messages[0], "Save Changes to " + nameB + " ?");
    EXPECT_EQ(prompt.messages[1], "Save Changes to " + nameA + " ?");
    ASSERT_EQ(main->flowWindows().size(), 1);
    EXPECT_EQ(main->flowWindows()[0], a);
    EXPECT_TRUE(main->isVisible());

    prompt.answers = {Prompt::No};
    main->acExit->trigger();
    EXPECT_TRUE(main->flowWindows().isEmpty());
    EXPECT_FALSE(main->isVisible());
}

TEST_F(Editor, AFlowWindowsOwnCloseAsksTheMainWindow)
{
    TfrmFlow* w = newFlow();
    w->FFlow->signalModified();
    auto* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget());
    ASSERT_NE(sub, nullptr);
    prompt.answers = {Prompt::Cancel};
    EXPECT_FALSE(sub->close());
    EXPECT_EQ(main->flowWindows().size(), 1);
    QPointer<QMdiSubWindow> guard(sub);
    prompt.answers = {Prompt::No};
    EXPECT_TRUE(sub->close());
    EXPECT_TRUE(main->flowWindows().isEmpty());
    EXPECT_FALSE(main->acSave->isEnabled());
    EXPECT_EQ(prompt.messages.size(), 2);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
}

// ---- saving ----

TEST_F(Editor, SaveDialogsAreTitledAndProposeNamesAndExtensions)
{
    TfrmFlow* w = newFlow();
    TIVRFlow* f = w->FFlow;
    const QString flowFilter = "Sorvix Flow Files (*.svx);;All Files (*)";

    main->acSave->trigger();  // a new flow: the dialog titled Save, cancelled
    ASSERT_EQ(prompt.dialogs.size(), 1u);
    EXPECT_EQ(prompt.dialogs[0].caption, "Save");
    EXPECT_EQ(prompt.dialogs[0].dir, f->FlowName);
    EXPECT_EQ(prompt.dialogs[0].filter, flowFilter);
    EXPECT_EQ(prompt.dialogs[0].defaultSuffix, "SVX");
    EXPECT_TRUE(prompt.messages.isEmpty());

    main->acSaveAs->trigger();
    EXPECT_EQ(prompt.dialogs[1].caption, "Save As");
    EXPECT_EQ(prompt.dialogs[1].dir, f->FlowName);

    main->acSaveFlowText->trigger();
    EXPECT_EQ(prompt.dialogs[2].caption, "Save Flow Text");
    EXPECT_EQ(prompt.dialogs[2].dir, f->FlowName);
    EXPECT_EQ(prompt.dialogs[2].filter, "Text Files (*.txt);;All Files (*)");
    EXPECT_EQ(prompt.dialogs[2].defaultSuffix, "TXT");

    f->FileName = "/flows/my.flow.svx";
    main->acSaveAs->trigger();
    EXPECT_EQ(prompt.dialogs[3].dir, "/flows/my.flow.svx");
    main->acSaveFlowText->trigger();
    EXPECT_EQ(prompt.dialogs[4].dir, "/flows/my.flow.txt");
    f->FileName = "/fl.ows/noext";
    main->acSaveFlowText->trigger();
    EXPECT_EQ(prompt.dialogs[5].dir, "/fl.ows/noext.txt");
    EXPECT_TRUE(prompt.messages.isEmpty());

    // A failed save shows its error and keeps the flow modified.
    QTemporaryDir dir;
    f->FileName = dir.filePath("missing/folder/x.svx");
    f->signalModified();
    main->acSave->trigger();
    EXPECT_EQ(prompt.dialogs.size(), 6u);  // a flow with a file is saved without asking
    ASSERT_EQ(prompt.messages.size(), 1);
    EXPECT_EQ(prompt.captions[0], ProductTitle);
    EXPECT_TRUE(f->Modified);

    main->acOpen->trigger();
    EXPECT_EQ(prompt.dialogs[6].caption, "Open");
    EXPECT_EQ(prompt.dialogs[6].filter, flowFilter);
    EXPECT_EQ(main->flowWindows().size(), 1);
}

// ---- the edit menus ----

TEST_F(Editor, EditMenusAreEnabledByThePermissionsOfTheSelectedKind)
{
    TfrmFlow* w = newFlow();
    TIVRFlow* f = w->FFlow;
    FlowNode* variant = add(w, f->VarRoot, "IVRVariant", pcLastChild);
    FlowNode* play = add(w, f->BeginRoot, "IVRPlay", pcLastChild);
    FlowNode* ifNode = add(w, f->BeginRoot, "IVRIf", pcLastChild);
    FlowNode* sw = add(w, f->BeginRoot, "IVRSwitch", pcLastChild);
    FlowNode* kase = add(w, sw->firstChild(), "IVRCase", pcBefore);
    FlowNode* marked = add(w, f->BeginRoot, "IVRSleep", pcLastChild);
    marked->statement()->setBreakPoint(true);
    FlowNode* off = add(w, f->BeginRoot, "IVRRing", pcLastChild);
    off->statement()->setEnabled(false);
    off->statement()->setBreakPoint(true);

    struct Row {
        FlowNode* node;
        bool property, del, breakPoint, breakChecked, disable, disableChecked;
    };
    const Row rows[] = {
        {f->VarRoot, false, false, false, false, false, false},
        {f->VarRoot->firstChild(), false, false, false, false, false, false},  // the result variable
        {variant, true, true, false, false, false, false},
        {f->BeginRoot, false, false, false, false, false, false},
        {f->EndRoot, false, false, true, false, true, false},
        {play, true, true, true, false, true, false},
        {ifNode, true, true, true, false, true, false},
        {ifNode->firstChild(), false, false, false, false, true, false},  // True
        {kase, true, true, false, false, true, false},
        {sw->lastChild(), false, false, false, false, true, false},  // Default
        {marked, true, true, true, true, true, false},
        {off, true, true, false, false, true, true},  // disabled: breakpoint unchecked and off
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.node->text().toStdString());
        select(w, r.node);
        for (bool popup : {false, true}) {
            const auto& items = popup ? main->popmFlowItems : main->mnuEditItems;
            if (popup)
                main->popmFlowPopup();
            else
                main->mnuEditPopup();
            EXPECT_EQ(items.property->isEnabled(), r.property);
            EXPECT_EQ(items.del->isEnabled(), r.del);
            EXPECT_EQ(items.breakPoint->isEnabled(), r.breakPoint);
            EXPECT_EQ(items.breakPoint->isChecked(), r.breakChecked);
            EXPECT_EQ(items.disable->isEnabled(), r.disable);
            EXPECT_EQ(items.disable->isChecked(), r.disableChecked);
            EXPECT_TRUE(items.clearAllBreakPoint->isEnabled());
            EXPECT_TRUE(items.enableAll->isEnabled());
        }
        EXPECT_TRUE(main->popmFlowItems.expandAll->isEnabled());
    }
    // While the flow runs Delete is off.
    select(w, play);
    TIVRFlowTestAccess::setRunning(*f, true);
    main->mnuEditPopup();
    EXPECT_FALSE(main->mnuEditItems.del->isEnabled());
    EXPECT_TRUE(main->mnuEditItems.breakPoint->isEnabled());
    TIVRFlowTestAccess::setRunning(*f, false);
    // Without a selection the statement items are off.
    select(w, nullptr);
    main->mnuEditPopup();
    for (QAction* a : {main->mnuEditItems.property, main->mnuEditItems.del, main->mnuEditItems.breakPoint,
                       main->mnuEditItems.disable})
        EXPECT_FALSE(a->isEnabled());
    EXPECT_TRUE(main->mnuEditItems.enableAll->isEnabled());
}

TEST_F(Editor, WithoutAFlowWindowEveryEditItemIsOff)
{
    main->mnuEditPopup();
    main->popmFlowPopup();
    main->mnuViewPopup();
    for (const auto* items : {&main->mnuEditItems, &main->popmFlowItems})
        for (QAction* a : {items->property, items->del, items->breakPoint, items->clearAllBreakPoint, items->disable,
                           items->enableAll})
            EXPECT_FALSE(a->isEnabled());
    for (QAction* a : {main->popmFlowItems.expandAll, main->popmFlowItems.collapseAll, main->popmFlowItems.expand,
                       main->popmFlowItems.collapse, main->mnuViewItems.expandAll, main->mnuViewItems.expand,
                       main->mnuViewItems.collapse, main->mnuViewItems.collapseAll})
        EXPECT_FALSE(a->isEnabled());
    newFlow();
    main->mnuViewPopup();
    EXPECT_TRUE(main->mnuViewItems.collapseAll->isEnabled());
}

// ---- edit commands and their keys ----

TEST_F(Editor, EditCommandsDoNothingWithoutAFlowOrASelection)
{
    QAction* commands[] = {main->acProperty,        main->acDelete,          main->acBreakPoint,
                           main->acDisable,         main->acClearAllBreakPoint, main->acEnableAll,
                           main->acExpandAllFlow,   main->acCollapseAllFlow, main->acExpandCurFlow,
                           main->acCollapseCurFlow, main->acAdd,             main->acAddChildFirst,
                           main->acSave,            main->acSaveAs,          main->acSaveFlowText,
                           main->acClose,           main->acCloseAll};
    for (QAction* a : commands) a->activate(QAction::Trigger);
    EXPECT_TRUE(prompt.messages.isEmpty());
    EXPECT_TRUE(prompt.dialogs.empty());

    TfrmFlow* w = newFlow();
    select(w, nullptr);
    for (QAction* a : {main->acProperty, main->acDelete, main->acBreakPoint, main->acDisable, main->acExpandCurFlow,
                       main->acCollapseCurFlow, main->acAdd, main->acAddChildFirst})
        a->trigger();
    EXPECT_FALSE(w->FFlow->Modified);
    EXPECT_EQ(w->FFlow->tree().count(), 4);
}

TEST_F(Editor, BreakPointAndDisableKeysObeyThePermissions)
{
    TfrmFlow* w = newFlow();
    TIVRFlow* f = w->FFlow;
    FlowNode* ifNode = add(w, f->BeginRoot, "IVRIf", pcLastChild);
    FlowNode* sw = add(w, f->BeginRoot, "IVRSwitch", pcLastChild);
    FlowNode* kase = add(w, sw->firstChild(), "IVRCase", pcBefore);
    FlowNode* play = add(w, f->BeginRoot, "IVRPlay", pcLastChild);
    w->UpdateCaption(false);

    // Refused kinds change nothing and mark nothing modified.
    for (FlowNode* n : {ifNode->firstChild(), kase, sw->lastChild(), f->BeginRoot, f->VarRoot->firstChild()}) {
        select(w, n);
        main->acBreakPoint->trigger();
        EXPECT_FALSE(n->statement()->breakPoint()) << n->text().toStdString();
    }
    for (FlowNode* n : {f->BeginRoot, f->VarRoot, f->VarRoot->firstChild()}) {
        select(w, n);
        main->acDisable->trigger();
        EXPECT_TRUE(n->statement()->enabled());
    }
    EXPECT_FALSE(f->Modified);

    // Allowed, also while the flow runs; Delete is not.
    TIVRFlowTestAccess::setRunning(*f, true);
    select(w, play);
    main->acBreakPoint->trigger();
    EXPECT_TRUE(play->statement()->breakPoint());
    main->acDelete->trigger();
    EXPECT_EQ(f->BeginRoot->lastChild(), play);
    select(w, f->EndRoot);
    main->acDisable->trigger();
    EXPECT_FALSE(f->EndRoot->statement()->enabled());
    select(w, ifNode->firstChild());
    main->acDisable->trigger();
    EXPECT_FALSE(ifNode->firstChild()->statement()->enabled());
    TIVRFlowTestAccess::setRunning(*f, false);
    select(w, play);
    main->acDelete->trigger();
    EXPECT_NE(f->BeginRoot->lastChild(), play);

    main->acEnableAll->trigger();
    EXPECT_TRUE(f->EndRoot->statement()->enabled());
}

TEST_F(Editor, KeysReachTheCommandsFromTheTree)
{
    TfrmFlow* w = newFlow();
    FlowNode* play = add(w, w->FFlow->BeginRoot, "IVRPlay", pcLastChild);
    main->activateWindow();
    if (!QTest::qWaitForWindowActive(main.get())) GTEST_SKIP() << "no active window on this platform";
    w->treeView()->setFocus();
    select(w, play);
    QTest::keyClick(w->treeView(), Qt::Key_F9);
    EXPECT_TRUE(play->statement()->breakPoint());
    QTest::keyClick(w->treeView(), Qt::Key_F4);
    EXPECT_FALSE(play->statement()->enabled());
    int opened = 0;
    EditRegistry::registerEdit(cls("IVRPlay"), [&](TIVRBase&) {
        ++opened;
        return false;
    });
    QTest::keyClick(w->treeView(), Qt::Key_Return);
    QTest::keyClick(w->treeView(), Qt::Key_Enter);
    EXPECT_EQ(opened, 2);
    EditRegistry::registerEdit(cls("IVRPlay"), {});
    select(w, w->FFlow->BeginRoot->firstChild());
    QTest::keyClick(w->treeView(), Qt::Key_Delete);
    EXPECT_FALSE(w->FFlow->BeginRoot->hasChildren());
}

TEST_F(Editor, PropertyOpensTheKindsDialogWhenThereIsOne)
{
    TfrmFlow* w = newFlow();
    FlowNode* play = add(w, w->FFlow->BeginRoot, "IVRPlay", pcLastChild);
    w->UpdateCaption(false);
    select(w, play);
    EditRegistry::registerEdit(cls("IVRPlay"), {});
    main->acProperty->trigger();  // no dialog for the kind: not edited
    EXPECT_FALSE(w->FFlow->Modified);

    TIVRBase* edited = nullptr;
    EditRegistry::registerEdit(cls("IVRPlay"), [&](TIVRBase& s) {
        edited = &s;
        s.Note = "hello";
        return true;
    });
    main->acProperty->trigger();
    EXPECT_EQ(edited, play->statement());
    EXPECT_TRUE(w->FFlow->Modified);
    EXPECT_TRUE(w->windowTitle().endsWith(" - Modified"));
    EXPECT_TRUE(play->text().contains("hello"));

    // A cancelled dialog changes nothing.
    w->UpdateCaption(false);
    EditRegistry::registerEdit(cls("IVRPlay"), [](TIVRBase&) { return false; });
    main->acProperty->trigger();
    EXPECT_FALSE(w->FFlow->Modified);
    EditRegistry::registerEdit(cls("IVRPlay"), {});
    EXPECT_FALSE(EditRegistry::hasEdit(cls("IVRPlay")));
}

TEST_F(Editor, ExpandAndCollapseCommands)
{
    TfrmFlow* w = newFlow();
    TIVRFlow* f = w->FFlow;
    FlowNode* outer = add(w, f->BeginRoot, "IVRBlock", pcLastChild);
    FlowNode* inner = add(w, outer, "IVRBlock", pcLastChild);
    add(w, inner, "IVRPlay", pcLastChild);
    FlowNode* other = add(w, f->BeginRoot, "IVRWhile", pcLastChild);
    add(w, other, "IVRPlay", pcLastChild);

    main->acCollapseAllFlow->trigger();
    for (FlowNode* n : {f->VarRoot, f->BeginRoot, outer, inner, other}) EXPECT_FALSE(n->expanded());
    EXPECT_FALSE(w->treeView()->isExpanded(w->treeView()->flowModel()->indexOf(f->BeginRoot)));
    select(w, f->BeginRoot);
    main->acExpandCurFlow->trigger();
    for (FlowNode* n : {f->BeginRoot, outer, inner, other}) EXPECT_TRUE(n->expanded());
    EXPECT_FALSE(f->VarRoot->expanded());
    select(w, outer);
    main->acCollapseCurFlow->trigger();
    EXPECT_FALSE(outer->expanded());
    EXPECT_TRUE(inner->expanded());  // its sub-nodes keep their state
    main->acExpandAllFlow->trigger();
    for (FlowNode* n : {f->VarRoot, f->BeginRoot, outer, inner, other}) EXPECT_TRUE(n->expanded());
    EXPECT_TRUE(w->treeView()->isExpanded(w->treeView()->flowModel()->indexOf(inner)));
}

// ---- palette clicks and drags ----

struct PaletteMouse : Editor {
    std::vector<QString> drags;  // the data of every drag started
    void SetUp() override
    {
        Editor::SetUp();
        StatementDrag::setRunner([this](QWidget*, QMimeData* data) {
            drags.push_back(QString::fromUtf8(data->data(StatementDrag::mimeType)));
        });
    }
    static void send(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButton button,
                     Qt::MouseButtons buttons, Qt::KeyboardModifiers mods = {})
    {
        QMouseEvent e(type, QPointF(pos), QPointF(target->mapToGlobal(pos)), button, buttons, mods);
        QCoreApplication::sendEvent(target, &e);
    }
    // Press, move by `by`, release, on the button.
    void gesture(TPaletteButton* b, QPoint by, Qt::KeyboardModifiers mods = {})
    {
        const QPoint start(10, 8);
        send(b, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton, mods);
        send(b, QEvent::MouseMove, start + by, Qt::NoButton, Qt::LeftButton, mods);
        send(b, QEvent::MouseButtonRelease, start + by, Qt::LeftButton, Qt::NoButton, mods);
    }
};

TEST_F(PaletteMouse, ClickAddsCtrlClickAddsAsChildAndThreePixelsDrag)
{
    TfrmFlow* w = newFlow();
    TIVRFlow* f = w->FFlow;
    // A click on If with Begin selected: the first child of Begin; so does a Ctrl+click.
    select(w, f->BeginRoot);
    gesture(button("IVRIf"), {0, 0});
    ASSERT_EQ(f->BeginRoot->childCount(), 1);
    EXPECT_EQ(f->BeginRoot->firstChild()->statement()->className(), std::string("IVRIf"));
    select(w, f->BeginRoot);
    gesture(button("IVRIf"), {0, 0}, Qt::ControlModifier);
    EXPECT_EQ(f->BeginRoot->childCount(), 2);

    // With a While selected a click adds after it, a Ctrl+click into it.
    FlowNode* loop = add(w, f->BeginRoot, "IVRWhile", pcLastChild);
    gesture(button("IVRPlay"), {2, 2});  // moved less than 3 pixels: a click
    EXPECT_EQ(f->BeginRoot->lastChild()->statement()->className(), std::string("IVRPlay"));
    EXPECT_EQ(loop->childCount(), 0);
    select(w, loop);
    gesture(button("IVRPlay"), {0, 0}, Qt::ControlModifier);
    EXPECT_EQ(loop->childCount(), 1);
    EXPECT_TRUE(drags.empty());

    // Three pixels start a drag and no click follows.
    const int count = f->tree().count();
    gesture(button("IVRSleep"), {3, 0});
    ASSERT_EQ(drags.size(), 1u);
    EXPECT_EQ(drags[0], "class:IVRSleep");
    EXPECT_EQ(f->tree().count(), count);
    EXPECT_EQ(main->FPressedButton, nullptr);
    gesture(button("IVRSleep"), {0, -3});
    ASSERT_EQ(drags.size(), 2u);
    // A move that leaves the button to the left or above starts none.
    send(button("IVRSleep"), QEvent::MouseButtonPress, {2, 2}, Qt::LeftButton, Qt::LeftButton);
    send(button("IVRSleep"), QEvent::MouseMove, {-4, 5}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(drags.size(), 2u);
    EXPECT_EQ(main->FPressedButton, button("IVRSleep"));
    send(button("IVRSleep"), QEvent::MouseButtonRelease, {-4, 5}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(main->FPressedButton, nullptr);
    EXPECT_EQ(f->tree().count(), count);  // released off the button: no click
}

TEST_F(PaletteMouse, ThePalettePopupOffersWhatThePermissionsAllow)
{
    TfrmFlow* w = newFlow();
    TIVRFlow* f = w->FFlow;
    select(w, f->BeginRoot);
    main->popmCommandBarPopup(button("IVRIf"));
    EXPECT_FALSE(main->acAdd->isVisible());
    EXPECT_TRUE(main->acAddChildFirst->isVisible());
    main->acAddChildFirst->trigger();
    ASSERT_EQ(f->BeginRoot->childCount(), 1);
    FlowNode* ifNode = f->BeginRoot->firstChild();
    main->popmCommandBarPopup(button("IVRPlay"));
    EXPECT_TRUE(main->acAdd->isVisible());
    EXPECT_FALSE(main->acAddChildFirst->isVisible());
    main->acAdd->trigger();
    EXPECT_EQ(f->BeginRoot->childCount(), 2);
    EXPECT_EQ(f->BeginRoot->firstChild(), ifNode);

    main->popmCommandBarPopup(button("IVRCase"));
    EXPECT_FALSE(main->acAdd->isVisible());
    EXPECT_FALSE(main->acAddChildFirst->isVisible());
    TIVRFlowTestAccess::setRunning(*f, true);
    main->popmCommandBarPopup(button("IVRPlay"));
    EXPECT_FALSE(main->acAdd->isVisible());
    TIVRFlowTestAccess::setRunning(*f, false);
    select(w, nullptr);
    main->popmCommandBarPopup(button("IVRVariant"));
    EXPECT_FALSE(main->acAdd->isVisible());
    EXPECT_FALSE(main->acAddChildFirst->isVisible());
}

// ---- drops on the tree ----

struct TreeDrops : PaletteMouse {
    TfrmFlow* w = nullptr;
    TIVRFlow* f = nullptr;
    void SetUp() override
    {
        PaletteMouse::SetUp();
        w = newFlow();
        f = w->FFlow;
    }
    QPoint at(FlowNode* node)
    {
        QTreeView* v = w->treeView();
        v->scrollTo(v->model()->index(0, 0));
        const QModelIndex i = w->treeView()->flowModel()->indexOf(node);
        v->scrollTo(i);
        return v->visualRect(i).center();
    }
    // Enter, move and drop; answers whether the move was accepted.
    bool drop(const QMimeData& data, QPoint pos, Qt::KeyboardModifiers mods = {})
    {
        QWidget* port = w->treeView()->viewport();
        QDragEnterEvent enter(pos, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, mods);
        QCoreApplication::sendEvent(port, &enter);
        if (!enter.isAccepted()) return false;
        QDragMoveEvent move(pos, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, mods);
        QCoreApplication::sendEvent(port, &move);
        QDropEvent dropped(QPointF(pos), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, mods);
        QCoreApplication::sendEvent(port, &dropped);
        return move.isAccepted();
    }
    static std::unique_ptr<QMimeData> palette(const char* name)
    {
        return std::unique_ptr<QMimeData>(StatementDrag::paletteData(cls(name)));
    }
};

TEST_F(TreeDrops, PaletteDropsInsertByTheDropRules)
{
    EXPECT_TRUE(drop(*palette("IVRIf"), at(f->BeginRoot)));
    ASSERT_EQ(f->BeginRoot->childCount(), 1);
    FlowNode* ifNode = f->BeginRoot->firstChild();
    EXPECT_EQ(childTexts(ifNode), "True|False");
    FlowNode* loop = add(w, f->BeginRoot, "IVRWhile", pcLastChild);
    EXPECT_TRUE(drop(*palette("IVRPlay"), at(loop)));
    EXPECT_EQ(loop->nextSibling()->statement()->className(), std::string("IVRPlay"));
    EXPECT_TRUE(drop(*palette("IVRSleep"), at(loop), Qt::ControlModifier));
    ASSERT_EQ(loop->childCount(), 1);
    EXPECT_EQ(loop->firstChild()->statement()->className(), std::string("IVRSleep"));

    // A Case on a plain statement, a variable outside the declarations: refused, nothing added.
    const int count = f->tree().count();
    EXPECT_FALSE(drop(*palette("IVRCase"), at(loop->nextSibling())));
    EXPECT_FALSE(drop(*palette("IVRVariant"), at(f->BeginRoot)));
    EXPECT_EQ(f->tree().count(), count);
    EXPECT_TRUE(drop(*palette("IVRVariant"), at(f->VarRoot)));
    EXPECT_EQ(f->VarRoot->child(1)->statement()->className(), std::string("IVRVariant"));
}

TEST_F(TreeDrops, TreeDropsMoveTheSelectedNodeOfTheSameFlowOnly)
{
    FlowNode* block = add(w, f->BeginRoot, "IVRBlock", pcLastChild);
    FlowNode* play = add(w, f->BeginRoot, "IVRPlay", pcLastChild);
    select(w, play);
    std::unique_ptr<QMimeData> own(StatementDrag::treeData(f));
    EXPECT_TRUE(drop(*own, at(block), Qt::ControlModifier));
    EXPECT_EQ(play->parent(), block);

    // The node of another flow's tree and foreign data are refused.
    TfrmFlow* other = newFlow();
    std::unique_ptr<QMimeData> foreign(StatementDrag::treeData(other->FFlow));
    main->mdiArea->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(w->parentWidget()));
    select(w, play);
    EXPECT_FALSE(drop(*foreign, at(f->EndRoot)));
    QMimeData text;
    text.setText("IVRPlay");
    EXPECT_FALSE(drop(text, at(f->EndRoot)));
    EXPECT_EQ(play->parent(), block);
}

TEST_F(TreeDrops, TheNodeADropWouldGoToIsHighlightedWhileDragging)
{
    FlowNode* loop = add(w, f->BeginRoot, "IVRWhile", pcLastChild);
    auto* view = w->treeView();
    QWidget* port = view->viewport();
    auto move = [&](const QMimeData& data, QPoint pos) {
        QDragMoveEvent event(pos, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(port, &event);
        return event.isAccepted();
    };
    const auto play = palette("IVRPlay");
    QDragEnterEvent enter(at(loop), Qt::CopyAction | Qt::MoveAction, play.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(port, &enter);
    EXPECT_EQ(view->dropTarget(), loop);
    EXPECT_TRUE(move(*play, at(f->BeginRoot)));
    EXPECT_EQ(view->dropTarget(), f->BeginRoot);
    // Where the drop is refused nothing is highlighted.
    const auto variable = palette("IVRVariant");
    EXPECT_FALSE(move(*variable, at(loop)));
    EXPECT_EQ(view->dropTarget(), nullptr);
    EXPECT_TRUE(move(*play, at(loop)));
    EXPECT_EQ(view->dropTarget(), loop);
    QDragLeaveEvent leave;
    QCoreApplication::sendEvent(port, &leave);
    EXPECT_EQ(view->dropTarget(), nullptr);
    // A drop ends the highlight too.
    EXPECT_TRUE(drop(*play, at(loop)));
    EXPECT_EQ(view->dropTarget(), nullptr);
}

TEST_F(TreeDrops, ARunningFlowsTreeTakesNoDrop)
{
    const int count = f->tree().count();
    TIVRFlowTestAccess::setRunning(*f, true);
    auto data = palette("IVRPlay");
    QDragEnterEvent enter2(at(f->BeginRoot), Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(w->treeView()->viewport(), &enter2);
    EXPECT_FALSE(enter2.isAccepted());
    QDropEvent dropped(QPointF(at(f->BeginRoot)), Qt::CopyAction, data.get(), Qt::LeftButton, {});
    QCoreApplication::sendEvent(w->treeView()->viewport(), &dropped);
    EXPECT_EQ(f->tree().count(), count);
    TIVRFlowTestAccess::setRunning(*f, false);
}

TEST_F(TreeDrops, TheTreeStartsADragOnlyAfterThreePixelsOnTheSelectedMovableNode)
{
    FlowNode* play = add(w, f->BeginRoot, "IVRPlay", pcLastChild);
    QWidget* port = w->treeView()->viewport();
    const QPoint p = at(play);
    send(port, QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(f->tree().selected(), play);
    EXPECT_EQ(f->PressedNode, play);
    send(port, QEvent::MouseMove, p + QPoint(2, 2), Qt::NoButton, Qt::LeftButton);
    EXPECT_TRUE(drags.empty());
    send(port, QEvent::MouseMove, p + QPoint(3, 0), Qt::NoButton, Qt::LeftButton);
    ASSERT_EQ(drags.size(), 1u);
    EXPECT_TRUE(drags[0].startsWith("node:"));
    send(port, QEvent::MouseButtonRelease, p + QPoint(3, 0), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(f->tree().selected(), play);

    // A root never drags; a right click selects the node under the pointer.
    const QPoint b = at(f->BeginRoot);
    send(port, QEvent::MouseButtonPress, b, Qt::LeftButton, Qt::LeftButton);
    send(port, QEvent::MouseMove, b + QPoint(6, 0), Qt::NoButton, Qt::LeftButton);
    send(port, QEvent::MouseButtonRelease, b + QPoint(6, 0), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(drags.size(), 1u);
    send(port, QEvent::MouseButtonPress, at(play), Qt::RightButton, Qt::RightButton);
    send(port, QEvent::MouseButtonRelease, at(play), Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(f->tree().selected(), play);
    EXPECT_EQ(drags.size(), 1u);

    // A double click opens the dialog of the pressed node and leaves its expansion alone.
    int opened = 0;
    EditRegistry::registerEdit(cls("IVRWhile"), [&](TIVRBase&) {
        ++opened;
        return false;
    });
    FlowNode* loop = add(w, f->BeginRoot, "IVRWhile", pcLastChild);
    add(w, loop, "IVRPlay", pcLastChild);
    const bool expanded = loop->expanded();
    const QPoint l = at(loop);
    send(port, QEvent::MouseButtonPress, l, Qt::LeftButton, Qt::LeftButton);
    send(port, QEvent::MouseButtonRelease, l, Qt::LeftButton, Qt::NoButton);
    send(port, QEvent::MouseButtonDblClick, l, Qt::LeftButton, Qt::LeftButton);
    send(port, QEvent::MouseButtonRelease, l, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(loop->expanded(), expanded);
    EditRegistry::registerEdit(cls("IVRWhile"), {});
}

// ---- windows and help ----

TEST_F(Editor, WindowMenuListsTheFlowsAndTheWindowCommandsArrangeThem)
{
    main->mnuWindowPopup();
    EXPECT_FALSE(main->acWindowCascade->isEnabled());
    TfrmFlow* a = newFlow();
    TfrmFlow* b = newFlow();
    main->mdiArea->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(b->parentWidget()));
    main->mnuWindowPopup();
    EXPECT_TRUE(main->acWindowCascade->isEnabled());
    QStringList items;
    for (QAction* x : main->mnuWindow->actions())
        if (!x->isSeparator()) items << x->text();
    ASSERT_EQ(items.size(), 9);
    EXPECT_EQ(items[0], "&Cascade");
    EXPECT_EQ(items[3], "&Next");
    EXPECT_EQ(items[6], "&Ararange Icons");
    EXPECT_EQ(items[7], "&1 " + a->windowTitle());
    EXPECT_EQ(items[8], "&2 " + b->windowTitle());

    main->acWindowTileVertical->trigger();
    auto* sa = qobject_cast<QMdiSubWindow*>(a->parentWidget());
    auto* sb = qobject_cast<QMdiSubWindow*>(b->parentWidget());
    EXPECT_EQ(sa->geometry().top(), sb->geometry().top());
    EXPECT_LT(sa->geometry().right(), sb->geometry().left());
    main->acWindowTileHorizontal->trigger();
    EXPECT_EQ(sa->geometry().left(), sb->geometry().left());
    EXPECT_LT(sa->geometry().bottom(), sb->geometry().top());
    main->acWindowMinimizeAll->trigger();
    EXPECT_TRUE(sa->isMinimized());
    EXPECT_TRUE(sb->isMinimized());
    main->acWindowArrange->trigger();
    EXPECT_NE(sa->pos(), sb->pos());
}

TEST_F(Editor, MinimizeAllMinimisesEveryWindowMaximisedOnesToo)
{
    for (int i = 0; i < 3; ++i) newFlow();
    const QList<QMdiSubWindow*> windows = main->mdiArea->subWindowList();
    ASSERT_EQ(windows.size(), 3);
    // Maximised: the active one, and so every one the area activates next.
    main->mdiArea->setActiveSubWindow(windows[1]);
    windows[1]->showMaximized();
    ASSERT_TRUE(windows[1]->isMaximized());
    main->mnuWindowPopup();
    ASSERT_TRUE(main->acWindowMinimizeAll->isEnabled());
    main->acWindowMinimizeAll->trigger();
    for (QMdiSubWindow* sub : windows) {
        EXPECT_TRUE(sub->isMinimized()) << sub->windowTitle().toStdString();
        EXPECT_FALSE(sub->isMaximized());
    }
    // Once more with every window already minimised: nothing changes.
    main->acWindowMinimizeAll->trigger();
    for (QMdiSubWindow* sub : windows) EXPECT_TRUE(sub->isMinimized());
}

TEST_F(Editor, HelpContentsShowsTheEditorTopicAndAboutNamesTheProduct)
{
    QTemporaryDir dir;
    QFile page(dir.filePath("SorvixEdit.htm"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    qputenv("SORVIX_HELP_DIR", dir.path().toUtf8());
    main->acHelpContent->trigger();
    qunsetenv("SORVIX_HELP_DIR");
    ASSERT_EQ(prompt.urls.size(), 1);
    EXPECT_EQ(prompt.urls[0], QUrl::fromLocalFile(dir.filePath("SorvixEdit.htm")).toString());
    EXPECT_EQ(prompt.beeps, 0);
    EXPECT_EQ(main->aboutBox()->parentWidget(), main.get());
    EXPECT_EQ(main->aboutBox(), main->aboutBox());
}

}  // namespace

namespace {

// A real debug run on the simulated device, paused before its first statement.
TEST_F(Editor, ClosingARunningFlowAsksToStopTheRunnerFirst)
{
    for (int answer : {Prompt::Cancel, Prompt::Ok}) {
        SCOPED_TRACE(answer);
        TfrmFlow* w = newFlow();
        TIVRFlow* f = w->FFlow;
        FlowNode* sleep = add(w, f->BeginRoot, "IVRSleep", pcLastChild);
        prompt.messages.clear();
        ASSERT_TRUE(f->Run({.debug = true, .step = true}));
        QTRY_VERIFY_WITH_TIMEOUT(sleep->text().startsWith(txt::RunMark), 5000);
        ASSERT_TRUE(f->Running());

        prompt.answers = {answer, Prompt::No};
        const bool closed = main->CloseFlow(w);
        EXPECT_EQ(closed, answer == Prompt::Ok);
        ASSERT_GE(prompt.messages.size(), 1);
        EXPECT_TRUE(prompt.messages[0].startsWith("Stop debugging of NewFlow"));
        if (!closed) {
            EXPECT_TRUE(f->Running());
            EXPECT_EQ(main->flowWindows().size(), 1);
            f->Stop();
            EXPECT_FALSE(f->Running());
            f->Modified = false;
            EXPECT_TRUE(main->CloseFlow(w));
        }
        EXPECT_TRUE(main->flowWindows().isEmpty());
    }
}

}  // namespace
