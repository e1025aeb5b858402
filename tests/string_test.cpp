// Strings: equality and order, and every String and Error operation with each allocation failing in turn.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "support/alloc_shim.h"
#include "support/log_capture.h"
#include "util.h"

#define NO_STRING " <Unable to allocate String ps>"

namespace {

const std::string kBig(3000, 'y'), kCut = kBig.substr(0, 1023), kACut = "a" + kCut;
const std::string kAbab = [] { std::string ab = "ab"; for (int i = 0; i < 14; ++i) ab += ab; return ab; }();
char kAbc[3] = {'a', 'b', 'c'}, kForeign[] = "foreign";  // not NUL-terminated; an array no String owns
String kOtherText = {&String_Table, 1, kForeign, 7};
Error kOther = {&Error_Table, &kOtherText, nullptr, 0, 0, 0};  // of another class than String

String *Make(const char *chars) { return chars ? String_NewFrom(chars) : String_New(); }  // nullptr: unset
int32_t Renew(String *&s, String *made) { return String_Destroy(s), s = made, 0; }
int32_t Double(String *s, int times) { int32_t r = 0; while (times-- && !r) r = String_Append(s, s->string); return r; }
std::vector<std::string> Then(std::vector<std::string> v, const std::string &last) { return v.push_back(last), v; }

// What an operation left: the value ("null" without a String), " [code message]" of the record ref
// names (" [stray]" if it names none), " <message>" per report since the last call.  Destroys both.
struct Outcome {
    LogCapture cap;
    size_t seen = 0;
    std::string operator()(String *s, int32_t ref)
    {
        bool valid = !s || (s->bIsSet ? s->string && std::strlen(s->string) == s->length : !s->string && !s->length);
        std::string out = !s ? "null" : !valid ? "(invalid)" : s->bIsSet ? s->string : "(unset)";
        Error *e = Error_IsError(ref) ? Error_Take(ref) : nullptr;
        if (ref)
            out += !e ? " [stray]" : " [" + std::to_string(e->code) + " " +
                   (!e->message ? "(none)" : e->message->bIsSet ? e->message->string : "(unset)") + "]";
        Error_Destroy(e);
        if (s)
            String_Destroy(s);
        std::vector<std::string> m = cap.Messages();
        for (; seen < m.size(); ++seen)
            out += " <" + m[seen].substr(0, std::min(m[seen].find(" at util:"), m[seen].find(" in file "))) + ">";
        return out;
    }
};

// The runs of an operation whose only allocations make and store its record in a fresh store; a
// message "<operation>: <what> is NULL" follows the report of the broken precondition.
std::vector<std::string> Reported(const std::string &value, const std::string &message)
{
    size_t at = message.find(": ") + 2, is = message.rfind(" is NULL");
    std::string reports = is == message.npos ? "" : " <Assertion failed: " + message.substr(at, is - at) + " != NULL>";
    std::string head = value + " [999 ", store = value + reports + " <Unable to allocate ObjectVector vec>"
                                                 " <Assertion failed: global_error_store != NULL>";
    return {value + reports + " <Unable to allocate Error error>", head + "(none)]" + reports + NO_STRING,
            head + "(unset)]" + reports + " <Unable to malloc " + std::to_string(message.size() + 1) + " bytes>",
            store, store, head + message + "]" + reports};
}

}  // namespace

TEST(String, EqualTellsCaseApartWhileBagElementsSortIgnoringIt)
{
    struct Pair { const char *a, *b; int equal; };  // nullptr: unset
    for (const Pair &p : {Pair{nullptr, nullptr, 0}, Pair{"", "", 1}, Pair{nullptr, "", 0}, Pair{"", nullptr, 0},
                          Pair{"B", "b", 0}, Pair{"abc", "abc", 1}, Pair{"ab", "abc", 0}}) {
        String *a = Make(p.a), *b = Make(p.b);
        EXPECT_EQ(String_Equal(a, b), p.equal) << (p.a ? p.a : "(unset)") << " / " << (p.b ? p.b : "(unset)");
        String_Destroy(a), String_Destroy(b);
    }

    const char *texts[] = {"c", "B", "a", nullptr, "b"};  // nullptr: unset
    StringBagElem elems[5], *order[5];
    for (int i = 0; i < 5; ++i)
        elems[i] = {&StringBagElem_Table, Make(texts[i]), 0}, order[i] = &elems[i];
    qsort(order, 5, sizeof order[0], StringBagElem_Table.Compare);
    EXPECT_EQ(StringBagElem_Table.Compare(&order[2], &order[3]), 0);  // B and b
    std::string sorted;
    for (StringBagElem *e : order)
        sorted += e->text->bIsSet ? e->text->string : "-", String_Destroy(e->text);
    EXPECT_TRUE(sorted == "-aBbc" || sorted == "-abBc") << sorted;
}

// Runs: what Outcome shows with allocation k = 1, 2, ... failing; the last, nothing failing.
#define OP(expr) [](String *&s) -> int32_t { return expr; }
#define LOST "(unset) [999 malloc failed!]"  // the old value freed, the failure stored
#define MALLOC(n) " <Unable to malloc " #n " bytes>"
#define BROKEN(expr) " <Assertion failed: " expr ">"
#define PS BROKEN("ps != NULL")

TEST(String, EveryOperationWithEachAllocationFailingInTurn)
{
    struct Row { const char *start; int32_t (*op)(String *&); std::vector<std::string> runs; };
    const Row rows[] = {  // start nullptr: unset
        {nullptr, OP(String_Set(s, "")), {LOST MALLOC(1), ""}},
        {"x", OP(String_Format(s, "%s", "")), {LOST MALLOC(1), ""}},
        {"x", OP(String_SetN(s, "abc", 0)), {LOST, ""}},
        {nullptr, OP(String_SetN(s, "abc", 10)), {LOST, "abc"}},
        {nullptr, OP(String_SetN(s, kAbc, 3)), {LOST, "abc"}},
        {nullptr, OP(String_Append(s, "")), {LOST MALLOC(1), ""}},
        {"ab", OP(String_Append(s, "")), {"ab"}},
        {nullptr, OP(String_Append(s, "cd")), {LOST MALLOC(3), "cd"}},
        {"x", OP(String_AppendN(s, "abcdef", 3)), {LOST, "xabc"}},
        {"x", OP(String_AppendN(s, "ab", 10)), {LOST, "xab"}},
        {nullptr, OP(String_AppendN(s, "abc", 0)), {LOST, ""}},
        {"ab", OP(String_AppendChar(s, 'c')), {LOST, "abc"}},
        {nullptr, OP(String_AppendChar(s, 'c')), {LOST, "c"}},
        {nullptr, OP(String_Format(s, "%s", kBig.c_str())), {LOST MALLOC(1024), kCut}},
        {nullptr, OP(String_AppendFormat(s, "%s", "")), {LOST NO_STRING, LOST MALLOC(1), LOST MALLOC(1), ""}},
        {"a", OP(String_AppendFormat(s, "%s", kBig.c_str())), {LOST NO_STRING, LOST MALLOC(1024), LOST, kACut}},
        {"abc", OP((String_Clear(s), 0)), {"(unset)"}},
        {"foreign", OP(String_Equal(s, &kOther)), {"foreign"}},  // never equal, never read as a String
        {"abcdef", OP(String_Set(s, s->string + 2)), {LOST MALLOC(5), "cdef"}},  // from its own array
        {"abcdef", OP(String_SetN(s, s->string + 1, 3)), {LOST, "bcd"}},
        {"abcdef", OP(String_Append(s, s->string)), {LOST, "abcdefabcdef"}},
        {"abcdef", OP(String_AppendN(s, s->string + 4, 10)), {LOST, "abcdefef"}},
        {"abcdef", OP(String_Format(s, "%s|%s", s->string, s->string + 3)), {LOST MALLOC(11), "abcdef|def"}},
        {"ab", OP(Double(s, 14)), Then(std::vector<std::string>(14, LOST), kAbab)},  // its block moves under it
        {nullptr, OP(Renew(s, String_New())), {"null" NO_STRING, "(unset)"}},  // creators
        {nullptr, OP(Renew(s, String_NewFrom(""))), {"null" NO_STRING, "(unset)" MALLOC(1), ""}},
        {nullptr, OP(Renew(s, String_NewFormat("%s", kBig.c_str()))), {"null" NO_STRING, "(unset)" MALLOC(1024), kCut}},
        {nullptr, OP(Renew(s, String_NewFormat(nullptr))), {"null"}},
        {"", OP(Renew(s, String_Copy(s))), {"null" NO_STRING, "(unset)" MALLOC(1), ""}},
        {nullptr, OP(Renew(s, String_Copy(s))), {"null" NO_STRING, "(unset)"}},
        {nullptr, OP(Error_Store(Error_New("%s", kBig.c_str()))), Reported("(unset)", kCut)},
        {"x", OP(String_Set(s, nullptr)), Reported("x", "String_Set: chars is NULL")},  // broken preconditions
        {"x", OP(String_SetN(s, nullptr, 2)), Reported("x", "String_SetN: chars is NULL")},
        {"x", OP(String_Append(s, nullptr)), Reported("x", "String_Append: chars is NULL")},
        {"x", OP(String_AppendN(s, nullptr, 2)), Reported("x", "String_AppendN: chars is NULL")},
        {"x", OP(String_Format(s, nullptr)), Reported("x", "String_Format: format is NULL")},
        {"x", OP(String_AppendFormat(s, nullptr)), Reported("x", "String_AppendFormat: format is NULL")},
        {"x", OP(String_Set(nullptr, "x")), Reported("x", "String_Set: ps is NULL")},
        {"x", OP(String_SetN(nullptr, "x", 2)), Reported("x", "String_SetN: ps is NULL")},
        {"x", OP(String_Append(nullptr, "x")), Reported("x", "String_Append: ps is NULL")},
        {"x", OP(String_AppendN(nullptr, "x", 2)), Reported("x", "String_AppendN: ps is NULL")},
        {"x", OP(String_AppendChar(nullptr, 'x')), Reported("x", "String_AppendChar: ps is NULL")},
        {"x", OP(String_Format(nullptr, "x")), Reported("x", "String_Format: ps is NULL")},
        {"x", OP(String_AppendFormat(nullptr, "x")), Reported("x", "String_AppendFormat: ps is NULL")},
        {"x", OP(String_Length(nullptr) + String_IsSet(nullptr) + String_Equal(nullptr, nullptr)), {"x" PS PS PS PS}},
        {"x", OP(!!String_Copy(nullptr) + (String_Clear(nullptr), String_Destroy(nullptr), 0)), {"x" PS PS PS}},
        // Broken invariants are repaired; a stray array is dropped, never freed.
        {nullptr, OP((s->bIsSet = 1, s->length = 5, String_Length(s))), {"(unset)" BROKEN("ps->string != NULL")}},
        {nullptr, OP((s->string = kForeign, String_Append(s, "ab"))),
         {LOST BROKEN("ps->string == NULL") MALLOC(3), "ab" BROKEN("ps->string == NULL")}},
    };
    Outcome outcome;
    for (const Row &row : rows) {
        long base = AllocShim_Live(), n = row.runs.size();
        String *s = Make(row.start);
        int32_t ref = 0;
        long runs = AllocShim_Sweep([&] { ref = row.op(s); }, [&](long k, bool, long) {
            EXPECT_EQ(outcome(s, ref), k <= n ? row.runs[k - 1] : "(extra)") << "row " << &row - rows << ", k " << k;
            EXPECT_EQ(AllocShim_Live(), base) << "row " << &row - rows << ", leak at k " << k;
            s = Make(row.start);
        });
        EXPECT_EQ(runs, n) << "row " << &row - rows;
        String_Destroy(s);
    }
}
