// Memory blocks and the character helpers: the in-place rewrites, split-at,
// wrap, split and join, each allocation failing in turn, bad input, and a
// host locale that classifies bytes of 128 and more.
#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/alloc_shim.h"
#include "support/child.h"
#include "support/outcome.h"
#include "util.h"

namespace {

String *Make(const char *chars)  // nullptr: unset
{
    return chars ? String_NewFrom(chars) : String_New();
}

std::string Value(const String *s)
{
    if (!s)
        return "(null)";
    if (!s->bIsSet)
        return s->string ? "(invalid)" : "(unset)";
    if (!s->string || std::strlen(s->string) != s->length)
        return "(invalid)";
    return s->string;
}

// The elements of a vector of Strings, each in brackets.
std::string Pieces(Vector *v)
{
    std::string out;
    for (int32_t i = 0; i < Vector_Length(v); ++i)
        out += "[" + Value(static_cast<String *>(Vector_GetAt(v, i))) + "]";
    return out;
}

Vector *Strings(const std::vector<const char *> &texts)  // an owning vector
{
    Vector *v = ObjectVector_New();
    for (const char *text : texts)
        Vector_Append(v, Make(text));
    return v;
}

}  // namespace

TEST(Text, InPlaceHelpersRewriteTheirString)
{
    struct Case { void (*op)(String *); const char *text, *expected; };  // nullptr: unset
    const Case cases[] = {
        {String_CollapseSpaces, "\t a \r\n b  ", "a b"},
        {String_CollapseSpaces, "   ", ""},
        {String_CollapseSpaces, "a\vb\fc", "a\vb\fc"},
        {String_CollapseSpaces, "\xA0 x\x85", "\xA0 x\x85"},
        {String_CollapseSpaces, nullptr, nullptr},
        {String_TrimLineEnd, "a\r\n\r\n", "a"},
        {String_TrimLineEnd, "a\n b", "a\n b"},
        {String_TrimLineEnd, "\n\r", ""},
        {String_TrimLineEnd, nullptr, nullptr},
        {String_ToLower, "AZ az @[`{", "az az @[`{"},
        {String_ToLower, "\xC9\xE9\xFF", "\xC9\xE9\xFF"},
        {String_ToLower, nullptr, nullptr},
    };
    for (const Case &c : cases) {
        String *s = Make(c.text);
        c.op(s);
        EXPECT_EQ(Value(s), c.expected ? c.expected : "(unset)") << (c.text ? c.text : "(unset)");
        String_Destroy(s);
    }
}

TEST(Text, SplitAtTheFirstOccurrence)
{
    struct Case { const char *text; char ch; int result; const char *before, *after; };  // nullptr: unset
    const Case cases[] = {
        {"key=value", '=', 0, "key", "value"},
        {"=x", '=', 0, "", "x"},
        {"a=b=", '=', 0, "a", "b="},
        {"abc", '=', 1, "old", "old"},
        {"", '=', 1, "old", "old"},
        {nullptr, '=', 1, "old", "old"},
    };
    for (const Case &c : cases) {
        String *s = Make(c.text);
        String *before = Make("old");
        String *after = Make("old");
        EXPECT_EQ(String_SplitAt(s, c.ch, before, after), c.result) << Value(s);
        EXPECT_EQ(Value(before), c.before) << Value(s);
        EXPECT_EQ(Value(after), c.after) << Value(s);
        String_Destroy(s);
        String_Destroy(before);
        String_Destroy(after);
    }
    String *s = Make("key=value");  // the text itself as an output
    String *after = Make("old");
    EXPECT_EQ(String_SplitAt(s, '=', s, after), 0);
    EXPECT_EQ(Value(s), "key");
    EXPECT_EQ(Value(after), "value");
    String_Destroy(s);
    String_Destroy(after);
}

TEST(Text, WrapBreaksAtSpacesOrInsideLongWords)
{
    const char *kNine = "abcdefghi abcdefghi abcdefghi abcdefghi abcdefghi abcdefghi abcdefghi abcdefghi "
                        "abcdefghi abcdefghi abcdefghi abcdefghi abcdefghi abcdefghi abcdefghi abcdefghi";
    struct Case { const char *text; int first, later; const char *prefix, *expected; };  // nullptr: unset
    const Case cases[] = {
        {"aaa bbb ccc", 5, 5, nullptr, "aaa\r\nbbb\r\nccc"},
        {"abcdefgh", 5, 5, nullptr, "abcde\r\nfgh"},
        {"aaa    bbb", 5, 5, nullptr, "aaa\r\nbbb"},
        {"aaa bbb ccc", 5, 5, "> ", "aaa\r\n> bbb\r\n> ccc"},
        {"ab\r\n\ncd ef", 4, 20, "> ", "ab\r\n\n> cd ef"},
        {"ab \ncdefgh", 5, 5, "> ", "ab \n> cdefg\r\n> h"},  // a line end directly behind spaces
        {kNine, 63, 72, "  ",
         "abcdefghi abcdefghi abcdefghi abcdefghi abcdefghi abcdefghi\r\n"
         "  abcdefghi abcdefghi abcdefghi abcdefghi abcdefghi abcdefghi abcdefghi\r\n"
         "  abcdefghi abcdefghi abcdefghi"},
        {"abc", 0, 0, nullptr, "\r\na\r\nb\r\nc"},
        {"ab", -7, -7, "-", "\r\n-a\r\n-b"},
        {"aaa bbb", 2147483647, 2147483647, nullptr, "aaa bbb"},
        {"", 5, 5, "> ", ""},
        {nullptr, 5, 5, "> ", nullptr},
    };
    for (const Case &c : cases) {
        String *s = Make(c.text);
        String_Wrap(s, c.first, c.later, c.prefix);
        EXPECT_EQ(Value(s), c.expected ? c.expected : "(unset)") << (c.text ? c.text : "(unset)");
        String_Destroy(s);
    }
}

TEST(Text, SplitKeepsEmptyPiecesAndJoinPutsThemBack)
{
    struct Case { const char *text; char sep; int32_t count; const char *pieces; };
    const Case cases[] = {
        {"a b", ' ', 2, "[x][a][b]"},
        {"", ' ', 1, "[x][]"},
        {"a,,b", ',', 3, "[x][a][][b]"},
        {"a,", ',', 2, "[x][a][]"},
        {"abc", '\0', 1, "[x][abc]"},
    };
    for (const Case &c : cases) {
        Vector *v = Strings({"x"});  // not emptied first
        EXPECT_EQ(String_Split(c.text, c.sep, v), c.count) << c.text;
        EXPECT_EQ(Pieces(v), c.pieces) << c.text;
        Vector_Destroy(v);
    }

    struct Join { std::vector<const char *> elements; const char *sep, *expected; };
    const Join joins[] = {
        {{}, ",", ""},
        {{"a"}, ", ", "a"},
        {{"a", "", "b"}, "--", "a----b"},
        {{"", ""}, "", ""},
    };
    for (const Join &j : joins) {
        Vector *v = Strings(j.elements);
        String *out = Make(nullptr);
        EXPECT_EQ(String_Join(v, j.sep, out), 0) << j.expected;
        EXPECT_EQ(Value(out), j.expected);
        String_Destroy(out);
        Vector_Destroy(v);
    }
}

// Each row: what the operation left after allocation k = 1, 2, ... failed;
// the last run, where nothing failed, shows the result.
struct TextFixture {
    String *s = nullptr, *a = nullptr, *b = nullptr;
    Vector *v = nullptr;
    MemBlock *m = nullptr;
    int32_t result = 0;
};

void Clear(TextFixture &f)
{
    for (String *s : {f.s, f.a, f.b})
        if (s)
            String_Destroy(s);
    if (f.v)
        Vector_Destroy(f.v);
    if (f.m)
        MemBlock_Destroy(f.m);
    f = TextFixture();
}

void Nothing(TextFixture &) {}
void Words(TextFixture &f) { f.s = Make("aaa bbb ccc"); }
void ThreeStrings(TextFixture &f)
{
    f.v = Strings({"a", "b", "c"});
    f.a = Make("old");
}
void NoStrings(TextFixture &f) { f.v = Strings({}); }
void FullVector(TextFixture &f) { f.v = Strings({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}); }

void KeyValue(TextFixture &f)
{
    f.s = Make("key=value");
    f.a = Make("old");
    f.b = Make("old");
}

void ThreeBytes(TextFixture &f)
{
    f.m = MemBlock_New(3);
    std::memcpy(f.m->bytes, "abc", 3);
}

std::string DescribeStrings(TextFixture &f)
{
    return Value(f.s) + " " + Value(f.a) + " " + Value(f.b) + " = " + std::to_string(f.result);
}

std::string DescribeVector(TextFixture &f) { return Pieces(f.v) + " = " + std::to_string(f.result); }
std::string DescribeJoin(TextFixture &f) { return Value(f.a) + (f.result ? " = ref" : " = 0"); }

std::string DescribeBlock(TextFixture &f)
{
    if (!f.m)
        return "(null)";
    std::string bytes = !f.m->bytes ? "(none)" : f.result ? std::string(static_cast<char *>(f.m->bytes), 3) : "bytes";
    return bytes + (f.result ? " = ref" : "");
}

struct SweepRow {
    void (*setup)(TextFixture &);
    void (*op)(TextFixture &);
    std::string (*describe)(TextFixture &);
    std::vector<std::string> runs;
};

#define MALLOC_FAILED " [999 malloc failed!]"
#define NO_STRING " <Unable to allocate String ps>"

TEST(Text, EveryOperationWithEachAllocationFailingInTurn)
{
    const SweepRow rows[] = {
        {Words, [](TextFixture &f) { String_Wrap(f.s, 5, 5, nullptr); }, DescribeStrings,
         {"aaa bbb ccc (null) (null) = 0" MALLOC_FAILED, "aaa\r\nbbb\r\nccc (null) (null) = 0"}},
        {KeyValue, [](TextFixture &f) { f.result = String_SplitAt(f.s, '=', f.a, f.b); }, DescribeStrings,
         {"key=value (unset) value = 0" MALLOC_FAILED,
          "key=value key (unset) = 0" MALLOC_FAILED " <Unable to malloc 6 bytes>",
          "key=value key value = 0"}},
        {ThreeStrings, [](TextFixture &f) { f.result = String_Join(f.v, ", ", f.a); }, DescribeJoin,
         {"(unset) = ref" MALLOC_FAILED, "a, b, c = 0"}},
        {NoStrings, [](TextFixture &f) { f.result = String_Split("a,,b", ',', f.v); }, DescribeVector,
         {" = 0" NO_STRING, " = 0 <Unable to malloc 2 bytes>",
          "[a] = 1" NO_STRING, "[a] = 1 <Unable to malloc 1 bytes>",
          "[a][] = 2" NO_STRING, "[a][] = 2 <Unable to malloc 2 bytes>",
          "[a][][b] = 3"}},
        {FullVector, [](TextFixture &f) { f.result = String_Split("a", ',', f.v); }, DescribeVector,
         {"[1][2][3][4][5][6][7][8][9][10] = 0" NO_STRING,
          "[1][2][3][4][5][6][7][8][9][10] = 0 <Unable to malloc 2 bytes>",
          "[1][2][3][4][5][6][7][8][9][10] = 0 <Assertion failed: v->data != NULL>",  // cannot grow
          "[1][2][3][4][5][6][7][8][9][10][a] = 1"}},
        {Nothing, [](TextFixture &f) { f.m = MemBlock_New(16); }, DescribeBlock,
         {"(null) <Unable to allocate MemBlock mem>", "(none) <Failed to allocate block of 16 bytes>", "bytes"}},
        {Nothing, [](TextFixture &f) { f.m = MemBlock_New(0); }, DescribeBlock,
         {"(null) <Unable to allocate MemBlock mem>", "(none)", "bytes"}},  // a 0-byte block: no report
        {ThreeBytes, [](TextFixture &f) { f.result = MemBlock_Resize(f.m, 100000); }, DescribeBlock,
         {"abc = ref [999 Memory re-allocation of size 100000 failed] <Failed to re-allocate block of 100000 bytes>",
          "bytes"}},
    };
    SweepOutcome outcome;
    for (const SweepRow &row : rows) {
        const long n = static_cast<long>(row.runs.size());
        const long base = AllocShim_Live();
        TextFixture f;
        row.setup(f);
        long runs = AllocShim_Sweep([&] { row.op(f); }, [&](long k, bool, long) {
            std::string left = row.describe(f) + outcome.Since();
            EXPECT_EQ(left, k <= n ? row.runs[k - 1] : "(extra)") << "row " << &row - rows;
            Clear(f);
            EXPECT_EQ(AllocShim_Live(), base) << "row " << &row - rows << ", leak at k " << k;
            row.setup(f);
        });
        EXPECT_EQ(runs, n) << "row " << &row - rows;
        Clear(f);
    }
}
