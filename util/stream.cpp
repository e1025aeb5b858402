/*
 * stream.cpp - Stream: lines read from a String the stream owns
 * (STRING_STREAM) or from an open file descriptor (HANDLE_STREAM), and
 * logical lines joined across backslash continuations.
 *
 * Rules kept here:
 * - A broken stream (null, without its source, descriptor 0, unknown type)
 *   is reported by Stream_Check, and the operation then stops: the line is
 *   left unset and the stream untouched; Stream_AtEnd gives 1, so a
 *   caller's read loop ends.  A null line is reported and nothing is read,
 *   so no input is consumed into nowhere.
 * - A handle stream reads its descriptor through the platform layer, 128
 *   bytes at a time into the buffer inside its record, and never closes
 *   it.  Lines spanning reads are gathered in a buffer that grows
 *   geometrically; every byte is kept, NUL included.
 * - A line that cannot be allocated is left unset, with the String
 *   operations' "malloc failed!" record stored; the input it came from is
 *   consumed all the same, so the next read starts at the next line.
 *
 * A stream is read by one thread at a time; nothing here locks.
 */
#include <stdlib.h>
#include <string.h>

#include "check.h"
#include "platform.h"
#include "string_internal.h"
#include "text_internal.h"
#include "util.h"

namespace {

void stream_destroy_slot(void *object) { Stream_Destroy(static_cast<Stream *>(object)); }

}  // namespace

const FunctionTable Stream_Table = {
    sizeof(Stream), "Stream", stream_destroy_slot, NULL, NULL,
};

namespace {

/* The common record: every byte defined (calloc), type and reader 0, and
 * an unset lastLine.  NULL after the report of what could not be made. */
Stream *stream_new(void)
{
    Stream *stream = static_cast<Stream *>(calloc(1, sizeof(Stream)));
    if (!stream) {
        Log_Report(0, "Unable to allocate Stream stream");
        return NULL;
    }
    stream->ftbl = &Stream_Table;
    stream->lastLine = String_New();
    if (!stream->lastLine) {
        free(stream);
        return NULL;
    }
    return stream;
}

/* Stream_Check's conditions, each reported when it fails; false after a
 * report. */
bool stream_sound(Stream *stream)
{
    if (!KEEL_CHECK(stream != NULL))
        return false;
    switch (stream->type) {
    case STRING_STREAM:
        return KEEL_CHECK(stream->string != NULL);
    case FILE_STREAM:
        return KEEL_CHECK(stream->file != NULL);
    case HANDLE_STREAM:
        return KEEL_CHECK(stream->handle != 0);
    default:
        return KEEL_CHECK(0);
    }
}

/* A sound stream that also has a reader to call (a file stream, which no
 * operation opens, has none). */
bool stream_readable(Stream *stream)
{
    return stream_sound(stream) && KEEL_CHECK(stream->reader != NULL);
}

/* Sets line to the len bytes at bytes (quietly, as an append would); on
 * failure line is unset and the record stored.  Gives the length
 * delivered. */
int32_t deliver(String *line, const char *bytes, size_t len, bool failed)
{
    if (failed || !keel::string_set_bytes(line, bytes, len, false)) {
        String_Clear(line);
        keel::string_malloc_failed();
        return 0;
    }
    return static_cast<int32_t>(len);
}

}  // namespace

Stream *Stream_OpenString(const char *chars)
{
    Stream *stream = stream_new();
    if (!stream)
        return NULL;
    stream->type = STRING_STREAM;
    stream->reader = Stream_ReadStringLine;
    stream->string = chars ? String_NewFrom(chars) : String_New();
    if (!stream->string || (chars && !stream->string->bIsSet)) {
        Stream_Destroy(stream);
        return NULL;
    }
    return stream;
}

Stream *Stream_OpenHandle(int32_t fd)
{
    Stream *stream = stream_new();
    if (!stream)
        return NULL;
    stream->type = HANDLE_STREAM;
    stream->reader = Stream_ReadHandleLine;
    stream->handle = fd;
    return stream;
}

void Stream_Destroy(Stream *stream)
{
    if (!KEEL_CHECK(stream != NULL))
        return;
    if (stream->type == STRING_STREAM && stream->string)
        String_Destroy(stream->string);
    if (stream->lastLine)
        String_Destroy(stream->lastLine);
    free(stream);
}

void Stream_Check(Stream *stream) { stream_sound(stream); }

int32_t Stream_AtEnd(Stream *stream) { return stream_readable(stream) ? stream->bAtEnd : 1; }

Stream *Stream_ReadLine(Stream *stream, String *line)
{
    if (!keel::string_checked(line))
        return stream;
    if (!stream_readable(stream)) {
        String_Clear(line);
        return stream;
    }
    stream->reader(stream, line);
    if (!line->bIsSet)
        String_Clear(stream->lastLine);
    else if (!keel::string_set_bytes(stream->lastLine, line->string, line->length, true))
        keel::string_malloc_failed();
    return stream;
}

/* --------------------------------------------------------- string reader */

int32_t Stream_ReadStringLine(Stream *stream, String *line)
{
    if (!keel::string_checked(line))
        return 0;
    if (!stream_sound(stream) || !KEEL_CHECK(stream->type == STRING_STREAM)) {
        String_Clear(line);
        return 0;
    }
    /* Positions are taken unsigned: a text may exceed 2^31 characters. */
    uint32_t n = String_Length(stream->string);
    uint32_t p = static_cast<uint32_t>(stream->position);
    if (p >= n)
        stream->bAtEnd = 1;
    if (stream->bAtEnd)
        return 0;
    const char *from = stream->string->string + p;
    const char *lf = static_cast<const char *>(memchr(from, '\n', n - p));
    uint32_t k = lf ? static_cast<uint32_t>(lf - from) : n - p;
    stream->position = static_cast<int32_t>(p + k + 1);
    if (k > 0) {
        String_SetN(line, from, k); /* a CR before the LF stays */
        return static_cast<int32_t>(k);
    }
    if (p + 1 < n)
        String_Set(line, "");
    else
        stream->bAtEnd = 1; /* an empty last line is not delivered */
    return 0;
}

/* --------------------------------------------------------- handle reader */

namespace {

/* Refills the buffer from the descriptor; the end of the file and a read
 * error (reported) set bAtEnd. */
void refill(Stream *stream)
{
    int error = 0;
    long got = keel::plat::read_descriptor(stream->handle, stream->buffer, STREAM_BUFFER_SIZE, &error);
    if (got <= 0) {
        if (got < 0)
            Log_Report(0, "Unable to read descriptor %d: error %d", (int)stream->handle, error);
        stream->bAtEnd = 1;
        return;
    }
    stream->bufferPos = 0;
    stream->bufferCount = static_cast<int32_t>(got);
}

/* The unread bytes of the buffer; none when its indexes are damaged. */
size_t buffered(Stream *stream)
{
    if (stream->bufferPos < 0 || stream->bufferCount > STREAM_BUFFER_SIZE || stream->bufferPos > stream->bufferCount)
        stream->bufferPos = stream->bufferCount = 0;
    return static_cast<size_t>(stream->bufferCount - stream->bufferPos);
}

}  // namespace

int32_t Stream_ReadHandleLine(Stream *stream, String *line)
{
    if (!keel::string_checked(line))
        return 0;
    /* line keeps its array until a line is delivered, which may reuse it;
     * every way out without a line leaves it unset. */
    if (!stream_sound(stream) || !KEEL_CHECK(stream->type == HANDLE_STREAM)) {
        String_Clear(line);
        return 0;
    }
    keel::ByteBuffer gathered; /* the part of a line that spans reads */
    bool gathering = false;
    for (;;) {
        size_t avail = buffered(stream);
        const char *from = stream->buffer + stream->bufferPos;
        const char *lf = static_cast<const char *>(memchr(from, '\n', avail));
        if (lf) {
            size_t k = static_cast<size_t>(lf - from);
            stream->bufferPos += static_cast<int32_t>(k + 1);
            if (gathering)
                gathered.append(from, k);
            const char *bytes = gathering ? gathered.data() : from;
            size_t len = gathering ? gathered.size() : k;
            while (len > 0 && bytes[len - 1] == '\r')
                --len;
            return deliver(line, bytes, len, gathered.failed());
        }
        if (stream->bAtEnd)
            break;
        gathered.append(from, avail);
        gathering = true;
        stream->bufferPos = stream->bufferCount;
        refill(stream);
        if (stream->bAtEnd)
            break;
    }
    /* The end: what this read gathered, as it is (at least ""); nothing when
     * the end had been met before. */
    if (gathering)
        return deliver(line, gathered.data(), gathered.size(), gathered.failed());
    String_Clear(line);
    return 0;
}

/* --------------------------------------------------------- logical lines */

namespace {

/* The bounds of a physical line's content: trailing whitespace and
 * backslashes cut at the end (a backslash among them continues the line),
 * leading whitespace at the start.  begin == end for a blank line. */
struct Content {
    size_t begin, end;
    bool continued;
};

Content content_of(const String *work)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(work->string);
    Content c = {0, work->bIsSet ? work->length : 0, false};
    while (c.end > 0 && (keel::is_space(p[c.end - 1]) || p[c.end - 1] == '\\')) {
        c.continued |= p[c.end - 1] == '\\';
        --c.end;
    }
    while (c.begin < c.end && keel::is_space(p[c.begin]))
        ++c.begin;
    return c;
}

/* Reads physical lines into joined until one ends the logical line.  True
 * when a logical line was found (possibly ""), false when the input ended
 * or the stream broke before any, and when a physical line could not be
 * allocated (its reader stored the record). */
bool gather_logical(Stream *stream, String *work, keel::ByteBuffer &joined)
{
    bool found = false;
    while (stream_readable(stream) && !stream->bAtEnd) {
        String_Clear(work); /* the string reader leaves it untouched at the end */
        Stream_ReadLine(stream, work);
        if (!work->bIsSet && !stream->bAtEnd)
            return false;
        Content c = content_of(work);
        if (c.end > c.begin) {
            if (joined.size() > 0)
                joined.append(" ", 1);
            joined.append(work->string + c.begin, c.end - c.begin);
            found = true;
            if (!c.continued)
                return true;
        } else if (!c.continued) {
            return true; /* a blank line ends the logical line */
        }
    }
    return found;
}

}  // namespace

Stream *Stream_ReadLogicalLine(Stream *stream, String *line)
{
    if (!keel::string_checked(line))
        return stream;
    String_Clear(line);
    String *work = String_New();
    if (!work)
        return stream;
    keel::ByteBuffer joined;
    if (gather_logical(stream, work, joined))
        deliver(line, joined.data(), joined.size(), joined.failed());
    String_Destroy(work);
    return stream;
}
