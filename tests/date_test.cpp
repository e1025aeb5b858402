// Dates: texts in two time zones (children with TZ set), from two threads
// at once, and month words both ways.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <ctime>
#include <string>
#include <thread>

#include "support/child.h"
#include "support/outcome.h"

static std::string DateOf(time_t when)
{
    String *s = String_New();
    Date_Format(s, when);
    std::string date = ValueOf(s);
    String_Destroy(s);
    return date;
}

KEEL_CHILD(DatesAtGreenwich)
{
    CHILD_REQUIRE(DateOf(1798763400) == "1-jan-2027");  // half an hour after midnight
    if (sizeof(time_t) == 8)  // no local fields: unset
        CHILD_REQUIRE(DateOf(static_cast<time_t>(LLONG_MAX)) == "(unset)");
    // Two threads format their own times over and over, at once.
    std::atomic<int> wrong{0};
    auto format = [&wrong](time_t when, const char *date) {
        for (int round = 0; round < 3000; ++round) {
            if (DateOf(when) != date)
                ++wrong;
        }
    };
    std::thread a(format, 1798761600, "1-jan-2027");
    std::thread b(format, 951825600, "29-feb-2000");
    a.join();
    b.join();
    CHILD_REQUIRE(wrong == 0);
    return 0;
}

KEEL_CHILD(DatesWestOfGreenwich)
{
    CHILD_REQUIRE(DateOf(1798763400) == "31-dec-2026");
    return 0;
}

TEST(Date, TextIsTheDateInTheProcesssTimeZone)
{
    ChildResult at_greenwich = RunChild("DatesAtGreenwich", {{"TZ", "UTC0"}});
    EXPECT_EQ(at_greenwich.exit_code, 0) << at_greenwich.out;
    ChildResult west_of_it = RunChild("DatesWestOfGreenwich", {{"TZ", "EST5"}});
    EXPECT_EQ(west_of_it.exit_code, 0) << west_of_it.out;
}

TEST(Date, MonthWordsAreLowerCaseBothWays)
{
    ReportsAndRecords told;
    EXPECT_EQ(Date_MonthNumber("jan"), 1);
    EXPECT_EQ(Error_IsError(Date_MonthNumber("MAY")), 1);
    EXPECT_EQ(Error_IsError(Date_MonthNumber(nullptr)), 1);
    EXPECT_EQ(told.Since(), " [999 invalid month supplied: MAY] [999 invalid month supplied: (null)]"
                            " <Assertion failed: word != NULL>");
    // A month number outside 1 to 12 gives "UNK" and a stored record.
    struct Month { int month; const char *word; int refused; };
    const Month months[] = {{1, "jan", 0}, {12, "dec", 0}, {0, "UNK", 1}, {13, "UNK", 1}};
    String *s = String_NewFrom("old");
    for (const Month &c : months) {
        EXPECT_EQ(Error_IsError(Date_MonthName(c.month, s)), c.refused) << c.month;
        EXPECT_EQ(ValueOf(s), c.word) << c.month;
    }
    EXPECT_EQ(told.Since(), " [999 invalid month supplied: 0] [999 invalid month supplied: 13]");
    String_Destroy(s);
}
