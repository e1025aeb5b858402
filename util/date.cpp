// date.cpp - dates as "<day>-<month word>-<year>" texts in the local time
// zone, and the two conversions between month numbers and month words.
//
// Rules kept here:
// - Local calendar fields come from the platform's thread-safe conversion,
//   into the caller's own record, so threads formatting at once never
//   share a result.
// - A time without local calendar fields gives an unset String, never a
//   read through a missing result.
// - Month words are compared whole and with case significant.
#include <string.h>
#include <time.h>

#include "check.h"
#include "platform.h"
#include "util.h"

namespace {

const char *const kMonthWords[12] = {
    "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec",
};

const char kUnknownMonth[] = "UNK";

}  // namespace

void Date_FormatNow(String *ps) { Date_Format(ps, time(NULL)); }

void Date_Format(String *ps, time_t when)
{
    if (!KEEL_CHECK(ps != NULL))
        return;
    struct tm fields;
    bool local_fields_exist = keel::plat::local_time(when, &fields) != 0;
    if (!KEEL_CHECK(local_fields_exist)) {
        String_Clear(ps);
        return;
    }
    // The year is widened: tm_year + 1900 overflows an int in the last 1900
    // years that tm_year can hold.
    bool month_known = fields.tm_mon >= 0 && fields.tm_mon < 12;
    String_Format(ps, "%d-%s-%lld", fields.tm_mday,
                  month_known ? kMonthWords[fields.tm_mon] : kUnknownMonth,
                  (long long)fields.tm_year + 1900);
}

int32_t Date_MonthName(int month, String *ps)
{
    if (!KEEL_CHECK(ps != NULL))
        return Error_Store(Error_New("Date_MonthName: ps is NULL"));
    if (month >= 1 && month <= 12)
        return String_Set(ps, kMonthWords[month - 1]);
    // Should "UNK" not fit in memory, its record stays in the store: the
    // reference returned is the month's.
    String_Set(ps, kUnknownMonth);
    return Error_Store(Error_New("invalid month supplied: %d", month));
}

int32_t Date_MonthNumber(const char *word)
{
    if (!KEEL_CHECK(word != NULL))
        return Error_Store(Error_New("invalid month supplied: %s", "(null)"));
    for (int i = 0; i < 12; ++i)
        if (strcmp(word, kMonthWords[i]) == 0)
            return i + 1;
    return Error_Store(Error_New("invalid month supplied: %s", word));
}
