#pragma once

#include "engine/device.h"
#include "devices/sim/scenario.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// A telephony device that plays a scenario (see scenario.h) instead of driving real lines.
//
// Time. Each connected call has its own clock in milliseconds that starts at 0 when the call is
// answered (Answer for a call that rang, a successful MakeCall for one we placed). The caller's
// digits and hang-up happen at fixed points of that clock; operations move the clock on by what
// they last: a play by the length of its file, a record up to its maximum, a sleep by its tenths,
// a speech by 80 ms per character, a sent digit by 100 ms, a ring by "ring_ms". The device turns
// clock time into real waiting at its speed (1.0 real time); a speed of 0, or 1e6 and more, does
// not wait at all, so an operation that would never end on its own (a wait for a call that the
// scenario does not have, a sleep of 0 tenths without digits to end it) waits for Abort.
//
// Rules every channel follows:
// - An operation that starts on a line whose caller has hung up returns 2 at once; one that is
//   running when the caller hangs up ends then and returns 2. An event due exactly when an
//   operation would end anyway lets it end normally and falls to the next operation.
// - Digits pressed go into a buffer. ReceiveDTMF takes them from there (type-ahead included);
//   an interruptible play, record, sleep or speech ends at once when a digit is waiting or
//   arrives, and leaves the digits in the buffer for the next ReceiveDTMF.
// - ReceiveDTMF ends when maxLength digits are in, when endDigit comes (it is not returned), or
//   when timeOut seconds (plus timeOutFirstAdd for the first digit) pass without a digit; a
//   time-out returns 0 with the digits collected so far.
// - Abort makes the running operation and every later one return 4 at once, until the channel
//   is closed. Operations on a closed channel return 1.
// - A forced result ("force" in the scenario) is returned at once, without doing anything.
// - MakeCall and WaitRing drop the call that is on the line; EndPass drops it too.
//   GatewayCall keeps the caller on the line and returns when the far end hangs up or the
//   maximum length is reached (0), or the caller hangs up (2).
// - Without a call on the line, play, record, sleep, speech and digits work as on a silent line
//   where nobody presses a key; Answer fails (1).

struct SimLogEntry {
    int address = -1;
    QString addressName;
    QString operation;
    QString arguments;
    int32_t result = 0;
    QString detail;      // what ended the operation and what it gave back
    int64_t callMs = 0;  // the call clock when the operation ended

    // "Line 1: PlayFile("/x/hello.wav", true) = 0 [interrupted by a digit]"
    QString text() const;
};

struct SimState;

class SimChannel : public IIVRAddress {
public:
    SimChannel(std::shared_ptr<SimState> state, int address, int gateway, int waveOut, int waveIn, int hook,
               int transmitDtmf);
    ~SimChannel() override;

    int32_t Answer() override;
    int32_t PlayFile(const QString& file, bool interruptible) override;
    int32_t ReceiveDTMF(QString& digits, int maxLength, int endDigit, int timeOut, int timeOutFirstAdd) override;
    int32_t EndPass() override;
    int32_t BeginPass() override;
    int32_t Abort() override;
    int32_t Speak(const QString& textOrFile, bool interruptible, bool supportXml, bool isFile) override;
    int32_t RecordFile(const QString& file, bool interruptible, int maxLengthSeconds) override;
    int32_t WaitRing(int ringCount, QString& caller, QString& called) override;
    int32_t MakeCall(const QString& number, int addressType, int timeOut) override;
    int32_t Sleep(bool interruptible, int tenths) override;
    int32_t SendDTMF(const QString& digits) override;
    int32_t GatewayCall(const QString& number, const QString& otherGateway, int addressType, int timeOut,
                        int32_t maxLength) override;
    int32_t SetHookSwitch(int hookMode) override;
    QString LastErrorText() override;

    int address() const { return address_; }
    // True while an operation waits (in real time or for Abort); lets tests abort mid-operation.
    bool isWaiting() const { return waiting_.load() > 0; }
    // Ends a waiting operation (it returns 4) and makes every later one fail. Used by the device.
    void close();

private:
    enum class Stop { Done, Digit, HungUp, Aborted };
    enum class Line { Idle, Offered, Connected, HungUp };
    struct Op;
    struct Nap {
        bool aborted = false;
        int64_t sleptMs = 0;
    };

    int32_t run(const char* name, QString arguments, const std::function<int32_t(QString&)>& body);
    Nap nap(int64_t ms);
    Stop advance(int64_t durationMs, bool stopOnDigit);
    void processDue();
    void drop();
    void connect(const CallTimeline& timeline);
    int32_t stopResult(Stop stop, QString& detail, const QString& doneDetail = QString());

    const std::shared_ptr<SimState> state_;
    const int address_;
    const int gateway_;
    int hook_;

    // What the line is doing; only the thread that runs an operation touches it (under opMutex_).
    std::mutex opMutex_;
    Line line_ = Line::Idle;
    CallTimeline timeline_;
    ForcedResults callForce_;
    size_t nextDigit_ = 0;
    QString buffer_;
    int64_t now_ = 0;
    QString lastError_;  // the detail of the last operation that failed

    // Abort and close may come from any thread.
    std::mutex abortMutex_;
    std::condition_variable wake_;
    bool aborted_ = false;
    bool closed_ = false;
    std::atomic<int> waiting_{0};
};

class SimDevice : public ITAPI3Device {
public:
    explicit SimDevice(Scenario scenario = Scenario::defaultScenario());
    ~SimDevice() override;

    int32_t OpenChannel(int addressIndex, ChannelPtr& out, int gatewayIndex, int waveOut, int waveIn, int hookValue,
                        int transmitDtmf) override;
    int32_t CloseChannel(int addressIndex, ChannelPtr channel) override;
    int32_t GetAddressName(int index, QString& name) override;
    int32_t GetAddressCount(int& count) override;
    int32_t GetGatewayAddress(int& index) override;
    QString OpenFailureText(int addressIndex, int32_t result) override;

    const Scenario& scenario() const;
    double speed() const;
    void setSpeed(double speed);

    // The operations of every channel, in the order they ended.
    std::vector<SimLogEntry> log() const;
    QStringList logText() const;
    // Stop keeping the log (long benchmark runs); the callback still sees every entry.
    void setKeepLog(bool keep);
    // Called for every entry as it is logged, in log order, on the operating thread; it must not
    // call back into the device.
    void setLogCallback(std::function<void(const SimLogEntry&)> callback);

private:
    std::shared_ptr<SimState> state_;
};
