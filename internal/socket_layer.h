// socket_layer.h - the socket layer's start-up and tear-down, which the
// runtime runs in their fixed places: the start-up after the log's, the
// tear-down before the runtime's own (with the other modules' tear-down).
#ifndef KEEL_SOCKET_LAYER_H
#define KEEL_SOCKET_LAYER_H

namespace keel {

// Starts the platform's socket library (Winsock 1.1 on Windows; POSIX has
// nothing to start) at the first call; later calls only count.  A failure
// stays in the error store as a record of NetError_New; nothing is
// returned, and the caller goes on without sockets.
void socket_layer_startup(void);
// Balances one start-up; the last closes the library when it was started.
// A tear-down without a start-up left to balance does nothing.
void socket_layer_shutdown(void);
// For tests: how often this process has started the platform's socket
// library.
int socket_layer_start_count(void);

}  // namespace keel

#endif
