// Real time spent by the calls: TuneMs, SignalMs and SweepMs per grid channel.
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TunerProcess.h"

using tressel::TransponderInfo;
using vttest::Exports;

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A loose ceiling that catches a wrong unit or a time spent per transponder
// rather than per call, without making the tests flaky on a busy machine.
constexpr long long kCeilingMs = 2000;

TEST(VirtualTunerTiming, TuneAndSignalSpendTheirTime)
{
    vttest::WithBand("[Timing]\nTuneMs=60\nSignalMs=40\n[Transponder0]\nFrequency=474000\nBandwidth=8000\n",
                     [](const Exports& tuner) {
                         std::string devices;
                         ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
                         Clock::time_point start = Clock::now();
                         ASSERT_EQ(tuner.SetChannel2Ex(474000, 8000, 0, 0), 1);
                         long long tune = MsSince(start);
                         EXPECT_GE(tune, 60);
                         EXPECT_LT(tune, kCeilingMs);
                         TransponderInfo r;
                         start = Clock::now();
                         ASSERT_EQ(tuner.SignalInfo2(&r), 1);
                         long long signal = MsSince(start);
                         EXPECT_GE(signal, 40);
                         EXPECT_LT(signal, kCeilingMs);
                     });
}

TEST(VirtualTunerTiming, SweepSpendsItsTimePerGridChannel)
{
    const struct {
        uint32_t Start, Stop, Step;
        int Channels;
    } sweeps[] = {
        {474000, 506000, 8000, 5},
        {474000, 505999, 8000, 4}, // the last channel lies at or below stop
        {474000, 474000, 8000, 1},
        {474000, 474000, 0, 1},
        {474001, 474000, 8000, 0},
    };
    vttest::WithBand("[Timing]\nSweepMs=25\n[Transponder0]\nFrequency=490000\n", [&](const Exports& tuner) {
        std::string devices;
        ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        for (const auto& s : sweeps) {
            SCOPED_TRACE(std::to_string(s.Start) + "-" + std::to_string(s.Stop) + " step " + std::to_string(s.Step));
            TransponderInfo table[tressel::kTableCapacity];
            uint32_t count = 0;
            Clock::time_point start = Clock::now();
            ASSERT_EQ(tuner.Tressel(s.Start, s.Stop, s.Step, 8000, 0, table, &count, nullptr), 1);
            long long spent = MsSince(start);
            EXPECT_GE(spent, 25 * s.Channels);
            EXPECT_LT(spent, 25 * s.Channels + kCeilingMs);
        }
    });
}

Clock::time_point gSweepStart;
std::vector<long long>* gReportTimes = nullptr;
int OnResult(TransponderInfo*)
{
    gReportTimes->push_back(MsSince(gSweepStart));
    return 0;
}

TEST(VirtualTunerTiming, SweepReportsEachTransponderOnceItsChannelIsSwept)
{
    vttest::WithBand("[Timing]\nSweepMs=40\n"
                     "[Transponder0]\nFrequency=474000\n[Transponder1]\nFrequency=497000\n",
                     [](const Exports& tuner) {
                         std::string devices;
                         ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
                         std::vector<long long> times;
                         gReportTimes = &times;
                         TransponderInfo table[tressel::kTableCapacity];
                         uint32_t count = 0;
                         gSweepStart = Clock::now();
                         ASSERT_EQ(tuner.Tressel(474000, 506000, 8000, 8000, 0, table, &count, OnResult), 1);
                         long long total = MsSince(gSweepStart);
                         ASSERT_EQ(times.size(), 2u);
                         EXPECT_GE(times[0], 40);   // after the channel at 474000
                         EXPECT_GE(times[1], 120);  // after 474000, 482000 and 490000
                         EXPECT_LT(times[0], times[1]);
                         EXPECT_GE(total, 200);     // five channels
                         EXPECT_LE(times[1], total);
                     });
}

TEST(VirtualTunerTiming, FailingCallsReturnAtOnce)
{
    vttest::WithBand("[Timing]\nTuneMs=3000\nSignalMs=3000\nSweepMs=3000\n"
                     "[Faults]\nSetChannel2Ex=1\nSignalInfo2=1\nTressel=1\n",
                     [](const Exports& tuner) {
                         std::string devices;
                         ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
                         Clock::time_point start = Clock::now();
                         TransponderInfo table[tressel::kTableCapacity];
                         uint32_t count = 0;
                         EXPECT_EQ(tuner.SetChannel2Ex(474000, 8000, 0, 0), 0);
                         EXPECT_EQ(tuner.SignalInfo2(&table[0]), 0);
                         EXPECT_EQ(tuner.Tressel(474000, 474000, 8000, 8000, 0, table, &count, nullptr), 0);
                         EXPECT_LT(MsSince(start), 1500);
                     });
}

} // namespace
