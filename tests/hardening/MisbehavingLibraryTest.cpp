// A tuner library that misbehaves, end to end: the built program against the
// virtual tuner with fault plans. Every run must end with its documented
// message and exit code, never a crash, never a record past the table, and
// never a partial file where a complete one was promised.
#include <gtest/gtest.h>

#include <string>

#include "hardening/HardeningSupport.h"

using hardening::CountOf;
using hardening::EndsWith;
using hardening::OutputsIn;
using hardening::RunInDir;
using hardening::Scan;
using hardening::Transponders;
using testsupport::ExitStatus;
using testsupport::ReadFile;
using testsupport::RunResult;
using testsupport::TempDir;

namespace {

const std::string kFastOptions = "[Options]\nDevice=0\nFastScan=1\n";
const std::string kSteppedOptions = "[Options]\nDevice=0\nFastScan=0\n";

// The report of a pass holds one block per record and ends with its time.
void ExpectCompleteReport(const TempDir& dir, const std::string& name, size_t records)
{
    std::string report = ReadFile(dir.File(name));
    EXPECT_EQ(records, CountOf(report, "TP N: ")) << name;
    EXPECT_NE(std::string::npos, report.find("TP N: " + std::to_string(records) + "\n")) << name;
    EXPECT_NE(std::string::npos, report.rfind("\nTotal Scan Time = ")) << name;
    EXPECT_TRUE(EndsWith(report, "s\n")) << name;
}

TEST(MisbehavingLibrary, CountWordBeyondTheRoomIsClamped)
{
    struct Case {
        const char* Name;
        std::string CountWord;
        std::string Scans;
        size_t Total;
        bool TableFull;
    } cases[] = {
        {"all bits", "4294967295", Scan(0, 100000, 116000), 200, true},
        {"sign bit", "2147483648", Scan(0, 100000, 116000), 200, true},
        {"negative", "-1", Scan(0, 100000, 116000), 200, true},
        {"one past the table", "201", Scan(0, 100000, 116000), 200, true},
        {"exactly the table", "200", Scan(0, 100000, 116000), 200, true},
        // The count word is what the pass counts, even when it is less than
        // the library stored.
        {"fewer than stored", "1", Scan(0, 100000, 116000), 1, false},
        {"zero", "0", Scan(0, 100000, 116000), 0, false},
        // Both intervals claim everything: the first fills the table, the
        // second is never reached.
        {"second interval never reached", "4294967295", Scan(0, 100000, 108000) + Scan(1, 116000, 120000), 200,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        RunResult r = RunInDir(dir, kFastOptions + c.Scans,
                               "[Faults]\nCountWord=" + c.CountWord + "\n" + Transponders(3));
        EXPECT_EQ(0, r.Signal) << r.Err;
        EXPECT_EQ(0, r.ExitCode) << r.Out << r.Err;
        EXPECT_EQ(c.TableFull ? 1u : 0u, CountOf(r.Out, "Transponder table full !\n")) << r.Out;
        EXPECT_EQ(std::string::npos, r.Out.find("Scan interval 1\nFrom")) << "interval after a full table ran";
        if (c.Total == 0) {
            EXPECT_NE(std::string::npos, r.Out.find("Transponders not found !\n")) << r.Out;
            EXPECT_TRUE(OutputsIn(dir).empty());
            continue;
        }
        EXPECT_NE(std::string::npos, r.Out.find("Total tranponders found = " + std::to_string(c.Total) + "\n"))
            << r.Out;
        EXPECT_EQ((std::set<std::string>{"4000.txt", "4000.ini"}), OutputsIn(dir));
        ExpectCompleteReport(dir, "4000.txt", c.Total);
    }
}

TEST(MisbehavingLibrary, MoreThanATableOfTranspondersFastScan)
{
    // 250 transponders from 100 MHz to 2092 MHz.
    struct Case {
        const char* Name;
        std::string Scans;
        const char* LastIntervalShown;
    } cases[] = {
        {"one interval", Scan(0, 100000, 2092000), "Scan interval 0\nFrom"},
        // 150 in the first interval, 100 offered in the second: 50 fit.
        {"two intervals", Scan(0, 100000, 1292000) + Scan(1, 1300000, 2092000) + Scan(2, 3000000, 3100000),
         "Scan interval 1\nFrom"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        RunResult r = RunInDir(dir, kFastOptions + c.Scans, Transponders(250));
        EXPECT_EQ(0, r.Signal) << r.Err;
        EXPECT_EQ(0, r.ExitCode) << r.Err;
        EXPECT_EQ(200u, CountOf(r.Out, " Mhz, BW 8 Mhz, DVB-T/")) << "one line per stored record";
        EXPECT_EQ(1u, CountOf(r.Out, "Transponder table full !\n")) << r.Out;
        EXPECT_NE(std::string::npos, r.Out.find(c.LastIntervalShown));
        EXPECT_EQ(std::string::npos, r.Out.find("Scan interval 2")) << "the pass ends with a full table";
        EXPECT_NE(std::string::npos, r.Out.find("Total tranponders found = 200\n")) << r.Out;
        EXPECT_EQ((std::set<std::string>{"4000.txt", "4000.ini"}), OutputsIn(dir));
        ExpectCompleteReport(dir, "4000.txt", 200);
        // Sorted and complete: the 200 lowest frequencies, the last at 1692 MHz.
        std::string report = ReadFile(dir.File("4000.txt"));
        EXPECT_NE(std::string::npos, report.find("TP N: 200\nFrequency: 1692.000 Mhz\n"));
        EXPECT_EQ(std::string::npos, report.find("Frequency: 1700.000 Mhz"));
    }
}

TEST(MisbehavingLibrary, FailingCallInTheMiddleOfAnEngine)
{
    // The first interval finds two transponders; the failure comes in the
    // second, so the run ends with records in the table that are never
    // sorted or written.
    const std::string scans = Scan(0, 100000, 108000) + Scan(1, 116000, 124000);
    struct Case {
        const char* Name;
        std::string Options;
        std::string Fault;
        std::string OutTail;
    } cases[] = {
        {"tune", kSteppedOptions, "SetChannel2Ex=3", "Scan interval 1\nFrom 116.000 to 124.000 Mhz, Step 8 Mhz\n"
                                                     "116.000 Mhz ... error !"},
        {"signal", kSteppedOptions, "SignalInfo2=4",
         "116.000 Mhz ... \n124.000 Mhz ... error !"},
        {"sweep", kFastOptions, "Tressel=2", "Scan interval 1\nFrom 116.000 to 124.000 Mhz, Step 8 Mhz\nerror !"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        // The third transponder lies off the second interval's grid when
        // tuned step by step, so its first channel locks nothing.
        std::string band = "[Faults]\n" + c.Fault + "\n" + hardening::Transponder(0, 100000) +
                           hardening::Transponder(1, 108000) + hardening::Transponder(2, 140000);
        RunResult r = RunInDir(dir, c.Options + scans, band);
        EXPECT_EQ(0, r.Signal) << r.Err;
        EXPECT_EQ(0, r.ExitCode) << r.Err;
        EXPECT_TRUE(EndsWith(r.Out, c.OutTail)) << r.Out;
        EXPECT_EQ(std::string::npos, r.Out.find("Total Scan Time")) << r.Out;
        EXPECT_TRUE(OutputsIn(dir).empty()) << "a failed run writes nothing";
    }
}

TEST(MisbehavingLibrary, LibraryWithoutAnExportWritesNothing)
{
    TempDir dir;
    testsupport::WriteFile(dir.File("Tressel.ini"), kFastOptions + Scan(0, 100000, 108000));
    testsupport::RunOptions options;
    options.Args = {"Tressel.ini"};
    options.WorkDir = dir.Path();
    options.Env = {{"TRESSEL_TUNER_LIBRARY", testsupport::BinDir() + "/libMissingExport.so"}};
    RunResult r = testsupport::Run(options);
    EXPECT_EQ(0, r.Signal);
    EXPECT_EQ(ExitStatus(-1), r.ExitCode);
    EXPECT_NE(std::string::npos, r.Err.find("Tressel")) << r.Err;
    EXPECT_EQ(std::string::npos, r.Out.find("Scan interval")) << r.Out;
    EXPECT_TRUE(OutputsIn(dir).empty());
}

// Deterministic noise: a linear congruential sequence of bytes.
std::string Noise(size_t size, unsigned seed, bool withBrackets)
{
    std::string bytes;
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        char c = static_cast<char>(seed >> 16);
        if (!withBrackets && c == '[')
            c = ']';
        bytes += c;
    }
    return bytes;
}

TEST(MisbehavingLibrary, GarbageBandFile)
{
    // Garbage in a section the band uses is refused: no devices.
    struct Refused {
        const char* Name;
        std::string Band;
    } refused[] = {
        {"binary frequency", "[Transponder0]\nFrequency=" + Noise(40, 7, false) + "\n"},
        {"binary device count", "[Devices]\nCount=\x01\x02\xff\n"},
        {"binary snr", "[Transponder0]\nFrequency=474000\nSnr=\xfe\xff" + Noise(20, 3, false) + "\n"},
        {"plp list of noise", "[Transponder0]\nFrequency=474000\nPlpIds=" + Noise(200, 11, false) + "\n"},
        {"noise then a bad fault plan", Noise(3000, 5, false) + "\n[Faults]\nTressel=x\n"},
    };
    for (const Refused& c : refused) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        RunResult r = RunInDir(dir, kFastOptions + Scan(0, 100000, 108000), c.Band);
        EXPECT_EQ(0, r.Signal) << r.Err;
        EXPECT_EQ(ExitStatus(-2), r.ExitCode) << r.Out << r.Err;
        EXPECT_TRUE(EndsWith(r.Out, "No devices !\n")) << r.Out;
        EXPECT_EQ(1u, CountOf(r.Err, "virtual tuner: ")) << r.Err;
        EXPECT_TRUE(OutputsIn(dir).empty());
    }
    // Noise with no section header in it holds no key at all: the band has
    // its default device and nothing on the air. Noise with headers may be
    // read either way; neither may crash the program or leave files.
    for (unsigned seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE("noise seed " + std::to_string(seed));
        TempDir dir;
        bool brackets = seed > 3;
        RunResult r = RunInDir(dir, kFastOptions + Scan(0, 100000, 108000), Noise(20000, seed, brackets));
        EXPECT_EQ(0, r.Signal) << r.Err;
        if (!brackets) {
            EXPECT_EQ(0, r.ExitCode) << r.Out << r.Err;
            EXPECT_TRUE(EndsWith(r.Out, "Transponders not found !\n\n\n")) << r.Out;
        } else {
            EXPECT_TRUE(r.ExitCode == 0 || r.ExitCode == ExitStatus(-2)) << r.ExitCode;
        }
        EXPECT_TRUE(OutputsIn(dir).empty());
    }
}

} // namespace
