// The library's only door to the system: opening device nodes, ioctls,
// poll, read and the clock. Unit tests replace gDvbIo with a scripted
// frontend, so that the tuning, waiting and mapping logic runs without a
// device and without real waits.
#pragma once

#include <cstddef>
#include <cstdint>

struct pollfd;

namespace tressel {
namespace dvb {

struct DvbIo {
    int (*Open)(const char* path, int flags);
    int (*Close)(int fd);
    int (*Ioctl)(int fd, unsigned long request, void* argument);
    // Waits up to timeoutMs for an event on fd (POLLIN or POLLPRI): 1 when
    // one is pending, 0 on timeout, negative on error.
    int (*WaitEvent)(int fd, int timeoutMs);
    long (*Read)(int fd, void* buffer, size_t size);
    uint32_t (*NowMs)();
    // Lists the entries of a directory: calls onEntry for each name; returns
    // 0, or -1 (errno set) when the directory cannot be opened.
    int (*ListDir)(const char* path, void (*onEntry)(const char* name, void* context), void* context);
};

// The process's I/O: the real system calls unless a test has replaced them.
extern DvbIo gDvbIo;

// The real system calls, for a test to restore or to wrap.
DvbIo SystemDvbIo();

} // namespace dvb
} // namespace tressel
