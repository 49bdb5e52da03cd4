#include <gtest/gtest.h>

#include <QStringList>

#include "engine/flow.h"
#include "engine/statement.h"
#include "engine/statements/declarations.h"
#include "engine/statements/flowcontrol.h"
#include "engine/texts.h"
#include "engine/flowtesthelpers.h"

using namespace flowtest;

namespace {

TEST(NewFlow, HasTheThreeRootsExpandedWithVarSelectedAndCountsItself)
{
    const int before = TIVRFlow::NewFlowCounter;
    TIVRFlow flow(nullptr, QString(), true);
    EXPECT_EQ(TIVRFlow::NewFlowCounter, before + 1);
    TIVRFlow second(nullptr, QString(), false);
    EXPECT_EQ(TIVRFlow::NewFlowCounter, before + 2);

    FlowTree& tree = flow.tree();
    ASSERT_EQ(tree.topLevelCount(), 3);
    EXPECT_EQ(tree.topLevel(0), flow.VarRoot);
    EXPECT_EQ(tree.topLevel(1), flow.BeginRoot);
    EXPECT_EQ(tree.topLevel(2), flow.EndRoot);
    EXPECT_EQ(flow.VarRoot->text(), "Var");
    EXPECT_EQ(flow.BeginRoot->text(), "Begin");
    EXPECT_EQ(flow.EndRoot->text(), "End");
    EXPECT_EQ(childTexts(flow.VarRoot), "Result");
    EXPECT_FALSE(flow.BeginRoot->hasChildren());
    EXPECT_FALSE(flow.EndRoot->hasChildren());
    EXPECT_EQ(tree.count(), 4);
    for (FlowNode* n = tree.first(); n; n = n->nextInTree()) EXPECT_TRUE(n->expanded()) << n->text().toStdString();
    EXPECT_EQ(tree.selected(), flow.VarRoot);

    // Expanded folders show the open image; the result variable keeps its own.
    EXPECT_EQ(flow.VarRoot->image(), 1);
    EXPECT_EQ(flow.VarRoot->firstChild()->image(), 15);

    ASSERT_NE(flow.ResultVariant, nullptr);
    EXPECT_EQ(flow.VarRoot->firstChild()->statement(), flow.ResultVariant);
    EXPECT_EQ(flow.ResultVariant->Name, "Result");
    EXPECT_EQ(flow.FirstVariant, flow.ResultVariant);
    EXPECT_EQ(flow.ResultVariant->nextVariant, nullptr);
    EXPECT_EQ(flow.FirstDataBase, nullptr);
    EXPECT_EQ(flow.FirstLabel, nullptr);
    EXPECT_EQ(flow.NextVariantNumber, 1);
    EXPECT_EQ(flow.NextDataBaseNumber, 1);
    EXPECT_EQ(flow.NextLabelNumber, 1);
    EXPECT_EQ(flow.DragStartX, -1);
    EXPECT_EQ(flow.DragStartY, -1);
    EXPECT_FALSE(flow.Modified);
    EXPECT_FALSE(flow.Running());
    EXPECT_TRUE(flow.bDebug());
    EXPECT_FALSE(second.bDebug());
}

// The result variable has no description of its own, so its caption, like a new flow's node
// text, is the bare type name.
TEST(NewFlow, CaptionsEqualTheNodeTexts)
{
    TIVRFlow flow(nullptr, QString(), true);
    for (FlowNode* n = flow.tree().first(); n; n = n->nextInTree())
        EXPECT_EQ(n->text(), n->statement()->GetNodeText());
}

TEST(NewFlow, AFlowFromAFileDoesNotCount)
{
    const int before = TIVRFlow::NewFlowCounter;
    QString error;
    TIVRFlow flow(nullptr, QStringLiteral("/nonexistent/folder/none.svx"), true, &error);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(TIVRFlow::NewFlowCounter, before);
    EXPECT_EQ(flow.FileName, "/nonexistent/folder/none.svx");
    EXPECT_EQ(flow.FlowName, "/nonexistent/folder/none.svx");
}

struct EditFixture : ::testing::Test {
    TIVRFlow flow{nullptr, QString(), true};
    ModifyCounter modify;
    void SetUp() override { modify.attach(flow); }
    FlowNode* add(FlowNode* at, const char* className, int code)
    {
        FlowNode* n = flow.AddStatement(at, cls(className), code);
        EXPECT_NE(n, nullptr) << className;
        return n;
    }
};

TEST_F(EditFixture, OnModifyIsRaisedOncePerStretchOfUnsavedChanges)
{
    FlowNode* block = add(flow.BeginRoot, "IVRBlock", pcFirstChild);
    EXPECT_EQ(modify.raised, 1);
    EXPECT_TRUE(flow.Modified);
    flow.tree().select(block);
    flow.ToggleBreakPoint();
    flow.ToggleEnabled();
    flow.ClearAllBreakPoints();
    flow.EnableAll();
    flow.DeleteStatement();
    EXPECT_EQ(modify.raised, 1);

    flow.OnModify(false);  // what a successful save reports
    EXPECT_FALSE(flow.Modified);
    flow.EnableAll();
    EXPECT_EQ(modify.raised, 2);

    // A flow nobody watches (the console's) raises nothing.
    TIVRFlow quiet(nullptr, QString(), false);
    quiet.AddStatement(quiet.BeginRoot, cls("IVRBlock"), pcFirstChild);
    quiet.EnableAll();
    EXPECT_FALSE(quiet.Modified);
}

struct ToggleRow {
    const char* name;
    const char* className;  // added under Begin (or Var for declarations); "Begin"/"End" for the roots
    bool enabled, breakPoint;
    enum Op { BreakPoint, Enabled } op;
    bool wantEnabled, wantBreakPoint;
    const char* wantText;
};

TEST_F(EditFixture, ToggleRules)
{
    const ToggleRow rows[] = {
        {"break on", "IVRBlock", true, false, ToggleRow::BreakPoint, true, true, "* Block"},
        {"break off", "IVRBlock", true, true, ToggleRow::BreakPoint, true, false, "Block"},
        {"break on disabled does nothing", "IVRBlock", false, false, ToggleRow::BreakPoint, false, false, "//Block"},
        {"break on Begin refused", "Begin", true, false, ToggleRow::BreakPoint, true, false, "Begin"},
        {"break on End", "End", true, false, ToggleRow::BreakPoint, true, true, "* End"},
        {"break on a variable refused", "IVRVariant", true, false, ToggleRow::BreakPoint, true, false,
         "Variant : NewVariant1"},
        {"break on a category refused", "IVRCategory", true, false, ToggleRow::BreakPoint, true, false, "Category"},
        // The runner never pauses on an If branch or a Switch arm: no mark there.
        {"break on True refused", "True", true, false, ToggleRow::BreakPoint, true, false, "True"},
        {"break on False refused", "False", true, false, ToggleRow::BreakPoint, true, false, "False"},
        {"break on a Case refused", "Case", true, false, ToggleRow::BreakPoint, true, false, "Case : Null"},
        {"break on Default refused", "Default", true, false, ToggleRow::BreakPoint, true, false, "Default"},
        {"break on a Switch", "IVRSwitch", true, false, ToggleRow::BreakPoint, true, true, "* Switch : Null"},
        {"disable", "IVRBlock", true, false, ToggleRow::Enabled, false, false, "//Block"},
        {"disable keeps the breakpoint", "IVRBlock", true, true, ToggleRow::Enabled, false, true, "//Block"},
        {"enable clears the breakpoint", "IVRBlock", false, true, ToggleRow::Enabled, true, false, "Block"},
        {"disable Begin refused", "Begin", true, false, ToggleRow::Enabled, true, false, "Begin"},
        {"disable End", "End", true, false, ToggleRow::Enabled, false, false, "//End"},
        {"disable a variable refused", "IVRVariant", true, false, ToggleRow::Enabled, true, false,
         "Variant : NewVariant1"},
        {"disable an If", "IVRIf", true, false, ToggleRow::Enabled, false, false, "//If : Null"},
    };
    for (const ToggleRow& row : rows) {
        SCOPED_TRACE(row.name);
        TIVRFlow f(nullptr, QString(), true);
        ModifyCounter m;
        m.attach(f);
        FlowNode* node;
        if (QLatin1String(row.className) == QLatin1String("Begin"))
            node = f.BeginRoot;
        else if (QLatin1String(row.className) == QLatin1String("End"))
            node = f.EndRoot;
        else if (QLatin1String(row.className) == QLatin1String("True") || QLatin1String(row.className) == QLatin1String("False"))
            node = f.AddStatement(f.BeginRoot, cls("IVRIf"), pcLastChild)->child(row.className[0] == 'T' ? 0 : 1);
        else if (QLatin1String(row.className) == QLatin1String("Default"))
            node = f.AddStatement(f.BeginRoot, cls("IVRSwitch"), pcLastChild)->child(0);
        else if (QLatin1String(row.className) == QLatin1String("Case"))
            node = f.AddStatement(f.AddStatement(f.BeginRoot, cls("IVRSwitch"), pcLastChild), cls("IVRCase"), pcFirstChild);
        else {
            const ClassInfo* c = cls(row.className);
            node = f.AddStatement((c->typeSet & tfDeclaration) ? f.VarRoot : f.BeginRoot, c, pcLastChild);
        }
        ASSERT_NE(node, nullptr);
        TIVRBase* s = node->statement();
        s->setEnabled(row.enabled);
        s->setBreakPoint(row.breakPoint);
        f.RefreshCaptions();
        f.Modified = false;
        m.raised = 0;
        f.tree().select(node);
        if (row.op == ToggleRow::BreakPoint)
            f.ToggleBreakPoint();
        else
            f.ToggleEnabled();
        EXPECT_EQ(s->enabled(), row.wantEnabled);
        EXPECT_EQ(s->breakPoint(), row.wantBreakPoint);
        EXPECT_EQ(node->text(), row.wantText);
        EXPECT_EQ(m.raised, 1);  // a change is signalled, also when refused
    }
}

TEST_F(EditFixture, ClearAllBreakPointsAndEnableAll)
{
    FlowNode* a = add(flow.BeginRoot, "IVRBlock", pcLastChild);
    FlowNode* b = add(flow.BeginRoot, "IVRBlock", pcLastChild);
    FlowNode* c = add(flow.BeginRoot, "IVRBlock", pcLastChild);
    a->statement()->setBreakPoint(true);
    b->statement()->setEnabled(false);
    b->statement()->setBreakPoint(true);
    flow.EndRoot->statement()->setBreakPoint(true);
    flow.RefreshCaptions();
    EXPECT_EQ(childTexts(flow.BeginRoot), "* Block|//Block|Block");

    flow.EnableAll();  // leaves the breakpoint of the statement it enables
    EXPECT_TRUE(b->statement()->enabled());
    EXPECT_TRUE(b->statement()->breakPoint());
    EXPECT_EQ(childTexts(flow.BeginRoot), "* Block|* Block|Block");

    flow.ClearAllBreakPoints();
    EXPECT_EQ(childTexts(flow.BeginRoot), "Block|Block|Block");
    EXPECT_EQ(flow.EndRoot->text(), "End");
    EXPECT_FALSE(c->statement()->breakPoint());
}

TEST_F(EditFixture, CommandsOnTheSelectionDoNothingWithoutOne)
{
    flow.tree().select(nullptr);
    flow.DeleteStatement();
    flow.ToggleBreakPoint();
    flow.ToggleEnabled();
    flow.PressedNode = nullptr;
    flow.TreeDblClick();
    EXPECT_EQ(flow.tree().count(), 4);
    flow.TreeExpanded(nullptr);
    flow.TreeCollapsed(nullptr);
}

TEST_F(EditFixture, DeletingACategoryWithVariablesRefreshesTheCaptionsThatReferToThem)
{
    FlowNode* category = add(flow.VarRoot, "IVRCategory", pcFirstChild);
    FlowNode* v1 = add(category, "IVRVariant", pcLastChild);
    FlowNode* v2 = add(category, "IVRVariant", pcLastChild);
    FlowNode* other = add(flow.VarRoot, "IVRVariant", pcLastChild);
    FlowNode* cond = add(flow.BeginRoot, "IVRIf", pcFirstChild);
    FlowNode* loop = add(flow.BeginRoot, "IVRWhile", pcLastChild);
    FlowNode* sw = add(flow.BeginRoot, "IVRSwitch", pcLastChild);
    static_cast<IVRIf*>(cond->statement())->link.LinkTo(static_cast<IVRVariant*>(v1->statement()));
    static_cast<IVRWhile*>(loop->statement())->link.LinkTo(static_cast<IVRVariant*>(v2->statement()));
    static_cast<IVRSwitch*>(sw->statement())->link.LinkTo(static_cast<IVRVariant*>(other->statement()));
    flow.RefreshCaptions();
    EXPECT_EQ(cond->text(), "If : NewVariant1");
    EXPECT_EQ(loop->text(), "While : NewVariant2");

    flow.tree().select(category);
    flow.DeleteStatement();
    EXPECT_FALSE(flow.CaptionsStale);
    EXPECT_EQ(cond->text(), "If : Null");
    EXPECT_EQ(loop->text(), "While : Null");
    EXPECT_EQ(sw->text(), "Switch : NewVariant3");
    EXPECT_EQ(childTexts(flow.VarRoot), "Result|Variant : NewVariant3");
    // The list holds what is left, most recent first.
    ASSERT_NE(flow.FirstVariant, nullptr);
    EXPECT_EQ(flow.FirstVariant->Name, "NewVariant3");
    EXPECT_EQ(flow.FirstVariant->nextVariant, flow.ResultVariant);
    EXPECT_EQ(flow.ResultVariant->prevVariant, flow.FirstVariant);
    // The selection moved to a neighbour.
    EXPECT_EQ(flow.tree().selected(), flow.VarRoot->firstChild());
}

TEST_F(EditFixture, DeletingSelectsANeighbourAndForgetsThePressedNode)
{
    FlowNode* a = add(flow.BeginRoot, "IVRBlock", pcLastChild);
    FlowNode* b = add(flow.BeginRoot, "IVRBlock", pcLastChild);
    FlowNode* inner = add(b, "IVRBlock", pcLastChild);
    FlowNode* c = add(flow.BeginRoot, "IVRBlock", pcLastChild);
    flow.PressedNode = inner;
    flow.tree().select(b);
    flow.DeleteStatement();
    EXPECT_EQ(flow.PressedNode, nullptr);
    EXPECT_EQ(flow.tree().selected(), a);  // the previous sibling
    flow.DeleteStatement();
    EXPECT_EQ(flow.tree().selected(), c);  // else the next one
    flow.DeleteStatement();
    EXPECT_EQ(flow.tree().selected(), flow.BeginRoot);  // else the parent
    EXPECT_EQ(flow.tree().count(), 4);
}

TEST_F(EditFixture, DeletingWhatMayNotMoveChangesNothingButSignals)
{
    FlowNode* cond = add(flow.BeginRoot, "IVRIf", pcFirstChild);
    FlowNode* sw = add(flow.BeginRoot, "IVRSwitch", pcLastChild);
    const int count = flow.tree().count();
    for (FlowNode* n : {flow.VarRoot, flow.VarRoot->firstChild(), flow.BeginRoot, flow.EndRoot, cond->firstChild(),
                        cond->lastChild(), sw->firstChild()}) {
        SCOPED_TRACE(n->text().toStdString());
        flow.Modified = false;
        modify.raised = 0;
        flow.tree().select(n);
        flow.DeleteStatement();
        EXPECT_EQ(flow.tree().count(), count);
        EXPECT_EQ(flow.tree().selected(), n);
        EXPECT_EQ(modify.raised, 1);
    }
}

struct RenameOnEdit {
    static inline QString newName;
    static bool handler(TIVRBase& s)
    {
        if (auto* v = dynamic_cast<IVRVariant*>(&s)) v->Name = newName;
        return true;
    }
    static bool refuse(TIVRBase&) { return false; }
};

TEST_F(EditFixture, DoubleClickEditsThePressedSelectionAndRenewsReferringCaptions)
{
    FlowNode* var = add(flow.VarRoot, "IVRVariant", pcLastChild);
    FlowNode* cond = add(flow.BeginRoot, "IVRIf", pcFirstChild);
    FlowNode* loop = add(flow.BeginRoot, "IVRWhile", pcLastChild);
    static_cast<IVRIf*>(cond->statement())->link.LinkTo(static_cast<IVRVariant*>(var->statement()));
    flow.RefreshCaptions();

    RenameOnEdit::newName = QStringLiteral("count");
    setEditHandler(&RenameOnEdit::handler);
    flow.tree().select(var);
    flow.PressedNode = cond;  // pressed elsewhere: nothing happens
    flow.Modified = false;
    modify.raised = 0;
    flow.TreeDblClick();
    EXPECT_EQ(static_cast<IVRVariant*>(var->statement())->Name, "NewVariant1");
    EXPECT_EQ(modify.raised, 0);

    flow.PressedNode = var;
    flow.TreeDblClick();
    EXPECT_EQ(var->text(), "Variant : count");
    EXPECT_EQ(cond->text(), "If : count");
    EXPECT_EQ(loop->text(), "While : Null");
    EXPECT_EQ(modify.raised, 1);

    // A dialog that was cancelled changes nothing and signals nothing.
    setEditHandler(&RenameOnEdit::refuse);
    flow.Modified = false;
    modify.raised = 0;
    flow.TreeDblClick();
    EXPECT_EQ(modify.raised, 0);
    setEditHandler(nullptr);
}

TEST(NameExists, ComparesExactlyAndSkipsTheExceptedDeclaration)
{
    TIVRFlow flow(nullptr, QString(), true);
    FlowNode* v = flow.AddStatement(flow.VarRoot, cls("IVRVariant"), pcLastChild);
    FlowNode* d = flow.AddStatement(flow.VarRoot, cls("IVRDataBase"), pcLastChild);
    FlowNode* l = flow.AddStatement(flow.BeginRoot, cls("IVRLabel"), pcLastChild);
    EXPECT_TRUE(flow.NameExists("NewVariant1", 0, nullptr));
    EXPECT_TRUE(flow.NameExists("Result", 0, nullptr));
    EXPECT_FALSE(flow.NameExists("newvariant1", 0, nullptr));
    EXPECT_FALSE(flow.NameExists("NewVariant1 ", 0, nullptr));
    EXPECT_FALSE(flow.NameExists("NewVariant1", 0, v->statement()));
    EXPECT_FALSE(flow.NameExists("NewVariant1", 1, nullptr));
    EXPECT_TRUE(flow.NameExists("NewDataBase1", 1, nullptr));
    EXPECT_FALSE(flow.NameExists("NewDataBase1", 1, d->statement()));
    EXPECT_TRUE(flow.NameExists("NewLabel1", 2, nullptr));
    EXPECT_FALSE(flow.NameExists("NewLabel1", 2, l->statement()));
    EXPECT_FALSE(flow.NameExists("NewLabel1", 3, nullptr));
    EXPECT_FALSE(flow.NameExists("NewVariant1", -1, nullptr));
}

struct TextRow {
    const char* text;
    Value want;
    const char* error;  // nullptr: no error
};

TEST(TextToValue, Table)
{
    const QString hint = QStringLiteral("If it is String, it must be quoted by double quotation marks(\").");
    const QString numberError = QStringLiteral("Number format error, error content: \r\n");
    const TextRow rows[] = {
        {"", Value(), nullptr},
        {" \t\r\n", Value(), nullptr},
        {" 12 ", Value(int32_t(12)), nullptr},
        {"+5", Value(int32_t(5)), nullptr},
        {"-7", Value(int32_t(-7)), nullptr},
        {"007", Value(int32_t(7)), nullptr},
        {"-2147483648", Value(int32_t(INT32_MIN)), nullptr},
        {"2147483647", Value(int32_t(INT32_MAX)), nullptr},
        {"1.5", Value(1.5), nullptr},
        {"\t-0.25\r\n", Value(-0.25), nullptr},
        {"1.5e3", Value(1500.0), nullptr},
        {"\"abc\"", Value(QStringLiteral("abc")), nullptr},
        {"  \" padded \"  ", Value(QStringLiteral(" padded ")), nullptr},
        {"\"a\"b\"", Value(QStringLiteral("a\"b")), nullptr},
        {"\"\"", Value(QString()), nullptr},
        {"\"", Value(QString()), nullptr},
        {"\"12\"", Value(QStringLiteral("12")), nullptr},
        {"1e5", Value(), "'1e5' is not a valid integer value"},
        {"2147483648", Value(), "'2147483648' is not a valid integer value"},
        {"-", Value(), "'-' is not a valid integer value"},
        {"12abc", Value(), "'12abc' is not a valid integer value"},
        {"1.5.2", Value(), "'1.5.2' is not a valid floating point value"},
        {"1,5", Value(), "'1,5' is not a valid integer value"},
        {"abc", Value(), ""},
        {"\"abc", Value(), ""},
        {"abc\"", Value(), ""},
        {".5", Value(), ""},
    };
    for (const TextRow& row : rows) {
        SCOPED_TRACE(row.text);
        QString error = QStringLiteral("stale");
        const Value v = TIVRFlow::TextToValue(QString::fromUtf8(row.text), &error);
        if (!row.error) {
            EXPECT_TRUE(error.isEmpty()) << error.toStdString();
            EXPECT_EQ(v, row.want);
        } else if (!*row.error) {
            EXPECT_EQ(error, hint);
        } else {
            EXPECT_EQ(error, numberError + QString::fromUtf8(row.error) + QStringLiteral("\r\n") + hint);
        }
    }
}

TEST(CaptionToName, Table)
{
    const std::pair<const char*, const char*> rows[] = {
        {"N&ame: ", "Name"},
        {"&Save Variant: ", "Save Variant"},
        {"Initial &Value: ", "Initial Value"},
        {"名称(&A)：", "名称"},
        {"保存变量(&S)：", "保存变量"},
        {"初始值(&V)", "初始值"},
        {"名称:", "名称"},
        {"名称：", "名称："},  // only the ASCII colon ends a name
        {"Plain", "Plain"},
        {"", ""},
        {"a&&b: c", "a&b"},
        {"Time(&T): x", "Time"},
        {"&Note", "Note"},
        {"x: y: z", "x"},
    };
    for (const auto& [caption, name] : rows)
        EXPECT_EQ(TIVRFlow::CaptionToName(QString::fromUtf8(caption)), QString::fromUtf8(name)) << caption;
}

TEST(GetFullFileName, Table)
{
    struct Row {
        const char* fileName;
        const char* name;
        const char* want;
    };
    const Row rows[] = {
        // Windows forms
        {"C:\\flows\\a.svx", "voice\\hello.wav", "C:\\flows\\voice\\hello.wav"},
        {"C:\\flows\\a.svx", "\\hello.wav", "C:\\flows\\hello.wav"},
        {"C:\\flows\\a.svx", "hello.wav", "C:\\flows\\hello.wav"},
        {"C:\\flows\\a.svx", "ab", "C:\\flows\\ab"},
        {"C:\\flows\\a.svx", "a", "a"},
        {"C:\\flows\\a.svx", "", ""},
        {"C:\\flows\\a.svx", "D:\\x.wav", "D:\\x.wav"},
        {"C:\\flows\\a.svx", "x:y", "x:y"},
        {"C:\\flows\\a.svx", "\\\\server\\share\\x.wav", "\\\\server\\share\\x.wav"},
        {"C:a.svx", "x.wav", "C:x.wav"},
        {"\\\\server\\flows\\a.svx", "x.wav", "\\\\server\\flows\\x.wav"},
        // Linux paths
        {"/home/u/flows/a.svx", "voice/hello.wav", "/home/u/flows/voice/hello.wav"},
        {"/home/u/flows/a.svx", "voice\\hello.wav", "/home/u/flows/voice\\hello.wav"},
        {"/home/u/flows/a.svx", "\\hello.wav", "/home/u/flows\\hello.wav"},
        {"/home/u/flows/a.svx", "/srv/x.wav", "/srv/x.wav"},
        {"/home/u/flows/a.svx", "a", "a"},
        {"/a.svx", "x.wav", "/x.wav"},
        // A file name without a folder
        {"a.svx", "x.wav", "x.wav"},
        {"a.svx", "\\x.wav", "\\x.wav"},
        // No file yet
        {"", "voice\\hello.wav", "voice\\hello.wav"},
        {"", "\\hello.wav", "\\hello.wav"},
    };
    TIVRFlow flow(nullptr, QString(), true);
    for (const Row& row : rows) {
        flow.FileName = QString::fromUtf8(row.fileName);
        EXPECT_EQ(flow.GetFullFileName(QString::fromUtf8(row.name)), QString::fromUtf8(row.want))
            << row.fileName << " + " << row.name;
    }
}

TEST(ResultNamesAndMessages, ByCode)
{
    const char* names[] = {"returnSUCCESS", "returnFAILED", "returnHANGUP", "returnCALLFAILED", "returnFAILED"};
    for (unsigned code = 0; code < 5; ++code) EXPECT_EQ(TIVRFlow::ResultName(code), names[code]) << code;
    EXPECT_EQ(TIVRFlow::ResultName(255), "returnFAILED");
    EXPECT_EQ(TIVRFlow::ResultName(~0u), "returnFAILED");

    const char* messages[] = {"", "Failed", "", "CallFailed", "", "Connected", "Disconnected", nullptr,
                              "NotEnoughParam", "ParamError"};
    for (int code = 0; code < 10; ++code) {
        if (messages[code]) {
            EXPECT_EQ(TIVRFlow::ResultMessage(code), messages[code]) << code;
        }
    }
    EXPECT_EQ(TIVRFlow::ResultMessage(7), QStringLiteral("NotTTS\r\n\r\n") + txt::NotTTSHint + QStringLiteral("\r\n"));
    EXPECT_EQ(TIVRFlow::ResultMessage(10), "");
    EXPECT_EQ(TIVRFlow::ResultMessage(-1), "");
    EXPECT_EQ(TIVRFlow::ResultMessage(INT32_MIN), "");
}

// ---- dialog services ----

TEST(DialogServices, VariantComboListsInOrderAddedWithTheLinkedOneSelected)
{
    TIVRFlow flow(nullptr, QString(), true);
    FlowNode* a = flow.AddStatement(flow.VarRoot, cls("IVRVariant"), pcLastChild);
    FlowNode* b = flow.AddStatement(flow.VarRoot, cls("IVRVariant"), pcLastChild);
    auto* va = static_cast<IVRVariant*>(a->statement());
    auto* vb = static_cast<IVRVariant*>(b->statement());
    IVRIf cond(&flow);

    cond.link.LinkTo(va);
    auto combo = flow.FillVariantCombo(cond.link);
    EXPECT_EQ(combo.names, QStringList({"Result", "NewVariant1", "NewVariant2"}));
    ASSERT_EQ(combo.items.size(), 3u);
    EXPECT_EQ(combo.items[0], flow.ResultVariant);
    EXPECT_EQ(combo.items[2], vb);
    EXPECT_EQ(combo.selected, 1);
    EXPECT_EQ(combo.selectedItem(), va);
    EXPECT_EQ(combo.text, "NewVariant1");

    cond.link.LinkTo(flow.ResultVariant);
    EXPECT_EQ(flow.FillVariantCombo(cond.link).selected, 0);

    // A constant is shown as typed text in its stored form.
    struct ConstRow {
        Value constant;
        const char* text;
    };
    const ConstRow constants[] = {
        {Value(QStringLiteral("abc")), "\"abc\""}, {Value(int32_t(5)), "5"}, {Value(1.5), "1.5"}, {Value(), ""}};
    for (const ConstRow& row : constants) {
        cond.link.Unlink();
        cond.link.constant = row.constant;
        combo = flow.FillVariantCombo(cond.link);
        EXPECT_EQ(combo.selected, -1);
        EXPECT_EQ(combo.selectedItem(), nullptr);
        EXPECT_EQ(combo.text, row.text);
        EXPECT_EQ(combo.names.size(), 3);
    }
}

TEST(DialogServices, DataBaseAndLabelCombos)
{
    TIVRFlow flow(nullptr, QString(), true);
    EXPECT_TRUE(flow.FillDataBaseCombo(TIVRDataBaseLink()).names.isEmpty());
    FlowNode* d1 = flow.AddStatement(flow.VarRoot, cls("IVRDataBase"), pcLastChild);
    flow.AddStatement(flow.VarRoot, cls("IVRDataBase"), pcLastChild);
    FlowNode* l1 = flow.AddStatement(flow.BeginRoot, cls("IVRLabel"), pcLastChild);
    FlowNode* l2 = flow.AddStatement(flow.BeginRoot, cls("IVRLabel"), pcLastChild);

    TIVRDataBaseLink dbLink;
    dbLink.name = QStringLiteral("NewDataBase2");  // a name alone selects nothing and types nothing
    auto db = flow.FillDataBaseCombo(dbLink);
    EXPECT_EQ(db.names, QStringList({"NewDataBase1", "NewDataBase2"}));
    EXPECT_EQ(db.selected, -1);
    EXPECT_EQ(db.text, "");
    dbLink.LinkTo(static_cast<IVRDataBase*>(d1->statement()));
    db = flow.FillDataBaseCombo(dbLink);
    EXPECT_EQ(db.selected, 0);
    EXPECT_EQ(db.text, "NewDataBase1");

    IVRGoto jump(&flow);
    jump.link.LinkTo(static_cast<IVRLabel*>(l2->statement()));
    auto labels = flow.FillLabelCombo(jump.link);
    EXPECT_EQ(labels.names, QStringList({"NewLabel1", "NewLabel2"}));
    EXPECT_EQ(labels.selected, 1);
    EXPECT_EQ(labels.items[0], l1->statement());
}

TEST(DialogServices, PrepareDialogMakesARunningFlowsDialogReadOnly)
{
    TIVRFlow flow(nullptr, QString(), true);
    DialogPreparation idle = flow.PrepareDialog(QStringLiteral("If"));
    EXPECT_EQ(idle.caption, "If");
    EXPECT_TRUE(idle.okEnabled);
    EXPECT_EQ(idle.focus, DialogPreparation::Focus::EditControl);

    TIVRFlowTestAccess::setRunning(flow, true);
    DialogPreparation running = flow.PrepareDialog(QStringLiteral("If"));
    EXPECT_EQ(running.caption, "If [Running - ReadOnly]");
    EXPECT_FALSE(running.okEnabled);
    EXPECT_EQ(running.focus, DialogPreparation::Focus::RunningControl);
    TIVRFlowTestAccess::setRunning(flow, false);
}

TEST(DialogServices, CheckValueInput)
{
    EXPECT_TRUE(TIVRFlow::CheckValueInput(true, QStringLiteral("abc"), QStringLiteral("Con&dition: ")).accepted);
    for (const char* good : {"", "12", " \"x\" ", "-1.5"})
        EXPECT_TRUE(TIVRFlow::CheckValueInput(false, QString::fromUtf8(good), QStringLiteral("Con&dition: ")).accepted)
            << good;

    ValueInputCheck bad = TIVRFlow::CheckValueInput(false, QStringLiteral("abc"), QStringLiteral("Con&dition: "));
    EXPECT_FALSE(bad.accepted);
    EXPECT_EQ(bad.caption, "Error : Condition");
    EXPECT_EQ(bad.message, QStringLiteral("If it is String, it must be quoted by double quotation marks(\")."));
    bad = TIVRFlow::CheckValueInput(false, QStringLiteral("1e5"), QStringLiteral("&Time Out: "));
    EXPECT_EQ(bad.caption, "Error : Time Out");
    EXPECT_TRUE(bad.message.startsWith(QStringLiteral("Number format error, error content: \r\n")));

    setTextLanguage(true);
    bad = TIVRFlow::CheckValueInput(false, QStringLiteral("abc"), QStringLiteral("条件(&D)："));
    const QString caption = bad.caption;
    const QString error = txt::Error, colon = txt::Colon;
    setTextLanguage(false);
    EXPECT_EQ(caption, error + colon + QStringLiteral("条件"));
    EXPECT_NE(error, "Error");
}

}  // namespace
