// sorvix-run: loads a flow file and runs it on the simulated telephony device, without a window.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <unistd.h>

#include "engine/flow.h"
#include "engine/runner.h"
#include "engine/statement.h"
#include "engine/datetime.h"
#include "engine/texts.h"
#include "platform/process.h"
#include "devices/sim/devicefactory.h"
#include "devices/sim/scenario.h"
#include "platform/stopsignals.h"

namespace {
std::mutex g_out;

void say(const QString& line)
{
    std::lock_guard lock(g_out);
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void complain(const QString& line)
{
    std::lock_guard lock(g_out);
    std::fflush(stdout);
    std::fputs(line.toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

QString oneLine(QString s)
{
    return s.replace(QStringLiteral("\r\n"), QStringLiteral(" | "));
}

// The answers of a debug run, typed on standard input. Input is read in the event loop when it
// arrives, never by a blocking read, so a stop signal is served while a prompt waits. Lines typed
// ahead answer the next prompts in order; after the end of the input every pause goes on and
// every question is answered no.
class DebugInput : public QObject {
public:
    DebugInput() : notifier_(new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this))
    {
        connect(notifier_, &QSocketNotifier::activated, this, &DebugInput::read);
    }

    // Calls goOn at the next line (or at once when one is waiting or the input has ended).
    void pause(std::function<void()> goOn)
    {
        goOn_ = std::move(goOn);
        serve();
    }

    // Waits, in a nested event loop, for the answer; true for a line that starts with y or Y.
    bool ask()
    {
        if (std::optional<QByteArray> line = take()) return answerYes(*line);
        QEventLoop loop;
        question_ = &loop;
        answer_ = false;
        loop.exec();
        question_ = nullptr;
        return answer_;
    }

    bool asking() const { return question_ != nullptr; }

    // A stop: an open question is answered no and a pause no longer waits for input.
    void cancel()
    {
        goOn_ = nullptr;
        if (question_) {
            answer_ = false;
            question_->quit();
        }
    }

private:
    static bool answerYes(const QByteArray& line) { return line.startsWith('y') || line.startsWith('Y'); }

    // The next line; an empty one once the input has ended; nothing while a line is still coming.
    std::optional<QByteArray> take()
    {
        if (!lines_.empty()) {
            QByteArray line = std::move(lines_.front());
            lines_.pop_front();
            return line;
        }
        if (ended_) return QByteArray();
        return std::nullopt;
    }

    void read()
    {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
        if (n <= 0) {
            ended_ = true;
            notifier_->setEnabled(false);
            if (!partial_.isEmpty()) lines_.push_back(std::exchange(partial_, {}));
        } else {
            partial_.append(buffer, n);
            for (qsizetype end; (end = partial_.indexOf('\n')) >= 0;) {
                lines_.push_back(partial_.left(end));
                partial_.remove(0, end + 1);
            }
        }
        serve();
    }

    void serve()
    {
        if (question_) {
            if (std::optional<QByteArray> line = take()) {
                answer_ = answerYes(*line);
                question_->quit();
            }
        } else if (goOn_) {
            if (take()) std::exchange(goOn_, nullptr)();
        }
    }

    QSocketNotifier* notifier_;
    QByteArray partial_;
    std::deque<QByteArray> lines_;
    bool ended_ = false;
    std::function<void()> goOn_;
    QEventLoop* question_ = nullptr;
    bool answer_ = false;
};

// A number option of at least `least`; prints the complaint and returns nothing when it is not.
std::optional<int> numberOption(const QCommandLineParser& parser, const QCommandLineOption& option, int least,
                                const char* what)
{
    bool ok = false;
    const int value = parser.value(option).toInt(&ok);
    if (ok && value >= least) return value;
    std::fprintf(stderr, "sorvix-run: --%s needs %s\n", option.names().first().toUtf8().constData(), what);
    return std::nullopt;
}

// "onhook", "speaker", "micspeaker" or their order 0, 1, 2; -1 for anything else.
int hookModeOption(const QString& text)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("onhook") || t == QLatin1String("0")) return 0;
    if (t == QLatin1String("speaker") || t == QLatin1String("1")) return 1;
    if (t == QLatin1String("micspeaker") || t == QLatin1String("2")) return 2;
    return -1;
}

const char* signalName(int signalNumber)
{
    switch (signalNumber) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
    }
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sorvix-run"));
    initTexts();
    datetime::useSystemLocale();  // dates read and written as the system writes them

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Runs a Sorvix flow file on the simulated telephony device."));
    const QCommandLineOption help = parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("flow"), QStringLiteral("The flow file (.svx) to run."));
    QCommandLineOption scenario(QStringLiteral("scenario"), QStringLiteral("Scenario file of the simulated device."),
                                QStringLiteral("file"));
    QCommandLineOption address(QStringLiteral("address"), QStringLiteral("Device address index (default 0)."),
                               QStringLiteral("n"), QStringLiteral("0"));
    QCommandLineOption gateway(QStringLiteral("gateway"),
                               QStringLiteral("Gateway address index, -1 none (default: the device's gateway "
                                              "address, none when that is the channel's own address)."),
                               QStringLiteral("n"));
    QCommandLineOption waveOut(QStringLiteral("wave-out"),
                               QStringLiteral("Wave-out device of the gateway audio, -1 the line itself (default)."),
                               QStringLiteral("id"), QStringLiteral("-1"));
    QCommandLineOption waveIn(QStringLiteral("wave-in"),
                              QStringLiteral("Wave-in device of the gateway audio, -1 the line itself (default)."),
                              QStringLiteral("id"), QStringLiteral("-1"));
    QCommandLineOption hookMode(QStringLiteral("hook-mode"),
                                QStringLiteral("Hook-switch mode of the sound path: onhook (default), speaker or "
                                               "micspeaker."),
                                QStringLiteral("mode"), QStringLiteral("onhook"));
    QCommandLineOption transmitDtmf(QStringLiteral("transmit-dtmf"),
                                    QStringLiteral("Forward DTMF digits through the gateway."));
    QCommandLineOption passes(QStringLiteral("passes"), QStringLiteral("Passes to run (default 1; 0 runs none)."),
                              QStringLiteral("n"), QStringLiteral("1"));
    QCommandLineOption quiet(QStringLiteral("quiet"),
                             QStringLiteral("No statement trace and no line operations; failures and the end of "
                                            "each pass are still shown."));
    QCommandLineOption debug(QStringLiteral("debug"), QStringLiteral("Stop at breakpoints; Enter goes on."));
    QCommandLineOption step(QStringLiteral("step"), QStringLiteral("With --debug, stop before every statement."));
    QCommandLineOption speed(QStringLiteral("speed"), QStringLiteral("Speed of the simulated device (1 real time, 0 no waiting)."),
                             QStringLiteral("x"));
    QCommandLineOption save(QStringLiteral("save"), QStringLiteral("Write the loaded flow to this flow file first."),
                            QStringLiteral("file"));
    QCommandLineOption text(QStringLiteral("text"), QStringLiteral("Write the flow's text printout to this file first."),
                            QStringLiteral("file"));
    parser.addOptions({scenario, address, gateway, waveOut, waveIn, hookMode, transmitDtmf, passes, quiet, debug,
                       step, speed, save, text});
    // A bad command line ends with status 2, as every other refusal of an option does.
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "sorvix-run: %s (see --help)\n", parser.errorText().toUtf8().constData());
        return 2;
    }
    if (parser.isSet(help) || parser.optionNames().contains(QStringLiteral("help-all"))) parser.showHelp(0);
    if (parser.positionalArguments().size() != 1) {
        std::fputs("sorvix-run: give exactly one flow file (see --help)\n", stderr);
        return 2;
    }

    const std::optional<int> addressIndex = numberOption(parser, address, 0, "a number of 0 or more");
    if (!addressIndex) return 2;
    const std::optional<int> passCount = numberOption(parser, passes, 0, "a number of 0 or more");
    if (!passCount) return 2;
    std::optional<int> gatewayIndex = -1;
    if (parser.isSet(gateway) && !(gatewayIndex = numberOption(parser, gateway, -1, "a number of -1 or more")))
        return 2;
    const std::optional<int> waveOutDevice = numberOption(parser, waveOut, -1, "a number of -1 or more");
    if (!waveOutDevice) return 2;
    const std::optional<int> waveInDevice = numberOption(parser, waveIn, -1, "a number of -1 or more");
    if (!waveInDevice) return 2;
    const int hook = hookModeOption(parser.value(hookMode));
    if (hook < 0) {
        std::fputs("sorvix-run: --hook-mode needs onhook, speaker or micspeaker\n", stderr);
        return 2;
    }
    const bool debugRun = parser.isSet(debug);
    const bool quietRun = parser.isSet(quiet);
    bool ok = false;
    std::optional<double> speedValue;
    if (parser.isSet(speed)) {
        const double x = parser.value(speed).toDouble(&ok);
        if (!ok || !usableSpeed(x)) {
            std::fprintf(stderr, "sorvix-run: --speed needs 0 or a number of at least %g\n", 1 / kEndlessWaitMs);
            return 2;
        }
        speedValue = x;
    }
    // Options that change nothing are said, so a run is not mistaken for what was asked.
    if (parser.isSet(step) && !debugRun) std::fputs("sorvix-run: --step does nothing without --debug\n", stderr);
    if (parser.isSet(passes) && debugRun && *passCount != 0)
        std::fputs("sorvix-run: --passes does nothing with --debug: a debug run makes one pass\n", stderr);

    QString error;
    const QString flowFile = QFileInfo(parser.positionalArguments().first()).absoluteFilePath();
    TIVRFlow flow(nullptr, flowFile, debugRun, &error);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", oneLine(error).toUtf8().constData());
        return 1;
    }
    if (parser.isSet(save)) {
        // A copy: the run still takes its relative paths from the flow file it loaded.
        const QString fileName = flow.FileName, flowName = flow.FlowName;
        const bool saved = flow.SaveAs(QFileInfo(parser.value(save)).absoluteFilePath(), &error);
        flow.FileName = fileName;
        flow.FlowName = flowName;
        if (!saved) {
            std::fprintf(stderr, "%s\n", oneLine(error).toUtf8().constData());
            return 1;
        }
    }
    // A flow loaded for running has no captions; the printout shows them.
    if (parser.isSet(text)) flow.RefreshCaptions();
    if (parser.isSet(text) && !flow.SaveFlowText(parser.value(text), &error)) {
        std::fprintf(stderr, "%s\n", oneLine(error).toUtf8().constData());
        return 1;
    }
    if (*passCount == 0) return 0;

    TelephonyDeviceOptions options;
    options.scenarioFile = parser.value(scenario);
    options.speed = speedValue;
    if (!quietRun) options.log = [](const SimLogEntry& e) { say(QStringLiteral("    ") + e.text()); };
    std::shared_ptr<ITAPI3Device> device = createTelephonyDevice(options, &error);
    if (!device) {
        std::fprintf(stderr, "%s\n", oneLine(error).toUtf8().constData());
        return 1;
    }
    int count = 0;
    device->GetAddressCount(count);
    if (count == 0) {
        const QString file = options.scenarioFile.isEmpty() ? qEnvironmentVariable("SORVIX_SCENARIO") : options.scenarioFile;
        std::fprintf(stderr, "sorvix-run: the scenario %s has no addresses (its \"addresses\" list is missing or empty)\n",
                     file.toUtf8().constData());
        return 1;
    }
    if (*addressIndex >= count) {
        std::fprintf(stderr, "sorvix-run: the device has %d addresses; %d is not one of them\n", count, *addressIndex);
        return 1;
    }
    // As the channel options have it: every channel places its calls through the device's gateway
    // address, and that address itself through the one it is given.
    if (!parser.isSet(gateway)) {
        int deviceGateway = -1;
        device->GetGatewayAddress(deviceGateway);
        gatewayIndex = deviceGateway == *addressIndex ? -1 : deviceGateway;
    }
    if (*gatewayIndex >= count) {
        std::fprintf(stderr, "sorvix-run: the device has %d addresses; gateway %d is not one of them\n", count,
                     *gatewayIndex);
        return 1;
    }
    if (*gatewayIndex == *addressIndex) {
        std::fputs("sorvix-run: the gateway address can't be the channel address\n", stderr);
        return 2;
    }
    // The sound path belongs to the gateway; without one the channel gets the plain values.
    if (*gatewayIndex < 0 && (*waveOutDevice != -1 || *waveInDevice != -1 || hook != 0 || parser.isSet(transmitDtmf))) {
        std::fputs("sorvix-run: --wave-out, --wave-in, --hook-mode and --transmit-dtmf need a gateway\n", stderr);
        return 2;
    }
    flow.setDevice(device);

    std::unique_ptr<DebugInput> input;
    if (debugRun) input = std::make_unique<DebugInput>();
    StopSignals stopSignals({SIGINT, SIGTERM, SIGHUP});
    bool stopping = false;

    std::atomic<int> passesDone{0};
    if (!quietRun) flow.OnTrace = [](FlowNode* node) { say(QStringLiteral("> ") + node->statement()->GetNodeText()); };
    flow.OnFailure = [](FlowNode* node, int code, const QString& resultText, const QString& errorText) {
        complain(QStringLiteral("! %1 = %2 %3: %4")
                     .arg(node->statement()->GetNodeText())
                     .arg(code)
                     .arg(oneLine(resultText), oneLine(errorText)));
    };
    flow.OnHangUp = [&](TIVRFlow* f) {
        say(QStringLiteral("-- end of pass %1").arg(passesDone + 1));
        TFlowThread* runner = f->FlowThread();
        if (++passesDone >= *passCount && runner && !runner->terminateRequested()) runner->requestStop();
    };
    flow.OnPause = [&](bool) {
        // Handed to the main thread, which waits for the input in its event loop.
        QMetaObject::invokeMethod(&flow, [&] {
            if (stopping) return;
            say(QStringLiteral("   paused; press Enter to go on"));
            input->pause([&] { flow.Run(true, parser.isSet(step), *addressIndex, -1, -1, -1, 0, 0); });
        }, Qt::QueuedConnection);
    };
    flow.OnErrorQuestion = [&](const QString& q, const QString& caption) {
        if (stopping) return false;
        say(caption + QStringLiteral(": ") + oneLine(q) + QStringLiteral(" [y/N]"));
        return input->ask();
    };
    flow.OnFinish = [&] { QCoreApplication::quit(); };

    // A stop signal stops the run as the console's Stop does: the operation under way is aborted,
    // the pass ends and the channel is closed; the termination handler (OnFinish) then ends the
    // event loop. Nothing here waits for the runner: a wait nested in this handler could sleep
    // past the termination handler's hand-over, which is already queued behind it.
    std::function<void()> stopRun = [&] {
        if (input && input->asking()) {
            QTimer::singleShot(10, &app, stopRun);
            return;
        }
        if (TFlowThread* runner = flow.FlowThread()) {
            runner->requestStop();
            return;
        }
        QCoreApplication::exit(stopSignals.exitStatus());
    };
    QObject::connect(&stopSignals, &StopSignals::received, &app, [&](int signalNumber) {
        stopping = true;
        say(QStringLiteral("-- stopped by %1").arg(QLatin1String(signalName(signalNumber))));
        if (input) input->cancel();
        QTimer::singleShot(0, &app, stopRun);
    });

    QString name;
    device->GetAddressName(*addressIndex, name);
    say(QStringLiteral("Running %1 on %2").arg(flowFile, name));
    flow.Run(debugRun, parser.isSet(step), *addressIndex, *gatewayIndex, *waveOutDevice, *waveInDevice, hook,
             parser.isSet(transmitDtmf) ? -1 : 0);
    const int status = app.exec();
    // Like the console, the runner leaves no program of its flow behind.
    Process::endLeftRunning();
    return stopSignals.exitStatus() ? stopSignals.exitStatus() : status;
}
