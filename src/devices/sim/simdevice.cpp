#include "simdevice.h"

#include "platform/wave.h"

#include <QFile>
#include <QRegularExpression>
#include <QtEndian>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <optional>

namespace R = ChannelResult;

namespace {

constexpr int64_t kNever = INT64_MAX;
constexpr int64_t kSpeechMsPerChar = 80;
constexpr int64_t kDigitSendMs = 100;
// Beyond this a speed is taken to mean "do not wait".
constexpr double kInstantSpeed = 1e6;

QString quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }
QString flag(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }

bool validDigit(QChar c)
{
    return (c >= '0' && c <= '9') || c == '*' || c == '#' || (c >= 'A' && c <= 'D');
}

bool validAddressType(int type)
{
    return type == AddressType::PhoneNumber || type == AddressType::DomainName || type == AddressType::IPAddress;
}

bool validHook(int mode)
{
    return mode == HookMode::OnHook || mode == HookMode::Speaker || mode == HookMode::MicSpeaker;
}

// Writes ms of what the line hears: silence, or a sine tone at a quarter of full scale.
bool writeRecording(WaveWriter& writer, int64_t ms, int toneHz)
{
    const WaveFormat format = WaveFormat::telephone();
    const int64_t frames = ms * format.sampleRate / 1000;
    constexpr int64_t kChunk = 8000;
    QByteArray chunk;
    for (int64_t done = 0; done < frames; done += kChunk) {
        const int64_t n = std::min(kChunk, frames - done);
        chunk.fill('\0', n * 2);
        if (toneHz > 0) {
            char* p = chunk.data();
            for (int64_t i = 0; i < n; ++i) {
                const double phase = 2 * std::numbers::pi * toneHz * double((done + i) % format.sampleRate) /
                                     format.sampleRate;
                qToLittleEndian<int16_t>(int16_t(std::lround(8192 * std::sin(phase))), p + 2 * i);
            }
        }
        if (!writer.write(chunk))
            return false;
    }
    return true;
}

}  // namespace

struct SimState {
    explicit SimState(Scenario s)
        : scenario(std::move(s)), speed(scenario.speed), nextCall(scenario.addresses.size()),
          nextOutbound(scenario.addresses.size()), open(scenario.addresses.size())
    {
    }

    bool validAddress(int index) const { return index >= 0 && size_t(index) < scenario.addresses.size(); }

    QString name(int index) const
    {
        return validAddress(index) ? scenario.addresses[index].name : QStringLiteral("#%1").arg(index);
    }

    void append(SimLogEntry entry)
    {
        std::lock_guard lock(mutex);
        if (callback)
            callback(entry);
        if (keepLog)
            log.push_back(std::move(entry));
    }

    std::optional<ScriptedCall> takeCall(int address)
    {
        std::lock_guard lock(mutex);
        const auto& calls = scenario.addresses[address].calls;
        if (nextCall[address] >= calls.size())
            return std::nullopt;
        return calls[nextCall[address]++];
    }

    std::optional<OutboundOutcome> takeOutbound(int address)
    {
        std::lock_guard lock(mutex);
        const auto& outcomes = scenario.addresses[address].outbound;
        if (nextOutbound[address] >= outcomes.size())
            return std::nullopt;
        return outcomes[nextOutbound[address]++];
    }

    const Scenario scenario;  // never changes
    std::atomic<double> speed;

    mutable std::mutex mutex;  // everything below
    std::vector<size_t> nextCall;
    std::vector<size_t> nextOutbound;
    std::vector<std::shared_ptr<SimChannel>> open;
    std::vector<SimLogEntry> log;
    bool keepLog = true;
    std::function<void(const SimLogEntry&)> callback;
};

QString SimLogEntry::text() const
{
    QString s = QStringLiteral("%1: %2(%3) = %4").arg(addressName, operation, arguments).arg(result);
    if (!detail.isEmpty())
        s += QStringLiteral(" [%1]").arg(detail);
    return s;
}

// ---- SimChannel ----

SimChannel::SimChannel(std::shared_ptr<SimState> state, int address, int gateway, int /*waveOut*/, int /*waveIn*/,
                       int hook, int /*transmitDtmf*/)
    : state_(std::move(state)), address_(address), gateway_(gateway), hook_(hook)
{
}

SimChannel::~SimChannel() = default;

void SimChannel::close()
{
    std::lock_guard lock(abortMutex_);
    closed_ = true;
    wake_.notify_all();
}

int32_t SimChannel::run(const char* name, QString arguments, const std::function<int32_t(QString&)>& body)
{
    std::lock_guard op(opMutex_);
    const QString operation = QString::fromLatin1(name);
    bool closed, aborted;
    {
        std::lock_guard lock(abortMutex_);
        closed = closed_;
        aborted = aborted_;
    }
    const bool passOp = operation == QLatin1String("BeginPass") || operation == QLatin1String("EndPass");
    QString detail;
    int32_t result;
    const ForcedResults& addressForce = state_->scenario.addresses[address_].force;
    if (closed) {
        result = R::Failed;
        detail = QStringLiteral("channel closed");
    } else if (aborted && !passOp) {
        result = R::EndPass;
        detail = QStringLiteral("aborted");
    } else if (auto it = callForce_.find(operation); it != callForce_.end()) {
        result = it->second;
        detail = QStringLiteral("forced");
    } else if (auto it = addressForce.find(operation); it != addressForce.end()) {
        result = it->second;
        detail = QStringLiteral("forced");
    } else {
        result = body(detail);
    }
    const bool failed = result == R::Failed || result == R::CallFailed;
    lastError_ = failed ? detail : QString();
    state_->append({address_, state_->name(address_), operation, std::move(arguments), result, detail, now_});
    return result;
}

QString SimChannel::LastErrorText()
{
    std::lock_guard op(opMutex_);
    return lastError_;
}

SimChannel::Nap SimChannel::nap(int64_t ms)
{
    using namespace std::chrono;
    std::unique_lock lock(abortMutex_);
    auto stopped = [this] { return aborted_ || closed_; };
    if (stopped())
        return {true, 0};
    if (ms == 0)
        return {false, 0};
    const double speed = state_->speed.load();
    const bool instant = speed <= 0 || speed >= kInstantSpeed;
    if (instant && ms > 0)
        return {false, ms};

    const auto start = steady_clock::now();
    const double realMs = instant || ms < 0 ? HUGE_VAL : double(ms) / speed;
    ++waiting_;
    bool aborted;
    if (realMs > kEndlessWaitMs) {  // nothing but Abort ends this
        wake_.wait(lock, stopped);
        aborted = true;
    } else {
        const auto wait = duration_cast<steady_clock::duration>(duration<double, std::milli>(realMs));
        aborted = wake_.wait_until(lock, start + wait, stopped);
    }
    --waiting_;
    if (!aborted)
        return {false, ms};
    const double elapsedMs = instant ? 0 : duration<double, std::milli>(steady_clock::now() - start).count() * speed;
    const int64_t slept = int64_t(elapsedMs);
    return {true, ms < 0 ? slept : std::min(ms, slept)};
}

void SimChannel::processDue()
{
    if (line_ != Line::Connected)
        return;
    while (nextDigit_ < timeline_.digits.size() && timeline_.digits[nextDigit_].atMs <= now_)
        buffer_ += timeline_.digits[nextDigit_++].digits;
    if (timeline_.hangupMs && *timeline_.hangupMs <= now_)
        line_ = Line::HungUp;
}

SimChannel::Stop SimChannel::advance(int64_t durationMs, bool stopOnDigit)
{
    const int64_t end = durationMs < 0 ? kNever : now_ + durationMs;
    processDue();
    for (;;) {
        if (line_ == Line::HungUp)
            return Stop::HungUp;
        if (stopOnDigit && !buffer_.isEmpty())
            return Stop::Digit;
        if (now_ >= end)
            return Stop::Done;
        int64_t next = end;
        if (line_ == Line::Connected) {
            if (nextDigit_ < timeline_.digits.size())
                next = std::min(next, timeline_.digits[nextDigit_].atMs);
            if (timeline_.hangupMs)
                next = std::min(next, *timeline_.hangupMs);
        }
        const Nap n = nap(next == kNever ? -1 : next - now_);
        if (n.aborted) {
            now_ += n.sleptMs;
            return Stop::Aborted;
        }
        now_ = next;
        if (now_ >= end)
            return Stop::Done;  // an event due just now falls to the next operation
        processDue();
    }
}

int32_t SimChannel::stopResult(Stop stop, QString& detail, const QString& doneDetail)
{
    switch (stop) {
    case Stop::Done:
        detail = doneDetail;
        return R::Success;
    case Stop::Digit:
        detail = QStringLiteral("interrupted by a digit");
        return R::Success;
    case Stop::HungUp:
        detail = QStringLiteral("caller hung up");
        return R::HungUp;
    case Stop::Aborted:
        detail = QStringLiteral("aborted");
        return R::EndPass;
    }
    return R::Failed;
}

void SimChannel::drop()
{
    line_ = Line::Idle;
    timeline_ = {};
    callForce_.clear();
    nextDigit_ = 0;
    buffer_.clear();
    now_ = 0;  // without a call the clock counts from the drop
}

void SimChannel::connect(const CallTimeline& timeline)
{
    line_ = Line::Connected;
    timeline_ = timeline;
    nextDigit_ = 0;
    buffer_.clear();
    now_ = 0;
    processDue();
}

int32_t SimChannel::Answer()
{
    return run("Answer", QString(), [this](QString& detail) {
        switch (line_) {
        case Line::Idle:
            detail = QStringLiteral("no call");
            return R::Failed;
        case Line::HungUp:
            detail = QStringLiteral("caller hung up");
            return R::HungUp;
        case Line::Connected:
            return R::Success;
        case Line::Offered:
            break;
        }
        connect(timeline_);
        if (line_ == Line::HungUp) {
            detail = QStringLiteral("caller hung up");
            return R::HungUp;
        }
        return R::Success;
    });
}

int32_t SimChannel::PlayFile(const QString& file, bool interruptible)
{
    return run("PlayFile", quoted(file) + ", " + flag(interruptible), [&](QString& detail) {
        if (file.isEmpty())
            return R::MissingParameter;
        if (line_ == Line::HungUp) {
            detail = QStringLiteral("caller hung up");
            return R::HungUp;
        }
        WaveInfo info;
        if (!readWaveInfo(file, info, &detail))
            return R::Failed;
        return stopResult(advance(info.durationMs(), interruptible), detail,
                          QStringLiteral("%1 ms").arg(info.durationMs()));
    });
}

int32_t SimChannel::ReceiveDTMF(QString& digits, int maxLength, int endDigit, int timeOut, int timeOutFirstAdd)
{
    const QString end = endDigit > 0 && endDigit < 128 ? "'" + QString(QChar(endDigit)) + "'" : QString::number(endDigit);
    const QString args = QStringLiteral("%1, %2, %3, %4").arg(maxLength).arg(end).arg(timeOut).arg(timeOutFirstAdd);
    return run("ReceiveDTMF", args, [&](QString& detail) {
        digits.clear();
        if (maxLength < 0 || endDigit < 0 || endDigit > 127 || timeOut < 0 || timeOutFirstAdd < 0 ||
            (maxLength == 0 && endDigit == 0 && timeOut == 0))
            return R::BadParameter;
        if (line_ == Line::HungUp) {
            detail = QStringLiteral("caller hung up");
            return R::HungUp;
        }
        const QChar endChar(endDigit);
        auto collected = [&](const QString& why) {
            detail = QStringLiteral("digits %1, %2").arg(quoted(digits), why);
            return R::Success;
        };
        for (;;) {
            while (!buffer_.isEmpty()) {
                const QChar c = buffer_.front();
                buffer_.remove(0, 1);
                if (endDigit != 0 && c == endChar)
                    return collected(QStringLiteral("end digit"));
                digits += c;
                if (maxLength > 0 && digits.size() >= maxLength)
                    return collected(QStringLiteral("max length"));
            }
            const int64_t wait = timeOut == 0 ? -1 : int64_t(timeOut + (digits.isEmpty() ? timeOutFirstAdd : 0)) * 1000;
            const Stop stop = advance(wait, true);
            if (stop == Stop::Done)
                return collected(QStringLiteral("time-out"));
            if (stop != Stop::Digit) {
                const int32_t result = stopResult(stop, detail);
                detail += QStringLiteral(", digits %1").arg(quoted(digits));
                return result;
            }
        }
    });
}

int32_t SimChannel::EndPass()
{
    return run("EndPass", QString(), [this](QString&) {
        drop();
        return R::Success;
    });
}

int32_t SimChannel::BeginPass()
{
    return run("BeginPass", QString(), [](QString&) { return R::Success; });
}

int32_t SimChannel::Abort()
{
    {
        std::lock_guard lock(abortMutex_);
        aborted_ = true;
        wake_.notify_all();
    }
    state_->append({address_, state_->name(address_), QStringLiteral("Abort"), QString(), R::Success, QString(), 0});
    return R::Success;
}

int32_t SimChannel::Speak(const QString& textOrFile, bool interruptible, bool supportXml, bool isFile)
{
    const QString args = quoted(textOrFile) + ", " + flag(interruptible) + ", " + flag(supportXml) + ", " + flag(isFile);
    return run("Speak", args, [&](QString& detail) {
        if (textOrFile.isEmpty())
            return R::MissingParameter;
        if (line_ == Line::HungUp) {
            detail = QStringLiteral("caller hung up");
            return R::HungUp;
        }
        if (!state_->scenario.speechEngine)
            return R::NoSpeechEngine;
        QString text = textOrFile;
        if (isFile) {
            QFile file(textOrFile);
            if (!file.open(QIODevice::ReadOnly)) {
                detail = file.errorString();
                return R::Failed;
            }
            text = QString::fromUtf8(file.readAll());
        } else if (supportXml) {
            static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
            text.remove(tag);
        }
        const int64_t ms = int64_t(text.size()) * kSpeechMsPerChar;
        return stopResult(advance(ms, interruptible), detail, QStringLiteral("%1 ms").arg(ms));
    });
}

int32_t SimChannel::RecordFile(const QString& file, bool interruptible, int maxLengthSeconds)
{
    return run("RecordFile", quoted(file) + ", " + flag(interruptible) + ", " + QString::number(maxLengthSeconds),
               [&](QString& detail) {
                   if (file.isEmpty())
                       return R::MissingParameter;
                   if (maxLengthSeconds < 0)
                       return R::BadParameter;
                   if (line_ == Line::HungUp) {
                       detail = QStringLiteral("caller hung up");
                       return R::HungUp;
                   }
                   WaveWriter writer(file, WaveFormat::telephone());
                   if (!writer.open(&detail))
                       return R::Failed;
                   const int tone = line_ == Line::Connected ? timeline_.recordToneHz : 0;
                   const int64_t start = now_;
                   const Stop stop = advance(maxLengthSeconds == 0 ? -1 : int64_t(maxLengthSeconds) * 1000, interruptible);
                   const int64_t ms = now_ - start;
                   const bool written = writeRecording(writer, ms, tone);
                   if (!writer.commit(&detail) || !written) {  // the commit says why a write failed
                       if (detail.isEmpty())
                           detail = QStringLiteral("cannot write %1").arg(file);
                       return R::Failed;
                   }
                   const int32_t result = stopResult(stop, detail);
                   detail = detail.isEmpty() ? QStringLiteral("%1 ms").arg(ms) : QStringLiteral("%1, %2 ms").arg(detail).arg(ms);
                   return result;
               });
}

int32_t SimChannel::WaitRing(int ringCount, QString& caller, QString& called)
{
    return run("WaitRing", QString::number(ringCount), [&](QString& detail) {
        caller.clear();
        called.clear();
        if (ringCount < 0)
            return R::BadParameter;
        drop();
        const int64_t ringMs = state_->scenario.ringMs;
        const int wanted = std::max(ringCount, 1);
        int missed = 0;
        for (;;) {
            std::optional<ScriptedCall> call = state_->takeCall(address_);
            if (!call)
                return stopResult(advance(-1, false), detail);  // no more calls: only Abort ends this
            const bool givesUp = call->rings && *call->rings < wanted;
            const int rings = givesUp ? std::max(*call->rings, 1) : wanted;
            const Stop stop = advance(call->arriveMs + int64_t(rings - 1) * ringMs, false);
            if (stop != Stop::Done) {
                const int32_t result = stopResult(stop, detail);
                return result;
            }
            if (givesUp) {
                ++missed;
                continue;
            }
            line_ = Line::Offered;
            timeline_ = call->timeline;
            callForce_ = call->force;
            caller = call->caller;
            called = call->called;
            detail = QStringLiteral("caller %1, called %2").arg(quoted(caller), quoted(called));
            if (missed)
                detail += QStringLiteral(", %1 missed").arg(missed);
            return R::Success;
        }
    });
}

int32_t SimChannel::MakeCall(const QString& number, int addressType, int timeOut)
{
    const QString args = QStringLiteral("%1, %2, %3").arg(quoted(number)).arg(addressType).arg(timeOut);
    return run("MakeCall", args, [&](QString& detail) {
        if (number.isEmpty())
            return R::MissingParameter;
        if (!validAddressType(addressType) || timeOut < 0)
            return R::BadParameter;
        drop();
        std::optional<OutboundOutcome> outcome = state_->takeOutbound(address_);
        if (!outcome) {
            detail = QStringLiteral("nobody to call");
            return R::CallFailed;
        }
        const int64_t limit = timeOut == 0 ? kNever : int64_t(timeOut) * 1000;
        const bool timesOut = outcome->afterMs > limit;
        const Stop stop = advance(timesOut ? limit : outcome->afterMs, false);
        if (stop != Stop::Done)
            return stopResult(stop, detail);
        if (timesOut) {
            detail = QStringLiteral("no answer");
            return R::CallFailed;
        }
        if (outcome->result != R::Success)
            return outcome->result;
        connect(outcome->timeline);
        return R::Success;
    });
}

int32_t SimChannel::Sleep(bool interruptible, int tenths)
{
    return run("Sleep", flag(interruptible) + ", " + QString::number(tenths), [&](QString& detail) {
        if (tenths < 0)
            return R::BadParameter;
        if (line_ == Line::HungUp) {
            detail = QStringLiteral("caller hung up");
            return R::HungUp;
        }
        return stopResult(advance(tenths == 0 ? -1 : int64_t(tenths) * 100, interruptible), detail);
    });
}

int32_t SimChannel::SendDTMF(const QString& digits)
{
    return run("SendDTMF", quoted(digits), [&](QString& detail) {
        if (digits.isEmpty())
            return R::MissingParameter;
        if (!std::all_of(digits.begin(), digits.end(), validDigit))
            return R::BadParameter;
        if (line_ == Line::HungUp) {
            detail = QStringLiteral("caller hung up");
            return R::HungUp;
        }
        return stopResult(advance(int64_t(digits.size()) * kDigitSendMs, false), detail);
    });
}

int32_t SimChannel::GatewayCall(const QString& number, const QString& otherGateway, int addressType, int timeOut,
                                int32_t maxLength)
{
    const QString args = QStringLiteral("%1, %2, %3, %4, %5")
                             .arg(quoted(number), quoted(otherGateway))
                             .arg(addressType)
                             .arg(timeOut)
                             .arg(maxLength);
    return run("GatewayCall", args, [&](QString& detail) {
        if (number.isEmpty())
            return R::MissingParameter;
        if (!validAddressType(addressType) || timeOut < 0 || maxLength < 0)
            return R::BadParameter;
        if (line_ == Line::HungUp) {
            detail = QStringLiteral("caller hung up");
            return R::HungUp;
        }
        if (otherGateway.isEmpty() && gateway_ < 0) {
            detail = QStringLiteral("no gateway");
            return R::Failed;
        }
        std::optional<OutboundOutcome> outcome = state_->takeOutbound(address_);
        if (!outcome) {
            detail = QStringLiteral("nobody to call");
            return R::CallFailed;
        }
        // The caller stays on the line (and may hang up) while the far end rings and talks.
        const int64_t limit = timeOut == 0 ? kNever : int64_t(timeOut) * 1000;
        const bool timesOut = outcome->afterMs > limit;
        Stop stop = advance(timesOut ? limit : outcome->afterMs, false);
        if (stop != Stop::Done)
            return stopResult(stop, detail);
        if (timesOut) {
            detail = QStringLiteral("no answer");
            return R::CallFailed;
        }
        if (outcome->result != R::Success)
            return outcome->result;
        int64_t talk = outcome->timeline.hangupMs.value_or(kNever);
        QString why = QStringLiteral("far end hung up");
        if (maxLength > 0 && int64_t(maxLength) * 1000 < talk) {
            talk = int64_t(maxLength) * 1000;
            why = QStringLiteral("max length");
        }
        return stopResult(advance(talk == kNever ? -1 : talk, false), detail, why);
    });
}

int32_t SimChannel::SetHookSwitch(int hookMode)
{
    return run("SetHookSwitch", QString::number(hookMode), [&](QString&) {
        if (!validHook(hookMode))
            return R::BadParameter;
        hook_ = hookMode;
        return R::Success;
    });
}

// ---- SimDevice ----

SimDevice::SimDevice(Scenario scenario) : state_(std::make_shared<SimState>(std::move(scenario))) {}

SimDevice::~SimDevice()
{
    // A runner still blocked on a line must not wait for ever on a device that is gone.
    std::lock_guard lock(state_->mutex);
    for (auto& channel : state_->open) {
        if (channel)
            channel->close();
        channel.reset();
    }
}

int32_t SimDevice::OpenChannel(int addressIndex, ChannelPtr& out, int gatewayIndex, int waveOut, int waveIn,
                               int hookValue, int transmitDtmf)
{
    out.reset();
    const QString args = QStringLiteral("gateway=%1, waveOut=%2, waveIn=%3, hook=%4, transmitDtmf=%5")
                             .arg(gatewayIndex)
                             .arg(waveOut)
                             .arg(waveIn)
                             .arg(hookValue)
                             .arg(transmitDtmf);
    int32_t result = R::Success;
    QString detail;
    {
        std::lock_guard lock(state_->mutex);
        if (!state_->validAddress(addressIndex) || (gatewayIndex != -1 && !state_->validAddress(gatewayIndex)) ||
            !validHook(hookValue)) {
            result = R::BadParameter;
        } else if (state_->open[addressIndex]) {
            result = R::Failed;
            detail = QStringLiteral("already open");
        } else {
            auto channel = std::make_shared<SimChannel>(state_, addressIndex, gatewayIndex, waveOut, waveIn, hookValue,
                                                        transmitDtmf);
            state_->open[addressIndex] = channel;
            out = channel;
        }
    }
    state_->append({addressIndex, state_->name(addressIndex), QStringLiteral("OpenChannel"), args, result, detail, 0});
    return result;
}

int32_t SimDevice::CloseChannel(int addressIndex, ChannelPtr channel)
{
    int32_t result = R::Success;
    QString detail;
    {
        std::lock_guard lock(state_->mutex);
        if (!channel) {
            result = R::Failed;
            detail = QStringLiteral("no channel");
        } else if (!state_->validAddress(addressIndex) || state_->open[addressIndex] != channel) {
            result = R::BadParameter;
            detail = QStringLiteral("not this address's open channel");
        } else {
            state_->open[addressIndex]->close();
            state_->open[addressIndex].reset();
        }
    }
    state_->append({addressIndex, state_->name(addressIndex), QStringLiteral("CloseChannel"), QString(), result, detail, 0});
    return result;
}

int32_t SimDevice::GetAddressName(int index, QString& name)
{
    name.clear();
    if (!state_->validAddress(index))
        return R::BadParameter;
    name = state_->scenario.addresses[index].name;
    return R::Success;
}

int32_t SimDevice::GetAddressCount(int& count)
{
    count = int(state_->scenario.addresses.size());
    return R::Success;
}

int32_t SimDevice::GetGatewayAddress(int& index)
{
    index = state_->scenario.gateway;
    return R::Success;
}

QString SimDevice::OpenFailureText(int addressIndex, int32_t result)
{
    if (result == R::BadParameter)
        return QStringLiteral("bad parameter");
    std::lock_guard lock(state_->mutex);
    if (result == R::Failed && state_->validAddress(addressIndex) && state_->open[addressIndex])
        return QStringLiteral("already open");
    return QStringLiteral("OpenChannel = %1").arg(result);
}

const Scenario& SimDevice::scenario() const { return state_->scenario; }
double SimDevice::speed() const { return state_->speed.load(); }
void SimDevice::setSpeed(double speed) { state_->speed.store(speed); }

std::vector<SimLogEntry> SimDevice::log() const
{
    std::lock_guard lock(state_->mutex);
    return state_->log;
}

QStringList SimDevice::logText() const
{
    QStringList lines;
    for (const SimLogEntry& entry : log())
        lines << entry.text();
    return lines;
}

void SimDevice::setKeepLog(bool keep)
{
    std::lock_guard lock(state_->mutex);
    state_->keepLog = keep;
}

void SimDevice::setLogCallback(std::function<void(const SimLogEntry&)> callback)
{
    std::lock_guard lock(state_->mutex);
    state_->callback = std::move(callback);
}
