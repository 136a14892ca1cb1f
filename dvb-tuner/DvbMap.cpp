#include "DvbMap.h"

#include <array>

#include "DvbKernel.h"

namespace tressel {
namespace dvb {

namespace {

constexpr std::array<ValuePair, 7> kDeliverySystems{{
    {SYS_DVBT, 6},
    {SYS_DVBT2, 7},
    {SYS_DVBC_ANNEX_A, 8},
    {SYS_DVBC_ANNEX_C, 8},
    {SYS_ATSC, 10},
    {SYS_DVBC_ANNEX_B, 10}, // US cable QAM: ATSC's cable form
    {SYS_ISDBT, 12},
}};

constexpr std::array<ValuePair, 19> kModulations{{
    {QPSK, 1},
    {QAM_16, 18},
    {QAM_32, 19},
    {QAM_64, 20},
    {QAM_128, 21},
    {QAM_256, 22},
    {VSB_8, 16},
    {VSB_16, 17},
    {PSK_8, 2},
    {APSK_16, 3},
    {APSK_32, 4},
    {DQPSK, 1},
    {QAM_1024, 24},
    {QAM_4096, 25},
    {APSK_8_L, 30},
    {APSK_16_L, 31},
    {APSK_32_L, 32},
    {APSK_64, 27},
    {APSK_64_L, 33},
}};

// Kernel value 9 is AUTO, while record code 9 is 9/10: AUTO is left out.
// FEC_11_45, FEC_4_15, FEC_14_45 and FEC_7_15 have no record code.
constexpr std::array<ValuePair, 27> kCodeRates{{
    {FEC_1_2, 1},    {FEC_2_3, 2},    {FEC_3_4, 3},    {FEC_4_5, 4},    {FEC_5_6, 5},
    {FEC_6_7, 6},    {FEC_7_8, 7},    {FEC_8_9, 8},    {FEC_3_5, 13},   {FEC_9_10, 9},
    {FEC_2_5, 12},   {FEC_1_3, 11},   {FEC_1_4, 10},   {FEC_5_9, 14},   {FEC_7_9, 15},
    {FEC_8_15, 16},  {FEC_11_15, 17}, {FEC_13_18, 18}, {FEC_9_20, 19},  {FEC_11_20, 20},
    {FEC_23_36, 21}, {FEC_25_36, 22}, {FEC_13_45, 23}, {FEC_26_45, 24}, {FEC_28_45, 25},
    {FEC_32_45, 26}, {FEC_77_90, 27},
}};

constexpr std::array<ValuePair, 6> kTransmissionModes{{
    {TRANSMISSION_MODE_1K, 1},
    {TRANSMISSION_MODE_2K, 2},
    {TRANSMISSION_MODE_4K, 3},
    {TRANSMISSION_MODE_8K, 4},
    {TRANSMISSION_MODE_16K, 5},
    {TRANSMISSION_MODE_32K, 6},
}};

constexpr std::array<ValuePair, 8> kGuardIntervals{{
    {GUARD_INTERVAL_1_32, 1},
    {GUARD_INTERVAL_1_16, 2},
    {GUARD_INTERVAL_1_8, 3},
    {GUARD_INTERVAL_1_4, 4},
    {GUARD_INTERVAL_1_128, 5},
    {GUARD_INTERVAL_19_128, 6},
    {GUARD_INTERVAL_19_256, 7},
    {GUARD_INTERVAL_1_64, 8},
}};

constexpr std::array<ValuePair, 3> kHierarchies{{
    {HIERARCHY_1, 1},
    {HIERARCHY_2, 2},
    {HIERARCHY_4, 3},
}};

constexpr std::array<ValuePair, 2> kInversions{{
    {INVERSION_OFF, 1},
    {INVERSION_ON, 2},
}};

} // namespace

const ValuePair* MapTable(Field field, uint32_t* count)
{
    switch (field) {
    case Field::DeliverySystem:
        *count = kDeliverySystems.size();
        return kDeliverySystems.data();
    case Field::Modulation:
        *count = kModulations.size();
        return kModulations.data();
    case Field::CodeRate:
        *count = kCodeRates.size();
        return kCodeRates.data();
    case Field::TransmissionMode:
        *count = kTransmissionModes.size();
        return kTransmissionModes.data();
    case Field::GuardInterval:
        *count = kGuardIntervals.size();
        return kGuardIntervals.data();
    case Field::Hierarchy:
        *count = kHierarchies.size();
        return kHierarchies.data();
    case Field::Inversion:
        *count = kInversions.size();
        return kInversions.data();
    }
    *count = 0;
    return nullptr;
}

uint32_t MapKernelValue(Field field, uint32_t kernelValue)
{
    uint32_t count = 0;
    const ValuePair* table = MapTable(field, &count);
    for (uint32_t i = 0; i < count; ++i) {
        if (table[i].Kernel == kernelValue)
            return table[i].Code;
    }
    return 0;
}

} // namespace dvb
} // namespace tressel
