// The service information each simulated transponder carries: PAT, PMT, SDT
// and NIT (actual and other) as complete sections with their CRC32, built
// from the band on demand into fixed buffers.
//
// Every transponder carries one TV service whose service id is its
// transport stream id. The NIT actual lists every transponder of the band's
// same family (terrestrial DVB-T/T2, cable DVB-C, or the transponder alone
// for the others) with its delivery descriptor; the NIT other names a second
// network with no transponders.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Band.h"

namespace tressel {
namespace dvbsim {

constexpr size_t kMaxSectionBytes = 1024; // PSI and DVB SI sections
constexpr uint32_t kMaxSections = 256;    // section_number is 8 bits

// The packet identifiers and table ids the simulator carries.
constexpr uint16_t kPidPat = 0x0000, kPidNit = 0x0010, kPidSdt = 0x0011;
constexpr uint16_t kPidPmt = 0x0100, kPidVideo = 0x0101, kPidAudio = 0x0102;
constexpr uint8_t kTablePat = 0x00, kTablePmt = 0x02, kTableNitActual = 0x40,
                  kTableNitOther = 0x41, kTableSdtActual = 0x42;

struct Section {
    uint16_t Length; // bytes, CRC included
    uint8_t Bytes[kMaxSectionBytes];
};

// The MPEG-2 CRC32 of data (polynomial 0x04C11DB7, initial value all ones,
// no reflection): 0 over a whole section that carries its CRC.
uint32_t Crc32(const uint8_t* data, size_t length);

// The network ids: terrestrial, cable and the others differ, and the other
// network of a NIT other is its network id + 0x100.
uint16_t NetworkId(const TransponderInfo* t);

// Builds every section that transponder index carries on pid into out
// (capacity cap); returns how many. A pid it does not carry gives 0.
uint32_t BuildSections(const vt::Band* band, uint32_t index, uint16_t pid, Section* out,
                       uint32_t cap);

// The kernel's section filter: filter/mask/mode bytes 0 and 1-15 stand for
// section bytes 0 and 3-17. A mode bit 0 wants equal bits; mode bits 1 want
// at least one differing bit among them.
bool SectionMatches(const Section* section, const uint8_t filter[16], const uint8_t mask[16],
                    const uint8_t mode[16]);

} // namespace dvbsim
} // namespace tressel
