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

// A new flow with its change counter and a stand-in view.
struct World {
    TIVRFlow flow{nullptr, QString(), true};
    ModifyCounter modify;
    FakeView view;
    World() { modify.attach(flow); }

    FlowNode* add(FlowNode* at, const char* className, int code)
    {
        FlowNode* n = flow.AddStatement(at, cls(className), code);
        EXPECT_NE(n, nullptr) << className;
        return n;
    }
    FlowNode* block(FlowNode* parent, const QString& note)
    {
        FlowNode* n = add(parent, "IVRBlock", pcLastChild);
        n->statement()->Note = note;
        flow.tree().setText(n, n->statement()->GetNodeText());
        return n;
    }
    // The notes of a node's children (blocks are told apart by their notes), "-" for none.
    static QString notes(const FlowNode* node)
    {
        QStringList out;
        for (FlowNode* c = node->firstChild(); c; c = c->nextSibling())
            out << (c->statement()->Note.isEmpty() ? QStringLiteral("-") : c->statement()->Note);
        return out.join(QLatin1Char(' '));
    }
    void resetModify()
    {
        flow.Modified = false;
        modify.raised = 0;
    }
};

struct InsertFixture : ::testing::Test, World {};

// ---- AddStatement ----

TEST_F(InsertFixture, EveryPositionCode)
{
    struct Row {
        int code;
        const char* begin;  // Begin's children afterwards, by note; "new" is the added block
        const char* inB;    // b's children afterwards
    };
    const Row rows[] = {
        {pcLastSibling, "a b c new", "x"}, {pcFirstSibling, "new a b c", "x"}, {pcLastChild, "a b c", "x new"},
        {pcFirstChild, "a b c", "new x"},  {pcBefore, "a new b c", "x"},      {pcAfter, "a b new c", "x"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        TIVRFlow f(nullptr, QString(), true);
        ModifyCounter m;
        m.attach(f);
        auto mk = [&](FlowNode* parent, const char* note) {
            FlowNode* n = f.AddStatement(parent, cls("IVRBlock"), pcLastChild);
            n->statement()->Note = QString::fromUtf8(note);
            return n;
        };
        mk(f.BeginRoot, "a");
        FlowNode* b = mk(f.BeginRoot, "b");
        mk(f.BeginRoot, "c");
        mk(b, "x");
        f.Modified = false;
        m.raised = 0;
        FlowNode* added = f.AddStatement(b, cls("IVRBlock"), row.code);
        ASSERT_NE(added, nullptr);
        added->statement()->Note = QStringLiteral("new");
        EXPECT_EQ(notes(f.BeginRoot), row.begin);
        EXPECT_EQ(notes(b), row.inB);
        EXPECT_EQ(f.tree().selected(), added);
        EXPECT_TRUE(added->expanded());
        EXPECT_EQ(m.raised, 1);
    }
}

TEST_F(InsertFixture, NewNodeShowsItsCaptionAndImage)
{
    FlowNode* cond = add(flow.BeginRoot, "IVRIf", pcFirstChild);
    EXPECT_EQ(cond->text(), "If : Null");
    EXPECT_EQ(cond->image(), 5);
    EXPECT_EQ(cond->statement()->flow(), &flow);
    FlowNode* v = add(flow.VarRoot, "IVRVariant", pcLastChild);
    EXPECT_EQ(v->text(), "Variant : NewVariant1");
    EXPECT_EQ(v->image(), 15);
}

TEST_F(InsertFixture, RefusedCodesAndNodes)
{
    const int count = flow.tree().count();
    resetModify();
    EXPECT_EQ(flow.AddStatement(flow.BeginRoot, cls("IVRBlock"), 6), nullptr);
    EXPECT_EQ(flow.tree().selected(), flow.BeginRoot);  // the node is selected all the same
    EXPECT_EQ(flow.AddStatement(flow.BeginRoot, cls("IVRBlock"), -1), nullptr);
    EXPECT_EQ(flow.AddStatement(nullptr, cls("IVRBlock"), pcLastChild), nullptr);
    EXPECT_EQ(flow.AddStatement(flow.BeginRoot, nullptr, pcLastChild), nullptr);
    // Roots get no siblings: the tree keeps exactly three.
    for (int code : {pcLastSibling, pcFirstSibling, pcBefore, pcAfter})
        EXPECT_EQ(flow.AddStatement(flow.EndRoot, cls("IVRBlock"), code), nullptr) << code;
    // A node of another flow's tree.
    TIVRFlow other(nullptr, QString(), true);
    EXPECT_EQ(flow.AddStatement(other.BeginRoot, cls("IVRBlock"), pcLastChild), nullptr);
    EXPECT_EQ(other.tree().count(), 4);
    EXPECT_EQ(flow.tree().count(), count);
    EXPECT_EQ(flow.tree().topLevelCount(), 3);
    EXPECT_EQ(modify.raised, 0);
    EXPECT_FALSE(flow.CaptionsStale);
}

TEST_F(InsertFixture, FirstChildOfTheDeclarationsRootComesAfterTheResult)
{
    FlowNode* v1 = add(flow.VarRoot, "IVRVariant", pcFirstChild);  // Result is the only child: after it
    EXPECT_EQ(flow.VarRoot->firstChild()->statement(), flow.ResultVariant);
    EXPECT_EQ(flow.VarRoot->child(1), v1);
    FlowNode* v2 = add(flow.VarRoot, "IVRVariant", pcFirstChild);  // between Result and v1
    FlowNode* c = add(flow.VarRoot, "IVRCategory", pcFirstChild);
    ASSERT_EQ(flow.VarRoot->childCount(), 4);
    EXPECT_EQ(flow.VarRoot->child(0)->statement(), flow.ResultVariant);
    EXPECT_EQ(flow.VarRoot->child(1), c);
    EXPECT_EQ(flow.VarRoot->child(2), v2);
    EXPECT_EQ(flow.VarRoot->child(3), v1);
    // Under a category the first child is the first child.
    FlowNode* in1 = add(c, "IVRVariant", pcFirstChild);
    FlowNode* in2 = add(c, "IVRVariant", pcFirstChild);
    EXPECT_EQ(c->firstChild(), in2);
    EXPECT_EQ(c->lastChild(), in1);
}

TEST_F(InsertFixture, IfAndSwitchComeWithTheirChildren)
{
    FlowNode* cond = add(flow.BeginRoot, "IVRIf", pcFirstChild);
    ASSERT_EQ(cond->childCount(), 2);
    EXPECT_STREQ(cond->child(0)->statement()->className(), "IVRTrue");
    EXPECT_STREQ(cond->child(1)->statement()->className(), "IVRFalse");
    EXPECT_EQ(childTexts(cond), "True|False");
    EXPECT_EQ(cond->child(0)->image(), 6);
    EXPECT_EQ(cond->child(1)->image(), 7);
    EXPECT_TRUE(cond->expanded());

    FlowNode* sw = add(flow.BeginRoot, "IVRSwitch", pcLastChild);
    ASSERT_EQ(sw->childCount(), 1);
    EXPECT_STREQ(sw->firstChild()->statement()->className(), "IVRDefault");
    EXPECT_EQ(childTexts(sw), "Default");
    EXPECT_EQ(flow.tree().selected(), sw);
    EXPECT_EQ(sw->text(), "Switch : Null");

    // A While or a Case gets no children.
    EXPECT_FALSE(add(flow.BeginRoot, "IVRWhile", pcLastChild)->hasChildren());
    EXPECT_FALSE(add(sw, "IVRCase", pcFirstChild)->hasChildren());
}

TEST_F(InsertFixture, NamingOfNewDeclarations)
{
    FlowNode* v1 = add(flow.VarRoot, "IVRVariant", pcLastChild);
    FlowNode* v2 = add(flow.VarRoot, "IVRVariant", pcLastChild);
    auto name = [](FlowNode* n) { return static_cast<IVRVariant*>(n->statement())->Name; };
    EXPECT_EQ(name(v1), "NewVariant1");
    EXPECT_EQ(name(v2), "NewVariant2");
    EXPECT_EQ(flow.NextVariantNumber, 2);  // the counter keeps the number used
    static_cast<IVRVariant*>(v1->statement())->Name = QStringLiteral("renamed");
    EXPECT_EQ(name(add(flow.VarRoot, "IVRVariant", pcLastChild)), "NewVariant3");

    // A flow loaded with NewVariant1 to NewVariant3 starts its counter at 1 again.
    static_cast<IVRVariant*>(v1->statement())->Name = QStringLiteral("NewVariant1");
    flow.NextVariantNumber = 1;
    EXPECT_EQ(name(add(flow.VarRoot, "IVRVariant", pcLastChild)), "NewVariant4");

    // The three kinds count apart; each new declaration heads its list.
    FlowNode* d1 = add(flow.VarRoot, "IVRDataBase", pcLastChild);
    FlowNode* d2 = add(flow.VarRoot, "IVRDataBase", pcLastChild);
    EXPECT_EQ(static_cast<IVRDataBase*>(d1->statement())->Name, "NewDataBase1");
    EXPECT_EQ(static_cast<IVRDataBase*>(d2->statement())->Name, "NewDataBase2");
    EXPECT_EQ(flow.FirstDataBase, d2->statement());
    FlowNode* l1 = add(flow.BeginRoot, "IVRLabel", pcLastChild);
    auto* label = static_cast<IVRLabel*>(l1->statement());
    EXPECT_EQ(label->Name, "NewLabel1");
    EXPECT_EQ(label->node(), l1);
    EXPECT_EQ(flow.FirstLabel, label);
    EXPECT_EQ(l1->text(), "Label : NewLabel1");
    EXPECT_EQ(flow.FirstVariant->Name, "NewVariant4");

    // Categories and other statements are not named or listed.
    add(flow.VarRoot, "IVRCategory", pcLastChild);
    add(flow.BeginRoot, "IVRGoto", pcLastChild);
    EXPECT_EQ(flow.FirstLabel, label);
    EXPECT_EQ(flow.FirstVariant->Name, "NewVariant4");

    // The prefixes follow the interface language.
    setTextLanguage(true);
    FlowNode* zh = flow.AddStatement(flow.VarRoot, cls("IVRVariant"), pcLastChild);
    const QString prefix = txt::NewVariant;
    const QString zhName = name(zh);
    setTextLanguage(false);
    EXPECT_NE(prefix, "NewVariant");
    EXPECT_EQ(zhName, prefix + QStringLiteral("4"));
}

// ---- CanDrop ----

// The four rules, written out: S the source flags, T the target flags.
bool canDropByTheRules(uint32_t s, uint32_t t)
{
    const bool sDecl = s & 0x40, tDecl = t & 0x40, tContainer = t & 0x1, tSwitch = t & 0x10, sArm = s & 0x20,
               tArm = t & 0x20;
    if (sDecl) return tDecl;                              // 1
    if (tDecl) return false;                              // 2
    if (tContainer) return tSwitch || !sArm || tArm;      // 3
    return !sArm;                                         // 4
}

TEST(CanDrop, TruthTableOverTheFlagsItReads)
{
    const uint32_t bits[] = {0x1, 0x10, 0x20, 0x40};
    // Flags no rule reads ride along and change nothing.
    const uint32_t noise[] = {0, 0x2 | 0x4 | 0x8 | 0x80 | 0x40000 | 0x800000};
    for (unsigned sm = 0; sm < 16; ++sm)
        for (unsigned tm = 0; tm < 16; ++tm)
            for (uint32_t ns : noise)
                for (uint32_t nt : noise) {
                    uint32_t s = ns, t = nt;
                    for (int b = 0; b < 4; ++b) {
                        if (sm & (1u << b)) s |= bits[b];
                        if (tm & (1u << b)) t |= bits[b];
                    }
                    EXPECT_EQ(TIVRFlow::CanDrop(s, t), canDropByTheRules(s, t)) << std::hex << s << " on " << t;
                }
}

TEST(CanDrop, NamedKinds)
{
    // Source kinds (rows) against target kinds (columns), expected from the rules by hand.
    const char* targets[] = {"IVRVar",   "IVRResult", "IVRCategory", "IVRVariant", "IVRBegin", "IVREnd",
                             "IVRBlock", "IVRIf",     "IVRTrue",     "IVRSwitch",  "IVRCase",  "IVRDefault",
                             "IVRWhile", "IVRAnswer"};
    struct Row {
        const char* source;
        const char* expected;  // one letter per target: y or n
    };
    const Row rows[] = {
        {"IVRVariant", "yyyynnnnnnnnnn"}, {"IVRCategory", "yyyynnnnnnnnnn"}, {"IVRDataBase", "yyyynnnnnnnnnn"},
        {"IVRBlock", "nnnnyyyyyyyyyy"},   {"IVRAnswer", "nnnnyyyyyyyyyy"},   {"IVRLabel", "nnnnyyyyyyyyyy"},
        {"IVRCase", "nnnnnnnnnyyynn"},
    };
    for (const Row& row : rows)
        for (size_t i = 0; i < std::size(targets); ++i) {
            const bool want = row.expected[i] == 'y';
            EXPECT_EQ(TIVRFlow::CanDrop(cls(row.source)->typeSet, cls(targets[i])->typeSet), want)
                << row.source << " on " << targets[i];
        }
}

// ---- drops ----

// A flow with one of everything a drop may meet:
//   Var: Result, Cat (V2), V1
//   Begin: While (w1), Block (b1), If (True, False), Switch (Case k1, Case k2, Default), Answer
struct DropWorld : World {
    FlowNode *result, *cat, *v1, *v2, *loop, *w1, *blk, *b1, *cond, *sw, *k1, *k2, *deflt, *answer;
    DropWorld()
    {
        result = flow.VarRoot->firstChild();
        cat = add(flow.VarRoot, "IVRCategory", pcLastChild);
        v2 = add(cat, "IVRVariant", pcLastChild);
        v1 = add(flow.VarRoot, "IVRVariant", pcLastChild);
        loop = add(flow.BeginRoot, "IVRWhile", pcLastChild);
        w1 = add(loop, "IVRAnswer", pcLastChild);
        blk = add(flow.BeginRoot, "IVRBlock", pcLastChild);
        b1 = add(blk, "IVRAnswer", pcLastChild);
        cond = add(flow.BeginRoot, "IVRIf", pcLastChild);
        sw = add(flow.BeginRoot, "IVRSwitch", pcLastChild);
        deflt = sw->firstChild();
        k1 = add(sw, "IVRCase", pcFirstChild);
        k2 = add(k1, "IVRCase", pcAfter);
        answer = add(flow.BeginRoot, "IVRAnswer", pcLastChild);
        resetModify();
    }
    FlowNode* node(const char* name)
    {
        const std::pair<const char*, FlowNode*> all[] = {
            {"Var", flow.VarRoot},       {"Result", result}, {"Cat", cat},     {"V1", v1},
            {"V2", v2},                  {"Begin", flow.BeginRoot}, {"End", flow.EndRoot}, {"While", loop},
            {"Block", blk},              {"If", cond},       {"True", cond->firstChild()}, {"False", cond->lastChild()},
            {"Switch", sw},              {"Case1", k1},      {"Case", k2},     {"Default", deflt},
            {"Answer", answer}};
        for (const auto& [n, p] : all)
            if (QLatin1String(n) == QLatin1String(name)) return p;
        ADD_FAILURE() << "no node " << name;
        return nullptr;
    }
    // Drops a palette class on the target; returns where the new node landed, or "refused".
    QString dropNew(const char* className, FlowNode* target, bool ctrl)
    {
        const int count = flow.tree().count();
        flow.tree().select(flow.EndRoot);
        const int y = view.place(target);
        flow.TreeDragDrop(view, DragSource::palette(cls(className)), 0, y, ctrl);
        if (flow.tree().count() == count) return QStringLiteral("refused");
        return place(flow.tree().selected(), target);
    }
    // Drags an existing node onto the target; returns where it is afterwards relative to target.
    QString dropNode(FlowNode* moved, FlowNode* target, bool ctrl)
    {
        FlowNode* oldParent = moved->parent();
        const int oldRow = moved->row();
        flow.tree().select(moved);
        const int y = view.place(target);
        flow.TreeDragDrop(view, DragSource::treeOf(&flow), 0, y, ctrl);
        if (moved->parent() == oldParent && moved->row() == oldRow) return QStringLiteral("unmoved");
        return place(moved, target);
    }
    static QString place(FlowNode* n, FlowNode* target)
    {
        if (n->parent() == target)
            return n->row() == 0 ? QStringLiteral("first child") : QStringLiteral("child row %1").arg(n->row());
        if (n->prevSibling() == target) return QStringLiteral("after");
        if (n->nextSibling() == target) return QStringLiteral("before");
        return QStringLiteral("elsewhere: ") + n->parent()->text() + QStringLiteral(" row ") +
               QString::number(n->row());
    }
};

struct DropFixture : ::testing::Test, DropWorld {};

struct DropRow {
    const char* source;  // a palette class
    const char* target;
    bool ctrl;
    const char* want;
};

TEST(Drops, PaletteDropsByTheTable)
{
    const DropRow rows[] = {
        // Declarations stay among the declarations.
        {"IVRVariant", "Var", false, "child row 1"},
        {"IVRVariant", "Var", true, "child row 1"},
        {"IVRVariant", "Cat", false, "after"},
        {"IVRVariant", "Cat", true, "first child"},
        {"IVRVariant", "Result", false, "after"},
        {"IVRVariant", "Result", true, "after"},
        {"IVRVariant", "V1", true, "after"},
        {"IVRCategory", "Var", false, "child row 1"},
        {"IVRDataBase", "Cat", true, "first child"},
        {"IVRVariant", "Begin", false, "refused"},
        {"IVRVariant", "Block", true, "refused"},
        {"IVRVariant", "Answer", false, "refused"},
        // Nothing else goes into them.
        {"IVRBlock", "Var", false, "refused"},
        {"IVRAnswer", "Result", false, "refused"},
        {"IVRAnswer", "Cat", true, "refused"},
        // Statements in the call flow.
        {"IVRBlock", "While", false, "after"},
        {"IVRBlock", "While", true, "first child"},
        {"IVRAnswer", "Block", false, "after"},
        {"IVRAnswer", "Block", true, "first child"},
        {"IVRAnswer", "Begin", false, "first child"},
        {"IVRAnswer", "Begin", true, "first child"},
        {"IVRAnswer", "End", false, "first child"},
        {"IVRAnswer", "True", false, "first child"},
        {"IVRAnswer", "False", false, "first child"},
        {"IVRAnswer", "False", true, "first child"},
        {"IVRAnswer", "If", false, "after"},
        {"IVRAnswer", "If", true, "after"},
        {"IVRAnswer", "Answer", false, "after"},
        {"IVRAnswer", "Answer", true, "after"},
        {"IVRLabel", "While", false, "after"},
        // Switches and their arms.
        {"IVRAnswer", "Switch", false, "after"},
        {"IVRAnswer", "Switch", true, "after"},
        {"IVRAnswer", "Case", false, "first child"},
        {"IVRAnswer", "Default", false, "first child"},
        {"IVRCase", "Switch", false, "first child"},
        {"IVRCase", "Switch", true, "first child"},
        {"IVRCase", "Default", false, "before"},
        {"IVRCase", "Default", true, "before"},
        {"IVRCase", "Case", false, "after"},
        {"IVRCase", "Case", true, "after"},
        {"IVRCase", "Block", false, "refused"},
        {"IVRCase", "Begin", true, "refused"},
        {"IVRCase", "True", false, "refused"},
        {"IVRCase", "Answer", false, "refused"},
        {"IVRCase", "Var", false, "refused"},
    };
    for (const DropRow& row : rows) {
        SCOPED_TRACE(std::string(row.source) + " on " + row.target + (row.ctrl ? " with Ctrl" : ""));
        DropWorld w;
        FlowNode* target = w.node(row.target);
        EXPECT_EQ(w.dropNew(row.source, target, row.ctrl), QString::fromUtf8(row.want));
        EXPECT_EQ(w.modify.raised, 1);  // a change is signalled, also for a refused drop
        EXPECT_EQ(w.flow.tree().topLevelCount(), 3);
        EXPECT_EQ(w.flow.VarRoot->firstChild(), w.result);
    }
}

TEST_F(DropFixture, DragOverAcceptsWhatCanDropAllows)
{
    const std::tuple<const char*, const char*, bool> rows[] = {
        {"IVRVariant", "Var", true},     {"IVRVariant", "Begin", false}, {"IVRAnswer", "Result", false},
        {"IVRCase", "Switch", true},     {"IVRCase", "Default", true},   {"IVRCase", "Block", false},
        {"IVRCase", "Answer", false},    {"IVRAnswer", "Answer", true},  {"IVRBlock", "True", true},
    };
    for (const auto& [source, target, want] : rows) {
        const int y = view.place(node(target));
        EXPECT_EQ(flow.TreeDragOver(view, DragSource::palette(cls(source)), 0, y, true), want)
            << source << " over " << target;
        EXPECT_EQ(flow.TreeDragOver(view, DragSource::palette(cls(source)), 0, y, false), want);
    }
    // A node of the tree: by its own flags.
    flow.tree().select(v1);
    EXPECT_TRUE(flow.TreeDragOver(view, DragSource::treeOf(&flow), 0, view.place(cat), false));
    EXPECT_FALSE(flow.TreeDragOver(view, DragSource::treeOf(&flow), 0, view.place(blk), true));
    // Other sources never; no target leaves the answer as it came.
    EXPECT_FALSE(flow.TreeDragOver(view, DragSource::other(), 0, view.place(blk), true));
    EXPECT_FALSE(flow.TreeDragOver(view, DragSource::palette(nullptr), 0, view.place(blk), true));
    TIVRFlow other(nullptr, QString(), true);
    EXPECT_FALSE(flow.TreeDragOver(view, DragSource::treeOf(&other), 0, view.place(blk), true));
    view.rows.clear();
    EXPECT_TRUE(flow.TreeDragOver(view, DragSource::other(), 0, 5, true));
    EXPECT_FALSE(flow.TreeDragOver(view, DragSource::palette(cls("IVRAnswer")), 0, 5, false));
}

TEST_F(DropFixture, HoveringOpensACollapsedNodeButNotTheSelectedOne)
{
    flow.tree().setExpanded(blk, false);
    flow.tree().setExpanded(loop, false);
    flow.tree().select(loop);
    flow.TreeDragOver(view, DragSource::treeOf(&flow), 0, view.place(loop), true);
    EXPECT_FALSE(loop->expanded());
    flow.TreeDragOver(view, DragSource::treeOf(&flow), 0, view.place(blk), true);
    EXPECT_TRUE(blk->expanded());
    EXPECT_EQ(blk->image(), 1);
}

TEST(Drops, TreeDropsMoveTheNodeWithItsSubtree)
{
    const DropRow rows[] = {
        {"V1", "Var", false, "child row 1"},
        {"V2", "Var", true, "child row 1"},
        {"V1", "Cat", true, "first child"},
        {"V2", "Cat", false, "after"},
        {"V1", "Result", false, "after"},
        {"Cat", "V1", false, "after"},
        {"Answer", "While", false, "after"},
        {"Block", "While", true, "first child"},
        {"Block", "End", false, "first child"},
        {"Block", "True", false, "first child"},
        {"Block", "If", false, "after"},
        {"Block", "Case", false, "first child"},
        {"Block", "Switch", true, "after"},
        {"Answer", "Default", false, "first child"},
        {"Case", "Switch", false, "first child"},
        {"Case1", "Case", false, "after"},
        {"Case1", "Block", false, "unmoved"},
        {"Case", "Default", false, "unmoved"},  // k2 already stands right before the Default
        {"V1", "Begin", false, "unmoved"},
        {"Block", "Var", false, "unmoved"},
        {"Block", "Result", false, "unmoved"},
    };
    for (const DropRow& row : rows) {
        SCOPED_TRACE(std::string(row.source) + " on " + row.target + (row.ctrl ? " with Ctrl" : ""));
        DropWorld w;
        FlowNode* moved = w.node(row.source);
        TIVRBase* statement = moved->statement();
        const int children = moved->childCount();
        const int count = w.flow.tree().count();
        EXPECT_EQ(w.dropNode(moved, w.node(row.target), row.ctrl), QString::fromUtf8(row.want));
        EXPECT_EQ(moved->statement(), statement);
        EXPECT_EQ(moved->childCount(), children);
        EXPECT_EQ(w.flow.tree().count(), count);
        EXPECT_EQ(w.modify.raised, 1);
    }
}

TEST_F(DropFixture, AMovedNodeBelongsToItsNewParent)
{
    // v1 moves into the category; deleting the category then frees it.
    flow.tree().select(v1);
    flow.TreeDragDrop(view, DragSource::treeOf(&flow), 0, view.place(cat), true);
    ASSERT_EQ(v1->parent(), cat);
    auto* moved = static_cast<IVRVariant*>(v1->statement());
    flow.tree().select(cat);
    flow.DeleteStatement();
    for (IVRVariant* v = flow.FirstVariant; v; v = v->nextVariant) EXPECT_NE(v, moved);
    EXPECT_EQ(flow.FirstVariant, flow.ResultVariant);
    EXPECT_EQ(flow.VarRoot->childCount(), 1);
}

TEST_F(DropFixture, DropsThatChangeNothingSignalNothing)
{
    const int count = flow.tree().count();
    // A node dropped on itself.
    flow.tree().select(blk);
    flow.TreeDragDrop(view, DragSource::treeOf(&flow), 0, view.place(blk), true);
    // No node under the pointer.
    view.rows.clear();
    flow.TreeDragDrop(view, DragSource::palette(cls("IVRAnswer")), 0, 5, false);
    flow.TreeDragDrop(view, DragSource::treeOf(&flow), 0, 5, false);
    EXPECT_EQ(modify.raised, 0);
    EXPECT_EQ(flow.tree().count(), count);
    EXPECT_EQ(blk->row(), 1);

    // Another source moves nothing but is signalled like a refused drop.
    TIVRFlow other(nullptr, QString(), true);
    flow.TreeDragDrop(view, DragSource::treeOf(&other), 0, view.place(answer), false);
    flow.TreeDragDrop(view, DragSource::other(), 0, view.place(answer), false);
    EXPECT_EQ(flow.tree().count(), count);
    EXPECT_EQ(blk->row(), 1);
    EXPECT_EQ(modify.raised, 1);
}

TEST_F(DropFixture, NothingDropsIntoItsOwnSubtree)
{
    FlowNode* inner = add(b1, "IVRAnswer", pcAfter);  // blk: b1, inner
    FlowNode* nested = add(blk, "IVRBlock", pcLastChild);
    FlowNode* deep = add(nested, "IVRAnswer", pcLastChild);
    resetModify();
    flow.tree().select(blk);
    for (FlowNode* target : {b1, inner, nested, deep}) {
        const int y = view.place(target);
        EXPECT_FALSE(flow.TreeDragOver(view, DragSource::treeOf(&flow), 0, y, true));
        flow.TreeDragDrop(view, DragSource::treeOf(&flow), 0, y, true);
        flow.TreeDragDrop(view, DragSource::treeOf(&flow), 0, y, false);
        for (int code = pcLastSibling; code <= pcAfterFirstChild; ++code)
            flow.MoveStatement(DragSource::treeOf(&flow), target, code);
        EXPECT_EQ(blk->parent(), flow.BeginRoot);
        EXPECT_EQ(blk->row(), 1);
        EXPECT_EQ(notes(blk), "- - -");
        EXPECT_EQ(deep->parent(), nested);
    }
    // Into itself as well.
    for (int code : {pcLastChild, pcFirstChild, pcAfterFirstChild}) {
        flow.MoveStatement(DragSource::treeOf(&flow), blk, code);
        EXPECT_EQ(blk->parent(), flow.BeginRoot);
        EXPECT_EQ(blk->row(), 1);
    }
    // The node itself still shows the pointer the rules give; the drop does nothing.
    EXPECT_TRUE(flow.TreeDragOver(view, DragSource::treeOf(&flow), 0, view.place(blk), true));
}

TEST_F(DropFixture, MovesBeforeOrAfterItselfStayPut)
{
    flow.tree().select(blk);
    const DragSource tree = DragSource::treeOf(&flow);
    flow.MoveStatement(tree, blk, pcBefore);
    EXPECT_EQ(blk->row(), 1);
    flow.MoveStatement(tree, blk, pcAfter);
    EXPECT_EQ(blk->row(), 1);
    flow.MoveStatement(tree, loop, pcAfter);  // after its previous sibling
    EXPECT_EQ(blk->row(), 1);
    flow.MoveStatement(tree, cond, pcBefore);  // before its next sibling
    EXPECT_EQ(blk->row(), 1);
    EXPECT_EQ(flow.BeginRoot->childCount(), 5);
    // The last node moved after itself, or to the end, stays last.
    flow.tree().select(answer);
    flow.MoveStatement(tree, answer, pcAfter);
    flow.MoveStatement(tree, answer, pcLastSibling);
    EXPECT_EQ(flow.BeginRoot->lastChild(), answer);
    EXPECT_EQ(flow.BeginRoot->childCount(), 5);
}

TEST_F(DropFixture, MoveCodesOfTheTreeSource)
{
    const DragSource tree = DragSource::treeOf(&flow);
    flow.tree().select(answer);
    flow.MoveStatement(tree, loop, pcFirstSibling);
    EXPECT_EQ(flow.BeginRoot->firstChild(), answer);
    flow.MoveStatement(tree, loop, pcLastSibling);
    EXPECT_EQ(flow.BeginRoot->lastChild(), answer);
    flow.MoveStatement(tree, loop, pcLastChild);
    EXPECT_EQ(loop->lastChild(), answer);
    flow.MoveStatement(tree, loop, pcFirstChild);
    EXPECT_EQ(loop->firstChild(), answer);
    flow.MoveStatement(tree, blk, pcBefore);
    EXPECT_EQ(blk->prevSibling(), answer);
    flow.MoveStatement(tree, sw, pcAfter);
    EXPECT_EQ(sw->nextSibling(), answer);
    // Code 6: after the first child; under a single child as the last child; nothing without one.
    flow.MoveStatement(tree, blk, pcAfterFirstChild);
    EXPECT_EQ(answer->parent(), blk);
    EXPECT_EQ(answer->prevSibling(), b1);
    FlowNode* empty = add(flow.EndRoot, "IVRBlock", pcLastChild);
    flow.tree().select(answer);
    flow.MoveStatement(tree, empty, pcAfterFirstChild);
    EXPECT_EQ(answer->parent(), blk);
    // Roots get no siblings.
    for (int code : {pcLastSibling, pcFirstSibling, pcBefore, pcAfter}) flow.MoveStatement(tree, flow.EndRoot, code);
    EXPECT_EQ(flow.tree().topLevelCount(), 3);
    EXPECT_EQ(answer->parent(), blk);
    // Codes above 6 and other sources do nothing.
    flow.MoveStatement(tree, loop, 7);
    flow.MoveStatement(DragSource::other(), loop, pcFirstChild);
    EXPECT_EQ(answer->parent(), blk);
    EXPECT_EQ(modify.raised, 1);  // only the add above signalled; MoveStatement signals nothing itself
}

TEST_F(DropFixture, MoveCodesOfThePaletteSource)
{
    const DragSource palette = DragSource::palette(cls("IVRAnswer"));
    flow.MoveStatement(palette, blk, pcAfter);
    EXPECT_EQ(blk->nextSibling(), flow.tree().selected());
    flow.MoveStatement(palette, answer, pcAfter);  // the last one: appended
    EXPECT_EQ(answer->nextSibling(), flow.tree().selected());
    EXPECT_EQ(flow.BeginRoot->lastChild(), flow.tree().selected());
    flow.MoveStatement(palette, blk, pcAfterFirstChild);  // one child: appended
    EXPECT_EQ(blk->lastChild(), flow.tree().selected());
    EXPECT_EQ(blk->childCount(), 2);
    flow.MoveStatement(palette, blk, pcAfterFirstChild);  // before the second child
    EXPECT_EQ(blk->child(1), flow.tree().selected());
    EXPECT_EQ(blk->childCount(), 3);
    const int count = flow.tree().count();
    flow.MoveStatement(palette, flow.EndRoot, pcAfterFirstChild);  // no child: nothing
    flow.MoveStatement(palette, flow.EndRoot, 7);
    flow.MoveStatement(DragSource::palette(nullptr), blk, pcFirstChild);
    EXPECT_EQ(flow.tree().count(), count);
    flow.MoveStatement(palette, flow.EndRoot, pcFirstChild);
    EXPECT_EQ(flow.EndRoot->childCount(), 1);
}

TEST_F(DropFixture, PaletteIfAndSwitchDropsBringTheirChildren)
{
    flow.TreeDragDrop(view, DragSource::palette(cls("IVRIf")), 0, view.place(answer), false);
    FlowNode* cond2 = answer->nextSibling();
    ASSERT_NE(cond2, nullptr);
    EXPECT_EQ(childTexts(cond2), "True|False");
    flow.TreeDragDrop(view, DragSource::palette(cls("IVRSwitch")), 0, view.place(flow.EndRoot), false);
    ASSERT_EQ(flow.EndRoot->childCount(), 1);
    EXPECT_EQ(childTexts(flow.EndRoot->firstChild()), "Default");
}

TEST_F(DropFixture, ARunningFlowTakesNoDrop)
{
    TIVRFlowTestAccess::setRunning(flow, true);
    const int count = flow.tree().count();
    EXPECT_FALSE(flow.TreeDragOver(view, DragSource::palette(cls("IVRAnswer")), 0, view.place(answer), true));
    view.rows.clear();
    EXPECT_FALSE(flow.TreeDragOver(view, DragSource::other(), 0, 5, true));  // even with no target
    flow.DragStartX = flow.DragStartY = 7;
    flow.TreeDragDrop(view, DragSource::palette(cls("IVRAnswer")), 0, view.place(answer), false);
    EXPECT_EQ(flow.DragStartX, -1);
    flow.tree().select(answer);
    flow.TreeDragDrop(view, DragSource::treeOf(&flow), 0, view.place(loop), true);
    EXPECT_EQ(flow.tree().count(), count);
    EXPECT_EQ(answer->parent(), flow.BeginRoot);
    EXPECT_EQ(modify.raised, 0);
    TIVRFlowTestAccess::setRunning(flow, false);
}

// ---- mouse ----

TEST_F(DropFixture, ADragStartsAfterThreePixelsOnTheSelectedMovableNode)
{
    const int y = view.place(blk, 3);  // rows 30-39
    view.place(answer, 4);
    flow.tree().select(blk);
    flow.TreeMouseDown(view, Qt::LeftButton, 50, y);
    EXPECT_EQ(flow.PressedNode, blk);
    EXPECT_EQ(flow.DragStartX, 50);
    EXPECT_EQ(flow.DragStartY, y);
    flow.TreeMouseMove(view, 52, y + 2);  // two pixels both ways
    EXPECT_EQ(view.drags, 0);
    flow.TreeMouseMove(view, 48, y - 2);
    EXPECT_EQ(view.drags, 0);
    flow.TreeMouseMove(view, 53, y);
    EXPECT_EQ(view.drags, 1);
    EXPECT_EQ(flow.DragStartX, -1);
    EXPECT_EQ(flow.DragStartY, -1);
    flow.TreeMouseMove(view, 60, y);  // no drag pending any more
    EXPECT_EQ(view.drags, 1);

    flow.TreeMouseDown(view, Qt::LeftButton, 50, y);
    flow.TreeMouseMove(view, 50, y - 3);
    EXPECT_EQ(view.drags, 2);
}

TEST_F(DropFixture, NoDragOffTheNodeOrOfAFixedOrUnselectedNode)
{
    view.place(blk, 3);
    view.place(answer, 4);
    // The pointer has left the pressed node.
    flow.tree().select(blk);
    flow.TreeMouseDown(view, Qt::LeftButton, 50, 38);
    flow.TreeMouseMove(view, 50, 42);
    EXPECT_EQ(view.drags, 0);
    // The pressed node is not the selected one.
    flow.tree().select(answer);
    flow.TreeMouseDown(view, Qt::LeftButton, 50, 35);
    flow.TreeMouseMove(view, 60, 35);
    EXPECT_EQ(view.drags, 0);
    // A release ends the pending drag.
    flow.tree().select(blk);
    flow.TreeMouseDown(view, Qt::LeftButton, 50, 35);
    flow.TreeMouseUp();
    EXPECT_EQ(flow.DragStartX, -1);
    flow.TreeMouseMove(view, 60, 35);
    EXPECT_EQ(view.drags, 0);
    // Nodes that may not move never drag.
    for (FlowNode* fixed : {flow.VarRoot, result, flow.BeginRoot, flow.EndRoot, cond->firstChild(), cond->lastChild(),
                            deflt}) {
        view.place(fixed, 3);
        flow.tree().select(fixed);
        flow.TreeMouseDown(view, Qt::LeftButton, 50, 35);
        flow.TreeMouseMove(view, 60, 35);
        EXPECT_EQ(view.drags, 0) << fixed->text().toStdString();
    }
    // A press on empty space.
    view.rows.clear();
    flow.tree().select(nullptr);
    flow.TreeMouseDown(view, Qt::LeftButton, 50, 35);
    EXPECT_EQ(flow.PressedNode, nullptr);
    flow.TreeMouseMove(view, 60, 35);
    EXPECT_EQ(view.drags, 0);
}

TEST_F(DropFixture, RightClickSelectsAndOtherButtonsDoNothing)
{
    const int y = view.place(blk, 2);
    flow.tree().select(answer);
    flow.PressedNode = answer;
    flow.TreeMouseDown(view, Qt::RightButton, 10, y);
    EXPECT_EQ(flow.tree().selected(), blk);
    EXPECT_EQ(flow.PressedNode, answer);
    EXPECT_EQ(flow.DragStartX, -1);
    flow.TreeMouseDown(view, Qt::RightButton, 10, 95);  // nothing there: the selection stays
    EXPECT_EQ(flow.tree().selected(), blk);
    flow.TreeMouseDown(view, Qt::MiddleButton, 10, y);
    EXPECT_EQ(flow.PressedNode, answer);
    EXPECT_EQ(flow.DragStartX, -1);
    flow.TreeMouseMove(view, 40, y);
    EXPECT_EQ(view.drags, 0);
}

TEST_F(DropFixture, ARunningFlowRecordsThePressButNoDragStart)
{
    TIVRFlowTestAccess::setRunning(flow, true);
    const int y = view.place(blk);
    flow.tree().select(blk);
    flow.TreeMouseDown(view, Qt::LeftButton, 50, y);
    EXPECT_EQ(flow.PressedNode, blk);  // a double click still opens the (read-only) dialog
    EXPECT_EQ(flow.DragStartX, -1);
    flow.TreeMouseMove(view, 60, y);
    EXPECT_EQ(view.drags, 0);
    TIVRFlowTestAccess::setRunning(flow, false);
}

// ---- a flow without its roots ----

TEST(MissingRoots, CommandsAndDropsDoNotNeedThem)
{
    TIVRFlow flow(nullptr, QString(), true);
    FakeView view;
    // What a file without a declarations root or a call-flow root leaves behind.
    flow.tree().remove(flow.VarRoot);
    flow.VarRoot = nullptr;
    flow.tree().remove(flow.BeginRoot);
    flow.BeginRoot = nullptr;
    EXPECT_EQ(flow.ResultVariant, nullptr);
    EXPECT_EQ(flow.FirstVariant, nullptr);

    EXPECT_EQ(flow.AddStatement(flow.VarRoot, cls("IVRVariant"), pcLastChild), nullptr);
    EXPECT_EQ(flow.AddStatement(flow.BeginRoot, cls("IVRAnswer"), pcFirstChild), nullptr);
    flow.MoveStatement(DragSource::palette(cls("IVRVariant")), flow.VarRoot, pcAfterFirstChild);
    flow.MoveStatement(DragSource::treeOf(&flow), nullptr, pcFirstChild);
    flow.TreeDragDrop(view, DragSource::palette(cls("IVRVariant")), 0, view.place(flow.EndRoot), false);
    EXPECT_EQ(flow.tree().count(), 1);

    FlowNode* v = flow.AddStatement(flow.EndRoot, cls("IVRAnswer"), pcFirstChild);
    ASSERT_NE(v, nullptr);
    flow.tree().select(v);
    flow.ToggleBreakPoint();
    flow.ToggleEnabled();
    flow.ClearAllBreakPoints();
    flow.EnableAll();
    flow.RefreshCaptions();
    flow.PressedNode = v;
    flow.TreeDblClick();
    flow.DeleteStatement();
    EXPECT_EQ(flow.tree().count(), 1);
    IVRIf cond(&flow);
    EXPECT_TRUE(flow.FillVariantCombo(cond.link).names.isEmpty());
}

TEST(MissingRoots, ADeclarationsRootWithoutTheResultTakesAFirstChild)
{
    TIVRFlow flow(nullptr, QString(), true);
    flow.tree().remove(flow.VarRoot->firstChild());
    FakeView view;
    flow.TreeDragDrop(view, DragSource::palette(cls("IVRVariant")), 0, view.place(flow.VarRoot), false);
    EXPECT_FALSE(flow.VarRoot->hasChildren());  // the drop finds no result to follow
    FlowNode* v = flow.AddStatement(flow.VarRoot, cls("IVRVariant"), pcFirstChild);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(flow.VarRoot->firstChild(), v);
}

}  // namespace
