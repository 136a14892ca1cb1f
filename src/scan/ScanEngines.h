// The two scan engines. Each sweeps one interval, appends what it finds to
// the pass's table from record count on, and returns how many records it
// appended, or a negative code on failure.
#pragma once

#include <cstdint>

#include "tuner/TransponderInfo.h"

namespace tressel {

// Tunes every channel from start to stop (kHz) in steps of step MHz.
// Returns the number appended; -1 for a null table; -2 when a library call
// failed.
int32_t RunStepScan(TransponderInfo* table, uint32_t count, uint32_t start, uint32_t stop,
                    uint32_t step, uint32_t standard, double minSnr1, double minSnr2,
                    int32_t* abortFlag);

// Hands the interval to the library's own sweep. Returns the number the
// library stored; -2 when the sweep failed.
int32_t RunFastScan(TransponderInfo* table, uint32_t count, uint32_t start, uint32_t stop,
                    uint32_t step, uint32_t standard, int32_t* abortFlag);

} // namespace tressel
