// The transponder list of one pass: an INI list, a scan table or an XML
// locations file, chosen by the list format setting.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tuner/TransponderInfo.h"

namespace tressel {

// List formats with a variant of their own; every other value is an INI list.
constexpr uint32_t kListScanTable = 5;
constexpr uint32_t kListXml = 6;

constexpr size_t kDateStampCapacity = 128;

// The texts of one record, emptied before each record and then formatted
// into its line or lines. A field that the variant does not fill stays empty.
struct TpLineFields {
    char HpText[8];       // code rate, high priority
    char LpText[8];       // code rate, low priority
    char ModText[16];     // modulation
    char FftText[8];      // transmission mode
    char GuardText[8];    // guard interval
    char BwText[8];       // bandwidth
    char SysText[8];      // system code
    char HierText[8];     // hierarchy
    char CommentText[80]; // appended to the line: empty or a separator first
    char SignalText[80];  // RF level and SNR, or SNR alone, for the comment
};

// Writes the records to the list file at path, replacing any file there once
// the new one is complete, and rounds every record's Frequency in place to
// the 500 kHz raster. format picks the variant (5 scan table, 6 XML, else
// INI); commentFormat the comment that INI formats 1 and 3 and the scan
// table append. locName is written as text, never used as a format.
// Returns 0 when the list was written; -1 when path or table is null or count
// is 0 (nothing is touched, no record changed); -2 when the file cannot be
// created, a write or the close fails, or it cannot replace the old file (the
// old file then stays as it was).
int WriteTpList(const char* locName, TransponderInfo* table, uint32_t format, const char* path,
                uint32_t position, uint32_t count, uint32_t commentFormat);

// The frequency (kHz) on the 500 kHz raster: a remainder above 200 kHz
// rounds up, 200 and below rounds down.
uint32_t RoundFrequencyKhz(uint32_t frequencyKhz);

// The symbol rate in kS/s (truncated from symbols per second). Above 10000
// kS/s a last digit of 0-4 rounds down to the ten, 6-9 rounds up, 5 stays.
uint32_t RoundSymbolRateKs(uint32_t symbolRate);

// The list's date stamp from the local time, as "hour:minute - dd/mm/yyyy"
// without leading zeros on hour and minute; all zero when the local time
// cannot be read. Returns its length, or -1 when it was cut to fit cap.
int FormatDateStamp(char* out, size_t cap);

// The comment of one line into fields->CommentText, from the signal text and
// the date stamp as commentFormat asks, in the form of the list format; empty
// for formats without comments. An over-long comment is cut to the field.
void FormatComment(TpLineFields* fields, uint32_t format, uint32_t commentFormat,
                   const char* dateStamp);

} // namespace tressel
