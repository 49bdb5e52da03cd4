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
#include "engine/handover.h"
#include "engine/runner.h"
#include "engine/statement.h"
#include "engine/datetime.h"
#include "engine/texts.h"
#include "engine/typedefine.h"
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
    const QLatin1String names[] = {QLatin1String("onhook"), QLatin1String("speaker"), QLatin1String("micspeaker")};
    for (const THookSwitchMode mode : {hsmOnHook, hsmSpeaker, hsmMicSpeaker})
        if (t == names[mode] || t == QString::number(mode)) return mode;
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

// What the command line asks for.
struct RunOptions {
    QString flowFile;  // absolute
    QString scenarioFile;
    int addressIndex = 0;
    int passCount = 1;
    bool gatewayGiven = false;
    int gatewayIndex = -1;
    int waveOut = -1;
    int waveIn = -1;
    int hookMode = hsmOnHook;
    bool transmitDtmf = false;
    bool quiet = false;
    bool debug = false;
    bool step = false;
    std::optional<double> speed;
    std::optional<QString> saveFile;
    std::optional<QString> textFile;
};

// Reads the command line; says what is wrong and returns nothing when it can't be run (status 2).
std::optional<RunOptions> parseCommandLine()
{
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
        return std::nullopt;
    }
    if (parser.isSet(help) || parser.optionNames().contains(QStringLiteral("help-all"))) parser.showHelp(0);
    if (parser.positionalArguments().size() != 1) {
        std::fputs("sorvix-run: give exactly one flow file (see --help)\n", stderr);
        return std::nullopt;
    }

    RunOptions options;
    const std::optional<int> addressIndex = numberOption(parser, address, 0, "a number of 0 or more");
    if (!addressIndex) return std::nullopt;
    options.addressIndex = *addressIndex;
    const std::optional<int> passCount = numberOption(parser, passes, 0, "a number of 0 or more");
    if (!passCount) return std::nullopt;
    options.passCount = *passCount;
    options.gatewayGiven = parser.isSet(gateway);
    if (options.gatewayGiven) {
        const std::optional<int> gatewayIndex = numberOption(parser, gateway, -1, "a number of -1 or more");
        if (!gatewayIndex) return std::nullopt;
        options.gatewayIndex = *gatewayIndex;
    }
    const std::optional<int> waveOutDevice = numberOption(parser, waveOut, -1, "a number of -1 or more");
    if (!waveOutDevice) return std::nullopt;
    options.waveOut = *waveOutDevice;
    const std::optional<int> waveInDevice = numberOption(parser, waveIn, -1, "a number of -1 or more");
    if (!waveInDevice) return std::nullopt;
    options.waveIn = *waveInDevice;
    options.hookMode = hookModeOption(parser.value(hookMode));
    if (options.hookMode < 0) {
        std::fputs("sorvix-run: --hook-mode needs onhook, speaker or micspeaker\n", stderr);
        return std::nullopt;
    }
    options.debug = parser.isSet(debug);
    options.quiet = parser.isSet(quiet);
    options.step = parser.isSet(step);
    options.transmitDtmf = parser.isSet(transmitDtmf);
    if (parser.isSet(speed)) {
        bool ok = false;
        const double x = parser.value(speed).toDouble(&ok);
        if (!ok || !usableSpeed(x)) {
            std::fprintf(stderr, "sorvix-run: --speed needs 0 or a number of at least %g\n", 1 / kEndlessWaitMs);
            return std::nullopt;
        }
        options.speed = x;
    }
    // Options that change nothing are said, so a run is not mistaken for what was asked.
    if (options.step && !options.debug) std::fputs("sorvix-run: --step does nothing without --debug\n", stderr);
    if (parser.isSet(passes) && options.debug && options.passCount != 0)
        std::fputs("sorvix-run: --passes does nothing with --debug: a debug run makes one pass\n", stderr);

    options.flowFile = QFileInfo(parser.positionalArguments().first()).absoluteFilePath();
    options.scenarioFile = parser.value(scenario);
    if (parser.isSet(save)) options.saveFile = parser.value(save);
    if (parser.isSet(text)) options.textFile = parser.value(text);
    return options;
}

// Says an error of the flow or the device; the run ends with status 1.
int failWith(const QString& error)
{
    std::fprintf(stderr, "%s\n", oneLine(error).toUtf8().constData());
    return 1;
}

// Writes the copy and the printout the command line asks for.
bool writeCopies(TIVRFlow& flow, const RunOptions& options, QString* error)
{
    if (options.saveFile) {
        // A copy: the run still takes its relative paths from the flow file it loaded.
        const QString fileName = flow.FileName, flowName = flow.FlowName;
        const bool saved = flow.SaveAs(QFileInfo(*options.saveFile).absoluteFilePath(), error);
        flow.FileName = fileName;
        flow.FlowName = flowName;
        if (!saved) return false;
    }
    if (!options.textFile) return true;
    // A flow loaded for running has no captions; the printout shows them.
    flow.RefreshCaptions();
    return flow.SaveFlowText(*options.textFile, error);
}

std::shared_ptr<ITAPI3Device> createDevice(const RunOptions& options, QString* error)
{
    TelephonyDeviceOptions deviceOptions;
    deviceOptions.scenarioFile = options.scenarioFile;
    deviceOptions.speed = options.speed;
    if (!options.quiet) deviceOptions.log = [](const SimLogEntry& e) { say(QStringLiteral("    ") + e.text()); };
    return createTelephonyDevice(deviceOptions, error);
}

// Checks the channel and gateway addresses against the device, and picks the device's gateway
// when none was given; 0 when the run can go on, else the status it ends with.
int checkAddresses(ITAPI3Device& device, RunOptions& options)
{
    int count = 0;
    device.GetAddressCount(count);
    if (count == 0) {
        const QString file = options.scenarioFile.isEmpty() ? qEnvironmentVariable("SORVIX_SCENARIO") : options.scenarioFile;
        std::fprintf(stderr, "sorvix-run: the scenario %s has no addresses (its \"addresses\" list is missing or empty)\n",
                     file.toUtf8().constData());
        return 1;
    }
    if (options.addressIndex >= count) {
        std::fprintf(stderr, "sorvix-run: the device has %d addresses; %d is not one of them\n", count,
                     options.addressIndex);
        return 1;
    }
    // As the channel options have it: every channel places its calls through the device's gateway
    // address, and that address itself through the one it is given.
    if (!options.gatewayGiven) {
        int deviceGateway = -1;
        device.GetGatewayAddress(deviceGateway);
        options.gatewayIndex = deviceGateway == options.addressIndex ? -1 : deviceGateway;
    }
    if (options.gatewayIndex >= count) {
        std::fprintf(stderr, "sorvix-run: the device has %d addresses; gateway %d is not one of them\n", count,
                     options.gatewayIndex);
        return 1;
    }
    if (options.gatewayIndex == options.addressIndex) {
        std::fputs("sorvix-run: the gateway address can't be the channel address\n", stderr);
        return 2;
    }
    // The sound path belongs to the gateway; without one the channel gets the plain values.
    if (options.gatewayIndex < 0 && (options.waveOut != -1 || options.waveIn != -1 || options.hookMode != hsmOnHook ||
                                     options.transmitDtmf)) {
        std::fputs("sorvix-run: --wave-out, --wave-in, --hook-mode and --transmit-dtmf need a gateway\n", stderr);
        return 2;
    }
    return 0;
}

// The run of the flow on its device: the trace, the passes counted, the debug prompts on
// standard input and the stop signals.
class HeadlessRun {
public:
    HeadlessRun(QCoreApplication& app, TIVRFlow& flow, const RunOptions& options)
        : app_(app), flow_(flow), options_(options), stopSignals_({SIGINT, SIGTERM, SIGHUP})
    {
        if (options_.debug) input_ = std::make_unique<DebugInput>();
        wireFlow();
        wireStopSignals();
    }

    void start(ITAPI3Device& device)
    {
        QString name;
        device.GetAddressName(options_.addressIndex, name);
        say(QStringLiteral("Running %1 on %2").arg(options_.flowFile, name));
        flow_.Run({.debug = options_.debug,
                   .step = options_.step,
                   .addressIndex = options_.addressIndex,
                   .gatewayIndex = options_.gatewayIndex,
                   .waveOut = options_.waveOut,
                   .waveIn = options_.waveIn,
                   .hookMode = options_.hookMode,
                   .transmitDtmf = options_.transmitDtmf ? -1 : 0});
    }

    // The status after a stop signal, 0 while none came.
    int exitStatus() const { return stopSignals_.exitStatus(); }

private:
    void wireFlow()
    {
        if (!options_.quiet)
            flow_.OnTrace = [](FlowNode* node) { say(QStringLiteral("> ") + node->statement()->GetNodeText()); };
        flow_.OnFailure = [](FlowNode* node, int code, const QString& resultText, const QString& errorText) {
            complain(QStringLiteral("! %1 = %2 %3: %4")
                         .arg(node->statement()->GetNodeText())
                         .arg(code)
                         .arg(oneLine(resultText), oneLine(errorText)));
        };
        flow_.OnHangUp = [this](TIVRFlow* f) {
            say(QStringLiteral("-- end of pass %1").arg(passesDone_ + 1));
            TFlowThread* runner = f->FlowThread();
            if (++passesDone_ >= options_.passCount && runner && !runner->terminateRequested()) runner->requestStop();
        };
        flow_.OnPause = [this](bool) {
            // Handed to the main thread, which waits for the input in its event loop.
            handOver(&flow_, [this] {
                if (stopping_) return;
                say(QStringLiteral("   paused; press Enter to go on"));
                input_->pause([this] {
                    flow_.Run({.debug = true, .step = options_.step, .addressIndex = options_.addressIndex});
                });
            });
        };
        flow_.OnErrorQuestion = [this](const QString& q, const QString& caption) {
            if (stopping_) return false;
            say(caption + QStringLiteral(": ") + oneLine(q) + QStringLiteral(" [y/N]"));
            return input_->ask();
        };
        flow_.OnFinish = [] { QCoreApplication::quit(); };
    }

    void wireStopSignals()
    {
        QObject::connect(&stopSignals_, &StopSignals::received, &app_, [this](int signalNumber) {
            stopping_ = true;
            say(QStringLiteral("-- stopped by %1").arg(QLatin1String(signalName(signalNumber))));
            if (input_) input_->cancel();
            QTimer::singleShot(0, &app_, [this] { stopRun(); });
        });
    }

    // A stop signal stops the run as the console's Stop does: the operation under way is aborted,
    // the pass ends and the channel is closed; the termination handler (OnFinish) then ends the
    // event loop. Nothing here waits for the runner: a wait nested in this handler could sleep
    // past the termination handler's hand-over, which is already queued behind it.
    void stopRun()
    {
        if (input_ && input_->asking()) {
            QTimer::singleShot(10, &app_, [this] { stopRun(); });
            return;
        }
        if (TFlowThread* runner = flow_.FlowThread()) {
            runner->requestStop();
            return;
        }
        QCoreApplication::exit(stopSignals_.exitStatus());
    }

    QCoreApplication& app_;
    TIVRFlow& flow_;
    const RunOptions& options_;
    std::unique_ptr<DebugInput> input_;
    StopSignals stopSignals_;
    bool stopping_ = false;
    std::atomic<int> passesDone_{0};
};
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sorvix-run"));
    initTexts();
    datetime::useSystemLocale();  // dates read and written as the system writes them

    std::optional<RunOptions> options = parseCommandLine();
    if (!options) return 2;

    QString error;
    TIVRFlow flow(nullptr, options->flowFile, options->debug, &error);
    if (!error.isEmpty()) return failWith(error);
    if (!writeCopies(flow, *options, &error)) return failWith(error);
    if (options->passCount == 0) return 0;

    std::shared_ptr<ITAPI3Device> device = createDevice(*options, &error);
    if (!device) return failWith(error);
    if (const int status = checkAddresses(*device, *options)) return status;
    flow.setDevice(device);

    HeadlessRun run(app, flow, *options);
    run.start(*device);
    const int status = app.exec();
    // Like the console, the runner leaves no program of its flow behind.
    Process::endLeftRunning();
    return run.exitStatus() ? run.exitStatus() : status;
}
