// The clock and pause wrappers.  The wrapped backend functions are C++
// functions, so their wrappers carry the mangled names:
//   _ZN4keel4plat12monotonic_msEv  keel::plat::monotonic_ms()
//   _ZN4keel4plat8sleep_msEj       keel::plat::sleep_ms(unsigned)
#include "support/clock_shim.h"

#include <atomic>
#include <cstdint>
#include <ctime>
#include <mutex>

extern "C" {
int64_t __real__ZN4keel4plat12monotonic_msEv(void);
void __real__ZN4keel4plat8sleep_msEj(unsigned ms);
#if !defined(_WIN32)
time_t __real_time(time_t *out);
#endif
}

namespace {

std::atomic<long long> g_ahead_ms{0};
std::atomic<long long> g_frozen_ms{-1};  // -1: the clock runs
std::atomic<long> g_wall_back{0};
std::atomic<bool> g_recording{false};
std::mutex g_pauses_lock;
std::string g_pauses;  // under g_pauses_lock

}  // namespace

void ClockShim_Freeze() { g_frozen_ms = __real__ZN4keel4plat12monotonic_msEv(); }
void ClockShim_Advance(long long ms) { g_ahead_ms += ms; }

void ClockShim_SetWallBack(long seconds) { g_wall_back = seconds; }

void ClockShim_RecordPauses()
{
    std::lock_guard<std::mutex> hold(g_pauses_lock);
    g_pauses.clear();
    g_recording = true;
}

std::string ClockShim_Pauses()
{
    std::lock_guard<std::mutex> hold(g_pauses_lock);
    g_recording = false;
    return g_pauses;
}

extern "C" {

int64_t __wrap__ZN4keel4plat12monotonic_msEv(void)
{
    long long frozen = g_frozen_ms.load();
    long long base = frozen >= 0 ? frozen : __real__ZN4keel4plat12monotonic_msEv();
    return base + g_ahead_ms.load();
}

void __wrap__ZN4keel4plat8sleep_msEj(unsigned ms)
{
    if (g_recording) {
        std::lock_guard<std::mutex> hold(g_pauses_lock);
        g_pauses += g_pauses.empty() ? std::to_string(ms) : " " + std::to_string(ms);
    }
    __real__ZN4keel4plat8sleep_msEj(ms);
}

#if !defined(_WIN32)
time_t __wrap_time(time_t *out)
{
    time_t now = __real_time(nullptr) - g_wall_back.load();
    if (out)
        *out = now;
    return now;
}
#endif

}  // extern "C"
