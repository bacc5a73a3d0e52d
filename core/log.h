// Diagnostics: the one log call, ASSERT (report and go on), PANIC (report, run the
// panic hook once, exit with -1). Always compiled in; stands only on the system layer.
#pragma once

#include <cstdint>

// Formats into the next of four 4096-byte buffers and writes the text unchanged to the
// debugger channel and standard output. The returned text stays intact until four
// further messages have been logged. The logger adds nothing: callers end their lines.
const char* logMessage(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

// Process-wide slot the application fills once it has something to save; a PANIC calls
// function(userData) at most once before the process ends. Both start null.
struct PanicHook {
    void (*function)(void* userData) = nullptr;
    void* userData = nullptr;
};
extern PanicHook panicHook;

[[noreturn]] void panicStop(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
void assertFailed(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

// ASSERT(condition, "ASSERT: ...\n", args...): on failure logs the message, traps an
// attached debugger and continues with the next statement.
#define ASSERT(condition, ...)                                                                     \
    do {                                                                                           \
        if (!(condition))                                                                          \
            assertFailed(__VA_ARGS__);                                                             \
    } while (0)

// PANIC("PANIC: ...\n", args...): never returns.
#define PANIC(...) panicStop(__VA_ARGS__)
