// The service information of the simulated transponders: CRC, the PSI
// tables, and the NIT's delivery descriptors that scanners read parameters
// from.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "Sections.h"
#include "SimTestHelpers.h"

using namespace tressel;
using namespace tressel::dvbsim;
using namespace simtest;

namespace {

constexpr const char* kMixedBand = R"(
[Transponder0]
Frequency=474166
Bandwidth=8000
Standard=6
Modulation=20
Fec=2
FecLp=1
TransmissionMode=4
GuardInterval=3
Hierarchy=2

[Transponder1]
Frequency=346000
Bandwidth=8000
SymbolRate=6875000
Standard=8
Modulation=21
Fec=3

[Transponder2]
Frequency=690000
Bandwidth=7000
Standard=7
Modulation=22
TransmissionMode=6
GuardInterval=7
S1Signaling=1
PlpIds=3, 7, 250
Tsid=4660

[Transponder3]
Frequency=594000
Bandwidth=6000
Standard=6
Modulation=18
Fec=5
TransmissionMode=2
GuardInterval=4
)";

void ExpectWellFormed(const Section& s)
{
    ASSERT_GE(s.Length, 12);
    ASSERT_LE(s.Length, kMaxSectionBytes);
    EXPECT_EQ(Get16(s.Bytes + 1) & 0x0FFF, s.Length - 3u) << "section_length";
    EXPECT_EQ(s.Bytes[1] & 0x80, 0x80) << "section_syntax_indicator";
    EXPECT_EQ(s.Bytes[5] & 0x01, 0x01) << "current_next_indicator";
    EXPECT_EQ(Crc32(s.Bytes, s.Length), 0u) << "a section with its CRC leaves no remainder";
}

TEST(Crc32, MatchesTheMpeg2CheckValue)
{
    const char* text = "123456789";
    EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(text), strlen(text)), 0x0376E6E7u);
    EXPECT_EQ(Crc32(nullptr, 0), 0xFFFFFFFFu);
}

TEST(PsiTables, PatPmtAndSdtAgreeOnOneServicePerTransponder)
{
    auto band = BandFromText(kMixedBand);
    for (uint32_t i = 0; i < band->TransponderCount; ++i) {
        SCOPED_TRACE("transponder " + std::to_string(i));
        uint32_t tsid = band->DvbTransponders[i].Tsid;
        EXPECT_EQ(tsid, i == 2 ? 4660u : i + 1);

        auto pat = SectionsOf(*band, i, kPidPat);
        ASSERT_EQ(pat.size(), 1u);
        ExpectWellFormed(pat[0]);
        const uint8_t* p = pat[0].Bytes;
        EXPECT_EQ(p[0], kTablePat);
        EXPECT_EQ(Get16(p + 3), tsid);
        ASSERT_EQ(pat[0].Length, 8 + 8 + 4);
        EXPECT_EQ(Get16(p + 8), 0u);
        EXPECT_EQ(Get16(p + 10) & 0x1FFF, kPidNit);
        EXPECT_EQ(Get16(p + 12), tsid) << "program number = service id";
        EXPECT_EQ(Get16(p + 14) & 0x1FFF, kPidPmt);

        auto pmt = SectionsOf(*band, i, kPidPmt);
        ASSERT_EQ(pmt.size(), 1u);
        ExpectWellFormed(pmt[0]);
        const uint8_t* m = pmt[0].Bytes;
        EXPECT_EQ(m[0], kTablePmt);
        EXPECT_EQ(Get16(m + 3), tsid);
        EXPECT_EQ(Get16(m + 8) & 0x1FFF, kPidVideo) << "PCR PID";
        size_t at = 12 + (Get16(m + 10) & 0x0FFF);
        std::map<uint32_t, uint32_t> streams; // pid -> stream type
        while (at + 5 <= pmt[0].Length - 4u) {
            streams[Get16(m + at + 1) & 0x1FFF] = m[at];
            at += 5 + (Get16(m + at + 3) & 0x0FFF);
        }
        EXPECT_EQ(at, pmt[0].Length - 4u);
        ASSERT_EQ(streams.size(), 2u);
        EXPECT_EQ(streams[kPidVideo], band->Transponders[i].Standard == kStdDvbT2 ? 0x1Bu : 0x02u);
        EXPECT_EQ(streams[kPidAudio], 0x03u);

        auto sdt = SectionsOf(*band, i, kPidSdt);
        ASSERT_EQ(sdt.size(), 1u);
        ExpectWellFormed(sdt[0]);
        const uint8_t* s = sdt[0].Bytes;
        EXPECT_EQ(s[0], kTableSdtActual);
        EXPECT_EQ(Get16(s + 3), tsid);
        EXPECT_EQ(Get16(s + 8), NetworkId(&band->Transponders[i]));
        EXPECT_EQ(Get16(s + 11), tsid) << "service id";
        EXPECT_EQ(s[14] >> 5, 4) << "running";
        auto descriptors = Descriptors(s + 16, Get16(s + 14) & 0x0FFF);
        ASSERT_EQ(descriptors.size(), 1u);
        ASSERT_EQ(descriptors[0].Tag, 0x48);
        const std::vector<uint8_t>& d = descriptors[0].Body;
        EXPECT_EQ(d[0], 0x01) << "digital television";
        std::string provider(d.begin() + 2, d.begin() + 2 + d[1]);
        size_t nameAt = 2 + d[1];
        std::string name(d.begin() + nameAt + 1, d.begin() + nameAt + 1 + d[nameAt]);
        EXPECT_EQ(provider, "Tressel");
        EXPECT_EQ(name, "Service " + std::to_string(tsid));
    }
}

// The NIT actual of transponder index, its entries keyed by tsid.
std::map<uint32_t, NitEntry> NitActual(const vt::Band& band, uint32_t index)
{
    std::map<uint32_t, NitEntry> entries;
    for (const Section& s : SectionsOf(band, index, kPidNit)) {
        ExpectWellFormed(s);
        if (s.Bytes[0] != kTableNitActual)
            continue;
        EXPECT_EQ(Get16(s.Bytes + 3), NetworkId(&band.Transponders[index]));
        for (const NitEntry& e : NitEntries(s))
            entries[e.Tsid] = e;
    }
    return entries;
}

TEST(NitDelivery, TerrestrialDescriptorsCarryTheDvbTParameters)
{
    auto band = BandFromText(kMixedBand);
    auto entries = NitActual(*band, 0);
    // The terrestrial family: both DVB-T and the DVB-T2, not the cable one.
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries.count(2), 0u);

    struct Case {
        uint32_t Tsid;
        uint32_t Frequency10Hz;
        uint32_t Bandwidth, Constellation, Hierarchy, CodeRateHp, CodeRateLp, Guard, Mode;
    };
    const Case cases[] = {
        {1, 47416600, 0, 2, 2, 1, 0, 2, 1}, // 8 MHz, 64-QAM, alpha 2, 2/3 and 1/2, 1/8, 8k
        {4, 59400000, 2, 1, 0, 3, 0, 3, 0}, // 6 MHz, 16-QAM, none, 5/6, 1/4, 2k
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("tsid " + std::to_string(c.Tsid));
        const NitEntry& e = entries[c.Tsid];
        EXPECT_EQ(e.OriginalNetwork, 0x3001u);
        ASSERT_EQ(e.Descriptors.size(), 1u);
        ASSERT_EQ(e.Descriptors[0].Tag, 0x5A);
        const std::vector<uint8_t>& d = e.Descriptors[0].Body;
        ASSERT_EQ(d.size(), 11u);
        EXPECT_EQ(Get32(d.data()), c.Frequency10Hz);
        EXPECT_EQ(d[4] >> 5, c.Bandwidth);
        EXPECT_EQ(d[5] >> 6, c.Constellation);
        EXPECT_EQ((d[5] >> 3) & 7, c.Hierarchy);
        EXPECT_EQ(d[5] & 7, c.CodeRateHp);
        EXPECT_EQ(d[6] >> 5, c.CodeRateLp);
        EXPECT_EQ((d[6] >> 3) & 3, c.Guard);
        EXPECT_EQ((d[6] >> 1) & 3, c.Mode);
    }
}

TEST(NitDelivery, T2DescriptorsNameEveryPlpWithTheCellFrequency)
{
    auto band = BandFromText(kMixedBand);
    auto entries = NitActual(*band, 2);
    const NitEntry& e = entries[4660];
    ASSERT_EQ(e.Descriptors.size(), 3u) << "one descriptor per PLP";
    const uint8_t plps[] = {3, 7, 250};
    for (size_t i = 0; i < 3; ++i) {
        const std::vector<uint8_t>& d = e.Descriptors[i].Body;
        ASSERT_EQ(e.Descriptors[i].Tag, 0x7F);
        ASSERT_EQ(d.size(), 13u);
        EXPECT_EQ(d[0], 0x04) << "T2 delivery system";
        EXPECT_EQ(d[1], plps[i]);
        EXPECT_EQ(d[4] >> 6, 1) << "MISO";
        EXPECT_EQ((d[4] >> 2) & 0xF, 1) << "7 MHz";
        EXPECT_EQ(d[5] >> 5, 6) << "19/256";
        EXPECT_EQ((d[5] >> 2) & 7, 5) << "32k";
        EXPECT_EQ(d[5] & 3, 0) << "no other frequency, no TFS";
        EXPECT_EQ(Get32(d.data() + 8), 69000000u) << "cell centre frequency";
        EXPECT_EQ(d[12], 0) << "no subcells";
    }
}

TEST(NitDelivery, CableDescriptorIsBinaryCodedDecimal)
{
    auto band = BandFromText(kMixedBand);
    auto entries = NitActual(*band, 1);
    ASSERT_EQ(entries.size(), 1u) << "the cable family alone";
    const NitEntry& e = entries[2];
    EXPECT_EQ(e.OriginalNetwork, 0x3002u);
    ASSERT_EQ(e.Descriptors.size(), 1u);
    ASSERT_EQ(e.Descriptors[0].Tag, 0x44);
    const std::vector<uint8_t>& d = e.Descriptors[0].Body;
    ASSERT_EQ(d.size(), 11u);
    EXPECT_EQ(Get32(d.data()), 0x03460000u) << "0346.0000 MHz";
    EXPECT_EQ(d[5] & 0xF, 2) << "outer FEC RS(204/188)";
    EXPECT_EQ(d[6], 4) << "128-QAM";
    EXPECT_EQ(Get32(d.data() + 7) >> 4, 0x0068750u) << "006.8750 MS/s";
    EXPECT_EQ(d[10] & 0xF, 3) << "3/4";
}

TEST(NitDelivery, OtherNetworkHasNoTransponders)
{
    auto band = BandFromText(kMixedBand);
    auto sections = SectionsOf(*band, 0, kPidNit);
    ASSERT_EQ(sections.size(), 2u);
    const Section& other = sections[1];
    ExpectWellFormed(other);
    EXPECT_EQ(other.Bytes[0], kTableNitOther);
    EXPECT_EQ(Get16(other.Bytes + 3), 0x3101u);
    EXPECT_TRUE(NitEntries(other).empty());
}

TEST(NitDelivery, LargeBandSplitsOverNumberedSections)
{
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "[Transponder" + std::to_string(i) + "]\nFrequency=" + std::to_string(100000 + 1000 * i) +
                "\nBandwidth=8000\nStandard=6\n";
    auto band = BandFromText(text);
    auto sections = SectionsOf(*band, 17, kPidNit);
    std::vector<uint32_t> tsids;
    uint32_t actual = 0;
    for (const Section& s : sections) {
        ExpectWellFormed(s);
        if (s.Bytes[0] != kTableNitActual)
            continue;
        EXPECT_EQ(s.Bytes[6], actual) << "section_number";
        ++actual;
        for (const NitEntry& e : NitEntries(s))
            tsids.push_back(e.Tsid);
    }
    ASSERT_GT(actual, 1u);
    for (const Section& s : sections) {
        if (s.Bytes[0] == kTableNitActual) {
            EXPECT_EQ(s.Bytes[7], actual - 1) << "last_section_number";
        }
    }
    ASSERT_EQ(tsids.size(), 300u);
    for (uint32_t i = 0; i < 300; ++i)
        EXPECT_EQ(tsids[i], i + 1);
}

TEST(NitDelivery, PidsTheTransponderDoesNotCarryHaveNoSections)
{
    auto band = BandFromText(kMixedBand);
    EXPECT_TRUE(SectionsOf(*band, 0, 0x12).empty());
    EXPECT_TRUE(SectionsOf(*band, 0, 0x1FFB).empty());
    EXPECT_TRUE(SectionsOf(*band, 99, kPidPat).empty()) << "no such transponder";
}

TEST(SectionFilter, FollowsTheKernelsFilterBytes)
{
    auto band = BandFromText(kMixedBand);
    Section nit = SectionsOf(*band, 0, kPidNit)[0]; // table 0x40, network 0x3001, section 0
    struct Case {
        const char* Name;
        uint8_t Filter[3]; // bytes 0-2 of the filter: table id, then extension high and low
        uint8_t Mask[3];
        uint8_t Mode[3];
        bool Matches;
    };
    const Case cases[] = {
        {"no mask", {0x00, 0, 0}, {0, 0, 0}, {0, 0, 0}, true},
        {"table id", {0x40, 0, 0}, {0xFF, 0, 0}, {0, 0, 0}, true},
        {"other table id", {0x41, 0, 0}, {0xFF, 0, 0}, {0, 0, 0}, false},
        {"table id 0x40 or 0x41", {0x40, 0, 0}, {0xFE, 0, 0}, {0, 0, 0}, true},
        {"extension skips the length bytes", {0x40, 0x30, 0x01}, {0xFF, 0xFF, 0xFF}, {0, 0, 0}, true},
        {"other extension", {0x40, 0x30, 0x02}, {0xFF, 0xFF, 0xFF}, {0, 0, 0}, false},
        {"negative mode: not network 0x3001", {0x40, 0x30, 0x01}, {0xFF, 0xFF, 0xFF}, {0, 0xFF, 0xFF}, false},
        {"negative mode: not network 0x3002", {0x40, 0x30, 0x02}, {0xFF, 0xFF, 0xFF}, {0, 0xFF, 0xFF}, true},
    };
    for (const Case& c : cases) {
        uint8_t filter[16] = {}, mask[16] = {}, mode[16] = {};
        memcpy(filter, c.Filter, 3);
        memcpy(mask, c.Mask, 3);
        memcpy(mode, c.Mode, 3);
        EXPECT_EQ(SectionMatches(&nit, filter, mask, mode), c.Matches) << c.Name;
    }
}

} // namespace
