#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "OutputTestHelpers.h"
#include "output/Report.h"

using namespace tressel;
using namespace outputtest;

namespace {

class ReportTest : public OutputTest {
protected:
    // Writes the records and returns the report's text.
    std::string Write(const std::vector<TransponderInfo>& records, double scanTime = 1.0)
    {
        EXPECT_EQ(WriteReport(path_.c_str(), records.data(), static_cast<uint32_t>(records.size()), scanTime), 0);
        return testsupport::ReadFile(path_);
    }

    std::string path_ = File("4000.txt");
};

TransponderInfo ExampleDvbT2()
{
    TransponderInfo r = Record(kStdDvbT2, 498000);
    r.Bandwidth = 8000;
    r.Spectrum = 1;
    r.Modulation = 22;
    r.Fec = 2;
    r.GuardInterval = 7;
    r.TransmissionMode = 6;
    SetPlps(&r, {0, 1});
    r.S1Signaling = 0;
    r.PilotPattern = 3;
    r.ExtendedBandwidth = 1;
    r.Payload = 3;
    r.FrameLength = 1;
    r.T2Mode = 0;
    r.T2Version = 1;
    r.RfLevel = -48;
    r.Snr = 27.4;
    r.BitRate = 40200000;
    return r;
}

TEST_F(ReportTest, LastBlockAndScanTimeMatchTheReferenceText)
{
    std::vector<TransponderInfo> records = {Record(kStdDvbT, 474000), Record(kStdDvbC, 482000), ExampleDvbT2()};
    std::string text = Write(records, 95.312);
    size_t third = text.find("TP N: 3\n");
    ASSERT_NE(third, std::string::npos);
    EXPECT_EQ(text.substr(third), GoldenFile("report_dvbt2_last_block.txt"));
    EXPECT_EQ(text.rfind("TP N: 1\n", 0), 0u) << "the report has no header";
    EXPECT_NE(text.find("TP N: 2\n"), std::string::npos);
}

TEST_F(ReportTest, SingleDvbTRecord)
{
    TransponderInfo r = Record(kStdDvbT, 474000);
    r.Bandwidth = 7000;
    r.SymbolRate = 6899999;
    r.Spectrum = 2;
    r.Modulation = 20;
    r.Fec = 2;
    r.FecLp = 28;
    r.GuardInterval = 4;
    r.TransmissionMode = 4;
    r.Hierarchy = 3;
    r.RfLevel = -60;
    r.Snr = 28.06;
    r.BitRate = 0;
    EXPECT_EQ(Write({r}, 0.5),
              "TP N: 1\n"
              "Frequency: 474.000 Mhz\n"
              "Bandwidth: 7.000 Mhz\n"
              "Spectrum: Inverted\n"
              "Standard/Modulation: DVB-T/64QAM\n"
              "FEC: 2/3\n"
              "FEC-LP: ?/?\n"
              "Guard Interval: 1/4\n"
              "Transmission Mode: 8K FFT\n"
              "Hierarchy Alpha: 4\n"
              "RF-Level: -60 dBm\n"
              "Signal/Noise: 28.1 dB\n"
              "BitRate: 0.000 Mbit/s\n"
              "----------------------------------------\n"
              "Total Scan Time = 0.500s\n");
}

// Which optional lines each system gets.
TEST_F(ReportTest, BlocksFollowTheSystem)
{
    struct Case {
        uint32_t Standard;
        bool SymbolRate;
        bool DvbT;
        bool DvbT2;
    };
    const Case cases[] = {
        {kStdDvbT, false, true, false}, {kStdDvbT2, false, false, true}, {kStdDvbC, true, false, false},
        {kStdDvbC2, true, false, false}, {1, false, false, false},        {kStdAtsc, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("Standard " + std::to_string(c.Standard));
        TransponderInfo r = Record(c.Standard, 306000);
        r.SymbolRate = 6899999;
        std::string text = Write({r});
        EXPECT_EQ(text.find("Symbol rate: 6899 KS\n") != std::string::npos, c.SymbolRate);
        EXPECT_EQ(text.find("FEC-LP: ") != std::string::npos, c.DvbT);
        EXPECT_EQ(text.find("Hierarchy Alpha: ") != std::string::npos, c.DvbT);
        EXPECT_EQ(text.find("Physical Layer Pipes num: ") != std::string::npos, c.DvbT2);
        EXPECT_EQ(text.find("DVB-T2 Version: ") != std::string::npos, c.DvbT2);
        EXPECT_EQ(text.find("FEC: ") != std::string::npos, c.DvbT || c.DvbT2);
    }
}

TEST_F(ReportTest, PipeIdentifiersOnlyForSeveralPipes)
{
    struct Case {
        std::vector<uint8_t> Ids;
        const char* CountLine;
        const char* IdLine; // null: no identifier line
    };
    const std::vector<Case> cases = {
        {{}, "Physical Layer Pipes num: 0\n", nullptr},
        {{5}, "Physical Layer Pipes num: 1\n", nullptr},
        {{1, 2, 10}, "Physical Layer Pipes num: 3\n", "PLP IDs: 1 2 10\n"},
        {{0, 255}, "Physical Layer Pipes num: 2\n", "PLP IDs: 0 255\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.CountLine);
        TransponderInfo r = Record(kStdDvbT2, 490000);
        r.PlpCount = static_cast<uint32_t>(c.Ids.size());
        for (size_t k = 0; k < c.Ids.size(); ++k)
            r.PlpIds[k] = c.Ids[k];
        std::string text = Write({r});
        EXPECT_NE(text.find(c.CountLine), std::string::npos);
        if (c.IdLine == nullptr)
            EXPECT_EQ(text.find("PLP IDs:"), std::string::npos);
        else
            EXPECT_NE(text.find(c.IdLine), std::string::npos);
    }
}

// The library is not expected to report more than 16 pipes; if it does, the
// count is shown as reported but only the 16 stored identifiers are listed,
// never the bytes that follow the identifiers in the record.
TEST_F(ReportTest, MoreThanSixteenPipesListsTheSixteenStored)
{
    TransponderInfo r = Record(kStdDvbT2, 490000);
    r.PlpCount = 40;
    for (uint8_t k = 0; k < 16; ++k)
        r.PlpIds[k] = static_cast<uint8_t>(100 + k);
    r.PilotPattern = 0xffffffff; // the next field: its bytes must not show up as identifiers
    std::string text = Write({r});
    EXPECT_NE(text.find("Physical Layer Pipes num: 40\n"), std::string::npos);
    EXPECT_NE(text.find("PLP IDs: 100 101 102 103 104 105 106 107 108 109 110 111 112 113 114 115\n"),
              std::string::npos);
}

TEST_F(ReportTest, ReplacesAnExistingFile)
{
    testsupport::WriteFile(path_, std::string(5000, 'x'));
    std::string text = Write({Record(kStdDvbC, 306000)});
    EXPECT_EQ(text.rfind("TP N: 1\n", 0), 0u);
    EXPECT_EQ(text.find('x'), std::string::npos);
}

// Records are numbered from 1 in table order, and each ends with the
// separator.
TEST_F(ReportTest, NumbersBlocksInTableOrder)
{
    std::vector<TransponderInfo> records = {Record(kStdDvbC, 314000), Record(kStdDvbC, 306000)};
    std::vector<std::string> lines = Lines(Write(records));
    std::vector<std::string> numbers;
    size_t separators = 0;
    for (const std::string& line : lines) {
        if (line.rfind("TP N: ", 0) == 0 || line.rfind("Frequency: ", 0) == 0)
            numbers.push_back(line);
        if (line == std::string(40, '-'))
            ++separators;
    }
    EXPECT_EQ(numbers, (std::vector<std::string>{"TP N: 1", "Frequency: 314.000 Mhz", "TP N: 2",
                                                 "Frequency: 306.000 Mhz"}));
    EXPECT_EQ(separators, 2u);
}

TEST_F(ReportTest, MissingArgumentsTouchNoFile)
{
    testsupport::WriteFile(path_, "previous");
    TransponderInfo r = Record(kStdDvbC, 306000);
    EXPECT_EQ(WriteReport(nullptr, &r, 1, 1.0), -1);
    EXPECT_EQ(WriteReport(path_.c_str(), nullptr, 1, 1.0), -1);
    EXPECT_EQ(WriteReport(path_.c_str(), &r, 0, 1.0), -1);
    EXPECT_EQ(testsupport::ReadFile(path_), "previous");
    EXPECT_TRUE(testsupport::TempFilesBeside(path_).empty());
}

TEST_F(ReportTest, MissingDirectoryFailsToOpen)
{
    TransponderInfo r = Record(kStdDvbC, 306000);
    std::string path = File("missing/4000.txt");
    EXPECT_EQ(WriteReport(path.c_str(), &r, 1, 1.0), -2);
    EXPECT_FALSE(testsupport::FileExists(path));
}

// Absurd values are printed in full: the report has no fixed fields.
TEST_F(ReportTest, ExtremeValuesAreWrittenWhole)
{
    TransponderInfo r = Record(kStdDvbC, 4294967295u);
    r.Snr = 1e300;
    r.RfLevel = INT32_MIN;
    r.BitRate = 4294967295u;
    std::string text = Write({r});
    EXPECT_NE(text.find("Frequency: 4294967.295 Mhz\n"), std::string::npos);
    EXPECT_NE(text.find("RF-Level: -2147483648 dBm\n"), std::string::npos);
    EXPECT_NE(text.find("BitRate: 4294.967 Mbit/s\n"), std::string::npos);
    char snr[400];
    std::snprintf(snr, sizeof snr, "Signal/Noise: %.1f dB\n", 1e300);
    EXPECT_GT(std::string(snr).size(), 300u);
    EXPECT_NE(text.find(snr), std::string::npos);
    EXPECT_NE(text.find("Total Scan Time = "), std::string::npos);
}

} // namespace
