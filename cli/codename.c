/* codename.c - keel codename: 64-bit codes and the names they pack. */
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>

#include "cli.h"
#include "util.h"

/* One output line: the code in decimal and hexadecimal, then its name when
 * it has one. */
static void print_pair(uint64_t code, const char *name)
{
    printf("%" PRIu64 " 0x%016" PRIx64 "%s%s\n", code, code, name[0] != '\0' ? " " : "", name);
}

static int code_to_name(const Subcommand *cmd, uint64_t code)
{
    uint32_t words[2];
    CodeName codename;
    String *name = String_New();
    int expected = 0;
    int status = CLI_OK;
    if (name == NULL)
        return cli_fail(cmd, "out of memory");
    words[0] = (uint32_t)code;
    words[1] = (uint32_t)(code >> 32);
    codename.ftbl = &CodeName_Table;
    codename.codeLow = words[0];
    codename.codeHigh = words[1];
    CodeName_ToString(&codename, name);
    /* The name's characters run up to the first digit 0; a shorter name
     * means a character could not be appended. */
    while (expected <= 10 && CodeName_Digit(words, expected) != 0)
        ++expected;
    if (String_Length(name) != (uint32_t)expected)
        status = cli_fail(cmd, "out of memory");
    else
        print_pair(code, String_IsSet(name) ? name->string : "");
    String_Destroy(name);
    return status;
}

static int name_to_code(const Subcommand *cmd, const char *name)
{
    uint32_t words[2];
    int32_t ref = CodeName_FromName(name, words);
    if (ref != 0)
        return cli_fail_record(cmd, ref);
    print_pair((uint64_t)words[1] << 32 | words[0], name);
    return CLI_OK;
}

static int is_code(const char *text, int names_only)
{
    return !names_only && text[0] >= '0' && text[0] <= '9';
}

static int run_codename(const Subcommand *cmd, int argc, char **argv)
{
    int names_only = 0;
    const CliOption options[] = {{'n', "names", NULL, &names_only}, {0, NULL, NULL, NULL}};
    uint64_t *codes;
    int count;
    int i;
    int status = cli_parse_operands(cmd, argc, argv, options, -1, "no code or name given", &count);
    if (status >= 0)
        return status;
    codes = malloc((size_t)count * sizeof *codes);
    if (codes == NULL)
        return cli_fail(cmd, "out of memory");
    /* Every code is read before anything is written. */
    status = CLI_OK;
    for (i = 0; i < count && status == CLI_OK; ++i) {
        const char *text = argv[1 + i];
        int read;
        if (!is_code(text, names_only))
            continue;
        read = cli_read_uint64(text, &codes[i]);
        if (read == 0)
            status = cli_usage(cmd, "'%s' is not a code (a name that begins with a digit needs -n)",
                               text);
        else if (read < 0)
            status = cli_usage(cmd, "code '%s' is beyond 64 bits", text);
    }
    if (status != CLI_OK) {
        free(codes);
        return status;
    }
    /* A failed name does not stop the others; the status tells of it. */
    for (i = 0; i < count; ++i) {
        const char *text = argv[1 + i];
        int one = is_code(text, names_only) ? code_to_name(cmd, codes[i]) : name_to_code(cmd, text);
        if (one != CLI_OK)
            status = one;
    }
    free(codes);
    return status;
}

const Subcommand cli_codename = {
    "codename",
    "[-n] CODE|NAME...",
    "Turn 64-bit codes into names and names into codes.",
    "A CODE is decimal (129) or hexadecimal with 0x (0x81); anything that does\n"
    "not begin with a digit is a NAME: up to eleven of A-Z, a-z, 0-9 and _,\n"
    "the eleventh one of A-O.\n"
    "\n"
    "  -n, --names  every operand is a NAME, also one that begins with a digit\n"
    "\n"
    "Each operand gives one line, the pair in both forms:\n"
    "  129 0x0000000000000081 AB\n"
    "A code whose first character is the end (0 among them) has no name: its\n"
    "line ends after the hexadecimal code.  A code keeps bits that its name\n"
    "does not read (those behind the name's end).\n"
    "\n"
    "Exit status: 0; 1 when a NAME is no name of a code (the others are still\n"
    "written); 2 on a usage error (a CODE that is no number or beyond 64\n"
    "bits).\n",
    run_codename,
};
