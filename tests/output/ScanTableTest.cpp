#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "OutputTestHelpers.h"
#include "output/TpList.h"

using namespace tressel;
using namespace outputtest;

namespace {

class ScanTableTest : public OutputTest {
protected:
    std::vector<std::string> WriteLines(std::vector<TransponderInfo> records, uint32_t commentFormat,
                                        const char* name = "Europe")
    {
        EXPECT_EQ(WriteTpList(name, records.data(), kListScanTable, path_.c_str(), 4000,
                              static_cast<uint32_t>(records.size()), commentFormat),
                  0);
        return Lines(testsupport::ReadFile(path_));
    }

    std::string path_ = File("Europe.ini");
};

std::vector<std::string> Words(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    std::string word;
    while (in >> word)
        words.push_back(word);
    return words;
}

TEST_F(ScanTableTest, ReferenceTable)
{
    TransponderInfo t = Record(kStdDvbT, 474000);
    t.Bandwidth = 8000;
    t.Fec = 2;
    t.Modulation = 20;
    t.TransmissionMode = 4;
    t.GuardInterval = 4;
    t.Snr = 28.1;
    TransponderInfo t2 = Record(kStdDvbT2, 490000);
    t2.Bandwidth = 8000;
    t2.Fec = 13;
    t2.Modulation = 22;
    t2.TransmissionMode = 6;
    t2.GuardInterval = 7;
    SetPlps(&t2, {0, 1});
    t2.Snr = 30.2;
    TransponderInfo c = Record(kStdDvbC, 306000);
    c.SymbolRate = 6900000;
    c.Modulation = 22;
    c.Snr = 31.4;
    std::vector<TransponderInfo> records = {t, t2, c};
    EXPECT_EQ(WriteTpList("Europe", records.data(), kListScanTable, path_.c_str(), 4000, 3, 4), 0);
    EXPECT_EQ(testsupport::ReadFile(path_), GoldenFile("scan_table_info4.ini"));
}

// Every code of the variant's tables, each on a DVB-T line of its own:
// words 2 to 8 are bandwidth, high and low code rate, modulation,
// transmission mode, guard interval and hierarchy.
TEST_F(ScanTableTest, DvbTLineWalksEveryMapping)
{
    struct Case {
        const char* Field;
        size_t Word;
        uint32_t TransponderInfo::*Member;
        uint32_t Value;
        const char* Text;
    };
    using T = TransponderInfo;
    const std::vector<Case> cases = {
        {"Bandwidth", 2, &T::Bandwidth, 10000, "8MHz"}, {"Bandwidth", 2, &T::Bandwidth, 8000, "8MHz"},
        {"Bandwidth", 2, &T::Bandwidth, 7999, "7MHz"},  {"Bandwidth", 2, &T::Bandwidth, 7000, "7MHz"},
        {"Bandwidth", 2, &T::Bandwidth, 6999, "6MHz"},  {"Bandwidth", 2, &T::Bandwidth, 6000, "6MHz"},
        {"Bandwidth", 2, &T::Bandwidth, 5999, "5MHz"},  {"Bandwidth", 2, &T::Bandwidth, 5000, "5MHz"},
        {"Bandwidth", 2, &T::Bandwidth, 4999, "AUTO"},  {"Bandwidth", 2, &T::Bandwidth, 1712, "AUTO"},
        {"Bandwidth", 2, &T::Bandwidth, 0, "AUTO"},
        {"Fec", 3, &T::Fec, 0, "AUTO"},                 {"Fec", 3, &T::Fec, 1, "1/2"},
        {"Fec", 3, &T::Fec, 2, "2/3"},                  {"Fec", 3, &T::Fec, 3, "3/4"},
        {"Fec", 3, &T::Fec, 4, "4/5"},                  {"Fec", 3, &T::Fec, 5, "5/6"},
        {"Fec", 3, &T::Fec, 6, "6/7"},                  {"Fec", 3, &T::Fec, 7, "7/8"},
        {"Fec", 3, &T::Fec, 8, "8/9"},                  {"Fec", 3, &T::Fec, 9, "9/10"},
        {"Fec", 3, &T::Fec, 10, "1/4"},                 {"Fec", 3, &T::Fec, 11, "1/3"},
        {"Fec", 3, &T::Fec, 12, "2/5"},                 {"Fec", 3, &T::Fec, 13, "3/5"},
        {"Fec", 3, &T::Fec, 14, "AUTO"},                {"Fec", 3, &T::Fec, 27, "AUTO"},
        {"FecLp", 4, &T::FecLp, 0, "AUTO"},             {"FecLp", 4, &T::FecLp, 3, "3/4"},
        {"FecLp", 4, &T::FecLp, 9, "9/10"},             {"FecLp", 4, &T::FecLp, 13, "3/5"},
        {"FecLp", 4, &T::FecLp, 14, "AUTO"},
        {"Modulation", 5, &T::Modulation, 0, "AUTO"},   {"Modulation", 5, &T::Modulation, 1, "QPSK"},
        {"Modulation", 5, &T::Modulation, 5, "AUTO"},   {"Modulation", 5, &T::Modulation, 15, "AUTO"},
        {"Modulation", 5, &T::Modulation, 16, "8VSB"},  {"Modulation", 5, &T::Modulation, 17, "16VSB"},
        {"Modulation", 5, &T::Modulation, 18, "QAM16"}, {"Modulation", 5, &T::Modulation, 19, "QAM32"},
        {"Modulation", 5, &T::Modulation, 20, "QAM64"}, {"Modulation", 5, &T::Modulation, 21, "QAM128"},
        {"Modulation", 5, &T::Modulation, 22, "QAM256"}, {"Modulation", 5, &T::Modulation, 23, "QAM512"},
        {"Modulation", 5, &T::Modulation, 24, "1024QAM"}, {"Modulation", 5, &T::Modulation, 25, "AUTO"},
        {"TransmissionMode", 6, &T::TransmissionMode, 0, "AUTO"},
        {"TransmissionMode", 6, &T::TransmissionMode, 1, "1k"},
        {"TransmissionMode", 6, &T::TransmissionMode, 2, "2k"},
        {"TransmissionMode", 6, &T::TransmissionMode, 3, "4k"},
        {"TransmissionMode", 6, &T::TransmissionMode, 4, "8k"},
        {"TransmissionMode", 6, &T::TransmissionMode, 5, "16k"},
        {"TransmissionMode", 6, &T::TransmissionMode, 6, "32k"},
        {"TransmissionMode", 6, &T::TransmissionMode, 7, "AUTO"},
        {"GuardInterval", 7, &T::GuardInterval, 0, "AUTO"}, {"GuardInterval", 7, &T::GuardInterval, 1, "1/32"},
        {"GuardInterval", 7, &T::GuardInterval, 2, "1/16"}, {"GuardInterval", 7, &T::GuardInterval, 3, "1/8"},
        {"GuardInterval", 7, &T::GuardInterval, 4, "1/4"},  {"GuardInterval", 7, &T::GuardInterval, 5, "1/128"},
        {"GuardInterval", 7, &T::GuardInterval, 6, "19/128"},
        {"GuardInterval", 7, &T::GuardInterval, 7, "19/256"},
        {"GuardInterval", 7, &T::GuardInterval, 8, "AUTO"},
        {"Hierarchy", 8, &T::Hierarchy, 0, "NONE"},     {"Hierarchy", 8, &T::Hierarchy, 1, "1"},
        {"Hierarchy", 8, &T::Hierarchy, 2, "2"},        {"Hierarchy", 8, &T::Hierarchy, 3, "4"},
        {"Hierarchy", 8, &T::Hierarchy, 4, "AUTO"},     {"Hierarchy", 8, &T::Hierarchy, 4294967295u, "AUTO"},
    };
    std::vector<TransponderInfo> records;
    for (const Case& c : cases) {
        TransponderInfo r = Record(kStdDvbT, 474000);
        r.TransmissionMode = 4; // the hierarchy must leave this one alone
        r.*c.Member = c.Value;
        records.push_back(r);
    }
    std::vector<std::string> lines = WriteLines(records, 0);
    ASSERT_EQ(lines.size(), 2 + cases.size());
    EXPECT_EQ(lines[1], "# " + std::to_string(cases.size()) + " transponders");
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(std::string(c.Field) + " " + std::to_string(c.Value) + ": " + lines[2 + i]);
        std::vector<std::string> words = Words(lines[2 + i]);
        ASSERT_EQ(words.size(), 9u);
        EXPECT_EQ(words[0], "T");
        EXPECT_EQ(words[1], "474000000");
        EXPECT_EQ(words[c.Word], c.Text);
        if (c.Member == &T::Hierarchy) {
            EXPECT_EQ(words[6], "8k");
        }
    }
}

// The lines of each system, with the comment format 0: nothing after the
// last value, not even a blank.
TEST_F(ScanTableTest, LinesBySystem)
{
    struct Case {
        const char* What;
        TransponderInfo Record;
        std::vector<std::string> Lines;
    };
    auto make = [](uint32_t standard, std::initializer_list<uint8_t> plps) {
        TransponderInfo r = Record(standard, 474166);
        r.Bandwidth = 8000;
        r.SymbolRate = 6875000;
        r.Fec = 3;
        r.FecLp = 1;
        r.Modulation = 22;
        r.TransmissionMode = 6;
        r.GuardInterval = 7;
        r.Hierarchy = 1;
        SetPlps(&r, plps);
        return r;
    };
    TransponderInfo cableWithCount = make(kStdDvbC, {});
    cableWithCount.PlpCount = 3;
    const std::vector<Case> cases = {
        {"DVB-T", make(kStdDvbT, {}), {"T 474000000 8MHz 3/4 1/2 QAM256 32k 19/256 1"}},
        {"DVB-T2 no PLP", make(kStdDvbT2, {}), {"T2 474000000 8MHz 3/4 NONE QAM256 32k 19/256 NONE"}},
        {"DVB-T2 one PLP 0", make(kStdDvbT2, {0}), {"T2 474000000 8MHz 3/4 NONE QAM256 32k 19/256 NONE"}},
        // A single pipe other than 0 keeps its identifier: readers would tune PLP 0.
        {"DVB-T2 one PLP 4", make(kStdDvbT2, {4}), {"T2 474000000 8MHz 3/4 NONE QAM256 32k 19/256 NONE 4"}},
        {"DVB-T2 three PLPs",
         make(kStdDvbT2, {7, 8, 9}),
         {"T2 474000000 8MHz 3/4 NONE QAM256 32k 19/256 NONE 7", "T2 474000000 8MHz 3/4 NONE QAM256 32k 19/256 NONE 8",
          "T2 474000000 8MHz 3/4 NONE QAM256 32k 19/256 NONE 9"}},
        {"DVB-C", make(kStdDvbC, {1, 2}), {"C 474000000 6875000 3/4 QAM256"}},
        {"DVB-C count only", cableWithCount, {"C 474000000 6875000 3/4 QAM256"}},
        {"DVB-C2 one PLP 0", make(kStdDvbC2, {0}), {"C2 474000000 6875000 3/4 QAM256"}},
        {"DVB-C2 one PLP 1", make(kStdDvbC2, {1}), {"C2 474000000 6875000 3/4 QAM256 1"}},
        {"DVB-C2 no PLP", make(kStdDvbC2, {}), {"C2 474000000 6875000 3/4 QAM256"}},
        {"DVB-C2 two PLPs",
         make(kStdDvbC2, {0, 255}),
         {"C2 474000000 6875000 3/4 QAM256 0", "C2 474000000 6875000 3/4 QAM256 255"}},
        {"ATSC", make(kStdAtsc, {}), {"A 474000000 QAM256"}},
        {"ISDB-T", make(kStdIsdbT, {}), {"I 474000000 QAM256"}},
        {"Standard 11", make(11, {}), {"1=474000000,8"}},
        {"DVB-S", make(1, {}), {"1=474000000,8"}},
        {"DCII", make(5, {}), {"1=474000000,8"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        std::vector<std::string> lines = WriteLines({c.Record}, 0);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[1], "# 1 transponders");
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.end()), c.Lines);
    }
}

TEST_F(ScanTableTest, OtherSystemsCarryTheirPositionAndWholeMegahertz)
{
    TransponderInfo a = Record(kStdDvbT, 474000);
    TransponderInfo b = Record(3, 11700);
    b.Bandwidth = 36999;
    std::vector<std::string> lines = WriteLines({a, b}, 4);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3], "2=11500000,36 # 0.0 dB");
}

TEST_F(ScanTableTest, CommentsOnEveryLine)
{
    TransponderInfo r = Record(kStdDvbT2, 490000);
    SetPlps(&r, {1, 2});
    r.RfLevel = -48;
    r.Snr = 30.25;
    const std::pair<uint32_t, const char*> cases[] = {
        {0, ""},
        {1, " # -48 dBm, 30.2 dB"},
        {2, " # 9:5 - 07/03/2014"},
        {3, " # -48 dBm, 30.2 dB; 9:5 - 07/03/2014"},
        {4, " # 30.2 dB"},
        {5, " # 30.2 dB; 9:5 - 07/03/2014"},
        {6, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        std::vector<std::string> lines = WriteLines({r}, c.first);
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[2], std::string("T2 490000000 AUTO AUTO NONE AUTO AUTO AUTO NONE 1") + c.second);
        EXPECT_EQ(lines[3], std::string("T2 490000000 AUTO AUTO NONE AUTO AUTO AUTO NONE 2") + c.second);
    }
}

// The header counts records, not lines.
TEST_F(ScanTableTest, HeaderCountsRecords)
{
    TransponderInfo t2 = Record(kStdDvbT2, 490000);
    SetPlps(&t2, {0, 1});
    std::vector<std::string> lines =
        WriteLines({Record(kStdDvbT, 474000), t2, Record(kStdDvbC, 306000)}, 0, "Home 100% %s");
    EXPECT_EQ(lines[0], "# Home 100% %s");
    EXPECT_EQ(lines[1], "# 3 transponders");
    EXPECT_EQ(lines.size(), 6u);
}

// More pipes than the record holds: the 16 stored identifiers, once each,
// and never the bytes that follow them in the record.
TEST_F(ScanTableTest, MoreThanSixteenPipesRepeatsTheSixteenStored)
{
    for (uint32_t standard : {kStdDvbT2, kStdDvbC2}) {
        SCOPED_TRACE(standard);
        TransponderInfo r = Record(standard, 490000);
        r.PlpCount = 4294967295u;
        for (uint8_t k = 0; k < 16; ++k)
            r.PlpIds[k] = static_cast<uint8_t>(200 + k);
        std::vector<std::string> lines = WriteLines({r}, 0);
        ASSERT_EQ(lines.size(), 2u + 16u);
        for (uint32_t k = 0; k < 16; ++k)
            EXPECT_EQ(Words(lines[2 + k]).back(), std::to_string(200 + k));
    }
}

} // namespace
