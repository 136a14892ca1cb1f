#include "Frontend.h"

#include <cerrno>
#include <cmath>
#include <cstring>

#include <linux/dvb/version.h>

#include "SimCodes.h"

namespace tressel {
namespace dvbsim {
namespace {

static_assert(vt::dvbsys::kDvbCAnnexA == SYS_DVBC_ANNEX_A && vt::dvbsys::kDvbCAnnexB == SYS_DVBC_ANNEX_B &&
                  vt::dvbsys::kDvbT == SYS_DVBT && vt::dvbsys::kDvbS == SYS_DVBS &&
                  vt::dvbsys::kDvbS2 == SYS_DVBS2 && vt::dvbsys::kIsdbT == SYS_ISDBT &&
                  vt::dvbsys::kAtsc == SYS_ATSC && vt::dvbsys::kDvbT2 == SYS_DVBT2 &&
                  vt::dvbsys::kDvbCAnnexC == SYS_DVBC_ANNEX_C,
              "the band stores the kernel's delivery-system numbers");

const vt::DvbDevice* Dvb(const FrontendState* fe, const vt::Band* band)
{
    return &band->DvbDevices[fe->Device];
}

bool IsCable(uint32_t system)
{
    return system == SYS_DVBC_ANNEX_A || system == SYS_DVBC_ANNEX_C;
}

bool IsSatellite(uint32_t system)
{
    return system == SYS_DVBS || system == SYS_DVBS2;
}

bool IsOfdm(uint32_t system)
{
    return system == SYS_DVBT || system == SYS_DVBT2 || system == SYS_ISDBT;
}

// The kernel's dvb_frontend_clear_cache: everything AUTO, the system kept.
void ClearCache(PropertyCache* cache)
{
    uint32_t system = cache->DeliverySystem;
    memset(cache, 0, sizeof *cache);
    cache->DeliverySystem = system;
    cache->Modulation = IsSatellite(system) ? static_cast<uint32_t>(QPSK) : system == SYS_ATSC ? static_cast<uint32_t>(VSB_8) : static_cast<uint32_t>(QAM_AUTO);
    cache->InnerFec = FEC_AUTO;
    cache->CodeRateHp = FEC_AUTO;
    cache->CodeRateLp = FEC_AUTO;
    cache->GuardInterval = GUARD_INTERVAL_AUTO;
    cache->TransmissionMode = TRANSMISSION_MODE_AUTO;
    cache->Hierarchy = HIERARCHY_AUTO;
    cache->Inversion = INVERSION_AUTO;
    cache->StreamId = NO_STREAM_ID_FILTER;
}

// The DVBv3 frontend type of a delivery system (the kernel's dvbv3_type).
fe_type V3Type(uint32_t system)
{
    if (IsSatellite(system))
        return FE_QPSK;
    if (IsCable(system))
        return FE_QAM;
    if (system == SYS_ATSC || system == SYS_DVBC_ANNEX_B)
        return FE_ATSC;
    return FE_OFDM;
}

bool HasSystem(const vt::DvbDevice* dvb, uint32_t system)
{
    for (uint32_t i = 0; i < dvb->SystemCount; ++i) {
        if (dvb->Systems[i] == system)
            return true;
    }
    return false;
}

// A parameter set to a value must be the transponder's; AUTO (or a
// transponder value the kernel cannot name) always agrees.
bool Agrees(uint32_t set, uint32_t autoValue, uint32_t own)
{
    return set == autoValue || own == autoValue || set == own;
}

uint32_t Distance(uint32_t a, uint32_t b)
{
    return a >= b ? a - b : b - a;
}

const TransponderInfo* Locked(const FrontendState* fe, const vt::Band* band, uint64_t nowUs)
{
    if ((FrontendStatus(fe, band, nowUs) & FE_HAS_LOCK) == 0)
        return nullptr;
    return &band->Transponders[fe->Transponder];
}

bool HasCarrier(const FrontendState* fe, const vt::Band* band, uint64_t nowUs)
{
    return (FrontendStatus(fe, band, nowUs) & FE_HAS_CARRIER) != 0;
}

// The times after the tune of the carrier and the lock (UINT64_MAX: never).
void Timeline(const FrontendState* fe, const vt::Band* band, uint64_t* carrierUs, uint64_t* lockUs)
{
    *carrierUs = UINT64_MAX;
    *lockUs = UINT64_MAX;
    if (!fe->HasTuned || fe->Transponder < 0)
        return;
    const vt::DvbTransponder* x = &band->DvbTransponders[fe->Transponder];
    uint64_t carrier = static_cast<uint64_t>(x->CarrierMs) * 1000u;
    if (carrier < kRetunePendingUs)
        carrier = kRetunePendingUs;
    *carrierUs = fe->TuneUs + carrier;
    if (x->NeverLocks == 0) {
        uint64_t lock = static_cast<uint64_t>(x->LockMs) * 1000u;
        *lockUs = fe->TuneUs + (lock > carrier ? lock : carrier);
    }
}

// The bandwidth the kernel fills in at the tune where the caller left 0.
void CompleteBandwidth(PropertyCache* cache)
{
    switch (cache->DeliverySystem) {
    case SYS_ATSC:
    case SYS_DVBC_ANNEX_B:
        cache->Bandwidth = 6000000;
        break;
    case SYS_DVBC_ANNEX_A:
        if (cache->Bandwidth == 0)
            cache->Bandwidth = static_cast<uint32_t>(static_cast<uint64_t>(cache->SymbolRate) * 135u / 100u);
        break;
    case SYS_DVBC_ANNEX_C:
        if (cache->Bandwidth == 0)
            cache->Bandwidth = static_cast<uint32_t>(static_cast<uint64_t>(cache->SymbolRate) * 113u / 100u);
        break;
    case SYS_ISDBT:
        if (cache->Bandwidth == 0)
            cache->Bandwidth = 6000000;
        break;
    default:
        break;
    }
}

// The kernel's dtv_set_frontend checks: frequency and symbol rate ranges.
int CheckTune(const FrontendState* fe, const vt::Band* band, const PropertyCache* cache)
{
    const vt::DvbDevice* dvb = Dvb(fe, band);
    uint64_t min = static_cast<uint64_t>(dvb->MinFrequency) * 1000u;
    uint64_t max = static_cast<uint64_t>(dvb->MaxFrequency) * 1000u;
    if (cache->Frequency < min || cache->Frequency > max)
        return -EINVAL;
    if (IsCable(cache->DeliverySystem) && (cache->SymbolRate < 870000 || cache->SymbolRate > 11700000))
        return -EINVAL;
    return 0;
}

void SetStat(dtv_fe_stats* st, uint8_t scale, uint64_t value)
{
    memset(st, 0, sizeof *st);
    st->len = 1;
    st->stat[0].scale = scale;
    st->stat[0].uvalue = value;
}

void SetDecibel(dtv_fe_stats* st, int64_t milli)
{
    memset(st, 0, sizeof *st);
    st->len = 1;
    st->stat[0].scale = FE_SCALE_DECIBEL;
    st->stat[0].svalue = milli;
}

// Relative scale 0-65535 of a value within [low, high].
uint64_t Relative(double value, double low, double high)
{
    if (!(value > low))
        return 0;
    if (value >= high)
        return 65535;
    return static_cast<uint64_t>((value - low) / (high - low) * 65535.0);
}

uint64_t RelativeSignal(const TransponderInfo* t)
{
    return Relative(static_cast<double>(t->RfLevel), -100.0, -20.0);
}

uint64_t RelativeSnr(const TransponderInfo* t)
{
    return Relative(t->Snr, 0.0, 40.0);
}

// What a readback driver reports after the lock, for the properties it knows.
bool ReadBack(const PropertyCache* tuned, const TransponderInfo* t, uint32_t command, uint32_t* value)
{
    uint32_t system = tuned->DeliverySystem;
    switch (command) {
    case DTV_FREQUENCY:
        *value = t->Frequency * 1000u;
        return true;
    case DTV_BANDWIDTH_HZ:
        if (!IsOfdm(system))
            return false;
        *value = t->Bandwidth * 1000u;
        return true;
    case DTV_SYMBOL_RATE:
        if (!IsCable(system))
            return false;
        *value = t->SymbolRate;
        return true;
    case DTV_MODULATION:
        *value = KernelModulation(t->Modulation);
        return true;
    case DTV_INNER_FEC:
        if (!IsCable(system))
            return false;
        *value = KernelCodeRate(t->Fec);
        return true;
    case DTV_CODE_RATE_HP:
        if (!IsOfdm(system))
            return false;
        *value = KernelCodeRate(t->Fec);
        return true;
    case DTV_CODE_RATE_LP:
        if (system != SYS_DVBT)
            return false;
        *value = KernelCodeRate(t->FecLp);
        return true;
    case DTV_GUARD_INTERVAL:
        if (!IsOfdm(system))
            return false;
        *value = KernelGuardInterval(t->GuardInterval);
        return true;
    case DTV_TRANSMISSION_MODE:
        if (!IsOfdm(system))
            return false;
        *value = KernelTransmissionMode(t->TransmissionMode);
        return true;
    case DTV_HIERARCHY:
        if (system != SYS_DVBT)
            return false;
        *value = KernelHierarchy(t->Hierarchy);
        return true;
    case DTV_INVERSION:
        *value = KernelInversion(t->Spectrum);
        return true;
    case DTV_STREAM_ID:
        if (system != SYS_DVBT2)
            return false;
        // The PLP in use: the one asked for, else the first.
        *value = tuned->StreamId != NO_STREAM_ID_FILTER ? tuned->StreamId
                 : t->PlpCount > 0                      ? t->PlpIds[0]
                                                        : 0;
        return true;
    default:
        return false;
    }
}

uint32_t* CacheField(PropertyCache* cache, uint32_t command)
{
    switch (command) {
    case DTV_FREQUENCY:
        return &cache->Frequency;
    case DTV_BANDWIDTH_HZ:
        return &cache->Bandwidth;
    case DTV_SYMBOL_RATE:
        return &cache->SymbolRate;
    case DTV_MODULATION:
        return &cache->Modulation;
    case DTV_INNER_FEC:
        return &cache->InnerFec;
    case DTV_CODE_RATE_HP:
        return &cache->CodeRateHp;
    case DTV_CODE_RATE_LP:
        return &cache->CodeRateLp;
    case DTV_GUARD_INTERVAL:
        return &cache->GuardInterval;
    case DTV_TRANSMISSION_MODE:
        return &cache->TransmissionMode;
    case DTV_HIERARCHY:
        return &cache->Hierarchy;
    case DTV_INVERSION:
        return &cache->Inversion;
    case DTV_STREAM_ID:
        return &cache->StreamId;
    default:
        return nullptr;
    }
}

} // namespace

void FrontendInit(FrontendState* fe, const vt::Band* band, uint32_t device)
{
    memset(fe, 0, sizeof *fe);
    fe->Device = device;
    const vt::DvbDevice* dvb = &band->DvbDevices[device];
    fe->Cache.DeliverySystem = dvb->SystemCount > 0 ? dvb->Systems[0] : static_cast<uint32_t>(SYS_UNDEFINED);
    ClearCache(&fe->Cache);
    fe->Transponder = -1;
}

void FrontendInfo(const FrontendState* fe, const vt::Band* band, dvb_frontend_info* info)
{
    const vt::DvbDevice* dvb = Dvb(fe, band);
    memset(info, 0, sizeof *info);
    strncpy(info->name, band->Devices[fe->Device].Name, sizeof info->name - 1);
    uint32_t system = fe->Cache.DeliverySystem;
    info->type = V3Type(system);
    // Satellite ranges are in kHz, all others in Hz.
    uint32_t unit = IsSatellite(system) ? 1u : 1000u;
    info->frequency_min = dvb->MinFrequency * unit;
    info->frequency_max = dvb->MaxFrequency * unit;
    info->frequency_stepsize = IsSatellite(system) ? 0 : 62500;
    bool cable = HasSystem(dvb, SYS_DVBC_ANNEX_A) || HasSystem(dvb, SYS_DVBC_ANNEX_C);
    info->symbol_rate_min = cable ? 870000 : 0;
    info->symbol_rate_max = cable ? 11700000 : 0;
    uint32_t caps = FE_CAN_INVERSION_AUTO | FE_CAN_FEC_1_2 | FE_CAN_FEC_2_3 | FE_CAN_FEC_3_4 |
                    FE_CAN_FEC_4_5 | FE_CAN_FEC_5_6 | FE_CAN_FEC_6_7 | FE_CAN_FEC_7_8 |
                    FE_CAN_FEC_8_9 | FE_CAN_FEC_AUTO | FE_CAN_QPSK | FE_CAN_QAM_16 |
                    FE_CAN_QAM_32 | FE_CAN_QAM_64 | FE_CAN_QAM_128 | FE_CAN_QAM_256 |
                    FE_CAN_QAM_AUTO | FE_CAN_TRANSMISSION_MODE_AUTO | FE_CAN_BANDWIDTH_AUTO |
                    FE_CAN_GUARD_INTERVAL_AUTO | FE_CAN_HIERARCHY_AUTO | FE_CAN_RECOVER |
                    FE_CAN_MUTE_TS;
    if (HasSystem(dvb, SYS_ATSC))
        caps |= FE_CAN_8VSB | FE_CAN_16VSB;
    if (HasSystem(dvb, SYS_DVBT2) || HasSystem(dvb, SYS_DVBS2))
        caps |= FE_CAN_2G_MODULATION | FE_CAN_MULTISTREAM;
    info->caps = static_cast<fe_caps>(caps);
}

int32_t FindTunedTransponder(const vt::Band* band, const PropertyCache* tuned)
{
    uint32_t system = tuned->DeliverySystem;
    uint32_t khz = tuned->Frequency / 1000u;
    int32_t best = -1;
    uint32_t bestDistance = 0;
    for (uint32_t i = 0; i < band->TransponderCount; ++i) {
        const TransponderInfo* t = &band->Transponders[i];
        const vt::DvbTransponder* x = &band->DvbTransponders[i];
        if (!SystemCarries(system, t))
            continue;
        uint32_t distance = Distance(khz, t->Frequency);
        if (distance > x->CaptureKHz)
            continue;
        if (IsCable(system) && Distance(tuned->SymbolRate, t->SymbolRate) > 1000)
            continue;
        if (IsOfdm(system) && tuned->Bandwidth != 0 && tuned->Bandwidth != t->Bandwidth * 1000u)
            continue;
        if (!Agrees(tuned->Modulation, QAM_AUTO, KernelModulation(t->Modulation)))
            continue;
        if (system == SYS_DVBT &&
            (!Agrees(tuned->CodeRateHp, FEC_AUTO, KernelCodeRate(t->Fec)) ||
             !Agrees(tuned->GuardInterval, GUARD_INTERVAL_AUTO, KernelGuardInterval(t->GuardInterval)) ||
             !Agrees(tuned->TransmissionMode, TRANSMISSION_MODE_AUTO,
                     KernelTransmissionMode(t->TransmissionMode)) ||
             !Agrees(tuned->Hierarchy, HIERARCHY_AUTO, KernelHierarchy(t->Hierarchy))))
            continue;
        if (best < 0 || distance < bestDistance) {
            best = static_cast<int32_t>(i);
            bestDistance = distance;
        }
    }
    return best;
}

int FrontendSet(FrontendState* fe, const vt::Band* band, uint32_t command, uint32_t data, uint64_t nowUs)
{
    if (fe->Gone)
        return -ENODEV;
    const vt::DvbDevice* dvb = Dvb(fe, band);
    switch (command) {
    case DTV_CLEAR:
        ClearCache(&fe->Cache);
        return 0;
    case DTV_DELIVERY_SYSTEM:
        // Old applications send SYS_UNDEFINED for "the first one".
        if (data == SYS_UNDEFINED && dvb->SystemCount > 0)
            data = dvb->Systems[0];
        if (!HasSystem(dvb, data)) {
            // The kernel emulates the four DVBv3 systems with the last one
            // of the frontend's list of the same DVBv3 type.
            uint32_t emulated = SYS_UNDEFINED;
            bool v3 = data == SYS_DVBT || data == SYS_DVBC_ANNEX_A || data == SYS_DVBS || data == SYS_ATSC;
            for (uint32_t i = 0; v3 && i < dvb->SystemCount; ++i) {
                if (V3Type(dvb->Systems[i]) == V3Type(data))
                    emulated = dvb->Systems[i];
            }
            if (emulated == SYS_UNDEFINED)
                return -EINVAL;
            data = emulated;
        }
        fe->Cache.DeliverySystem = data;
        return 0;
    case DTV_TUNE: {
        PropertyCache tuned = fe->Cache;
        CompleteBandwidth(&tuned);
        if (int error = CheckTune(fe, band, &tuned))
            return error;
        fe->Cache = tuned;
        fe->Tuned = tuned;
        fe->HasTuned = true;
        fe->TuneUs = nowUs;
        fe->Transponder = FindTunedTransponder(band, &tuned);
        ++fe->Tunes;
        if (dvb->VanishAfterTunes > 0 && fe->Tunes >= dvb->VanishAfterTunes)
            fe->Gone = true;
        return 0;
    }
    default:
        break;
    }
    if (uint32_t* field = CacheField(&fe->Cache, command)) {
        *field = data;
        return 0;
    }
    if (command > DTV_MAX_COMMAND || command == DTV_UNDEFINED)
        return -EINVAL;
    return 0; // a property the simulated driver ignores, as real ones do
}

int FrontendGet(const FrontendState* fe, const vt::Band* band, dtv_property* property, uint64_t nowUs)
{
    if (fe->Gone)
        return -ENODEV;
    const vt::DvbDevice* dvb = Dvb(fe, band);
    const TransponderInfo* locked = Locked(fe, band, nowUs);
    bool relative = dvb->Profile == vt::kProfileRelative;
    uint32_t command = property->cmd;
    switch (command) {
    case DTV_API_VERSION:
        property->u.data = (DVB_API_VERSION << 8) | DVB_API_VERSION_MINOR;
        return 0;
    case DTV_DELIVERY_SYSTEM:
        property->u.data = fe->Cache.DeliverySystem;
        return 0;
    case DTV_ENUM_DELSYS:
        memset(property->u.buffer.data, 0, sizeof property->u.buffer.data);
        for (uint32_t i = 0; i < dvb->SystemCount; ++i)
            property->u.buffer.data[i] = dvb->Systems[i];
        property->u.buffer.len = dvb->SystemCount;
        return 0;
    case DTV_STAT_SIGNAL_STRENGTH:
        if (!HasCarrier(fe, band, nowUs))
            SetStat(&property->u.st, FE_SCALE_NOT_AVAILABLE, 0);
        else if (relative)
            SetStat(&property->u.st, FE_SCALE_RELATIVE, RelativeSignal(&band->Transponders[fe->Transponder]));
        else
            SetDecibel(&property->u.st, static_cast<int64_t>(band->Transponders[fe->Transponder].RfLevel) * 1000);
        return 0;
    case DTV_STAT_CNR:
        if (locked == nullptr || std::isnan(locked->Snr))
            SetStat(&property->u.st, FE_SCALE_NOT_AVAILABLE, 0);
        else if (relative)
            SetStat(&property->u.st, FE_SCALE_RELATIVE, RelativeSnr(locked));
        else
            SetDecibel(&property->u.st, static_cast<int64_t>(std::llround(locked->Snr * 1000.0)));
        return 0;
    case DTV_STAT_PRE_ERROR_BIT_COUNT:
    case DTV_STAT_POST_ERROR_BIT_COUNT:
    case DTV_STAT_ERROR_BLOCK_COUNT:
        SetStat(&property->u.st, locked != nullptr ? FE_SCALE_COUNTER : FE_SCALE_NOT_AVAILABLE, 0);
        return 0;
    case DTV_STAT_PRE_TOTAL_BIT_COUNT:
    case DTV_STAT_POST_TOTAL_BIT_COUNT:
    case DTV_STAT_TOTAL_BLOCK_COUNT: {
        // Counters grow with the time since the tune: about 1 Mbit per 100 ms.
        uint64_t since = nowUs > fe->TuneUs ? nowUs - fe->TuneUs : 0;
        uint64_t bits = since * 10u;
        uint64_t value = command == DTV_STAT_TOTAL_BLOCK_COUNT ? bits / 1504u : bits;
        SetStat(&property->u.st, locked != nullptr ? FE_SCALE_COUNTER : FE_SCALE_NOT_AVAILABLE,
                locked != nullptr ? value : 0);
        return 0;
    }
    default:
        break;
    }
    if (command == DTV_UNDEFINED || command > DTV_MAX_COMMAND)
        return -EINVAL;
    PropertyCache cache = fe->Cache;
    uint32_t* field = CacheField(&cache, command);
    if (field == nullptr) {
        property->u.data = 0; // a property the simulated driver has no value for
        return 0;
    }
    uint32_t value = *field;
    if (locked != nullptr && dvb->Profile != vt::kProfileAuto)
        ReadBack(&fe->Tuned, locked, command, &value);
    property->u.data = value;
    return 0;
}

uint32_t FrontendStatus(const FrontendState* fe, const vt::Band* band, uint64_t nowUs)
{
    uint64_t carrierUs = 0;
    uint64_t lockUs = 0;
    Timeline(fe, band, &carrierUs, &lockUs);
    uint32_t status = 0;
    if (nowUs >= carrierUs)
        status |= FE_HAS_SIGNAL | FE_HAS_CARRIER;
    if (nowUs >= lockUs)
        status |= FE_HAS_VITERBI | FE_HAS_SYNC | FE_HAS_LOCK;
    return status;
}

uint64_t FrontendNextChange(const FrontendState* fe, const vt::Band* band, uint64_t nowUs)
{
    uint64_t carrierUs = 0;
    uint64_t lockUs = 0;
    Timeline(fe, band, &carrierUs, &lockUs);
    if (carrierUs > nowUs)
        return carrierUs;
    if (lockUs > nowUs)
        return lockUs;
    return UINT64_MAX;
}

uint16_t FrontendOldSignal(const FrontendState* fe, const vt::Band* band, uint64_t nowUs)
{
    if (!HasCarrier(fe, band, nowUs))
        return 0;
    return static_cast<uint16_t>(RelativeSignal(&band->Transponders[fe->Transponder]));
}

uint16_t FrontendOldSnr(const FrontendState* fe, const vt::Band* band, uint64_t nowUs)
{
    const TransponderInfo* locked = Locked(fe, band, nowUs);
    return locked == nullptr ? 0 : static_cast<uint16_t>(RelativeSnr(locked));
}

} // namespace dvbsim
} // namespace tressel
