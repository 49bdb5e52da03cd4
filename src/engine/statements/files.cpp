#include "engine/statements/files.h"

#include "engine/flow.h"
#include "engine/texts.h"

using caption::valueOrNull;

QString IVRTextFile::GetDescription() const
{
    QString d = txt::Colon + valueOrNull(link);
    const QString text = WriteText.GetValueText();
    if (!text.isEmpty()) d += QLatin1Char(' ') + text;
    if (WriteLine) d += QLatin1Char(' ') + TIVRFlow::CaptionToName(txt::TextFileWriteLine);
    return d;
}

QString IVRInitFile::GetDescription() const
{
    QString d = txt::Colon;
    for (const TIVRVariantLink* l : {&link, &Section, &Key, &Value, &Default}) d += valueOrNull(*l) + QLatin1Char(' ');
    return d + TIVRFlow::CaptionToName(Read ? txt::InitFileRead : txt::InitFileWrite);
}

QString IVRExecute::GetDescription() const
{
    QString d = txt::Colon + valueOrNull(link) + QLatin1Char(' ') + QString::number(TimeOut) + QLatin1Char(' ') +
                txt::Second;
    if (Terminate) d += QLatin1Char(' ') + TIVRFlow::CaptionToName(txt::ExecuteTimeOutTerminate);
    return d;
}
