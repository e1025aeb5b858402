// Events and threads against their floors: an Event_Set/Event_Wait round
// trip between two threads beside a bare condition-variable ping-pong,
// Thread_Create + Thread_Join beside pthread_create + pthread_join, and
// Thread_IsSuspended on a running thread.
#include <benchmark/benchmark.h>

#include <pthread.h>

#include <atomic>

#include "util.h"

namespace {

// ------------------------------------------------------------- round trips

struct EventPair {
    Event ping;
    Event pong;
    std::atomic<bool> stop{false};
};

uint32_t EventEcho(void *arg)
{
    EventPair *p = static_cast<EventPair *>(arg);
    for (;;) {
        Event_Wait(&p->ping, 0xFFFFFFFF);
        if (p->stop.load())
            return 0;
        Event_Set(&p->pong);
    }
}

void BM_EventRoundTrip(benchmark::State &state)
{
    EventPair p;
    Event_Create(&p.ping);
    Event_Create(&p.pong);
    Thread echo = {nullptr, 0};
    Thread_Create(&echo, EventEcho, &p);
    for (auto _ : state) {
        Event_Set(&p.ping);
        Event_Wait(&p.pong, 0xFFFFFFFF);
    }
    p.stop = true;
    Event_Set(&p.ping);
    Thread_Join(echo);
    Handle_Close(&p.ping);
    Handle_Close(&p.pong);
}
BENCHMARK(BM_EventRoundTrip)->UseRealTime();

// The floor: the same hand-over with one mutex, one condition variable and
// a flag per direction, as the emulation's events are made.
struct CondFlag {
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t cond = PTHREAD_COND_INITIALIZER;
    bool set = false;

    void Set()
    {
        pthread_mutex_lock(&mutex);
        set = true;
        pthread_cond_signal(&cond);
        pthread_mutex_unlock(&mutex);
    }
    void Wait()
    {
        pthread_mutex_lock(&mutex);
        while (!set)
            pthread_cond_wait(&cond, &mutex);
        set = false;
        pthread_mutex_unlock(&mutex);
    }
};

struct CondPair {
    CondFlag ping;
    CondFlag pong;
    std::atomic<bool> stop{false};
};

void *CondEcho(void *arg)
{
    CondPair *p = static_cast<CondPair *>(arg);
    for (;;) {
        p->ping.Wait();
        if (p->stop.load())
            return nullptr;
        p->pong.Set();
    }
}

void BM_CondVarRoundTrip(benchmark::State &state)
{
    CondPair p;
    pthread_t echo;
    pthread_create(&echo, nullptr, CondEcho, &p);
    for (auto _ : state) {
        p.ping.Set();
        p.pong.Wait();
    }
    p.stop = true;
    p.ping.Set();
    pthread_join(echo, nullptr);
}
BENCHMARK(BM_CondVarRoundTrip)->UseRealTime();

// ---------------------------------------------------------- start and join

uint32_t ReturnAtOnce(void *) { return 0; }
void *ReturnAtOncePosix(void *) { return nullptr; }

void BM_ThreadCreateJoin(benchmark::State &state)
{
    for (auto _ : state) {
        Thread t = {nullptr, 0};
        Thread_Create(&t, ReturnAtOnce, nullptr);
        Thread_Join(t);
    }
}
BENCHMARK(BM_ThreadCreateJoin)->UseRealTime();

void BM_PthreadCreateJoin(benchmark::State &state)
{
    for (auto _ : state) {
        pthread_t t;
        pthread_create(&t, nullptr, ReturnAtOncePosix, nullptr);
        pthread_join(t, nullptr);
    }
}
BENCHMARK(BM_PthreadCreateJoin)->UseRealTime();

// ------------------------------------------------------------ suspension

uint32_t SpinUntilStopped(void *arg)
{
    std::atomic<bool> *stop = static_cast<std::atomic<bool> *>(arg);
    while (!stop->load())
        benchmark::ClobberMemory();
    return 0;
}

void BM_ThreadIsSuspendedRunning(benchmark::State &state)
{
    std::atomic<bool> stop{false};
    Thread t = {nullptr, 0};
    Thread_Create(&t, SpinUntilStopped, &stop);
    for (auto _ : state)
        benchmark::DoNotOptimize(Thread_IsSuspended(t));
    stop = true;
    Thread_Join(t);
}
BENCHMARK(BM_ThreadIsSuspendedRunning)->UseRealTime();

}  // namespace
