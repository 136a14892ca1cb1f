#include "Band.h"

#include <cstring>

#include "common/Text.h"

namespace tressel {
namespace vt {

void ClearBand(Band* band)
{
    band->DeviceCount = 0;
    memset(&band->Faults, 0, sizeof band->Faults);
    memset(&band->Timing, 0, sizeof band->Timing);
    band->TransponderCount = 0;
}

void SetDefaultDevice(VirtualDevice* device)
{
    CopyText(device->Name, sizeof device->Name, kDefaultDeviceName);
    device->Caps = kDefaultDeviceCaps;
    device->Fails = 0;
}

void ClearTransponder(TransponderInfo* record)
{
    memset(record, 0, sizeof *record);
    memset(record->Reserved1, kReservedFill, sizeof record->Reserved1);
    memset(record->Reserved2, kReservedFill, sizeof record->Reserved2);
    record->Locked = 1;
}

// Insertion sort: band files are usually written in frequency order, which
// makes this one pass; it is stable and needs no scratch storage.
void SortByFrequency(Band* band)
{
    const TransponderInfo* t = band->Transponders;
    for (uint32_t i = 0; i < band->TransponderCount; ++i) {
        uint16_t index = static_cast<uint16_t>(i);
        uint32_t j = i;
        while (j > 0 && t[band->ByFrequency[j - 1]].Frequency > t[index].Frequency) {
            band->ByFrequency[j] = band->ByFrequency[j - 1];
            --j;
        }
        band->ByFrequency[j] = index;
    }
}

void SetDefaultDvbDevice(DvbDevice* device, uint32_t n)
{
    memset(device, 0, sizeof *device);
    device->Adapter = n;
    device->Frontend = 0;
    device->Systems[0] = dvbsys::kDvbT;
    device->Systems[1] = dvbsys::kDvbT2;
    device->Systems[2] = dvbsys::kDvbCAnnexA;
    device->SystemCount = 3;
    device->Profile = kProfileReadback;
    device->MinFrequency = 42000;
    device->MaxFrequency = 1002000;
    device->Access = kAccessOk;
}

void SetDefaultDvbTransponder(DvbTransponder* transponder, uint32_t n)
{
    memset(transponder, 0, sizeof *transponder);
    transponder->Tsid = 1 + n;
    transponder->CaptureKHz = 250;
}

namespace {

struct SystemName {
    const char* Name;
    uint8_t Number;
};

constexpr SystemName kSystemNames[] = {
    {"DVBT", dvbsys::kDvbT},
    {"DVBT2", dvbsys::kDvbT2},
    {"DVBC_ANNEX_A", dvbsys::kDvbCAnnexA},
    {"DVBC_ANNEX_B", dvbsys::kDvbCAnnexB},
    {"DVBC_ANNEX_C", dvbsys::kDvbCAnnexC},
    {"ATSC", dvbsys::kAtsc},
    {"ISDBT", dvbsys::kIsdbT},
    {"DVBS", dvbsys::kDvbS},
    {"DVBS2", dvbsys::kDvbS2},
};

} // namespace

uint8_t DeliverySystemByName(const char* name)
{
    for (const SystemName& row : kSystemNames) {
        if (EqualsNoCase(name, row.Name))
            return row.Number;
    }
    return 0;
}

bool MatchesStandard(const TransponderInfo* record, uint32_t standard)
{
    return standard == 0 || record->Standard == standard;
}

static uint32_t Distance(uint32_t a, uint32_t b)
{
    return a >= b ? a - b : b - a;
}

int32_t FindLockingTransponder(const Band* band, uint32_t frequencyKHz, uint32_t standard)
{
    int32_t best = -1;
    uint32_t bestDistance = 0;
    for (uint32_t i = 0; i < band->TransponderCount; ++i) {
        const TransponderInfo* t = &band->Transponders[i];
        if (!MatchesStandard(t, standard))
            continue;
        uint32_t distance = Distance(frequencyKHz, t->Frequency);
        if (distance > t->Bandwidth / 2)
            continue;
        // Sections are visited in order, so an equal candidate that comes
        // later never replaces the earlier one.
        if (best < 0 || distance < bestDistance ||
            (distance == bestDistance && t->Frequency < band->Transponders[best].Frequency)) {
            best = static_cast<int32_t>(i);
            bestDistance = distance;
        }
    }
    return best;
}

uint32_t NextInSweep(const Band* band, uint32_t from, uint32_t startKHz, uint32_t stopKHz,
                     uint32_t standard)
{
    for (uint32_t pos = from; pos < band->TransponderCount; ++pos) {
        const TransponderInfo* t = &band->Transponders[band->ByFrequency[pos]];
        if (t->Frequency > stopKHz)
            break; // ascending: nothing further lies in the range
        if (t->Frequency >= startKHz && MatchesStandard(t, standard))
            return pos;
    }
    return band->TransponderCount;
}

} // namespace vt
} // namespace tressel
