// Containers compare objects byte for byte: a constructor's record byte that
// shows the fill after constructions under two fills was never written.
#include <gtest/gtest.h>

#include <vector>

#include "support/alloc_shim.h"
#include "util.h"

namespace {

// The record's objectSize bytes as made while fresh blocks hold `fill`.
std::vector<unsigned char> BytesMadeUnder(void *(*make)(), unsigned char fill)
{
    AllocShim_Fill(fill);
    Object *made = static_cast<Object *>(make());
    AllocShim_Fill(0);
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(made);
    std::vector<unsigned char> copy(bytes, bytes + made->ftbl->objectSize);
    made->ftbl->Destroy(made);
    return copy;
}

}  // namespace

TEST(Constructors, DefineEveryByteOfTheirRecordsPaddingIncluded)
{
    struct MakerCase { const char *name; void *(*make)(); };
    const MakerCase kCases[] = {
        {"Vector_New", [] { return static_cast<void *>(Vector_New()); }},
        {"Map_New", [] { return static_cast<void *>(Map_New(1)); }},
        {"String_New", [] { return static_cast<void *>(String_New()); }},
        {"Error_New", [] { return static_cast<void *>(Error_NewCoded(7, "error")); }},
    };
    for (const MakerCase &c : kCases) {
        SCOPED_TRACE(c.name);
        std::vector<unsigned char> first = BytesMadeUnder(c.make, 0xA5);
        std::vector<unsigned char> second = BytesMadeUnder(c.make, 0x5A);
        for (std::size_t i = 0; i < first.size(); ++i) {
            bool as_allocated = first[i] == 0xA5 && second[i] == 0x5A;
            EXPECT_FALSE(as_allocated) << "byte " << i;
        }
    }
}
