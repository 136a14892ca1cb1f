// The seven exports of the tuner library, answered from the band: the
// built-in one, or the band file that TRESSEL_VIRTUAL_BAND names.
//
// Everything runs on the caller's thread; the state below lives for the
// process, and calls are counted from its start for the fault plan.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Band.h"
#include "tuner/TunerApi.h"

namespace tressel {
namespace vt {
namespace {

enum class BandState { NotRead, Ready, Refused };

Band sBand;
BandState sBandState = BandState::NotRead;
int32_t sOpenDevice = -1; // -1: none
uint32_t sTunedKHz = 0;
uint32_t sTunedStandard = 0;

// Calls made so far of the exports that the fault plan can fail.
uint64_t sCheckCalls = 0;
uint64_t sTuneCalls = 0;
uint64_t sSignalCalls = 0;
uint64_t sSweepCalls = 0;

// Reads the band on the first call; later calls keep what the first found.
// Returns true when the band is usable.
bool EnsureBand()
{
    if (sBandState == BandState::NotRead) {
        const char* path = getenv("TRESSEL_VIRTUAL_BAND");
        if (path != nullptr && path[0] != '\0') {
            sBandState = LoadBandFile(path, &sBand) == 0 ? BandState::Ready : BandState::Refused;
        } else {
            LoadDefaultBand(&sBand);
            sBandState = BandState::Ready;
        }
    }
    return sBandState == BandState::Ready;
}

// Counts a call and says whether the fault plan makes this one fail.
bool FailsNow(uint64_t* calls, int32_t failingCall)
{
    ++*calls;
    return failingCall > 0 && *calls == static_cast<uint64_t>(failingCall);
}

// Number of channels of the sweep grid start, start + step, ... up to stop.
uint64_t GridChannels(uint32_t startKHz, uint32_t stopKHz, uint32_t stepKHz)
{
    if (startKHz > stopKHz)
        return 0;
    if (stepKHz == 0)
        return 1; // a grid that never advances is the start channel alone
    return (stopKHz - startKHz) / stepKHz + 1ull;
}

} // namespace
} // namespace vt
} // namespace tressel

using namespace tressel;
using namespace tressel::vt;

// Reads the band on the first call, then reports every device to onDevice.
// Returns 1, or 0 (no callback) when the band file is refused or the fault
// plan fails this call.
extern "C" TRESSEL_TUNER_EXPORT int32_t TRESSEL_CDECL CheckForDVBEx(DeviceFoundCallback onDevice)
{
    if (!EnsureBand())
        return 0;
    if (FailsNow(&sCheckCalls, sBand.Faults.CheckForDVBEx))
        return 0;
    for (uint32_t n = 0; n < sBand.DeviceCount && onDevice != nullptr; ++n)
        onDevice(static_cast<int32_t>(n), sBand.Devices[n].Name);
    return 1;
}

// Opens device n. Returns 1, or 0 when there is no such device or the band
// makes it fail (the open device, if any, stays open then).
extern "C" TRESSEL_TUNER_EXPORT int32_t TRESSEL_CDECL StartDVBEx(int32_t device)
{
    if (device < 0 || static_cast<uint32_t>(device) >= sBand.DeviceCount ||
        sBand.Devices[device].Fails != 0)
        return 0;
    sOpenDevice = device;
    return 1;
}

// The capability mask of the open device, 0 when none is open.
extern "C" TRESSEL_TUNER_EXPORT uint32_t TRESSEL_CDECL GetCaps(void)
{
    return sOpenDevice >= 0 ? sBand.Devices[sOpenDevice].Caps : 0;
}

// Tunes: remembers the frequency and the standard code that SignalInfo2
// answers for, after spending TuneMs. Returns 1, or 0 at once when the fault
// plan fails this call (the tuning is then unchanged).
extern "C" TRESSEL_TUNER_EXPORT int32_t TRESSEL_CDECL SetChannel2Ex(uint32_t frequencyKHz,
                                                                   uint32_t /*bandwidthKHz*/,
                                                                   uint32_t standard,
                                                                   uint32_t /*reserved*/)
{
    if (FailsNow(&sTuneCalls, sBand.Faults.SetChannel2Ex))
        return 0;
    SpendMilliseconds(sBand.Timing.TuneMs);
    sTunedKHz = frequencyKHz;
    sTunedStandard = standard;
    return 1;
}

// Fills *record for the channel last tuned, after spending SignalMs: the
// locking transponder with Locked = 1, or a record with no lock that holds
// only the tuned frequency. Returns 1, or 0 at once when the fault plan fails
// this call or record is null (nothing is written then).
extern "C" TRESSEL_TUNER_EXPORT int32_t TRESSEL_CDECL SignalInfo2(TransponderInfo* record)
{
    if (FailsNow(&sSignalCalls, sBand.Faults.SignalInfo2) || record == nullptr)
        return 0;
    SpendMilliseconds(sBand.Timing.SignalMs);
    int32_t found = FindLockingTransponder(&sBand, sTunedKHz, sTunedStandard);
    if (found >= 0) {
        *record = sBand.Transponders[found];
    } else {
        ClearTransponder(record);
        record->Locked = 0;
        record->Frequency = sTunedKHz;
    }
    return 1;
}

// The fast sweep. Stores the transponders with startKHz <= Frequency <=
// stopKHz of that standard (0: any), by ascending Frequency, at first[0],
// first[1], ..., as many as the table has room for after the *countWord
// records already in it, calling onResult after each store. Spends SweepMs
// per grid channel, reporting each transponder once the sweep has passed its
// channel. Then sets *countWord to the number stored (or to the fault plan's
// CountWord) and returns 1; returns 0 at once when the fault plan fails this
// call or a pointer is null.
extern "C" TRESSEL_TUNER_EXPORT int32_t TRESSEL_CDECL Tressel(uint32_t startKHz, uint32_t stopKHz,
                                                             uint32_t stepKHz,
                                                             uint32_t /*bandwidthKHz*/,
                                                             uint32_t standard,
                                                             TransponderInfo* first,
                                                             uint32_t* countWord,
                                                             FastScanResultCallback onResult)
{
    if (FailsNow(&sSweepCalls, sBand.Faults.Tressel) || first == nullptr || countWord == nullptr)
        return 0;
    uint32_t inTable = *countWord;
    uint32_t room = inTable < kTableCapacity ? kTableCapacity - inTable : 0;
    uint32_t stored = 0;
    uint32_t pos = NextInSweep(&sBand, 0, startKHz, stopKHz, standard);

    uint64_t channels = sBand.Timing.SweepMs > 0 ? GridChannels(startKHz, stopKHz, stepKHz) : 0;
    for (uint64_t c = 0; c <= channels; ++c) {
        // The last round (c == channels) reports whatever lies past the grid.
        uint64_t reached = UINT64_MAX;
        if (c < channels) {
            SpendMilliseconds(sBand.Timing.SweepMs);
            reached = startKHz + (c + 1) * stepKHz; // the next channel begins here
        }
        while (stored < room && pos < sBand.TransponderCount &&
               sBand.Transponders[sBand.ByFrequency[pos]].Frequency < reached) {
            first[stored] = sBand.Transponders[sBand.ByFrequency[pos]];
            if (onResult != nullptr)
                onResult(&first[stored]);
            ++stored;
            pos = NextInSweep(&sBand, pos + 1, startKHz, stopKHz, standard);
        }
    }
    *countWord = sBand.Faults.HasCountWord != 0 ? sBand.Faults.CountWord : stored;
    return 1;
}

// Closes the open device. Returns 1.
extern "C" TRESSEL_TUNER_EXPORT int32_t TRESSEL_CDECL StopDVB(void)
{
    sOpenDevice = -1;
    return 1;
}
