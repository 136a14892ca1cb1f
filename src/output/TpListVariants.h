// The three families of the transponder list, as the list frame drives them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "output/TpList.h"
#include "tuner/TransponderInfo.h"

namespace tressel {

// One record's line or lines: the record (Frequency already rounded, kHz),
// its prepared fields, its position from 1 and its rounded symbol rate, kS/s.
struct TpRecordLine {
    const TransponderInfo* Record;
    const TpLineFields* Fields;
    uint32_t Position;
    uint32_t SymbolRateKs;
};

struct TpListVariant {
    // Writes the text before the first record.
    void (*WriteHeader)(FILE* out, const char* locName, uint32_t position, const TransponderInfo* table,
                        uint32_t count);
    // Fills the variant's own fields of one record.
    void (*FillFields)(const TransponderInfo* record, TpLineFields* fields);
    // Writes the line or lines of one record.
    void (*WriteRecord)(FILE* out, const TpRecordLine* line);
    // Writes the text after the last record; null when there is none.
    void (*WriteClosing)(FILE* out, const TransponderInfo* table);
};

extern const TpListVariant kIniListVariant;
extern const TpListVariant kScanTableVariant;
extern const TpListVariant kXmlListVariant;

// How many pipe identifiers of a record are written: PlpCount, but never
// more than the 16 that the record holds.
uint32_t WrittenPlpCount(const TransponderInfo* record);

// True when a DVB-T2 or DVB-C2 record is written without a pipe identifier:
// it has none, or its one pipe is PLP 0. A single pipe of another identifier
// is written with it, or readers would tune PLP 0.
bool WritesWithoutPlpId(const TransponderInfo* record);

// Copies text into out with the five XML special characters written as
// entities, tab and line ends as character references and every other
// control character, which XML cannot carry, as '?'. Returns the length, or -1 when it did not fit (out then holds the
// escaped text up to the last entity that fits whole).
int EscapeXmlText(char* out, size_t cap, const char* text);

} // namespace tressel
