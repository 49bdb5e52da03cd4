// The console's channel supervision without a window: 200 channels (10 with SORVIX_BENCH_SMALL=1)
// run the example call flow on simulated lines at full speed until a fixed number of scripted
// calls is served, then all of them are stopped while they are still busy.
// Prints the calls served per second and the time stop-all takes.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <memory>

#include "console/admintexts.h"
#include "console/configmodel.h"
#include "console/supervisor.h"
#include "engine/device.h"
#include "engine/texts.h"
#include "platform/registry.h"
#include "platform/simdevice/simdevice.h"

namespace {

constexpr int kCallsPerChannel = 100;  // served before the stop
constexpr int kScriptedPerChannel = 400;  // so that every channel is still busy at the stop

class NoWaveDevices : public WaveDeviceList {
public:
    QStringList outputDevices() const override { return {}; }
    QStringList inputDevices() const override { return {}; }
};

// Every line has its calls: the caller picks 2 (the opening hours, spoken) and listens to the end.
Scenario scenario(int lines)
{
    Scenario s;
    s.speed = 0;
    s.speechEngine = true;
    for (int i = 1; i <= lines; ++i) {
        ScriptedAddress line;
        line.name = QStringLiteral("Line %1").arg(i);
        for (int c = 0; c < kScriptedPerChannel; ++c) {
            ScriptedCall call;
            call.caller = QStringLiteral("555%1").arg(c, 4, 10, QLatin1Char('0'));
            call.called = QStringLiteral("8000");
            call.timeline.digits.push_back({100, QStringLiteral("2")});
            line.calls.push_back(call);
        }
        s.addresses.push_back(line);
    }
    return s;
}

// The example flow and its prompts in a folder of their own.
QString copyExample(const QString& folder)
{
    QDir().mkpath(folder + QStringLiteral("/wav"));
    const QDir wav(QStringLiteral(SORVIX_EXAMPLES "/wav"));
    for (const QString& name : wav.entryList(QDir::Files)) QFile::copy(wav.filePath(name), folder + "/wav/" + name);
    QFile::copy(QStringLiteral(SORVIX_EXAMPLES "/welcome.svx"), folder + QStringLiteral("/welcome.svx"));
    return folder + QStringLiteral("/welcome.svx");
}

void BM_Supervisor(benchmark::State& state)
{
    const int channels = int(state.range(0));
    for (auto _ : state) {
        QTemporaryDir dir;
        const QString flow = copyExample(dir.path());
        auto device = std::make_shared<SimDevice>(scenario(channels));
        device->setKeepLog(false);
        // The runner that answers the target's call notes the time.
        using Clock = std::chrono::steady_clock;
        const long target = long(channels) * kCallsPerChannel;
        std::atomic<long> answered{0};
        std::atomic<Clock::rep> reached{0};
        device->setLogCallback([&](const SimLogEntry& e) {
            if (e.result != 0 || e.operation != QLatin1String("Answer")) return;
            if (answered.fetch_add(1) + 1 == target) reached.store(Clock::now().time_since_epoch().count());
        });

        RegistryStore store(dir.filePath(QStringLiteral("registry.db")));
        ConsoleConfig config(&store);
        QStringList addresses, names;
        std::vector<int> all;
        for (int i = 0; i < channels; ++i) {
            addresses << QStringLiteral("Line %1").arg(i + 1);
            names << QStringLiteral("Channel %1").arg(i + 1);
            all.push_back(i);
        }
        if (!config.load(addresses) || !config.newApplication(QStringLiteral("Welcome"), flow) ||
            !config.bindAddresses(all, ConsoleConfig::Binding::Application, 0)) {
            state.SkipWithError(qPrintable(config.errorString()));
            return;
        }
        ChannelSupervisor supervisor(device, &store, &config, names, -1);
        supervisor.LoadChannelOptions(ChannelOptionLists::collect(device.get(), NoWaveDevices()));
        for (int i = 0; i < channels; ++i) supervisor.FChannels[size_t(i)].Address = i;

        const auto started = Clock::now();
        for (int i = 0; i < channels; ++i) {
            QString error;
            if (!supervisor.StartChannel(i, error)) {
                state.SkipWithError(qPrintable(error));
                return;
            }
        }
        // The main thread keeps taking the runners' state changes, as the window would.
        while (reached.load() == 0) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        const double serving =
            std::chrono::duration<double>(Clock::time_point(Clock::duration(reached.load())) - started).count();

        const auto stopping = Clock::now();
        supervisor.StopAll();
        const double stopAll = std::chrono::duration<double>(Clock::now() - stopping).count();

        long stillRunning = 0;
        for (int i = 0; i < channels; ++i) stillRunning += supervisor.isRunning(i) ? 1 : 0;
        state.counters["channels"] = channels;
        state.counters["calls"] = double(target);
        state.counters["calls_per_s"] = double(target) / serving;
        state.counters["stop_all_ms"] = stopAll * 1000;
        state.counters["running_after_stop"] = double(stillRunning);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    setTextLanguage(false);
    setAdminTextLanguage(false);
    // SORVIX_BENCH_SMALL=1 (CI) runs the small size only.
    auto* bm = benchmark::RegisterBenchmark("BM_Supervisor", BM_Supervisor);
    bm->Arg(qEnvironmentVariableIsEmpty("SORVIX_BENCH_SMALL") ? 200 : 10);
    bm->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
