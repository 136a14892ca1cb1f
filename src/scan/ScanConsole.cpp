#include "scan/ScanConsole.h"

#include "common/Console.h"
#include "common/Services.h"

namespace tressel {
namespace {

constexpr char kRule[] =
    "--------------------------------------------------------------------------------\n";
static_assert(sizeof kRule == 80 + 2, "a rule is 80 dashes and a line feed");

} // namespace

void PrintScanBanner(uint32_t start, uint32_t stop, uint32_t step)
{
    ConsolePrintf("From %.3f to %.3f Mhz, Step %u Mhz\n", start / 1000.0, stop / 1000.0, step);
}

void PrintScanClosing(uint32_t elapsedMs)
{
    ConsolePrintf("%s", kRule);
    ConsolePrintf("Scan Time = %3.3fs\n", elapsedMs / 1000.0);
    ConsolePrintf("%s", kRule);
}

bool TestAbortKeys(int32_t* abortFlag)
{
    if (!gServices.AbortKeysDown())
        return false;
    ConsolePuts("Terminated on user request ...");
    *abortFlag = 1;
    return true;
}

void PrintTableFull()
{
    ConsolePuts("Transponder table full !");
}

uint32_t ElapsedMs(uint32_t startMs)
{
    // Unsigned difference: right even when the 32-bit clock wrapped between.
    return gServices.ClockMs() - startMs;
}

} // namespace tressel
