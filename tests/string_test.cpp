// Strings: unset against empty, equality and order, and every String and
// Error operation with each of its allocations failing in turn.
#include <gtest/gtest.h>

#include <cstring>

#include "support/alloc_shim.h"
#include "support/log_capture.h"
#include "util.h"

namespace {

const std::string kBig(3000, 'y');
const std::string kCut(1023, 'y');  // kBig formatted into the 1024-byte buffer
char kAbc[3] = {'a', 'b', 'c'};     // no NUL after it

String *Make(const char *chars) { return chars ? String_NewFrom(chars) : String_New(); }  // nullptr: unset

// Its characters, "(empty)", "(unset)", "(null)" for no String, or
// "(invalid)" when its fields break the rules of a String.
std::string ValueOf(const String *s)
{
    if (s == nullptr)
        return "(null)";
    if (!s->bIsSet)
        return s->string == nullptr && s->length == 0 ? "(unset)" : "(invalid)";
    if (s->string == nullptr || std::strlen(s->string) != s->length)
        return "(invalid)";
    return s->length == 0 ? "(empty)" : s->string;
}

// Takes and destroys the record ref names: its message, "" for no
// reference, "(stray)" when ref names none, "(no message)" or "(unset)".
std::string TakeRecordMessage(int32_t ref)
{
    if (ref == 0)
        return "";
    Error *e = Error_Take(ref);
    if (e == nullptr)
        return "(stray)";
    std::string message = e->message == nullptr ? "(no message)" : ValueOf(e->message);
    Error_Destroy(e);
    return message;
}

StringBagElem *NewElem(const char *text)
{
    StringBagElem *elem = static_cast<StringBagElem *>(malloc(sizeof(StringBagElem)));
    *elem = {&StringBagElem_Table, Make(text), 0};
    return elem;
}

int Sign(int n) { return n < 0 ? -1 : n > 0 ? 1 : 0; }

// A broken rule, repaired: a set String without characters becomes unset,
// its length 0.
int32_t LengthOfSetWithoutCharacters(String *s)
{
    s->bIsSet = 1;
    s->length = 5;
    return (int32_t)String_Length(s);
}

}  // namespace

TEST(String, UnsetIsNeitherEmptyNorEqualToAnything)
{
    struct EqualCase { const char *a, *b; int equal; };  // nullptr: unset
    const EqualCase kCases[] = {
        {nullptr, nullptr, 0},
        {nullptr, "", 0},
        {"", "", 1},
        {"B", "b", 0},
        {"ab", "abc", 0},
        {"abc", "abc", 1},
    };
    for (const EqualCase &c : kCases) {
        String *a = Make(c.a);
        String *b = Make(c.b);
        EXPECT_EQ(String_Equal(a, b), c.equal) << ValueOf(a) << " / " << ValueOf(b);
        String_Destroy(a);
        String_Destroy(b);
    }
    String *set = String_NewFrom("abc");
    Error *other_class = Error_New("abc");
    EXPECT_EQ(String_Equal(set, nullptr), 0);
    EXPECT_EQ(String_Equal(set, other_class), 0);  // as the Equal slot: never read as a String
    Error_Destroy(other_class);
    String_Destroy(set);
    String unset = {&String_Table, 0, nullptr, 0};
    String *copy_of_unset = String_Copy(&unset);
    EXPECT_EQ(ValueOf(copy_of_unset), "(unset)");
    String_Destroy(copy_of_unset);
}

// A formatted new String, or none without a format or a text.
TEST(String, NewFormatAndNewFromMakeASetStringOrNone)
{
    LogCapture log;
    String *made = String_NewFormat("%d-%s", 7, "x");
    EXPECT_EQ(ValueOf(made), "7-x");
    String_Destroy(made);
    EXPECT_EQ(String_NewFormat(nullptr), nullptr);
    EXPECT_EQ(String_NewFrom(nullptr), nullptr);
    EXPECT_EQ(log.NewReports(), "Assertion failed: chars != NULL");
}

// A copy whose characters cannot be allocated is unset, and says why.
TEST(String, CopyWithoutRoomForItsCharactersIsUnset)
{
    LogCapture log;
    String *source = String_NewFrom("abc");
    AllocShim_FailAt(2);
    String *copy = String_Copy(source);
    AllocShim_Disarm();
    EXPECT_EQ(ValueOf(copy), "(unset)");
    EXPECT_EQ(log.NewReports(), "Unable to malloc 4 bytes");
    String_Destroy(copy);
    String_Destroy(source);
}

// Elements order by their texts, ignoring the case of A-Z and taking bytes
// unsigned; no text sorts first.  Elements and bags are destroyed through
// their classes' tables, with what they hold.
TEST(String, BagElementsOrderIgnoringCaseUnsetFirst)
{
    struct OrderCase { const char *a, *b; int sign; };  // nullptr: unset
    const OrderCase kCases[] = {
        {"a", "B", -1},
        {"A", "a", 0},
        {"z", "Z", 0},
        {"ab", "a", 1},
        {"\xe9", "z", 1},
        {nullptr, "", -1},
        {"", nullptr, 1},
    };
    for (const OrderCase &c : kCases) {
        StringBagElem *a = NewElem(c.a);
        StringBagElem *b = NewElem(c.b);
        int order = StringBagElem_Table.Compare(&a, &b);
        EXPECT_EQ(Sign(order), c.sign) << ValueOf(a->text) << " / " << ValueOf(b->text);
        StringBagElem_Table.Destroy(a);
        StringBagElem_Table.Destroy(b);
    }
    StringBagElem *a = NewElem("a");
    StringBagElem textless = {&StringBagElem_Table, nullptr, 0};
    StringBagElem *none = &textless;
    EXPECT_EQ(Sign(StringBagElem_Table.Compare(&none, &a)), -1);
    StringBagElem_Table.Destroy(a);
    StringBag *bag = static_cast<StringBag *>(malloc(sizeof(StringBag)));
    *bag = {&StringBag_Table, reinterpret_cast<Object *>(NewElem("held"))};
    StringBag_Table.Destroy(bag);
}

// Each failed allocation leaves the String unset and stores "malloc
// failed!"; the run with nothing failing gives the value.  The reports of
// all runs together: only String_Set and what goes through it write them.
TEST(String, EveryChangeWithEachAllocationFailingInTurn)
{
    struct ChangeCase { const char *name, *start; int32_t (*op)(String *); int failures; std::string value; const char *reports; };
    const ChangeCase kCases[] = {  // start nullptr: unset
        {"set empty", nullptr, [](String *s) { return String_Set(s, ""); }, 1, "(empty)", "Unable to malloc 1 bytes"},
        {"set n without a NUL", nullptr, [](String *s) { return String_SetN(s, kAbc, 3); }, 1, "abc", ""},
        {"append empty to set", "ab", [](String *s) { return String_Append(s, ""); }, 0, "ab", ""},
        {"append n up to the NUL", "x", [](String *s) { return String_AppendN(s, "ab", 10); }, 1, "xab", ""},
        {"append to unset", nullptr, [](String *s) { return String_Append(s, "ab"); }, 1, "ab", "Unable to malloc 3 bytes"},
        {"append a character to unset", nullptr, [](String *s) { return String_AppendChar(s, 'c'); }, 1, "c", ""},
        {"append format, cut", "a", [](String *s) { return String_AppendFormat(s, "%s", kBig.c_str()); }, 3, "a" + kCut,
         "Unable to allocate String ps / Unable to malloc 1024 bytes"},
        {"set from its own array", "abcdef", [](String *s) { return String_Set(s, s->string + 2); }, 1, "cdef", "Unable to malloc 5 bytes"},
        {"set without characters", nullptr, LengthOfSetWithoutCharacters, 0, "(unset)", "Assertion failed: ps->string != NULL"},
        {"append itself", "abcdef", [](String *s) { return String_Append(s, s->string); }, 1, "abcdefabcdef", ""},
    };
    for (const ChangeCase &c : kCases) {
        SCOPED_TRACE(c.name);
        LogCapture log;
        long live = AllocShim_Live();
        String *s = Make(c.start);
        int32_t ref = 0;
        long runs = AllocShim_Sweep([&] { ref = c.op(s); }, [&](long, bool injected, long) {
            EXPECT_EQ(ValueOf(s), injected ? "(unset)" : c.value);
            EXPECT_EQ(TakeRecordMessage(ref), injected ? "malloc failed!" : "");
            String_Destroy(s);
            EXPECT_EQ(AllocShim_Live(), live);
            s = Make(c.start);
        });
        String_Destroy(s);
        EXPECT_EQ(runs, c.failures + 1);
        EXPECT_EQ(log.NewReports(), c.reports);
    }
}

// A broken precondition is reported and stored as a record; the String is
// left as it was.
TEST(String, NullArgumentsAreReportedAndStored)
{
    struct NullCase { int32_t (*op)(String *); const char *record, *report; };
    const NullCase kCases[] = {
        {[](String *s) { return String_Set(s, nullptr); }, "String_Set: chars is NULL", "Assertion failed: chars != NULL"},
        {[](String *) { return String_SetN(nullptr, "x", 2); }, "String_SetN: ps is NULL", "Assertion failed: ps != NULL"},
        {[](String *s) { return String_Append(s, nullptr); }, "String_Append: chars is NULL", "Assertion failed: chars != NULL"},
        {[](String *s) { return String_AppendN(s, nullptr, 2); }, "String_AppendN: chars is NULL", "Assertion failed: chars != NULL"},
        {[](String *) { return String_AppendChar(nullptr, 'x'); }, "String_AppendChar: ps is NULL", "Assertion failed: ps != NULL"},
        {[](String *) { return String_AppendFormat(nullptr, "x"); }, "String_AppendFormat: ps is NULL", "Assertion failed: ps != NULL"},
        {[](String *s) { return String_Format(s, nullptr); }, "String_Format: format is NULL", "Assertion failed: format != NULL"},
    };
    LogCapture log;
    for (const NullCase &c : kCases) {
        SCOPED_TRACE(c.record);
        String *s = String_NewFrom("x");
        int32_t ref = c.op(s);
        EXPECT_EQ(ValueOf(s), "x");
        EXPECT_EQ(TakeRecordMessage(ref), c.record);
        EXPECT_EQ(log.NewReports(), c.report);
        String_Destroy(s);
    }
    EXPECT_EQ(String_Length(nullptr), 0u);
    EXPECT_EQ(String_IsSet(nullptr), 0);
    EXPECT_EQ(log.NewReports(), "Assertion failed: ps != NULL / Assertion failed: ps != NULL");
}

// The record and the reports of each failed allocation: of the record, its
// message, the message's characters, the store's object and its block.
TEST(Error, NewRecordStoredWithEachAllocationFailingInTurn)
{
    struct Run { std::string record; const char *reports; };
    const Run kRuns[] = {
        {"", "Unable to allocate Error error"},
        {"(no message)", "Unable to allocate String ps"},
        {"(unset)", "Unable to malloc 1024 bytes"},
        {"", "Unable to allocate ObjectVector vec / Assertion failed: global_error_store != NULL"},
        {"", "Unable to allocate ObjectVector vec / Assertion failed: global_error_store != NULL"},
        {kCut, ""},
    };
    LogCapture log;
    long live = AllocShim_Live();
    int32_t ref = 0;
    long runs = AllocShim_Sweep([&] { ref = Error_Store(Error_New("%s", kBig.c_str())); }, [&](long k, bool, long) {
        ASSERT_LE(k, 6);
        EXPECT_EQ(TakeRecordMessage(ref), kRuns[k - 1].record) << k;
        EXPECT_EQ(log.NewReports(), kRuns[k - 1].reports) << k;
    });
    EXPECT_EQ(runs, 6);
    EXPECT_EQ(AllocShim_Live(), live);
}
