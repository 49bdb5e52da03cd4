#include "engine/statements/voice.h"

#include "engine/texts.h"

using caption::valueOrNull;

namespace {
// A length in tenths of a second as seconds with one decimal: 15 is "1.5".
QString tenths(int value)
{
    return QString::number(value / 10) + QLatin1Char('.') + QString::number(value % 10);
}
}  // namespace

QString TIVRPlayOperate::interruptibleWord() const
{
    return Interruptible ? txt::Interruptible : txt::UnInterruptible;
}

QString IVRPlay::GetDescription() const
{
    return txt::Colon + valueOrNull(link) + QLatin1Char(' ') + interruptibleWord();
}

QString IVRRecord::GetDescription() const
{
    const QString length = MaxLength != 0 ? QString::number(MaxLength) + QLatin1Char(' ') + txt::Second : txt::Persist;
    return txt::Colon + valueOrNull(link) + QLatin1Char(' ') + length + QLatin1Char(' ') + interruptibleWord();
}

QString IVRSleep::GetDescription() const
{
    const QString length = MaxLength != 0 ? tenths(MaxLength) + QLatin1Char(' ') + txt::Second : txt::Persist;
    return txt::Colon + length + QLatin1Char(' ') + interruptibleWord();
}

QString IVRSpeech::GetDescription() const
{
    QString d = txt::Colon + valueOrNull(link) + QLatin1Char(' ') + interruptibleWord();
    if (SupportXML) d += QLatin1Char(' ') + txt::SpeechSupportXml;
    d += QLatin1Char(' ');
    switch (SpeechType) {
    case stText:
        if (!SupportXML)
            d += txt::SpeechText;
        else if (TagIndex >= 0 && TagIndex < txt::SpeechLanguageNames.size())
            d += txt::SpeechLanguageNames[TagIndex];
        else
            d += txt::SpeechLanguage + QStringLiteral(" '") + XMLTag + QLatin1Char('\'');
        break;
    case stFile: d += txt::SpeechFileName; break;
    case stContext:
        if (TagIndex >= 0 && TagIndex < txt::SpeechContextNames.size())
            d += txt::SpeechContextNames[TagIndex];
        else if (!XMLTag.isEmpty())
            d += txt::SpeechContext + QStringLiteral(" '") + XMLTag + QLatin1Char('\'');
        break;
    }
    return d;
}

void IVRSpeech::BuildLink()
{
    TIVRPlayOperate::BuildLink();
    TagIndex = -1;
    if (!SupportXML) return;
    // An empty tag finds the empty first language id: the engine's default language.
    if (SpeechType == stText) TagIndex = int(txt::SpeechLanguageIds.indexOf(XMLTag));
    else if (SpeechType == stContext) TagIndex = int(txt::SpeechContextIds.indexOf(XMLTag));
}
