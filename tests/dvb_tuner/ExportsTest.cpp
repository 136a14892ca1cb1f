// The seven exports over the scripted frontend: the device list and its
// errors, opening for tuning, the capability mask, a channel's tries across
// systems and symbol rates, and the fast sweep's table and count word.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "FakeFrontend.h"
#include "tuner/TunerApi.h"

extern "C" {
int32_t CheckForDVBEx(DeviceFoundCallback onDevice);
int32_t StartDVBEx(int32_t device);
uint32_t GetCaps(void);
int32_t SetChannel2Ex(uint32_t frequencyKHz, uint32_t bandwidthKHz, uint32_t standard, uint32_t reserved);
int32_t SignalInfo2(tressel::TransponderInfo* record);
int32_t Tressel(uint32_t startKHz, uint32_t stopKHz, uint32_t stepKHz, uint32_t bandwidthKHz, uint32_t standard,
                tressel::TransponderInfo* first, uint32_t* countWord, FastScanResultCallback onResult);
int32_t StopDVB(void);
}

namespace {

using tressel::TransponderInfo;

std::vector<std::string> gDevices;

void OnDevice(int32_t number, const char* name)
{
    gDevices.push_back(std::to_string(number) + ":" + name);
}

struct Transponder {
    uint32_t System;
    uint32_t KHz;
    uint32_t SymbolRate; // cable only
};

// A band: a tune locks within 250 kHz of a transponder of its system (and,
// for cable, at its symbol rate); other tunes of that system see a carrier
// near it and nothing elsewhere.
void UseBand(dvbtest::FakeFrontendState& s, std::vector<Transponder> band)
{
    s.OnTune = [band](dvbtest::FakeFrontendState& state, uint32_t system, uint32_t hz, uint32_t symbolRate) {
        state.Timeline.clear();
        state.ReadBack[DTV_FREQUENCY] = hz;
        for (const Transponder& t : band) {
            uint32_t kHz = hz / 1000;
            uint32_t distance = kHz > t.KHz ? kHz - t.KHz : t.KHz - kHz;
            if (t.System != system || distance > 250)
                continue;
            state.Timeline = {{100, FE_HAS_SIGNAL | FE_HAS_CARRIER}};
            if (t.SymbolRate == 0 || t.SymbolRate == symbolRate) {
                state.Timeline.push_back({400, FE_HAS_SIGNAL | FE_HAS_CARRIER | FE_HAS_LOCK});
                state.ReadBack[DTV_FREQUENCY] = t.KHz * 1000;
                state.ReadBack[DTV_SYMBOL_RATE] = symbolRate;
            }
        }
    };
}

class DvbExports : public ::testing::Test {
protected:
    dvbtest::FakeFrontend fake;
    dvbtest::FakeFrontendState& s = fake.State();

    void SetUp() override { gDevices.clear(); }
    void TearDown() override { StopDVB(); }

    void Open(std::vector<std::string> nodes = {"adapter0/frontend0"})
    {
        s.Nodes = nodes;
        ASSERT_EQ(CheckForDVBEx(OnDevice), 1);
        ASSERT_EQ(StartDVBEx(0), 1);
    }
};

TEST_F(DvbExports, ListsFrontendsByAdapterThenFrontendWithNameAndNode)
{
    s.Nodes = {"adapter10/frontend0", "adapter2/frontend1", "adapter2/frontend0", "adapter0/frontend0"};
    ASSERT_EQ(CheckForDVBEx(OnDevice), 1);
    EXPECT_EQ(gDevices, (std::vector<std::string>{"0:Fake DVB demodulator (adapter0/frontend0)",
                                                  "1:Fake DVB demodulator (adapter2/frontend0)",
                                                  "2:Fake DVB demodulator (adapter2/frontend1)",
                                                  "3:Fake DVB demodulator (adapter10/frontend0)"}));
}

TEST_F(DvbExports, AFrontendWithoutPermissionIsListedAndTheFixIsNamed)
{
    s.Nodes = {"adapter0/frontend0", "adapter1/frontend0"};
    s.ReadOnlyOpenErrors["adapter1/frontend0"] = EACCES;
    s.ReadWriteOpenErrors["adapter1/frontend0"] = EACCES;
    testing::internal::CaptureStderr();
    ASSERT_EQ(CheckForDVBEx(OnDevice), 1);
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(gDevices.size(), 2u);
    EXPECT_EQ(gDevices[1], "1:DVB frontend (adapter1/frontend0)");
    EXPECT_EQ(err, "dvb tuner: /dev/dvb/adapter1/frontend0: permission denied; add your user to the video group "
                   "(sudo usermod -aG video $USER) and log in again\n");
}

TEST_F(DvbExports, NoAdapterGivesNoDeviceAndOneLineWhy)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(CheckForDVBEx(OnDevice), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(gDevices.empty());
    EXPECT_EQ(err.rfind("dvb tuner: no DVB frontend found: /dev/dvb holds no adapter", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
}

TEST_F(DvbExports, BusyOrVanishedFrontendsFailToStartSayingWhich)
{
    struct StartCase {
        int Error;
        const char* Says;
    };
    for (StartCase c : {StartCase{EBUSY, "/dev/dvb/adapter0/frontend0 is busy"},
                        StartCase{ENOENT, "/dev/dvb/adapter0/frontend0 has gone"},
                        StartCase{EACCES, "permission denied"}}) {
        s.Nodes = {"adapter0/frontend0"};
        s.ReadWriteOpenErrors["adapter0/frontend0"] = c.Error;
        ASSERT_EQ(CheckForDVBEx(OnDevice), 1);
        testing::internal::CaptureStderr();
        EXPECT_EQ(StartDVBEx(0), 0);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(c.Says), std::string::npos) << err;
        EXPECT_EQ(GetCaps(), 0u);
    }
}

TEST_F(DvbExports, CapsNameTheScannerOnlyForTerrestrialOrCableSystems)
{
    struct CapsCase {
        std::vector<uint32_t> Systems;
        uint32_t Caps;
    };
    for (const CapsCase& c : {CapsCase{{SYS_DVBT}, 0x804000u}, CapsCase{{SYS_DVBC_ANNEX_B}, 0x804000u},
                              CapsCase{{SYS_ISDBT}, 0x804000u}, CapsCase{{SYS_DVBS, SYS_DVBS2}, 0x800000u}}) {
        s.Systems = c.Systems;
        testing::internal::CaptureStderr();
        Open();
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(GetCaps(), c.Caps);
        StopDVB();
        EXPECT_EQ(GetCaps(), 0u);
    }
}

TEST_F(DvbExports, CableLocksAtTheSecondSymbolRateAndNothingGivesAnEmptyRecord)
{
    Open();
    UseBand(s, {{SYS_DVBC_ANNEX_A, 306000, 6875000}});
    TransponderInfo r;
    ASSERT_EQ(SetChannel2Ex(306000, 8000, 8, 0), 1);
    ASSERT_EQ(SignalInfo2(&r), 1);
    EXPECT_EQ(r.Locked, 1u);
    EXPECT_EQ(r.Standard, 8u);
    EXPECT_EQ(r.SymbolRate, 6875000u);
    EXPECT_EQ(s.Tunes, 2u);

    ASSERT_EQ(SetChannel2Ex(322000, 8000, 8, 0), 1);
    uint32_t before = s.NowMs;
    ASSERT_EQ(SignalInfo2(&r), 1);
    EXPECT_EQ(r.Locked, 0u);
    EXPECT_EQ(r.Frequency, 322000u);
    EXPECT_EQ(s.Tunes, 4u); // both rates, each given up after the carrier window
    EXPECT_EQ(s.NowMs - before, 1200u);

    // A system the frontend lacks, and DVB-C2: no lock, never a failed call.
    for (uint32_t standard : {10u, 12u, 9u}) {
        ASSERT_EQ(SetChannel2Ex(306000, 8000, standard, 0), 1);
        ASSERT_EQ(SignalInfo2(&r), 1);
        EXPECT_EQ(r.Locked, 0u) << standard;
    }
}

TEST_F(DvbExports, AnyStandardTriesTheOtherSystemsOnlyWhereDvbTSawASignal)
{
    Open();
    UseBand(s, {{SYS_DVBT2, 490000, 0}, {SYS_DVBT, 474000, 0}});
    // DVB-T sees no carrier at 490 MHz in this band (the carrier belongs to
    // DVB-T2 only), so give DVB-T a carrier there as a real demodulator would.
    auto band = s.OnTune;
    s.OnTune = [band](dvbtest::FakeFrontendState& state, uint32_t system, uint32_t hz, uint32_t symbolRate) {
        band(state, system, hz, symbolRate);
        if (system == SYS_DVBT && hz == 490000000u)
            state.Timeline = {{50, FE_HAS_SIGNAL}};
    };
    TransponderInfo r;
    ASSERT_EQ(SetChannel2Ex(490000, 8000, 0, 0), 1);
    ASSERT_EQ(SignalInfo2(&r), 1);
    EXPECT_EQ(r.Locked, 1u);
    EXPECT_EQ(r.Standard, 7u);

    uint32_t tunes = s.Tunes;
    ASSERT_EQ(SetChannel2Ex(498000, 8000, 0, 0), 1);
    ASSERT_EQ(SignalInfo2(&r), 1);
    EXPECT_EQ(r.Locked, 0u);
    // An empty channel costs one DVB-T carrier window: no DVB-T2, no cable.
    EXPECT_EQ(s.Tunes - tunes, 1u);

    // A cable transponder shows its signal to the DVB-T tune, and is found.
    UseBand(s, {{SYS_DVBC_ANNEX_A, 306000, 6875000}});
    band = s.OnTune;
    s.OnTune = [band](dvbtest::FakeFrontendState& state, uint32_t system, uint32_t hz, uint32_t symbolRate) {
        band(state, system, hz, symbolRate);
        if (system == SYS_DVBT && hz == 306000000u)
            state.Timeline = {{50, FE_HAS_SIGNAL}};
    };
    ASSERT_EQ(SetChannel2Ex(306000, 8000, 0, 0), 1);
    ASSERT_EQ(SignalInfo2(&r), 1);
    EXPECT_EQ(r.Locked, 1u);
    EXPECT_EQ(r.Standard, 8u);
    EXPECT_EQ(r.SymbolRate, 6875000u);
}

TEST_F(DvbExports, ADeviceThatFailsEndsTheCallAndSaysSo)
{
    Open();
    TransponderInfo r;
    s.Fails[FE_READ_STATUS] = ENODEV;
    ASSERT_EQ(SetChannel2Ex(474000, 8000, 6, 0), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(SignalInfo2(&r), 0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.rfind("dvb tuner: /dev/dvb/adapter0/frontend0 failed during the signal reading", 0), 0u) << err;
    EXPECT_EQ(GetCaps(), 0u);
}

int gReported = 0;
int OnResult(TransponderInfo*)
{
    return ++gReported;
}

TEST_F(DvbExports, SweepStoresEachLockOnceWithinTheTable)
{
    Open();
    std::vector<Transponder> band;
    for (uint32_t i = 0; i < 8; ++i)
        band.push_back({SYS_DVBT, 474000 + i * 8000, 0});
    UseBand(s, band);

    struct SweepCase {
        uint32_t Already;
        uint32_t Stored;
    };
    for (SweepCase c : {SweepCase{0, 8}, SweepCase{195, 5}, SweepCase{200, 0}, SweepCase{250, 0}}) {
        std::vector<TransponderInfo> table(tressel::kTableCapacity + 1);
        uint32_t sentinel = 0x5a5a5a5a;
        memset(&table[tressel::kTableCapacity], 0x5a, sizeof(TransponderInfo));
        uint32_t countWord = c.Already;
        gReported = 0;
        uint32_t start = c.Already < tressel::kTableCapacity ? c.Already : tressel::kTableCapacity;
        ASSERT_EQ(Tressel(474000, 530000, 8000, 8000, 6, &table[start], &countWord, OnResult), 1);
        EXPECT_EQ(countWord, c.Stored) << c.Already;
        EXPECT_EQ(gReported, static_cast<int>(c.Stored));
        EXPECT_EQ(table[tressel::kTableCapacity].Locked, sentinel) << "written past the table";
        for (uint32_t k = 0; k < c.Stored; ++k) {
            EXPECT_EQ(table[start + k].Locked, 1u);
            EXPECT_EQ(table[start + k].Frequency, 474000 + k * 8000);
        }
    }

    // A 1 MHz grid tunes no grid point within half a bandwidth of a find.
    std::vector<TransponderInfo> table(tressel::kTableCapacity);
    uint32_t countWord = 0;
    uint32_t tunes = s.Tunes;
    ASSERT_EQ(Tressel(474000, 490000, 1000, 8000, 6, table.data(), &countWord, OnResult), 1);
    EXPECT_EQ(countWord, 3u);
    // 474 found; 475-478 skipped; 479-481 tuned; 482 found; 483-486 skipped; 487-489; 490 found.
    EXPECT_EQ(s.Tunes - tunes, 9u);
}

} // namespace
