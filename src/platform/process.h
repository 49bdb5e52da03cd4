#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Starting programs without a shell: the command line is split into the program and its
// arguments by the classic Windows rules, the program is looked up on PATH and started directly,
// so no character of the command line (';', '|', '$', '>' ...) has a meaning of its own.
//
// The child gets the caller's environment and current folder, standard input, output and error
// on /dev/null (what a program writes is discarded, never mixed into the caller's output), and no
// other open file.
//
// Every child is reaped: a program that is left running (no wait, a time-out without kill, a
// stop) is handed to a background reaper that collects it when it ends, so no zombie remains
// and the caller never blocks on it; endLeftRunning() ends those still running when the caller
// exits.
//
// Each program leads a process group of its own, and ending a program ends what it started too:
// every process in its group, every descendant of it (also one that made a group or a session
// of its own), and every process once seen as one of those, even after its parent ended and it
// was left to the system's first process. The reaper looks for them every 0.1 s during a
// program's first seconds and every second later; a process that a daemon leaves behind and
// whose parent ends before the reaper has seen it is not found (nor one started through another
// service, such as a job scheduler).
//
// Thread-safe; needs no event loop.
namespace Process {

// Splits a command line as the classic Windows parser does:
//   - the program name (first item) ends at the next blank, or, when it begins with a double
//     quote, at the next double quote; backslashes mean nothing in it;
//   - the arguments are separated by blanks (spaces, tabs) outside double quotes;
//   - 2n backslashes before a double quote give n backslashes and the quote opens or closes a
//     quoted part; 2n+1 backslashes before a double quote give n backslashes and a literal quote;
//     backslashes before anything else are literal;
//   - inside a quoted part, two double quotes give one literal quote and end the quoted part;
//   - "" alone is an empty argument.
QStringList splitCommandLine(const QString& commandLine);

// The file that starting 'program' runs: a name holding '/' as it is, else the first executable
// file of that name in the folders of PATH. Empty when there is none; *error (when given) is
// then ENOENT, or EACCES when a file of that name was found that is not executable.
QString findProgram(const QString& program, int* error = nullptr);

struct Result {
    enum class Status {
        FailedToStart,  // errorText says why
        Started,        // no wait asked for; the program runs on by itself
        Finished,       // the program ended within the time-out; exitCode holds its code
        TimedOut,       // the time-out ran out; killed tells whether the program was ended
        Stopped,        // the stop predicate became true while waiting; the program runs on
    };
    Status status = Status::FailedToStart;
    qint64 pid = -1;
    // Finished: the exit code, or 128 + the signal number when a signal ended the program;
    // -1 when someone else collected the program's status.
    int exitCode = -1;
    bool killed = false;
    // FailedToStart: the system's text for the error in the language asked for; empty when the
    // system has none (the caller then supplies its general failure text).
    QString errorText;
    int error = 0;  // FailedToStart: the errno value
};

// Starts the command line and waits up to timeoutMs milliseconds for the program to end
// (0: no wait), polling stopRequested (when set) every few milliseconds; when the time runs out
// and killOnTimeout is set, the program and what it started are killed (SIGKILL) and the program
// is collected.
Result run(const QString& commandLine, qint64 timeoutMs, bool killOnTimeout,
           const std::function<bool()>& stopRequested, bool chinese);

// Ends every program that was left running (no wait, a time-out without kill, a stop): the
// terminate signal to it and to what it started itself (its process group), the kill signal to
// what is still there after graceMs milliseconds, and collects each, so none is left behind when
// the caller exits. Returns the number of programs that were still running.
int endLeftRunning(int graceMs = 2000);

// Kills every program and what it started, at once, without waiting or collecting anything. Safe
// in a signal handler: for a process that is about to end abruptly.
void endAllAtOnce() noexcept;

}  // namespace Process
