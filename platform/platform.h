// The operating system as the rest of the program sees it. Implemented once per
// platform folder (platform/sdl on Linux); nothing above this header calls the OS.
#pragma once

#include <cstddef>

// >>system services (no dependency on core: core's diagnostics stand on these)

// Hands a finished log line to the debugger's output channel, if there is one.
void debugOutput(const char* text);
bool isDebuggerAttached();
// Breakpoint trap, raised only while a debugger is attached (it would end the process otherwise).
void debugBreakIfAttached();
[[noreturn]] void exitProcess(int exitCode);

// Monotonic clock in milliseconds.
double nowMilliseconds();

// Creates or truncates the file and writes the bytes in one call.
enum class FileWriteResult { ok, openFailed, writeFailed };
FileWriteResult writeWholeFile(const char* path, const void* bytes, size_t size);
