// Network error descriptions: the lookup, texts cut to their buffers, both
// message forms, the level rule, allocation failures, errno values, and the
// socket layer's start-up.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <windows.h>  // brings the Winsock calls
#endif

#include "socket_layer.h"
#include "support/alloc_shim.h"
#include "support/child.h"
#include "support/outcome.h"
#include "util.h"

namespace {

std::string Text(const String *s)
{
    if (!s)
        return "(none)";
    return s->bIsSet ? s->string : "(unset)";
}

}  // namespace

TEST(NetError, DescribeFindsEachKindOfRow)
{
    // The first and last rows, hints of both levels, a row without a hint,
    // and numbers the table does not hold.
    struct Case { int code; const char *name, *hint; int level; };
    const Case cases[] = {
        {6, "WSA_INVALID_HANDLE", "", 50},
        {10035, "WSAEWOULDBLOCK", "", 50},
        {10048, "WSAEADDRINUSE", "The address or port is already in use", 25},
        {10054, "WSAECONNRESET", "Connection reset by peer", 50},
        {11004, "WSANO_DATA", "No data available for hostname", 25},
        {10059, "10059", "", 50},
        {99999, "99999", "", 50},
        {INT_MIN, "-2147483648", "", 50},
    };
    for (const Case &c : cases) {
        char name[128];
        char hint[256];
        int level = -7;
        NetError_Describe(c.code, name, sizeof name, hint, sizeof hint, &level);
        EXPECT_STREQ(name, c.name) << c.code;
        EXPECT_STREQ(hint, c.hint) << c.code;
        EXPECT_EQ(level, c.level) << c.code;
    }
}

TEST(NetError, TheLookupFindsFortyNineNumbersBelow12000)
{
    // The lookup is a binary search: a row out of order would be lost.
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
    struct Case { int code; size_t size; const char *name, *hint; };
    const Case cases[] = {
        {10061, 8, "WSAECON\0#", "Connect\0#"},
        {10061, 1, "\0#", "\0#"},
        {10061, 0, "#", "#"},
        {12345, 4, "123\0#", "\0####"},
    };
    for (const Case &c : cases) {
        char name[16];
        char hint[16];
        std::memset(name, '#', sizeof name);
        std::memset(hint, '#', sizeof hint);
        NetError_Describe(c.code, name, c.size, hint, c.size, nullptr);
        EXPECT_EQ(std::string(name, c.size + 1), std::string(c.name, c.size + 1)) << c.code << " in " << c.size;
        EXPECT_EQ(std::string(hint, c.size + 1), std::string(c.hint, c.size + 1)) << c.code << " in " << c.size;
    }
    int level = -7;
    NetError_Describe(10060, nullptr, 128, nullptr, 256, &level);  // null outputs are left out
    EXPECT_EQ(level, 25);
}

TEST(NetError, NewWritesEachMessageFormByteForByte)
{
    struct Case { int code; const char *operation, *message, *hint; };
    const Case cases[] = {
        {10061, "connect(s)",
         "Encountered network error: Connection refused by target server.  (Technical information: "
         "error WSAECONNREFUSED (10061) while executing connect(s))",
         "Connection refused by target server"},
        {11001, "gethostbyname(host)",
         "Encountered network error: Hostname not found..  (Technical information: "
         "error WSAHOST_NOT_FOUND (11001) while executing gethostbyname(host))",
         "Hostname not found."},
        {10035, "recv(s)", "Encountered network error 10035 (WSAEWOULDBLOCK) when executing 'recv(s)'.", "(none)"},
        {12345, "send(s)", "Encountered network error 12345 (12345) when executing 'send(s)'.", "(none)"},
        {10004, nullptr, "Encountered network error 10004 (WSAEINTR) when executing '(null)'.", "(none)"},
    };
    for (const Case &c : cases) {
        Error *e = NetError_New(c.code, c.operation);
        EXPECT_EQ(Text(e->message), c.message);
        EXPECT_EQ(Text(e->hint), c.hint) << c.code;
        EXPECT_EQ(e->osError, c.code);
        Error_Destroy(e);
    }
    EXPECT_EQ(NetError_New(0, "connect(s)"), nullptr);
    EXPECT_EQ(Error_Store(NetError_New(0, "connect(s)")), 0);
}

// A row with a hint is shown to the user at any level; one without is
// when its level (50) is at most global_log_level.
KEEL_CHILD(NetErrorLevelRule)
{
    global_log_level = -1;
    Error *with_hint = NetError_New(10054, "recv(s)");
    CHILD_REQUIRE(with_hint->code == 998);
    CHILD_REQUIRE(with_hint->bUserVisible == 1);
    global_log_level = 49;
    Error *below = NetError_New(10035, "recv(s)");
    CHILD_REQUIRE(below->code == 999);
    CHILD_REQUIRE(below->bUserVisible == 0);
    global_log_level = 50;
    Error *at = NetError_New(10035, "recv(s)");
    CHILD_REQUIRE(at->code == 998);
    CHILD_REQUIRE(at->bUserVisible == 1);
    Error_Destroy(with_hint);
    Error_Destroy(below);
    Error_Destroy(at);
    return 0;
}

TEST(NetError, WithoutHintTheLevelDecidesWhetherTheRecordIsUserVisible)
{
    ChildResult r = RunChild("NetErrorLevelRule");
    EXPECT_EQ(r.exit_code, 0) << r.out;
}

TEST(NetError, EachAllocationFailingLeavesOutOnlyWhatItWouldHaveHeld)
{
    const char *message =
        "Encountered network error: Connection refused by target server.  (Technical information: "
        "error WSAECONNREFUSED (10061) while executing c)";
    const char *hint = "Connection refused by target server";
    // Allocations: the record, its message String and characters, the hint
    // String and characters.
    struct Run { const char *message, *hint, *told; };  // message nullptr: no record
    const Run runs[] = {
        {nullptr, nullptr, " <Unable to allocate Error error>"},
        {"(none)", hint, " <Unable to allocate String ps>"},
        {"(unset)", hint, " <Unable to malloc 138 bytes>"},
        {message, "(none)", " <Unable to allocate String ps>"},
        {message, "(unset)", " <Unable to malloc 36 bytes>"},
        {message, hint, ""},
    };
    ReportsAndRecords told;
    for (const Run &run : runs) {
        const long k = &run - runs + 1;
        const long before = AllocShim_Live();
        AllocShim_FailAt(k);
        Error *e = NetError_New(10061, "c");
        AllocShim_Disarm();
        EXPECT_EQ(told.Since(), run.told) << "k " << k;
        if (!run.message) {
            EXPECT_EQ(e, nullptr) << "k " << k;
            continue;
        }
        EXPECT_EQ(Text(e->message), run.message) << "k " << k;
        EXPECT_EQ(Text(e->hint), run.hint) << "k " << k;
        EXPECT_EQ(e->osError, 10061) << "k " << k;
        Error_Destroy(e);
        EXPECT_EQ(AllocShim_Live(), before) << "leak at k " << k;
    }
}

TEST(NetError, FromErrnoGivesTheWinsockNumberAndPassesOthersThrough)
{
    // The first pair, pairs the callers name, and values without one.
    EXPECT_EQ(NetError_FromErrno(ENOMEM), 8);
    EXPECT_EQ(NetError_FromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(NetError_FromErrno(ETIMEDOUT), 10060);
    EXPECT_EQ(NetError_FromErrno(EADDRINUSE), 10048);
    EXPECT_EQ(NetError_FromErrno(EHOSTUNREACH), 10065);
    EXPECT_EQ(NetError_FromErrno(EBADF), EBADF);
    EXPECT_EQ(NetError_FromErrno(INT_MIN), INT_MIN);
}

// The attach has started the socket layer; a second start-up only counts,
// and the library is closed when the last start-up is balanced.
KEEL_CHILD(SocketLayerStartsOnce)
{
    CHILD_REQUIRE(keel::socket_layer_start_count() == 1);
    CHILD_REQUIRE(global_error_store == nullptr);
    keel::socket_layer_startup();
    keel::socket_layer_shutdown();
    CHILD_REQUIRE(keel::socket_layer_start_count() == 1);
    keel::socket_layer_shutdown();
#if defined(_WIN32)
    // Had the library been started twice, one start would still be open
    // and this clean-up would succeed.
    CHILD_REQUIRE(WSACleanup() == SOCKET_ERROR);
    CHILD_REQUIRE(WSAGetLastError() == WSANOTINITIALISED);
#endif
    keel::socket_layer_startup();  // for the tear-down at exit
    CHILD_REQUIRE(keel::socket_layer_start_count() == 2);
    return 0;
}

TEST(NetError, SocketLayerStartsOncePerProcess)
{
    ChildResult r = RunChild("SocketLayerStartsOnce");
    EXPECT_EQ(r.exit_code, 0) << r.out;
}
