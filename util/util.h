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

/* A MemBlock owns one raw run of bytes (not initialised, no terminator) that
 * its owner resizes.  The block does not record its size: whoever asked for
 * n bytes passes n.  One thread uses a block at a time. */
typedef struct MemBlock {
    const FunctionTable *ftbl;
    void *bytes; /* owned; NULL when nothing is held */
} MemBlock;

/* "MemBlock": Destroy MemBlock_Destroy, no Equal, no Compare. */
KEEL_API extern const FunctionTable MemBlock_Table;

/* A new block of size bytes, owned by the caller.  NULL after the level-0
 * report "Unable to allocate MemBlock mem" when the record cannot be
 * allocated.  When only the bytes cannot, the block is returned with bytes
 * NULL after the level-0 report "Failed to allocate block of <size> bytes";
 * no error record is made, so test bytes.  A size of 0 is no failure: no
 * report, whatever bytes holds.  Sizes are written unsigned. */
KEEL_API MemBlock *MemBlock_New(uint32_t size);
/* Gives the block exactly size bytes; the first min(old, new) stay.  0 on
 * success.  A size of 0 frees the bytes and leaves bytes NULL.  When the
 * bytes cannot be allocated: the level-0 report "Failed to re-allocate
 * block of <size> bytes" and the reference of a stored record "Memory
 * re-allocation of size <size> failed"; bytes is untouched, the old bytes
 * stay valid and owned by the block.  A null mem is reported ("mem!=NULL")
 * and gives the reference of a stored record "MemBlock_Resize: mem is NULL". */
KEEL_API int32_t MemBlock_Resize(MemBlock *mem, uint32_t size);
/* Frees the bytes and the record; the class's Destroy.  A null mem is
 * reported ("mem!=NULL") and nothing is done. */
KEEL_API void MemBlock_Destroy(MemBlock *mem);

/* The character helpers.  Characters are bytes; a character array is
 * NUL-terminated.  Classes are ASCII and never depend on the host's locale:
 * only A-Z fold to a-z, and every byte of 128 or more is an ordinary
 * character.  Each helper checks its Strings as the String operations do
 * (a null String is reported as "ps != NULL" and left alone).  The in-place
 * helpers that shorten a String keep its array as it was, so it may then
 * hold more than length + 1 bytes. */

/* Folds A-Z of s's length characters to a-z in place.  An unset s is left
 * alone. */
KEEL_API void String_ToLower(String *s);
/* In place: whitespace (TAB, LF, CR, space; not VT or FF) is dropped at
 * both ends and each inner run of it becomes one space.  An unset s is left
 * alone. */
KEEL_API void String_CollapseSpaces(String *s);
/* Removes every trailing CR and LF in place.  An unset s is left alone. */
KEEL_API void String_TrimLineEnd(String *s);
/* Finds the first ch among s's characters: before gets the characters in
 * front of it, after those behind it, the separator goes to neither, and 0
 * is returned.  1, with before and after untouched, when ch is not there
 * (an empty or unset s included) or when a String is null (reported).
 * before or after may be s itself.  A failed copy leaves that output unset
 * (the String operations' failure texts) and is not passed on. */
KEEL_API int String_SplitAt(String *s, char ch, String *before, String *after);
/* Rewrites s so that no line is longer than the width in force: `first`
 * for the first line, `width` for every later one.  Widths count s's
 * characters only: inserted line ends and prefixes do not count.  A line
 * is broken at its last run of spaces that fits (the run is dropped) or,
 * in a word longer than the width, in the middle of the word.  Inserted
 * breaks are CR LF followed by the prefix (when not NULL); line ends
 * already in the text (runs of CR and LF) stay and are followed by the
 * prefix too.  Widths of 0 or less put every character on a line of its
 * own.  Linear in the text's length.  An unset s is left alone; an empty
 * one stays empty.  When the result cannot be allocated, s stays as it was
 * and a record "malloc failed!" is stored (no report; the reference reaches
 * nobody). */
KEEL_API void String_Wrap(String *s, int32_t first, int32_t width, const char *prefix);
/* Appends to vector, through its Append slot, a new String for each piece
 * of chars between separators: empty pieces count, so the pieces are the
 * separators plus one ("" gives one empty String).  The vector is not
 * emptied first; its elements' owner owns the pieces.  Returns the number
 * of pieces appended.  When a piece cannot be made (the String operations'
 * failure texts) or the vector cannot take it (its own report), the pieces
 * appended so far stay, the rest are not made, and the smaller count tells
 * the loss.  A null chars ("chars != NULL") or vector ("vector != NULL") is
 * reported and gives 0. */
KEEL_API int32_t String_Split(const char *chars, char sep, Vector *vector);
/* out gets the elements' characters (each up to its first NUL) joined by
 * sep; an empty vector gives "".  Returns 0 on success.  Linear in the
 * result's length; a thread-safe vector is held under its lock throughout,
 * and out may be one of the elements.  An element that is null, of another
 * class or unset is reported ("element != NULL", "element->ftbl ==
 * &String_Table", "element->bIsSet") and skipped with its separator.  When
 * the result cannot be allocated, out becomes unset and the reference of a
 * stored record "malloc failed!" is returned (no report).  A null vector,
 * sep or out is reported and gives the reference of a stored record
 * "String_Join: <name> is NULL"; out is untouched. */
KEEL_API int32_t String_Join(Vector *vector, const char *sep, String *out);

/* ---------------------------------------------------------------- streams */

/* A Stream hands out text line by line, from a String it owns
 * (STRING_STREAM) or from an open file descriptor (HANDLE_STREAM) that the
 * caller opened for reading and closes: the stream never closes it.
 * FILE_STREAM is known to Stream_Check only; no operation opens or reads
 * one.  A stream is read by one thread at a time; a stream only reads.
 *
 * Read until Stream_AtEnd gives nonzero.  The read that meets the end may
 * still deliver a last line (one without a line end), so take the line
 * when it holds a value even if the end flag came with it.  Once at the
 * end, reads leave the line unset (a string stream leaves it untouched).
 *
 * A null stream, a STRING_STREAM without its String, a FILE_STREAM without
 * its file, a HANDLE_STREAM on descriptor 0 and an unknown type are
 * reported by Stream_Check ("stream != NULL", "stream->string != NULL",
 * "stream->file != NULL", "stream->handle != 0", "0"); after such a report
 * a read leaves the line unset and touches nothing else, and Stream_AtEnd
 * gives 1.  So descriptor 0 cannot be read through a stream.  A stream
 * without a reader (a FILE_STREAM) is reported as "stream->reader != NULL"
 * by Stream_ReadLine, Stream_ReadLogicalLine and Stream_AtEnd, with the
 * same outcome. */
#define STRING_STREAM 1
#define FILE_STREAM   2
#define HANDLE_STREAM 3
#define STREAM_BUFFER_SIZE 128

struct Stream;
/* A type's read-one-line operation: the count of characters delivered. */
typedef int32_t (*StreamReader)(struct Stream *stream, String *line);

typedef struct Stream {
    const FunctionTable *ftbl;
    StreamReader reader;
    int32_t type;        /* 0 until opened, then one of the three above */
    int32_t bAtEnd;      /* nonzero once the end of input was met; never cleared */
    String *lastLine;    /* owned: a copy of the line last read by Stream_ReadLine */
    String *string;      /* owned: the text of a STRING_STREAM */
    int32_t position;    /* STRING_STREAM: index of the next unread character */
    void *file;          /* FILE_STREAM: the FILE * read from; not owned */
    int32_t handle;      /* HANDLE_STREAM: the descriptor; not owned, never closed */
    char buffer[STREAM_BUFFER_SIZE]; /* HANDLE_STREAM: read and not yet delivered */
    int32_t bufferCount; /* valid bytes in buffer */
    int32_t bufferPos;   /* next unread byte in buffer */
} Stream;

/* "Stream": Destroy Stream_Destroy, no Equal, no Compare. */
KEEL_API extern const FunctionTable Stream_Table;

/* A new STRING_STREAM over a copy of chars (over no text when chars is
 * NULL: the first read meets the end).  NULL when the stream or the copy
 * cannot be allocated, after the level-0 report "Unable to allocate Stream
 * stream" or the String operations' failure texts: a stream that silently
 * lost its text would look like an empty one. */
KEEL_API Stream *Stream_OpenString(const char *chars);
/* A new HANDLE_STREAM over descriptor fd, which must stay open for reading
 * while the stream is used.  On POSIX a descriptor of open() or pipe(); on
 * Windows one of the C runtime (_open, _pipe; open it with _O_BINARY to see
 * the bytes as they are).  NULL after the level-0 report "Unable to
 * allocate Stream stream" (or "Unable to allocate String ps"). */
KEEL_API Stream *Stream_OpenHandle(int32_t fd);
/* Destroys what the stream owns and the record; a descriptor or file stays
 * open.  A null stream is reported and ignored. */
KEEL_API void Stream_Destroy(Stream *stream);
/* line gets the next physical line through the stream's reader, and
 * lastLine a copy of it (unset when line is); returns the stream.  A copy
 * that cannot be allocated leaves lastLine unset, with String_Set's failure
 * texts and record.  A null line is reported ("ps != NULL") and nothing is
 * read. */
KEEL_API Stream *Stream_ReadLine(Stream *stream, String *line);
/* line gets the next logical line; returns the stream.  Physical lines
 * ending in a backslash (trailing whitespace and backslashes are dropped)
 * continue on the next one; the pieces are trimmed of leading whitespace
 * and joined with one space.  A blank line ends a continuation.  A backslash
 * before a line's last other character is kept.  Whitespace here is TAB,
 * LF, VT, FF, CR and space.  A line of only whitespace gives "".  At the
 * end line is unset, or holds what was gathered before the end (take it
 * when it is not empty).  When a physical line or the logical line cannot
 * be allocated, line is left unset and a "malloc failed!" record stored; a
 * physical line lost that way also ends its logical line, so what continued
 * it comes as the next one. */
KEEL_API Stream *Stream_ReadLogicalLine(Stream *stream, String *line);
/* bAtEnd; 1 after Stream_Check has reported the stream. */
KEEL_API int32_t Stream_AtEnd(Stream *stream);
/* Reports a broken stream at level 0 (see above); changes nothing. */
KEEL_API void Stream_Check(Stream *stream);

/* The readers a stream's reader field holds; call them through
 * Stream_ReadLine.  A reader for another type reports "stream->type ==
 * STRING_STREAM" (or HANDLE_STREAM) and leaves line unset.
 *
 * Stream_ReadStringLine: the characters up to the next LF (a CR before it
 * stays) and their count; the LF is consumed.  An empty line directly
 * before the end of the text is not delivered.  At the end: 0, line
 * untouched.
 *
 * Stream_ReadHandleLine: the bytes up to the next LF, less every CR and LF
 * at their end, and the line's length.  Reads the descriptor 128 bytes at a
 * time; a line longer than that is gathered over several reads in linear
 * time.  Every byte is delivered, NUL included (length counts it).  The
 * read that meets the end of the file delivers the rest as it is (at least
 * ""); later reads deliver nothing (line unset, 0).  A read error counts
 * as the end, after the level-0 report "Unable to read descriptor <fd>:
 * error <number>". */
KEEL_API int32_t Stream_ReadStringLine(Stream *stream, String *line);
KEEL_API int32_t Stream_ReadHandleLine(Stream *stream, String *line);

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
