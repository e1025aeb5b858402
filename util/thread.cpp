// thread.cpp - joinable threads started through the runtime's thread
// start, their polls, and suspend and resume for the layer's own use.  A
// failed OS call becomes a stored record with the OS error number; a
// record never started is an assertion report, after which the OS call is
// made on whatever handle the record holds (and fails cleanly).
#include "check.h"
#include "os_error.h"
#include "platform.h"
#include "thread_control.h"
#include "util.h"

namespace {

bool check_joinable(const Thread &thread, int line)
{
    return keel::check(thread.bIsJoinable != 0, "thread.bIsJoinable", line);
}

}  // namespace

void Thread_Create(Thread *thread, ThreadRoutine routine, void *arg)
{
    if (!KEEL_CHECK(thread != NULL))
        return;
    thread->bIsJoinable = 1;  // also when the start fails
    int error = 0;
    thread->handle = keel::plat::thread_start(routine, arg, &error);
    if (thread->handle == NULL)
        keel::store_os_error("_beginthreadex() call failed", error);
}

void Thread_Join(Thread thread)
{
    check_joinable(thread, __LINE__);
    int error = 0;
    if (keel::plat::wait_one(thread.handle, keel::plat::kWaitForever, &error) != keel::plat::kWaitSignalled)
        keel::store_os_error("Unable to join thread", error);
    keel::plat::handle_close(thread.handle, &error);
}

int Thread_IsFinished(Thread thread)
{
    check_joinable(thread, __LINE__);
    int error = 0;
    return keel::plat::wait_one(thread.handle, 0, &error) == keel::plat::kWaitTimedOut ? 0 : 1;
}

// Suspends first and resumes after: a suspended thread is never let run
// between the two calls, and the count ends as it was.
int Thread_IsSuspended(Thread thread)
{
    check_joinable(thread, __LINE__);
    uint32_t before = keel::thread_suspend(thread);
    if (before == keel::plat::kSuspendFailed)
        return 1;
    keel::thread_resume(thread);
    return before > 0 ? 1 : 0;
}

namespace keel {

uint32_t thread_suspend(Thread thread)
{
    int error = 0;
    return plat::thread_suspend(thread.handle, &error);
}

uint32_t thread_resume(Thread thread)
{
    int error = 0;
    return plat::thread_resume(thread.handle, &error);
}

}  // namespace keel
