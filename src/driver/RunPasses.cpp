#include "driver/RunPasses.h"

namespace tressel {

// The scan passes arrive with the scanning work; until then a run ends after
// start-up.
void RunPasses(const ScanSettings* /*settings*/, const char* /*configPath*/)
{
}

} // namespace tressel
