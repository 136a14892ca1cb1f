#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "OutputTestHelpers.h"
#include "common/Text.h"
#include "driver/WritePassOutput.h"

using namespace tressel;
using namespace outputtest;

namespace {

ScanSettings Settings(int32_t loop, int32_t iniFormat, int32_t locPos = 4000, const char* dir = "")
{
    ScanSettings s = {};
    s.LocPos = locPos;
    CopyText(s.LocName, sizeof s.LocName, "Europe");
    s.IniFormat = iniFormat;
    s.InfoFormat = 0;
    CopyText(s.ReportDir, sizeof s.ReportDir, dir);
    CopyText(s.TPDir, sizeof s.TPDir, dir);
    s.Loop = loop;
    return s;
}

TEST(OutputFileNames, ByLoopFormatAndPosition)
{
    struct Case {
        int32_t Loop;
        int32_t IniFormat;
        int32_t LocPos;
        uint32_t Pass;
        const char* Report;
        const char* List;
    };
    const Case cases[] = {
        {1, 0, 4000, 1, "4000_1.txt", "4000_1.ini"},
        {1, 0, 4000, 2, "4000_2.txt", "4000_2.ini"},
        {1, 5, 4000, 3, "Europe_3.txt", "Europe_3.ini"},
        {1, 6, 4000, 4, "4000_4.txt", "Europe_4.xml"},
        {1, 3, 130, 12, "0130_12.txt", "0130_12.ini"},
        {0, 0, 4000, 1, "4000.txt", "4000.ini"},
        {0, 5, 4000, 1, "Europe.txt", "Europe.ini"},
        {0, 6, 4000, 1, "4000.txt", "Europe.xml"},
        {0, 7, 12345, 1, "12345.txt", "12345.ini"},
        {2, 0, 4000, 5, "4000.txt", "4000.ini"},
        {2, 6, 4000, 5, "4000.txt", "Europe.xml"},
        {-1, 5, 4000, 5, "Europe.txt", "Europe.ini"},
        {0, 0, -1, 1, "4294967295.txt", "4294967295.ini"},
        {0, 0, 7, 1, "0007.txt", "0007.ini"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("Loop " + std::to_string(c.Loop) + ", IniFormat " + std::to_string(c.IniFormat) + ", pass " +
                     std::to_string(c.Pass));
        ScanSettings s = Settings(c.Loop, c.IniFormat, c.LocPos);
        char name[kPathCapacity];
        EXPECT_GT(BuildReportFileName(name, sizeof name, &s, c.Pass), 0);
        EXPECT_STREQ(name, c.Report);
        EXPECT_GT(BuildTpListFileName(name, sizeof name, &s, c.Pass), 0);
        EXPECT_STREQ(name, c.List);

        CopyText(s.ReportDir, sizeof s.ReportDir, "out/");
        CopyText(s.TPDir, sizeof s.TPDir, "lists/");
        EXPECT_GT(BuildReportFileName(name, sizeof name, &s, c.Pass), 0);
        EXPECT_EQ(std::string(name), std::string("out/") + c.Report);
        EXPECT_GT(BuildTpListFileName(name, sizeof name, &s, c.Pass), 0);
        EXPECT_EQ(std::string(name), std::string("lists/") + c.List);
    }
}

TEST(CompareFrequency, OrdersUnsigned)
{
    TransponderInfo low = Record(kStdDvbT, 1);
    TransponderInfo high = Record(kStdDvbT, 0x80000000u);
    TransponderInfo same = Record(kStdDvbC, 1);
    EXPECT_EQ(CompareFrequency(&low, &high), -1);
    EXPECT_EQ(CompareFrequency(&high, &low), 1);
    EXPECT_EQ(CompareFrequency(&low, &same), 0);
}

class WritePassOutputTest : public OutputTest {
protected:
    std::string Dir() const { return dir_.Path() + "/"; }

    std::string Run(std::vector<TransponderInfo>* records, const ScanSettings& settings, uint32_t pass = 1)
    {
        testsupport::ConsoleCapture console;
        WritePassOutput(records->data(), static_cast<uint32_t>(records->size()), pass, 12.5, &settings);
        return console.Text();
    }
};

// The table is sorted before anything is written; the report shows the
// frequencies as found and the list the rounded ones, and records with equal
// frequencies both stay.
TEST_F(WritePassOutputTest, SortsAnnouncesAndWritesBothFiles)
{
    std::vector<TransponderInfo> records = {Record(kStdDvbT, 490000), Record(kStdDvbC, 306166),
                                            Record(kStdDvbT2, 474000), Record(kStdDvbC, 306166)};
    ScanSettings settings = Settings(0, 0, 4000, Dir().c_str());
    std::string console = Run(&records, settings);
    EXPECT_EQ(console, "Total tranponders found = 4\n"
                       "Report detailed transponder info to " +
                           Dir() + "4000.txt ...\n"
                                   "Store transponder info in " +
                           Dir() + "4000.ini ...\n");
    std::string report = testsupport::ReadFile(Dir() + "4000.txt");
    std::vector<std::string> frequencies;
    for (const std::string& line : Lines(report))
        if (line.rfind("Frequency: ", 0) == 0)
            frequencies.push_back(line);
    EXPECT_EQ(frequencies, (std::vector<std::string>{"Frequency: 306.166 Mhz", "Frequency: 306.166 Mhz",
                                                     "Frequency: 474.000 Mhz", "Frequency: 490.000 Mhz"}));
    EXPECT_NE(report.find("Total Scan Time = 12.500s\n"), std::string::npos);
    EXPECT_EQ(testsupport::ReadFile(Dir() + "4000.ini"),
              "[SATTYPE]\n1=4000\n2=Europe\n\n[DVB]\n0=4\n1=306000,0\n2=306000,0\n3=474000,0\n4=490000,0\n");
    EXPECT_EQ(records[0].Frequency, 306000u);
    EXPECT_EQ(records[3].Frequency, 490000u);
}

TEST_F(WritePassOutputTest, NumberedPassesKeepEveryPassesFiles)
{
    ScanSettings settings = Settings(1, 0, 4000, Dir().c_str());
    for (uint32_t pass = 1; pass <= 2; ++pass) {
        std::vector<TransponderInfo> records = {Record(kStdDvbT, 474000 + pass * 8000)};
        Run(&records, settings, pass);
    }
    for (const char* name : {"4000_1.txt", "4000_1.ini", "4000_2.txt", "4000_2.ini"})
        EXPECT_TRUE(testsupport::FileExists(Dir() + name)) << name;
    EXPECT_NE(testsupport::ReadFile(Dir() + "4000_1.ini").find("1=482000,0"), std::string::npos);
    EXPECT_NE(testsupport::ReadFile(Dir() + "4000_2.ini").find("1=490000,0"), std::string::npos);
}

TEST_F(WritePassOutputTest, RepeatedPassesReplaceTheFiles)
{
    ScanSettings settings = Settings(2, 6, 4000, Dir().c_str());
    for (uint32_t pass = 1; pass <= 2; ++pass) {
        std::vector<TransponderInfo> records = {Record(kStdDvbT, 474000 + pass * 8000)};
        Run(&records, settings, pass);
    }
    EXPECT_NE(testsupport::ReadFile(Dir() + "4000.txt").find("Frequency: 490.000 Mhz"), std::string::npos);
    std::string list = testsupport::ReadFile(Dir() + "Europe.xml");
    EXPECT_NE(list.find("centre_frequency=\"490000000\""), std::string::npos);
    EXPECT_EQ(list.find("centre_frequency=\"482000000\""), std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.Path()), std::filesystem::directory_iterator()),
              2);
}

// A missing directory fails its own file only.
TEST_F(WritePassOutputTest, MissingDirectoryFailsOnlyItsFile)
{
    struct Case {
        const char* What;
        std::string ReportDir;
        std::string ListDir;
        bool ReportFails;
        bool ListFails;
    };
    const Case cases[] = {
        {"report dir missing", Dir() + "out/", Dir(), true, false},
        {"list dir missing", Dir(), Dir() + "lists/", false, true},
        {"both missing", Dir() + "out/", Dir() + "lists/", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        std::filesystem::remove(Dir() + "4000.txt");
        std::filesystem::remove(Dir() + "4000.ini");
        ScanSettings settings = Settings(0, 0);
        CopyText(settings.ReportDir, sizeof settings.ReportDir, c.ReportDir.c_str());
        CopyText(settings.TPDir, sizeof settings.TPDir, c.ListDir.c_str());
        std::vector<TransponderInfo> records = {Record(kStdDvbC, 306000)};
        std::string expected = "Total tranponders found = 1\n"
                               "Report detailed transponder info to " +
                               c.ReportDir + "4000.txt ...\n" + (c.ReportFails ? "error !\n" : "") +
                               "Store transponder info in " + c.ListDir + "4000.ini ...\n" +
                               (c.ListFails ? "error !\n" : "");
        EXPECT_EQ(Run(&records, settings), expected);
        EXPECT_EQ(testsupport::FileExists(Dir() + "4000.txt"), !c.ReportFails);
        EXPECT_EQ(testsupport::FileExists(Dir() + "4000.ini"), !c.ListFails);
    }
}

// A name of 259 characters is written; one character more is announced as
// far as it fits and refused, so that no file is written under a cut name.
TEST_F(WritePassOutputTest, NameLongerThanItsFieldIsRefused)
{
    // A directory whose full path leaves room for exactly "4000.ini" (8
    // characters) within 259, or one character less.
    auto makeDir = [this](size_t nameRoom) {
        std::string dir = Dir();
        size_t component = kPathCapacity - 1 - nameRoom - dir.size() - 1;
        dir += std::string(component, 'd') + "/";
        mkdir(dir.c_str(), 0700);
        return dir;
    };
    std::string fits = makeDir(8);
    ASSERT_EQ(fits.size() + 8, 259u);
    ScanSettings settings = Settings(0, 0);
    CopyText(settings.ReportDir, sizeof settings.ReportDir, Dir().c_str());
    CopyText(settings.TPDir, sizeof settings.TPDir, fits.c_str());
    std::vector<TransponderInfo> records = {Record(kStdDvbC, 306000)};
    std::string console = Run(&records, settings);
    EXPECT_EQ(console.find("error !"), std::string::npos) << console;
    EXPECT_TRUE(testsupport::FileExists(fits + "4000.ini"));

    std::string tooLong = makeDir(7);
    ASSERT_EQ(tooLong.size() + 8, 260u);
    CopyText(settings.TPDir, sizeof settings.TPDir, tooLong.c_str());
    console = Run(&records, settings);
    EXPECT_EQ(console, "Total tranponders found = 1\n"
                       "Report detailed transponder info to " +
                           Dir() + "4000.txt ...\n"
                                   "Store transponder info in " +
                           tooLong + "4000.in ...\nerror !\n");
    EXPECT_TRUE(std::filesystem::is_empty(tooLong));
}

// Configuration text reaches the console and the files as data only.
TEST_F(WritePassOutputTest, LocationNameIsNeverAFormat)
{
    ScanSettings settings = Settings(0, 5, 4000, Dir().c_str());
    CopyText(settings.LocName, sizeof settings.LocName, "%s%n%x");
    std::vector<TransponderInfo> records = {Record(kStdDvbT, 474000)};
    std::string console = Run(&records, settings);
    EXPECT_NE(console.find("Report detailed transponder info to " + Dir() + "%s%n%x.txt ...\n"), std::string::npos);
    EXPECT_EQ(Lines(testsupport::ReadFile(Dir() + "%s%n%x.ini"))[0], "# %s%n%x");
}

} // namespace
