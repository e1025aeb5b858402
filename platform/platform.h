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

/* One exclusive append of the log file.
 *
 * log_open_append opens (creating when missing) the named file for writing
 * at its end, such that while it is open every other writer's
 * log_open_append of the same file fails; returns a handle or -1.
 * Win32: CreateFileA, GENERIC_WRITE, FILE_SHARE_READ, a null-DACL security
 * descriptor, OPEN_ALWAYS, then SetFilePointer to the end.  POSIX:
 * open(O_APPEND|O_CREAT|O_NOFOLLOW, 0666 less the umask) + a non-blocking
 * exclusive flock; a symbolic link or a file that is not regular is
 * refused. */
intptr_t log_open_append(const char *name);
/* Writes up to n bytes; returns the number written, or -1 on failure. */
long log_write(intptr_t handle, const char *data, size_t n);
void log_close(intptr_t handle);

/* Opens the named existing file for reading and gives its size (the low
 * 32 bits).  Returns 0 when it could not be opened or measured. */
int file_size(const char *name, uint32_t *size);

/* fopen of the log file for the trim ("rb", "wb").  POSIX: never follows
 * a symbolic link and refuses anything but a regular file. */
FILE *open_stream(const char *name, const char *mode);

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

}  // namespace plat
}  // namespace keel

#endif /* KEEL_PLATFORM_H */
