// The output stage of one scan pass: the detailed report and the
// transponder list, as the settings ask.
#pragma once

#include <cstdint>

#include "driver/ScanSettings.h"
#include "tuner/TransponderInfo.h"

namespace tressel {

// Writes the files of one finished pass: the detailed report when a report
// directory is set, the transponder list when a list directory is set. Each
// file is announced on the console with its name, followed by "error !" when
// it could not be written. Sorts the table by frequency in place.
void WritePassOutput(TransponderInfo* table, uint32_t count, uint32_t passNumber, double passTime,
                     const ScanSettings* settings);

} // namespace tressel
