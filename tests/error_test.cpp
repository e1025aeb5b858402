// The error store: its references and slots, bad references, shutdown, and
// threads storing and taking at once.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/alloc_shim.h"
#include "support/log_capture.h"
#include "util.h"

// References count from 0x40000001; a taken slot is used again first, and
// the store goes when it holds none.  No reference that names no record
// takes one.  A record the full store cannot take is destroyed; the
// shutdown destroys every record stored.
TEST(Error, StoreReusesSlotsRefusesBadReferencesAndEndsWithItsRecords)
{
    LogCapture log;
    long live = AllocShim_Live();
    int32_t a = Error_Store(Error_New("a"));
    int32_t b = Error_Store(Error_NewCoded(7, "b"));
    EXPECT_EQ(a, 0x40000001);
    EXPECT_EQ(b, 0x40000002);
    EXPECT_EQ(Error_Get(b)->bUserVisible, 1);
    Error_Destroy(Error_Take(a));
    EXPECT_EQ(Vector_Length(global_error_store), 2);
    EXPECT_EQ(Error_IsError(a), 0);
    EXPECT_EQ(Error_Take(2), nullptr);  // a plain code, though it would name b's slot
    EXPECT_EQ(Error_Take(a), nullptr);
    EXPECT_EQ(Error_Get(0x40000003), nullptr);
    EXPECT_EQ(log.NewReports(), "Assertion failed: (ref & ERROR_COMPLEX_BIT) == ERROR_COMPLEX_BIT / "
                                "Assertion failed: Vector_GetAt( global_error_store, index ) != NULL / "
                                "Assertion failed: index < Vector_Length( global_error_store ) / "
                                "Assertion failed: Vector_GetAt( global_error_store, index ) != NULL");
    EXPECT_EQ(Error_Store(Error_New("c")), 0x40000001);
    EXPECT_EQ(global_error_count, 2u);
    global_error_count = 1;  // a count short of a full store is set right when storing
    int32_t d = Error_Store(Error_New("d"));
    EXPECT_EQ(global_error_count, 3u);
    EXPECT_EQ(log.NewReports(), "Assertion failed: i != -1");
    Error_Destroy(Error_Take(d));
    global_error_count = 1;  // and when taking, before the store would go
    Error_Destroy(Error_Take(b));
    EXPECT_NE(Error_Get(0x40000001), nullptr);
    Error_Destroy(Error_Take(0x40000001));
    EXPECT_EQ(global_error_store, nullptr);
    EXPECT_EQ(Error_Get(0x40000001), nullptr);
    EXPECT_EQ(log.NewReports(), "Assertion failed: global_error_store != NULL");
    for (int i = 0; i < 10; ++i)
        Error_Store(Error_New("fills the store's first block"));
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
    std::atomic<int> wrong{0};
    std::atomic<int> started{0};
    uint32_t before = global_error_count;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&wrong, &started, t] {
            ++started;
            while (started < 4)
                std::this_thread::yield();
            for (int round = 0; round < 300; ++round) {
                int32_t refs[16];
                for (int i = 0; i < 16; ++i)
                    refs[i] = Error_Store(Error_NewCoded(t * 100 + i, "t"));
                for (int i = 0; i < 16; ++i) {
                    Error *e = Error_Take(refs[i * 7 % 16]);
                    if (e == nullptr || e->code != t * 100 + i * 7 % 16)
                        ++wrong;
                    Error_Destroy(e);
                }
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(global_error_count, before);
}
