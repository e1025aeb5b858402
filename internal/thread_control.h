// thread_control.h - suspend and resume of a thread started by
// Thread_Create.  Not part of the C API: the layer's Thread_IsSuspended and
// the tests use them.
#ifndef KEEL_THREAD_CONTROL_H
#define KEEL_THREAD_CONTROL_H

#include <stdint.h>

#include "util.h"

namespace keel {

// Each returns the suspend count the thread had before the call, or
// 0xFFFFFFFF when the call failed (handle 0 or closed, the routine has
// returned, the count at its limit of 127).  While its count is above 0 the
// thread runs no code of its own.  Nothing is stored or reported.
uint32_t thread_suspend(Thread thread);
uint32_t thread_resume(Thread thread);

}  // namespace keel

#endif
