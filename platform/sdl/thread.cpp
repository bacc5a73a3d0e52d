// Threads on Linux (POSIX): the audio streaming thread and millisecond sleeps.
#include "platform/platform.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>

struct PlatformThread {
    pthread_t handle;
    int (*function)(void*);
    void* argument;
};

namespace {

// Enough for the logger's formatting; far below the default 8 MiB.
constexpr size_t threadStackBytes = 256 * 1024;

void* runThread(void* start)
{
    PlatformThread* thread = static_cast<PlatformThread*>(start);
    thread->function(thread->argument);
    return nullptr;
}

} // namespace

PlatformThread* startTimeCriticalThread(int (*function)(void*), void* argument)
{
    PlatformThread* thread = new PlatformThread{{}, function, argument};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, threadStackBytes);
    int result = pthread_create(&thread->handle, &attributes, runThread, thread);
    pthread_attr_destroy(&attributes);
    if (result != 0) {
        delete thread;
        return nullptr;
    }
    // Real-time scheduling needs a privilege most users lack; without it the thread keeps
    // the normal policy, which the millisecond polling tolerates.
    sched_param parameters{};
    parameters.sched_priority = sched_get_priority_min(SCHED_FIFO) + 1;
    pthread_setschedparam(thread->handle, SCHED_FIFO, &parameters);
    return thread;
}

void joinThread(PlatformThread*& thread)
{
    if (!thread)
        return;
    pthread_join(thread->handle, nullptr);
    delete thread;
    thread = nullptr;
}

void sleepMilliseconds(uint32_t milliseconds)
{
    timespec duration{time_t(milliseconds / 1000), long(milliseconds % 1000) * 1000000L};
    while (nanosleep(&duration, &duration) != 0) {
    }
}
