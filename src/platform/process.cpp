#include "platform/process.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
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
// How often the processes of the programs are looked for: often while a program is young (when
// programs start their helpers and daemons leave their parents), seldom later.
constexpr auto kYoungLookEvery = 100ms;
constexpr auto kOldLookEvery = 1s;
constexpr auto kYoung = 5s;

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

// ---- processes as /proc shows them ----
//
// Everything here up to scanProcesses() is async-signal-safe: no allocation, no locks, only
// open, read and close, so the second stop signal can use it.

struct ProcessInfo {
    pid_t pid = 0;
    pid_t parent = 0;
    pid_t group = 0;
    pid_t session = 0;
    char state = 0;
    unsigned long long start = 0;  // clock ticks after boot: with the pid, names one process for good
};

// "/proc/PID/stat" into buffer (at least 32 bytes).
void statPath(pid_t pid, char* buffer)
{
    char digits[16];
    int n = 0;
    unsigned long value = (unsigned long)pid;
    do {
        digits[n++] = char('0' + value % 10);
        value /= 10;
    } while (value && n < 15);
    char* out = buffer;
    for (const char* p = "/proc/"; *p; ++p)
        *out++ = *p;
    while (n)
        *out++ = digits[--n];
    for (const char* p = "/stat"; *p; ++p)
        *out++ = *p;
    *out = 0;
}

bool readProcessInfo(pid_t pid, ProcessInfo& info)
{
    char path[32];
    statPath(pid, path);
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char text[1024];
    ssize_t size = 0;
    for (;;) {
        const ssize_t n = ::read(fd, text + size, sizeof text - 1 - size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        size += n;
        if (size_t(size) >= sizeof text - 1)
            break;
    }
    ::close(fd);
    // The command name may hold blanks and parentheses: the fields start after the last ')'.
    ssize_t i = size - 1;
    while (i >= 0 && text[i] != ')')
        --i;
    if (i < 0)
        return false;
    ++i;
    // Fields after the name: state, parent, group, session, ..., the start time is the 20th.
    long long fields[20] = {};
    char state = 0;
    for (int field = 0; field < 20; ++field) {
        while (i < size && text[i] == ' ')
            ++i;
        if (i >= size)
            return false;
        if (field == 0) {
            state = text[i];
            while (i < size && text[i] != ' ')
                ++i;
            continue;
        }
        bool negative = false;
        if (text[i] == '-') {
            negative = true;
            ++i;
        }
        long long value = 0;
        while (i < size && text[i] >= '0' && text[i] <= '9')
            value = value * 10 + (text[i++] - '0');
        fields[field] = negative ? -value : value;
    }
    info.pid = pid;
    info.state = state;
    info.parent = pid_t(fields[1]);
    info.group = pid_t(fields[2]);
    info.session = pid_t(fields[3]);
    info.start = (unsigned long long)fields[19];
    return true;
}

// The programs' processes as the second stop signal finds them: pid in the low 22 bits, the start
// time above, 0 for a free slot. Written by the reaper, read by the signal handler.
constexpr int kPidBits = 22;
constexpr size_t kEmergencySlots = 65536;
std::atomic<uint64_t> g_emergency[kEmergencySlots];
std::atomic<size_t> g_emergencyUsed{0};  // every slot in use lies below this
std::atomic<pid_t> g_emergencyOwner{0};  // the process that filled the table (not a forked copy)

uint64_t emergencyValue(const ProcessInfo& p)
{
    return uint64_t(uint32_t(p.pid) & ((1u << kPidBits) - 1)) | (uint64_t(p.start) << kPidBits);
}

// Every process that is there now (ended ones left out: they have nothing to end and no
// children), indexed for finding families.
struct ProcessTable {
    std::vector<ProcessInfo> processes;
    std::unordered_map<pid_t, size_t> byPid;
    std::unordered_multimap<pid_t, size_t> byParent, byGroup, bySession;
};

ProcessTable scanProcesses()
{
    ProcessTable table;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return table;
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end)
            continue;
        ProcessInfo info;
        if (readProcessInfo(pid_t(pid), info) && info.state != 'Z' && info.state != 'X')
            table.processes.push_back(info);
    }
    ::closedir(proc);
    for (size_t i = 0; i < table.processes.size(); ++i) {
        const ProcessInfo& p = table.processes[i];
        table.byPid.emplace(p.pid, i);
        table.byParent.emplace(p.parent, i);
        table.byGroup.emplace(p.group, i);
        table.bySession.emplace(p.session, i);
    }
    return table;
}

// One program and everything it started.
struct Family {
    pid_t leader = 0;  // the program: our child, leading a process group of its own
    unsigned long long leaderStart = 0;
    bool leaderCollected = false;  // waited for: its pid may be another process's now
    bool reaperCollects = false;   // false while run() waits for the program itself
    Clock::time_point born = Clock::now();
    std::vector<ProcessInfo> seen;  // the other members when last looked for
};

// The family's processes in the table. A process belongs when it is the program, one seen before
// (the same pid and start time), a child of a member, or in a process group or session that a
// member leads or is in (other than the caller's own). So what left the group or the session is
// found through its parent, and what lost its parent (a daemon left to the system's first
// process) through having been seen before.
std::vector<ProcessInfo> membersOf(const ProcessTable& table, const Family& family)
{
    const pid_t self = ::getpid();
    const pid_t ownGroup = ::getpgrp();
    const pid_t ownSession = ::getsid(0);
    std::vector<ProcessInfo> members;
    std::unordered_set<pid_t> in, ids;
    auto add = [&](size_t index) {
        const ProcessInfo& p = table.processes[index];
        if (p.pid != self && p.pid != 1 && in.insert(p.pid).second)
            members.push_back(p);
    };
    auto known = [&](pid_t pid, unsigned long long start) {
        if (const auto it = table.byPid.find(pid); it != table.byPid.end() && table.processes[it->second].start == start)
            add(it->second);
    };
    auto addAll = [&](const std::unordered_multimap<pid_t, size_t>& index, pid_t key) {
        for (auto [it, end] = index.equal_range(key); it != end; ++it)
            add(it->second);
    };
    // A group or session id that makes its processes members.
    auto addId = [&](pid_t id) {
        if (id <= 1 || id == self || id == ownGroup || id == ownSession || !ids.insert(id).second)
            return;
        addAll(table.byGroup, id);
        addAll(table.bySession, id);
    };
    if (!family.leaderCollected) {
        known(family.leader, family.leaderStart);
        addId(family.leader);
    }
    for (const ProcessInfo& p : family.seen)
        known(p.pid, p.start);
    for (size_t i = 0; i < members.size(); ++i) {  // grows as it goes
        const ProcessInfo p = members[i];
        addAll(table.byParent, p.pid);
        addId(p.group);
        addId(p.session);
    }
    return members;
}

bool isLeader(const Family& family, const ProcessInfo& p)
{
    return !family.leaderCollected && p.pid == family.leader && p.start == family.leaderStart;
}

// Keeps track of the programs' families and collects the programs that are left running, once
// they end.
class Reaper {
public:
    static Reaper& instance()
    {
        static Reaper reaper;
        return reaper;
    }

    // A program just started; run() collects it unless it hands it over.
    std::shared_ptr<Family> track(pid_t pid)
    {
        auto family = std::make_shared<Family>();
        family->leader = pid;
        ProcessInfo info;
        if (readProcessInfo(pid, info))  // our child: there until collected
            family->leaderStart = info.start;
        std::lock_guard lock(mutex_);
        families_.push_back(family);
        lookSoon_ = true;
        publish();
        if (!thread_.joinable())
            thread_ = std::thread([this] { loop(); });
        wake_.notify_one();
        return family;
    }

    // The program is left running: the reaper collects it when it ends.
    void handOver(const std::shared_ptr<Family>& family)
    {
        std::lock_guard lock(mutex_);
        family->reaperCollects = true;
        wake_.notify_one();
    }

    // run() collected the program; what it started is still looked after.
    void collected(const std::shared_ptr<Family>& family)
    {
        std::lock_guard lock(mutex_);
        family->leaderCollected = true;
        drop();
    }

    // Kills the program and everything it started. Each member is stopped first, and looked for
    // again until no new one turns up, so nothing can start another process in between.
    void kill(const std::shared_ptr<Family>& family)
    {
        std::lock_guard scan(scanMutex_);
        std::vector<ProcessInfo> stopped;
        std::unordered_set<pid_t> stoppedPids;
        for (int round = 0; round < 100; ++round) {
            const ProcessTable table = scanProcesses();
            std::vector<ProcessInfo> members;
            {
                std::lock_guard lock(mutex_);
                members = membersOf(table, *family);
            }
            bool fresh = false;
            for (const ProcessInfo& p : members) {
                if (!stoppedPids.insert(p.pid).second)
                    continue;
                ::kill(p.pid, SIGSTOP);
                stopped.push_back(p);
                fresh = true;
            }
            if (!fresh)
                break;
            waitUntilStopped(stopped);
        }
        for (const ProcessInfo& p : stopped)
            ::kill(p.pid, SIGKILL);
        std::lock_guard lock(mutex_);
        family->seen.clear();
        for (const ProcessInfo& p : stopped)
            if (!isLeader(*family, p))
                family->seen.push_back(p);
        publish();
    }

    // Ends every family still there: the terminate signal to each member, the kill (as kill()
    // does it) to what is still there after the grace time, and collects the programs. Returns
    // how many families had something running.
    int endAll(std::chrono::milliseconds grace)
    {
        int count = 0;
        {
            std::lock_guard scan(scanMutex_);
            const ProcessTable table = scanProcesses();
            std::lock_guard lock(mutex_);
            reapEnded();
            refresh(table);
            for (const std::shared_ptr<Family>& family : families_) {
                if (!family->reaperCollects && !family->leaderCollected)
                    continue;  // run() still waits for it
                ++count;
                if (!family->leaderCollected)
                    ::kill(-family->leader, SIGTERM);
                for (const ProcessInfo& p : membersOf(table, *family))
                    ::kill(p.pid, SIGTERM);
            }
        }
        const auto deadline = Clock::now() + grace;
        while (!leftRunning().empty() && Clock::now() < deadline) {
            std::this_thread::sleep_for(10ms);
            look();
        }
        for (const std::shared_ptr<Family>& family : leftRunning())
            kill(family);
        // A killed program ends at once unless it is stuck in the kernel; the reaper's loop
        // (while the process lives) takes what is left.
        const auto giveUp = Clock::now() + 1s;
        while (!leftRunning().empty() && Clock::now() < giveUp) {
            std::this_thread::sleep_for(2ms);
            look();
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

    // The families that run() no longer waits for.
    std::vector<std::shared_ptr<Family>> leftRunning()
    {
        std::lock_guard lock(mutex_);
        std::vector<std::shared_ptr<Family>> left;
        for (const std::shared_ptr<Family>& family : families_)
            if (family->reaperCollects || family->leaderCollected)
                left.push_back(family);
        return left;
    }

    static void waitUntilStopped(const std::vector<ProcessInfo>& processes)
    {
        const auto giveUp = Clock::now() + 200ms;
        for (const ProcessInfo& p : processes) {
            ProcessInfo now;
            while (readProcessInfo(p.pid, now) && now.start == p.start && now.state != 'T' && now.state != 't' &&
                   now.state != 'Z' && now.state != 'X' && Clock::now() < giveUp)
                std::this_thread::sleep_for(1ms);
        }
    }

    // Collects the handed-over programs that have ended; the mutex is held.
    void reapEnded()
    {
        for (const std::shared_ptr<Family>& family : families_) {
            if (family->leaderCollected || !family->reaperCollects)
                continue;
            int status = 0;
            const pid_t rc = ::waitpid(family->leader, &status, WNOHANG);
            if (rc == family->leader || (rc < 0 && errno == ECHILD))
                family->leaderCollected = true;
        }
        drop();
    }

    // Records each family's members as the table shows them; the mutex is held.
    void refresh(const ProcessTable& table)
    {
        for (const std::shared_ptr<Family>& family : families_) {
            std::vector<ProcessInfo> members = membersOf(table, *family);
            std::erase_if(members, [&](const ProcessInfo& p) { return isLeader(*family, p); });
            family->seen = std::move(members);
        }
        drop();
    }

    // Forgets the families of which nothing is left; the mutex is held.
    void drop()
    {
        std::erase_if(families_, [](const std::shared_ptr<Family>& f) { return f->leaderCollected && f->seen.empty(); });
        publish();
    }

    // Puts every known process of every family where the second stop signal finds it; the mutex
    // is held.
    void publish()
    {
        g_emergencyOwner.store(::getpid());
        std::unordered_map<pid_t, uint64_t> wanted;
        for (const std::shared_ptr<Family>& family : families_) {
            if (!family->leaderCollected)
                wanted[family->leader] = emergencyValue({family->leader, 0, 0, 0, 0, family->leaderStart});
            for (const ProcessInfo& p : family->seen)
                wanted[p.pid] = emergencyValue(p);
        }
        for (auto it = slots_.begin(); it != slots_.end();) {
            const auto w = wanted.find(it->first);
            if (w != wanted.end() && g_emergency[it->second].load() == w->second) {
                wanted.erase(w);
                ++it;
                continue;
            }
            g_emergency[it->second].store(0);
            free_.push_back(it->second);
            it = slots_.erase(it);
        }
        for (const auto& [pid, value] : wanted) {
            size_t slot;
            if (!free_.empty()) {
                slot = free_.back();
                free_.pop_back();
            } else if (used_ < kEmergencySlots) {
                slot = used_++;
                g_emergencyUsed.store(used_);
            } else {
                break;  // the table is full: these are still ended in order, not at once
            }
            g_emergency[slot].store(value);
            slots_.emplace(pid, slot);
        }
    }

    // Looks for every family's members and collects what ended.
    void look()
    {
        std::lock_guard scan(scanMutex_);
        const ProcessTable table = scanProcesses();
        std::lock_guard lock(mutex_);
        reapEnded();
        refresh(table);
    }

    void loop()
    {
        auto nextLook = Clock::now();
        std::unique_lock lock(mutex_);
        while (!quit_) {
            reapEnded();
            if (families_.empty()) {
                wake_.wait(lock, [this] { return quit_ || !families_.empty(); });
                nextLook = Clock::now();
                continue;
            }
            const auto now = Clock::now();
            if (std::exchange(lookSoon_, false))
                nextLook = std::min(nextLook, now + kYoungLookEvery);
            if (now >= nextLook) {
                const bool young = std::any_of(families_.begin(), families_.end(),
                                               [&](const std::shared_ptr<Family>& f) { return now - f->born < kYoung; });
                lock.unlock();
                look();
                lock.lock();
                nextLook = Clock::now() + (young ? kYoungLookEvery : kOldLookEvery);
            }
            wake_.wait_for(lock, 50ms, [this] { return quit_; });
        }
    }

    std::mutex scanMutex_;  // one look at a time, taken before mutex_
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::shared_ptr<Family>> families_;
    std::unordered_map<pid_t, size_t> slots_;  // pid -> its slot in the emergency table
    std::vector<size_t> free_;
    size_t used_ = 0;
    bool lookSoon_ = false;  // a program started: look for its processes within kYoungLookEvery
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

// posix_spawn with the child's set-up: the standard three on /dev/null, no other inherited file,
// default signal handling and no blocked signals.
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
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
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
    Reaper& reaper = Reaper::instance();
    const std::shared_ptr<Family> family = reaper.track(pid);
    if (timeoutMs <= 0) {
        result.status = Result::Status::Started;
        reaper.handOver(family);
        return result;
    }

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (stopRequested && stopRequested()) {
            result.status = Result::Status::Stopped;
            reaper.handOver(family);
            return result;
        }
        if (collect(pid, &result.exitCode)) {
            result.status = Result::Status::Finished;
            reaper.collected(family);
            return result;
        }
        const auto now = Clock::now();
        if (now >= deadline)
            break;
        std::this_thread::sleep_for(std::min<Clock::duration>(kPollStep, deadline - now));
    }

    result.status = Result::Status::TimedOut;
    if (!killOnTimeout) {
        reaper.handOver(family);
        return result;
    }
    // The program with everything it started, before the program is collected, so its process
    // id (and that of its process group) is still its own.
    reaper.kill(family);
    result.killed = true;
    // A killed program ends at once unless it is stuck in the kernel; then the reaper takes it.
    int ignored = 0;
    const auto giveUp = Clock::now() + 1s;
    while (!collect(pid, &ignored)) {
        if (Clock::now() >= giveUp) {
            reaper.handOver(family);
            return result;
        }
        std::this_thread::sleep_for(1ms);
    }
    reaper.collected(family);
    return result;
}

int endLeftRunning(int graceMs)
{
    return Reaper::instance().endAll(std::chrono::milliseconds(std::max(graceMs, 0)));
}

void endAllAtOnce() noexcept
{
    if (g_emergencyOwner.load() != ::getpid())
        return;  // a forked copy: the programs are not its own
    const size_t used = std::min(g_emergencyUsed.load(), kEmergencySlots);
    for (size_t i = 0; i < used; ++i) {
        const uint64_t value = g_emergency[i].load();
        if (!value)
            continue;
        const pid_t pid = pid_t(value & ((1u << kPidBits) - 1));
        ProcessInfo info;
        if (!readProcessInfo(pid, info) || (info.start & (~0ull >> kPidBits)) != value >> kPidBits)
            continue;  // ended, and its pid may be another's
        if (info.group == pid)
            ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
    }
}

}  // namespace Process
