#pragma once

#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

#include "editor/common/channeloptions.h"

class ConsoleConfig;
class ITAPI3Device;
class RegistryStore;

// The console's channels without any window: one row per channel name, each with its settings
// (TChannelOptions) and, while it runs, its flow. The main window shows the rows and calls in.
//
// Loading the settings, starting, stopping and the address-in-use check are the channel
// supervision's work and are still stubs here: every channel stays stopped.
class ChannelSupervisor : public QObject {
    Q_OBJECT
public:
    ChannelSupervisor(std::shared_ptr<ITAPI3Device> device, RegistryStore* store, const ConsoleConfig* config,
                      const QStringList& channelNames, int gatewayAddressIndex, QObject* parent = nullptr);
    ~ChannelSupervisor() override;

    const QStringList& channelNames() const { return names_; }
    int channelCount() const { return int(names_.size()); }
    bool isRunning(int channel) const;

    // One record per channel row, in row order.
    std::vector<TChannelOptions> FChannels;
    // The device's own gateway address, which any number of channels may share.
    const int FGatewayAddressIndex;

    // Reads every channel's settings from "Software\Sorvix\Authorizated\" + its name.
    void LoadChannelOptions(const ChannelOptionLists& lists);
    // Starts a channel; false with a text in error when it could not start.
    bool StartChannel(int channel, QString& error);
    // Stops a running channel; a stopped one is left as it is.
    void StopChannel(int channel);
    // The handler of the channel properties dialog's address check.
    void CheckAddressInUse(int address, int gateway, QString& error) const;

signals:
    // A channel's state changed (started, connected, waiting, stopped).
    void channelStateChanged(int channel);

private:
    std::shared_ptr<ITAPI3Device> device_;
    RegistryStore* store_;
    const ConsoleConfig* config_;
    const QStringList names_;
};
