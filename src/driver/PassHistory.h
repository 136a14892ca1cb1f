// What the pass loop notes about the running pass for the history and the
// band picture: the local start time and the intervals it scanned. Nothing
// here runs unless History or BandPicture is set.
#pragma once

#include <cstdint>

#include "driver/ScanSettings.h"
#include "tuner/TransponderInfo.h"

namespace tressel {

// At the start of a pass: takes the local time and forgets the intervals.
void BeginPassRecord(const ScanSettings* settings);

// An interval that an engine is about to scan, with the floors it applies
// when stepped.
void NotePassInterval(uint32_t start, uint32_t stop, bool stepped, double minSnr1, double minSnr2);

// After the engine: whether it scanned the interval to its end (not when
// the user aborted or the table filled).
void NotePassIntervalEnd(bool complete);

// After the pass's total: reads the history, prints the change lines
// against its last pass and appends the pass's rows. table is sorted by
// frequency, count may be 0. Does nothing when History is empty.
void RecordPassHistory(const TransponderInfo* table, uint32_t count, uint32_t passNumber,
                       const ScanSettings* settings);

// After the report: announces and writes the band picture beside it, named
// like the report with ".svg". Does nothing when BandPicture is 0.
void WritePassPicture(const TransponderInfo* table, uint32_t count, uint32_t passNumber,
                      const ScanSettings* settings);

} // namespace tressel
