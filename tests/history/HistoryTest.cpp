// The history file: rows written and read back, the change lines between two
// passes, damaged and foreign files, and the fixed capacities.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "driver/PassHistory.h"
#include "output/History.h"
#include "output/OutputTestHelpers.h"
#include "platform/Platform.h"
#include "common/Text.h"
#include "support/TestSupport.h"

using namespace tressel;
using outputtest::Lines;
using outputtest::Record;
using outputtest::SetPlps;
using testsupport::ConsoleCapture;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const char* const kStamp1 = "2026-12-11T01:00:00.000+01:00";
const char* const kStamp2 = "2026-12-11T01:10:00.000+01:00";

TransponderInfo DvbT(uint32_t frequency, double snr, int32_t rf)
{
    TransponderInfo r = Record(kStdDvbT, frequency);
    r.Bandwidth = 8000;
    r.Modulation = 20; // 64QAM
    r.Fec = 2;         // 2/3
    r.FecLp = 1;
    r.TransmissionMode = 4;
    r.GuardInterval = 4;
    r.Snr = snr;
    r.RfLevel = rf;
    r.BitRate = 24100000;
    return r;
}

TransponderInfo DvbT2(uint32_t frequency, double snr)
{
    TransponderInfo r = Record(kStdDvbT2, frequency);
    r.Bandwidth = 8000;
    r.Modulation = 22;
    r.Fec = 13;
    r.TransmissionMode = 6;
    r.GuardInterval = 7;
    SetPlps(&r, {0, 1, 200});
    r.Snr = snr;
    r.RfLevel = -48;
    r.BitRate = 40200000;
    return r;
}

// Appends a pass to the history at path as a run would, and reads it back.
void Append(const std::string& path, const std::vector<TransponderInfo>& pass, const char* stamp,
            uint32_t passNumber)
{
    static HistoryLog log;
    ReadHistory(path.c_str(), &log);
    ASSERT_EQ(AppendHistory(path.c_str(), &log, pass.data(), static_cast<uint32_t>(pass.size()), stamp,
                            passNumber),
              0);
}

class HistoryTest : public ::testing::Test {
protected:
    TempDir dir_;
    std::string path_ = dir_.File("history.csv");
    HistoryLog log_;
};

// Every field that a row holds comes back as it was written, the pipes of a
// DVB-T2 record included; found rows form the last pass, whose rows share
// one time stamp and pass number.
TEST_F(HistoryTest, RowsReadBackAsWrittenAndFormPasses)
{
    TransponderInfo t = DvbT(474166, 28.125, -55);
    t.Hierarchy = 2;
    TransponderInfo t2 = DvbT2(490000, 30.2);
    TransponderInfo c = Record(kStdDvbC, 306000);
    c.SymbolRate = 6900000;
    c.Modulation = 22;
    c.Snr = -1.5;
    c.RfLevel = -70;
    Append(path_, {t}, kStamp1, 1);
    Append(path_, {c, t, t2}, kStamp2, 2);

    std::string text = ReadFile(path_);
    EXPECT_EQ(text.rfind(std::string(kHistoryHeader) + "\r\n", 0), 0u);
    EXPECT_EQ(text.find("\n\n"), std::string::npos);
    EXPECT_EQ(Lines(text).size(), 5u); // header, 1 + 3 rows, nothing after the last line end

    ReadHistory(path_.c_str(), &log_);
    ASSERT_EQ(log_.State, HistoryState::Ours);
    EXPECT_EQ(log_.UnreadableLines, 0u);
    ASSERT_EQ(log_.PassCount, 2u);
    EXPECT_STREQ(HistoryPassAt(&log_, 0)->Stamp, kStamp1);
    EXPECT_EQ(HistoryPassAt(&log_, 0)->Count, 1u);
    EXPECT_EQ(HistoryPassAt(&log_, 1)->PassNumber, 2u);
    ASSERT_EQ(log_.LastCount, 3u);
    const TransponderInfo* back = log_.Last;
    EXPECT_EQ(back[0].SymbolRate, 6900000u);
    EXPECT_EQ(back[0].RfLevel, -70);
    EXPECT_DOUBLE_EQ(back[0].Snr, -1.5);
    EXPECT_EQ(back[1].Frequency, 474166u);
    EXPECT_DOUBLE_EQ(back[1].Snr, 28.125);
    EXPECT_EQ(back[1].Hierarchy, 2u);
    EXPECT_EQ(back[1].FecLp, 1u);
    EXPECT_EQ(back[1].BitRate, 24100000u);
    ASSERT_EQ(back[2].PlpCount, 3u);
    EXPECT_EQ(back[2].PlpIds[2], 200);
    EXPECT_EQ(back[2].GuardInterval, 7u);
}

// Up to 50 passes are kept, oldest first; older ones drop out.
TEST_F(HistoryTest, KeepsTheLastFiftyPasses)
{
    std::string text = std::string(kHistoryHeader) + "\r\n";
    for (uint32_t pass = 1; pass <= 60; ++pass) {
        static HistoryLog empty;
        empty.State = HistoryState::Ours;
        TransponderInfo r = DvbT(474000, pass, -50);
        char rows[1024];
        int n = FormatHistoryRows(rows, sizeof rows, &empty, &r, 1, kStamp1, pass);
        ASSERT_GT(n, 0);
        text += rows;
    }
    WriteFile(path_, text);
    ReadHistory(path_.c_str(), &log_);
    ASSERT_EQ(log_.PassCount, kHistoryPassCapacity);
    EXPECT_EQ(HistoryPassAt(&log_, 0)->PassNumber, 11u);
    EXPECT_EQ(HistoryPassAt(&log_, 49)->PassNumber, 60u);
    EXPECT_DOUBLE_EQ(HistoryPassAt(&log_, 49)->Points[0].Snr, 60);
    EXPECT_EQ(HistoryPassAt(&log_, 50), nullptr);
}

// A full table that loses a full table, every record with 16 pipes and the
// widest numbers, fits the one buffer of the append.
TEST_F(HistoryTest, FullPassAndFullLossFitOneAppend)
{
    std::vector<TransponderInfo> before;
    std::vector<TransponderInfo> after;
    for (uint32_t i = 0; i < kTableCapacity; ++i) {
        TransponderInfo r = DvbT2(4000000000u - i * 2000, -123456.789);
        SetPlps(&r, {255, 254, 253, 252, 251, 250, 249, 248, 247, 246, 245, 244, 243, 242, 241, 240});
        r.Bandwidth = r.SymbolRate = r.BitRate = r.Fec = r.Modulation = 0xffffffffu;
        r.RfLevel = INT32_MIN;
        before.push_back(r);
        r.Frequency = 100000 + i * 2000;
        after.push_back(r);
    }
    Append(path_, before, kStamp1, 1);
    ReadHistory(path_.c_str(), &log_);
    ASSERT_EQ(log_.LastCount, kTableCapacity);
    ASSERT_EQ(AppendHistory(path_.c_str(), &log_, after.data(), kTableCapacity, kStamp2, 2), 0);
    ReadHistory(path_.c_str(), &log_);
    EXPECT_EQ(log_.UnreadableLines, 0u);
    EXPECT_EQ(Lines(ReadFile(path_)).size(), 1u + 3 * kTableCapacity);
    EXPECT_EQ(log_.LastCount, kTableCapacity);
    EXPECT_EQ(log_.Last[0].RfLevel, INT32_MIN);
}

struct ChangeCase {
    const char* Name;
    std::function<void(std::vector<TransponderInfo>&)> Edit; // turns the first pass into the second
    std::vector<std::string> Lines;
};

const std::vector<TransponderInfo> kFirstPass = {DvbT(474166, 28.1, -55), DvbT2(490000, 30.2),
                                                 DvbT(506000, 25.0, -60)};

const ChangeCase kChangeCases[] = {
    {"Nothing", [](std::vector<TransponderInfo>&) {}, {}},
    {"SmallMovesAndDrift",
     [](std::vector<TransponderInfo>& p) {
         p[0].Snr = 26.2;      // 1.9 dB below the 3 dB threshold
         p[0].RfLevel = -57;   // 2 dB
         p[1].Frequency += 166; // the same transponder, found a little off
         p[1].BitRate = 1;     // not a parameter that a line reports
     },
     {}},
    {"New",
     [](std::vector<TransponderInfo>& p) { p.insert(p.begin() + 1, DvbT(482000, 20.5, -61)); },
     {"New transponder 482.000 MHz DVB-T 64QAM, SNR 20.5 dB, RF level -61 dBm"}},
    {"Lost",
     [](std::vector<TransponderInfo>& p) { p.erase(p.begin() + 1); },
     {"Lost transponder 490.000 MHz DVB-T2 256QAM"}},
    {"AllLost", [](std::vector<TransponderInfo>& p) { p.clear(); },
     {"Lost transponder 474.166 MHz DVB-T 64QAM", "Lost transponder 490.000 MHz DVB-T2 256QAM",
      "Lost transponder 506.000 MHz DVB-T 64QAM"}},
    {"Standard", [](std::vector<TransponderInfo>& p) { p[0].Standard = kStdDvbT2; },
     {"Changed 474.166 MHz standard: DVB-T -> DVB-T2"}},
    {"Modulation", [](std::vector<TransponderInfo>& p) { p[0].Modulation = 18; },
     {"Changed 474.166 MHz modulation: 64QAM -> 16QAM"}},
    {"CodeRates",
     [](std::vector<TransponderInfo>& p) {
         p[0].Fec = 3;
         p[0].FecLp = 2;
     },
     {"Changed 474.166 MHz code rate: 2/3 -> 3/4", "Changed 474.166 MHz low-priority code rate: 1/2 -> 2/3"}},
    {"FftAndGuard",
     [](std::vector<TransponderInfo>& p) {
         p[2].TransmissionMode = 2;
         p[2].GuardInterval = 3;
     },
     {"Changed 506.000 MHz FFT: 8K FFT -> 2K FFT", "Changed 506.000 MHz guard interval: 1/4 -> 1/8"}},
    {"PlpSet", [](std::vector<TransponderInfo>& p) { SetPlps(&p[1], {0, 2}); },
     {"Changed 490.000 MHz PLP IDs: 0 1 200 -> 0 2"}},
    {"PlpOrderIsNoChange", [](std::vector<TransponderInfo>& p) { SetPlps(&p[1], {200, 0, 1}); }, {}},
    {"PlpsGone", [](std::vector<TransponderInfo>& p) { SetPlps(&p[1], {}); },
     {"Changed 490.000 MHz PLP IDs: 0 1 200 -> none"}},
    {"SnrAndRfAtTheThreshold",
     [](std::vector<TransponderInfo>& p) {
         p[0].Snr = 31.1;
         p[2].RfLevel = -63;
     },
     {"Changed 474.166 MHz SNR: 28.1 -> 31.1 dB", "Changed 506.000 MHz RF level: -60 -> -63 dBm"}},
    {"NewLostAndChangedInFrequencyOrder",
     [](std::vector<TransponderInfo>& p) {
         p.erase(p.begin());
         p[0].Snr = 12.0;
         p.push_back(DvbT(522000, 15.0, -66));
     },
     {"Lost transponder 474.166 MHz DVB-T 64QAM", "Changed 490.000 MHz SNR: 30.2 -> 12.0 dB",
      "New transponder 522.000 MHz DVB-T 64QAM, SNR 15.0 dB, RF level -66 dBm"}},
};

class ChangeLines : public ::testing::TestWithParam<ChangeCase> {};

// The second pass's change lines against the first, read back from the file,
// and its lost rows.
TEST_P(ChangeLines, AgainstTheLastPassOfTheFile)
{
    TempDir dir;
    std::string path = dir.File("h.csv");
    Append(path, kFirstPass, kStamp1, 1);
    std::vector<TransponderInfo> second = kFirstPass;
    GetParam().Edit(second);

    static HistoryLog log;
    ReadHistory(path.c_str(), &log);
    ConsoleCapture console;
    uint32_t lines = PrintHistoryChanges(&log, second.data(), static_cast<uint32_t>(second.size()), 3);
    std::vector<std::string> printed = Lines(console.Text());
    EXPECT_EQ(printed, GetParam().Lines);
    EXPECT_EQ(lines, printed.size());

    // One lost row for each lost line, its measurements left empty.
    ASSERT_EQ(AppendHistory(path.c_str(), &log, second.data(), static_cast<uint32_t>(second.size()), kStamp2, 2),
              0);
    size_t lostLines = 0;
    for (const std::string& line : printed)
        lostLines += line.rfind("Lost", 0) == 0 ? 1 : 0;
    size_t lostRows = 0;
    for (const std::string& row : Lines(ReadFile(path))) {
        if (row.find(",2,lost,") != std::string::npos) {
            ++lostRows;
            EXPECT_EQ(row.substr(row.size() - 4), ",,,\r");
        }
    }
    EXPECT_EQ(lostRows, lostLines);
}

INSTANTIATE_TEST_SUITE_P(History, ChangeLines, ::testing::ValuesIn(kChangeCases),
                         [](const ::testing::TestParamInfo<ChangeCase>& tested) { return tested.param.Name; });

// 16.4 - 13.4 is 2.9999... in doubles; shown and meant as 3 dB.
TEST_F(HistoryTest, ThresholdComparesTenthsOfADecibel)
{
    Append(path_, {DvbT(474000, 13.4, -50)}, kStamp1, 1);
    ReadHistory(path_.c_str(), &log_);
    TransponderInfo now = DvbT(474000, 16.4, -50);
    ConsoleCapture console;
    EXPECT_EQ(PrintHistoryChanges(&log_, &now, 1, 3), 1u);
    EXPECT_EQ(console.Text(), "Changed 474.000 MHz SNR: 13.4 -> 16.4 dB\n");
    now.Snr = 16.3;
    EXPECT_EQ(PrintHistoryChanges(&log_, &now, 1, 3), 0u);
}

// A pass that did not scan where a previous transponder lies (aborted, or
// an interval list that ended early) has not lost it: its row is carried
// over, marked unscanned with the values last measured, and the next pass
// compares with those.
TEST_F(HistoryTest, UnscannedTransponderIsCarriedNotLost)
{
    Append(path_, kFirstPass, kStamp1, 1);
    ReadHistory(path_.c_str(), &log_);
    log_.LimitLost = true;
    log_.ScannedCount = 1;
    log_.Scanned[0] = ScannedRange{470000, 500000}; // 474.166 and 490; not 506
    std::vector<TransponderInfo> second = {kFirstPass[0]};
    ConsoleCapture console;
    PrintHistoryChanges(&log_, second.data(), 1, 3);
    EXPECT_EQ(console.Text(), "Lost transponder 490.000 MHz DVB-T2 256QAM\n");
    ASSERT_EQ(AppendHistory(path_.c_str(), &log_, second.data(), 1, kStamp2, 2), 0);
    std::vector<std::string> lines = Lines(ReadFile(path_));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_NE(lines[5].find(",2,lost,490000,"), std::string::npos);
    EXPECT_NE(lines[6].find(",2,unscanned,506000,"), std::string::npos);
    EXPECT_EQ(lines[6].substr(lines[6].size() - 17), ",-60,25,24100000\r");

    // Read back, the carried record is compared with but not drawn.
    ReadHistory(path_.c_str(), &log_);
    EXPECT_EQ(log_.LastCount, 2u);
    EXPECT_EQ(HistoryPassAt(&log_, 1)->Count, 1u);
    std::vector<TransponderInfo> third = {kFirstPass[0], kFirstPass[2]};
    third[1].Snr = 19.0;
    PrintHistoryChanges(&log_, third.data(), 2, 3);
    EXPECT_EQ(console.Text(), "Lost transponder 490.000 MHz DVB-T2 256QAM\n"
                              "Changed 506.000 MHz SNR: 25.0 -> 19.0 dB\n");

    // The pass as this run keeps it for the picture carries the record too.
    ReadHistory(path_.c_str(), &log_);
    log_.LimitLost = true;
    log_.ScannedCount = 0;
    AddPassToHistory(&log_, second.data(), 1, kStamp2, 3);
    EXPECT_EQ(log_.LastCount, 2u);
    EXPECT_EQ(HistoryPassAt(&log_, log_.PassCount - 1)->Count, 1u);
}

// A pass that lost a transponder is the previous pass of the next one: what
// it lost is not reported again, and its return is new.
TEST_F(HistoryTest, LostRowsAreNotPartOfTheirPass)
{
    Append(path_, kFirstPass, kStamp1, 1);
    std::vector<TransponderInfo> second(kFirstPass.begin(), kFirstPass.begin() + 2);
    Append(path_, second, kStamp2, 2);
    ReadHistory(path_.c_str(), &log_);
    EXPECT_EQ(log_.LastCount, 2u);
    ConsoleCapture console;
    PrintHistoryChanges(&log_, second.data(), 2, 3);
    EXPECT_EQ(console.Text(), "");
    PrintHistoryChanges(&log_, kFirstPass.data(), 3, 3);
    EXPECT_EQ(console.Text(), "New transponder 506.000 MHz DVB-T 64QAM, SNR 25.0 dB, RF level -60 dBm\n");
}

// Damage in an older pass is skipped and counted; damage in the last pass
// leaves nothing to compare with; a row cut short at the end of the file is
// ended before the next rows, which then read back whole.
TEST_F(HistoryTest, DamagedRowsAreSkipped)
{
    Append(path_, kFirstPass, kStamp1, 1);
    std::string good = ReadFile(path_);
    std::string garbage = "2026-12-11T01:05:00.000+01:00,1,found,not a number\r\n\x01\x02,,\"open\r\n";

    WriteFile(path_, good + garbage);
    Append(path_, kFirstPass, kStamp2, 2);
    ReadHistory(path_.c_str(), &log_);
    EXPECT_EQ(log_.UnreadableLines, 2u);
    EXPECT_FALSE(log_.LastPassDamaged);
    EXPECT_TRUE(HistoryHasPreviousPass(&log_));
    EXPECT_EQ(log_.LastCount, 3u);

    WriteFile(path_, good + garbage);
    ReadHistory(path_.c_str(), &log_);
    EXPECT_TRUE(log_.LastPassDamaged);
    EXPECT_FALSE(HistoryHasPreviousPass(&log_));
    ConsoleCapture console;
    EXPECT_EQ(PrintHistoryChanges(&log_, kFirstPass.data(), 1, 3), 0u);

    // Half a row: the crash came in the middle of an append.
    WriteFile(path_, good + good.substr(good.find("\r\n") + 2, 40));
    ReadHistory(path_.c_str(), &log_);
    EXPECT_TRUE(log_.NeedsLineEnd);
    ASSERT_EQ(AppendHistory(path_.c_str(), &log_, kFirstPass.data(), 3, kStamp2, 2), 0);
    ReadHistory(path_.c_str(), &log_);
    EXPECT_EQ(log_.UnreadableLines, 1u);
    EXPECT_EQ(log_.LastCount, 3u);
    EXPECT_STREQ(HistoryPassAt(&log_, log_.PassCount - 1)->Stamp, kStamp2);
}

// A time stamp that is not one goes nowhere: the picture writes stamps into
// its XML as they stand.
TEST_F(HistoryTest, RowWithMarkupInItsStampIsUnreadable)
{
    Append(path_, kFirstPass, kStamp1, 1);
    std::string text = ReadFile(path_);
    size_t at = text.find(kStamp1);
    text.replace(at, strlen(kStamp1), "<svg onload=x>");
    WriteFile(path_, text);
    ReadHistory(path_.c_str(), &log_);
    EXPECT_EQ(log_.UnreadableLines, 1u);
}

struct FileCase {
    const char* Name;
    std::string Content; // what the file holds before the pass; "-" for no file
    std::string Console; // what the pass prints beside its change lines; %s is the file
    bool Written;        // the pass's rows were appended
};

const FileCase kFileCases[] = {
    {"NoFile", "-", "", true},
    {"EmptyFile", "", "", true},
    {"Foreign", "name,value\r\nx,1\r\n",
     "History %s is not a Tressel history: not compared, not written\n", false},
    {"ForeignBinary", std::string("\x89PNG\r\n\x1a\n\0\0", 10),
     "History %s is not a Tressel history: not compared, not written\n", false},
    {"DamagedLastPass", std::string(kHistoryHeader) + "\r\n2026-12-11T01:00:00.000+01:00,1,found,1\r\n",
     "Cannot read the last pass of history %s: nothing to compare\n", true},
    {"OlderDamage",
     std::string(kHistoryHeader) + "\r\nbroken\r\n2026-12-11T01:00:00.000+01:00,1,found,474166,DVB-T,6,64QAM,20,"
                                   "8000,0,2/3,2,1/2,1,8K FFT,4,1/4,4,NONE,0,,-55,28.1,24100000\r\n",
     "History %s: 1 unreadable lines skipped\n", true},
};

class HistoryFiles : public ::testing::TestWithParam<FileCase> {};

// Whatever the file holds, the pass goes on: a line tells what could not be
// read, and only a file of ours (or none) gets the rows.
TEST_P(HistoryFiles, PassGoesOn)
{
    TempDir dir;
    ScanSettings settings = {};
    FormatText(settings.History, sizeof settings.History, "%s", dir.File("h.csv").c_str());
    settings.ChangeThreshold = 3;
    const FileCase& c = GetParam();
    if (c.Content != "-")
        WriteFile(settings.History, c.Content);

    TransponderInfo record = DvbT(474166, 28.1, -55);
    ConsoleCapture console;
    BeginPassRecord(&settings);
    RecordPassHistory(&record, 1, 1, &settings);

    std::string expected = c.Console;
    if (expected.find("%s") != std::string::npos)
        expected.replace(expected.find("%s"), 2, settings.History);
    EXPECT_EQ(console.Text(), expected);
    std::string after = ReadFile(settings.History);
    if (!c.Written) {
        EXPECT_EQ(after, c.Content);
        return;
    }
    std::string before = c.Content == "-" ? "" : c.Content;
    ASSERT_EQ(after.compare(0, before.size(), before), 0);
    std::string added = after.substr(before.size());
    bool fresh = before.empty();
    EXPECT_EQ(added.rfind(kHistoryHeader, 0) == 0, fresh);
    EXPECT_NE(added.find(",1,found,474166,DVB-T,6,"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(History, HistoryFiles, ::testing::ValuesIn(kFileCases),
                         [](const ::testing::TestParamInfo<FileCase>& tested) { return tested.param.Name; });

// A history that cannot be written costs one line, and the pass goes on.
TEST_F(HistoryTest, UnwritableHistoryGetsOneLine)
{
    ScanSettings settings = {};
    FormatText(settings.History, sizeof settings.History, "%s", dir_.File("missing/h.csv").c_str());
    TransponderInfo record = DvbT(474166, 28.1, -55);
    ConsoleCapture console;
    BeginPassRecord(&settings);
    RecordPassHistory(&record, 1, 1, &settings);
    EXPECT_EQ(console.Text(), "Cannot append to history " + std::string(settings.History) + " !\n");
}

// The local time stamp: ISO 8601 with milliseconds and the offset.
TEST(LocalTimeIso, HasTheOffset)
{
    char stamp[kStampCapacity];
    int n = PlatformLocalTimeIso(stamp, sizeof stamp);
    ASSERT_EQ(n, 29) << stamp;
    std::string s(stamp);
    for (size_t i : {4u, 7u})
        EXPECT_EQ(s[i], '-');
    EXPECT_EQ(s[10], 'T');
    EXPECT_EQ(s[19], '.');
    EXPECT_TRUE(s[23] == '+' || s[23] == '-');
    EXPECT_EQ(s[26], ':');
    char tiny[10];
    EXPECT_EQ(PlatformLocalTimeIso(tiny, sizeof tiny), -1);
}

#if !defined(_WIN32)
// Zones east and west of UTC, with a half-hour offset, as POSIX TZ rules so
// that no zone database is needed.
TEST(LocalTimeIso, OffsetFollowsTheZone)
{
    const char* saved = getenv("TZ");
    std::string keep = saved != nullptr ? saved : "";
    for (auto [zone, offset] : {std::pair<const char*, const char*>{"IST-5:30", "+05:30"}, {"BRT+3", "-03:00"},
                                {"UTC0", "+00:00"}}) {
        setenv("TZ", zone, 1);
        char stamp[kStampCapacity];
        ASSERT_EQ(PlatformLocalTimeIso(stamp, sizeof stamp), 29);
        EXPECT_STREQ(stamp + 23, offset) << zone;
    }
    if (saved != nullptr)
        setenv("TZ", keep.c_str(), 1);
    else
        unsetenv("TZ");
}
#endif

} // namespace
