// The error store: references and slot reuse in a fresh store, references
// that are not live, traces, shutdown, failed allocations, threads, and
// the road of one failure from a String to the consumer.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/alloc_shim.h"
#include "support/child.h"
#include "support/log_capture.h"
#include "util.h"

// In a child: on failure print where to standard output and exit 1.
#define REQUIRE(cond)                                                   \
    do {                                                                \
        if (!(cond)) {                                                  \
            printf("failed at line %d: %s\n", __LINE__, #cond);         \
            return 1;                                                   \
        }                                                               \
    } while (0)

namespace {

int32_t Store(const char *text) { return Error_Store(Error_New("%s", text)); }

bool Take(int32_t ref)
{
    Error *e = Error_Take(ref);
    Error_Destroy(e);
    return e != nullptr;
}

// Log messages (prefix removed) that start with `head`.
int Count(const std::string &log, const std::string &head)
{
    int n = 0;
    for (auto &line : SplitCrLf(log))
        n += StripPrefix(line).compare(0, head.size(), head) == 0;
    return n;
}

std::string Assert(const std::string &expr) { return "Assertion failed: " + expr + " in file util on line "; }

}  // namespace

TEST(Error, EachAllocationOfANewRecordFailingInTurn)
{
    // Record, message String, its characters.
    const char *reports[] = {"Unable to allocate Error error", "Unable to allocate String ps",
                             "Unable to malloc 7 bytes at util:"};
    LogCapture cap;
    Error *e = nullptr;
    bool record = false, message = false;
    long runs = AllocShim_Sweep(
        [&] {
            e = Error_NewCoded(7, "code %d", 7);
            record = e && e->code == 7 && e->bUserVisible == 1;
            message = record && e->message && e->message->bIsSet && !std::strcmp(e->message->string, "code 7");
            Error_Destroy(e);
        },
        [&](long k, bool injected, long leaked) {
            EXPECT_EQ(leaked, 0) << k;
            EXPECT_EQ(record, k != 1) << k;
            EXPECT_EQ(message, !injected) << k;
            if (injected && k <= 3) {
                EXPECT_EQ(Count(cap.Raw(), reports[k - 1]), 1) << k;
            }
        });
    EXPECT_EQ(runs, 4);
}

KEEL_CHILD(ErrorSlots)
{
    REQUIRE(Error_Store(nullptr) == 0 && global_error_store == nullptr);
    for (int32_t ref : {0, 1, ERROR_COMPLEX_BIT, ERROR_COMPLEX_BIT + 1})
        REQUIRE(!Error_IsError(ref));  // the store is absent
    int32_t a = Store("a"), b = Store("b");
    REQUIRE(a == 0x40000001 && b == 0x40000002 && Error_IsError(a) && Error_IsError(b));
    REQUIRE(Take(a) && !Error_IsError(a) && Error_IsError(b));
    REQUIRE(Vector_Length(global_error_store) == 2 && global_error_count == 1);
    REQUIRE(Store("c") == 0x40000001);  // the emptied slot first
    REQUIRE(Take(b) && Vector_Length(global_error_store) == 1);  // the last slot goes
    REQUIRE(Store("d") == 0x40000002);
    REQUIRE(Take(0x40000001) && Take(0x40000002) && global_error_store == nullptr && global_error_count == 0);
    REQUIRE(Store("e") == 0x40000001 && Store("f") == 0x40000002);
    REQUIRE(Take(0x40000001) && Take(0x40000002));  // count 0 with slot 0 still in the vector
    REQUIRE(global_error_store == nullptr && !Error_IsError(0x40000002));
    return 0;
}

KEEL_CHILD(ErrorBadReferences)
{
    REQUIRE(!Error_Get(0x40000001));  // no store
    REQUIRE(!Error_Take(1));
    int32_t a = Store("a"), b = Store("b");
    REQUIRE(Take(a));
    REQUIRE(!Error_Get(a));           // spent
    REQUIRE(!Error_Take(0x40000003)); // beyond the store
    REQUIRE(!Error_Take(ERROR_COMPLEX_BIT));
    REQUIRE(!Error_Take(2));          // a plain code, although slot 1 is live
    REQUIRE(global_error_count == 1 && Vector_Length(global_error_store) == 2 && Error_IsError(b));

    // A count short by one must not destroy the record it missed.
    int32_t c = Store("c");
    global_error_count = 1;
    REQUIRE(Take(b) && Error_IsError(c) && global_error_count == 1);
    REQUIRE(Take(c) && global_error_store == nullptr);
    // Every slot full although the count says otherwise: appended, counted.
    a = Store("a"), b = Store("b");
    global_error_count = 1;
    REQUIRE(Store("c") == 0x40000003 && global_error_count == 3);
    REQUIRE(Take(a) && Take(b) && Take(0x40000003) && global_error_store == nullptr);
    return 0;
}

TEST(Error, ReferencesThatAreNotLiveAreReportedAndChangeNothing)
{
    ChildResult r = RunChild("ErrorBadReferences");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    const std::pair<const char *, int> expected[] = {
        {"(ref & ERROR_COMPLEX_BIT) == ERROR_COMPLEX_BIT", 2},
        {"global_error_store != NULL", 2},
        {"index < Vector_Length( global_error_store )", 1},
        {"Vector_GetAt( global_error_store, index ) != NULL", 3},
        {"i != -1", 1},
    };
    for (auto &[expr, n] : expected)
        EXPECT_EQ(Count(r.log, Assert(expr)), n) << expr;
    EXPECT_EQ(Count(r.log, "Assertion failed"), 9) << r.log;
}

TEST(Error, FreshStoreHandsOutTheLowestFreeSlot)
{
    ChildResult r = RunChild("ErrorSlots");
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(r.log, "");
}

KEEL_CHILD(ErrorTraces)
{
    Log_Report(1000, "settle");  // fixes the level before the first trace
    int32_t ref = Store("malloc failed!");
    Error *bare = Error_New("x");
    String_Destroy(bare->message);
    bare->message = nullptr;
    int32_t without = Error_Store(bare);
    Error_Report(0, "stream", 1);
    Error_Report(1, "stream", 2);
    Error_Report(ref, "stream", 12);
    Error_Report(without, "stream", 13);
    REQUIRE(Error_IsError(ref) && Take(ref) && Take(without));
    Error_Report(ref, "stream", 14);  // spent
    return 0;
}

TEST(Error, ReportTracesOnlyLiveReferencesAtLevel100)
{
    const std::pair<ChildEnv, bool> rows[] = {
        {{}, false}, {{{"NAVL_DEBUG", "1"}}, true}, {{{"NAVL_LOGGING", "100"}}, true},
        {{{"NAVL_LOGGING", "150"}}, false},  // the guard: level exactly 100 or -1
    };
    for (auto &[env, traced] : rows) {
        ChildResult r = RunChild("ErrorTraces", env);
        ASSERT_EQ(r.exit_code, 0) << r.out;
        EXPECT_EQ(Count(r.log, "stream:12 - Error code 999: malloc failed!"), traced) << r.log;
        EXPECT_EQ(Count(r.log, "stream:13 - Error code 999: (no message)"), traced) << r.log;
        EXPECT_EQ(Count(r.log, "stream:"), 2 * traced) << r.log;
    }
}

KEEL_CHILD(ErrorRoad)
{
    if (!freopen("stderr.txt", "wb", stderr))  // the bytes as the layer writes them
        return 2;
    String *s = String_NewFrom("old");
    AllocShim_FailAt(1);
    int32_t ref = String_Set(s, "hello");
    AllocShim_Disarm();
    REQUIRE(!String_IsSet(s) && s->string == nullptr);
    REQUIRE(ref == 0x40000001 && Error_IsError(ref) == 1);
    Error_Report(ref, "road", 7);  // a caller passes it up
    Error *e = Error_Take(ref);    // the consumer
    REQUIRE(e && e->code == 999 && !strcmp(e->message->string, "malloc failed!"));
    Error_Destroy(e);
    String_Destroy(s);
    REQUIRE(global_error_store == nullptr && global_error_count == 0);
    fflush(stderr);
    REQUIRE(ReadFile("stderr.txt") == "ERROR: malloc failed!\n");
    return 0;
}

TEST(Error, RoadOfOneFailureFromStringToConsumer)
{
    for (bool debug : {false, true}) {
        ChildResult r = RunChild("ErrorRoad", debug ? ChildEnv{{"NAVL_DEBUG", "1"}} : ChildEnv{});
        ASSERT_EQ(r.exit_code, 0) << r.out;
        EXPECT_EQ(Count(r.log, "Unable to malloc 6 bytes at util:"), 1) << r.log;
        EXPECT_EQ(Count(r.log, "road:7 - Error code 999: malloc failed!"), debug) << r.log;
    }
}

KEEL_CHILD(ErrorShutdown)
{
    long before = AllocShim_Live();
    for (int i = 0; i < 3; ++i) {
        Error *e = Error_New("record %d", i);
        e->hint = String_NewFrom("hint");
        Error_Store(e);
    }
    REQUIRE(global_error_count == 3);
    ErrorStore_Shutdown();
    REQUIRE(global_error_store == nullptr && global_error_count == 0);
    REQUIRE(AllocShim_Live() == before);
    ErrorStore_Init();  // the runtime's own tear-down follows at exit
    return 0;
}

KEEL_CHILD(ErrorStoreFails)
{
    for (long k = 1; k <= 2; ++k) {  // the store's vector, then its block
        long before = AllocShim_Live();
        Error *e = Error_New("lost");
        AllocShim_FailAt(k);
        int32_t ref = Error_Store(e);
        bool injected = AllocShim_Injected();
        AllocShim_Disarm();
        REQUIRE(injected && ref == 0 && global_error_store == nullptr && AllocShim_Live() == before);
    }
    int32_t refs[10];
    for (int32_t &ref : refs)
        ref = Store("kept");
    long before = AllocShim_Live();
    Error *e = Error_New("eleventh");
    AllocShim_FailAt(1);  // the block cannot grow
    int32_t ref = Error_Store(e);
    AllocShim_Disarm();
    REQUIRE(ref == 0 && global_error_count == 10 && AllocShim_Live() == before);
    for (int32_t kept : refs)
        REQUIRE(Take(kept));
    return 0;
}

TEST(Error, ShutdownAndFailedStoresLeakNothing)
{
    ChildResult r = RunChild("ErrorShutdown");
    EXPECT_EQ(r.exit_code, 0) << r.out;
    r = RunChild("ErrorStoreFails");
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(Count(r.log, "Unable to allocate ObjectVector vec"), 2) << r.log;
    EXPECT_EQ(Count(r.log, Assert("global_error_store != NULL")), 2) << r.log;
    EXPECT_EQ(Count(r.log, AssertionMessage("v->data != NULL", "generics", 95)), 1) << r.log;
}

TEST(Error, ThreadsStoreAndTakeOnlyTheirOwnRecords)
{
    const int kThreads = 4, kLive = 16, kRounds = 300;
    auto count = [] {
        Lock_Enter(&global_error_lock);
        uint32_t n = global_error_count;
        Lock_Leave(&global_error_lock);
        return n;
    };
    // Three meetings: leaks are measured while every thread is alive (thread
    // start and exit allocate on some targets), the count while every
    // thread holds its records.
    std::atomic<int> wrong{0}, arrived{0}, released{0};
    auto meet = [&](int at) {
        ++arrived;
        while (released < at)
            std::this_thread::yield();
    };
    auto await = [&](int at) {
        while (arrived < kThreads * at)
            std::this_thread::yield();
    };
    auto work = [&](int t) {
        meet(1);
        int32_t refs[kLive];
        for (int round = 0; round < kRounds; ++round) {
            int code = t * 100000 + round * 100;
            for (int i = 0; i < kLive; ++i)
                refs[i] = Error_Store(Error_NewCoded(code + i, "t"));
            if (round == 0)
                meet(2);
            for (int i = 0; i < kLive; ++i) {
                Error *e = Error_Get(refs[i]);
                wrong += !e || e->code != code + i;
            }
            for (int i = 0; i < kLive; ++i) {  // out of order: empty slots everywhere
                int j = (i * 7) % kLive;
                Error *e = Error_Take(refs[j]);
                wrong += !e || e->code != code + j;
                Error_Destroy(e);
            }
        }
        meet(3);
    };
    uint32_t base = count();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(work, t);
    await(1);
    long before = AllocShim_Live();
    released = 1;
    await(2);
    EXPECT_EQ(count(), base + kThreads * kLive);
    released = 2;
    await(3);
    long after = AllocShim_Live();
    released = 3;
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(count(), base);
    EXPECT_EQ(after, before);
}
