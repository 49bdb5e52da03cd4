// Many runners at once, each serving passes of a 50-statement flow as fast as it can on a
// channel that answers at once: statements per second, CPU per statement and memory per channel.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>
#include <atomic>
#include <ctime>
#include <memory>
#include <vector>

#include "engine/device.h"
#include "engine/flow.h"
#include "engine/runner.h"
#include "engine/statements/declarations.h"
#include "engine/statements/flowcontrol.h"
#include "engine/statements/variables.h"
#include "engine/texts.h"
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

void BM_Channels(benchmark::State& state)
{
    const int channels = int(state.range(0));
    auto device = std::make_shared<NullDevice>(1 << 16);
    for (auto _ : state) {
        state.PauseTiming();
        const long rssBefore = residentKiB();
        std::vector<std::unique_ptr<TIVRFlow>> flows;
        std::atomic<long> passes{0};
        int finished = 0;
        for (int i = 0; i < channels; ++i) {
            flows.push_back(makeFlow(device));
            flows.back()->OnHangUp = [&](TIVRFlow*) { passes.fetch_add(1, std::memory_order_relaxed); };
            flows.back()->OnFinish = [&] { ++finished; };
        }
        state.ResumeTiming();
        const double cpu0 = cpuSeconds();
        const long passes0 = passes.load();
        QDeadlineTimer clock;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < channels; ++i) flows[size_t(i)]->Run(false, false, i, -1, -1, -1, 0, 0);
        QThread::msleep(1000);
        const long rssRunning = residentKiB();
        const long done = passes.load() - passes0;
        const double cpu = cpuSeconds() - cpu0;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        // Ask every runner to stop first, then wait for each: the stops overlap.
        for (auto& f : flows)
            if (f->FlowThread()) f->FlowThread()->requestStop();
        for (auto& f : flows) f->Stop();
        const double statements = double(done) * kStatementsPerPass;
        state.counters["statements_per_s"] = statements / wall;
        state.counters["cpu_us_per_statement"] = statements > 0 ? cpu * 1e6 / statements : 0;
        state.counters["rss_KiB_per_channel"] = double(rssRunning - rssBefore) / channels;
        state.counters["finished"] = finished;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    setTextLanguage(false);
    // SORVIX_BENCH_SMALL=1 (CI) runs the small sizes only.
    auto* bm = benchmark::RegisterBenchmark("BM_Channels", BM_Channels);
    for (int n : {1, 10, 100, 1000})
        if (qEnvironmentVariableIsEmpty("SORVIX_BENCH_SMALL") || n <= 10) bm->Arg(n);
    bm->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
