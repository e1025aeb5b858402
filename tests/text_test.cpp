// The character helpers; their failures and bad input: text_stream_failures_test.cpp.
#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <string>

#include "support/child.h"
#include "support/outcome.h"

static String *Make(const char *chars)  // nullptr: unset
{
    return chars ? String_NewFrom(chars) : String_New();
}

TEST(Text, InPlaceHelpersRewriteTheirString)
{
    struct Case { void (*op)(String *); const char *text, *expected; };  // text nullptr: unset
    const Case cases[] = {
        {String_CollapseSpaces, "\t a \r\n b  ", "a b"},
        {String_CollapseSpaces, nullptr, "(unset)"},
        {String_TrimLineEnd, "a\r\n\r\n", "a"},
        {String_ToLower, "AZ az @[`{\xC9", "az az @[`{\xC9"},
    };
    for (const Case &c : cases) {
        String *s = Make(c.text);
        c.op(s);
        EXPECT_EQ(ValueOf(s), c.expected) << (c.text ? c.text : "(unset)");
        String_Destroy(s);
    }
}

TEST(Text, SplitAtTheFirstOccurrence)
{
    String *s = Make("a=b=");
    String *after = Make("old");
    EXPECT_EQ(String_SplitAt(s, '=', s, after), 0);  // the text itself as an output
    EXPECT_EQ(ValueOf(s), "a");
    EXPECT_EQ(ValueOf(after), "b=");
    EXPECT_EQ(String_SplitAt(s, '=', s, after), 1);  // not found: nothing changes
    EXPECT_EQ(ValueOf(after), "b=");
    String *unset = String_New();
    EXPECT_EQ(String_SplitAt(unset, '=', s, after), 1);  // nothing to split: nothing changes
    String_Destroy(unset);
    EXPECT_EQ(String_SplitAt(after, '=', s, after), 0);  // into another String, then itself
    EXPECT_EQ(ValueOf(s), "b");
    EXPECT_EQ(ValueOf(after), "");
    String_Set(after, "k=v");
    EXPECT_EQ(String_SplitAt(after, '=', after, after), 0);  // one String for all three
    EXPECT_EQ(ValueOf(after), "v");
    String_Destroy(s);
    String_Destroy(after);
}

TEST(Text, WrapBreaksAtSpacesOrInsideLongWords)
{
    struct Case { const char *text; int first, later; const char *prefix, *expected; };  // text nullptr: unset
    const Case cases[] = {
        {"ab cd efgh", 5, 5, nullptr, "ab\r\ncd\r\nefgh"},  // a space at the width is a break too
        {"   abcdef", 3, 3, nullptr, "\r\nabc\r\ndef"},  // a first line of spaces only
        {"ab \ncdefgh", 5, 4, "> ", "ab \n> cdef\r\n> gh"},  // a line end directly behind spaces
        {"ab", -7, -7, "-", "\r\n-a\r\n-b"},
    };
    for (const Case &c : cases) {
        String *s = Make(c.text);
        String_Wrap(s, c.first, c.later, c.prefix);
        EXPECT_EQ(ValueOf(s), c.expected) << (c.text ? c.text : "(unset)");
        String_Destroy(s);
    }
}

TEST(Text, SplitKeepsEmptyPiecesAndJoinPutsThemBack)
{
    Vector *v = ObjectVector_New();
    Vector_Append(v, String_NewFrom("x"));
    EXPECT_EQ(String_Split("a,,b", ',', v), 3);  // the pieces appended after "x"
    String *joined = Make("old");
    EXPECT_EQ(String_Join(v, ",", joined), 0);
    EXPECT_EQ(ValueOf(joined), "x,a,,b");
    EXPECT_EQ(String_Split(",", ',', v), 2);  // empty pieces at both ends
    EXPECT_EQ(String_Join(v, ",", joined), 0);
    EXPECT_EQ(ValueOf(joined), "x,a,,b,,");
    String_Destroy(joined);
    Vector_Destroy(v);
}

// Under a host locale whose bytes above 127 are letters, nothing changes.
KEEL_CHILD(TextUnderHostLocale)
{
    const char *name = std::getenv("KEEL_TEST_LOCALE");
    volatile int capital_e_acute = 0xC9;  // not a constant: gcc folds the C locale's answer
    if (!name || !std::setlocale(LC_ALL, name) || !std::isalpha(capital_e_acute))
        return 2;  // no such locale, or one that would prove nothing
    String *s = String_NewFrom("\xC9t\xC9\xA0 \xA0 X\x85");
    String_ToLower(s);
    String_CollapseSpaces(s);
    CHILD_REQUIRE(ValueOf(s) == "\xC9t\xC9\xA0 \xA0 x\x85");
    Stream *stream = Stream_OpenString("\xA0k\xA0 \\\n\xA0v\xA0\n");
    Stream_ReadLogicalLine(stream, s);
    CHILD_REQUIRE(ValueOf(s) == "\xA0k\xA0 \xA0v\xA0");
    Stream_Destroy(stream);
    String_Destroy(s);
    return 0;
}

TEST(Text, HostLocaleChangesNoCharacterClass)
{
#if defined(_WIN32)
    const std::string locale = ".1252";  // the code page: its bytes above 127 are letters
    ChildEnv env = {{"KEEL_TEST_LOCALE", locale}};
#else
    // A single-byte locale made for the test: hosts rarely install one.
    const std::string locale = "fr_FR.ISO-8859-1";
    TempDir made;
    std::string command = "localedef -i fr_FR -f ISO-8859-1 " + made.file(locale) + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        GTEST_SKIP() << "no single-byte locale: localedef could not make " << locale;
    ChildEnv env = {{"KEEL_TEST_LOCALE", locale}, {"LOCPATH", made.path()}};
#endif
    ChildResult r = RunChild("TextUnderHostLocale", env);
    if (r.exit_code == 2)
        GTEST_SKIP() << "locale " << locale << " cannot be set or classifies no byte above 127";
    EXPECT_EQ(r.exit_code, 0) << r.out;
}
