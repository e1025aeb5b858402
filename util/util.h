/*
 * util.h - everything of the layer beside the object model: locks, the log,
 * strings, the error store, and the runtime start-up and tear-down.
 *
 * Public C API: compiles as C99 and as C++.
 */
#ifndef KEEL_UTIL_H
#define KEEL_UTIL_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#include "generics.h"

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <pthread.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ------------------------------------------------------------------ locks */

/* A recursive lock: the holder may enter again, and other threads get in
 * only after it has been left as often as it was entered.  One critical
 * section on Windows, one recursive mutex elsewhere. */
typedef struct Lock {
#if defined(_WIN32)
    CRITICAL_SECTION cs;
#else
    pthread_mutex_t mutex;
#endif
} Lock;

KEEL_API void Lock_Init(Lock *lock);
/* Waits while another thread holds the lock; never fails, no time-out. */
KEEL_API void Lock_Enter(Lock *lock);
KEEL_API void Lock_Leave(Lock *lock);
/* The lock must be free. */
KEEL_API void Lock_Delete(Lock *lock);

/* -------------------------------------------------------------------- log */

/* The current level: -1 until the first report has read the environment.
 * A report of level L is written when L <= global_log_level.  Read it
 * without a lock; only the log writes it. */
KEEL_API extern int global_log_level;
/* Guards the log and its settings; the innermost lock of the layer. */
KEEL_API extern Lock global_log_lock;

/* Writes one line to "navl.log" when the level passes: time stamp (and the
 * thread id at level 100 or more), the formatted message, CR LF.  In debug
 * mode (NAVL_DEBUG) the line is echoed on standard output.  Never fails:
 * always returns 0.  A message longer than the line's 1023 characters is
 * cut; the line still ends with its line end.  A null format writes
 * "(null format)" in its place. */
KEEL_API int Log_Report(int level, const char *format, ...) KEEL_PRINTF(2, 3);
KEEL_API int Log_ReportV(int level, const char *format, va_list args) KEEL_PRINTF(2, 0);
/* Log_ReportV at level 100.  Callers guard it: only when global_log_level
 * is exactly 100 or still -1. */
KEEL_API int Log_Trace(const char *format, ...) KEEL_PRINTF(1, 2);
/* The assertion report: level 0, "Assertion failed: <expr> in file
 * <source> on line <line>\n" (so the file shows an empty line after it). */
KEEL_API void Log_Assert(const char *expr, const char *source, int line);
/* The once-a-minute size check and trim; called by Log_ReportV only. */
KEEL_API void Log_CheckSize(void);
KEEL_API void Log_Startup(void);
KEEL_API void Log_Shutdown(void);

/* ---------------------------------------------------------------- strings */

/* A String holds a NUL-terminated character array, or no value at all:
 * unset (bIsSet 0, string NULL, length 0) is not the empty value "". */
typedef struct String {
    const FunctionTable *ftbl;
    int32_t bIsSet;
    char *string;
    uint32_t length;
} String;

KEEL_API extern const FunctionTable String_Table;

KEEL_API String *String_New(void);
KEEL_API String *String_NewFrom(const char *chars);
KEEL_API String *String_NewFormat(const char *format, ...) KEEL_PRINTF(1, 2);
KEEL_API String *String_Copy(String *s);
KEEL_API void String_Destroy(String *ps);

KEEL_API int32_t String_Set(String *ps, const char *chars);
KEEL_API int32_t String_SetN(String *ps, const char *chars, uint32_t n);
KEEL_API int32_t String_Append(String *ps, const char *chars);
KEEL_API int32_t String_AppendN(String *ps, const char *chars, uint32_t n);
KEEL_API int32_t String_AppendChar(String *ps, char ch);
KEEL_API int32_t String_Format(String *ps, const char *format, ...) KEEL_PRINTF(2, 3);
KEEL_API int32_t String_AppendFormat(String *ps, const char *format, ...) KEEL_PRINTF(2, 3);
KEEL_API void String_Clear(String *ps);

KEEL_API uint32_t String_Length(String *ps);
KEEL_API int32_t String_IsSet(String *ps);
KEEL_API int String_Equal(const void *a, const void *b);
KEEL_API void String_Check(String *ps);

typedef struct StringBag {
    const FunctionTable *ftbl;
    Object *items;
} StringBag;

typedef struct StringBagElem {
    const FunctionTable *ftbl;
    String *text;
    uint32_t value;
} StringBagElem;

KEEL_API extern const FunctionTable StringBag_Table;
KEEL_API extern const FunctionTable StringBagElem_Table;

/* ------------------------------------------------------------ error store */

#define ERROR_COMPLEX_BIT    0x40000000
#define ERROR_INDEX_MASK     0x3FFFFFFF
#define ERROR_CODE_INTERNAL  999
#define ERROR_CODE_NETWORK   998

typedef struct Error {
    const FunctionTable *ftbl;
    String *message;
    String *hint;
    int32_t bUserVisible;
    int32_t code;
    int32_t osError;
} Error;

KEEL_API extern const FunctionTable Error_Table;

KEEL_API extern Vector *global_error_store;
KEEL_API extern uint32_t global_error_count;
KEEL_API extern Lock global_error_lock;

KEEL_API Error *Error_New(const char *format, ...) KEEL_PRINTF(1, 2);
KEEL_API Error *Error_NewCoded(int32_t code, const char *format, ...) KEEL_PRINTF(2, 3);
KEEL_API void Error_Destroy(Error *error);
KEEL_API int32_t Error_Store(Error *error);
KEEL_API int Error_IsError(int32_t ref);
KEEL_API Error *Error_Get(int32_t ref);
KEEL_API Error *Error_Take(int32_t ref);
KEEL_API void Error_Report(int32_t ref, const char *file, int line);
KEEL_API void ErrorStore_Init(void);
KEEL_API void ErrorStore_Shutdown(void);

/* ---------------------------------------------------------------- runtime */

/* Run at library attach and detach; the entry calls them. */
KEEL_API void Runtime_Startup(void);
KEEL_API void Runtime_Shutdown(void);

#ifdef __cplusplus
}
#endif

#endif /* KEEL_UTIL_H */
