// Many runners at once, each serving passes of a 50-statement flow.
// BM_Channels: as fast as it can on a channel that answers at once: statements per second, CPU
// per statement and memory per channel.
// BM_ChannelsAtOnce: channels that wait for a call (100 ms) before each pass, as lines on a busy
// system do, up to 10,000 at once: the time to start and to stop them all, memory and open files
// per channel, and that every channel finished (and, beforehand, how long the runner threads take
// to be made ahead; runs after the first reuse them).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>
#include <QDir>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <memory>
#include <vector>

#include "engine/device.h"
#include "engine/flow.h"
#include "engine/runner.h"
#include "engine/statements/declarations.h"
#include "engine/statements/flowcontrol.h"
#include "engine/statements/variables.h"
#include "engine/texts.h"
#include "platform/resourcelimits.h"
#include "support/nulldevice.h"

namespace {

constexpr int kStatementsPerPass = 50;

// 50 statements a pass: a While of 10 turns around two operators, then an If, all on variables.
std::unique_ptr<TIVRFlow> makeFlow(std::shared_ptr<ITAPI3Device> device)
{
    auto flow = std::make_unique<TIVRFlow>(nullptr, QString(), false);
    flow->setDevice(std::move(device));
    auto var = std::make_unique<IVRVariant>(flow.get());
    IVRVariant* n = var.get();
    n->Name = "n";
    n->link.constant = Value(10);
    flow->AddVariant(n);
    flow->tree().addLast(flow->VarRoot, std::move(var));

    auto loop = std::make_unique<IVRWhile>(flow.get());
    IVRWhile* w = loop.get();
    w->link.LinkTo(n);
    flow->tree().addLast(flow->BeginRoot, std::move(loop));
    auto decrement = std::make_unique<IVROperator>(flow.get());
    decrement->link.LinkTo(n);
    decrement->Operate = optSubtract;
    decrement->Dest.LinkTo(n);
    decrement->Source.constant = Value(1);
    flow->tree().addLast(w->node(), std::move(decrement));
    auto noop = std::make_unique<IVROperator>(flow.get());
    noop->link.LinkTo(n);
    noop->Operate = optAssign;
    noop->Dest.LinkTo(n);
    flow->tree().addLast(w->node(), std::move(noop));
    // While: 10 turns x (While + 2 operators) + the final While = 31; the rest are operators.
    for (int i = 31; i < kStatementsPerPass - 1; ++i) {
        auto op = std::make_unique<IVROperator>(flow.get());
        op->link.LinkTo(n);
        op->Operate = optAdd;
        op->Dest.LinkTo(n);
        op->Source.constant = Value(1);
        flow->tree().addLast(flow->BeginRoot, std::move(op));
    }
    return flow;  // the End root is the 50th statement
}

// A line on which each pass waits `paceMs` for its call; Abort ends the wait, for good.
class PacedChannel : public NullChannel {
public:
    explicit PacedChannel(int paceMs) : paceMs_(paceMs) {}
    int32_t BeginPass() override
    {
        std::unique_lock lock(mutex_);
        wake_.wait_for(lock, std::chrono::milliseconds(paceMs_), [this] { return aborted_; });
        return aborted_ ? 4 : 0;
    }
    int32_t Abort() override
    {
        std::lock_guard lock(mutex_);
        aborted_ = true;
        wake_.notify_all();
        return 0;
    }

private:
    const int paceMs_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool aborted_ = false;
};

class PacedDevice : public NullDevice {
public:
    PacedDevice(int count, int paceMs) : NullDevice(count), paceMs_(paceMs) {}
    int32_t OpenChannel(int, ChannelPtr& out, int, int, int, int, int) override
    {
        out = std::make_shared<PacedChannel>(paceMs_);
        return 0;
    }

private:
    const int paceMs_;
};

int openFiles() { return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size()); }

long residentKiB()
{
    QFile f("/proc/self/statm");
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? parts[1].toLong() * 4 : 0;
}

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// One flow a channel on a shared device, counting the passes and the runs that finish.
struct ChannelSet {
    std::vector<std::unique_ptr<TIVRFlow>> flows;
    std::atomic<long> passes{0};
    int finished = 0;

    ChannelSet(int channels, const std::shared_ptr<ITAPI3Device>& device)
    {
        for (int i = 0; i < channels; ++i) {
            flows.push_back(makeFlow(device));
            flows.back()->OnHangUp = [this](TIVRFlow*) { passes.fetch_add(1, std::memory_order_relaxed); };
            flows.back()->OnFinish = [this] { ++finished; };
        }
    }
    void runAll()
    {
        for (size_t i = 0; i < flows.size(); ++i) flows[i]->Run({.addressIndex = int(i)});
    }
    // Every runner is asked to stop first, then each is waited for: the stops overlap.
    void stopAll()
    {
        for (auto& f : flows)
            if (f->FlowThread()) f->FlowThread()->requestStop();
        for (auto& f : flows) f->Stop();
    }
};

void BM_Channels(benchmark::State& state)
{
    const int channels = int(state.range(0));
    auto device = std::make_shared<NullDevice>(1 << 16);
    for (auto _ : state) {
        state.PauseTiming();
        const long rssBefore = residentKiB();
        ChannelSet set(channels, device);
        auto& passes = set.passes;
        state.ResumeTiming();
        const double cpu0 = cpuSeconds();
        const long passes0 = passes.load();
        QDeadlineTimer clock;
        const auto start = std::chrono::steady_clock::now();
        set.runAll();
        QThread::msleep(1000);
        const long rssRunning = residentKiB();
        const long done = passes.load() - passes0;
        const double cpu = cpuSeconds() - cpu0;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        set.stopAll();
        const double statements = double(done) * kStatementsPerPass;
        state.counters["statements_per_s"] = statements / wall;
        state.counters["cpu_us_per_statement"] = statements > 0 ? cpu * 1e6 / statements : 0;
        state.counters["rss_KiB_per_channel"] = double(rssRunning - rssBefore) / channels;
        state.counters["finished"] = set.finished;
    }
}

void BM_ChannelsAtOnce(benchmark::State& state)
{
    constexpr int kPaceMs = 100;
    const int channels = int(state.range(0));
    auto device = std::make_shared<PacedDevice>(channels, kPaceMs);
    for (auto _ : state) {
        const long rssBefore = residentKiB();
        const int filesBefore = openFiles();
        // The runner threads are made ahead, as the console has them made once its channels are
        // set up; how long that takes in the background is shown beside the start.
        const auto reserving = std::chrono::steady_clock::now();
        TFlowThread::reserveThreads(size_t(channels));
        while (TFlowThread::waitingThreads() < size_t(channels)) QThread::msleep(1);
        const double reserveSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - reserving).count();
        ChannelSet set(channels, device);
        auto& passes = set.passes;
        const auto start = std::chrono::steady_clock::now();
        set.runAll();
        const double startSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        // Every channel through a few calls.
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(5 * kPaceMs);
        while (std::chrono::steady_clock::now() < until) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const long rssRunning = residentKiB();
        const int filesRunning = openFiles();
        const long done = passes.load();
        const auto stopping = std::chrono::steady_clock::now();
        set.stopAll();
        const double stopSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - stopping).count();
        state.counters["channels"] = channels;
        state.counters["threads_made_ahead_s"] = reserveSeconds;
        state.counters["start_all_s"] = startSeconds;
        state.counters["stop_all_s"] = stopSeconds;
        state.counters["passes"] = double(done);
        state.counters["rss_KiB_per_channel"] = double(rssRunning - rssBefore) / channels;
        state.counters["files_per_channel"] = double(filesRunning - filesBefore) / channels;
        state.counters["finished"] = set.finished;
        if (set.finished != channels) state.SkipWithError("not every channel finished");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    setTextLanguage(false);
    raiseOpenFileLimit();
    // SORVIX_BENCH_SMALL=1 (CI) runs the small sizes only.
    auto* bm = benchmark::RegisterBenchmark("BM_Channels", BM_Channels);
    for (int n : {1, 10, 100})
        if (qEnvironmentVariableIsEmpty("SORVIX_BENCH_SMALL") || n <= 10) bm->Arg(n);
    bm->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
    auto* many = benchmark::RegisterBenchmark("BM_ChannelsAtOnce", BM_ChannelsAtOnce);
    for (int n : {100, 1000, 10000})
        if (qEnvironmentVariableIsEmpty("SORVIX_BENCH_SMALL") || n <= 100) many->Arg(n);
    many->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
