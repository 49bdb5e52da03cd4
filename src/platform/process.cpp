#include "platform/process.h"

#include <QFile>

#include <algorithm>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/syserror.h"

extern char** environ;

namespace Process {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kPollStep = 5ms;

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

// Collects the children that are left running, once they end.
class Reaper {
public:
    static Reaper& instance()
    {
        static Reaper reaper;
        return reaper;
    }

    void adopt(pid_t pid)
    {
        std::lock_guard lock(mutex_);
        children_.push_back(pid);
        if (!thread_.joinable())
            thread_ = std::thread([this] { loop(); });
        wake_.notify_one();
    }

    // Ends every child still left running: the terminate signal to its process group (so what
    // the program started itself goes too), the kill signal to those still there after the grace
    // time, and collects each. Returns how many there were.
    int endAll(std::chrono::milliseconds grace)
    {
        std::unique_lock lock(mutex_);
        reapEnded();
        const int count = int(children_.size());
        for (pid_t pid : children_)
            signalGroup(pid, SIGTERM);
        const auto deadline = Clock::now() + grace;
        while (!children_.empty() && Clock::now() < deadline) {
            wake_.wait_for(lock, 5ms, [this] { return quit_; });
            reapEnded();
        }
        if (!children_.empty()) {
            for (pid_t pid : children_)
                signalGroup(pid, SIGKILL);
            // A killed program ends at once unless it is stuck in the kernel; the loop (while the
            // process lives) takes what is left.
            const auto giveUp = Clock::now() + 1s;
            while (!children_.empty() && Clock::now() < giveUp) {
                wake_.wait_for(lock, 1ms, [this] { return quit_; });
                reapEnded();
            }
        }
        return count;
    }

    ~Reaper()
    {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable())
            thread_.join();
    }

private:
    Reaper() = default;

    static void signalGroup(pid_t pid, int signalNumber)
    {
        // Each child leads a process group of its own; one that left it is still signalled itself.
        if (::kill(-pid, signalNumber) != 0)
            ::kill(pid, signalNumber);
    }

    // Collects the children that have ended; the mutex is held.
    void reapEnded()
    {
        std::erase_if(children_, [](pid_t pid) {
            int status = 0;
            const pid_t rc = ::waitpid(pid, &status, WNOHANG);
            return rc == pid || (rc < 0 && errno == ECHILD);
        });
    }

    void loop()
    {
        std::unique_lock lock(mutex_);
        while (!quit_) {
            reapEnded();
            if (children_.empty())
                wake_.wait(lock, [this] { return quit_ || !children_.empty(); });
            else
                wake_.wait_for(lock, 50ms, [this] { return quit_; });
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<pid_t> children_;
    bool quit_ = false;
    std::thread thread_;
};

int exitCodeOf(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

bool isExecutableFile(const QByteArray& path)
{
    struct stat info;
    return ::stat(path.constData(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.constData(), X_OK) == 0;
}

// Collects a child if it has ended. True when it has (or can no longer be waited for).
bool collect(pid_t pid, int* exitCode)
{
    for (;;) {
        int status = 0;
        const pid_t rc = ::waitpid(pid, &status, WNOHANG);
        if (rc == pid) {
            *exitCode = exitCodeOf(status);
            return true;
        }
        if (rc == 0)
            return false;
        if (errno == EINTR)
            continue;
        *exitCode = -1;  // ECHILD: collected elsewhere (SIGCHLD ignored)
        return true;
    }
}

// posix_spawn with the child's set-up: stdin from /dev/null, no inherited files beyond the
// standard three, default signal handling and no blocked signals.
int spawn(const QByteArray& path, const QList<QByteArray>& arguments, pid_t* pid)
{
    std::vector<char*> argv;
    argv.reserve(size_t(arguments.size()) + 1);
    for (const QByteArray& argument : arguments)
        argv.push_back(const_cast<char*>(argument.constData()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signalSet;
    sigemptyset(&signalSet);
    posix_spawnattr_setsigmask(&attributes, &signalSet);
    sigfillset(&signalSet);
    sigdelset(&signalSet, SIGKILL);
    sigdelset(&signalSet, SIGSTOP);
    posix_spawnattr_setsigdefault(&attributes, &signalSet);
    // A process group of its own: a stop signal typed at the terminal reaches the caller alone, which
    // ends its programs in order, and ending a program reaches what it started.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    const int rc = ::posix_spawn(pid, path.constData(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return rc;
}

Result failedToStart(int error, bool chinese)
{
    Result result;
    result.status = Result::Status::FailedToStart;
    result.error = error;
    result.errorText = systemErrorText(error, chinese);
    return result;
}

}  // namespace

QStringList splitCommandLine(const QString& commandLine)
{
    QStringList items;
    const qsizetype size = commandLine.size();
    qsizetype i = 0;
    while (i < size && isBlank(commandLine.at(i)))
        ++i;
    if (i == size)
        return items;

    // The program name.
    if (commandLine.at(i) == u'"') {
        const qsizetype start = ++i;
        while (i < size && commandLine.at(i) != u'"')
            ++i;
        items.append(commandLine.mid(start, i - start));
        if (i < size)
            ++i;
    } else {
        const qsizetype start = i;
        while (i < size && !isBlank(commandLine.at(i)))
            ++i;
        items.append(commandLine.mid(start, i - start));
    }

    // The arguments.
    QString current;
    bool inItem = false;
    bool quoted = false;
    qsizetype backslashes = 0;
    for (; i < size; ++i) {
        const QChar c = commandLine.at(i);
        if (isBlank(c) && !quoted) {
            current += QString(backslashes, u'\\');
            backslashes = 0;
            if (inItem)
                items.append(current);
            current.clear();
            inItem = false;
            continue;
        }
        inItem = true;
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c != u'"') {
            current += QString(backslashes, u'\\');
            backslashes = 0;
            current += c;
            continue;
        }
        current += QString(backslashes / 2, u'\\');
        const bool escaped = backslashes % 2 == 1;
        backslashes = 0;
        if (escaped) {
            current += u'"';
        } else if (!quoted) {
            quoted = true;
        } else {
            quoted = false;
            if (i + 1 < size && commandLine.at(i + 1) == u'"') {
                current += u'"';
                ++i;
            }
        }
    }
    current += QString(backslashes, u'\\');
    if (inItem)
        items.append(current);
    return items;
}

QString findProgram(const QString& program, int* error)
{
    auto notFound = [&](int code) {
        if (error)
            *error = code;
        return QString();
    };
    if (program.isEmpty())
        return notFound(ENOENT);
    if (program.contains(u'/')) {
        struct stat info;
        if (::stat(QFile::encodeName(program).constData(), &info) != 0)
            return notFound(errno);
        return program;
    }
    QString path = qEnvironmentVariable("PATH");
    if (path.isNull())
        path = QStringLiteral("/bin:/usr/bin");
    bool foundOther = false;
    for (QString folder : path.split(u':')) {
        if (folder.isEmpty())
            folder = QStringLiteral(".");
        const QString candidate = folder + u'/' + program;
        const QByteArray encoded = QFile::encodeName(candidate);
        if (isExecutableFile(encoded)) {
            if (error)
                *error = 0;
            return candidate;
        }
        if (::access(encoded.constData(), F_OK) == 0)
            foundOther = true;
    }
    return notFound(foundOther ? EACCES : ENOENT);
}

Result run(const QString& commandLine, qint64 timeoutMs, bool killOnTimeout,
           const std::function<bool()>& stopRequested, bool chinese)
{
    const QStringList items = splitCommandLine(commandLine);
    if (items.isEmpty())
        return failedToStart(ENOENT, chinese);
    int error = 0;
    const QString program = findProgram(items.first(), &error);
    if (program.isEmpty())
        return failedToStart(error, chinese);

    QList<QByteArray> arguments;
    for (const QString& item : items)
        arguments.append(QFile::encodeName(item));
    pid_t pid = -1;
    if (const int rc = spawn(QFile::encodeName(program), arguments, &pid); rc != 0)
        return failedToStart(rc, chinese);

    Result result;
    result.pid = pid;
    if (timeoutMs <= 0) {
        result.status = Result::Status::Started;
        Reaper::instance().adopt(pid);
        return result;
    }

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (stopRequested && stopRequested()) {
            result.status = Result::Status::Stopped;
            Reaper::instance().adopt(pid);
            return result;
        }
        if (collect(pid, &result.exitCode)) {
            result.status = Result::Status::Finished;
            return result;
        }
        const auto now = Clock::now();
        if (now >= deadline)
            break;
        std::this_thread::sleep_for(std::min<Clock::duration>(kPollStep, deadline - now));
    }

    result.status = Result::Status::TimedOut;
    if (!killOnTimeout) {
        Reaper::instance().adopt(pid);
        return result;
    }
    ::kill(pid, SIGKILL);
    result.killed = true;
    // A killed program ends at once unless it is stuck in the kernel; then the reaper takes it.
    int ignored = 0;
    const auto giveUp = Clock::now() + 1s;
    while (!collect(pid, &ignored)) {
        if (Clock::now() >= giveUp) {
            Reaper::instance().adopt(pid);
            break;
        }
        std::this_thread::sleep_for(1ms);
    }
    return result;
}

int endLeftRunning(int graceMs)
{
    return Reaper::instance().endAll(std::chrono::milliseconds(std::max(graceMs, 0)));
}

}  // namespace Process
