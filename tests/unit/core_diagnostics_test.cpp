// The log ring and PANIC with its hook. (ASSERT's lines are every refusal test's; the number
// formats of assembled text are the timeline's round trip of the compiled-in text.)
#include "core/log.h"
#include "tests/unit/test_platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(Log, RingOfFourKeepsTextsPrintsArgumentsVerbatimAndCutsAtItsBuffer)
{
    CaptureStdout();
    const char* first = logMessage("one %d\n", 1);
    const char* second = logMessage("%s\n", "100% of %d");
    logMessage("three\n");
    logMessage("four\n");
    EXPECT_STREQ(first, "one 1\n"); // four messages later still whole
    EXPECT_NE(first, second);
    EXPECT_EQ(logMessage("five\n"), first); // the fifth reuses the first buffer
    EXPECT_EQ(GetCapturedStdout(), "one 1\n100% of %d\nthree\nfour\nfive\n");

    CaptureStdout();
    const char* cut = logMessage("%s", std::string(5000, 'x').c_str());
    GetCapturedStdout();
    EXPECT_EQ(std::strlen(cut), 4095u); // 4096 bytes with the terminator
}

namespace {

int savedValue = 42;

// The logger writes to standard output; death tests match standard error.
void panicInChild(bool withHook)
{
    std::fflush(stdout);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    panicHook = {};
    if (withHook) {
        panicHook.userData = &savedValue;
        panicHook.function = [](void* userData) {
            std::fprintf(stderr, "hook(%d)\n", *static_cast<int*>(userData));
            PANIC("PANIC: inside hook\n"); // must not run the hook again
        };
    }
    PANIC("PANIC: Failed to present %s\n", "now");
}

} // namespace

TEST(PanicDeathTest, RunsTheHookOnceWithItsPointerThenExitsWithMinusOne)
{
    EXPECT_EXIT(panicInChild(true), testing::ExitedWithCode(minusOneExitStatus),
                "^PANIC: Failed to present now\nhook\\(42\\)\nPANIC: inside hook\n$");
    EXPECT_EXIT(panicInChild(false), testing::ExitedWithCode(minusOneExitStatus), "^PANIC: Failed to present now\n$");
}
