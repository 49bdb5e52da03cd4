// The console's channel supervision without a window.
//
// BM_Supervisor/N: N channels run the example call flow on simulated lines at full speed until a
// fixed number of scripted calls is served, then all of them are stopped while they are still
// busy. Prints the calls served per second, the time stop-all takes and the peak resident memory.
//
// BM_SpinningChannel: one channel whose flow never blocks and never ends its pass (a While on
// True around N = N + 1, no line operation) spins next to 999 channels that serve calls; prints
// the resident memory after 5 s and at the end, which stay together (the goal: less than 1 MB
// apart).
//
//   supervisor_bench                         10 channels; the spinning run for 60 s
//   supervisor_bench --channels=10,200,1000  the channel counts to measure
//   supervisor_bench --spin-seconds=300      a longer spinning run
// SORVIX_BENCH_SMALL=1 (CI) keeps 10 channels and spins for 8 s whatever the arguments say.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "channels/admintexts.h"
#include "channels/configmodel.h"
#include "channels/supervisor.h"
#include "engine/device.h"
#include "engine/flow.h"
#include "engine/statements/declarations.h"
#include "engine/texts.h"
#include "platform/registry.h"
#include "devices/sim/simdevice.h"

namespace {

constexpr int kCallsPerChannel = 50;  // served before the stop
constexpr int kScriptedPerChannel = 200;  // so that every channel is still busy at the stop

// A figure of /proc/self/status in kB ("VmRSS", "VmHWM"); 0 when unknown.
double statusKb(const char* field)
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    double kb = 0;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0 && line[n] == ':') kb = std::atof(line + n + 1);
    std::fclose(f);
    return kb;
}

// Starts a new peak of resident memory (VmHWM) from the present figure.
void resetPeakMemory()
{
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

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
        resetPeakMemory();
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
            if (!supervisor.StartChannel(i, &error)) {
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
        state.counters["peak_rss_MB"] = statusKb("VmHWM") / 1024;
    }
}

// One pass that never ends: a While on True around N = N + 1, with numbers (written '1' and '0',
// the values would be texts and N a text one character longer every turn).
const QByteArray SpinFlow = "object IVRVar\n  object IVRVariant\n    Name = 'N'\n    InitValue = 0\n  end\nend\n"
                            "object IVRBegin\n  object IVRWhile\n    Condition = 'True'\n    object IVROperator\n"
                            "      Save = 'N'\n      Operate = optAdd\n      Source = 1\n      Dest = 'N'\n    end\n"
                            "  end\nend\nobject IVREnd\nend\n";

void BM_SpinningChannel(benchmark::State& state)
{
    constexpr int channels = 1000;
    const double seconds = double(state.range(0));
    const double early = seconds > 5 ? 5 : seconds / 2;
    for (auto _ : state) {
        QTemporaryDir dir;
        const QString flow = copyExample(dir.path());
        const QString spin = dir.filePath(QStringLiteral("spin.svx"));
        QFile f(spin);
        if (!f.open(QIODevice::WriteOnly) || f.write(SpinFlow) != SpinFlow.size()) {
            state.SkipWithError("the spinning flow could not be written");
            return;
        }
        f.close();
        // The serving lines play their prompts at 20 times real time, so each call takes a while.
        Scenario s = scenario(channels);
        s.speed = 20;
        s.addresses[0].calls.clear();
        auto device = std::make_shared<SimDevice>(s);
        device->setKeepLog(false);
        std::atomic<long> answered{0};
        device->setLogCallback([&](const SimLogEntry& e) {
            if (e.operation == QLatin1String("Answer") && e.result == 0) answered.fetch_add(1);
        });

        RegistryStore store(dir.filePath(QStringLiteral("registry.db")));
        ConsoleConfig config(&store);
        QStringList addresses, names;
        std::vector<int> serving;
        for (int i = 0; i < channels; ++i) {
            addresses << QStringLiteral("Line %1").arg(i + 1);
            names << QStringLiteral("Channel %1").arg(i + 1);
            if (i > 0) serving.push_back(i);
        }
        if (!config.load(addresses) || !config.newApplication(QStringLiteral("Welcome"), flow) ||
            !config.newApplication(QStringLiteral("Spin"), spin) ||
            !config.bindAddresses(serving, ConsoleConfig::Binding::Application, 0) ||
            !config.bindAddresses({0}, ConsoleConfig::Binding::Application, 1)) {
            state.SkipWithError(qPrintable(config.errorString()));
            return;
        }
        ChannelSupervisor supervisor(device, &store, &config, names, -1);
        supervisor.LoadChannelOptions(ChannelOptionLists::collect(device.get(), NoWaveDevices()));
        // What the window does with every state change: the row's texts.
        long shown = 0;
        QObject::connect(&supervisor, &ChannelSupervisor::channelStateChanged, &supervisor, [&](int i) {
            shown += supervisor.stateText(i).size() + supervisor.addressText(i).size();
        });
        for (int i = 0; i < channels; ++i) {
            supervisor.FChannels[size_t(i)].Address = i;
            QString error;
            if (!supervisor.StartChannel(i, &error)) {
                state.SkipWithError(qPrintable(error));
                return;
            }
        }

        using Clock = std::chrono::steady_clock;
        const auto started = Clock::now();
        auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - started).count(); };
        double earlyKb = 0, mostKb = 0;
        int mostQueued = 0;
        while (elapsed() < seconds) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            mostQueued = std::max(mostQueued, supervisor.pendingStateEvents());
            if (earlyKb == 0 && elapsed() >= early) earlyKb = statusKb("VmRSS");
            if (earlyKb > 0) mostKb = std::max(mostKb, statusKb("VmRSS"));
            QThread::msleep(1);
        }
        const double endKb = statusKb("VmRSS");
        // The spinning channel's counter: the turns it made, all in its first pass.
        const TIVRFlow* spinning = supervisor.FChannels[0].RunningFlow;
        QString turns;
        for (IVRVariant* v = spinning ? spinning->FirstVariant : nullptr; v; v = v->nextVariant)
            if (v->Name == QLatin1String("N")) turns = v->value().displayText();
        const bool stillSpinning = supervisor.state(0) == ChannelSupervisor::State::WaitForCall && spinning &&
                                   spinning->Running();
        supervisor.StopAll();
        device->setLogCallback(nullptr);
        if (!stillSpinning) state.SkipWithError("the spinning channel did not keep running");

        state.counters["seconds"] = seconds;
        state.counters["spinning_turns"] = turns.toDouble();
        state.counters["calls_served"] = double(answered.load());
        state.counters["most_state_events_queued"] = mostQueued;
        state.counters["rss_5s_MB"] = earlyKb / 1024;
        state.counters["rss_end_MB"] = endKb / 1024;
        state.counters["rss_growth_after_5s_MB"] = (mostKb - earlyKb) / 1024;
        std::printf("spinning channel: resident %.1f MB after %.0f s, %.1f MB after %.0f s (at most %+.2f MB over the "
                    "first figure), %s turns in one pass\n",
                    earlyKb / 1024, early, endKb / 1024, seconds, (mostKb - earlyKb) / 1024, qPrintable(turns));
    }
}

// The value of --name=... among the arguments, removed from them; empty when absent.
std::string takeOption(int& argc, char** argv, const char* name)
{
    const std::string prefix = std::string("--") + name + "=";
    std::string value;
    int out = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0) value = argv[i] + prefix.size();
        else argv[out++] = argv[i];
    }
    argc = out;
    return value;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    setTextLanguage(false);
    setAdminTextLanguage(false);
    const bool small = !qEnvironmentVariableIsEmpty("SORVIX_BENCH_SMALL");
    const std::string counts = takeOption(argc, argv, "channels");
    const std::string spin = takeOption(argc, argv, "spin-seconds");
    auto* bm = benchmark::RegisterBenchmark("BM_Supervisor", BM_Supervisor);
    bm->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
    if (small || counts.empty()) {
        bm->Arg(10);
    } else {
        for (const QString& n : QString::fromStdString(counts).split(QLatin1Char(','), Qt::SkipEmptyParts))
            bm->Arg(std::max(1, n.toInt()));
    }
    auto* spinning = benchmark::RegisterBenchmark("BM_SpinningChannel", BM_SpinningChannel);
    spinning->Arg(small ? 8 : spin.empty() ? 60 : std::max(1, std::stoi(spin)));
    spinning->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
