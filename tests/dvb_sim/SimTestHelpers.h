// Helpers of the simulator's tests: a band read from text, and readers of
// the sections and descriptors it builds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Band.h"
#include "Sections.h"

namespace simtest {

// The band that text (a band file) gives, read with the simulator's keys.
// Fails the test when the reader refuses it.
std::unique_ptr<tressel::vt::Band> BandFromText(const std::string& text);

// The reader's answer for text: 0, or -2 when refused.
int ReadBandText(const std::string& text, tressel::vt::Band* band, bool dvbKeys);

// Every section of one pid of transponder index.
std::vector<tressel::dvbsim::Section> SectionsOf(const tressel::vt::Band& band, uint32_t index, uint16_t pid);

uint32_t Get16(const uint8_t* p);
uint32_t Get32(const uint8_t* p);

// One descriptor: its tag and body.
struct Descriptor {
    uint8_t Tag;
    std::vector<uint8_t> Body;
};

// One entry of a NIT's transport-stream loop.
struct NitEntry {
    uint32_t Tsid;
    uint32_t OriginalNetwork;
    std::vector<Descriptor> Descriptors;
};

// The transport-stream loop of one NIT section.
std::vector<NitEntry> NitEntries(const tressel::dvbsim::Section& section);

// The descriptors of a loop of length bytes at p.
std::vector<Descriptor> Descriptors(const uint8_t* p, size_t length);

} // namespace simtest
