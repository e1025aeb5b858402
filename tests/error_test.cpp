// The error store: one failure's road to its consumer, the slots of a
// fresh store, bad references, shutdown, and threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "support/alloc_shim.h"
#include "support/child.h"
#include "support/log_capture.h"
#include "util.h"

namespace {

int32_t StoreText(const char *text) { return Error_Store(Error_New("%s", text)); }

// Takes the record ref names and destroys it; false when there was none.
bool TakeAndDestroy(int32_t ref)
{
    Error *e = Error_Take(ref);
    bool found = e != nullptr;
    Error_Destroy(e);
    return found;
}

}  // namespace

// A String_Set whose allocation fails, passed up by a caller that traces
// it, then taken by the consumer.
KEEL_CHILD(FailedSetToItsConsumer)
{
    CHILD_REQUIRE(std::freopen("stderr.txt", "wb", stderr) != nullptr);
    String *s = String_NewFrom("old");
    AllocShim_FailAt(1);
    int32_t ref = String_Set(s, "hello");
    AllocShim_Disarm();
    CHILD_REQUIRE(!String_IsSet(s));
    CHILD_REQUIRE(ref == 0x40000001);
    CHILD_REQUIRE(Error_IsError(ref) == 1);
    Error_Report(ref, "stream", 12);
    Error *e = Error_Take(ref);
    CHILD_REQUIRE(e->code == 999);
    CHILD_REQUIRE(std::string(e->message->string) == "malloc failed!");
    CHILD_REQUIRE(global_error_store == nullptr);
    Error_Report(ref, "stream", 13);  // spent: nothing
    Error_Destroy(e);
    String_Destroy(s);
    std::fflush(stderr);
    CHILD_REQUIRE(ReadFile("stderr.txt") == "ERROR: malloc failed!\n");
    return 0;
}

TEST(Error, FailedSetReachesItsConsumerTracedAtLevel100Only)
{
    ChildResult debug = RunChild("FailedSetToItsConsumer", {{"NAVL_DEBUG", "1"}});
    ChildResult above = RunChild("FailedSetToItsConsumer", {{"NAVL_LOGGING", "150"}});
    EXPECT_EQ(debug.exit_code, 0) << debug.out;
    EXPECT_EQ(above.exit_code, 0) << above.out;
    EXPECT_EQ(ReportsIn(debug.log), "Unable to malloc 6 bytes / stream:12 - Error code 999: malloc failed!");
    EXPECT_EQ(ReportsIn(above.log), "Unable to malloc 6 bytes");
}

// References in a fresh store count from 0x40000001; a taken slot is used
// again first, the last slot goes, and the store goes when it holds none.
// No reference that names no record takes one.  A record the full store
// cannot take is destroyed; the shutdown destroys every record stored.
TEST(Error, StoreReusesSlotsRefusesBadReferencesAndEndsWithItsRecords)
{
    LogCapture log;
    long live = AllocShim_Live();
    int32_t a = StoreText("a");
    int32_t b = Error_Store(Error_NewCoded(7, "b"));
    EXPECT_EQ(a, 0x40000001);
    EXPECT_EQ(b, 0x40000002);
    EXPECT_EQ(Error_Get(b)->bUserVisible, 1);
    EXPECT_TRUE(TakeAndDestroy(a));
    EXPECT_EQ(Vector_Length(global_error_store), 2);
    EXPECT_EQ(Error_IsError(a), 0);
    EXPECT_EQ(Error_Take(2), nullptr);  // a plain code, though it would name b's slot
    EXPECT_EQ(Error_Take(0x40000000), nullptr);
    EXPECT_EQ(Error_Take(a), nullptr);
    EXPECT_EQ(Error_Get(0x40000003), nullptr);
    EXPECT_EQ(log.NewReports(), "Assertion failed: (ref & ERROR_COMPLEX_BIT) == ERROR_COMPLEX_BIT / "
                                "Assertion failed: Vector_GetAt( global_error_store, index ) != NULL / "
                                "Assertion failed: Vector_GetAt( global_error_store, index ) != NULL / "
                                "Assertion failed: index < Vector_Length( global_error_store ) / "
                                "Assertion failed: Vector_GetAt( global_error_store, index ) != NULL");
    EXPECT_EQ(StoreText("c"), 0x40000001);
    EXPECT_TRUE(TakeAndDestroy(b));
    EXPECT_EQ(Vector_Length(global_error_store), 1);
    EXPECT_TRUE(TakeAndDestroy(0x40000001));
    EXPECT_EQ(global_error_store, nullptr);
    EXPECT_EQ(Error_IsError(0x40000001), 0);
    EXPECT_EQ(Error_Get(0x40000001), nullptr);
    EXPECT_EQ(log.NewReports(), "Assertion failed: global_error_store != NULL");
    for (int i = 0; i < 10; ++i)
        StoreText("fills the store's first block");
    Error *eleventh = Error_New("eleventh");
    AllocShim_FailAt(1);
    EXPECT_EQ(Error_Store(eleventh), 0);
    AllocShim_Disarm();
    EXPECT_EQ(global_error_count, 10u);
    ErrorStore_Shutdown();
    ErrorStore_Init();
    EXPECT_EQ(global_error_store, nullptr);
    EXPECT_EQ(global_error_count, 0u);
    EXPECT_EQ(AllocShim_Live(), live);
}

// Each thread stores records and takes them out of order, so that empty
// slots lie everywhere; every reference must name its own record.
TEST(Error, ThreadsStoringAndTakingAtOnceEachFindTheirOwnRecords)
{
    const int kThreads = 4;
    const int kLive = 16;
    const int kRounds = 300;
    std::atomic<int> wrong{0};
    std::atomic<int> started{0};
    uint32_t base = global_error_count;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&wrong, &started, t] {
            ++started;
            while (started < kThreads)
                std::this_thread::yield();
            for (int round = 0; round < kRounds; ++round) {
                int32_t code = t * 100000 + round * 100;
                int32_t refs[kLive];
                for (int i = 0; i < kLive; ++i)
                    refs[i] = Error_Store(Error_NewCoded(code + i, "t"));
                for (int i = 0; i < kLive; ++i) {
                    int j = i * 7 % kLive;
                    Error *e = Error_Take(refs[j]);
                    if (e == nullptr || e->code != code + j)
                        ++wrong;
                    Error_Destroy(e);
                }
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(global_error_count, base);
}
