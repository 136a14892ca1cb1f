// A scripted DVB frontend behind the library's I/O seam: a fake clock, a
// status that changes at given times after each tune, properties to read
// back, and errors to inject. No device and no real waiting.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <map>
#include <vector>

#include "DvbIo.h"
#include "DvbKernel.h"

namespace dvbtest {

struct StatusStep {
    uint32_t AfterMs; // after the tune
    uint32_t Status;  // fe_status bits from then on
};

struct FakeFrontendState {
    uint32_t NowMs = 1000;
    uint32_t TunedAtMs = 0;
    std::vector<StatusStep> Timeline;    // status after each tune
    bool SendsEvents = true;             // a status change wakes WaitEvent
    std::map<uint32_t, uint32_t> ReadBack; // DTV_* -> value for FE_GET_PROPERTY
    // Statistics: scale (FE_SCALE_*) and value, for DTV_STAT_SIGNAL_STRENGTH and DTV_STAT_CNR.
    uint8_t StrengthScale = FE_SCALE_DECIBEL;
    int64_t StrengthValue = -52000;
    uint8_t CnrScale = FE_SCALE_DECIBEL;
    int64_t CnrValue = 30250;
    uint32_t MinHz = 42000000;
    uint32_t MaxHz = 1002000000;
    std::vector<uint32_t> Systems{SYS_DVBT, SYS_DVBT2, SYS_DVBC_ANNEX_A};
    // errno for each ioctl request (0: answer normally).
    std::map<unsigned long, int> Fails;
    // The delivery systems the frontend refuses with EINVAL (not in Systems).
    std::vector<std::vector<uint32_t>> SetCalls; // commands of each FE_SET_PROPERTY
    std::vector<std::map<uint32_t, uint32_t>> SetValues;
    // Called at each DTV_TUNE with the system, frequency (Hz) and symbol
    // rate set: it may change Timeline and ReadBack for that tune.
    std::function<void(FakeFrontendState&, uint32_t system, uint32_t hz, uint32_t symbolRate)> OnTune;
    // Device nodes that ListDir shows ("adapter0/frontend0", ...), and the
    // errno that opening one gives, read-only and read-write.
    std::vector<std::string> Nodes;
    std::map<std::string, int> ReadOnlyOpenErrors;
    std::map<std::string, int> ReadWriteOpenErrors;
    uint32_t Tunes = 0;
    uint32_t StatusReads = 0;
    uint32_t Waits = 0;
};

// Installs the fake into gDvbIo for the object's lifetime.
class FakeFrontend {
public:
    FakeFrontend();
    ~FakeFrontend();
    FakeFrontend(const FakeFrontend&) = delete;
    FakeFrontend& operator=(const FakeFrontend&) = delete;
    FakeFrontendState& State();
};

} // namespace dvbtest
