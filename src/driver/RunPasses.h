// The pass loop.
#pragma once

#include <cstdint>

#include "driver/ScanSettings.h"
#include "tuner/TransponderInfo.h"

namespace tressel {

// The output stage that receives each pass that found something: the table,
// its count (never 0), the pass number from 1, the pass time in seconds and
// the settings.
typedef void (*PassOutputFn)(TransponderInfo* table, uint32_t count, uint32_t passNumber,
                             double passTime, const ScanSettings* settings);

// Runs the scan passes over the intervals of the configuration file at
// configPath until the run ends: after one pass when settings->Loop is 0,
// after the pass in which the user aborted, after a pass that ran no engine,
// or at once when an engine fails. Each pass that found something goes to
// WritePassOutput.
void RunPasses(const ScanSettings* settings, const char* configPath);

// RunPasses with the output stage given, so that the loop can be watched
// without writing files.
void RunPassesWithOutput(const ScanSettings* settings, const char* configPath,
                         PassOutputFn writeOutput);

} // namespace tressel
