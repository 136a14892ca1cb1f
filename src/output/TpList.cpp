#include "output/TpList.h"

#include "common/Services.h"
#include "common/Text.h"
#include "output/CodeTables.h"
#include "output/OutputFile.h"
#include "output/TpListVariants.h"

namespace tressel {
namespace {

// The system code of the scan table's lines; unknown systems count as DVB-T.
constexpr std::array<CodeText, 6> kSystemCodes = {{
    {kStdDvbT, "T"},
    {kStdDvbT2, "T2"},
    {kStdDvbC, "C"},
    {kStdDvbC2, "C2"},
    {kStdAtsc, "A"},
    {kStdIsdbT, "I"},
}};

// Comment formats 0 to 3 show the RF level beside the SNR; the others the
// SNR alone.
void FormatSignalText(TpLineFields* fields, const TransponderInfo* record, uint32_t commentFormat)
{
    if (commentFormat <= 3)
        FormatText(fields->SignalText, sizeof fields->SignalText, "%d dBm, %.1f dB",
                   static_cast<int>(record->RfLevel), record->Snr);
    else
        FormatText(fields->SignalText, sizeof fields->SignalText, "%.1f dB", record->Snr);
}

const TpListVariant* VariantOf(uint32_t format)
{
    if (format == kListScanTable)
        return &kScanTableVariant;
    if (format == kListXml)
        return &kXmlListVariant;
    return &kIniListVariant;
}

} // namespace

uint32_t RoundFrequencyKhz(uint32_t frequencyKhz)
{
    uint32_t remainder = frequencyKhz % 500;
    uint32_t rounded = frequencyKhz - remainder;
    if (remainder > 200)
        rounded += 500;
    return rounded;
}

uint32_t RoundSymbolRateKs(uint32_t symbolRate)
{
    uint32_t rate = symbolRate / 1000;
    // Only the rates of satellite-like carriers sit on a 10 kS/s raster; the
    // cable rates below keep every digit (6875, 6900).
    if (rate > 10000) {
        uint32_t digit = rate % 10;
        if (digit > 5)
            rate += 10 - digit;
        digit = rate % 10;
        if (digit < 5)
            rate -= digit;
    }
    return rate;
}

int FormatDateStamp(char* out, size_t cap)
{
    LocalTime now = {};
    gServices.LocalTimeNow(&now);
    return FormatText(out, cap, "%u:%u - %02u/%02u/%04u", now.Hour, now.Minute, now.Day, now.Month,
                      now.Year);
}

void FormatComment(TpLineFields* fields, uint32_t format, uint32_t commentFormat, const char* dateStamp)
{
    char* comment = fields->CommentText;
    constexpr size_t cap = sizeof fields->CommentText;
    comment[0] = '\0';
    const char* first = nullptr;
    const char* second = nullptr;
    switch (commentFormat) {
    case 1:
    case 4:
        first = fields->SignalText;
        break;
    case 2:
        first = dateStamp;
        break;
    case 3:
    case 5:
        first = fields->SignalText;
        second = dateStamp;
        break;
    default:
        return;
    }
    switch (format) {
    case 1:
        if (second == nullptr)
            FormatText(comment, cap, " ;%s", first);
        else
            FormatText(comment, cap, " ;%s; %s", first, second);
        break;
    case 3:
        if (second == nullptr)
            FormatText(comment, cap, ",|%s", first);
        else
            FormatText(comment, cap, ",|%s; %s", first, second);
        break;
    case kListScanTable:
        if (second == nullptr)
            FormatText(comment, cap, " # %s", first);
        else
            FormatText(comment, cap, " # %s; %s", first, second);
        break;
    default:
        break;
    }
}

int WriteTpList(const char* locName, TransponderInfo* table, uint32_t format, const char* path,
                uint32_t position, uint32_t count, uint32_t commentFormat)
{
    if (path == nullptr || table == nullptr || count == 0)
        return -1;
    if (locName == nullptr)
        locName = "";
    OutputFile file;
    if (OpenOutputFile(&file, path) != 0)
        return -2;
    const TpListVariant* variant = VariantOf(format);
    variant->WriteHeader(file.Stream, locName, position, table, count);

    // One stamp for the whole file, so that every line shows the same time.
    char dateStamp[kDateStampCapacity];
    FormatDateStamp(dateStamp, sizeof dateStamp);

    for (uint32_t i = 0; i < count; ++i) {
        TransponderInfo* record = &table[i];
        TpLineFields fields = {};
        CopyText(fields.SysText, sizeof fields.SysText, FindCodeText(kSystemCodes, record->Standard, "T"));
        FormatSignalText(&fields, record, commentFormat);
        variant->FillFields(record, &fields);
        FormatComment(&fields, format, commentFormat, dateStamp);
        record->Frequency = RoundFrequencyKhz(record->Frequency);
        TpRecordLine line = {record, &fields, i + 1, RoundSymbolRateKs(record->SymbolRate)};
        variant->WriteRecord(file.Stream, &line);
    }
    if (variant->WriteClosing != nullptr)
        variant->WriteClosing(file.Stream, table);
    return CommitOutputFile(&file);
}

uint32_t WrittenPlpCount(const TransponderInfo* record)
{
    return record->PlpCount < kPlpIdCapacity ? record->PlpCount : kPlpIdCapacity;
}

bool WritesWithoutPlpId(const TransponderInfo* record)
{
    return record->PlpCount == 0 || (record->PlpCount == 1 && record->PlpIds[0] == 0);
}

// The INI list: a SATTYPE header with the location and a DVB section with
// one "position=frequency,symbol rate" line per record, whatever its system.
namespace {

void WriteIniHeader(FILE* out, const char* locName, uint32_t position, const TransponderInfo* /*table*/,
                    uint32_t count)
{
    fprintf(out, "[SATTYPE]\n1=%04u\n2=%s\n", position, locName);
    fprintf(out, "\n[DVB]\n0=%u\n", count);
}

// The INI line carries no field of its own beyond the comment.
void FillIniFields(const TransponderInfo* /*record*/, TpLineFields* /*fields*/)
{
}

void WriteIniRecord(FILE* out, const TpRecordLine* line)
{
    fprintf(out, "%u=%u,%u%s\n", line->Position, line->Record->Frequency, line->SymbolRateKs,
            line->Fields->CommentText);
}

} // namespace

const TpListVariant kIniListVariant = {WriteIniHeader, FillIniFields, WriteIniRecord, nullptr};

} // namespace tressel
