// Fuzz target: any bytes as a band file of the virtual tuner (and, read with
// its keys, of the simulated DVB frontend). The reader
// must either accept the file and leave a band that keeps its own limits
// (device and transponder counts within their arrays, names terminated,
// the frequency index a sorted permutation) or refuse it with an empty
// band; it must never read or write outside its fixed storage. The lookups
// that the exports make are then run over the band.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include <unistd.h>

#include "Band.h"
#include "Sections.h"

namespace {

char gPath[64];
tressel::vt::Band gBand;
bool gSeen[tressel::vt::kMaxTransponders];

void CheckBand(const tressel::vt::Band& band)
{
    using namespace tressel::vt;
    if (band.DeviceCount > kMaxDevices || band.TransponderCount > kMaxTransponders)
        abort();
    for (uint32_t n = 0; n < band.DeviceCount; ++n)
        if (memchr(band.Devices[n].Name, '\0', kDeviceNameCapacity) == nullptr)
            abort();
    memset(gSeen, 0, sizeof gSeen);
    for (uint32_t i = 0; i < band.TransponderCount; ++i) {
        uint32_t index = band.ByFrequency[i];
        if (index >= band.TransponderCount || gSeen[index])
            abort(); // not a permutation
        gSeen[index] = true;
        if (i > 0 && band.Transponders[band.ByFrequency[i - 1]].Frequency > band.Transponders[index].Frequency)
            abort(); // not ascending
        if (band.Transponders[index].Locked != 1)
            abort();
    }
}

// The lookups of SignalInfo2 and of the fast sweep, at the edges of the
// frequency range and at each transponder.
void RunLookups(const tressel::vt::Band& band)
{
    using namespace tressel::vt;
    const uint32_t probes[] = {0, 1, 474000, 0x7FFFFFFFu, 0xFFFFFFFFu};
    for (uint32_t f : probes) {
        for (uint32_t standard : {0u, 6u, 7u, 8u}) {
            int32_t found = FindLockingTransponder(&band, f, standard);
            if (found < -1 || found >= static_cast<int32_t>(band.TransponderCount))
                abort();
        }
    }
    uint32_t limit = band.TransponderCount < 64 ? band.TransponderCount : 64;
    for (uint32_t i = 0; i < limit; ++i) {
        uint32_t f = band.Transponders[i].Frequency;
        int32_t found = FindLockingTransponder(&band, f, 0);
        if (found < -1 || found >= static_cast<int32_t>(band.TransponderCount))
            abort();
    }
    // A whole sweep over every frequency visits each transponder once.
    uint32_t visited = 0;
    for (uint32_t at = NextInSweep(&band, 0, 0, 0xFFFFFFFFu, 0); at < band.TransponderCount;
         at = NextInSweep(&band, at + 1, 0, 0xFFFFFFFFu, 0)) {
        if (++visited > band.TransponderCount)
            abort();
    }
    if (visited != band.TransponderCount)
        abort();
}

// The simulated DVB frontend's keys stay within their ranges, and every
// section its transponders carry is whole, within its size and checked by
// its CRC.
void CheckDvbBand(const tressel::vt::Band& band)
{
    using namespace tressel;
    for (uint32_t n = 0; n < band.DeviceCount; ++n) {
        const vt::DvbDevice& d = band.DvbDevices[n];
        if (d.SystemCount > vt::kMaxDeliverySystems || d.Profile > vt::kProfileRelative ||
            d.Access > vt::kAccessBusy || d.Adapter > 255 || d.Frontend > 255)
            abort();
    }
    static dvbsim::Section sections[dvbsim::kMaxSections];
    uint32_t limit = band.TransponderCount < 16 ? band.TransponderCount : 16;
    const uint16_t pids[] = {dvbsim::kPidPat, dvbsim::kPidPmt, dvbsim::kPidSdt, dvbsim::kPidNit};
    for (uint32_t i = 0; i < limit; ++i) {
        if (band.DvbTransponders[i].Tsid > 65535)
            abort();
        for (uint16_t pid : pids) {
            uint32_t count = dvbsim::BuildSections(&band, i, pid, sections, dvbsim::kMaxSections);
            if (count == 0 || count > dvbsim::kMaxSections)
                abort();
            for (uint32_t k = 0; k < count; ++k) {
                const dvbsim::Section& s = sections[k];
                if (s.Length < 12 || s.Length > dvbsim::kMaxSectionBytes ||
                    (((s.Bytes[1] & 0x0F) << 8) | s.Bytes[2]) + 3 != s.Length ||
                    dvbsim::Crc32(s.Bytes, s.Length) != 0)
                    abort();
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    const char* dir = getenv("TMPDIR");
    snprintf(gPath, sizeof gPath, "%s/tressel-fuzz-band-XXXXXX", dir != nullptr && strlen(dir) < 30 ? dir : "/tmp");
    int fd = mkstemp(gPath);
    if (fd < 0)
        abort();
    close(fd);
    atexit([] { unlink(gPath); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* file = fopen(gPath, "wb");
    if (file == nullptr)
        abort();
    if (size > 0 && fwrite(data, 1, size, file) != size)
        abort();
    fclose(file);

    int result = tressel::vt::LoadBandFile(gPath, &gBand);
    if (result != 0 && result != -2)
        abort();
    if (result != 0 && (gBand.DeviceCount != 0 || gBand.TransponderCount != 0))
        abort(); // a refused file leaves the band empty
    CheckBand(gBand);
    RunLookups(gBand);

    const tressel::vt::BandReadOptions dvb = {"dvb sim", true};
    result = tressel::vt::LoadBandFileWith(gPath, &gBand, &dvb);
    if (result != 0 && (result != -2 || gBand.DeviceCount != 0 || gBand.TransponderCount != 0))
        abort();
    CheckBand(gBand);
    CheckDvbBand(gBand);
    return 0;
}
