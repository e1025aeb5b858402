// Dates: texts in two time zones (children with TZ set), month words both
// ways, null arguments, and threads.
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
#include "util.h"

namespace {

std::string Value(const String *s) { return s->bIsSet ? s->string : "(unset)"; }

std::string DateOf(time_t when)
{
    String *s = String_New();
    Date_Format(s, when);
    std::string date = Value(s);
    String_Destroy(s);
    return date;
}

}  // namespace

// TZ is read by the C runtime of both platforms (Windows: _tzset).
KEEL_CHILD(DatesAtGreenwich)
{
    CHILD_REQUIRE(DateOf(1798763400) == "1-jan-2027");  // half an hour after midnight
    CHILD_REQUIRE(DateOf(951825600) == "29-feb-2000");
#if defined(_WIN32)
    CHILD_REQUIRE(DateOf(-1) == "(unset)");  // the Windows runtime has no local fields before 1970
#else
    CHILD_REQUIRE(DateOf(-86400) == "31-dec-1969");
    if (sizeof(time_t) == 8)  // the last year an int tm_year holds
        CHILD_REQUIRE(DateOf(static_cast<time_t>(67768036191676799LL)) == "31-dec-2147485547");
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

TEST(Date, TextIsTheDateInTheProcesssTimeZone)
{
    ChildResult at_greenwich = RunChild("DatesAtGreenwich", {{"TZ", "UTC0"}});
    EXPECT_EQ(at_greenwich.exit_code, 0) << at_greenwich.out;
    ChildResult west_of_it = RunChild("DatesWestOfGreenwich", {{"TZ", "EST5"}});
    EXPECT_EQ(west_of_it.exit_code, 0) << west_of_it.out;
}

// Each thread formats its own time over and over, all at once.
KEEL_CHILD(DateThreads)
{
    struct Own { time_t when; const char *date; };
    const Own owns[] = {
        {1798761600, "1-jan-2027"},
        {951825600, "29-feb-2000"},
        {1234567890, "13-feb-2009"},
        {2000000000, "18-may-2033"},
    };
    std::atomic<int> wrong{0};
    std::vector<std::thread> running;
    for (const Own &own : owns) {
        running.emplace_back([&wrong, &own] {
            for (int round = 0; round < 3000; ++round) {
                if (DateOf(own.when) != own.date)
                    ++wrong;
            }
        });
    }
    for (std::thread &t : running)
        t.join();
    CHILD_REQUIRE(wrong == 0);
    return 0;
}

TEST(Date, ThreadsFormattingAtOnceEachGetTheirOwnDate)
{
    ChildResult r = RunChild("DateThreads", {{"TZ", "UTC0"}});
    EXPECT_EQ(r.exit_code, 0) << r.out;
}

TEST(Date, FormatNowIsTodaysDate)
{
    String *now = String_New();
    Date_FormatNow(now);
    if (Value(now) != DateOf(time(nullptr)))  // the day may have changed in between
        Date_FormatNow(now);
    EXPECT_EQ(Value(now), DateOf(time(nullptr)));
    String_Destroy(now);
}

TEST(Date, MonthWordsAreLowerCaseAndWhole)
{
    EXPECT_EQ(Date_MonthNumber("jan"), 1);
    EXPECT_EQ(Date_MonthNumber("may"), 5);
    EXPECT_EQ(Date_MonthNumber("dec"), 12);
    struct Case { const char *word, *told; };
    const Case refused[] = {
        {"May", " [999 invalid month supplied: May]"},
        {"MAY", " [999 invalid month supplied: MAY]"},
        {"may ", " [999 invalid month supplied: may ]"},
        {"january", " [999 invalid month supplied: january]"},
        {"UNK", " [999 invalid month supplied: UNK]"},
    };
    ReportsAndRecords told;
    for (const Case &c : refused) {
        EXPECT_EQ(Error_IsError(Date_MonthNumber(c.word)), 1) << c.word;
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
        EXPECT_EQ(Value(s), c.word) << c.month;
        EXPECT_EQ(Error_IsError(result), c.refused) << c.month;
        EXPECT_EQ(told.Since(), c.told);
    }
    String_Destroy(s);
}

TEST(Date, NullArgumentsAndAFailedMonthWordAreReported)
{
    ReportsAndRecords told;
    EXPECT_EQ(Error_IsError(Date_MonthNumber(nullptr)), 1);
    EXPECT_EQ(told.Since(), " [999 invalid month supplied: (null)] <Assertion failed: word != NULL>");
    EXPECT_EQ(Error_IsError(Date_MonthName(1, nullptr)), 1);
    EXPECT_EQ(told.Since(), " [999 Date_MonthName: ps is NULL] <Assertion failed: ps != NULL>");
    Date_Format(nullptr, 0);
    EXPECT_EQ(told.Since(), " <Assertion failed: ps != NULL>");
    String *s = String_NewFrom("old");
    AllocShim_FailAt(1);
    int32_t result = Date_MonthName(3, s);
    AllocShim_Disarm();
    EXPECT_EQ(Value(s), "(unset)");
    EXPECT_EQ(Error_IsError(result), 1);
    EXPECT_EQ(told.Since(), " [999 malloc failed!] <Unable to malloc 4 bytes>");
    String_Destroy(s);
}
