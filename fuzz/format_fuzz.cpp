// Fuzz target for String_Format, String_AppendFormat and String_NewFormat
// with arbitrary %s arguments, the String's own characters among them.
// The input is split at its NUL bytes into steps; a step's first byte picks
// the operation, the rest is its argument.  One String goes through every
// step, and a model of its value is kept beside it.  After each step:
// - the String is set, its array is present, and its length is the
//   number of characters before the array's NUL (the array is exactly
//   that long: the sanitizers catch a read or write past it);
// - its value is the model's: each formatted text cut at 1023 characters,
//   appended to the old value or replacing it, with the String's own
//   characters read as they were before the change.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "util.h"

namespace {

const size_t kMaxSteps = 32;
const size_t kCut = 1023;  // characters a formatted text keeps

void require(bool ok, const char *what)
{
    if (!ok) {
        fprintf(stderr, "invariant broken: %s\n", what);
        abort();
    }
}

std::string cut(const std::string &text) { return text.substr(0, kCut); }

// The String's value as the model sees it; "" while unset.
std::string own(const String *s) { return s->bIsSet ? std::string(s->string) : std::string(); }

void check(const String *s, const std::string &model)
{
    require(s->bIsSet && s->string != nullptr, "set, with its array");
    require(strlen(s->string) == s->length, "length");
    require(model == s->string, "value");
}

// Runs one step on s and returns the value s must then hold.  own_chars is
// the String's array itself, passed as an argument (an unset String passes
// "" instead).
std::string step(String *&s, unsigned op, const std::string &arg)
{
    std::string old = own(s);
    const char *own_chars = s->bIsSet ? s->string : "";
    const char *a = arg.c_str();
    switch (op % 6) {
    case 0:
        require(String_Format(s, "%s", a) == 0, "String_Format %s");
        return cut(arg);
    case 1:
        require(String_Format(s, "[%s|%s]", own_chars, a) == 0, "String_Format of its own characters");
        return cut("[" + old + "|" + arg + "]");
    case 2:
        require(String_AppendFormat(s, "%s", a) == 0, "String_AppendFormat %s");
        return old + cut(arg);
    case 3:
        require(String_AppendFormat(s, "%s%s", own_chars, a) == 0,
                "String_AppendFormat of its own characters");
        return old + cut(old + arg);
    case 4: {
        String *made = String_NewFormat("%.9s<%s>", a, own_chars);
        require(made != nullptr, "String_NewFormat");
        String_Destroy(s);
        s = made;
        return cut(arg.substr(0, 9) + "<" + old + ">");
    }
    default:
        // Back to the start: an unset String, then a first step on it.
        String_Clear(s);
        require(String_AppendFormat(s, "%s", a) == 0, "String_AppendFormat on an unset String");
        return cut(arg);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input((const char *)data, size);
    String *s = String_New();
    require(s != nullptr, "String_New");
    size_t steps = 0;
    for (size_t at = 0; at < input.size() && steps < kMaxSteps; ++steps) {
        size_t nul = input.find('\0', at);
        if (nul == std::string::npos)
            nul = input.size();
        std::string piece = input.substr(at, nul - at);
        at = nul + 1;
        if (piece.empty())
            continue;
        std::string model = step(s, (unsigned char)piece[0], piece.substr(1));
        check(s, model);
    }
    String_Destroy(s);
    return 0;
}
