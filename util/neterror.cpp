// neterror.cpp - descriptions of socket errors: the table of known Winsock
// numbers with their symbolic names, hints and levels, the lookup, the
// record of a failed socket call, and the errno-to-Winsock mapping.
//
// Rules kept here:
// - The tables are constant and sorted by number; a lookup is a binary
//   search, so describing an error never allocates and any thread may do
//   it at any time.
// - Nothing is written outside a caller's buffer: a size of 0 writes
//   nothing, and every text (a decimal name included) is cut to size - 1
//   characters and terminated.
// - NetError_New reads global_log_level once, without a lock, as every
//   reader of the level does.
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "util.h"

namespace {

struct NetErrorRow {
    int code;
    const char *name;
    const char *hint;  // nullptr: none
    int level;
};

const int kUnknownLevel = 50;

// Sorted by code: the lookup is a binary search.
const NetErrorRow kRows[] = {
    {6, "WSA_INVALID_HANDLE", nullptr, 50},
    {8, "WSA_NOT_ENOUGH_MEMORY", nullptr, 50},
    {87, "WSA_INVALID_PARAMETER", nullptr, 50},
    {995, "WSA_OPERATION_ABORTED", nullptr, 50},
    {996, "WSA_IO_INCOMPLETE", nullptr, 50},
    {997, "WSA_IO_PENDING", nullptr, 50},
    {10004, "WSAEINTR", nullptr, 50},
    {10013, "WSAEACCES", nullptr, 50},
    {10014, "WSAEFAULT", nullptr, 50},
    {10022, "WSAEINVAL", nullptr, 50},
    {10024, "WSAEMFILE",
     "There may be too many files, sockets or resources in use on your machine.", 25},
    {10035, "WSAEWOULDBLOCK", nullptr, 50},
    {10036, "WSAEINPROGRESS", nullptr, 50},
    {10037, "WSAEALREADY", nullptr, 50},
    {10038, "WSAENOTSOCK", nullptr, 50},
    {10039, "WSAEDESTADDRREQ", nullptr, 50},
    {10040, "WSAEMSGSIZE", nullptr, 50},
    {10041, "WSAEPROTOTYPE", nullptr, 50},
    {10042, "WSAENOPROTOOPT", nullptr, 50},
    {10043, "WSAEPROTONOSUPPORT", nullptr, 50},
    {10045, "WSAEOPNOTSUPP", nullptr, 50},
    {10046, "WSAEPFNOSUPPORT", nullptr, 50},
    {10047, "WSAEAFNOSUPPORT", nullptr, 50},
    {10048, "WSAEADDRINUSE", "The address or port is already in use", 25},
    {10049, "WSAEADDRNOTAVAIL", "Check port number is valid", 25},
    {10050, "WSAENETDOWN", "Your network is currently unavailable", 25},
    {10051, "WSAENETUNREACH", "Your network is unreachable", 25},
    {10052, "WSAENETRESET", "Network dropped connection on reset", 50},
    {10053, "WSAECONNABORTED", "Software caused connection abort", 50},
    {10054, "WSAECONNRESET", "Connection reset by peer", 50},
    {10055, "WSAENOBUFS", "No buffer space available", 50},
    {10056, "WSAEISCONN", nullptr, 50},
    {10057, "WSAENOTCONN", nullptr, 50},
    {10058, "WSAESHUTDOWN", nullptr, 50},
    {10060, "WSAETIMEDOUT", "Connection to target server timed out", 25},
    {10061, "WSAECONNREFUSED", "Connection refused by target server", 25},
    {10064, "WSAEHOSTDOWN", nullptr, 50},
    {10065, "WSAEHOSTUNREACH", "Target machine is unreachable", 25},
    {10067, "WSAEPROCLIM", nullptr, 50},
    {10091, "WSASYSNOTREADY", nullptr, 50},
    {10092, "WSAVERNOTSUPPORTED", nullptr, 50},
    {10093, "WSANOTINITIALISED", nullptr, 50},
    {10101, "WSAEDISCON", nullptr, 50},
    {10107, "WSASYSCALLFAILURE", nullptr, 50},
    {10109, "WSATYPE_NOT_FOUND", nullptr, 50},
    {11001, "WSAHOST_NOT_FOUND", "Hostname not found.", 25},
    {11002, "WSATRY_AGAIN", nullptr, 50},
    {11003, "WSANO_RECOVERY", nullptr, 50},
    {11004, "WSANO_DATA", "No data available for hostname", 25},
};

const size_t kRowCount = sizeof kRows / sizeof kRows[0];

// The buffers NetError_New describes into, terminating NUL included.
const size_t kNameBuffer = 128;
const size_t kHintBuffer = 256;

const NetErrorRow *find_row(int code)
{
    size_t low = 0, high = kRowCount;
    while (low < high) {
        size_t mid = low + (high - low) / 2;
        if (kRows[mid].code < code)
            low = mid + 1;
        else
            high = mid;
    }
    return low < kRowCount && kRows[low].code == code ? &kRows[low] : nullptr;
}

// Copies text into buf, cut to size - 1 characters and terminated.
void copy_cut(char *buf, size_t size, const char *text)
{
    size_t n = strnlen(text, size - 1);
    memcpy(buf, text, n);
    buf[n] = '\0';
}

// errno values and their Winsock numbers.  A value may appear twice where a
// system gives two names one number (EAGAIN and EWOULDBLOCK on Linux); the
// first row wins, and both rows say the same.  Names that a system lacks
// are left out there.
struct ErrnoPair {
    int errno_value;
    int winsock;
};

const ErrnoPair kErrnoPairs[] = {
    {ENOMEM, 8},
    {ECANCELED, 995},
    {EINTR, 10004},
    {EACCES, 10013},
    {EFAULT, 10014},
    {EINVAL, 10022},
    {EMFILE, 10024},
    {EWOULDBLOCK, 10035},
    {EAGAIN, 10035},
    {EINPROGRESS, 10036},
    {EALREADY, 10037},
    {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039},
    {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043},
    {EOPNOTSUPP, 10045},
    {ENOTSUP, 10045},
#ifdef EPFNOSUPPORT
    {EPFNOSUPPORT, 10046},
#endif
    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},
    {ENETUNREACH, 10051},
    {ENETRESET, 10052},
    {ECONNABORTED, 10053},
    {ECONNRESET, 10054},
    {ENOBUFS, 10055},
    {EISCONN, 10056},
    {ENOTCONN, 10057},
#ifdef ESHUTDOWN
    {ESHUTDOWN, 10058},
#endif
    {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},
#ifdef EHOSTDOWN
    {EHOSTDOWN, 10064},
#endif
    {EHOSTUNREACH, 10065},
#ifdef EPROCLIM
    {EPROCLIM, 10067},
#endif
};

}  // namespace

void NetError_Describe(int error, char *name, size_t nameSize, char *hint, size_t hintSize,
                       int *level)
{
    const NetErrorRow *row = find_row(error);
    if (name && nameSize > 0) {
        if (row)
            copy_cut(name, nameSize, row->name);
        else
            snprintf(name, nameSize, "%d", error);  // cuts and terminates
    }
    if (hint && hintSize > 0)
        copy_cut(hint, hintSize, row && row->hint ? row->hint : "");
    if (level)
        *level = row ? row->level : kUnknownLevel;
}

Error *NetError_New(int error, const char *operation)
{
    if (error == 0)
        return NULL;
    char name[kNameBuffer];
    char hint[kHintBuffer];
    int level = kUnknownLevel;
    NetError_Describe(error, name, sizeof name, hint, sizeof hint, &level);
    const char *what = operation ? operation : "(null)";
    Error *record;
    if (hint[0] != '\0') {
        record = Error_NewCoded(ERROR_CODE_NETWORK,
                                "Encountered network error: %s.  (Technical information: "
                                "error %s (%d) while executing %s)",
                                hint, name, error, what);
        if (record)
            record->hint = String_NewFrom(hint);
    } else if (level > __atomic_load_n(&global_log_level, __ATOMIC_RELAXED)) {
        record = Error_New("Encountered network error %d (%s) when executing '%s'.", error,
                           name, what);
    } else {
        record = Error_NewCoded(ERROR_CODE_NETWORK,
                                "Encountered network error %d (%s) when executing '%s'.", error,
                                name, what);
    }
    if (record)
        record->osError = error;
    return record;
}

int NetError_FromErrno(int error)
{
    for (const ErrnoPair &pair : kErrnoPairs)
        if (pair.errno_value == error)
            return pair.winsock;
    return error;
}
