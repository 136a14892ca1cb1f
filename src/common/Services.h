// The clock, sleep, abort test and local time that the engines, the pass
// loop and the list writer use, as one record of function pointers bound to
// the platform layer. Tests swap in a fake clock and sleep so that a
// 50-channel sweep takes milliseconds, and script the abort test.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

namespace tressel {

struct Services {
    uint32_t (*ClockMs)();
    void (*SleepMs)(uint32_t ms);
    bool (*AbortKeysDown)();
    int (*LocalTimeNow)(LocalTime* out);
};

extern Services gServices;

// The platform's own services, for restoring after a test.
extern const Services kPlatformServices;

} // namespace tressel
