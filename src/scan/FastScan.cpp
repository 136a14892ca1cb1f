#include <cstdint>

#include "common/Console.h"
#include "common/Services.h"
#include "output/ValueNames.h"
#include "scan/ScanConsole.h"
#include "scan/ScanEngines.h"
#include "tuner/TunerApi.h"

namespace tressel {
namespace {

// The library's sweep takes this fixed value as its fourth argument.
constexpr uint32_t kSweepBandwidthKHz = 8000;

} // namespace

int TRESSEL_CDECL OnFastScanResult(TransponderInfo* record)
{
    if (record == nullptr)
        return 0;
    double frequency = record->Frequency / 1000.0;
    const char* standard = StandardName(record->Standard);
    const char* modulation = ModulationName(record->Modulation);
    if (record->Standard == kStdDvbC || record->Standard == kStdDvbC2)
        return ConsolePrintf("%.3f Mhz, %u KS, %s/%s, %.1f dB\n", frequency,
                             record->SymbolRate / 1000, standard, modulation, record->Snr);
    return ConsolePrintf("%.3f Mhz, BW %u Mhz, %s/%s, %.1f dB\n", frequency,
                         record->Bandwidth / 1000, standard, modulation, record->Snr);
}

int32_t RunFastScan(TransponderInfo* table, uint32_t count, uint32_t start, uint32_t stop,
                    uint32_t step, uint32_t standard, int32_t* abortFlag)
{
    if (table == nullptr || abortFlag == nullptr)
        return -1;
    *abortFlag = 0;
    PrintScanBanner(start, stop, step);
    uint32_t scanStartMs = gServices.ClockMs();

    // The library is given no capacity: it learns from the count word how
    // many records are in use and stores at most the rest. With no free
    // record left the sweep is not started at all, because its first store
    // would already lie past the table.
    const uint32_t room = count < kTableCapacity ? kTableCapacity - count : 0;
    uint32_t stored = 0;
    if (room > 0) {
        uint32_t countWord = count;
        if (gTuner.Tressel(start, stop, step * 1000u, kSweepBandwidthKHz, standard, &table[count],
                           &countWord, OnFastScanResult) == 0) {
            ConsolePrintf("error !");
            return -2;
        }
        // A count word that claims more than the room left would make the
        // pass count records that are not in the table.
        stored = countWord < room ? countWord : room;
    }

    PrintScanClosing(ElapsedMs(scanStartMs));
    if (stored == room)
        PrintTableFull();
    TestAbortKeys(abortFlag);
    return static_cast<int32_t>(stored);
}

} // namespace tressel
