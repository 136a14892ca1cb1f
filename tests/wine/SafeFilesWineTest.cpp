// The Windows program's output files in a shared folder, under Wine: what
// is planted at a temporary name is never opened, a read-only target and the
// configuration are never replaced, a typed device beyond 32 bits is
// refused, and a single pipe other than PLP 0 keeps its identifier.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/TestSupport.h"
#include "wine/WineHarness.h"

using testsupport::ExitStatus;
using testsupport::ReadFile;
using testsupport::RunResult;
using winetest::Crlf;
using winetest::WineRun;
using winetest::WineTest;

namespace {

// One DVB-T2 multiplex whose only pipe is PLP 5.
const std::string kBand = "[Transponder0]\nFrequency=490000\nBandwidth=8000\nStandard=7\nModulation=22\n"
                          "Fec=13\nTransmissionMode=6\nGuardInterval=7\nPlpIds=5\n";

std::string Config(int iniFormat)
{
    return "[Options]\nDevice=0\nInfoFormat=0\nIniFormat=" + std::to_string(iniFormat) +
           "\n[LocInfo]\nLocPos=4000\nLocName=Europe\n[Scan0]\nStart=474000\nStop=498000\nStep=8\n";
}

class WineSafeFiles : public WineTest {
protected:
    void SetUp() override
    {
        WineTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        WriteBand(kBand);
    }

    RunResult RunWith(const std::string& configName, const std::string& stdinText = "")
    {
        WineRun run;
        run.Args = {configName};
        run.Stdin = stdinText;
        return Run(run);
    }
};

TEST_F(WineSafeFiles, PlantedFilesAtTemporaryNamesAreNeverOpened)
{
    WriteWorkFile("Tressel.ini", Config(5));
    WriteWorkFile("victim", "not yours\n");
    // The fixed names older versions wrote under: a hard link to another
    // file and a file of another user.
    ASSERT_EQ(0, link(WorkFile("victim").c_str(), WorkFile("4000.tx~").c_str()));
    WriteWorkFile("Europe.in~", "planted\n");
    RunResult r = RunWith("Tressel.ini");
    EXPECT_EQ(0, r.ExitCode) << r.Out << r.Err;
    EXPECT_EQ(std::string::npos, r.Out.find("error !")) << r.Out;
    EXPECT_EQ("not yours\n", ReadFile(WorkFile("victim")));
    EXPECT_EQ("planted\n", ReadFile(WorkFile("Europe.in~")));
    EXPECT_EQ(0u, ReadFile(WorkFile("Europe.txt")).find("TP N: 1\r\n"));
    // The single pipe 5 keeps its identifier.
    EXPECT_EQ(Crlf("# Europe\n# 1 transponders\nT2 490000000 8MHz 3/5 NONE QAM256 32k 19/256 NONE 5\n"),
              ReadFile(WorkFile("Europe.ini")));
    EXPECT_TRUE(testsupport::TempFilesBeside(WorkFile("Europe.ini")).empty());
}

TEST_F(WineSafeFiles, ReadOnlyTargetsAndTheConfigurationAreKept)
{
    // The INI list would be 4000.ini, the name of the configuration; the
    // report is marked read-only.
    const std::string config = Config(0);
    WriteWorkFile("4000.ini", config);
    WriteWorkFile("4000.txt", "read-only report\n");
    chmod(WorkFile("4000.txt").c_str(), 0444);
    RunResult r = RunWith("4000.ini");
    EXPECT_EQ(0, r.ExitCode) << r.Out << r.Err;
    EXPECT_NE(std::string::npos, r.Out.find(Crlf("Report detailed transponder info to 4000.txt ...\nerror !\n"
                                                 "Store transponder info in 4000.ini ...\nerror !\n")))
        << r.Out;
    EXPECT_EQ(config, ReadFile(WorkFile("4000.ini")));
    EXPECT_EQ("read-only report\n", ReadFile(WorkFile("4000.txt")));
    EXPECT_TRUE(testsupport::TempFilesBeside(WorkFile("4000.ini")).empty());
    chmod(WorkFile("4000.txt").c_str(), 0644);
}

TEST_F(WineSafeFiles, ATypedDeviceBeyond32BitsIsRefused)
{
    WriteWorkFile("Tressel.ini", "[Options]\nFastScan=0\n");
    RunResult r = RunWith("Tressel.ini", "4294967297\n");
    EXPECT_EQ(ExitStatus(-3), r.ExitCode) << r.Out << r.Err;
    const std::string tail = Crlf("Device number: Can't start device 4294967297 !\n");
    ASSERT_GE(r.Out.size(), tail.size()) << r.Out;
    EXPECT_EQ(tail, r.Out.substr(r.Out.size() - tail.size())) << r.Out;
}

} // namespace
