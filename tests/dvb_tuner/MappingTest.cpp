// Every kernel value the library maps to a record code, in one table: the
// delivery systems, constellations, code rates (kernel 9 is AUTO, record 9
// is 9/10), FFT sizes, guard intervals, hierarchies and inversion, with
// AUTO and values the record cannot name giving 0.
#include <gtest/gtest.h>

#include "DvbKernel.h"
#include "DvbMap.h"
#include "output/ValueNames.h"

namespace {

using tressel::dvb::Field;

struct MapCase {
    Field Which;
    uint32_t Kernel;
    uint32_t Code;
    const char* Text; // what the report shows for the code (nullptr: not checked)
};

const MapCase kCases[] = {
    {Field::DeliverySystem, SYS_DVBT, 6, "DVB-T"},
    {Field::DeliverySystem, SYS_DVBT2, 7, "DVB-T2"},
    {Field::DeliverySystem, SYS_DVBC_ANNEX_A, 8, "DVB-C"},
    {Field::DeliverySystem, SYS_DVBC_ANNEX_C, 8, "DVB-C"},
    {Field::DeliverySystem, SYS_ATSC, 10, "ATSC"},
    {Field::DeliverySystem, SYS_DVBC_ANNEX_B, 10, "ATSC"},
    {Field::DeliverySystem, SYS_ISDBT, 12, "ISDB-T"},
    {Field::DeliverySystem, SYS_DVBS2, 0, nullptr},
    {Field::DeliverySystem, SYS_DVBC2, 0, nullptr},
    {Field::Modulation, QPSK, 1, "QPSK"},
    {Field::Modulation, QAM_16, 18, "16QAM"},
    {Field::Modulation, QAM_32, 19, "32QAM"},
    {Field::Modulation, QAM_64, 20, "64QAM"},
    {Field::Modulation, QAM_128, 21, "128QAM"},
    {Field::Modulation, QAM_256, 22, "256QAM"},
    {Field::Modulation, QAM_AUTO, 0, "Unknown"},
    {Field::Modulation, VSB_8, 16, "8VSB"},
    {Field::Modulation, VSB_16, 17, "16VSB"},
    {Field::Modulation, PSK_8, 2, "8PSK"},
    {Field::Modulation, QAM_1024, 24, "1024QAM"},
    {Field::Modulation, QAM_4096, 25, "4096QAM"},
    {Field::Modulation, APSK_8_L, 30, "8PSK_L"},
    {Field::Modulation, APSK_64, 27, "64APSK"},
    {Field::Modulation, QAM_4_NR, 0, nullptr},
    {Field::CodeRate, FEC_NONE, 0, nullptr},
    {Field::CodeRate, FEC_1_2, 1, "1/2"},
    {Field::CodeRate, FEC_2_3, 2, "2/3"},
    {Field::CodeRate, FEC_3_4, 3, "3/4"},
    {Field::CodeRate, FEC_4_5, 4, "4/5"},
    {Field::CodeRate, FEC_5_6, 5, "5/6"},
    {Field::CodeRate, FEC_6_7, 6, "6/7"},
    {Field::CodeRate, FEC_7_8, 7, "7/8"},
    {Field::CodeRate, FEC_8_9, 8, "8/9"},
    {Field::CodeRate, FEC_AUTO, 0, "?/?"},
    {Field::CodeRate, FEC_3_5, 13, "3/5"},
    {Field::CodeRate, FEC_9_10, 9, "9/10"},
    {Field::CodeRate, FEC_2_5, 12, "2/5"},
    {Field::CodeRate, FEC_1_3, 11, "1/3"},
    {Field::CodeRate, FEC_1_4, 10, "1/4"},
    {Field::CodeRate, FEC_8_15, 16, "8/15"},
    {Field::CodeRate, FEC_77_90, 27, "77/90"},
    {Field::CodeRate, FEC_7_15, 0, nullptr},
    {Field::TransmissionMode, TRANSMISSION_MODE_1K, 1, "1K FFT"},
    {Field::TransmissionMode, TRANSMISSION_MODE_2K, 2, "2K FFT"},
    {Field::TransmissionMode, TRANSMISSION_MODE_4K, 3, "4K FFT"},
    {Field::TransmissionMode, TRANSMISSION_MODE_8K, 4, "8K FFT"},
    {Field::TransmissionMode, TRANSMISSION_MODE_16K, 5, "16K FFT"},
    {Field::TransmissionMode, TRANSMISSION_MODE_32K, 6, "32K FFT"},
    {Field::TransmissionMode, TRANSMISSION_MODE_AUTO, 0, "AUTO"},
    {Field::GuardInterval, GUARD_INTERVAL_1_32, 1, "1/32"},
    {Field::GuardInterval, GUARD_INTERVAL_1_16, 2, "1/16"},
    {Field::GuardInterval, GUARD_INTERVAL_1_8, 3, "1/8"},
    {Field::GuardInterval, GUARD_INTERVAL_1_4, 4, "1/4"},
    {Field::GuardInterval, GUARD_INTERVAL_AUTO, 0, "AUTO"},
    {Field::GuardInterval, GUARD_INTERVAL_1_128, 5, "1/128"},
    {Field::GuardInterval, GUARD_INTERVAL_19_128, 6, "19/128"},
    {Field::GuardInterval, GUARD_INTERVAL_19_256, 7, "19/256"},
    {Field::GuardInterval, GUARD_INTERVAL_1_64, 8, "1/64"},
    {Field::GuardInterval, GUARD_INTERVAL_PN420, 0, nullptr},
    {Field::Hierarchy, HIERARCHY_NONE, 0, "NONE"},
    {Field::Hierarchy, HIERARCHY_1, 1, "1"},
    {Field::Hierarchy, HIERARCHY_2, 2, "2"},
    {Field::Hierarchy, HIERARCHY_4, 3, "4"},
    {Field::Hierarchy, HIERARCHY_AUTO, 0, "NONE"},
    {Field::Inversion, INVERSION_OFF, 1, "Normal"},
    {Field::Inversion, INVERSION_ON, 2, "Inverted"},
    {Field::Inversion, INVERSION_AUTO, 0, "Unknown"},
};

const char* Name(Field field, uint32_t code)
{
    switch (field) {
    case Field::DeliverySystem: return tressel::StandardName(code);
    case Field::Modulation: return tressel::ModulationName(code);
    case Field::CodeRate: return tressel::FecName(code);
    case Field::TransmissionMode: return tressel::FftModeName(code);
    case Field::GuardInterval: return tressel::GuardIntervalName(code);
    case Field::Hierarchy: return tressel::HierarchyAlphaName(code);
    case Field::Inversion: return tressel::SpectrumName(code);
    }
    return "";
}

TEST(DvbMapping, KernelValuesGiveTheRecordCodesThatNameThem)
{
    for (const MapCase& c : kCases) {
        SCOPED_TRACE(testing::Message() << "field " << static_cast<int>(c.Which) << ", kernel value " << c.Kernel);
        EXPECT_EQ(tressel::dvb::MapKernelValue(c.Which, c.Kernel), c.Code);
        if (c.Text != nullptr) {
            EXPECT_STREQ(Name(c.Which, c.Code), c.Text);
        }
    }
}

// No table maps one kernel value twice, and none maps to 0 (that is what
// "not listed" gives).
TEST(DvbMapping, TablesHoldEachKernelValueOnceAndNoZeroCode)
{
    for (Field field : {Field::DeliverySystem, Field::Modulation, Field::CodeRate, Field::TransmissionMode,
                        Field::GuardInterval, Field::Hierarchy, Field::Inversion}) {
        uint32_t count = 0;
        const tressel::dvb::ValuePair* table = tressel::dvb::MapTable(field, &count);
        ASSERT_NE(table, nullptr);
        for (uint32_t i = 0; i < count; ++i) {
            EXPECT_NE(table[i].Code, 0u) << "kernel value " << table[i].Kernel;
            for (uint32_t j = i + 1; j < count; ++j)
                EXPECT_NE(table[i].Kernel, table[j].Kernel) << "field " << static_cast<int>(field);
        }
    }
}

} // namespace
