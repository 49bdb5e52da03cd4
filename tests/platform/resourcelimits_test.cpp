#include <gtest/gtest.h>
#include <sys/resource.h>

#include "platform/resourcelimits.h"

// A console with thousands of channels keeps one descriptor per runner: a low soft limit is
// lifted to the hard one, and a limit already at the hard one stays.
TEST(ResourceLimits, OpenFilesSoftLimitRisesToTheHardLimit)
{
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
    if (before.rlim_max != RLIM_INFINITY && before.rlim_max <= 64) GTEST_SKIP() << "hard limit too low";
    rlimit lowered = before;
    lowered.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);

    const long raised = raiseOpenFileLimit();
    rlimit after{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &after), 0);
    EXPECT_EQ(after.rlim_cur, before.rlim_max);
    if (before.rlim_max != RLIM_INFINITY) {
        EXPECT_EQ(raised, long(before.rlim_max));
    }
    EXPECT_EQ(raiseOpenFileLimit(), raised);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &before), 0);
}
