#include "platform/textappend.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "platform/filesave.h"

#include "platform/codepage.h"
#include "platform/syserror.h"

namespace {

QString failure(bool chinese, bool opening, const QString& fileName, int code)
{
    QString pattern;
    if (chinese)
        pattern = opening ? QString::fromUtf8("无法打开文件“%1”。%2") : QString::fromUtf8("无法写入文件“%1”。%2");
    else
        pattern = opening ? QStringLiteral("Cannot open file \"%1\". %2") : QStringLiteral("Cannot write file \"%1\". %2");
    return pattern.arg(fileName, systemErrorText(code, chinese)).trimmed();
}

}  // namespace

bool appendText(const QString& fileName, const QString& text, bool lineEnd, bool chinese, QString* errorText)
{
    auto fail = [&](bool opening, int code) {
        if (errorText)
            *errorText = failure(chinese, opening, fileName, code);
        return false;
    };

    QByteArray bytes = CodePage::encode(text);
    if (lineEnd)
        bytes.append("\r\n", 2);

    const QByteArray path = QFile::encodeName(fileName);
    int fd;
    do {
        fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return fail(true, errno);

    // One write puts the whole text at the end; only a full disk or a signal can make it short,
    // and then the rest still goes to the end.
    int writeError = FileSave::writeAll(fd, bytes) ? 0 : errno;
    if (::close(fd) != 0 && writeError == 0 && errno != EINTR)
        writeError = errno;
    if (writeError)
        return fail(false, writeError);
    if (errorText)
        errorText->clear();
    return true;
}
