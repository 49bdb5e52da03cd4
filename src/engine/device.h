#pragma once

#include <QString>
#include <cstdint>
#include <memory>

// The telephony device the engine runs flows against. One device object per process lists
// the device addresses (lines) and opens one channel per running flow; the channel performs
// the line operations. Every operation blocks until it is done, the far end hangs up, or the
// channel is aborted, and returns one of the result codes below.

namespace ChannelResult {
inline constexpr int32_t Success = 0;           // done
inline constexpr int32_t Failed = 1;            // the operation failed (missing or bad file, no call, ...)
inline constexpr int32_t HungUp = 2;            // the far end hung up; the flow goes on in its closing part
inline constexpr int32_t CallFailed = 3;        // the call could not be placed or was not answered
inline constexpr int32_t EndPass = 4;           // end the pass at once (the channel was aborted)
inline constexpr int32_t Connected = 5;
inline constexpr int32_t Disconnected = 6;
inline constexpr int32_t NoSpeechEngine = 7;
inline constexpr int32_t MissingParameter = 8;
inline constexpr int32_t BadParameter = 9;
}  // namespace ChannelResult

// Address types of MakeCall and GatewayCall.
namespace AddressType {
inline constexpr int PhoneNumber = 1;
inline constexpr int DomainName = 8;
inline constexpr int IPAddress = 16;
}  // namespace AddressType

// Hook modes of OpenChannel and SetHookSwitch.
namespace HookMode {
inline constexpr int OnHook = 1;
inline constexpr int Speaker = 4;
inline constexpr int MicSpeaker = 8;
}  // namespace HookMode

// One channel: the line operations on one device address. All operations but Abort are
// called by the thread that runs the flow; Abort may come from any thread.
class IIVRAddress {
public:
    virtual ~IIVRAddress() = default;

    virtual int32_t Answer() = 0;
    // file: full path of a wave file. interruptible: a digit of the caller ends the play early.
    virtual int32_t PlayFile(const QString& file, bool interruptible) = 0;
    // digits: out, the digits collected (the value passed in is ignored). maxLength: most digits,
    // 0 no limit. endDigit: the character code of the digit that ends input, 0 none.
    // timeOut: seconds to wait for each digit, 0 no limit; timeOutFirstAdd: seconds added for the first.
    virtual int32_t ReceiveDTMF(QString& digits, int maxLength, int endDigit, int timeOut,
                                int timeOutFirstAdd) = 0;
    virtual int32_t EndPass() = 0;    // after each pass: releases the call
    virtual int32_t BeginPass() = 0;  // before each pass
    // From another thread: ends the blocking operation at once (it returns EndPass). The abort
    // stays in force until the channel is closed, so every later operation returns EndPass too.
    virtual int32_t Abort() = 0;
    virtual int32_t Speak(const QString& textOrFile, bool interruptible, bool supportXml, bool isFile) = 0;
    // maxLengthSeconds: longest recording, 0 no limit.
    virtual int32_t RecordFile(const QString& file, bool interruptible, int maxLengthSeconds) = 0;
    // Waits until a call has rung ringCount times; caller and called receive its numbers.
    virtual int32_t WaitRing(int ringCount, QString& caller, QString& called) = 0;
    // timeOut: seconds without answer, 0 none.
    virtual int32_t MakeCall(const QString& number, int addressType, int timeOut) = 0;
    // tenths: length in tenths of a second, 0 until interrupted.
    virtual int32_t Sleep(bool interruptible, int tenths) = 0;
    virtual int32_t SendDTMF(const QString& digits) = 0;
    // Connects the call through the gateway address (or otherGateway when it is not empty);
    // maxLength: longest call in seconds, 0 no limit.
    virtual int32_t GatewayCall(const QString& number, const QString& otherGateway, int addressType,
                                int timeOut, int32_t maxLength) = 0;
    virtual int32_t SetHookSwitch(int hookMode) = 0;
    // Why the last operation failed, in the device's words; empty when it gives no reason.
    virtual QString LastErrorText() { return {}; }
};

using ChannelPtr = std::shared_ptr<IIVRAddress>;

// The device object, shared by every runner of the process; safe to call from any thread.
class ITAPI3Device {
public:
    virtual ~ITAPI3Device() = default;

    // out: the channel, or null when none could be opened. gatewayIndex: -1 none.
    // waveOut, waveIn: sound device ids, -1 the line itself. hookValue: a HookMode value.
    // transmitDtmf: forward digits through the gateway, -1 yes, 0 no.
    virtual int32_t OpenChannel(int addressIndex, ChannelPtr& out, int gatewayIndex, int waveOut, int waveIn,
                                int hookValue, int transmitDtmf) = 0;
    virtual int32_t CloseChannel(int addressIndex, ChannelPtr channel) = 0;
    virtual int32_t GetAddressName(int index, QString& name) = 0;
    virtual int32_t GetAddressCount(int& count) = 0;  // indexes 0..count-1
    virtual int32_t GetGatewayAddress(int& index) = 0;  // -1 none
    // Why OpenChannel on the address just failed with result, in the device's own words.
    virtual QString OpenFailureText(int addressIndex, int32_t result)
    {
        (void)addressIndex;
        return QStringLiteral("OpenChannel = %1").arg(result);
    }
};
