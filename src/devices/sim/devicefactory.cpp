#include "devicefactory.h"

#include <QFile>

#include <cstdio>

std::shared_ptr<ITAPI3Device> createTelephonyDevice(const TelephonyDeviceOptions& options, QString* error)
{
    QString path = options.scenarioFile;
    if (path.isEmpty())
        path = qEnvironmentVariable("SORVIX_SCENARIO");
    Scenario scenario = Scenario::defaultScenario();
    if (!path.isEmpty()) {
        QString why;
        if (!loadScenario(path, scenario, &why)) {
            if (error)
                *error = why;
            return nullptr;
        }
    }
    if (options.speed)
        scenario.speed = *options.speed;
    auto device = std::make_shared<SimDevice>(std::move(scenario));
    device->setKeepLog(options.keepLog);
    if (options.log) {
        device->setLogCallback(options.log);
    } else if (const QString logFile = qEnvironmentVariable("SORVIX_DEVICE_LOG"); !logFile.isEmpty()) {
        // One line per operation, written through at once, so the file is complete even when
        // the program ends abruptly. The device calls back one entry at a time.
        std::shared_ptr<std::FILE> out(std::fopen(QFile::encodeName(logFile).constData(), "ae"),
                                       [](std::FILE* f) { if (f) std::fclose(f); });
        if (out) {
            device->setLogCallback([out](const SimLogEntry& entry) {
                std::fputs(entry.text().toUtf8().append('\n').constData(), out.get());
                std::fflush(out.get());
            });
        } else {
            qWarning("cannot open the device log %s", qPrintable(logFile));
        }
    }
    if (error)
        error->clear();
    return device;
}
