// The optional functions of "iphlpapi.dll" (stand-ins built by the tests),
// the system's version record, and the order of version texts.
#include <gtest/gtest.h>

#include <cstring>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <sys/utsname.h>
#endif

#include "support/log_capture.h"
#include "util.h"

namespace {

// Each row: the stand-in's folder; each call's message ("" when it succeeds);
// the flag; an OS error number kept; each function found.
struct LoadCase { const char *variant, *message; int loaded; bool os_error, get_found, free_found; };
const LoadCase kLoadCases[] = {
    {"plain", "", 1, false, true, true},
    {"underscored", "", 1, false, true, true},
    {"no_free", "Could not find FreeMibTable in iphlpapi.dll", 0, true, true, false},
    {"none", "Could not find GetIfTable2 in iphlpapi.dll", 0, true, false, false},
    {"missing", "Could not load iphlpapi.dll", 0, true, false, false},
};

// A child's library search starts in its row's folder (Windows: set by the
// child; Wine prefers native files for this module: tests/CMakeLists.txt).
ChildEnv RowEnv(int row)
{
    std::string folder = std::string(KEEL_IPHLP_FOLDERS "/") + kLoadCases[row].variant;
    return {{"LD_LIBRARY_PATH", folder}, {"KEEL_STUB_FOLDER", folder}, {"KEEL_LOAD_ROW", std::to_string(row)}};
}

std::string MessageOf(int32_t ref) { return ref != 0 ? Error_Get(ref)->message->string : ""; }

bool HasOsError(int32_t ref) { return ref != 0 && Error_Get(ref)->osError != 0; }

}  // namespace

// Two loads into one record, checked against the row the parent names.
KEEL_CHILD(IpHlpLoadTwice)
{
    const LoadCase &c = kLoadCases[std::atoi(std::getenv("KEEL_LOAD_ROW"))];
#if defined(_WIN32)
    SetDllDirectoryA(std::getenv("KEEL_STUB_FOLDER"));
#endif
    IpHlpFunctions f;
    std::memset(&f, 0xA5, sizeof f);  // a record not loaded: what its fields hold is not trusted
    f.bLoaded = 0;
    int32_t first = IpHlp_Load(&f);
    int32_t second = IpHlp_Load(&f);
    CHILD_REQUIRE(MessageOf(first) == c.message);
    CHILD_REQUIRE(MessageOf(second) == c.message);  // the second call repeats it all
    CHILD_REQUIRE(HasOsError(first) == c.os_error);
    CHILD_REQUIRE(f.bLoaded == c.loaded);
    CHILD_REQUIRE((f.GetIfTable2 != nullptr) == c.get_found);
    CHILD_REQUIRE((f.FreeMibTable != nullptr) == c.free_found);
    return 0;
}

TEST(IpHlp, LoadResolvesWhatTheModuleHasAndRepeatsEveryFailure)
{
    for (int row = 0; row < 5; ++row) {
        ChildResult r = RunChild("IpHlpLoadTwice", RowEnv(row));
        EXPECT_EQ(r.exit_code, 0) << kLoadCases[row].variant << ": " << r.out;
    }
}

TEST(Version, CompareOrdersFieldsAsNumbersWithoutOverflow)
{
    struct CompareCase { const char *a, *b; int expected; };
    const CompareCase cases[] = {
        {"1.10.0", "1.9.9", 1},
        {"1.2.3", "1.2.3.4", 0},  // the fourth is not read
        {"1.2", "1.3", 0},  // fewer than three: not a version
        {"  3. 0.\t7", "3.0.2", 5},  // blanks before each number
        {nullptr, "1.2.3", 0},
        {"-2147483648.0.0", "2147483647.0.0", INT_MIN},  // held to the int range
        {"1.0.0", "1.0.2147483648", 0},  // does not fit an int
    };
    for (const CompareCase &c : cases)
        EXPECT_EQ(Version_Compare(c.a, c.b), c.expected) << (c.a ? c.a : "null") << " / " << (c.b ? c.b : "null");
}

#if !defined(_WIN32)
// uname as a test wants it: failing, or giving a release of its choice.
bool g_fail_uname = false;
const char *g_release = nullptr;

extern "C" int __real_uname(struct utsname *names);
extern "C" int __wrap_uname(struct utsname *names)
{
    if (g_fail_uname) {
        errno = EFAULT;
        return -1;
    }
    int rc = __real_uname(names);
    if (g_release != nullptr)
        std::snprintf(names->release, sizeof names->release, "%s", g_release);
    return rc;
}

TEST(Version, OsVersionIsReadFromTheReleaseOrWritesWhyNot)
{
    g_release = "5.9.0.1-custom";  // three numbers are read, the rest is text
    OSVERSIONINFOA info = OsVersion_Get();
    g_release = "6.1-2";  // a number after anything but a dot is text too
    OSVERSIONINFOA dashed = OsVersion_Get();
    g_release = nullptr;
    EXPECT_EQ(dashed.dwBuildNumber, 0u);
    EXPECT_STREQ(dashed.szCSDVersion, "-2");
    EXPECT_EQ(info.dwOSVersionInfoSize, 148u);
    EXPECT_EQ(info.dwMajorVersion, 5u);
    EXPECT_EQ(info.dwMinorVersion, 9u);
    EXPECT_EQ(info.dwBuildNumber, 0u);
    EXPECT_STREQ(info.szCSDVersion, ".1-custom");

    g_fail_uname = true;
    testing::internal::CaptureStderr();
    OSVERSIONINFOA failed = OsVersion_Get();
    std::string written = testing::internal::GetCapturedStderr();
    g_fail_uname = false;
    EXPECT_EQ(written, "GetVersionEx failed with error code 14\n");
    EXPECT_EQ(failed.dwOSVersionInfoSize, 148u);
}

// The process has loaded a stand-in itself: after the layer's load, the
// release of the process's own reference unloads it.
TEST(IpHlp, ModuleLoadedAlreadyTakesNoFurtherReference)
{
    void *own = dlopen(KEEL_IPHLP_FOLDERS "/plain/iphlpapi.dll", RTLD_NOW);
    ASSERT_NE(own, nullptr);
    IpHlpFunctions f = {0, nullptr, nullptr};
    EXPECT_EQ(IpHlp_Load(&f), 0);
    dlclose(own);
    EXPECT_EQ(dlopen("iphlpapi.dll", RTLD_NOW | RTLD_NOLOAD), nullptr);
}
#endif
