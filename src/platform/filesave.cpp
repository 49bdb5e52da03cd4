#include "platform/filesave.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/syserror.h"

namespace FileSave {
namespace {

QString named(const QString& fileName, const QString& reason)
{
    const QString name = QDir::toNativeSeparators(fileName);
    if (reason.contains(name) || reason.contains(fileName)) return reason;
    return name + QStringLiteral(": ") + reason;
}

QString errnoText(int e, bool chinese)
{
    const QString text = systemErrorText(e, chinese);
    return text.isEmpty() ? QStringLiteral("error %1").arg(e) : text;
}

QString notRegular(bool chinese)
{
    return chinese ? QString::fromUtf8("不是普通文件，未改动") : QStringLiteral("not a regular file; it was left as it is");
}

// Writes the bytes over the existing file from its start and cuts it to their length. A failure
// halfway leaves the file partly written: only for targets that cannot be replaced.
bool writeInPlace(const QString& fileName, const QByteArray& bytes, QString* message, bool chinese)
{
    const QByteArray native = QFile::encodeName(fileName);
    // Non-blocking, so that a pipe put in the file's place meanwhile cannot hang the open.
    const int fd = ::open(native.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        *message = named(fileName, errnoText(errno, chinese));
        return false;
    }
    auto fail = [&](const QString& reason) {
        ::close(fd);
        *message = named(fileName, reason);
        return false;
    };
    struct stat st{};
    if (::fstat(fd, &st) != 0) return fail(errnoText(errno, chinese));
    if (!S_ISREG(st.st_mode)) return fail(notRegular(chinese));
    if (!writeAll(fd, bytes) || ::ftruncate(fd, off_t(bytes.size())) != 0 || ::fsync(fd) != 0)
        return fail(errnoText(errno, chinese));
    if (::close(fd) != 0) {
        *message = named(fileName, errnoText(errno, chinese));
        return false;
    }
    return true;
}

}  // namespace

bool writeAll(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        done += qsizetype(n);
    }
    return true;
}

bool replaceContents(const QString& fileName, const QByteArray& bytes, QString* message, bool chinese)
{
    const QByteArray native = QFile::encodeName(fileName);
    struct stat st{};
    const bool exists = ::stat(native.constData(), &st) == 0;  // through symbolic links
    if (exists && !S_ISREG(st.st_mode)) {
        *message = named(fileName, notRegular(chinese));
        return false;
    }
    // A replacement would part the file from its other names.
    if (exists && st.st_nlink > 1) return writeInPlace(fileName, bytes, message, chinese);

    // Unbuffered, so that every failed write is seen here: a buffered save file lets a failing
    // final flush pass and commits a cut file. The save file follows symbolic links itself.
    QSaveFile file(fileName);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        // No temporary file beside it (a folder we may not create files in): write the file itself.
        if (exists && ::access(native.constData(), W_OK) == 0) return writeInPlace(fileName, bytes, message, chinese);
        *message = named(fileName, file.errorString());
        return false;
    }
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            *message = named(fileName, file.errorString());
            file.cancelWriting();
            return false;
        }
        done += qsizetype(n);
    }
    if (!file.commit()) {
        *message = named(fileName, file.errorString());
        return false;
    }
    return true;
}

}  // namespace FileSave
