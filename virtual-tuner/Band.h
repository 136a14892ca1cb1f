// The simulated input of the virtual tuner: its devices, its fault plan, the
// real time its calls spend, and the transponders on the air or the cable.
// One band lives in fixed static storage for the whole process.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tuner/TransponderInfo.h"

namespace tressel {
namespace vt {

// Room for far more devices than any test writes. A band file with Count
// above it (or negative) is refused, not clamped, so that a test never runs
// against fewer devices than it wrote.
constexpr uint32_t kMaxDevices = 256;
constexpr uint32_t kMaxTransponders = 4096;
constexpr size_t kDeviceNameCapacity = 256;
constexpr uint8_t kReservedFill = 0xA5; // what the library keeps in the record's reserved bytes

constexpr const char* kDefaultDeviceName = "Virtual DVB-T/T2/C tuner";
constexpr uint32_t kDefaultDeviceCaps = 0x804000; // Tressel and fast-scan capabilities

struct VirtualDevice {
    char Name[kDeviceNameCapacity];
    uint32_t Caps;
    uint32_t Fails; // nonzero: StartDVBEx refuses the device
};

// n > 0: the n-th call of that export (counted from process start) fails.
struct FaultPlan {
    int32_t CheckForDVBEx;
    int32_t SetChannel2Ex;
    int32_t SignalInfo2;
    int32_t Tressel;
    uint32_t HasCountWord; // nonzero: the fast sweep reports CountWord instead of what it stored
    uint32_t CountWord;
};

// Milliseconds of real time that calls spend.
struct BandTiming {
    uint32_t TuneMs;   // each SetChannel2Ex
    uint32_t SignalMs; // each SignalInfo2
    uint32_t SweepMs;  // each channel of the fast sweep's grid
};

// What the simulated DVB frontend (dvb-sim) adds to the band. The virtual
// tuner reads none of it: its keys are skipped unless the reader is asked for
// them (BandReadOptions::DvbKeys).
//
// Delivery systems are stored as the kernel's DVBv5 numbers (enum
// fe_delivery_system), which are part of the kernel's user interface.
namespace dvbsys {
constexpr uint8_t kDvbCAnnexA = 1, kDvbCAnnexB = 2, kDvbT = 3, kDvbS = 5, kDvbS2 = 6, kIsdbT = 8,
                  kAtsc = 11, kDvbT2 = 16, kDvbCAnnexC = 18;
} // namespace dvbsys

constexpr uint32_t kMaxDeliverySystems = 16;

// How a simulated driver answers after a lock.
enum DvbProfile : uint32_t {
    kProfileReadback, // FE_GET_PROPERTY returns the transponder's real parameters
    kProfileAuto,     // it returns what was set (AUTO stays AUTO)
    kProfileRelative, // like readback, with statistics in the relative scale only
};

enum DvbAccess : uint32_t {
    kAccessOk,
    kAccessDenied, // every open fails with EACCES
    kAccessBusy,   // read-write opens fail with EBUSY
};

struct DvbDevice {
    uint32_t Adapter;  // /dev/dvb/adapter<Adapter>/
    uint32_t Frontend; // frontend<Frontend>, demux<Frontend>, dvr<Frontend>
    uint32_t SystemCount;
    uint8_t Systems[kMaxDeliverySystems]; // DTV_ENUM_DELSYS, in order
    uint32_t Profile;
    uint32_t MinFrequency; // kHz
    uint32_t MaxFrequency; // kHz
    uint32_t Access;
    uint32_t VanishAfterTunes; // n > 0: the device is gone after the n-th tune
};

struct DvbTransponder {
    uint32_t CarrierMs;  // after the tune until FE_HAS_SIGNAL | FE_HAS_CARRIER
    uint32_t LockMs;     // after the tune until FE_HAS_LOCK
    uint32_t NeverLocks; // nonzero: a carrier, never a lock
    uint32_t Tsid;       // transport stream id
    uint32_t CaptureKHz; // how far from Frequency a tune still locks
};

struct Band {
    uint32_t DeviceCount;
    VirtualDevice Devices[kMaxDevices];
    DvbDevice DvbDevices[kMaxDevices];
    DvbTransponder DvbTransponders[kMaxTransponders];
    FaultPlan Faults;
    BandTiming Timing;
    uint32_t TransponderCount;
    // Complete records as the library hands them out: Locked = 1 and the
    // reserved ranges filled, so a lock is a plain copy.
    TransponderInfo Transponders[kMaxTransponders];
    // Indexes into Transponders by ascending Frequency, ties in section order.
    uint16_t ByFrequency[kMaxTransponders];
};

static_assert(kMaxTransponders <= 65536, "ByFrequency holds 16-bit indexes");

// Empties the band: no devices, no transponders, no faults, no timing.
void ClearBand(Band* band);

// Sets one device to the defaults: the default name and caps, not failing.
void SetDefaultDevice(VirtualDevice* device);

// Sets a record to a transponder with every field 0, Locked = 1 and the
// reserved ranges filled.
void ClearTransponder(TransponderInfo* record);

// Builds ByFrequency from the first TransponderCount transponders.
void SortByFrequency(Band* band);

// Fills band with the built-in band: one device, every transponder of the
// built-in table, SweepMs 20.
void LoadDefaultBand(Band* band);

// Reads the band file at path into band in one pass. Returns 0, or -2 after
// one "virtual tuner: " line on standard error naming the file (and the
// section and key at fault); band is then empty.
int LoadBandFile(const char* path, Band* band);

struct BandReadOptions {
    const char* ErrorPrefix; // begins each error line, followed by ": "
    bool DvbKeys;            // read the simulated DVB frontend's keys too
};

// LoadBandFile with the reader's options.
int LoadBandFileWith(const char* path, Band* band, const BandReadOptions* options);

// Sets one device's DVB keys to their defaults for device number n.
void SetDefaultDvbDevice(DvbDevice* device, uint32_t n);

// Sets one transponder's DVB keys to their defaults for section number n.
void SetDefaultDvbTransponder(DvbTransponder* transponder, uint32_t n);

// The kernel number of a delivery-system name without "SYS_" (any case), or
// 0 when the name is none of those the simulator knows.
uint8_t DeliverySystemByName(const char* name);

// Index of the transponder that locks when tuned to frequencyKHz with that
// standard code (0: any): the nearest one whose Frequency lies within half of
// its own Bandwidth, a tie going to the lower Frequency and then to the
// earlier section. Returns the index, or -1 when none qualifies.
int32_t FindLockingTransponder(const Band* band, uint32_t frequencyKHz, uint32_t standard);

// True when the transponder carries the standard code (every one matches 0).
bool MatchesStandard(const TransponderInfo* record, uint32_t standard);

// Position in ByFrequency of the next transponder at or after position from
// with start <= Frequency <= stop and a matching standard. Returns the
// position, or TransponderCount when there is none.
uint32_t NextInSweep(const Band* band, uint32_t from, uint32_t startKHz, uint32_t stopKHz,
                     uint32_t standard);

// Spends real time: returns after at least ms milliseconds.
void SpendMilliseconds(uint32_t ms);

} // namespace vt
} // namespace tressel
