// POSIX open, close and pipe for the tests, or the C runtime's on Windows;
// open files with O_BINARY there, so that bytes pass unchanged.
#pragma once

#include <fcntl.h>

#include <string>

#if defined(_WIN32)
#include <io.h>
#define KEEL_TEST_PIPE(fds) _pipe(fds, 65536, _O_BINARY)
#else
#include <unistd.h>
#define O_BINARY 0
#define KEEL_TEST_PIPE(fds) pipe(fds)
#endif

// The read end of a pipe holding `bytes` (64 KiB at most), its write end closed.
inline int PipeHolding(const std::string &bytes)
{
    int fds[2];
    if (KEEL_TEST_PIPE(fds) != 0)
        return -1;
    bool whole = write(fds[1], bytes.data(), static_cast<unsigned>(bytes.size())) == static_cast<int>(bytes.size());
    close(fds[1]);
    return whole ? fds[0] : -1;
}
