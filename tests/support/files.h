#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

namespace testfiles {

// The whole file, empty when it cannot be read.
inline QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Makes bytes the whole file; false when it cannot be written.
inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// How many files the process has open for writing in folder that have no name there yet: a wave
// file being recorded is written unnamed and gets its name when it is finished, so this counts the
// recordings under way.
inline int unnamedFilesOpenIn(qint64 pid, const QString& folder)
{
    const QString prefix = QDir(folder).canonicalPath() + QStringLiteral("/#");
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    int n = 0;
    for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot))
        if (const QString target = fd.symLinkTarget(); target.startsWith(prefix) && target.endsWith(QStringLiteral(" (deleted)")))
            ++n;
    return n;
}

}  // namespace testfiles
