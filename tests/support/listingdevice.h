#pragma once

#include <QStringList>

#include "engine/device.h"

// A device that only lists its addresses; opening a channel fails.
class ListingDevice : public ITAPI3Device {
public:
    QStringList names;
    int gateway = -1;
    int32_t OpenChannel(int, ChannelPtr& out, int, int, int, int, int) override
    {
        out.reset();
        return ChannelResult::Failed;
    }
    int32_t CloseChannel(int, ChannelPtr) override { return 0; }
    int32_t GetAddressName(int index, QString& name) override
    {
        name = names.value(index);
        return 0;
    }
    int32_t GetAddressCount(int& count) override
    {
        count = int(names.size());
        return 0;
    }
    int32_t GetGatewayAddress(int& index) override
    {
        index = gateway;
        return 0;
    }
};
