// The DVB tuner library end to end: the real program (and a probe that
// prints whole records) with libTresselDvb.so against the simulated
// frontend, preloaded. Skipped when the simulator is not built.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

using testsupport::RunResult;

std::string SimLibrary()
{
    return testsupport::BinDir() + "/libTresselDvbSim.so";
}

class DvbEndToEnd : public ::testing::Test {
protected:
    testsupport::TempDir dir;

    void SetUp() override
    {
        if (!testsupport::FileExists(SimLibrary()))
            GTEST_SKIP() << "the simulated frontend " << SimLibrary() << " is not built";
    }

    std::vector<std::pair<std::string, std::string>> Env(const std::string& band)
    {
        testsupport::WriteFile(dir.File("band.ini"), band);
        return {{"LD_PRELOAD", SimLibrary()},
                {"TRESSEL_VIRTUAL_BAND", dir.File("band.ini")},
                {"TRESSEL_TUNER_LIBRARY", "dvb"},
                {"TRESSEL_DVB_CARRIER_MS", "150"}};
    }

    RunResult Probe(const std::string& band, const std::vector<std::string>& args)
    {
        testsupport::RunOptions options;
        options.Program = testsupport::BinDir() + "/DvbProbe";
        options.Args = {testsupport::BinDir() + "/libTresselDvb.so", "0"};
        options.Args.insert(options.Args.end(), args.begin(), args.end());
        options.Env = Env(band);
        return testsupport::Run(options);
    }

    RunResult Tressel(const std::string& band, const std::string& config)
    {
        testsupport::WriteFile(dir.File("scan.ini"), config);
        testsupport::RunOptions options;
        options.Args = {"scan.ini"};
        options.WorkDir = dir.Path();
        options.Env = Env(band);
        return testsupport::Run(options);
    }
};

// DVB-T without and with hierarchy, DVB-T2 with three PLPs, DVB-C at
// 6875 kS/s: what the band file says, and what the probe must print.
const char* const kMixedBand =
    "[Devices]\nName0=Sim demod\nProfile0=PROFILE\n"
    "[Transponder0]\nFrequency=474000\nBandwidth=8000\nStandard=6\nModulation=20\nFec=2\nSpectrum=1\n"
    "TransmissionMode=4\nGuardInterval=4\nRfLevel=-50\nSnr=28.5\n"
    "[Transponder1]\nFrequency=482000\nBandwidth=8000\nStandard=6\nModulation=20\nFec=1\nFecLp=3\nHierarchy=2\n"
    "Spectrum=2\nTransmissionMode=2\nGuardInterval=1\nRfLevel=-61\nSnr=19.5\n"
    "[Transponder2]\nFrequency=490000\nBandwidth=8000\nStandard=7\nModulation=22\nFec=13\nTransmissionMode=6\n"
    "GuardInterval=7\nPlpIds=0,1,2\nS1Signaling=1\nRfLevel=-44\nSnr=22.1\n"
    "[Transponder3]\nFrequency=306000\nBandwidth=8000\nSymbolRate=6875000\nStandard=8\nModulation=22\nFec=3\n"
    "RfLevel=-40\nSnr=33\n";

std::string Band(const char* profile)
{
    return std::regex_replace(kMixedBand, std::regex("PROFILE"), profile);
}

// The fields every locked record shares that the kernel cannot tell.
const std::string kUnknownT2 = "PilotPattern=255 ";
const std::string kTail = "FrameLength=0 ExtendedBandwidth=0 T2Mode=0 T2Version=255 ";

TEST_F(DvbEndToEnd, EveryFieldUnderEachDriverProfile)
{
    struct ProfileCase {
        const char* Profile;
        bool Spectrum;   // read back (the NIT does not carry it)
        bool T2Codes;    // DVB-T2 modulation and code rate read back
        bool Levels;     // statistics in the decibel scale
    };
    for (ProfileCase c : {ProfileCase{"readback", true, true, true}, ProfileCase{"auto", false, false, true},
                          ProfileCase{"relative", true, true, false}}) {
        SCOPED_TRACE(c.Profile);
        auto level = [&](const char* rf, const char* snr) {
            return c.Levels ? std::string("RfLevel=") + rf + " Snr=" + snr : std::string("RfLevel=0 Snr=0.000");
        };
        const std::string expected =
            "device 0: Sim demod (adapter0/frontend0)\ncaps 0x804000\n"
            "474000: Locked=1 Frequency=474000 Bandwidth=8000 SymbolRate=0 Standard=6 Modulation=20 Fec=2 FecLp=0 "
            "Spectrum=" + std::string(c.Spectrum ? "1" : "0") +
            " TransmissionMode=4 GuardInterval=4 Hierarchy=0 PlpCount=0 PlpIds= " + kUnknownT2 +
            "S1Signaling=0 Payload=3 " + kTail + "BitRate=19905882 " + level("-50", "28.500") + "\n" +
            "482000: Locked=1 Frequency=482000 Bandwidth=8000 SymbolRate=0 Standard=6 Modulation=20 Fec=1 FecLp=3 "
            "Spectrum=" + (c.Spectrum ? "2" : "0") +
            " TransmissionMode=2 GuardInterval=1 Hierarchy=2 PlpCount=0 PlpIds= " + kUnknownT2 +
            "S1Signaling=0 Payload=3 " + kTail + "BitRate=24128342 " + level("-61", "19.500") + "\n" +
            "490000: Locked=1 Frequency=490000 Bandwidth=8000 SymbolRate=0 Standard=7 Modulation=" +
            (c.T2Codes ? "22 Fec=13" : "0 Fec=0") +
            " FecLp=0 Spectrum=0 TransmissionMode=6 GuardInterval=7 Hierarchy=0 PlpCount=3 PlpIds=0,1,2 " +
            kUnknownT2 + "S1Signaling=1 Payload=3 " + kTail + "BitRate=0 " + level("-44", "22.100") + "\n" +
            "306000: Locked=1 Frequency=306000 Bandwidth=8000 SymbolRate=6875000 Standard=8 Modulation=22 Fec=3 "
            "FecLp=0 Spectrum=0 TransmissionMode=0 GuardInterval=0 Hierarchy=0 PlpCount=0 PlpIds= " +
            kUnknownT2 + "S1Signaling=0 Payload=3 " + kTail + "BitRate=50686275 " + level("-40", "33.000") + "\n";
        std::string out;
        for (auto args : std::vector<std::vector<std::string>>{
                 {"tune", "6", "474000", "482000"}, {"tune", "7", "490000"}, {"tune", "8", "306000"}}) {
            RunResult r = Probe(Band(c.Profile), args);
            ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
            // The device and caps lines once, then each run's records.
            out += out.empty() ? r.Out : r.Out.substr(r.Out.find('\n', r.Out.find("caps")) + 1);
        }
        EXPECT_EQ(out, expected);
    }
}

// Steps of 8 MHz over DVB-T, a slow DVB-T2 lock (2.4 s), a carrier that
// never locks, cable at both symbol rates and ATSC, stepped and fast.
const char* const kScanBand =
    "[Devices]\nName0=Sim demod\nSystems0=DVBT,DVBT2,DVBC_ANNEX_A,ATSC\n"
    "[Transponder0]\nFrequency=474000\nBandwidth=8000\nStandard=6\nModulation=20\nFec=2\nTransmissionMode=4\n"
    "GuardInterval=4\nSnr=28.5\n"
    "[Transponder1]\nFrequency=482000\nBandwidth=8000\nStandard=7\nModulation=22\nFec=13\nTransmissionMode=6\n"
    "GuardInterval=7\nPlpIds=0\nLockMs=2400\nSnr=22.1\n"
    "[Transponder2]\nFrequency=490000\nBandwidth=8000\nStandard=7\nModulation=22\nNeverLocks=1\nSnr=20\n"
    "[Transponder3]\nFrequency=306000\nBandwidth=8000\nSymbolRate=6900000\nStandard=8\nModulation=20\nSnr=33\n"
    "[Transponder4]\nFrequency=314000\nBandwidth=8000\nSymbolRate=6875000\nStandard=8\nModulation=22\nSnr=31\n"
    "[Transponder5]\nFrequency=551000\nBandwidth=6000\nStandard=10\nModulation=16\nSnr=25\n";

const char* const kScanConfig = "[Options]\nDevice=0\nFastScan=FAST\n"
                                "[Scan0]\nStart=474000\nStop=490000\nStep=8\nStd=2\n"
                                "[Scan1]\nStart=474000\nStop=474001\nStep=8\nStd=1\n"
                                "[Scan2]\nStart=306000\nStop=314000\nStep=8\nStd=3\n"
                                "[Scan3]\nStart=551000\nStop=551001\nStep=6\nStd=5\n";

TEST_F(DvbEndToEnd, SteppedAndFastScansFindEveryLockableTransponder)
{
    for (const char* fast : {"0", "1"}) {
        SCOPED_TRACE(std::string("FastScan=") + fast);
        std::string config = std::regex_replace(kScanConfig, std::regex("FAST"), fast);
        RunResult r = Tressel(kScanBand, config);
        ASSERT_EQ(r.ExitCode, 0) << r.Out << r.Err;
        for (const char* line : {"482.000 Mhz, BW 8 Mhz, DVB-T2/256QAM, 22.1 dB",
                                 "474.000 Mhz, BW 8 Mhz, DVB-T/64QAM, 28.5 dB",
                                 "306.000 Mhz, 6900 KS, DVB-C/64QAM, 33.0 dB",
                                 "314.000 Mhz, 6875 KS, DVB-C/256QAM, 31.0 dB",
                                 "551.000 Mhz, BW 6 Mhz, ATSC/8VSB, 25.0 dB"})
            EXPECT_NE(r.Out.find(line), std::string::npos) << line << "\n" << r.Out;
        EXPECT_EQ(r.Out.find("490.000 Mhz, BW"), std::string::npos) << "a carrier that never locks";
        EXPECT_NE(r.Out.find("Total tranponders found = 5\n"), std::string::npos) << r.Out;
        std::string report = testsupport::ReadFile(dir.File("4000.txt"));
        EXPECT_NE(report.find("Pilot Pattern: PP?\n"), std::string::npos) << report;
        EXPECT_NE(report.find("DVB-T2 Version: ?\n"), std::string::npos);
        EXPECT_EQ(r.Err, "");
    }
}

// A carrier without lock costs its lock window, no more; an empty channel
// only the carrier window.
TEST_F(DvbEndToEnd, ACarrierThatNeverLocksIsGivenUpWithinItsWindow)
{
    const std::string band = "[Transponder0]\nFrequency=490000\nBandwidth=8000\nStandard=6\nNeverLocks=1\n";
    auto started = std::chrono::steady_clock::now();
    RunResult r = Probe(band + "", {"tune", "6", "490000", "498000"});
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("490000: Locked=0 Frequency=490000"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("498000: Locked=0 Frequency=498000"), std::string::npos) << r.Out;
    // Default DVB-T lock window 1.5 s plus the 150 ms carrier window; the
    // bound is generous, it only catches a wait that does not end.
    EXPECT_LT(ms.count(), 5000) << "the wait did not give up";
}

TEST_F(DvbEndToEnd, DevicesThatCannotBeUsed)
{
    struct DeviceCase {
        const char* Name;
        std::string Band;
        int Exit;
        const char* Out;
        const char* Err;
    };
    const char* const config = "[Options]\nDevice=0\nFastScan=0\n[Scan0]\nStart=474000\nStop=498000\nStep=8\n";
    const char* const one = "[Transponder0]\nFrequency=474000\nBandwidth=8000\nStandard=6\nModulation=20\nSnr=30\n";
    const DeviceCase cases[] = {
        {"no frontend", "[Devices]\nCount=0\n", testsupport::ExitStatus(-2), "No devices !\n",
         "dvb tuner: no DVB frontend found: /dev/dvb holds no adapter"},
        {"no permission", std::string("[Devices]\nAccess0=denied\n") + one, testsupport::ExitStatus(-3),
         "Can't start device 0 !", "add your user to the video group"},
        {"busy", std::string("[Devices]\nAccess0=busy\n") + one, testsupport::ExitStatus(-3),
         "Can't start device 0 !", "dvb tuner: /dev/dvb/adapter0/frontend0 is busy"},
        {"vanishes mid-scan", std::string("[Devices]\nVanishAfterTunes0=2\n") + one, 0, "482.000 Mhz ... error !",
         "dvb tuner: /dev/dvb/adapter0/frontend0 failed during"},
    };
    for (const DeviceCase& c : cases) {
        SCOPED_TRACE(c.Name);
        RunResult r = Tressel(c.Band, config);
        EXPECT_EQ(r.Signal, 0);
        EXPECT_EQ(r.ExitCode, c.Exit) << r.Out << r.Err;
        EXPECT_NE(r.Out.find(c.Out), std::string::npos) << r.Out;
        EXPECT_NE(r.Err.find(c.Err), std::string::npos) << r.Err;
        EXPECT_FALSE(testsupport::FileExists(dir.File("4000.txt"))) << "a failed run writes no files";
    }
}

TEST_F(DvbEndToEnd, FastScanOfMoreTranspondersThanTheTableHolds)
{
    std::string band = "[Devices]\nMaxFrequency0=2000000\n";
    for (int i = 0; i < 210; ++i) {
        band += "[Transponder" + std::to_string(i) + "]\nFrequency=" + std::to_string(100000 + i * 8000) +
                "\nBandwidth=8000\nStandard=6\nModulation=20\nFec=2\nTransmissionMode=4\nGuardInterval=4\nSnr=30\n";
    }
    RunResult r = Tressel(band, "[Options]\nDevice=0\nFastScan=1\n[Scan0]\nStart=100000\nStop=1780000\nStep=8\n"
                                "Std=1\n");
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("Total tranponders found = 200\n"), std::string::npos) << r.Out;
    std::string report = testsupport::ReadFile(dir.File("4000.txt"));
    EXPECT_NE(report.find("TP N: 200\nFrequency: 1692.000 Mhz\n"), std::string::npos);
    EXPECT_EQ(report.find("TP N: 201"), std::string::npos);
}

// Standard code 0: DVB-T first, DVB-T2 where DVB-T saw a carrier. A real
// DVB-T demodulator sees the signal of a DVB-T2 multiplex (FE_HAS_SIGNAL)
// without locking it; the simulated frontend must show that too.
TEST_F(DvbEndToEnd, AnyStandardFindsDvbTAndDvbT2)
{
    const std::string band =
        "[Transponder0]\nFrequency=474000\nBandwidth=8000\nStandard=6\nModulation=20\nFec=2\nSnr=28\n"
        "[Transponder1]\nFrequency=482000\nBandwidth=8000\nStandard=7\nModulation=22\nPlpIds=0,1\nSnr=22\n";
    RunResult r = Probe(band, {"tune", "0", "474000", "482000", "490000"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_NE(r.Out.find("474000: Locked=1 Frequency=474000 Bandwidth=8000 SymbolRate=0 Standard=6"),
              std::string::npos)
        << r.Out;
    EXPECT_NE(r.Out.find("490000: Locked=0"), std::string::npos) << r.Out;
    if (r.Out.find("482000: Locked=0") != std::string::npos)
        GTEST_SKIP() << "the simulated frontend shows no signal to a DVB-T tune on a DVB-T2 multiplex";
    EXPECT_NE(r.Out.find("482000: Locked=1 Frequency=482000 Bandwidth=8000 SymbolRate=0 Standard=7"),
              std::string::npos)
        << r.Out;
}

} // namespace
