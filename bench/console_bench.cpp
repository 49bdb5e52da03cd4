// The console's main window with many channels bound to the example flow through one group, as
// an operator runs it: the window shows, Start All, the channels wait for and serve calls a
// while, Stop All. Prints how long the runner threads take to be made once the settings are
// loaded, the time Start All and Stop All take, the resident memory per running channel (its
// thread included), and that every channel ran and stopped.
//
//   console_bench                    10,000 channels
//   console_bench --channels=1000    another count
// SORVIX_BENCH_SMALL=1 (CI) runs 100 channels. Needs a screen or QT_QPA_PLATFORM=offscreen.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <memory>

#include "args.h"
#include "console/adminmain.h"
#include "channels/admintexts.h"
#include "channels/configmodel.h"
#include "channels/supervisor.h"
#include "ui/sorvixform.h"
#include "engine/runner.h"
#include "engine/texts.h"
#include "platform/registry.h"
#include "platform/resourcelimits.h"
#include "devices/sim/simdevice.h"

namespace {

int gChannels = 10000;

double residentKb()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.size() > 1 ? parts[1].toDouble() * 4 : 0;
}

// Every line gets a call now and then: the caller hears the greeting and hangs up.
Scenario scenario(int lines)
{
    Scenario s;
    s.speed = 1;
    s.speechEngine = true;
    s.ringMs = 200;
    for (int i = 1; i <= lines; ++i) {
        ScriptedAddress line;
        line.name = QStringLiteral("Line %1").arg(i);
        for (int c = 0; c < 20; ++c) {
            ScriptedCall call;
            call.caller = QStringLiteral("555%1").arg(c, 4, 10, QLatin1Char('0'));
            call.called = QStringLiteral("8000");
            call.arriveMs = 300 + (i * 7) % 500;
            call.timeline.hangupMs = 300;
            line.calls.push_back(call);
        }
        s.addresses.push_back(line);
    }
    return s;
}

// The example flow and its prompts, one application, one group with every line in it, and a
// channel on each line.
bool configure(const QString& folder, int lines, QString* error)
{
    QDir().mkpath(folder + QStringLiteral("/wav"));
    const QDir wav(QStringLiteral(SORVIX_EXAMPLES "/wav"));
    for (const QString& name : wav.entryList(QDir::Files)) QFile::copy(wav.filePath(name), folder + "/wav/" + name);
    const QString flow = folder + QStringLiteral("/welcome.svx");
    QFile::copy(QStringLiteral(SORVIX_EXAMPLES "/welcome.svx"), flow);
    RegistryStore store(folder + QStringLiteral("/registry.db"));
    const bool ok = store.transaction([&] {
        if (!store.createKey(ConsoleConfig::ApplicationKey) ||
            !store.writeString(ConsoleConfig::ApplicationKey, QStringLiteral("Welcome"), flow) ||
            !store.createKey(ConsoleConfig::GroupKey) ||
            !store.writeString(ConsoleConfig::GroupKey, QStringLiteral("Everyone"), QStringLiteral("Welcome")) ||
            !store.createKey(ConsoleConfig::AddressKey))
            return false;
        for (int i = 1; i <= lines; ++i) {
            const QString line = QStringLiteral("Line %1").arg(i);
            const QString channel = channelKeyPath(QStringLiteral("Channel %1").arg(i));
            if (!store.writeString(ConsoleConfig::AddressKey, line, QStringLiteral("GROUP Everyone")) ||
                !store.createKey(channel) || !store.writeString(channel, QStringLiteral("Address"), line))
                return false;
        }
        return true;
    });
    if (!ok) *error = store.errorString();
    return ok;
}

void BM_ConsoleStartStopAll(benchmark::State& state)
{
    const int channels = int(state.range(0));
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); };
    for (auto _ : state) {
        QTemporaryDir dir;
        QString error;
        if (!configure(dir.path(), channels, &error)) {
            state.SkipWithError(qPrintable(error));
            return;
        }
        auto device = std::make_shared<SimDevice>(scenario(channels));
        device->setKeepLog(false);
        TfrmSorvixAdmin window(device, dir.filePath(QStringLiteral("registry.db")));
        frmSorvixAdmin = &window;
        createConsoleDialogs(&window);
        const double idleKb = residentKb();
        // Loading the channels' settings has their runner threads made in the background, while
        // the window shows; Start All is clicked once they are there.
        const auto loading = Clock::now();
        window.LoadChannelOptions();
        window.show();
        window.selectNode(window.FChannelsNode);
        QApplication::processEvents();
        while (TFlowThread::waitingThreads() < size_t(channels) && seconds(loading) < 120)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        const double madeAhead = seconds(loading);

        const auto starting = Clock::now();
        window.acStartAll->trigger();
        QApplication::processEvents();
        const double startAll = seconds(starting);
        int running = 0;
        for (int i = 0; i < channels; ++i) running += window.supervisor().isRunning(i) ? 1 : 0;

        // The channels serve their calls a while; the window takes their state changes.
        const auto serving = Clock::now();
        while (seconds(serving) < 2) QApplication::processEvents(QEventLoop::AllEvents, 20);
        const double runningKb = residentKb();

        const auto stopping = Clock::now();
        window.acStopAll->trigger();
        QApplication::processEvents();
        const double stopAll = seconds(stopping);
        int stillRunning = 0;
        for (int i = 0; i < channels; ++i) stillRunning += window.supervisor().isRunning(i) ? 1 : 0;
        frmSorvixAdmin = nullptr;

        state.counters["channels"] = channels;
        state.counters["threads_made_ahead_s"] = madeAhead;
        state.counters["start_all_s"] = startAll;
        state.counters["stop_all_s"] = stopAll;
        state.counters["started"] = running;
        state.counters["running_after_stop"] = stillRunning;
        state.counters["rss_KiB_per_channel"] = (runningKb - idleKb) / channels;
        std::printf("console, %d channels through one group: runner threads made in %.2f s after the settings "
                    "load, Start All %.2f s (%d running), Stop All %.2f s\n",
                    channels, madeAhead, startAll, running, stopAll);
        if (running != channels || stillRunning != 0) state.SkipWithError("not every channel started and stopped");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    raiseOpenFileLimit();
    setTextLanguage(false);
    setAdminTextLanguage(false);
    initProductTexts();
    gChannels = qEnvironmentVariableIsEmpty("SORVIX_BENCH_SMALL") ? argValue(argc, argv, "--channels", 10000) : 100;
    auto* bm = benchmark::RegisterBenchmark("BM_ConsoleStartStopAll", BM_ConsoleStartStopAll);
    bm->Arg(std::max(1, gChannels))->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
