// What a transponder's own tables say about it: the transport stream id from
// the PAT, and the delivery descriptors of its entry in the NIT (actual).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tressel {
namespace dvb {

constexpr uint32_t kMaxNitPlps = 16;

// Parameters from delivery descriptors, already as record codes (0 where
// the descriptor does not say).
struct NitDelivery {
    uint32_t Found;         // a matching delivery descriptor was seen
    uint32_t BandwidthKHz;
    uint32_t SymbolRate;
    uint32_t Modulation;
    uint32_t Fec;
    uint32_t FecLp;
    uint32_t TransmissionMode;
    uint32_t GuardInterval;
    uint32_t Hierarchy;
    uint32_t S1Signaling;   // 1 MISO
    uint32_t PlpCount;      // DVB-T2: one descriptor per PLP
    uint8_t PlpIds[kMaxNitPlps];
};

// Transport stream id from a PAT section (table 0x00); -1 when the section
// is not a valid PAT.
int ParsePatTsid(const uint8_t* section, size_t length);

// Adds what one NIT section (table 0x40) says about the transponder: the
// transport-stream entry whose id is tsid (when tsid >= 0), or else the one
// whose delivery descriptor names a frequency within 1 MHz of lockedKHz.
// Returns 0, or -1 when the section is malformed.
int ParseNitSection(const uint8_t* section, size_t length, int tsid, uint32_t lockedKHz, NitDelivery* out);

// Reads the PAT and the NIT from the demux at demuxPath within timeoutMs and
// fills out (out->Found stays 0 when nothing matched). Returns 0, or -1 when
// the demux cannot be used.
int ReadTransponderTables(const char* demuxPath, uint32_t timeoutMs, uint32_t lockedKHz, NitDelivery* out);

} // namespace dvb
} // namespace tressel
