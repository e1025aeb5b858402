// Events and threads: auto-reset signals, failed waits on bad handles,
// thread polls, suspension counts, failed starts and joins.  One file for
// both backends: on Windows (Wine) the real Win32 calls, elsewhere the
// POSIX emulation, with the same expected results.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <pthread.h>
#endif

#include "support/alloc_shim.h"
#include "support/child.h"
#include "support/eventually.h"
#include "support/log_capture.h"
#include "thread_control.h"
#include "util.h"

namespace {

struct Stored {
    std::string message;
    int32_t osError;
};

// Takes every record of the store, in slot order.
std::vector<Stored> TakeAll()
{
    std::vector<Stored> taken;
    for (int32_t slot = 0; slot < 64; ++slot) {
        int32_t ref = ERROR_COMPLEX_BIT + slot + 1;
        if (!Error_IsError(ref))
            continue;
        Error *e = Error_Take(ref);
        taken.push_back({e->message->string, e->osError});
        Error_Destroy(e);
    }
    return taken;
}

std::vector<std::string> Messages(const std::vector<Stored> &records)
{
    std::vector<std::string> messages;
    for (const Stored &r : records)
        messages.push_back(r.message);
    return messages;
}

const char kUnexpected[] = "Unexpected return value from WaitForSingleObject in Event_Wait";

// A routine that waits for its event, then returns.
uint32_t KEEL_STDCALL WaitForGate(void *arg)
{
    Event_Wait(static_cast<Event *>(arg), 10000);
    return 0;
}

uint32_t KEEL_STDCALL ReturnAtOnce(void *) { return 7; }

}  // namespace

TEST(Event, WaitTimesOutUntilSetAndOneSetIsUsedUpByOneWait)
{
    Event e;
    Event_Create(&e);
    ASSERT_NE(e.handle, nullptr);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Event_Wait(&e, 0), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(Event_Wait(&e, 30), 0);
    Event_Set(&e);  // before any wait
    EXPECT_EQ(Event_Wait(&e, 0), 1);
    EXPECT_EQ(Event_Wait(&e, 0), 0);  // auto-reset
    Event_Set(&e);
    Event_Set(&e);  // a second set while set adds nothing
    EXPECT_EQ(Event_Wait(&e, 0xFFFFFFFF), 1);
    EXPECT_EQ(Event_Wait(&e, 20), 0);
    Handle_Close(&e);
    EXPECT_EQ(e.handle, nullptr);
    EXPECT_TRUE(TakeAll().empty());
}

TEST(Event, OneSetReleasesExactlyOneOfTwoWaiters)
{
    Event e;
    Event_Create(&e);
    std::atomic<int> released{0};
    std::atomic<int> timed_out{0};
    auto waiter = [&] {
        if (Event_Wait(&e, 10000) == 1)
            released.fetch_add(1);
        else
            timed_out.fetch_add(1);
    };
    std::thread a(waiter);
    std::thread b(waiter);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Event_Set(&e);
    ASSERT_TRUE(Eventually([&] { return released.load() == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(released.load(), 1);
    Event_Set(&e);
    a.join();
    b.join();
    EXPECT_EQ(released.load(), 2);
    EXPECT_EQ(timed_out.load(), 0);
    Handle_Close(&e);
}

// Handle 0, a closed handle, a negative one (on Windows the pseudo handle
// of the process itself, which never becomes signalled): every wait fails
// at once, also without a time limit, and each failure stores one record.
// On Windows the system may give a closed handle's number to a new object
// at once (Wine did, within this test), so the closed row is POSIX's only,
// where the emulation's handles carry a generation.
TEST(Event, ZeroClosedAndNegativeHandlesFailEachCallWithOneRecord)
{
    std::vector<Event> rows = {{nullptr}, {(void *)(intptr_t)-1}};
#if !defined(_WIN32)
    Event closed;
    Event_Create(&closed);
    Event copy = closed;
    Handle_Close(&closed);
    Handle_Close(&closed);  // the field is 0 now: nothing to close twice
    rows.push_back(copy);
#endif
    for (const Event &row : rows) {
        Event e = row;
        SCOPED_TRACE(reinterpret_cast<uintptr_t>(e.handle));
        EXPECT_EQ(Event_Wait(&e, 0), 1);
        EXPECT_EQ(Event_Wait(&e, 0xFFFFFFFF), 1);
        Event_Set(&e);
        std::vector<Stored> records = TakeAll();
        std::vector<std::string> expected = {kUnexpected, kUnexpected, "Could not set event object"};
        EXPECT_EQ(Messages(records), expected);
        for (const Stored &r : records)
            EXPECT_NE(r.osError, 0) << r.message;
    }
}

TEST(Event, NullRecordsAreReportedAndTouchNothing)
{
    LogCapture capture;
    Event_Create(nullptr);
    Event_Set(nullptr);
    EXPECT_EQ(Event_Wait(nullptr, 0xFFFFFFFF), 1);
    Handle_Close(nullptr);
    Thread_Create(nullptr, ReturnAtOnce, nullptr);
    std::vector<std::string> messages = capture.Messages();
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[0].rfind("Assertion failed: event != NULL in file util on line ", 0), 0u);
    EXPECT_EQ(messages[3].rfind("Assertion failed: record != NULL in file util on line ", 0), 0u);
    EXPECT_EQ(messages[4].rfind("Assertion failed: thread != NULL in file util on line ", 0), 0u);
    EXPECT_TRUE(TakeAll().empty());
}

// Each allocation of the creates fails in turn (POSIX: the emulation's
// records; Windows: only the error path allocates): a create either works
// or leaves handle 0 with one stored record, and nothing leaks once the
// records are taken and the thread has ended.
TEST(Event, CreatesUnderFailingAllocationsStoreOneRecordAndLeakNothing)
{
    Event warm;
    Event_Create(&warm);  // the handle table's first slots are made here
    Handle_Close(&warm);
    for (long k = 1; k < 100; ++k) {
        SCOPED_TRACE(k);
        long before = AllocShim_Live();
        AllocShim_FailAt(k);
        Event e;
        Event_Create(&e);
        Thread t = {nullptr, 0};
        Thread_Create(&t, ReturnAtOnce, nullptr);
        bool injected = AllocShim_Injected();
        AllocShim_Disarm();
        bool event_made = e.handle != nullptr;
        bool thread_made = t.handle != nullptr;
        if (event_made)
            Handle_Close(&e);
        if (thread_made)
            Thread_Join(t);
        std::vector<Stored> records = TakeAll();
        EXPECT_LE(records.size(), 1u);
        if (!event_made && !records.empty()) {
            EXPECT_EQ(records[0].message, "Could not create event object");
            EXPECT_EQ(records[0].osError, ENOMEM);
        }
        if (!thread_made && !records.empty()) {
            EXPECT_EQ(records[0].message, "_beginthreadex() call failed");
            EXPECT_EQ(records[0].osError, ENOMEM);
        }
        // The ended thread frees its record on its way out.
        EXPECT_TRUE(Eventually([&] { return AllocShim_Live() == before; }));
        if (!injected)
            break;
    }
}

TEST(Thread, IsFinishedOnlyAfterTheRoutineHasReturned)
{
    Event gate;
    Event_Create(&gate);
    Thread t = {nullptr, 0};
    Thread_Create(&t, WaitForGate, &gate);
    ASSERT_NE(t.handle, nullptr);
    EXPECT_EQ(t.bIsJoinable, 1);
    EXPECT_EQ(Thread_IsFinished(t), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(Thread_IsFinished(t), 0);
    Event_Set(&gate);
    EXPECT_TRUE(Eventually([&] { return Thread_IsFinished(t) == 1; }));
    Thread_Join(t);
    Handle_Close(&gate);

    Thread quick = {nullptr, 0};
    Thread_Create(&quick, ReturnAtOnce, nullptr);
    Thread_Join(quick);
    EXPECT_TRUE(TakeAll().empty());
}

#if !defined(__SANITIZE_THREAD__)  // ThreadSanitizer holds back the suspension signal
namespace {

// A routine that counts until told to stop.
struct Spinner {
    std::atomic<long> loops{0};
    std::atomic<bool> stop{false};
};

uint32_t KEEL_STDCALL Spin(void *arg)
{
    Spinner *s = static_cast<Spinner *>(arg);
    while (!s->stop.load())
        s->loops.fetch_add(1);
    return 0;
}

}  // namespace

TEST(Thread, SuspendedTwiceStaysSuspendedTwiceAndNeverRunsDuringTheQuery)
{
    Spinner s;
    Thread t = {nullptr, 0};
    Thread_Create(&t, Spin, &s);
    ASSERT_TRUE(Eventually([&] { return s.loops.load() > 0; }));
    EXPECT_EQ(Thread_IsSuspended(t), 0);
    long running = s.loops.load();
    EXPECT_TRUE(Eventually([&] { return s.loops.load() > running; })) << "runs on after the query";

    EXPECT_EQ(keel::thread_suspend(t), 0u);
    EXPECT_EQ(keel::thread_suspend(t), 1u);
    long parked = s.loops.load();
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(Thread_IsSuspended(t), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(s.loops.load(), parked) << "ran while suspended";
    EXPECT_EQ(keel::thread_resume(t), 2u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(Thread_IsSuspended(t), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(s.loops.load(), parked) << "ran with a count of 1";
    EXPECT_EQ(keel::thread_resume(t), 1u);
    EXPECT_EQ(keel::thread_resume(t), 0u);
    EXPECT_TRUE(Eventually([&] { return s.loops.load() > parked; }));

    s.stop = true;
    EXPECT_TRUE(Eventually([&] { return Thread_IsFinished(t) == 1; }));
    EXPECT_EQ(Thread_IsSuspended(t), 1);  // an ended thread cannot be asked
    EXPECT_EQ(keel::thread_suspend(t), 0xFFFFFFFFu);
    Thread_Join(t);
    EXPECT_TRUE(TakeAll().empty());
}
#endif

// A null routine: the runtime's thread start refuses it (EINVAL).
TEST(Thread, FailedStartLeavesHandleZeroAndItsJoinStoresUnableToJoin)
{
    Thread t = {(void *)(intptr_t)1, 0};
    Thread_Create(&t, nullptr, nullptr);
    EXPECT_EQ(t.handle, nullptr);
    EXPECT_EQ(t.bIsJoinable, 1);
    Thread_Join(t);
    std::vector<Stored> records = TakeAll();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].message, "_beginthreadex() call failed");
    EXPECT_EQ(records[0].osError, 22);  // EINVAL on both
    EXPECT_EQ(records[1].message, "Unable to join thread");
    EXPECT_NE(records[1].osError, 0);
}

#if !defined(_WIN32)
// The system refuses the thread for real: every new thread's stack is made
// larger than the address space can hold.  (On Windows the default stack
// is fixed by the program's header; the null routine above is the real
// refusal there.)
KEEL_CHILD(ThreadStartRefused)
{
    pthread_attr_t huge;
    pthread_attr_init(&huge);
    size_t size = sizeof(void *) == 8 ? (size_t)1 << 45 : (size_t)0xF0000000u;
    if (pthread_attr_setstacksize(&huge, size) != 0 || pthread_setattr_default_np(&huge) != 0)
        return 2;
    Thread t = {nullptr, 0};
    Thread_Create(&t, ReturnAtOnce, nullptr);
    std::vector<Stored> records = TakeAll();
    std::printf("handle=%d joinable=%d records=%d message=%s os=%d\n", t.handle != nullptr, (int)t.bIsJoinable,
                (int)records.size(), records.empty() ? "" : records[0].message.c_str(),
                records.empty() ? 0 : records[0].osError);
    return 0;
}

TEST(Thread, StartRefusedBySystemLeavesHandleZero)
{
    ChildResult r = RunChild("ThreadStartRefused");
    ASSERT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(r.out, "handle=0 joinable=1 records=1 message=_beginthreadex() call failed os=11\n");  // EAGAIN
}
#endif

TEST(Thread, ZeroedRecordIsReportedThenFailsCleanly)
{
    LogCapture capture;
    Thread zeroed = {nullptr, 0};
    Thread_Join(zeroed);
    EXPECT_EQ(Thread_IsFinished(zeroed), 1);
    EXPECT_EQ(Thread_IsSuspended(zeroed), 1);
    std::vector<std::string> messages = capture.Messages();
    ASSERT_EQ(messages.size(), 3u);
    for (const std::string &m : messages)
        EXPECT_EQ(m.rfind("Assertion failed: thread.bIsJoinable in file util on line ", 0), 0u) << m;
    EXPECT_EQ(Messages(TakeAll()), std::vector<std::string>{"Unable to join thread"});
}
