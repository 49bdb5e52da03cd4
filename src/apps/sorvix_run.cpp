// sorvix-run: loads a flow file and runs it on the simulated telephony device, without a window.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>

#include "engine/flow.h"
#include "engine/runner.h"
#include "engine/statement.h"
#include "engine/datetime.h"
#include "engine/texts.h"
#include "platform/simdevice/devicefactory.h"

namespace {
std::mutex g_out;

void say(const QString& line)
{
    std::lock_guard lock(g_out);
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QString oneLine(QString s)
{
    return s.replace(QStringLiteral("\r\n"), QStringLiteral(" | "));
}

std::string readLine()
{
    std::string line;
    if (!std::getline(std::cin, line)) return {};
    return line;
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
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("flow"), QStringLiteral("The flow file (.svx) to run."));
    QCommandLineOption scenario(QStringLiteral("scenario"), QStringLiteral("Scenario file of the simulated device."),
                                QStringLiteral("file"));
    QCommandLineOption address(QStringLiteral("address"), QStringLiteral("Device address index (default 0)."),
                               QStringLiteral("n"), QStringLiteral("0"));
    QCommandLineOption passes(QStringLiteral("passes"), QStringLiteral("Passes to run (default 1; 0 runs none)."),
                              QStringLiteral("n"), QStringLiteral("1"));
    QCommandLineOption debug(QStringLiteral("debug"), QStringLiteral("Stop at breakpoints; Enter goes on."));
    QCommandLineOption step(QStringLiteral("step"), QStringLiteral("With --debug, stop before every statement."));
    QCommandLineOption speed(QStringLiteral("speed"), QStringLiteral("Speed of the simulated device (1 real time, 0 no waiting)."),
                             QStringLiteral("x"));
    QCommandLineOption save(QStringLiteral("save"), QStringLiteral("Write the loaded flow to this flow file first."),
                            QStringLiteral("file"));
    QCommandLineOption text(QStringLiteral("text"), QStringLiteral("Write the flow's text printout to this file first."),
                            QStringLiteral("file"));
    parser.addOptions({scenario, address, passes, debug, step, speed, save, text});
    parser.process(app);
    if (parser.positionalArguments().size() != 1) {
        std::fputs("sorvix-run: give exactly one flow file (see --help)\n", stderr);
        return 2;
    }

    bool ok = false;
    const int addressIndex = parser.value(address).toInt(&ok);
    if (!ok || addressIndex < 0) {
        std::fputs("sorvix-run: --address needs a number of 0 or more\n", stderr);
        return 2;
    }
    const int passCount = parser.value(passes).toInt(&ok);
    if (!ok || passCount < 0) {
        std::fputs("sorvix-run: --passes needs a number of 0 or more\n", stderr);
        return 2;
    }
    const bool debugRun = parser.isSet(debug);

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
    if (passCount == 0) return 0;

    TelephonyDeviceOptions options;
    options.scenarioFile = parser.value(scenario);
    if (parser.isSet(speed)) {
        const double x = parser.value(speed).toDouble(&ok);
        if (!ok || x < 0) {
            std::fputs("sorvix-run: --speed needs a number of 0 or more\n", stderr);
            return 2;
        }
        options.speed = x;
    }
    options.log = [](const SimLogEntry& e) { say(QStringLiteral("    ") + e.text()); };
    std::shared_ptr<ITAPI3Device> device = createTelephonyDevice(options, &error);
    if (!device) {
        std::fprintf(stderr, "%s\n", oneLine(error).toUtf8().constData());
        return 1;
    }
    int count = 0;
    device->GetAddressCount(count);
    if (addressIndex >= count) {
        std::fprintf(stderr, "sorvix-run: the device has %d addresses; %d is not one of them\n", count, addressIndex);
        return 1;
    }
    flow.setDevice(device);

    std::atomic<int> passesDone{0};
    flow.OnTrace = [](FlowNode* node) { say(QStringLiteral("> ") + node->statement()->GetNodeText()); };
    flow.OnHangUp = [&](TIVRFlow* f) {
        say(QStringLiteral("-- end of pass %1").arg(passesDone + 1));
        if (++passesDone >= passCount && f->FlowThread()) f->FlowThread()->requestStop();
    };
    flow.OnPause = [&](bool) {
        // Read the answer on the main thread, then let the runner go on.
        QMetaObject::invokeMethod(&flow, [&] {
            say(QStringLiteral("   paused; press Enter to go on"));
            readLine();
            flow.Run(true, parser.isSet(step), addressIndex, -1, -1, -1, 0, 0);
        }, Qt::QueuedConnection);
    };
    flow.OnErrorQuestion = [](const QString& q, const QString& caption) {
        say(caption + QStringLiteral(": ") + oneLine(q) + QStringLiteral(" [y/N]"));
        const std::string answer = readLine();
        return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
    };
    flow.OnFinish = [&] { QCoreApplication::quit(); };

    QString name;
    device->GetAddressName(addressIndex, name);
    say(QStringLiteral("Running %1 on %2").arg(flowFile, name));
    flow.Run(debugRun, parser.isSet(step), addressIndex, -1, -1, -1, 0, 0);
    return app.exec();
}
