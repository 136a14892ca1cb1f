// Scans and output files of the Windows program under Wine: a fast and a
// stepped scan, every family of transponder list, the directories completed
// with a backslash, repeated passes numbering or replacing their files.
// The Windows program must behave as the Linux build does, apart from its
// CR LF line ends and backslashes; exact texts for the lists pin both.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "support/TestSupport.h"
#include "wine/WineHarness.h"

using testsupport::ReadFile;
using testsupport::RunResult;
using winetest::AllLinesEndCrlf;
using winetest::Crlf;
using winetest::WindowsPath;
using winetest::WineRun;
using winetest::WineTest;

namespace {

// A DVB-T multiplex off the 500 kHz raster, a DVB-T2 multiplex with two
// pipes and a cable transponder, listed out of frequency order, on a device
// that can do the fast scan.
const std::string kBand =
    "[Transponder0]\nFrequency=490000\nBandwidth=8000\nStandard=7\nModulation=22\nFec=13\n"
    "TransmissionMode=6\nGuardInterval=7\nPlpIds=0,1\nRfLevel=-48\nSnr=30.2\nBitRate=40200000\n"
    "[Transponder1]\nFrequency=474166\nBandwidth=8000\nStandard=6\nModulation=20\nFec=2\n"
    "TransmissionMode=4\nGuardInterval=4\nRfLevel=-55\nSnr=28.1\nBitRate=24100000\n"
    "[Transponder2]\nFrequency=306000\nBandwidth=8000\nSymbolRate=6900000\nStandard=8\nModulation=22\n"
    "RfLevel=-52\nSnr=31.4\nBitRate=50800000\n";

const std::string kIntervals = "[Scan0]\nStart=474000\nStop=498000\nStep=8\nStd=0\n"
                               "[Scan1]\nStart=298000\nStop=314000\nStep=8\nStd=0\n";

std::string Config(int fastScan, int iniFormat, int infoFormat, const std::string& reportDir,
                   const std::string& tpDir, int loop = 0)
{
    return "[Options]\nDevice=0\nFastScan=" + std::to_string(fastScan) + "\nIniFormat=" +
           std::to_string(iniFormat) + "\nInfoFormat=" + std::to_string(infoFormat) +
           "\nReportDir=" + reportDir + "\nTPDir=" + tpDir + "\nLoop=" + std::to_string(loop) +
           "\n[LocInfo]\nLocPos=4000\nLocName=Europe\n" + kIntervals;
}

// Text as the Linux build writes it: LF line ends, forward slashes, and
// every measured time ("0.012s") masked, for both builds alike.
std::string Comparable(std::string text, bool fromWindows)
{
    if (fromWindows) {
        text = std::regex_replace(text, std::regex("\r\n"), "\n");
        for (char& c : text)
            if (c == '\\')
                c = '/';
    }
    text = std::regex_replace(text, std::regex("Config name: [^\n]*\n"), "Config name: ...\n");
    return std::regex_replace(text, std::regex("[0-9]+\\.[0-9]{3}s"), "#.###s");
}

class WineScan : public WineTest {
protected:
    void SetUp() override
    {
        WineTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        WriteBand(kBand);
        std::filesystem::create_directories(LinuxDir());
        testsupport::WriteFile(LinuxDir() + "/band.ini", kBand);
    }

    // The Linux build's working folder, beside the Windows one.
    std::string LinuxDir() const { return WorkDir() + "-linux"; }

    // Writes the configuration into both working folders.
    void WriteConfig(const std::string& text)
    {
        WriteWorkFile("Tressel.ini", text);
        testsupport::WriteFile(LinuxDir() + "/Tressel.ini", text);
    }

    RunResult RunWindows()
    {
        WineRun run;
        run.Args = {"Tressel.ini"};
        return Run(run);
    }

    RunResult RunLinux()
    {
        testsupport::RunOptions options;
        options.Args = {"Tressel.ini"};
        options.WorkDir = LinuxDir();
        options.Env = {{"TRESSEL_VIRTUAL_BAND", LinuxDir() + "/band.ini"}};
        return testsupport::Run(options);
    }

    // Expects the file at name (relative to both working folders) to have
    // CR LF line ends on Windows and otherwise the Linux build's text.
    void ExpectSameFile(const std::string& name)
    {
        SCOPED_TRACE(name);
        ASSERT_TRUE(testsupport::FileExists(WorkFile(name)));
        ASSERT_TRUE(testsupport::FileExists(LinuxDir() + "/" + name));
        std::string windows = ReadFile(WorkFile(name));
        EXPECT_TRUE(AllLinesEndCrlf(windows)) << windows;
        EXPECT_EQ(Comparable(ReadFile(LinuxDir() + "/" + name), false), Comparable(windows, true));
    }
};

TEST_F(WineScan, FastAndSteppedScanMatchTheLinuxBuild)
{
    struct Case {
        const char* Name;
        int FastScan;
        const char* Caps; // the device's capabilities
    } cases[] = {
        {"fast scan", 1, "8404992"},
        {"stepped scan on a device without the fast scan", 0, "16384"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string band = "[Devices]\nCaps0=" + std::string(c.Caps) + "\n" + kBand;
        WriteBand(band);
        testsupport::WriteFile(LinuxDir() + "/band.ini", band);
        WriteConfig(Config(c.FastScan, 0, 1, "reports", "lists"));
        for (const std::string& dir : {WorkDir(), LinuxDir()}) {
            std::filesystem::create_directories(dir + "/reports");
            std::filesystem::create_directories(dir + "/lists");
        }
        RunResult onWindows = RunWindows();
        RunResult onLinux = RunLinux();
        EXPECT_EQ(0, onWindows.ExitCode) << onWindows.Out << onWindows.Err;
        EXPECT_EQ(0, onLinux.ExitCode) << onLinux.Out << onLinux.Err;
        EXPECT_TRUE(AllLinesEndCrlf(onWindows.Out)) << onWindows.Out;
        EXPECT_EQ(Comparable(onLinux.Out, false), Comparable(onWindows.Out, true));
        EXPECT_NE(std::string::npos,
                  onWindows.Out.find(Crlf("Total tranponders found = 3\n"
                                        "Report detailed transponder info to reports\\4000.txt ...\n"
                                        "Store transponder info in lists\\4000.ini ...\n")))
            << onWindows.Out;
        ExpectSameFile("reports/4000.txt");
        ExpectSameFile("lists/4000.ini");
    }
}

TEST_F(WineScan, EveryListFamilyMatchesTheLinuxBuild)
{
    // The exact texts of one list of each family; the other INI variants
    // are held to the Linux build's text.
    struct Family {
        int IniFormat;
        int InfoFormat;
        const char* Report;
        const char* List;
        const char* ListText; // empty: compared with the Linux build only
    } families[] = {
        {0, 4, "4000.txt", "4000.ini",
         "[SATTYPE]\n1=4000\n2=Europe\n\n[DVB]\n0=3\n1=306000,6900\n2=474000,0\n3=490000,0\n"},
        {1, 1, "4000.txt", "4000.ini", ""},
        {2, 1, "4000.txt", "4000.ini", ""},
        {3, 4, "4000.txt", "4000.ini", ""},
        {4, 1, "4000.txt", "4000.ini", ""},
        {5, 4, "Europe.txt", "Europe.ini",
         "# Europe\n# 3 transponders\n"
         "C 306000000 6900000 AUTO QAM256 # 31.4 dB\n"
         "T 474000000 8MHz 2/3 AUTO QAM64 8k 1/4 NONE # 28.1 dB\n"
         "T2 490000000 8MHz 3/5 NONE QAM256 32k 19/256 NONE 0 # 30.2 dB\n"
         "T2 490000000 8MHz 3/5 NONE QAM256 32k 19/256 NONE 1 # 30.2 dB\n"},
        {6, 1, "4000.txt", "Europe.xml",
         "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n<locations>\n"
         "\t<cable name=\"Europe\" flags=\"5\">\n"
         "\t\t<transponder frequency=\"306000000\" symbol_rate=\"6900000\" modulation=\"5\"/>\n"
         "\t\t<transponder centre_frequency=\"474000000\" bandwidth=\"0\" constellation=\"2\" code_rate_hp=\"1\" "
         "code_rate_lp=\"6\" guard_interval=\"3\" transmission_mode=\"1\" hierarchy_information=\"0\"/>\n"
         "\t\t<transponder centre_frequency=\"490000000\" bandwidth=\"0\" constellation=\"4\" code_rate_hp=\"7\" "
         "code_rate_lp=\"6\" guard_interval=\"7\" transmission_mode=\"6\" hierarchy_information=\"0\" system=\"1\" "
         "plp_id=\"0\"/>\n"
         "\t\t<transponder centre_frequency=\"490000000\" bandwidth=\"0\" constellation=\"4\" code_rate_hp=\"7\" "
         "code_rate_lp=\"6\" guard_interval=\"7\" transmission_mode=\"6\" hierarchy_information=\"0\" system=\"1\" "
         "plp_id=\"1\"/>\n"
         "\t</cable>\n</locations>\n"},
    };
    for (const Family& f : families) {
        SCOPED_TRACE("IniFormat " + std::to_string(f.IniFormat));
        WriteConfig(Config(1, f.IniFormat, f.InfoFormat, "", ""));
        RunResult onWindows = RunWindows();
        RunResult onLinux = RunLinux();
        ASSERT_EQ(0, onWindows.ExitCode) << onWindows.Out << onWindows.Err;
        ASSERT_EQ(0, onLinux.ExitCode) << onLinux.Out << onLinux.Err;
        EXPECT_NE(std::string::npos,
                  onWindows.Out.find(Crlf(std::string("Report detailed transponder info to ") + f.Report +
                                        " ...\nStore transponder info in " + f.List + " ...\n")))
            << onWindows.Out;
        ExpectSameFile(f.Report);
        ExpectSameFile(f.List);
        if (f.ListText[0] != '\0') {
            EXPECT_EQ(Crlf(f.ListText), ReadFile(WorkFile(f.List)));
        }
        std::filesystem::remove(WorkFile(f.Report));
        std::filesystem::remove(WorkFile(f.List));
    }
}

// The stepped scan settles 500 ms on every channel: a printed channel time
// below that would be a clock that lags the real time (GetTickCount's steps
// of 10-16 ms did), and the interval time is at least the sum.
TEST_F(WineScan, SteppedScanChannelTimesAreNeverBelowTheSettle)
{
    std::string band = "[Devices]\nCaps0=16384\n";
    for (int i = 0; i < 6; ++i)
        band += "[Transponder" + std::to_string(i) + "]\nFrequency=" + std::to_string(474000 + 8000 * i) +
                "\nBandwidth=8000\nStandard=6\nModulation=20\nFec=2\nTransmissionMode=4\nGuardInterval=4\n"
                "RfLevel=-55\nSnr=28.1\nBitRate=24100000\n";
    WriteBand(band);
    WriteWorkFile("Tressel.ini", "[Options]\nDevice=0\nFastScan=0\n[Scan0]\nStart=474000\nStop=514000\nStep=8\n");
    RunResult r = RunWindows();
    ASSERT_EQ(0, r.ExitCode) << r.Out << r.Err;
    std::regex channelTime(" - time ([0-9]+\\.[0-9]{3})s\r\n");
    int channels = 0;
    for (std::sregex_iterator it(r.Out.begin(), r.Out.end(), channelTime), end; it != end; ++it) {
        ++channels;
        EXPECT_GE(std::stod((*it)[1].str()), 0.500) << it->str();
    }
    EXPECT_EQ(6, channels) << r.Out;
    std::smatch interval;
    ASSERT_TRUE(std::regex_search(r.Out, interval, std::regex("\r\nScan Time = ([0-9]+\\.[0-9]{3})s\r\n")))
        << r.Out;
    EXPECT_GE(std::stod(interval[1].str()), 3.000) << r.Out;
}

// ReportDir and TPDir get one backslash when they lack it; a directory that
// does not exist fails its file alone.
TEST_F(WineScan, DirectoriesAreCompletedWithABackslash)
{
    std::filesystem::create_directories(WorkFile("out"));
    std::filesystem::create_directories(WorkFile("abs"));
    const std::string absolute = WindowsPath(WorkFile("abs"));
    struct Case {
        std::string Setting;
        std::string Shown;  // the directory part of the announced name
        std::string Where;  // where the file lands, relative to the working folder
        bool Written;
    } cases[] = {
        {"out", "out\\", "out/", true},
        {"out\\", "out\\", "out/", true},
        // Only a backslash counts as the end: Windows reads "out/\" as out.
        {"out/", "out/\\", "out/", true},
        {"", "", "", true},
        {absolute, absolute + "\\", "abs/", true},
        {absolute + "\\", absolute + "\\", "abs/", true},
        {"missing", "missing\\", "missing/", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("directory setting \"" + c.Setting + "\"");
        // Both files go to the same directory; the report fails alone when
        // only ReportDir names a missing directory.
        for (int which = 0; which < 2; ++which) {
            bool report = which == 0;
            SCOPED_TRACE(report ? "ReportDir" : "TPDir");
            WriteConfig(Config(1, 0, 1, report ? c.Setting : "", report ? "" : c.Setting));
            RunResult r = RunWindows();
            ASSERT_EQ(0, r.ExitCode) << r.Out << r.Err;
            std::string reportLine = "Report detailed transponder info to " +
                                     (report ? c.Shown : std::string()) + "4000.txt ...\n";
            std::string listLine = "Store transponder info in " + (report ? std::string() : c.Shown) +
                                   "4000.ini ...\n";
            std::string expected = report ? reportLine + (c.Written ? "" : "error !\n") + listLine
                                          : reportLine + listLine + (c.Written ? "" : "error !\n");
            EXPECT_NE(std::string::npos, r.Out.find(Crlf(expected))) << r.Out;
            std::string file = report ? c.Where + "4000.txt" : c.Where + "4000.ini";
            EXPECT_EQ(c.Written, testsupport::FileExists(WorkFile(file))) << file;
            // The other file is written in the working folder in every case.
            std::string other = report ? "4000.ini" : "4000.txt";
            EXPECT_TRUE(testsupport::FileExists(WorkFile(other))) << other;
            std::filesystem::remove(WorkFile(file));
            std::filesystem::remove(WorkFile(other));
        }
    }
}

// Loop repeats the passes until a failing sweep ends the run, which still
// ends with exit code 0. Loop 1 numbers the files by pass; any other value
// replaces the files of the pass before, and of an earlier run.
TEST_F(WineScan, LoopRepeatsPassesUntilTheEngineFails)
{
    struct Case {
        int Loop;
        const char* Fault;  // each pass sweeps two intervals
        int Passes;         // passes that complete
        const char* Report; // the name the last complete pass writes
        const char* List;
    } cases[] = {
        {1, "Tressel=3", 1, "4000_1.txt", "4000_1.ini"},
        {2, "Tressel=5", 2, "4000.txt", "4000.ini"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("Loop " + std::to_string(c.Loop));
        WriteBand(kBand + "[Faults]\n" + c.Fault + "\n");
        WriteConfig(Config(1, 0, 1, "", "", c.Loop));
        WriteWorkFile("4000.txt", "stale report\n");
        WriteWorkFile("4000.ini", "stale list\n");
        RunResult r = Run([] {
            WineRun run;
            run.Args = {"Tressel.ini"};
            return run;
        }());
        EXPECT_EQ(0, r.ExitCode) << r.Out << r.Err;
        std::string announcements = Crlf(std::string("Report detailed transponder info to ") + c.Report +
                                         " ...\nStore transponder info in " + c.List + " ...\n");
        size_t at = 0;
        for (int pass = 1; pass <= c.Passes + 1; ++pass) {
            at = r.Out.find(Crlf("---------- Pass " + std::to_string(pass) + " ----------\n"), at);
            ASSERT_NE(std::string::npos, at) << "pass " << pass << "\n" << r.Out;
            if (pass <= c.Passes) {
                at = r.Out.find(announcements, at);
                ASSERT_NE(std::string::npos, at) << "pass " << pass << "\n" << r.Out;
            }
        }
        EXPECT_EQ(std::string::npos, r.Out.find("error !\r\n")) << r.Out;
        // The failing sweep says "error !" without a line end; nothing follows.
        EXPECT_EQ("error !", r.Out.substr(r.Out.size() < 7 ? 0 : r.Out.size() - 7)) << r.Out;
        std::string list = ReadFile(WorkFile(c.List));
        EXPECT_EQ(0u, list.find("[SATTYPE]\r\n")) << list;
        EXPECT_EQ(0u, ReadFile(WorkFile(c.Report)).find("TP N: 1\r\n"));
        // No temporary file is left.
        EXPECT_TRUE(testsupport::TempFilesBeside(WorkFile(c.Report)).empty());
        EXPECT_TRUE(testsupport::TempFilesBeside(WorkFile(c.List)).empty());
        for (const char* name : {"4000.txt", "4000.ini", "4000_1.txt", "4000_1.ini"})
            std::filesystem::remove(WorkFile(name));
    }
}

// The history and the band picture: two runs of each build, the second with
// a changed band, give the same change lines and the same CSV (binary CR LF
// on both, so that no CR is doubled), with a time stamp of the same form.
TEST_F(WineScan, HistoryAndPictureMatchTheLinuxBuild)
{
    const std::string options = "[Options]\nDevice=0\nFastScan=1\nHistory=watch.csv\nBandPicture=1\n"
                                "[LocInfo]\nLocPos=4000\n" + kIntervals;
    WriteConfig(options);
    std::string changed = std::regex_replace(kBand, std::regex("Snr=28.1"), "Snr=21.0");
    changed = std::regex_replace(changed, std::regex("PlpIds=0,1"), "PlpIds=0");
    for (const std::string& band : {kBand, changed}) {
        WriteBand(band);
        testsupport::WriteFile(LinuxDir() + "/band.ini", band);
        RunResult onWindows = RunWindows();
        RunResult onLinux = RunLinux();
        EXPECT_EQ(0, onWindows.ExitCode) << onWindows.Out << onWindows.Err;
        EXPECT_EQ(Comparable(onLinux.Out, false), Comparable(onWindows.Out, true));
        if (band == changed) {
            EXPECT_NE(onWindows.Out.find(Crlf("Total tranponders found = 3\n"
                                              "Changed 474.166 MHz SNR: 28.1 -> 21.0 dB\n"
                                              "Changed 490.000 MHz PLP IDs: 0 1 -> 0\n")),
                      std::string::npos)
                << onWindows.Out;
        }
    }
    std::string windows = ReadFile(WorkFile("watch.csv"));
    EXPECT_EQ(windows.find("\r\r"), std::string::npos);
    EXPECT_TRUE(AllLinesEndCrlf(windows)) << windows;
    const std::regex stamp("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}[+-]\\d\\d:\\d\\d");
    EXPECT_TRUE(std::regex_search(windows, stamp)) << windows;
    auto masked = [&stamp](const std::string& text) { return std::regex_replace(text, stamp, "TIME"); };
    EXPECT_EQ(masked(ReadFile(LinuxDir() + "/watch.csv")), masked(windows));

    std::string picture = ReadFile(WorkFile("4000.svg"));
    EXPECT_EQ(picture.rfind("<?xml", 0), 0u);
    EXPECT_EQ(masked(ReadFile(LinuxDir() + "/4000.svg")), masked(Comparable(picture, true)));
}

} // namespace
