// The history of a watch over time: a CSV file to which every pass appends
// one row per transponder found and one per transponder of the previous pass
// that it lost, read back with fixed capacities for the change lines and the
// band picture's SNR panel.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tuner/TransponderInfo.h"

namespace tressel {

// The recent passes kept from the file, and room for a time stamp.
constexpr uint32_t kHistoryPassCapacity = 50;
constexpr size_t kStampCapacity = 40;

// The first line of every history file.
extern const char* const kHistoryHeader;

// One found transponder of a past pass, as the SNR panel draws it.
struct HistoryPoint {
    uint32_t Frequency; // kHz
    uint32_t Standard;
    double Snr;         // dB
};

// The rows of one pass: those that share its time stamp and pass number.
struct HistoryPass {
    char Stamp[kStampCapacity];
    uint32_t PassNumber;
    uint32_t Count;     // found transponders in Points
    HistoryPoint Points[kTableCapacity];
};

enum class HistoryState : uint32_t {
    New,        // no file, or an empty one: the header comes first
    Ours,       // our header: rows were read
    Foreign,    // a file whose first line is not our header
    Unreadable, // a file that exists but cannot be opened for reading
};

// A frequency range, kHz, that a pass scanned from end to end.
struct ScannedRange {
    uint32_t Start;
    uint32_t Stop;
};
constexpr uint32_t kScannedRangeCapacity = 64;

struct HistoryLog {
    HistoryState State;
    bool NeedsLineEnd;        // the file ends in the middle of a line
    uint32_t UnreadableLines; // rows that could not be read, skipped
    bool LastPassDamaged;     // an unreadable row lies in or after the last pass
    // The recent passes, oldest first from index First, as a ring.
    uint32_t First;
    uint32_t PassCount;
    HistoryPass Passes[kHistoryPassCapacity];
    // The found records of the last pass in full, for the comparison and the
    // lost rows; only the fields that a row holds are set.
    uint32_t LastCount;
    TransponderInfo Last[kTableCapacity];
    // Set after reading: when LimitLost is true, a previous transponder that
    // the pass missed is lost only inside these ranges; elsewhere the pass did
    // not look, and its row is carried over, marked unscanned.
    bool LimitLost;
    uint32_t ScannedCount;
    ScannedRange Scanned[kScannedRangeCapacity];
};

// Reads the history at path into log, keeping the last kHistoryPassCapacity
// passes. Never fails: what cannot be read is told by log->State and the
// damage counts.
void ReadHistory(const char* path, HistoryLog* log);

// True when log holds a previous pass that can be compared with.
bool HistoryHasPreviousPass(const HistoryLog* log);

// The passes held, i from 0 (the oldest) to PassCount - 1.
const HistoryPass* HistoryPassAt(const HistoryLog* log, uint32_t i);

// Formats the rows of one pass into out (capacity cap): a line end first when
// the file ends inside a line, the header when the file is new, a row per
// record of table and, when there is a previous pass, a row per transponder
// of it that table lacks, marked lost where the pass scanned and unscanned
// (its values carried over) where it did not. Lines end in CR LF. Returns the length,
// or -1 when the rows do not fit.
int FormatHistoryRows(char* out, size_t cap, const HistoryLog* log, const TransponderInfo* table,
                      uint32_t count, const char* stamp, uint32_t passNumber);

// Appends the pass's rows to the file at path with one write. Returns 0, or
// -2 when the file cannot be opened or written.
int AppendHistory(const char* path, const HistoryLog* log, const TransponderInfo* table, uint32_t count,
                  const char* stamp, uint32_t passNumber);

// Prints one console line per change between the previous pass of log and
// table (sorted by frequency): new and lost transponders, changed
// parameters, and an SNR or RF level that moved by thresholdDb or more.
// Prints nothing when nothing changed. Returns the number of lines.
uint32_t PrintHistoryChanges(const HistoryLog* log, const TransponderInfo* table, uint32_t count,
                             int32_t thresholdDb);

// Makes table the log's newest pass, with the carried rows, as the next pass
// will read it back.
void AddPassToHistory(HistoryLog* log, const TransponderInfo* table, uint32_t count, const char* stamp,
                      uint32_t passNumber);

} // namespace tressel
