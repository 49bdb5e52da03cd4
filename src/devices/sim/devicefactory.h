#pragma once

#include "engine/device.h"
#include "devices/sim/simdevice.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

struct TelephonyDeviceOptions {
    // The scenario file; when empty, the file that SORVIX_SCENARIO names; when that is empty too,
    // the default scenario (four lines "Line 1" to "Line 4", no gateway, no calls).
    QString scenarioFile;
    // Overrides the scenario's speed (1.0 real time, 0 no waiting).
    std::optional<double> speed;
    // Sees every channel operation as it ends, in order (see SimDevice::setLogCallback). When
    // empty and SORVIX_DEVICE_LOG names a file, each operation is appended to that file as a
    // line of text instead.
    std::function<void(const SimLogEntry&)> log;
    // Keep every operation in the device's own log (SimDevice::log). Off by default: nothing in
    // the programs reads it back, and a channel that serves calls for days would fill memory.
    bool keepLog = false;
};

// The one place where the programs and the headless runner get their telephony device.
// Returns null and sets error when the scenario cannot be read.
std::shared_ptr<ITAPI3Device> createTelephonyDevice(const TelephonyDeviceOptions& options = {},
                                                    QString* error = nullptr);
