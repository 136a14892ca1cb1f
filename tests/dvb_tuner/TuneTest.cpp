// Tuning and waiting against the scripted frontend: which systems and
// symbol rates a standard code tries, what one tune sets, which refusals
// are "no lock" and which fail the call, and the bounded wait windows.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "DvbFrontend.h"
#include "FakeFrontend.h"

namespace {

using namespace tressel::dvb;

std::string PlanText(uint32_t standard, const std::vector<uint32_t>& systems)
{
    DvbSettings settings = DefaultDvbSettings();
    settings.SymbolRates[2] = 6111000;
    settings.SymbolRateCount = 3;
    TunePlan plan = {};
    BuildTunePlan(standard, systems.data(), static_cast<uint32_t>(systems.size()), settings, &plan);
    std::string text;
    for (uint32_t i = 0; i < plan.Count; ++i) {
        const TuneAttempt& a = plan.Attempts[i];
        text += std::to_string(a.DeliverySystem);
        if (a.SymbolRate != 0)
            text += "@" + std::to_string(a.SymbolRate / 1000);
        if (a.SkipWithoutCarrier)
            text += "?";
        text += " ";
    }
    return text;
}

struct PlanCase {
    uint32_t Standard;
    std::vector<uint32_t> Systems;
    std::string Expected; // system[@kS][? = only after a signal], in order
};

TEST(DvbTunePlan, StandardCodesTryTheFrontendsSystemsInOrder)
{
    const std::vector<uint32_t> tc{SYS_DVBC_ANNEX_A, SYS_DVBT, SYS_DVBT2};
    const std::string T = std::to_string(SYS_DVBT), T2 = std::to_string(SYS_DVBT2),
                      A = std::to_string(SYS_DVBC_ANNEX_A), C = std::to_string(SYS_DVBC_ANNEX_C),
                      B = std::to_string(SYS_DVBC_ANNEX_B), V = std::to_string(SYS_ATSC),
                      I = std::to_string(SYS_ISDBT);
    const PlanCase cases[] = {
        {6, tc, T + " "},
        {7, tc, T2 + " "},
        {8, tc, A + "@6900 " + A + "@6875 " + A + "@6111 "},
        {8, {SYS_DVBC_ANNEX_C}, C + "@6900 " + C + "@6875 " + C + "@6111 "},
        {9, tc, ""}, // DVB-C2: the kernel has no such system
        {10, {SYS_ATSC, SYS_DVBC_ANNEX_B}, V + " " + B + " "},
        {10, tc, ""}, // a system the frontend lacks: nothing to tune
        {12, {SYS_ISDBT}, I + " "},
        // Any system: after the first attempt, the others only where a signal was seen.
        {0, tc, T + " " + T2 + "? " + A + "@6900? " + A + "@6875? " + A + "@6111? "},
        {0, {SYS_DVBT2}, T2 + " "}, // without DVB-T, DVB-T2 comes first
        {0, {SYS_ISDBT, SYS_ATSC}, V + " " + I + "? "},
        {1, {SYS_DVBS, SYS_DVBS2}, ""},
    };
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "standard " << c.Standard << ", expected " << c.Expected);
        EXPECT_EQ(PlanText(c.Standard, c.Systems), c.Expected);
    }
}

TEST(DvbTune, SetsTheSystemFirstThenFrequencyInHzAndAutoParameters)
{
    dvbtest::FakeFrontend fake;
    TuneAttempt t2 = {SYS_DVBT2, 0, QAM_AUTO, 3000, 0};
    ASSERT_EQ(StartTune(3, t2, 490000, 8000), kTuneLocked);
    auto& s = fake.State();
    ASSERT_EQ(s.SetCalls.size(), 2u);
    EXPECT_EQ(s.SetCalls[0], (std::vector<uint32_t>{DTV_CLEAR, DTV_DELIVERY_SYSTEM}));
    EXPECT_EQ(s.SetValues[0][DTV_DELIVERY_SYSTEM], static_cast<uint32_t>(SYS_DVBT2));
    EXPECT_EQ(s.SetValues[1][DTV_FREQUENCY], 490000000u);
    EXPECT_EQ(s.SetValues[1][DTV_BANDWIDTH_HZ], 8000000u);
    EXPECT_EQ(s.SetValues[1][DTV_STREAM_ID], NO_STREAM_ID_FILTER);
    EXPECT_EQ(s.SetValues[1][DTV_GUARD_INTERVAL], static_cast<uint32_t>(GUARD_INTERVAL_AUTO));
    EXPECT_EQ(s.SetCalls[1].back(), static_cast<uint32_t>(DTV_TUNE));

    TuneAttempt cable = {SYS_DVBC_ANNEX_A, 6875000, QAM_AUTO, 1000, 0};
    ASSERT_EQ(StartTune(3, cable, 306000, 8000), kTuneLocked);
    EXPECT_EQ(s.SetValues[3][DTV_SYMBOL_RATE], 6875000u);
    EXPECT_EQ(s.SetValues[3][DTV_MODULATION], static_cast<uint32_t>(QAM_AUTO));
    EXPECT_EQ(s.SetValues[3].count(DTV_BANDWIDTH_HZ), 0u);

    TuneAttempt isdb = {SYS_ISDBT, 0, QAM_AUTO, 1500, 0};
    s.Systems.push_back(SYS_ISDBT);
    ASSERT_EQ(StartTune(3, isdb, 563000, 8000), kTuneLocked);
    EXPECT_EQ(s.SetValues[5].count(DTV_BANDWIDTH_HZ), 0u) << "ISDB-T: the driver's 6 MHz, not the scan's raster";
}

// A refused system or a channel outside the frontend's range is "no lock";
// a frontend that has gone or fails with an I/O error fails the call.
TEST(DvbTune, RefusalsAreNoLockAndDeviceFailuresFail)
{
    TuneAttempt isdb = {SYS_ISDBT, 0, QAM_AUTO, 1500, 0};
    TuneAttempt t = {SYS_DVBT, 0, QAM_AUTO, 1500, 0};
    {
        dvbtest::FakeFrontend fake;
        EXPECT_EQ(StartTune(3, isdb, 490000, 6000), kTuneNothing); // not in the system list: EINVAL
        EXPECT_EQ(StartTune(3, t, 1010000, 8000), kTuneNothing);   // above the range
        EXPECT_EQ(StartTune(3, t, 41000, 8000), kTuneNothing);     // below it
        EXPECT_EQ(fake.State().Tunes, 0u);
    }
    struct ErrorCase {
        int Error;
        int Expected;
    };
    for (ErrorCase c : {ErrorCase{ENODEV, kTuneFailed}, ErrorCase{EIO, kTuneFailed}, ErrorCase{EINVAL, kTuneNothing},
                        ErrorCase{EOPNOTSUPP, kTuneNothing}}) {
        dvbtest::FakeFrontend fake;
        fake.State().Fails[FE_SET_PROPERTY] = c.Error;
        EXPECT_EQ(StartTune(3, t, 490000, 8000), c.Expected) << "errno " << c.Error;
    }
}

struct WaitCase {
    const char* Name;
    std::vector<dvbtest::StatusStep> Timeline;
    bool Events;
    int Expected;
    bool Carrier;
    uint32_t ElapsedMs; // from the tune until WaitForLock returns
};

// Carrier window 600 ms, lock window 3000 ms.
TEST(DvbWait, GivesUpAtOnceWithoutCarrierAndWaitsForSlowLocks)
{
    const uint32_t lockBits = FE_HAS_SIGNAL | FE_HAS_CARRIER | FE_HAS_VITERBI | FE_HAS_SYNC | FE_HAS_LOCK;
    const WaitCase cases[] = {
        {"nothing on the channel", {}, true, kTuneNothing, false, 600},
        {"carrier that never locks", {{200, FE_HAS_SIGNAL | FE_HAS_CARRIER}}, true, kTuneNothing, true, 3000},
        {"slow DVB-T2 lock", {{300, FE_HAS_SIGNAL}, {2400, lockBits}}, true, kTuneLocked, true, 2400},
        {"lock at once", {{0, lockBits}}, true, kTuneLocked, true, 0},
        {"carrier just after the window", {{650, FE_HAS_CARRIER}, {700, lockBits}}, true, kTuneNothing, false, 600},
        {"driver without events", {{300, FE_HAS_SIGNAL}, {1234, lockBits}}, false, kTuneLocked, true, 1240},
    };
    for (const WaitCase& c : cases) {
        SCOPED_TRACE(c.Name);
        dvbtest::FakeFrontend fake;
        auto& s = fake.State();
        s.Timeline = c.Timeline;
        s.SendsEvents = c.Events;
        TuneAttempt t = {SYS_DVBT2, 0, QAM_AUTO, 3000, 0};
        ASSERT_EQ(StartTune(3, t, 490000, 8000), kTuneLocked);
        uint32_t tunedAt = s.NowMs;
        bool carrier = false;
        EXPECT_EQ(WaitForLock(3, tunedAt, 600, 3000, &carrier), c.Expected);
        EXPECT_EQ(carrier, c.Carrier);
        EXPECT_EQ(s.NowMs - tunedAt, c.ElapsedMs);
    }
}

// With events the wait sleeps until the status changes rather than reading
// the status over and over.
TEST(DvbWait, EventsWakeTheWaitWithoutBusyPolling)
{
    dvbtest::FakeFrontend fake;
    auto& s = fake.State();
    s.Timeline = {{100, FE_HAS_SIGNAL}, {2000, FE_HAS_SIGNAL | FE_HAS_CARRIER | FE_HAS_LOCK}};
    TuneAttempt t = {SYS_DVBT2, 0, QAM_AUTO, 3000, 0};
    ASSERT_EQ(StartTune(3, t, 490000, 8000), kTuneLocked);
    bool carrier = false;
    EXPECT_EQ(WaitForLock(3, s.NowMs, 600, 3000, &carrier), kTuneLocked);
    // One look every 20 ms at most, never more.
    EXPECT_LE(s.StatusReads, 2000u / 20u + 3u);
}

TEST(DvbWait, AVanishedFrontendFailsTheWait)
{
    dvbtest::FakeFrontend fake;
    fake.State().Fails[FE_READ_STATUS] = ENODEV;
    bool carrier = false;
    EXPECT_EQ(WaitForLock(3, fake.State().NowMs, 600, 3000, &carrier), kTuneFailed);
}

} // namespace
