// socket_layer.h - the socket layer's start-up and tear-down, which the
// runtime runs in their fixed places: the start-up after the log's, the
// tear-down before the runtime's own (with the other modules' tear-down).
#ifndef KEEL_SOCKET_LAYER_H
#define KEEL_SOCKET_LAYER_H

namespace keel {

// Starts the platform's socket library once per process.  A failure stays
// in the error store as a network error record; nothing is returned.
void socket_layer_startup(void);
// Undoes a successful start-up.
void socket_layer_shutdown(void);

}  // namespace keel

#endif
