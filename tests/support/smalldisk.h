#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <sys/mount.h>
#include <unistd.h>

// A small file system of its own (a tmpfs of the given size) mounted on a temporary folder, for
// tests of what a full disk does. Mounting needs root (or a user name space); where it cannot be
// done, mounted() is false and the test skips.
class SmallDisk {
public:
    explicit SmallDisk(qint64 bytes)
    {
        if (!dir_.isValid()) return;
        const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0777";
        mounted_ = ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~SmallDisk()
    {
        if (mounted_) ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    QString path() const { return dir_.path(); }
    QString filePath(const QString& name) const { return dir_.filePath(name); }

    // Fills the disk with a file of that name until no byte more fits; what is left free is then
    // exactly 'spare' bytes less than that (the filler is cut back by spare).
    bool fill(const QString& name, qint64 spare = 0) const
    {
        QFile filler(filePath(name));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) {
        }
        qint64 size = filler.size();
        filler.close();
        // A tmpfs counts whole pages; free some of them again when asked.
        return spare == 0 || ::truncate(QFile::encodeName(filePath(name)).constData(), off_t(qMax<qint64>(0, size - spare))) == 0;
    }

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
};
