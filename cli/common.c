/* common.c - option and number parsing, usage and failure messages. */
#include <ctype.h>
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli.h"
#include "util.h"

void cli_print_help(const Subcommand *cmd)
{
    printf("usage: keel %s%s%s\n\n%s\n\n%s", cmd->name, cmd->synopsis[0] != '\0' ? " " : "",
           cmd->synopsis, cmd->summary, cmd->help);
}

/* "keel <name>: <message>" on standard error, without the line end. */
__attribute__((format(printf, 2, 0)))
static void say(const Subcommand *cmd, const char *format, va_list args)
{
    fprintf(stderr, "keel %s: ", cmd->name);
    vfprintf(stderr, format, args);
}

int cli_usage(const Subcommand *cmd, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    say(cmd, format, args);
    va_end(args);
    fprintf(stderr, "\nusage: keel %s%s%s\nTry 'keel %s --help' for more.\n", cmd->name,
            cmd->synopsis[0] != '\0' ? " " : "", cmd->synopsis, cmd->name);
    return CLI_USAGE;
}

int cli_fail(const Subcommand *cmd, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    say(cmd, format, args);
    va_end(args);
    fputc('\n', stderr);
    return CLI_FAILED;
}

int cli_fail_record(const Subcommand *cmd, int32_t ref)
{
    Error *error;
    int status;
    if (!Error_IsError(ref))
        return cli_fail(cmd, "out of memory");
    error = Error_Take(ref);
    if (error == NULL || error->message == NULL || !String_IsSet(error->message))
        status = cli_fail(cmd, "failed (the message could not be allocated)");
    else
        status = cli_fail(cmd, "%s", error->message->string);
    Error_Destroy(error);
    return status;
}

/* The option of options that arg names, or NULL.  For a long option the
 * name ends at '=' (*inline_value then points behind it); for a short one
 * any characters after the letter are its inline value. */
static const CliOption *find_option(const CliOption *options, const char *arg,
                                    const char **inline_value)
{
    const CliOption *o;
    *inline_value = NULL;
    if (arg[1] == '-') {
        const char *name = arg + 2;
        size_t len = strcspn(name, "=");
        for (o = options; o->short_name != 0 || o->long_name != NULL; ++o) {
            if (o->long_name != NULL && strlen(o->long_name) == len &&
                strncmp(o->long_name, name, len) == 0) {
                if (name[len] == '=')
                    *inline_value = name + len + 1;
                return o;
            }
        }
        return NULL;
    }
    for (o = options; o->short_name != 0 || o->long_name != NULL; ++o) {
        if (o->short_name != 0 && o->short_name == arg[1]) {
            if (arg[2] != '\0')
                *inline_value = arg + 2;
            return o;
        }
    }
    return NULL;
}

static int is_operand(const char *arg)
{
    return arg[0] != '-' || arg[1] == '\0' || isdigit((unsigned char)arg[1]);
}

int cli_parse_options(const Subcommand *cmd, int argc, char **argv, const CliOption *options,
                      int options_first, int *count)
{
    int operands = 0;
    int only_operands = 0;
    int i;
    for (i = 1; i < argc; ++i) {
        char *arg = argv[i];
        const CliOption *option;
        const char *value;
        if (only_operands || is_operand(arg)) {
            argv[1 + operands++] = arg;
            if (options_first)
                only_operands = 1;
            continue;
        }
        if (strcmp(arg, "--") == 0) {
            only_operands = 1;
            continue;
        }
        if (strcmp(arg, "-h") == 0 || strcmp(arg, "--help") == 0) {
            cli_print_help(cmd);
            return CLI_OK;
        }
        option = find_option(options, arg, &value);
        if (option == NULL)
            return cli_usage(cmd, "unknown option '%s'", arg);
        if (option->value == NULL) {
            if (value != NULL)
                return cli_usage(cmd, "option '%s' takes no value", arg);
            *option->flag = 1;
            continue;
        }
        if (value == NULL) {
            if (i + 1 >= argc)
                return cli_usage(cmd, "option '%s' needs a value", arg);
            value = argv[++i];
        }
        *option->value = value;
    }
    *count = operands;
    return -1;
}

int cli_parse_operands(const Subcommand *cmd, int argc, char **argv, const CliOption *options,
                       int most, const char *missing, int *count)
{
    int status = cli_parse_options(cmd, argc, argv, options, 0, count);
    if (status >= 0)
        return status;
    if (most >= 0 && *count > most)
        return cli_usage(cmd, "unexpected operand '%s'", argv[1 + most]);
    if (missing != NULL && *count == 0)
        return cli_usage(cmd, "%s", missing);
    return -1;
}

int cli_read_integer(const char *text, long long min, long long max, long long *out)
{
    const char *digits = text + (text[0] == '-' || text[0] == '+');
    char *end;
    long long value;
    if (!isdigit((unsigned char)digits[0]))
        return 0;
    errno = 0;
    value = strtoll(text, &end, 10);
    if (*end != '\0')
        return 0;
    if (errno == ERANGE || value < min || value > max)
        return -1;
    *out = value;
    return 1;
}

int cli_integer_operand(const Subcommand *cmd, const char *what, const char *text, long long min,
                        long long max, long long *out)
{
    int read = cli_read_integer(text, min, max, out);
    if (read == 0)
        return cli_usage(cmd, "%s '%s' is not a number", what, text);
    if (read < 0)
        return cli_usage(cmd, "%s '%s' is out of range (%lld to %lld)", what, text, min, max);
    return CLI_OK;
}

int cli_read_uint64(const char *text, uint64_t *out)
{
    int hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char *digits = hex ? text + 2 : text;
    char *end;
    unsigned long long value;
    if (digits[0] == '\0' ||
        strspn(digits, hex ? "0123456789abcdefABCDEF" : "0123456789") != strlen(digits))
        return 0;
    errno = 0;
    value = strtoull(digits, &end, hex ? 16 : 10);
    if (*end != '\0')
        return 0;
    if (errno == ERANGE)
        return -1;
    *out = (uint64_t)value;
    return 1;
}
