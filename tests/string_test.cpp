// String and StringBag: unset versus empty through every change, equality,
// text taken from the String's own array, long formats, broken
// preconditions, and each allocation of every operation failing in turn.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/alloc_shim.h"
#include "support/log_capture.h"
#include "util.h"

namespace {

// Messages that are the assertion report of `expr` in util, at any line.
int Asserts(const std::vector<std::string> &messages, const std::string &expr)
{
    std::string head = "Assertion failed: " + expr + " in file util on line ";
    int n = 0;
    for (auto &m : messages)
        n += m.size() > head.size() && m.compare(0, head.size(), head) == 0 &&
             m.find_first_not_of("0123456789", head.size()) == std::string::npos;
    return n;
}

bool Valid(const String *s)
{
    return s->bIsSet ? s->string && std::strlen(s->string) == s->length : !s->string && !s->length;
}

String *Make(const char *chars)  // nullptr: unset
{
    return chars ? String_NewFrom(chars) : String_New();
}

std::string TakeMessage(int32_t ref)
{
    Error *e = Error_IsError(ref) ? Error_Take(ref) : nullptr;
    std::string m = e && e->message && e->message->bIsSet ? e->message->string : "(none)";
    Error_Destroy(e);
    return m;
}

using Change = int32_t (*)(String *);

}  // namespace

// Null formats are passed on purpose.
#pragma GCC diagnostic ignored "-Wformat-security"
#pragma GCC diagnostic ignored "-Wformat-nonliteral"

TEST(String, UnsetAndEmptyThroughEveryChange)
{
    struct Row { const char *start; Change change; const char *want; };  // nullptr: unset
    static const char unterminated[3] = {'a', 'b', 'c'};
    const Row rows[] = {
        {nullptr, [](String *s) { return String_Set(s, ""); }, ""},
        {"x", [](String *s) { return String_SetN(s, "abc", 0); }, ""},
        {nullptr, [](String *s) { return String_SetN(s, "abc", 10); }, "abc"},
        {nullptr, [](String *s) { return String_SetN(s, unterminated, 3); }, "abc"},
        {"x", [](String *s) { return String_AppendN(s, "abcdef", 3); }, "xabc"},
        {nullptr, [](String *s) { return String_AppendN(s, "abc", 0); }, ""},
        {nullptr, [](String *s) { return String_Append(s, "ab"); }, "ab"},
        {nullptr, [](String *s) { return String_Append(s, ""); }, ""},
        {"ab", [](String *s) { return String_Append(s, ""); }, "ab"},
        {nullptr, [](String *s) { return String_AppendChar(s, 'z'); }, "z"},
        {"ab", [](String *s) { return String_AppendChar(s, 'c'); }, "abc"},
        {"old", [](String *s) { return String_Format(s, "%d-%s", 7, "x"); }, "7-x"},
        {nullptr, [](String *s) { return String_AppendFormat(s, "%03d", 7); }, "007"},
        {"a", [](String *s) { return String_AppendFormat(s, "%s", "bc"); }, "abc"},
        {"abc", [](String *s) { String_Clear(s); return int32_t(0); }, nullptr},
    };
    for (const Row &row : rows) {
        String *s = Make(row.start);
        EXPECT_EQ(row.change(s), 0);
        EXPECT_TRUE(Valid(s));
        EXPECT_EQ(String_IsSet(s), row.want != nullptr);
        EXPECT_EQ(String_Length(s), row.want ? std::strlen(row.want) : 0u);
        if (row.want && s->string) {
            EXPECT_STREQ(s->string, row.want);
        }
        String_Destroy(s);
    }
}

TEST(String, CopiesAndEquality)
{
    struct Pair { const char *a, *b; int equal; };
    for (const Pair &p : {Pair{nullptr, nullptr, 0}, Pair{"", "", 1}, Pair{nullptr, "", 0},
                          Pair{"B", "b", 0}, Pair{"abc", "abc", 1}, Pair{"ab", "abc", 0}}) {
        String *a = Make(p.a), *b = Make(p.b), *copy = String_Copy(a);
        EXPECT_EQ(String_Equal(a, b), p.equal) << (p.a ? p.a : "unset") << " / " << (p.b ? p.b : "unset");
        EXPECT_EQ(String_IsSet(copy), String_IsSet(a));
        EXPECT_EQ(String_Equal(copy, a), String_IsSet(a));
        String_Destroy(a);
        String_Destroy(b);
        String_Destroy(copy);
    }
    long before = AllocShim_Live();
    const char *none = nullptr;
    EXPECT_EQ(String_NewFormat(none), nullptr);
    EXPECT_EQ(AllocShim_Live(), before) << "a null format must allocate nothing";

    // As a container's Equal, an element of another class is never a match.
    LogCapture cap;
    String *probe = String_NewFrom("abc"), *same = String_NewFrom("abc");
    Error *other = Error_New("abc");
    Vector *v = Vector_New();
    Vector_Append(v, other);
    EXPECT_FALSE(Vector_Contains(v, probe));
    Vector_Append(v, same);
    EXPECT_TRUE(Vector_Contains(v, probe));
    EXPECT_EQ(cap.Count(), 0u);
    Vector_Destroy(v);
    Error_Destroy(other);
    String_Destroy(same);
    String_Destroy(probe);
}

TEST(String, ChangesMayReadTheStringsOwnCharacters)
{
    struct Row { Change change; const char *want; };
    const Row rows[] = {
        {[](String *s) { return String_Set(s, s->string + 2); }, "cdef"},
        {[](String *s) { return String_SetN(s, s->string + 1, 3); }, "bcd"},
        {[](String *s) { return String_Append(s, s->string); }, "abcdefabcdef"},
        {[](String *s) { return String_AppendN(s, s->string + 4, 10); }, "abcdefef"},
        {[](String *s) { return String_Format(s, "%s|%s", s->string, s->string + 3); }, "abcdef|def"},
    };
    for (const Row &row : rows) {
        String *s = String_NewFrom("abcdef");
        EXPECT_EQ(row.change(s), 0);
        EXPECT_STREQ(s->string, row.want);
        String_Destroy(s);
    }
    // Doubling moves the block again and again under the source.
    String *s = String_NewFrom("ab");
    for (int i = 0; i < 14; ++i)
        ASSERT_EQ(String_Append(s, s->string), 0);
    ASSERT_EQ(s->length, 2u << 14);
    EXPECT_EQ(std::string(s->string).find_first_not_of("ab"), std::string::npos);
    EXPECT_EQ(std::strncmp(s->string + s->length - 4, "abab", 4), 0);
    String_Destroy(s);
}

TEST(String, FormattedTextsAreCutAt1023Characters)
{
    std::string big(3000, 'y');
    String *s = String_New(), *t = String_NewFrom("a"), *n = String_NewFormat("%s", big.c_str());
    EXPECT_EQ(String_Format(s, "%s", big.c_str()), 0);
    EXPECT_EQ(String_AppendFormat(t, "%s", big.c_str()), 0);
    Error *e = Error_New("%s", big.c_str());
    EXPECT_EQ(std::string(s->string), big.substr(0, 1023));
    EXPECT_EQ(std::string(t->string), "a" + big.substr(0, 1023));
    EXPECT_EQ(n->length, 1023u);
    EXPECT_EQ(e->message->length, 1023u);
    Error_Destroy(e);
    String_Destroy(s);
    String_Destroy(t);
    String_Destroy(n);
}

TEST(String, BrokenPreconditionsAreReportedAndLeaveStringsValid)
{
    LogCapture cap;
    const char *none = nullptr;
    struct Row { const char *name; int32_t (*change)(String *, const char *); };
    const Row rows[] = {
        {"String_Set", [](String *s, const char *c) { return String_Set(s, c); }},
        {"String_SetN", [](String *s, const char *c) { return String_SetN(s, c, 2); }},
        {"String_Append", [](String *s, const char *c) { return String_Append(s, c); }},
        {"String_AppendN", [](String *s, const char *c) { return String_AppendN(s, c, 2); }},
        {"String_Format", [](String *s, const char *c) { return String_Format(s, c); }},
        {"String_AppendFormat", [](String *s, const char *c) { return String_AppendFormat(s, c); }},
    };
    for (const Row &row : rows) {
        const char *what = std::strstr(row.name, "Format") ? "format" : "chars";
        String *keep = String_NewFrom("keep");
        EXPECT_EQ(TakeMessage(row.change(keep, none)), std::string(row.name) + ": " + what + " is NULL");
        EXPECT_STREQ(keep->string, "keep");
        EXPECT_EQ(TakeMessage(row.change(nullptr, "x")), std::string(row.name) + ": ps is NULL");
        String_Destroy(keep);
    }
    EXPECT_EQ(TakeMessage(String_AppendChar(nullptr, 'x')), "String_AppendChar: ps is NULL");
    EXPECT_EQ(String_Length(nullptr), 0u);
    EXPECT_EQ(String_IsSet(nullptr), 0);
    EXPECT_EQ(String_Copy(nullptr), nullptr);
    EXPECT_EQ(String_Equal(nullptr, nullptr), 0);
    String_Clear(nullptr);
    String_Destroy(nullptr);
    auto m = cap.Messages();
    EXPECT_EQ(Asserts(m, "chars != NULL"), 4);
    EXPECT_EQ(Asserts(m, "format != NULL"), 2);
    EXPECT_EQ(Asserts(m, "ps != NULL"), 6 + 1 + 7);

    // Broken invariants are repaired: a set String without characters
    // becomes unset; a stray array of an unset String is dropped, not freed.
    String *lost = String_New(), *stray = String_New();
    lost->bIsSet = 1;
    lost->length = 5;
    char foreign[] = "foreign";
    stray->string = foreign;
    EXPECT_EQ(String_Length(lost), 0u);
    EXPECT_TRUE(Valid(lost));
    EXPECT_EQ(String_Append(stray, "ab"), 0);
    EXPECT_STREQ(stray->string, "ab");
    m = cap.Messages();
    EXPECT_EQ(Asserts(m, "ps->string != NULL"), 1);
    EXPECT_EQ(Asserts(m, "ps->string == NULL"), 1);
    String_Destroy(lost);
    String_Destroy(stray);
}

TEST(String, EachAllocationFailingInTurn)
{
    // Expected report per failing allocation, k = 1, 2, ...: "" none,
    // "S" the String record's, "M<n>" String_Set's "Unable to malloc <n> ...".
    struct Row {
        const char *start;  // nullptr: unset
        int32_t (*op)(String **s);
        bool creates;       // makes *s anew: a failure leaves no record
        std::vector<std::string> reports;
        const char *want;
    };
    const Row rows[] = {
        {"xy", [](String **s) { return String_Set(*s, "abc"); }, false, {"M4"}, "abc"},
        {nullptr, [](String **s) { return String_Set(*s, "abc"); }, false, {"M4"}, "abc"},
        {"xy", [](String **s) { return String_SetN(*s, "abcdef", 2); }, false, {""}, "ab"},
        {"ab", [](String **s) { return String_Append(*s, "cd"); }, false, {""}, "abcd"},
        {nullptr, [](String **s) { return String_Append(*s, "cd"); }, false, {"M3"}, "cd"},
        {"ab", [](String **s) { return String_AppendN(*s, "cdef", 2); }, false, {""}, "abcd"},
        {nullptr, [](String **s) { return String_AppendN(*s, "cdef", 2); }, false, {""}, "cd"},
        {"ab", [](String **s) { return String_AppendChar(*s, 'c'); }, false, {""}, "abc"},
        {nullptr, [](String **s) { return String_AppendChar(*s, 'c'); }, false, {""}, "c"},
        {"ab", [](String **s) { return String_Format(*s, "%d", 42); }, false, {"M3"}, "42"},
        {"ab", [](String **s) { return String_AppendFormat(*s, "%d", 42); }, false, {"S", "M3", ""}, "ab42"},
        {nullptr, [](String **s) { *s = String_New(); return int32_t(0); }, true, {"S"}, nullptr},
        {nullptr, [](String **s) { *s = String_NewFrom("abc"); return int32_t(0); }, true, {"S", "M4"}, "abc"},
        {nullptr, [](String **s) { *s = String_NewFormat("%d", 42); return int32_t(0); }, true, {"S", "M3"}, "42"},
        {"abc", [](String **s) { String *src = *s; *s = String_Copy(src); String_Destroy(src); return int32_t(0); },
         true, {"S", "M4"}, "abc"},
    };
    LogCapture cap;
    for (const Row &row : rows) {
        long k = 1;
        for (;; ++k) {
            size_t logged = cap.Count();
            long before = AllocShim_Live();
            String *s = row.creates && !row.start ? nullptr : Make(row.start);
            AllocShim_FailAt(k);
            int32_t ref = row.op(&s);
            bool injected = AllocShim_Injected();
            AllocShim_Disarm();
            // Plain variables only until the leak is measured.
            bool valid = !s || Valid(s), set = s && s->bIsSet;
            char text[64] = "";
            if (set)
                snprintf(text, sizeof text, "%s", s->string);
            Error *e = Error_IsError(ref) ? Error_Take(ref) : nullptr;
            int code = e ? e->code : 0;
            bool malloc_failed = e && e->message && e->message->bIsSet &&
                                 std::strcmp(e->message->string, "malloc failed!") == 0;
            Error_Destroy(e);
            if (s)
                String_Destroy(s);
            Lock_Enter(&global_error_lock);
            uint32_t kept = global_error_count;
            Lock_Leave(&global_error_lock);
            long leaked = AllocShim_Live() - before;

            std::string where = std::string(row.want ? row.want : "new") + " k=" + std::to_string(k);
            EXPECT_TRUE(valid) << where;
            EXPECT_EQ(leaked, 0) << where;
            EXPECT_EQ(kept, 0u) << where;
            std::vector<std::string> reports = cap.Messages();
            reports.erase(reports.begin(), reports.begin() + logged);
            if (!injected) {
                EXPECT_EQ(ref, 0) << where;
                EXPECT_STREQ(text, row.want ? row.want : "") << where;
                EXPECT_EQ(reports.size(), 0u) << where;
                break;
            }
            ASSERT_LE(size_t(k), row.reports.size()) << where << ": more allocations than expected";
            EXPECT_FALSE(set) << where;
            if (row.creates) {
                EXPECT_EQ(ref, 0) << where;
            } else {
                EXPECT_EQ(code, ERROR_CODE_INTERNAL) << where;
                EXPECT_TRUE(malloc_failed) << where;
            }
            const std::string &want = row.reports[k - 1];
            std::string expected = want.empty()    ? ""
                                   : want == "S"   ? "Unable to allocate String ps"
                                                   : "Unable to malloc " + want.substr(1) + " bytes at util:";
            ASSERT_EQ(reports.size(), want.empty() ? 0u : 1u) << where << ": " << testing::PrintToString(reports);
            if (!want.empty()) {
                EXPECT_EQ(reports[0].compare(0, expected.size(), expected), 0) << where << ": " << reports[0];
            }
        }
        EXPECT_EQ(size_t(k - 1), row.reports.size()) << (row.want ? row.want : "new");
    }
}

TEST(StringBag, ElementsSortByTextIgnoringCaseAndBagsDestroyTheirItems)
{
    long before = AllocShim_Live();
    Vector *items = ObjectVector_New();
    for (const char *text : {"c", "B", "a", (const char *)nullptr, "b"}) {
        StringBagElem *elem = static_cast<StringBagElem *>(malloc(sizeof(StringBagElem)));
        *elem = {&StringBagElem_Table, text ? String_NewFrom(text) : nullptr, 0};
        Vector_Append(items, elem);
    }
    Vector_Sort(items);
    std::string order;
    for (int32_t i = 0; i < Vector_Length(items); ++i) {
        StringBagElem *elem = static_cast<StringBagElem *>(Vector_GetAt(items, i));
        order += elem->text ? elem->text->string : "-";
    }
    EXPECT_TRUE(order == "-aBbc" || order == "-abBc") << order;
    void *slots[2] = {Vector_GetAt(items, 2), Vector_GetAt(items, 3)};  // B and b
    EXPECT_EQ(StringBagElem_Table.Compare(&slots[0], &slots[1]), 0);
    EXPECT_FALSE(String_Equal(static_cast<StringBagElem *>(slots[0])->text,
                              static_cast<StringBagElem *>(slots[1])->text));

    StringBag *bag = static_cast<StringBag *>(malloc(sizeof(StringBag)));
    *bag = {&StringBag_Table, reinterpret_cast<Object *>(items)};
    bag->ftbl->Destroy(bag);
    EXPECT_EQ(AllocShim_Live(), before);
}
