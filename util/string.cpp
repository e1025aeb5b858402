/*
 * string.cpp - String, StringBag and StringBagElem.
 *
 * A String owns one exact-size character array (length + 1 bytes, no spare
 * capacity) or holds no value (unset: bIsSet 0, string NULL, length 0).
 * Every operation that takes a String first checks it: a null String or a
 * broken invariant is reported, a broken invariant is repaired to a valid
 * state, and the operation then either goes on on the valid String or, for
 * a null String, does nothing.  A failed allocation of the characters
 * leaves the String unset and returns the reference of a stored
 * "malloc failed!" record; the old characters are always freed, never
 * leaked.  Changes accept characters taken from the String's own array:
 * the new array is filled before the old one is freed, and an append finds
 * its source again after the block has moved.
 *
 * Strings take no lock: a String belongs to one thread at a time.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "check.h"
#include "string_internal.h"
#include "util.h"

namespace {

void string_destroy_slot(void *object) { String_Destroy(static_cast<String *>(object)); }

void stringbag_destroy_slot(void *object);
void stringbagelem_destroy_slot(void *object);
int stringbagelem_compare_slot(const void *slot_a, const void *slot_b);

}  // namespace

const FunctionTable String_Table = {
    sizeof(String), "String", string_destroy_slot, String_Equal, NULL,
};

const FunctionTable StringBag_Table = {
    sizeof(StringBag), "StringBag", stringbag_destroy_slot, NULL, NULL,
};

const FunctionTable StringBagElem_Table = {
    sizeof(StringBagElem), "StringBagElem", stringbagelem_destroy_slot, NULL,
    stringbagelem_compare_slot,
};

namespace {

/* Lengths are 32-bit: a value never grows past this many characters. */
const size_t MAX_LENGTH = UINT32_MAX - 1;

/* String_Check, then the repair that keeps the String valid after a broken
 * invariant.  An array that is present while the String says it is unset
 * is dropped without being freed: nothing says the String owns it.
 * Returns false for a null String. */
bool string_usable(String *ps)
{
    String_Check(ps);
    if (!ps)
        return false;
    if (ps->bIsSet && !ps->string) {
        ps->bIsSet = 0;
        ps->length = 0;
    } else if (!ps->bIsSet) {
        ps->string = NULL;
        ps->length = 0;
    }
    return true;
}

void make_unset(String *ps)
{
    free(ps->string);
    ps->string = NULL;
    ps->bIsSet = 0;
    ps->length = 0;
}

int32_t malloc_failed(void) { return Error_Store(Error_New("malloc failed!")); }

/* The reference a change returns after a broken precondition: the String
 * is untouched, and the caller still learns that nothing was done. */
int32_t invalid_argument(const char *operation, const char *what)
{
    return Error_Store(Error_New("%s: %s is NULL", operation, what));
}

/* The number of characters before the first NUL, looking at no more than n. */
uint32_t count_upto(const char *chars, uint32_t n)
{
    uint32_t k = 0;
    while (k < n && chars[k] != '\0')
        ++k;
    return k;
}

/* Gives ps a fresh array with the len characters at chars.  The old array is
 * freed after the copy, so chars may lie inside it.  `loud` writes the
 * standard-error line and the level-0 report of a failure.  Returns false
 * when the array cannot be allocated; ps is then unset. */
bool set_chars(String *ps, const char *chars, size_t len, bool loud)
{
    char *fresh = len <= MAX_LENGTH ? static_cast<char *>(malloc(len + 1)) : NULL;
    if (!fresh) {
        make_unset(ps);
        if (loud) {
            fputs("ERROR: malloc failed!\n", stderr);
            Log_Report(0, "Unable to malloc %d bytes at %s:%d", (int)(len + 1), "util", __LINE__);
        }
        return false;
    }
    memcpy(fresh, chars, len);
    fresh[len] = '\0';
    free(ps->string);
    ps->string = fresh;
    ps->length = (uint32_t)len;
    ps->bIsSet = 1;
    return true;
}

/* Appends k characters to a set String.  chars may lie inside the String's
 * own array; it is found again after realloc has moved the block.  On
 * failure the String is unset and its old array freed. */
int32_t append_chars(String *ps, const char *chars, size_t k)
{
    if (k == 0)
        return 0;
    uintptr_t at = (uintptr_t)chars, base = (uintptr_t)ps->string;
    bool inside = at >= base && at <= base + ps->length;
    char *grown = k <= MAX_LENGTH - ps->length
                      ? static_cast<char *>(realloc(ps->string, ps->length + k + 1))
                      : NULL;
    if (!grown) {
        make_unset(ps);
        return malloc_failed();
    }
    if (inside)
        chars = grown + (at - base);
    memcpy(grown + ps->length, chars, k);
    ps->length += (uint32_t)k;
    grown[ps->length] = '\0';
    ps->string = grown;
    return 0;
}

}  // namespace

/* ------------------------------------------------------------- creation */

String *String_New(void)
{
    String *ps = static_cast<String *>(malloc(sizeof(String)));
    if (!ps) {
        Log_Report(0, "Unable to allocate String ps");
        return NULL;
    }
    /* Every byte defined, padding included: byte-wise equality reads them. */
    memset(ps, 0, sizeof *ps);
    ps->ftbl = &String_Table;
    ps->bIsSet = 0;
    ps->string = NULL;
    ps->length = 0;
    return ps;
}

String *String_NewFrom(const char *chars)
{
    if (!KEEL_CHECK(chars != NULL))
        return NULL;
    String *ps = String_New();
    if (ps)
        set_chars(ps, chars, strlen(chars), true);
    return ps;
}

String *String_NewFormat(const char *format, ...)
{
    if (!format)
        return NULL;
    String *ps = String_New();
    if (!ps)
        return NULL;
    char buf[keel::FORMAT_BUFFER_SIZE];
    va_list args;
    va_start(args, format);
    bool formatted = keel::format_cut(buf, format, args);
    va_end(args);
    if (formatted)
        set_chars(ps, buf, strlen(buf), true);
    return ps;
}

String *String_Copy(String *s)
{
    if (!string_usable(s))
        return NULL;
    String *copy = String_New();
    if (copy && s->bIsSet)
        set_chars(copy, s->string, strlen(s->string), true);
    return copy;
}

void String_Destroy(String *ps)
{
    if (!string_usable(ps))
        return;
    free(ps->string);
    free(ps);
}

/* --------------------------------------------------------------- changes */

int32_t String_Set(String *ps, const char *chars)
{
    bool usable = string_usable(ps);
    if (!KEEL_CHECK(chars != NULL) || !usable)
        return invalid_argument("String_Set", usable ? "chars" : "ps");
    return set_chars(ps, chars, strlen(chars), true) ? 0 : malloc_failed();
}

int32_t String_SetN(String *ps, const char *chars, uint32_t n)
{
    bool usable = string_usable(ps);
    if (!KEEL_CHECK(chars != NULL) || !usable)
        return invalid_argument("String_SetN", usable ? "chars" : "ps");
    return set_chars(ps, chars, count_upto(chars, n), false) ? 0 : malloc_failed();
}

int32_t String_Append(String *ps, const char *chars)
{
    bool usable = string_usable(ps);
    if (!KEEL_CHECK(chars != NULL) || !usable)
        return invalid_argument("String_Append", usable ? "chars" : "ps");
    if (!ps->bIsSet)
        return String_Set(ps, chars);
    return append_chars(ps, chars, strlen(chars));
}

int32_t String_AppendN(String *ps, const char *chars, uint32_t n)
{
    bool usable = string_usable(ps);
    if (!KEEL_CHECK(chars != NULL) || !usable)
        return invalid_argument("String_AppendN", usable ? "chars" : "ps");
    uint32_t k = count_upto(chars, n);
    if (!ps->bIsSet)
        return String_SetN(ps, chars, k);
    return append_chars(ps, chars, k);
}

int32_t String_AppendChar(String *ps, char ch)
{
    if (!string_usable(ps))
        return invalid_argument("String_AppendChar", "ps");
    uint32_t length = ps->bIsSet ? ps->length + 1 : 1;
    char *grown = ps->length < MAX_LENGTH
                      ? static_cast<char *>(realloc(ps->string, (size_t)length + 1))
                      : NULL;
    if (!grown) {
        make_unset(ps);
        return malloc_failed();
    }
    grown[length - 1] = ch;
    grown[length] = '\0';
    ps->string = grown;
    ps->length = length;
    ps->bIsSet = 1;
    return 0;
}

/* The text is formatted before ps is touched, so the arguments may read
 * ps's own characters. */
int32_t String_Format(String *ps, const char *format, ...)
{
    bool usable = string_usable(ps);
    if (!KEEL_CHECK(format != NULL) || !usable)
        return invalid_argument("String_Format", usable ? "format" : "ps");
    char buf[keel::FORMAT_BUFFER_SIZE];
    va_list args;
    va_start(args, format);
    bool formatted = keel::format_cut(buf, format, args);
    va_end(args);
    if (!formatted)
        return Error_Store(Error_New("String_Format: the format cannot be applied"));
    return set_chars(ps, buf, strlen(buf), true) ? 0 : malloc_failed();
}

int32_t String_AppendFormat(String *ps, const char *format, ...)
{
    bool usable = string_usable(ps);
    if (!KEEL_CHECK(format != NULL) || !usable)
        return invalid_argument("String_AppendFormat", usable ? "format" : "ps");
    /* The text is made in a temporary String, as String_Format makes it. */
    String *text = String_New();
    if (!text) {
        make_unset(ps);
        return malloc_failed();
    }
    char buf[keel::FORMAT_BUFFER_SIZE];
    va_list args;
    va_start(args, format);
    bool formatted = keel::format_cut(buf, format, args);
    va_end(args);
    int32_t ref;
    if (!formatted) {
        ref = Error_Store(Error_New("String_AppendFormat: the format cannot be applied"));
    } else if (!set_chars(text, buf, strlen(buf), true)) {
        make_unset(ps);
        ref = malloc_failed();
    } else {
        ref = String_Append(ps, text->string);
    }
    String_Destroy(text);
    return ref;
}

void String_Clear(String *ps)
{
    if (string_usable(ps))
        make_unset(ps);
}

/* --------------------------------------------------------------- queries */

uint32_t String_Length(String *ps)
{
    return string_usable(ps) && ps->bIsSet ? ps->length : 0;
}

int32_t String_IsSet(String *ps) { return string_usable(ps) ? ps->bIsSet : 0; }

int String_Equal(const void *a, const void *b)
{
    const String *sa = static_cast<const String *>(a);
    const String *sb = static_cast<const String *>(b);
    String_Check(const_cast<String *>(sa));
    /* As the Equal slot the element may be of another class: never equal,
     * and its fields are not read as a String's. */
    if (sa && sb && sb->ftbl != sa->ftbl && sb->ftbl != &String_Table)
        return 0;
    String_Check(const_cast<String *>(sb));
    if (!sa || !sb)
        return 0;
    if (!sa->bIsSet || !sa->string || !sb->bIsSet || !sb->string)
        return 0;
    return strcmp(sa->string, sb->string) == 0;
}

void String_Check(String *ps)
{
    if (!KEEL_CHECK(ps != NULL))
        return;
    if (ps->bIsSet)
        KEEL_CHECK(ps->string != NULL);
    else
        KEEL_CHECK(ps->string == NULL);
}

/* ------------------------------------------------------------ string bag */

namespace {

void stringbag_destroy_slot(void *object)
{
    StringBag *bag = static_cast<StringBag *>(object);
    if (!KEEL_CHECK(bag != NULL))
        return;
    if (bag->items)
        bag->items->ftbl->Destroy(bag->items);
    free(bag);
}

void stringbagelem_destroy_slot(void *object)
{
    StringBagElem *elem = static_cast<StringBagElem *>(object);
    if (!KEEL_CHECK(elem != NULL))
        return;
    if (elem->text)
        String_Destroy(elem->text);
    free(elem);
}

/* The element's characters, or NULL when it has no text or an unset one. */
const char *elem_chars(const StringBagElem *elem)
{
    if (!elem || !elem->text || !elem->text->bIsSet)
        return NULL;
    return elem->text->string;
}

inline unsigned char fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

/* Orders by text, ignoring the case of A-Z, bytes compared unsigned.  An
 * element without a value sorts before every text. */
int stringbagelem_compare_slot(const void *slot_a, const void *slot_b)
{
    const char *a = elem_chars(*static_cast<StringBagElem *const *>(slot_a));
    const char *b = elem_chars(*static_cast<StringBagElem *const *>(slot_b));
    if (!a || !b)
        return (a != NULL) - (b != NULL);
    const unsigned char *p = reinterpret_cast<const unsigned char *>(a);
    const unsigned char *q = reinterpret_cast<const unsigned char *>(b);
    while (*p && fold(*p) == fold(*q)) {
        ++p;
        ++q;
    }
    return (int)fold(*p) - (int)fold(*q);
}

}  // namespace

/* ------------------------------------------- for the other util sources */

bool keel::string_checked(String *ps) { return string_usable(ps); }

/* A value of the same length goes into the array the String has: a reader
 * delivering lines of one length then allocates nothing. */
bool keel::string_set_bytes(String *ps, const char *bytes, size_t len, bool loud)
{
    if (ps->bIsSet && ps->string && ps->length == len) {
        memmove(ps->string, bytes, len);
        ps->string[len] = '\0';
        return true;
    }
    return set_chars(ps, bytes, len, loud);
}

void keel::string_adopt(String *ps, char *chars, size_t len)
{
    free(ps->string);
    ps->string = chars;
    ps->length = (uint32_t)len;
    ps->bIsSet = 1;
}

int32_t keel::string_malloc_failed(void) { return malloc_failed(); }
