// The XML locations list: one cable or terrestrial element named after the
// location, holding one transponder element per transponder, or per physical
// layer pipe for a DVB-T2 or DVB-C2 transponder that carries several or one
// other than PLP 0. Every
// tuning parameter is one of the format's small numeric codes.
#include <cstring>

#include "common/Text.h"
#include "output/CodeTables.h"
#include "output/TpListVariants.h"

namespace tressel {
namespace {

// Room for a location name of 99 characters, each written as "&quot;".
constexpr size_t kEscapedNameCapacity = 600;

constexpr std::array<CodeText, 5> kCableModulations = {{
    {18, "1"}, {19, "2"}, {20, "3"}, {21, "4"}, {22, "5"},
}};

constexpr std::array<CodeText, 4> kConstellations = {{
    {1, "0"}, {18, "1"}, {20, "2"}, {22, "4"},
}};

// High- and low-priority code rates share their codes and differ only in the
// code for a rate the format does not know.
constexpr std::array<CodeText, 7> kCodeRates = {{
    {1, "0"}, {2, "1"}, {3, "2"}, {5, "3"}, {7, "4"}, {13, "7"}, {4, "8"},
}};
constexpr const char* kUnknownRateHp = "5";
constexpr const char* kUnknownRateLp = "6";

constexpr std::array<FloorText, 6> kBandwidths = {{
    {10000, "4"}, {8000, "0"}, {7000, "1"}, {6000, "2"}, {5000, "5"}, {1712, "6"},
}};

constexpr std::array<CodeText, 6> kFftModes = {{
    {1, "3"}, {2, "0"}, {3, "4"}, {4, "1"}, {5, "5"}, {6, "6"},
}};

constexpr std::array<CodeText, 7> kGuardIntervals = {{
    {1, "0"}, {2, "1"}, {3, "2"}, {4, "3"}, {5, "5"}, {6, "6"}, {7, "7"},
}};

constexpr std::array<CodeText, 4> kHierarchies = {{
    {0, "0"}, {1, "1"}, {2, "2"}, {3, "3"},
}};

constexpr int kLocationFlags = 5;

bool IsCable(const TransponderInfo* record)
{
    return record->Standard == kStdDvbC || record->Standard == kStdDvbC2;
}

// The first record, the one with the lowest frequency, decides the kind of
// the whole list.
void WriteXmlHeader(FILE* out, const char* locName, uint32_t /*position*/, const TransponderInfo* table,
                    uint32_t /*count*/)
{
    // The name is element content of the file: escaped so that any name keeps
    // the file well-formed.
    char name[kEscapedNameCapacity];
    EscapeXmlText(name, sizeof name, locName);
    fputs("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n<locations>\n", out);
    if (IsCable(&table[0]))
        fprintf(out, "\t<cable name=\"%s\" flags=\"%i\">\n", name, kLocationFlags);
    else
        fprintf(out, "\t<terrestrial name=\"%s\" flags=\"%i\">\n", name, kLocationFlags);
}

void FillXmlFields(const TransponderInfo* record, TpLineFields* fields)
{
    if (IsCable(record)) {
        CopyText(fields->ModText, sizeof fields->ModText, FindCodeText(kCableModulations, record->Modulation, "0"));
        return;
    }
    CopyText(fields->ModText, sizeof fields->ModText, FindCodeText(kConstellations, record->Modulation, "3"));
    CopyText(fields->HpText, sizeof fields->HpText, FindCodeText(kCodeRates, record->Fec, kUnknownRateHp));
    CopyText(fields->LpText, sizeof fields->LpText, FindCodeText(kCodeRates, record->FecLp, kUnknownRateLp));
    CopyText(fields->BwText, sizeof fields->BwText, FindFloorText(kBandwidths, record->Bandwidth, "3"));
    CopyText(fields->FftText, sizeof fields->FftText, FindCodeText(kFftModes, record->TransmissionMode, "2"));
    CopyText(fields->GuardText, sizeof fields->GuardText,
             FindCodeText(kGuardIntervals, record->GuardInterval, "4"));
    CopyText(fields->HierText, sizeof fields->HierText, FindCodeText(kHierarchies, record->Hierarchy, "4"));
}

void WriteDvbT2Elements(FILE* out, const TransponderInfo* record, const TpLineFields* f, int frequencyHz)
{
    if (WritesWithoutPlpId(record)) {
        fprintf(out,
                "\t\t<transponder centre_frequency=\"%i\" bandwidth=\"%s\" constellation=\"%s\" "
                "code_rate_hp=\"%s\" code_rate_lp=\"%s\" guard_interval=\"%s\" transmission_mode=\"%s\" "
                "hierarchy_information=\"%s\" system=\"1\"/>\n",
                frequencyHz, f->BwText, f->ModText, f->HpText, f->LpText, f->GuardText, f->FftText, f->HierText);
        return;
    }
    uint32_t pipes = WrittenPlpCount(record);
    for (uint32_t k = 0; k < pipes; ++k)
        fprintf(out,
                "\t\t<transponder centre_frequency=\"%i\" bandwidth=\"%s\" constellation=\"%s\" "
                "code_rate_hp=\"%s\" code_rate_lp=\"%s\" guard_interval=\"%s\" transmission_mode=\"%s\" "
                "hierarchy_information=\"%s\" system=\"1\" plp_id=\"%i\"/>\n",
                frequencyHz, f->BwText, f->ModText, f->HpText, f->LpText, f->GuardText, f->FftText, f->HierText,
                static_cast<int>(record->PlpIds[k]));
}

void WriteCableElements(FILE* out, const TransponderInfo* record, const TpLineFields* f, int frequencyHz,
                        int symbolRate)
{
    if (record->Standard == kStdDvbC) {
        fprintf(out, "\t\t<transponder frequency=\"%i\" symbol_rate=\"%i\" modulation=\"%s\"/>\n", frequencyHz,
                symbolRate, f->ModText);
        return;
    }
    if (WritesWithoutPlpId(record)) {
        fprintf(out, "\t\t<transponder frequency=\"%i\" symbol_rate=\"%i\" modulation=\"%s\" system=\"1\"/>\n",
                frequencyHz, symbolRate, f->ModText);
        return;
    }
    uint32_t pipes = WrittenPlpCount(record);
    for (uint32_t k = 0; k < pipes; ++k)
        fprintf(out,
                "\t\t<transponder frequency=\"%i\" symbol_rate=\"%i\" modulation=\"%s\" system=\"1\" "
                "plp_id=\"%i\"/>\n",
                frequencyHz, symbolRate, f->ModText, static_cast<int>(record->PlpIds[k]));
}

// The element form follows the record's own system, not the list's kind.
void WriteXmlRecord(FILE* out, const TpRecordLine* line)
{
    const TransponderInfo* record = line->Record;
    const TpLineFields* f = line->Fields;
    int frequencyHz = static_cast<int>(record->Frequency * 1000);
    int symbolRate = static_cast<int>(line->SymbolRateKs * 1000);
    if (IsCable(record)) {
        WriteCableElements(out, record, f, frequencyHz, symbolRate);
    } else if (record->Standard == kStdDvbT2) {
        WriteDvbT2Elements(out, record, f, frequencyHz);
    } else {
        fprintf(out,
                "\t\t<transponder centre_frequency=\"%i\" bandwidth=\"%s\" constellation=\"%s\" "
                "code_rate_hp=\"%s\" code_rate_lp=\"%s\" guard_interval=\"%s\" transmission_mode=\"%s\" "
                "hierarchy_information=\"%s\"/>\n",
                frequencyHz, f->BwText, f->ModText, f->HpText, f->LpText, f->GuardText, f->FftText, f->HierText);
    }
}

void WriteXmlClosing(FILE* out, const TransponderInfo* table)
{
    if (IsCable(&table[0]))
        fputs("\t</cable>\n</locations>\n", out);
    else
        fputs("\t</terrestrial>\n</locations>\n", out);
}

const char* XmlEntity(char c)
{
    switch (c) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return "&quot;";
    case '\'':
        return "&apos;";
    // Line ends and tabs survive in an attribute only as references.
    case '\t':
        return "&#9;";
    case '\n':
        return "&#10;";
    case '\r':
        return "&#13;";
    default:
        // XML 1.0 has no other control character, not even as a reference.
        return static_cast<unsigned char>(c) < 0x20 ? "?" : nullptr;
    }
}

} // namespace

int EscapeXmlText(char* out, size_t cap, const char* text)
{
    if (cap == 0)
        return -1;
    size_t used = 0;
    out[0] = '\0';
    for (const char* p = text; *p != '\0'; ++p) {
        const char* entity = XmlEntity(*p);
        size_t length = entity != nullptr ? strlen(entity) : 1;
        if (used + length >= cap)
            return -1;
        if (entity != nullptr)
            memcpy(out + used, entity, length);
        else
            out[used] = *p;
        used += length;
        out[used] = '\0';
    }
    return static_cast<int>(used);
}

const TpListVariant kXmlListVariant = {WriteXmlHeader, FillXmlFields, WriteXmlRecord, WriteXmlClosing};

} // namespace tressel
