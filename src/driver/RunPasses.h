// The pass loop.
#pragma once

#include "driver/ScanSettings.h"

namespace tressel {

// Runs the scan passes over the intervals of the configuration file at
// configPath until the run ends (one pass, the user's abort, or a failing
// engine).
void RunPasses(const ScanSettings* settings, const char* configPath);

} // namespace tressel
