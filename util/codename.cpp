// codename.cpp - CodeName: a 64-bit code packing a name of up to eleven
// characters, six bits each; its constructors, equality, the digits, and
// the conversions from code to name and back.
//
// Rules kept here:
// - The code is read as one 64-bit value (codeHigh above codeLow), so digit
//   5, which straddles the two words, needs no case of its own, and no
//   shift is ever negative or as wide as the value.
// - Objects are allocated zeroed, padding included, so the object model's
//   byte-wise equality reads only defined bytes.
// - A null argument is reported and never read.
#include <stdlib.h>

#include "check.h"
#include "util.h"

const FunctionTable CodeName_Table = {
    sizeof(CodeName), "CodeName", Object_Free, NULL, NULL,
};

namespace {

const int kDigits = 11;  // digits 0 to 10; digit 10 has four bits only

// The character of each digit; digit 0 ends a name.
const char kAlphabet[] =
    "\0ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_";
static_assert(sizeof kAlphabet == 65, "one character per digit value, and the NUL");

// The digit of a character, or 0 for one outside the alphabet.  Written as
// ranges, not through the C library's classification, which follows the
// locale.
int digit_of_char(char ch)
{
    if (ch >= 'A' && ch <= 'Z')
        return ch - 'A' + 1;
    if (ch >= 'a' && ch <= 'z')
        return ch - 'a' + 27;
    if (ch >= '0' && ch <= '9')
        return ch - '0' + 53;
    return ch == '_' ? 63 : 0;
}

inline uint64_t whole_code(uint32_t low, uint32_t high) { return (uint64_t)high << 32 | low; }

// Digit i (0 to 10) of a code.
inline int digit_at(uint64_t code, int i) { return (int)(code >> (6 * i) & 63); }

CodeName *codename_make(uint32_t low, uint32_t high)
{
    CodeName *codename = static_cast<CodeName *>(calloc(1, sizeof(CodeName)));
    if (!codename) {
        Log_Report(0, "Unable to allocate CodeName codename");
        return NULL;
    }
    codename->ftbl = &CodeName_Table;
    codename->codeLow = low;
    codename->codeHigh = high;
    return codename;
}

int32_t refuse_name(const char *name, uint32_t *code)
{
    code[0] = 0;
    code[1] = 0;
    return Error_Store(Error_New("invalid code name: %s", name));
}

}  // namespace

CodeName *CodeName_New(void) { return codename_make(0, 0); }

CodeName *CodeName_Copy(const CodeName *codename)
{
    if (!KEEL_CHECK(codename != NULL))
        return NULL;
    return codename_make(codename->codeLow, codename->codeHigh);
}

CodeName *CodeName_FromCode(const uint32_t *code)
{
    if (!KEEL_CHECK(code != NULL))
        return NULL;
    return codename_make(code[0], code[1]);
}

int CodeName_Equal(const CodeName *a, const CodeName *b)
{
    bool have_b = KEEL_CHECK(b != NULL);
    if (!KEEL_CHECK(a != NULL) || !have_b)
        return 0;
    return a->codeLow == b->codeLow && a->codeHigh == b->codeHigh;
}

int CodeName_Digit(const uint32_t *code, int i)
{
    if (!KEEL_CHECK(code != NULL) || !KEEL_CHECK(i >= 0))
        return 0;
    if (i >= kDigits)
        return 0;
    return digit_at(whole_code(code[0], code[1]), i);
}

void CodeName_ToString(const CodeName *codename, String *ps)
{
    bool have_ps = KEEL_CHECK(ps != NULL);
    if (!KEEL_CHECK(codename != NULL) || !have_ps)
        return;
    String_Clear(ps);
    uint64_t code = whole_code(codename->codeLow, codename->codeHigh);
    for (int i = 0; i < kDigits; ++i) {
        int digit = digit_at(code, i);
        if (digit == 0)
            break;
        // A failed append leaves ps unset with its record stored; the
        // characters after it still follow.
        String_AppendChar(ps, kAlphabet[digit]);
    }
}

int32_t CodeName_FromName(const char *name, uint32_t *code)
{
    bool have_code = KEEL_CHECK(code != NULL);
    bool have_name = KEEL_CHECK(name != NULL);
    if (!have_code)
        return Error_Store(Error_New("CodeName_FromName: code is NULL"));
    if (!have_name)
        return refuse_name("(null)", code);
    uint64_t whole = 0;
    for (int i = 0; name[i] != '\0'; ++i) {
        int digit = i < kDigits ? digit_of_char(name[i]) : 0;
        if (digit == 0 || (i == kDigits - 1 && digit > 15))
            return refuse_name(name, code);
        whole |= (uint64_t)digit << (6 * i);
    }
    code[0] = (uint32_t)whole;
    code[1] = (uint32_t)(whole >> 32);
    return 0;
}
