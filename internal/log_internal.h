// log_internal.h - what the log tells the rest of the layer (and its tests)
// beyond the public API.
#ifndef KEEL_LOG_INTERNAL_H
#define KEEL_LOG_INTERNAL_H

#include <stdint.h>

namespace keel {

// The number of lines that this process's reports could not append since
// it started, because the log file did not open in 10 attempts (another
// process was writing or trimming it for longer than the pauses, or it
// cannot be opened at all).  Such a line is still echoed in debug mode.
// Read without a lock; a thread that reads it before and after its own
// report learns whether that report's line was dropped, as long as no
// other thread of the process reports meanwhile.
uint32_t log_dropped_lines(void);

}  // namespace keel

#endif
