// threads_win32.cpp - events and threads: each operation is the Win32 call
// of that name (the thread start is the runtime's _beginthreadex).
#include "platform.h"

#include <windows.h>
#include <cerrno>
#include <process.h>

namespace keel {
namespace plat {

static_assert(sizeof(void *) == sizeof(HANDLE), "a handle field must hold a HANDLE");
static_assert(kWaitTimedOut == WAIT_TIMEOUT && kWaitFailed == WAIT_FAILED && kWaitSignalled == WAIT_OBJECT_0,
              "wait results are the Win32 ones");
static_assert(kWaitForever == INFINITE, "the time-out without limit is INFINITE");

namespace {

// The error of the call that just failed: GetLastError, or errno when the
// runtime failed before reaching the system.
int last_error()
{
    DWORD code = GetLastError();
    return code != 0 ? (int)code : errno;
}

// The pseudo handles of the process itself (-1) and of the calling thread
// (-2), and the other negative values, never become signalled.
bool is_pseudo(void *handle) { return (intptr_t)handle < 0; }

}  // namespace

void *event_create(int *error)
{
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (event == nullptr)
        *error = (int)GetLastError();
    return event;
}

int event_set(void *handle, int *error)
{
    if (SetEvent((HANDLE)handle))
        return 1;
    *error = (int)GetLastError();
    return 0;
}

uint32_t wait_one(void *handle, uint32_t timeout_ms, int *error)
{
    if (is_pseudo(handle)) {
        *error = ERROR_INVALID_HANDLE;
        return kWaitFailed;
    }
    DWORD result = WaitForSingleObject((HANDLE)handle, timeout_ms);
    if (result != WAIT_OBJECT_0 && result != WAIT_TIMEOUT)
        *error = (int)GetLastError();
    return (uint32_t)result;
}

int handle_close(void *handle, int *error)
{
    if (!is_pseudo(handle) && CloseHandle((HANDLE)handle))
        return 1;
    *error = is_pseudo(handle) ? ERROR_INVALID_HANDLE : (int)GetLastError();
    return 0;
}

void *thread_start(ThreadRoutine routine, void *arg, int *error)
{
    SetLastError(0);
    errno = 0;
    uintptr_t thread = _beginthreadex(nullptr, 0, routine, arg, 0, nullptr);
    if (thread == 0)
        *error = last_error();
    return (void *)thread;
}

uint32_t thread_suspend(void *handle, int *error)
{
    DWORD before = is_pseudo(handle) ? (DWORD)-1 : SuspendThread((HANDLE)handle);
    if (before == (DWORD)-1)
        *error = is_pseudo(handle) ? ERROR_INVALID_HANDLE : (int)GetLastError();
    return (uint32_t)before;
}

uint32_t thread_resume(void *handle, int *error)
{
    DWORD before = is_pseudo(handle) ? (DWORD)-1 : ResumeThread((HANDLE)handle);
    // ResumeThread gives 0 for a thread that has ended, where SuspendThread
    // fails: the contract fails both, as the POSIX emulation does.
    if (before == 0 && WaitForSingleObject((HANDLE)handle, 0) == WAIT_OBJECT_0) {
        SetLastError(ERROR_ACCESS_DENIED);
        before = (DWORD)-1;
    }
    if (before == (DWORD)-1)
        *error = is_pseudo(handle) ? ERROR_INVALID_HANDLE : (int)GetLastError();
    return (uint32_t)before;
}

// A DLL's detach runs after every other thread has ended (process exit) or
// when it is freed; a program's static objects end in exit() while its
// other threads still run.
bool detach_at_exit(void)
{
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       (LPCSTR)(void *)&detach_at_exit, &self);
    return self == GetModuleHandleA(nullptr);
}

}  // namespace plat
}  // namespace keel
