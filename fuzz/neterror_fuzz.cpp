// NetError_Describe with any number and any buffer sizes (0 included): each
// buffer is allocated at exactly its size, so a write past it is caught,
// and each text must be terminated inside it.  NetError_New and the errno
// mapping get the same number, with the rest of the input as the text of
// the operation.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 8)
        return 0;
    int32_t number;
    memcpy(&number, data, sizeof number);
    size_t name_size = data[4] | (data[5] & 1) << 8;  // 0 to 511
    size_t hint_size = data[6] | (data[7] & 1) << 8;
    char *name = static_cast<char *>(malloc(name_size ? name_size : 1));
    char *hint = static_cast<char *>(malloc(hint_size ? hint_size : 1));
    int level = -1;
    NetError_Describe(number, name, name_size, hint, hint_size, &level);
    if (level != 25 && level != 50)
        abort();
    if ((name_size > 0 && !memchr(name, '\0', name_size)) || (hint_size > 0 && !memchr(hint, '\0', hint_size)))
        abort();
    free(name);
    free(hint);

    std::string operation(reinterpret_cast<const char *>(data) + 8, size - 8);
    Error *error = NetError_New(NetError_FromErrno(number), operation.c_str());
    if (error && (!error->message || !error->message->bIsSet || error->message->length > 1023))
        abort();
    Error_Destroy(error);
    return 0;
}
