// Log ring, ASSERT and PANIC.
#include "core/log.h"
#include "tests/unit/exit_status.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <unistd.h>

TEST(Log, RingReusesFirstBufferForFifthMessageAndKeepsTextsIntact)
{
    testing::internal::CaptureStdout();
    const char* first = logMessage("one %d\n", 1);
    const char* second = logMessage("two\n");
    const char* third = logMessage("three\n");
    const char* fourth = logMessage("four\n");
    // Four messages later the first text is still whole.
    EXPECT_STREQ(first, "one 1\n");
    std::set<const char*> distinct{first, second, third, fourth};
    EXPECT_EQ(distinct.size(), 4u);
    const char* fifth = logMessage("five\n");
    EXPECT_EQ(fifth, first);
    EXPECT_STREQ(first, "five\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "one 1\ntwo\nthree\nfour\nfive\n");
}

TEST(Log, PercentSignsInArgumentsReachStdoutUnchanged)
{
    testing::internal::CaptureStdout();
    logMessage("value: %s\n", "100% of %d and %s");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "value: 100% of %d and %s\n");
}

TEST(Log, OverlongMessageIsCutAtTheBuffer)
{
    std::string longText(5000, 'x');
    testing::internal::CaptureStdout();
    const char* text = logMessage("%s", longText.c_str());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::strlen(text), 4095u);
}

TEST(Assert, FailureLogsOneLineAndExecutionGoesOn)
{
    bool reachedAfter = false;
    testing::internal::CaptureStdout();
    ASSERT(1 + 1 == 3, "ASSERT: Exceeded the limit of the fixed array %u\n", 4u);
    reachedAfter = true;
    ASSERT(true, "ASSERT: never printed\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ASSERT: Exceeded the limit of the fixed array 4\n");
    EXPECT_TRUE(reachedAfter);
}

namespace {

int hookCalls = 0;

void recordingHook(void* userData)
{
    ++hookCalls;
    std::fprintf(stderr, "hook(%d) call %d\n", *static_cast<int*>(userData), hookCalls);
    // A PANIC inside the hook must not run the hook again.
    PANIC("PANIC: inside hook\n");
}

// Sends the logger's standard output to stderr, where death tests can match it.
void logToStderr()
{
    std::fflush(stdout);
    dup2(STDERR_FILENO, STDOUT_FILENO);
}

int savedValue = 42;

void panicWithHook()
{
    logToStderr();
    panicHook.function = recordingHook;
    panicHook.userData = &savedValue;
    PANIC("PANIC: Failed to present %s\n", "now");
}

void panicWithoutHook()
{
    logToStderr();
    panicHook = PanicHook{};
    PANIC("PANIC: WTF!?\n");
}

} // namespace

TEST(PanicDeathTest, RunsHookOnceWithItsPointerThenExitsWithMinusOne)
{
    EXPECT_EXIT(panicWithHook(), testing::ExitedWithCode(minusOneExitStatus), "^PANIC: Failed to present now\nhook\\(42\\) call 1\nPANIC: inside hook\n$");
}

TEST(PanicDeathTest, WithoutHookEndsDirectlyAfterTheMessage)
{
    EXPECT_EXIT(panicWithoutHook(), testing::ExitedWithCode(minusOneExitStatus), "^PANIC: WTF!\\?\n$");
}
