#include <cstdint>

#include "common/Console.h"
#include "common/Services.h"
#include "output/ValueNames.h"
#include "scan/ScanConsole.h"
#include "scan/ScanEngines.h"
#include "tuner/TunerApi.h"

namespace tressel {
namespace {

// The tuner needs this long after a retune before its signal information
// describes the new channel.
constexpr uint32_t kSettleMs = 500;

// Two locks closer than this are one transponder seen from neighbouring
// channels.
constexpr uint32_t kDuplicateDistanceKHz = 1000;

// True when one of the first count records lies less than 1000 kHz from
// frequency.
bool IsDuplicate(const TransponderInfo* table, uint32_t count, uint32_t frequency)
{
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t other = table[i].Frequency;
        uint32_t distance = other > frequency ? other - frequency : frequency - other;
        if (distance < kDuplicateDistanceKHz)
            return true;
    }
    return false;
}

// The console line of a found transponder, on the line of its tuned frequency.
void PrintFound(const TransponderInfo* slot, uint32_t channelMs)
{
    double frequency = slot->Frequency / 1000.0;
    const char* standard = StandardName(slot->Standard);
    const char* modulation = ModulationName(slot->Modulation);
    if (slot->Standard == kStdDvbC || slot->Standard == kStdDvbC2)
        ConsolePrintf("%.3f Mhz, %u KS, %s/%s, %.1f dB - time %3.3fs\n", frequency,
                      slot->SymbolRate / 1000, standard, modulation, slot->Snr,
                      channelMs / 1000.0);
    else
        ConsolePrintf("%.3f Mhz, BW %u Mhz, %s/%s, %.1f dB - time %3.3fs\n", frequency,
                      slot->Bandwidth / 1000, standard, modulation, slot->Snr,
                      channelMs / 1000.0);
}

// DVB-T2 and DVB-C2 have a floor of their own; the standard is the one the
// tuner reports, not the interval's.
bool ReachesFloor(const TransponderInfo* slot, double minSnr1, double minSnr2)
{
    double floor = (slot->Standard == kStdDvbT2 || slot->Standard == kStdDvbC2) ? minSnr2 : minSnr1;
    return floor <= slot->Snr; // false for a NaN SNR
}

} // namespace

int32_t RunStepScan(TransponderInfo* table, uint32_t count, uint32_t start, uint32_t stop,
                    uint32_t step, uint32_t standard, double minSnr1, double minSnr2,
                    int32_t* abortFlag)
{
    if (table == nullptr || abortFlag == nullptr)
        return -1;
    *abortFlag = 0;
    uint32_t appended = 0;
    // Computed in 64 bits so that a step never wraps the frequency advance.
    const uint64_t stepKHz = static_cast<uint64_t>(step) * 1000u;
    const uint32_t bandwidthKHz = static_cast<uint32_t>(stepKHz);

    PrintScanBanner(start, stop, step);
    uint32_t scanStartMs = gServices.ClockMs();

    uint32_t frequency = start;
    bool more = start <= stop;
    while (more) {
        if (count >= kTableCapacity) // the free record would lie past the table
            break;
        uint32_t channelStartMs = gServices.ClockMs();
        ConsolePrintf("%.3f Mhz ... ", frequency / 1000.0);
        if (gTuner.SetChannel2Ex(frequency, bandwidthKHz, standard, 0) == 0) {
            ConsolePrintf("error !");
            return -2;
        }
        gServices.SleepMs(kSettleMs);
        TransponderInfo* slot = &table[count];
        if (gTuner.SignalInfo2(slot) == 0) {
            ConsolePrintf("error !");
            return -2;
        }
        if (slot->Locked != 0 && !IsDuplicate(table, count, slot->Frequency)) {
            PrintFound(slot, ElapsedMs(channelStartMs));
            if (ReachesFloor(slot, minSnr1, minSnr2)) {
                ++count;
                ++appended;
            }
        }
        ConsolePrintf("\n");
        if (TestAbortKeys(abortFlag))
            break;
        // The last channel is the last one that does not pass stop, even when
        // stop lies within one step of the top of the 32-bit range.
        uint64_t next = frequency + stepKHz;
        more = next <= stop;
        frequency = static_cast<uint32_t>(next);
    }
    // Said whenever the table is full, also when the last channel filled it,
    // since the pass then skips its remaining intervals.
    if (count >= kTableCapacity)
        PrintTableFull();

    PrintScanClosing(ElapsedMs(scanStartMs));
    return static_cast<int32_t>(appended);
}

} // namespace tressel
