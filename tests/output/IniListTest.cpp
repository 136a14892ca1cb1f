#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "OutputTestHelpers.h"
#include "output/TpList.h"

using namespace tressel;
using namespace outputtest;

namespace {

class IniListTest : public OutputTest {
protected:
    std::string Write(std::vector<TransponderInfo> records, uint32_t format, uint32_t commentFormat,
                      uint32_t position = 4000, const char* name = "Europe")
    {
        EXPECT_EQ(WriteTpList(name, records.data(), format, path_.c_str(), position,
                              static_cast<uint32_t>(records.size()), commentFormat),
                  0);
        return testsupport::ReadFile(path_);
    }

    std::string path_ = File("4000.ini");
};

TransponderInfo Cable(uint32_t frequency, uint32_t symbolRate, int32_t rfLevel, double snr)
{
    TransponderInfo r = Record(kStdDvbC, frequency);
    r.SymbolRate = symbolRate;
    r.RfLevel = rfLevel;
    r.Snr = snr;
    return r;
}

std::vector<TransponderInfo> TwoCableTransponders()
{
    return {Cable(306000, 6900000, -52, 31.4), Cable(314000, 6875000, -50, 30.9)};
}

TEST_F(IniListTest, ReferenceListWithLevelSnrAndDate)
{
    EXPECT_EQ(Write(TwoCableTransponders(), 1, 3), GoldenFile("ini_list_format1_info3.ini"));
}

// The comment: content by the comment format, form by the list format.
TEST_F(IniListTest, CommentFormsAndContents)
{
    struct Case {
        uint32_t Format;
        uint32_t CommentFormat;
        const char* FirstLine;
    };
    const Case cases[] = {
        {1, 0, "1=306000,6900"},
        {1, 1, "1=306000,6900 ;-52 dBm, 31.4 dB"},
        {1, 2, "1=306000,6900 ;9:5 - 07/03/2014"},
        {1, 3, "1=306000,6900 ;-52 dBm, 31.4 dB; 9:5 - 07/03/2014"},
        {1, 4, "1=306000,6900 ;31.4 dB"},
        {1, 5, "1=306000,6900 ;31.4 dB; 9:5 - 07/03/2014"},
        {1, 6, "1=306000,6900"},
        {1, 4294967295u, "1=306000,6900"},
        {3, 1, "1=306000,6900,|-52 dBm, 31.4 dB"},
        {3, 2, "1=306000,6900,|9:5 - 07/03/2014"},
        {3, 3, "1=306000,6900,|-52 dBm, 31.4 dB; 9:5 - 07/03/2014"},
        {3, 4, "1=306000,6900,|31.4 dB"},
        {3, 5, "1=306000,6900,|31.4 dB; 9:5 - 07/03/2014"},
        {0, 3, "1=306000,6900"},
        {2, 3, "1=306000,6900"},
        {4, 3, "1=306000,6900"},
        {7, 3, "1=306000,6900"},
        {9, 5, "1=306000,6900"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("IniFormat " + std::to_string(c.Format) + ", InfoFormat " + std::to_string(c.CommentFormat));
        std::vector<std::string> lines = Lines(Write(TwoCableTransponders(), c.Format, c.CommentFormat));
        ASSERT_EQ(lines.size(), 8u);
        EXPECT_EQ(lines[6], c.FirstLine);
    }
}

TEST_F(IniListTest, FormatsWithoutCommentsGiveTheSameFile)
{
    std::string reference = Write(TwoCableTransponders(), 0, 3);
    EXPECT_EQ(reference, "[SATTYPE]\n1=4000\n2=Europe\n\n[DVB]\n0=2\n1=306000,6900\n2=314000,6875\n");
    for (uint32_t format : {2u, 4u, 9u, 4294967295u}) {
        SCOPED_TRACE(format);
        EXPECT_EQ(Write(TwoCableTransponders(), format, 3), reference);
    }
}

// The INI line is the same for every system: position, kHz, kS/s.
TEST_F(IniListTest, EverySystemGetsTheSameLine)
{
    std::vector<TransponderInfo> records;
    for (uint32_t standard : {1u, kStdDvbT, kStdDvbT2, kStdDvbC, kStdDvbC2, kStdAtsc, 11u, kStdIsdbT}) {
        TransponderInfo r = Record(standard, 474000);
        r.SymbolRate = 6875000;
        SetPlps(&r, {1, 2, 3});
        records.push_back(r);
    }
    std::vector<std::string> lines = Lines(Write(records, 0, 0));
    ASSERT_EQ(lines.size(), 6u + records.size());
    EXPECT_EQ(lines[5], "0=8");
    for (size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(lines[6 + i], std::to_string(i + 1) + "=474000,6875");
}

TEST_F(IniListTest, FrequenciesRoundToTheRasterInTheFileAndTheRecords)
{
    const uint32_t given[] = {474166, 474200, 474201, 474700, 474750, 474000, 474500, 499};
    const uint32_t rounded[] = {474000, 474000, 474500, 474500, 475000, 474000, 474500, 500};
    std::vector<TransponderInfo> records;
    for (uint32_t f : given)
        records.push_back(Record(kStdDvbT, f));
    EXPECT_EQ(WriteTpList("Europe", records.data(), 0, path_.c_str(), 4000, static_cast<uint32_t>(records.size()), 0),
              0);
    std::vector<std::string> lines = Lines(testsupport::ReadFile(path_));
    for (size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(given[i]);
        EXPECT_EQ(records[i].Frequency, rounded[i]);
        EXPECT_EQ(lines[6 + i], std::to_string(i + 1) + "=" + std::to_string(rounded[i]) + ",0");
    }
}

TEST(ListRounding, Frequency)
{
    const std::pair<uint32_t, uint32_t> cases[] = {
        {474166, 474000}, {474200, 474000}, {474201, 474500}, {474700, 474500},
        {474750, 475000}, {0, 0},           {200, 0},         {201, 500},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RoundFrequencyKhz(c.first), c.second) << c.first;
}

TEST(ListRounding, SymbolRate)
{
    const std::pair<uint32_t, uint32_t> cases[] = {
        {6900000, 6900},   {6875000, 6875},   {27499000, 27500}, {27504000, 27500}, {27505000, 27505},
        {10006000, 10010}, {10000999, 10000}, {999, 0},          {0, 0},            {10001000, 10000},
        {10009000, 10010}, {9999000, 9999},   {27501999, 27500}, {4294967295u, 4294970},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RoundSymbolRateKs(c.first), c.second) << c.first;
}

TEST_F(IniListTest, PositionIsZeroPaddedToFourDigits)
{
    const std::pair<uint32_t, const char*> cases[] = {
        {7, "1=0007"}, {130, "1=0130"}, {12345, "1=12345"}, {4294967295u, "1=4294967295"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(Lines(Write(TwoCableTransponders(), 0, 0, c.first))[1], c.second);
    }
}

// The location name is data: a percent sign in it is written, not expanded.
TEST_F(IniListTest, LocationNameIsWrittenAsItStands)
{
    EXPECT_EQ(Lines(Write(TwoCableTransponders(), 0, 0, 4000, "100% %s %n"))[2], "2=100% %s %n");
}

TEST_F(IniListTest, DateStampHasNoLeadingZeroOnHourAndMinute)
{
    const struct {
        LocalTime Now;
        const char* Comment;
    } cases[] = {
        {{2014, 3, 7, 9, 5}, " ;9:5 - 07/03/2014"},
        {{2014, 3, 7, 14, 3}, " ;14:3 - 07/03/2014"},
        {{1999, 12, 31, 0, 0}, " ;0:0 - 31/12/1999"},
        {{2024, 1, 1, 23, 59}, " ;23:59 - 01/01/2024"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Comment);
        gFakeNow = c.Now;
        std::vector<std::string> lines = Lines(Write(TwoCableTransponders(), 1, 2));
        EXPECT_EQ(lines[6], std::string("1=306000,6900") + c.Comment);
        EXPECT_EQ(lines[7], std::string("2=314000,6875") + c.Comment);
    }
}

// The stamp is read once per file: a clock that moves between records does
// not change it.
int gTimeReads = 0;
int MovingLocalTime(LocalTime* out)
{
    *out = {2014, 3, 7, 9, static_cast<uint32_t>(5 + gTimeReads++)};
    return 0;
}

TEST_F(IniListTest, DateStampIsTheSameOnEveryLine)
{
    gTimeReads = 0;
    gServices.LocalTimeNow = MovingLocalTime;
    std::vector<std::string> lines = Lines(Write(TwoCableTransponders(), 1, 2));
    EXPECT_EQ(lines[6], "1=306000,6900 ;9:5 - 07/03/2014");
    EXPECT_EQ(lines[7], "2=314000,6875 ;9:5 - 07/03/2014");
}

TEST_F(IniListTest, SignalTextSignAndOneDecimal)
{
    std::vector<TransponderInfo> records = {Cable(306000, 6900000, -7, 0.04), Cable(314000, 6900000, 3, -1.25)};
    std::vector<std::string> lines = Lines(Write(records, 1, 1));
    EXPECT_EQ(lines[6], "1=306000,6900 ;-7 dBm, 0.0 dB");
    EXPECT_EQ(lines[7], "2=314000,6900 ;3 dBm, -1.2 dB");
}

// A signal of absurd magnitude is cut to its 80-character field and the
// comment to its own, without touching anything beyond them.
TEST_F(IniListTest, AbsurdSignalIsCutToItsField)
{
    char expected[400];
    std::snprintf(expected, sizeof expected, "%d dBm, %.1f dB", INT32_MIN, 1e300);

    std::vector<TransponderInfo> records = {Cable(306000, 6900000, INT32_MIN, 1e300)};
    std::vector<std::string> lines = Lines(Write(records, 1, 3));
    ASSERT_EQ(lines.size(), 7u);
    std::string signal = std::string(expected).substr(0, 79);
    std::string comment = (" ;" + signal + "; 9:5 - 07/03/2014").substr(0, 79);
    EXPECT_EQ(lines[6], "1=306000,6900" + comment);
}

TEST_F(IniListTest, FormatCommentFillsOnlyItsField)
{
    TpLineFields fields;
    std::memset(&fields, 'Z', sizeof fields);
    std::memset(fields.SignalText, '9', sizeof fields.SignalText - 1);
    fields.SignalText[sizeof fields.SignalText - 1] = '\0';
    FormatComment(&fields, 5, 3, "9:5 - 07/03/2014");
    EXPECT_EQ(std::strlen(fields.CommentText), sizeof fields.CommentText - 1);
    EXPECT_EQ(std::string(fields.CommentText, 3), " # ");
    EXPECT_EQ(fields.HierText[0], 'Z');
    EXPECT_EQ(fields.SignalText[0], '9');
}

TEST_F(IniListTest, BadArgumentsTouchNothing)
{
    testsupport::WriteFile(path_, "previous");
    std::vector<TransponderInfo> records = TwoCableTransponders();
    EXPECT_EQ(WriteTpList("Europe", records.data(), 0, nullptr, 4000, 2, 0), -1);
    EXPECT_EQ(WriteTpList("Europe", nullptr, 0, path_.c_str(), 4000, 2, 0), -1);
    EXPECT_EQ(WriteTpList("Europe", records.data(), 0, path_.c_str(), 4000, 0, 0), -1);
    EXPECT_EQ(testsupport::ReadFile(path_), "previous");
    EXPECT_EQ(records[0].Frequency, 306000u);
    EXPECT_TRUE(testsupport::TempFilesBeside(path_).empty());
}

TEST_F(IniListTest, MissingDirectoryFailsToOpen)
{
    std::vector<TransponderInfo> records = TwoCableTransponders();
    std::string path = File("missing/4000.ini");
    EXPECT_EQ(WriteTpList("Europe", records.data(), 0, path.c_str(), 4000, 2, 0), -2);
    EXPECT_FALSE(testsupport::FileExists(path));
}

} // namespace
