/*
 * text.cpp - the character helpers: lower-casing, collapsing whitespace,
 * trimming line ends, splitting at a character, wrapping to line widths,
 * splitting into a vector of Strings and joining one.
 *
 * Rules kept here:
 * - Character classes are the layer's own ASCII ones (text_internal.h):
 *   the host's locale changes nothing, every byte of 128 or more is an
 *   ordinary character, and no classification sees a negative char.
 * - Every String is checked (and repaired) as the String operations check
 *   it; a null String is reported and left alone.  Every String stays
 *   valid: the in-place helpers only shorten, and a new value is built
 *   whole before it replaces the old one.
 * - Wrap and join size their result first and allocate it once, so their
 *   cost is linear in the text's length.  When that allocation fails the
 *   input is untouched (wrap) or the output unset (join), and a
 *   "malloc failed!" record is stored.
 *
 * Nothing here locks, except that a join holds a thread-safe vector's own
 * lock while it reads it.
 */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "check.h"
#include "scoped_lock.h"
#include "string_internal.h"
#include "text_internal.h"
#include "util.h"

namespace {

/* A value never grows past this many characters (lengths are 32-bit). */
const uint64_t kMaxLength = UINT32_MAX - 1;

/* The characters of a String that holds a value, or NULL. */
char *chars_of(String *s) { return keel::string_checked(s) && s->bIsSet ? s->string : NULL; }

/* The reference a change returns after reporting a null argument. */
int32_t null_argument(const char *operation, const char *what)
{
    return Error_Store(Error_New("%s: %s is NULL", operation, what));
}

}  // namespace

void String_ToLower(String *s)
{
    unsigned char *p = reinterpret_cast<unsigned char *>(chars_of(s));
    if (!p)
        return;
    /* The length in a local: stores through p may alias s, which would make
     * the loop read it anew each time and keep it from being vectorised. */
    const uint32_t n = s->length;
    for (uint32_t i = 0; i < n; ++i)
        p[i] = keel::to_lower(p[i]);
}

void String_CollapseSpaces(String *s)
{
    char *p = chars_of(s);
    if (!p)
        return;
    uint32_t w = 0;
    bool after_space = true; /* so leading whitespace writes nothing */
    const uint32_t n = s->length; /* a local: stores through p may alias s */
    for (uint32_t r = 0; r < n; ++r) {
        unsigned char c = static_cast<unsigned char>(p[r]);
        if (!keel::is_blank_or_line_end(c)) {
            p[w++] = static_cast<char>(c);
            after_space = false;
        } else if (!after_space) {
            p[w++] = ' ';
            after_space = true;
        }
    }
    if (w > 0 && after_space)
        --w;
    p[w] = '\0';
    s->length = w;
}

void String_TrimLineEnd(String *s)
{
    char *p = chars_of(s);
    if (!p)
        return;
    while (s->length > 0 && keel::is_line_end(static_cast<unsigned char>(p[s->length - 1])))
        p[--s->length] = '\0';
}

int String_SplitAt(String *s, char ch, String *before, String *after)
{
    bool usable = keel::string_checked(s);
    usable &= keel::string_checked(before);
    usable &= keel::string_checked(after);
    if (!usable || !s->bIsSet)
        return 1;
    const char *found = static_cast<const char *>(memchr(s->string, ch, s->length));
    if (!found)
        return 1;
    uint32_t i = static_cast<uint32_t>(found - s->string);
    /* Each output is set while s still holds the characters it takes. */
    if (before != s) {
        String_SetN(before, s->string, i);
        String_Set(after, s->string + i + 1);
    } else if (after != s) {
        String_Set(after, s->string + i + 1);
        String_SetN(before, s->string, i);
    } else {
        String_Set(s, s->string + i + 1); /* one String for all three: the later value */
    }
    return 0;
}

/* ------------------------------------------------------------------ wrap */

namespace {

const size_t kNoBreak = SIZE_MAX;

/* Where the wrapped text goes: counted only (to == NULL), or written. */
struct WrapSink {
    char *to;
    uint64_t size;
    bool changed;
    void put(const char *p, size_t n)
    {
        if (to)
            memcpy(to + size, p, n);
        size += n;
    }
};

struct WrapInput {
    const char *s;
    size_t n;
    int64_t first, later;
    const char *prefix;
    size_t prefix_len;
};

/* Ends the line at `end` with CR LF and starts the next with the prefix. */
void put_break(const WrapInput &in, WrapSink &out, size_t start, size_t end)
{
    out.put(in.s + start, end - start);
    out.put("\r\n", 2);
    out.put(in.prefix, in.prefix_len);
    out.changed = true;
}

/* One pass of the wrap.  i is the character looked at, start the line's
 * first, brk the last space of the line's last run of spaces that began
 * within the width.  After a run of spaces the character behind it is
 * looked at next, so a line end there ends the line. */
void wrap_pass(const WrapInput &in, WrapSink &out)
{
    const char *s = in.s;
    size_t i = 0, start = 0, brk = kNoBreak;
    int64_t limit = in.first;
    while (i < in.n) {
        unsigned char ch = static_cast<unsigned char>(s[i]);
        if (keel::is_line_end(ch)) {
            while (i < in.n && keel::is_line_end(static_cast<unsigned char>(s[i])))
                ++i;
            out.put(s + start, i - start);
            out.put(in.prefix, in.prefix_len);
            out.changed |= in.prefix_len > 0;
            limit = in.later;
            start = i;
            brk = kNoBreak;
        } else if (static_cast<int64_t>(i - start) < limit) {
            if (ch == ' ') {
                while (i < in.n && s[i] == ' ')
                    ++i;
                brk = i - 1;
                continue;
            }
        } else if (brk == kNoBreak) {
            put_break(in, out, start, i); /* a word longer than the line */
            start = i;
            limit = in.later;
        } else {
            size_t end = brk;
            while (end > start && s[end - 1] == ' ')
                --end;
            put_break(in, out, start, end); /* the run of spaces is dropped */
            start = brk + 1;
            i = brk;
            limit = in.later;
            brk = kNoBreak;
        }
        ++i;
    }
    out.put(s + start, in.n - start);
}

}  // namespace

void String_Wrap(String *s, int32_t first, int32_t width, const char *prefix)
{
    if (!chars_of(s) || s->length == 0)
        return;
    WrapInput in = {s->string, s->length, first, width, prefix ? prefix : "", prefix ? strlen(prefix) : 0};
    WrapSink count = {NULL, 0, false};
    wrap_pass(in, count);
    if (!count.changed)
        return;
    char *result = count.size <= kMaxLength && count.size < SIZE_MAX
                       ? static_cast<char *>(malloc(static_cast<size_t>(count.size) + 1))
                       : NULL;
    if (!result) {
        keel::string_malloc_failed();
        return;
    }
    WrapSink write = {result, 0, false};
    wrap_pass(in, write);
    result[write.size] = '\0';
    keel::string_adopt(s, result, static_cast<size_t>(write.size));
}

/* ------------------------------------------------------- split and join */

namespace {

/* A new String holding the n characters at piece, appended to vector.
 * False, with nothing appended and nothing kept, when the String cannot be
 * made (String_NewFrom's failure texts) or the vector refuses it. */
bool append_piece(Vector *vector, const char *piece, size_t n)
{
    String *made = String_New();
    if (!made)
        return false;
    if (!keel::string_set_bytes(made, piece, n, true) ||
        VECTOR_FTBL(vector)->Append(vector, made) == NULL) {
        String_Destroy(made);
        return false;
    }
    return true;
}

}  // namespace

int32_t String_Split(const char *chars, char sep, Vector *vector)
{
    bool usable = KEEL_CHECK(chars != NULL);
    usable &= KEEL_CHECK(vector != NULL);
    if (!usable)
        return 0;
    const char *end = chars + strlen(chars);
    int32_t count = 0;
    for (const char *piece = chars;; ++count) {
        const char *at = static_cast<const char *>(memchr(piece, sep, static_cast<size_t>(end - piece)));
        const char *piece_end = at ? at : end;
        if (!append_piece(vector, piece, static_cast<size_t>(piece_end - piece)))
            return count;
        if (!at)
            return count + 1;
        piece = at + 1;
    }
}

namespace {

/* The characters of element i when it is a String that holds a value;
 * otherwise NULL, after a report when `report` is set. */
const char *element_chars(Vector *vector, int32_t i, bool report)
{
    const String *element = static_cast<const String *>(Vector_GetAtChecked(vector, i));
    if (!report)
        return element && element->ftbl == &String_Table && element->bIsSet ? element->string : NULL;
    if (!KEEL_CHECK(element != NULL) || !KEEL_CHECK(element->ftbl == &String_Table) ||
        !KEEL_CHECK(element->bIsSet) || !KEEL_CHECK(element->string != NULL))
        return NULL;
    return element->string;
}

/* The length of the joined text, reporting each element that is skipped. */
uint64_t joined_length(Vector *vector, size_t sep_len)
{
    uint64_t total = 0;
    bool first = true;
    int32_t n = Vector_LengthChecked(vector);
    for (int32_t i = 0; i < n; ++i) {
        const char *chars = element_chars(vector, i, true);
        if (!chars)
            continue;
        total += (first ? 0 : sep_len) + strlen(chars);
        first = false;
    }
    return total;
}

/* Writes the joined text into to, never more than cap bytes; its length. */
size_t join_into(char *to, size_t cap, Vector *vector, const char *sep, size_t sep_len)
{
    size_t size = 0;
    bool first = true;
    int32_t n = Vector_LengthChecked(vector);
    for (int32_t i = 0; i < n; ++i) {
        const char *chars = element_chars(vector, i, false);
        if (!chars)
            continue;
        size_t pieces[2] = {first ? 0 : sep_len, strlen(chars)};
        const char *from[2] = {sep, chars};
        for (int k = 0; k < 2; ++k) {
            size_t take = pieces[k] < cap - size ? pieces[k] : cap - size;
            memcpy(to + size, from[k], take);
            size += take;
        }
        first = false;
    }
    return size;
}

}  // namespace

int32_t String_Join(Vector *vector, const char *sep, String *out)
{
    bool has_vector = KEEL_CHECK(vector != NULL);
    bool has_sep = KEEL_CHECK(sep != NULL);
    bool has_out = keel::string_checked(out);
    if (!has_vector || !has_sep || !has_out)
        return null_argument("String_Join", !has_vector ? "vector" : !has_sep ? "sep" : "out");
    /* One snapshot of a shared vector: its length cannot change between
     * the measuring and the copying. */
    keel::ScopedLock hold(vector->bIsThreadSafe ? vector->lock : NULL);
    size_t sep_len = strlen(sep);
    uint64_t total = joined_length(vector, sep_len);
    char *result = total <= kMaxLength && total < SIZE_MAX
                       ? static_cast<char *>(malloc(static_cast<size_t>(total) + 1))
                       : NULL;
    if (!result) {
        String_Clear(out);
        return keel::string_malloc_failed();
    }
    size_t size = join_into(result, static_cast<size_t>(total), vector, sep, sep_len);
    result[size] = '\0';
    keel::string_adopt(out, result, size);
    return 0;
}
