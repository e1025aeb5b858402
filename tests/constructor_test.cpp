// The records the layer's constructors allocate: every byte defined,
// padding included, since containers compare objects of classes without
// Equal byte for byte over objectSize.  The allocator shim fills fresh
// blocks; a byte that shows the fill after two constructions under two
// different fills was never written by the constructor.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/alloc_shim.h"
#include "util.h"

namespace {

Object *MakeVector() { return reinterpret_cast<Object *>(Vector_New()); }
Object *MakeObjectVector() { return reinterpret_cast<Object *>(ObjectVector_New()); }
Object *MakeMap() { return reinterpret_cast<Object *>(Map_New(1)); }
Object *MakeString() { return reinterpret_cast<Object *>(String_NewFrom("text")); }
Object *MakeError() { return reinterpret_cast<Object *>(Error_NewCoded(7, "error %d", 7)); }

struct Maker {
    const char *name;
    Object *(*make)();
};

const Maker kMakers[] = {
    {"Vector_New", MakeVector},    {"ObjectVector_New", MakeObjectVector},
    {"Map_New", MakeMap},          {"String_New (through String_NewFrom)", MakeString},
    {"Error_New (through Error_NewCoded)", MakeError},
};

// The record's objectSize bytes as the constructor left them, made while
// fresh blocks are filled with `fill`.
std::vector<unsigned char> BytesMadeUnder(const Maker &maker, unsigned char fill)
{
    AllocShim_Fill(fill);
    Object *made = maker.make();
    AllocShim_Fill(0);
    if (made == nullptr)
        return {};
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(made);
    std::vector<unsigned char> copy(bytes, bytes + made->ftbl->objectSize);
    made->ftbl->Destroy(made);
    return copy;
}

}  // namespace

TEST(Constructors, DefineEveryByteOfTheirRecordsPaddingIncluded)
{
    for (const Maker &maker : kMakers) {
        SCOPED_TRACE(maker.name);
        std::vector<unsigned char> first = BytesMadeUnder(maker, 0xA5);
        std::vector<unsigned char> second = BytesMadeUnder(maker, 0x5A);
        ASSERT_FALSE(first.empty());
        ASSERT_EQ(first.size(), second.size());
        for (std::size_t i = 0; i < first.size(); ++i) {
            bool as_allocated = first[i] == 0xA5 && second[i] == 0x5A;
            EXPECT_FALSE(as_allocated) << "byte " << i;
        }
    }
}
