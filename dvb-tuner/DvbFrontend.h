// Tuning one channel on an open frontend: the plan of delivery systems and
// symbol rates to try, the tune itself, the bounded wait for a lock, and the
// read-back of the locked transponder into the record.
#pragma once

#include <cstdint>

#include "DvbSettings.h"
#include "tuner/TransponderInfo.h"

namespace tressel {
namespace dvb {

constexpr uint32_t kMaxSystems = 32;
constexpr uint32_t kMaxAttempts = 40;

struct TuneAttempt {
    uint32_t DeliverySystem;     // fe_delivery_system
    uint32_t SymbolRate;         // cable: symbols per second; else 0
    uint32_t Modulation;         // fe_modulation to set (QAM_AUTO, VSB_8)
    uint32_t LockMs;             // the lock window, from the tune
    uint32_t SkipWithoutCarrier; // skip when the attempts before tuned and saw no signal
};

struct TunePlan {
    TuneAttempt Attempts[kMaxAttempts];
    uint32_t Count;
};

// What one attempt gave.
enum TuneOutcome : int {
    kTuneFailed = -1, // the device failed: the call fails
    kTuneNothing = 0, // no lock (or the system or frequency does not apply)
    kTuneLocked = 1,
};

// The attempts for a standard code on a frontend with these delivery
// systems: 6 DVB-T, 7 DVB-T2, 8 DVB-C (Annex A, then C, each symbol rate),
// 10 ATSC (8VSB, then US cable QAM), 12 ISDB-T, 0 all of them (DVB-T first,
// the others only where an attempt before saw a signal). Other codes, DVB-C2 among them: no attempt.
void BuildTunePlan(uint32_t standard, const uint32_t* systems, uint32_t systemCount, const DvbSettings& settings,
                   TunePlan* plan);

// Whether the frontend has a delivery system that the program scans.
bool HasScannableSystem(const uint32_t* systems, uint32_t systemCount);

// Whether errno after a failed ioctl means that the device itself failed
// (gone, I/O error), rather than that it refused the parameters.
bool IsDeviceFailure(int error);

// Sets the attempt's parameters and tunes. kTuneLocked here means "tuned";
// kTuneNothing: the frontend refused the system or the frequency lies
// outside its range for that system.
int StartTune(int fd, const TuneAttempt& attempt, uint32_t frequencyKHz, uint32_t bandwidthKHz);

// Waits for the lock of a tune made at tunedAtMs: gives up at
// tunedAtMs + carrierMs when neither signal nor carrier was seen, and at
// tunedAtMs + lockMs in any case. *carrier tells whether one was seen.
int WaitForLock(int fd, uint32_t tunedAtMs, uint32_t carrierMs, uint32_t lockMs, bool* carrier);

// Fills *record for a locked tune from the read-back properties; sets
// *needTables when parameters came back AUTO or the DVB-T2 PLP list is
// wanted. Returns kTuneLocked, or kTuneFailed when the device failed.
int ReadTransponder(int fd, const TuneAttempt& attempt, uint32_t tunedKHz, uint32_t bandwidthKHz,
                    TransponderInfo* record, bool* needTables);

// Reads the statistics into RfLevel and Snr (decibel scale only).
int ReadStatistics(int fd, TransponderInfo* record);

// Useful bit rate from the record's parameters where the standard's formula
// allows it, else 0.
uint32_t ComputeBitRate(const TransponderInfo& record);

// A record with every field zero, the reserved ranges filled, and the
// given frequency: what "no lock" looks like.
void ClearRecord(TransponderInfo* record, uint32_t frequencyKHz);

} // namespace dvb
} // namespace tressel
