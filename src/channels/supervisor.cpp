#include "channels/supervisor.h"

#include <QEvent>
#include <QFileInfo>

#include "channels/admintexts.h"
#include "channels/configmodel.h"
#include "engine/device.h"
#include "engine/flow.h"
#include "engine/handover.h"
#include "engine/runner.h"
#include "engine/statements/line.h"
#include "engine/texts.h"
#include "platform/registry.h"

namespace {

// Whether the flow waits for calls at all: it has a ring statement that is not disabled.
bool waitsForCalls(const TIVRFlow& flow)
{
    for (FlowNode* n = flow.tree().first(); n; n = n->nextInTree())
        if (const TIVRBase* s = n->statement(); s && s->enabled() && &s->classInfo() == &IVRRing::info) return true;
    return false;
}

QString storeFailure(const RegistryKey& key, bool reading = false)
{
    const QString& prefix = reading ? txt::OptionLoadError : txt::OptionSaveError;
    return prefix + key.path() + QStringLiteral("\r\n") + key.errorString();
}

}  // namespace

// What the runner has not yet handed over: the latest state of one run. latest and posted are
// shared with the main thread; lastOffered belongs to the runner thread.
struct ChannelSupervisor::StateMailbox {
    std::atomic<int> latest{int(State::WaitForCall)};
    std::atomic<bool> posted{false};
    State lastOffered = State::WaitForCall;  // a run starts waiting for a call
};

ChannelSupervisor::ChannelSupervisor(std::shared_ptr<ITAPI3Device> device, RegistryStore* store,
                                     const ConsoleConfig* config, const QStringList& channelNames,
                                     int gatewayAddressIndex, QObject* parent)
    : QObject(parent),
      FChannels(size_t(channelNames.size())),
      FGatewayAddressIndex(gatewayAddressIndex),
      device_(std::move(device)),
      store_(store),
      config_(config),
      names_(channelNames),
      states_(size_t(channelNames.size()), State::None),
      idle_(size_t(channelNames.size()), State::WaitForCall),
      runs_(size_t(channelNames.size()), 0),
      reasons_(size_t(channelNames.size())),
      releasing_(size_t(channelNames.size()), false),
      linesAtStart_(size_t(channelNames.size()), {-1, -1})
{
}

ChannelSupervisor::~ChannelSupervisor()
{
    // Nobody is told any more: the owner is going away.
    blockSignals(true);
    StopAll();
}

bool ChannelSupervisor::isRunning(int channel) const
{
    return validChannel(channel) && FChannels[size_t(channel)].RunningFlow != nullptr;
}

// ---- the columns ----

QString ChannelSupervisor::addressName(int address) const
{
    if (address < 0) return {};
    if (address < lists_.Addresses.size()) return lists_.Addresses[address];
    if (config_ && size_t(address) < config_->addresses().size()) return config_->addresses()[size_t(address)].name;
    return {};
}

QString ChannelSupervisor::addressText(int channel) const
{
    return validChannel(channel) ? addressName(FChannels[size_t(channel)].Address) : QString();
}

QString ChannelSupervisor::gatewayText(int channel) const
{
    if (!validChannel(channel)) return {};
    const TChannelOptions& o = FChannels[size_t(channel)];
    return o.UseGateway ? addressName(o.Gateway) : QString();
}

ChannelSupervisor::State ChannelSupervisor::state(int channel) const
{
    return validChannel(channel) ? states_[size_t(channel)] : State::None;
}

QString ChannelSupervisor::stateText(int channel) const
{
    switch (state(channel)) {
    case State::Stop: return adm::StateStop;
    case State::WaitForCall: return adm::StateWaitForCall;
    case State::Connected: return adm::StateConnected;
    case State::Running: return adm::StateRunning;
    case State::None: break;
    }
    return {};
}

QString ChannelSupervisor::stopReason(int channel) const
{
    return validChannel(channel) ? reasons_[size_t(channel)] : QString();
}

void ChannelSupervisor::setStartFailure(int channel, const QString& error)
{
    if (!validChannel(channel) || isRunning(channel)) return;
    reasons_[size_t(channel)] = QString(error).replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    emit channelStateChanged(channel);
}

uint64_t ChannelSupervisor::runNumber(int channel) const
{
    return validChannel(channel) ? runs_[size_t(channel)] : 0;
}

void ChannelSupervisor::setState(int channel, State state)
{
    states_[size_t(channel)] = state;
    emit channelStateChanged(channel);
}

// ---- settings ----

bool ChannelSupervisor::LoadChannelOptions(const ChannelOptionLists& lists, QString* error)
{
    if (error) error->clear();
    lists_ = lists;
    for (int i = 0; i < channelCount(); ++i) {
        TChannelOptions& o = FChannels[size_t(i)];
        if (store_) {
            const RegistryKey key(store_, channelKeyPath(names_[i]));
            QString failure;
            // Loading only reads: a missing key reads as no settings (saving creates it).
            if (!readChannelOptions(key, lists_, o, &failure)) {
                if (error) *error = failure.isEmpty() ? storeFailure(key, true) : failure;
                emit channelOptionsChanged(i);
                return false;
            }
        }
        // Of several channels that name one address, the first keeps it; the registry stays.
        for (int j = 0; j < i; ++j) {
            const TChannelOptions& earlier = FChannels[size_t(j)];
            if (o.Address >= 0 && o.Address != FGatewayAddressIndex && o.Address == earlier.Address) o.Address = -1;
            if (o.Gateway >= 0 && o.Gateway != FGatewayAddressIndex && o.Gateway == earlier.Gateway) o.Gateway = -1;
        }
        emit channelOptionsChanged(i);
    }
    reserveRunners();
    return true;
}

void ChannelSupervisor::reserveRunners()
{
    size_t runnable = 0;
    for (const TChannelOptions& o : FChannels)
        if (o.Address >= 0) ++runnable;
    TFlowThread::reserveThreads(runnable);
}

void ChannelSupervisor::ForgetChannelOptions()
{
    for (int i = 0; i < channelCount(); ++i) {
        if (isRunning(i)) continue;
        FChannels[size_t(i)] = TChannelOptions();
        emit channelOptionsChanged(i);
    }
}

bool ChannelSupervisor::SetChannelOptions(int channel, const TChannelOptions& options, QString* error)
{
    error->clear();
    if (!validChannel(channel) || isRunning(channel)) return false;
    TChannelOptions record = options;
    record.RunningFlow = nullptr;

    // The other channels that lose their address or their gateway to this one.
    std::vector<int> loseAddress, loseGateway;
    for (int j = 0; j < channelCount(); ++j) {
        if (j == channel) continue;
        const TChannelOptions& other = FChannels[size_t(j)];
        if (record.Address >= 0 && record.Address != FGatewayAddressIndex && record.Address == other.Address)
            loseAddress.push_back(j);
        if (record.UseGateway && other.UseGateway && record.Gateway >= 0 && record.Gateway != FGatewayAddressIndex &&
            record.Gateway == other.Gateway)
            loseGateway.push_back(j);
    }

    if (store_) {
        RegistryKey failed;
        const bool ok = store_->transaction([&] {
            const RegistryKey key(store_, channelKeyPath(names_[channel]));
            if (!writeChannelOptions(key, lists_, record, true, error)) return false;
            auto clear = [&](int j, const QString& value) {
                const RegistryKey other(store_, channelKeyPath(names_[j]));
                if (other.create() && other.writeString(value, QString())) return true;
                failed = other;
                return false;
            };
            for (int j : loseAddress)
                if (!clear(j, QStringLiteral("Address"))) return false;
            for (int j : loseGateway)
                if (!clear(j, QStringLiteral("Gateway"))) return false;
            return true;
        });
        if (!ok) {
            if (error->isEmpty()) *error = storeFailure(failed.isNull() ? RegistryKey(store_, channelKeyPath(names_[channel])) : failed);
            return false;
        }
    }

    FChannels[size_t(channel)] = record;
    emit channelOptionsChanged(channel);
    for (int j : loseAddress) {
        FChannels[size_t(j)].Address = -1;
        emit channelOptionsChanged(j);
    }
    // The channel keeps its gateway switched on without a gateway: its start says so.
    for (int j : loseGateway) {
        FChannels[size_t(j)].Gateway = -1;
        emit channelOptionsChanged(j);
    }
    reserveRunners();
    return true;
}

bool ChannelSupervisor::ResetChannelOptions(int channel, QString* error)
{
    error->clear();
    if (!validChannel(channel)) return false;
    if (isRunning(channel)) {
        *error = names_[channel] + adm::ChannelRunning;
        return false;
    }
    if (store_) {
        const RegistryKey key(store_, channelKeyPath(names_[channel]));
        const bool ok = store_->transaction([&] {
            return key.create() && key.writeString(QStringLiteral("Address"), QString()) &&
                   key.writeInteger(QStringLiteral("AutoStart"), 0) &&
                   key.writeString(QStringLiteral("Gateway"), QString()) &&
                   key.writeString(QStringLiteral("ModemPlay"), QString()) &&
                   key.writeString(QStringLiteral("ModemRecord"), QString()) &&
                   key.writeInteger(QStringLiteral("HookSwitchMode"), 0);
        });
        if (!ok) {
            *error = storeFailure(key);
            return false;
        }
    }
    TChannelOptions& o = FChannels[size_t(channel)];
    o.Address = -1;
    o.AutoStart = false;
    o.UseGateway = false;
    o.Gateway = -1;
    o.ModemPlay = 0;
    o.ModemRecord = 0;
    o.HookSwitchMode = 0;
    reasons_[size_t(channel)].clear();
    emit channelOptionsChanged(channel);
    setState(channel, State::None);
    return true;
}

// ---- the address-in-use rules ----

void ChannelSupervisor::CheckAddressInUse(int address, int gateway, QString* error) const
{
    checkInUse(address, gateway, -1, error);
}

void ChannelSupervisor::checkInUse(int address, int gateway, int except, QString* error) const
{
    error->clear();
    const int shared = FGatewayAddressIndex;
    const bool checkAddress = address >= 0 && address != shared;
    const bool checkGateway = gateway >= 0 && gateway != shared;
    // Only a channel that took one of these lines at its start can hold it now (a running
    // channel's lines only ever go): those are looked at, in channel order.
    std::vector<int> holders;
    for (const auto& [line, checked] : {std::pair{address, checkAddress}, std::pair{gateway, checkGateway}}) {
        if (!checked) continue;
        const auto [from, to] = runningOnLine_.equal_range(line);
        for (auto it = from; it != to; ++it) holders.push_back(it->second);
    }
    std::sort(holders.begin(), holders.end());
    holders.erase(std::unique(holders.begin(), holders.end()), holders.end());
    for (const int j : holders) {
        const TChannelOptions& r = FChannels[size_t(j)];
        if (j == except || !r.RunningFlow) continue;
        const int runningGateway = r.UseGateway ? r.Gateway : -1;
        if (checkAddress && address == r.Address) *error = addressName(address) + adm::AddressInUse;
        else if (checkGateway && gateway == runningGateway) *error = addressName(gateway) + adm::GatewayInUse;
        // One line serves one channel: an address may not be a running channel's gateway, nor a
        // gateway a running channel's address.
        else if (checkAddress && address == runningGateway) *error = addressName(address) + adm::GatewayInUse;
        else if (checkGateway && gateway == r.Address) *error = addressName(gateway) + adm::AddressInUse;
        if (!error->isEmpty()) return;
    }
}

// ---- running ----

QString ChannelSupervisor::GetAddressFlowFile(int address) const
{
    return config_ ? config_->addressFlowFile(address) : QString();
}

bool ChannelSupervisor::StartChannel(int channel, QString* error)
{
    error->clear();
    if (!validChannel(channel)) return false;
    const TChannelOptions& o = FChannels[size_t(channel)];
    if (o.RunningFlow) return true;
    if (o.Address < 0) {
        *error = adm::AddressEmpty;
        return false;
    }
    if (o.UseGateway && o.Gateway < 0) {
        *error = adm::GatewayEmpty;
        return false;
    }
    const QString file = GetAddressFlowFile(o.Address);
    if (file.isEmpty()) {
        const bool bound = config_ && size_t(o.Address) < config_->addresses().size() &&
                           config_->addresses()[size_t(o.Address)].binding != ConsoleConfig::Binding::None;
        *error = addressName(o.Address) + (bound ? adm::FlowFileEmpty : adm::ApplicationEmpty);
        return false;
    }
    // Something that is there but no regular file (a pipe, a device, a folder) is left to the
    // load, which refuses it and says why.
    if (!QFileInfo::exists(file)) {
        *error = file + adm::FlowFileNotExistent;
        return false;
    }
    const int gateway = o.UseGateway ? o.Gateway : -1;
    checkInUse(o.Address, gateway, channel, error);
    if (!error->isEmpty()) return false;

    QString loadError;
    auto* flow = new TIVRFlow(this, file, false, &loadError, &flowFiles_);
    if (!loadError.isEmpty()) {
        delete flow;
        *error = loadError + QStringLiteral(", ") + file;
        return false;
    }
    const uint64_t run = ++nextRun_;
    runs_[size_t(channel)] = run;
    FChannels[size_t(channel)].RunningFlow = flow;
    linesAtStart_[size_t(channel)] = {o.Address, gateway};
    for (const int line : linesAtStart_[size_t(channel)])
        if (line >= 0) runningOnLine_.emplace(line, channel);
    reasons_[size_t(channel)].clear();
    flow->setDevice(device_);

    // Raised on the runner thread: handed to the main thread without waiting for it, which may
    // itself be waiting for this runner to end. A flow that never blocks raises them pass after
    // pass; only a change of state is handed over, and at most one hand-over per run waits.
    // A flow that never waits for a call does not say it does.
    const State idle = waitsForCalls(*flow) ? State::WaitForCall : State::Running;
    idle_[size_t(channel)] = idle;
    auto box = std::make_shared<StateMailbox>();
    box->latest.store(int(idle));
    box->lastOffered = idle;
    flow->OnConnect = [this, box, channel, run](TIVRFlow*) { offerState(box, channel, run, State::Connected); };
    flow->OnHangUp = [this, box, channel, run, idle](TIVRFlow*) { offerState(box, channel, run, idle); };
    // A runner that ends by itself (its channel did not open, an error ended it): the flow is
    // freed once its termination handler is done with it. That handler runs on the main thread.
    flow->OnFinish = [this, channel, run] {
        handOver(this, [this, channel, run] { FlowFinish(channel, run); });
    };

    flow->Run({.addressIndex = o.Address,
               .gatewayIndex = gateway,
               .waveOut = o.ModemPlay - 1,
               .waveIn = o.ModemRecord - 1,
               .hookMode = o.HookSwitchMode,
               .transmitDtmf = o.TransmitDTMF});
    setState(channel, idle);
    return true;
}

void ChannelSupervisor::offerState(const std::shared_ptr<StateMailbox>& box, int channel, uint64_t run, State state)
{
    if (box->lastOffered == state) return;
    box->lastOffered = state;
    box->latest.store(int(state));
    if (box->posted.exchange(true)) return;  // the queued hand-over will carry it
    ++pendingStates_;
    handOver(this, [this, box, channel, run] { deliverState(*box, channel, run); });
}

void ChannelSupervisor::deliverState(StateMailbox& box, int channel, uint64_t run)
{
    --pendingStates_;
    // Cleared before the state is read: a change made after this posts again.
    box.posted.store(false);
    if (State(box.latest.load()) == State::Connected)
        FlowConnect(channel, run);
    else
        FlowHangUp(channel, run);
}

bool ChannelSupervisor::event(QEvent* e)
{
    return runHandOver(e) || QObject::event(e);
}

void ChannelSupervisor::FlowConnect(int channel, uint64_t run)
{
    if (isRunning(channel) && runs_[size_t(channel)] == run && state(channel) != State::Connected)
        setState(channel, State::Connected);
}

void ChannelSupervisor::FlowHangUp(int channel, uint64_t run)
{
    const State idle = validChannel(channel) ? idle_[size_t(channel)] : State::WaitForCall;
    if (isRunning(channel) && runs_[size_t(channel)] == run && state(channel) != idle) setState(channel, idle);
}

void ChannelSupervisor::FlowFinish(int channel, uint64_t run)
{
    if (!isRunning(channel) || runs_[size_t(channel)] != run) return;
    // Nobody stopped it: say why it ended, in its row and in the log.
    const QString why = FChannels[size_t(channel)].RunningFlow->StopReason();
    if (!why.isEmpty()) {
        const QString address = addressName(FChannels[size_t(channel)].Address);
        reasons_[size_t(channel)] = address.isEmpty() ? why : address + QStringLiteral(": ") + why;
        qWarning("SorvixAdmin: %s stopped by itself: %s", qPrintable(names_[channel]),
                 qPrintable(reasons_[size_t(channel)]));
    }
    release(channel);
}

void ChannelSupervisor::release(int channel)
{
    // The wait below serves the event loop, and what it serves (a stop signal closing the console,
    // the runner's own finish) may ask for this channel's stop again: that one is already under way.
    if (releasing_[size_t(channel)]) return;
    releasing_[size_t(channel)] = true;
    TIVRFlow* flow = FChannels[size_t(channel)].RunningFlow;
    flow->OnFinish = nullptr;  // freed here, not by its finish
    flow->Stop();
    releasing_[size_t(channel)] = false;
    // While the stop waited, the main thread served other hand-overs; none frees this flow.
    FChannels[size_t(channel)].RunningFlow = nullptr;
    for (int& line : linesAtStart_[size_t(channel)]) {
        const auto [from, to] = runningOnLine_.equal_range(line);
        for (auto it = from; it != to; ++it) {
            if (it->second != channel) continue;
            runningOnLine_.erase(it);
            break;
        }
        line = -1;
    }
    delete flow;
    setState(channel, State::Stop);
}

void ChannelSupervisor::StopChannel(int channel)
{
    if (!isRunning(channel)) return;
    reasons_[size_t(channel)].clear();
    release(channel);
}

void ChannelSupervisor::StopChannels(const std::vector<int>& channels)
{
    // Ask every runner first: each aborts its channel's blocking operation at once, so the waits
    // below overlap instead of adding up.
    for (int i : channels) {
        if (!isRunning(i)) continue;
        TIVRFlow* flow = FChannels[size_t(i)].RunningFlow;
        flow->OnFinish = nullptr;
        if (TFlowThread* thread = flow->FlowThread()) thread->requestStop();
    }
    for (int i : channels) StopChannel(i);
}

void ChannelSupervisor::StopAll()
{
    std::vector<int> all(static_cast<size_t>(channelCount()));
    for (int i = 0; i < channelCount(); ++i) all[size_t(i)] = i;
    StopChannels(all);
}
