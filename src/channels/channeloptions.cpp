#include "channels/channeloptions.h"

#include <algorithm>

#include "engine/device.h"
#include "engine/texts.h"
#include "engine/typedefine.h"
#include "platform/registry.h"

#ifdef SORVIX_HAVE_MULTIMEDIA
#include <QAudioDevice>
#include <QMediaDevices>
#endif

namespace {

const QString kAutoStart = QStringLiteral("AutoStart");
const QString kAddress = QStringLiteral("Address");
const QString kGateway = QStringLiteral("Gateway");
const QString kModemPlay = QStringLiteral("ModemPlay");
const QString kModemRecord = QStringLiteral("ModemRecord");
const QString kHookSwitchMode = QStringLiteral("HookSwitchMode");
const QString kTransmitDTMF = QStringLiteral("TransmitDTMF");

using Status = RegistryStore::Status;

// Registry texts name addresses and devices as they were displayed; letter case may differ.
int32_t positionOf(const QStringList& list, const QString& text)
{
    for (qsizetype i = 0; i < list.size(); ++i)
        if (list[i].compare(text, Qt::CaseInsensitive) == 0) return int32_t(i);
    return -1;
}

bool inRange(const QStringList& list, int32_t index)
{
    return index >= 0 && index < list.size();
}

QString failureText(const QString& prefix, const RegistryKey& key)
{
    return prefix + key.path() + QStringLiteral("\r\n") + key.errorString();
}

QString loadPrefix()
{
    return txt::OptionLoadError;
}

QString savePrefix()
{
    return txt::OptionSaveError;
}

class EmptyWaveDeviceList : public WaveDeviceList {
public:
    QStringList outputDevices() const override { return {}; }
    QStringList inputDevices() const override { return {}; }
};

#ifdef SORVIX_HAVE_MULTIMEDIA
class MediaWaveDeviceList : public WaveDeviceList {
public:
    QStringList outputDevices() const override { return names(QMediaDevices::audioOutputs()); }
    QStringList inputDevices() const override { return names(QMediaDevices::audioInputs()); }

private:
    static QStringList names(const QList<QAudioDevice>& devices)
    {
        QStringList result;
        for (const QAudioDevice& d : devices) result << d.description();
        return result;
    }
};
#endif

}  // namespace

QString productKeyPath()
{
    return QStringLiteral("Software\\Sorvix");
}

QString channelKeyPath(const QString& channelName)
{
    return productKeyPath() + QStringLiteral("\\Authorizated\\") + channelName;
}

std::unique_ptr<WaveDeviceList> WaveDeviceList::system()
{
#ifdef SORVIX_HAVE_MULTIMEDIA
    return std::make_unique<MediaWaveDeviceList>();
#else
    return std::make_unique<EmptyWaveDeviceList>();
#endif
}

ChannelOptionLists ChannelOptionLists::collect(ITAPI3Device* device, const WaveDeviceList& waves)
{
    ChannelOptionLists lists;
    if (device) {
        int count = 0;
        device->GetAddressCount(count);
        for (int i = 0; i < count; ++i) {
            QString name;
            device->GetAddressName(i, name);
            lists.Addresses << name;
        }
    }
    lists.Plays << txt::OptionDefaultLinePlay << waves.outputDevices();
    lists.Records << txt::OptionDefaultLineRecord << waves.inputDevices();
    return lists;
}

bool readChannelOptions(const RegistryKey& key, const ChannelOptionLists& lists, TChannelOptions& options,
                        QString* error)
{
    error->clear();
    TIVRFlow* const running = options.RunningFlow;
    options = TChannelOptions{};
    options.RunningFlow = running;

    // Each read: Ok gives the value; Missing and WrongType leave the empty key's value.
    bool failed = false;
    auto readText = [&](const QString& name, QString* value) {
        if (failed) return false;
        const Status s = key.readString(name, value);
        if (s == Status::Failed) failed = true;
        return s == Status::Ok;
    };
    auto readNumber = [&](const QString& name, int32_t* value) {
        if (failed) return false;
        const Status s = key.readInteger(name, value);
        if (s == Status::Failed) failed = true;
        return s == Status::Ok;
    };
    auto done = [&] {
        if (failed) *error = failureText(loadPrefix(), key);
        return !failed;
    };

    int32_t number = 0;
    QString text;
    if (readNumber(kAutoStart, &number)) options.AutoStart = number != 0;
    if (readText(kAddress, &text)) options.Address = positionOf(lists.Addresses, text);

    text.clear();
    if (!readText(kGateway, &text) || text.isEmpty()) return done();

    options.UseGateway = true;
    options.Gateway = positionOf(lists.Addresses, text);
    if (readText(kModemPlay, &text)) options.ModemPlay = std::max(0, positionOf(lists.Plays, text));
    if (readText(kModemRecord, &text)) options.ModemRecord = std::max(0, positionOf(lists.Records, text));
    if (readNumber(kHookSwitchMode, &number)) options.HookSwitchMode = hookSwitchModeOfDevice(number);
    if (readNumber(kTransmitDTMF, &number)) options.TransmitDTMF = number != 0 ? -1 : 0;
    return done();
}

bool writeChannelOptions(const RegistryKey& key, const ChannelOptionLists& lists, const TChannelOptions& options,
                         bool writeAutoStart, QString* error)
{
    error->clear();
    if (key.isNull() || !key.store()) {
        *error = savePrefix();
        return false;
    }

    // A value is removed where the record has nothing to store, so no older value comes back.
    auto text = [&](const QString& name, const QStringList& list, int32_t index) {
        if (inRange(list, index)) return key.writeString(name, list[index]);
        return !key.valueExists(name) || key.deleteValue(name);
    };
    auto remove = [&](const QString& name) { return !key.valueExists(name) || key.deleteValue(name); };

    const bool ok = key.store()->transaction([&] {
        if (!key.create()) return false;
        if (writeAutoStart && !key.writeInteger(kAutoStart, options.AutoStart ? 1 : 0)) return false;
        if (!text(kAddress, lists.Addresses, options.Address)) return false;

        // Gateway on without a gateway address cannot be stored: it is kept as gateway off,
        // which is also what the empty value that the console writes for a taken gateway reads as.
        if (!options.UseGateway || !inRange(lists.Addresses, options.Gateway)) {
            return key.writeString(kGateway, QString()) && remove(kModemPlay) && remove(kModemRecord) &&
                   remove(kHookSwitchMode) && remove(kTransmitDTMF);
        }
        if (!key.writeString(kGateway, lists.Addresses[options.Gateway])) return false;
        if (!text(kModemPlay, lists.Plays, options.ModemPlay)) return false;
        if (!text(kModemRecord, lists.Records, options.ModemRecord)) return false;
        const int hook = deviceHookSwitchMode(options.HookSwitchMode);
        if (hook != 0 ? !key.writeInteger(kHookSwitchMode, hook) : !remove(kHookSwitchMode)) return false;
        return key.writeInteger(kTransmitDTMF, options.TransmitDTMF != 0 ? 1 : 0);
    });
    if (!ok) *error = failureText(savePrefix(), key);
    return ok;
}
