/* log.c - keel log: one report through the layer's log. */
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "cli.h"
#include "util.h"

static int run_log(const Subcommand *cmd, int argc, char **argv)
{
    const char *level_text = NULL;
    const CliOption options[] = {{'l', "level", &level_text, NULL}, {0, NULL, NULL, NULL}};
    long long level = 0;
    size_t length = 0;
    char *text;
    int count;
    int i;
    int status = cli_parse_options(cmd, argc, argv, options, 1, &count);
    if (status >= 0)
        return status;
    if (level_text != NULL &&
        cli_integer_operand(cmd, "level", level_text, INT_MIN, INT_MAX, &level) != CLI_OK)
        return CLI_USAGE;
    if (count == 0)
        return cli_usage(cmd, "no text to write");
    for (i = 1; i <= count; ++i)
        length += strlen(argv[i]) + 1;
    text = malloc(length);
    if (text == NULL)
        return cli_fail(cmd, "out of memory");
    length = 0;
    for (i = 1; i <= count; ++i) {
        size_t word = strlen(argv[i]);
        memcpy(text + length, argv[i], word);
        length += word;
        text[length++] = i < count ? ' ' : '\0';
    }
    /* The text is an argument, never the format: a '%' in it stays. */
    Log_Report((int)level, "%s", text);
    free(text);
    return CLI_OK;
}

const Subcommand cli_log = {
    "log",
    "[-l LEVEL] TEXT...",
    "Write one report to navl.log in the current directory.",
    "The words of TEXT are joined with single spaces.  The line gets the log's\n"
    "time stamp and CR LF line end; a text longer than the line's room is cut.\n"
    "Options come before the text; '--' ends them for a text that begins with\n"
    "a dash.\n"
    "\n"
    "  -l, --level LEVEL  the report's level (default 0)\n"
    "\n"
    "The line is written when LEVEL is at most the current log level, which\n"
    "comes from the environment: NAVL_DEBUG (any value) gives 100 and echoes\n"
    "the line on standard output; otherwise NAVL_LOGGING, read as a number (a\n"
    "negative one writes nothing); with neither, 0.  A LEVEL above the current\n"
    "log level writes nothing, and that is no failure.  Lines from several\n"
    "processes at once each land whole.\n"
    "\n"
    "Exit status: 0 (also when the level filtered the line out), 2 on a usage\n"
    "error.\n",
    run_log,
};
