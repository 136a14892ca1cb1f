#include "DvbIo.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace tressel {
namespace dvb {

namespace {

int SystemOpen(const char* path, int flags)
{
    return open(path, flags | O_CLOEXEC);
}

int SystemClose(int fd)
{
    return close(fd);
}

int SystemIoctl(int fd, unsigned long request, void* argument)
{
    int result;
    do {
        result = ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

int SystemWaitEvent(int fd, int timeoutMs)
{
    pollfd entry = {};
    entry.fd = fd;
    entry.events = POLLIN | POLLPRI;
    int result = poll(&entry, 1, timeoutMs);
    if (result < 0 && errno == EINTR)
        return 0;
    return result;
}

long SystemRead(int fd, void* buffer, size_t size)
{
    return static_cast<long>(read(fd, buffer, size));
}

uint32_t SystemNowMs()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

int SystemListDir(const char* path, void (*onEntry)(const char* name, void* context), void* context)
{
    DIR* dir = opendir(path);
    if (dir == nullptr)
        return -1;
    while (dirent* entry = readdir(dir))
        onEntry(entry->d_name, context);
    closedir(dir);
    return 0;
}

} // namespace

DvbIo SystemDvbIo()
{
    return DvbIo{SystemOpen, SystemClose, SystemIoctl, SystemWaitEvent, SystemRead, SystemNowMs, SystemListDir};
}

DvbIo gDvbIo = SystemDvbIo();

} // namespace dvb
} // namespace tressel
