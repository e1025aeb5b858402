// The error store: one failure's road, references in a fresh store and not live ones, threads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "support/alloc_shim.h"
#include "support/child.h"
#include "util.h"

// In a child: on failure print where to standard output and exit 1.
#define REQUIRE(cond) do { if (!(cond)) return std::printf("failed at line %d: %s\n", __LINE__, #cond), 1; } while (0)

namespace {

int32_t Store(const char *text) { return Error_Store(Error_New("%s", text)); }
bool Take(int32_t ref) { Error *e = Error_Take(ref); bool found = e != nullptr; Error_Destroy(e); return found; }

int Count(const std::string &log, const std::string &text)  // occurrences in the log
{
    int n = 0;
    for (size_t at = 0; (at = log.find(text, at)) != std::string::npos; ++at)
        ++n;
    return n;
}

}  // namespace

// One process: a failed String_Set to its consumer, slots reused, references not live, shutdown.
KEEL_CHILD(StoreLife)
{
    if (!std::freopen("stderr.txt", "wb", stderr))  // the bytes as the layer writes them
        return 2;
    String *s = String_NewFrom("old");
    AllocShim_FailAt(1);
    int32_t ref = String_Set(s, "hello");
    AllocShim_Disarm();
    REQUIRE(!String_IsSet(s) && s->string == nullptr && ref == 0x40000001 && Error_IsError(ref) == 1);
    for (int32_t passed : {0, 1, ref})  // each caller reports it and passes it up
        Error_Report(passed, "stream", 12);
    Error *e = Error_Take(ref);  // the consumer
    REQUIRE(e && e->code == 999 && std::string(e->message->string) == "malloc failed!");
    Error_Destroy(e), String_Destroy(s);
    Error_Report(ref, "stream", 13);  // spent
    std::fflush(stderr);
    REQUIRE(ReadFile("stderr.txt") == "ERROR: malloc failed!\n");

    REQUIRE(Error_Store(nullptr) == 0 && global_error_store == nullptr && global_error_count == 0);
    REQUIRE(!Error_IsError(0) && !Error_IsError(1) && !Error_IsError(0x40000000) && !Error_IsError(0x40000001));
    REQUIRE(!Error_Get(0x40000001) && !Error_Take(1));  // no store
    int32_t a = Store("a"), b = Store("b");
    REQUIRE(a == 0x40000001 && b == 0x40000002 && Error_IsError(a) && Error_IsError(b));
    REQUIRE(Take(a) && !Error_IsError(a) && !Error_IsError(2) && !Error_IsError(0x40000000));
    // Spent, beyond the store, no slot, a plain code that would name b's slot.
    REQUIRE(!Error_Get(a) && !Error_Take(0x40000003) && !Error_Take(0x40000000) && !Error_Take(2));
    REQUIRE(Vector_Length(global_error_store) == 2 && global_error_count == 1 && Error_IsError(b));
    REQUIRE(Store("c") == 0x40000001);                           // the emptied slot first
    REQUIRE(Take(b) && Vector_Length(global_error_store) == 1);  // the last slot goes
    REQUIRE(Store("d") == 0x40000002 && Take(0x40000001) && Vector_Length(global_error_store) == 2);
    REQUIRE(Take(0x40000002) && global_error_store == nullptr && global_error_count == 0 && !Error_IsError(0x40000002));

    long before = AllocShim_Live();
    for (int i = 0; i < 10; ++i)  // a full store
        Store("full");
    e = Error_New("eleventh");
    e->hint = String_NewFrom("hint");
    AllocShim_FailAt(1);  // the store cannot grow: the record is destroyed
    REQUIRE(Error_Store(e) == 0 && global_error_count == 10);
    AllocShim_Disarm();
    ErrorStore_Shutdown();  // destroys every record still stored
    REQUIRE(global_error_store == nullptr && global_error_count == 0 && AllocShim_Live() == before);
    ErrorStore_Init();  // the runtime's own tear-down follows at exit
    return 0;
}

TEST(Error, StoreLifeFromAFailedSetThroughSlotReuseAndBadReferencesToShutdown)
{
    const std::pair<ChildEnv, int> rows[] = {  // traced only at level 100 exactly
        {{}, 0}, {{{"NAVL_DEBUG", "1"}}, 1}, {{{"NAVL_LOGGING", "100"}}, 1}, {{{"NAVL_LOGGING", "150"}}, 0}};
    const std::pair<const char *, int> asserts[] = {{"(ref & ERROR_COMPLEX_BIT) == ERROR_COMPLEX_BIT in file util", 2},
        {"global_error_store != NULL in file util", 2}, {"index < Vector_Length( global_error_store ) in file util", 1},
        {"Vector_GetAt( global_error_store, index ) != NULL in file util", 3}, {"v->data != NULL in file generics", 1}};
    for (auto &[env, traced] : rows) {
        ChildResult r = RunChild("StoreLife", env);
        ASSERT_EQ(r.exit_code, 0) << r.out;
        EXPECT_EQ(Count(r.log, "Unable to malloc 6 bytes at util:"), 1) << r.log;
        EXPECT_EQ(Count(r.log, "stream:12 - Error code 999: malloc failed!\r\n"), traced) << r.log;
        EXPECT_EQ(Count(r.log, "stream:"), traced) << r.log;
        for (auto &[expr, n] : asserts)
            EXPECT_EQ(Count(r.log, std::string("Assertion failed: ") + expr + " on line "), n) << expr;
        EXPECT_EQ(Count(r.log, "Assertion failed"), 9) << r.log;
    }
}

TEST(Error, ThreadsStoringAndTakingAtOnceEachFindTheirOwnRecords)
{
    const int kThreads = 4, kLive = 16, kRounds = 300, kAll = kThreads + 1;
    // Meetings, the test's thread last: it measures while all live (thread start allocates on some targets).
    std::atomic<int> wrong{0}, arrived{0};
    auto until = [&](int n) { while (arrived < n) std::this_thread::yield(); };
    auto work = [&](int t) {
        ++arrived, until(kAll);
        for (int round = 0; round < kRounds; ++round) {
            int32_t refs[kLive], code = t * 100000 + round * 100;
            for (int i = 0; i < kLive; ++i)
                refs[i] = Error_Store(Error_NewCoded(code + i, "t"));
            if (round == 0)
                ++arrived, until(2 * kAll);
            for (int i = 0, j = 0; i < kLive; j = ++i * 7 % kLive) {  // out of order: empty slots everywhere
                Error *got = Error_Get(refs[j]), *e = Error_Take(refs[j]);
                wrong += !e || e != got || e->code != code + j;
                Error_Destroy(e);
            }
        }
        ++arrived, until(3 * kAll);
    };
    uint32_t base = global_error_count;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(work, t);
    until(kAll - 1);
    long before = AllocShim_Live();
    ++arrived, until(2 * kAll - 1);
    EXPECT_EQ(global_error_count, base + kThreads * kLive);
    ++arrived, until(3 * kAll - 1);
    EXPECT_EQ(AllocShim_Live(), before);
    ++arrived;
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(global_error_count, base);
}
