// runtime.cpp - the layer's start-up and tear-down, counted, and the
// library entry's attach and detach that run them.
//
// Start-up makes the process-wide locks before any report or error can be
// made; tear-down empties the error store first, then closes the log,
// whose lock is the innermost one.  Only the first start-up and the last
// tear-down act.  No Lock exists before the start-up, so the count and the
// state are guarded by a spin gate of their own; the gate is held for the
// whole of a start-up or tear-down, so no caller sees one half done.
//
// The state is read without the gate by every report and store operation:
// kRunning from the moment both locks exist (before the socket layer's
// start-up, which may report and store), kClosed from the moment a
// tear-down begins, so that late callers are dropped before they reach a
// lock that may be deleted.
#include <atomic>
#include <cstdlib>
#include <ctime>

#include "platform.h"
#include "runtime.h"
#include "socket_layer.h"
#include "util.h"

Lock global_module_lock;

namespace {

enum State { kNever, kStarting, kRunning, kClosed };

std::atomic<int> g_state{kNever};
std::atomic<bool> g_gate{false};
std::atomic<int> g_keep_locks{0};
int g_count = 0;              // start-ups not yet torn down; under the gate
bool g_entry_holds = false;   // one of them is the entry's; under the gate

class Gate {
public:
    Gate()
    {
        while (g_gate.exchange(true, std::memory_order_acquire))
            keel::plat::sleep_ms(1);  // rare: only while another thread holds it
    }
    ~Gate() { g_gate.store(false, std::memory_order_release); }
    Gate(const Gate &) = delete;
    Gate &operator=(const Gate &) = delete;
};

// Under the gate.
void start_counted()
{
    if (g_count++ > 0)
        return;
    g_state.store(kStarting);
    ErrorStore_Init();
    Log_Startup();
    g_state.store(kRunning, std::memory_order_release);
    keel::socket_layer_startup();
    std::srand((unsigned)std::time(nullptr));
}

// Under the gate.
void stop_counted()
{
    if (g_count == 0 || --g_count > 0)
        return;
    g_state.store(kClosed);
    keel::socket_layer_shutdown();
    ErrorStore_Shutdown();
    Log_Shutdown();
}

}  // namespace

void Runtime_Startup(void)
{
    Gate gate;
    start_counted();
}

void Runtime_Shutdown(void)
{
    Gate gate;
    stop_counted();
}

namespace keel {

bool runtime_usable(void)
{
    int state = g_state.load(std::memory_order_acquire);
    if (state == kRunning)
        return true;
    if (state == kClosed)
        return false;
    library_attach();  // waits on the gate while another thread starts it
    return g_state.load(std::memory_order_acquire) == kRunning;
}

bool runtime_keeps_locks(void) { return g_keep_locks.load() != 0; }

void library_attach(void)
{
    Gate gate;
    if (g_entry_holds)
        return;  // a report or store made it already
    g_entry_holds = true;
    start_counted();
    Lock_Init(&global_module_lock);
}

void library_detach(bool at_exit)
{
    Gate gate;
    if (!g_entry_holds)
        return;
    g_entry_holds = false;
    if (at_exit)
        g_keep_locks.store(1);
    stop_counted();
    if (!at_exit)
        Lock_Delete(&global_module_lock);
}

}  // namespace keel
