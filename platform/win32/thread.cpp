// Threads on Windows: the audio streaming thread and millisecond sleeps.
#include "platform/platform.h"

#include <windows.h>

struct PlatformThread {
    HANDLE handle;
    int (*function)(void*);
    void* argument;
};

namespace {

// The initial commit; the reserve stays the executable's default (1 MiB), which the
// logger's formatting fits in with room to spare.
constexpr SIZE_T threadStackBytes = 4096;

DWORD WINAPI runThread(void* start)
{
    PlatformThread* thread = static_cast<PlatformThread*>(start);
    return DWORD(thread->function(thread->argument));
}

} // namespace

PlatformThread* startTimeCriticalThread(int (*function)(void*), void* argument)
{
    PlatformThread* thread = new PlatformThread{nullptr, function, argument};
    thread->handle = CreateThread(nullptr, threadStackBytes, runThread, thread, 0, nullptr);
    if (!thread->handle) {
        delete thread;
        return nullptr;
    }
    SetThreadPriority(thread->handle, THREAD_PRIORITY_TIME_CRITICAL);
    return thread;
}

void joinThread(PlatformThread*& thread)
{
    if (!thread)
        return;
    WaitForSingleObject(thread->handle, INFINITE);
    CloseHandle(thread->handle);
    delete thread;
    thread = nullptr;
}

void sleepMilliseconds(uint32_t milliseconds)
{
    Sleep(milliseconds);
}
