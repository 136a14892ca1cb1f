// The virtual tuner's only platform code: the library spends the time that a
// real tuner would need itself, so it sleeps with the system's own call
// rather than through the program's services.
#include "Band.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <ctime>
#endif

namespace tressel {
namespace vt {

void SpendMilliseconds(uint32_t ms)
{
    if (ms == 0)
        return;
#if defined(_WIN32)
    Sleep(ms);
#else
    timespec remaining;
    remaining.tv_sec = static_cast<time_t>(ms / 1000u);
    remaining.tv_nsec = static_cast<long>(ms % 1000u) * 1000000L;
    // A signal cuts the sleep short; finish the rest of it.
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
#endif
}

} // namespace vt
} // namespace tressel
