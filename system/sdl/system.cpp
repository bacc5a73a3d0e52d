// System services on Linux (POSIX): debugger channel, breakpoint trap, exit, clock, files.
// Leaf of the build: calls nothing of ours, so core's log and checks can stand on it.
#include "system/system.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

void debugOutput(const char*)
{
    // Linux has no debugger output channel beside the standard output the logger already writes.
}

bool isDebuggerAttached()
{
    // A traced process has a non-zero TracerPid in /proc/self/status.
    std::FILE* file = std::fopen("/proc/self/status", "r");
    if (!file)
        return false;
    char line[256];
    bool attached = false;
    while (std::fgets(line, sizeof(line), file)) {
        if (std::strncmp(line, "TracerPid:", 10) == 0) {
            attached = std::atoi(line + 10) != 0;
            break;
        }
    }
    std::fclose(file);
    return attached;
}

void debugBreakIfAttached()
{
    if (isDebuggerAttached())
        std::raise(SIGTRAP);
}

void exitProcess(int exitCode)
{
    std::fflush(stdout);
    std::_Exit(exitCode);
}

double nowMilliseconds()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

FileWriteResult writeWholeFile(const char* path, const void* bytes, size_t size)
{
    std::FILE* file = std::fopen(path, "wb");
    if (!file)
        return FileWriteResult::OpenFailed;
    size_t written = size ? std::fwrite(bytes, 1, size, file) : 0;
    bool closed = std::fclose(file) == 0;
    return written == size && closed ? FileWriteResult::Ok : FileWriteResult::WriteFailed;
}

FileReadResult readWholeFile(const char* path, std::string& bytes, size_t maxBytes)
{
    bytes.clear();
    std::FILE* file = std::fopen(path, "rb");
    if (!file)
        return errno == ENOENT ? FileReadResult::Missing : FileReadResult::ReadFailed;
    // Read in chunks up to one byte past the limit: a file that grows meanwhile is still caught.
    char chunk[65536];
    size_t count = 0;
    while (bytes.size() <= maxBytes && (count = std::fread(chunk, 1, sizeof(chunk), file)) > 0)
        bytes.append(chunk, count);
    FileReadResult result = std::ferror(file)          ? FileReadResult::ReadFailed
                            : bytes.size() > maxBytes ? FileReadResult::TooLarge
                                                      : FileReadResult::Ok;
    std::fclose(file);
    if (result != FileReadResult::Ok)
        bytes.clear();
    return result;
}

bool fileModificationTime(const char* path, int64_t& time)
{
    struct stat status{};
    if (stat(path, &status) != 0)
        return false;
    time = int64_t(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    return true;
}
