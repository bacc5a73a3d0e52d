// Message ring, ASSERT and PANIC.
#include "core/log.h"

#include "system/system.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

PanicHook panicHook;

namespace {

constexpr uint32_t ringSize = 4;
constexpr uint32_t messageCapacity = 4096; // bytes, terminating zero included

struct MessageRing {
    char buffers[ringSize][messageCapacity];
    // Claims are one atomic increment, so the main and the audio streaming thread never
    // format into the same buffer at once (unless four messages overtake a slow one).
    std::atomic<uint32_t> nextSlot{0};
};
MessageRing messageRing;

const char* logMessageV(const char* format, va_list arguments)
{
    uint32_t slot = messageRing.nextSlot.fetch_add(1, std::memory_order_relaxed) & (ringSize - 1);
    char* text = messageRing.buffers[slot];
    std::vsnprintf(text, messageCapacity, format, arguments);
    debugOutput(text);
    // The formatted text is an argument, never a format: a '%' in it is printed as it is.
    std::printf("%s", text);
    std::fflush(stdout);
    return text;
}

} // namespace

const char* logMessage(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    const char* text = logMessageV(format, arguments);
    va_end(arguments);
    return text;
}

void assertFailed(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    logMessageV(format, arguments);
    va_end(arguments);
    debugBreakIfAttached();
}

void panicStop(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    logMessageV(format, arguments);
    va_end(arguments);
    // The hook runs at most once, even if it panics itself.
    PanicHook hook = panicHook;
    panicHook = {};
    if (hook.function)
        hook.function(hook.userData);
    debugBreakIfAttached();
    exitProcess(-1);
}
