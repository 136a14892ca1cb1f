// Fuzz target: any bytes as the history file. The reader must keep to its
// capacities and hand on only stamps that the picture can write into XML as
// they stand; the comparison, the rows of the next append and the band
// picture with the SNR panel must then cope with whatever was read.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "common/Console.h"
#include "output/BandPicture.h"
#include "output/History.h"

namespace {

char gPath[64];
char gPicture[64];
tressel::HistoryLog gLog;
char gRows[(2 * tressel::kTableCapacity + 1) * 512 + 2];

void Setup()
{
    if (gPath[0] != '\0')
        return;
    snprintf(gPath, sizeof gPath, "/tmp/fuzz-history-%d.csv", static_cast<int>(getpid()));
    snprintf(gPicture, sizeof gPicture, "/tmp/fuzz-history-%d.svg", static_cast<int>(getpid()));
    tressel::gConsole = fopen("/dev/null", "w");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Setup();
    FILE* f = fopen(gPath, "wb");
    if (f == nullptr)
        return 0;
    fwrite(data, 1, size, f);
    fclose(f);

    tressel::ReadHistory(gPath, &gLog);
    if (gLog.PassCount > tressel::kHistoryPassCapacity || gLog.LastCount > tressel::kTableCapacity ||
        gLog.First >= tressel::kHistoryPassCapacity)
        abort();
    for (uint32_t i = 0; i < gLog.PassCount; ++i) {
        const tressel::HistoryPass* pass = tressel::HistoryPassAt(&gLog, i);
        size_t n = strnlen(pass->Stamp, sizeof pass->Stamp);
        if (n == 0 || n == sizeof pass->Stamp || strspn(pass->Stamp, "0123456789-+:.TZ ") != n ||
            pass->Count > tressel::kTableCapacity)
            abort();
    }

    // The last pass read back as this pass, then shifted: every record is new
    // or lost or changed.
    tressel::TransponderInfo table[tressel::kTableCapacity];
    uint32_t count = gLog.LastCount;
    memcpy(table, gLog.Last, sizeof(tressel::TransponderInfo) * count);
    tressel::PrintHistoryChanges(&gLog, table, count, 3);
    for (uint32_t i = 0; i < count; ++i)
        table[i].Frequency += 700;
    tressel::PrintHistoryChanges(&gLog, table, count, 0);
    if (tressel::FormatHistoryRows(gRows, sizeof gRows, &gLog, table, count, "2026-01-01T00:00:00.000+00:00", 1) < 0)
        abort(); // a full pass and a full loss always fit

    tressel::AddPassToHistory(&gLog, table, count, "2026-01-01T00:00:00.000+00:00", 1);
    if (count > 0) {
        // The picture sorts nothing itself: hand it the table in order.
        for (uint32_t i = 1; i < count; ++i)
            for (uint32_t j = i; j > 0 && table[j - 1].Frequency > table[j].Frequency; --j) {
                tressel::TransponderInfo t = table[j];
                table[j] = table[j - 1];
                table[j - 1] = t;
            }
        tressel::PictureInterval interval = {table[0].Frequency, table[count - 1].Frequency, true, 20, 25};
        tressel::BandPictureInput input = {table, count, &interval, 1, 1, "2026-01-01T00:00:00.000+00:00", &gLog};
        tressel::WriteBandPicture(gPicture, &input);
    }
    return 0;
}
