/*
 * keel.c - the keel command: the layer's services from the shell.
 *
 *   keel <subcommand> [options] [operands]
 *
 * Exit status: 0 success, 1 the operation failed (the reason on standard
 * error), 2 a usage error (a short usage on standard error).  Every
 * subcommand takes --help.  The program uses the layer through its public
 * C API only, linked as any module links it.
 */
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "cli.h"
#include "util.h"

static const Subcommand *const kSubcommands[] = {
    &cli_log,  &cli_neterr, &cli_codename,        &cli_wrap, &cli_lines,
    &cli_date, &cli_month,  &cli_version_compare, &cli_os,   &cli_version,
};
#define SUBCOMMAND_COUNT (sizeof kSubcommands / sizeof kSubcommands[0])

static void print_overview(FILE *out)
{
    size_t i;
    fputs("usage: keel <subcommand> [options] [operands]\n"
          "       keel <subcommand> --help\n\n"
          "The services of the keel layer from the shell:\n\n",
          out);
    for (i = 0; i < SUBCOMMAND_COUNT; ++i)
        fprintf(out, "  %-16s %s\n", kSubcommands[i]->name, kSubcommands[i]->summary);
    fputs("\nExit status: 0 success, 1 the operation failed, 2 a usage error.\n", out);
}

static const Subcommand *find_subcommand(const char *name)
{
    size_t i;
    for (i = 0; i < SUBCOMMAND_COUNT; ++i)
        if (strcmp(kSubcommands[i]->name, name) == 0)
            return kSubcommands[i];
    return NULL;
}

/* "keel help [SUBCOMMAND]". */
static int run_help(int argc, char **argv)
{
    const Subcommand *cmd;
    if (argc < 3) {
        print_overview(stdout);
        return CLI_OK;
    }
    cmd = find_subcommand(argv[2]);
    if (cmd == NULL || argc > 3) {
        fprintf(stderr, "keel help: %s '%s'\nTry 'keel --help'.\n",
                cmd == NULL ? "unknown subcommand" : "unexpected operand", argv[cmd == NULL ? 2 : 3]);
        return CLI_USAGE;
    }
    cli_print_help(cmd);
    return CLI_OK;
}

/* A failed write to standard output (a full disk, a closed pipe) is a
 * failure: the output is incomplete. */
static int finish_output(int status)
{
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fprintf(stderr, "keel: error writing standard output: %s\n", strerror(errno));
        return status == CLI_OK ? CLI_FAILED : status;
    }
    return status;
}

int main(int argc, char **argv)
{
    const Subcommand *cmd;
    if (argc < 2) {
        print_overview(stderr);
        return CLI_USAGE;
    }
    if (strcmp(argv[1], "help") == 0 || strcmp(argv[1], "--help") == 0 ||
        strcmp(argv[1], "-h") == 0)
        return finish_output(run_help(argc, argv));
    if (strcmp(argv[1], "--version") == 0)
        return finish_output(cli_version.run(&cli_version, 1, argv + 1));
    cmd = find_subcommand(argv[1]);
    if (cmd == NULL) {
        fprintf(stderr, "keel: unknown subcommand '%s'\nTry 'keel --help'.\n", argv[1]);
        return CLI_USAGE;
    }
    return finish_output(cmd->run(cmd, argc - 1, argv + 1));
}
