// The two scan engines. Each sweeps one interval, appends what it finds to
// the pass's table from record count on, and returns how many records it
// appended, or a negative code on failure. Neither writes a record past the
// table's kTableCapacity records, and neither lets the library do so.
#pragma once

#include <cstdint>

#include "tuner/TransponderInfo.h"
#include "tuner/TunerApi.h"

namespace tressel {

// Tunes every channel from start to stop (kHz, inclusive) in steps of step
// MHz, lets the tuner settle 500 ms and reads its signal information into
// the free record table[count + appended]. A locked channel at least
// 1000 kHz from every record already in the table is printed; it is
// appended when its SNR reaches minSnr2 (DVB-T2, DVB-C2) or minSnr1 (the
// rest). Clears *abortFlag at entry and sets it to 1 when the user aborts.
// Stops early, with "Transponder table full !", when no free record is left.
// A step of 0 retunes start until the user aborts; the pass loop never asks
// for one.
// Returns the number appended (0 or more); -1 for a null table or abort
// flag (nothing printed); -2 when a library call failed ("error !" printed,
// no closing block).
int32_t RunStepScan(TransponderInfo* table, uint32_t count, uint32_t start, uint32_t stop,
                    uint32_t step, uint32_t standard, double minSnr1, double minSnr2,
                    int32_t* abortFlag);

// Hands the interval to the library's own sweep, which stores what it finds
// from table[count] on and reports each record to OnFastScanResult. The
// abort keys are tested once, after the closing block. Returns the number
// the library stored, never more than the records left free; -1 for a null
// table or abort flag (nothing printed); -2 when the sweep failed ("error !"
// printed, no closing block).
int32_t RunFastScan(TransponderInfo* table, uint32_t count, uint32_t start, uint32_t stop,
                    uint32_t step, uint32_t standard, int32_t* abortFlag);

// The fast scan's result callback: prints one line for the record the
// library has just stored, without changing it. Returns the number of
// characters printed (0 for a null record).
int TRESSEL_CDECL OnFastScanResult(TransponderInfo* record);

} // namespace tressel
