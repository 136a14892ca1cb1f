// One simulated frontend: the kernel's property cache, the tune, the status
// as it develops in time, the read-back profiles and the statistics. No
// file descriptors here: the caller passes the time (microseconds of a
// monotonic clock), so that the behaviour can be tested without waiting.
#pragma once

#include <cstdint>

#include <linux/dvb/frontend.h>

#include "Band.h"

namespace tressel {
namespace dvbsim {

// What the property calls set (the kernel's dtv_frontend_properties).
struct PropertyCache {
    uint32_t DeliverySystem;
    uint32_t Frequency; // Hz
    uint32_t Bandwidth; // Hz
    uint32_t SymbolRate;
    uint32_t Modulation;
    uint32_t InnerFec;
    uint32_t CodeRateHp;
    uint32_t CodeRateLp;
    uint32_t GuardInterval;
    uint32_t TransmissionMode;
    uint32_t Hierarchy;
    uint32_t Inversion;
    uint32_t StreamId;
};

// The kernel's retune is pending this long after DTV_TUNE: status reads 0.
constexpr uint64_t kRetunePendingUs = 2000;

struct FrontendState {
    uint32_t Device; // index in the band
    PropertyCache Cache;
    PropertyCache Tuned; // the cache at the last DTV_TUNE
    bool HasTuned;
    int32_t Transponder; // the transponder the last tune reaches, or -1
    uint64_t TuneUs;
    uint32_t Tunes;
    bool Gone; // the device vanished: every call fails with ENODEV
};

// Sets up device n of the band: delivery system its first one, cache cleared.
void FrontendInit(FrontendState* fe, const vt::Band* band, uint32_t device);

// FE_GET_INFO of the frontend in its current delivery system.
void FrontendInfo(const FrontendState* fe, const vt::Band* band, dvb_frontend_info* info);

// One property of FE_SET_PROPERTY. Returns 0 or a negative errno.
int FrontendSet(FrontendState* fe, const vt::Band* band, uint32_t command, uint32_t data,
                uint64_t nowUs);

// One property of FE_GET_PROPERTY, filled in place. Returns 0 or a negative errno.
int FrontendGet(const FrontendState* fe, const vt::Band* band, dtv_property* property,
                uint64_t nowUs);

// FE_READ_STATUS at time nowUs.
uint32_t FrontendStatus(const FrontendState* fe, const vt::Band* band, uint64_t nowUs);

// The time of the next status change after nowUs, or UINT64_MAX.
uint64_t FrontendNextChange(const FrontendState* fe, const vt::Band* band, uint64_t nowUs);

// The old statistics calls: FE_READ_SIGNAL_STRENGTH and FE_READ_SNR (0 to
// 65535), FE_READ_BER and FE_READ_UNCORRECTED_BLOCKS (0 on a lock).
uint16_t FrontendOldSignal(const FrontendState* fe, const vt::Band* band, uint64_t nowUs);
uint16_t FrontendOldSnr(const FrontendState* fe, const vt::Band* band, uint64_t nowUs);

// The transponder the tuned parameters reach, or -1: the system carries it,
// the frequency lies within its CaptureKHz, (cable) the symbol rate is
// within 1 kS/s, and every parameter set to a value (not AUTO) is its own.
int32_t FindTunedTransponder(const vt::Band* band, const PropertyCache* tuned);

} // namespace dvbsim
} // namespace tressel
