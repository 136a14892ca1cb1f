// Console texts that both scan engines print around their sweep.
#pragma once

#include <cstdint>

namespace tressel {

// "From ... to ... Mhz, Step ... Mhz" before the sweep of an interval.
void PrintScanBanner(uint32_t start, uint32_t stop, uint32_t step);

// The closing block: the interval's scan time between two rules of 80 dashes.
void PrintScanClosing(uint32_t elapsedMs);

// The abort request at this moment: the user's keys (or, on POSIX, a latched
// Ctrl+A or SIGINT/SIGTERM). When it is there, prints the termination line,
// sets *abortFlag to 1 and returns true.
bool TestAbortKeys(int32_t* abortFlag);

// Said when an engine finds no free record left in the pass's table.
void PrintTableFull();

// The millisecond clock difference since startMs, across a clock wrap.
uint32_t ElapsedMs(uint32_t startMs);

} // namespace tressel
