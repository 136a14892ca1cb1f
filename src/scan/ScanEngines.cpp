#include "scan/ScanEngines.h"

namespace tressel {

int32_t RunStepScan(TransponderInfo*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, double,
                    double, int32_t*)
{
    return 0;
}

int32_t RunFastScan(TransponderInfo*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, int32_t*)
{
    return 0;
}

} // namespace tressel
