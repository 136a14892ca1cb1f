#include "common/Services.h"

namespace tressel {

const Services kPlatformServices = {
    PlatformClockMs,
    PlatformSleepMs,
    PlatformAbortKeysDown,
    PlatformLocalTime,
};

Services gServices = kPlatformServices;

} // namespace tressel
