#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <vector>

// Things in a folder that are no regular files: a pipe, a character device like /dev/full (made
// here, so that a fault cannot touch the system's own; only where mknod is allowed) and a folder,
// each named stem + its kind + suffix.
struct OddFiles {
    struct Entry {
        QString path;
        mode_t type;
    };
    std::vector<Entry> entries;

    OddFiles(const QTemporaryDir& dir, const QString& suffix, dev_t device = makedev(1, 7))
    {
        const QString pipe = dir.filePath(QStringLiteral("pipe") + suffix);
        if (::mkfifo(QFile::encodeName(pipe).constData(), 0666) == 0) entries.push_back({pipe, S_IFIFO});
        const QString node = dir.filePath(QStringLiteral("device") + suffix);
        if (::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0666, device) == 0) entries.push_back({node, S_IFCHR});
        const QString folder = dir.filePath(QStringLiteral("folder") + suffix);
        if (QDir().mkdir(folder)) entries.push_back({folder, S_IFDIR});
    }

    // Each entry still is what it was.
    bool unchanged() const
    {
        for (const Entry& e : entries) {
            struct stat st{};
            if (::lstat(QFile::encodeName(e.path).constData(), &st) != 0 || (st.st_mode & S_IFMT) != e.type) return false;
        }
        return true;
    }
};
