// Test-only clocks.  The test program is linked with --wrap for the
// backend's keel::plat::monotonic_ms and keel::plat::sleep_ms, and on POSIX
// for the C library's time(), so a test can move the clocks the layer reads
// and see the pauses it takes; production code is untouched.  Without a
// call below every wrapper passes straight through.
#pragma once

#include <string>

// The monotonic clock stands still from now on, moved only by Advance.
void ClockShim_Freeze();
// The monotonic clock jumps ahead by ms (and stays ahead).
void ClockShim_Advance(long long ms);
// time() runs this many seconds behind the real wall clock.  POSIX only:
// mingw's time() is an inline call into the system runtime, which the
// linker cannot wrap; there the call does nothing.
void ClockShim_SetWallBack(long seconds);
// From now on each pause the layer takes is recorded.
void ClockShim_RecordPauses();
// The pauses recorded since, in milliseconds, separated by spaces ("0 0
// 1"); the recording stops.
std::string ClockShim_Pauses();
