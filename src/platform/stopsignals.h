#pragma once

#include <QList>
#include <QObject>

class QSocketNotifier;

// Hands termination signals (SIGINT, SIGTERM, SIGHUP, ...) to the event loop, so a program can
// stop its work in order instead of dying mid-write.
//
// The handler only writes the signal's number to a pipe (async-signal-safe); a socket notifier
// reads it in the event loop of the thread that made the object and emits received() there. The
// first signal is handed over; a second one, while the first is still being dealt with, ends the
// process at once with the conventional status 128 + signal number, after killing the programs
// it started (Process::endAllAtOnce).
//
// One instance per process at a time. The destructor puts back the handlers that were there.
class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(const QList<int>& signalNumbers, QObject* parent = nullptr);
    ~StopSignals() override;

    // The first signal handed over, 0 while none came.
    int firstSignal() const { return first_; }

    // The exit status a program ends with after that signal (128 + number), 0 while none came.
    int exitStatus() const { return first_ ? 128 + first_ : 0; }

signals:
    void received(int signalNumber);

private:
    void readPipe();

    QList<int> signals_;
    QSocketNotifier* notifier_ = nullptr;
    int first_ = 0;
};
