// runtime.cpp - the layer's start-up and tear-down, run at library attach
// and detach.  Start-up makes the process-wide locks before any report or
// error can be made; tear-down empties the error store first, then closes
// the log, whose lock is the innermost one.
#include <cstdlib>
#include <ctime>

#include "socket_layer.h"
#include "util.h"

void Runtime_Startup(void)
{
    ErrorStore_Init();
    Log_Startup();
    keel::socket_layer_startup();
    std::srand((unsigned)std::time(nullptr));
}

void Runtime_Shutdown(void)
{
    keel::socket_layer_shutdown();
    ErrorStore_Shutdown();
    Log_Shutdown();
}
