#include "driver/RunPasses.h"

#include <cstring>

#include "common/Console.h"
#include "common/Services.h"
#include "common/Text.h"
#include "driver/PassHistory.h"
#include "driver/WritePassOutput.h"
#include "platform/Platform.h"
#include "scan/ScanEngines.h"
#include "tuner/TunerApi.h"

namespace tressel {
namespace {

// The largest step, in MHz, that an interval may ask for.
constexpr uint32_t kMaxStepMHz = 10;

// Room for "Scan" and any 32-bit index.
constexpr size_t kSectionNameCapacity = 16;

// One scan section as the engines receive it.
struct ScanInterval {
    uint32_t Start; // kHz
    uint32_t Stop;  // kHz, inclusive
    uint32_t Step;  // MHz
    uint32_t Std;   // the standard code handed to the library
};

// How an interval loop ended.
enum class IntervalEnd {
    Pass, // the list ended, an interval was invalid, the user aborted or the table is full
    Run,  // an engine failed: nothing more of the run
};

// The pass's table: one fixed block for the whole run.
TransponderTable gTable;

// Maps the configuration's standard selector to the library's standard code:
// 1-4 are DVB-T, DVB-T2, DVB-C, DVB-C2; any other selector but 0 lies 5
// below its code. Unsigned arithmetic, so that no selector overflows.
uint32_t MapStandard(int32_t selector)
{
    switch (selector) {
    case 0: return 0;
    case 1: return kStdDvbT;
    case 2: return kStdDvbT2;
    case 3: return kStdDvbC;
    case 4: return kStdDvbC2;
    default: return static_cast<uint32_t>(selector) + 5u;
    }
}

// Reads the scan section of index i. The sections are read anew at every
// interval so that an edit takes effect at the next one.
ScanInterval ReadInterval(uint32_t index, const char* configPath)
{
    char section[kSectionNameCapacity];
    FormatText(section, sizeof section, "Scan%u", index);
    ScanInterval interval;
    interval.Start = static_cast<uint32_t>(PlatformIniReadInt(section, "Start", 0, configPath));
    interval.Stop = static_cast<uint32_t>(PlatformIniReadInt(section, "Stop", 0, configPath));
    interval.Step = static_cast<uint32_t>(PlatformIniReadInt(section, "Step", 8, configPath));
    interval.Std = MapStandard(PlatformIniReadInt(section, "Std", 0, configPath));
    return interval;
}

// Walks the scan sections from Scan0, running an engine for each valid one
// and adding what it appended to the table's count. Sets *engineRan when an
// engine ran. Returns IntervalEnd::Run when an engine failed.
IntervalEnd RunIntervals(const ScanSettings* settings, const char* configPath,
                         int32_t* abortFlag, bool* engineRan)
{
    for (uint32_t index = 0;; ++index) {
        // Announced before the read, so the index that ends the list shows too.
        ConsolePrintf("Scan interval %u\n", index);
        ScanInterval interval = ReadInterval(index, configPath);
        if (interval.Start == 0 && interval.Stop == 0)
            return IntervalEnd::Pass;
        if (interval.Start >= interval.Stop) {
            ConsolePrintf("Invalid scan params: StartFreq >= StopFreq !\n");
            return IntervalEnd::Pass;
        }
        if (interval.Step > kMaxStepMHz) {
            ConsolePrintf("Invalid scan params: Step > %u Mhz !\n", kMaxStepMHz);
            return IntervalEnd::Pass;
        }
        if (interval.Step == 0) {
            // A zero step would retune the start frequency until the user aborts.
            ConsolePrintf("Invalid scan params: Step = 0 Mhz !\n");
            return IntervalEnd::Pass;
        }
        double minSnr1 = PlatformIniReadInt("Options", "MinSNR1", -100, configPath);
        double minSnr2 = PlatformIniReadInt("Options", "MinSNR2", -100, configPath);

        int32_t result;
        bool fast = (gTuner.GetCaps() & kCapFastScan) != 0 && settings->FastScan != 0;
        NotePassInterval(interval.Start, interval.Stop, !fast, minSnr1, minSnr2);
        if (fast)
            result = RunFastScan(gTable.Records, gTable.Count, interval.Start, interval.Stop,
                                 interval.Step, interval.Std, abortFlag);
        else
            result = RunStepScan(gTable.Records, gTable.Count, interval.Start, interval.Stop,
                                 interval.Step, interval.Std, minSnr1, minSnr2, abortFlag);
        *engineRan = true;
        if (result < 0)
            return IntervalEnd::Run;
        gTable.Count += static_cast<uint32_t>(result);
        NotePassIntervalEnd(*abortFlag == 0 && gTable.Count < kTableCapacity);
        if (*abortFlag != 0)
            return IntervalEnd::Pass;
        if (gTable.Count >= kTableCapacity)
            return IntervalEnd::Pass; // the engine has said so; later intervals have no room
    }
}

} // namespace

void RunPassesWithOutput(const ScanSettings* settings, const char* configPath,
                         PassOutputFn writeOutput)
{
    if (settings == nullptr || configPath == nullptr)
        return;
    uint32_t passNumber = 1;
    int32_t abortFlag = 0;
    for (;;) {
        if (settings->Loop != 0)
            ConsolePrintf("---------- Pass %u ----------\n", passNumber);
        memset(&gTable, 0, sizeof gTable);
        uint32_t passStartMs = gServices.ClockMs();
        BeginPassRecord(settings);

        bool engineRan = false;
        if (RunIntervals(settings, configPath, &abortFlag, &engineRan) == IntervalEnd::Run)
            return;

        double passTime = static_cast<uint32_t>(gServices.ClockMs() - passStartMs) / 1000.0;
        ConsolePrintf("Total Scan Time = %3.3fs\n", passTime);
        if (gTable.Count == 0) {
            ConsolePuts("Transponders not found !");
            if (engineRan)
                RecordPassHistory(gTable.Records, 0, passNumber, settings);
        } else if (writeOutput != nullptr)
            writeOutput(gTable.Records, gTable.Count, passNumber, passTime, settings);
        ++passNumber;
        ConsolePuts("\n");

        if (abortFlag != 0 || settings->Loop == 0)
            return;
        // A pass that ran no engine never reads the abort keys: repeating it
        // would spin without end.
        if (!engineRan)
            return;
    }
}

void RunPasses(const ScanSettings* settings, const char* configPath)
{
    RunPassesWithOutput(settings, configPath, WritePassOutput);
}

} // namespace tressel
