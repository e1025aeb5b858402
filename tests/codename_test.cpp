// Code/name pairs: codes to names and back, digits, equality, bad input.
#include <gtest/gtest.h>

#include "support/alloc_shim.h"
#include "support/outcome.h"

static std::string NameOf(uint32_t low, uint32_t high)
{
    uint32_t code[2] = {low, high};
    CodeName *codename = CodeName_FromCode(code);
    String *s = String_New();
    CodeName_ToString(codename, s);
    std::string name = ValueOf(s);
    String_Destroy(s);
    Object_Free(codename);
    return name;
}

TEST(CodeName, EdgeCodesGiveTheirNamesAndDigits)
{
    struct Case { uint32_t low, high; const char *name; };
    const Case cases[] = {
        {0, 0, "(unset)"},
        {129, 0, "AB"},                           // the first character in the lowest bits
        {4097, 0, "A"},                           // digit 1 is 0: digit 2 is never read
        {0xFFFFFFFF, 0xFFFFFFFF, "__________O"},  // digit 10 has four bits
        {0xFFFFFFFF, 15, "______"},               // digit 5 from both words
    };
    for (const Case &c : cases)
        EXPECT_EQ(NameOf(c.low, c.high), c.name) << std::hex << c.high << ":" << c.low;
    const uint32_t all[2] = {0xFFFFFFFF, 0xFFFFFFFF};
    const uint32_t straddle[2] = {0x80000000, 0x5};  // digit 5: 2 + 4 * 5
    EXPECT_EQ(CodeName_Digit(all, 0), 63);
    EXPECT_EQ(CodeName_Digit(all, 11), 0);
    EXPECT_EQ(CodeName_Digit(straddle, 5), 22);
}

// Each class of character, the eleventh from "A"-"O" (four bits); the fuzz
// target round-trips arbitrary names.
TEST(CodeName, NamesRoundTripThroughTheirCodes)
{
    for (const char *name : {"A", "Zaz09_", "ABCDEFGHIJO", "z9_z9_z9_zN"}) {
        uint32_t code[2] = {0xDEAD, 0xBEEF};
        ASSERT_EQ(CodeName_FromName(name, code), 0) << name;
        EXPECT_EQ(NameOf(code[0], code[1]), name);
    }
}

TEST(CodeName, FailedAppendLeavesOnlyTheLaterCharactersAndItsRecordStored)
{
    const uint32_t code[2] = {1 + 2 * 64 + 3 * 4096, 0};  // "ABC"
    CodeName *abc = CodeName_FromCode(code);
    String *s = String_New();
    ReportsAndRecords told;
    AllocShim_FailAt(1);
    CodeName_ToString(abc, s);
    AllocShim_Disarm();
    EXPECT_EQ(ValueOf(s), "BC");
    EXPECT_EQ(told.Since(), " [999 malloc failed!]");
    String_Destroy(s);
    Object_Free(abc);
}

TEST(CodeName, EqualNeedsBothWordsAndBadInputIsReportedNotRead)
{
    const uint32_t code[2] = {5, 7};
    const uint32_t other_high[2] = {5, 8};
    CodeName *a = CodeName_FromCode(code);
    CodeName *b = CodeName_FromCode(other_high);
    CodeName *copy = CodeName_Copy(a);
    EXPECT_EQ(CodeName_Equal(a, b), 0);
    EXPECT_EQ(CodeName_Equal(a, copy), 1);
    for (CodeName *c : {a, b, copy})
        c->ftbl->Destroy(c);
    ReportsAndRecords told;
    EXPECT_EQ(CodeName_Copy(nullptr), nullptr);
    EXPECT_EQ(CodeName_FromCode(nullptr), nullptr);
    EXPECT_EQ(CodeName_Equal(nullptr, nullptr), 0);
    EXPECT_EQ(CodeName_Digit(nullptr, 0), 0);
    String *s = String_New();
    CodeName_ToString(nullptr, s);
    String_Destroy(s);
    uint32_t cleared[2] = {0xDEAD, 0xBEEF};
    EXPECT_EQ(Error_IsError(CodeName_FromName("AAAAAAAAAAP", cleared)), 1);  // the eleventh beyond "O"
    EXPECT_EQ(cleared[0], 0u);
    EXPECT_EQ(Error_IsError(CodeName_FromName(nullptr, cleared)), 1);
    EXPECT_EQ(told.Since(), " [999 invalid code name: AAAAAAAAAAP] [999 invalid code name: (null)]"
                            " <Assertion failed: codename != NULL> <Assertion failed: code != NULL>"
                            " <Assertion failed: b != NULL> <Assertion failed: a != NULL>"
                            " <Assertion failed: code != NULL> <Assertion failed: codename != NULL>"
                            " <Assertion failed: name != NULL>");
}
