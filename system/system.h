// The system services, the layer below core: debugger output, break, exit, clock and whole
// files. Implemented in system/<name>/system.cpp, which calls nothing of ours, so that
// core's log and checks can stand on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Hands a finished log line to the debugger's output channel, if there is one.
void debugOutput(const char* text);
bool isDebuggerAttached();
// Breakpoint trap, raised only while a debugger is attached (it would end the process otherwise).
void debugBreakIfAttached();
[[noreturn]] void exitProcess(int exitCode);

// Monotonic clock in milliseconds.
double nowMilliseconds();

// Replaces the file, or makes it, with the bytes: written to a temporary file in the same
// folder, flushed to the disk and renamed over path. On any failure path is left as it was
// and the temporary file is removed; the result names the step that failed (ReplaceFailed:
// the rename). A path that is a folder is OpenFailed.
enum class FileWriteResult { Ok, OpenFailed, WriteFailed, ReplaceFailed };
FileWriteResult writeWholeFile(const char* path, const void* bytes, size_t size);
// The whole file's bytes when it holds at most maxBytes; otherwise bytes is left empty.
enum class FileReadResult { Ok, Missing, TooLarge, ReadFailed };
FileReadResult readWholeFile(const char* path, std::string& bytes, size_t maxBytes = SIZE_MAX);
// When the file last changed, in the system's ticks (nanoseconds on Linux, 100 ns on Windows);
// false when there is no such file.
bool fileModificationTime(const char* path, int64_t& time);

// >>programs

// Runs a program and waits for it: arguments[0] is its path, the rest reach it as they are
// (no shell reads them). Its exit code, or -1 when it could not be started.
int runProgram(const std::vector<std::string>& arguments);
// PATH's separator between folders (':' on Linux, ';' on Windows) and the ending of a
// program's file name ("" on Linux, ".exe" on Windows).
extern const char pathListSeparator;
extern const char* const programFileSuffix;
