// generics_internal.h - what the container sources share: the assertion
// report of source "generics", the object model's equality, and the making
// of a container's own lock.
//
// The line numbers passed to the checks are the layer's fixed report
// numbers, not lines of these sources; callers name them explicitly.
#ifndef KEEL_GENERICS_INTERNAL_H
#define KEEL_GENERICS_INTERNAL_H

#include "generics.h"
#include "scoped_lock.h"
#include "util.h"

namespace keel {
namespace gen {

// Reports `text` at level 0 when `ok` is false; returns `ok` so that the
// caller can decide whether going on is safe.
inline bool check(bool ok, const char *text, int line)
{
    if (!ok)
        Log_Assert(text, "generics", line);
    return ok;
}

// The byte-wise equality of the object model: the probe class's objectSize
// bytes of both objects.  ftbl is the leading field, so objects of other
// classes differ there; testing it first keeps memcmp from reading past the
// end of a smaller element of another class.
bool same_bytes(const void *probe, const void *element);

// The equality of the object model as containers use it, decided by the
// probe's class: its Equal when it has one, otherwise the bytes.  A null
// probe matches only a null element; a null element never meets a
// non-null probe's Equal (which would read through it).
bool probe_matches(const void *probe, const void *element);

// Gives a container its own lock and sets its flag; 1 on success or when
// it had one already, 0 after the level-0 allocation report (nothing is
// changed then).
int switch_lock_on(int32_t *bIsThreadSafe, Lock **lock);
// Deletes and frees a lock from switch_lock_on (null is ignored).
void free_lock(Lock *lock);

}  // namespace gen
}  // namespace keel

#endif
