#include "platform/filesave.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
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

std::atomic<qint64> g_faultAfter{-1};
std::atomic<bool> g_faultDies{false};

// ---- the journal of an in-place save ----
//
// "SORVIXJ1", then device, inode, old size and new size of the file (64-bit little-endian), the
// SHA-256 of the new bytes, the old bytes, and last the SHA-256 of everything before it: a journal
// cut off while it was written fails that check and means the file was not touched yet.

constexpr char kMagic[8] = {'S', 'O', 'R', 'V', 'I', 'X', 'J', '1'};
constexpr qsizetype kHashBytes = 32;
constexpr qsizetype kHeadBytes = 8 + 4 * 8 + kHashBytes;

QByteArray sha256(QByteArrayView bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

void putU64(QByteArray& out, quint64 v)
{
    char b[8];
    qToLittleEndian(v, b);
    out.append(b, 8);
}

quint64 getU64(const QByteArray& in, qsizetype at) { return qFromLittleEndian<quint64>(in.constData() + at); }

// The name of the journal of a file: by its device and inode, which all its names share.
QByteArray journalName(const struct stat& st)
{
    return ".sorvix-journal-" + QByteArray::number(quint64(st.st_dev)) + '-' + QByteArray::number(quint64(st.st_ino));
}

// The journal beside the file (in the folder of its real place, through symbolic links).
QByteArray besidePath(const QString& fileName, const struct stat& st)
{
    QFileInfo info(fileName);
    const QString real = info.canonicalFilePath();
    if (!real.isEmpty()) info.setFile(real);
    return QFile::encodeName(info.absolutePath()) + '/' + journalName(st);
}

// This user's folder for the journals of files whose folder takes no new file; empty when there
// is none that is safe (it must be a real folder of this user that nobody else may write).
QByteArray userFolder(bool create)
{
    const QByteArray folder =
        QFile::encodeName(QDir::tempPath() + QStringLiteral("/sorvix-journals-%1").arg(::geteuid()));
    if (create) ::mkdir(folder.constData(), 0700);
    struct stat st{};
    if (::lstat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & 077) != 0)
        return {};
    return folder;
}

QByteArray userPath(const struct stat& st, bool create)
{
    const QByteArray folder = userFolder(create);
    if (folder.isEmpty()) return {};
    return folder + '/' + journalName(st);
}

void syncFolderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash <= 0 ? QByteArray(slash == 0 ? "/" : ".") : path.left(slash);
    const int fd = openFile(folder.constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Writes the journal of a save of 'bytes' over a file that holds 'old'; its path on success.
bool writeJournal(const QString& fileName, const struct stat& st, const QByteArray& old, const QByteArray& bytes,
                  QByteArray* path)
{
    QByteArray content(kMagic, sizeof kMagic);
    putU64(content, quint64(st.st_dev));
    putU64(content, quint64(st.st_ino));
    putU64(content, quint64(old.size()));
    putU64(content, quint64(bytes.size()));
    content += sha256(bytes);
    content += old;
    content += sha256(content);

    const QByteArray beside = besidePath(fileName, st);
    int fd = openFile(beside.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0600);
    *path = beside;
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        *path = userPath(st, true);
        if (path->isEmpty()) {
            errno = EACCES;
            return false;
        }
        fd = openFile(path->constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0600);
    }
    if (fd < 0) return false;
    const bool ok = writeAll(fd, content) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && ok) error = errno;
    if (!ok) {
        ::unlink(path->constData());
        errno = error;
        return false;
    }
    syncFolderOf(*path);
    return true;
}

// Puts the bytes over the file from its start and cuts it to their length.
bool putBytes(int fd, const QByteArray& bytes)
{
    return ::lseek(fd, 0, SEEK_SET) == 0 && writeAll(fd, bytes) && ::ftruncate(fd, off_t(bytes.size())) == 0 &&
           ::fsync(fd) == 0;
}

// Mends the open, locked file from the journal at path, if it is a whole journal of this file,
// and removes the journal once the file is whole again (a journal cut off is removed at once: the
// save had not touched the file yet).
void mendFrom(int fd, const struct stat& st, const QByteArray& path)
{
    if (path.isEmpty()) return;
    const int jfd = openFile(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
    if (jfd < 0) return;
    struct stat js{};
    QByteArray journal;
    const bool read = ::fstat(jfd, &js) == 0 && S_ISREG(js.st_mode) && readWhole(jfd, &journal);
    ::close(jfd);
    // Only our own journals: another user's file in a shared folder could be a trap.
    if (!read || js.st_uid != ::geteuid()) return;
    const bool whole = journal.size() >= kHeadBytes + kHashBytes && journal.startsWith(QByteArray(kMagic, 8)) &&
                       qsizetype(getU64(journal, 24)) == journal.size() - kHeadBytes - kHashBytes &&
                       sha256(QByteArrayView(journal).first(journal.size() - kHashBytes)) ==
                           journal.right(kHashBytes);
    if (!whole || getU64(journal, 8) != quint64(st.st_dev) || getU64(journal, 16) != quint64(st.st_ino)) {
        ::unlink(path.constData());  // cut off, or of a file that is gone
        return;
    }
    const QByteArray old = journal.mid(kHeadBytes, qsizetype(getU64(journal, 24)));
    QByteArray now;
    if (!readWhole(fd, &now)) return;
    const bool newArrived = quint64(now.size()) == getU64(journal, 32) && sha256(now) == journal.mid(40, kHashBytes);
    if (newArrived || now == old || putBytes(fd, old)) ::unlink(path.constData());
}

void mendLocked(int fd, const QString& fileName, const struct stat& st)
{
    mendFrom(fd, st, besidePath(fileName, st));
    mendFrom(fd, st, userPath(st, false));
}

}  // namespace

int openFile(const char* path, int flags, mode_t mode)
{
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool readWhole(int fd, QByteArray* content)
{
    content->clear();
    char buffer[65536];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        content->append(buffer, n);
        at += n;
    }
}

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

void injectInPlaceFault(qint64 afterBytes, bool dies)
{
    g_faultDies = dies;
    g_faultAfter = afterBytes;
}

bool overwriteInPlace(int fd, const QString& fileName, const QByteArray& bytes)
{
    struct stat st{};
    if (::fstat(fd, &st) != 0) return false;
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return false;
    }
    mendLocked(fd, fileName, st);  // what an earlier save that died left
    QByteArray old;
    if (!readWhole(fd, &old)) return false;
    if (old == bytes) return ::fsync(fd) == 0;

    QByteArray journal;
    if (!writeJournal(fileName, st, old, bytes, &journal)) return false;
    auto failKeepingOld = [&](int error) {
        if (::ftruncate(fd, off_t(old.size())) == 0 && putBytes(fd, old)) ::unlink(journal.constData());
        errno = error;
        return false;
    };
    // Room for all of it first, so that a full disk fails before any old byte is overwritten.
    if (bytes.size() > old.size()) {
        const int r = ::posix_fallocate(fd, 0, off_t(bytes.size()));
        if (r != 0 && r != EOPNOTSUPP && r != EINVAL && r != ENODEV) return failKeepingOld(r);
    }
    const qint64 faultAfter = g_faultAfter.exchange(-1);
    if (faultAfter >= 0) {
        const bool dies = g_faultDies;
        if (::lseek(fd, 0, SEEK_SET) == 0) (void)writeAll(fd, bytes.left(faultAfter));
        if (dies) {
            errno = ENOSPC;
            return false;  // as a program that died: the cut file and the journal stay
        }
        return failKeepingOld(ENOSPC);
    }
    if (!putBytes(fd, bytes)) return failKeepingOld(errno);
    ::unlink(journal.constData());
    return true;
}

void recover(const QString& fileName)
{
    const QByteArray native = QFile::encodeName(fileName);
    struct stat st{};
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    struct stat js{};
    const QByteArray beside = besidePath(fileName, st);
    const QByteArray user = userPath(st, false);
    if (::lstat(beside.constData(), &js) != 0 && (user.isEmpty() || ::lstat(user.constData(), &js) != 0)) return;
    const int fd = openFile(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) mendLocked(fd, fileName, st);
    ::close(fd);
}

bool mayReplace(const QString& fileName, QString* error, bool chinese)
{
    struct stat st{};
    if (::stat(QFile::encodeName(fileName).constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        *error = named(fileName, notRegular(chinese));
        return false;
    }
    return true;
}

namespace {

// Writes the bytes over the existing file, safely (overwriteInPlace): only for targets that
// cannot be replaced.
bool writeInPlace(const QString& fileName, const QByteArray& bytes, QString* error, bool chinese)
{
    const QByteArray native = QFile::encodeName(fileName);
    // Non-blocking, so that a pipe put in the file's place meanwhile cannot hang the open.
    const int fd = openFile(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        *error = named(fileName, errnoText(errno, chinese));
        return false;
    }
    auto fail = [&](const QString& reason) {
        ::close(fd);
        *error = named(fileName, reason);
        return false;
    };
    struct stat st{};
    if (::fstat(fd, &st) != 0) return fail(errnoText(errno, chinese));
    if (!S_ISREG(st.st_mode)) return fail(notRegular(chinese));
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0 || !overwriteInPlace(fd, fileName, bytes)) return fail(errnoText(errno, chinese));
    if (::close(fd) != 0) {
        *error = named(fileName, errnoText(errno, chinese));
        return false;
    }
    return true;
}

}  // namespace

bool replaceContents(const QString& fileName, const QByteArray& bytes, QString* error, bool chinese)
{
    if (!mayReplace(fileName, error, chinese)) return false;
    const QByteArray native = QFile::encodeName(fileName);
    struct stat st{};
    const bool exists = ::stat(native.constData(), &st) == 0;  // through symbolic links
    // A replacement would part the file from its other names.
    if (exists && st.st_nlink > 1) return writeInPlace(fileName, bytes, error, chinese);

    // Unbuffered, so that every failed write is seen here: a buffered save file lets a failing
    // final flush pass and commits a cut file. The save file follows symbolic links itself.
    QSaveFile file(fileName);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        // No temporary file beside it (a folder we may not create files in): write the file itself.
        if (exists && ::access(native.constData(), W_OK) == 0) return writeInPlace(fileName, bytes, error, chinese);
        *error = named(fileName, file.errorString());
        return false;
    }
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            *error = named(fileName, file.errorString());
            file.cancelWriting();
            return false;
        }
        done += qsizetype(n);
    }
    if (!file.commit()) {
        *error = named(fileName, file.errorString());
        return false;
    }
    return true;
}

}  // namespace FileSave
