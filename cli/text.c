/* text.c - keel wrap and keel lines: the layer's text wrap and its line
 * readers over a file or standard input. */
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli.h"
#include "util.h"

/* The one optional FILE operand of wrap and lines; NULL for standard input. */
/* ------------------------------------------------------------------ wrap */

static int wrap_text(const Subcommand *cmd, char *data, size_t size, long long first,
                     long long width, const char *prefix)
{
    const char *nul = memchr(data, '\0', size);
    size_t body = size;
    String *text;
    int32_t ref;
    if (nul != NULL)
        return cli_fail(cmd, "the input holds a NUL byte at offset %lu; wrap takes text",
                        (unsigned long)(nul - data));
    if (size >= UINT32_MAX)
        return cli_fail(cmd, "the input is too long for a String (4 GiB or more)");
    /* The line end at the very end of the input stays the output's last:
     * wrapped with the rest, it would get the prefix after it. */
    while (body > 0 && (data[body - 1] == '\n' || data[body - 1] == '\r'))
        --body;
    text = String_New();
    if (text == NULL)
        return cli_fail(cmd, "out of memory");
    ref = String_SetN(text, data, (uint32_t)body);
    if (ref != 0) {
        String_Destroy(text);
        return cli_fail_record(cmd, ref);
    }
    String_Wrap(text, (int32_t)first, (int32_t)width, prefix);
    cli_binary_stdout();
    fwrite(text->string, 1, text->length, stdout);
    fwrite(data + body, 1, size - body, stdout);
    String_Destroy(text);
    return CLI_OK;
}

static int run_wrap(const Subcommand *cmd, int argc, char **argv)
{
    const char *first_text = NULL;
    const char *width_text = NULL;
    const char *prefix = "  ";
    const CliOption options[] = {{'f', "first", &first_text, NULL},
                                 {'w', "width", &width_text, NULL},
                                 {'p', "prefix", &prefix, NULL},
                                 {0, NULL, NULL, NULL}};
    long long first = 63;
    long long width = 72;
    const char *path = NULL;
    char *data;
    size_t size;
    int fd;
    int count;
    int status = cli_parse_operands(cmd, argc, argv, options, 1, NULL, &count);
    if (status >= 0)
        return status;
    if (first_text != NULL &&
        cli_integer_operand(cmd, "first width", first_text, INT32_MIN, INT32_MAX, &first) != CLI_OK)
        return CLI_USAGE;
    if (width_text != NULL &&
        cli_integer_operand(cmd, "width", width_text, INT32_MIN, INT32_MAX, &width) != CLI_OK)
        return CLI_USAGE;
    if (count == 1)
        path = argv[1];
    if (cli_open_input(cmd, path, &fd) != CLI_OK)
        return CLI_FAILED;
    status = cli_read_all(cmd, path, fd, &data, &size);
    cli_close_input(fd);
    if (status != CLI_OK)
        return status;
    status = wrap_text(cmd, data, size, first, width, prefix);
    free(data);
    return status;
}

const Subcommand cli_wrap = {
    "wrap",
    "[-f FIRST] [-w WIDTH] [-p PREFIX] [FILE]",
    "Wrap a text as the layer wraps texts.",
    "No line gets longer than FIRST characters (the first line) or WIDTH (the\n"
    "later ones), not counting inserted line ends and prefixes.  A line breaks\n"
    "at its last run of spaces that fits (the run is dropped), a longer word\n"
    "in its middle; every break is CR LF followed by PREFIX.  Line ends in the\n"
    "text stay, followed by PREFIX too, except those at its very end, which\n"
    "end the output as they ended the input.  A width of 0 or less puts each\n"
    "character on a line of its own.  FILE '-' is standard input.\n"
    "\n"
    "  -f, --first FIRST    width of the first line (default 63)\n"
    "  -w, --width WIDTH    width of every later line (default 72)\n"
    "  -p, --prefix PREFIX  written after every break (default two spaces;\n"
    "                       '' for none)\n"
    "\n"
    "The output is the wrapped text byte for byte, CR LF breaks included, on\n"
    "every system.\n"
    "\n"
    "Exit status: 0; 1 when the input cannot be read or holds a NUL byte; 2\n"
    "on a usage error.\n",
    run_wrap,
};

/* ----------------------------------------------------------------- lines */

/* Reads stream to its end, writing each line and a line end.  A line that
 * comes with the end is the last line only when it holds something: the
 * read that meets the end of a file that ends in a line end delivers an
 * empty one. */
static int copy_lines(const Subcommand *cmd, const char *path, Stream *stream, int logical)
{
    String *line = String_New();
    int status = CLI_OK;
    if (line == NULL)
        return cli_fail(cmd, "out of memory");
    for (;;) {
        int at_end;
        if (logical)
            Stream_ReadLogicalLine(stream, line);
        else
            Stream_ReadLine(stream, line);
        at_end = Stream_AtEnd(stream) != 0;
        if (String_IsSet(line)) {
            if (!at_end || line->length > 0) {
                fwrite(line->string, 1, line->length, stdout);
                putchar('\n');
            }
        } else if (!at_end || !logical) {
            /* Only a line that could not be allocated is unset before the
             * end, or (physical lines) at it. */
            status = cli_fail(cmd, "%s: a line could not be read (out of memory)",
                              path != NULL && strcmp(path, "-") != 0 ? path : "standard input");
            break;
        }
        if (at_end)
            break;
    }
    String_Destroy(line);
    return status;
}

static int run_lines(const Subcommand *cmd, int argc, char **argv)
{
    int logical = 0;
    const CliOption options[] = {{0, "logical", NULL, &logical}, {0, NULL, NULL, NULL}};
    const char *path = NULL;
    Stream *stream;
    int fd;
    int count;
    int status = cli_parse_operands(cmd, argc, argv, options, 1, NULL, &count);
    if (status >= 0)
        return status;
    if (count == 1)
        path = argv[1];
    if (cli_open_input(cmd, path, &fd) != CLI_OK)
        return CLI_FAILED;
    stream = Stream_OpenHandle(fd);
    if (stream == NULL) {
        cli_close_input(fd);
        return cli_fail(cmd, "out of memory");
    }
    status = copy_lines(cmd, path, stream, logical);
    Stream_Destroy(stream);
    cli_close_input(fd);
    return status;
}

const Subcommand cli_lines = {
    "lines",
    "[--logical] [FILE]",
    "Read a file line by line through the layer's stream.",
    "Each line read is written followed by a line end.  Lines end at LF; the\n"
    "CRs and LFs at a line's end are dropped, every other byte stays.  FILE\n"
    "'-' is standard input.\n"
    "\n"
    "  --logical  read logical lines: a line ending in a backslash goes on in\n"
    "             the next one; the pieces lose their leading and trailing\n"
    "             whitespace (and the backslashes) and are joined with one\n"
    "             space; a blank line ends a continuation and reads as an\n"
    "             empty line\n"
    "\n"
    "Exit status: 0; 1 when FILE is missing, unreadable or a directory; 2 on\n"
    "a usage error.\n",
    run_lines,
};
