#include "support/descriptors.h"

#include <fcntl.h>

#if defined(_WIN32)
#include <io.h>

int OpenDescriptor(const std::string &path, bool for_writing)
{
    return _open(path.c_str(), (for_writing ? _O_WRONLY : _O_RDONLY) | _O_BINARY);
}

void CloseDescriptor(int fd) { _close(fd); }

int PipeHolding(const std::string &bytes)
{
    int fds[2];
    if (_pipe(fds, 65536, _O_BINARY) != 0)
        return -1;
    int written = _write(fds[1], bytes.data(), static_cast<unsigned>(bytes.size()));
    _close(fds[1]);
    return written == static_cast<int>(bytes.size()) ? fds[0] : -1;
}

#else
#include <unistd.h>

int OpenDescriptor(const std::string &path, bool for_writing)
{
    return open(path.c_str(), for_writing ? O_WRONLY : O_RDONLY);
}

void CloseDescriptor(int fd) { close(fd); }

int PipeHolding(const std::string &bytes)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    ssize_t written = write(fds[1], bytes.data(), bytes.size());
    close(fds[1]);
    return written == static_cast<ssize_t>(bytes.size()) ? fds[0] : -1;
}

#endif
