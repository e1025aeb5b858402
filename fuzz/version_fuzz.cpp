// Version_Compare on any two texts (the input split at its first NUL): no
// undefined behaviour (UBSan), and the order is consistent: a text equals
// itself, and swapping the texts swaps the sign.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input(reinterpret_cast<const char *>(data), size);
    size_t split = input.find('\0');
    std::string a = input.substr(0, split);
    std::string b = split == std::string::npos ? std::string() : input.substr(split + 1);
    int ab = Version_Compare(a.c_str(), b.c_str());
    int ba = Version_Compare(b.c_str(), a.c_str());
    if ((ab > 0) != (ba < 0) || (ab < 0) != (ba > 0))
        std::abort();
    if (Version_Compare(a.c_str(), a.c_str()) != 0)
        std::abort();
    return 0;
}
