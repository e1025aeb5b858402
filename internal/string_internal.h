// string_internal.h - what the other sources of util/ use of a String's
// inside: its check with repair, and the setting of its array from bytes
// that may hold NULs.
#ifndef KEEL_STRING_INTERNAL_H
#define KEEL_STRING_INTERNAL_H

#include <stddef.h>

#include "util.h"

namespace keel {

// String_Check, then the repair every String operation makes of a broken
// invariant.  False for a null String (reported, nothing to repair).
bool string_checked(String *ps);

// Gives ps an exact-size array with the len bytes at `bytes` (NULs kept,
// length counts them) and a NUL behind: its own array when it holds len
// characters already, else a fresh one.  `bytes` may lie in ps's own array.  `loud` writes String_Set's failure texts ("ERROR: malloc
// failed!" on standard error, the level-0 report).  False when the array
// cannot be allocated: ps is then unset and no record is stored.
bool string_set_bytes(String *ps, const char *bytes, size_t len, bool loud);

// ps takes over `chars`, a malloc'd array of len bytes with a NUL at
// chars[len], as its value; its old array is freed.
void string_adopt(String *ps, char *chars, size_t len);

// Stores the record "malloc failed!" and returns its reference.
int32_t string_malloc_failed(void);

}  // namespace keel

#endif
