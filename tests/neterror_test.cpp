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

TEST(NetError, DescribeCutsEachTextToItsBuffer)
{
    // Each text: the buffer's bytes and the one past it, which keeps its '#'.
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
    EXPECT_EQ(Error_Store(NetError_New(0, "connect(s)")), 0);
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
