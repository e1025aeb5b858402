// Memory blocks, the character helpers and streams: every operation that
// allocates, with each allocation failing in turn, and bad input.  Every
// case works on the same fixture, made afresh for each run.  A case states
// what its operation changed there ("name=value", nothing when it changed
// nothing) and, apart, what it told: the records it stored and the reports
// it wrote.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

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

std::string Shown(const String *s)  // "[value]", long values cut, or "(unset)"
{
    std::string shown = s->bIsSet ? "[" + std::string(s->string, s->length) + "]" : "(unset)";
    return shown.size() > 30 ? shown.substr(0, 4) + "..." : shown;
}

std::string NextLine(Stream *stream, bool logical)
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
        out += std::string(out.empty() ? "" : " ") + name + "=" + value;
}

// What differs from the fixture as Prepare made it; the streams by their
// last line and the line they give next.
std::string Changes(Fixture &f)
{
    std::string out;
    std::string added;
    Note(out, "s", Shown(f.s), "[key=value]");
    Note(out, "out", Shown(f.out), "[old]");
    Note(out, "after", Shown(f.after), "[old]");
    Note(out, "line", Shown(f.line), "(unset)");
    for (int32_t i = 10; i < Vector_Length(f.v); ++i) {
        const String *e = static_cast<String *>(Vector_GetAt(f.v, i));
        added += !e ? "(null)" : e->ftbl != &String_Table ? "(other)" : Shown(e);
    }
    Note(out, "v+", added, "");
    Note(out, "m", f.m->bytes ? std::string(static_cast<char *>(f.m->bytes), 3) : "(none)", "abc");
    if (f.made_block)
        Note(out, "made", f.made_block->bytes ? "bytes" : "(none)", "");
    if (f.made)
        Note(out, "made", NextLine(f.made, false), "");
    Note(out, "text.last", Shown(f.text->lastLine), "(unset)");
    Note(out, "text.next", NextLine(f.text, true), "[key = a b]");
    Note(out, "handle.last", Shown(f.handle->lastLine), "(unset)");
    Note(out, "handle.next", NextLine(f.handle, false), "[qqq...");
    Note(out, "result", Error_IsError(f.result) ? "ref" : std::to_string(f.result), "0");
    return out;
}

struct Left {
    const char *changes, *told;
};

#define OP(call) [](Fixture &f) { call; }
#define MALLOC_FAILED " [999 malloc failed!]"
#define NO_STRING " <Unable to allocate String ps>"
#define NO_STREAM " <Unable to allocate Stream stream>"
#define NO_BLOCK " <Unable to allocate MemBlock mem>"

}  // namespace

TEST(TextStreamFailures, EachAllocationFailingInTurnLeavesEveryValueSound)
{
    // Each row: an operation, then for k = 1, 2, ... what it changed and
    // told with allocation k failing; the last run is the one in which
    // nothing failed.
    struct Case { void (*op)(Fixture &); std::vector<Left> runs; };
    const Case cases[] = {
        {OP(String_Wrap(f.s, 5, 5, nullptr)), {{"", MALLOC_FAILED}, {"s=[key=v\r\nalue]", ""}}},
        {OP(f.result = String_SplitAt(f.s, '=', f.out, f.after)),
         {{"out=(unset) after=[value]", MALLOC_FAILED},
          {"out=[key] after=(unset)", MALLOC_FAILED " <Unable to malloc 6 bytes>"},
          {"out=[key] after=[value]", ""}}},
        {OP(f.result = String_Join(f.v, ",", f.out)),
         {{"out=(unset) result=ref", MALLOC_FAILED}, {"out=[1,2,3,4,5,6,7,8,9,10]", ""}}},
        {OP(f.result = String_Split("a,,b", ',', f.v)),
         {{"", NO_STRING},
          {"", " <Unable to malloc 2 bytes>"},
          {"", " <Assertion failed: v->data != NULL>"},  // the full vector cannot grow: no null element
          {"v+=[a] result=1", NO_STRING},
          {"v+=[a] result=1", " <Unable to malloc 1 bytes>"},
          {"v+=[a][] result=2", NO_STRING},
          {"v+=[a][] result=2", " <Unable to malloc 2 bytes>"},
          {"v+=[a][][b] result=3", ""}}},
        {OP(f.made_block = MemBlock_New(16)),
         {{"", NO_BLOCK}, {"made=(none)", " <Failed to allocate block of 16 bytes>"}, {"made=bytes", ""}}},
        {OP(f.made_block = MemBlock_New(0)), {{"", NO_BLOCK}, {"made=(none)", ""}, {"made=bytes", ""}}},
        {OP(f.result = MemBlock_Resize(f.m, 100000)),  // the old bytes stay
         {{"result=ref", " [999 Memory re-allocation of size 100000 failed] <Failed to re-allocate block of 100000 bytes>"},
          {"", ""}}},
        {OP(f.made = Stream_OpenString("a\nb")),
         {{"", NO_STREAM}, {"", NO_STRING}, {"", NO_STRING}, {"", " <Unable to malloc 4 bytes>"}, {"made=[a]", ""}}},
        {OP(f.made = Stream_OpenHandle(f.spare_fd)), {{"", NO_STREAM}, {"", NO_STRING}, {"made=[line]", ""}}},
        {OP(Stream_ReadLine(f.text, f.line)),
         {{"text.next=[b]", MALLOC_FAILED},
          {"line=[key = a \\] text.next=[b]", MALLOC_FAILED " <Unable to malloc 10 bytes>"},
          {"line=[key = a \\] text.last=[key = a \\] text.next=[b]", ""}}},
        {OP(Stream_ReadLine(f.handle, f.line)),  // gathered over reads, delivered, copied
         {{"handle.next=[z]", MALLOC_FAILED},
          {"handle.next=[z]", MALLOC_FAILED},
          {"line=[qqq... handle.next=[z]", MALLOC_FAILED " <Unable to malloc 301 bytes>"},
          {"line=[qqq... handle.last=[qqq... handle.next=[z]", ""}}},
        {OP(Stream_ReadLogicalLine(f.text, f.line)),  // a lost physical line loses its logical line
         {{"", NO_STRING},
          {"text.next=[b]", MALLOC_FAILED},
          {"line=[key = a b] text.last=[   b] text.next=[next]", MALLOC_FAILED " <Unable to malloc 10 bytes>"},
          {"text.next=[next]", MALLOC_FAILED},
          {"line=[key = a b] text.next=[next]", MALLOC_FAILED " <Unable to malloc 5 bytes>"},
          {"text.last=[   b] text.next=[next]", MALLOC_FAILED},
          {"line=[key = a b] text.last=[   b] text.next=[next]", ""}}},
    };
    ReportsAndRecords told;
    for (const Case &c : cases) {
        const size_t row = &c - cases;
        for (size_t k = 1; k <= c.runs.size(); ++k) {
            const long before = AllocShim_Live();
            Fixture f;
            Prepare(f);
            AllocShim_FailAt(static_cast<long>(k));
            c.op(f);
            const bool injected = AllocShim_Injected();
            AllocShim_Disarm();
            EXPECT_EQ(injected, k < c.runs.size()) << "row " << row << ", k " << k;
            EXPECT_EQ(Changes(f), c.runs[k - 1].changes) << "row " << row << ", k " << k;
            EXPECT_EQ(told.Since(), c.runs[k - 1].told) << "row " << row << ", k " << k;
            Clear(f);
            EXPECT_EQ(AllocShim_Live(), before) << "row " << row << ", leak at k " << k;
        }
    }
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

#define BROKEN(expr) " <Assertion failed: " expr ">"

}  // namespace

TEST(TextStreamFailures, BadInputIsReportedAndChangesNothingElse)
{
    struct Case { void (*op)(Fixture &); const char *changes, *told; };
    const Case cases[] = {
        {OP(String_ToLower(nullptr)), "", BROKEN("ps != NULL")},
        {OP(String_CollapseSpaces(nullptr)), "", BROKEN("ps != NULL")},
        {OP(String_TrimLineEnd(nullptr)), "", BROKEN("ps != NULL")},
        {OP(String_Wrap(nullptr, 5, 5, "> ")), "", BROKEN("ps != NULL")},
        {OP(f.result = String_SplitAt(f.s, '=', nullptr, f.after)), "result=1", BROKEN("ps != NULL")},
        {OP(f.result = String_Split(nullptr, ',', f.v)), "", BROKEN("chars != NULL")},
        {OP(f.result = String_Split("a,b", ',', nullptr)), "", BROKEN("vector != NULL")},
        {OP(f.result = String_Join(nullptr, ",", f.out)), "result=ref", " [999 String_Join: vector is NULL]" BROKEN("vector != NULL")},
        {OP(f.result = String_Join(f.v, nullptr, f.out)), "result=ref", " [999 String_Join: sep is NULL]" BROKEN("sep != NULL")},
        {OP(f.result = String_Join(f.v, ",", nullptr)), "result=ref", " [999 String_Join: out is NULL]" BROKEN("ps != NULL")},
        {JoinMixed, "out=[1,2,3,4,5,6,7,8,9,10] v+=(null)(other)(unset)",
         BROKEN("element != NULL") BROKEN("element->ftbl == &String_Table") BROKEN("element->bIsSet")},
        {OP(f.result = MemBlock_Resize(nullptr, 4)), "result=ref", " [999 MemBlock_Resize: mem is NULL]" BROKEN("mem!=NULL")},
        {OP(MemBlock_Destroy(nullptr)), "", BROKEN("mem!=NULL")},
        {OP(f.result = MemBlock_Resize(f.m, 0)), "m=(none)", ""},
        {ResizeAboveTwoGiB, "result=ref",
         " [999 Memory re-allocation of size 2147483648 failed] <Failed to re-allocate block of 2147483648 bytes>"},
        {OP(Stream_ReadLine(nullptr, f.line)), "", BROKEN("stream != NULL")},
        {OP(Stream_ReadLogicalLine(nullptr, f.line)), "", BROKEN("stream != NULL")},
        {OP(Stream_ReadLine(f.text, nullptr)), "", BROKEN("ps != NULL")},  // nothing consumed
        {OP(Stream_ReadHandleLine(f.text, f.line)), "", BROKEN("stream->type == HANDLE_STREAM")},
        {OP(Stream_ReadStringLine(f.handle, f.line)), "", BROKEN("stream->type == STRING_STREAM")},
        {OP(f.result = Stream_AtEnd(nullptr)), "result=1", BROKEN("stream != NULL")},
        {OP(Stream_Destroy(nullptr)), "", BROKEN("stream != NULL")},
    };
    ReportsAndRecords told;
    for (const Case &c : cases) {
        Fixture f;
        Prepare(f);
        c.op(f);
        EXPECT_EQ(Changes(f), c.changes) << "row " << &c - cases;
        EXPECT_EQ(told.Since(), c.told) << "row " << &c - cases;
        Clear(f);
    }
}
