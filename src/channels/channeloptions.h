#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

class ITAPI3Device;
class RegistryKey;
class TIVRFlow;

// How a flow is attached to the telephony device: one console channel, or the editor's debug
// options. The record's invariant: with UseGateway false, Gateway is -1 and ModemPlay,
// ModemRecord, HookSwitchMode and TransmitDTMF are 0.
struct TChannelOptions {
    TIVRFlow* RunningFlow = nullptr;  // the console's running flow of the channel; not stored
    int32_t Address = -1;             // index in the device's address list, -1 none
    bool AutoStart = false;           // the console starts the channel when it starts
    bool UseGateway = false;
    int32_t Gateway = -1;             // index in the same address list, -1 none
    int32_t ModemPlay = 0;            // 0 the line itself, n wave-out device n-1
    int32_t ModemRecord = 0;          // 0 the line itself, n wave-in device n-1
    uint8_t HookSwitchMode = 0;       // THookSwitchMode ordinal
    int32_t TransmitDTMF = 0;         // -1 forward digits through the gateway, 0 not

    bool operator==(const TChannelOptions&) const = default;
};

// The registry keys that hold channel options: the editor's debug options directly under the
// product key, each console channel in a key of its own below "Authorizated".
QString productKeyPath();
QString channelKeyPath(const QString& channelName);

// The sound devices the gateway audio can go through.
class WaveDeviceList {
public:
    virtual ~WaveDeviceList() = default;
    virtual QStringList outputDevices() const = 0;
    virtual QStringList inputDevices() const = 0;

    // The system's devices (QtMultimedia); empty lists when the build has no multimedia.
    static std::unique_ptr<WaveDeviceList> system();
};

// The lists that the stored texts are looked up in and taken from: an item's position is its
// index in the record. Plays and Records start with the line's own entry.
struct ChannelOptionLists {
    QStringList Addresses;
    QStringList Plays;
    QStringList Records;

    // Asks the device for its address names in index order (no device: none) and the wave list
    // for its devices, behind the default entries of the current language.
    static ChannelOptionLists collect(ITAPI3Device* device, const WaveDeviceList& waves);
};

// Reads a record from the values of key. Missing values, values of the other type and texts no
// longer in the lists give the values of an empty key. Returns false, with a text for the user
// in error, only when the store itself fails; the fields not read by then keep those values.
// RunningFlow is left alone.
bool readChannelOptions(const RegistryKey& key, const ChannelOptionLists& lists, TChannelOptions& options,
                        QString* error);

// Writes a record into key (created when missing), "AutoStart" only when writeAutoStart; the
// gateway state is the record's UseGateway. A value that the record leaves without meaning (no
// address, the gateway values with the gateway off, a hook mode or device index outside its range)
// is removed, so that reading the key gives the record back. The gateway on without a gateway
// address has no stored form: it is written as the gateway off. All or nothing: on failure the key
// is unchanged and error holds a text for the user.
bool writeChannelOptions(const RegistryKey& key, const ChannelOptionLists& lists, const TChannelOptions& options,
                         bool writeAutoStart, QString* error);
