// Dates: texts in two time zones (children with TZ set), times without
// local fields, month words both ways, null arguments, and threads.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "support/alloc_shim.h"
#include "support/child.h"
#include "support/log_capture.h"
#include "util.h"

namespace {

// A time and its date at Greenwich and five hours west of it.  Rows marked
// wide need a 64-bit time_t.
struct DateRow {
    long long when;
    bool wide;
    const char *utc, *west;
};

const DateRow kDateRows[] = {
    {1798763400, false, "1-jan-2027", "31-dec-2026"},  // half an hour after midnight at Greenwich
    {1798779599, false, "1-jan-2027", "31-dec-2026"},
    {1798779600, false, "1-jan-2027", "1-jan-2027"},   // midnight five hours west
    {951825600, false, "29-feb-2000", "29-feb-2000"},
#if defined(_WIN32)
    // The Windows runtime has no local fields for a negative time, nor for one
    // after the year 3000.
    {-1, false, "(unset)", "(unset)"},
    {67768036191676799LL, true, "(unset)", "(unset)"},
#else
    {-86400, false, "31-dec-1969", "30-dec-1969"},
    {67768036191676799LL, true, "31-dec-2147485547", "31-dec-2147485547"},  // the last year of an int tm_year
#endif
    {LLONG_MAX, true, "(unset)", "(unset)"},
};

// A child's standard output with Windows' CR LF read as LF.
std::string Out(const ChildResult &r)
{
    std::string out;
    for (char c : r.out)
        if (c != '\r')
            out += c;
    return out;
}

std::string Value(const String *s) { return s->bIsSet ? s->string : "(unset)"; }

std::string TakeMessage(int32_t ref)
{
    Error *e = Error_Take(ref);
    std::string message = e && e->message && e->message->bIsSet ? e->message->string : "(no record)";
    Error_Destroy(e);
    return message;
}

}  // namespace

// Prints the date of each row that this time_t can hold, one per line.
KEEL_CHILD(DateTexts)
{
    String *s = String_New();
    for (const DateRow &row : kDateRows) {
        if (row.wide && sizeof(time_t) < 8)
            continue;
        Date_Format(s, (time_t)row.when);
        std::printf("%s\n", Value(s).c_str());
    }
    String_Destroy(s);
    return 0;
}

TEST(Date, TextIsTheDateInTheProcesssTimeZone)
{
    // TZ is read by the C runtime of both platforms (Windows: _tzset).
    std::string utc;
    std::string west;
    int unset = 0;
    for (const DateRow &row : kDateRows) {
        if (row.wide && sizeof(time_t) < 8)
            continue;
        utc += std::string(row.utc) + "\n";
        west += std::string(row.west) + "\n";
        unset += std::string(row.utc) == "(unset)";
    }
    ChildResult at_greenwich = RunChild("DateTexts", {{"TZ", "UTC0"}});
    EXPECT_EQ(at_greenwich.exit_code, 0);
    EXPECT_EQ(Out(at_greenwich), utc);
    ChildResult west_of_it = RunChild("DateTexts", {{"TZ", "EST5"}});
    EXPECT_EQ(west_of_it.exit_code, 0);
    EXPECT_EQ(Out(west_of_it), west);
    // Each unset String came with its report.
    std::string report = "Assertion failed: local_fields_exist in file util";
    size_t reports = 0;
    for (size_t at = 0; (at = at_greenwich.log.find(report, at)) != std::string::npos; ++at)
        ++reports;
    EXPECT_EQ(reports, (size_t)unset);
}

// Each thread formats its own time over and over; prints the number of
// texts that were not its own date.
KEEL_CHILD(DateThreads)
{
    struct Own { time_t when; const char *text; };
    const Own owns[] = {
        {1798761600, "1-jan-2027"}, {951825600, "29-feb-2000"}, {1796385600, "4-dec-2026"},
        {0, "1-jan-1970"},          {1234567890, "13-feb-2009"}, {2000000000, "18-may-2033"},
    };
    const int threads = sizeof owns / sizeof owns[0];
    std::atomic<int> ready{0};
    std::atomic<int> wrong{0};
    std::vector<std::thread> running;
    for (const Own &own : owns) {
        running.emplace_back([&ready, &wrong, &own, threads] {
            String *s = String_New();
            ++ready;
            while (ready < threads)
                std::this_thread::yield();
            for (int round = 0; round < 3000; ++round) {
                Date_Format(s, own.when);
                if (Value(s) != own.text)
                    ++wrong;
            }
            String_Destroy(s);
        });
    }
    for (std::thread &t : running)
        t.join();
    std::printf("wrong %d\n", wrong.load());
    return 0;
}

TEST(Date, ThreadsFormattingAtOnceEachGetTheirOwnDate)
{
    ChildResult r = RunChild("DateThreads", {{"TZ", "UTC0"}});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(Out(r), "wrong 0\n");
}

TEST(Date, FormatNowIsTodaysDate)
{
    String *now = String_New();
    String *today = String_New();
    // Retried should the day change between the two calls.
    for (int attempt = 0; attempt < 3; ++attempt) {
        Date_FormatNow(now);
        Date_Format(today, time(nullptr));
        if (Value(now) == Value(today))
            break;
    }
    EXPECT_EQ(Value(now), Value(today));
    EXPECT_TRUE(now->bIsSet);
    String_Destroy(now);
    String_Destroy(today);
}

TEST(Date, MonthWordsAreLowerCaseAndWhole)
{
    struct Word { const char *word; int32_t number; const char *message; };  // number 0: refused
    const Word words[] = {
        {"jan", 1, nullptr},
        {"feb", 2, nullptr},
        {"mar", 3, nullptr},
        {"apr", 4, nullptr},
        {"may", 5, nullptr},
        {"jun", 6, nullptr},
        {"jul", 7, nullptr},
        {"aug", 8, nullptr},
        {"sep", 9, nullptr},
        {"oct", 10, nullptr},
        {"nov", 11, nullptr},
        {"dec", 12, nullptr},
        {"May", 0, "invalid month supplied: May"},
        {"MAY", 0, "invalid month supplied: MAY"},
        {"may ", 0, "invalid month supplied: may "},
        {"january", 0, "invalid month supplied: january"},
        {"UNK", 0, "invalid month supplied: UNK"},
    };
    for (const Word &w : words) {
        int32_t result = Date_MonthNumber(w.word);
        if (w.number != 0) {
            EXPECT_EQ(result, w.number) << w.word;
        } else {
            EXPECT_EQ(Error_IsError(result), 1) << w.word;
            EXPECT_EQ(TakeMessage(result), w.message);
        }
    }
    const std::string long_word(2000, 'w');
    EXPECT_EQ(TakeMessage(Date_MonthNumber(long_word.c_str())),
              "invalid month supplied: " + std::string(1023 - 24, 'w'));
}

TEST(Date, MonthNameOutsideOneToTwelveIsUnkWithAStoredRecord)
{
    struct Name { int month; const char *word, *message; };  // message nullptr: result 0
    const Name names[] = {
        {12, "dec", nullptr},
        {0, "UNK", "invalid month supplied: 0"},
        {13, "UNK", "invalid month supplied: 13"},
        {INT_MIN, "UNK", "invalid month supplied: -2147483648"},
        {INT_MAX, "UNK", "invalid month supplied: 2147483647"},
    };
    String *s = String_NewFrom("old");
    for (const Name &n : names) {
        int32_t ref = Date_MonthName(n.month, s);
        EXPECT_EQ(Value(s), n.word) << n.month;
        if (!n.message) {
            EXPECT_EQ(ref, 0) << n.month;
            continue;
        }
        EXPECT_EQ(Error_IsError(ref), 1) << n.month;
        EXPECT_EQ(TakeMessage(ref), n.message);
    }
    String_Destroy(s);
}

TEST(Date, NullArgumentsAreReported)
{
    LogCapture capture;
    EXPECT_EQ(TakeMessage(Date_MonthNumber(nullptr)), "invalid month supplied: (null)");
    EXPECT_EQ(TakeMessage(Date_MonthName(1, nullptr)), "Date_MonthName: ps is NULL");
    Date_Format(nullptr, 0);
    Date_FormatNow(nullptr);
    std::vector<std::string> reports;
    for (const std::string &m : capture.Messages())
        reports.push_back(m.substr(0, m.find(" on line ")));
    const std::vector<std::string> expected = {
        "Assertion failed: word != NULL in file util",
        "Assertion failed: ps != NULL in file util",
        "Assertion failed: ps != NULL in file util",
        "Assertion failed: ps != NULL in file util",
    };
    EXPECT_EQ(reports, expected);
}

TEST(Date, MonthWordThatCannotBeAllocatedIsAFailureNotSuccess)
{
    LogCapture capture;
    String *s = String_NewFrom("old");
    AllocShim_FailAt(1);
    int32_t ref = Date_MonthName(3, s);
    AllocShim_Disarm();
    EXPECT_EQ(Value(s), "(unset)");
    EXPECT_EQ(Error_IsError(ref), 1);
    EXPECT_EQ(TakeMessage(ref), "malloc failed!");
    String_Destroy(s);
}
