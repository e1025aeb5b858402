// Low-level file descriptors for the tests: POSIX open, close and pipe, or
// the C runtime's on Windows, where files are opened with O_BINARY so that
// bytes pass unchanged.
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

// The read end of a pipe that holds `bytes` (at most 64 KiB) and whose
// write end is closed already; -1 on failure.
inline int PipeHolding(const std::string &bytes)
{
    int fds[2];
    if (KEEL_TEST_PIPE(fds) != 0)
        return -1;
    bool whole = write(fds[1], bytes.data(), static_cast<unsigned>(bytes.size())) == static_cast<int>(bytes.size());
    close(fds[1]);
    return whole ? fds[0] : -1;
}
