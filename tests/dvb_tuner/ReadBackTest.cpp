// The record of a locked tune: read-back parameters mapped to record codes,
// the tuned values where the driver reports none, the "unknown" codes for
// what the kernel cannot tell, statistics only in the decibel scale, and
// the bit rate from the standard's formula.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "DvbFrontend.h"
#include "FakeFrontend.h"

namespace {

using namespace tressel::dvb;
using tressel::TransponderInfo;

TEST(DvbReadBack, ADriverThatReadsBackFillsEveryFieldItKnows)
{
    dvbtest::FakeFrontend fake;
    auto& s = fake.State();
    s.ReadBack = {{DTV_DELIVERY_SYSTEM, SYS_DVBT},        {DTV_FREQUENCY, 482166000},
                  {DTV_BANDWIDTH_HZ, 7000000},            {DTV_MODULATION, QAM_16},
                  {DTV_CODE_RATE_HP, FEC_1_2},            {DTV_CODE_RATE_LP, FEC_3_4},
                  {DTV_INVERSION, INVERSION_ON},          {DTV_TRANSMISSION_MODE, TRANSMISSION_MODE_8K},
                  {DTV_GUARD_INTERVAL, GUARD_INTERVAL_1_8}, {DTV_HIERARCHY, HIERARCHY_2}};
    TuneAttempt t = {SYS_DVBT, 0, QAM_AUTO, 1500, 0};
    TransponderInfo r;
    bool needTables = true;
    ASSERT_EQ(ReadTransponder(3, t, 482000, 8000, &r, &needTables), kTuneLocked);
    ASSERT_EQ(ReadStatistics(3, &r), kTuneLocked);
    EXPECT_FALSE(needTables);
    EXPECT_EQ(r.Locked, 1u);
    EXPECT_EQ(r.Frequency, 482166u);
    EXPECT_EQ(r.Bandwidth, 7000u);
    EXPECT_EQ(r.Standard, 6u);
    EXPECT_EQ(r.Modulation, 18u);
    EXPECT_EQ(r.Fec, 1u);
    EXPECT_EQ(r.FecLp, 3u);
    EXPECT_EQ(r.Spectrum, 2u);
    EXPECT_EQ(r.TransmissionMode, 4u);
    EXPECT_EQ(r.GuardInterval, 3u);
    EXPECT_EQ(r.Hierarchy, 2u);
    EXPECT_EQ(r.SymbolRate, 0u);
    EXPECT_EQ(r.RfLevel, -52);
    EXPECT_DOUBLE_EQ(r.Snr, 30.25);
    // Not available from the kernel: "PP?", "?" and a transport stream.
    EXPECT_EQ(r.PilotPattern, 0xffu);
    EXPECT_EQ(r.T2Version, 0xffu);
    EXPECT_EQ(r.Payload, 3u);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&r);
    for (size_t i = 96; i < 104; ++i)
        EXPECT_EQ(bytes[i], 0xA5) << i;
    for (size_t i = 120; i < 136; ++i)
        EXPECT_EQ(bytes[i], 0xA5) << i;
}

// A driver without get_frontend returns what was set: AUTO stays AUTO and
// the record keeps the tuned values; the NIT is then needed.
TEST(DvbReadBack, ADriverThatReturnsAutoLeavesCodesUnknownAndAsksForTheNit)
{
    dvbtest::FakeFrontend fake;
    auto& s = fake.State();
    s.ReadBack = {{DTV_DELIVERY_SYSTEM, SYS_DVBC_ANNEX_A}, {DTV_FREQUENCY, 306000000}, {DTV_SYMBOL_RATE, 6875000},
                  {DTV_MODULATION, QAM_AUTO},              {DTV_INNER_FEC, FEC_AUTO},   {DTV_INVERSION, INVERSION_AUTO}};
    TuneAttempt t = {SYS_DVBC_ANNEX_A, 6875000, QAM_AUTO, 1000, 0};
    TransponderInfo r;
    bool needTables = false;
    ASSERT_EQ(ReadTransponder(3, t, 306000, 8000, &r, &needTables), kTuneLocked);
    EXPECT_TRUE(needTables);
    EXPECT_EQ(r.Standard, 8u);
    EXPECT_EQ(r.SymbolRate, 6875000u);
    EXPECT_EQ(r.Bandwidth, 8000u);
    EXPECT_EQ(r.Modulation, 0u);
    EXPECT_EQ(r.Fec, 0u); // kernel AUTO (9) is not the record's 9/10
    EXPECT_EQ(r.Spectrum, 0u);
}

// DVB-T2: the PLP list always comes from the NIT; until then the one PLP
// the driver reports, and a driver that names the system it really locked.
TEST(DvbReadBack, DvbT2AsksForThePlpListAndKeepsTheSystemTheDriverLocked)
{
    dvbtest::FakeFrontend fake;
    auto& s = fake.State();
    s.ReadBack = {{DTV_DELIVERY_SYSTEM, SYS_DVBT2}, {DTV_FREQUENCY, 490000000}, {DTV_BANDWIDTH_HZ, 8000000},
                  {DTV_MODULATION, QAM_256},        {DTV_CODE_RATE_HP, FEC_AUTO}, {DTV_INNER_FEC, FEC_3_5},
                  {DTV_STREAM_ID, 4}};
    TuneAttempt t = {SYS_DVBT, 0, QAM_AUTO, 1500, 0}; // tuned as DVB-T, locked as DVB-T2
    TransponderInfo r;
    bool needTables = false;
    ASSERT_EQ(ReadTransponder(3, t, 490000, 8000, &r, &needTables), kTuneLocked);
    EXPECT_TRUE(needTables);
    EXPECT_EQ(r.Standard, 7u);
    EXPECT_EQ(r.Modulation, 22u);
    EXPECT_EQ(r.Fec, 13u); // reported as the inner FEC
    EXPECT_EQ(r.PlpCount, 1u);
    EXPECT_EQ(r.PlpIds[0], 4u);
}

TEST(DvbReadBack, RelativeOrMissingStatisticsGiveNoLevel)
{
    struct StatCase {
        uint8_t Scale;
        int64_t Value;
        int32_t RfLevel;
        double Snr;
    };
    for (StatCase c : {StatCase{FE_SCALE_RELATIVE, 40000, 0, 0.0}, StatCase{FE_SCALE_NOT_AVAILABLE, 0, 0, 0.0},
                       StatCase{FE_SCALE_DECIBEL, -48600, -49, -48.6}}) {
        dvbtest::FakeFrontend fake;
        fake.State().StrengthScale = c.Scale;
        fake.State().StrengthValue = c.Value;
        fake.State().CnrScale = c.Scale;
        fake.State().CnrValue = c.Value;
        TransponderInfo r;
        ClearRecord(&r, 474000);
        ASSERT_EQ(ReadStatistics(3, &r), kTuneLocked);
        EXPECT_EQ(r.RfLevel, c.RfLevel) << "scale " << int(c.Scale);
        EXPECT_DOUBLE_EQ(r.Snr, c.Snr) << "scale " << int(c.Scale);
    }
}

TEST(DvbBitRate, TheStandardsFormulaWhereTheParametersAreKnown)
{
    struct RateCase {
        const char* Name;
        uint32_t Standard, Bandwidth, Modulation, Fec, FecLp, Guard, Hierarchy, SymbolRate;
        uint32_t Expected;
    };
    const RateCase cases[] = {
        {"DVB-T 8 MHz 64QAM 2/3 1/4", 6, 8000, 20, 2, 0, 4, 0, 0, 19905882},
        {"DVB-T 8 MHz 16QAM 1/2 1/32", 6, 8000, 18, 1, 0, 1, 0, 0, 12064171},
        {"DVB-T 7 MHz 64QAM 3/4 1/8", 6, 7000, 20, 3, 0, 3, 0, 0, 21772059},
        {"DVB-T hierarchical 64QAM HP 2/3 LP 1/2 1/4", 6, 8000, 20, 2, 1, 4, 1, 0, 16588235},
        {"DVB-T code rate unknown", 6, 8000, 20, 0, 0, 4, 0, 0, 0},
        {"DVB-C 256QAM 6900", 8, 8000, 22, 0, 0, 0, 0, 6900000, 50870588},
        {"DVB-C 64QAM 6875", 8, 8000, 20, 0, 0, 0, 0, 6875000, 38014706},
        {"DVB-C modulation unknown", 8, 8000, 0, 0, 0, 0, 0, 6900000, 0},
        {"ATSC 8VSB", 10, 6000, 16, 0, 0, 0, 0, 0, 19392658},
        {"DVB-T2 needs L1 data", 7, 8000, 22, 13, 0, 7, 0, 0, 0},
    };
    for (const RateCase& c : cases) {
        TransponderInfo r;
        ClearRecord(&r, 474000);
        r.Standard = c.Standard;
        r.Bandwidth = c.Bandwidth;
        r.Modulation = c.Modulation;
        r.Fec = c.Fec;
        r.FecLp = c.FecLp;
        r.GuardInterval = c.Guard;
        r.Hierarchy = c.Hierarchy;
        r.SymbolRate = c.SymbolRate;
        EXPECT_EQ(ComputeBitRate(r), c.Expected) << c.Name;
    }
}

} // namespace
