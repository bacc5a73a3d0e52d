// System services on Windows: debugger channel, breakpoint trap, exit, performance counter,
// files. Leaf of the build: calls nothing of ours, so core's log and checks can stand on it.
#include "system/system.h"

#include <windows.h>

#include <cstdio>

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

FileWriteResult writeWholeFile(const char* path, const void* bytes, size_t size)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return FileWriteResult::OpenFailed;
    // One call writes it all; a short write is a failure too.
    DWORD written = 0;
    bool ok = size <= MAXDWORD && WriteFile(file, bytes, DWORD(size), &written, nullptr) && written == size;
    bool closed = CloseHandle(file) != FALSE;
    return ok && closed ? FileWriteResult::Ok : FileWriteResult::WriteFailed;
}

FileReadResult readWholeFile(const char* path, std::string& bytes, size_t maxBytes)
{
    bytes.clear();
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return false;
    time = int64_t((uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime);
    return true;
}
