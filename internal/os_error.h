// os_error.h - a failed OS call of the events, threads and optional
// functions becomes a stored error record: the exact message, code 999,
// and the OS error number in osError.  Nobody receives the reference; the
// record stays in the store until it empties or is torn down.
#ifndef KEEL_OS_ERROR_H
#define KEEL_OS_ERROR_H

#include "util.h"

namespace keel {

inline int32_t store_os_error(const char *message, int os_error)
{
    Error *error = Error_New("%s", message);
    if (error)
        error->osError = os_error;
    return Error_Store(error);
}

}  // namespace keel

#endif
