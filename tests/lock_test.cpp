// The recursive lock: the holder enters again at once, and another thread
// gets in only once every entry has been left.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "util.h"

TEST(Lock, EnteredTwiceMustBeLeftTwiceBeforeAnotherThreadGetsIn)
{
    Lock lock;
    Lock_Init(&lock);
    Lock_Enter(&lock);
    Lock_Enter(&lock);
    std::atomic<bool> other_in{false};
    std::thread other([&] {
        Lock_Enter(&lock);
        other_in = true;
        Lock_Leave(&lock);
    });
    Lock_Leave(&lock);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(other_in) << "one leave of two let another thread in";
    Lock_Leave(&lock);
    other.join();
    EXPECT_TRUE(other_in);
    Lock_Delete(&lock);
}
