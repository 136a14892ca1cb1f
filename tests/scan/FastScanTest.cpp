// The fast scan against the scripted library sweep: the call it makes, the
// console text byte for byte, the abort after the closing block, failures
// and the table's capacity.
#include <gtest/gtest.h>

#include <cstring>
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

constexpr uint32_t kModQam64 = 20;
constexpr uint32_t kModQam256 = 22;

class FastScanTest : public scantest::EngineTest {
protected:
    int32_t Scan(uint32_t count, uint32_t start = 474000, uint32_t stop = 786000,
                 uint32_t step = 8, uint32_t standard = 0)
    {
        return RunFastScan(table.Records(), count, start, stop, step, standard, &abortFlag);
    }

    // n finds at distinct frequencies from 474 MHz.
    void Finds(uint32_t n)
    {
        for (uint32_t i = 0; i < n; ++i)
            Tuner().SweepFinds.push_back(LockedRecord(474000 + 1000 * i, kStdDvbT, 20.0));
    }
};

// The library is handed the interval, the step in kHz, 8000, the code, the
// first free record and a count word holding the records in use; every find
// is printed as the library reports it, with no SNR floor and no duplicate
// test, and the scan time covers the whole sweep.
TEST_F(FastScanTest, HandsTheIntervalToTheLibraryAndPrintsEachFind)
{
    table.FillFar(2);
    Tuner().SweepMs = 2500;
    Tuner().SweepFinds = {
        LockedRecord(474166, kStdDvbT2, 28.46, 8000, 0, kModQam256),
        LockedRecord(474500, kStdDvbT2, -3.0, 8000, 0, kModQam256), // near and weak: kept
        LockedRecord(306000, kStdDvbC, 33.0, 8000, 6900000, kModQam64),
        LockedRecord(330000, kStdDvbC2, 31.5, 8000, 6875999, 24),
        LockedRecord(4294967295u, 12, 7.0, 6000, 0, 99),
    };

    int32_t result = Scan(2, 113000, 786000, 7, kStdDvbT2);

    EXPECT_EQ(result, 5);
    ASSERT_EQ(Tuner().Sweeps.size(), 1u);
    const testsupport::SweepCall& call = Tuner().Sweeps[0];
    EXPECT_EQ(call.Start, 113000u);
    EXPECT_EQ(call.Stop, 786000u);
    EXPECT_EQ(call.Step, 7000u);
    EXPECT_EQ(call.Bandwidth, 8000u);
    EXPECT_EQ(call.Standard, kStdDvbT2);
    EXPECT_EQ(call.First, &table.Records()[2]);
    EXPECT_EQ(call.CountOnEntry, 2u);
    EXPECT_EQ(call.OnResult, &OnFastScanResult);
    EXPECT_TRUE(Tuner().Tunes.empty());

    const std::vector<std::string> lines = {
        "474.166 Mhz, BW 8 Mhz, DVB-T2/256QAM, 28.5 dB\n",
        "474.500 Mhz, BW 8 Mhz, DVB-T2/256QAM, -3.0 dB\n",
        "306.000 Mhz, 6900 KS, DVB-C/64QAM, 33.0 dB\n",
        "330.000 Mhz, 6875 KS, DVB-C2/1024QAM, 31.5 dB\n",
        "4294967.295 Mhz, BW 6 Mhz, ISDB-T/Unknown, 7.0 dB\n",
    };
    std::string expected = "From 113.000 to 786.000 Mhz, Step 7 Mhz\n";
    for (size_t i = 0; i < lines.size(); ++i) {
        expected += lines[i];
        // The callback returns what it printed.
        ASSERT_LT(i, Tuner().CallbackResults.size());
        EXPECT_EQ(Tuner().CallbackResults[i], static_cast<int>(lines[i].size()));
    }
    expected += Closing("2.500");
    EXPECT_EQ(console.Text(), expected);
    EXPECT_EQ(table.Records()[6].Frequency, 4294967295u);
    EXPECT_EQ(abortFlag, 0);
}

TEST_F(FastScanTest, ResultCallbackLeavesTheRecordAlone)
{
    TransponderInfo record = LockedRecord(482000, kStdDvbT, 12.34, 8000, 0, kModQam64);
    record.Reserved2[3] = 0xA5;
    const TransponderInfo before = record;
    EXPECT_EQ(OnFastScanResult(&record), 44);
    EXPECT_EQ(memcmp(&record, &before, sizeof record), 0);
    EXPECT_EQ(console.Text(), "482.000 Mhz, BW 8 Mhz, DVB-T/64QAM, 12.3 dB\n");
    EXPECT_EQ(OnFastScanResult(nullptr), 0);
}

// The keys are read once, after the closing block; the abort line follows
// that block here, and the result still counts every stored record.
TEST_F(FastScanTest, AbortIsTestedOnceAfterTheClosingBlock)
{
    Finds(2);
    std::string textAtTest;
    Clock().OnAbortTest = [&] { textAtTest = console.Text(); };
    Clock().AbortOnTest = 1;

    int32_t result = Scan(0);

    EXPECT_EQ(result, 2);
    EXPECT_EQ(abortFlag, 1);
    EXPECT_EQ(Clock().AbortTests, 1u);
    const std::string closing = Closing("0.000");
    ASSERT_GE(textAtTest.size(), closing.size());
    EXPECT_EQ(textAtTest.substr(textAtTest.size() - closing.size()), closing);
    EXPECT_EQ(console.Text(), textAtTest + "Terminated on user request ...\n");
}

TEST_F(FastScanTest, NoAbortLeavesTheFlagCleared)
{
    abortFlag = 4;
    EXPECT_EQ(Scan(0), 0);
    EXPECT_EQ(abortFlag, 0);
    EXPECT_EQ(console.Text(), "From 474.000 to 786.000 Mhz, Step 8 Mhz\n" + Closing("0.000"));
}

// A failed sweep prints "error !" with no line feed and no closing block,
// reads no keys and returns -2 with the flag cleared.
TEST_F(FastScanTest, FailedSweepEndsWithoutClosingBlock)
{
    Finds(3);
    Tuner().FailSweepAt = 1;
    abortFlag = 6;
    Clock().AbortOnTest = 1;

    EXPECT_EQ(Scan(0), -2);
    EXPECT_EQ(abortFlag, 0);
    EXPECT_EQ(Clock().AbortTests, 0u);
    EXPECT_EQ(console.Text(), "From 474.000 to 786.000 Mhz, Step 8 Mhz\nerror !");
}

TEST_F(FastScanTest, NullTableOrFlagIsRefusedSilently)
{
    abortFlag = 9;
    EXPECT_EQ(RunFastScan(nullptr, 0, 474000, 786000, 8, 0, &abortFlag), -1);
    EXPECT_EQ(abortFlag, 9);
    EXPECT_EQ(RunFastScan(table.Records(), 0, 474000, 786000, 8, 0, nullptr), -1);
    EXPECT_TRUE(Tuner().Sweeps.empty());
    EXPECT_EQ(console.Text(), "");
}

struct CapacityCase {
    const char* Name;
    uint32_t Count;      // records in use on entry
    uint32_t Finds;      // transponders the library finds
    bool Misreport;      // the library writes CountWord instead of what it stored
    uint32_t CountWord;
    int32_t Result;
    bool Full;           // "Transponder table full !" after the closing block
};

// However many records the library claims, the result never reaches past
// the room that was left, and a full table is said after the closing block.
TEST_F(FastScanTest, ResultNeverExceedsTheRoomLeft)
{
    const CapacityCase cases[] = {
        {"room to spare", 10, 3, false, 0, 3, false},
        {"exactly full", 195, 5, false, 0, 5, true},
        {"more finds than room", 195, 12, false, 0, 5, true},
        {"count word above the room", 10, 3, true, 500, 190, true},
        {"count word of all ones", 10, 3, true, 0xFFFFFFFFu, 190, true},
        {"count word within the room is trusted", 10, 3, true, 2, 2, false},
        {"count word of 200 from an empty table", 0, 200, true, 200, 200, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        GuardedTable local;
        local.FillFar(c.Count);
        testsupport::FakeTunerState& t = Tuner();
        t.Sweeps.clear();
        t.SweepFinds.clear();
        Finds(c.Finds);
        t.CountWordOverride.reset();
        if (c.Misreport)
            t.CountWordOverride = c.CountWord;
        testsupport::ConsoleCapture text;

        int32_t result = RunFastScan(local.Records(), c.Count, 474000, 786000, 8, 0, &abortFlag);

        EXPECT_EQ(result, c.Result);
        EXPECT_TRUE(local.GuardIntact());
        const std::string closingThenFull = Closing("0.000") + "Transponder table full !\n";
        const std::string out = text.Text();
        bool full = out.size() >= closingThenFull.size() &&
                    out.substr(out.size() - closingThenFull.size()) == closingThenFull;
        EXPECT_EQ(full, c.Full);
    }
}

// With no free record the sweep is not started, since even its first store
// would lie past the table; the engine still closes, says the table is full
// and reads the keys.
TEST_F(FastScanTest, AFullTableAtEntryStartsNoSweep)
{
    table.FillFar(kTableCapacity);
    Finds(1);
    Clock().AbortOnTest = 1;

    EXPECT_EQ(Scan(kTableCapacity), 0);

    EXPECT_TRUE(Tuner().Sweeps.empty());
    EXPECT_TRUE(table.GuardIntact());
    EXPECT_EQ(abortFlag, 1);
    EXPECT_EQ(console.Text(), "From 474.000 to 786.000 Mhz, Step 8 Mhz\n" + Closing("0.000") +
                                  "Transponder table full !\n"
                                  "Terminated on user request ...\n");
}

} // namespace
