// Hostile configuration files, end to end: every key at its extremes,
// repeated sections, a binary file, directories that are missing or cannot
// hold files, and location names full of XML and path characters. Each run
// gives its documented result or a clear message, and nothing is written
// outside the working directory's configured places.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hardening/HardeningSupport.h"

using hardening::CountOf;
using hardening::EndsWith;
using hardening::OutputsIn;
using hardening::RunInDir;
using hardening::Scan;
using testsupport::ExitStatus;
using testsupport::ReadFile;
using testsupport::RunResult;
using testsupport::TempDir;

namespace {

// Two DVB-T transponders at 474 and 482 MHz on a device with both
// capabilities; the fast sweep finds them at once.
const std::string kBand = hardening::Transponder(0, 474000, 20.0) + hardening::Transponder(1, 482000, 30.0);
const std::string kScan = Scan(0, 470000, 490000);
const std::string kLong(10000, '7');

struct Case {
    std::string Name;
    std::string Config; // [Options] Device=0 and kScan come first unless Raw
    int Exit;
    std::vector<std::string> OutHas;
    std::set<std::string> Outputs; // files the run leaves besides its inputs
    std::string Stdin = "";
    bool Raw = false;
    std::string SignalWhen = "";
};

void RunCases(const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        std::string config = c.Raw ? c.Config : "[Options]\nDevice=0\n" + kScan + c.Config;
        RunResult r = RunInDir(dir, config, kBand, c.Stdin, c.SignalWhen);
        EXPECT_EQ(0, r.Signal) << r.Out << r.Err;
        EXPECT_EQ(ExitStatus(c.Exit), r.ExitCode) << r.Out << r.Err;
        for (const std::string& part : c.OutHas)
            EXPECT_NE(std::string::npos, r.Out.find(part)) << "missing: " << part << "\nin:\n" << r.Out;
        EXPECT_EQ(c.Outputs, OutputsIn(dir)) << r.Out;
    }
}

const std::set<std::string> kDefaultFiles = {"4000.txt", "4000.ini"};
const char* const kFound2 = "Total tranponders found = 2\n";

TEST(HostileConfiguration, DeviceAtItsExtremes)
{
    RunCases({
        // 4294967295 and 2147483648 read as negative 32-bit numbers: the
        // devices are listed and the user asked.
        {"all bits, nothing typed", "[Options]\nDevice=4294967295\n", -3,
         {"Device 0: ", "Device number: Can't start device 4294967295 !\n"}, {}, "", true},
        {"sign bit, device typed", "[Options]\nDevice=2147483648\n" + kScan, 0,
         {"Device number: ", kFound2}, kDefaultFiles, "0\n", true},
        {"typed number beyond 32 bits", "[Options]\nDevice=-1\n", -3,
         {"Device number: Can't start device "}, {}, "99999999999999999999\n", true},
        {"typed text", "[Options]\nDevice=-1\n", -3, {"Device number: Can't start device 4294967295 !\n"}, {},
         "zero\n", true},
        {"no such device", "[Options]\nDevice=2147483647\n", -3, {"Can't start device 2147483647 !\n"}, {}, "",
         true},
        // An empty or non-numeric value reads as 0, the first device.
        {"empty", "[Options]\nDevice=\n" + kScan, 0, {kFound2}, kDefaultFiles, "", true},
        {"not a number", "[Options]\nDevice=first\n" + kScan, 0, {kFound2}, kDefaultFiles, "", true},
        {"10000 digits", "[Options]\nDevice=" + kLong + "\n", -3, {"Can't start device 1908874353 !\n"}, {}, "", true},
    });
}

TEST(HostileConfiguration, LocationAndFormatsAtTheirExtremes)
{
    RunCases({
        {"position all bits", "[LocInfo]\nLocPos=-1\n", 0, {kFound2}, {"4294967295.txt", "4294967295.ini"}},
        {"position sign bit", "[LocInfo]\nLocPos=2147483648\n", 0, {kFound2}, {"2147483648.txt", "2147483648.ini"}},
        {"position empty", "[LocInfo]\nLocPos=\n", 0, {kFound2}, {"0000.txt", "0000.ini"}},
        {"position text", "[LocInfo]\nLocPos=north\n", 0, {kFound2}, {"0000.txt", "0000.ini"}},
        {"position 10000 digits", "[LocInfo]\nLocPos=" + kLong + "\n", 0, {kFound2}, {"1908874353.txt", "1908874353.ini"}},
        {"list format all bits", "[Options]\nIniFormat=4294967295\n", 0, {kFound2}, kDefaultFiles},
        {"list format sign bit", "[Options]\nIniFormat=2147483648\n", 0, {kFound2}, kDefaultFiles},
        {"list format text", "[Options]\nIniFormat=xml\n", 0, {kFound2}, kDefaultFiles},
        {"comment format all bits", "[Options]\nInfoFormat=-1\nIniFormat=1\n", 0, {kFound2}, kDefaultFiles},
        {"comment format sign bit", "[Options]\nInfoFormat=2147483648\nIniFormat=5\n", 0, {kFound2},
         {"Europe.txt", "Europe.ini"}},
        {"comment format 10000 digits", "[Options]\nInfoFormat=" + kLong + "\nIniFormat=3\n", 0, {kFound2},
         kDefaultFiles},
        // A name of 10000 characters is cut to its 99.
        {"name of 10000 characters", "[Options]\nIniFormat=5\n[LocInfo]\nLocName=" + std::string(10000, 'N') + "\n",
         0, {kFound2}, {std::string(99, 'N') + ".txt", std::string(99, 'N') + ".ini"}},
        {"empty name", "[Options]\nIniFormat=6\n[LocInfo]\nLocName=\n", 0, {kFound2}, {"4000.txt", ".xml"}},
    });
}

TEST(HostileConfiguration, ScanSettingsAtTheirExtremes)
{
    const std::string options = "[Options]\nDevice=0\n";
    RunCases({
        {"fast scan all bits", "[Options]\nDevice=0\nFastScan=4294967295\n" + kScan, 0, {kFound2}, kDefaultFiles, "",
         true},
        {"start all bits", options + "[Scan0]\nStart=4294967295\nStop=490000\n", 0,
         {"Invalid scan params: StartFreq >= StopFreq !\n", "Transponders not found !\n"}, {}, "", true},
        {"start negative", options + "[Scan0]\nStart=-1\nStop=4294967295\n", 0,
         {"Invalid scan params: StartFreq >= StopFreq !\n"}, {}, "", true},
        {"stop text", options + "[Scan0]\nStart=470000\nStop=high\n", 0,
         {"Invalid scan params: StartFreq >= StopFreq !\n"}, {}, "", true},
        {"step all bits", options + "[Scan0]\nStart=470000\nStop=490000\nStep=-1\n", 0,
         {"Invalid scan params: Step > 10 Mhz !\n"}, {}, "", true},
        {"step sign bit", options + "[Scan0]\nStart=470000\nStop=490000\nStep=2147483648\n", 0,
         {"Invalid scan params: Step > 10 Mhz !\n"}, {}, "", true},
        {"step 10000 digits", options + "[Scan0]\nStart=470000\nStop=490000\nStep=" + kLong + "\n", 0,
         {"Invalid scan params: "}, {}, "", true},
        // A step of 0 would retune one channel for ever: refused as invalid.
        {"step text", options + "[Scan0]\nStart=470000\nStop=490000\nStep=wide\n", 0,
         {"Invalid scan params: ", "Transponders not found !\n"}, {}, "", true},
        // The standard selector maps with unsigned wrap: nothing matches.
        {"standard sign bit", options + kScan + "Std=2147483647\n", 0, {"Transponders not found !\n"}, {}, "", true},
        {"standard all bits", options + kScan + "Std=-1\n", 0, {"Transponders not found !\n"}, {}, "", true},
        {"standard text", options + kScan + "Std=T\n", 0, {kFound2}, kDefaultFiles, "", true},
        // A sweep up to the top of the 32-bit range ends.
        {"top of the range", options + "[Scan0]\nStart=4294900000\nStop=4294967295\nStep=10\n", 0,
         {"From 4294900.000 to 4294967.295 Mhz, Step 10 Mhz\n", "Transponders not found !\n"}, {}, "", true},
        {"whole range", options + "[Scan0]\nStart=0\nStop=4294967295\nStep=10\n", 0, {kFound2}, kDefaultFiles, "",
         true},
    });
}

TEST(HostileConfiguration, SignalFloorsAtTheirExtremes)
{
    // The stepped scan applies the floors: one channel, at 474 MHz (SNR 20).
    auto stepped = [](const std::string& floor) {
        return "[Options]\nDevice=0\nFastScan=0\nMinSNR1=" + floor + "\n" + Scan(0, 474000, 474500);
    };
    RunCases({
        {"highest floor", stepped("2147483647"), 0,
         {"474.000 Mhz, BW 8 Mhz, DVB-T/", "Transponders not found !\n"}, {}, "", true},
        {"lowest floor", stepped("-2147483648"), 0, {"Total tranponders found = 1\n"},
         kDefaultFiles, "", true},
        // Only the first 63 digits are read, and they wrap to 1908874353 dB.
        {"floor of 10000 digits", stepped(kLong), 0,
         {"474.000 Mhz, BW 8 Mhz, DVB-T/", "Transponders not found !\n"}, {}, "", true},
    });
}

TEST(HostileConfiguration, RepeatedSectionsAndKeys)
{
    RunCases({
        // The first occurrence of a key counts.
        {"repeated scan section", "[Options]\nDevice=0\n" + kScan + "[Scan0]\nStart=1\nStop=2\n", 0, {kFound2},
         kDefaultFiles, "", true},
        {"repeated key", "[Options]\nDevice=0\nDevice=5\nLoop=0\nLoop=1\n" + kScan, 0, {kFound2}, kDefaultFiles, "",
         true},
        {"repeated options section", "[Options]\nDevice=0\n[LocInfo]\nLocPos=1\n[Options]\nDevice=3\n" + kScan +
         "[LocInfo]\nLocPos=2\n", 0, {kFound2}, {"0001.txt", "0001.ini"}, "", true},
        // Later scan sections repeated in any order: the walk follows the
        // numbers and stops at the first gap.
        {"sections out of order", "[Scan1]\nStart=482000\nStop=482500\n[Options]\nDevice=0\n[Scan0]\n"
         "Start=474000\nStop=474500\n[Scan3]\nStart=1\nStop=2\n", 0,
         {"Scan interval 1\nFrom 482.000", "Scan interval 2\nTotal Scan Time", kFound2}, kDefaultFiles, "", true},
    });
}

// Deterministic bytes of every value, with no '[' so that no section exists.
std::string BinaryFile(size_t size)
{
    std::string bytes;
    unsigned seed = 99;
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        char c = static_cast<char>(seed >> 16);
        bytes += c == '[' ? '\0' : c;
    }
    return bytes;
}

TEST(HostileConfiguration, BinaryConfigurationReadsAsDefaults)
{
    RunCases({
        // No section: Device -1 asks, FastScan 1, no scan section.
        {"binary bytes", BinaryFile(50000), 0,
         {"Device 0: ", "Device number: Scan interval 0\nTotal Scan Time = ", "Transponders not found !\n"}, {},
         "0\n", true},
        {"nothing but zero bytes", std::string(4096, '\0'), 0, {"Transponders not found !\n"}, {}, "0\n", true},
    });
    // The program itself as its configuration: whatever it reads, it ends
    // by the rules and writes nothing.
    TempDir dir;
    std::string self = ReadFile(testsupport::TresselPath());
    ASSERT_FALSE(self.empty());
    RunResult r = RunInDir(dir, self, kBand, "0\n");
    EXPECT_EQ(0, r.Signal) << r.Err;
    EXPECT_EQ(0, r.ExitCode) << r.Out << r.Err;
    EXPECT_TRUE(OutputsIn(dir).empty()) << r.Out;
}

TEST(HostileConfiguration, OutputDirectoriesThatCannotHoldTheFiles)
{
    // A directory is never created; a path through a regular file cannot
    // be opened even by root. Each failure is "error !" after its
    // announcement, and the other file is still written.
    struct Dirs {
        const char* Name;
        std::string Options;
        std::vector<std::string> OutHas;
        std::set<std::string> Outputs;
    } cases[] = {
        {"missing report directory", "ReportDir=missing\n",
         {"Report detailed transponder info to missing/4000.txt ...\nerror !\nStore transponder info in 4000.ini ...\n"},
         {"4000.ini"}},
        {"missing list directory", "TPDir=missing/deeper/\n",
         {"Report detailed transponder info to 4000.txt ...\nStore transponder info in missing/deeper/4000.ini "
          "...\nerror !\n"},
         {"4000.txt"}},
        {"directories through a file", "ReportDir=band.ini\nTPDir=band.ini/\n",
         {"to band.ini/4000.txt ...\nerror !\n", "in band.ini/4000.ini ...\nerror !\n"}, {}},
        {"existing directories", "ReportDir=reports\nTPDir=lists//\n",
         {"to reports/4000.txt ...\n", "in lists//4000.ini ...\n"}, {"reports/4000.txt", "lists/4000.ini"}},
    };
    for (const Dirs& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        std::filesystem::create_directory(dir.File("reports"));
        std::filesystem::create_directory(dir.File("lists"));
        RunResult r = RunInDir(dir, "[Options]\nDevice=0\n" + c.Options + kScan, kBand);
        EXPECT_EQ(0, r.Signal) << r.Err;
        EXPECT_EQ(0, r.ExitCode) << r.Out << r.Err;
        for (const std::string& part : c.OutHas)
            EXPECT_NE(std::string::npos, r.Out.find(part)) << "missing: " << part << "\nin:\n" << r.Out;
        EXPECT_EQ(c.Outputs, OutputsIn(dir)) << r.Out;
        EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
    }
}

TEST(HostileConfiguration, DirectoryOfTenThousandCharactersIsRefused)
{
    for (const char* key : {"ReportDir", "TPDir"}) {
        SCOPED_TRACE(key);
        TempDir dir;
        RunResult r = RunInDir(dir, std::string("[Options]\nDevice=0\n") + key + "=" + std::string(10000, 'd') + "\n" +
                                        kScan, kBand);
        EXPECT_EQ(0, r.Signal) << r.Err;
        EXPECT_EQ(ExitStatus(-1), r.ExitCode) << r.Out << r.Err;
        EXPECT_NE(std::string::npos, r.Err.find(key)) << r.Err;
        EXPECT_EQ(std::string::npos, r.Out.find("Scan interval")) << r.Out;
        EXPECT_TRUE(OutputsIn(dir).empty());
    }
    // 258 characters and the separator still fit; 259 do not.
    for (size_t length : {258u, 259u}) {
        SCOPED_TRACE(length);
        TempDir dir;
        RunResult r = RunInDir(dir, "[Options]\nDevice=0\nReportDir=" + std::string(length, 'd') + "\n" + kScan, kBand);
        EXPECT_EQ(0, r.Signal) << r.Err;
        EXPECT_EQ(length == 258 ? 0 : ExitStatus(-1), r.ExitCode) << r.Out << r.Err;
    }
}

TEST(HostileConfiguration, LocationNameWithXmlCharacters)
{
    // The name is the list's file name and its XML attribute: escaped in
    // the file, unchanged in the name.
    const std::string name = "<&\"'> \\Nord";
    TempDir dir;
    RunResult r = RunInDir(dir, "[Options]\nDevice=0\nIniFormat=6\n[LocInfo]\nLocName=" + name + "\n" + kScan, kBand);
    EXPECT_EQ(0, r.Signal) << r.Err;
    EXPECT_EQ(0, r.ExitCode) << r.Err;
    EXPECT_EQ((std::set<std::string>{"4000.txt", name + ".xml"}), OutputsIn(dir)) << r.Out;
    std::string xml = ReadFile(dir.File(name + ".xml"));
    EXPECT_NE(std::string::npos, xml.find("name=\"&lt;&amp;&quot;&apos;&gt; \\Nord\"")) << xml;
    EXPECT_EQ(1u, CountOf(xml, "<locations>"));
    EXPECT_TRUE(EndsWith(xml, "</locations>\n")) << xml;
}

TEST(HostileConfiguration, LocationNameWithPathSeparatorsStaysInItsDirectory)
{
    // A name that names another directory cannot be opened there: "error !".
    for (const char* format : {"5", "6"}) {
        SCOPED_TRACE(format);
        TempDir dir;
        std::filesystem::create_directory(dir.File("lists"));
        RunResult r = RunInDir(dir, std::string("[Options]\nDevice=0\nTPDir=lists\nReportDir=lists\nIniFormat=") +
                                        format + "\n[LocInfo]\nLocName=no/such/place\n" + kScan, kBand);
        EXPECT_EQ(0, r.Signal) << r.Err;
        EXPECT_EQ(0, r.ExitCode) << r.Err;
        EXPECT_NE(std::string::npos, r.Out.find("lists/no/such/place.")) << r.Out;
        EXPECT_NE(std::string::npos, r.Out.find("error !\n")) << r.Out;
        for (const std::string& file : OutputsIn(dir))
            EXPECT_EQ(0u, file.rfind("lists/", 0)) << file << " written outside lists/";
    }
}

// A name with "../" would lead the list (and with IniFormat 5 the report)
// out of the configured directory: the output stage refuses such a name.
TEST(HostileConfiguration, LocationNameCannotLeaveItsDirectory)
{
    for (const char* format : {"5", "6"}) {
        SCOPED_TRACE(format);
        TempDir dir;
        std::filesystem::create_directory(dir.File("lists"));
        RunResult r = RunInDir(dir, std::string("[Options]\nDevice=0\nTPDir=lists\nReportDir=lists\nIniFormat=") +
                                        format + "\n[LocInfo]\nLocName=../escape\n" + kScan, kBand);
        EXPECT_EQ(0, r.Signal) << r.Err;
        EXPECT_EQ(0, r.ExitCode) << r.Err;
        for (const std::string& file : OutputsIn(dir))
            EXPECT_EQ(0u, file.rfind("lists/", 0)) << file << " written outside lists/";
        std::string list = std::string("Store transponder info in lists/../escape.") +
                           (format[0] == '6' ? "xml" : "ini") + " ...\nerror !\n";
        EXPECT_NE(std::string::npos, r.Out.find(list)) << r.Out;
    }
}

TEST(HostileConfiguration, RepeatingPassesAtExtremeLoopValuesEndOnTheAbortSignal)
{
    // Every nonzero Loop but 1 repeats with unnumbered files; the abort
    // signal ends the run after the pass it arrives in.
    for (const char* loop : {"-1", "2147483648", "4294967295", "2"}) {
        SCOPED_TRACE(loop);
        TempDir dir;
        RunResult r = RunInDir(dir, std::string("[Options]\nDevice=0\nLoop=") + loop + "\n" + kScan, kBand, "",
                               "---------- Pass 3 ----------\n");
        EXPECT_EQ(0, r.Signal) << r.Err;
        EXPECT_EQ(0, r.ExitCode) << r.Out << r.Err;
        EXPECT_NE(std::string::npos, r.Out.find("Terminated on user request ...\n")) << r.Out;
        EXPECT_EQ(kDefaultFiles, OutputsIn(dir));
    }
}

} // namespace
