// The output stage of one scan pass: the detailed report and the
// transponder list, named after the location and, when passes are numbered,
// the pass.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/ScanSettings.h"
#include "tuner/TransponderInfo.h"

namespace tressel {

// Orders two records by Frequency, compared unsigned: 1 when a's is greater,
// -1 when it is smaller, 0 when they are equal.
int CompareFrequency(const TransponderInfo* a, const TransponderInfo* b);

// Build the report's and the list's file names of a pass into out (capacity
// cap). Return the length, or -1 when the name does not fit (out then holds
// as much of it as fits) or when a name built from LocName would leave its
// directory because LocName holds a path separator.
int BuildReportFileName(char* out, size_t cap, const ScanSettings* settings, uint32_t passNumber);
int BuildTpListFileName(char* out, size_t cap, const ScanSettings* settings, uint32_t passNumber);

// Sorts the pass's records by ascending frequency, prints the total, then
// announces and writes the detailed report and the transponder list, each
// announcement followed by "error !" when its file could not be written. A
// failed report does not keep the list from being written. The list writer
// rounds each record's Frequency in place, after the report has shown it.
void WritePassOutput(TransponderInfo* table, uint32_t count, uint32_t passNumber, double passTime,
                     const ScanSettings* settings);

} // namespace tressel
