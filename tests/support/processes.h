#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <functional>

// Other processes as tests watch them: programs that write their process ids into files, and
// waits for them to end with a deadline.
namespace testprocesses {

// Polls the condition until it holds or ms milliseconds have passed.
inline bool waitUntil(const std::function<bool()>& condition, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > ms) return false;
        QThread::msleep(20);
    }
    return true;
}

// The process id written in the file, -1 while there is none.
inline qint64 readPid(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return -1;
    bool ok = false;
    const qint64 pid = f.readAll().trimmed().toLongLong(&ok);
    return ok && pid > 0 ? pid : -1;
}

// True when the process no longer runs (gone, or ended and only waiting to be collected).
inline bool hasEnded(qint64 pid)
{
    if (::kill(pid_t(pid), 0) != 0) return errno == ESRCH;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return true;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close >= 0 && text.mid(close + 2, 1) == "Z";
}

}  // namespace testprocesses
