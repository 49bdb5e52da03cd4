#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "platform/process.h"
#include "support/processes.h"

namespace {

using Status = Process::Result::Status;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

// The state letter of /proc/PID/stat ('R', 'S', 'Z' ...), or 0 when there is no such process.
char processState(qint64 pid)
{
    QFile stat(u("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close >= 0 && close + 2 < text.size() ? text.at(close + 2) : 0;
}

// True once the process is gone altogether: ended and collected, no zombie left.
bool goneWithin(qint64 pid, std::chrono::milliseconds limit)
{
    const auto end = Clock::now() + limit;
    while (processState(pid) != 0) {
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

bool running(qint64 pid)
{
    const char state = processState(pid);
    return state != 0 && state != 'Z';
}

Process::Result run(const QString& commandLine, qint64 timeoutMs = 10000, bool kill = false,
                    const std::function<bool()>& stop = {}, bool chinese = false)
{
    return Process::run(commandLine, timeoutMs, kill, stop, chinese);
}

TEST(CommandLine, SplitsByTheClassicRules)
{
    const struct {
        const char* line;
        QStringList items;
    } cases[] = {
        {"", {}},
        {"  \t ", {}},
        {"prog", {u("prog")}},
        {"  prog  a \t b  ", {u("prog"), u("a"), u("b")}},
        // The program name: up to the next quote when quoted, else up to the next blank.
        {"\"C:\\Program Files\\x.exe\" a", {u("C:\\Program Files\\x.exe"), u("a")}},
        {"\"my prog\"x y", {u("my prog"), u("x"), u("y")}},
        {"pro\\\"g a", {u("pro\\\"g"), u("a")}},
        {"\"unterminated prog", {u("unterminated prog")}},
        // Arguments.
        {"p \"a b\" c", {u("p"), u("a b"), u("c")}},
        {"p a\"b c\"d", {u("p"), u("ab cd")}},
        {"p a\\\\b c\\", {u("p"), u("a\\\\b"), u("c\\")}},       // backslashes before no quote
        {"p a\\\"b", {u("p"), u("a\"b")}},                         // \" is a quote
        {"p a\\\\\"b c\"", {u("p"), u("a\\b c")}},                 // \\" is a backslash and a quote that groups
        {"p a\\\\\\\"b", {u("p"), u("a\\\"b")}},                   // \\\" is a backslash and a quote
        {"p \"\"", {u("p"), u("")}},                               // an empty argument
        {"p \"\" x", {u("p"), u(""), u("x")}},
        {"p \"a\"\"b\"", {u("p"), u("a\"b")}},                     // "" inside quotes: a quote, quotes end
        {"p \"a\"\"b c\"", {u("p"), u("a\"b"), u("c")}},
        {"p \"\"\"", {u("p"), u("\"")}},
        {"p 'a b'", {u("p"), u("'a"), u("b'")}},                   // single quotes mean nothing
        {"p \"unterminated arg", {u("p"), u("unterminated arg")}},
        {"p a;b|c>d $(e)", {u("p"), u("a;b|c>d"), u("$(e)")}},
        {"程序 参数 \"带 空格\"", {u("程序"), u("参数"), u("带 空格")}},
        // The example of the Execute help page.
        {"\"/opt/ivr tools/notify\" -m \"Call from 123\" a\\\"b \"\"",
         {u("/opt/ivr tools/notify"), u("-m"), u("Call from 123"), u("a\"b"), u("")}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Process::splitCommandLine(u(c.line)), c.items) << c.line;
}

TEST(CommandLine, FindsProgramsOnThePath)
{
    QTemporaryDir dir;
    QFile script(dir.filePath(u("sorvix-probe")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nexit 42\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile plain(dir.filePath(u("sorvix-plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();

    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(dir.path()) + ":" + oldPath);
    int error = -1;
    EXPECT_EQ(Process::findProgram(u("sorvix-probe"), &error), dir.filePath(u("sorvix-probe")));
    EXPECT_EQ(error, 0);
    const Process::Result result = run(u("sorvix-probe"));
    EXPECT_EQ(Process::findProgram(u("sorvix-plain"), &error), QString());
    EXPECT_EQ(error, EACCES);
    EXPECT_EQ(Process::findProgram(u("sorvix-no-such-program"), &error), QString());
    EXPECT_EQ(error, ENOENT);
    qputenv("PATH", oldPath);

    EXPECT_EQ(result.status, Status::Finished);
    EXPECT_EQ(result.exitCode, 42);
    EXPECT_FALSE(Process::findProgram(u("sh")).isEmpty());
}

TEST(Execute, SuccessAndExitCodesAndNoZombie)
{
    const struct {
        const char* line;
        int exitCode;
    } cases[] = {
        {"true", 0},
        {"false", 1},
        {"sh -c \"exit 7\"", 7},
        {"/bin/sh -c \"kill -TERM $$\"", 128 + SIGTERM},
    };
    for (const auto& c : cases) {
        const Process::Result result = run(u(c.line));
        ASSERT_EQ(result.status, Status::Finished) << c.line;
        EXPECT_EQ(result.exitCode, c.exitCode) << c.line;
        EXPECT_FALSE(result.killed);
        EXPECT_TRUE(result.errorText.isEmpty());
        // Already collected: no zombie, nothing left to wait for.
        errno = 0;
        EXPECT_EQ(::waitpid(pid_t(result.pid), nullptr, WNOHANG), -1);
        EXPECT_EQ(errno, ECHILD);
    }
}

TEST(Execute, ArgumentsReachTheProgramAsSplit)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(u("args.txt"));
    const QString line = u("sh -c \"printf '%s|' \\\"$@\\\" > '%1'\" sh a \"b c\" d\\\"e 'x' 中文").arg(out);
    ASSERT_EQ(run(line).status, Status::Finished);
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(file.readAll()), u("a|b c|d\"e|'x'|中文|"));
}

// The command line never reaches a shell: none of its characters has a meaning of its own.
TEST(Execute, NoShellInterpretsTheCommandLine)
{
    QTemporaryDir dir;
    const QString marker = dir.filePath(u("marker"));
    const QString lines[] = {
        u("true ; touch %1").arg(marker),
        u("true && touch %1").arg(marker),
        u("true | touch %1").arg(marker),
        u("true $(touch %1) `touch %1`").arg(marker),
        u("sh -c \"exit 0\" > %1").arg(marker),
    };
    for (const QString& line : lines) {
        const Process::Result result = run(line);
        EXPECT_EQ(result.status, Status::Finished) << line.toStdString();
        EXPECT_EQ(result.exitCode, 0) << line.toStdString();
    }
    EXPECT_FALSE(QFile::exists(marker));

    // A script without "#!" is not handed to a shell either.
    QFile script(dir.filePath(u("no-interpreter")));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QFile::encodeName(u("touch %1\n").arg(marker)));
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const Process::Result result = run(script.fileName());
    EXPECT_EQ(result.status, Status::FailedToStart);
    EXPECT_EQ(result.error, ENOEXEC);
    EXPECT_EQ(result.errorText, u("Exec format error"));
    EXPECT_FALSE(QFile::exists(marker));
}

TEST(Execute, MissingProgramGivesTheSystemTextInEitherLanguage)
{
    const struct {
        const char* line;
        bool chinese;
        int error;
        const char* text;
    } cases[] = {
        {"sorvix-no-such-program arg", false, ENOENT, "No such file or directory"},
        {"sorvix-no-such-program arg", true, ENOENT, "没有那个文件或目录"},
        {"/no/such/folder/prog", false, ENOENT, "No such file or directory"},
        {"   ", false, ENOENT, "No such file or directory"},
        {"/tmp", false, EACCES, "Permission denied"},
        {"/tmp", true, EACCES, "权限不够"},
    };
    for (const auto& c : cases) {
        const Process::Result result = run(u(c.line), 1000, false, {}, c.chinese);
        EXPECT_EQ(result.status, Status::FailedToStart) << c.line;
        EXPECT_EQ(result.error, c.error) << c.line;
        EXPECT_EQ(result.errorText, u(c.text)) << c.line;
        EXPECT_EQ(result.pid, -1);
    }
}

TEST(Execute, NoWaitReturnsAtOnceAndTheChildIsCollectedLater)
{
    const Process::Result quick = run(u("false"), 0);
    const Process::Result slow = run(u("sleep 3"), 0);
    // Back while the program still runs: its end is not waited for.
    EXPECT_TRUE(running(slow.pid));
    EXPECT_EQ(quick.status, Status::Started);
    EXPECT_EQ(slow.status, Status::Started);
    EXPECT_TRUE(goneWithin(quick.pid, 10s));
    EXPECT_TRUE(goneWithin(slow.pid, 20s));
}

TEST(Execute, TimeOutWithKillEndsTheProgram)
{
    const auto start = Clock::now();
    const Process::Result result = run(u("sleep 30"), 300, true);
    const auto took = Clock::now() - start;
    EXPECT_EQ(result.status, Status::TimedOut);
    EXPECT_TRUE(result.killed);
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 2s);
    EXPECT_EQ(processState(result.pid), 0);  // killed and collected
}

TEST(Execute, TimeOutWithoutKillLeavesTheProgramRunning)
{
    const auto start = Clock::now();
    const Process::Result result = run(u("sleep 30"), 300, false);
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_EQ(result.status, Status::TimedOut);
    EXPECT_FALSE(result.killed);
    ASSERT_TRUE(running(result.pid));
    // When it ends later, it is collected without anyone waiting for it.
    ::kill(pid_t(result.pid), SIGKILL);
    EXPECT_TRUE(goneWithin(result.pid, 3s));
}

TEST(Execute, StopWhileWaitingReturnsPromptlyAndLeavesTheProgramRunning)
{
    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        std::this_thread::sleep_for(150ms);
        stop = true;
    });
    const auto start = Clock::now();
    const Process::Result result = run(u("sleep 30"), 20000, true, [&] { return stop.load(); });
    const auto took = Clock::now() - start;
    stopper.join();
    EXPECT_EQ(result.status, Status::Stopped);
    EXPECT_FALSE(result.killed);
    EXPECT_LT(took, 1s);
    ASSERT_TRUE(running(result.pid));
    ::kill(pid_t(result.pid), SIGKILL);
    EXPECT_TRUE(goneWithin(result.pid, 3s));
}

// Reads a process id that a program wrote into a file, waiting for it to appear.
qint64 waitForPid(const QString& file)
{
    qint64 pid = -1;
    testprocesses::waitUntil([&] { return (pid = testprocesses::readPid(file)) > 0; }, 10000);
    return pid;
}

bool endsWithin(qint64 pid, std::chrono::milliseconds limit)
{
    const auto end = Clock::now() + limit;
    while (running(pid)) {
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// A program that starts more programs, some of which leave its process group: one in the
// background, one that spins writing to standard error, one in a session of its own, and one in
// a session of its own whose parent ends soon (it is left to the system's first process).
struct ProgramFamily {
    QTemporaryDir dir;
    QString script;
    static constexpr const char* kMembers[] = {"background", "spinner", "session", "orphan"};

    ProgramFamily()
    {
        script = dir.filePath(u("family.sh"));
        QFile file(script);
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write("#!/bin/sh\n"
                   "d=$(dirname \"$0\")\n"
                   "sleep 300 & echo $! > \"$d/background.pid\"\n"
                   "cat /dev/zero > /dev/null & echo $! > \"$d/spinner.pid\"\n"
                   "setsid sleep 300 & echo $! > \"$d/session.pid\"\n"
                   "( setsid sleep 300 & echo $! > \"$d/orphan.pid\"; sleep 1 ) &\n"
                   "echo $! > \"$d/orphan-parent.pid\"\n"
                   "exec sleep 300\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // The members' process ids, once each has written its file.
    std::vector<qint64> members() const
    {
        std::vector<qint64> pids;
        for (const char* name : kMembers)
            pids.push_back(waitForPid(dir.filePath(u(name) + u(".pid"))));
        return pids;
    }

    ~ProgramFamily()
    {
        for (const char* name : kMembers)
            if (const qint64 pid = testprocesses::readPid(dir.filePath(u(name) + u(".pid"))); pid > 0 && running(pid))
                ::kill(pid_t(pid), SIGKILL);
    }
};

// Ending a program ends everything it started, also what left its process group or session, on a
// time-out with the kill asked for and when the caller ends its programs at exit.
TEST(Execute, EndingAProgramEndsWhatItStarted)
{
    for (const bool onTimeOut : {true, false}) {
        SCOPED_TRACE(onTimeOut ? "time-out with kill" : "left running, ended at exit");
        ProgramFamily family;
        ASSERT_TRUE(family.dir.isValid());
        Process::Result result;
        std::vector<qint64> members;
        if (onTimeOut) {
            std::thread runner([&] { result = run(family.script, 2500, true); });
            members = family.members();
            runner.join();
            EXPECT_EQ(result.status, Status::TimedOut);
            EXPECT_TRUE(result.killed);
        } else {
            result = run(family.script, 0);
            ASSERT_EQ(result.status, Status::Started);
            members = family.members();
            // Once the orphan's parent has ended, it no longer descends from the program.
            const qint64 orphanParent = waitForPid(family.dir.filePath(u("orphan-parent.pid")));
            ASSERT_TRUE(endsWithin(orphanParent, 10s));
            for (qint64 pid : members)
                ASSERT_TRUE(running(pid)) << pid;
            EXPECT_EQ(Process::endLeftRunning(300), 1);
        }
        for (size_t i = 0; i < members.size(); ++i) {
            ASSERT_GT(members[i], 0) << ProgramFamily::kMembers[i];
            EXPECT_TRUE(endsWithin(members[i], 5s)) << ProgramFamily::kMembers[i] << " " << members[i] << " left running";
        }
        EXPECT_TRUE(goneWithin(result.pid, 5s));
    }
}

// A program's output goes nowhere: the caller's own output stays its own.
TEST(Execute, TheProgramReadsAndWritesTheNullDevice)
{
    const Process::Result result = run(u("sleep 30"), 0);
    ASSERT_EQ(result.status, Status::Started);
    for (int fd : {0, 1, 2}) {
        const QString target = QFile::symLinkTarget(u("/proc/%1/fd/%2").arg(result.pid).arg(fd));
        EXPECT_EQ(target, u("/dev/null")) << "descriptor " << fd;
    }
    ::kill(pid_t(result.pid), SIGKILL);
    EXPECT_TRUE(goneWithin(result.pid, 3s));
}

// Runners on plain threads, without an event loop, each see their own program's result.
TEST(Execute, ManyRunnerThreadsAtOnce)
{
    constexpr int kThreads = 8;
    constexpr int kRuns = 4;
    std::vector<std::thread> runners;
    std::vector<int> wrong(kThreads, 0);
    std::vector<qint64> leftRunning(kThreads, -1);
    for (int t = 0; t < kThreads; ++t) {
        runners.emplace_back([&, t] {
            for (int i = 0; i < kRuns; ++i) {
                const Process::Result result = run(u("sh -c \"exit %1\"").arg(t + i));
                if (result.status != Status::Finished || result.exitCode != t + i)
                    ++wrong[size_t(t)];
            }
            leftRunning[size_t(t)] = run(u("sleep 0.2"), 0).pid;
        });
    }
    for (std::thread& runner : runners)
        runner.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(wrong[size_t(t)], 0) << t;
        EXPECT_TRUE(goneWithin(leftRunning[size_t(t)], 3s)) << t;
    }
}

// At the caller's exit every program left running is ended, with what it started itself, and
// collected; one that ignores the terminate signal is killed after the grace time.
TEST(Execute, EndLeftRunningEndsEveryProgramAndItsOwnChildren)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString childPid = dir.filePath(u("child.pid"));
    const Process::Result noWait = run(u("sleep 30"), 0);
    const Process::Result stubborn = run(u("sh -c \"trap '' TERM; while :; do sleep 0.05; done\""), 0);
    const Process::Result parent = run(u("sh -c \"sleep 30 & echo $! > %1; wait\"").arg(childPid), 0);
    const Process::Result timedOut = run(u("sleep 30"), 100, false);
    ASSERT_EQ(timedOut.status, Status::TimedOut);
    qint64 child = -1;
    const auto end = Clock::now() + 5s;
    while (child <= 0 && Clock::now() < end) {
        QFile f(childPid);
        if (f.open(QIODevice::ReadOnly))
            child = f.readAll().trimmed().toLongLong();
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_GT(child, 0);
    for (qint64 pid : {noWait.pid, stubborn.pid, parent.pid, timedOut.pid, child})
        ASSERT_TRUE(running(pid)) << pid;

    const auto start = Clock::now();
    EXPECT_EQ(Process::endLeftRunning(300), 4);
    EXPECT_LT(Clock::now() - start, 2s);
    for (qint64 pid : {noWait.pid, stubborn.pid, parent.pid, timedOut.pid})
        EXPECT_EQ(processState(pid), 0) << pid << " ended and collected";
    // The program's own child is not ours to collect; it is ended.
    EXPECT_TRUE(goneWithin(child, 3s) || !running(child));
    EXPECT_EQ(Process::endLeftRunning(300), 0) << "nothing is left";
}

}  // namespace
