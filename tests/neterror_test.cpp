// Network error descriptions: the table, texts cut to their buffers, both
// message forms, the level rule, allocation failures, and errno values.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <windows.h>  // brings the Winsock calls
#endif

#include "socket_layer.h"
#include "support/alloc_shim.h"
#include "support/child.h"
#include "support/log_capture.h"
#include "util.h"

namespace {

// The table as users know it, written out again by hand.
struct Row {
    int code;
    const char *name;
    const char *hint;  // "" for none
    int level;
};

const Row kTable[] = {
    {6, "WSA_INVALID_HANDLE", "", 50},
    {8, "WSA_NOT_ENOUGH_MEMORY", "", 50},
    {87, "WSA_INVALID_PARAMETER", "", 50},
    {995, "WSA_OPERATION_ABORTED", "", 50},
    {996, "WSA_IO_INCOMPLETE", "", 50},
    {997, "WSA_IO_PENDING", "", 50},
    {10004, "WSAEINTR", "", 50},
    {10013, "WSAEACCES", "", 50},
    {10014, "WSAEFAULT", "", 50},
    {10022, "WSAEINVAL", "", 50},
    {10024, "WSAEMFILE", "There may be too many files, sockets or resources in use on your machine.", 25},
    {10035, "WSAEWOULDBLOCK", "", 50},
    {10036, "WSAEINPROGRESS", "", 50},
    {10037, "WSAEALREADY", "", 50},
    {10038, "WSAENOTSOCK", "", 50},
    {10039, "WSAEDESTADDRREQ", "", 50},
    {10040, "WSAEMSGSIZE", "", 50},
    {10041, "WSAEPROTOTYPE", "", 50},
    {10042, "WSAENOPROTOOPT", "", 50},
    {10043, "WSAEPROTONOSUPPORT", "", 50},
    {10045, "WSAEOPNOTSUPP", "", 50},
    {10046, "WSAEPFNOSUPPORT", "", 50},
    {10047, "WSAEAFNOSUPPORT", "", 50},
    {10048, "WSAEADDRINUSE", "The address or port is already in use", 25},
    {10049, "WSAEADDRNOTAVAIL", "Check port number is valid", 25},
    {10050, "WSAENETDOWN", "Your network is currently unavailable", 25},
    {10051, "WSAENETUNREACH", "Your network is unreachable", 25},
    {10052, "WSAENETRESET", "Network dropped connection on reset", 50},
    {10053, "WSAECONNABORTED", "Software caused connection abort", 50},
    {10054, "WSAECONNRESET", "Connection reset by peer", 50},
    {10055, "WSAENOBUFS", "No buffer space available", 50},
    {10056, "WSAEISCONN", "", 50},
    {10057, "WSAENOTCONN", "", 50},
    {10058, "WSAESHUTDOWN", "", 50},
    {10060, "WSAETIMEDOUT", "Connection to target server timed out", 25},
    {10061, "WSAECONNREFUSED", "Connection refused by target server", 25},
    {10064, "WSAEHOSTDOWN", "", 50},
    {10065, "WSAEHOSTUNREACH", "Target machine is unreachable", 25},
    {10067, "WSAEPROCLIM", "", 50},
    {10091, "WSASYSNOTREADY", "", 50},
    {10092, "WSAVERNOTSUPPORTED", "", 50},
    {10093, "WSANOTINITIALISED", "", 50},
    {10101, "WSAEDISCON", "", 50},
    {10107, "WSASYSCALLFAILURE", "", 50},
    {10109, "WSATYPE_NOT_FOUND", "", 50},
    {11001, "WSAHOST_NOT_FOUND", "Hostname not found.", 25},
    {11002, "WSATRY_AGAIN", "", 50},
    {11003, "WSANO_RECOVERY", "", 50},
    {11004, "WSANO_DATA", "No data available for hostname", 25},
    // Numbers next to known ones and far from them: the decimal text, no hint.
    {12345, "12345", "", 50},
    {-10061, "-10061", "", 50},
    {INT_MIN, "-2147483648", "", 50},
};

// A child's standard output with Windows' CR LF read as LF.
std::string Out(const ChildResult &r)
{
    std::string out;
    for (char c : r.out)
        if (c != '\r')
            out += c;
    return out;
}

std::string Text(const String *s)
{
    if (!s)
        return "(none)";
    return s->bIsSet ? s->string : "(unset)";
}

}  // namespace

TEST(NetError, EveryRowGivesItsNameHintAndLevel)
{
    for (const Row &row : kTable) {
        char name[128];
        char hint[256];
        int level = -7;
        NetError_Describe(row.code, name, sizeof name, hint, sizeof hint, &level);
        EXPECT_STREQ(name, row.name) << row.code;
        EXPECT_STREQ(hint, row.hint) << row.code;
        EXPECT_EQ(level, row.level) << row.code;
    }
    // No number below 12000 is known but those of the table.
    int known = 0;
    for (int code = 0; code < 12000; ++code) {
        char name[128];
        NetError_Describe(code, name, sizeof name, nullptr, 0, nullptr);
        if (std::to_string(code) != name)
            ++known;
    }
    EXPECT_EQ(known, 49);
}

TEST(NetError, DescribeCutsEachTextToItsBufferAndWritesNothingPastIt)
{
    // Sizes count the NUL; '#' marks bytes that must stay untouched.
    struct Cut { int code; size_t nameSize, hintSize; const char *name, *hint; };
    const Cut cuts[] = {
        {10004, 8, 8, "WSAEINT", ""},
        {10004, 1, 1, "", ""},
        {10004, 0, 0, "#", "#"},
        {10061, 16, 11, "WSAECONNREFUSED", "Connection"},
        {10061, 15, 36, "WSAECONNREFUSE", "Connection refused by target server"},
        {12345, 4, 2, "123", ""},
        {INT_MIN, 12, 1, "-2147483648", ""},
        {INT_MIN, 11, 1, "-214748364", ""},
    };
    for (const Cut &c : cuts) {
        char name[64];
        char hint[64];
        std::memset(name, '#', sizeof name);
        std::memset(hint, '#', sizeof hint);
        NetError_Describe(c.code, name, c.nameSize, hint, c.hintSize, nullptr);
        EXPECT_EQ(std::string(name, std::strlen(c.name)), c.name) << c.code << "/" << c.nameSize;
        EXPECT_EQ(std::string(hint, std::strlen(c.hint)), c.hint) << c.code << "/" << c.hintSize;
        EXPECT_EQ(name[c.nameSize], '#') << c.code << "/" << c.nameSize;
        EXPECT_EQ(hint[c.hintSize], '#') << c.code << "/" << c.hintSize;
        if (c.nameSize > 0) {
            EXPECT_EQ(name[std::strlen(c.name)], '\0') << c.code << "/" << c.nameSize;
        }
        if (c.hintSize > 0) {
            EXPECT_EQ(hint[std::strlen(c.hint)], '\0') << c.code << "/" << c.hintSize;
        }
    }
}

TEST(NetError, NullOutputsAreLeftOut)
{
    int level = -7;
    NetError_Describe(10060, nullptr, 128, nullptr, 256, &level);
    EXPECT_EQ(level, 25);
    NetError_Describe(10004, nullptr, 128, nullptr, 256, &level);
    EXPECT_EQ(level, 50);
    NetError_Describe(99999, nullptr, 128, nullptr, 256, &level);
    EXPECT_EQ(level, 50);
    char name[16] = "untouched";
    NetError_Describe(10060, name, 0, nullptr, 0, nullptr);
    EXPECT_STREQ(name, "untouched");
    NetError_Describe(10060, name, sizeof name, nullptr, 256, nullptr);
    EXPECT_STREQ(name, "WSAETIMEDOUT");
}

TEST(NetError, NewWritesEachMessageFormByteForByte)
{
    // The message does not depend on the level; the code of a row without
    // a hint does, and is checked in a child below.
    struct Form { int code; const char *operation, *message, *hint; };  // hint nullptr: none
    const Form forms[] = {
        {10061, "connect(s)",
         "Encountered network error: Connection refused by target server.  (Technical information: "
         "error WSAECONNREFUSED (10061) while executing connect(s))",
         "Connection refused by target server"},
        {11001, "gethostbyname(host)",
         "Encountered network error: Hostname not found..  (Technical information: "
         "error WSAHOST_NOT_FOUND (11001) while executing gethostbyname(host))",
         "Hostname not found."},
        {10035, "recv(s)", "Encountered network error 10035 (WSAEWOULDBLOCK) when executing 'recv(s)'.",
         nullptr},
        {12345, "send(s)", "Encountered network error 12345 (12345) when executing 'send(s)'.", nullptr},
        {10004, nullptr, "Encountered network error 10004 (WSAEINTR) when executing '(null)'.", nullptr},
    };
    for (const Form &f : forms) {
        Error *e = NetError_New(f.code, f.operation);
        ASSERT_NE(e, nullptr) << f.code;
        EXPECT_EQ(Text(e->message), f.message) << f.code;
        EXPECT_EQ(Text(e->hint), f.hint ? f.hint : "(none)") << f.code;
        EXPECT_EQ(e->osError, f.code);
        if (f.hint) {
            EXPECT_EQ(e->code, 998) << f.code;
            EXPECT_EQ(e->bUserVisible, 1) << f.code;
        }
        Error_Destroy(e);
    }
    EXPECT_EQ(NetError_New(0, "connect(s)"), nullptr);
    EXPECT_EQ(Error_Store(NetError_New(0, "connect(s)")), 0);
}

TEST(NetError, LongOperationTextIsCutAtTheMessageLimit)
{
    const std::string operation(2000, 'o');
    const std::string head =
        "Encountered network error: Connection refused by target server.  (Technical information: "
        "error WSAECONNREFUSED (10061) while executing ";
    Error *e = NetError_New(10061, operation.c_str());
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(Text(e->message), head + std::string(1023 - head.size(), 'o'));
    Error_Destroy(e);
}

// Prints "<level>: <code>/<bUserVisible> ..." for a row without a hint
// (10035), an unknown number and a row with a hint of level 50 (10054):
// once while the level is unread, once after a report has read it.
KEEL_CHILD(NetErrorLevelRule)
{
    const int codes[] = {10035, 12345, 10054};
    for (int phase = 0; phase < 2; ++phase) {
        std::printf("%d:", global_log_level);
        for (int code : codes) {
            Error *e = NetError_New(code, "recv(s)");
            std::printf(" %d/%d", e->code, e->bUserVisible);
            Error_Destroy(e);
        }
        std::printf("\n");
        Log_Report(101, "reads the level; written at no level of these runs");
    }
    return 0;
}

TEST(NetError, WithoutHintTheLevelDecidesWhetherTheRecordIsUserVisible)
{
    struct Case { ChildEnv env; const char *out; };
    const Case cases[] = {
        {{}, "-1: 999/0 999/0 998/1\n0: 999/0 999/0 998/1\n"},
        {{{"NAVL_LOGGING", "50"}}, "-1: 999/0 999/0 998/1\n50: 998/1 998/1 998/1\n"},
    };
    for (const Case &c : cases) {
        ChildResult r = RunChild("NetErrorLevelRule", c.env);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(Out(r), c.out);
    }
}

TEST(NetError, EachAllocationFailingLeavesOutOnlyWhatItWouldHaveHeld)
{
    const char *message =
        "Encountered network error: Connection refused by target server.  (Technical information: "
        "error WSAECONNREFUSED (10061) while executing c)";
    const char *hint = "Connection refused by target server";
    // Allocations: the record, its message String and characters, the hint
    // String and characters.
    struct Run { const char *message, *hint, *report; };  // message nullptr: no record
    const Run runs[] = {
        {nullptr, nullptr, "Unable to allocate Error error"},
        {"(none)", hint, "Unable to allocate String ps"},
        {"(unset)", hint, "Unable to malloc 138 bytes"},
        {message, "(none)", "Unable to allocate String ps"},
        {message, "(unset)", "Unable to malloc 36 bytes"},
        {message, hint, nullptr},
    };
    LogCapture capture;
    size_t seen = 0;
    for (size_t k = 1; k <= sizeof runs / sizeof runs[0]; ++k) {
        const Run &run = runs[k - 1];
        long before = AllocShim_Live();
        AllocShim_FailAt((long)k);
        Error *e = NetError_New(10061, "c");
        bool injected = AllocShim_Injected();
        AllocShim_Disarm();
        EXPECT_EQ(injected, run.report != nullptr) << "k " << k;
        if (!run.message) {
            EXPECT_EQ(e, nullptr) << "k " << k;
        } else {
            ASSERT_NE(e, nullptr) << "k " << k;
            EXPECT_EQ(Text(e->message), run.message) << "k " << k;
            EXPECT_EQ(Text(e->hint), run.hint) << "k " << k;
            EXPECT_EQ(e->osError, 10061) << "k " << k;
            EXPECT_EQ(e->code, 998) << "k " << k;
        }
        Error_Destroy(e);
        EXPECT_EQ(AllocShim_Live(), before) << "leak at k " << k;
        std::vector<std::string> messages = capture.Messages();
        std::string report;
        if (seen < messages.size())
            report = messages[seen].substr(0, messages[seen].find(" at util:"));
        EXPECT_EQ(report, run.report ? run.report : "") << "k " << k;
        seen = messages.size();
    }
}

TEST(NetError, FromErrnoGivesTheWinsockNumberAndPassesOthersThrough)
{
    struct Pair { int errno_value, winsock; };
    const Pair pairs[] = {
        {ENOMEM, 8},
        {ECANCELED, 995},
        {EINTR, 10004},
        {EACCES, 10013},
        {EFAULT, 10014},
        {EINVAL, 10022},
        {EMFILE, 10024},
        {EWOULDBLOCK, 10035},
        {EAGAIN, 10035},
        {EINPROGRESS, 10036},
        {EALREADY, 10037},
        {ENOTSOCK, 10038},
        {EDESTADDRREQ, 10039},
        {EMSGSIZE, 10040},
        {EPROTOTYPE, 10041},
        {ENOPROTOOPT, 10042},
        {EPROTONOSUPPORT, 10043},
        {EOPNOTSUPP, 10045},
        {ENOTSUP, 10045},
#ifdef EPFNOSUPPORT  // not among the Windows C runtime's errno values
        {EPFNOSUPPORT, 10046},
#endif
        {EAFNOSUPPORT, 10047},
        {EADDRINUSE, 10048},
        {EADDRNOTAVAIL, 10049},
        {ENETDOWN, 10050},
        {ENETUNREACH, 10051},
        {ENETRESET, 10052},
        {ECONNABORTED, 10053},
        {ECONNRESET, 10054},
        {ENOBUFS, 10055},
        {EISCONN, 10056},
        {ENOTCONN, 10057},
#ifdef ESHUTDOWN
        {ESHUTDOWN, 10058},
#endif
        {ETIMEDOUT, 10060},
        {ECONNREFUSED, 10061},
#ifdef EHOSTDOWN
        {EHOSTDOWN, 10064},
#endif
        {EHOSTUNREACH, 10065},
#ifdef EPROCLIM  // BSD systems only
        {EPROCLIM, 10067},
#endif
        // No counterpart: unchanged.
        {EBADF, EBADF},
        {10061, 10061},
        {INT_MIN, INT_MIN},
    };
    for (const Pair &p : pairs)
        EXPECT_EQ(NetError_FromErrno(p.errno_value), p.winsock) << p.errno_value;
}

// The attach has started the socket layer; a second start-up only counts,
// and the library is closed when the last start-up is balanced.
KEEL_CHILD(SocketLayerStartsOnce)
{
    std::printf("attached: %d started, store %s\n", keel::socket_layer_start_count(),
                global_error_store ? "holds a record" : "empty");
    keel::socket_layer_startup();
    keel::socket_layer_shutdown();
    std::printf("counted: %d started\n", keel::socket_layer_start_count());
    keel::socket_layer_shutdown();
#if defined(_WIN32)
    // Had the library been started twice, one start would still be open
    // and this clean-up would succeed.
    int cleanup = WSACleanup();
    std::printf("closed: %d %d\n", cleanup, cleanup == 0 ? 0 : WSAGetLastError());
#endif
    keel::socket_layer_startup();  // for the tear-down at exit
    std::printf("again: %d started\n", keel::socket_layer_start_count());
    return 0;
}

TEST(NetError, SocketLayerStartsOncePerProcess)
{
    ChildResult r = RunChild("SocketLayerStartsOnce");
    EXPECT_EQ(r.exit_code, 0);
#if defined(_WIN32)  // POSIX has no socket library to start or to probe
    const char *expected = "attached: 1 started, store empty\ncounted: 1 started\n"
                           "closed: -1 10093\nagain: 2 started\n";
#else
    const char *expected = "attached: 1 started, store empty\ncounted: 1 started\nagain: 2 started\n";
#endif
    EXPECT_EQ(Out(r), expected);
}
