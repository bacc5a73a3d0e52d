// System services on Windows: debugger channel, breakpoint trap, exit, performance counter,
// files. Leaf of the build: calls nothing of ours, so core's log and checks can stand on it.
#include "system/system.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

void debugOutput(const char* text)
{
    OutputDebugStringA(text);
}

bool isDebuggerAttached()
{
    return IsDebuggerPresent() != FALSE;
}

void debugBreakIfAttached()
{
    if (IsDebuggerPresent())
        DebugBreak();
}

void exitProcess(int exitCode)
{
    std::fflush(stdout);
    ExitProcess(UINT(exitCode)); // -1 is 0xFFFFFFFF
}

double nowMilliseconds()
{
    // The frequency is read again at every call, as cheap as the counter itself.
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return double(counter.QuadPart) / (double(frequency.QuadPart) / 1000.0);
}

// >>files
namespace {

// Our paths are UTF-8; Windows takes them as UTF-16. Empty for text that is not UTF-8.
std::wstring widePath(const char* path)
{
    int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
    std::wstring wide(count > 0 ? size_t(count) : 0, L'\0');
    if (count <= 0 || !MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide.data(), count))
        return {};
    wide.pop_back(); // the terminator, which the string keeps apart
    return wide;
}

// Writes every byte, in pieces that fit a DWORD.
bool writeAll(HANDLE file, const char* bytes, size_t size)
{
    while (size > 0) {
        DWORD piece = DWORD(size < 0x40000000 ? size : 0x40000000);
        DWORD written = 0;
        if (!WriteFile(file, bytes, piece, &written, nullptr) || written == 0)
            return false;
        bytes += written;
        size -= written;
    }
    return true;
}

// A new file beside path, "<path>.<pid>.<n>.tmp", made here and by no one else (CREATE_NEW).
HANDLE createTemporaryFile(const std::wstring& path, std::wstring& temporaryPath)
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryPath =
            path + L"." + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(counter++) + L".tmp";
        HANDLE file =
            CreateFileW(temporaryPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

} // namespace

// The bytes go to a temporary file beside path, reach the disk, and only then replace path:
// whatever fails or kills the process on the way, path holds its old bytes or the new.
FileWriteResult writeWholeFile(const char* path, const void* bytes, size_t size)
{
    std::wstring wide = widePath(path);
    DWORD attributes = wide.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide.c_str());
    if (wide.empty() || (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)))
        return FileWriteResult::OpenFailed;
    std::wstring temporaryPath;
    HANDLE file = createTemporaryFile(wide, temporaryPath);
    if (file == INVALID_HANDLE_VALUE)
        return FileWriteResult::OpenFailed;
    bool written = writeAll(file, static_cast<const char*>(bytes), size) && FlushFileBuffers(file);
    written = CloseHandle(file) && written;
    const DWORD replace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (!written || !MoveFileExW(temporaryPath.c_str(), wide.c_str(), replace)) {
        DeleteFileW(temporaryPath.c_str());
        return written ? FileWriteResult::ReplaceFailed : FileWriteResult::WriteFailed;
    }
    return FileWriteResult::Ok;
}

FileReadResult readWholeFile(const char* path, std::string& bytes, size_t maxBytes)
{
    bytes.clear();
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE file =
        CreateFileW(widePath(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileReadResult::Missing
                                                                              : FileReadResult::ReadFailed;
    }
    // Read in chunks up to one byte past the limit: a file that grows meanwhile is still caught.
    char chunk[65536];
    DWORD count = 0;
    bool ok = true;
    while (bytes.size() <= maxBytes && (ok = ReadFile(file, chunk, sizeof(chunk), &count, nullptr) != FALSE) &&
           count > 0)
        bytes.append(chunk, count);
    CloseHandle(file);
    FileReadResult result = !ok ? FileReadResult::ReadFailed
                                : bytes.size() > maxBytes ? FileReadResult::TooLarge : FileReadResult::Ok;
    if (result != FileReadResult::Ok)
        bytes.clear();
    return result;
}

bool fileModificationTime(const char* path, int64_t& time)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(widePath(path).c_str(), GetFileExInfoStandard, &data))
        return false;
    time = int64_t((uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime);
    return true;
}

// >>programs

const char pathListSeparator = ';';
const char* const programFileSuffix = ".exe";

namespace {

// One argument as the C runtime's command-line parser reads it back: quoted when it holds a
// space, a tab or a quote, with backslashes doubled where a quote follows them.
void appendArgument(std::wstring& line, const std::wstring& argument)
{
    if (!line.empty())
        line += L' ';
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            backslashes += 1;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        line += c;
        backslashes = 0;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

} // namespace

int runProgram(const std::vector<std::string>& arguments)
{
    std::wstring line;
    for (const std::string& argument : arguments)
        appendArgument(line, widePath(argument.c_str()));
    if (arguments.empty())
        return -1;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::wstring program = widePath(arguments[0].c_str());
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = DWORD(-1);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return int(code);
}
