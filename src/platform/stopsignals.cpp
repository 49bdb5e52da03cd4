#include "stopsignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "platform/process.h"

namespace {

int pipeFds[2] = {-1, -1};
std::atomic<int> signalsSeen{0};
struct sigaction previous[65];

extern "C" void onStopSignal(int signalNumber)
{
    const int saved = errno;
    // Ending at once still ends the programs this process started, with what they started.
    if (signalsSeen.fetch_add(1) > 0) {
        Process::endAllAtOnce();
        _exit(128 + signalNumber);
    }
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    if (pipeFds[1] < 0 || write(pipeFds[1], &byte, 1) != 1) {
        Process::endAllAtOnce();
        _exit(128 + signalNumber);
    }
    errno = saved;
}

}  // namespace

StopSignals::StopSignals(const QList<int>& signalNumbers, QObject* parent)
    : QObject(parent), signals_(signalNumbers)
{
    if (pipeFds[0] < 0 && pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("stop signals: pipe");
        pipeFds[0] = pipeFds[1] = -1;
        signals_.clear();
        return;
    }
    signalsSeen = 0;
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopSignals::readPipe);

    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : std::as_const(signals_)) {
        if (s <= 0 || s >= 65 || sigaction(s, &action, &previous[s]) != 0)
            std::perror("stop signals: sigaction");
    }
}

StopSignals::~StopSignals()
{
    for (int s : std::as_const(signals_)) {
        if (s > 0 && s < 65)
            sigaction(s, &previous[s], nullptr);
    }
    delete notifier_;
    notifier_ = nullptr;
}

void StopSignals::readPipe()
{
    unsigned char byte = 0;
    while (read(pipeFds[0], &byte, 1) == 1) {
        if (first_ == 0) {
            first_ = byte;
            emit received(byte);
        }
    }
}
