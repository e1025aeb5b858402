// runtime.h - the layer's life as the log and the error store see it, and
// the library entry's attach and detach.
//
// The layer is never started, running, or closed (after its last
// tear-down).  The log and the store ask runtime_usable() before they touch
// their locks: before any start-up it runs the entry's attach first (a
// host's static constructor may report before the layer's own has run);
// once closed it says no, and the call is dropped.
#ifndef KEEL_RUNTIME_H
#define KEEL_RUNTIME_H

namespace keel {

// true while the layer runs; starts it as the entry would when it has never
// run; false once it has been torn down.
bool runtime_usable(void);
// true while the tear-down runs at process exit with other threads possibly
// still in the layer: the process-wide locks are then left alive.
bool runtime_keeps_locks(void);

// The entry's attach: the start-up (counted, made at most once for the
// entry, also when a report made it earlier), then global_module_lock.
void library_attach(void);
// The entry's detach: the tear-down of the entry's start-up, then the
// deletion of global_module_lock; at_exit keeps the locks alive.
void library_detach(bool at_exit);

}  // namespace keel

#endif
