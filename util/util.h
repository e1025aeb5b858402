/*
 * util.h - everything of the layer beside the object model: locks, the log,
 * strings, the error store, the runtime start-up and tear-down, events and
 * threads, the optional system functions and the OS version.
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
/* Initialises global_log_lock and opens the log; Runtime_Startup runs it. */
KEEL_API void Log_Startup(void);
/* Closes the log (later reports are dropped), waits until every report
 * already under way has ended, enters and leaves global_log_lock, and
 * deletes it, except at process exit (see Runtime_Shutdown). */
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
/* Initialises global_error_lock and opens the store; Runtime_Startup runs
 * it first. */
KEEL_API void ErrorStore_Init(void);
/* Destroys the store with every record still in it, under
 * global_error_lock, and leaves it closed: until the next ErrorStore_Init
 * every store operation is dropped (Error_Store destroys the record and
 * returns 0; queries give 0 or NULL, without a report).  Then deletes the
 * lock, except at process exit (see Runtime_Shutdown). */
KEEL_API void ErrorStore_Shutdown(void);

/* --------------------------------------------------------- network errors */

/* ---------------------------------------------------------------- runtime */

/* The layer's start-up and tear-down, counted.  The library entry runs them
 * at attach and detach (load and unload of the DLL or shared library, start
 * and end of a program linked with the static library), and any caller may
 * run them too: only the first start-up acts (ErrorStore_Init, Log_Startup,
 * the socket layer's start-up, srand of the time), and only the tear-down
 * that matches it (the socket layer's tear-down, ErrorStore_Shutdown,
 * Log_Shutdown); the others only count.  A tear-down without a start-up
 * does nothing.
 *
 * A report or a store operation made before any start-up (a host's static
 * constructor that runs before the layer's own, in a program linked with
 * the static library) runs the entry's attach first, once.  After the last
 * tear-down, reports and store operations are dropped: a stored record is
 * destroyed and 0 returned, queries give 0 or NULL.  An explicit
 * Runtime_Startup after that starts the layer again.
 *
 * At process exit (POSIX, and a Windows program linked with the static
 * library) the detach runs while other threads may still use the layer:
 * the store is then destroyed under its lock and stays closed, the log
 * waits for the reports already under way, and the process-wide locks are
 * left alive, so those threads' later calls are dropped safely.  An unload
 * of the library (no threads in it, as its host must ensure) and a Windows
 * DLL's detach tear down completely, deleting the locks. */
KEEL_API void Runtime_Startup(void);
KEEL_API void Runtime_Shutdown(void);

/* The process-wide lock of the library's other modules (those written on
 * this layer): they guard their own process-wide state with it.  The layer
 * never takes it.  The entry initialises it after the start-up and deletes
 * it after the tear-down (left alive at process exit, as above).  Lock
 * order: a module takes it before any lock of the layer. */
KEEL_API extern Lock global_module_lock;

/* ----------------------------------------------------- events and threads */

/* The calling convention of thread procedures (the start routine). */
#if defined(_WIN32)
#  define KEEL_STDCALL __stdcall
#else
#  define KEEL_STDCALL
#endif

/* An auto-reset event: one Event_Set releases one Event_Wait and is used up
 * by it.  handle is the OS handle (0 when the creation failed); the record
 * is embedded in its owner and lives from Event_Create to Handle_Close.
 * On POSIX a handle is a number that the layer looks up in a table of live
 * events and threads (a mutex, a condition variable and a flag for an
 * event), never an address: a handle of 0, a closed one or any other
 * number is refused by every operation, and nothing is read through it. */
typedef struct Event {
    void *handle;
} Event;

/* A joinable thread.  handle: the thread's OS handle, 0 when the start
 * failed; bIsJoinable: 1 once Thread_Create was tried on the record, 0 in a
 * zeroed record.  Join a record at most once; after the join neither the
 * record nor its handle may be used again. */
typedef struct Thread {
    void *handle;
    int32_t bIsJoinable;
} Thread;

/* A start routine: takes Thread_Create's argument, returns an exit code
 * (which nothing reads). */
typedef uint32_t (KEEL_STDCALL *ThreadRoutine)(void *arg);

/* None of these returns a failure: a failed OS call becomes a stored error
 * record (code 999, osError the OS error number: GetLastError on Windows,
 * the errno value elsewhere) whose reference nobody receives; it stays in
 * the store until the store empties or is torn down.  A null record
 * address is reported (an assertion, source util) and nothing is done.
 *
 * Handle_Close closes the handle in the first field of the record (an
 * Event) and sets that field to 0, so that a second close or a later wait
 * fails cleanly instead of reaching whatever object a reused handle number
 * names.  Closing a thread's handle does not stop the thread.  Nothing is
 * stored when the close fails. */
KEEL_API void Handle_Close(void *record);
/* Makes an unsignalled auto-reset event and keeps its handle in the record,
 * also when it is 0 (stored: "Could not create event object"). */
KEEL_API void Event_Create(Event *event);
/* Signals the event.  A failure (handle 0, closed, not an event) is stored:
 * "Could not set event object"; the event is unchanged. */
KEEL_API void Event_Set(Event *event);
/* Waits for the event at most timeout_ms milliseconds (0: only looks;
 * 0xFFFFFFFF: without limit; other time-outs run on a monotonic clock).
 * 1 when signalled (the event is unsignalled again), 0 when timed out.  A
 * failed wait (handle 0, closed, negative) stores "Unexpected return value
 * from WaitForSingleObject in Event_Wait" and gives 1, as a signal does. */
KEEL_API int Event_Wait(Event *event, uint32_t timeout_ms);
/* Sets bIsJoinable to 1 (kept also when the start fails), then starts
 * routine(arg) on a new thread through the runtime's thread start and keeps
 * its handle.  A start that cannot be made (a null routine among them)
 * leaves handle 0 and stores "_beginthreadex() call failed". */
KEEL_API void Thread_Create(Thread *thread, ThreadRoutine routine, void *arg);
/* Waits without limit for the routine to return, then closes the handle
 * (in every case).  A zeroed record writes the assertion report for
 * "thread.bIsJoinable" and goes on; a wait that fails (handle 0 or
 * closed) stores "Unable to join thread".  Never join from the thread
 * itself. */
KEEL_API void Thread_Join(Thread thread);
/* 1 once the routine has returned, 0 while it runs; 1 also when the handle
 * cannot be waited on (0, closed).  Assertion on thread.bIsJoinable as in
 * Thread_Join. */
KEEL_API int Thread_IsFinished(Thread thread);
/* 1 when the thread is suspended, 0 when it runs; 1 also when the query
 * fails (handle 0, closed, thread ended).  The thread is suspended once and
 * resumed once, in that order, so a suspended thread never runs during the
 * query and its suspend count is as it was.  On POSIX a suspension is a
 * signal (real-time signal SIGRTMIN + 5, resumed by SIGRTMIN + 6) whose
 * handler parks the thread while its count is above 0; the suspender waits
 * at most 2 seconds for the thread to acknowledge.  Assertion on
 * thread.bIsJoinable as in Thread_Join. */
KEEL_API int Thread_IsSuspended(Thread thread);

/* ------------------------------------ optional system functions, OS version */

/* The two functions of "iphlpapi.dll" that only newer systems have, with
 * their published signatures: GetIfTable2(MIB_IF_TABLE2 **table) returns a
 * status (0 on success), FreeMibTable(void *memory) frees what it gave. */
typedef uint32_t (KEEL_STDCALL *GetIfTable2Fn)(void **table);
typedef void (KEEL_STDCALL *FreeMibTableFn)(void *memory);

/* One process-wide record, zero at load time.  bLoaded becomes 1 once a
 * load has found both functions, and then both fields are set; nothing
 * clears it, and the module is never unloaded. */
typedef struct IpHlpFunctions {
    int32_t bLoaded;
    GetIfTable2Fn GetIfTable2;
    FreeMibTableFn FreeMibTable;
} IpHlpFunctions;

/* Resolves GetIfTable2 and FreeMibTable (each also under its name with a
 * leading underscore) in "iphlpapi.dll": the module the process has loaded
 * already (no further reference is taken), else loaded now (on POSIX a
 * shared object of that very name, found as dlopen finds libraries).
 * Returns 0, or the reference of one stored error, that of the first
 * failure: "Could not load iphlpapi.dll" or "Could not find <function> in
 * iphlpapi.dll".  Every failure writes its assertion report (libhan!=NULL
 * for the module, addr!=NULL for each missing function, source util, line
 * 77).  A function found is kept in its field; one missing leaves its field
 * as it was (null in a record that was never loaded).  bLoaded is set
 * after both fields, so a thread that sees it set sees both functions,
 * also when two threads load at once.  A null record address: the
 * assertion "functions != NULL", and the reference of a stored error
 * "IpHlp_Load: functions is NULL". */
KEEL_API int32_t IpHlp_Load(IpHlpFunctions *functions);

/* The platform's version record, its first field its own size (148).  On
 * Windows it is the system's own OSVERSIONINFOA (declared here by its tag
 * only: include <windows.h> to use the result).  Elsewhere the layer
 * defines it with the same layout.
 *
 * OsVersion_Get gives the running system's record.  Windows: the true
 * version (RtlGetVersion), else what GetVersionExA gives.  POSIX: filled
 * from uname: major, minor and build number from the release's leading
 * numbers, dwPlatformId KEEL_VER_PLATFORM_POSIX, and the rest of the
 * release text (what follows the numbers, cut at 127 characters) in
 * szCSDVersion.  When the system's version query fails, "GetVersionEx
 * failed with error code <n>\n" goes to standard error (not the log;
 * nothing is stored) and the record comes with its size field 148 and
 * every other field 0. */
#if defined(_WIN32)
struct _OSVERSIONINFOA;
KEEL_API struct _OSVERSIONINFOA OsVersion_Get(void);
#else
#define KEEL_VER_PLATFORM_POSIX 0x100
typedef struct _OSVERSIONINFOA {
    uint32_t dwOSVersionInfoSize;
    uint32_t dwMajorVersion;
    uint32_t dwMinorVersion;
    uint32_t dwBuildNumber;
    uint32_t dwPlatformId;
    char szCSDVersion[128];
} OSVERSIONINFOA;
KEEL_API OSVERSIONINFOA OsVersion_Get(void);
#endif

/* Orders two version texts "major.minor.patch" (each number read as %d
 * reads it: white space before it skipped, a sign allowed; anything after
 * the third number ignored).  Negative when a comes first, positive when
 * after: the difference of the first differing field, held to the int
 * range.  0 when they are equal, or when either text is null, has fewer
 * than three numbers, or a number that does not fit an int. */
KEEL_API int Version_Compare(const char *a, const char *b);

#ifdef __cplusplus
}
#endif

#endif /* KEEL_UTIL_H */
