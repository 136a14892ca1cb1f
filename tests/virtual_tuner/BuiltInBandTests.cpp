// The built-in band, as a first run with the sample configuration sees it:
// both scan intervals of the sample find every transponder, by fast sweep and
// by stepping, and the band holds each kind of transponder the output shows.
#include <chrono>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TunerProcess.h"

using tressel::TransponderInfo;
using vttest::Exports;

namespace {

// The intervals of the sample Tressel.ini, with their mapped standard codes.
struct Interval {
    uint32_t Start, Stop, StepKHz, Standard;
};
constexpr Interval kTerrestrial = {474000, 786000, 8000, 0};
constexpr Interval kCable = {113000, 466000, 8000, 8};
// Everything, in one grid channel.
constexpr Interval kWholeRange = {0, 0xFFFFFFFFu, 0xFFFFFFFFu, 0};

std::vector<TransponderInfo> SweepInterval(const Exports& tuner, const Interval& i)
{
    static TransponderInfo table[tressel::kTableCapacity];
    uint32_t count = 0;
    EXPECT_EQ(tuner.Tressel(i.Start, i.Stop, i.StepKHz, 8000, i.Standard, table, &count, nullptr), 1);
    return std::vector<TransponderInfo>(table, table + count);
}

// Tunes every channel of the interval and keeps each new lock, the way the
// stepped scan does (a lock within 1000 kHz of a kept one is a repeat).
std::vector<uint32_t> StepInterval(const Exports& tuner, const Interval& i)
{
    std::vector<uint32_t> found;
    for (uint32_t f = i.Start; f <= i.Stop; f += i.StepKHz) {
        TransponderInfo r;
        EXPECT_EQ(tuner.SetChannel2Ex(f, i.StepKHz, i.Standard, 0), 1);
        EXPECT_EQ(tuner.SignalInfo2(&r), 1);
        if (r.Locked == 0)
            continue;
        bool repeat = false;
        for (uint32_t k : found)
            repeat = repeat || (k > r.Frequency ? k - r.Frequency : r.Frequency - k) < 1000;
        if (!repeat)
            found.push_back(r.Frequency);
    }
    return found;
}

TEST(VirtualTunerBuiltInBand, OneTunerWithTresselAndFastScanCaps)
{
    vttest::WithBuiltInBand([](const Exports& tuner) {
        std::string devices;
        EXPECT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        EXPECT_EQ(devices, "0:Virtual DVB-T/T2/C tuner\n");
        ASSERT_EQ(tuner.StartDVBEx(0), 1);
        EXPECT_EQ(tuner.GetCaps(), 0x804000u);
        EXPECT_EQ(tuner.StartDVBEx(1), 0);
        EXPECT_EQ(vttest::TunerStderr(), "");
    });
}

TEST(VirtualTunerBuiltInBand, SampleIntervalsFindEveryTransponderBySweepAndByStep)
{
    vttest::WithBuiltInBand([](const Exports& tuner) {
        std::string devices;
        ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        std::vector<TransponderInfo> air = SweepInterval(tuner, kTerrestrial);
        std::vector<TransponderInfo> cable = SweepInterval(tuner, kCable);
        std::vector<TransponderInfo> all = SweepInterval(tuner, kWholeRange);
        EXPECT_EQ(air.size() + cable.size(), all.size()) << "every transponder lies in a sample interval";
        EXPECT_GE(air.size(), 6u);
        EXPECT_GE(cable.size(), 3u);
        EXPECT_LE(all.size(), 12u);

        std::vector<uint32_t> swept;
        for (const TransponderInfo& r : air) {
            EXPECT_TRUE(r.Standard == tressel::kStdDvbT || r.Standard == tressel::kStdDvbT2) << r.Frequency;
            EXPECT_EQ(r.Bandwidth, 8000u) << r.Frequency;
            swept.push_back(r.Frequency);
        }
        for (const TransponderInfo& r : cable) {
            EXPECT_EQ(r.Standard, tressel::kStdDvbC) << r.Frequency;
            EXPECT_TRUE(r.SymbolRate == 6900000u || r.SymbolRate == 6875000u) << r.Frequency;
            swept.push_back(r.Frequency);
        }
        std::vector<uint32_t> stepped = StepInterval(tuner, kTerrestrial);
        std::vector<uint32_t> steppedCable = StepInterval(tuner, kCable);
        stepped.insert(stepped.end(), steppedCable.begin(), steppedCable.end());
        EXPECT_EQ(stepped, swept) << "the stepped scan finds what the sweep finds, in the same order";
    });
}

TEST(VirtualTunerBuiltInBand, HoldsEveryKindOfTransponderTheOutputShows)
{
    vttest::WithBuiltInBand([](const Exports& tuner) {
        std::string devices;
        ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        std::set<std::string> kinds;
        for (const TransponderInfo& r : SweepInterval(tuner, kWholeRange)) {
            if (r.Standard == tressel::kStdDvbT2 && r.PlpCount == 1)
                kinds.insert("DVB-T2 with one PLP");
            if (r.Standard == tressel::kStdDvbT2 && r.PlpCount > 1)
                kinds.insert("DVB-T2 with several PLPs");
            if (r.Standard == tressel::kStdDvbT && r.Hierarchy >= 1 && r.Hierarchy <= 3)
                kinds.insert("DVB-T with hierarchy");
            if (r.Standard == tressel::kStdDvbT && (r.Hierarchy < 1 || r.Hierarchy > 3))
                kinds.insert("DVB-T without hierarchy");
            if (r.Frequency % 500 != 0)
                kinds.insert("off the 500 kHz raster");
            if (r.Snr < 5.0)
                kinds.insert("weak");
            if (r.Standard == tressel::kStdDvbC)
                kinds.insert("DVB-C");
            EXPECT_FALSE(std::isnan(r.Snr)) << r.Frequency;
            EXPECT_LE(r.PlpCount, tressel::kPlpIdCapacity) << r.Frequency;
            EXPECT_TRUE(r.RfLevel <= -40 && r.RfLevel >= -70) << r.Frequency;
            EXPECT_GT(r.BitRate, 0u) << r.Frequency;
        }
        const std::set<std::string> expected = {
            "DVB-T2 with one PLP", "DVB-T2 with several PLPs", "DVB-T with hierarchy", "DVB-T without hierarchy",
            "off the 500 kHz raster", "weak", "DVB-C"};
        EXPECT_EQ(kinds, expected);
    });
}

TEST(VirtualTunerBuiltInBand, SweepSpendsTwentyMillisecondsPerChannel)
{
    vttest::WithBuiltInBand([](const Exports& tuner) {
        std::string devices;
        ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        auto start = std::chrono::steady_clock::now();
        SweepInterval(tuner, {474000, 490000, 8000, 0}); // three channels
        auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        EXPECT_GE(spent.count(), 60);
    });
}

} // namespace
