#pragma once

// Helpers for the tests of the console's channel supervision: a simulated device that lets a test
// see whether a channel waits, small flow files, the examples folder and bounded waits.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "channels/channeloptions.h"
#include "engine/device.h"
#include "devices/sim/simdevice.h"
#include "support/files.h"

namespace suptest {

// The simulated device, keeping the channels it opened so that a test can ask whether one waits
// (in WaitRing without a call, or in a sleep without end) before it acts.
class WatchedDevice : public ITAPI3Device {
public:
    explicit WatchedDevice(Scenario scenario) : sim(std::make_shared<SimDevice>(std::move(scenario))) {}

    int32_t OpenChannel(int addressIndex, ChannelPtr& out, int gatewayIndex, int waveOut, int waveIn, int hookValue,
                        int transmitDtmf) override
    {
        const int32_t result = sim->OpenChannel(addressIndex, out, gatewayIndex, waveOut, waveIn, hookValue, transmitDtmf);
        if (out) {
            std::lock_guard lock(mutex_);
            opened_[addressIndex] = out;
        }
        return result;
    }
    int32_t CloseChannel(int addressIndex, ChannelPtr channel) override { return sim->CloseChannel(addressIndex, channel); }
    int32_t GetAddressName(int index, QString& name) override { return sim->GetAddressName(index, name); }
    int32_t GetAddressCount(int& count) override { return sim->GetAddressCount(count); }
    int32_t GetGatewayAddress(int& index) override { return sim->GetGatewayAddress(index); }
    QString OpenFailureText(int addressIndex, int32_t result) override { return sim->OpenFailureText(addressIndex, result); }

    // Whether the channel last opened on the address waits in an operation now.
    bool waiting(int address) const
    {
        std::lock_guard lock(mutex_);
        const auto it = opened_.find(address);
        const auto* channel = it == opened_.end() ? nullptr : dynamic_cast<const SimChannel*>(it->second.get());
        return channel && channel->isWaiting();
    }
    // Log entries of one operation (on one address, or on all with -1) with the given result
    // (any with -1000).
    int count(const QString& operation, int address = -1, int result = -1000) const
    {
        int n = 0;
        for (const SimLogEntry& e : sim->log())
            if (e.operation == operation && (address < 0 || e.address == address) && (result == -1000 || e.result == result))
                ++n;
        return n;
    }

    const std::shared_ptr<SimDevice> sim;

private:
    mutable std::mutex mutex_;
    std::map<int, ChannelPtr> opened_;
};

// Lines "Line 1" to "Line n" (and more names after them), at speed 0, each with `calls` calls of
// the given JSON-free shape: answered at once, digits pressed, the caller hanging up after
// hangupMs (never when negative).
inline Scenario lines(int n, int calls = 0, const QString& digits = QString(), int64_t hangupMs = -1,
                      const QStringList& more = {})
{
    Scenario s;
    s.speed = 0;
    s.speechEngine = true;
    s.ringMs = 10;
    QStringList names;
    for (int i = 1; i <= n; ++i) names << QStringLiteral("Line %1").arg(i);
    names << more;
    for (const QString& name : names) {
        ScriptedAddress line;
        line.name = name;
        for (int c = 0; c < calls; ++c) {
            ScriptedCall call;
            call.caller = QStringLiteral("555%1").arg(c, 4, 10, QLatin1Char('0'));
            call.called = QStringLiteral("8000");
            if (!digits.isEmpty()) call.timeline.digits.push_back({50, digits});
            if (hangupMs >= 0) call.timeline.hangupMs = hangupMs;
            line.calls.push_back(call);
        }
        s.addresses.push_back(line);
    }
    return s;
}

inline QString examplesFolder()
{
    return QStringLiteral(SORVIX_FIXTURES "/../../examples");
}

// Copies the example flow and its prompts into folder; returns the flow file's path.
inline QString copyWelcome(const QString& folder)
{
    QDir().mkpath(folder + QStringLiteral("/wav"));
    const QDir wav(examplesFolder() + QStringLiteral("/wav"));
    for (const QString& name : wav.entryList(QDir::Files)) QFile::copy(wav.filePath(name), folder + QStringLiteral("/wav/") + name);
    const QString flow = folder + QStringLiteral("/welcome.svx");
    QFile::copy(examplesFolder() + QStringLiteral("/welcome.svx"), flow);
    return flow;
}

using testfiles::writeFile;

// Waits for a call, answers it; the pass then ends and the next waits again.
inline const QByteArray ServeFlow = "object IVRVar\nend\n"
                                    "object IVRBegin\n"
                                    "  object IVRRing\n    Times = 1\n  end\n"
                                    "  object IVRAnswer\n  end\n"
                                    "end\n"
                                    "object IVREnd\nend\n";

// Answers a call and then stays in it until it is stopped (a sleep without end on a silent line).
inline const QByteArray BusyFlow = "object IVRVar\nend\n"
                                   "object IVRBegin\n"
                                   "  object IVRRing\n    Times = 1\n  end\n"
                                   "  object IVRAnswer\n  end\n"
                                   "  object IVRSleep\n    Interruptible = False\n    MaxLength = 0\n  end\n"
                                   "end\n"
                                   "object IVREnd\nend\n";

// No sound devices.
class NoWaveDevices : public WaveDeviceList {
public:
    QStringList outputDevices() const override { return {}; }
    QStringList inputDevices() const override { return {}; }
};

// Serves the event loop until done() holds or the time is up; answers done().
inline bool waitUntil(const std::function<bool()>& done, int ms = 30000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

}  // namespace suptest
