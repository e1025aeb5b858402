// The code-name round trip both ways.  The input as a name: a name that
// CodeName_FromName accepts must come back unchanged from its code.  The
// first eight bytes as a code: its name must give back the code up to the
// first zero digit (the digits a name holds).
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "util.h"

namespace {

std::string name_of(const uint32_t *code)
{
    CodeName *codename = CodeName_FromCode(code);
    String *s = String_New();
    CodeName_ToString(codename, s);
    std::string name = s->bIsSet ? s->string : "";
    String_Destroy(s);
    Object_Free(codename);
    return name;
}

// The code with every digit from the first zero digit on cleared.
uint64_t up_to_end(uint64_t code)
{
    for (int i = 0; i < 11; ++i)
        if ((code >> (6 * i) & 63) == 0)
            return i == 0 ? 0 : code & ((uint64_t)1 << (6 * i)) - 1;
    return code;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    uint32_t code[2] = {0, 0};
    int32_t ref = CodeName_FromName(text.c_str(), code);
    if (ref == 0 && name_of(code) != text.c_str())
        abort();
    if (ref != 0)
        Error_Destroy(Error_Take(ref));

    if (size < 8)
        return 0;
    uint32_t given[2];
    memcpy(given, data, sizeof given);
    std::string name = name_of(given);
    uint32_t back[2] = {1, 1};
    if (CodeName_FromName(name.c_str(), back) != 0)
        abort();
    uint64_t whole = (uint64_t)given[1] << 32 | given[0];
    if (((uint64_t)back[1] << 32 | back[0]) != up_to_end(whole))
        abort();
    return 0;
}
