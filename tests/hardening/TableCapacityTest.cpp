// The table's 200 records against a band with more transponders than that,
// in process: the pass loop, both engines and the output stage with a stub
// library that checks every record pointer it is handed, and a sleep that
// returns at once (the stepped scan would otherwise settle 500 ms on each of
// its 250 channels).
#include <gtest/gtest.h>

#include <string>

#include "common/Services.h"
#include "common/Text.h"
#include "driver/RunPasses.h"
#include "driver/ScanSettings.h"
#include "hardening/HardeningSupport.h"
#include "tuner/TunerApi.h"

namespace {

using tressel::TransponderInfo;

constexpr uint32_t kFirst = 100000; // kHz
constexpr uint32_t kSpacing = 8000;
constexpr uint32_t kOnAir = 250;

struct StubState {
    uint32_t Tuned;
    const TransponderInfo* TableStart; // the first record pointer seen with count 0
    uint32_t Stores;
    uint32_t OutsideTable; // record pointers at or past the table's end
    uint32_t Sweeps;
};
StubState gStub;

bool OnAir(uint32_t f)
{
    return f >= kFirst && f < kFirst + kOnAir * kSpacing && (f - kFirst) % kSpacing == 0;
}

void Fill(TransponderInfo* record, uint32_t f)
{
    *record = TransponderInfo{};
    record->Locked = 1;
    record->Frequency = f;
    record->Bandwidth = 8000;
    record->Standard = tressel::kStdDvbT;
    record->Snr = 30.0;
}

void NoteRecord(const TransponderInfo* record)
{
    if (gStub.TableStart == nullptr)
        gStub.TableStart = record;
    if (record >= gStub.TableStart + tressel::kTableCapacity)
        ++gStub.OutsideTable;
}

extern "C" {
int32_t StubCheck(DeviceFoundCallback) { return 1; }
int32_t StubStart(int32_t) { return 1; }
uint32_t StubCapsStepped() { return tressel::kCapTressel; }
uint32_t StubCapsFast() { return tressel::kCapTressel | tressel::kCapFastScan; }
int32_t StubTune(uint32_t f, uint32_t, uint32_t, uint32_t)
{
    gStub.Tuned = f;
    return 1;
}
int32_t StubSignal(TransponderInfo* record)
{
    NoteRecord(record);
    if (record >= gStub.TableStart + tressel::kTableCapacity)
        return 1; // do not write where the program should never have pointed
    if (OnAir(gStub.Tuned)) {
        Fill(record, gStub.Tuned);
    } else {
        *record = TransponderInfo{};
        record->Frequency = gStub.Tuned;
    }
    return 1;
}
// Keeps to the library's contract: at most 200 - n0 records.
int32_t StubSweep(uint32_t start, uint32_t stop, uint32_t, uint32_t, uint32_t, TransponderInfo* first,
                  uint32_t* countWord, FastScanResultCallback onResult)
{
    ++gStub.Sweeps;
    uint32_t n0 = *countWord;
    if (gStub.TableStart == nullptr)
        gStub.TableStart = first - n0;
    uint32_t stored = 0;
    for (uint32_t f = kFirst; f < kFirst + kOnAir * kSpacing && n0 + stored < tressel::kTableCapacity; f += kSpacing) {
        if (f < start || f > stop)
            continue;
        NoteRecord(first + stored);
        Fill(first + stored, f);
        onResult(first + stored);
        ++stored;
    }
    *countWord = stored;
    return 1;
}
int32_t StubStop() { return 1; }
}

uint32_t gNow;
uint32_t FakeClock() { return gNow += 1; }
void NoSleep(uint32_t) {}
bool NoAbort() { return false; }
int FixedTime(tressel::LocalTime* out)
{
    *out = tressel::LocalTime{2024, 5, 1, 12, 30};
    return 0;
}

class TableCapacity : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        savedTuner_ = tressel::gTuner;
        savedServices_ = tressel::gServices;
        gStub = StubState{};
        tressel::gTuner = {StubCheck, StubStart, GetParam() ? StubCapsFast : StubCapsStepped,
                           StubTune,  StubSignal, StubSweep, StubStop};
        tressel::gServices = {FakeClock, NoSleep, NoAbort, FixedTime};
    }
    void TearDown() override
    {
        tressel::gTuner = savedTuner_;
        tressel::gServices = savedServices_;
    }

private:
    tressel::TunerApi savedTuner_;
    tressel::Services savedServices_;
};

TEST_P(TableCapacity, MoreTranspondersThanTheTableHolds)
{
    testsupport::TempDir dir;
    const std::string config = dir.File("Tressel.ini");
    // 150 in the first interval, 100 in the second (50 of which fit), and a
    // third interval that must never be reached.
    testsupport::WriteFile(config, hardening::Scan(0, kFirst, kFirst + 149 * kSpacing) +
                                       hardening::Scan(1, kFirst + 150 * kSpacing, kFirst + 249 * kSpacing) +
                                       hardening::Scan(2, 3000000, 3100000));
    tressel::ScanSettings settings = {};
    settings.LocPos = 4000;
    settings.FastScan = 1;
    tressel::CopyText(settings.ReportDir, sizeof settings.ReportDir, (dir.Path() + "/").c_str());
    tressel::CopyText(settings.TPDir, sizeof settings.TPDir, (dir.Path() + "/").c_str());

    testsupport::ConsoleCapture console;
    tressel::RunPasses(&settings, config.c_str());
    std::string out = console.Text();

    EXPECT_EQ(0u, gStub.OutsideTable) << "the library was handed a record past the table";
    EXPECT_EQ(1u, hardening::CountOf(out, "Transponder table full !\n")) << out;
    EXPECT_EQ(std::string::npos, out.find("Scan interval 2")) << out;
    EXPECT_NE(std::string::npos, out.find("Total tranponders found = 200\n")) << out;
    if (GetParam()) {
        EXPECT_EQ(2u, gStub.Sweeps);
    } else {
        // The interval ends before the first channel that has no free record.
        EXPECT_EQ(kFirst + 199 * kSpacing, gStub.Tuned) << "tuned a channel with no free record left";
    }
    std::string report = testsupport::ReadFile(dir.File("4000.txt"));
    EXPECT_EQ(200u, hardening::CountOf(report, "TP N: "));
    EXPECT_NE(std::string::npos, report.find("TP N: 200\nFrequency: 1692.000 Mhz\n"));
    std::string list = testsupport::ReadFile(dir.File("4000.ini"));
    EXPECT_NE(std::string::npos, list.find("200=1692000,")) << list.substr(list.size() > 400 ? list.size() - 400 : 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, TableCapacity, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& row) {
                             return std::string(row.param ? "FastScan" : "SteppedScan");
                         });

} // namespace
