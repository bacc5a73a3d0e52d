// System services on Linux (POSIX): debugger channel, breakpoint trap, exit, clock, files.
// Leaf of the build: calls nothing of ours, so core's log and checks can stand on it.
#include "system/system.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <string>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// >>files
namespace {

// Writes every byte, through short writes and interrupted calls.
bool writeAll(int file, const char* bytes, size_t size)
{
    while (size > 0) {
        ssize_t written = write(file, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        size -= size_t(written);
    }
    return true;
}

// A new file beside path, "<path>.<pid>.<n>.tmp", made here and by no one else (O_EXCL).
int createTemporaryFile(const char* path, std::string& temporaryPath)
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryPath = std::string(path) + "." + std::to_string(getpid()) + "." + std::to_string(counter++) + ".tmp";
        // 0644 less the umask, as a new file; the old file's mode replaces it below.
        int file = open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (file >= 0 || errno != EEXIST)
            return file;
    }
    return -1;
}

// The rename is durable once the folder's entry is on the disk; best effort.
void syncFolderOf(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    std::string folder = !slash ? "." : slash == path ? "/" : std::string(path, slash);
    int file = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (file >= 0) {
        fsync(file);
        close(file);
    }
}

} // namespace

// The bytes go to a temporary file beside path, reach the disk, and only then replace path by
// rename: whatever fails or kills the process on the way, path holds its old bytes or the new.
FileWriteResult writeWholeFile(const char* path, const void* bytes, size_t size)
{
    // A file beyond RLIMIT_FSIZE is then a failed write (EFBIG) instead of the process's end.
    std::signal(SIGXFSZ, SIG_IGN);
    struct stat old{};
    const bool existed = stat(path, &old) == 0;
    if (existed && S_ISDIR(old.st_mode))
        return FileWriteResult::OpenFailed;
    std::string temporaryPath;
    int file = createTemporaryFile(path, temporaryPath);
    if (file < 0)
        return FileWriteResult::OpenFailed;
    if (existed)
        fchmod(file, old.st_mode & 0777); // best effort: the file keeps the mode it had
    bool written = writeAll(file, static_cast<const char*>(bytes), size) && fsync(file) == 0;
    written = close(file) == 0 && written;
    if (!written || rename(temporaryPath.c_str(), path) != 0) {
        unlink(temporaryPath.c_str());
        return written ? FileWriteResult::ReplaceFailed : FileWriteResult::WriteFailed;
    }
    syncFolderOf(path);
    return FileWriteResult::Ok;
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

// >>programs

const char pathListSeparator = ':';
const char* const programFileSuffix = "";

int runProgram(const std::vector<std::string>& arguments)
{
    if (arguments.empty())
        return -1;
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
