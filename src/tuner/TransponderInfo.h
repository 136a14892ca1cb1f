// The record in which the tuner library describes one transponder.
//
// Its layout belongs to the maker's closed library and is reproduced byte for
// byte: 136 bytes, little-endian, every field at its natural alignment, the
// two reserved ranges kept so that consecutive records line up in the table.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tressel {

struct TransponderInfo {
    uint32_t Locked;            // nonzero when the tuner found a signal
    uint32_t Frequency;         // centre frequency, kHz
    uint32_t Bandwidth;         // kHz
    uint32_t SymbolRate;        // symbols per second
    uint32_t Standard;          // delivery-system code
    uint32_t Modulation;        // constellation code
    uint32_t Fec;               // code rate (DVB-T: high-priority stream)
    uint32_t FecLp;             // DVB-T low-priority code rate
    uint32_t Spectrum;          // 1 normal, 2 inverted
    uint32_t TransmissionMode;  // FFT size code
    uint32_t GuardInterval;     // guard-interval code
    uint32_t Hierarchy;         // 1 alpha 1, 2 alpha 2, 3 alpha 4, else none
    uint32_t PlpCount;          // DVB-T2 physical layer pipes
    uint8_t PlpIds[16];         // first PlpCount entries valid (at most 16)
    uint32_t PilotPattern;      // 0 for PP1
    uint32_t S1Signaling;       // 1 MISO, else SISO
    uint32_t Payload;           // 0 GFPS, 1 GCS, 2 GSE, else TS
    uint32_t FrameLength;       // nonzero long
    uint32_t ExtendedBandwidth; // nonzero on
    uint32_t T2Mode;            // 1 Lite, else Base
    uint32_t T2Version;         // 0 1.1.1, 1 1.2.1, 2 1.3.1
    uint32_t Reserved1[2];      // written by the library, never read
    uint32_t BitRate;           // bit/s
    int32_t RfLevel;            // dBm, signed
    double Snr;                 // dB
    uint8_t Reserved2[16];      // written by the library, never read
};

constexpr uint32_t kPlpIdCapacity = 16;
constexpr uint32_t kTableCapacity = 200;

// Standard codes that the program tests by number.
constexpr uint32_t kStdDvbT = 6;
constexpr uint32_t kStdDvbT2 = 7;
constexpr uint32_t kStdDvbC = 8;
constexpr uint32_t kStdDvbC2 = 9;
constexpr uint32_t kStdAtsc = 10;
constexpr uint32_t kStdIsdbT = 12;

// The table of one pass: one fixed block, cleared at the start of every pass.
struct TransponderTable {
    TransponderInfo Records[kTableCapacity];
    uint32_t Count;
};

static_assert(sizeof(double) == 8, "Snr is an IEEE 754 double");
static_assert(sizeof(TransponderInfo) == 136, "the library's record is 136 bytes");
static_assert(alignof(TransponderInfo) == 8, "records follow each other without gaps");
static_assert(offsetof(TransponderInfo, Locked) == 0, "Locked");
static_assert(offsetof(TransponderInfo, Frequency) == 4, "Frequency");
static_assert(offsetof(TransponderInfo, Bandwidth) == 8, "Bandwidth");
static_assert(offsetof(TransponderInfo, SymbolRate) == 12, "SymbolRate");
static_assert(offsetof(TransponderInfo, Standard) == 16, "Standard");
static_assert(offsetof(TransponderInfo, Modulation) == 20, "Modulation");
static_assert(offsetof(TransponderInfo, Fec) == 24, "Fec");
static_assert(offsetof(TransponderInfo, FecLp) == 28, "FecLp");
static_assert(offsetof(TransponderInfo, Spectrum) == 32, "Spectrum");
static_assert(offsetof(TransponderInfo, TransmissionMode) == 36, "TransmissionMode");
static_assert(offsetof(TransponderInfo, GuardInterval) == 40, "GuardInterval");
static_assert(offsetof(TransponderInfo, Hierarchy) == 44, "Hierarchy");
static_assert(offsetof(TransponderInfo, PlpCount) == 48, "PlpCount");
static_assert(offsetof(TransponderInfo, PlpIds) == 52, "PlpIds");
static_assert(offsetof(TransponderInfo, PilotPattern) == 68, "PilotPattern");
static_assert(offsetof(TransponderInfo, S1Signaling) == 72, "S1Signaling");
static_assert(offsetof(TransponderInfo, Payload) == 76, "Payload");
static_assert(offsetof(TransponderInfo, FrameLength) == 80, "FrameLength");
static_assert(offsetof(TransponderInfo, ExtendedBandwidth) == 84, "ExtendedBandwidth");
static_assert(offsetof(TransponderInfo, T2Mode) == 88, "T2Mode");
static_assert(offsetof(TransponderInfo, T2Version) == 92, "T2Version");
static_assert(offsetof(TransponderInfo, Reserved1) == 96, "first reserved range");
static_assert(offsetof(TransponderInfo, BitRate) == 104, "BitRate");
static_assert(offsetof(TransponderInfo, RfLevel) == 108, "RfLevel");
static_assert(offsetof(TransponderInfo, Snr) == 112, "Snr");
static_assert(offsetof(TransponderInfo, Reserved2) == 120, "second reserved range");

} // namespace tressel
