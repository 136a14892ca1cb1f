// The seven exports of the tuner library and the two callback types, declared
// once for the program's binding and for the virtual tuner that implements
// them. C linkage, unmangled names, the C calling convention.
#pragma once

#include <cstdint>

#include "tuner/TransponderInfo.h"

#if defined(_WIN32) && !defined(_WIN64)
#define TRESSEL_CDECL __cdecl
#else
#define TRESSEL_CDECL
#endif

#if defined(_WIN32)
#define TRESSEL_TUNER_EXPORT __declspec(dllexport)
#else
#define TRESSEL_TUNER_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// Called once per device from within CheckForDVBEx.
typedef void(TRESSEL_CDECL* DeviceFoundCallback)(int32_t number, const char* name);
// Called once per transponder from within the fast-scan export; returns the
// number of characters it printed.
typedef int(TRESSEL_CDECL* FastScanResultCallback)(tressel::TransponderInfo* record);

typedef int32_t(TRESSEL_CDECL* CheckForDVBExFn)(DeviceFoundCallback onDevice);
typedef int32_t(TRESSEL_CDECL* StartDVBExFn)(int32_t device);
typedef uint32_t(TRESSEL_CDECL* GetCapsFn)(void);
typedef int32_t(TRESSEL_CDECL* SetChannel2ExFn)(uint32_t frequencyKHz, uint32_t bandwidthKHz,
                                                 uint32_t standard, uint32_t reserved);
typedef int32_t(TRESSEL_CDECL* SignalInfo2Fn)(tressel::TransponderInfo* record);
typedef int32_t(TRESSEL_CDECL* TresselFn)(uint32_t startKHz, uint32_t stopKHz, uint32_t stepKHz,
                                           uint32_t bandwidthKHz, uint32_t standard,
                                           tressel::TransponderInfo* first, uint32_t* countWord,
                                           FastScanResultCallback onResult);
typedef int32_t(TRESSEL_CDECL* StopDVBFn)(void);

} // extern "C"

namespace tressel {

// Capability bits of GetCaps.
constexpr uint32_t kCapTressel = 0x4000;
constexpr uint32_t kCapFastScan = 0x800000;

// Every entry point of the loaded library, filled once by the loader (or by a
// test with a scripted fake).
struct TunerApi {
    CheckForDVBExFn CheckForDVBEx;
    StartDVBExFn StartDVBEx;
    GetCapsFn GetCaps;
    SetChannel2ExFn SetChannel2Ex;
    SignalInfo2Fn SignalInfo2;
    TresselFn Tressel;
    StopDVBFn StopDVB;
};

// The process-wide binding that start-up fills and the engines call through.
extern TunerApi gTuner;

} // namespace tressel
