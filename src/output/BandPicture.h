// An SVG picture of one pass: the scanned intervals along a frequency axis,
// a bar per transponder as high as its SNR, coloured by standard, and, when
// a history is kept, the SNR of the recent passes beneath.
#pragma once

#include <cstdint>

#include "output/History.h"
#include "tuner/TransponderInfo.h"

namespace tressel {

// The scan intervals of a pass that the picture shows.
constexpr uint32_t kPictureIntervalCapacity = 64;

struct PictureInterval {
    uint32_t Start;  // kHz
    uint32_t Stop;   // kHz
    bool Stepped;    // the stepped scan ran it, so its SNR floors applied
    double MinSnr1;  // dB, all but DVB-T2 and DVB-C2
    double MinSnr2;  // dB, DVB-T2 and DVB-C2
};

struct BandPictureInput {
    const TransponderInfo* Table; // sorted by frequency
    uint32_t Count;
    const PictureInterval* Intervals;
    uint32_t IntervalCount;
    uint32_t PassNumber;
    const char* Stamp;         // the pass's local start time, or empty
    const HistoryLog* History; // null without a history; its newest pass is this one
};

// The colour of a standard's bars, "#rrggbb".
const char* StandardColour(uint32_t standard);

// Writes the picture to path through the output file's temporary name.
// Returns 0, -1 without a table, or -2 when the file cannot be written.
int WriteBandPicture(const char* path, const BandPictureInput* input);

} // namespace tressel
