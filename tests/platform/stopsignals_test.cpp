#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/stopsignals.h"

namespace {

TEST(StopSignals, FirstSignalReachesTheEventLoopOnceAndHandlersAreRestored)
{
    {
        StopSignals stop({SIGUSR1, SIGUSR2});
        QList<int> seen;
        QObject::connect(&stop, &StopSignals::received, [&](int s) { seen << s; });
        EXPECT_EQ(stop.exitStatus(), 0);

        ASSERT_EQ(raise(SIGUSR2), 0);
        QDeadlineTimer deadline(5000);
        while (seen.isEmpty() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ASSERT_EQ(seen, QList<int>{SIGUSR2});
        EXPECT_EQ(stop.firstSignal(), SIGUSR2);
        EXPECT_EQ(stop.exitStatus(), 128 + SIGUSR2);
    }
    // With the object gone the old disposition (ignored here) is back.
    struct sigaction now {};
    sigaction(SIGUSR1, nullptr, &now);
    EXPECT_TRUE(now.sa_handler == SIG_DFL || now.sa_handler == SIG_IGN);
}

TEST(StopSignals, SecondSignalEndsTheProcessAtOnce)
{
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        StopSignals stop({SIGUSR1});
        raise(SIGUSR1);  // handed over, nobody reads it
        raise(SIGUSR1);  // ends the process
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGUSR1);
}

}  // namespace
