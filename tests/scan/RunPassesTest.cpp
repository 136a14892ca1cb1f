// The pass loop in process: configuration files in a temporary directory,
// the scripted tuner, the fake clock and a recording output stage.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/RunPasses.h"
#include "driver/ScanSettings.h"
#include "scan/ScanTestHelpers.h"
#include "support/FakeServices.h"
#include "support/FakeTuner.h"
#include "support/TestSupport.h"

using namespace tressel;
using scantest::Closing;
using testsupport::LockedRecord;

namespace {

constexpr uint32_t kModQam64 = 20;

struct OutputCall {
    uint32_t Count;
    uint32_t Pass;
    double Time;
    const ScanSettings* Settings;
    std::vector<TransponderInfo> Table; // all 200 records as handed over
};

std::vector<OutputCall>* gOutputs = nullptr;
void (*gAfterOutput)(const OutputCall&) = nullptr;

void RecordOutput(TransponderInfo* table, uint32_t count, uint32_t pass, double time,
                  const ScanSettings* settings)
{
    OutputCall call{count, pass, time, settings, std::vector<TransponderInfo>(table, table + kTableCapacity)};
    gOutputs->push_back(call);
    if (gAfterOutput != nullptr)
        gAfterOutput(call);
}

class RunPassesTest : public ::testing::Test {
protected:
    testsupport::FakeServices services;
    testsupport::FakeTuner tuner;
    testsupport::ConsoleCapture console;
    testsupport::TempDir dir;
    std::string config = dir.File("Tressel.ini");
    ScanSettings settings = {};
    std::vector<OutputCall> outputs;

    void SetUp() override
    {
        gOutputs = &outputs;
        gAfterOutput = nullptr;
        settings.FastScan = 0;
        settings.LocPos = 4000;
        Tuner().Caps = kCapTressel;
    }
    void TearDown() override { gOutputs = nullptr; }

    testsupport::FakeTunerState& Tuner() { return tuner.State(); }
    testsupport::FakeServicesState& Clock() { return services.State(); }

    void Config(const std::string& text) { testsupport::WriteFile(config, text); }
    void Run() { RunPassesWithOutput(&settings, config.c_str(), RecordOutput); }

    std::vector<uint32_t> Tuned()
    {
        std::vector<uint32_t> tuned;
        for (const auto& call : Tuner().Tunes)
            tuned.push_back(call.Frequency);
        return tuned;
    }
};

TEST_F(RunPassesTest, NoScanSectionsGivesAnEmptyPass)
{
    Config("[Options]\nFastScan=0\n");
    Run();
    EXPECT_EQ(console.Text(), "Scan interval 0\n"
                              "Total Scan Time = 0.000s\n"
                              "Transponders not found !\n"
                              "\n\n");
    EXPECT_TRUE(outputs.empty());
    EXPECT_EQ(Tuner().GetCapsCalls, 0u);
}

TEST_F(RunPassesTest, MissingConfigurationFileMeansNoIntervals)
{
    config = dir.File("absent.ini");
    Run();
    EXPECT_EQ(console.Text(), "Scan interval 0\nTotal Scan Time = 0.000s\nTransponders not found !\n\n\n");
}

// Two valid intervals and the index that ends the list: each interval's
// engine lines, then the pass time over both sweeps and the output stage,
// which receives the records in the order the engines appended them.
TEST_F(RunPassesTest, WalksTheIntervalsThenHandsThePassToTheOutputStage)
{
    Config("[Scan0]\nStart=474000\nStop=482000\nStep=8\nStd=1\n"
           "[Scan1]\nStart=306000\nStop=314000\nStep=8\nStd=3\n");
    Tuner().Replies[482000] = LockedRecord(482000, kStdDvbT, 30.0, 8000, 0, kModQam64);
    Tuner().Replies[314000] = LockedRecord(314000, kStdDvbC, 35.0, 8000, 6900000, kModQam64);

    Run();

    EXPECT_EQ(console.Text(),
              "Scan interval 0\n"
              "From 474.000 to 482.000 Mhz, Step 8 Mhz\n"
              "474.000 Mhz ... \n"
              "482.000 Mhz ... 482.000 Mhz, BW 8 Mhz, DVB-T/64QAM, 30.0 dB - time 0.500s\n\n" +
                  Closing("1.000") +
                  "Scan interval 1\n"
                  "From 306.000 to 314.000 Mhz, Step 8 Mhz\n"
                  "306.000 Mhz ... \n"
                  "314.000 Mhz ... 314.000 Mhz, 6900 KS, DVB-C/64QAM, 35.0 dB - time 0.500s\n\n" +
                  Closing("1.000") +
                  "Scan interval 2\n"
                  "Total Scan Time = 2.000s\n"
                  "\n\n");
    ASSERT_EQ(outputs.size(), 1u);
    EXPECT_EQ(outputs[0].Count, 2u);
    EXPECT_EQ(outputs[0].Pass, 1u);
    EXPECT_DOUBLE_EQ(outputs[0].Time, 2.0);
    EXPECT_EQ(outputs[0].Settings, &settings);
    EXPECT_EQ(outputs[0].Table[0].Frequency, 482000u);
    EXPECT_EQ(outputs[0].Table[1].Frequency, 314000u);
    EXPECT_EQ(Tuner().GetCapsCalls, 2u) << "once per interval";
    EXPECT_EQ(Tuner().Tunes[0].Standard, kStdDvbT);
    EXPECT_EQ(Tuner().Tunes[2].Standard, kStdDvbC);
}

TEST_F(RunPassesTest, APassThatFindsNothingSaysSo)
{
    Config("[Scan0]\nStart=474000\nStop=482000\n");
    Run();
    const std::string text = console.Text();
    EXPECT_NE(text.find("Scan interval 1\nTotal Scan Time = 1.000s\nTransponders not found !\n\n\n"),
              std::string::npos)
        << text;
    EXPECT_TRUE(outputs.empty());
}

struct InvalidCase {
    const char* Section; // Scan1's keys
    const char* Message; // empty: valid
};

// Scan0 finds a transponder, Scan1 is invalid, Scan2 is never read: the
// message follows Scan1's announcement and the pass goes on to its summary
// with Scan0's record.
TEST_F(RunPassesTest, AnInvalidIntervalEndsTheIntervalLoop)
{
    const InvalidCase cases[] = {
        {"Start=306000\n", "Invalid scan params: StartFreq >= StopFreq !\n"},
        {"Start=306000\nStop=306000\n", "Invalid scan params: StartFreq >= StopFreq !\n"},
        {"Start=314000\nStop=306000\n", "Invalid scan params: StartFreq >= StopFreq !\n"},
        {"Start=-1\nStop=306000\n", "Invalid scan params: StartFreq >= StopFreq !\n"},
        {"Start=306000\nStop=314000\nStep=11\n", "Invalid scan params: Step > 10 Mhz !\n"},
        {"Start=306000\nStop=314000\nStep=-1\n", "Invalid scan params: Step > 10 Mhz !\n"},
        {"Start=306000\nStop=314000\nStep=0\n", "Invalid scan params: Step = 0 Mhz !\n"},
        {"Stop=8000\nStep=10\n", ""}, // Start 0 with a Stop is an interval
        {"Start=306000\nStop=314000\nStep=10\n", ""},
        {"Start=306000\nStop=314000\nStep=1\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Section);
        Config(std::string("[Scan0]\nStart=474000\nStop=474001\n") + "[Scan1]\n" + c.Section +
               "[Scan2]\nStart=600000\nStop=608000\n");
        Tuner().Replies[474000] = LockedRecord(474000, kStdDvbT, 30.0);
        Tuner().Tunes.clear();
        outputs.clear();
        testsupport::ConsoleCapture local;

        Run();

        const std::string text = local.Text();
        ASSERT_EQ(outputs.size(), 1u);
        EXPECT_EQ(outputs[0].Count, 1u);
        bool reachedScan2 = text.find("Scan interval 2\n") != std::string::npos;
        if (*c.Message != '\0') {
            EXPECT_NE(text.find(std::string("Scan interval 1\n") + c.Message + "Total Scan Time = 0.500s\n"),
                      std::string::npos)
                << text;
            EXPECT_FALSE(reachedScan2);
            EXPECT_EQ(Tuner().Tunes.size(), 1u);
        } else {
            EXPECT_TRUE(reachedScan2);
            EXPECT_EQ(text.find("Invalid"), std::string::npos);
        }
    }
}

struct StdCase {
    const char* Line; // the Std line of the section, or empty
    uint32_t Code;
};

// The standard selector of a section becomes the code the library is given,
// by both engines.
TEST_F(RunPassesTest, StdSelectorMapsToTheLibrarysStandardCode)
{
    const StdCase cases[] = {
        {"", 0},          {"Std=0\n", 0},  {"Std=1\n", 6},         {"Std=2\n", 7},
        {"Std=3\n", 8},   {"Std=4\n", 9},  {"Std=5\n", 10},        {"Std=6\n", 11},
        {"Std=7\n", 12},  {"Std=9\n", 14}, {"Std=-1\n", 4},        {"Std=-5\n", 0},
        {"Std=2147483647\n", 2147483652u},
    };
    for (int fast = 0; fast <= 1; ++fast) {
        for (const auto& c : cases) {
            SCOPED_TRACE(::testing::Message() << (fast ? "fast " : "stepped ") << c.Line);
            Config(std::string("[Scan0]\nStart=474000\nStop=474001\n") + c.Line);
            settings.FastScan = fast;
            Tuner().Caps = kCapTressel | kCapFastScan;
            Tuner().Tunes.clear();
            Tuner().Sweeps.clear();
            testsupport::ConsoleCapture local;

            Run();

            if (fast) {
                ASSERT_EQ(Tuner().Sweeps.size(), 1u);
                EXPECT_EQ(Tuner().Sweeps[0].Standard, c.Code);
            } else {
                ASSERT_EQ(Tuner().Tunes.size(), 1u);
                EXPECT_EQ(Tuner().Tunes[0].Standard, c.Code);
            }
        }
    }
}

struct ChoiceCase {
    uint32_t Caps;
    int32_t FastScan;
    bool Sweep;
};

// The fast scan runs only when the device has the capability now and the
// option asks for it; GetCaps is asked for every interval.
TEST_F(RunPassesTest, EngineChoiceFollowsCapsAndOption)
{
    const ChoiceCase cases[] = {
        {kCapTressel | kCapFastScan, 1, true},
        {kCapTressel | kCapFastScan, 0, false},
        {kCapTressel, 1, false},
        {kCapFastScan, 7, true},
    };
    Config("[Scan0]\nStart=474000\nStop=482000\nStep=8\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "caps " << c.Caps << " FastScan " << c.FastScan);
        Tuner().Caps = c.Caps;
        settings.FastScan = c.FastScan;
        Tuner().Tunes.clear();
        Tuner().Sweeps.clear();
        testsupport::ConsoleCapture local;

        Run();

        EXPECT_EQ(Tuner().Sweeps.size(), c.Sweep ? 1u : 0u);
        EXPECT_EQ(Tuner().Tunes.size(), c.Sweep ? 0u : 2u);
        if (c.Sweep) {
            EXPECT_EQ(Tuner().Sweeps[0].Start, 474000u);
            EXPECT_EQ(Tuner().Sweeps[0].Stop, 482000u);
            EXPECT_EQ(Tuner().Sweeps[0].Step, 8000u);
        }
    }
}

// The floors are read from the file for every interval: an edit made while
// Scan0 runs applies to Scan1.
TEST_F(RunPassesTest, SnrFloorsAreReadAnewForEachInterval)
{
    const std::string sections = "[Scan0]\nStart=474000\nStop=474001\n"
                                 "[Scan1]\nStart=482000\nStop=482001\n"
                                 "[Scan2]\nStart=490000\nStop=490001\n";
    Config("[Options]\nMinSNR1=20\nMinSNR2=31\n" + sections);
    Tuner().Replies[474000] = LockedRecord(474000, kStdDvbT2, 30.0); // below MinSNR2
    Tuner().Replies[482000] = LockedRecord(482000, kStdDvbT, 30.0);  // kept, then the floor rises
    Tuner().Replies[490000] = LockedRecord(490000, kStdDvbT, 30.0);  // below the new MinSNR1
    std::string path = config;
    Tuner().OnTune = [&](const testsupport::TuneCall& call) {
        if (call.Frequency == 482000)
            testsupport::WriteFile(path, "[Options]\nMinSNR1=40\n" + sections);
    };

    Run();

    ASSERT_EQ(outputs.size(), 1u);
    ASSERT_EQ(outputs[0].Count, 1u);
    EXPECT_EQ(outputs[0].Table[0].Frequency, 482000u);
}

TEST_F(RunPassesTest, DefaultFloorsKeepEverythingAboveMinus100)
{
    Config("[Scan0]\nStart=474000\nStop=482000\n");
    Tuner().Replies[474000] = LockedRecord(474000, kStdDvbT, -100.0);
    Tuner().Replies[482000] = LockedRecord(482000, kStdDvbT2, -100.5);
    Run();
    ASSERT_EQ(outputs.size(), 1u);
    EXPECT_EQ(outputs[0].Count, 1u);
}

// A failing engine ends the run at once: no pass time, no output stage, no
// further pass even when passes repeat.
TEST_F(RunPassesTest, AFailingEngineEndsTheRunAtOnce)
{
    for (int fast = 0; fast <= 1; ++fast) {
        SCOPED_TRACE(fast ? "fast scan" : "stepped scan");
        Config("[Scan0]\nStart=474000\nStop=474001\n"
               "[Scan1]\nStart=482000\nStop=482001\n"
               "[Scan2]\nStart=490000\nStop=490001\n");
        settings.Loop = 1;
        settings.FastScan = fast;
        Tuner().Caps = kCapTressel | kCapFastScan;
        Tuner().Replies[474000] = LockedRecord(474000, kStdDvbT, 30.0);
        Tuner().SweepFinds = {LockedRecord(474000, kStdDvbT, 30.0)};
        Tuner().Tunes.clear();
        Tuner().Sweeps.clear();
        Tuner().FailSetChannelAt = fast ? 0 : 2;
        Tuner().FailSweepAt = fast ? 2 : 0;
        outputs.clear();
        testsupport::ConsoleCapture local;

        Run();

        const std::string text = local.Text();
        const std::string tail = "Scan interval 1\nFrom 482.000 to 482.001 Mhz, Step 8 Mhz\n" +
                                 std::string(fast ? "" : "482.000 Mhz ... ") + "error !";
        ASSERT_GE(text.size(), tail.size());
        EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
        EXPECT_EQ(text.find("Total Scan Time"), std::string::npos);
        EXPECT_TRUE(outputs.empty());
        EXPECT_EQ(text.find("Pass 2"), std::string::npos);
    }
}

// The user's abort in the first of three intervals: the others are skipped,
// the pass's records still reach the output stage, and passes stop even
// though they repeat.
TEST_F(RunPassesTest, AbortSkipsTheRestOfThePassAndEndsTheRun)
{
    Config("[Scan0]\nStart=474000\nStop=490000\n"
           "[Scan1]\nStart=498000\nStop=506000\n"
           "[Scan2]\nStart=514000\nStop=522000\n");
    settings.Loop = 2;
    Tuner().Replies[474000] = LockedRecord(474000, kStdDvbT, 30.0);
    Clock().AbortOnTest = 2;

    Run();

    const std::string text = console.Text();
    EXPECT_EQ(text.rfind("---------- Pass 1 ----------\nScan interval 0\n", 0), 0u) << text;
    EXPECT_NE(text.find("Terminated on user request ...\n" + Closing("1.000") +
                        "Total Scan Time = 1.000s\n\n\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("Scan interval 1"), std::string::npos);
    EXPECT_EQ(text.find("Pass 2"), std::string::npos);
    EXPECT_EQ(Tuned(), (std::vector<uint32_t>{474000, 482000}));
    ASSERT_EQ(outputs.size(), 1u);
    EXPECT_EQ(outputs[0].Count, 1u);
}

// Repeating passes: each has its header and number, starts from a cleared
// table, and the run ends after the pass in which the user aborted.
TEST_F(RunPassesTest, PassesRepeatWithClearedTablesUntilTheUserAborts)
{
    Config("[Scan0]\nStart=474000\nStop=786000\n");
    settings.FastScan = 1;
    settings.Loop = 1;
    Tuner().Caps = kCapTressel | kCapFastScan;
    Tuner().SweepMs = 1500;
    Tuner().SweepFinds = {LockedRecord(474000, kStdDvbT, 30.0), LockedRecord(482000, kStdDvbT, 30.0),
                          LockedRecord(490000, kStdDvbT, 30.0)};
    static testsupport::FakeTunerState* state;
    state = &Tuner();
    gAfterOutput = [](const OutputCall& call) {
        if (call.Pass == 1)
            state->SweepFinds.resize(1);
    };
    Clock().AbortOnTest = 3;

    Run();

    ASSERT_EQ(outputs.size(), 3u);
    for (uint32_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(outputs[i].Pass, i + 1);
        EXPECT_DOUBLE_EQ(outputs[i].Time, 1.5);
    }
    EXPECT_EQ(outputs[0].Count, 3u);
    EXPECT_EQ(outputs[1].Count, 1u);
    EXPECT_EQ(outputs[1].Table[1].Frequency, 0u) << "the table was cleared for the pass";
    EXPECT_EQ(Tuner().Sweeps[1].CountOnEntry, 0u);
    const std::string text = console.Text();
    const std::string pass2 = "Total Scan Time = 1.500s\n\n\n---------- Pass 2 ----------\nScan interval 0\n";
    EXPECT_NE(text.find(pass2), std::string::npos) << text;
    EXPECT_NE(text.find("---------- Pass 3 ----------\n"), std::string::npos);
    EXPECT_EQ(text.find("Pass 4"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 3), "\n\n\n");
}

// With repeating passes, a pass that ran no engine never read the abort
// keys; rather than repeat it without end, the run ends after its summary.
TEST_F(RunPassesTest, ARepeatingRunEndsAfterAPassThatRanNoEngine)
{
    const InvalidCase cases[] = {
        {"", ""},
        {"[Scan0]\nStart=482000\nStop=474000\n", "Invalid scan params: StartFreq >= StopFreq !\n"},
        {"[Scan0]\nStart=474000\nStop=482000\nStep=0\n", "Invalid scan params: Step = 0 Mhz !\n"},
    };
    settings.Loop = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Section);
        Config(c.Section);
        testsupport::ConsoleCapture local;
        Run();
        EXPECT_EQ(local.Text(), std::string("---------- Pass 1 ----------\nScan interval 0\n") +
                                    c.Message + "Total Scan Time = 0.000s\nTransponders not found !\n\n\n");
    }
    EXPECT_TRUE(Tuner().Tunes.empty());
}

// Once the table is full the pass ends its interval loop and hands the 200
// records on; later intervals are not even announced.
TEST_F(RunPassesTest, AFullTableEndsTheIntervalLoop)
{
    for (int fast = 0; fast <= 1; ++fast) {
        SCOPED_TRACE(fast ? "fast scan" : "stepped scan");
        Config("[Scan0]\nStart=100000\nStop=350000\nStep=1\n"
               "[Scan1]\nStart=474000\nStop=482000\n");
        settings.FastScan = fast;
        Tuner().Caps = kCapTressel | kCapFastScan;
        Tuner().Tunes.clear();
        Tuner().Replies.clear();
        Tuner().SweepFinds.clear();
        for (uint32_t f = 100000; f <= 350000; f += 1000) {
            Tuner().Replies[f] = LockedRecord(f, kStdDvbT, 30.0);
            Tuner().SweepFinds.push_back(LockedRecord(f, kStdDvbT, 30.0));
        }
        outputs.clear();
        testsupport::ConsoleCapture local;

        Run();

        const std::string text = local.Text();
        EXPECT_NE(text.find("Transponder table full !\n"), std::string::npos);
        EXPECT_EQ(text.find("Scan interval 1"), std::string::npos);
        EXPECT_NE(text.find("Total Scan Time"), std::string::npos);
        ASSERT_EQ(outputs.size(), 1u);
        EXPECT_EQ(outputs[0].Count, kTableCapacity);
        EXPECT_EQ(outputs[0].Table[199].Frequency, 299000u);
        if (!fast) {
            EXPECT_EQ(Tuner().Tunes.size(), kTableCapacity);
        }
    }
}

// The pass time runs from the cleared table to the end of the last interval,
// by unsigned clock differences.
TEST_F(RunPassesTest, TheOutputStageSeesThePassTimeFromTheClock)
{
    Config("[Scan0]\nStart=474000\nStop=474001\n");
    Clock().NowMs = 0xFFFFFE00u; // wraps during the pass
    Tuner().TuneMs = 250;
    Tuner().Replies[474000] = LockedRecord(474000, kStdDvbT, 30.0);
    Run();
    ASSERT_EQ(outputs.size(), 1u);
    EXPECT_DOUBLE_EQ(outputs[0].Time, 0.75);
    EXPECT_NE(console.Text().find("Total Scan Time = 0.750s\n"), std::string::npos);
}

} // namespace
