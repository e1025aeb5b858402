// sysfunc.cpp - the optional functions of "iphlpapi.dll" resolved at run
// time, the system's version record, and the order of version texts.
//
// IpHlp_Load writes the shared record under a small spin gate of its own
// and sets bLoaded last, with release order, only once both functions are
// in their fields: a thread that sees the flag sees both addresses, and a
// failing load never writes null over an address another load found.
#include <atomic>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>

#include "check.h"
#include "os_error.h"
#include "os_version_type.h"
#include "platform.h"
#include "util.h"

namespace {

const char kModuleName[] = "iphlpapi.dll";
const int kLoadCheckLine = 77;  // every assertion report of the load
std::atomic_flag g_publishing = ATOMIC_FLAG_INIT;

// The module: the one the process has loaded already (no reference taken),
// else loaded now.  On failure the assertion report, and the first error.
void *module_for_lookup(int32_t *result)
{
    void *module = keel::plat::module_find(kModuleName);
    int error = 0;
    if (module == NULL)
        module = keel::plat::module_load(kModuleName, &error);
    if (module == NULL) {
        Log_Assert("libhan!=NULL", "util", kLoadCheckLine);
        if (*result == 0)
            *result = keel::store_os_error("Could not load iphlpapi.dll", error);
    }
    return module;
}

// One function: under its name, else with a leading underscore.  The
// lookup is made also without a module (it then finds nothing).
void *resolve(const char *name, int32_t *result)
{
    void *module = module_for_lookup(result);
    int error = 0;
    char underscored[32];
    std::snprintf(underscored, sizeof underscored, "_%s", name);
    void *address = keel::plat::module_symbol(module, name, &error);
    if (address == NULL)
        address = keel::plat::module_symbol(module, underscored, &error);
    if (address == NULL) {
        Log_Assert("addr!=NULL", "util", kLoadCheckLine);
        if (*result == 0) {
            Error *e = Error_New("Could not find %s in %s", name, kModuleName);
            if (e)
                e->osError = error;
            *result = Error_Store(e);
        }
    }
    return address;
}

void publish(IpHlpFunctions *functions, void *get_table, void *free_table)
{
    while (g_publishing.test_and_set(std::memory_order_acquire))
        keel::plat::sleep_ms(1);  // rare: two loads at once
    bool loaded = __atomic_load_n(&functions->bLoaded, __ATOMIC_ACQUIRE) != 0;
    if (get_table || !loaded)
        functions->GetIfTable2 = reinterpret_cast<GetIfTable2Fn>(get_table);
    if (free_table || !loaded)
        functions->FreeMibTable = reinterpret_cast<FreeMibTableFn>(free_table);
    if (get_table && free_table)
        __atomic_store_n(&functions->bLoaded, 1, __ATOMIC_RELEASE);
    g_publishing.clear(std::memory_order_release);
}

// One field as "%d" reads it: white space skipped, a sign, digits.  false
// when there is no digit or the number does not fit an int.
bool read_field(const char **text, int *value)
{
    const char *p = *text;
    while (std::isspace((unsigned char)*p))
        ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    if (*p < '0' || *p > '9')
        return false;
    long long n = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        n = n * 10 + (*p - '0');
        if (n > (long long)INT_MAX + 1)
            return false;
    }
    if (!negative && n > INT_MAX)
        return false;
    *value = (int)(negative ? -n : n);
    *text = p;
    return true;
}

// "%d.%d.%d": true when all three fields were read.
bool read_version(const char *text, int fields[3])
{
    const char *p = text;
    for (int i = 0; i < 3; ++i) {
        if (i > 0 && *p++ != '.')
            return false;
        if (!read_field(&p, &fields[i]))
            return false;
    }
    return true;
}

}  // namespace

int32_t IpHlp_Load(IpHlpFunctions *functions)
{
    if (!KEEL_CHECK(functions != NULL))
        return Error_Store(Error_New("IpHlp_Load: functions is NULL"));
    int32_t result = 0;
    void *get_table = resolve("GetIfTable2", &result);
    void *free_table = resolve("FreeMibTable", &result);
    publish(functions, get_table, free_table);
    return result;
}

OSVERSIONINFOA OsVersion_Get(void)
{
    keel::plat::VersionRecord record;
    std::memset(&record, 0, sizeof record);
    record.size = sizeof record;
    int error = 0;
    if (!keel::plat::os_version(&record, &error)) {
        std::memset(&record, 0, sizeof record);
        record.size = sizeof record;
        std::fprintf(stderr, "GetVersionEx failed with error code %d\n", error);
    }
    OSVERSIONINFOA info;
    static_assert(sizeof info == sizeof record && sizeof info == 148, "the record is 148 bytes");
    std::memcpy(&info, &record, sizeof info);
    return info;
}

int Version_Compare(const char *a, const char *b)
{
    int x[3], y[3];
    if (a == NULL || b == NULL || !read_version(a, x) || !read_version(b, y))
        return 0;
    for (int i = 0; i < 3; ++i) {
        long long difference = (long long)x[i] - y[i];
        if (difference > INT_MAX)
            return INT_MAX;
        if (difference < INT_MIN)
            return INT_MIN;
        if (difference != 0)
            return (int)difference;
    }
    return 0;
}
