// Memory blocks, the character helpers and streams: each allocation of an
// operation failing in turn, and bad input, each run on a fresh fixture.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/alloc_shim.h"
#include "support/descriptors.h"
#include "support/outcome.h"

namespace {

struct Fixture {
    String *s = nullptr, *out = nullptr, *line = nullptr;
    Vector *v = nullptr;  // the Strings 1 to 10: full, so a further append grows it
    MemBlock *m = nullptr, *made_block = nullptr;
    Stream *text = nullptr, *handle = nullptr, *made = nullptr;
    int handle_fd = -1;
};

void Prepare(Fixture &f)
{
    f.s = String_NewFrom("key=value");
    f.out = String_NewFrom("old");
    f.line = String_New();
    f.v = ObjectVector_New();
    for (const char *text : {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"})
        Vector_Append(f.v, String_NewFrom(text));
    f.m = MemBlock_New(3);
    std::memcpy(f.m->bytes, "abc", 3);
    f.text = Stream_OpenString("key = a \\\n   b\nnext\n");
    f.handle_fd = PipeHolding(std::string(300, 'q') + "\nz");
    f.handle = Stream_OpenHandle(f.handle_fd);
}

void Clear(Fixture &f)
{
    for (String *s : {f.s, f.out, f.line})
        String_Destroy(s);
    Vector_Destroy(f.v);
    f.m->ftbl->Destroy(f.m);
    if (f.made_block)
        MemBlock_Destroy(f.made_block);
    for (Stream *stream : {f.text, f.handle, f.made})
        if (stream)
            stream->ftbl->Destroy(stream);  // through the class table
    close(f.handle_fd);
    f = Fixture();
}

// Called with what the operation gave: the shim's state is read after it.
void ExpectZeroExactlyWhenFailed(int32_t result) { EXPECT_EQ(result == 0, AllocShim_Injected()); }

void SplitThree(Fixture &f)  // the result counts the pieces appended after the ten
{
    int32_t count = String_Split("a,,b", ',', f.v);
    EXPECT_EQ(count, Vector_Length(f.v) - 10);
}

#define OP(call) [](Fixture &f) { call; }
#define MALLOC_FAILED " [999 malloc failed!]"
#define NO_STRING " <Unable to allocate String ps>"
#define NO_BLOCK " <Unable to allocate MemBlock mem>"

}  // namespace

TEST(TextStreamFailures, EachAllocationFailingInTurnIsToldAndLeaksNothing)
{
    // Each row: an operation and what it told with allocation 1, 2, ... failing (last: none).
    struct Case { void (*op)(Fixture &); std::vector<const char *> told; };
    const Case cases[] = {
        {OP(String_Wrap(f.s, 5, 5, nullptr)), {MALLOC_FAILED, ""}},
        {OP(String_Join(f.v, ",", f.out)), {MALLOC_FAILED, ""}},
        {SplitThree,
         {NO_STRING, " <Unable to malloc 2 bytes>", " <Assertion failed: v->data != NULL>", NO_STRING,
          " <Unable to malloc 1 bytes>", NO_STRING, " <Unable to malloc 2 bytes>", ""}},
        {OP(f.made_block = MemBlock_New(16)), {NO_BLOCK, " <Failed to allocate block of 16 bytes>", ""}},
        {OP(f.made_block = MemBlock_New(0)), {NO_BLOCK, "", ""}},
        {OP(ExpectZeroExactlyWhenFailed(MemBlock_Resize(f.m, 100000) == 0)),  // 1: the block grew
         {" [999 Memory re-allocation of size 100000 failed] <Failed to re-allocate block of 100000 bytes>", ""}},
        {OP(f.made = Stream_OpenString("a\nb")),
         {" <Unable to allocate Stream stream>", NO_STRING, NO_STRING, " <Unable to malloc 4 bytes>", ""}},
        {OP(Stream_ReadLine(f.handle, f.line)),  // gathered over reads, delivered, copied
         {MALLOC_FAILED, MALLOC_FAILED, MALLOC_FAILED " <Unable to malloc 301 bytes>", ""}},
        {OP(ExpectZeroExactlyWhenFailed(Stream_ReadHandleLine(f.handle, f.line))),  // 0: nothing delivered
         {MALLOC_FAILED, MALLOC_FAILED, ""}},
        {OP(Stream_ReadLogicalLine(f.text, f.line)),
         {NO_STRING, MALLOC_FAILED, MALLOC_FAILED " <Unable to malloc 10 bytes>", MALLOC_FAILED,
          MALLOC_FAILED " <Unable to malloc 5 bytes>", MALLOC_FAILED, ""}},
    };
    ReportsAndRecords told;
    for (const Case &c : cases) {
        for (size_t k = 1; k <= c.told.size(); ++k) {
            SCOPED_TRACE(testing::Message() << "row " << &c - cases << ", k " << k);
            const long before = AllocShim_Live();
            Fixture f;
            Prepare(f);
            AllocShim_FailAt(static_cast<long>(k));
            c.op(f);
            const bool failed = AllocShim_Injected();
            AllocShim_Disarm();
            EXPECT_EQ(failed, k < c.told.size());
            EXPECT_EQ(std::memcmp(f.m->bytes, "abc", 3), 0) << "the old bytes of a block stay";
            EXPECT_EQ(told.Since(), c.told[k - 1]);
            Clear(f);
            EXPECT_EQ(AllocShim_Live(), before) << "leaked";
        }
    }
}

namespace {

void JoinMixed(Fixture &f)  // a null element, another class, an unset String
{
    Vector_Append(f.v, nullptr);
    Vector_Append(f.v, Error_New("not a String"));
    Vector_Append(f.v, String_New());
    String_Join(f.v, ",", f.out);
}

void ResizeAboveTwoGiB(Fixture &f)  // failed by the shim, so nothing that big is ever allocated
{
    AllocShim_FailAt(1);
    MemBlock_Resize(f.m, 0x80000000u);
    AllocShim_Disarm();
}

void ReadThroughDamagedIndexes(Fixture &f)
{
    f.handle->bufferPos = -100;  // before the buffer
    Stream_ReadLine(f.handle, f.line);
    f.handle->bufferPos = 500;  // past its count
    Stream_ReadLine(f.handle, f.line);
}

void CheckFileStreamWithoutItsFile(Fixture &)  // no operation opens one: a forged record
{
    Stream forged = {};
    forged.type = FILE_STREAM;
    Stream_Check(&forged);
}

void ReadWithoutAStream(Fixture &f)  // no stream, then a record of no known type
{
    Stream_Destroy(nullptr);
    Stream_ReadLine(nullptr, f.line);
    Stream forged = {};
    forged.type = 7;
    Stream_ReadLine(&forged, f.line);
    EXPECT_EQ(ValueOf(f.line), "(unset)");
}

#define BROKEN(expr) " <Assertion failed: " expr ">"

}  // namespace

TEST(TextStreamFailures, BadInputIsReportedAndNeverRead)
{
    struct Case { void (*op)(Fixture &); const char *told; };
    const Case cases[] = {
        {OP(String_Wrap(nullptr, 5, 5, nullptr)), BROKEN("ps != NULL")},
        {CheckFileStreamWithoutItsFile, BROKEN("stream->file != NULL")},
        {ReadWithoutAStream, BROKEN("stream != NULL") BROKEN("stream != NULL") BROKEN("0")},
        {OP(String_Join(nullptr, ",", f.out)), " [999 String_Join: vector is NULL]" BROKEN("vector != NULL")},
        {OP(String_Join(f.v, nullptr, f.out)), " [999 String_Join: sep is NULL]" BROKEN("sep != NULL")},
        {JoinMixed, BROKEN("element != NULL") BROKEN("element->ftbl == &String_Table") BROKEN("element->bIsSet")},
        {OP(MemBlock_Resize(f.m, 0)), ""},
        {ResizeAboveTwoGiB,
         " [999 Memory re-allocation of size 2147483648 failed] <Failed to re-allocate block of 2147483648 bytes>"},
        {OP(MemBlock_Resize(nullptr, 4)), " [999 MemBlock_Resize: mem is NULL]" BROKEN("mem!=NULL")},
        {OP(EXPECT_EQ(Stream_ReadHandleLine(f.text, f.line), 0)), BROKEN("stream->type == HANDLE_STREAM")},
        {OP(EXPECT_EQ(Stream_ReadStringLine(f.text, nullptr), 0)), BROKEN("ps != NULL")},
        {ReadThroughDamagedIndexes, ""},
    };
    ReportsAndRecords told;
    for (const Case &c : cases) {
        Fixture f;
        Prepare(f);
        c.op(f);
        EXPECT_EQ(told.Since(), c.told) << "row " << &c - cases;
        Clear(f);
    }
}
