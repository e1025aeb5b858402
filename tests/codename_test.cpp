// Code/name pairs: names of edge codes, digits, equality and copies, failed
// appends, null objects, and names to codes and back.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <random>
#include <string>

#include "support/alloc_shim.h"
#include "support/child.h"
#include "support/log_capture.h"
#include "util.h"

namespace {

// A child's standard output with Windows' CR LF read as LF.
std::string Out(const ChildResult &r)
{
    std::string out;
    for (char c : r.out)
        if (c != '\r')
            out += c;
    return out;
}

std::string NameOf(uint32_t low, uint32_t high)
{
    uint32_t code[2] = {low, high};
    CodeName *codename = CodeName_FromCode(code);
    String *s = String_New();
    CodeName_ToString(codename, s);
    std::string name = s->bIsSet ? s->string : "(unset)";
    String_Destroy(s);
    Object_Free(codename);
    return name;
}

// The message of each report since the capture began, without its line.
std::vector<std::string> Reports(const LogCapture &capture)
{
    std::vector<std::string> reports;
    for (const std::string &m : capture.Messages())
        reports.push_back(m.substr(0, m.find(" on line ")));
    return reports;
}

std::string TakeMessage(int32_t ref)
{
    Error *e = Error_Take(ref);
    std::string message = e && e->message && e->message->bIsSet ? e->message->string : "(no record)";
    Error_Destroy(e);
    return message;
}

}  // namespace

TEST(CodeName, EdgeCodesGiveTheirNames)
{
    struct Case { uint32_t low, high; const char *name; };
    const Case cases[] = {
        {0, 0, "(unset)"},
        {1, 0, "A"},
        {26, 0, "Z"},
        {27, 0, "a"},
        {52, 0, "z"},
        {53, 0, "0"},
        {62, 0, "9"},
        {63, 0, "_"},
        {129, 0, "AB"},                          // the first character in the lowest bits
        {4097, 0, "A"},                          // digit 1 is 0: digit 2 is never read
        {0xFFFFFFFF, 0xFFFFFFFF, "__________O"}, // digit 10 has four bits
        {0xFFFFFFFF, 15, "______"},              // digit 5 from both words
        {0xC0000000, 15, "(unset)"},             // bits 30 to 35 only: digit 0 ends it
    };
    for (const Case &c : cases)
        EXPECT_EQ(NameOf(c.low, c.high), c.name) << std::hex << c.high << ":" << c.low;
}

TEST(CodeName, DigitTakesSixBitsAndIsZeroOutsideTheEleven)
{
    const uint32_t all[2] = {0xFFFFFFFF, 0xFFFFFFFF};
    const uint32_t straddle[2] = {0x80000000, 0x5};  // digit 5: 2 + 4 * 5
    const uint32_t top[2] = {0, 0x70000000};          // digit 10: 7
    struct Case { const uint32_t *code; int i, digit; };
    const Case cases[] = {
        {all, 10, 15},
        {all, 11, 0},
        {all, INT_MAX, 0},
        {straddle, 5, 22},
        {top, 10, 7},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CodeName_Digit(c.code, c.i), c.digit) << "digit " << c.i;
}

TEST(CodeName, EqualNeedsBothWordsAndCopiesAreEqual)
{
    const uint32_t code[2] = {5, 7};
    const uint32_t other_high[2] = {5, 8};
    CodeName *a = CodeName_FromCode(code);
    CodeName *b = CodeName_FromCode(other_high);
    CodeName *copy = CodeName_Copy(a);
    const uint32_t words[2] = {a->codeLow, a->codeHigh};
    CodeName *from_words = CodeName_FromCode(words);
    CodeName *zero = CodeName_New();
    EXPECT_EQ(CodeName_Equal(a, b), 0);
    EXPECT_EQ(CodeName_Equal(a, copy), 1);
    EXPECT_EQ(CodeName_Equal(copy, from_words), 1);
    EXPECT_EQ(zero->codeLow, 0u);
    EXPECT_EQ(zero->codeHigh, 0u);
    for (CodeName *c : {a, b, copy, from_words, zero})
        c->ftbl->Destroy(c);
}

TEST(CodeName, NullObjectsAreReportedAndNotRead)
{
    LogCapture capture;
    const uint32_t code[2] = {1, 0};
    CodeName *a = CodeName_FromCode(code);
    String *s = String_NewFrom("kept");
    EXPECT_EQ(CodeName_Copy(nullptr), nullptr);
    EXPECT_EQ(CodeName_FromCode(nullptr), nullptr);
    EXPECT_EQ(CodeName_Equal(nullptr, a), 0);
    EXPECT_EQ(CodeName_Equal(a, nullptr), 0);
    EXPECT_EQ(CodeName_Digit(nullptr, 0), 0);
    EXPECT_EQ(CodeName_Digit(code, -1), 0);
    EXPECT_EQ(CodeName_Digit(code, INT_MIN), 0);
    CodeName_ToString(nullptr, s);
    CodeName_ToString(a, nullptr);
    EXPECT_STREQ(s->string, "kept");
    uint32_t got[2] = {0xDEAD, 0xBEEF};
    EXPECT_EQ(TakeMessage(CodeName_FromName(nullptr, got)), "invalid code name: (null)");
    EXPECT_EQ(got[0], 0u);
    EXPECT_EQ(TakeMessage(CodeName_FromName("A", nullptr)), "CodeName_FromName: code is NULL");
    const std::vector<std::string> expected = {
        "Assertion failed: codename != NULL in file util",
        "Assertion failed: code != NULL in file util",
        "Assertion failed: a != NULL in file util",
        "Assertion failed: b != NULL in file util",
        "Assertion failed: code != NULL in file util",
        "Assertion failed: i >= 0 in file util",
        "Assertion failed: i >= 0 in file util",
        "Assertion failed: codename != NULL in file util",
        "Assertion failed: ps != NULL in file util",
        "Assertion failed: name != NULL in file util",
        "Assertion failed: code != NULL in file util",
    };
    EXPECT_EQ(Reports(capture), expected);
    String_Destroy(s);
    Object_Free(a);
}

// In a fresh store, so that each failure's record is 0x40000001: the name
// of "ABC" with its first, second and third append failing, then none.
KEEL_CHILD(CodeNameFailedAppends)
{
    long before = AllocShim_Live();
    const uint32_t code[2] = {1 + 2 * 64 + 3 * 4096, 0};
    CodeName *abc = CodeName_FromCode(code);
    String *s = String_New();
    for (long k = 1; k <= 4; ++k) {
        AllocShim_FailAt(k);
        CodeName_ToString(abc, s);
        AllocShim_Disarm();
        std::printf("%s [%s]\n", s->bIsSet ? s->string : "(unset)", TakeMessage(0x40000001).c_str());
    }
    String_Destroy(s);
    Object_Free(abc);
    std::printf("leak %ld\n", AllocShim_Live() - before);
    return 0;
}

TEST(CodeName, FailedAppendLeavesOnlyTheLaterCharactersAndItsRecordStored)
{
    ChildResult r = RunChild("CodeNameFailedAppends");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(Out(r),
              "BC [malloc failed!]\n"
              "C [malloc failed!]\n"
              "(unset) [malloc failed!]\n"
              "ABC [(no record)]\n"
              "leak 0\n");
}

TEST(CodeName, EveryNameRoundTripsThroughItsCode)
{
    // Names of one to eleven characters drawn at random; the eleventh from
    // "A"-"O", the only ones digit 10 can hold.
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_";
    std::mt19937 random(20270101);
    int failures = 0;
    for (int n = 0; n < 50000 && failures < 5; ++n) {
        size_t length = 1 + random() % 11;
        std::string name;
        for (size_t i = 0; i < length; ++i)
            name += alphabet[random() % (i == 10 ? 15 : alphabet.size())];
        uint32_t code[2] = {0xDEAD, 0xBEEF};
        int32_t ref = CodeName_FromName(name.c_str(), code);
        std::string back = NameOf(code[0], code[1]);
        if (ref != 0 || back != name) {
            ADD_FAILURE() << name << " came back as " << back;
            ++failures;
        }
    }
}

TEST(CodeName, FromNameRefusesWhatNoCodeHolds)
{
    struct Case { const char *name; const char *message; };
    const Case refused[] = {
        {"a b", "invalid code name: a b"},
        {"A-", "invalid code name: A-"},
        {"\xc3\x84", "invalid code name: \xc3\x84"},
        {"ABCDEFGHIJKL", "invalid code name: ABCDEFGHIJKL"},  // twelve
        {"AAAAAAAAAAP", "invalid code name: AAAAAAAAAAP"},    // eleventh beyond "O"
        {"AAAAAAAAAA_", "invalid code name: AAAAAAAAAA_"},
    };
    for (const Case &c : refused) {
        uint32_t code[2] = {0xDEAD, 0xBEEF};
        int32_t ref = CodeName_FromName(c.name, code);
        EXPECT_EQ(Error_IsError(ref), 1) << c.name;
        EXPECT_EQ(TakeMessage(ref), c.message);
        EXPECT_EQ(code[0], 0u) << c.name;
        EXPECT_EQ(code[1], 0u) << c.name;
    }
    uint32_t code[2] = {0xDEAD, 0xBEEF};
    EXPECT_EQ(CodeName_FromName("", code), 0);
    EXPECT_EQ(code[0], 0u);
    EXPECT_EQ(code[1], 0u);
    EXPECT_EQ(CodeName_FromName("AAAAAAAAAAO", code), 0);
    EXPECT_EQ(code[0], 0x41041041u);
    EXPECT_EQ(code[1], 0xF0410410u);
    const std::string long_name(2000, 'A');
    std::string message = TakeMessage(CodeName_FromName(long_name.c_str(), code));
    EXPECT_EQ(message, "invalid code name: " + std::string(1023 - 19, 'A'));
}
