#include "driver/PassHistory.h"

#include <cstring>

#include "common/Console.h"
#include "common/Text.h"
#include "driver/WritePassOutput.h"
#include "output/BandPicture.h"
#include "output/History.h"
#include "platform/Platform.h"

namespace tressel {
namespace {

char gStamp[kStampCapacity];
PictureInterval gIntervals[kPictureIntervalCapacity];
bool gIntervalComplete[kPictureIntervalCapacity];
uint32_t gIntervalCount = 0;

// The history as last read and extended by this run's passes: the picture's
// SNR panel draws it after the pass has been added.
HistoryLog gHistory;
bool gHistoryValid = false;

// The local time now; a clock that cannot be read gives a stamp that still
// reads back as one.
void TakeStamp()
{
    if (PlatformLocalTimeIso(gStamp, sizeof gStamp) < 0)
        CopyText(gStamp, sizeof gStamp, "0000-00-00T00:00:00.000+00:00");
}

bool Wanted(const ScanSettings* settings) { return settings->History[0] != '\0' || settings->BandPicture != 0; }

} // namespace

void BeginPassRecord(const ScanSettings* settings)
{
    gIntervalCount = 0;
    gHistoryValid = false;
    gStamp[0] = '\0';
    if (Wanted(settings))
        TakeStamp();
}

void NotePassInterval(uint32_t start, uint32_t stop, bool stepped, double minSnr1, double minSnr2)
{
    if (gIntervalCount < kPictureIntervalCapacity) {
        gIntervalComplete[gIntervalCount] = false;
        gIntervals[gIntervalCount++] = PictureInterval{start, stop, stepped, minSnr1, minSnr2};
    }
}

void NotePassIntervalEnd(bool complete)
{
    if (gIntervalCount > 0)
        gIntervalComplete[gIntervalCount - 1] = complete;
}

void RecordPassHistory(const TransponderInfo* table, uint32_t count, uint32_t passNumber,
                       const ScanSettings* settings)
{
    const char* path = settings->History;
    if (path[0] == '\0')
        return;
    // Rows need a time: an output stage run without BeginPassRecord takes it now.
    if (gStamp[0] == '\0')
        TakeStamp();
    ReadHistory(path, &gHistory);
    switch (gHistory.State) {
    case HistoryState::Foreign:
        // Someone else's file: neither compared with nor written into.
        ConsolePrintf("History %s is not a Tressel history: not compared, not written\n", path);
        return;
    case HistoryState::Unreadable:
        ConsolePrintf("Cannot read history %s: nothing to compare\n", path);
        break;
    case HistoryState::New:
        break;
    case HistoryState::Ours:
        if (gHistory.LastPassDamaged)
            ConsolePrintf("Cannot read the last pass of history %s: nothing to compare\n", path);
        else if (gHistory.UnreadableLines > 0)
            ConsolePrintf("History %s: %u unreadable lines skipped\n", path, gHistory.UnreadableLines);
        break;
    }
    // Only where the pass scanned to the end can it have lost a transponder.
    if (gIntervalCount > 0) {
        gHistory.LimitLost = true;
        for (uint32_t k = 0; k < gIntervalCount && k < kScannedRangeCapacity; ++k) {
            if (gIntervalComplete[k])
                gHistory.Scanned[gHistory.ScannedCount++] = ScannedRange{gIntervals[k].Start, gIntervals[k].Stop};
        }
    }
    PrintHistoryChanges(&gHistory, table, count, settings->ChangeThreshold);
    if (AppendHistory(path, &gHistory, table, count, gStamp, passNumber) != 0)
        ConsolePrintf("Cannot append to history %s !\n", path);
    AddPassToHistory(&gHistory, table, count, gStamp, passNumber);
    gHistoryValid = true;
}

void WritePassPicture(const TransponderInfo* table, uint32_t count, uint32_t passNumber,
                      const ScanSettings* settings)
{
    if (settings->BandPicture == 0)
        return;
    // The report's name with its ".txt" replaced by ".svg".
    char name[kPathCapacity];
    int length = BuildReportFileName(name, sizeof name, settings, passNumber);
    if (length >= 4)
        memcpy(name + length - 4, ".svg", 4);
    ConsolePrintf("Draw band picture to %s ...\n", name);
    BandPictureInput input = {table, count, gIntervals, gIntervalCount, passNumber, gStamp,
                              gHistoryValid ? &gHistory : nullptr};
    if (length < 4 || WriteBandPicture(name, &input) != 0)
        ConsolePuts("error !");
}

} // namespace tressel
