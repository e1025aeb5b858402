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

/* ----------------------------------------- optional modules, OS version */

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
