// Fuzz target: any bytes as a pass's table of records and the list
// settings (list format, comment format, position, location name, scan
// time). The report and the transponder list are written to a temporary
// directory. Both writers must succeed, leave exactly their two files (no
// temporary name behind), write nothing past the records they were given,
// leave the records as documented (the report changes nothing, the list
// only rounds Frequency), and an XML list must parse back with its name.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <unistd.h>

#include <fuzzer/FuzzedDataProvider.h>
#include <pugixml.hpp>

#include "common/Services.h"
#include "output/Report.h"
#include "output/TpList.h"
#include "tuner/TransponderInfo.h"

namespace {

using tressel::TransponderInfo;

char gDir[64];
char gReportPath[96];
char gListPath[96];
TransponderInfo gTable[tressel::kTableCapacity + 1]; // the last record is a guard
TransponderInfo gBefore[tressel::kTableCapacity + 1];

int FixedLocalTime(tressel::LocalTime* out)
{
    *out = tressel::LocalTime{2024, 2, 29, 23, 5};
    return 0;
}

// The directory must hold exactly the report and the list.
void CheckDirectory()
{
    DIR* dir = opendir(gDir);
    if (dir == nullptr)
        abort();
    int entries = 0;
    while (dirent* entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0)
            continue;
        ++entries;
        if (entry->d_name[0] == '~')
            abort(); // a temporary file left behind
    }
    closedir(dir);
    if (entries != 2)
        abort();
}

bool Printable(const std::string& text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
            return false;
    return true;
}

void CheckXml(const std::string& locName, uint32_t count)
{
    pugi::xml_document doc;
    pugi::xml_parse_result parsed = doc.load_file(gListPath);
    if (!parsed) {
        fprintf(stderr, "XML list does not parse: %s at offset %td\n", parsed.description(), parsed.offset);
        abort();
    }
    pugi::xml_node locations = doc.child("locations");
    pugi::xml_node location = locations.first_child();
    if (!locations || !location || location.next_sibling())
        abort();
    if (strcmp(location.name(), "cable") != 0 && strcmp(location.name(), "terrestrial") != 0)
        abort();
    if (Printable(locName) && locName != location.attribute("name").value()) {
        fprintf(stderr, "XML list name \"%s\" reads back as \"%s\"\n", locName.c_str(),
                location.attribute("name").value());
        abort();
    }
    uint32_t elements = 0;
    for (pugi::xml_node t = location.child("transponder"); t; t = t.next_sibling("transponder"))
        ++elements;
    if (elements < count)
        abort(); // every record gives at least one element
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    const char* tmp = getenv("TMPDIR");
    snprintf(gDir, sizeof gDir, "%s/tressel-fuzz-out-XXXXXX", tmp != nullptr && strlen(tmp) < 30 ? tmp : "/tmp");
    if (mkdtemp(gDir) == nullptr)
        abort();
    atexit([] { rmdir(gDir); });
    tressel::gServices.LocalTimeNow = FixedLocalTime;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    // Mostly the formats that exist, sometimes any value.
    uint32_t format = in.ConsumeIntegralInRange<uint32_t>(0, 8);
    if (format == 8)
        format = in.ConsumeIntegral<uint32_t>();
    uint32_t commentFormat = in.ConsumeIntegralInRange<uint32_t>(0, 4);
    if (commentFormat == 4)
        commentFormat = in.ConsumeIntegral<uint32_t>();
    uint32_t position = in.ConsumeIntegral<uint32_t>();
    double scanTime = in.ConsumeFloatingPoint<double>();
    uint32_t count = in.ConsumeIntegralInRange<uint32_t>(1, tressel::kTableCapacity);
    std::string locName = in.ConsumeRandomLengthString(99);
    locName = locName.c_str(); // as the configuration delivers it: up to its first zero

    memset(gTable, 0x5A, sizeof gTable);
    std::vector<uint8_t> bytes = in.ConsumeRemainingBytes<uint8_t>();
    if (!bytes.empty())
        memcpy(gTable, bytes.data(), bytes.size() < count * sizeof(TransponderInfo) ? bytes.size()
                                                                              : count * sizeof(TransponderInfo));
    memcpy(gBefore, gTable, sizeof gTable);

    snprintf(gReportPath, sizeof gReportPath, "%s/report.txt", gDir);
    snprintf(gListPath, sizeof gListPath, "%s/list.%s", gDir, format == tressel::kListXml ? "xml" : "ini");

    if (tressel::WriteReport(gReportPath, gTable, count, scanTime) != 0)
        abort();
    if (memcmp(gTable, gBefore, sizeof gTable) != 0)
        abort(); // the report changed a record
    if (tressel::WriteTpList(locName.c_str(), gTable, format, gListPath, position, count, commentFormat) != 0)
        abort();
    for (uint32_t i = 0; i < count; ++i) {
        TransponderInfo expected = gBefore[i];
        expected.Frequency = tressel::RoundFrequencyKhz(gBefore[i].Frequency);
        if (memcmp(&gTable[i], &expected, sizeof expected) != 0)
            abort(); // the list changed more than the frequency
    }
    if (memcmp(&gTable[count], &gBefore[count], (tressel::kTableCapacity + 1 - count) * sizeof(TransponderInfo)) != 0)
        abort(); // a record past the count was touched
    CheckDirectory();
    if (format == tressel::kListXml)
        CheckXml(locName, count);
    unlink(gReportPath);
    unlink(gListPath);
    return 0;
}
