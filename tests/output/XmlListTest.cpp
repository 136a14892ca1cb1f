#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "OutputTestHelpers.h"
#include "output/TpList.h"
#include "output/TpListVariants.h"

using namespace tressel;
using namespace outputtest;

namespace {

class XmlListTest : public OutputTest {
protected:
    std::string Write(std::vector<TransponderInfo> records, const char* name = "Europe", uint32_t commentFormat = 0)
    {
        EXPECT_EQ(WriteTpList(name, records.data(), kListXml, path_.c_str(), 4000,
                              static_cast<uint32_t>(records.size()), commentFormat),
                  0);
        return testsupport::ReadFile(path_);
    }

    std::string path_ = File("Europe.xml");
};

TransponderInfo Terrestrial(uint32_t standard, uint32_t frequency, uint32_t bandwidth, uint32_t modulation,
                            uint32_t fec, uint32_t fecLp, uint32_t guard, uint32_t mode, uint32_t hierarchy)
{
    TransponderInfo r = Record(standard, frequency);
    r.Bandwidth = bandwidth;
    r.Modulation = modulation;
    r.Fec = fec;
    r.FecLp = fecLp;
    r.GuardInterval = guard;
    r.TransmissionMode = mode;
    r.Hierarchy = hierarchy;
    return r;
}

TransponderInfo Cable(uint32_t standard, uint32_t frequency, uint32_t symbolRate, uint32_t modulation)
{
    TransponderInfo r = Record(standard, frequency);
    r.SymbolRate = symbolRate;
    r.Modulation = modulation;
    return r;
}

// A cable list (its first record is DVB-C) that holds every element form:
// each record is written in the form of its own system.
TEST_F(XmlListTest, CableListWithEveryElementForm)
{
    TransponderInfo c2Plps = Cable(kStdDvbC2, 314166, 6875000, 1);
    SetPlps(&c2Plps, {1, 2});
    TransponderInfo c2Single = Cable(kStdDvbC2, 322000, 6900000, 22);
    SetPlps(&c2Single, {9});
    TransponderInfo t2Single = Terrestrial(kStdDvbT2, 490000, 7000, 22, 6, 6, 7, 6, 0);
    TransponderInfo t2Plps = Terrestrial(kStdDvbT2, 498000, 7000, 22, 6, 6, 7, 6, 0);
    SetPlps(&t2Plps, {1, 2});
    std::string text = Write({
        Cable(kStdDvbC, 306000, 6900000, 20),
        c2Plps,
        c2Single,
        Terrestrial(kStdDvbT, 474166, 8000, 19, 4, 13, 4, 4, 4),
        t2Single,
        t2Plps,
        Terrestrial(kStdAtsc, 506000, 6000, 16, 0, 0, 0, 0, 0),
        Terrestrial(kStdIsdbT, 514000, 6000, 18, 1, 1, 1, 1, 1),
    });
    const char* expected =
        "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n"
        "<locations>\n"
        "\t<cable name=\"Europe\" flags=\"5\">\n"
        "\t\t<transponder frequency=\"306000000\" symbol_rate=\"6900000\" modulation=\"3\"/>\n"
        "\t\t<transponder frequency=\"314000000\" symbol_rate=\"6875000\" modulation=\"0\" system=\"1\" plp_id=\"1\"/>\n"
        "\t\t<transponder frequency=\"314000000\" symbol_rate=\"6875000\" modulation=\"0\" system=\"1\" plp_id=\"2\"/>\n"
        "\t\t<transponder frequency=\"322000000\" symbol_rate=\"6900000\" modulation=\"5\" system=\"1\" "
        "plp_id=\"9\"/>\n"
        "\t\t<transponder centre_frequency=\"474000000\" bandwidth=\"0\" constellation=\"3\" code_rate_hp=\"8\" "
        "code_rate_lp=\"7\" guard_interval=\"3\" transmission_mode=\"1\" hierarchy_information=\"4\"/>\n"
        "\t\t<transponder centre_frequency=\"490000000\" bandwidth=\"1\" constellation=\"4\" code_rate_hp=\"5\" "
        "code_rate_lp=\"6\" guard_interval=\"7\" transmission_mode=\"6\" hierarchy_information=\"0\" system=\"1\"/>\n"
        "\t\t<transponder centre_frequency=\"498000000\" bandwidth=\"1\" constellation=\"4\" code_rate_hp=\"5\" "
        "code_rate_lp=\"6\" guard_interval=\"7\" transmission_mode=\"6\" hierarchy_information=\"0\" system=\"1\" "
        "plp_id=\"1\"/>\n"
        "\t\t<transponder centre_frequency=\"498000000\" bandwidth=\"1\" constellation=\"4\" code_rate_hp=\"5\" "
        "code_rate_lp=\"6\" guard_interval=\"7\" transmission_mode=\"6\" hierarchy_information=\"0\" system=\"1\" "
        "plp_id=\"2\"/>\n"
        "\t\t<transponder centre_frequency=\"506000000\" bandwidth=\"2\" constellation=\"3\" code_rate_hp=\"5\" "
        "code_rate_lp=\"6\" guard_interval=\"4\" transmission_mode=\"2\" hierarchy_information=\"0\"/>\n"
        "\t\t<transponder centre_frequency=\"514000000\" bandwidth=\"2\" constellation=\"1\" code_rate_hp=\"0\" "
        "code_rate_lp=\"0\" guard_interval=\"0\" transmission_mode=\"3\" hierarchy_information=\"1\"/>\n"
        "\t</cable>\n"
        "</locations>\n";
    EXPECT_EQ(text, expected);
}

// A terrestrial first record makes the whole list terrestrial, even with
// cable records after it.
TEST_F(XmlListTest, TerrestrialListFramesCableRecords)
{
    std::string text = Write({Terrestrial(kStdDvbT, 474000, 8000, 20, 2, 0, 4, 4, 0),
                              Cable(kStdDvbC, 482000, 6900000, 22)});
    EXPECT_EQ(text,
              "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n"
              "<locations>\n"
              "\t<terrestrial name=\"Europe\" flags=\"5\">\n"
              "\t\t<transponder centre_frequency=\"474000000\" bandwidth=\"0\" constellation=\"2\" "
              "code_rate_hp=\"1\" code_rate_lp=\"6\" guard_interval=\"3\" transmission_mode=\"1\" "
              "hierarchy_information=\"0\"/>\n"
              "\t\t<transponder frequency=\"482000000\" symbol_rate=\"6900000\" modulation=\"5\"/>\n"
              "\t</terrestrial>\n"
              "</locations>\n");
}

TEST_F(XmlListTest, CommentFormatHasNoEffect)
{
    std::vector<TransponderInfo> records = {Terrestrial(kStdDvbT, 474000, 8000, 20, 2, 0, 4, 4, 0)};
    records[0].Snr = 30.1;
    records[0].RfLevel = -40;
    std::string reference = Write(records, "Europe", 0);
    for (uint32_t commentFormat = 1; commentFormat <= 6; ++commentFormat) {
        SCOPED_TRACE(commentFormat);
        records[0].Frequency = 474000;
        EXPECT_EQ(Write(records, "Europe", commentFormat), reference);
    }
}

TEST_F(XmlListTest, LocationNameIsEscaped)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Europe", "Europe"},
        {"Tom & Jerry's <\"Home\">", "Tom &amp; Jerry&apos;s &lt;&quot;Home&quot;&gt;"},
        {"100% %s", "100% %s"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        std::vector<std::string> lines = Lines(Write({Cable(kStdDvbC, 306000, 6900000, 22)}, c.first));
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[2], std::string("\t<cable name=\"") + c.second + "\" flags=\"5\">");
    }
}

// The longest location name, every character escaped to six, still fits.
TEST(XmlEscape, LongestNameFitsAndSmallFieldsCutAtWholeEntities)
{
    std::string name(99, '"');
    char out[600];
    EXPECT_EQ(EscapeXmlText(out, sizeof out, name.c_str()), 99 * 6);
    std::string expected;
    for (int i = 0; i < 99; ++i)
        expected += "&quot;";
    EXPECT_EQ(std::string(out), expected);

    char small[8];
    EXPECT_EQ(EscapeXmlText(small, sizeof small, "a&b"), 7);
    EXPECT_STREQ(small, "a&amp;b");
    EXPECT_EQ(EscapeXmlText(small, sizeof small, "abc&"), -1);
    EXPECT_STREQ(small, "abc");
    EXPECT_EQ(EscapeXmlText(small, sizeof small, "abcdefg"), 7);
    EXPECT_EQ(EscapeXmlText(small, sizeof small, "abcdefgh"), -1);
    EXPECT_STREQ(small, "abcdefg");
}

TEST_F(XmlListTest, MoreThanSixteenPipesGiveSixteenElements)
{
    TransponderInfo t2 = Terrestrial(kStdDvbT2, 490000, 8000, 22, 2, 0, 4, 6, 0);
    TransponderInfo c2 = Cable(kStdDvbC2, 306000, 6900000, 22);
    for (TransponderInfo* r : {&t2, &c2}) {
        r->PlpCount = 17;
        for (uint8_t k = 0; k < 16; ++k)
            r->PlpIds[k] = k;
        r->PilotPattern = 0x63636363; // the bytes after the identifiers: never written
    }
    std::string text = Write({t2, c2});
    size_t elements = 0;
    for (size_t at = text.find("plp_id="); at != std::string::npos; at = text.find("plp_id=", at + 1))
        ++elements;
    EXPECT_EQ(elements, 32u);
    EXPECT_NE(text.find("plp_id=\"15\""), std::string::npos);
    EXPECT_EQ(text.find("plp_id=\"99\""), std::string::npos);
}

} // namespace
