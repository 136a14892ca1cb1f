#include "DvbFrontend.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include "DvbIo.h"
#include "DvbKernel.h"
#include "DvbMap.h"

namespace tressel {
namespace dvb {

namespace {

bool Has(const uint32_t* systems, uint32_t count, uint32_t system)
{
    for (uint32_t i = 0; i < count; ++i) {
        if (systems[i] == system)
            return true;
    }
    return false;
}

void Add(TunePlan* plan, uint32_t system, uint32_t symbolRate, uint32_t modulation, uint32_t lockMs, bool skip)
{
    if (plan->Count == kMaxAttempts)
        return;
    plan->Attempts[plan->Count++] = TuneAttempt{system, symbolRate, modulation, lockMs, skip ? 1u : 0u};
}

void AddCable(TunePlan* plan, uint32_t system, const uint32_t* systems, uint32_t count, const DvbSettings& settings)
{
    if (!Has(systems, count, system))
        return;
    // Every rate: a demodulator set to the wrong symbol rate may see no
    // carrier at all, so a silent first rate proves nothing.
    for (uint32_t i = 0; i < settings.SymbolRateCount; ++i)
        Add(plan, system, settings.SymbolRates[i], QAM_AUTO, settings.LockMsCable, false);
}

void AddAtsc(TunePlan* plan, const uint32_t* systems, uint32_t count, const DvbSettings& settings)
{
    if (Has(systems, count, SYS_ATSC))
        Add(plan, SYS_ATSC, 0, VSB_8, settings.LockMsAtsc, false);
    if (Has(systems, count, SYS_DVBC_ANNEX_B))
        Add(plan, SYS_DVBC_ANNEX_B, 0, QAM_AUTO, settings.LockMsAtsc, false);
}

int SetProperties(int fd, dtv_property* properties, uint32_t count)
{
    dtv_properties list = {count, properties};
    return gDvbIo.Ioctl(fd, FE_SET_PROPERTY, &list);
}

dtv_property Property(uint32_t command, uint32_t data)
{
    dtv_property property;
    memset(&property, 0, sizeof(property));
    property.cmd = command;
    property.u.data = data;
    return property;
}

// A refusal of the parameters is no lock; anything else fails the call.
int Refused()
{
    return IsDeviceFailure(errno) ? kTuneFailed : kTuneNothing;
}

bool IsTerrestrial(uint32_t system)
{
    return system == SYS_DVBT || system == SYS_DVBT2 || system == SYS_ISDBT;
}

bool IsCable(uint32_t system)
{
    return system == SYS_DVBC_ANNEX_A || system == SYS_DVBC_ANNEX_C || system == SYS_DVBC_ANNEX_B;
}

} // namespace

bool HasScannableSystem(const uint32_t* systems, uint32_t systemCount)
{
    for (uint32_t i = 0; i < systemCount; ++i) {
        if (MapKernelValue(Field::DeliverySystem, systems[i]) != 0)
            return true;
    }
    return false;
}

void BuildTunePlan(uint32_t standard, const uint32_t* systems, uint32_t count, const DvbSettings& settings,
                   TunePlan* plan)
{
    plan->Count = 0;
    switch (standard) {
    case kStdDvbT:
        if (Has(systems, count, SYS_DVBT))
            Add(plan, SYS_DVBT, 0, QAM_AUTO, settings.LockMsDvbT, false);
        break;
    case kStdDvbT2:
        if (Has(systems, count, SYS_DVBT2))
            Add(plan, SYS_DVBT2, 0, QAM_AUTO, settings.LockMsDvbT2, false);
        break;
    case kStdDvbC:
        AddCable(plan, SYS_DVBC_ANNEX_A, systems, count, settings);
        AddCable(plan, SYS_DVBC_ANNEX_C, systems, count, settings);
        break;
    case kStdAtsc:
        AddAtsc(plan, systems, count, settings);
        break;
    case kStdIsdbT:
        if (Has(systems, count, SYS_ISDBT))
            Add(plan, SYS_ISDBT, 0, QAM_AUTO, settings.LockMsIsdbT, false);
        break;
    case 0: {
        if (Has(systems, count, SYS_DVBT))
            Add(plan, SYS_DVBT, 0, QAM_AUTO, settings.LockMsDvbT, false);
        if (Has(systems, count, SYS_DVBT2))
            Add(plan, SYS_DVBT2, 0, QAM_AUTO, settings.LockMsDvbT2, false);
        AddCable(plan, SYS_DVBC_ANNEX_A, systems, count, settings);
        AddCable(plan, SYS_DVBC_ANNEX_C, systems, count, settings);
        AddAtsc(plan, systems, count, settings);
        if (Has(systems, count, SYS_ISDBT))
            Add(plan, SYS_ISDBT, 0, QAM_AUTO, settings.LockMsIsdbT, false);
        // One input feeds every system: a channel on which the first tune
        // saw no signal at all holds nothing for the others either, so an
        // empty channel costs one carrier window, not one per system.
        for (uint32_t i = 1; i < plan->Count; ++i)
            plan->Attempts[i].SkipWithoutCarrier = 1;
        break;
    }
    default:
        break; // DVB-C2 has no delivery system in the kernel; satellite is not scanned
    }
}

bool IsDeviceFailure(int error)
{
    switch (error) {
    case ENODEV:
    case ENXIO:
    case EIO:
    case EBADF:
    case ENOENT:
    case ESHUTDOWN:
        return true;
    default:
        return false;
    }
}

int StartTune(int fd, const TuneAttempt& attempt, uint32_t frequencyKHz, uint32_t bandwidthKHz)
{
    // The system first: the frequency range that FE_GET_INFO reports
    // depends on it.
    dtv_property first[2] = {Property(DTV_CLEAR, 0), Property(DTV_DELIVERY_SYSTEM, attempt.DeliverySystem)};
    if (SetProperties(fd, first, 2) < 0)
        return Refused();
    dvb_frontend_info info;
    memset(&info, 0, sizeof(info));
    if (gDvbIo.Ioctl(fd, FE_GET_INFO, &info) < 0) {
        if (IsDeviceFailure(errno))
            return kTuneFailed;
    } else {
        uint64_t hz = static_cast<uint64_t>(frequencyKHz) * 1000u;
        if ((info.frequency_min != 0 && hz < info.frequency_min) ||
            (info.frequency_max != 0 && hz > info.frequency_max))
            return kTuneNothing;
    }

    dtv_property properties[16];
    uint32_t count = 0;
    properties[count++] = Property(DTV_FREQUENCY, frequencyKHz * 1000u);
    properties[count++] = Property(DTV_MODULATION, attempt.Modulation);
    properties[count++] = Property(DTV_INVERSION, INVERSION_AUTO);
    if (IsTerrestrial(attempt.DeliverySystem)) {
        // ISDB-T channels are 6 MHz wherever it is on air, whatever the
        // raster of the scan: the driver's default is right.
        if (attempt.DeliverySystem != SYS_ISDBT)
            properties[count++] = Property(DTV_BANDWIDTH_HZ, bandwidthKHz * 1000u);
        properties[count++] = Property(DTV_CODE_RATE_HP, FEC_AUTO);
        properties[count++] = Property(DTV_CODE_RATE_LP, FEC_AUTO);
        properties[count++] = Property(DTV_GUARD_INTERVAL, GUARD_INTERVAL_AUTO);
        properties[count++] = Property(DTV_TRANSMISSION_MODE, TRANSMISSION_MODE_AUTO);
        if (attempt.DeliverySystem == SYS_DVBT)
            properties[count++] = Property(DTV_HIERARCHY, HIERARCHY_AUTO);
        if (attempt.DeliverySystem == SYS_DVBT2)
            properties[count++] = Property(DTV_STREAM_ID, NO_STREAM_ID_FILTER);
    }
    if (attempt.DeliverySystem == SYS_DVBC_ANNEX_A || attempt.DeliverySystem == SYS_DVBC_ANNEX_C) {
        properties[count++] = Property(DTV_SYMBOL_RATE, attempt.SymbolRate);
        properties[count++] = Property(DTV_INNER_FEC, FEC_AUTO);
    }
    properties[count++] = Property(DTV_TUNE, 0);
    if (SetProperties(fd, properties, count) < 0)
        return Refused();
    return kTuneLocked;
}

int WaitForLock(int fd, uint32_t tunedAtMs, uint32_t carrierMs, uint32_t lockMs, bool* carrier)
{
    *carrier = false;
    bool eventsWork = true;
    for (;;) {
        fe_status_t status = static_cast<fe_status_t>(0);
        if (gDvbIo.Ioctl(fd, FE_READ_STATUS, &status) < 0) {
            if (IsDeviceFailure(errno))
                return kTuneFailed;
            status = static_cast<fe_status_t>(0);
        }
        if ((status & (FE_HAS_SIGNAL | FE_HAS_CARRIER)) != 0)
            *carrier = true;
        if ((status & FE_HAS_LOCK) != 0) {
            *carrier = true;
            return kTuneLocked;
        }
        uint32_t elapsed = gDvbIo.NowMs() - tunedAtMs;
        uint32_t limit = *carrier ? lockMs : (carrierMs < lockMs ? carrierMs : lockMs);
        if (elapsed >= limit)
            return kTuneNothing;
        // Sleep until the frontend reports a status change, but look again
        // at least every 20 ms: not every driver sends events.
        uint32_t wait = limit - elapsed;
        if (wait > 20)
            wait = 20;
        int ready = gDvbIo.WaitEvent(eventsWork ? fd : -1, static_cast<int>(wait));
        if (ready > 0 && eventsWork) {
            dvb_frontend_event event;
            int drained = 0;
            while (drained < 16 && gDvbIo.Ioctl(fd, FE_GET_EVENT, &event) == 0)
                ++drained;
            if (drained == 0 && errno != EWOULDBLOCK && errno != EAGAIN && errno != EOVERFLOW) {
                if (IsDeviceFailure(errno))
                    return kTuneFailed;
                eventsWork = false; // a wake-up that cannot be read: poll by time from now on
            }
        }
    }
}

namespace {

enum ReadIndex : uint32_t {
    kSystem, kFrequency, kBandwidth, kSymbolRate, kModulation, kInnerFec, kCodeRateHp, kCodeRateLp,
    kInversion, kMode, kGuard, kHierarchy, kStreamId, kReadCount
};

constexpr uint32_t kReadCommands[kReadCount] = {
    DTV_DELIVERY_SYSTEM, DTV_FREQUENCY,     DTV_BANDWIDTH_HZ, DTV_SYMBOL_RATE,       DTV_MODULATION,
    DTV_INNER_FEC,       DTV_CODE_RATE_HP,  DTV_CODE_RATE_LP, DTV_INVERSION,         DTV_TRANSMISSION_MODE,
    DTV_GUARD_INTERVAL,  DTV_HIERARCHY,     DTV_STREAM_ID,
};

} // namespace

void ClearRecord(TransponderInfo* record, uint32_t frequencyKHz)
{
    memset(record, 0, sizeof(*record));
    memset(record->Reserved1, 0xA5, sizeof(record->Reserved1));
    memset(record->Reserved2, 0xA5, sizeof(record->Reserved2));
    record->Frequency = frequencyKHz;
}

int ReadTransponder(int fd, const TuneAttempt& attempt, uint32_t tunedKHz, uint32_t bandwidthKHz,
                    TransponderInfo* record, bool* needTables)
{
    dtv_property properties[kReadCount];
    for (uint32_t i = 0; i < kReadCount; ++i)
        properties[i] = Property(kReadCommands[i], 0);
    dtv_properties list = {kReadCount, properties};
    bool readBack = gDvbIo.Ioctl(fd, FE_GET_PROPERTY, &list) == 0;
    if (!readBack && IsDeviceFailure(errno))
        return kTuneFailed;

    uint32_t system = readBack ? properties[kSystem].u.data : attempt.DeliverySystem;
    if (MapKernelValue(Field::DeliverySystem, system) == 0)
        system = attempt.DeliverySystem; // a driver that reports nothing useful
    ClearRecord(record, tunedKHz);
    record->Locked = 1;
    record->Standard = MapKernelValue(Field::DeliverySystem, system);
    if (readBack && properties[kFrequency].u.data != 0)
        record->Frequency = properties[kFrequency].u.data / 1000u;

    if (IsTerrestrial(system)) {
        uint32_t hz = readBack ? properties[kBandwidth].u.data : 0;
        record->Bandwidth = hz != 0 ? hz / 1000u : bandwidthKHz;
    } else if (system == SYS_ATSC || system == SYS_DVBC_ANNEX_B) {
        record->Bandwidth = 6000;
    } else {
        record->Bandwidth = bandwidthKHz;
    }

    if (IsCable(system)) {
        record->SymbolRate = readBack && properties[kSymbolRate].u.data != 0 ? properties[kSymbolRate].u.data
                                                                              : attempt.SymbolRate;
    }
    if (readBack) {
        record->Modulation = MapKernelValue(Field::Modulation, properties[kModulation].u.data);
        // Cable reports its code rate as the inner FEC; some DVB-T2 drivers do too.
        uint32_t fec = MapKernelValue(Field::CodeRate, properties[kCodeRateHp].u.data);
        if (fec == 0 || IsCable(system))
            fec = MapKernelValue(Field::CodeRate, properties[kInnerFec].u.data);
        record->Fec = fec;
        if (system == SYS_DVBT)
            record->FecLp = MapKernelValue(Field::CodeRate, properties[kCodeRateLp].u.data);
        record->Spectrum = MapKernelValue(Field::Inversion, properties[kInversion].u.data);
        if (IsTerrestrial(system)) {
            record->TransmissionMode = MapKernelValue(Field::TransmissionMode, properties[kMode].u.data);
            record->GuardInterval = MapKernelValue(Field::GuardInterval, properties[kGuard].u.data);
        }
        if (system == SYS_DVBT) {
            record->Hierarchy = MapKernelValue(Field::Hierarchy, properties[kHierarchy].u.data);
            if (record->Hierarchy == 0)
                record->FecLp = 0; // only a hierarchical signal has a low-priority stream
        }
    }
    if (system == SYS_ATSC && record->Modulation == 0)
        record->Modulation = 16; // 8VSB is the only constellation of broadcast ATSC
    if (system == SYS_DVBT2) {
        uint32_t plp = readBack ? properties[kStreamId].u.data : NO_STREAM_ID_FILTER;
        record->PlpCount = 1;
        record->PlpIds[0] = plp <= 255 ? static_cast<uint8_t>(plp) : 0;
    }
    // What the kernel cannot tell: shown as unknown, never as a real value.
    record->PilotPattern = 0xff;
    record->T2Version = 0xff;
    record->Payload = 3; // a transport stream

    bool autoLeft = record->Modulation == 0 || (system != SYS_ATSC && record->Fec == 0 && system != SYS_ISDBT);
    if (IsTerrestrial(system) && system != SYS_ISDBT)
        autoLeft = autoLeft || record->TransmissionMode == 0 || record->GuardInterval == 0;
    if (system == SYS_DVBT && readBack && properties[kHierarchy].u.data == HIERARCHY_AUTO)
        autoLeft = true;
    if (system == SYS_DVBT2)
        autoLeft = true; // the PLP list comes only from the NIT
    if (system == SYS_DVBC_ANNEX_B || system == SYS_ISDBT)
        autoLeft = false; // their tables carry no delivery descriptor that we read
    *needTables = autoLeft;
    return kTuneLocked;
}

int ReadStatistics(int fd, TransponderInfo* record)
{
    dtv_property properties[2] = {Property(DTV_STAT_SIGNAL_STRENGTH, 0), Property(DTV_STAT_CNR, 0)};
    dtv_properties list = {2, properties};
    if (gDvbIo.Ioctl(fd, FE_GET_PROPERTY, &list) < 0)
        return IsDeviceFailure(errno) ? kTuneFailed : kTuneNothing;
    const dtv_fe_stats& strength = properties[0].u.st;
    if (strength.len > 0 && strength.stat[0].scale == FE_SCALE_DECIBEL) {
        int64_t milli = strength.stat[0].svalue; // 0.001 dBm
        record->RfLevel = static_cast<int32_t>(milli >= 0 ? (milli + 500) / 1000 : -((-milli + 500) / 1000));
    }
    const dtv_fe_stats& cnr = properties[1].u.st;
    if (cnr.len > 0 && cnr.stat[0].scale == FE_SCALE_DECIBEL) {
        int64_t milli = cnr.stat[0].svalue; // 0.001 dB
        record->Snr = static_cast<double>(milli) / 1000.0;
    }
    return kTuneLocked;
}

uint32_t ComputeBitRate(const TransponderInfo& record)
{
    auto bits = [](uint32_t modulation) -> uint32_t {
        switch (modulation) {
        case 1: return 2;
        case 18: return 4;
        case 19: return 5;
        case 20: return 6;
        case 21: return 7;
        case 22: return 8;
        default: return 0;
        }
    };
    // Code-rate codes as numerator and denominator.
    auto rate = [](uint32_t fec, double* value) -> bool {
        static const uint32_t kRates[][3] = {{1, 1, 2}, {2, 2, 3}, {3, 3, 4}, {4, 4, 5}, {5, 5, 6}, {6, 6, 7},
                                             {7, 7, 8}, {8, 8, 9}, {9, 9, 10}, {12, 2, 5}, {13, 3, 5}};
        for (const auto& entry : kRates) {
            if (entry[0] == fec) {
                *value = static_cast<double>(entry[1]) / entry[2];
                return true;
            }
        }
        return false;
    };
    static const double kGuards[] = {0, 1.0 / 32, 1.0 / 16, 1.0 / 8, 1.0 / 4};
    if (record.Standard == kStdDvbT) {
        double hp = 0, lp = 0;
        uint32_t b = bits(record.Modulation);
        if (b == 0 || !rate(record.Fec, &hp) || record.GuardInterval < 1 || record.GuardInterval > 4 ||
            record.Bandwidth == 0)
            return 0;
        double payloadBits = b * hp;
        if (record.Hierarchy >= 1 && record.Hierarchy <= 3) {
            if (!rate(record.FecLp, &lp) || b < 4)
                return 0;
            payloadBits = 2 * hp + (b - 2) * lp;
        }
        double value = 6.75e6 * (record.Bandwidth / 8000.0) * payloadBits * 188.0 / 204.0 /
                       (1.0 + kGuards[record.GuardInterval]);
        return static_cast<uint32_t>(std::lround(value));
    }
    if (record.Standard == kStdDvbC) {
        uint32_t b = bits(record.Modulation);
        if (b == 0 || record.SymbolRate == 0)
            return 0;
        return static_cast<uint32_t>(std::lround(static_cast<double>(record.SymbolRate) * b * 188.0 / 204.0));
    }
    if (record.Standard == kStdAtsc && record.Modulation == 16)
        return 19392658;
    return 0;
}

} // namespace dvb
} // namespace tressel
