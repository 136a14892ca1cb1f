#include "support/FakeTuner.h"

#include <cstring>
#include <stdexcept>

#include "support/FakeServices.h"

namespace testsupport {
namespace {

FakeTunerState* gState = nullptr;
tressel::TunerApi gSaved;

int32_t FakeCheckForDVBEx(DeviceFoundCallback onDevice)
{
    ++gState->CheckCalls;
    if (gState->CheckResult == 0)
        return 0;
    for (size_t i = 0; i < gState->DeviceNames.size(); ++i)
        onDevice(static_cast<int32_t>(i), gState->DeviceNames[i].c_str());
    return gState->CheckResult;
}

int32_t FakeStartDVBEx(int32_t device)
{
    ++gState->StartCalls;
    if (gState->StartResult != 0)
        gState->StartedDevice = device;
    return gState->StartResult;
}

uint32_t FakeGetCaps()
{
    ++gState->GetCapsCalls;
    return gState->Caps;
}

int32_t FakeSetChannel2Ex(uint32_t frequency, uint32_t bandwidth, uint32_t standard, uint32_t reserved)
{
    TuneCall call{frequency, bandwidth, standard, reserved};
    gState->Tunes.push_back(call);
    AdvanceFakeClock(gState->TuneMs);
    if (gState->OnTune)
        gState->OnTune(call);
    return gState->Tunes.size() == gState->FailSetChannelAt ? 0 : 1;
}

int32_t FakeSignalInfo2(tressel::TransponderInfo* record)
{
    gState->SignalTargets.push_back(record);
    AdvanceFakeClock(gState->SignalMs);
    if (gState->SignalTargets.size() == gState->FailSignalInfoAt)
        return 0;
    uint32_t tuned = gState->Tunes.empty() ? 0 : gState->Tunes.back().Frequency;
    auto reply = gState->Replies.find(tuned);
    if (reply != gState->Replies.end()) {
        *record = reply->second;
    } else {
        memset(record, 0, sizeof *record);
        record->Frequency = tuned;
    }
    return 1;
}

int32_t FakeTressel(uint32_t start, uint32_t stop, uint32_t step, uint32_t bandwidth,
                    uint32_t standard, tressel::TransponderInfo* first, uint32_t* countWord,
                    FastScanResultCallback onResult)
{
    gState->Sweeps.push_back(
        SweepCall{start, stop, step, bandwidth, standard, first, *countWord, onResult});
    AdvanceFakeClock(gState->SweepMs);
    if (gState->Sweeps.size() == gState->FailSweepAt)
        return 0;
    uint32_t n0 = *countWord;
    uint32_t room = n0 < tressel::kTableCapacity ? tressel::kTableCapacity - n0 : 0;
    uint32_t stored = 0;
    for (const auto& find : gState->SweepFinds) {
        if (stored >= room)
            break;
        first[stored] = find;
        first[stored].Locked = 1;
        gState->CallbackResults.push_back(onResult(&first[stored]));
        ++stored;
    }
    *countWord = gState->CountWordOverride ? *gState->CountWordOverride : stored;
    return 1;
}

int32_t FakeStopDVB()
{
    ++gState->StopCalls;
    return 1;
}

} // namespace

FakeTuner::FakeTuner()
{
    if (gState != nullptr)
        throw std::logic_error("FakeTuner is already installed");
    gState = new FakeTunerState();
    gSaved = tressel::gTuner;
    tressel::gTuner = tressel::TunerApi{FakeCheckForDVBEx, FakeStartDVBEx, FakeGetCaps,
                                        FakeSetChannel2Ex, FakeSignalInfo2, FakeTressel,
                                        FakeStopDVB};
}

FakeTuner::~FakeTuner()
{
    tressel::gTuner = gSaved;
    delete gState;
    gState = nullptr;
}

FakeTunerState& FakeTuner::State()
{
    return *gState;
}

tressel::TransponderInfo LockedRecord(uint32_t frequency, uint32_t standard, double snr,
                                      uint32_t bandwidth, uint32_t symbolRate, uint32_t modulation)
{
    tressel::TransponderInfo record;
    memset(&record, 0, sizeof record);
    record.Locked = 1;
    record.Frequency = frequency;
    record.Standard = standard;
    record.Snr = snr;
    record.Bandwidth = bandwidth;
    record.SymbolRate = symbolRate;
    record.Modulation = modulation;
    return record;
}

} // namespace testsupport
