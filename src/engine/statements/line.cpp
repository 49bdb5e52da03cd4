#include "engine/statements/line.h"

#include "engine/flow.h"
#include "engine/texts.h"

using caption::valueOrNull;

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
