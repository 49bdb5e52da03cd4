#pragma once

#include <QObject>
#include <QStringList>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "channels/channeloptions.h"
#include "engine/flowfile.h"

class ConsoleConfig;
class ITAPI3Device;
class RegistryStore;

// The console's channels without any window: one row per channel name, each with its settings
// (TChannelOptions) and, while it runs, its flow. The main window shows the rows and calls in;
// everything here runs on the main thread, the runners' events reach it as hand-overs (engine/handover.h).
//
// Each start of a channel is a run with a number of its own. The events of a run's flow (connected,
// waiting, finished) are keyed by channel and run, so an event that arrives after its run ended is
// dropped, whatever flow now runs on the channel.
class ChannelSupervisor : public QObject {
    Q_OBJECT
public:
    // The state column: nothing before the first start and after a reset.
    // Running: started, between calls, in a flow that does not wait for calls.
    enum class State { None, Stop, WaitForCall, Connected, Running };

    ChannelSupervisor(std::shared_ptr<ITAPI3Device> device, RegistryStore* store, const ConsoleConfig* config,
                      const QStringList& channelNames, int gatewayAddressIndex, QObject* parent = nullptr);
    // Stops every running channel.
    ~ChannelSupervisor() override;

    const QStringList& channelNames() const { return names_; }
    int channelCount() const { return int(names_.size()); }
    bool isRunning(int channel) const;

    // One record per channel row, in row order.
    std::vector<TChannelOptions> FChannels;
    // The device's own gateway address, which any number of channels may share.
    const int FGatewayAddressIndex;

    // The columns of a channel row: the address name, the gateway name (empty with the gateway
    // off) and the state text.
    QString addressText(int channel) const;
    QString gatewayText(int channel) const;
    State state(int channel) const;
    QString stateText(int channel) const;
    // Why the channel is not running although it should: its runner ended by itself (for example
    // its line was already open), or its start with the console failed. Cleared by a start, a
    // stop and a reset.
    QString stopReason(int channel) const;
    // Records why the channel did not start with the console; the row shows it.
    void setStartFailure(int channel, const QString& error);
    // The number of the channel's latest run; 0 before its first start.
    uint64_t runNumber(int channel) const;

    // Reads every channel's settings from "Software\Sorvix\Authorizated\" + its name (the key is
    // created when missing). The lists are the channel properties dialog's: stored names are
    // looked up in them. Of several channels that name one address (or one gateway), the first
    // keeps it, except for the device's gateway address. False with a text in error when the
    // store failed; the channels read by then keep their settings, the others none.
    bool LoadChannelOptions(const ChannelOptionLists& lists, QString* error = nullptr);
    const ChannelOptionLists& lists() const { return lists_; }
    // Every stopped channel without settings, in memory only (the store is not touched).
    void ForgetChannelOptions();

    // The flow file that the address reaches: its application's, or its group's application's;
    // empty when none.
    QString GetAddressFlowFile(int address) const;

    // Starts a channel; false with a text in error when it could not start. A running channel is
    // left as it is (true, no error).
    bool StartChannel(int channel, QString* error);
    // Stops a running channel and frees its flow; a stopped one is left as it is.
    void StopChannel(int channel);
    // Stops several channels: every runner is asked to stop first, then each is waited for, so
    // the stops overlap.
    void StopChannels(const std::vector<int>& channels);
    void StopAll();

    // The channel properties dialog's address check: the text is left empty when neither the
    // address nor the gateway (-1: gateway off) is used by a running channel, as address or as
    // gateway. The device's gateway address is free for all.
    void CheckAddressInUse(int address, int gateway, QString* error) const;

    // The property command's OK on a stopped channel: stores the record (with its auto-start
    // value) and takes its address, and its gateway, from every other channel that has them.
    // False with a text in error, and nothing changed, when the store failed.
    bool SetChannelOptions(int channel, const TChannelOptions& options, QString* error);
    // Clears a stopped channel's settings and state in memory and in its key. False (with error)
    // when the channel runs or the store failed; nothing is changed then.
    bool ResetChannelOptions(int channel, QString* error);

    // The hand-overs of a run's events, on the main thread; an event of a run that is no longer
    // the channel's running one is dropped.
    void FlowConnect(int channel, uint64_t run);
    void FlowHangUp(int channel, uint64_t run);
    void FlowFinish(int channel, uint64_t run);

    // State hand-overs posted to the main thread and not yet delivered. A run posts its state
    // only when it changes and keeps at most one hand-over queued (the latest state wins), so
    // this stays at or below the number of running channels however fast their flows spin.
    int pendingStateEvents() const { return pendingStates_.load(); }

signals:
    // A channel's state column changed (started, connected, waiting, stopped, reset).
    void channelStateChanged(int channel);
    // A channel's address or gateway column changed.
    void channelOptionsChanged(int channel);

private:
    // Has a runner thread made ahead for every channel that has an address, so starting them
    // all at once is a wake-up each.
    void reserveRunners();
    bool validChannel(int channel) const { return channel >= 0 && channel < channelCount(); }
    QString addressName(int address) const;
    // The in-use check against every running channel but one.
    void checkInUse(int address, int gateway, int except, QString* error) const;
    void setState(int channel, State state);
    struct StateMailbox;
    // Runs the hand-overs of the runner threads.
    bool event(QEvent* e) override;
    // Delivers a run's latest state on the main thread.
    void deliverState(StateMailbox& box, int channel, uint64_t run);
    // Queues a run's state for the main thread; called on the runner thread.
    void offerState(const std::shared_ptr<StateMailbox>& box, int channel, uint64_t run, State state);
    // Ends the channel's flow after its runner ended: frees the flow and shows "Stop".
    void release(int channel);

    std::shared_ptr<ITAPI3Device> device_;
    RegistryStore* store_;
    const ConsoleConfig* config_;
    const QStringList names_;
    ChannelOptionLists lists_;
    std::vector<State> states_;
    // What each run shows between calls: waiting for one, or running when its flow never waits.
    std::vector<State> idle_;
    std::vector<uint64_t> runs_;
    std::vector<QString> reasons_;
    // The channels whose stop is waiting for their runner to end.
    std::vector<bool> releasing_;
    // The lines (address, gateway or -1) each running channel took at its start, and the running
    // channels by those lines, for the in-use check.
    std::vector<std::array<int, 2>> linesAtStart_;
    std::unordered_multimap<int, int> runningOnLine_;
    uint64_t nextRun_ = 0;
    std::atomic<int> pendingStates_{0};
    // Each application's flow file is read once for all its channels (again once it changed).
    FlowFileCache flowFiles_;
};
