#include "engine/statements/voice.h"

#include "engine/device.h"
#include "engine/flow.h"
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

// ---- execution ----
//
// One channel call per DoIt; the status becomes the code and texts (operation::finish). Without
// a channel the call is not made and the statement fails with "No channel".

namespace {
// A file name as the device opens it: absolute from the flow file's folder, with "/" separators
// (flow files written elsewhere hold "\").
QString deviceFileName(const TIVRFlow* flow, const QString& name)
{
    QString full = flow ? flow->GetFullFileName(name) : name;
    full.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return full;
}

// The text of an attribute value between double quotation marks.
QString attributeValue(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&': out += QStringLiteral("&amp;"); break;
        case u'<': out += QStringLiteral("&lt;"); break;
        case u'>': out += QStringLiteral("&gt;"); break;
        case u'"': out += QStringLiteral("&quot;"); break;
        case u'\'': out += QStringLiteral("&apos;"); break;
        default: out += c;
        }
    }
    return out;
}
}  // namespace

int IVRPlay::DoIt(ExecContext& ctx, QString& resultText, QString& errorText)
{
    return operation::guarded(resultText, errorText, [&] {
        const ChannelPtr channel = ctx.channel;  // held for the whole call
        QString name;
        int code = rcFailed;
        if (!operation::operandText(link, true, name, resultText, errorText, &code)) return code;
        if (!channel) return operation::noChannel(resultText, errorText);
        return operation::finish(*channel, channel->PlayFile(deviceFileName(flow(), name), Interruptible), resultText,
                                 errorText);
    });
}

int IVRRecord::DoIt(ExecContext& ctx, QString& resultText, QString& errorText)
{
    return operation::guarded(resultText, errorText, [&] {
        const ChannelPtr channel = ctx.channel;
        QString name;
        int code = rcFailed;
        if (!operation::operandText(link, true, name, resultText, errorText, &code)) return code;
        if (!channel) return operation::noChannel(resultText, errorText);
        return operation::finish(*channel, channel->RecordFile(deviceFileName(flow(), name), Interruptible, MaxLength),
                                 resultText, errorText);
    });
}

int IVRSleep::DoIt(ExecContext& ctx, QString& resultText, QString& errorText)
{
    return operation::guarded(resultText, errorText, [&] {
        const ChannelPtr channel = ctx.channel;
        if (!channel) return operation::noChannel(resultText, errorText);
        return operation::finish(*channel, channel->Sleep(Interruptible, MaxLength), resultText, errorText);
    });
}

QString IVRSpeech::speechMarkup(const QString& text) const
{
    if (!SupportXML || XMLTag.isEmpty()) return text;
    const QString id = QLatin1Char('"') + attributeValue(XMLTag) + QLatin1Char('"');
    switch (SpeechType) {
    case stText: return QStringLiteral("<LANG LANGID=") + id + QLatin1Char('>') + text + QStringLiteral("</LANG>");
    case stContext: return QStringLiteral("<context ID=") + id + QLatin1Char('>') + text + QStringLiteral("</context>");
    case stFile: break;
    }
    return text;
}

int IVRSpeech::DoIt(ExecContext& ctx, QString& resultText, QString& errorText)
{
    return operation::guarded(resultText, errorText, [&] {
        const ChannelPtr channel = ctx.channel;
        QString content;
        int code = rcFailed;
        if (!operation::operandText(link, true, content, resultText, errorText, &code)) return code;
        const bool isFile = SpeechType == stFile;
        const QString spoken = isFile ? deviceFileName(flow(), content) : speechMarkup(content);
        if (!channel) return operation::noChannel(resultText, errorText);
        return operation::finish(*channel, channel->Speak(spoken, Interruptible, SupportXML, isFile), resultText, errorText);
    });
}
