#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "engine/device.h"
#include "engine/flow.h"
#include "engine/runner.h"
#include "engine/statements/declarations.h"
#include "engine/statements/flowcontrol.h"

namespace {

// A channel that logs and, when asked, blocks in PlayFile until it is aborted.
class FakeChannel : public IIVRAddress {
public:
    int32_t Answer() override { return log("Answer"); }
    int32_t PlayFile(const QString& file, bool) override
    {
        log("Play " + file);
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
        ASSERT_TRUE(flow->Run(debug, false, 0, -1, -1, -1, 0, 0));
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

TEST_F(RunnerTest, BreakpointPausesShowsTheMarkAndResumes)
{
    flow->tree().setObserver(nullptr);
    Probe* p = probe(flow->BeginRoot, "bp");
    p->setBreakPoint(true);
    probe(flow->BeginRoot, "next");
    std::atomic<int> pauses{0};  // raised on the runner thread
    flow->OnPause = [&](bool) { ++pauses; };
    finished = false;
    flow->Run(true, false, 0, -1, -1, -1, 0, 0);
    QDeadlineTimer deadline(20000);
    while (pauses == 0 && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_EQ(pauses, 1);
    EXPECT_TRUE(visits.empty());
    flow->Run(true, false, 0, -1, -1, -1, 0, 0);  // resumes; does not start a second runner
    ASSERT_TRUE(waitFinished());
    EXPECT_EQ(order(), V({"bp", "next"}));
}

TEST_F(RunnerTest, StopWhilePausedEndsThePass)
{
    Probe* p = probe(flow->BeginRoot, "bp");
    p->setBreakPoint(true);
    std::atomic<int> pauses{0};
    flow->OnPause = [&](bool) { ++pauses; };
    flow->Run(true, false, 0, -1, -1, -1, 0, 0);
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
    flow->Run(false, false, 0, -1, -1, -1, 0, 0);
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
    flow->Run(false, false, 0, -1, -1, -1, 0, 0);
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
    flow->Run(true, false, 0, -1, -1, -1, 2, 0);
    ASSERT_TRUE(waitFinished());
    EXPECT_EQ(device->hookValue, 8);
}

TEST(Runners, ManyFlowsAtOnce)
{
    constexpr int kFlows = 16;
    std::vector<std::unique_ptr<TIVRFlow>> flows;
    std::vector<std::shared_ptr<FakeDevice>> devices;
    std::vector<std::atomic<int>> passes(kFlows);
    int finishedCount = 0;
    for (int i = 0; i < kFlows; ++i) {
        devices.push_back(std::make_shared<FakeDevice>());
        flows.push_back(std::make_unique<TIVRFlow>(nullptr, QString(), false));
        TIVRFlow* f = flows.back().get();
        f->setDevice(devices.back());
        f->OnFinish = [&] { ++finishedCount; };
        auto p = std::make_unique<Probe>(f);
        std::atomic<int>* counter = &passes[size_t(i)];
        p->action = [counter](ExecContext& ctx, QString&, QString&) {
            ++*counter;
            return ctx.channel->PlayFile("x", false);
        };
        p->visits = nullptr;
        f->tree().addLast(f->BeginRoot, std::move(p));
    }
    for (auto& f : flows) f->Run(false, false, 0, -1, -1, -1, 0, 0);
    // Every channel serves a few passes before all are stopped.
    QDeadlineTimer deadline(30000);
    auto allBusy = [&] {
        for (auto& c : passes)
            if (c.load() < 3) return false;
        return true;
    };
    while (!allBusy() && !deadline.hasExpired()) QThread::msleep(2);
    EXPECT_TRUE(allBusy());
    for (auto& f : flows) EXPECT_TRUE(f->Stop());
    EXPECT_EQ(finishedCount, kFlows);
}

}  // namespace
