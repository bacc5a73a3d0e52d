// System services on Linux (POSIX): debugger channel, breakpoint trap, exit, clock, files.
// Leaf of the build: calls nothing of ours, so core's log and checks can stand on it.
#include "system/system.h"

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

bool readWholeFile(const char* path, std::string& bytes)
{
    bytes.clear();
    std::FILE* file = std::fopen(path, "rb");
    if (!file)
        return false;
    char chunk[65536];
    size_t count = 0;
    while ((count = std::fread(chunk, 1, sizeof(chunk), file)) > 0)
        bytes.append(chunk, count);
    bool ok = std::ferror(file) == 0;
    std::fclose(file);
    if (!ok)
        bytes.clear();
    return ok;
}

bool fileModificationTime(const char* path, int64_t& time)
{
    struct stat status{};
    if (stat(path, &status) != 0)
        return false;
    time = int64_t(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    return true;
}
