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

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------- version */

/* The running library's version, "MAJOR.MINOR.PATCH": a static string,
 * never NULL, never to be freed.  KEEL_VERSION_STRING (keel_version.h) is
 * the version of the headers the caller was compiled with. */
KEEL_API const char *Keel_Version(void);

/* ------------------------------------------------------------------ locks */

/* A recursive lock: the holder may enter again, and other threads get in
 * only after it has been left as often as it was entered.  One critical
 * section on Windows, one recursive mutex elsewhere, held in storage of
 * its size and alignment so that this header needs no system header (the
 * backend checks the size when it is compiled).  Never touch the bytes. */
#define KEEL_LOCK_SIZE (sizeof(void *) == 8 ? 40 : 24)
typedef struct Lock {
    union {
        void *align_pointer;
        unsigned char bytes[KEEL_LOCK_SIZE];
    } opaque;
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
 * unset (bIsSet 0, string NULL, length 0) is not the empty value "" (set,
 * length 0).  The String owns its array, always exactly length + 1 bytes;
 * callers read `string` and `length` but never free `string` or keep it past
 * the next change.  Strings take no lock: one thread uses a String at a time.
 *
 * Rules common to the operations below:
 * - Each first checks its String (String_Check).  A broken invariant is
 *   reported and repaired, then the operation goes on: a set String without
 *   an array becomes unset; an unset String's stray array pointer is dropped
 *   unfreed (nothing says the String owns it).  A null String is reported
 *   ("ps != NULL") and nothing is done: changes return an error reference
 *   (a stored record "<operation>: ps is NULL"), queries 0, creators NULL.
 * - A null `chars` or `format` is reported ("chars != NULL", "format !=
 *   NULL"); the String stays as it was and the reference of a stored record
 *   "<operation>: chars is NULL" (or format) is returned.
 * - Changes return an error reference, 0 on success.  When the characters
 *   cannot be allocated the String becomes unset (the old characters are
 *   freed: the old value is lost) and the reference of a stored record
 *   "malloc failed!" (code 999) is returned; if even that record cannot be
 *   allocated the result is 0 (see Error_Store), so test String_IsSet where
 *   it matters.  Only String_Set and what allocates through it also write
 *   "ERROR: malloc failed!\n" on standard error and the level-0 report
 *   "Unable to malloc <len+1> bytes at util:<line>".
 * - `chars` may point into the String's own array.
 * - Formatted texts are formatted into a 1024-byte buffer and cut at 1023
 *   characters; nothing is written past it. */
typedef struct String {
    const FunctionTable *ftbl;
    int32_t bIsSet;
    char *string;
    uint32_t length;
} String;

/* "String": Destroy String_Destroy, Equal String_Equal, no Compare. */
KEEL_API extern const FunctionTable String_Table;

/* A new unset String; NULL after the level-0 report "Unable to allocate
 * String ps". */
KEEL_API String *String_New(void);
/* A new String holding a copy of chars.  NULL when the record cannot be
 * allocated, or for a null chars (reported).  When only the characters
 * cannot be allocated, the String is returned unset after String_Set's
 * standard-error line and report; no error record is kept, as no reference
 * would reach the caller. */
KEEL_API String *String_NewFrom(const char *chars);
/* As String_NewFrom, with the formatted text (cut at 1023 characters).
 * NULL, without a report, for a null format. */
KEEL_API String *String_NewFormat(const char *format, ...) KEEL_PRINTF(1, 2);
/* A new String with s's value, made as String_NewFrom makes it; unset when
 * s is unset.  NULL for a null s (reported) or when the record cannot be
 * allocated.  The copy ends at the first NUL. */
KEEL_API String *String_Copy(String *s);
/* Frees the characters and the record; the class's Destroy. */
KEEL_API void String_Destroy(String *ps);

/* The String holds a copy of chars. */
KEEL_API int32_t String_Set(String *ps, const char *chars);
/* The String holds the characters of chars before its first NUL, at most n
 * of them (n 0 gives the empty value); chars need not be NUL-terminated when
 * it holds n characters.  A failure writes no standard-error line and no
 * report. */
KEEL_API int32_t String_SetN(String *ps, const char *chars, uint32_t n);
/* Appends chars; on an unset String this is String_Set, failure texts
 * included.  One exact-size re-allocation per call. */
KEEL_API int32_t String_Append(String *ps, const char *chars);
/* Appends the characters of chars before its first NUL, at most n of them;
 * on an unset String this is String_SetN. */
KEEL_API int32_t String_AppendN(String *ps, const char *chars, uint32_t n);
/* Appends ch (an unset String then holds ch alone); one re-allocation per
 * character.  A NUL counts in length, but comparisons and copies stop at
 * it. */
KEEL_API int32_t String_AppendChar(String *ps, char ch);
/* The String holds the formatted text, cut at 1023 characters.  The
 * arguments may read the String's own characters.  A format that the
 * runtime cannot apply leaves the String as it was and returns the
 * reference of a stored record. */
KEEL_API int32_t String_Format(String *ps, const char *format, ...) KEEL_PRINTF(2, 3);
/* Appends the formatted text, cut at 1023 characters.  The text is made in
 * a temporary String with String_Set's failure texts; when the temporary
 * cannot be made the String becomes unset, as after any failed change. */
KEEL_API int32_t String_AppendFormat(String *ps, const char *format, ...) KEEL_PRINTF(2, 3);
/* The String becomes unset; its characters are freed. */
KEEL_API void String_Clear(String *ps);

/* length when set, 0 when unset. */
KEEL_API uint32_t String_Length(String *ps);
/* bIsSet: nonzero when set, 0 when unset. */
KEEL_API int32_t String_IsSet(String *ps);
/* 1 when both hold a value and their characters up to the NUL are equal
 * byte for byte, else 0: two unset Strings are not equal, nor are unset and
 * "", nor "B" and "b".  The class's Equal: an element of another class is
 * never equal and is not read as a String. */
KEEL_API int String_Equal(const void *a, const void *b);
/* Reports broken invariants at level 0 and changes nothing: "ps != NULL",
 * "ps->string != NULL" (set without characters), "ps->string == NULL"
 * (unset with characters). */
KEEL_API void String_Check(String *ps);

/* A bag owns one object of any class in `items` (or none), destroyed
 * through that object's own table.  No operation of the layer makes or
 * fills a bag. */
typedef struct StringBag {
    const FunctionTable *ftbl;
    Object *items;
} StringBag;

/* `text` is owned (may be NULL); `value` is neither read nor freed here. */
typedef struct StringBagElem {
    const FunctionTable *ftbl;
    String *text;
    uint32_t value;
} StringBagElem;

/* "StringBag": Destroy only. */
KEEL_API extern const FunctionTable StringBag_Table;
/* "StringBagElem": Destroy, and a Compare (qsort convention, slots holding
 * element pointers) that orders by text ignoring the case of A-Z, bytes
 * taken unsigned; an element without text, or with an unset one, sorts
 * first. */
KEEL_API extern const FunctionTable StringBagElem_Table;

/* ------------------------------------------------- memory blocks and text */

/* ---------------------------------------------------------------- streams */

/* ------------------------------------------------------------------ dates */

/* ------------------------------------------------------- code/name pairs */

/* ------------------------------------------------------------ error store */

/* Error references: 0 is success; a nonzero value with bit 30 clear is a
 * plain status code of the operation that returns it; a value with bit 30
 * set names the record in slot (ref & ERROR_INDEX_MASK) - 1 of the store.
 * A failing operation returns Error_Store(Error_New(...)); each caller tests
 * Error_IsError, may Error_Report the reference, and passes it up; the
 * consumer takes the record with Error_Take, reads it and ends it with
 * Error_Destroy.  A reference is live from its Error_Store to its Error_Take
 * (or shutdown) and belongs to the thread that received it; after the take
 * the same number may name a later record.
 *
 * The store operations hold global_error_lock; lock order: the caller's
 * locks, then global_error_lock, then the log's.  Records are made and
 * destroyed outside the lock. */
#define ERROR_COMPLEX_BIT    0x40000000
#define ERROR_INDEX_MASK     0x3FFFFFFF
#define ERROR_CODE_INTERNAL  999
#define ERROR_CODE_NETWORK   998

typedef struct Error {
    const FunctionTable *ftbl;
    String *message;      /* owned, at most 1023 characters; NULL or unset
                             when it could not be allocated */
    String *hint;         /* owned short text, or NULL */
    int32_t bUserVisible; /* 1 from Error_NewCoded, 0 from Error_New */
    int32_t code;
    int32_t osError;
} Error;

/* "Error": Destroy Error_Destroy, no Equal, no Compare. */
KEEL_API extern const FunctionTable Error_Table;

/* The store: an owning vector, present exactly while it holds a record;
 * the count of its non-empty slots.  Both only under global_error_lock. */
KEEL_API extern Vector *global_error_store;
KEEL_API extern uint32_t global_error_count;
KEEL_API extern Lock global_error_lock;

/* A new record, owned by the caller: message the formatted text (cut at
 * 1023 characters; "(null format)" for a null format), code 999,
 * bUserVisible 0, hint NULL, osError 0.  NULL after the level-0 report
 * "Unable to allocate Error error" when the record cannot be allocated;
 * when only its message cannot, the record comes without one. */
KEEL_API Error *Error_New(const char *format, ...) KEEL_PRINTF(1, 2);
/* As Error_New, with the given code and bUserVisible 1. */
KEEL_API Error *Error_NewCoded(int32_t code, const char *format, ...) KEEL_PRINTF(2, 3);
/* Destroys message and hint when present, then frees the record.  NULL is
 * ignored, so Error_Destroy(Error_Take(ref)) is always safe. */
KEEL_API void Error_Destroy(Error *error);
/* Puts the record in the lowest empty slot (the store grows only when none
 * is empty) and returns its reference; the store owns the record from now
 * on.  NULL gives 0 at once: a caller storing a record that could not be
 * allocated reads success, and the allocation report is the only trace.
 * When the store cannot be created (assertion "global_error_store != NULL")
 * or grown (the vector's report), the record is destroyed and 0 returned. */
KEEL_API int32_t Error_Store(Error *error);
/* 1 when ref names a live record, else 0: for 0, plain codes,
 * ERROR_COMPLEX_BIT alone, spent references, and any reference while the
 * store is absent.  No report. */
KEEL_API int Error_IsError(int32_t ref);
/* The live record ref names; the store keeps it.  A reference that is not
 * live is reported (an assertion for each failing condition of
 * "(ref & ERROR_COMPLEX_BIT) == ERROR_COMPLEX_BIT", "global_error_store !=
 * NULL", "index < Vector_Length( global_error_store )", "Vector_GetAt(
 * global_error_store, index ) != NULL") and gives NULL; nothing changes. */
KEEL_API Error *Error_Get(int32_t ref);
/* The live record ref names, now owned by the caller; the reference is
 * spent.  The emptied slot is removed when it is the last one; the store is
 * destroyed when its last record is taken.  A reference that is not live:
 * reported as by Error_Get, NULL, the store unchanged. */
KEEL_API Error *Error_Take(int32_t ref);
/* For a live reference, when global_log_level is 100 or still -1, traces
 * "<file>:<line> - Error code <code>: <message>" through Log_Trace
 * ("(no message)" for a record without one).  Otherwise nothing.  The
 * record stays live. */
KEEL_API void Error_Report(int32_t ref, const char *file, int line);
/* Initialises global_error_lock; Runtime_Startup runs it first. */
KEEL_API void ErrorStore_Init(void);
/* Destroys the store with every record still in it and deletes
 * global_error_lock without entering it.  No store operation may run
 * during or after it. */
KEEL_API void ErrorStore_Shutdown(void);

/* --------------------------------------------------------- network errors */

/* ---------------------------------------------------------------- runtime */

/* Run at library attach and detach; the entry calls them. */
KEEL_API void Runtime_Startup(void);
KEEL_API void Runtime_Shutdown(void);

/* ----------------------------------------------------- events and threads */

/* ------------------------------------ optional system functions, OS version */

#ifdef __cplusplus
}
#endif

#endif /* KEEL_UTIL_H */
