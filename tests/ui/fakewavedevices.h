#pragma once

#include <QStringList>

#include "channels/channeloptions.h"

// Sound devices a test names.
class FakeWaveDevices : public WaveDeviceList {
public:
    FakeWaveDevices(QStringList outputs, QStringList inputs) : outputs_(std::move(outputs)), inputs_(std::move(inputs)) {}
    QStringList outputDevices() const override { return outputs_; }
    QStringList inputDevices() const override { return inputs_; }

private:
    QStringList outputs_, inputs_;
};
