/* compare.c - keel version-compare: the layer's order of version texts. */
#include <limits.h>
#include <stdio.h>
#include <string.h>

#include "cli.h"
#include "util.h"

/* Whether text begins with three whole numbers parted by full stops, each
 * within an int: what the layer reads of a version.  The layer reads any
 * other text as equal to everything, so such a text is refused here. */
static int is_version(const char *text)
{
    int field;
    for (field = 0; field < 3; ++field) {
        long long value = 0;
        size_t digits = strspn(text, "0123456789");
        size_t i;
        if (digits == 0)
            return 0;
        for (i = 0; i < digits; ++i) {
            value = value * 10 + (text[i] - '0');
            if (value > INT_MAX)
                return 0;
        }
        text += digits;
        if (field < 2) {
            if (*text != '.')
                return 0;
            ++text;
        }
    }
    return 1;
}

static int run_version_compare(const Subcommand *cmd, int argc, char **argv)
{
    const CliOption options[] = {{0, NULL, NULL, NULL}};
    int count;
    int i;
    int difference;
    int status = cli_parse_options(cmd, argc, argv, options, 0, &count);
    if (status >= 0)
        return status;
    if (count != 2)
        return cli_usage(cmd, "two versions are needed, %d given", count);
    for (i = 1; i <= 2; ++i)
        if (!is_version(argv[i]))
            return cli_usage(cmd, "'%s' is not a version MAJOR.MINOR.PATCH", argv[i]);
    difference = Version_Compare(argv[1], argv[2]);
    printf("%c %d\n", difference < 0 ? '<' : difference > 0 ? '>' : '=', difference);
    return CLI_OK;
}

const Subcommand cli_version_compare = {
    "version-compare",
    "A B",
    "Order two version texts as the layer orders them.",
    "A and B are MAJOR.MINOR.PATCH, three decimal numbers; the fields are\n"
    "compared as numbers, so 1.10.0 comes after 1.9.9.  Text after the third\n"
    "number is not compared (1.2.3 and 1.2.3.4 are equal).\n"
    "\n"
    "Writes one line: <, = or > (A before, equal to, after B), a space and the\n"
    "difference of the first field that differs (0 when none does):\n"
    "  > 1\n"
    "\n"
    "Exit status: 0, or 2 on a usage error (not two operands, or one that does\n"
    "not begin with three numbers).\n",
    run_version_compare,
};
