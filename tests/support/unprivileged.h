#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

// Runs f in a child process that may create files only where the folder's mode lets anyone: as
// root the child becomes the unprivileged user nobody. Returns what f returns, or a text that
// says why the child gave nothing.
inline QString withoutPrivileges(const std::function<QString()>& f)
{
    int fds[2];
    if (pipe(fds) != 0) return QStringLiteral("no pipe");
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        const QByteArray out = f().toUtf8();
        if (write(fds[1], out.constData(), size_t(out.size())) != out.size()) _exit(4);
        _exit(0);
    }
    close(fds[1]);
    QByteArray out;
    char buffer[512];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, n);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return QStringLiteral("the child failed");
    return QString::fromUtf8(out);
}
