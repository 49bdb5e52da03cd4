#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QThread>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "engine/device.h"
#include "engine/flow.h"
#include "engine/flowfile.h"
#include "engine/runner.h"
#include "engine/statements/declarations.h"
#include "engine/statements/flowcontrol.h"
#include "engine/statements/variables.h"
#include "engine/texts.h"

namespace {

// A channel that logs and, when asked, blocks in PlayFile until it is aborted.
class FakeChannel : public IIVRAddress {
public:
    int32_t Answer() override { return log("Answer"); }
    int32_t PlayFile(const QString& file, bool) override
    {
        log("Play " + file);
        if (QFileInfo(file).fileName() == "fail") return 1;
        std::unique_lock lock(mutex_);
        if (file == "block") {
            blocked_ = true;
            cv_.notify_all();
            cv_.wait(lock, [this] { return aborted_; });
        }
        return aborted_ ? 4 : 0;
    }
    int32_t ReceiveDTMF(QString&, int, int, int, int) override { return 0; }
    int32_t EndPass() override { return log("EndPass"); }
    int32_t BeginPass() override { return log("BeginPass"); }
    int32_t Abort() override
    {
        std::lock_guard lock(mutex_);
        aborted_ = true;
        cv_.notify_all();
        return 0;
    }
    int32_t Speak(const QString&, bool, bool, bool) override { return 0; }
    int32_t RecordFile(const QString&, bool, int) override { return 0; }
    int32_t WaitRing(int, QString&, QString&) override { return 0; }
    int32_t MakeCall(const QString&, int, int) override { return 0; }
    int32_t Sleep(bool, int) override { return 0; }
    int32_t SendDTMF(const QString&) override { return 0; }
    int32_t GatewayCall(const QString&, const QString&, int, int, int32_t) override { return 0; }
    int32_t SetHookSwitch(int) override { return 0; }

    QStringList entries()
    {
        std::lock_guard lock(mutex_);
        return log_;
    }
    void waitBlocked()
    {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return blocked_; });
    }

private:
    int32_t log(const QString& s)
    {
        std::lock_guard lock(mutex_);
        log_ << s;
        return 0;
    }
    std::mutex mutex_;
    std::condition_variable cv_;
    QStringList log_;
    bool aborted_ = false;
    bool blocked_ = false;
};

class FakeDevice : public ITAPI3Device {
public:
    int32_t OpenChannel(int, ChannelPtr& out, int, int, int, int hook, int) override
    {
        hookValue = hook;
        if (!openWorks) return 1;
        out = channel;
        return 0;
    }
    int32_t CloseChannel(int, ChannelPtr) override
    {
        ++closed;
        return 0;
    }
    int32_t GetAddressName(int, QString& name) override
    {
        name = "Line 1";
        return 0;
    }
    int32_t GetAddressCount(int& count) override
    {
        count = 1;
        return 0;
    }
    int32_t GetGatewayAddress(int& index) override
    {
        index = -1;
        return 0;
    }

    std::shared_ptr<FakeChannel> channel = std::make_shared<FakeChannel>();
    bool openWorks = true;
    int closed = 0;
    int hookValue = 0;
};

// An operation statement of the tests: records its visit and answers a code.
class Probe : public TIVRUseVariant {
    SORVIX_STATEMENT(Probe)
public:
    using TIVRUseVariant::TIVRUseVariant;
    int DoIt(ExecContext& ctx, QString& result, QString& error) override
    {
        if (visits) visits->push_back(Note);
        if (action) return action(ctx, result, error);
        return 0;
    }
    std::vector<QString>* visits = nullptr;
    std::function<int(ExecContext&, QString&, QString&)> action;
};

QString probeTypeName = "Probe";
const PropertyList* probeProps() { return &TIVRBase::commonProperties(); }
SORVIX_DEFINE_CLASS(Probe, probeTypeName, 0x180E, 2, probeProps);

struct RunnerTest : ::testing::Test {
    std::shared_ptr<FakeDevice> device = std::make_shared<FakeDevice>();
    std::unique_ptr<TIVRFlow> flow;
    std::vector<QString> visits;
    bool finished = false;

    void SetUp() override { makeFlow(true); }

    void makeFlow(bool debug)
    {
        flow = std::make_unique<TIVRFlow>(nullptr, QString(), debug);
        flow->setDevice(device);
        flow->OnFinish = [this] { finished = true; };
    }

    Probe* probe(FlowNode* parent, const QString& name, std::function<int(ExecContext&, QString&, QString&)> action = {})
    {
        auto p = std::make_unique<Probe>(flow.get());
        p->Note = name;
        p->visits = &visits;
        p->action = std::move(action);
        Probe* raw = p.get();
        flow->tree().addLast(parent, std::move(p));
        return raw;
    }
    template <class T>
    T* add(FlowNode* parent)
    {
        auto s = std::make_unique<T>(flow.get());
        T* raw = s.get();
        flow->tree().addLast(parent, std::move(s));
        return raw;
    }
    IVRIf* addIf(FlowNode* parent, const Value& condition)
    {
        IVRIf* i = add<IVRIf>(parent);
        i->link.constant = condition;
        add<IVRTrue>(i->node());
        add<IVRFalse>(i->node());
        return i;
    }

    // Runs until OnFinish, serving hand-overs; fails the test rather than hanging.
    bool waitFinished(int ms = 20000)
    {
        QDeadlineTimer deadline(ms);
        while (!finished && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return finished;
    }
    void runOnce(bool debug = false)
    {
        finished = false;
        ASSERT_TRUE(flow->Run({.debug = debug}));
        ASSERT_TRUE(waitFinished());
    }
    std::vector<QString> order() const { return visits; }
};

using V = std::vector<QString>;

TEST_F(RunnerTest, EmptyCallFlowRunsTheClosingPart)
{
    probe(flow->EndRoot, "end");
    runOnce();
    EXPECT_EQ(order(), V({"end"}));
    EXPECT_EQ(device->channel->entries(), QStringList({"BeginPass", "EndPass"}));
    EXPECT_EQ(device->closed, 1);
    EXPECT_FALSE(flow->Running());
}

TEST_F(RunnerTest, IfBranches)
{
    IVRIf* t = addIf(flow->BeginRoot, Value(1));
    probe(t->node()->child(1), "false1");
    IVRIf* f = addIf(flow->BeginRoot, Value(0));
    probe(f->node()->child(0), "true2");
    probe(f->node()->child(1), "false2");
    addIf(flow->BeginRoot, Value("abc"));  // converts to no Boolean: False branch, no error
    probe(flow->BeginRoot, "after");
    runOnce();
    EXPECT_EQ(order(), V({"false2", "after"}));
}

TEST_F(RunnerTest, DisabledTrueBranchIsTakenButEmpty)
{
    IVRIf* i = addIf(flow->BeginRoot, Value(1));
    probe(i->node()->child(0), "true");
    probe(i->node()->child(1), "false");
    i->node()->child(0)->statement()->setEnabled(false);
    probe(flow->BeginRoot, "after");
    runOnce();
    EXPECT_EQ(order(), V({"after"}));
}

TEST_F(RunnerTest, SwitchFallsThroughEmptyMatchingCase)
{
    IVRSwitch* sw = add<IVRSwitch>(flow->BeginRoot);
    sw->link.constant = Value(1);
    for (int v : {1, 2, 3}) add<IVRCase>(sw->node())->link.constant = Value(v);
    add<IVRDefault>(sw->node());
    probe(sw->node()->child(2), "case3");
    probe(sw->node()->child(3), "default");
    probe(flow->BeginRoot, "after");
    runOnce();
    EXPECT_EQ(order(), V({"case3", "after"}));
}

// Small flows in the file's own form, for the walk table below.
namespace walk {
QByteArray object(const char* cls, const QByteArray& props, std::initializer_list<QByteArray> children = {})
{
    QByteArray out = QByteArray("object ") + cls + "\r\n" + props;
    for (const QByteArray& c : children) out += c;
    return out + "end\r\n";
}
// A condition as the file holds it: GBK text (the table is written in UTF-8).
QByteArray cond(const char* c) { return "Condition = " + QStringEncoder("GBK").encode(QString::fromUtf8(c)) + "\r\n"; }
// A play of the file `name`: the channel's log shows the order in which statements ran.
QByteArray play(const char* name)
{
    return object("IVRPlay", QByteArray("Interruptible = False\r\nWavFile = '\"") + name + "\"'\r\n");
}
QByteArray off(QByteArray object)
{
    const int eol = object.indexOf("\r\n") + 2;
    return object.insert(eol, "Enabled = False\r\n");
}
QByteArray switchOn(const char* c, std::initializer_list<QByteArray> arms) { return object("IVRSwitch", cond(c), arms); }
QByteArray caseOf(const char* c, std::initializer_list<QByteArray> body = {}) { return object("IVRCase", cond(c), body); }
QByteArray otherwise(std::initializer_list<QByteArray> body = {}) { return object("IVRDefault", {}, body); }
QByteArray ifOn(const char* c, std::initializer_list<QByteArray> yes, std::initializer_list<QByteArray> no = {})
{
    return object("IVRIf", cond(c), {object("IVRTrue", {}, yes), object("IVRFalse", {}, no)});
}
QByteArray flowOf(std::initializer_list<QByteArray> callFlow)
{
    return object("IVRVar", {}) + object("IVRBegin", {}, callFlow) + object("IVREnd", {});
}

struct Case {
    const char* name;
    bool chinese;  // the interface language the flow runs under
    QByteArray file;
    QStringList played;
};
}  // namespace walk

TEST_F(RunnerTest, WalkTable)
{
    using namespace walk;
    const Case cases[] = {
        {"empty matching case falls through to the next arm with children", false,
         flowOf({switchOn("1", {caseOf("1"), caseOf("2"), caseOf("3", {play("c3")}), otherwise({play("d")})}),
                 play("after")}),
         {"c3", "after"}},
        {"a disabled arm is passed over by the fall-through, never run", false,
         flowOf({switchOn("1", {caseOf("1"), off(caseOf("2", {play("c2")})), caseOf("3", {play("c3")})}),
                 play("after")}),
         {"c3", "after"}},
        {"a disabled matching case is skipped; the next matching arm runs", false,
         flowOf({switchOn("1", {off(caseOf("1", {play("c1")})), caseOf("1", {play("c1b")}), otherwise({play("d")})})}),
         {"c1b"}},
        {"a disabled default is skipped like a comment", false,
         flowOf({switchOn("2", {caseOf("1", {play("c1")}), off(otherwise({play("d")})), caseOf("2", {play("c2")})})}),
         {"c2"}},
        {"fall-through passes disabled arms and stops at an empty default", false,
         flowOf({switchOn("1", {caseOf("1"), off(caseOf("1", {play("x")})), otherwise(), caseOf("5", {play("late")})}),
                 play("after")}),
         {"after"}},
        {"fall-through reaches a default with children", false,
         flowOf({switchOn("1", {caseOf("1"), off(caseOf("2", {play("x")})), otherwise({play("d")}),
                                caseOf("3", {play("late")})})}),
         {"d"}},
        {"an empty default leaves the switch", false,
         flowOf({switchOn("9", {caseOf("1", {play("c1")}), otherwise(), caseOf("9", {play("c9")})}), play("after")}),
         {"after"}},
        {"a default hides the arms after it", false,
         flowOf({switchOn("9", {otherwise({play("d")}), caseOf("9", {play("c9")})})}),
         {"d"}},
        {"an empty matching case with no later children leaves the switch", false,
         flowOf({switchOn("1", {caseOf("1"), caseOf("2")}), play("after")}),
         {"after"}},
        {"the last arm empty and matching", false,
         flowOf({switchOn("2", {caseOf("1", {play("c1")}), caseOf("2")}), play("after")}),
         {"after"}},
        {"an empty switch value matches the first empty case", false,
         flowOf({object("IVRSwitch", {}, {caseOf("1", {play("c1")}), object("IVRCase", {}, {play("empty")})})}),
         {"empty"}},
        // A flow written under one language and run under the other compares result names alike.
        {"english case name on a chinese system", true,
         flowOf({play("fail"), switchOn("'Result'", {caseOf("'\"returnFAILED\"'", {play("failed")}),
                                                     otherwise({play("d")})})}),
         {"fail", "failed"}},
        {"chinese case name on an english system", false,
         flowOf({play("fail"), switchOn("'Result'", {caseOf("'\"返回失败\"'", {play("failed")}),
                                                     otherwise({play("d")})})}),
         {"fail", "failed"}},
        {"result names still tell codes apart", true,
         flowOf({play("ok"), switchOn("'Result'", {caseOf("'\"returnFAILED\"'", {play("failed")}),
                                                   caseOf("'\"returnSUCCESS\"'", {play("success")})})}),
         {"ok", "success"}},
        {"a case against the result name of the same language", true,
         flowOf({play("fail"), switchOn("'结果'", {caseOf("'\"返回失败\"'", {play("failed")})})}),
         {"fail", "failed"}},
        {"a plain string is no result name", true,
         flowOf({play("fail"), switchOn("'Result'", {caseOf("'\"FAILED\"'", {play("x")}), otherwise({play("d")})})}),
         {"fail", "d"}},
        {"if branches", false,
         flowOf({ifOn("1", {play("t1")}, {play("f1")}), ifOn("0", {play("t2")}, {play("f2")}), ifOn("1", {}, {play("f3")}),
                 play("after")}),
         {"t1", "f2", "after"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setTextLanguage(c.chinese);
        makeFlow(true);  // a flow opened for debugging makes one pass
        flowfile::clear(*flow);
        QString error;
        ASSERT_TRUE(flowfile::read(*flow, c.file, &error)) << error.toStdString();
        device->channel = std::make_shared<FakeChannel>();
        runOnce(false);
        QStringList played;
        for (const QString& entry : device->channel->entries())
            if (entry.startsWith("Play ")) played << QFileInfo(entry.mid(5)).fileName();
        EXPECT_EQ(played, c.played);
    }
    setTextLanguage(false);
}

TEST_F(RunnerTest, WhileLoopsUntilItsConditionIsFalse)
{
    auto var = std::make_unique<IVRVariant>(flow.get());
    IVRVariant* counter = var.get();
    counter->Name = "n";
    counter->link.constant = Value(3);
    flow->AddVariant(counter);
    flow->tree().addLast(flow->VarRoot, std::move(var));
    IVRWhile* w = add<IVRWhile>(flow->BeginRoot);
    w->link.LinkTo(counter);
    probe(w->node(), "body", [counter](ExecContext&, QString&, QString&) {
        counter->setValue(Value(counter->value().asInt() - 1));
        return 0;
    });
    probe(flow->BeginRoot, "after");
    runOnce();
    EXPECT_EQ(order(), V({"body", "body", "body", "after"}));
}

// The runner reads its variables without a lock while it writes them under one; a window on the
// main thread reads the same variable meanwhile and sees each value whole, never going back.
TEST_F(RunnerTest, MainThreadReadsAVariableWhileTheRunnerCountsIt)
{
    constexpr int kTurns = 50000;  // one pass: the fixture's flow is opened for debugging
    auto declare = [&](const char* name, const Value& initial) {
        auto var = std::make_unique<IVRVariant>(flow.get());
        IVRVariant* v = var.get();
        v->Name = name;
        v->link.constant = initial;
        flow->AddVariant(v);
        flow->tree().addLast(flow->VarRoot, std::move(var));
        return v;
    };
    IVRVariant* i = declare("i", Value(0));
    IVRVariant* more = declare("more", Value(true));
    IVRWhile* w = add<IVRWhile>(flow->BeginRoot);
    w->link.LinkTo(more);
    IVROperator* count = add<IVROperator>(w->node());
    count->link.LinkTo(i);
    count->Operate = optAdd;
    count->Dest.LinkTo(i);
    count->Source.constant = Value(1);
    IVROperator* test = add<IVROperator>(w->node());
    test->link.LinkTo(more);
    test->Operate = optLess;
    test->Dest.LinkTo(i);
    test->Source.constant = Value(kTurns);

    finished = false;
    ASSERT_TRUE(flow->Run({}));
    int last = 0;
    bool ordered = true;
    QDeadlineTimer deadline(60000);
    while (!finished && !deadline.hasExpired()) {
        const QString text = i->GetCurrentValueText();
        const int seen = text.toInt();
        if (!text.isEmpty() && seen < last) ordered = false;
        if (!text.isEmpty()) last = seen;
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(finished);
    EXPECT_TRUE(ordered);
    EXPECT_EQ(i->GetCurrentValueText(), QString::number(kTurns));
}

TEST_F(RunnerTest, ResultCodesSteerTheWalk)
{
    makeFlow(false);
    // 2 (hung up) goes to the closing part; 4 there ends the pass at once.
    probe(flow->BeginRoot, "a", [](ExecContext&, QString& r, QString&) {
        r = "returnHANGUP";
        return 2;
    });
    probe(flow->BeginRoot, "skipped");
    probe(flow->EndRoot, "end1", [](ExecContext&, QString&, QString&) { return 2; });  // in the closing part: next
    probe(flow->EndRoot, "end2", [](ExecContext&, QString&, QString&) { return 4; });
    probe(flow->EndRoot, "never");
    device->openWorks = false;  // without a channel the run ends after one pass
    runOnce();
    EXPECT_EQ(order(), V({"a", "end1", "end2"}));
    EXPECT_EQ(flow->ResultVariant->value(), Value("returnHANGUP"));
}

// A flow whose roots stand in another order (as a file may hold them) runs the same way: the
// call flow, then the closing part once, also after a hang-up; the declarations are never walked.
TEST_F(RunnerTest, RootsInAnotherOrderRunTheCallFlowThenTheClosingPartOnce)
{
    const int orders[][3] = {{0, 1, 2}, {1, 0, 2}, {1, 2, 0}, {0, 2, 1}, {2, 1, 0}, {2, 0, 1}};
    for (const bool hangUp : {false, true}) {
        for (const auto& rows : orders) {
            SCOPED_TRACE(QStringLiteral("order %1%2%3%4").arg(rows[0]).arg(rows[1]).arg(rows[2]).arg(hangUp ? ", hang-up" : "").toStdString());
            makeFlow(true);  // one pass
            visits.clear();
            probe(flow->VarRoot, "declarations");
            probe(flow->BeginRoot, "a", [hangUp](ExecContext&, QString&, QString&) { return hangUp ? 2 : 0; });
            probe(flow->BeginRoot, "b");
            probe(flow->EndRoot, "end");
            FlowNode* const roots[] = {flow->VarRoot, flow->BeginRoot, flow->EndRoot};
            for (int row = 0; row < 3; ++row) ASSERT_TRUE(flow->tree().move(roots[rows[row]], nullptr, row));
            ASSERT_EQ(flow->tree().topLevel(0), roots[rows[0]]);
            ASSERT_EQ(flow->tree().topLevel(2), roots[rows[2]]);
            runOnce();
            EXPECT_EQ(order(), hangUp ? V({"a", "end"}) : V({"a", "b", "end"}));
        }
    }
}

TEST_F(RunnerTest, JumpsGotoFinishRestart)
{
    auto label = std::make_unique<IVRLabel>(flow.get());
    label->Name = "L";
    IVRLabel* l = label.get();
    IVRGoto* jump = add<IVRGoto>(flow->BeginRoot);
    probe(flow->BeginRoot, "skipped");
    flow->AddLabel(l);
    flow->tree().addLast(flow->BeginRoot, std::move(label));
    jump->link.LinkTo(l);
    probe(flow->BeginRoot, "after label");
    add<IVRFinish>(flow->BeginRoot);
    probe(flow->BeginRoot, "after finish");
    probe(flow->EndRoot, "end");
    add<IVRRestart>(flow->EndRoot);
    probe(flow->EndRoot, "after restart");
    runOnce();
    EXPECT_EQ(order(), V({"after label", "end"}));
}

TEST_F(RunnerTest, DebugErrorQuestionYesContinuesNoEndsThePass)
{
    int asked = 0;
    QString caption;
    flow->OnErrorQuestion = [&](const QString&, const QString& c) {
        caption = c;
        return ++asked == 1;  // yes, then no
    };
    probe(flow->BeginRoot, "fails", [](ExecContext&, QString&, QString& e) {
        e = "boom";
        return 1;
    });
    probe(flow->BeginRoot, "callfails", [](ExecContext&, QString&, QString&) { return 3; });
    probe(flow->BeginRoot, "skipped");
    probe(flow->EndRoot, "end");
    runOnce(true);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(caption, "Error Probe");
    EXPECT_EQ(order(), V({"fails", "callfails"}));
}

// Every failure (1 or 3) is reported with its texts, in plain runs as well as before the debug
// question; a hang-up, an end of pass and the other codes are not failures of the walk.
TEST_F(RunnerTest, FailuresAreReportedWithTheirTexts)
{
    for (bool debug : {false, true}) {
        SCOPED_TRACE(debug ? "debug" : "plain");
        makeFlow(debug);
        visits.clear();
        QStringList reported;
        flow->OnFailure = [&](FlowNode* node, int code, const QString& r, const QString& e) {
            reported << QStringLiteral("%1 %2 %3 %4").arg(static_cast<Probe*>(node->statement())->Note).arg(code).arg(r, e);
        };
        flow->OnErrorQuestion = [&](const QString&, const QString&) {
            reported << "asked";
            return true;
        };
        probe(flow->BeginRoot, "ok");
        probe(flow->BeginRoot, "seven", [](ExecContext&, QString&, QString&) { return 7; });
        probe(flow->BeginRoot, "fails", [](ExecContext&, QString& r, QString& e) {
            r = "returnFAILED";
            e = "NotEnoughParam";
            return 1;
        });
        probe(flow->BeginRoot, "callfails", [](ExecContext&, QString& r, QString&) {
            r = "returnCALLFAILED";
            return 3;
        });
        probe(flow->EndRoot, "hangup", [](ExecContext&, QString&, QString&) { return 2; });
        probe(flow->EndRoot, "endpass", [](ExecContext&, QString&, QString&) { return 4; });
        device->openWorks = false;  // without a channel a plain run ends after one pass
        runOnce(debug);
        QStringList expected{"fails 1 returnFAILED NotEnoughParam"};
        if (debug) expected << "asked";
        expected << "callfails 3 returnCALLFAILED ";
        if (debug) expected << "asked";
        EXPECT_EQ(reported.join('|'), expected.join('|'));
    }
}

TEST_F(RunnerTest, BreakpointPausesShowsTheMarkAndResumes)
{
    flow->tree().setObserver(nullptr);
    Probe* p = probe(flow->BeginRoot, "bp");
    p->setBreakPoint(true);
    probe(flow->BeginRoot, "next");
    std::atomic<int> pauses{0};  // raised on the runner thread
    flow->OnPause = [&](bool) { ++pauses; };
    finished = false;
    flow->Run({.debug = true});
    QDeadlineTimer deadline(20000);
    while (pauses == 0 && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_EQ(pauses, 1);
    EXPECT_TRUE(visits.empty());
    flow->Run({.debug = true});  // resumes; does not start a second runner
    ASSERT_TRUE(waitFinished());
    EXPECT_EQ(order(), V({"bp", "next"}));
}

TEST_F(RunnerTest, StopWhilePausedEndsThePass)
{
    Probe* p = probe(flow->BeginRoot, "bp");
    p->setBreakPoint(true);
    std::atomic<int> pauses{0};
    flow->OnPause = [&](bool) { ++pauses; };
    flow->Run({.debug = true});
    QDeadlineTimer deadline(20000);
    while (pauses == 0 && !deadline.hasExpired()) QThread::msleep(2);
    ASSERT_TRUE(flow->Stop());
    EXPECT_TRUE(finished);  // Stop returns after the termination handler
    EXPECT_FALSE(flow->Running());
    EXPECT_TRUE(visits.empty());
    EXPECT_EQ(device->channel->entries().last(), "EndPass");
}

TEST_F(RunnerTest, StopDuringABlockingOperation)
{
    makeFlow(false);
    probe(flow->BeginRoot, "blocks", [](ExecContext& ctx, QString&, QString&) {
        return ctx.channel->PlayFile("block", false);
    });
    probe(flow->EndRoot, "end");
    flow->Run({});
    device->channel->waitBlocked();
    ASSERT_TRUE(flow->Stop());
    EXPECT_TRUE(finished);
    EXPECT_EQ(order(), V({"blocks"}));  // code 4 ends the pass without the closing part
}

TEST_F(RunnerTest, StopRightAfterStartNeverHangs)
{
    makeFlow(false);
    probe(flow->BeginRoot, "blocks", [](ExecContext& ctx, QString&, QString&) {
        return ctx.channel->PlayFile("block", false);
    });
    flow->Run({});
    ASSERT_TRUE(flow->Stop());  // the abort is latched on the channel even before it blocks
    EXPECT_TRUE(finished);
    EXPECT_FALSE(flow->Stop());
}

TEST_F(RunnerTest, HookModeIsMappedToTheDeviceValue)
{
    EXPECT_EQ(TFlowThread::hookValue(0), 1);
    EXPECT_EQ(TFlowThread::hookValue(1), 4);
    EXPECT_EQ(TFlowThread::hookValue(2), 8);
    EXPECT_EQ(TFlowThread::hookValue(7), 1);
    finished = false;
    flow->Run({.debug = true, .hookMode = 2});
    ASSERT_TRUE(waitFinished());
    EXPECT_EQ(device->hookValue, 8);
}

// Flows that each count their passes, one statement a pass that plays on the channel (and does
// `also` first), on a device of their own.
struct CountingFlows {
    std::vector<std::unique_ptr<TIVRFlow>> flows;
    std::vector<std::shared_ptr<FakeDevice>> devices;
    std::vector<std::atomic<int>> passes;
    int finishedCount = 0;

    explicit CountingFlows(int count, std::function<void()> also = {}) : passes(size_t(count))
    {
        for (int i = 0; i < count; ++i) {
            devices.push_back(std::make_shared<FakeDevice>());
            flows.push_back(std::make_unique<TIVRFlow>(nullptr, QString(), false));
            TIVRFlow* f = flows.back().get();
            f->setDevice(devices.back());
            f->OnFinish = [this] { ++finishedCount; };
            auto p = std::make_unique<Probe>(f);
            std::atomic<int>* counter = &passes[size_t(i)];
            p->action = [counter, also](ExecContext& ctx, QString&, QString&) {
                if (also) also();
                ++*counter;
                return ctx.channel->PlayFile("x", false);
            };
            p->visits = nullptr;
            f->tree().addLast(f->BeginRoot, std::move(p));
        }
    }
    // Starts every flow and returns once each has served a few passes.
    bool runUntilBusy()
    {
        for (auto& f : flows) f->Run({});
        QDeadlineTimer deadline(30000);
        auto allBusy = [&] {
            for (auto& c : passes)
                if (c.load() < 3) return false;
            return true;
        };
        while (!allBusy() && !deadline.hasExpired()) QThread::msleep(2);
        return allBusy();
    }
    // Asks every runner to stop, then waits for each.
    void stopAll()
    {
        for (auto& f : flows)
            if (f->FlowThread()) f->FlowThread()->requestStop();
        for (auto& f : flows) EXPECT_FALSE(f->Running() && !f->Stop());
    }
};

TEST(Runners, ManyFlowsAtOnce)
{
    constexpr int kFlows = 16;
    CountingFlows set(kFlows);
    // Every channel serves a few passes before all are stopped.
    EXPECT_TRUE(set.runUntilBusy());
    for (auto& f : set.flows) EXPECT_TRUE(f->Stop());
    EXPECT_EQ(set.finishedCount, kFlows);
}

bool waitUntil(const std::function<bool()>& condition)
{
    QDeadlineTimer deadline(30000);
    while (!condition() && !deadline.hasExpired()) QThread::msleep(2);
    return condition();
}

// Threads made ahead of time take runs one after another; runs beyond them get threads of their
// own, and every run ends as before.
TEST(Runners, ThreadsMadeAheadServeRunAfterRun)
{
    constexpr size_t kAhead = 8;
    TFlowThread::reserveThreads(kAhead);
    TFlowThread::reserveThreads(kAhead / 2);  // asking for fewer takes none away
    ASSERT_TRUE(waitUntil([] { return TFlowThread::waitingThreads() == kAhead; }));
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        CountingFlows set(int(kAhead) + 4);
        ASSERT_TRUE(set.runUntilBusy());
        EXPECT_EQ(TFlowThread::waitingThreads(), 0u);
        set.stopAll();
        EXPECT_EQ(set.finishedCount, int(kAhead) + 4);
        // Each made-ahead thread waits for a run again, and no more were made.
        EXPECT_TRUE(waitUntil([] { return TFlowThread::waitingThreads() == kAhead; }));
        EXPECT_EQ(TFlowThread::waitingThreads(), kAhead);
    }
    // A run that ends by itself on such a thread (its channel does not open) ends through its
    // termination handler as well, and the thread waits for the next run.
    auto device = std::make_shared<FakeDevice>();
    device->openWorks = false;
    TIVRFlow flow(nullptr, QString(), false);
    flow.setDevice(device);
    bool finished = false;
    flow.OnFinish = [&] { finished = true; };
    flow.Run({});
    ASSERT_TRUE(waitUntil([&] {
        QCoreApplication::processEvents();
        return finished;
    }));
    EXPECT_FALSE(flow.Running());
    EXPECT_TRUE(waitUntil([] { return TFlowThread::waitingThreads() == kAhead; }));
}

// A figure of /proc/self/status in kB.
long statusKb(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(prefix)) return line.mid(prefix.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

int openFiles() { return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size()); }

// Runners hold no file of their own, have room on their stacks (a statement here puts
// 64 KiB of it to work), and start after start their stacks are given back once they have ended.
TEST(Runners, RunnersHoldNoFilesAndGiveTheirStacksBack)
{
    constexpr int kFlows = 150;  // more runners than one batch of stacks holds
    auto deepStatement = [] {
        volatile char buffer[64 * 1024];
        for (size_t i = 0; i < sizeof buffer; i += 4096) buffer[i] = char(i);
        (void)buffer[sizeof buffer - 1];
        QThread::msleep(10);  // the fake channel notes every operation: a few passes only
    };
    long mappedAfterFirst = 0;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const int filesBefore = openFiles();
        {
            CountingFlows set(kFlows, deepStatement);
            ASSERT_TRUE(set.runUntilBusy());
            EXPECT_LE(openFiles(), filesBefore + 2);
            set.stopAll();
            EXPECT_EQ(set.finishedCount, kFlows);
        }
        // The first round also lays out what stays (the allocator's per-thread heaps among it).
        if (round == 0) mappedAfterFirst = statusKb("VmSize");
    }
    // Each round mapped 192 MiB of stacks: a round that kept them would show.
    EXPECT_LT(statusKb("VmSize") - mappedAfterFirst, 96 * 1024);
}

}  // namespace
