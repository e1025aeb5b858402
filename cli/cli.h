/*
 * cli.h - what the subcommands of the keel command share: their table
 * entry, the exit statuses, option and number parsing, error output and
 * the input and output helpers.  Internal to the command.
 */
#ifndef KEEL_CLI_H
#define KEEL_CLI_H

#include <stddef.h>
#include <stdint.h>

/* Exit statuses: success, the operation failed, the command line is wrong. */
#define CLI_OK 0
#define CLI_FAILED 1
#define CLI_USAGE 2

typedef struct Subcommand Subcommand;

/* One subcommand.  run gets the subcommand's own arguments: argv[0] is its
 * name, argv[1..argc-1] what followed it. */
struct Subcommand {
    const char *name;
    const char *synopsis; /* the usage line after "keel <name> " */
    const char *summary;  /* one line, for the overview */
    const char *help;     /* the body of --help: options, output, statuses */
    int (*run)(const Subcommand *self, int argc, char **argv);
};

extern const Subcommand cli_log;
extern const Subcommand cli_neterr;
extern const Subcommand cli_codename;
extern const Subcommand cli_wrap;
extern const Subcommand cli_lines;
extern const Subcommand cli_date;
extern const Subcommand cli_month;
extern const Subcommand cli_version_compare;
extern const Subcommand cli_os;
extern const Subcommand cli_version;

/* An option of a subcommand: -<short_name> and --<long_name>.  An option
 * with a value slot takes a value ("-l 5", "-l5", "--level 5",
 * "--level=5"; the last one given wins); one without is a flag that sets
 * *flag to 1. */
typedef struct CliOption {
    char short_name;       /* 0: no short form */
    const char *long_name; /* without the dashes */
    const char **value;    /* NULL for a flag */
    int *flag;             /* for a flag */
} CliOption;

/* Parses argv[1..argc-1] against options (an array ended by an entry with
 * neither name); -h and --help are known to every subcommand.  "--" ends
 * the options; "-" alone, and a dash followed by a digit, are operands.
 * With options_first, the first operand ends the options too (for text
 * that may hold dashes).  The operands are moved, in order, to
 * argv[1..*count].  Returns -1 when the subcommand should go on; otherwise
 * the status to exit with, the output made: 0 after --help (the help on
 * standard output), CLI_USAGE after a usage error (on standard error). */
int cli_parse_options(const Subcommand *cmd, int argc, char **argv, const CliOption *options,
                      int options_first, int *count);
/* cli_parse_options with options anywhere among the operands, then their
 * number: more than most (-1: any number) is a usage error naming the
 * first one too many; none, when missing is not NULL, a usage error with
 * that message.  Returns as cli_parse_options does. */
int cli_parse_operands(const Subcommand *cmd, int argc, char **argv, const CliOption *options,
                       int most, const char *missing, int *count);

/* Writes "keel <name>: <message>", the usage line and a pointer to --help
 * on standard error; returns CLI_USAGE. */
int cli_usage(const Subcommand *cmd, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

/* Writes "keel <name>: <message>" on standard error; returns CLI_FAILED. */
int cli_fail(const Subcommand *cmd, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

/* Takes the record that ref names out of the layer's store, writes its
 * message as cli_fail does and destroys it; returns CLI_FAILED.  A
 * reference that names no record (0: the record could not be allocated)
 * gives the message "out of memory". */
int cli_fail_record(const Subcommand *cmd, int32_t ref);

/* The whole of the full usage: "usage: keel <name> <synopsis>", the
 * summary and the help body, on standard output. */
void cli_print_help(const Subcommand *cmd);

/* Strict decimal numbers: an optional sign and digits, nothing else (no
 * blanks), within [min, max].  1 with the value in *out; 0 when text is no
 * such number; -1 when it is one but lies outside the range. */
int cli_read_integer(const char *text, long long min, long long max, long long *out);
/* cli_read_integer, or a usage error naming what the number was for
 * ("level", "number"...).  CLI_OK or CLI_USAGE. */
int cli_integer_operand(const Subcommand *cmd, const char *what, const char *text, long long min,
                        long long max, long long *out);
/* An unsigned 64-bit number, decimal or "0x" hexadecimal, digits only. */
int cli_read_uint64(const char *text, uint64_t *out);

/* Opens path ("-" or NULL: standard input) for reading in binary mode as a
 * descriptor that is never 0 (a stream cannot read descriptor 0), so
 * standard input is read through a duplicate.  A directory, a missing or
 * unreadable file gives a message on standard error and CLI_FAILED;
 * otherwise CLI_OK with the descriptor in *fd, which the caller closes
 * with cli_close_input. */
int cli_open_input(const Subcommand *cmd, const char *path, int *fd);
void cli_close_input(int fd);
/* Reads all of fd into a new buffer (freed by the caller), NUL-terminated
 * after its *size bytes.  CLI_OK, or CLI_FAILED after a message (a read
 * error, or too much for memory). */
int cli_read_all(const Subcommand *cmd, const char *path, int fd, char **data, size_t *size);
/* Standard output takes bytes as they are from now on (on Windows it
 * otherwise writes every LF as CR LF). */
void cli_binary_stdout(void);

#endif /* KEEL_CLI_H */
