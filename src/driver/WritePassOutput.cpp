#include "driver/WritePassOutput.h"

#include <algorithm>
#include <cstring>

#include "common/Console.h"
#include "common/Text.h"
#include "driver/PassHistory.h"
#include "output/Report.h"
#include "output/TpList.h"
#include "platform/Platform.h"

namespace tressel {
namespace {

// Only Loop 1 numbers the files by pass; every other repeating run replaces
// the previous pass's files.
bool NumbersPasses(const ScanSettings* settings)
{
    return settings->Loop == 1;
}

// A file named by LocName must stay in its directory: a name with a path
// separator ("../x") is refused like a name too long for its field.
int RefuseNameThatLeavesItsDirectory(int built, const ScanSettings* settings)
{
    return strpbrk(settings->LocName, kPathBreakers) != nullptr ? -1 : built;
}

} // namespace

int CompareFrequency(const TransponderInfo* a, const TransponderInfo* b)
{
    if (a->Frequency > b->Frequency)
        return 1;
    if (a->Frequency < b->Frequency)
        return -1;
    return 0;
}

int BuildReportFileName(char* out, size_t cap, const ScanSettings* settings, uint32_t passNumber)
{
    const char* dir = settings->ReportDir;
    uint32_t position = static_cast<uint32_t>(settings->LocPos);
    bool byName = settings->IniFormat == static_cast<int32_t>(kListScanTable);
    if (NumbersPasses(settings)) {
        if (byName)
            return RefuseNameThatLeavesItsDirectory(
                FormatText(out, cap, "%s%s_%u.txt", dir, settings->LocName, passNumber), settings);
        return FormatText(out, cap, "%s%04u_%u.txt", dir, position, passNumber);
    }
    if (byName)
        return RefuseNameThatLeavesItsDirectory(FormatText(out, cap, "%s%s.txt", dir, settings->LocName),
                                                settings);
    return FormatText(out, cap, "%s%04u.txt", dir, position);
}

int BuildTpListFileName(char* out, size_t cap, const ScanSettings* settings, uint32_t passNumber)
{
    const char* dir = settings->TPDir;
    uint32_t position = static_cast<uint32_t>(settings->LocPos);
    bool scanTable = settings->IniFormat == static_cast<int32_t>(kListScanTable);
    bool xml = settings->IniFormat == static_cast<int32_t>(kListXml);
    const char* ext = xml ? "xml" : "ini";
    if (NumbersPasses(settings)) {
        if (scanTable || xml)
            return RefuseNameThatLeavesItsDirectory(
                FormatText(out, cap, "%s%s_%u.%s", dir, settings->LocName, passNumber, ext), settings);
        return FormatText(out, cap, "%s%04u_%u.ini", dir, position, passNumber);
    }
    if (scanTable || xml)
        return RefuseNameThatLeavesItsDirectory(FormatText(out, cap, "%s%s.%s", dir, settings->LocName, ext),
                                                settings);
    return FormatText(out, cap, "%s%04u.ini", dir, position);
}

void WritePassOutput(TransponderInfo* table, uint32_t count, uint32_t passNumber, double passTime,
                     const ScanSettings* settings)
{
    if (table == nullptr || settings == nullptr)
        return;
    // In place: the C library's qsort may allocate a buffer as large as the
    // table on every pass.
    std::sort(table, table + count, [](const TransponderInfo& a, const TransponderInfo& b) {
        return CompareFrequency(&a, &b) < 0;
    });
    ConsolePrintf("Total tranponders found = %u\n", count);
    RecordPassHistory(table, count, passNumber, settings);

    // A name too long for its field is announced as far as it fits and then
    // refused: writing under a cut name could replace an unrelated file.
    char name[kPathCapacity];
    int fits = BuildReportFileName(name, sizeof name, settings, passNumber);
    ConsolePrintf("Report detailed transponder info to %s ...\n", name);
    if (fits < 0 || WriteReport(name, table, count, passTime) != 0)
        ConsolePuts("error !");
    WritePassPicture(table, count, passNumber, settings);

    fits = BuildTpListFileName(name, sizeof name, settings, passNumber);
    ConsolePrintf("Store transponder info in %s ...\n", name);
    if (fits < 0 || WriteTpList(settings->LocName, table, static_cast<uint32_t>(settings->IniFormat), name,
                                static_cast<uint32_t>(settings->LocPos), count,
                                static_cast<uint32_t>(settings->InfoFormat)) != 0)
        ConsolePuts("error !");
}

} // namespace tressel
