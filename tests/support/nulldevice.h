#pragma once

#include <memory>

#include "engine/device.h"

// A line on which every operation succeeds at once.
class NullChannel : public IIVRAddress {
public:
    int32_t Answer() override { return 0; }
    int32_t PlayFile(const QString&, bool) override { return 0; }
    int32_t ReceiveDTMF(QString&, int, int, int, int) override { return 0; }
    int32_t EndPass() override { return 0; }
    int32_t BeginPass() override { return 0; }
    int32_t Abort() override { return 0; }
    int32_t Speak(const QString&, bool, bool, bool) override { return 0; }
    int32_t RecordFile(const QString&, bool, int) override { return 0; }
    int32_t WaitRing(int, QString&, QString&) override { return 0; }
    int32_t MakeCall(const QString&, int, int) override { return 0; }
    int32_t Sleep(bool, int) override { return 0; }
    int32_t SendDTMF(const QString&) override { return 0; }
    int32_t GatewayCall(const QString&, const QString&, int, int, int32_t) override { return 0; }
    int32_t SetHookSwitch(int) override { return 0; }
};

// A device of `count` such lines, named "Line 1" and up, without a gateway.
class NullDevice : public ITAPI3Device {
public:
    explicit NullDevice(int count = 1) : count_(count) {}
    int32_t OpenChannel(int, ChannelPtr& out, int, int, int, int, int) override
    {
        out = std::make_shared<NullChannel>();
        return 0;
    }
    int32_t CloseChannel(int, ChannelPtr) override { return 0; }
    int32_t GetAddressName(int index, QString& name) override
    {
        name = QStringLiteral("Line %1").arg(index + 1);
        return 0;
    }
    int32_t GetAddressCount(int& count) override
    {
        count = count_;
        return 0;
    }
    int32_t GetGatewayAddress(int& index) override
    {
        index = -1;
        return 0;
    }

private:
    int count_;
};
