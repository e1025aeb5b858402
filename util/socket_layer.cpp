// socket_layer.cpp - the socket layer's start-up and tear-down.  Nothing
// to do yet: no part of the layer uses sockets.
#include "socket_layer.h"

namespace keel {

void socket_layer_startup(void) {}
void socket_layer_shutdown(void) {}

}  // namespace keel
