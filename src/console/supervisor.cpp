#include "console/supervisor.h"

#include "console/configmodel.h"
#include "engine/device.h"
#include "platform/registry.h"

ChannelSupervisor::ChannelSupervisor(std::shared_ptr<ITAPI3Device> device, RegistryStore* store,
                                     const ConsoleConfig* config, const QStringList& channelNames,
                                     int gatewayAddressIndex, QObject* parent)
    : QObject(parent),
      FChannels(size_t(channelNames.size())),
      FGatewayAddressIndex(gatewayAddressIndex),
      device_(std::move(device)),
      store_(store),
      config_(config),
      names_(channelNames)
{
}

ChannelSupervisor::~ChannelSupervisor() = default;

bool ChannelSupervisor::isRunning(int channel) const
{
    return channel >= 0 && size_t(channel) < FChannels.size() && FChannels[size_t(channel)].RunningFlow != nullptr;
}

// ---- Stubs: the channel supervision fills these in. ----

void ChannelSupervisor::LoadChannelOptions(const ChannelOptionLists&)
{
}

bool ChannelSupervisor::StartChannel(int, QString& error)
{
    error = QStringLiteral("Channels cannot be started yet.");
    return false;
}

void ChannelSupervisor::StopChannel(int)
{
}

void ChannelSupervisor::CheckAddressInUse(int, int, QString& error) const
{
    error.clear();
}
