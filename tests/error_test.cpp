// The error store: its slots, shutdown, and threads storing and taking.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/alloc_shim.h"
#include "support/log_capture.h"
#include "util.h"

// A taken slot is used again first; a count short of the records is set
// right before the store would go; the shutdown destroys every record.
TEST(Error, StoreReusesSlotsRefusesBadReferencesAndEndsWithItsRecords)
{
    LogCapture log;
    long live = AllocShim_Live();
    int32_t a = Error_Store(Error_New("a"));
    int32_t b = Error_Store(Error_NewCoded(7, "b"));
    EXPECT_EQ(b, 0x40000002);
    EXPECT_EQ(Error_Get(b)->bUserVisible, 1);
    global_log_level = 100;  // where a record's report is written
    Error_Report(b, "caller.c", 12);
    global_log_level = 0;
    Error_Destroy(Error_Take(a));
    EXPECT_EQ(Error_Take(2), nullptr);  // a plain code, though it would name b's slot
    EXPECT_EQ(Error_Get(ERROR_COMPLEX_BIT + 50), nullptr);  // past the store's end
    EXPECT_EQ(Error_Store(Error_New("c")), a);
    global_error_count = 1;
    Error_Destroy(Error_Take(b));
    EXPECT_EQ(Error_Get(b), nullptr);  // the last slot went with it
    EXPECT_NE(Error_Get(a), nullptr);
    Error_Destroy(Error_Take(a));
    EXPECT_EQ(global_error_store, nullptr);
    EXPECT_EQ(log.NewReports(), "caller.c:12 - Error code 7: b / "
                                "Assertion failed: (ref & ERROR_COMPLEX_BIT) == ERROR_COMPLEX_BIT / "
                                "Assertion failed: index < Vector_Length( global_error_store ) / "
                                "Assertion failed: Vector_GetAt( global_error_store, index ) != NULL / "
                                "Assertion failed: index < Vector_Length( global_error_store ) / "
                                "Assertion failed: Vector_GetAt( global_error_store, index ) != NULL");
    for (int i = 0; i < 10; ++i)
        Error_Store(Error_New("fills the store's first block"));
    ErrorStore_Shutdown();
    ErrorStore_Init();
    EXPECT_EQ(global_error_count, 0u);
    EXPECT_EQ(AllocShim_Live(), live);
}

// Taken out of order, empty slots lie everywhere: each ref names its own.
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
