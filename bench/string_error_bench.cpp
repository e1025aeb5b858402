// The error store and strings: a record stored and taken, alone and from two
// threads, against the floor of one allocation and one lock pair; one
// character appended at a time (exact-size buffers) against std::string;
// a short formatted String.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <mutex>
#include <string>

#include "util.h"

// Store and take one premade record.  held:1 keeps another record in the
// store, so the store's vector is not made and destroyed on every round.
static void BM_ErrorStoreTake(benchmark::State &state)
{
    int32_t kept = 0;
    if (state.range(0) && state.thread_index() == 0)
        kept = Error_Store(Error_New("kept"));
    Error *e = Error_New("malloc failed!");
    for (auto _ : state) {
        int32_t ref = Error_Store(e);
        e = Error_Take(ref);
        benchmark::DoNotOptimize(e);
    }
    Error_Destroy(e);
    if (kept)
        Error_Destroy(Error_Take(kept));
}
BENCHMARK(BM_ErrorStoreTake)->ArgName("held")->Arg(0)->Arg(1)->Threads(1)->Threads(2);

// A failure's whole life: made, stored, tested, taken, destroyed.
static void BM_ErrorRoundTrip(benchmark::State &state)
{
    for (auto _ : state) {
        int32_t ref = Error_Store(Error_New("malloc failed!"));
        benchmark::DoNotOptimize(Error_IsError(ref));
        Error_Destroy(Error_Take(ref));
    }
}
BENCHMARK(BM_ErrorRoundTrip)->Threads(1)->Threads(2);

// The floor: one allocation of a record's size, one lock pair, one free.
static void BM_FloorMallocFreeLocked(benchmark::State &state)
{
    static std::mutex mutex;
    for (auto _ : state) {
        void *p = malloc(sizeof(Error));
        benchmark::DoNotOptimize(p);
        mutex.lock();
        mutex.unlock();
        free(p);
    }
}
BENCHMARK(BM_FloorMallocFreeLocked)->Threads(1)->Threads(2);

static void BM_StringAppendChar(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        String *s = String_New();
        for (int i = 0; i < n; ++i)
            String_AppendChar(s, static_cast<char>('a' + i % 26));
        benchmark::DoNotOptimize(s->string);
        String_Destroy(s);
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_StringAppendChar)->Arg(100000)->Unit(benchmark::kMillisecond);

static void BM_StdStringPushBack(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s.push_back(static_cast<char>('a' + i % 26));
        benchmark::DoNotOptimize(s.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_StdStringPushBack)->Arg(100000)->Unit(benchmark::kMillisecond);

static void BM_StringFormatShort(benchmark::State &state)
{
    String *s = String_New();
    for (auto _ : state)
        benchmark::DoNotOptimize(String_Format(s, "%s:%d - code %d", "stream", 12, 999));
    String_Destroy(s);
}
BENCHMARK(BM_StringFormatShort);
