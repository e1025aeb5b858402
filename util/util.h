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
#include <time.h>

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
 * "(null format)" in its place.
 *
 * The level is tested first: a report filtered out costs one read of
 * global_log_level and no formatting (the caller has evaluated its
 * arguments already).  NAVL_LOGGING is read as atoi reads it (leading
 * blanks, a sign, digits up to the first other character, a word gives
 * 0), except that a number beyond an int is clamped to INT_MIN or INT_MAX.
 *
 * Each line goes to the file through its own open and close, and in one
 * write call with its CR LFs already in place, so a line is never split
 * around another process's.  The open is tried 10 times, with pauses of 0,
 * 0, 0, 1, 1, 1, 2, 2, 2 and 3 ms after the failed attempts; after the
 * tenth the line is dropped (another process held the file throughout).
 * The time stamp is formed once a second and reused for the lines of that
 * second.  On Windows the layer formats with the toolchain's C99 printf,
 * not the system runtime's: %e gives two exponent digits, and %zu and %lld
 * work. */
KEEL_API int Log_Report(int level, const char *format, ...) KEEL_PRINTF(2, 3);
KEEL_API int Log_ReportV(int level, const char *format, va_list args) KEEL_PRINTF(2, 0);
/* Log_ReportV at level 100.  Callers guard it: only when global_log_level
 * is exactly 100 or still -1. */
KEEL_API int Log_Trace(const char *format, ...) KEEL_PRINTF(1, 2);
/* The assertion report: level 0, "Assertion failed: <expr> in file
 * <source> on line <line>\n" (so the file shows an empty line after it). */
KEEL_API void Log_Assert(const char *expr, const char *source, int line);
/* The size check and trim; called by Log_ReportV only.  The check runs at
 * the first written report and then once a minute at most, measured on a
 * monotonic clock (setting the wall clock back does not hold it off).  A
 * file past 128 KiB keeps the whole lines of its last 64 KiB, followed by
 * the level-25 notice "Logfile truncated from <size> bytes to <kept>
 * bytes".  The file is measured, read and rewritten through one open that
 * excludes every writer of every process, so no other process's line is
 * lost, doubled or torn by the trim.  That open waits for another
 * process's line as an append does (10 attempts, the same pauses); a file
 * held by another writer throughout is left alone until the next check. */
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
 * NULL, without a report, for a null format; an unset String when the
 * runtime cannot apply the format. */
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
 * included.  One exact-size re-allocation per call; appending no
 * characters to a set String re-allocates nothing and cannot fail. */
KEEL_API int32_t String_Append(String *ps, const char *chars);
/* Appends the characters of chars before its first NUL, at most n of them;
 * on an unset String this is String_SetN.  Appending no characters to a set
 * String re-allocates nothing and cannot fail. */
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
 * when it is not empty even if the end flag came with it (on a handle
 * stream that read always delivers at least the empty value, which is not
 * a line of the input).  Once at the
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

/* Dates are written "<day>-<month word>-<year>" in the process's local time
 * zone (the TZ variable when it is set), day and year in decimal without
 * leading zeros, the month as a three-letter lower-case word: "4-dec-2026",
 * "1-jan-2027".  The words, for months 1 to 12: "jan" "feb" "mar" "apr"
 * "may" "jun" "jul" "aug" "sep" "oct" "nov" "dec".  Every thread may format
 * dates at once. */

/* ps holds today's date: Date_Format of time(NULL). */
KEEL_API void Date_FormatNow(String *ps);
/* ps holds the date of the calendar time `when` (seconds since 1 January
 * 1970 00:00 UTC, as time() gives them).  A negative time is a date before
 * 1970 on POSIX systems; on Windows the runtime has no local date for it
 * (nor for one after the year 3000), and on POSIX for a time whose year
 * does not fit an int: then ps becomes unset after the level-0 report
 * "local_fields_exist".  When the characters cannot be allocated ps is
 * unset and the "malloc failed!" record stays in the store (no result
 * reaches the caller).  A null ps is reported ("ps != NULL") and nothing is
 * done. */
KEEL_API void Date_Format(String *ps, time_t when);
/* For a month number 1 to 12, ps holds its word and the result is 0 (or,
 * when the word cannot be allocated, the reference of the stored "malloc
 * failed!" record, ps unset).  Any other number: ps holds "UNK" and the
 * result is the reference of a stored record "invalid month supplied: <n>"
 * (code 999).  A null ps is reported ("ps != NULL") and gives the reference
 * of a stored record "Date_MonthName: ps is NULL". */
KEEL_API int32_t Date_MonthName(int month, String *ps);
/* The number 1 to 12 of a month word, compared whole, byte for byte and
 * with case significant: "may" is 5; "May", "MAY", "may " and "UNK" are not
 * month words.  Any other word gives the reference of a stored record
 * "invalid month supplied: <word>" (code 999; the message is cut at 1023
 * characters).  Tell the two apart with Error_IsError: a month number is
 * never a live reference (but 0, neither a month nor an error, is what a
 * record that cannot be allocated leaves).  A null word is reported ("word
 * != NULL") and gives "invalid month supplied: (null)". */
KEEL_API int32_t Date_MonthNumber(const char *word);

/* ------------------------------------------------------- code/name pairs */

/* A CodeName is a 64-bit code that packs a name of up to eleven characters,
 * six bits per character: character i is digit i, bits 6i to 6i+5 counted
 * from the least significant bit of the code (codeLow holds bits 0-31,
 * codeHigh bits 32-63; digit 5 takes bits 30-31 from codeLow and 0-3 from
 * codeHigh).  Digits: 0 ends the name (later digits are not read), 1-26
 * "A"-"Z", 27-52 "a"-"z", 53-62 "0"-"9", 63 "_".  Digit 10 has four bits
 * only, so an eleventh character is one of "A"-"O".
 *
 * Functions given a code take its address as two 32-bit words, low word
 * first (the layout of a uint64_t on the layer's little-endian targets).
 * A null object or address is a broken precondition: reported as "<name>
 * != NULL" at level 0 and never read. */
typedef struct CodeName {
    const FunctionTable *ftbl;
    uint32_t codeLow;  /* bits 0-31 of the code */
    uint32_t codeHigh; /* bits 32-63 of the code */
} CodeName;

/* "CodeName": Destroy Object_Free, no Equal (use CodeName_Equal), no
 * Compare. */
KEEL_API extern const FunctionTable CodeName_Table;

/* New objects with code 0, with codename's code, and with the code at
 * `code`; the caller owns each and ends it with Object_Free (the table's
 * Destroy).  NULL after the level-0 report "Unable to allocate CodeName
 * codename" when the object cannot be allocated, and after the report of
 * a null argument. */
KEEL_API CodeName *CodeName_New(void);
KEEL_API CodeName *CodeName_Copy(const CodeName *codename);
KEEL_API CodeName *CodeName_FromCode(const uint32_t *code);
/* 1 when both words of both codes are equal, else 0 (also after a report
 * of a null object). */
KEEL_API int CodeName_Equal(const CodeName *a, const CodeName *b);
/* Digit i (0 to 63) of the code at `code`; 0 for i above 10, and for a
 * negative i after the report "i >= 0". */
KEEL_API int CodeName_Digit(const uint32_t *code, int i);
/* ps holds the name of codename's code: it is made unset, then each
 * character up to the first digit 0 is appended with String_AppendChar; the
 * code 0 leaves it unset.  When an append cannot allocate, ps is left
 * unset, the "malloc failed!" record stays in the store (no result reaches
 * the caller) and the characters after it are still appended: ps then
 * holds only those.  After the report of a null codename or ps nothing is
 * changed. */
KEEL_API void CodeName_ToString(const CodeName *codename, String *ps);
/* The code of a name, written at `code` (low word first): the inverse of
 * CodeName_ToString.  The empty name gives the code 0.  Returns 0, or, for
 * a name that no code holds (a character outside "A"-"Z", "a"-"z", "0"-"9"
 * and "_", more than eleven characters, or an eleventh that is not one of
 * "A"-"O"), the reference of a stored record "invalid code name: <name>"
 * (code 999; cut at 1023 characters) with the code set to 0.  A null name
 * is reported and gives "invalid code name: (null)"; a null code is
 * reported and gives the record "CodeName_FromName: code is NULL". */
KEEL_API int32_t CodeName_FromName(const char *name, uint32_t *code);

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
 * 1023 characters; "(null format)" for a null format, "(format error)" when
 * the runtime cannot apply the format), code 999,
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

/* Describes socket errors by their Winsock numbers: the symbolic name
 * ("WSAECONNREFUSED"), a plain-language hint for the errors a user can do
 * something about ("Connection refused by target server"), and a level, 25
 * for those and 50 for the rest.  Known: 6, 8, 87, 995, 996, 997 (the Win32
 * numbers Winsock also reports), 10004 to 10109 and 11001 to 11004.  An
 * unknown number has no name (its decimal text stands in), no hint and
 * level 50.  On POSIX systems pass errno through NetError_FromErrno first.
 *
 * Every output may be left out with a null address.  Each size counts the
 * terminating NUL: a text is cut to size - 1 characters and terminated; a
 * size of 0 writes nothing.  Names are at most 21 characters, hints at most
 * 73.  Reads only constant data: any thread, any time. */
KEEL_API void NetError_Describe(int error, char *name, size_t nameSize, char *hint,
                                size_t hintSize, int *level);

/* A new record of a failed socket call, owned by the caller, who stores it:
 * Error_Store(NetError_New(WSAGetLastError(), "connect(s)")).  NULL for
 * error 0, so that the store gives 0 (success).  osError is the number.
 * - With a hint: code 998 (ERROR_CODE_NETWORK), bUserVisible 1, hint a new
 *   String of it, message "Encountered network error: <hint>.  (Technical
 *   information: error <name> (<number>) while executing <operation>)".
 * - Without: message "Encountered network error <number> (<name>) when
 *   executing '<operation>'.", and code 998 with bUserVisible 1 when the
 *   row's level (50) is at most global_log_level (read once), otherwise
 *   code 999 with bUserVisible 0 (as while the level is still -1).
 * A null operation is written "(null)"; the message is cut at 1023
 * characters.  NULL after the level-0 report "Unable to allocate Error
 * error" (then no hint is made); a hint or message that cannot be
 * allocated is missing from the record, as Error_New describes. */
KEEL_API Error *NetError_New(int error, const char *operation);

/* The Winsock number of an errno value, so that errors of the POSIX socket
 * calls get the same names, hints and messages: ECONNREFUSED gives 10061,
 * ETIMEDOUT 10060, EADDRINUSE 10048, EHOSTUNREACH 10065, and so on for
 * every Winsock error of BSD origin (10004 to 10067), EAGAIN as
 * EWOULDBLOCK, ENOTSUP as EOPNOTSUPP, ENOMEM 8 (WSA_NOT_ENOUGH_MEMORY),
 * ECANCELED 995 (WSA_OPERATION_ABORTED).  Any other value is returned
 * unchanged, Winsock numbers included; so is an errno value without a
 * counterpart, which may then read as a Win32 row (6, 8, 87) of the table.
 * The resolver's errors (h_errno, getaddrinfo) are no errno values.  On
 * Windows it maps the C runtime's errno values the same way (ECONNREFUSED
 * is 107 there); socket calls there report Winsock numbers, which need no
 * mapping. */
KEEL_API int NetError_FromErrno(int error);

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
