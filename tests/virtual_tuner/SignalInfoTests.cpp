// SignalInfo2: which transponder locks for the channel last tuned.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "TunerProcess.h"

using vttest::Exports;

namespace {

// Sections: Frequency, Bandwidth, Standard, and RfLevel = -(section number)
// so that a lock shows which section answered.
const char* const kBand =
    "[Transponder0]\nFrequency=500000\nBandwidth=8000\nStandard=7\nRfLevel=0\n"
    "[Transponder1]\nFrequency=508000\nBandwidth=8000\nStandard=6\nRfLevel=-1\n"
    // 1 and 2 lie 4000 kHz either side of 504000: a tie.
    "[Transponder2]\nFrequency=520000\nBandwidth=7000\nStandard=8\nRfLevel=-2\n"
    "[Transponder3]\nFrequency=521000\nBandwidth=8000\nStandard=6\nRfLevel=-3\n"
    // 4 repeats 3's frequency: the earlier section wins.
    "[Transponder4]\nFrequency=521000\nBandwidth=8000\nStandard=6\nRfLevel=-4\n"
    // 5 is narrow: it locks only within 1 kHz (3 / 2 in integers).
    "[Transponder5]\nFrequency=600000\nBandwidth=3\nStandard=7\nRfLevel=-5\n"
    // 6 is wide and weaker, but reaches as far as 610000.
    "[Transponder6]\nFrequency=605000\nBandwidth=10001\nStandard=7\nRfLevel=-6\n"
    // 7 sits at the top of the 32-bit range.
    "[Transponder7]\nFrequency=4294967295\nBandwidth=8000\nStandard=12\nRfLevel=-7\n"
    // 8 and 9 tie at 704000, and the lower frequency comes later.
    "[Transponder8]\nFrequency=708000\nBandwidth=8000\nStandard=7\nRfLevel=-8\n"
    "[Transponder9]\nFrequency=700000\nBandwidth=8000\nStandard=7\nRfLevel=-9\n";

struct Case {
    uint32_t Tuned;
    uint32_t Standard;
    int Section; // -1: no lock
};

TEST(VirtualTunerSignalInfo2, NearestCandidateWithinHalfItsBandwidthLocks)
{
    const Case cases[] = {
        {500000, 0, 0},      // exact
        {496000, 0, 0},      // at half the bandwidth
        {504000, 0, 0},      // tie of 0 and 1: the lower frequency
        {504001, 0, 1},      // nearer to 1
        {495999, 0, -1},     // just outside
        {504000, 6, 1},      // the standard filters 0 out
        {504000, 8, -1},     // no DVB-C near
        {516499, 0, -1},     // 2 reaches down to 516500 only (7000 / 2)
        {516500, 0, 2},
        {524000, 0, 3},      // beyond 2's reach, at the edge of 3's
        {523500, 0, 3},      // both reach: 3 is nearer
        {521000, 0, 3},      // same frequency twice: the earlier section
        {521000, 6, 3},
        {520400, 8, 2},
        {600000, 7, 5},      // nearest of 5 and 6
        {600001, 0, 5},      // 3 / 2 = 1
        {600002, 0, 6},      // beyond 5's reach: 6 still covers it
        {610000, 0, 6},      // 10001 / 2 = 5000
        {610001, 0, -1},
        {0, 0, -1},
        {4294967295u, 0, 7}, // no wrap-around in the distance
        {4294963295u, 12, 7},
        {4294963294u, 12, -1},
        {600000, 9, -1},     // nothing of that standard anywhere
        {704000, 0, 9},      // a tie goes to the lower frequency before the earlier section
        {703999, 7, 9},
        {704001, 7, 8},
    };
    vttest::WithBand(kBand, [&](const Exports& tuner) {
        std::string devices;
        ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        for (const Case& c : cases) {
            SCOPED_TRACE("tuned " + std::to_string(c.Tuned) + " kHz, standard " + std::to_string(c.Standard));
            tressel::TransponderInfo r;
            memset(&r, 0x5A, sizeof r);
            ASSERT_EQ(tuner.SetChannel2Ex(c.Tuned, 8000, c.Standard, 0), 1);
            ASSERT_EQ(tuner.SignalInfo2(&r), 1);
            if (c.Section >= 0) {
                EXPECT_EQ(r.Locked, 1u);
                EXPECT_EQ(r.RfLevel, -c.Section);
            } else {
                EXPECT_EQ(r.Locked, 0u);
            }
        }
    });
}

TEST(VirtualTunerSignalInfo2, NoLockLeavesOnlyTheTunedFrequencyAndTheReservedBytes)
{
    vttest::WithBand(kBand, [](const Exports& tuner) {
        std::string devices;
        ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        tressel::TransponderInfo r;
        memset(&r, 0x5A, sizeof r);
        ASSERT_EQ(tuner.SetChannel2Ex(800000, 8000, 0, 0), 1);
        ASSERT_EQ(tuner.SignalInfo2(&r), 1);
        unsigned char expected[sizeof r] = {};
        memset(expected + 96, 0xA5, 8);
        memset(expected + 120, 0xA5, 16);
        const uint32_t frequency = 800000;
        memcpy(expected + 4, &frequency, 4);
        EXPECT_EQ(memcmp(&r, expected, sizeof r), 0);
    });
}

TEST(VirtualTunerSignalInfo2, AnswersForTheLastTuningEachTime)
{
    vttest::WithBand(kBand, [](const Exports& tuner) {
        std::string devices;
        ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        tressel::TransponderInfo r;
        ASSERT_EQ(tuner.SetChannel2Ex(508000, 8000, 0, 0), 1);
        ASSERT_EQ(tuner.SignalInfo2(&r), 1);
        EXPECT_EQ(r.Frequency, 508000u);
        ASSERT_EQ(tuner.SignalInfo2(&r), 1);
        EXPECT_EQ(r.Frequency, 508000u) << "asking again gives the same lock";
        ASSERT_EQ(tuner.SetChannel2Ex(500000, 8000, 0, 0), 1);
        ASSERT_EQ(tuner.SignalInfo2(&r), 1);
        EXPECT_EQ(r.Frequency, 500000u);
    });
}

} // namespace
