// A scripted fake of the tuner library's seven exports, installed into gTuner
// for tests that drive the engines, the pass loop or start-up in-process.
//
// SignalInfo2 answers from a script keyed by the tuned frequency; the sweep
// answers from a list of finds and keeps to the library's contract (it
// stores at most 200 - n0 records) unless told to misreport its count word.
// Every call is logged, and each export can be made to fail on its n-th call.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tuner/TransponderInfo.h"
#include "tuner/TunerApi.h"

namespace testsupport {

struct TuneCall {
    uint32_t Frequency;
    uint32_t Bandwidth;
    uint32_t Standard;
    uint32_t Reserved;
};

struct SweepCall {
    uint32_t Start;
    uint32_t Stop;
    uint32_t Step;
    uint32_t Bandwidth;
    uint32_t Standard;
    tressel::TransponderInfo* First;
    uint32_t CountOnEntry;
    FastScanResultCallback OnResult;
};

struct FakeTunerState {
    // Enumeration and start-up.
    std::vector<std::string> DeviceNames = {"Fake tuner"};
    int32_t CheckResult = 1;   // 0: CheckForDVBEx fails without calling back
    int32_t StartResult = 1;   // what StartDVBEx returns
    uint32_t Caps = tressel::kCapTressel | tressel::kCapFastScan;

    // Stepped scan: what SignalInfo2 reports after a tune to a frequency.
    // A tuned frequency with no entry reads as no lock (all zero but
    // Frequency, which is the tuned one).
    std::map<uint32_t, tressel::TransponderInfo> Replies;

    // Fast scan: the transponders the sweep reports, in order.
    std::vector<tressel::TransponderInfo> SweepFinds;
    // Present: the sweep writes this into the count word instead of the
    // number it stored (a misbehaving library).
    std::optional<uint32_t> CountWordOverride;

    // Fail the n-th call (1-based) of an export by returning 0; 0: never.
    uint32_t FailSetChannelAt = 0;
    uint32_t FailSignalInfoAt = 0;
    uint32_t FailSweepAt = 0;

    // Time each call spends on the fake clock (see FakeServices).
    uint32_t TuneMs = 0;
    uint32_t SignalMs = 0;
    uint32_t SweepMs = 0;

    // Runs inside each call, after logging it (e.g. to edit a file mid-run).
    std::function<void(const TuneCall&)> OnTune;

    // The log.
    std::vector<TuneCall> Tunes;
    std::vector<tressel::TransponderInfo*> SignalTargets;
    std::vector<SweepCall> Sweeps;
    std::vector<int> CallbackResults; // what OnFastScanResult returned, per find
    uint32_t CheckCalls = 0;
    uint32_t StartCalls = 0;
    int32_t StartedDevice = -1;
    uint32_t GetCapsCalls = 0;
    uint32_t StopCalls = 0;
};

// Installs the fake into gTuner for the object's lifetime and restores the
// previous binding afterwards. One at a time.
class FakeTuner {
public:
    FakeTuner();
    ~FakeTuner();
    FakeTuner(const FakeTuner&) = delete;
    FakeTuner& operator=(const FakeTuner&) = delete;
    FakeTunerState& State();
};

// A locked record as a tuner reports it.
tressel::TransponderInfo LockedRecord(uint32_t frequency, uint32_t standard, double snr,
                                      uint32_t bandwidth = 8000, uint32_t symbolRate = 0,
                                      uint32_t modulation = 0);

} // namespace testsupport
