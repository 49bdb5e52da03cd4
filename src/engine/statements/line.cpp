#include "engine/statements/line.h"

#include "engine/device.h"
#include "engine/flow.h"
#include "engine/statements/declarations.h"
#include "engine/texts.h"

using caption::valueOrNull;

bool isDtmfDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || u == u'*' || u == u'#' || (u >= u'A' && u <= u'D');
}

QString IVRRing::GetDescription() const
{
    QString d = txt::Colon + QString::number(Times) + QLatin1Char(' ') + txt::Times;
    if (link.variable()) d += QLatin1Char(' ') + link.variable()->Name;
    return d;
}

QString IVRCall::typeAndTimeOut() const
{
    const QString timeOut = TimeOut > 0 ? QString::number(TimeOut) + txt::Second : txt::Persist;
    return caption::nameAt(txt::CalledTypeNames, CalledType) + QLatin1Char(' ') + timeOut;
}

QString IVRCall::GetDescription() const
{
    return txt::Colon + valueOrNull(link) + QLatin1Char(' ') + typeAndTimeOut();
}

QString IVRGateway::GetDescription() const
{
    QString d = txt::Colon + valueOrNull(link) + QLatin1Char(' ');
    const QString another = ThroughAnotherGateway.GetValueText();
    if (!another.isEmpty())
        d += TIVRFlow::CaptionToName(txt::GatewayAnother) + QLatin1Char(':') + another + QLatin1Char(' ');
    d += typeAndTimeOut();
    const QString maxLength = MaxLength.GetValueText();
    if (!maxLength.isEmpty())
        d += QLatin1Char(' ') + TIVRFlow::CaptionToName(txt::RecordMaxLength) + QLatin1Char(':') + maxLength;
    return d;
}

QString IVRSpeakerPhone::GetDescription() const
{
    QString d = txt::Colon;
    switch (HookSwitchMode) {
    case hsmOnHook: d += TIVRFlow::CaptionToName(txt::SpeakerPhoneOnHook); break;
    case hsmSpeaker: d += TIVRFlow::CaptionToName(txt::SpeakerPhoneSpeaker); break;
    case hsmMicSpeaker: d += TIVRFlow::CaptionToName(txt::SpeakerPhoneMicSpeaker); break;
    }
    return d;
}

QString IVRSendDTMF::GetDescription() const
{
    return txt::Colon + valueOrNull(link);
}

QString IVRReceiveDTMF::GetDescription() const
{
    QString d = txt::Colon + caption::variableOrNone(link) + QLatin1Char(' ');
    d += MaxLength > 0 ? QLatin1Char(' ') + QString::number(MaxLength) : txt::Persist;
    if (EndDTMF != QChar(0)) d += QStringLiteral(" '") + EndDTMF + QLatin1Char('\'');
    return d;
}

// ---- execution ----
//
// Every DoIt checks its operands first, then makes exactly one call on the channel and turns the
// status into the code and texts (operation::finish). Without a channel the call is not made and
// the statement fails with "No channel". Numbers and digits go to the device as they are.

int IVRRing::DoIt(ExecContext& ctx, QString& resultText, QString& errorText)
{
    return operation::guarded(resultText, errorText, [&] {
        const ChannelPtr channel = ctx.channel;  // held for the whole call
        if (!channel) return operation::noChannel(resultText, errorText);
        QString caller, called;
        const int32_t status = channel->WaitRing(Times, caller, called);
        // Whatever the wait gave: a failed wait leaves the numbers empty.
        if (IVRVariant* v = link.variable()) v->setValue(Value(caller));
        if (IVRVariant* v = SaveCalled.variable()) v->setValue(Value::wideString(called));
        return operation::finish(*channel, status, resultText, errorText);
    });
}

int IVRAnswer::DoIt(ExecContext& ctx, QString& resultText, QString& errorText)
{
    return operation::guarded(resultText, errorText, [&] {
        const ChannelPtr channel = ctx.channel;
        if (!channel) return operation::noChannel(resultText, errorText);
        return operation::finish(*channel, channel->Answer(), resultText, errorText);
    });
}

int IVRCall::DoIt(ExecContext& ctx, QString& resultText, QString& errorText)
{
    return operation::guarded(resultText, errorText, [&] {
        const ChannelPtr channel = ctx.channel;
        QString number;
        int code = rcFailed;
        if (!operation::operandText(link, true, number, resultText, errorText, &code)) return code;
        if (!channel) return operation::noChannel(resultText, errorText);
        return operation::finish(*channel, channel->MakeCall(number, deviceAddressType(CalledType), TimeOut), resultText,
                                 errorText);
    });
}

int IVRGateway::DoIt(ExecContext& ctx, QString& resultText, QString& errorText)
{
    return operation::guarded(resultText, errorText, [&] {
        const ChannelPtr channel = ctx.channel;
        QString number, another;
        int code = rcFailed;
        if (!operation::operandText(link, true, number, resultText, errorText, &code)) return code;
        int32_t maxLength = 0;
        const Value length = MaxLength.GetLinkValue();
        if (!length.isEmpty()) {
            QString error;
            if (!length.toInt32(&maxLength, &error)) return operation::fail(resultText, errorText, error);
            if (maxLength < 0) return operation::paramError(resultText, errorText);
        }
        if (!operation::operandText(ThroughAnotherGateway, false, another, resultText, errorText, &code)) return code;
        if (!channel) return operation::noChannel(resultText, errorText);
        return operation::finish(
            *channel, channel->GatewayCall(number, another, deviceAddressType(CalledType), TimeOut, maxLength), resultText,
            errorText);
    });
}

int IVRSpeakerPhone::DoIt(ExecContext& ctx, QString& resultText, QString& errorText)
{
    return operation::guarded(resultText, errorText, [&] {
        const ChannelPtr channel = ctx.channel;
        if (!channel) return operation::noChannel(resultText, errorText);
        const int mode = deviceHookSwitchMode(HookSwitchMode);
        return operation::finish(*channel, channel->SetHookSwitch(mode != 0 ? mode : HookMode::OnHook), resultText, errorText);
    });
}

int IVRSendDTMF::DoIt(ExecContext& ctx, QString& resultText, QString& errorText)
{
    return operation::guarded(resultText, errorText, [&] {
        const ChannelPtr channel = ctx.channel;
        QString digits;
        int code = rcFailed;
        if (!operation::operandText(link, true, digits, resultText, errorText, &code)) return code;
        if (!channel) return operation::noChannel(resultText, errorText);
        return operation::finish(*channel, channel->SendDTMF(digits), resultText, errorText);
    });
}

int IVRReceiveDTMF::DoIt(ExecContext& ctx, QString& resultText, QString& errorText)
{
    return operation::guarded(resultText, errorText, [&] {
        const ChannelPtr channel = ctx.channel;
        const bool hasEnd = !EndDTMF.isNull();
        // Input that could never end, or an end digit no caller can press (a flow file may hold
        // any character there), is a bad operand.
        if ((MaxLength == 0 && !hasEnd) || (hasEnd && !isDtmfDigit(EndDTMF)))
            return operation::paramError(resultText, errorText);
        IVRVariant* variable = link.variable();
        if (!variable) return operation::notEnoughParam(resultText, errorText);
        if (!channel) return operation::noChannel(resultText, errorText);
        QString digits = QStringLiteral(" ");
        const int32_t status = channel->ReceiveDTMF(digits, MaxLength, hasEnd ? int(EndDTMF.unicode()) : 0, TimeOut,
                                                    TimeOutFirstAdd);
        variable->setValue(Value::wideString(digits));
        return operation::finish(*channel, status, resultText, errorText);
    });
}
