/* version.c - keel version: the version of the library actually running. */
#include <stdio.h>
#include <string.h>

#include "cli.h"
#include "util.h"

static int run_version(const Subcommand *cmd, int argc, char **argv)
{
    const CliOption options[] = {{0, NULL, NULL, NULL}};
    int count;
    int status = cli_parse_operands(cmd, argc, argv, options, 0, NULL, &count);
    if (status >= 0)
        return status;
    printf("%s\n", Keel_Version());
    /* A program linked with the shared library may run with another one
     * than it was built against. */
    if (strcmp(Keel_Version(), KEEL_VERSION_STRING) != 0)
        printf("(this program was built with the headers of keel %s)\n", KEEL_VERSION_STRING);
    return CLI_OK;
}

const Subcommand cli_version = {
    "version",
    "",
    "Write the version of the keel library in use.",
    "Writes MAJOR.MINOR.PATCH of the library the program runs with; when the\n"
    "program was built against another version's headers, a second line says\n"
    "which.\n"
    "\n"
    "Exit status: 0, or 2 on a usage error.\n",
    run_version,
};
