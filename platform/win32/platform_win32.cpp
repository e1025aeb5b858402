// platform_win32.cpp - the Win32 backend of the platform interface.
//
// The log's write open shares the file for reading only, so while one
// process writes a line every other writer's open fails with a sharing
// violation (and is retried above).  The trim opens the file once for
// reading and writing under the same share mode: that open fails while a
// writer holds the file, and no writer gets in while the trim reads and
// rewrites through it.  New log files get a null access list, so that
// every account can later open and write the file this process made.
#include "platform.h"

#include <windows.h>

#include <errno.h>
#include <io.h>

namespace keel {
namespace plat {

// The Lock record is storage of the native lock's size and alignment.
static_assert(sizeof(Lock) == sizeof(CRITICAL_SECTION), "Lock must hold a CRITICAL_SECTION");
static_assert(alignof(Lock) == alignof(CRITICAL_SECTION), "Lock must be aligned as a CRITICAL_SECTION");

static CRITICAL_SECTION *native(Lock *lock) { return reinterpret_cast<CRITICAL_SECTION *>(lock->opaque.bytes); }

void lock_init(Lock *lock) { InitializeCriticalSection(native(lock)); }
void lock_enter(Lock *lock) { EnterCriticalSection(native(lock)); }
void lock_leave(Lock *lock) { LeaveCriticalSection(native(lock)); }
void lock_delete(Lock *lock) { DeleteCriticalSection(native(lock)); }

int format_timestamp(char *buf, size_t cap, int *error)
{
    int date_len = GetDateFormatA(LOCALE_USER_DEFAULT, 0, nullptr, "dd/MM/yyyy ", buf, (int)cap);
    if (date_len == 0) {
        *error = (int)GetLastError();
        return 0;
    }
    // The time goes directly behind the date's text (date_len counts its NUL).
    char *time_at = buf + date_len - 1;
    if (GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, "HH:mm:ss", time_at,
                       (int)(cap - (size_t)(date_len - 1))) == 0) {
        *error = (int)GetLastError();
        return 0;
    }
    return 1;
}

uint32_t current_thread_id(void) { return (uint32_t)GetCurrentThreadId(); }

void sleep_ms(unsigned ms) { Sleep(ms); }

int64_t monotonic_ms(void)
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&count);
    // Whole seconds first, so the product cannot overflow.
    int64_t seconds = count.QuadPart / frequency.QuadPart;
    int64_t rest = count.QuadPart % frequency.QuadPart;
    return seconds * 1000 + rest * 1000 / frequency.QuadPart;
}

// Filled once, by the first line written; only ever touched under the log's
// lock.
static SECURITY_DESCRIPTOR g_descriptor;
static SECURITY_ATTRIBUTES g_attributes;
static bool g_attributes_set = false;

static SECURITY_ATTRIBUTES *log_attributes()
{
    if (!g_attributes_set) {
        InitializeSecurityDescriptor(&g_descriptor, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&g_descriptor, TRUE, nullptr, TRUE);
        g_attributes.nLength = sizeof g_attributes;
        g_attributes.lpSecurityDescriptor = &g_descriptor;
        g_attributes.bInheritHandle = FALSE;
        g_attributes_set = true;
    }
    return &g_attributes;
}

intptr_t log_open_append(const char *name)
{
    HANDLE file = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ, log_attributes(), OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    SetFilePointer(file, 0, nullptr, FILE_END);
    return (intptr_t)file;
}

long log_write(intptr_t handle, const char *data, size_t n)
{
    DWORD written = 0;
    if (!WriteFile((HANDLE)handle, data, (DWORD)n, &written, nullptr))
        return -1;
    return (long)written;
}

void log_close(intptr_t handle) { CloseHandle((HANDLE)handle); }

// Read and write access under FILE_SHARE_READ: refused while a writer has
// the file open, and refusing writers while it is open.
intptr_t log_open_trim(const char *name, int *held)
{
    HANDLE file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    *held = file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    return (intptr_t)file;
}

int log_size(intptr_t handle, uint64_t *size)
{
    DWORD high = 0;
    DWORD low = GetFileSize((HANDLE)handle, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return 0;
    *size = ((uint64_t)high << 32) | low;
    return 1;
}

static bool seek_to(HANDLE file, uint64_t offset)
{
    LONG high = (LONG)(offset >> 32);
    DWORD low = SetFilePointer(file, (LONG)(DWORD)offset, &high, FILE_BEGIN);
    return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

long log_read_at(intptr_t handle, uint64_t offset, char *data, size_t n)
{
    HANDLE file = (HANDLE)handle;
    if (!seek_to(file, offset))
        return -1;
    size_t done = 0;
    while (done < n) {
        DWORD got = 0;
        if (!ReadFile(file, data + done, (DWORD)(n - done), &got, nullptr))
            return -1;
        if (got == 0)
            break;
        done += got;
    }
    return (long)done;
}

int log_rewrite(intptr_t handle, const char *data, size_t n)
{
    HANDLE file = (HANDLE)handle;
    if (!seek_to(file, 0) || !SetEndOfFile(file))
        return 0;
    size_t done = 0;
    while (done < n) {
        DWORD put = 0;
        if (!WriteFile(file, data + done, (DWORD)(n - done), &put, nullptr) || put == 0)
            return 0;
        done += put;
    }
    return 1;
}

// ------------------------------------------------------ events and threads

// ------------------------------------------- optional modules, OS version

// -------------------------------------------------------- descriptor reads

long read_descriptor(int fd, void *buf, unsigned n, int *error)
{
    int got = _read(fd, buf, n);
    if (got < 0) {
        *error = errno;
        return -1;
    }
    return (long)got;
}

// ----------------------------------------------------- local time, sockets

int local_time(time_t when, struct tm *fields) { return localtime_s(fields, &when) == 0; }

// windows.h brings winsock.h, which declares both calls; they live in ws2_32.
int socket_startup(void)
{
    WSADATA data;
    return WSAStartup(MAKEWORD(1, 1), &data);
}

void socket_shutdown(void) { WSACleanup(); }

}  // namespace plat
}  // namespace keel
