// modules_win32.cpp - optional modules and the system's version.
#include "platform.h"

#include <windows.h>
#include <cstddef>

namespace keel {
namespace plat {

// The layer's version record is OSVERSIONINFOA field for field.
static_assert(sizeof(VersionRecord) == sizeof(OSVERSIONINFOA) && sizeof(OSVERSIONINFOA) == 148,
              "OSVERSIONINFOA is 148 bytes");
static_assert(offsetof(VersionRecord, major) == offsetof(OSVERSIONINFOA, dwMajorVersion) &&
                  offsetof(VersionRecord, minor) == offsetof(OSVERSIONINFOA, dwMinorVersion) &&
                  offsetof(VersionRecord, build) == offsetof(OSVERSIONINFOA, dwBuildNumber) &&
                  offsetof(VersionRecord, platform) == offsetof(OSVERSIONINFOA, dwPlatformId) &&
                  offsetof(VersionRecord, service_pack) == offsetof(OSVERSIONINFOA, szCSDVersion),
              "VersionRecord is laid out as OSVERSIONINFOA");
static_assert(sizeof(OSVERSIONINFOA::szCSDVersion) == sizeof(VersionRecord::service_pack),
              "service pack texts of one size");

void *module_find(const char *name) { return (void *)GetModuleHandleA(name); }

void *module_load(const char *name, int *error)
{
    HMODULE module = LoadLibraryA(name);
    if (module == nullptr)
        *error = (int)GetLastError();
    return (void *)module;
}

void *module_symbol(void *module, const char *name, int *error)
{
    if (module == nullptr)
        return nullptr;
    void *address = (void *)GetProcAddress((HMODULE)module, name);
    if (address == nullptr)
        *error = (int)GetLastError();
    return address;
}

namespace {

typedef LONG(WINAPI *RtlGetVersionFn)(OSVERSIONINFOW *);

// The true version: GetVersionExA answers 6.2 on later systems to programs
// without a manifest that names them; RtlGetVersion does not.
bool true_version(VersionRecord *record)
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    RtlGetVersionFn get = ntdll ? (RtlGetVersionFn)(void *)GetProcAddress(ntdll, "RtlGetVersion") : nullptr;
    if (get == nullptr)
        return false;
    OSVERSIONINFOW wide;
    ZeroMemory(&wide, sizeof wide);
    wide.dwOSVersionInfoSize = sizeof wide;
    if (get(&wide) != 0)
        return false;
    record->major = wide.dwMajorVersion;
    record->minor = wide.dwMinorVersion;
    record->build = wide.dwBuildNumber;
    record->platform = wide.dwPlatformId;
    if (WideCharToMultiByte(CP_ACP, 0, wide.szCSDVersion, -1, record->service_pack,
                            (int)sizeof record->service_pack, nullptr, nullptr) == 0)
        record->service_pack[0] = '\0';
    return true;
}

}  // namespace

int os_version(VersionRecord *record, int *error)
{
    if (true_version(record))
        return 1;
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    BOOL ok = GetVersionExA(&info);
#pragma GCC diagnostic pop
    if (!ok) {
        *error = (int)GetLastError();
        return 0;
    }
    uint32_t size = record->size;
    CopyMemory(record, &info, sizeof info);
    record->size = size;
    return 1;
}

}  // namespace plat
}  // namespace keel
