// socket_layer.cpp - the socket layer's start-up and tear-down: the
// platform's socket library (Winsock on Windows; nothing on POSIX) is
// started by the first start-up of the process and closed by the tear-down
// that balances it.  Further start-ups are only counted, so the library is
// started once however often the runtime starts.
//
// The counts are plain: the runtime's start-up and tear-down, which alone
// call these, run one at a time.
#include "socket_layer.h"

#include "platform.h"
#include "util.h"

namespace {

int g_users = 0;         // start-ups not yet balanced by a tear-down
bool g_started = false;  // the platform's library is started now
int g_starts = 0;        // successful starts of the platform's library

}  // namespace

namespace keel {

void socket_layer_startup(void)
{
    if (g_users++ > 0)
        return;
    int error = plat::socket_startup();
    if (error != 0) {
        // The runtime goes on without sockets; the record tells why.
        Error_Store(NetError_New(error, "WSAStartup(1.1)"));
        return;
    }
    g_started = true;
    ++g_starts;
}

void socket_layer_shutdown(void)
{
    if (g_users == 0 || --g_users > 0)
        return;
    if (g_started)
        plat::socket_shutdown();
    g_started = false;
}

int socket_layer_start_count(void) { return g_starts; }

}  // namespace keel
