#include "output/History.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/Console.h"
#include "common/Text.h"
#include "output/ValueNames.h"

namespace tressel {

const char* const kHistoryHeader =
    "time,pass,state,frequency_khz,standard,standard_code,modulation,modulation_code,bandwidth_khz,"
    "symbol_rate,code_rate,code_rate_code,code_rate_lp,code_rate_lp_code,fft,fft_code,guard_interval,"
    "guard_interval_code,hierarchy,hierarchy_code,plp_ids,rf_level_dbm,snr_db,bit_rate";

namespace {

// The columns of a row, in the header's order.
enum Column : uint32_t {
    kColTime, kColPass, kColState, kColFrequency, kColStandard, kColStandardCode, kColModulation,
    kColModulationCode, kColBandwidth, kColSymbolRate, kColFec, kColFecCode, kColFecLp, kColFecLpCode,
    kColFft, kColFftCode, kColGuard, kColGuardCode, kColHierarchy, kColHierarchyCode, kColPlpIds,
    kColRfLevel, kColSnr, kColBitRate, kColumnCount,
};

// Two records of consecutive passes are one transponder when they lie closer
// than the stepped scan's duplicate distance.
constexpr uint32_t kSameTransponderKHz = 1000;

// The longest row: 24 short fields, 16 pipe identifiers and a time stamp.
constexpr size_t kRowCapacity = 512;
// A line of the file as read back; a longer one is no row of ours.
constexpr size_t kLineCapacity = 1024;

// The rows of a pass with a full table that lost a full table, the header and
// a line end: the one buffer that the append writes.
char gRowBuffer[(2 * kTableCapacity + 1) * kRowCapacity + 2];

// What a row says of its transponder.
enum class RowState : uint32_t {
    Found,
    Lost,      // in the previous pass, and missed by a scan of its frequency
    Unscanned, // in the previous pass, where this pass did not scan: carried over as it was
};

constexpr const char* kRowStateNames[] = {"found", "lost", "unscanned"};

uint32_t Distance(uint32_t a, uint32_t b) { return a > b ? a - b : b - a; }

// For each record of table, the index of its previous-pass record or -1;
// prevUsed marks the previous records that were matched. Each record takes
// the nearest previous one not taken yet.
void MatchPasses(const HistoryLog* log, const TransponderInfo* table, uint32_t count, int32_t* match,
                 bool* prevUsed)
{
    for (uint32_t j = 0; j < log->LastCount; ++j)
        prevUsed[j] = false;
    for (uint32_t i = 0; i < count; ++i) {
        match[i] = -1;
        uint32_t best = kSameTransponderKHz;
        for (uint32_t j = 0; j < log->LastCount; ++j) {
            uint32_t d = Distance(table[i].Frequency, log->Last[j].Frequency);
            if (!prevUsed[j] && d < best) {
                best = d;
                match[i] = static_cast<int32_t>(j);
            }
        }
        if (match[i] >= 0)
            prevUsed[match[i]] = true;
    }
}

uint32_t ListedPlps(const TransponderInfo* record)
{
    return record->PlpCount < kPlpIdCapacity ? record->PlpCount : kPlpIdCapacity;
}

// The pipe identifiers separated by spaces ("0 1 2"); empty without pipes.
void PlpText(char* out, size_t cap, const TransponderInfo* record)
{
    out[0] = '\0';
    size_t used = 0;
    for (uint32_t k = 0; k < ListedPlps(record); ++k) {
        int n = FormatText(out + used, cap - used, k == 0 ? "%u" : " %u", record->PlpIds[k]);
        if (n < 0)
            return;
        used += static_cast<size_t>(n);
    }
}

// The SNR as a row holds it: six significant digits, so that the comparison
// of a pass read back and a pass just scanned sees the same value.
double RowSnr(double snr)
{
    char text[32];
    FormatText(text, sizeof text, "%.6g", snr);
    return strtod(text, nullptr);
}

// Appends one field to the row at *used, quoted when it holds a comma, a
// quote or a line break. Returns false when it does not fit.
bool AppendField(char* out, size_t cap, size_t* used, const char* text, bool first)
{
    bool quote = strpbrk(text, ",\"\r\n") != nullptr;
    size_t need = strlen(text) + (first ? 0 : 1) + (quote ? 2 : 0);
    for (const char* c = text; quote && *c != '\0'; ++c)
        need += *c == '"' ? 1 : 0;
    if (*used + need >= cap)
        return false;
    char* p = out + *used;
    if (!first)
        *p++ = ',';
    if (quote)
        *p++ = '"';
    for (const char* c = text; *c != '\0'; ++c) {
        if (quote && *c == '"')
            *p++ = '"';
        *p++ = *c;
    }
    if (quote)
        *p++ = '"';
    *p = '\0';
    *used = static_cast<size_t>(p - out);
    return true;
}

// Formats one row of record into out at *used. A lost row keeps the
// parameters of what was lost but leaves the measurements empty.
bool AppendRow(char* out, size_t cap, size_t* used, const TransponderInfo* r, const char* stamp,
               uint32_t passNumber, RowState state)
{
    bool lost = state == RowState::Lost;
    char numbers[kColumnCount][24];
    FormatText(numbers[kColPass], 24, "%u", passNumber);
    FormatText(numbers[kColFrequency], 24, "%u", r->Frequency);
    FormatText(numbers[kColStandardCode], 24, "%u", r->Standard);
    FormatText(numbers[kColModulationCode], 24, "%u", r->Modulation);
    FormatText(numbers[kColBandwidth], 24, "%u", r->Bandwidth);
    FormatText(numbers[kColSymbolRate], 24, "%u", r->SymbolRate);
    FormatText(numbers[kColFecCode], 24, "%u", r->Fec);
    FormatText(numbers[kColFecLpCode], 24, "%u", r->FecLp);
    FormatText(numbers[kColFftCode], 24, "%u", r->TransmissionMode);
    FormatText(numbers[kColGuardCode], 24, "%u", r->GuardInterval);
    FormatText(numbers[kColHierarchyCode], 24, "%u", r->Hierarchy);
    FormatText(numbers[kColRfLevel], 24, "%d", static_cast<int>(r->RfLevel));
    FormatText(numbers[kColSnr], 24, "%.6g", r->Snr);
    FormatText(numbers[kColBitRate], 24, "%u", r->BitRate);
    char plps[kPlpIdCapacity * 4 + 1];
    PlpText(plps, sizeof plps, r);

    const char* fields[kColumnCount] = {
        stamp, numbers[kColPass], kRowStateNames[static_cast<uint32_t>(state)], numbers[kColFrequency],
        StandardName(r->Standard), numbers[kColStandardCode], ModulationName(r->Modulation),
        numbers[kColModulationCode], numbers[kColBandwidth], numbers[kColSymbolRate], FecName(r->Fec),
        numbers[kColFecCode], FecName(r->FecLp), numbers[kColFecLpCode], FftModeName(r->TransmissionMode),
        numbers[kColFftCode], GuardIntervalName(r->GuardInterval), numbers[kColGuardCode],
        HierarchyAlphaName(r->Hierarchy), numbers[kColHierarchyCode], plps,
        lost ? "" : numbers[kColRfLevel], lost ? "" : numbers[kColSnr], lost ? "" : numbers[kColBitRate],
    };
    for (uint32_t c = 0; c < kColumnCount; ++c) {
        if (!AppendField(out, cap, used, fields[c], c == 0))
            return false;
    }
    if (*used + 2 >= cap)
        return false;
    memcpy(out + *used, "\r\n", 3);
    *used += 2;
    return true;
}

// Splits one CSV line (its line end removed) into at most max fields, in
// place. Quoted fields lose their quotes and doubled quotes. Returns the
// number of fields, or -1 for a quote that is not closed or more fields.
int SplitFields(char* line, char** fields, int max)
{
    int n = 0;
    char* read = line;
    for (;;) {
        if (n == max)
            return -1;
        char* write = read;
        fields[n++] = write;
        if (*read == '"') {
            ++read;
            for (;;) {
                if (*read == '\0')
                    return -1;
                if (*read == '"' && read[1] == '"') {
                    *write++ = '"';
                    read += 2;
                } else if (*read == '"') {
                    ++read;
                    break;
                } else {
                    *write++ = *read++;
                }
            }
            if (*read != ',' && *read != '\0')
                return -1;
        } else {
            while (*read != ',' && *read != '\0')
                *write++ = *read++;
        }
        bool more = *read == ',';
        if (*read != '\0')
            ++read;
        *write = '\0';
        if (!more)
            return n;
    }
}

bool ParseUnsigned(const char* text, uint32_t* out)
{
    if (*text < '0' || *text > '9')
        return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = strtoull(text, &end, 10);
    if (*end != '\0' || errno != 0 || v > 0xffffffffULL)
        return false;
    *out = static_cast<uint32_t>(v);
    return true;
}

bool ParseSigned(const char* text, int32_t* out)
{
    char* end = nullptr;
    errno = 0;
    long long v = strtoll(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || v < INT32_MIN || v > INT32_MAX)
        return false;
    *out = static_cast<int32_t>(v);
    return true;
}

bool ParseDouble(const char* text, double* out)
{
    char* end = nullptr;
    *out = strtod(text, &end);
    return end != text && *end == '\0';
}

bool ParsePlps(const char* text, TransponderInfo* r)
{
    r->PlpCount = 0;
    const char* p = text;
    while (*p != '\0') {
        char* end = nullptr;
        if (*p < '0' || *p > '9')
            return false;
        unsigned long v = strtoul(p, &end, 10);
        if (v > 255 || r->PlpCount == kPlpIdCapacity || (*end != ' ' && *end != '\0'))
            return false;
        r->PlpIds[r->PlpCount++] = static_cast<uint8_t>(v);
        p = *end == ' ' ? end + 1 : end;
    }
    return true;
}

// A row read back: its pass, its state, and the record.
struct Row {
    const char* Stamp;
    uint32_t PassNumber;
    RowState State;
    TransponderInfo Record;
};

bool ParseState(const char* text, RowState* state)
{
    for (uint32_t k = 0; k < sizeof kRowStateNames / sizeof kRowStateNames[0]; ++k) {
        if (strcmp(text, kRowStateNames[k]) == 0) {
            *state = static_cast<RowState>(k);
            return true;
        }
    }
    return false;
}

bool ParseRow(char* line, Row* row)
{
    char* f[kColumnCount];
    if (SplitFields(line, f, kColumnCount) != static_cast<int>(kColumnCount))
        return false;
    memset(&row->Record, 0, sizeof row->Record);
    TransponderInfo* r = &row->Record;
    row->Stamp = f[kColTime];
    // A time stamp holds digits and the marks of ISO 8601 only, so that it
    // goes into the picture's XML as it stands.
    size_t stampLength = strlen(f[kColTime]);
    bool ok = stampLength > 0 && stampLength < kStampCapacity &&
              strspn(f[kColTime], "0123456789-+:.TZ ") == stampLength &&
              ParseState(f[kColState], &row->State) &&
              ParseUnsigned(f[kColPass], &row->PassNumber) && ParseUnsigned(f[kColFrequency], &r->Frequency) &&
              ParseUnsigned(f[kColStandardCode], &r->Standard) &&
              ParseUnsigned(f[kColModulationCode], &r->Modulation) &&
              ParseUnsigned(f[kColBandwidth], &r->Bandwidth) && ParseUnsigned(f[kColSymbolRate], &r->SymbolRate) &&
              ParseUnsigned(f[kColFecCode], &r->Fec) && ParseUnsigned(f[kColFecLpCode], &r->FecLp) &&
              ParseUnsigned(f[kColFftCode], &r->TransmissionMode) &&
              ParseUnsigned(f[kColGuardCode], &r->GuardInterval) &&
              ParseUnsigned(f[kColHierarchyCode], &r->Hierarchy) && ParsePlps(f[kColPlpIds], r);
    if (!ok)
        return false;
    if (row->State == RowState::Lost)
        return true; // a lost row's measurements are empty
    return ParseSigned(f[kColRfLevel], &r->RfLevel) && ParseDouble(f[kColSnr], &r->Snr) &&
           ParseUnsigned(f[kColBitRate], &r->BitRate);
}

// Starts a new pass in the ring, dropping the oldest when it is full.
HistoryPass* OpenPass(HistoryLog* log, const char* stamp, uint32_t passNumber)
{
    if (log->PassCount == kHistoryPassCapacity) {
        log->First = (log->First + 1) % kHistoryPassCapacity;
        --log->PassCount;
    }
    HistoryPass* pass = &log->Passes[(log->First + log->PassCount) % kHistoryPassCapacity];
    ++log->PassCount;
    CopyText(pass->Stamp, sizeof pass->Stamp, stamp);
    pass->PassNumber = passNumber;
    pass->Count = 0;
    log->LastCount = 0;
    return pass;
}

// Adds a record to the newest pass: a found one to its points and to the
// records that the next pass compares with, a carried one to those only.
// False when the pass is full.
bool AddRecord(HistoryLog* log, HistoryPass* pass, const TransponderInfo* r, bool found)
{
    if (log->LastCount == kTableCapacity)
        return false;
    if (found)
        pass->Points[pass->Count++] = HistoryPoint{r->Frequency, r->Standard, r->Snr};
    log->Last[log->LastCount++] = *r;
    return true;
}

// True when this pass scanned the frequency of a previous record, so that
// missing it there means it was lost.
bool Scanned(const HistoryLog* log, const TransponderInfo* r)
{
    if (!log->LimitLost)
        return true;
    for (uint32_t k = 0; k < log->ScannedCount; ++k) {
        if (r->Frequency >= log->Scanned[k].Start && r->Frequency <= log->Scanned[k].Stop)
            return true;
    }
    return false;
}

// Reads one line into line; false at the end of the file. *whole is false
// for a line longer than the buffer (its rest is skipped); *ended tells
// whether the line had its line feed.
bool ReadLine(FILE* in, char* line, size_t cap, bool* whole, bool* ended)
{
    if (fgets(line, static_cast<int>(cap), in) == nullptr)
        return false;
    size_t n = strlen(line);
    *whole = true;
    *ended = n > 0 && line[n - 1] == '\n';
    if (!*ended && n + 1 == cap) {
        *whole = false;
        int c;
        while ((c = fgetc(in)) != EOF && c != '\n') {
        }
        *ended = c == '\n';
    }
    while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r'))
        line[--n] = '\0';
    return true;
}

void PrintChange(const TransponderInfo* now, const char* what, const char* before, const char* after)
{
    ConsolePrintf("Changed %.3f MHz %s: %s -> %s\n", now->Frequency / 1000.0, what, before, after);
}

// The parameters that a change line names, as a table of fields.
struct Parameter {
    const char* What;
    uint32_t TransponderInfo::*Field;
    const char* (*Name)(uint32_t);
};

constexpr Parameter kParameters[] = {
    {"standard", &TransponderInfo::Standard, StandardName},
    {"modulation", &TransponderInfo::Modulation, ModulationName},
    {"code rate", &TransponderInfo::Fec, FecName},
    {"low-priority code rate", &TransponderInfo::FecLp, FecName},
    {"FFT", &TransponderInfo::TransmissionMode, FftModeName},
    {"guard interval", &TransponderInfo::GuardInterval, GuardIntervalName},
};

// True when two records carry the same set of pipes, in whatever order.
bool SamePlps(const TransponderInfo* a, const TransponderInfo* b)
{
    if (ListedPlps(a) != ListedPlps(b))
        return false;
    for (uint32_t k = 0; k < ListedPlps(a); ++k) {
        if (memchr(b->PlpIds, a->PlpIds[k], ListedPlps(b)) == nullptr)
            return false;
    }
    return true;
}

// Compared in tenths of a dB, as the values are shown, so that 20.1 to 23.1
// is a move of 3 dB and not of 2.9999.
bool Moved(double before, double after, int32_t thresholdDb)
{
    double tenths = std::round(std::fabs(after - before) * 10);
    return tenths > 0 && tenths >= static_cast<double>(thresholdDb) * 10;
}

uint32_t PrintPairChanges(const TransponderInfo* before, const TransponderInfo* now, int32_t thresholdDb)
{
    uint32_t lines = 0;
    for (const Parameter& p : kParameters) {
        if (before->*p.Field != now->*p.Field) {
            PrintChange(now, p.What, p.Name(before->*p.Field), p.Name(now->*p.Field));
            ++lines;
        }
    }
    if (!SamePlps(before, now)) {
        char a[kPlpIdCapacity * 4 + 1];
        char b[kPlpIdCapacity * 4 + 1];
        PlpText(a, sizeof a, before);
        PlpText(b, sizeof b, now);
        PrintChange(now, "PLP IDs", a[0] != '\0' ? a : "none", b[0] != '\0' ? b : "none");
        ++lines;
    }
    double snr = RowSnr(now->Snr);
    if (Moved(before->Snr, snr, thresholdDb)) {
        ConsolePrintf("Changed %.3f MHz SNR: %.1f -> %.1f dB\n", now->Frequency / 1000.0, before->Snr, snr);
        ++lines;
    }
    if (Moved(before->RfLevel, now->RfLevel, thresholdDb)) {
        ConsolePrintf("Changed %.3f MHz RF level: %d -> %d dBm\n", now->Frequency / 1000.0,
                      static_cast<int>(before->RfLevel), static_cast<int>(now->RfLevel));
        ++lines;
    }
    return lines;
}

} // namespace

void ReadHistory(const char* path, HistoryLog* log)
{
    memset(log, 0, sizeof *log);
    log->State = HistoryState::New;
    FILE* in = fopen(path, "rb");
    if (in == nullptr) {
        // A file that exists but cannot be read is no new history.
        if (errno != ENOENT)
            log->State = HistoryState::Unreadable;
        return;
    }
    static char line[kLineCapacity];
    bool whole = true;
    bool ended = true;
    if (!ReadLine(in, line, sizeof line, &whole, &ended)) {
        fclose(in);
        return; // empty: a new history
    }
    if (!whole || strcmp(line, kHistoryHeader) != 0) {
        log->State = HistoryState::Foreign;
        fclose(in);
        return;
    }
    log->State = HistoryState::Ours;
    log->NeedsLineEnd = !ended;
    HistoryPass* pass = nullptr;
    bool damagedInPass = false;
    Row row;
    while (ReadLine(in, line, sizeof line, &whole, &ended)) {
        log->NeedsLineEnd = !ended;
        if (whole && line[0] == '\0')
            continue;
        if (!whole || !ParseRow(line, &row)) {
            ++log->UnreadableLines;
            damagedInPass = true;
            continue;
        }
        if (pass == nullptr || pass->PassNumber != row.PassNumber || strcmp(pass->Stamp, row.Stamp) != 0) {
            pass = OpenPass(log, row.Stamp, row.PassNumber);
            damagedInPass = false;
        }
        if (row.State != RowState::Lost && !AddRecord(log, pass, &row.Record, row.State == RowState::Found)) {
            ++log->UnreadableLines;
            damagedInPass = true;
        }
    }
    log->LastPassDamaged = damagedInPass;
    fclose(in);
}

bool HistoryHasPreviousPass(const HistoryLog* log)
{
    return log->State == HistoryState::Ours && log->PassCount > 0 && !log->LastPassDamaged;
}

const HistoryPass* HistoryPassAt(const HistoryLog* log, uint32_t i)
{
    if (i >= log->PassCount)
        return nullptr;
    return &log->Passes[(log->First + i) % kHistoryPassCapacity];
}

int FormatHistoryRows(char* out, size_t cap, const HistoryLog* log, const TransponderInfo* table,
                      uint32_t count, const char* stamp, uint32_t passNumber)
{
    if (cap == 0)
        return -1;
    out[0] = '\0';
    size_t used = 0;
    // A row cut short by a crash gets its line end, so that ours start a line.
    if (log->NeedsLineEnd) {
        if (cap < 3)
            return -1;
        memcpy(out, "\r\n", 3);
        used = 2;
    }
    if (log->State == HistoryState::New) {
        int n = FormatText(out + used, cap - used, "%s\r\n", kHistoryHeader);
        if (n < 0)
            return -1;
        used += static_cast<size_t>(n);
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (!AppendRow(out, cap, &used, &table[i], stamp, passNumber, RowState::Found))
            return -1;
    }
    if (HistoryHasPreviousPass(log)) {
        static int32_t match[kTableCapacity];
        static bool prevUsed[kTableCapacity];
        MatchPasses(log, table, count, match, prevUsed);
        // Carried rows go with the found ones into the next pass's 200.
        uint32_t kept = count;
        for (uint32_t j = 0; j < log->LastCount; ++j) {
            if (prevUsed[j])
                continue;
            RowState state = Scanned(log, &log->Last[j]) ? RowState::Lost : RowState::Unscanned;
            if (state == RowState::Unscanned && kept++ >= kTableCapacity)
                continue;
            if (!AppendRow(out, cap, &used, &log->Last[j], stamp, passNumber, state))
                return -1;
        }
    }
    return static_cast<int>(used);
}

int AppendHistory(const char* path, const HistoryLog* log, const TransponderInfo* table, uint32_t count,
                  const char* stamp, uint32_t passNumber)
{
    int length = FormatHistoryRows(gRowBuffer, sizeof gRowBuffer, log, table, count, stamp, passNumber);
    if (length < 0)
        return -2;
    if (length == 0)
        return 0;
    // Binary mode: the rows carry their own CR LF on every platform. One
    // unbuffered write, so that no reader sees part of the pass.
    FILE* out = fopen(path, "ab");
    if (out == nullptr)
        return -2;
    setvbuf(out, nullptr, _IONBF, 0);
    bool ok = fwrite(gRowBuffer, 1, static_cast<size_t>(length), out) == static_cast<size_t>(length);
    if (fclose(out) != 0)
        ok = false;
    return ok ? 0 : -2;
}

uint32_t PrintHistoryChanges(const HistoryLog* log, const TransponderInfo* table, uint32_t count,
                             int32_t thresholdDb)
{
    if (!HistoryHasPreviousPass(log))
        return 0;
    static int32_t match[kTableCapacity];
    static bool prevUsed[kTableCapacity];
    MatchPasses(log, table, count, match, prevUsed);
    // New, changed and lost transponders in the order of frequency.
    uint32_t lines = 0;
    uint32_t j = 0;
    for (uint32_t i = 0; i <= count; ++i) {
        for (; j < log->LastCount && (i == count || log->Last[j].Frequency < table[i].Frequency); ++j) {
            if (prevUsed[j] || !Scanned(log, &log->Last[j]))
                continue;
            const TransponderInfo* lost = &log->Last[j];
            ConsolePrintf("Lost transponder %.3f MHz %s %s\n", lost->Frequency / 1000.0,
                          StandardName(lost->Standard), ModulationName(lost->Modulation));
            ++lines;
        }
        if (i == count)
            break;
        const TransponderInfo* now = &table[i];
        if (match[i] < 0) {
            ConsolePrintf("New transponder %.3f MHz %s %s, SNR %.1f dB, RF level %d dBm\n",
                          now->Frequency / 1000.0, StandardName(now->Standard), ModulationName(now->Modulation),
                          now->Snr, static_cast<int>(now->RfLevel));
            ++lines;
        } else {
            lines += PrintPairChanges(&log->Last[match[i]], now, thresholdDb);
        }
    }
    return lines;
}

void AddPassToHistory(HistoryLog* log, const TransponderInfo* table, uint32_t count, const char* stamp,
                      uint32_t passNumber)
{
    if (log->State == HistoryState::Foreign)
        return;
    // The records that the carried rows repeat, before the new pass replaces them.
    static TransponderInfo carried[kTableCapacity];
    uint32_t carriedCount = 0;
    if (HistoryHasPreviousPass(log)) {
        static int32_t match[kTableCapacity];
        static bool prevUsed[kTableCapacity];
        MatchPasses(log, table, count, match, prevUsed);
        for (uint32_t j = 0; j < log->LastCount; ++j) {
            if (!prevUsed[j] && !Scanned(log, &log->Last[j]))
                carried[carriedCount++] = log->Last[j];
        }
    }
    HistoryPass* pass = OpenPass(log, stamp, passNumber);
    for (uint32_t i = 0; i < count; ++i) {
        TransponderInfo r = table[i];
        r.Snr = RowSnr(r.Snr);
        AddRecord(log, pass, &r, true);
    }
    for (uint32_t j = 0; j < carriedCount; ++j)
        AddRecord(log, pass, &carried[j], false);
    log->State = HistoryState::Ours;
    log->LastPassDamaged = false;
    log->NeedsLineEnd = false;
}

} // namespace tressel
