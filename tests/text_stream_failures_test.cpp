// Memory blocks, the character helpers and streams: every operation with
// each allocation failing in turn, and bad input.  Every row works on the
// same fixture, made afresh for each run; a row shows what its operation
// changed there ("name=value"), its result ("= n"), then the records it
// stored and the reports it wrote.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/alloc_shim.h"
#include "support/descriptors.h"
#include "support/outcome.h"
#include "util.h"

namespace {

struct Fixture {
    String *s = nullptr, *out = nullptr, *after = nullptr, *line = nullptr;
    Vector *v = nullptr;  // the Strings 1 to 10: full, so a further append grows it
    MemBlock *m = nullptr, *made_block = nullptr;
    Stream *text = nullptr, *handle = nullptr, *made = nullptr;
    int handle_fd = -1, spare_fd = -1;
    int32_t result = 0;
};

void Prepare(Fixture &f)
{
    f.s = String_NewFrom("key=value");
    f.out = String_NewFrom("old");
    f.after = String_NewFrom("old");
    f.line = String_New();
    f.v = ObjectVector_New();
    for (const char *text : {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"})
        Vector_Append(f.v, String_NewFrom(text));
    f.m = MemBlock_New(3);
    std::memcpy(f.m->bytes, "abc", 3);
    f.text = Stream_OpenString("key = a \\\n   b\nnext\n");
    f.handle_fd = PipeHolding(std::string(300, 'q') + "\nz");
    f.handle = Stream_OpenHandle(f.handle_fd);
    f.spare_fd = PipeHolding("line\n");
}

void Clear(Fixture &f)
{
    for (String *s : {f.s, f.out, f.after, f.line})
        String_Destroy(s);
    Vector_Destroy(f.v);
    MemBlock_Destroy(f.m);
    if (f.made_block)
        MemBlock_Destroy(f.made_block);
    for (Stream *stream : {f.text, f.handle, f.made})
        if (stream)
            Stream_Destroy(stream);
    CloseDescriptor(f.handle_fd);
    CloseDescriptor(f.spare_fd);
    f = Fixture();
}

std::string Value(const String *s) { return s->bIsSet ? std::string(s->string, s->length) : "(unset)"; }

std::string Shown(const String *s)  // "[value]", long values cut, or "(unset)"
{
    std::string shown = s->bIsSet ? "[" + Value(s) + "]" : "(unset)";
    return shown.size() > 20 ? shown.substr(0, 4) + "..." : shown;
}

// The next line of a stream, logical or physical, as Shown gives it.
std::string Next(Stream *stream, bool logical)
{
    String *line = String_New();
    if (logical)
        Stream_ReadLogicalLine(stream, line);
    else
        Stream_ReadLine(stream, line);
    std::string shown = Shown(line);
    String_Destroy(line);
    return shown;
}

void Note(std::string &out, const char *name, const std::string &value, const std::string &unchanged)
{
    if (value != unchanged)
        out += std::string(name) + "=" + value + " ";
}

std::string Describe(Fixture &f)
{
    std::string out, added;
    Note(out, "s", Value(f.s), "key=value");
    Note(out, "out", Value(f.out), "old");
    Note(out, "after", Value(f.after), "old");
    Note(out, "line", Shown(f.line), "(unset)");
    for (int32_t i = 10; i < Vector_Length(f.v); ++i) {
        const String *e = static_cast<String *>(Vector_GetAt(f.v, i));
        added += !e ? "(null)" : e->ftbl != &String_Table ? "(other)" : Shown(e);
    }
    Note(out, "v+", added, "");
    Note(out, "m", f.m->bytes ? std::string(static_cast<char *>(f.m->bytes), 3) : "(none)", "abc");
    if (f.made_block)
        out += f.made_block->bytes ? "made=bytes " : "made=(none) ";
    if (f.made)
        out += "made=" + Next(f.made, false) + " ";
    Note(out, "text.last", Shown(f.text->lastLine), "(unset)");
    Note(out, "text.next", Next(f.text, true), "[key = a b]");
    Note(out, "handle.last", Shown(f.handle->lastLine), "(unset)");
    Note(out, "handle.next", Next(f.handle, false), "[qqq...");
    return out + "= " + (Error_IsError(f.result) ? "ref" : std::to_string(f.result));
}

void InPlaceHelpers(Fixture &f)  // they never allocate
{
    String_ToLower(f.s);
    String_CollapseSpaces(f.s);
    String_TrimLineEnd(f.s);
}

#define OP(call) [](Fixture &f) { call; }
#define MALLOC_FAILED " [999 malloc failed!]"
#define NO_STRING " <Unable to allocate String ps>"
#define NO_STREAM " <Unable to allocate Stream stream>"
#define NO_BLOCK " <Unable to allocate MemBlock mem>"

}  // namespace

TEST(TextStreamFailures, EveryOperationWithEachAllocationFailingInTurn)
{
    SweepRows<Fixture>({
        {OP(InPlaceHelpers(f)), {"= 0"}},
        {OP(String_Wrap(f.s, 5, 5, nullptr)), {"= 0" MALLOC_FAILED, "s=key=v\r\nalue = 0"}},
        {OP(f.result = String_SplitAt(f.s, '=', f.out, f.after)),
         {"out=(unset) after=value = 0" MALLOC_FAILED,
          "out=key after=(unset) = 0" MALLOC_FAILED " <Unable to malloc 6 bytes>",
          "out=key after=value = 0"}},
        {OP(f.result = String_Join(f.v, ",", f.out)),
         {"out=(unset) = ref" MALLOC_FAILED, "out=1,2,3,4,5,6,7,8,9,10 = 0"}},
        {OP(f.result = String_Split("a,,b", ',', f.v)),
         {"= 0" NO_STRING, "= 0 <Unable to malloc 2 bytes>",
          "= 0 <Assertion failed: v->data != NULL>",  // the full vector cannot grow: no null element
          "v+=[a] = 1" NO_STRING, "v+=[a] = 1 <Unable to malloc 1 bytes>",
          "v+=[a][] = 2" NO_STRING, "v+=[a][] = 2 <Unable to malloc 2 bytes>",
          "v+=[a][][b] = 3"}},
        {OP(f.made_block = MemBlock_New(16)),
         {"= 0" NO_BLOCK, "made=(none) = 0 <Failed to allocate block of 16 bytes>", "made=bytes = 0"}},
        {OP(f.made_block = MemBlock_New(0)), {"= 0" NO_BLOCK, "made=(none) = 0", "made=bytes = 0"}},
        {OP(f.result = MemBlock_Resize(f.m, 100000)),  // the old bytes stay
         {"= ref [999 Memory re-allocation of size 100000 failed] <Failed to re-allocate block of 100000 bytes>",
          "= 0"}},
        {OP(f.made = Stream_OpenString("a\nb")),
         {"= 0" NO_STREAM, "= 0" NO_STRING, "= 0" NO_STRING, "= 0 <Unable to malloc 4 bytes>", "made=[a] = 0"}},
        {OP(f.made = Stream_OpenHandle(f.spare_fd)), {"= 0" NO_STREAM, "= 0" NO_STRING, "made=[line] = 0"}},
        {OP(Stream_ReadLine(f.text, f.line)),
         {"text.next=[b] = 0" MALLOC_FAILED,
          "line=[key = a \\] text.next=[b] = 0" MALLOC_FAILED " <Unable to malloc 10 bytes>",
          "line=[key = a \\] text.last=[key = a \\] text.next=[b] = 0"}},
        {OP(Stream_ReadLine(f.handle, f.line)),  // gathered over reads, delivered, copied
         {"handle.next=[z] = 0" MALLOC_FAILED, "handle.next=[z] = 0" MALLOC_FAILED,
          "line=[qqq... handle.next=[z] = 0" MALLOC_FAILED " <Unable to malloc 301 bytes>",
          "line=[qqq... handle.last=[qqq... handle.next=[z] = 0"}},
        {OP(Stream_ReadLogicalLine(f.text, f.line)),  // a lost physical line loses its logical line
         {"= 0" NO_STRING, "text.next=[b] = 0" MALLOC_FAILED,
          "line=[key = a b] text.last=[   b] text.next=[next] = 0" MALLOC_FAILED " <Unable to malloc 10 bytes>",
          "text.next=[next] = 0" MALLOC_FAILED,
          "line=[key = a b] text.next=[next] = 0" MALLOC_FAILED " <Unable to malloc 5 bytes>",
          "text.last=[   b] text.next=[next] = 0" MALLOC_FAILED,
          "line=[key = a b] text.last=[   b] text.next=[next] = 0"}},
    }, Prepare, Describe, Clear);
}

namespace {

void JoinMixed(Fixture &f)  // a null element, another class, an unset String
{
    Vector_Append(f.v, nullptr);
    Vector_Append(f.v, Error_New("not a String"));
    Vector_Append(f.v, String_New());
    f.result = String_Join(f.v, ",", f.out);
}

void ResizeAboveTwoGiB(Fixture &f)  // failed by the shim, so nothing that big is ever allocated
{
    AllocShim_FailAt(1);
    f.result = MemBlock_Resize(f.m, 0x80000000u);
    AllocShim_Disarm();
}

void ReadDamaged(Fixture &f)
{
    f.text->type = 7;
    Stream_ReadLine(f.text, f.line);
    f.text->type = STRING_STREAM;
}

#define BROKEN(expr) " <Assertion failed: " expr ">"

}  // namespace

TEST(TextStreamFailures, BadInputIsReportedAndChangesNothingElse)
{
    struct Row { void (*op)(Fixture &); const char *left; };
    const Row rows[] = {
        {OP(String_ToLower(nullptr)), "= 0" BROKEN("ps != NULL")},
        {OP(String_CollapseSpaces(nullptr)), "= 0" BROKEN("ps != NULL")},
        {OP(String_TrimLineEnd(nullptr)), "= 0" BROKEN("ps != NULL")},
        {OP(String_Wrap(nullptr, 5, 5, "> ")), "= 0" BROKEN("ps != NULL")},
        {OP(f.result = String_SplitAt(nullptr, '=', f.out, f.after)), "= 1" BROKEN("ps != NULL")},
        {OP(f.result = String_SplitAt(f.s, '=', nullptr, f.after)), "= 1" BROKEN("ps != NULL")},
        {OP(f.result = String_Split(nullptr, ',', f.v)), "= 0" BROKEN("chars != NULL")},
        {OP(f.result = String_Split("a,b", ',', nullptr)), "= 0" BROKEN("vector != NULL")},
        {OP(f.result = String_Join(nullptr, ",", f.out)), "= ref [999 String_Join: vector is NULL]" BROKEN("vector != NULL")},
        {OP(f.result = String_Join(f.v, nullptr, f.out)), "= ref [999 String_Join: sep is NULL]" BROKEN("sep != NULL")},
        {OP(f.result = String_Join(f.v, ",", nullptr)), "= ref [999 String_Join: out is NULL]" BROKEN("ps != NULL")},
        {JoinMixed, "out=1,2,3,4,5,6,7,8,9,10 v+=(null)(other)(unset) = 0" BROKEN("element != NULL") BROKEN("element->ftbl == &String_Table")
                    BROKEN("element->bIsSet")},
        {OP(f.result = MemBlock_Resize(nullptr, 4)), "= ref [999 MemBlock_Resize: mem is NULL]" BROKEN("mem!=NULL")},
        {OP(MemBlock_Destroy(nullptr)), "= 0" BROKEN("mem!=NULL")},
        {OP(f.result = MemBlock_Resize(f.m, 0)), "m=(none) = 0"},
        {ResizeAboveTwoGiB, "= ref [999 Memory re-allocation of size 2147483648 failed]"
                            " <Failed to re-allocate block of 2147483648 bytes>"},
        {OP(Stream_ReadLine(nullptr, f.line)), "= 0" BROKEN("stream != NULL")},
        {OP(Stream_ReadLogicalLine(nullptr, f.line)), "= 0" BROKEN("stream != NULL")},
        {OP(Stream_ReadLine(f.text, nullptr)), "= 0" BROKEN("ps != NULL")},  // nothing consumed
        {OP(Stream_ReadLogicalLine(f.text, nullptr)), "= 0" BROKEN("ps != NULL")},
        {OP(Stream_ReadHandleLine(f.text, f.line)), "= 0" BROKEN("stream->type == HANDLE_STREAM")},
        {OP(Stream_ReadStringLine(f.handle, f.line)), "= 0" BROKEN("stream->type == STRING_STREAM")},
        {ReadDamaged, "= 0" BROKEN("0")},
        {OP(f.result = Stream_AtEnd(nullptr)), "= 1" BROKEN("stream != NULL")},
        {OP(Stream_Destroy(nullptr)), "= 0" BROKEN("stream != NULL")},
    };
    SweepOutcome outcome;
    for (const Row &row : rows) {
        Fixture f;
        Prepare(f);
        row.op(f);
        std::string left = Describe(f);
        left += outcome.Since();
        EXPECT_EQ(left, row.left) << "row " << &row - rows;
        Clear(f);
    }
}
