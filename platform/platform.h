/*
 * platform.h - the one internal interface to the operating system.
 *
 * Every OS call of the layer sits behind these functions, implemented once
 * per backend (platform/posix, platform/win32).  This is the bottom layer:
 * it never logs, never touches the error store and never uses the object
 * model; it returns plain results and the layer above turns them into
 * reports and error records.
 */
#ifndef KEEL_PLATFORM_H
#define KEEL_PLATFORM_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <time.h>

#include "util.h"

namespace keel {
namespace plat {

/* Recursive locks.  Win32: a critical section (recursive by nature).
 * POSIX: a pthread mutex made recursive. */
void lock_init(Lock *lock);
void lock_enter(Lock *lock);
void lock_leave(Lock *lock);
void lock_delete(Lock *lock);

/* The local date and time as "dd/MM/yyyy HH:mm:ss" in buf (cap >= 20).
 * Returns 1, or 0 with the platform's error code in *error when the
 * formatting failed (buf is then undefined).  Win32: GetDateFormatA +
 * GetTimeFormatA.  POSIX: localtime_r + strftime. */
int format_timestamp(char *buf, size_t cap, int *error);

/* The calling thread's OS thread id. */
uint32_t current_thread_id(void);

/* Pauses the calling thread. */
void sleep_ms(unsigned ms);

/* Milliseconds on a clock that only moves forward, from an unspecified
 * start: setting the wall clock has no effect on it.  POSIX:
 * clock_gettime(CLOCK_MONOTONIC_COARSE where there is one, else
 * CLOCK_MONOTONIC).  Win32: QueryPerformanceCounter (present
 * on every Windows the DLL loads on, unlike GetTickCount64). */
int64_t monotonic_ms(void);

/* One exclusive append of the log file.
 *
 * log_open_append opens (creating when missing) the named file for writing
 * at its end, such that while it is open every other writer's
 * log_open_append of the same file fails, and so does log_open_trim;
 * returns a handle or -1.
 * Win32: CreateFileA, GENERIC_WRITE, FILE_SHARE_READ, a null-DACL security
 * descriptor, OPEN_ALWAYS, then SetFilePointer to the end.  POSIX:
 * open(O_APPEND|O_CREAT|O_NOFOLLOW, 0666 less the umask) + a non-blocking
 * exclusive flock; a symbolic link or a file that is not regular is
 * refused. */
intptr_t log_open_append(const char *name);
/* Writes up to n bytes; returns the number written, or -1 on failure. */
long log_write(intptr_t handle, const char *data, size_t n);
/* Closes a handle of log_open_append or log_open_trim. */
void log_close(intptr_t handle);

/* The trim's one open of the log file: reading and writing the existing
 * file through one handle that excludes every writer.  Fails (-1) while
 * another handle of log_open_append or log_open_trim holds the file, in
 * this process or another (*held is then 1: a later attempt may succeed),
 * and when the file is missing, a link or not a regular file (*held 0).
 * While the handle is open every log_open_append of the file fails, so no
 * line lands between the trim's read and its rewrite.
 * Win32: CreateFileA, GENERIC_READ|GENERIC_WRITE, FILE_SHARE_READ,
 * OPEN_EXISTING (a writer's share mode refuses it, and it refuses
 * writers).  POSIX: open(O_RDWR|O_NOFOLLOW) + the non-blocking exclusive
 * flock that the appends take. */
intptr_t log_open_trim(const char *name, int *held);
/* The size in bytes of the file open as handle.  Returns 0 on failure. */
int log_size(intptr_t handle, uint64_t *size);
/* Reads n bytes at offset; returns the number read (fewer only at the end
 * of the file), or -1 on failure. */
long log_read_at(intptr_t handle, uint64_t offset, char *data, size_t n);
/* Makes the file hold exactly the n bytes at data: cuts it to nothing,
 * then writes them from its start.  Returns 1, or 0 when the cut or a
 * write failed (the file then holds a part of them, or is unchanged when
 * the cut failed). */
int log_rewrite(intptr_t handle, const char *data, size_t n);

/* ---------------------------------------------------- events and threads */
/* (platform/posix/threads_posix.cpp, platform/win32/threads_win32.cpp)
 *
 * Handles are pointer-sized; 0 is never a valid one.  Win32: the kernel
 * handles themselves.  POSIX: numbers looked up in a table of live events
 * and threads (see threads_posix.cpp); a number that names no live object
 * is refused with EBADF, never dereferenced.  Each failure gives the OS
 * error number in *error (GetLastError, or an errno value). */

/* Results of wait_one, as the Win32 single-object wait gives them. */
const uint32_t kWaitSignalled = 0;
const uint32_t kWaitTimedOut = 258;
const uint32_t kWaitFailed = 0xFFFFFFFF;
/* A time-out without limit. */
const uint32_t kWaitForever = 0xFFFFFFFF;
/* What thread_suspend and thread_resume give when they fail. */
const uint32_t kSuspendFailed = 0xFFFFFFFF;

/* A new unsignalled auto-reset event without a name; 0 on failure. */
void *event_create(int *error);
/* Signals an event.  1, or 0 on failure (not a live event). */
int event_set(void *handle, int *error);
/* Waits for an event (consuming its signal) or a thread (signalled once its
 * routine has returned) at most timeout_ms milliseconds; kWaitForever waits
 * without limit.  kWaitSignalled, kWaitTimedOut, or kWaitFailed with the
 * error.  A negative handle fails too: on Win32 it would name a pseudo
 * handle of the process or thread itself, which never becomes signalled. */
uint32_t wait_one(void *handle, uint32_t timeout_ms, int *error);
/* Closes a handle; the object lives on while a wait still uses it, a thread
 * runs on.  1, or 0 on failure. */
int handle_close(void *handle, int *error);
/* Starts routine(arg) on a new thread that runs at once, through the
 * runtime's thread start (_beginthreadex; POSIX: pthread_create), and gives
 * its handle; 0 on failure (a null routine included: EINVAL). */
void *thread_start(ThreadRoutine routine, void *arg, int *error);
/* Suspend and resume a thread started by thread_start, as SuspendThread and
 * ResumeThread: each returns the suspend count the thread had before, or
 * kSuspendFailed (a handle that is not a live thread, a thread whose
 * routine has returned, a count at its limit of 127).  A thread whose count
 * is above 0 runs no code of its own.  POSIX: the thread parks in a signal
 * handler; thread_suspend waits (at most 2 s) until it has parked. */
uint32_t thread_suspend(void *handle, int *error);
uint32_t thread_resume(void *handle, int *error);

/* Whether the library's detach now runs at process exit while other
 * threads of the process may still run (POSIX exit, the end of a Windows
 * program linked with the static library), as opposed to an unload of the
 * library or a Windows DLL's detach, after which no thread runs its code.
 * POSIX: true until the library's finalizers have begun, which an unload
 * runs before the static destructors and an exit after them. */
bool detach_at_exit(void);

/* ----------------------------------------- optional modules, OS version */
/* (platform/posix/modules_posix.cpp, platform/win32/modules_win32.cpp) */

/* The named module if the process has it loaded already, taking no further
 * reference on it; else 0.  Win32: GetModuleHandleA.  POSIX: dlopen with
 * RTLD_NOLOAD, whose reference is given back at once. */
void *module_find(const char *name);
/* Loads the named module (never unloaded by the layer); 0 on failure.
 * Win32: LoadLibraryA.  POSIX: dlopen of that file name. */
void *module_load(const char *name, int *error);
/* The address of the named export, or 0 with the error (also for module
 * 0, when the error is left as it was). */
void *module_symbol(void *module, const char *name, int *error);

/* The version record in the layer's own terms, laid out as OSVERSIONINFOA
 * (checked where that type is known). */
struct VersionRecord {
    uint32_t size;
    uint32_t major;
    uint32_t minor;
    uint32_t build;
    uint32_t platform;
    char service_pack[128];
};
/* Fills *record but its size field (which the caller sets); 1, or 0 with
 * the error when the system's query failed.  Win32: RtlGetVersion (looked
 * up in ntdll at run time), else GetVersionExA.  POSIX: uname. */
int os_version(VersionRecord *record, int *error);

/* ------------------------------------------------------ descriptor reads */

/* Reads up to n bytes of descriptor fd into buf: the count read, 0 at the
 * end of the file, or -1 with the OS error number in *error.  The
 * descriptor is never closed.  POSIX: read, retried when a signal
 * interrupts it.  Win32: _read, on a descriptor of the C runtime (_open,
 * _pipe); a descriptor the runtime does not know gives -1 (EBADF). */
long read_descriptor(int fd, void *buf, unsigned n, int *error);

/* --------------------------------------------------- local time, sockets */

/* The local calendar fields of a calendar time, in the process's time zone
 * (the TZ variable when it is set), without a result shared between
 * threads.  Returns 1, or 0 when the runtime gives no fields (*fields is
 * then undefined).  POSIX: localtime_r; a negative time gives a date before
 * 1970, and only a time whose year does not fit an int gives none.  Win32:
 * localtime_s; a negative time, and one after the year 3000, give none. */
int local_time(time_t when, struct tm *fields);

/* Starts the socket library.  Returns 0, or the platform's error number.
 * Win32: WSAStartup asking for version 1.1 (its result is the Winsock error
 * number).  POSIX: nothing to start; always 0. */
int socket_startup(void);
/* Undoes one successful socket_startup.  Win32: WSACleanup.  POSIX:
 * nothing. */
void socket_shutdown(void);

}  // namespace plat
}  // namespace keel

#endif /* KEEL_PLATFORM_H */
