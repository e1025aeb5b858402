/*
 * check.h - internal helpers of util/: the assertion report of a broken
 * precondition, and formatting into the layer's 1024-byte working buffer.
 *
 * An assertion report never stops the caller: check() returns whether the
 * condition held, so the caller can choose a safe way on.
 */
#ifndef KEEL_UTIL_CHECK_H
#define KEEL_UTIL_CHECK_H

#include <stdarg.h>
#include <stdio.h>

#include "util.h"

namespace keel {

/* Writes the level-0 assertion report for `expr` (source name "util") when
 * `ok` is false.  Returns ok. */
inline bool check(bool ok, const char *expr, int line)
{
    if (!ok)
        Log_Assert(expr, "util", line);
    return ok;
}

/* The working buffer of formatted texts: at most 1023 characters. */
enum { FORMAT_BUFFER_SIZE = 1024 };

/* Formats into buf; a text longer than 1023 characters is cut there.
 * Returns false, with buf holding "", when the format cannot be applied
 * (an encoding error). */
bool format_cut(char (&buf)[FORMAT_BUFFER_SIZE], const char *format, va_list args)
    KEEL_PRINTF(2, 0);

inline bool format_cut(char (&buf)[FORMAT_BUFFER_SIZE], const char *format, va_list args)
{
    int n = vsnprintf(buf, sizeof buf, format, args);
    if (n < 0) {
        buf[0] = '\0';
        return false;
    }
    return true;
}

}  // namespace keel

/* The condition's own text is the report's expression. */
#define KEEL_CHECK(cond) ::keel::check((cond), #cond, __LINE__)

#endif /* KEEL_UTIL_CHECK_H */
