#include "Pipe.h"

#include <fcntl.h>
#include <unistd.h>

namespace tess {

namespace {

void closeEnd(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
    }
    fd = -1;
}

}  // namespace

Pipe::~Pipe()
{
    closeRead();
    closeWrite();
}

bool Pipe::open()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return false;
    }
    read = fds[0];
    write = fds[1];
    return true;
}

void Pipe::closeRead()
{
    closeEnd(read);
}

void Pipe::closeWrite()
{
    closeEnd(write);
}

}  // namespace tess
