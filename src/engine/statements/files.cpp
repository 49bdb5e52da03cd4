#include "engine/statements/files.h"

#include "engine/flow.h"
#include "engine/texts.h"
#include "platform/inifile.h"
#include "platform/process.h"
#include "platform/textappend.h"

using caption::valueOrNull;

namespace {

// An operand as the file statements take it: the link's value as text.
bool operandText(const TIVRVariantLink& link, QString* text, QString* error)
{
    return link.GetLinkValue().toText(text, error);
}

// The name a file is opened by: relative names are taken from the flow file's folder, and the
// Windows separators that flow files hold become ours only here, at the open.
QString openName(const ExecContext& ctx, const TIVRBase& statement, const QString& name)
{
    const TIVRFlow* flow = ctx.flow ? ctx.flow : statement.flow();
    QString path = flow ? flow->GetFullFileName(name) : name;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path;
}

// Success of a file or process statement: it reports its result name too.
int succeed(QString& resultText, QString& errorText)
{
    return operation::finish(rcSuccess, resultText, errorText);
}

// A failure whose reason the platform gives; without one, the general failure text.
int failWith(QString& resultText, QString& errorText, const QString& reason)
{
    return operation::fail(resultText, errorText, reason.isEmpty() ? operation::failedMessage() : reason);
}

}  // namespace

// ---- IVRTextFile ----

QString IVRTextFile::GetDescription() const
{
    QString d = txt::Colon + valueOrNull(link);
    const QString text = WriteText.GetValueText();
    if (!text.isEmpty()) d += QLatin1Char(' ') + text;
    if (WriteLine) d += QLatin1Char(' ') + TIVRFlow::CaptionToName(txt::TextFileWriteLine);
    return d;
}

int IVRTextFile::DoIt(ExecContext& ctx, QString& resultText, QString& errorText)
{
    return operation::guarded(resultText, errorText, [&] {
        QString name, text, error;
        if (!operandText(link, &name, &error) || !operandText(WriteText, &text, &error))
            return operation::fail(resultText, errorText, error);
        if (name.isEmpty()) return operation::notEnoughParam(resultText, errorText);
        // One open-or-create in append mode and one write: an existing file only ever grows, and
        // channels appending to the same file at once never overwrite each other's lines.
        if (!appendText(openName(ctx, *this, name), text, WriteLine, IsChinese, &error))
            return failWith(resultText, errorText, error);
        return succeed(resultText, errorText);
    });
}

// ---- IVRInitFile ----

QString IVRInitFile::GetDescription() const
{
    QString d = txt::Colon;
    for (const TIVRVariantLink* l : {&link, &Section, &Key, &Value, &Default}) d += valueOrNull(*l) + QLatin1Char(' ');
    return d + TIVRFlow::CaptionToName(Read ? txt::InitFileRead : txt::InitFileWrite);
}

int IVRInitFile::DoIt(ExecContext& ctx, QString& resultText, QString& errorText)
{
    return operation::guarded(resultText, errorText, [&] {
        QString name, section, key, error;
        if (!operandText(link, &name, &error) || !operandText(Section, &section, &error) ||
            !operandText(Key, &key, &error))
            return operation::fail(resultText, errorText, error);
        IVRVariant* target = Value.variable();
        if (name.isEmpty() || section.isEmpty() || key.isEmpty() || (Read && !target))
            return operation::notEnoughParam(resultText, errorText);
        const QString path = openName(ctx, *this, name);

        if (Read) {
            QString defaultText;
            if (!operandText(Default, &defaultText, &error)) return operation::fail(resultText, errorText, error);
            // The whole value, however long: a fixed read buffer would cut it off without a word.
            // A missing file, section or key is no error: the variable receives the default.
            target->setValue(::Value(IniFile::readString(path, section, key, defaultText)));
            return succeed(resultText, errorText);
        }

        QString value;
        if (!operandText(Value, &value, &error)) return operation::fail(resultText, errorText, error);
        // The layer refuses a name or value that holds a line break (it would add keys or
        // sections of its own) with its own text, and gives the system's text for other errors.
        if (!IniFile::writeString(path, section, key, value, IsChinese, &error))
            return failWith(resultText, errorText, error);
        return succeed(resultText, errorText);
    });
}

// ---- IVRExecute ----

QString IVRExecute::GetDescription() const
{
    QString d = txt::Colon + valueOrNull(link) + QLatin1Char(' ') + QString::number(TimeOut) + QLatin1Char(' ') +
                txt::Second;
    if (Terminate) d += QLatin1Char(' ') + TIVRFlow::CaptionToName(txt::ExecuteTimeOutTerminate);
    return d;
}

int IVRExecute::DoIt(ExecContext& ctx, QString& resultText, QString& errorText)
{
    return operation::guarded(resultText, errorText, [&] {
        QString commandLine, error;
        if (!operandText(link, &commandLine, &error)) return operation::fail(resultText, errorText, error);
        if (commandLine.isEmpty()) return operation::notEnoughParam(resultText, errorText);
        // The command line goes to the program as it is, never through a shell, so a text built
        // from what a caller dialled can only ever be arguments.
        const Process::Result r = Process::run(commandLine, qint64(TimeOut) * 1000, Terminate,
                                               [&ctx] { return ctx.stopRequested(); }, IsChinese);
        switch (r.status) {
        case Process::Result::Status::FailedToStart: return failWith(resultText, errorText, r.errorText);
        case Process::Result::Status::Started:
        case Process::Result::Status::Finished: return succeed(resultText, errorText);
        case Process::Result::Status::Stopped: return operation::finish(rcEndPass, resultText, errorText);
        case Process::Result::Status::TimedOut: break;
        }
        return operation::finish(rcFailed, resultText, errorText);
    });
}
