// The XML list read back by an XML parser, attribute by attribute.
#if defined(TRESSEL_HAVE_PUGIXML)

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <map>
#include <string>
#include <vector>

#include "OutputTestHelpers.h"
#include "output/TpList.h"

using namespace tressel;
using namespace outputtest;

namespace {

using Attributes = std::map<std::string, std::string>;

class XmlListParseTest : public OutputTest {
protected:
    // Writes the list and parses it; the root must be one locations element.
    pugi::xml_node WriteAndParse(std::vector<TransponderInfo> records, const char* name = "Europe")
    {
        EXPECT_EQ(WriteTpList(name, records.data(), kListXml, path_.c_str(), 4000,
                              static_cast<uint32_t>(records.size()), 3),
                  0);
        pugi::xml_parse_result result = document_.load_file(path_.c_str());
        EXPECT_TRUE(result) << result.description() << " at offset " << result.offset;
        pugi::xml_node root = document_.document_element();
        EXPECT_STREQ(root.name(), "locations");
        EXPECT_TRUE(root.first_child().next_sibling().empty()) << "one location element";
        return root.first_child();
    }

    static Attributes AttributesOf(pugi::xml_node node)
    {
        Attributes attributes;
        for (pugi::xml_attribute a : node.attributes())
            attributes[a.name()] = a.value();
        return attributes;
    }

    pugi::xml_document document_;
    std::string path_ = File("Europe.xml");
};

// Every code of the terrestrial tables, each on an element of its own; every
// other attribute keeps the code of the base record.
TEST_F(XmlListParseTest, TerrestrialCodes)
{
    struct Case {
        const char* Attribute;
        uint32_t TransponderInfo::*Member;
        uint32_t Value;
        const char* Code;
    };
    using T = TransponderInfo;
    const std::vector<Case> cases = {
        {"bandwidth", &T::Bandwidth, 4294967295u, "4"}, {"bandwidth", &T::Bandwidth, 10000, "4"},
        {"bandwidth", &T::Bandwidth, 9999, "0"},        {"bandwidth", &T::Bandwidth, 8000, "0"},
        {"bandwidth", &T::Bandwidth, 7999, "1"},        {"bandwidth", &T::Bandwidth, 7000, "1"},
        {"bandwidth", &T::Bandwidth, 6999, "2"},        {"bandwidth", &T::Bandwidth, 6000, "2"},
        {"bandwidth", &T::Bandwidth, 5999, "5"},        {"bandwidth", &T::Bandwidth, 5000, "5"},
        {"bandwidth", &T::Bandwidth, 4999, "6"},        {"bandwidth", &T::Bandwidth, 1712, "6"},
        {"bandwidth", &T::Bandwidth, 1711, "3"},        {"bandwidth", &T::Bandwidth, 0, "3"},
        {"constellation", &T::Modulation, 1, "0"},      {"constellation", &T::Modulation, 18, "1"},
        {"constellation", &T::Modulation, 20, "2"},     {"constellation", &T::Modulation, 22, "4"},
        {"constellation", &T::Modulation, 19, "3"},     {"constellation", &T::Modulation, 0, "3"},
        {"constellation", &T::Modulation, 21, "3"},
        {"code_rate_hp", &T::Fec, 1, "0"},              {"code_rate_hp", &T::Fec, 2, "1"},
        {"code_rate_hp", &T::Fec, 3, "2"},              {"code_rate_hp", &T::Fec, 5, "3"},
        {"code_rate_hp", &T::Fec, 7, "4"},              {"code_rate_hp", &T::Fec, 13, "7"},
        {"code_rate_hp", &T::Fec, 4, "8"},              {"code_rate_hp", &T::Fec, 0, "5"},
        {"code_rate_hp", &T::Fec, 6, "5"},              {"code_rate_hp", &T::Fec, 8, "5"},
        {"code_rate_hp", &T::Fec, 12, "5"},             {"code_rate_hp", &T::Fec, 14, "5"},
        {"code_rate_lp", &T::FecLp, 1, "0"},            {"code_rate_lp", &T::FecLp, 2, "1"},
        {"code_rate_lp", &T::FecLp, 3, "2"},            {"code_rate_lp", &T::FecLp, 5, "3"},
        {"code_rate_lp", &T::FecLp, 7, "4"},            {"code_rate_lp", &T::FecLp, 13, "7"},
        {"code_rate_lp", &T::FecLp, 4, "8"},            {"code_rate_lp", &T::FecLp, 0, "6"},
        {"code_rate_lp", &T::FecLp, 6, "6"},            {"code_rate_lp", &T::FecLp, 9, "6"},
        {"code_rate_lp", &T::FecLp, 14, "6"},
        {"transmission_mode", &T::TransmissionMode, 1, "3"}, {"transmission_mode", &T::TransmissionMode, 2, "0"},
        {"transmission_mode", &T::TransmissionMode, 3, "4"}, {"transmission_mode", &T::TransmissionMode, 4, "1"},
        {"transmission_mode", &T::TransmissionMode, 5, "5"}, {"transmission_mode", &T::TransmissionMode, 6, "6"},
        {"transmission_mode", &T::TransmissionMode, 0, "2"}, {"transmission_mode", &T::TransmissionMode, 7, "2"},
        {"guard_interval", &T::GuardInterval, 1, "0"},  {"guard_interval", &T::GuardInterval, 2, "1"},
        {"guard_interval", &T::GuardInterval, 3, "2"},  {"guard_interval", &T::GuardInterval, 4, "3"},
        {"guard_interval", &T::GuardInterval, 5, "5"},  {"guard_interval", &T::GuardInterval, 6, "6"},
        {"guard_interval", &T::GuardInterval, 7, "7"},  {"guard_interval", &T::GuardInterval, 0, "4"},
        {"guard_interval", &T::GuardInterval, 8, "4"},
        {"hierarchy_information", &T::Hierarchy, 0, "0"}, {"hierarchy_information", &T::Hierarchy, 1, "1"},
        {"hierarchy_information", &T::Hierarchy, 2, "2"}, {"hierarchy_information", &T::Hierarchy, 3, "3"},
        {"hierarchy_information", &T::Hierarchy, 4, "4"}, {"hierarchy_information", &T::Hierarchy, 99, "4"},
    };
    // The base record: 8 MHz, 8K, 1/4, 2/3, 64QAM, no hierarchy.
    TransponderInfo base = Record(kStdDvbT, 474166);
    base.Bandwidth = 8000;
    base.TransmissionMode = 4;
    base.GuardInterval = 4;
    base.Fec = 2;
    base.FecLp = 2;
    base.Modulation = 20;
    const Attributes baseCodes = {
        {"centre_frequency", "474000000"}, {"bandwidth", "0"},      {"constellation", "2"},
        {"code_rate_hp", "1"},             {"code_rate_lp", "1"},   {"guard_interval", "3"},
        {"transmission_mode", "1"},        {"hierarchy_information", "0"},
    };
    std::vector<TransponderInfo> records;
    for (const Case& c : cases) {
        TransponderInfo r = base;
        r.*c.Member = c.Value;
        records.push_back(r);
    }
    pugi::xml_node location = WriteAndParse(records);
    EXPECT_STREQ(location.name(), "terrestrial");
    EXPECT_EQ(AttributesOf(location), (Attributes{{"name", "Europe"}, {"flags", "5"}}));
    pugi::xml_node element = location.child("transponder");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Attribute) + " from " + std::to_string(c.Value));
        ASSERT_FALSE(element.empty());
        Attributes expected = baseCodes;
        expected[c.Attribute] = c.Code;
        EXPECT_EQ(AttributesOf(element), expected);
        element = element.next_sibling("transponder");
    }
    EXPECT_TRUE(element.empty());
}

TEST_F(XmlListParseTest, CableCodes)
{
    const std::pair<uint32_t, const char*> cases[] = {
        {18, "1"}, {19, "2"}, {20, "3"}, {21, "4"}, {22, "5"}, {0, "0"}, {1, "0"}, {23, "0"},
    };
    std::vector<TransponderInfo> records;
    for (const auto& c : cases) {
        TransponderInfo r = Record(kStdDvbC, 306000);
        r.SymbolRate = 6875000;
        r.Modulation = c.first;
        records.push_back(r);
    }
    pugi::xml_node location = WriteAndParse(records);
    EXPECT_STREQ(location.name(), "cable");
    pugi::xml_node element = location.child("transponder");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        ASSERT_FALSE(element.empty());
        EXPECT_EQ(AttributesOf(element),
                  (Attributes{{"frequency", "306000000"}, {"symbol_rate", "6875000"}, {"modulation", c.second}}));
        element = element.next_sibling("transponder");
    }
}

// Pipes: one element per identifier, alike but for plp_id, for DVB-T2 and
// DVB-C2; a single pipe 0 or none gives one element without plp_id, a single
// pipe of another identifier one element with it.
TEST_F(XmlListParseTest, PipeElements)
{
    TransponderInfo t2 = Record(kStdDvbT2, 490000);
    t2.Bandwidth = 8000;
    SetPlps(&t2, {1, 2});
    TransponderInfo t2Single = Record(kStdDvbT2, 498000);
    t2Single.Bandwidth = 8000;
    SetPlps(&t2Single, {7});
    TransponderInfo c2 = Record(kStdDvbC2, 506000);
    SetPlps(&c2, {0, 255, 3});
    TransponderInfo t2Zero = Record(kStdDvbT2, 514000);
    t2Zero.Bandwidth = 8000;
    SetPlps(&t2Zero, {0});
    TransponderInfo t2None = Record(kStdDvbT2, 522000);
    t2None.Bandwidth = 8000;
    pugi::xml_node location = WriteAndParse({t2, t2Single, c2, t2Zero, t2None});
    std::vector<Attributes> elements;
    for (pugi::xml_node e : location.children("transponder"))
        elements.push_back(AttributesOf(e));
    ASSERT_EQ(elements.size(), 8u);
    Attributes t2Codes = {{"centre_frequency", "490000000"}, {"bandwidth", "0"},
                          {"constellation", "3"},            {"code_rate_hp", "5"},
                          {"code_rate_lp", "6"},             {"guard_interval", "4"},
                          {"transmission_mode", "2"},        {"hierarchy_information", "0"},
                          {"system", "1"}};
    for (int k = 0; k < 2; ++k) {
        Attributes expected = t2Codes;
        expected["plp_id"] = std::to_string(k + 1);
        EXPECT_EQ(elements[k], expected);
    }
    Attributes single = t2Codes;
    single["centre_frequency"] = "498000000";
    single["plp_id"] = "7";
    EXPECT_EQ(elements[2], single);
    t2Codes["centre_frequency"] = "514000000";
    EXPECT_EQ(elements[6], t2Codes);
    t2Codes["centre_frequency"] = "522000000";
    EXPECT_EQ(elements[7], t2Codes);
    const char* ids[] = {"0", "255", "3"};
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(elements[3 + k], (Attributes{{"frequency", "506000000"},
                                               {"symbol_rate", "0"},
                                               {"modulation", "0"},
                                               {"system", "1"},
                                               {"plp_id", ids[k]}}));
}

// Whatever the location name holds, the file stays well-formed and the name
// reads back as it was given.
TEST_F(XmlListParseTest, LocationNameReadsBackUnchanged)
{
    for (const char* name : {"Europe", "A&B", "<tag>", "say \"hi\"", "it's", "&amp; <&\"'>", "100% %s %n"}) {
        SCOPED_TRACE(name);
        pugi::xml_node location = WriteAndParse({Record(kStdDvbT, 474000)}, name);
        EXPECT_STREQ(location.attribute("name").value(), name);
    }
}

// Control characters in the name: XML 1.0 carries tab and line ends only as
// references and no other control character at all, so none is written raw
// and the others become '?'.
TEST_F(XmlListParseTest, ControlCharactersInTheNameKeepTheFileWellFormed)
{
    struct Case {
        std::string Name;
        std::string ReadBack;
    } cases[] = {
        {"North\x01" "East", "North?East"},
        {"\x1b[31mred\x1b[0m", "?[31mred?[0m"},
        {"tab\there", "tab\there"},
        {"cr\rlf\n", "cr\rlf\n"},
        {std::string("nul") + "\x7f" + "\x1f", "nul\x7f?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ReadBack);
        pugi::xml_node location = WriteAndParse({Record(kStdDvbT, 474000)}, c.Name.c_str());
        EXPECT_EQ(c.ReadBack, location.attribute("name").value());
        // Nothing below a blank but the file's own line ends and indents.
        std::string raw = testsupport::ReadFile(path_);
        for (char ch : raw)
            EXPECT_TRUE(static_cast<unsigned char>(ch) >= 0x20 || ch == '\n' || ch == '\t')
                << static_cast<int>(ch);
    }
}

} // namespace

#endif // TRESSEL_HAVE_PUGIXML
