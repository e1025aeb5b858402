/* io.c - input files and standard input as descriptors, and binary standard
 * output.  The descriptor calls are the C runtime's on every platform
 * (POSIX, or the Windows runtime's compatible names); Windows alone needs
 * binary mode asked for, so that no CR or Ctrl-Z is altered on the way. */
#if !defined(_WIN32)
#define _POSIX_C_SOURCE 200809L
#endif
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#if defined(_WIN32)
#include <io.h>
#endif

#include "cli.h"

#ifndef O_BINARY
#define O_BINARY 0
#endif

static const char *input_name(const char *path)
{
    return path == NULL || strcmp(path, "-") == 0 ? "standard input" : path;
}

static int is_directory(int fd)
{
    struct stat info;
    return fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
}

static int path_is_directory(const char *path)
{
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

int cli_open_input(const Subcommand *cmd, const char *path, int *fd)
{
    int opened;
    if (path == NULL || strcmp(path, "-") == 0) {
#if defined(_WIN32)
        _setmode(0, _O_BINARY);
#endif
        opened = dup(0);
    } else {
        opened = open(path, O_RDONLY | O_BINARY);
        /* Windows refuses to open a directory at all. */
        if (opened == -1 && errno == EACCES && path_is_directory(path))
            return cli_fail(cmd, "%s: is a directory", path);
    }
    if (opened == -1)
        return cli_fail(cmd, "%s: %s", input_name(path), strerror(errno));
    if (opened == 0) {
        /* Standard input was closed, so the file took descriptor 0. */
        int moved = dup(0);
        int saved = errno;
        close(0);
        if (moved == -1)
            return cli_fail(cmd, "%s: %s", input_name(path), strerror(saved));
        opened = moved;
    }
    if (is_directory(opened)) {
        close(opened);
        return cli_fail(cmd, "%s: is a directory", input_name(path));
    }
    *fd = opened;
    return CLI_OK;
}

void cli_close_input(int fd) { close(fd); }

int cli_read_all(const Subcommand *cmd, const char *path, int fd, char **data, size_t *size)
{
    size_t capacity = 4096;
    size_t used = 0;
    char *buffer = malloc(capacity);
    if (buffer == NULL)
        return cli_fail(cmd, "out of memory");
    for (;;) {
        int got;
        if (capacity - used < 4096 + 1) {
            char *grown = capacity > (size_t)-1 / 2 ? NULL : realloc(buffer, capacity * 2);
            if (grown == NULL) {
                free(buffer);
                return cli_fail(cmd, "%s: too large for memory", input_name(path));
            }
            buffer = grown;
            capacity *= 2;
        }
        got = (int)read(fd, buffer + used, 4096);
        if (got == 0)
            break;
        if (got < 0) {
            int saved = errno;
            if (saved == EINTR)
                continue;
            free(buffer);
            return cli_fail(cmd, "%s: %s", input_name(path), strerror(saved));
        }
        used += (size_t)got;
    }
    buffer[used] = '\0';
    *data = buffer;
    *size = used;
    return CLI_OK;
}

void cli_binary_stdout(void)
{
    fflush(stdout);
#if defined(_WIN32)
    _setmode(1, _O_BINARY);
#endif
}
