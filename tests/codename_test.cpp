// Code/name pairs: names of edge codes, digits, equality and copies, failed
// appends, null objects, and names to codes and back.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>

#include "support/alloc_shim.h"
#include "support/outcome.h"
#include "util.h"

namespace {

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
        {129, 0, "AB"},                           // the first character in the lowest bits
        {4097, 0, "A"},                           // digit 1 is 0: digit 2 is never read
        {0xFFFFFFFF, 0xFFFFFFFF, "__________O"},  // digit 10 has four bits
        {0xFFFFFFFF, 15, "______"},               // digit 5 from both words
        {0xC0000000, 15, "(unset)"},              // bits 30 to 35 only: digit 0 ends it
    };
    for (const Case &c : cases)
        EXPECT_EQ(NameOf(c.low, c.high), c.name) << std::hex << c.high << ":" << c.low;
}

TEST(CodeName, DigitTakesSixBitsAndIsZeroOutsideTheEleven)
{
    const uint32_t all[2] = {0xFFFFFFFF, 0xFFFFFFFF};
    const uint32_t straddle[2] = {0x80000000, 0x5};  // digit 5: 2 + 4 * 5
    EXPECT_EQ(CodeName_Digit(all, 10), 15);
    EXPECT_EQ(CodeName_Digit(all, 11), 0);
    EXPECT_EQ(CodeName_Digit(straddle, 5), 22);
    EXPECT_EQ(CodeName_Digit(all, -1), 0);
}

TEST(CodeName, EqualNeedsBothWordsAndCopiesAreEqual)
{
    const uint32_t code[2] = {5, 7};
    const uint32_t other_high[2] = {5, 8};
    CodeName *a = CodeName_FromCode(code);
    CodeName *b = CodeName_FromCode(other_high);
    CodeName *copy = CodeName_Copy(a);
    CodeName *zero = CodeName_New();
    EXPECT_EQ(CodeName_Equal(a, b), 0);
    EXPECT_EQ(CodeName_Equal(a, copy), 1);
    EXPECT_EQ(zero->codeLow, 0u);
    EXPECT_EQ(zero->codeHigh, 0u);
    for (CodeName *c : {a, b, copy, zero})
        c->ftbl->Destroy(c);
}

TEST(CodeName, NullObjectsAreReportedAndNotRead)
{
    ReportsAndRecords told;
    const uint32_t code[2] = {1, 0};
    CodeName *a = CodeName_FromCode(code);
    String *s = String_NewFrom("kept");
    EXPECT_EQ(CodeName_Copy(nullptr), nullptr);
    EXPECT_EQ(CodeName_Equal(nullptr, a), 0);
    EXPECT_EQ(CodeName_Equal(a, nullptr), 0);
    CodeName_ToString(nullptr, s);
    CodeName_ToString(a, nullptr);
    EXPECT_STREQ(s->string, "kept");
    EXPECT_EQ(told.Since(),
              " <Assertion failed: codename != NULL> <Assertion failed: a != NULL> <Assertion failed: b != NULL>"
              " <Assertion failed: codename != NULL> <Assertion failed: ps != NULL>");
    String_Destroy(s);
    Object_Free(a);
}

TEST(CodeName, FailedAppendLeavesOnlyTheLaterCharactersAndItsRecordStored)
{
    // The name "ABC", with its first, second and third append failing.
    struct Case { long fail_at; const char *name; };
    const Case cases[] = {
        {1, "BC"},
        {2, "C"},
        {3, "(unset)"},
    };
    const uint32_t code[2] = {1 + 2 * 64 + 3 * 4096, 0};
    CodeName *abc = CodeName_FromCode(code);
    String *s = String_New();
    ReportsAndRecords told;
    for (const Case &c : cases) {
        AllocShim_FailAt(c.fail_at);
        CodeName_ToString(abc, s);
        AllocShim_Disarm();
        EXPECT_EQ(s->bIsSet ? s->string : "(unset)", std::string(c.name));
        EXPECT_EQ(told.Since(), " [999 malloc failed!]");
    }
    String_Destroy(s);
    Object_Free(abc);
}

TEST(CodeName, EveryNameRoundTripsThroughItsCode)
{
    // Names of one to eleven characters drawn at random; the eleventh from
    // "A"-"O", the only ones digit 10 can hold.
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_";
    std::mt19937 random(20270101);
    for (int n = 0; n < 50000; ++n) {
        size_t length = 1 + random() % 11;
        std::string name;
        for (size_t i = 0; i < length; ++i)
            name += alphabet[random() % (i == 10 ? 15 : alphabet.size())];
        uint32_t code[2] = {0xDEAD, 0xBEEF};
        ASSERT_EQ(CodeName_FromName(name.c_str(), code), 0) << name;
        ASSERT_EQ(NameOf(code[0], code[1]), name);
    }
}

TEST(CodeName, FromNameRefusesWhatNoCodeHolds)
{
    const char *refused[] = {
        "a b",
        "\xc3\x84",       // bytes above 127
        "ABCDEFGHIJKL",   // twelve
        "AAAAAAAAAAP",    // the eleventh beyond "O"
        nullptr,
    };
    ReportsAndRecords told;
    for (const char *name : refused) {
        uint32_t code[2] = {0xDEAD, 0xBEEF};
        EXPECT_EQ(Error_IsError(CodeName_FromName(name, code)), 1) << name;
        EXPECT_EQ(code[0], 0u) << name;
        EXPECT_EQ(code[1], 0u) << name;
    }
    EXPECT_EQ(told.Since(),
              " [999 invalid code name: a b] [999 invalid code name: \xc3\x84] [999 invalid code name: ABCDEFGHIJKL]"
              " [999 invalid code name: AAAAAAAAAAP] [999 invalid code name: (null)] <Assertion failed: name != NULL>");
    uint32_t code[2] = {0xDEAD, 0xBEEF};
    EXPECT_EQ(Error_IsError(CodeName_FromName("A", nullptr)), 1);
    EXPECT_EQ(told.Since(), " [999 CodeName_FromName: code is NULL] <Assertion failed: code != NULL>");
    EXPECT_EQ(CodeName_FromName("", code), 0);
    EXPECT_EQ(code[0], 0u);
}
