// platform_win32.cpp - the Win32 backend of the platform interface.
//
// The log's write open shares the file for reading only, so while one
// process writes a line every other writer's open fails with a sharing
// violation (and is retried above).  New log files get a null access list,
// so that every account can later open and write the file this process made.
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

int file_size(const char *name, uint32_t *size)
{
    HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    *size = (uint32_t)GetFileSize(file, nullptr);
    CloseHandle(file);
    return 1;
}

FILE *open_stream(const char *name, const char *mode) { return fopen(name, mode); }

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

}  // namespace plat
}  // namespace keel
