// Strings and Error records: unset against empty, and allocations failing.
#include <gtest/gtest.h>

#include "support/alloc_shim.h"
#include "support/outcome.h"
#include "util.h"

namespace {

const std::string kBig(3000, 'y');
const std::string kCut(1023, 'y');  // kBig formatted into the 1024-byte buffer
char kAbc[3] = {'a', 'b', 'c'};     // no NUL after it

String *Make(const char *chars) { return chars ? String_NewFrom(chars) : String_New(); }  // nullptr: unset

// Takes and destroys the record ref names: its message, "" for no
// reference, "(stray)" when ref names none.
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

const char kNoText[] = "(no text)";  // an element without a String at all

StringBagElem *NewElem(const char *chars)  // nullptr: an unset text
{
    StringBagElem *elem = static_cast<StringBagElem *>(malloc(sizeof(StringBagElem)));
    *elem = {&StringBagElem_Table, chars == kNoText ? nullptr : Make(chars), 0};
    return elem;
}

// A broken rule, repaired: a set String without characters becomes unset,
// its length 0.
int32_t LengthOfSetWithoutCharacters(String *s)
{
    s->bIsSet = 1;
    s->length = 5;
    return (int32_t)String_Length(s);
}

int Sign(int n) { return n < 0 ? -1 : n > 0 ? 1 : 0; }

}  // namespace

// A copy keeps unset apart from empty; a new String is formatted or made
// from characters, or there is none.
TEST(String, CopiesAndNewStrings)
{
    LogCapture log;
    String unset = {&String_Table, 0, nullptr, 0};
    String *copy_of_unset = String_Copy(&unset);
    EXPECT_EQ(ValueOf(copy_of_unset), "(unset)");
    String_Destroy(copy_of_unset);
    String *made = String_NewFormat("%d-%s", 7, "x");
    String *copy = String_Copy(made);
    EXPECT_EQ(ValueOf(copy), "7-x");
    String_Destroy(copy);
    String_Destroy(made);
    AllocShim_FailAt(2);  // the characters, after the String
    String *unmade = String_NewFormat("%d", 7);
    AllocShim_Disarm();
    String_Destroy(unmade);
    EXPECT_EQ(String_NewFormat(nullptr), nullptr);
    EXPECT_EQ(String_NewFrom(nullptr), nullptr);
    EXPECT_EQ(log.NewReports(), "Unable to malloc 2 bytes / Assertion failed: chars != NULL");
}

// Bag elements order by text ignoring the case of A-Z, bytes unsigned, an
// unset text or none first; a bag is destroyed through its table with what it holds.
TEST(String, BagElementsOrderIgnoringCaseUnsetFirst)
{
    struct OrderCase { const char *a, *b; int sign; };  // nullptr: unset
    const OrderCase kCases[] = {
        {"a", "B", -1},
        {"Z", "z", 0},
        {"\xe9", "z", 1},
        {nullptr, "", -1},
        {kNoText, "", -1},
    };
    for (const OrderCase &c : kCases) {
        StringBagElem *a = NewElem(c.a);
        StringBagElem *b = NewElem(c.b);
        EXPECT_EQ(Sign(StringBagElem_Table.Compare(&a, &b)), c.sign) << ValueOf(a->text) << " / " << ValueOf(b->text);
        StringBagElem_Table.Destroy(a);
        StringBagElem_Table.Destroy(b);
    }
    StringBag *bag = static_cast<StringBag *>(malloc(sizeof(StringBag)));
    *bag = {&StringBag_Table, reinterpret_cast<Object *>(NewElem("held"))};
    StringBag_Table.Destroy(bag);
}

TEST(String, UnsetIsNeitherEmptyNorEqualToAnything)
{
    struct EqualCase { const char *a, *b; int equal; };  // nullptr: unset
    const EqualCase kCases[] = {
        {nullptr, nullptr, 0},
        {nullptr, "", 0},
        {"", "", 1},
        {"ab", "abc", 0},
    };
    for (const EqualCase &c : kCases) {
        String *a = Make(c.a);
        String *b = Make(c.b);
        EXPECT_EQ(String_Equal(a, b), c.equal) << ValueOf(a) << " / " << ValueOf(b);
        String_Destroy(a);
        String_Destroy(b);
    }
}

// Each failed allocation leaves the String unset and stores "malloc
// failed!"; the run with nothing failing gives the value.  The reports are
// those of all runs together.
TEST(String, EveryChangeWithEachAllocationFailingInTurn)
{
    struct ChangeCase { const char *name, *start; int32_t (*op)(String *); int failures; std::string value; const char *reports; };
    const ChangeCase kCases[] = {  // start nullptr: unset
        {"set n without a NUL", nullptr, [](String *s) { return String_SetN(s, kAbc, 3); }, 1, "abc", ""},
        {"append n up to the NUL", "x", [](String *s) { return String_AppendN(s, "ab", 10); }, 1, "xab", ""},
        {"append nothing", "ab", [](String *s) { return String_Append(s, ""); }, 0, "ab", ""},
        {"append to unset", nullptr, [](String *s) { return String_Append(s, "ab"); }, 1, "ab", "Unable to malloc 3 bytes"},
        {"append format, cut", "a", [](String *s) { return String_AppendFormat(s, "%s", kBig.c_str()); }, 3, "a" + kCut,
         "Unable to allocate String ps / Unable to malloc 1024 bytes"},
        {"set from its own array", "abcdef", [](String *s) { return String_Set(s, s->string + 2); }, 1, "cdef", "Unable to malloc 5 bytes"},
        {"append itself", "abcdef", [](String *s) { return String_Append(s, s->string); }, 1, "abcdefabcdef", ""},
        {"set without characters", nullptr, LengthOfSetWithoutCharacters, 0, "(unset)", "Assertion failed: ps->string != NULL"},
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

// A broken precondition is reported and stored; the String is left as it was.
TEST(String, NullCharactersAreReportedAndStored)
{
    LogCapture log;
    String *s = String_NewFrom("x");
    EXPECT_EQ(TakeRecordMessage(String_Set(s, nullptr)), "String_Set: chars is NULL");
    EXPECT_EQ(TakeRecordMessage(String_SetN(s, nullptr, 1)), "String_SetN: chars is NULL");
    EXPECT_EQ(TakeRecordMessage(String_Append(s, nullptr)), "String_Append: chars is NULL");
    EXPECT_EQ(TakeRecordMessage(String_Format(s, nullptr)), "String_Format: format is NULL");
    EXPECT_EQ(ValueOf(s), "x");
    EXPECT_EQ(String_Length(nullptr), 0u);
    EXPECT_EQ(log.NewReports(), "Assertion failed: chars != NULL / Assertion failed: chars != NULL / "
                                "Assertion failed: chars != NULL / Assertion failed: format != NULL / "
                                "Assertion failed: ps != NULL");
    String_Destroy(s);
}

#if !defined(_WIN32)  // mingw's printf writes nothing for such a character instead
// A wide character the C locale cannot encode fails the formatting: each
// operation says so and leaves the String as it was.
TEST(String, FormatThatCannotBeAppliedIsTold)
{
    String *s = String_NewFrom("kept");
    int32_t appended = String_AppendFormat(s, "%ls", L"\u20ac");
    EXPECT_EQ(TakeRecordMessage(appended), "String_AppendFormat: the format cannot be applied");
    EXPECT_EQ(ValueOf(s), "kept");
    String *made = String_NewFormat("%ls", L"\u20ac");
    EXPECT_EQ(ValueOf(made), "(unset)");
    Error *record = Error_New("%ls", L"\u20ac");
    EXPECT_EQ(ValueOf(record->message), "(format error)");
    Error_Destroy(record);
    String_Destroy(made);
    String_Destroy(s);
}
#endif

// Allocations of the record, its message, the message's characters, the
// store's object and its block, each failing in turn.
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
