// The containers beside std::vector: element reads, appends, and map
// lookups.  The pairs run in one binary so their ratios can be read off one
// run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "generics.h"

namespace {

const int64_t kReadCount = 1000000;

Vector *FilledVector(int64_t n)
{
    Vector *v = Vector_New();
    for (int64_t i = 0; i < n; ++i)
        Vector_Append(v, reinterpret_cast<void *>(static_cast<intptr_t>(i)));
    return v;
}

// Sums the elements as a module's loop does, the length read each time.
void SumEveryElement(benchmark::State &state, Vector *v)
{
    for (auto _ : state) {
        intptr_t sum = 0;
        for (int32_t i = 0; i < Vector_Length(v); ++i)
            sum += reinterpret_cast<intptr_t>(Vector_GetAt(v, i));
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kReadCount);
}

void BM_VectorGetAtSum(benchmark::State &state)
{
    Vector *v = FilledVector(kReadCount);
    SumEveryElement(state, v);
    Vector_Destroy(v);
}
BENCHMARK(BM_VectorGetAtSum);

// The same with the length read once, as a loop that does not change the
// vector may do.
void BM_VectorGetAtSumLengthOnce(benchmark::State &state)
{
    Vector *v = FilledVector(kReadCount);
    for (auto _ : state) {
        intptr_t sum = 0;
        int32_t n = Vector_Length(v);
        for (int32_t i = 0; i < n; ++i)
            sum += reinterpret_cast<intptr_t>(Vector_GetAt(v, i));
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kReadCount);
    Vector_Destroy(v);
}
BENCHMARK(BM_VectorGetAtSumLengthOnce);

void BM_StdVectorIndexSum(benchmark::State &state)
{
    std::vector<void *> v;
    for (int64_t i = 0; i < kReadCount; ++i)
        v.push_back(reinterpret_cast<void *>(static_cast<intptr_t>(i)));
    for (auto _ : state) {
        intptr_t sum = 0;
        for (size_t i = 0; i < v.size(); ++i)
            sum += reinterpret_cast<intptr_t>(v[i]);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kReadCount);
}
BENCHMARK(BM_StdVectorIndexSum);

void BM_ThreadSafeVectorGetAtSum(benchmark::State &state)
{
    Vector *v = FilledVector(kReadCount);
    Vector_MakeThreadSafe(v);
    SumEveryElement(state, v);
    Vector_Destroy(v);
}
BENCHMARK(BM_ThreadSafeVectorGetAtSum);

void BM_VectorAppend(benchmark::State &state)
{
    for (auto _ : state) {
        Vector *v = Vector_New();
        for (int64_t i = 0; i < state.range(0); ++i)
            Vector_Append(v, &state);
        benchmark::DoNotOptimize(v->data);
        Vector_Destroy(v);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_VectorAppend)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

void BM_StdVectorPushBack(benchmark::State &state)
{
    for (auto _ : state) {
        std::vector<void *> v;
        for (int64_t i = 0; i < state.range(0); ++i)
            v.push_back(&state);
        benchmark::DoNotOptimize(v.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_StdVectorPushBack)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

// Keys are HandleObjects, compared through their Equal; every key is
// looked up in turn, so the average scan is half the map.
void BM_MapGet(benchmark::State &state)
{
    const int64_t n = state.range(0);
    Map *map = Map_New(0);
    std::vector<HandleObject> keys(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
        keys[i] = {&HandleObject_Table, reinterpret_cast<void *>(static_cast<intptr_t>(i))};
        Map_Put(map, &keys[i], &keys[i]);
    }
    int64_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Map_Get(map, &keys[next]));
        if (++next == n)
            next = 0;
    }
    Map_Destroy(map);
}
BENCHMARK(BM_MapGet)->Arg(10)->Arg(100)->Arg(1000);

}  // namespace
