// The output stage with the history and the band picture: where the picture
// goes, when it is drawn, and the order of the console lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Text.h"
#include "driver/PassHistory.h"
#include "driver/WritePassOutput.h"
#include "output/OutputTestHelpers.h"
#include "support/TestSupport.h"

using namespace tressel;
using outputtest::Record;
using testsupport::ConsoleCapture;
using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

struct NameCase {
    int32_t Loop;
    int32_t IniFormat;
    uint32_t Pass;
    const char* Picture;
};

// The picture is named like the report, pass number and all.
const NameCase kNames[] = {
    {0, 0, 1, "4000.svg"},   {1, 0, 1, "4000_1.svg"}, {1, 0, 2, "4000_2.svg"},
    {2, 0, 3, "4000.svg"},   {0, 5, 1, "Europe.svg"}, {1, 5, 2, "Europe_2.svg"},
    {1, 6, 2, "4000_2.svg"},
};

class PassPicture : public outputtest::OutputTest {
protected:
    ScanSettings Settings(int32_t loop, int32_t iniFormat) const
    {
        ScanSettings s = {};
        s.LocPos = 4000;
        CopyText(s.LocName, sizeof s.LocName, "Europe");
        s.IniFormat = iniFormat;
        s.Loop = loop;
        FormatText(s.ReportDir, sizeof s.ReportDir, "%s/", dir_.Path().c_str());
        FormatText(s.TPDir, sizeof s.TPDir, "%s/", dir_.Path().c_str());
        return s;
    }

    std::string Run(std::vector<TransponderInfo> records, const ScanSettings& s, uint32_t pass)
    {
        ConsoleCapture console;
        BeginPassRecord(&s);
        NotePassInterval(466000, 498000, true, 20, 25);
        WritePassOutput(records.data(), static_cast<uint32_t>(records.size()), pass, 1.5, &s);
        return console.Text();
    }

    std::vector<TransponderInfo> Band() const
    {
        TransponderInfo t = Record(kStdDvbT, 490000);
        t.Snr = 28.0;
        TransponderInfo t2 = Record(kStdDvbT2, 474166);
        t2.Snr = 31.5;
        return {t, t2};
    }
};

TEST_F(PassPicture, NamedLikeTheReport)
{
    for (const NameCase& c : kNames) {
        SCOPED_TRACE(c.Picture);
        ScanSettings s = Settings(c.Loop, c.IniFormat);
        s.BandPicture = 1;
        std::string out = Run(Band(), s, c.Pass);
        std::string picture = dir_.Path() + "/" + c.Picture;
        EXPECT_NE(out.find("Draw band picture to " + picture + " ...\n"), std::string::npos) << out;
        EXPECT_EQ(out.find("error !"), std::string::npos) << out;
        std::string svg = ReadFile(picture);
        EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
        EXPECT_NE(svg.find("</svg>\n"), std::string::npos);
    }
}

// The picture comes after the report and before the list; the change lines
// follow the total. The bars sit in frequency order and the stepped scan's
// floors are drawn.
TEST_F(PassPicture, ConsoleOrderAndContent)
{
    ScanSettings s = Settings(0, 0);
    s.BandPicture = 1;
    FormatText(s.History, sizeof s.History, "%s/h.csv", dir_.Path().c_str());
    s.ChangeThreshold = 3;
    Run(Band(), s, 1);
    std::vector<TransponderInfo> second = Band();
    second[0].Snr = 20.0;
    std::string out = Run(second, s, 2);
    std::string d = dir_.Path() + "/";
    EXPECT_EQ(out, "Total tranponders found = 2\n"
                   "Changed 490.000 MHz SNR: 28.0 -> 20.0 dB\n"
                   "Report detailed transponder info to " + d + "4000.txt ...\n"
                   "Draw band picture to " + d + "4000.svg ...\n"
                   "Store transponder info in " + d + "4000.ini ...\n");
    std::string svg = ReadFile(d + "4000.svg");
    size_t t2 = svg.find("<title>474.166 MHz DVB-T2");
    size_t t = svg.find("<title>490.000 MHz DVB-T ");
    EXPECT_NE(t2, std::string::npos);
    EXPECT_LT(t2, t);
    EXPECT_NE(svg.find(">MinSNR1 20 dB<"), std::string::npos);
    EXPECT_NE(svg.find(">MinSNR2 25 dB<"), std::string::npos);
    EXPECT_NE(svg.find("SNR over the last 2 passes"), std::string::npos);
    // The history keeps the frequency as found, before the list rounds it.
    EXPECT_NE(ReadFile(s.History).find(",474166,DVB-T2,"), std::string::npos);
}

// With the keys absent the output stage prints and writes what it always has.
TEST_F(PassPicture, KeysAbsentChangeNothing)
{
    ScanSettings s = Settings(0, 0);
    std::string out = Run(Band(), s, 1);
    std::string d = dir_.Path() + "/";
    EXPECT_EQ(out, "Total tranponders found = 2\n"
                   "Report detailed transponder info to " + d + "4000.txt ...\n"
                   "Store transponder info in " + d + "4000.ini ...\n");
    EXPECT_FALSE(FileExists(d + "4000.svg"));
}

} // namespace
