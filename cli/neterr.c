/* neterr.c - keel neterr: what the layer says about a network error number. */
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli.h"
#include "util.h"

/* The errno names a socket call can give, for those who have a name rather
 * than a Winsock number; the layer maps their values. */
typedef struct ErrnoName {
    const char *name;
    int value;
} ErrnoName;

#define ERRNO_NAME(e) {#e, e}
static const ErrnoName kErrnoNames[] = {
    ERRNO_NAME(ENOMEM),       ERRNO_NAME(ECANCELED),       ERRNO_NAME(EINTR),
    ERRNO_NAME(EACCES),       ERRNO_NAME(EFAULT),          ERRNO_NAME(EINVAL),
    ERRNO_NAME(EMFILE),       ERRNO_NAME(EWOULDBLOCK),     ERRNO_NAME(EAGAIN),
    ERRNO_NAME(EINPROGRESS),  ERRNO_NAME(EALREADY),        ERRNO_NAME(ENOTSOCK),
    ERRNO_NAME(EDESTADDRREQ), ERRNO_NAME(EMSGSIZE),        ERRNO_NAME(EPROTOTYPE),
    ERRNO_NAME(ENOPROTOOPT),  ERRNO_NAME(EPROTONOSUPPORT), ERRNO_NAME(EOPNOTSUPP),
    ERRNO_NAME(ENOTSUP),      ERRNO_NAME(EAFNOSUPPORT),    ERRNO_NAME(EADDRINUSE),
    ERRNO_NAME(EADDRNOTAVAIL), ERRNO_NAME(ENETDOWN),       ERRNO_NAME(ENETUNREACH),
    ERRNO_NAME(ENETRESET),    ERRNO_NAME(ECONNABORTED),    ERRNO_NAME(ECONNRESET),
    ERRNO_NAME(ENOBUFS),      ERRNO_NAME(EISCONN),         ERRNO_NAME(ENOTCONN),
    ERRNO_NAME(ETIMEDOUT),    ERRNO_NAME(ECONNREFUSED),    ERRNO_NAME(EHOSTUNREACH),
#ifdef EPFNOSUPPORT
    ERRNO_NAME(EPFNOSUPPORT),
#endif
#ifdef ESHUTDOWN
    ERRNO_NAME(ESHUTDOWN),
#endif
#ifdef EHOSTDOWN
    ERRNO_NAME(EHOSTDOWN),
#endif
#ifdef EPROCLIM
    ERRNO_NAME(EPROCLIM),
#endif
};
#define ERRNO_NAME_COUNT (sizeof kErrnoNames / sizeof kErrnoNames[0])

static const ErrnoName *find_errno_name(const char *name)
{
    size_t i;
    for (i = 0; i < ERRNO_NAME_COUNT; ++i)
        if (strcmp(kErrnoNames[i].name, name) == 0)
            return &kErrnoNames[i];
    return NULL;
}

/* One operand, read: the Winsock number, and what it came from when it was
 * an errno name or value. */
typedef struct Query {
    int number;
    const char *given; /* the operand, when it was an errno name or value */
} Query;

static int read_query(const Subcommand *cmd, const char *text, int as_errno, Query *query)
{
    long long value;
    query->given = NULL;
    if (text[0] == 'E' && text[1] != '\0' && !(text[1] >= '0' && text[1] <= '9')) {
        const ErrnoName *known = find_errno_name(text);
        if (known == NULL)
            return cli_usage(cmd, "'%s' is no errno name of a socket error", text);
        query->number = NetError_FromErrno(known->value);
        query->given = text;
        return CLI_OK;
    }
    if (cli_integer_operand(cmd, "number", text, INT_MIN, INT_MAX, &value) != CLI_OK)
        return CLI_USAGE;
    query->number = as_errno ? NetError_FromErrno((int)value) : (int)value;
    query->given = as_errno ? text : NULL;
    return CLI_OK;
}

static int describe(const Subcommand *cmd, const Query *query, const char *operation)
{
    char name[32];
    char hint[128];
    int level;
    Error *record;
    NetError_Describe(query->number, name, sizeof name, hint, sizeof hint, &level);
    if (query->given != NULL)
        printf("errno: %s\n", query->given);
    printf("number: %d\nname: %s\nhint: %s\nlevel: %d\n", query->number, name,
           hint[0] != '\0' ? hint : "(none)", level);
    if (query->number == 0) {
        printf("message: (none: 0 is success)\n");
        return CLI_OK;
    }
    record = NetError_New(query->number, operation);
    if (record == NULL)
        return cli_fail(cmd, "out of memory");
    if (record->message == NULL || !String_IsSet(record->message)) {
        Error_Destroy(record);
        return cli_fail(cmd, "out of memory");
    }
    printf("message: %s\n", record->message->string);
    Error_Destroy(record);
    return CLI_OK;
}

static int run_neterr(const Subcommand *cmd, int argc, char **argv)
{
    const char *operation = "(unspecified)";
    int as_errno = 0;
    const CliOption options[] = {{0, "op", &operation, NULL},
                                 {'e', "errno", NULL, &as_errno},
                                 {0, NULL, NULL, NULL}};
    Query *queries;
    int count;
    int i;
    int status = cli_parse_operands(cmd, argc, argv, options, -1, "no error number given", &count);
    if (status >= 0)
        return status;
    queries = malloc((size_t)count * sizeof *queries);
    if (queries == NULL)
        return cli_fail(cmd, "out of memory");
    status = CLI_OK;
    for (i = 0; i < count && status == CLI_OK; ++i)
        status = read_query(cmd, argv[1 + i], as_errno, &queries[i]);
    for (i = 0; i < count && status == CLI_OK; ++i) {
        if (i > 0)
            putchar('\n');
        status = describe(cmd, &queries[i], operation);
    }
    free(queries);
    return status;
}

const Subcommand cli_neterr = {
    "neterr",
    "[--op TEXT] [-e] NUMBER|ENAME...",
    "Describe network error numbers.",
    "NUMBER is a Winsock error number (10061); ENAME an errno name of a socket\n"
    "error (ECONNREFUSED), turned into its Winsock number as the layer maps\n"
    "errno values.\n"
    "\n"
    "  --op TEXT    the failed operation the message names (default\n"
    "               \"(unspecified)\"), e.g. \"connect(s)\"\n"
    "  -e, --errno  the NUMBERs are errno values of this system, not Winsock\n"
    "               numbers\n"
    "\n"
    "For each, one field per line (a blank line between errors):\n"
    "  errno: ENAME        only when given as an errno name or value\n"
    "  number: 10061       the Winsock number\n"
    "  name: WSAECONNREFUSED\n"
    "                      the symbolic name; the number itself when unknown\n"
    "  hint: ...           the plain-language hint, or (none)\n"
    "  level: 25           25 for errors a user can act on, else 50\n"
    "  message: ...        the message of the error record the layer makes\n"
    "\n"
    "Exit status: 0, or 2 on a usage error (a word that is no number or known\n"
    "errno name, a number beyond an int).\n",
    run_neterr,
};
