// The optional functions of "iphlpapi.dll" (stand-ins built by the tests,
// one folder per case), the system's version record, and the order of
// version texts.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <sys/utsname.h>
#include <unistd.h>
#endif

#include "support/child.h"
#include "util.h"

namespace {

int Count(const std::string &text, const std::string &part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// The folder of one stand-in, beside this program.
std::string StubFolder(const std::string &variant)
{
#if defined(_WIN32)
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
#else
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
#endif
    std::string path(self, n > 0 ? (size_t)n : 0);
    return path.substr(0, path.find_last_of("/\\")) + "/iphlp/" + variant;
}

// The child's library search starts in that folder: on POSIX through its
// environment, on Windows through SetDllDirectoryA in the child.  (Wine
// must also prefer native files for this module; it reads that setting
// from the environment it starts with, which tests/CMakeLists.txt gives
// these tests.)
ChildEnv StubEnv(const std::string &variant)
{
    std::string folder = StubFolder(variant);
    return {{"LD_LIBRARY_PATH", folder}, {"KEEL_STUB_FOLDER", folder}};
}

std::string WithoutCr(const std::string &text)
{
    std::string out;
    for (char c : text)
        if (c != '\r')
            out += c;
    return out;
}

void UseStubFolder()
{
#if defined(_WIN32)
    SetDllDirectoryA(std::getenv("KEEL_STUB_FOLDER"));
#endif
}

// One call's outcome on a line: the error's message (or 0), the record,
// whether the error carries an OS error number.
void PrintLoad(IpHlpFunctions *f)
{
    int32_t r = IpHlp_Load(f);
    Error *e = r != 0 ? Error_Take(r) : nullptr;
    std::printf("r=%s loaded=%d get=%d free=%d os=%d\n", e ? e->message->string : "0", (int)f->bLoaded,
                f->GetIfTable2 != nullptr, f->FreeMibTable != nullptr, e && e->osError != 0);
    Error_Destroy(e);
}

}  // namespace

KEEL_CHILD(IpHlpLoadTwice)
{
    UseStubFolder();
    IpHlpFunctions f = {0, nullptr, nullptr};
    PrintLoad(&f);
    PrintLoad(&f);
    if (f.GetIfTable2) {
        void *table = &f;
        std::printf("call=%x\n", (unsigned)f.GetIfTable2(&table));
    }
    return 0;
}

TEST(IpHlp, LoadResolvesWhatTheModuleHasAndRepeatsEveryFailure)
{
    // Each row: the stand-in's folder, the line each of the two calls
    // prints, what the found GetIfTable2 answers, the reports in the log.
    struct LoadCase {
        const char *variant;
        const char *line;
        const char *call;
        int libhan_reports;
        int addr_reports;
    };
    const char found[] = "r=0 loaded=1 get=1 free=1 os=0\n";
    const LoadCase cases[] = {
        {"plain", found, "call=4701\n", 0, 0},
        {"underscored", found, "call=4702\n", 0, 0},
        {"no_free", "r=Could not find FreeMibTable in iphlpapi.dll loaded=0 get=1 free=0 os=1\n", "call=4701\n", 0, 2},
        {"none", "r=Could not find GetIfTable2 in iphlpapi.dll loaded=0 get=0 free=0 os=1\n", "", 0, 4},
        {"missing", "r=Could not load iphlpapi.dll loaded=0 get=0 free=0 os=1\n", "", 4, 4},
    };
    for (const LoadCase &c : cases) {
        SCOPED_TRACE(c.variant);
        ChildResult r = RunChild("IpHlpLoadTwice", StubEnv(c.variant));
        ASSERT_EQ(r.exit_code, 0) << r.out;
        EXPECT_EQ(WithoutCr(r.out), std::string(c.line) + c.line + c.call);
        EXPECT_EQ(Count(r.log, "Assertion failed: libhan!=NULL in file util on line 77\r\n"), c.libhan_reports);
        EXPECT_EQ(Count(r.log, "Assertion failed: addr!=NULL in file util on line 77\r\n"), c.addr_reports);
        EXPECT_EQ(Count(r.log, "Assertion failed"), c.libhan_reports + c.addr_reports) << r.log;
    }
}

// The process loads the module itself; after the layer's load one release
// of the process's own reference unloads it again.
KEEL_CHILD(IpHlpAlreadyLoaded)
{
    UseStubFolder();
#if defined(_WIN32)
    HMODULE own = LoadLibraryA("iphlpapi.dll");
#else
    void *own = dlopen("iphlpapi.dll", RTLD_NOW);
#endif
    CHILD_REQUIRE(own != nullptr);
    IpHlpFunctions f = {0, nullptr, nullptr};
    CHILD_REQUIRE(IpHlp_Load(&f) == 0);
    CHILD_REQUIRE(IpHlp_Load(&f) == 0);
#if defined(_WIN32)
    FreeLibrary(own);
    CHILD_REQUIRE(GetModuleHandleA("iphlpapi.dll") == nullptr);
#else
    dlclose(own);
    CHILD_REQUIRE(dlopen("iphlpapi.dll", RTLD_NOW | RTLD_NOLOAD) == nullptr);
#endif
    return 0;
}

TEST(IpHlp, ModuleLoadedAlreadyTakesNoFurtherReference)
{
    ChildResult r = RunChild("IpHlpAlreadyLoaded", StubEnv("plain"));
    EXPECT_EQ(r.exit_code, 0) << r.out;
}

TEST(Version, CompareOrdersFieldsAsNumbersWithoutOverflow)
{
    struct CompareCase {
        const char *a;
        const char *b;
        int expected;
    };
    const CompareCase cases[] = {
        {"1.10.0", "1.9.9", 1},
        {"2.0.1", "2.0.1", 0},
        {"1.2", "1.3.0", 0},               // two fields only
        {"1.2.3", "1.2.3.4", 0},           // the fourth is not read
        {"1.2.3", "1.2.5", -2},
        {"  3. 0.\t7", "3.0.2", 5},        // blanks before each number
        {"-1.0.0", "+1.0.0", -2},
        {"1 .2.3", "1.2.3", 0},            // no blank before a full stop
        {"1.2.3", "x.2.3", 0},
        {nullptr, "1.2.3", 0},
        {"1.2.3", nullptr, 0},
        {"2147483647.0.0", "-2147483648.0.0", INT_MAX},  // held to the int range
        {"-2147483648.0.0", "2147483647.0.0", INT_MIN},
        {"0.0.2147483647", "0.0.-2147483648", INT_MAX},
        {"2147483648.0.0", "1.0.0", 0},    // does not fit an int
        {"1.0.99999999999999999999", "1.0.0", 0},
        {"-2147483649.0.0", "1.0.0", 0},
    };
    for (const CompareCase &c : cases)
        EXPECT_EQ(Version_Compare(c.a, c.b), c.expected) << (c.a ? c.a : "null") << " / " << (c.b ? c.b : "null");
}

#if defined(_WIN32)
TEST(Version, OsVersionGivesTheSystemsTrueVersion)
{
    OSVERSIONINFOA info = OsVersion_Get();
    EXPECT_EQ(info.dwOSVersionInfoSize, 148u);
    EXPECT_EQ(info.dwPlatformId, (DWORD)VER_PLATFORM_WIN32_NT);
    EXPECT_GE(info.dwMajorVersion, 5u);
}
#else
bool g_fail_uname = false;

extern "C" int __real_uname(struct utsname *names);
extern "C" int __wrap_uname(struct utsname *names)
{
    if (g_fail_uname) {
        errno = EFAULT;
        return -1;
    }
    return __real_uname(names);
}

TEST(Version, OsVersionIsFilledFromTheRelease)
{
    struct utsname names;
    ASSERT_EQ(uname(&names), 0);
    OSVERSIONINFOA info = OsVersion_Get();
    EXPECT_EQ(info.dwOSVersionInfoSize, 148u);
    EXPECT_EQ(info.dwPlatformId, 0x100u);
    std::string rebuilt = std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "." +
                          std::to_string(info.dwBuildNumber) + info.szCSDVersion;
    EXPECT_EQ(rebuilt, names.release);
}

// The failure's line goes to standard error; the record keeps its size
// and nothing else.
KEEL_CHILD(OsVersionFails)
{
    CHILD_REQUIRE(std::freopen("stderr.txt", "wb", stderr) != nullptr);
    g_fail_uname = true;
    OSVERSIONINFOA info = OsVersion_Get();
    g_fail_uname = false;
    std::fflush(stderr);
    CHILD_REQUIRE(ReadFile("stderr.txt") == "GetVersionEx failed with error code 14\n");
    CHILD_REQUIRE(info.dwOSVersionInfoSize == 148);
    CHILD_REQUIRE(info.dwMajorVersion == 0);
    CHILD_REQUIRE(info.dwPlatformId == 0);
    CHILD_REQUIRE(info.szCSDVersion[0] == '\0');
    CHILD_REQUIRE(global_error_count == 0);
    return 0;
}

TEST(Version, OsVersionFailureWritesItsLineOnStandardError)
{
    ChildResult r = RunChild("OsVersionFails");
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(r.log, "");
}
#endif
