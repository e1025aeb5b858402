/* date.c - keel date and keel month: the layer's date texts and month words. */
#include <limits.h>
#include <stdio.h>
#include <time.h>

#include "cli.h"
#include "util.h"

/* The range of time_t, an integer type on every system the layer runs on. */
static long long time_min(void)
{
    if ((time_t)-1 > 0)
        return 0;
    return sizeof(time_t) >= sizeof(long long) ? LLONG_MIN
                                                : -(long long)(1ULL << (sizeof(time_t) * 8 - 1));
}

static long long time_max(void)
{
    int bits = (int)sizeof(time_t) * 8 - ((time_t)-1 > 0 ? 0 : 1);
    return bits >= 63 ? LLONG_MAX : (long long)((1ULL << bits) - 1);
}

static int run_date(const Subcommand *cmd, int argc, char **argv)
{
    const CliOption options[] = {{0, NULL, NULL, NULL}};
    long long seconds = 0;
    String *date;
    int count;
    int status = cli_parse_operands(cmd, argc, argv, options, 1, NULL, &count);
    if (status >= 0)
        return status;
    if (count == 1 &&
        cli_integer_operand(cmd, "seconds", argv[1], time_min(), time_max(), &seconds) != CLI_OK)
        return CLI_USAGE;
    date = String_New();
    if (date == NULL)
        return cli_fail(cmd, "out of memory");
    status = CLI_OK;
    if (count == 1)
        Date_Format(date, (time_t)seconds);
    else
        Date_FormatNow(date);
    if (String_IsSet(date))
        printf("%s\n", date->string);
    else if (count == 1)
        status = cli_fail(cmd, "no local date for %s seconds on this system", argv[1]);
    else
        status = cli_fail(cmd, "no local date for the current time");
    String_Destroy(date);
    return status;
}

const Subcommand cli_date = {
    "date",
    "[SECONDS]",
    "Write today's date, or another, as the layer writes dates.",
    "The form is <day>-<month word>-<year> in the local time zone (TZ when it\n"
    "is set): 4-dec-2026, 1-jan-2027.  SECONDS counts from 1 January 1970\n"
    "00:00 UTC and may be negative.\n"
    "\n"
    "Exit status: 0; 1 when the system has no local date for the time (on\n"
    "Windows before 1970 or after the year 3000; the layer notes it in\n"
    "navl.log); 2 on a usage error (SECONDS no number or beyond this system's\n"
    "time).\n",
    run_date,
};

static int month_of(const Subcommand *cmd, const char *text)
{
    long long number;
    if (cli_read_integer(text, INT_MIN, INT_MAX, &number) > 0) {
        String *word = String_New();
        int32_t ref;
        int status = CLI_OK;
        if (word == NULL)
            return cli_fail(cmd, "out of memory");
        ref = Date_MonthName((int)number, word);
        if (ref != 0)
            status = cli_fail_record(cmd, ref);
        else
            printf("%s\n", word->string);
        String_Destroy(word);
        return status;
    } else {
        int32_t result = Date_MonthNumber(text);
        if (Error_IsError(result) || result == 0)
            return cli_fail_record(cmd, result);
        printf("%d\n", (int)result);
        return CLI_OK;
    }
}

static int run_month(const Subcommand *cmd, int argc, char **argv)
{
    const CliOption options[] = {{0, NULL, NULL, NULL}};
    long long number;
    int count;
    int i;
    int status = cli_parse_operands(cmd, argc, argv, options, -1, "no month given", &count);
    if (status >= 0)
        return status;
    for (i = 1; i <= count; ++i)
        if (cli_read_integer(argv[i], INT_MIN, INT_MAX, &number) < 0)
            return cli_usage(cmd, "month number '%s' is out of range", argv[i]);
    /* A month that fails does not stop the others; the status tells of it. */
    status = CLI_OK;
    for (i = 1; i <= count; ++i) {
        int one = month_of(cmd, argv[i]);
        if (one != CLI_OK)
            status = one;
    }
    return status;
}

const Subcommand cli_month = {
    "month",
    "WORD|NUMBER...",
    "Turn month numbers into month words and words into numbers.",
    "The words are jan feb mar apr may jun jul aug sep oct nov dec, lower case\n"
    "and whole: 5 gives may, may gives 5; May is no month word.  One line per\n"
    "operand.\n"
    "\n"
    "Exit status: 0; 1 when a number is not 1 to 12 or a word no month word\n"
    "(the others are still written); 2 on a usage error.\n",
    run_month,
};
