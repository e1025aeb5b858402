// Events and threads: auto-reset signals, polls, suspension counts, and
// failed calls on handle 0.  One file for both backends, with the same
// expected results: the real Win32 calls (under Wine) and the POSIX ones.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "support/eventually.h"
#include "support/outcome.h"
#include "thread_control.h"
#include "util.h"

namespace {

struct Worker { Event event; std::atomic<long> count{0}; };

uint32_t KEEL_STDCALL WaitAndCount(void *arg)
{
    Worker *w = static_cast<Worker *>(arg);
    if (Event_Wait(&w->event, 10000) == 1)
        w->count.fetch_add(1);
    return 0;
}

// A suspension must leave the thread's errno as it was: else the count stops.
[[maybe_unused]] uint32_t KEEL_STDCALL CountUntilSet(void *arg)  // not under ThreadSanitizer
{
    Worker *w = static_cast<Worker *>(arg);
    while (Event_Wait(&w->event, 0) == 0 && errno == 0)
        w->count.fetch_add(1);
    return 0;
}

}  // namespace

TEST(Event, EachSetReleasesExactlyOneWait)
{
    ReportsAndRecords told;
    Worker w;
    Event_Create(&w.event);
    EXPECT_EQ(Event_Wait(&w.event, 0), 0);
    Event_Set(&w.event);  // before any wait
    Event_Set(&w.event);  // a second set while set adds nothing
    EXPECT_EQ(Event_Wait(&w.event, 0xFFFFFFFF), 1);
    EXPECT_EQ(Event_Wait(&w.event, 30), 0);

    Thread a = {nullptr, 0};
    Thread b = {nullptr, 0};
    Thread_Create(&a, WaitAndCount, &w);
    Thread_Create(&b, WaitAndCount, &w);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(Thread_IsFinished(a), 0);
    Event_Set(&w.event);
    EXPECT_TRUE(Eventually([&] { return Thread_IsFinished(a) + Thread_IsFinished(b) == 1; })) << "one released";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(w.count.load(), 1);
    Event_Set(&w.event);
    Thread_Join(a);  // one of the two is still running: its join waits
    Thread_Join(b);
    EXPECT_EQ(w.count.load(), 2);
#if !defined(_WIN32)  // a closed handle stays closed once its slot holds a new event
    Event reuser;
    Event_Create(&reuser);
    EXPECT_EQ(Thread_IsFinished(a), 1);
    Handle_Close(&reuser);
#endif
    Handle_Close(&w.event);
    EXPECT_EQ(w.event.handle, nullptr);
    EXPECT_EQ(told.Since(), "");
}

// Handle 0 (an event, a refused start, a zeroed thread, which is reported):
// each call fails at once, also unbounded, storing one record with OS error.
// No record at all: reported, nothing read or stored; a wait fails.
TEST(EventAndThread, HandleZeroFailsEachCallWithOneRecordAndNoRecordIsNeverRead)
{
    ReportsAndRecords told;
    Event event = {nullptr};
    EXPECT_EQ(Event_Wait(&event, 0xFFFFFFFF), 1);
    Event_Set(&event);
    Thread failed = {&failed, 0};
    Thread_Create(&failed, nullptr, nullptr);
    EXPECT_EQ(failed.handle, nullptr);
    EXPECT_EQ(failed.bIsJoinable, 1);
    Thread_Join(failed);
    Thread zeroed = {nullptr, 0};
    Thread_Join(zeroed);
    Handle_Close(nullptr);
    EXPECT_EQ(Event_Wait(nullptr, 0xFFFFFFFF), 1);
    Thread_Create(nullptr, WaitAndCount, nullptr);
    EXPECT_EQ(told.Since(), " [999 Unexpected return value from WaitForSingleObject in Event_Wait; OS error]"
                            " [999 Could not set event object; OS error] [999 _beginthreadex() call failed; OS error]"
                            " [999 Unable to join thread; OS error] [999 Unable to join thread; OS error]"
                            " <Assertion failed: thread.bIsJoinable> <Assertion failed: record != NULL>"
                            " <Assertion failed: event != NULL> <Assertion failed: thread != NULL>");
}

#if !defined(__SANITIZE_THREAD__)  // ThreadSanitizer holds back the suspension signal
TEST(Thread, SuspendedTwiceStaysSuspendedTwiceAndNeverRunsDuringTheQuery)
{
    Worker w;
    Event_Create(&w.event);
    Thread t = {nullptr, 0};
    Thread_Create(&t, CountUntilSet, &w);
    EXPECT_EQ(Thread_IsSuspended(t), 0);
    long queried = w.count.load();
    EXPECT_TRUE(Eventually([&] { return w.count.load() > queried; })) << "runs on after the query";

    EXPECT_EQ(keel::thread_suspend(t), 0u);
    long parked = w.count.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(w.count.load(), parked) << "ran after one suspension";
    EXPECT_EQ(keel::thread_suspend(t), 1u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(Thread_IsSuspended(t), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(w.count.load(), parked) << "ran while suspended";
    EXPECT_EQ(keel::thread_resume(t), 2u);
    EXPECT_EQ(keel::thread_resume(t), 1u);
    EXPECT_TRUE(Eventually([&] { return w.count.load() > parked; })) << "runs again once resumed";

    Event_Set(&w.event);
    ASSERT_TRUE(Eventually([&] { return Thread_IsFinished(t) == 1; }));  // the join waits no longer
    EXPECT_EQ(Thread_IsSuspended(t), 1) << "an ended thread cannot be asked";
    EXPECT_EQ(keel::thread_resume(t), 0xFFFFFFFFu);
    Thread_Join(t);
    Handle_Close(&w.event);
}
#endif
