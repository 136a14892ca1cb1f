// The stepped scan against the scripted tuner and a fake clock: console text
// byte for byte, the duplicate and SNR tests, abort, failures, the channel
// grid and the table's capacity.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "scan/ScanEngines.h"
#include "scan/ScanTestHelpers.h"
#include "support/FakeServices.h"
#include "support/FakeTuner.h"
#include "support/TestSupport.h"

using namespace tressel;
using scantest::Closing;
using scantest::GuardedTable;
using testsupport::LockedRecord;

namespace {

constexpr double kNoFloor = -100.0;
constexpr uint32_t kModQam64 = 20;
constexpr uint32_t kModQam256 = 22;

class StepScanTest : public scantest::EngineTest {
protected:
    int32_t Scan(uint32_t count, uint32_t start, uint32_t stop, uint32_t step = 8,
                 uint32_t standard = 0, double minSnr1 = kNoFloor, double minSnr2 = kNoFloor)
    {
        return RunStepScan(table.Records(), count, start, stop, step, standard, minSnr1, minSnr2,
                           &abortFlag);
    }

    std::vector<uint32_t> TunedFrequencies()
    {
        std::vector<uint32_t> tuned;
        for (const auto& call : Tuner().Tunes)
            tuned.push_back(call.Frequency);
        return tuned;
    }
};

// One sweep that meets every kind of channel: no lock, a found DVB-T2
// multiplex, a duplicate of it, a DVB-C transponder below its floor and a
// DVB-T transponder, after three records of earlier intervals.
TEST_F(StepScanTest, PrintsEveryKindOfChannelAndAppendsAfterEarlierRecords)
{
    table.FillFar(3);
    const TransponderInfo before = table.Records()[2];
    Tuner().Replies[482000] = LockedRecord(482166, kStdDvbT2, 25.3, 8000, 0, kModQam256);
    Tuner().Replies[490000] = LockedRecord(482500, kStdDvbT2, 28.0); // 334 kHz away: the same one
    Tuner().Replies[498000] = LockedRecord(498000, kStdDvbC, 10.0, 8000, 6900000, kModQam64);
    Tuner().Replies[506000] = LockedRecord(505999, kStdDvbT, 30.04, 7000, 0, kModQam64);

    int32_t result = Scan(3, 474000, 506000, 8, 0, 12.0, 20.0);

    EXPECT_EQ(result, 2);
    EXPECT_EQ(console.Text(),
              "From 474.000 to 506.000 Mhz, Step 8 Mhz\n"
              "474.000 Mhz ... \n"
              "482.000 Mhz ... 482.166 Mhz, BW 8 Mhz, DVB-T2/256QAM, 25.3 dB - time 0.500s\n\n"
              "490.000 Mhz ... \n"
              "498.000 Mhz ... 498.000 Mhz, 6900 KS, DVB-C/64QAM, 10.0 dB - time 0.500s\n\n"
              "506.000 Mhz ... 505.999 Mhz, BW 7 Mhz, DVB-T/64QAM, 30.0 dB - time 0.500s\n\n" +
                  Closing("2.500"));
    EXPECT_EQ(table.Records()[3].Frequency, 482166u);
    EXPECT_EQ(table.Records()[4].Frequency, 505999u);
    EXPECT_EQ(table.Records()[4].Bandwidth, 7000u);
    EXPECT_EQ(memcmp(&table.Records()[2], &before, sizeof before), 0) << "earlier records stay";
    EXPECT_EQ(abortFlag, 0);
    // Each channel was tuned with the step as bandwidth, the interval's code
    // and 0, then given 500 ms to settle before its signal was read.
    for (const auto& call : Tuner().Tunes) {
        EXPECT_EQ(call.Bandwidth, 8000u);
        EXPECT_EQ(call.Standard, 0u);
        EXPECT_EQ(call.Reserved, 0u);
    }
    EXPECT_EQ(Clock().SleepCalls, 5u);
    EXPECT_EQ(Clock().SleptMs, 2500u);
    // SignalInfo2 always wrote into the free record.
    ASSERT_EQ(Tuner().SignalTargets.size(), 5u);
    EXPECT_EQ(Tuner().SignalTargets[0], &table.Records()[3]);
    EXPECT_EQ(Tuner().SignalTargets[2], &table.Records()[4]);
    EXPECT_EQ(Tuner().SignalTargets[4], &table.Records()[4]);
}

// The found line's time runs from the channel's start to just after the
// duplicate test, so it includes the tuning, the settling and the reading;
// the scan time covers all channels.
TEST_F(StepScanTest, TimesComeFromTheMillisecondClock)
{
    Tuner().TuneMs = 120;
    Tuner().SignalMs = 35;
    Clock().NowMs = 0xFFFFFF00u; // the clock wraps during the sweep
    Tuner().Replies[474000] = LockedRecord(474000, kStdDvbT, 20.0);

    Scan(0, 474000, 482000);

    EXPECT_EQ(console.Text(), "From 474.000 to 482.000 Mhz, Step 8 Mhz\n"
                              "474.000 Mhz ... 474.000 Mhz, BW 8 Mhz, DVB-T/Unknown, 20.0 dB - time 0.655s\n\n"
                              "482.000 Mhz ... \n" +
                                  Closing("1.310"));
}

struct DuplicateCase {
    uint32_t Reported;
    bool Duplicate;
};

// A record already at 500000 kHz: 999 kHz either side is the same
// transponder, 1000 kHz is a new one.
TEST_F(StepScanTest, DuplicateEdgesAt999And1000KHz)
{
    const DuplicateCase cases[] = {
        {500000, true},  {499001, true},  {500999, true},
        {499000, false}, {501000, false}, {0xFFFFFFFFu, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Reported);
        testsupport::ConsoleCapture local;
        Tuner().Replies.clear();
        table.Records()[0] = LockedRecord(500000, kStdDvbT, 20.0);
        Tuner().Replies[600000] = LockedRecord(c.Reported, kStdDvbT, 20.0);

        int32_t result = Scan(1, 600000, 600000);

        EXPECT_EQ(result, c.Duplicate ? 0 : 1);
        bool printed = local.Text().find("dB - time") != std::string::npos;
        EXPECT_EQ(printed, !c.Duplicate);
    }
}

// A dropped record is not in the table, so a later lock at the same
// frequency is still new; an appended one makes later locks duplicates.
TEST_F(StepScanTest, OnlyCountedRecordsMakeDuplicates)
{
    Tuner().Replies[474000] = LockedRecord(478000, kStdDvbT, 5.0);  // dropped
    Tuner().Replies[482000] = LockedRecord(478000, kStdDvbT, 25.0); // appended
    Tuner().Replies[490000] = LockedRecord(478500, kStdDvbT, 30.0); // duplicate

    EXPECT_EQ(Scan(0, 474000, 490000, 8, 0, 10.0, 10.0), 1);
    EXPECT_EQ(table.Records()[0].Snr, 25.0);
    const std::string text = console.Text();
    EXPECT_NE(text.find("474.000 Mhz ... 478.000 Mhz, BW 8 Mhz, DVB-T/Unknown, 5.0 dB"), std::string::npos);
    EXPECT_NE(text.find("482.000 Mhz ... 478.000 Mhz, BW 8 Mhz, DVB-T/Unknown, 25.0 dB"), std::string::npos);
    EXPECT_NE(text.find("490.000 Mhz ... \n"), std::string::npos);
}

struct FloorCase {
    uint32_t Standard; // as the tuner reports it
    double Snr;
    bool Appended;
};

// MinSNR1 = 15, MinSNR2 = 25; the interval asks for DVB-T, but the floor
// follows what the tuner reports. Equality passes; NaN never does. The found
// line is printed in every case.
TEST_F(StepScanTest, SnrFloorFollowsTheReportedStandard)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const FloorCase cases[] = {
        {kStdDvbT, 15.0, true},   {kStdDvbT, 14.9, false},  {kStdDvbT2, 15.0, false},
        {kStdDvbT2, 25.0, true},  {kStdDvbC2, 24.99, false}, {kStdDvbC2, 25.0, true},
        {kStdDvbC, 15.0, true},   {kStdAtsc, 14.0, false},   {kStdIsdbT, 99.0, true},
        {kStdDvbT, nan, false},   {kStdDvbT2, nan, false},   {0, -100.0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "standard " << c.Standard << ", SNR " << c.Snr);
        testsupport::ConsoleCapture local;
        Tuner().Replies[474000] = LockedRecord(474000, c.Standard, c.Snr);

        int32_t result = Scan(0, 474000, 474000, 8, kStdDvbT, 15.0, 25.0);

        EXPECT_EQ(result, c.Appended ? 1 : 0);
        EXPECT_NE(local.Text().find(" dB - time 0.500s\n\n"), std::string::npos);
    }
}

TEST_F(StepScanTest, NanSnrIsPrintedAndDropped)
{
    Tuner().Replies[474000] =
        LockedRecord(474000, kStdDvbT2, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(Scan(0, 474000, 474000), 0) << "even with the lowest floor";
    EXPECT_NE(console.Text().find("474.000 Mhz ... 474.000 Mhz, BW 8 Mhz, DVB-T2/Unknown, nan dB"),
              std::string::npos);
}

// The abort ends the channel loop before the closing block, which still
// follows; the result counts what was appended until then.
TEST_F(StepScanTest, AbortComesBeforeTheClosingBlock)
{
    Tuner().Replies[474000] = LockedRecord(474000, kStdDvbT, 20.0);
    Tuner().Replies[490000] = LockedRecord(490000, kStdDvbT, 20.0);
    Clock().AbortOnTest = 2;
    abortFlag = 0;

    int32_t result = Scan(0, 474000, 498000);

    EXPECT_EQ(result, 1);
    EXPECT_EQ(abortFlag, 1);
    EXPECT_EQ(TunedFrequencies(), (std::vector<uint32_t>{474000, 482000}));
    EXPECT_EQ(console.Text(),
              "From 474.000 to 498.000 Mhz, Step 8 Mhz\n"
              "474.000 Mhz ... 474.000 Mhz, BW 8 Mhz, DVB-T/Unknown, 20.0 dB - time 0.500s\n\n"
              "482.000 Mhz ... \n"
              "Terminated on user request ...\n" +
                  Closing("1.000"));
}

TEST_F(StepScanTest, AbortKeysAreTestedAfterEveryChannelAndTheFlagIsClearedAtEntry)
{
    abortFlag = 7;
    EXPECT_EQ(Scan(0, 474000, 498000), 0);
    EXPECT_EQ(abortFlag, 0);
    EXPECT_EQ(Clock().AbortTests, 4u);
}

struct FailureCase {
    const char* Name;
    uint32_t FailTuneAt;
    uint32_t FailSignalAt;
    uint32_t TunesMade;
};

// A failing library call prints "error !" right after the channel's text and
// ends the engine with -2: no line feed, no closing block, the abort flag
// cleared and left at 0.
TEST_F(StepScanTest, LibraryFailureEndsWithoutClosingBlock)
{
    const FailureCase cases[] = {
        {"first tune", 1, 0, 1},
        {"second tune", 2, 0, 2},
        {"second signal read", 0, 2, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        testsupport::FakeTunerState& t = Tuner();
        t.Tunes.clear();
        t.SignalTargets.clear();
        t.FailSetChannelAt = c.FailTuneAt;
        t.FailSignalInfoAt = c.FailSignalAt;
        t.Replies[474000] = LockedRecord(474000, kStdDvbT, 20.0);
        testsupport::ConsoleCapture local;
        abortFlag = 3;

        EXPECT_EQ(Scan(0, 474000, 498000), -2);

        EXPECT_EQ(abortFlag, 0);
        EXPECT_EQ(t.Tunes.size(), c.TunesMade);
        std::string expected = "From 474.000 to 498.000 Mhz, Step 8 Mhz\n";
        if (c.TunesMade == 2)
            expected += "474.000 Mhz ... 474.000 Mhz, BW 8 Mhz, DVB-T/Unknown, 20.0 dB - time 0.500s\n\n"
                        "482.000 Mhz ... error !";
        else
            expected += "474.000 Mhz ... error !";
        EXPECT_EQ(local.Text(), expected);
    }
}

TEST_F(StepScanTest, NullTableOrFlagIsRefusedSilently)
{
    abortFlag = 9;
    EXPECT_EQ(RunStepScan(nullptr, 0, 474000, 482000, 8, 0, 0.0, 0.0, &abortFlag), -1);
    EXPECT_EQ(abortFlag, 9);
    EXPECT_EQ(RunStepScan(table.Records(), 0, 474000, 482000, 8, 0, 0.0, 0.0, nullptr), -1);
    EXPECT_EQ(console.Text(), "");
    EXPECT_TRUE(Tuner().Tunes.empty());
}

struct GridCase {
    uint32_t Start;
    uint32_t Stop;
    uint32_t Step;
    std::vector<uint32_t> Channels;
};

// The last channel is the last grid point that does not pass stop, also
// right under the top of the 32-bit range, where a wrapped advance would
// restart the sweep near 0.
TEST_F(StepScanTest, ChannelGridEndsAtTheLastChannelNotPastStop)
{
    const GridCase cases[] = {
        {474000, 497999, 8, {474000, 482000, 490000}},
        {474000, 498000, 8, {474000, 482000, 490000, 498000}},
        {474000, 474000, 8, {474000}},
        {113000, 116000, 1, {113000, 114000, 115000, 116000}},
        {4294951295u, 4294967295u, 8, {4294951295u, 4294959295u, 4294967295u}},
        {4294960000u, 4294967295u, 8, {4294960000u}},
        {4294957295u, 4294967295u, 10, {4294957295u, 4294967295u}},
        {0, 15000, 10, {0, 10000}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.Start << " to " << c.Stop << " step " << c.Step);
        Tuner().Tunes.clear();
        testsupport::ConsoleCapture local;
        EXPECT_EQ(Scan(0, c.Start, c.Stop, c.Step), 0);
        EXPECT_EQ(TunedFrequencies(), c.Channels);
        EXPECT_EQ(Tuner().Tunes.front().Bandwidth, c.Step * 1000);
    }
}

TEST_F(StepScanTest, StartAboveStopTunesNothing)
{
    EXPECT_EQ(Scan(0, 498000, 474000), 0);
    EXPECT_TRUE(Tuner().Tunes.empty());
    EXPECT_EQ(console.Text(), "From 498.000 to 474.000 Mhz, Step 8 Mhz\n" + Closing("0.000"));
}

// With two free records left and a lock on every channel, the engine appends
// two, then stops before the next channel, whose free record would lie past
// the table, and still closes as usual.
TEST_F(StepScanTest, StopsBeforeAChannelWhenTheTableIsFull)
{
    table.FillFar(198);
    for (uint32_t f = 474000; f <= 506000; f += 8000)
        Tuner().Replies[f] = LockedRecord(f, kStdDvbT, 20.0);

    int32_t result = Scan(198, 474000, 506000);

    EXPECT_EQ(result, 2);
    EXPECT_EQ(TunedFrequencies(), (std::vector<uint32_t>{474000, 482000}));
    for (const TransponderInfo* target : Tuner().SignalTargets)
        EXPECT_TRUE(table.InTable(target));
    EXPECT_TRUE(table.GuardIntact());
    EXPECT_EQ(table.Table.Count, 0u) << "nothing past the records was written";
    const std::string text = console.Text();
    const std::string tail = "482.000 Mhz ... 482.000 Mhz, BW 8 Mhz, DVB-T/Unknown, 20.0 dB - time 0.500s\n\n"
                             "Transponder table full !\n" +
                             Closing("1.000");
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST_F(StepScanTest, AFullTableAtEntryTunesNothing)
{
    table.FillFar(kTableCapacity);
    EXPECT_EQ(Scan(kTableCapacity, 474000, 506000), 0);
    EXPECT_TRUE(Tuner().Tunes.empty());
    EXPECT_TRUE(Tuner().SignalTargets.empty());
    EXPECT_TRUE(table.GuardIntact());
    EXPECT_EQ(console.Text(), "From 474.000 to 506.000 Mhz, Step 8 Mhz\n"
                              "Transponder table full !\n" +
                                  Closing("0.000"));
}

// The table filling up on the sweep's last channel is said too: the pass
// skips its remaining intervals because of it.
TEST_F(StepScanTest, FillingTheTableOnTheLastChannelSaysSo)
{
    table.FillFar(199);
    Tuner().Replies[474000] = LockedRecord(474000, kStdDvbT, 20.0);
    EXPECT_EQ(Scan(199, 474000, 474000), 1);
    const std::string tail = "474.000 Mhz ... 474.000 Mhz, BW 8 Mhz, DVB-T/Unknown, 20.0 dB - time 0.500s\n\n"
                             "Transponder table full !\n" +
                             Closing("0.500");
    const std::string text = console.Text();
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_TRUE(table.GuardIntact());
}

} // namespace
