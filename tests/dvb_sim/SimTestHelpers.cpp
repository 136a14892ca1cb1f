#include "SimTestHelpers.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace simtest {

using tressel::dvbsim::Section;
using tressel::vt::Band;

int ReadBandText(const std::string& text, Band* band, bool dvbKeys)
{
    testsupport::TempDir dir;
    std::string path = dir.File("band.ini");
    testsupport::WriteFile(path, text);
    if (!dvbKeys)
        return tressel::vt::LoadBandFile(path.c_str(), band); // the virtual tuner's reader
    const tressel::vt::BandReadOptions options = {"dvb sim", true};
    return tressel::vt::LoadBandFileWith(path.c_str(), band, &options);
}

std::unique_ptr<Band> BandFromText(const std::string& text)
{
    std::unique_ptr<Band> band(new Band);
    EXPECT_EQ(ReadBandText(text, band.get(), true), 0) << text;
    return band;
}

std::vector<Section> SectionsOf(const Band& band, uint32_t index, uint16_t pid)
{
    std::vector<Section> sections(tressel::dvbsim::kMaxSections);
    uint32_t n = tressel::dvbsim::BuildSections(&band, index, pid, sections.data(),
                                                static_cast<uint32_t>(sections.size()));
    sections.resize(n);
    return sections;
}

uint32_t Get16(const uint8_t* p) { return (uint32_t{p[0]} << 8) | p[1]; }
uint32_t Get32(const uint8_t* p) { return (Get16(p) << 16) | Get16(p + 2); }

std::vector<Descriptor> Descriptors(const uint8_t* p, size_t length)
{
    std::vector<Descriptor> result;
    size_t at = 0;
    while (at + 2 <= length) {
        Descriptor d;
        d.Tag = p[at];
        size_t size = p[at + 1];
        EXPECT_LE(at + 2 + size, length) << "descriptor runs past its loop";
        d.Body.assign(p + at + 2, p + std::min(length, at + 2 + size));
        result.push_back(d);
        at += 2 + size;
    }
    EXPECT_EQ(at, length) << "descriptor loop length";
    return result;
}

std::vector<NitEntry> NitEntries(const Section& section)
{
    const uint8_t* b = section.Bytes;
    size_t networkLength = Get16(b + 8) & 0x0FFF;
    size_t loopAt = 10 + networkLength;
    size_t loopLength = Get16(b + loopAt) & 0x0FFF;
    EXPECT_EQ(loopAt + 2 + loopLength + 4, section.Length) << "NIT loops fill the section";
    std::vector<NitEntry> entries;
    size_t at = loopAt + 2;
    size_t end = at + loopLength;
    while (at + 6 <= end) {
        NitEntry e;
        e.Tsid = Get16(b + at);
        e.OriginalNetwork = Get16(b + at + 2);
        size_t length = Get16(b + at + 4) & 0x0FFF;
        e.Descriptors = Descriptors(b + at + 6, length);
        entries.push_back(e);
        at += 6 + length;
    }
    EXPECT_EQ(at, end);
    return entries;
}

} // namespace simtest
