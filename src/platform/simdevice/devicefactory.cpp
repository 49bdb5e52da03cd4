#include "devicefactory.h"

std::shared_ptr<ITAPI3Device> createTelephonyDevice(const TelephonyDeviceOptions& options, QString* error)
{
    QString path = options.scenarioFile;
    if (path.isEmpty())
        path = qEnvironmentVariable("SORVIX_SCENARIO");
    Scenario scenario = Scenario::defaultScenario();
    if (!path.isEmpty()) {
        QString why;
        if (!loadScenario(path, scenario, why)) {
            if (error)
                *error = why;
            return nullptr;
        }
    }
    if (options.speed)
        scenario.speed = *options.speed;
    auto device = std::make_shared<SimDevice>(std::move(scenario));
    device->setKeepLog(options.keepLog);
    if (options.log)
        device->setLogCallback(options.log);
    if (error)
        error->clear();
    return device;
}
