// Real runs of the built program against the virtual tuner: a stepped scan,
// a fast scan, and a stop by SIGINT or SIGTERM in the middle of a scan. The
// settle time and any tuner timing are real here, so times are masked.
#include <gtest/gtest.h>

#include <signal.h>

#include <regex>
#include <string>

#include "support/TestSupport.h"

namespace {

// Two DVB-T multiplexes, one DVB-T2 below a floor of 20 dB and one DVB-C
// transponder.
const char* const kBandTransponders = "[Transponder0]\nFrequency=482000\nBandwidth=8000\nStandard=6\n"
                                      "Modulation=20\nSnr=25.5\n"
                                      "[Transponder1]\nFrequency=490166\nBandwidth=8000\nStandard=7\n"
                                      "Modulation=22\nSnr=18.0\n"
                                      "[Transponder2]\nFrequency=306000\nBandwidth=8000\nSymbolRate=6900000\n"
                                      "Standard=8\nModulation=20\nSnr=33.0\n"
                                      "[Transponder3]\nFrequency=498000\nBandwidth=8000\nStandard=6\n"
                                      "Modulation=20\nSnr=30.0\n";

// The run's standard output with every measured time replaced by "T".
std::string MaskTimes(const std::string& out)
{
    static const std::regex time("(time |Scan Time = )[0-9]+\\.[0-9]{3}s");
    return std::regex_replace(out, time, "$1Ts");
}

std::string Rule()
{
    return std::string(80, '-') + "\n";
}

class ScanEndToEnd : public ::testing::Test {
protected:
    testsupport::TempDir dir;

    testsupport::RunResult RunTressel(const std::string& band, const std::string& config, int signal = 0,
                                      const std::string& signalWhen = "")
    {
        testsupport::WriteFile(dir.File("band.ini"), band);
        testsupport::WriteFile(dir.File("scan.ini"), config);
        testsupport::RunOptions options;
        options.Args = {"scan.ini"};
        options.WorkDir = dir.Path();
        options.Env = {{"TRESSEL_VIRTUAL_BAND", dir.File("band.ini")}};
        options.SignalToSend = signal;
        options.SignalWhenOutputHas = signalWhen;
        return testsupport::Run(options);
    }
};

TEST_F(ScanEndToEnd, SteppedScanOfTwoIntervals)
{
    auto result = RunTressel(std::string("[Devices]\nCaps0=16384\n") + kBandTransponders,
                             "[Options]\nDevice=0\nFastScan=0\nMinSNR2=20\n"
                             "[Scan0]\nStart=474000\nStop=490000\nStep=8\nStd=0\n"
                             "[Scan1]\nStart=306000\nStop=306001\nStep=8\nStd=3\n");

    ASSERT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_EQ(MaskTimes(result.Out),
              "Tressel ver." TRESSEL_VERSION_TEXT "\n"
              "Config name: ./scan.ini\n"
              "Scan interval 0\n"
              "From 474.000 to 490.000 Mhz, Step 8 Mhz\n"
              "474.000 Mhz ... \n"
              "482.000 Mhz ... 482.000 Mhz, BW 8 Mhz, DVB-T/64QAM, 25.5 dB - time Ts\n\n"
              "490.000 Mhz ... 490.166 Mhz, BW 8 Mhz, DVB-T2/256QAM, 18.0 dB - time Ts\n\n" +
                  Rule() + "Scan Time = Ts\n" + Rule() +
                  "Scan interval 1\n"
                  "From 306.000 to 306.001 Mhz, Step 8 Mhz\n"
                  "306.000 Mhz ... 306.000 Mhz, 6900 KS, DVB-C/64QAM, 33.0 dB - time Ts\n\n" +
                  Rule() + "Scan Time = Ts\n" + Rule() +
                  "Scan interval 2\n"
                  "Total Scan Time = Ts\n"
                  "Total tranponders found = 2\n"
                  "Report detailed transponder info to 4000.txt ...\n"
                  "Store transponder info in 4000.ini ...\n"
                  "\n\n");
    // Four channels, each settling 500 ms.
    static const std::regex total("Total Scan Time = ([0-9]+\\.[0-9]{3})s");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(result.Out, m, total));
    EXPECT_GE(std::stod(m[1]), 2.0);
    EXPECT_TRUE(testsupport::FileExists(dir.File("4000.txt")));
    EXPECT_TRUE(testsupport::FileExists(dir.File("4000.ini")));
}

TEST_F(ScanEndToEnd, FastScanPrintsWhatTheLibraryFinds)
{
    auto result = RunTressel(kBandTransponders, "[Options]\nDevice=0\nFastScan=1\nMinSNR2=20\n"
                                                "[Scan0]\nStart=474000\nStop=786000\nStep=8\nStd=0\n");

    ASSERT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_EQ(MaskTimes(result.Out),
              "Tressel ver." TRESSEL_VERSION_TEXT "\n"
              "Config name: ./scan.ini\n"
              "Scan interval 0\n"
              "From 474.000 to 786.000 Mhz, Step 8 Mhz\n"
              "482.000 Mhz, BW 8 Mhz, DVB-T/64QAM, 25.5 dB\n"
              "490.166 Mhz, BW 8 Mhz, DVB-T2/256QAM, 18.0 dB\n"
              "498.000 Mhz, BW 8 Mhz, DVB-T/64QAM, 30.0 dB\n" +
                  Rule() + "Scan Time = Ts\n" + Rule() +
                  "Scan interval 1\n"
                  "Total Scan Time = Ts\n"
                  "Total tranponders found = 3\n"
                  "Report detailed transponder info to 4000.txt ...\n"
                  "Store transponder info in 4000.ini ...\n"
                  "\n\n");
}

// A signal during a slow stepped scan stops it at the next abort test: the
// channel under way finishes, the closing block and the pass summary follow,
// the files are written, later intervals and passes are skipped, and the
// exit code is 0.
TEST_F(ScanEndToEnd, SignalStopsASteppedScanGracefully)
{
    for (int signo : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signo == SIGINT ? "SIGINT" : "SIGTERM");
        // 40 channels of 700 ms each: half a minute unless the signal stops it.
        auto result = RunTressel(std::string("[Devices]\nCaps0=16384\n[Timing]\nTuneMs=200\n") + kBandTransponders,
                                 "[Options]\nDevice=0\nFastScan=0\nLoop=1\n"
                                 "[Scan0]\nStart=474000\nStop=786000\nStep=8\n"
                                 "[Scan1]\nStart=306000\nStop=314000\nStep=8\n",
                                 signo, "490.000 Mhz ... ");

        EXPECT_EQ(result.Signal, 0);
        ASSERT_EQ(result.ExitCode, 0) << result.Err;
        const std::string out = MaskTimes(result.Out);
        const std::string stop = "490.000 Mhz ... 490.166 Mhz, BW 8 Mhz, DVB-T2/256QAM, 18.0 dB - time Ts\n\n"
                                 "Terminated on user request ...\n" +
                                 Rule() + "Scan Time = Ts\n" + Rule() + "Total Scan Time = Ts\n" +
                                 "Total tranponders found = 2\n"
                                 "Report detailed transponder info to 4000_1.txt ...\n"
                                 "Store transponder info in 4000_1.ini ...\n"
                                 "\n\n";
        ASSERT_GE(out.size(), stop.size()) << out;
        EXPECT_EQ(out.substr(out.size() - stop.size()), stop) << out;
        EXPECT_EQ(out.find("Scan interval 1"), std::string::npos);
        EXPECT_EQ(out.find("Pass 2"), std::string::npos);
        EXPECT_TRUE(testsupport::FileExists(dir.File("4000_1.txt")));
        EXPECT_TRUE(testsupport::FileExists(dir.File("4000_1.ini")));
    }
}

// In the fast scan the request is read once the library's sweep is over, so
// the termination line follows the closing block.
TEST_F(ScanEndToEnd, SignalDuringAFastScanStopsAfterItsClosingBlock)
{
    auto result = RunTressel(std::string("[Timing]\nSweepMs=60\n") + kBandTransponders,
                             "[Options]\nDevice=0\nFastScan=1\nLoop=2\n"
                             "[Scan0]\nStart=474000\nStop=626000\nStep=8\n"
                             "[Scan1]\nStart=306000\nStop=314000\nStep=8\n",
                             SIGINT, "From 474.000");

    ASSERT_EQ(result.ExitCode, 0) << result.Err;
    const std::string out = MaskTimes(result.Out);
    EXPECT_NE(out.find("498.000 Mhz, BW 8 Mhz, DVB-T/64QAM, 30.0 dB\n" + Rule() + "Scan Time = Ts\n" + Rule() +
                       "Terminated on user request ...\n"
                       "Total Scan Time = Ts\n"
                       "Total tranponders found = 3\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("Scan interval 1"), std::string::npos);
    EXPECT_EQ(out.find("Pass 2"), std::string::npos);
}

} // namespace
