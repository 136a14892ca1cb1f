#include "SimCodes.h"

#include <linux/dvb/frontend.h>

namespace tressel {
namespace dvbsim {
namespace {

struct CodePair {
    uint32_t Code;
    uint32_t Value;
};

template <unsigned N>
uint32_t Find(const CodePair (&rows)[N], uint32_t code, uint32_t fallback)
{
    for (const CodePair& row : rows) {
        if (row.Code == code)
            return row.Value;
    }
    return fallback;
}

constexpr CodePair kModulation[] = {
    {1, QPSK},     {18, QAM_16},          {19, QAM_32},          {20, QAM_64},
    {21, QAM_128}, {22, QAM_256},         {16, VSB_8},           {17, VSB_16},
    {2, PSK_8},    {24, kKernelQam1024},  {25, kKernelQam4096},
};

// Record codes 1-8 are the kernel's FEC_1_2 ... FEC_8_9; the rest differ.
constexpr CodePair kCodeRate[] = {
    {0, FEC_NONE}, {1, FEC_1_2}, {2, FEC_2_3},  {3, FEC_3_4},          {4, FEC_4_5},
    {5, FEC_5_6},  {6, FEC_6_7}, {7, FEC_7_8},  {8, FEC_8_9},          {9, FEC_9_10},
    {12, FEC_2_5}, {13, FEC_3_5}, {10, kKernelFec1_4}, {11, kKernelFec1_3},
};

constexpr CodePair kTransmissionMode[] = {
    {1, TRANSMISSION_MODE_1K}, {2, TRANSMISSION_MODE_2K},   {3, TRANSMISSION_MODE_4K},
    {4, TRANSMISSION_MODE_8K}, {5, TRANSMISSION_MODE_16K},  {6, TRANSMISSION_MODE_32K},
};

constexpr CodePair kGuardInterval[] = {
    {1, GUARD_INTERVAL_1_32},   {2, GUARD_INTERVAL_1_16},   {3, GUARD_INTERVAL_1_8},
    {4, GUARD_INTERVAL_1_4},    {5, GUARD_INTERVAL_1_128},  {6, GUARD_INTERVAL_19_128},
    {7, GUARD_INTERVAL_19_256}, {8, kKernelGuard1_64},
};

constexpr CodePair kHierarchy[] = {
    {0, HIERARCHY_NONE}, {1, HIERARCHY_1}, {2, HIERARCHY_2}, {3, HIERARCHY_4},
};

constexpr CodePair kInversion[] = {{1, INVERSION_OFF}, {2, INVERSION_ON}};

constexpr CodePair kTerrestrialBandwidth[] = {{8000, 0}, {7000, 1}, {6000, 2}, {5000, 3}};
constexpr CodePair kTerrestrialConstellation[] = {{1, 0}, {18, 1}, {20, 2}};
constexpr CodePair kTerrestrialCodeRate[] = {{1, 0}, {2, 1}, {3, 2}, {5, 3}, {7, 4}};
constexpr CodePair kTerrestrialGuard[] = {{1, 0}, {2, 1}, {3, 2}, {4, 3}};
constexpr CodePair kTerrestrialMode[] = {{2, 0}, {4, 1}, {3, 2}};
constexpr CodePair kT2Bandwidth[] = {{8000, 0}, {7000, 1}, {6000, 2}, {5000, 3}, {10000, 4}, {1712, 5}};
constexpr CodePair kT2Guard[] = {{1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 4}, {6, 5}, {7, 6}};
constexpr CodePair kT2Mode[] = {{2, 0}, {4, 1}, {3, 2}, {1, 3}, {5, 4}, {6, 5}};
constexpr CodePair kCableModulation[] = {{18, 1}, {19, 2}, {20, 3}, {21, 4}, {22, 5}};
constexpr CodePair kCableInnerFec[] = {
    {1, 1}, {2, 2}, {3, 3}, {5, 4}, {7, 5}, {8, 6}, {13, 7}, {4, 8}, {9, 9}, {0, 15},
};

} // namespace

uint32_t KernelModulation(uint32_t code) { return Find(kModulation, code, QAM_AUTO); }

uint32_t KernelCodeRate(uint32_t code)
{
    // 5/9 ... 77/90 follow each other in both lists.
    if (code >= 14 && code <= 27)
        return code + 1;
    return Find(kCodeRate, code, FEC_AUTO);
}

uint32_t KernelTransmissionMode(uint32_t code)
{
    return Find(kTransmissionMode, code, TRANSMISSION_MODE_AUTO);
}

uint32_t KernelGuardInterval(uint32_t code) { return Find(kGuardInterval, code, GUARD_INTERVAL_AUTO); }
uint32_t KernelHierarchy(uint32_t code) { return Find(kHierarchy, code, HIERARCHY_AUTO); }
uint32_t KernelInversion(uint32_t spectrumCode) { return Find(kInversion, spectrumCode, INVERSION_AUTO); }

uint32_t KernelDeliverySystem(const TransponderInfo* t)
{
    switch (t->Standard) {
    case kStdDvbT:
        return SYS_DVBT;
    case kStdDvbT2:
        return SYS_DVBT2;
    case kStdDvbC:
        return SYS_DVBC_ANNEX_A;
    case kStdAtsc:
        return t->Modulation >= 18 && t->Modulation <= 22 ? SYS_DVBC_ANNEX_B : SYS_ATSC;
    case kStdIsdbT:
        return SYS_ISDBT;
    default:
        return 0;
    }
}

bool SystemCarries(uint32_t system, const TransponderInfo* t)
{
    uint32_t own = KernelDeliverySystem(t);
    if (own == 0)
        return false;
    return system == own || (own == SYS_DVBC_ANNEX_A && system == SYS_DVBC_ANNEX_C);
}

uint8_t TerrestrialBandwidth(uint32_t bandwidthKHz)
{
    return static_cast<uint8_t>(Find(kTerrestrialBandwidth, bandwidthKHz, 0));
}
uint8_t TerrestrialConstellation(uint32_t modulation)
{
    return static_cast<uint8_t>(Find(kTerrestrialConstellation, modulation, 3));
}
uint8_t TerrestrialCodeRate(uint32_t fec) { return static_cast<uint8_t>(Find(kTerrestrialCodeRate, fec, 7)); }
uint8_t TerrestrialGuard(uint32_t guard) { return static_cast<uint8_t>(Find(kTerrestrialGuard, guard, 0)); }
uint8_t TerrestrialMode(uint32_t mode) { return static_cast<uint8_t>(Find(kTerrestrialMode, mode, 3)); }
uint8_t T2Bandwidth(uint32_t bandwidthKHz) { return static_cast<uint8_t>(Find(kT2Bandwidth, bandwidthKHz, 15)); }
uint8_t T2Guard(uint32_t guard) { return static_cast<uint8_t>(Find(kT2Guard, guard, 7)); }
uint8_t T2Mode(uint32_t mode) { return static_cast<uint8_t>(Find(kT2Mode, mode, 7)); }
uint8_t CableModulation(uint32_t modulation)
{
    return static_cast<uint8_t>(Find(kCableModulation, modulation, 0));
}
uint8_t CableInnerFec(uint32_t fec) { return static_cast<uint8_t>(Find(kCableInnerFec, fec, 0)); }

uint32_t ToBcd(uint32_t value, uint32_t digits)
{
    uint32_t bcd = 0;
    for (uint32_t i = 0; i < digits; ++i) {
        bcd |= (value % 10u) << (4u * i);
        value /= 10u;
    }
    return bcd;
}

} // namespace dvbsim
} // namespace tressel
