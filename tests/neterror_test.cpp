// Network error descriptions, the records of failed socket calls, errno
// values, and the socket layer's start-up.
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

TEST(NetError, RowsOfEachShapeGiveTheirNameHintAndLevel)
{
    // The first and last rows, hints at either level, numbers not in the table.
    struct Row { int code; const char *name, *hint; int level; };  // hint "" for none
    const Row rows[] = {
        {6, "WSA_INVALID_HANDLE", "", 50},
        {10054, "WSAECONNRESET", "Connection reset by peer", 50},
        {10061, "WSAECONNREFUSED", "Connection refused by target server", 25},
        {11004, "WSANO_DATA", "No data available for hostname", 25},
        {12345, "12345", "", 50},
        {INT_MIN, "-2147483648", "", 50},
    };
    for (const Row &row : rows) {
        char name[128];
        char hint[256];
        int level = -7;
        NetError_Describe(row.code, name, sizeof name, hint, sizeof hint, &level);
        EXPECT_STREQ(name, row.name) << row.code;
        EXPECT_STREQ(hint, row.hint) << row.code;
        EXPECT_EQ(level, row.level) << row.code;
    }
    // Exactly 49 numbers below 12000 are known: a binary search misses none.
    int known = 0;
    for (int code = 0; code < 12000; ++code) {
        char name[128];
        NetError_Describe(code, name, sizeof name, nullptr, 0, nullptr);
        if (std::to_string(code) != name)
            ++known;
    }
    EXPECT_EQ(known, 49);
}

TEST(NetError, DescribeCutsEachTextToItsBuffer)
{
    // Each text: the buffer's bytes and the one past it, which keeps its '#'.
    struct Case { int code; size_t size; const char *name, *hint; };
    const Case cases[] = {
        {10061, 8, "WSAECON\0#", "Connect\0#"},
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
    NetError_Describe(10054, nullptr, 128, nullptr, 256, &level);  // null outputs are left out
    EXPECT_EQ(level, 50);
}

KEEL_CHILD(NetErrorAtLevel50)
{
    global_log_level = 50;
    Error *e = NetError_New(10035, "recv(s)");
    CHILD_REQUIRE(e->code == 998);
    CHILD_REQUIRE(e->bUserVisible == 1);
    Error_Destroy(e);
    return 0;
}

TEST(NetError, NewWritesEachMessageFormByteForByte)
{
    // Without a hint the record is coded 998 only when its level (50) is at
    // most global_log_level: below 50 here, 50 in the child below.
    struct Case { int code; const char *operation, *message, *hint; int32_t coded; };
    const Case cases[] = {
        {10061, "connect(s)",
         "Encountered network error: Connection refused by target server.  (Technical information: "
         "error WSAECONNREFUSED (10061) while executing connect(s))",
         "Connection refused by target server", 998},
        {10035, "recv(s)", "Encountered network error 10035 (WSAEWOULDBLOCK) when executing 'recv(s)'.", "(none)", 999},
        {10004, nullptr, "Encountered network error 10004 (WSAEINTR) when executing '(null)'.", "(none)", 999},
    };
    for (const Case &c : cases) {
        Error *e = NetError_New(c.code, c.operation);
        EXPECT_EQ(ValueOf(e->message), c.message);
        EXPECT_EQ(ValueOf(e->hint), c.hint) << c.code;
        EXPECT_EQ(e->code, c.coded) << c.code;
        EXPECT_EQ(e->osError, c.code);
        Error_Destroy(e);
    }
    EXPECT_EQ(NetError_New(0, "connect(s)"), nullptr);
    ChildResult at_level_50 = RunChild("NetErrorAtLevel50");
    EXPECT_EQ(at_level_50.exit_code, 0) << at_level_50.out;
}

TEST(NetError, AFailedAllocationLeavesOutOnlyWhatItWouldHaveHeld)
{
    // Allocations: the record, its message String and text, the hint's two.
    ReportsAndRecords told;
    const long before = AllocShim_Live();
    AllocShim_FailAt(1);
    Error *none = NetError_New(10061, "c");  // no record, so no hint is made
    AllocShim_Disarm();
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(told.Since(), " <Unable to allocate Error error>");
    AllocShim_FailAt(4);
    Error *without_hint = NetError_New(10061, "c");
    AllocShim_Disarm();
    EXPECT_EQ(told.Since(), " <Unable to allocate String ps>");
    EXPECT_EQ(without_hint->hint, nullptr);
    EXPECT_EQ(without_hint->osError, 10061);
    Error_Destroy(without_hint);
    EXPECT_EQ(AllocShim_Live(), before);
}

TEST(NetError, FromErrnoGivesTheWinsockNumberAndPassesOthersThrough)
{
    struct Pair { int errno_value, winsock; };
    const Pair pairs[] = {
        {EAGAIN, 10035},  // the second name of one number where a system has two
        {ECONNREFUSED, 10061},
        // No counterpart: unchanged.
        {EBADF, EBADF},
        {INT_MIN, INT_MIN},
    };
    for (const Pair &p : pairs)
        EXPECT_EQ(NetError_FromErrno(p.errno_value), p.winsock) << p.errno_value;
}

// The attach has started the socket layer; a second start-up only counts,
// and the library is closed when the last start-up is balanced.
KEEL_CHILD(SocketLayerStartsOnce)
{
    CHILD_REQUIRE(keel::socket_layer_start_count() == 1);
    keel::socket_layer_startup();
    keel::socket_layer_shutdown();
    CHILD_REQUIRE(keel::socket_layer_start_count() == 1);
    keel::socket_layer_shutdown();
#if defined(_WIN32)
    // Had the library been started twice, this clean-up would succeed.
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
