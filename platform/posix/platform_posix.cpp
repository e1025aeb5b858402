// platform_posix.cpp - the POSIX backend of the platform interface.
//
// The log file gets the same observable behaviour as on Windows from POSIX
// primitives: an O_APPEND descriptor with a non-blocking exclusive flock
// stands for the write open that shares the file for reading only, so a
// second writer's open fails while a line is being written.  The trim takes
// the same lock on a read-write descriptor and keeps it across its read,
// cut and rewrite, so no other process's line lands in between.  No open of the
// log follows a symbolic link or accepts anything but a regular file: a
// link planted at the log's name would otherwise let another account make
// this process overwrite or truncate a file of its choosing.
#include "platform.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace keel {
namespace plat {

// The Lock record is storage of the native lock's size and alignment.
static_assert(sizeof(Lock) == sizeof(pthread_mutex_t), "Lock must hold a pthread_mutex_t");
static_assert(alignof(Lock) == alignof(pthread_mutex_t), "Lock must be aligned as a pthread_mutex_t");

static pthread_mutex_t *native(Lock *lock) { return reinterpret_cast<pthread_mutex_t *>(lock->opaque.bytes); }

void lock_init(Lock *lock)
{
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(native(lock), &attr);
    pthread_mutexattr_destroy(&attr);
}

void lock_enter(Lock *lock) { pthread_mutex_lock(native(lock)); }
void lock_leave(Lock *lock) { pthread_mutex_unlock(native(lock)); }
void lock_delete(Lock *lock) { pthread_mutex_destroy(native(lock)); }

int format_timestamp(char *buf, size_t cap, int *error)
{
    time_t now = time(nullptr);
    struct tm local;
    errno = 0;
    if (localtime_r(&now, &local) == nullptr) {
        *error = errno;
        return 0;
    }
    if (strftime(buf, cap, "%d/%m/%Y %H:%M:%S", &local) == 0) {
        *error = ERANGE;
        return 0;
    }
    return 1;
}

uint32_t current_thread_id(void) { return (uint32_t)syscall(SYS_gettid); }

void sleep_ms(unsigned ms)
{
    struct timespec pause = {(time_t)(ms / 1000), (long)(ms % 1000) * 1000000L};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

// Linux's coarse clock costs a few nanoseconds (it is read on every written
// line) and its few milliseconds of resolution are plenty for a minute.
#if defined(CLOCK_MONOTONIC_COARSE)
static const clockid_t kMonotonic = CLOCK_MONOTONIC_COARSE;
#else
static const clockid_t kMonotonic = CLOCK_MONOTONIC;
#endif

int64_t monotonic_ms(void)
{
    struct timespec now;
    clock_gettime(kMonotonic, &now);
    return (int64_t)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

// Opens without following a link; refuses what is not a regular file.
// O_NONBLOCK keeps a FIFO planted at the name from blocking the open.
static int open_regular(const char *name, int flags)
{
    int fd = open(name, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

// The append path skips the regular-file test of open_regular: it runs for
// every line, and O_NOFOLLOW with O_NONBLOCK already keeps links and FIFOs
// without a reader out; the trim, which truncates, keeps the full test.
// The flock belongs to this open file description alone, so it also
// excludes a second open of the same file within this process.
intptr_t log_open_append(const char *name)
{
    int fd = open(name, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

long log_write(intptr_t handle, const char *data, size_t n)
{
    ssize_t written;
    do {
        written = write((int)handle, data, n);
    } while (written < 0 && errno == EINTR);
    return written < 0 ? -1 : (long)written;
}

void log_close(intptr_t handle) { close((int)handle); }

intptr_t log_open_trim(const char *name, int *held)
{
    *held = 0;
    int fd = open_regular(name, O_RDWR);
    if (fd < 0)
        return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *held = errno == EWOULDBLOCK;
        close(fd);
        return -1;
    }
    return fd;
}

int log_size(intptr_t handle, uint64_t *size)
{
    struct stat st;
    if (fstat((int)handle, &st) != 0)
        return 0;
    *size = (uint64_t)st.st_size;
    return 1;
}

long log_read_at(intptr_t handle, uint64_t offset, char *data, size_t n)
{
    size_t done = 0;
    while (done < n) {
        ssize_t got = pread((int)handle, data + done, n - done, (off_t)(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += (size_t)got;
    }
    return (long)done;
}

// The trim's descriptor is not O_APPEND, so pwrite lands where it is told.
int log_rewrite(intptr_t handle, const char *data, size_t n)
{
    int fd = (int)handle;
    if (ftruncate(fd, 0) != 0)
        return 0;
    size_t done = 0;
    while (done < n) {
        ssize_t put = pwrite(fd, data + done, n - done, (off_t)done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return 0;
        done += (size_t)put;
    }
    return 1;
}

// ------------------------------------------------------ events and threads

// ------------------------------------------- optional modules, OS version

// -------------------------------------------------------- descriptor reads

long read_descriptor(int fd, void *buf, unsigned n, int *error)
{
    ssize_t got;
    do {
        got = read(fd, buf, n);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        *error = errno;
        return -1;
    }
    return (long)got;
}

// ----------------------------------------------------- local time, sockets

int local_time(time_t when, struct tm *fields) { return localtime_r(&when, fields) != nullptr; }

int socket_startup(void) { return 0; }

void socket_shutdown(void) {}

}  // namespace plat
}  // namespace keel
