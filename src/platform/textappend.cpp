#include "platform/textappend.h"

#include <QFile>
#include <QStringEncoder>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

enum class Mark { None, Utf8, Utf16LE, Utf16BE };

// The byte-order mark the file begins with; None when it has none or cannot be read.
Mark markOf(int fd)
{
    unsigned char head[3] = {0, 0, 0};
    ssize_t n;
    do {
        n = ::pread(fd, head, sizeof head, 0);
    } while (n < 0 && errno == EINTR);
    if (n >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) return Mark::Utf8;
    if (n >= 2 && head[0] == 0xFF && head[1] == 0xFE) return Mark::Utf16LE;
    if (n >= 2 && head[0] == 0xFE && head[1] == 0xFF) return Mark::Utf16BE;
    return Mark::None;
}

}  // namespace

bool appendText(const QString& fileName, const QString& text, bool lineEnd, bool chinese, QString* error)
{
    auto fail = [&](bool opening, int code) {
        if (error)
            *error = failure(chinese, opening, fileName, code);
        return false;
    };

    const QByteArray path = QFile::encodeName(fileName);
    auto openWith = [&](int flags) { return FileSave::openFile(path.constData(), flags | O_NOCTTY | O_NONBLOCK, 0666); };
    // Open for reading too where we may, to see the file's byte-order mark.
    int fd = openWith(O_RDWR | O_CREAT | O_APPEND);
    if (fd < 0 && errno == EACCES)
        fd = openWith(O_WRONLY | O_CREAT | O_APPEND);
    if (fd < 0)
        return fail(true, errno);
    struct stat st{};
    if (::fstat(fd, &st) != 0) {
        const int code = errno;
        ::close(fd);
        return fail(true, code);
    }
    if (S_ISFIFO(st.st_mode)) {
        // Opened for reading too, a pipe would take the text with nobody there to read it; for
        // writing only, it refuses when nobody reads (ENXIO).
        ::close(fd);
        fd = openWith(O_WRONLY | O_APPEND);
        if (fd < 0)
            return fail(true, errno);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const bool regular = S_ISREG(st.st_mode);
    // Appenders of this program queue here, so that a cut-off text can be taken back without
    // taking another appender's line with it.
    if (regular) {
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX);
        } while (rc != 0 && errno == EINTR);
    }

    const QString whole = lineEnd ? text + QStringLiteral("\r\n") : text;
    QByteArray bytes;
    switch (markOf(fd)) {
    case Mark::Utf8: bytes = whole.toUtf8(); break;
    case Mark::Utf16LE: bytes = QStringEncoder(QStringEncoder::Utf16LE)(whole); break;
    case Mark::Utf16BE: bytes = QStringEncoder(QStringEncoder::Utf16BE)(whole); break;
    case Mark::None: bytes = CodePage::encodeKeepingBytes(whole); break;
    }

    // One write puts the whole text at the end; only a full disk or a signal can make it short,
    // and then the rest still goes to the end. A text that does not fit is taken back whole.
    const off_t before = regular ? ::lseek(fd, 0, SEEK_END) : -1;
    int writeError = FileSave::writeAll(fd, bytes) ? 0 : errno;
    if (writeError && before >= 0)
        (void)!::ftruncate(fd, before);
    if (::close(fd) != 0 && writeError == 0 && errno != EINTR)
        writeError = errno;
    if (writeError)
        return fail(false, writeError);
    if (error)
        error->clear();
    return true;
}
