// The scan-table list: one line of blank-separated tuning parameters per
// transponder, or per physical layer pipe for a DVB-T2 or DVB-C2 transponder
// that carries several or one other than PLP 0.
#include "common/Text.h"
#include "output/CodeTables.h"
#include "output/TpListVariants.h"

namespace tressel {
namespace {

constexpr std::array<CodeText, 13> kCodeRates = {{
    {1, "1/2"},  {2, "2/3"},  {3, "3/4"},  {4, "4/5"},  {5, "5/6"},  {6, "6/7"},  {7, "7/8"},
    {8, "8/9"},  {9, "9/10"}, {10, "1/4"}, {11, "1/3"}, {12, "2/5"}, {13, "3/5"},
}};

constexpr std::array<CodeText, 10> kModulations = {{
    {1, "QPSK"},
    {16, "8VSB"},
    {17, "16VSB"},
    {18, "QAM16"},
    {19, "QAM32"},
    {20, "QAM64"},
    {21, "QAM128"},
    {22, "QAM256"},
    {23, "QAM512"},
    {24, "1024QAM"},
}};

constexpr std::array<FloorText, 4> kBandwidths = {{
    {8000, "8MHz"},
    {7000, "7MHz"},
    {6000, "6MHz"},
    {5000, "5MHz"},
}};

constexpr std::array<CodeText, 6> kFftModes = {{
    {1, "1k"}, {2, "2k"}, {3, "4k"}, {4, "8k"}, {5, "16k"}, {6, "32k"},
}};

constexpr std::array<CodeText, 7> kGuardIntervals = {{
    {1, "1/32"}, {2, "1/16"}, {3, "1/8"}, {4, "1/4"}, {5, "1/128"}, {6, "19/128"}, {7, "19/256"},
}};

constexpr std::array<CodeText, 4> kHierarchies = {{
    {0, "NONE"}, {1, "1"}, {2, "2"}, {3, "4"},
}};

void WriteScanTableHeader(FILE* out, const char* locName, uint32_t /*position*/,
                          const TransponderInfo* /*table*/, uint32_t count)
{
    fprintf(out, "# %s\n", locName);
    fprintf(out, "# %u transponders\n", count);
}

void FillScanTableFields(const TransponderInfo* record, TpLineFields* fields)
{
    CopyText(fields->HpText, sizeof fields->HpText, FindCodeText(kCodeRates, record->Fec, "AUTO"));
    CopyText(fields->LpText, sizeof fields->LpText, FindCodeText(kCodeRates, record->FecLp, "AUTO"));
    CopyText(fields->ModText, sizeof fields->ModText, FindCodeText(kModulations, record->Modulation, "AUTO"));
    CopyText(fields->BwText, sizeof fields->BwText, FindFloorText(kBandwidths, record->Bandwidth, "AUTO"));
    CopyText(fields->FftText, sizeof fields->FftText,
             FindCodeText(kFftModes, record->TransmissionMode, "AUTO"));
    CopyText(fields->GuardText, sizeof fields->GuardText,
             FindCodeText(kGuardIntervals, record->GuardInterval, "AUTO"));
    CopyText(fields->HierText, sizeof fields->HierText, FindCodeText(kHierarchies, record->Hierarchy, "AUTO"));
}

// DVB-T2 has no low-priority stream and no hierarchy: both read "NONE".
void WriteDvbT2Lines(FILE* out, const TpRecordLine* line, uint32_t frequencyHz)
{
    const TransponderInfo* record = line->Record;
    const TpLineFields* f = line->Fields;
    if (WritesWithoutPlpId(record)) {
        fprintf(out, "%s %u %s %s %s %s %s %s %s%s\n", f->SysText, frequencyHz, f->BwText, f->HpText, "NONE",
                f->ModText, f->FftText, f->GuardText, "NONE", f->CommentText);
        return;
    }
    uint32_t pipes = WrittenPlpCount(record);
    for (uint32_t k = 0; k < pipes; ++k)
        fprintf(out, "%s %u %s %s %s %s %s %s %s %d%s\n", f->SysText, frequencyHz, f->BwText, f->HpText, "NONE",
                f->ModText, f->FftText, f->GuardText, "NONE", static_cast<int>(record->PlpIds[k]),
                f->CommentText);
}

void WriteCableLines(FILE* out, const TpRecordLine* line, uint32_t frequencyHz)
{
    const TransponderInfo* record = line->Record;
    const TpLineFields* f = line->Fields;
    uint32_t symbolRate = line->SymbolRateKs * 1000;
    if (record->Standard == kStdDvbC || WritesWithoutPlpId(record)) {
        fprintf(out, "%s %u %u %s %s%s\n", f->SysText, frequencyHz, symbolRate, f->HpText, f->ModText,
                f->CommentText);
        return;
    }
    uint32_t pipes = WrittenPlpCount(record);
    for (uint32_t k = 0; k < pipes; ++k)
        fprintf(out, "%s %u %u %s %s %d%s\n", f->SysText, frequencyHz, symbolRate, f->HpText, f->ModText,
                static_cast<int>(record->PlpIds[k]), f->CommentText);
}

void WriteScanTableRecord(FILE* out, const TpRecordLine* line)
{
    const TransponderInfo* record = line->Record;
    const TpLineFields* f = line->Fields;
    uint32_t frequencyHz = record->Frequency * 1000;
    switch (record->Standard) {
    case kStdDvbT:
        fprintf(out, "%s %u %s %s %s %s %s %s %s%s\n", f->SysText, frequencyHz, f->BwText, f->HpText, f->LpText,
                f->ModText, f->FftText, f->GuardText, f->HierText, f->CommentText);
        break;
    case kStdDvbT2:
        WriteDvbT2Lines(out, line, frequencyHz);
        break;
    case kStdDvbC:
    case kStdDvbC2:
        WriteCableLines(out, line, frequencyHz);
        break;
    case kStdAtsc:
    case kStdIsdbT:
        fprintf(out, "%s %u %s%s\n", f->SysText, frequencyHz, f->ModText, f->CommentText);
        break;
    default:
        fprintf(out, "%u=%u,%u%s\n", line->Position, frequencyHz, record->Bandwidth / 1000, f->CommentText);
        break;
    }
}

} // namespace

const TpListVariant kScanTableVariant = {WriteScanTableHeader, FillScanTableFields, WriteScanTableRecord,
                                         nullptr};

} // namespace tressel
