// modules_posix.cpp - optional modules (shared objects looked up by the
// file name given), the system's version from uname, and how the library's
// detach can tell process exit from an unload.
#include "platform.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <sys/utsname.h>

namespace keel {
namespace plat {

namespace {

// Set by the library's finalizer.  An unload (dlclose) runs the finalizers
// of the library first and its static destructors from within them; exit
// runs the static destructors from its handler list first and the
// finalizers after.  So the detach sees it set only at an unload.
std::atomic<int> g_finalizing{0};

__attribute__((destructor)) void note_finalizing() { g_finalizing.store(1); }

// A decimal number at *text, as unsigned, held at 0xFFFFFFFF; advances past
// its digits.  false when no digit stands there.
bool read_number(const char **text, uint32_t *value)
{
    const char *p = *text;
    if (*p < '0' || *p > '9')
        return false;
    uint64_t n = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        n = n > 0xFFFFFFFFu ? n : n * 10 + (uint64_t)(*p - '0');
    *value = n > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)n;
    *text = p;
    return true;
}

}  // namespace

bool detach_at_exit(void) { return g_finalizing.load() == 0; }

void *module_find(const char *name)
{
    void *module = dlopen(name, RTLD_LAZY | RTLD_NOLOAD);
    if (module != nullptr)
        dlclose(module);  // RTLD_NOLOAD took a reference: give it back
    return module;
}

void *module_load(const char *name, int *error)
{
    void *module = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr)
        *error = ENOENT;  // dlopen gives a text, not a number
    return module;
}

void *module_symbol(void *module, const char *name, int *error)
{
    if (module == nullptr)
        return nullptr;
    void *address = dlsym(module, name);
    if (address == nullptr)
        *error = ENOENT;  // dlsym gives a text, not a number
    return address;
}

// Release "6.1.0-18-amd64": 6, 1, 0 and "-18-amd64".  Fewer numbers leave
// the later ones 0.
int os_version(VersionRecord *record, int *error)
{
    struct utsname names;
    if (uname(&names) != 0) {
        *error = errno;
        return 0;
    }
    const char *p = names.release;
    uint32_t *fields[] = {&record->major, &record->minor, &record->build};
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (p[0] != '.' || p[1] < '0' || p[1] > '9')
                break;
            ++p;
        }
        if (!read_number(&p, fields[i]))
            break;
    }
    record->platform = KEEL_VER_PLATFORM_POSIX;
    std::strncpy(record->service_pack, p, sizeof record->service_pack - 1);
    record->service_pack[sizeof record->service_pack - 1] = '\0';
    return 1;
}

}  // namespace plat
}  // namespace keel
