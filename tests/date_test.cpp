// Dates: texts in two time zones and from many threads (children with TZ
// set), month words both ways, and bad input.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "support/alloc_shim.h"
#include "support/child.h"
#include "support/outcome.h"

namespace {

std::string DateOf(time_t when)
{
    String *s = String_New();
    Date_Format(s, when);
    std::string date = ValueOf(s);
    String_Destroy(s);
    return date;
}

}  // namespace

// TZ is read by the C runtime of both platforms (Windows: _tzset).
KEEL_CHILD(DatesAtGreenwich)
{
    CHILD_REQUIRE(DateOf(1798763400) == "1-jan-2027");  // half an hour after midnight
#if defined(_WIN32)
    CHILD_REQUIRE(DateOf(-1) == "(unset)");  // the Windows runtime has no local fields before 1970
#else
    CHILD_REQUIRE(DateOf(-86400) == "31-dec-1969");
#endif
    if (sizeof(time_t) == 8)
        CHILD_REQUIRE(DateOf(static_cast<time_t>(LLONG_MAX)) == "(unset)");
    return 0;
}

KEEL_CHILD(DatesWestOfGreenwich)
{
    CHILD_REQUIRE(DateOf(1798763400) == "31-dec-2026");
    CHILD_REQUIRE(DateOf(1798779600) == "1-jan-2027");  // midnight five hours west
    return 0;
}

// Each thread formats its own time over and over, all at once.
KEEL_CHILD(DatesFromManyThreads)
{
    std::atomic<int> wrong{0};
    auto format = [&wrong](time_t when, const char *date) {
        for (int round = 0; round < 3000; ++round) {
            if (DateOf(when) != date)
                ++wrong;
        }
    };
    std::thread a(format, 1798761600, "1-jan-2027");
    std::thread b(format, 951825600, "29-feb-2000");
    std::thread c(format, 2000000000, "18-may-2033");
    a.join();
    b.join();
    c.join();
    CHILD_REQUIRE(wrong == 0);
    return 0;
}

TEST(Date, TextIsTheDateInTheProcesssTimeZone)
{
    ChildResult at_greenwich = RunChild("DatesAtGreenwich", {{"TZ", "UTC0"}});
    EXPECT_EQ(at_greenwich.exit_code, 0) << at_greenwich.out;
    ChildResult west_of_it = RunChild("DatesWestOfGreenwich", {{"TZ", "EST5"}});
    EXPECT_EQ(west_of_it.exit_code, 0) << west_of_it.out;
    ChildResult threads = RunChild("DatesFromManyThreads", {{"TZ", "UTC0"}});
    EXPECT_EQ(threads.exit_code, 0) << threads.out;
}

TEST(Date, MonthWordsAreLowerCaseAndWhole)
{
    EXPECT_EQ(Date_MonthNumber("jan"), 1);
    EXPECT_EQ(Date_MonthNumber("dec"), 12);
    struct Case { const char *word, *told; };
    const Case refused[] = {
        {"May", " [999 invalid month supplied: May]"},
        {"MAY", " [999 invalid month supplied: MAY]"},
        {"may ", " [999 invalid month supplied: may ]"},
        {"january", " [999 invalid month supplied: january]"},
        {nullptr, " [999 invalid month supplied: (null)] <Assertion failed: word != NULL>"},
    };
    ReportsAndRecords told;
    for (const Case &c : refused) {
        EXPECT_EQ(Error_IsError(Date_MonthNumber(c.word)), 1) << c.told;
        EXPECT_EQ(told.Since(), c.told);
    }
}

TEST(Date, MonthNameOutsideOneToTwelveIsUnkWithAStoredRecord)
{
    struct Case { int month; const char *word; int refused; const char *told; };
    const Case cases[] = {
        {1, "jan", 0, ""},
        {12, "dec", 0, ""},
        {0, "UNK", 1, " [999 invalid month supplied: 0]"},
        {13, "UNK", 1, " [999 invalid month supplied: 13]"},
        {INT_MIN, "UNK", 1, " [999 invalid month supplied: -2147483648]"},
    };
    ReportsAndRecords told;
    String *s = String_NewFrom("old");
    for (const Case &c : cases) {
        int32_t result = Date_MonthName(c.month, s);
        EXPECT_EQ(ValueOf(s), c.word) << c.month;
        EXPECT_EQ(Error_IsError(result), c.refused) << c.month;
        EXPECT_EQ(told.Since(), c.told);
    }
    String_Destroy(s);
}

TEST(Date, NoStringAndAFailedMonthWordAreReported)
{
    ReportsAndRecords told;
    Date_Format(nullptr, 0);
    EXPECT_EQ(told.Since(), " <Assertion failed: ps != NULL>");
    String *s = String_NewFrom("old");
    AllocShim_FailAt(1);
    int32_t result = Date_MonthName(3, s);
    AllocShim_Disarm();
    EXPECT_EQ(ValueOf(s), "(unset)");
    EXPECT_EQ(Error_IsError(result), 1);
    EXPECT_EQ(told.Since(), " [999 malloc failed!] <Unable to malloc 4 bytes>");
    String_Destroy(s);
}
