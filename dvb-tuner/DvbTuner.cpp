// The tuner library's seven exports over Linux DVB frontends.
//
// Devices are the frontends under /dev/dvb, in the order adapter, then
// frontend. SetChannel2Ex starts the first tune of the channel's plan, so
// that the program's settle time overlaps the frontend's; SignalInfo2 waits
// for it and tries the rest of the plan. Errors go to standard error, one
// line each; nothing goes to standard output.
#include <fcntl.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "DvbFrontend.h"
#include "DvbIo.h"
#include "DvbKernel.h"
#include "DvbSettings.h"
#include "DvbTables.h"
#include "tuner/TunerApi.h"

namespace tressel {
namespace dvb {
namespace {

constexpr uint32_t kMaxDevices = 64;
constexpr uint32_t kMaxNumber = 256;

struct Device {
    uint32_t Adapter;
    uint32_t Frontend;
};

struct OpenFrontend {
    int Fd;
    uint32_t Index;
    uint32_t Systems[kMaxSystems];
    uint32_t SystemCount;
};

// The channel that SetChannel2Ex tuned and SignalInfo2 reads.
struct Channel {
    uint32_t Valid;
    uint32_t FrequencyKHz;
    uint32_t BandwidthKHz;
    TunePlan Plan;
    int FirstTune;      // outcome of the plan's first tune
    uint32_t TunedAtMs; // when it was made
};

struct LibraryState {
    Device Devices[kMaxDevices];
    uint32_t DeviceCount;
    OpenFrontend Open;
    Channel Tuned;
    DvbSettings Settings;
};

LibraryState gState = {{}, 0, {-1, 0, {}, 0}, {}, {}};

void Complain(const char* format, ...) __attribute__((format(printf, 1, 2)));

void Complain(const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    fprintf(stderr, "dvb tuner: %s\n", line);
    fflush(stderr);
}

void FrontendPath(const Device& device, char* out, size_t cap)
{
    snprintf(out, cap, "/dev/dvb/adapter%u/frontend%u", device.Adapter, device.Frontend);
}

void DemuxPath(const Device& device, char* out, size_t cap)
{
    snprintf(out, cap, "/dev/dvb/adapter%u/demux%u", device.Adapter, device.Frontend);
}

// Collects the numbers N of names "<prefix>N" in a directory, sorted.
struct NumberList {
    const char* Prefix;
    uint32_t Numbers[kMaxNumber];
    uint32_t Count;
};

void CollectNumber(const char* name, void* context)
{
    NumberList* list = static_cast<NumberList*>(context);
    size_t prefix = strlen(list->Prefix);
    if (strncmp(name, list->Prefix, prefix) != 0 || name[prefix] < '0' || name[prefix] > '9')
        return;
    char* end = nullptr;
    unsigned long number = strtoul(name + prefix, &end, 10);
    if (*end != '\0' || number >= 100000 || list->Count == kMaxNumber)
        return;
    uint32_t at = list->Count++;
    while (at > 0 && list->Numbers[at - 1] > number) {
        list->Numbers[at] = list->Numbers[at - 1];
        --at;
    }
    list->Numbers[at] = static_cast<uint32_t>(number);
}

void FindDevices()
{
    gState.DeviceCount = 0;
    static NumberList adapters;
    adapters.Prefix = "adapter";
    adapters.Count = 0;
    if (gDvbIo.ListDir("/dev/dvb", CollectNumber, &adapters) < 0)
        return;
    for (uint32_t a = 0; a < adapters.Count; ++a) {
        char path[64];
        snprintf(path, sizeof(path), "/dev/dvb/adapter%u", adapters.Numbers[a]);
        static NumberList frontends;
        frontends.Prefix = "frontend";
        frontends.Count = 0;
        if (gDvbIo.ListDir(path, CollectNumber, &frontends) < 0)
            continue;
        for (uint32_t f = 0; f < frontends.Count && gState.DeviceCount < kMaxDevices; ++f)
            gState.Devices[gState.DeviceCount++] = Device{adapters.Numbers[a], frontends.Numbers[f]};
    }
}

// DTV_API_VERSION and DTV_ENUM_DELSYS of an open frontend; false when the
// frontend does not answer them.
bool ReadSystems(int fd, uint32_t* apiVersion, uint32_t* systems, uint32_t* count)
{
    dtv_property properties[2];
    memset(properties, 0, sizeof(properties));
    properties[0].cmd = DTV_API_VERSION;
    properties[1].cmd = DTV_ENUM_DELSYS;
    dtv_properties list = {2, properties};
    if (gDvbIo.Ioctl(fd, FE_GET_PROPERTY, &list) < 0)
        return false;
    *apiVersion = properties[0].u.data;
    uint32_t n = properties[1].u.buffer.len;
    if (n > sizeof(properties[1].u.buffer.data))
        n = sizeof(properties[1].u.buffer.data);
    if (n > kMaxSystems)
        n = kMaxSystems;
    for (uint32_t i = 0; i < n; ++i)
        systems[i] = properties[1].u.buffer.data[i];
    *count = n;
    return true;
}

void PermissionHint(const char* path)
{
    Complain("%s: permission denied; add your user to the video group (sudo usermod -aG video $USER) and log in "
             "again",
             path);
}

void CloseFrontend()
{
    if (gState.Open.Fd >= 0)
        gDvbIo.Close(gState.Open.Fd);
    gState.Open.Fd = -1;
    gState.Tuned.Valid = 0;
}

// A device failure ends the run: say what happened and let go of the device.
int DeviceFailed(const char* during)
{
    int error = errno;
    char path[64];
    FrontendPath(gState.Devices[gState.Open.Index], path, sizeof(path));
    Complain("%s failed during %s: %s", path, during, strerror(error));
    CloseFrontend();
    return 0;
}

int TuneFirst(uint32_t frequencyKHz, uint32_t bandwidthKHz, uint32_t standard)
{
    Channel& channel = gState.Tuned;
    channel.Valid = 1;
    channel.FrequencyKHz = frequencyKHz;
    channel.BandwidthKHz = bandwidthKHz;
    BuildTunePlan(standard, gState.Open.Systems, gState.Open.SystemCount, gState.Settings, &channel.Plan);
    channel.FirstTune = kTuneNothing;
    channel.TunedAtMs = gDvbIo.NowMs();
    if (channel.Plan.Count > 0)
        channel.FirstTune = StartTune(gState.Open.Fd, channel.Plan.Attempts[0], frequencyKHz, bandwidthKHz);
    return channel.FirstTune;
}

// Runs the tuned channel's plan to its first lock and fills *record.
int FinishChannel(TransponderInfo* record)
{
    const Channel& channel = gState.Tuned;
    int fd = gState.Open.Fd;
    // Only an attempt that really tuned and waited tells whether the
    // channel is empty: one the frontend refused (a system out of its range
    // there) proves nothing.
    bool listened = false;
    bool heard = false;
    for (uint32_t i = 0; i < channel.Plan.Count; ++i) {
        const TuneAttempt& attempt = channel.Plan.Attempts[i];
        if (attempt.SkipWithoutCarrier != 0 && listened && !heard)
            continue;
        int tuned = channel.FirstTune;
        uint32_t tunedAt = channel.TunedAtMs;
        if (i > 0) {
            tunedAt = gDvbIo.NowMs();
            tuned = StartTune(fd, attempt, channel.FrequencyKHz, channel.BandwidthKHz);
        }
        if (tuned == kTuneFailed)
            return kTuneFailed;
        if (tuned == kTuneNothing)
            continue;
        bool carrier = false;
        int outcome = WaitForLock(fd, tunedAt, gState.Settings.CarrierMs, attempt.LockMs, &carrier);
        listened = true;
        heard = heard || carrier;
        if (outcome == kTuneFailed)
            return kTuneFailed;
        if (outcome == kTuneNothing)
            continue;

        bool needTables = false;
        if (ReadTransponder(fd, attempt, channel.FrequencyKHz, channel.BandwidthKHz, record, &needTables) < 0)
            return kTuneFailed;
        if (needTables) {
            char demux[64];
            DemuxPath(gState.Devices[gState.Open.Index], demux, sizeof(demux));
            NitDelivery nit = {};
            if (ReadTransponderTables(demux, gState.Settings.TablesMs, record->Frequency, &nit) == 0 && nit.Found) {
                auto fill = [](uint32_t* field, uint32_t value) {
                    if (*field == 0 && value != 0)
                        *field = value;
                };
                fill(&record->Modulation, nit.Modulation);
                fill(&record->Fec, nit.Fec);
                fill(&record->FecLp, nit.FecLp);
                fill(&record->TransmissionMode, nit.TransmissionMode);
                fill(&record->GuardInterval, nit.GuardInterval);
                fill(&record->Hierarchy, nit.Hierarchy);
                fill(&record->SymbolRate, record->Standard == kStdDvbC ? nit.SymbolRate : 0);
                if (nit.S1Signaling != 0)
                    record->S1Signaling = 1;
                if (record->Standard == kStdDvbT2 && nit.PlpCount > 0) {
                    record->PlpCount = nit.PlpCount;
                    memcpy(record->PlpIds, nit.PlpIds, sizeof(record->PlpIds));
                }
            }
        }
        if (ReadStatistics(fd, record) < 0)
            return kTuneFailed;
        record->BitRate = ComputeBitRate(*record);
        return kTuneLocked;
    }
    ClearRecord(record, channel.FrequencyKHz);
    return kTuneNothing;
}

const char* Environment(const char* name)
{
    return getenv(name);
}

bool Near(uint32_t a, uint32_t b, uint32_t distance)
{
    return (a > b ? a - b : b - a) <= distance;
}

} // namespace
} // namespace dvb
} // namespace tressel

using namespace tressel;
using namespace tressel::dvb;

extern "C" {

TRESSEL_TUNER_EXPORT int32_t TRESSEL_CDECL CheckForDVBEx(DeviceFoundCallback onDevice)
{
    gState.Settings = ReadDvbSettings(Environment);
    FindDevices();
    if (gState.DeviceCount == 0) {
        Complain("no DVB frontend found: /dev/dvb holds no adapter (is the tuner plugged in and its driver "
                 "loaded?)");
        return 1;
    }
    for (uint32_t i = 0; i < gState.DeviceCount; ++i) {
        char path[64];
        FrontendPath(gState.Devices[i], path, sizeof(path));
        char name[sizeof(dvb_frontend_info::name) + 1] = "DVB frontend";
        int fd = gDvbIo.Open(path, O_RDONLY | O_NONBLOCK);
        if (fd >= 0) {
            dvb_frontend_info info;
            memset(&info, 0, sizeof(info));
            if (gDvbIo.Ioctl(fd, FE_GET_INFO, &info) == 0 && info.name[0] != '\0') {
                memcpy(name, info.name, sizeof(info.name));
                name[sizeof(info.name)] = '\0';
                size_t length = strlen(name);
                while (length > 0 && name[length - 1] == ' ')
                    name[--length] = '\0';
            }
            gDvbIo.Close(fd);
        } else if (errno == EACCES || errno == EPERM) {
            PermissionHint(path);
        }
        char label[sizeof(name) + 48];
        snprintf(label, sizeof(label), "%s (adapter%u/frontend%u)", name, gState.Devices[i].Adapter,
                 gState.Devices[i].Frontend);
        if (onDevice != nullptr)
            onDevice(static_cast<int32_t>(i), label);
    }
    return 1;
}

TRESSEL_TUNER_EXPORT int32_t TRESSEL_CDECL StartDVBEx(int32_t device)
{
    CloseFrontend();
    if (device < 0 || static_cast<uint32_t>(device) >= gState.DeviceCount) {
        Complain("there is no device %d", device);
        return 0;
    }
    char path[64];
    FrontendPath(gState.Devices[device], path, sizeof(path));
    int fd = gDvbIo.Open(path, O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        int error = errno;
        if (error == EBUSY)
            Complain("%s is busy: another program is using it; close that program and try again", path);
        else if (error == EACCES || error == EPERM)
            PermissionHint(path);
        else if (error == ENOENT || error == ENODEV || error == ENXIO)
            Complain("%s has gone (unplugged?)", path);
        else
            Complain("%s cannot be opened: %s", path, strerror(error));
        return 0;
    }
    uint32_t api = 0;
    OpenFrontend& open = gState.Open;
    if (!ReadSystems(fd, &api, open.Systems, &open.SystemCount)) {
        Complain("%s does not answer the DVBv5 property calls (%s)", path, strerror(errno));
        gDvbIo.Close(fd);
        return 0;
    }
    if (api < 0x0505) {
        Complain("%s speaks DVB API %u.%u; version 5.5 or later is needed", path, api >> 8, api & 0xff);
        gDvbIo.Close(fd);
        return 0;
    }
    open.Fd = fd;
    open.Index = static_cast<uint32_t>(device);
    if (!HasScannableSystem(open.Systems, open.SystemCount))
        Complain("%s has no terrestrial or cable delivery system that can be scanned", path);
    return 1;
}

TRESSEL_TUNER_EXPORT uint32_t TRESSEL_CDECL GetCaps(void)
{
    if (gState.Open.Fd < 0)
        return 0;
    uint32_t caps = kCapFastScan;
    if (HasScannableSystem(gState.Open.Systems, gState.Open.SystemCount))
        caps |= kCapTressel;
    return caps;
}

TRESSEL_TUNER_EXPORT int32_t TRESSEL_CDECL SetChannel2Ex(uint32_t frequencyKHz, uint32_t bandwidthKHz,
                                                         uint32_t standard, uint32_t)
{
    if (gState.Open.Fd < 0) {
        Complain("no device is open");
        return 0;
    }
    if (TuneFirst(frequencyKHz, bandwidthKHz, standard) == kTuneFailed)
        return DeviceFailed("tuning");
    return 1;
}

TRESSEL_TUNER_EXPORT int32_t TRESSEL_CDECL SignalInfo2(TransponderInfo* record)
{
    if (gState.Open.Fd < 0 || record == nullptr) {
        Complain("no device is open");
        return 0;
    }
    if (!gState.Tuned.Valid) {
        ClearRecord(record, 0);
        return 1;
    }
    if (FinishChannel(record) == kTuneFailed)
        return DeviceFailed("the signal reading");
    return 1;
}

TRESSEL_TUNER_EXPORT int32_t TRESSEL_CDECL Tressel(uint32_t startKHz, uint32_t stopKHz, uint32_t stepKHz,
                                                   uint32_t bandwidthKHz, uint32_t standard, TransponderInfo* first,
                                                   uint32_t* countWord, FastScanResultCallback onResult)
{
    if (gState.Open.Fd < 0 || first == nullptr || countWord == nullptr) {
        Complain("no device is open");
        return 0;
    }
    uint32_t already = *countWord;
    uint32_t room = already >= kTableCapacity ? 0 : kTableCapacity - already;
    // The channel raster gives the channel's bandwidth (7 MHz in VHF).
    uint32_t tuneBandwidth = (stepKHz >= 5000 && stepKHz <= 10000) ? stepKHz : bandwidthKHz;
    uint32_t stored = 0;
    static TransponderInfo found;
    uint64_t frequency = startKHz;
    while (frequency <= stopKHz && stored < room) {
        uint32_t f = static_cast<uint32_t>(frequency);
        bool covered = false;
        for (uint32_t i = 0; i < stored && !covered; ++i) {
            uint32_t half = (first[i].Bandwidth != 0 ? first[i].Bandwidth : tuneBandwidth) / 2;
            covered = Near(f, first[i].Frequency, half);
        }
        if (!covered) {
            if (TuneFirst(f, tuneBandwidth, standard) == kTuneFailed) {
                *countWord = stored;
                return DeviceFailed("the sweep");
            }
            int outcome = FinishChannel(&found);
            if (outcome == kTuneFailed) {
                *countWord = stored;
                return DeviceFailed("the sweep");
            }
            if (outcome == kTuneLocked) {
                first[stored] = found;
                first[stored].Locked = 1;
                if (onResult != nullptr)
                    onResult(&first[stored]);
                ++stored;
            }
        }
        if (stepKHz == 0)
            break;
        frequency += stepKHz;
    }
    *countWord = stored;
    return 1;
}

TRESSEL_TUNER_EXPORT int32_t TRESSEL_CDECL StopDVB(void)
{
    CloseFrontend();
    return 1;
}

} // extern "C"
