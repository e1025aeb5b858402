// Low-level file descriptors for the tests: POSIX open/pipe, or the C
// runtime's _open/_pipe on Windows (binary mode, so bytes pass unchanged).
#pragma once

#include <string>

// A descriptor of the named file, open for reading or for writing only; -1
// when it cannot be opened.
int OpenDescriptor(const std::string &path, bool for_writing);
void CloseDescriptor(int fd);
// The read end of a pipe that holds `bytes` (at most 64 KiB) and whose write
// end is closed already; -1 on failure.
int PipeHolding(const std::string &bytes);
