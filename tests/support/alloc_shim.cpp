// The allocator shim: counts every allocation and fails one on demand.
// State lives in plain atomics, not thread-locals: mingw's emulated TLS
// allocates, which would recurse into the wrapper.
#include "support/alloc_shim.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
static uintptr_t self_id() { return (uintptr_t)GetCurrentThreadId(); }
#else
#include <pthread.h>
static uintptr_t self_id() { return (uintptr_t)pthread_self(); }
#endif

extern "C" {
void *__real_malloc(size_t);
void *__real_calloc(size_t, size_t);
void *__real_realloc(void *, size_t);
void __real_free(void *);
}

static std::atomic<long> g_countdown{0};  // 0: disarmed
static std::atomic<uintptr_t> g_thread{0};
static std::atomic<bool> g_injected{false};
static std::atomic<long> g_live{0};
static std::atomic<unsigned char> g_fill{0};

static void *filled(void *p, size_t n)
{
    if (p && g_fill)
        std::memset(p, g_fill, n);
    return p;
}

static bool should_fail()
{
    if (g_countdown.load(std::memory_order_relaxed) <= 0 ||
        g_thread.load(std::memory_order_relaxed) != self_id())
        return false;
    if (g_countdown.fetch_sub(1) == 1) {
        g_injected = true;
        return true;
    }
    return false;
}

void AllocShim_FailAt(long k)
{
    g_injected = false;
    g_thread = self_id();
    g_countdown = k;
}

void AllocShim_Disarm() { g_countdown = 0; }
void AllocShim_Fill(unsigned char fill) { g_fill = fill; }

bool AllocShim_Injected() { return g_injected; }
long AllocShim_Live() { return g_live; }

extern "C" {
void *__wrap_malloc(size_t n)
{
    if (should_fail())
        return nullptr;
    void *p = __real_malloc(n);
    if (p)
        ++g_live;
    return filled(p, n);
}

void *__wrap_calloc(size_t n, size_t size)
{
    if (should_fail())
        return nullptr;
    void *p = __real_calloc(n, size);
    if (p)
        ++g_live;
    return p;
}

void *__wrap_realloc(void *old, size_t n)
{
    if (old && n == 0) {
        --g_live;
        return __real_realloc(old, n);
    }
    if (should_fail())
        return nullptr;
    void *p = __real_realloc(old, n);
    if (p && !old) {
        ++g_live;
        filled(p, n);
    }
    return p;
}

void __wrap_free(void *p)
{
    if (p)
        --g_live;
    __real_free(p);
}
}
