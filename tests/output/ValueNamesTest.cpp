#include <gtest/gtest.h>

#include <string>

#include "output/ValueNames.h"

using namespace tressel;

namespace {

struct NameCase {
    const char* Mapping;
    const char* (*Name)(uint32_t);
    uint32_t Code;
    const char* Expected;
};

constexpr uint32_t kAllBits = 4294967295u;

const NameCase kCases[] = {
    // Code rates: both ends of the table, its first unknown code and 0.
    {"FecName", FecName, 0, "?/?"},
    {"FecName", FecName, 1, "1/2"},
    {"FecName", FecName, 9, "9/10"},
    {"FecName", FecName, 10, "1/4"},
    {"FecName", FecName, 17, "11/15"},
    {"FecName", FecName, 27, "77/90"},
    {"FecName", FecName, 28, "?/?"},
    {"FecName", FecName, kAllBits, "?/?"},
    // Modulations: every shared text, the gap at 26 and the end.
    {"ModulationName", ModulationName, 0, "Unknown"},
    {"ModulationName", ModulationName, 1, "QPSK"},
    {"ModulationName", ModulationName, 5, "QPSK"},
    {"ModulationName", ModulationName, 6, "QPSK"},
    {"ModulationName", ModulationName, 9, "QPSK"},
    {"ModulationName", ModulationName, 2, "8PSK"},
    {"ModulationName", ModulationName, 7, "8PSK"},
    {"ModulationName", ModulationName, 3, "16APSK"},
    {"ModulationName", ModulationName, 8, "16APSK"},
    {"ModulationName", ModulationName, 4, "32APSK"},
    {"ModulationName", ModulationName, 10, "DVB-S/BPSK"},
    {"ModulationName", ModulationName, 11, "OQPSK"},
    {"ModulationName", ModulationName, 15, "OQPSK"},
    {"ModulationName", ModulationName, 12, "Combo"},
    {"ModulationName", ModulationName, 13, "Split(I)"},
    {"ModulationName", ModulationName, 14, "Split(Q)"},
    {"ModulationName", ModulationName, 16, "8VSB"},
    {"ModulationName", ModulationName, 17, "16VSB"},
    {"ModulationName", ModulationName, 18, "16QAM"},
    {"ModulationName", ModulationName, 19, "32QAM"},
    {"ModulationName", ModulationName, 20, "64QAM"},
    {"ModulationName", ModulationName, 21, "128QAM"},
    {"ModulationName", ModulationName, 22, "256QAM"},
    {"ModulationName", ModulationName, 23, "512QAM"},
    {"ModulationName", ModulationName, 24, "1024QAM"},
    {"ModulationName", ModulationName, 25, "4096QAM"},
    {"ModulationName", ModulationName, 26, "Unknown"},
    {"ModulationName", ModulationName, 27, "64APSK"},
    {"ModulationName", ModulationName, 28, "128APSK"},
    {"ModulationName", ModulationName, 29, "256APSK"},
    {"ModulationName", ModulationName, 30, "8PSK_L"},
    {"ModulationName", ModulationName, 31, "16APSK_L"},
    {"ModulationName", ModulationName, 32, "32APSK_L"},
    {"ModulationName", ModulationName, 33, "64APSK_L"},
    {"ModulationName", ModulationName, 34, "256APSK_L"},
    {"ModulationName", ModulationName, 35, "Unknown"},
    {"ModulationName", ModulationName, kAllBits, "Unknown"},
    // Delivery systems, with the unnamed codes between named ones.
    {"StandardName", StandardName, 0, "Unknown"},
    {"StandardName", StandardName, 1, "DVB-S"},
    {"StandardName", StandardName, 2, "DVB-S2"},
    {"StandardName", StandardName, 3, "DSS"},
    {"StandardName", StandardName, 4, "DVB-Turbo"},
    {"StandardName", StandardName, 5, "DCII"},
    {"StandardName", StandardName, 6, "DVB-T"},
    {"StandardName", StandardName, 7, "DVB-T2"},
    {"StandardName", StandardName, 8, "DVB-C"},
    {"StandardName", StandardName, 9, "DVB-C2"},
    {"StandardName", StandardName, 10, "ATSC"},
    {"StandardName", StandardName, 11, "Unknown"},
    {"StandardName", StandardName, 12, "ISDB-T"},
    {"StandardName", StandardName, 13, "Unknown"},
    {"StandardName", StandardName, 14, "ISDB-S"},
    {"StandardName", StandardName, 15, "Unknown"},
    {"StandardName", StandardName, kAllBits, "Unknown"},
    {"GuardIntervalName", GuardIntervalName, 0, "AUTO"},
    {"GuardIntervalName", GuardIntervalName, 1, "1/32"},
    {"GuardIntervalName", GuardIntervalName, 4, "1/4"},
    {"GuardIntervalName", GuardIntervalName, 6, "19/128"},
    {"GuardIntervalName", GuardIntervalName, 7, "19/256"},
    {"GuardIntervalName", GuardIntervalName, 8, "1/64"},
    {"GuardIntervalName", GuardIntervalName, 9, "AUTO"},
    {"GuardIntervalName", GuardIntervalName, kAllBits, "AUTO"},
    {"FftModeName", FftModeName, 0, "AUTO"},
    {"FftModeName", FftModeName, 1, "1K FFT"},
    {"FftModeName", FftModeName, 4, "8K FFT"},
    {"FftModeName", FftModeName, 6, "32K FFT"},
    {"FftModeName", FftModeName, 7, "AUTO"},
    {"FftModeName", FftModeName, kAllBits, "AUTO"},
    // Pilot patterns alone begin at code 0; DVB-T2 defines PP1 to PP8.
    {"PilotPatternName", PilotPatternName, 0, "PP1"},
    {"PilotPatternName", PilotPatternName, 3, "PP4"},
    {"PilotPatternName", PilotPatternName, 6, "PP7"},
    {"PilotPatternName", PilotPatternName, 7, "PP8"},
    {"PilotPatternName", PilotPatternName, 8, "PP?"},
    {"PilotPatternName", PilotPatternName, kAllBits, "PP?"},
    {"SpectrumName", SpectrumName, 0, "Unknown"},
    {"SpectrumName", SpectrumName, 1, "Normal"},
    {"SpectrumName", SpectrumName, 2, "Inverted"},
    {"SpectrumName", SpectrumName, 3, "Unknown"},
    // The alpha codes count 1, 2 and 4.
    {"HierarchyAlphaName", HierarchyAlphaName, 0, "NONE"},
    {"HierarchyAlphaName", HierarchyAlphaName, 1, "1"},
    {"HierarchyAlphaName", HierarchyAlphaName, 2, "2"},
    {"HierarchyAlphaName", HierarchyAlphaName, 3, "4"},
    {"HierarchyAlphaName", HierarchyAlphaName, 4, "NONE"},
    {"S1SignalingName", S1SignalingName, 0, "SISO"},
    {"S1SignalingName", S1SignalingName, 1, "MISO"},
    {"S1SignalingName", S1SignalingName, 2, "SISO"},
    {"PayloadName", PayloadName, 0, "GFPS"},
    {"PayloadName", PayloadName, 1, "GCS"},
    {"PayloadName", PayloadName, 2, "GSE"},
    {"PayloadName", PayloadName, 3, "TS"},
    {"PayloadName", PayloadName, kAllBits, "TS"},
    {"FrameLengthName", FrameLengthName, 0, "Short"},
    {"FrameLengthName", FrameLengthName, 1, "Long"},
    {"FrameLengthName", FrameLengthName, 2, "Long"},
    {"FrameLengthName", FrameLengthName, kAllBits, "Long"},
    {"ExtendedBandwidthName", ExtendedBandwidthName, 0, "No"},
    {"ExtendedBandwidthName", ExtendedBandwidthName, 1, "Yes"},
    {"ExtendedBandwidthName", ExtendedBandwidthName, 2, "Yes"},
    {"T2ModeName", T2ModeName, 0, "Base"},
    {"T2ModeName", T2ModeName, 1, "Lite"},
    {"T2ModeName", T2ModeName, 2, "Base"},
    {"T2VersionName", T2VersionName, 0, "1.1.1"},
    {"T2VersionName", T2VersionName, 1, "1.2.1"},
    {"T2VersionName", T2VersionName, 2, "1.3.1"},
    {"T2VersionName", T2VersionName, 3, "?"},
    {"T2VersionName", T2VersionName, kAllBits, "?"},
};

TEST(ValueNames, EveryCodeGivesItsText)
{
    for (const NameCase& c : kCases) {
        SCOPED_TRACE(std::string(c.Mapping) + "(" + std::to_string(c.Code) + ")");
        const char* text = c.Name(c.Code);
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, c.Expected);
    }
}

// No code, however large, yields a null text or reads past a table.
TEST(ValueNames, NoCodeGivesNull)
{
    const char* (*const mappings[])(uint32_t) = {
        FecName,         ModulationName, StandardName,    GuardIntervalName,     FftModeName,
        PilotPatternName, SpectrumName,  HierarchyAlphaName, S1SignalingName,   PayloadName,
        FrameLengthName, ExtendedBandwidthName, T2ModeName, T2VersionName,
    };
    for (auto* name : mappings) {
        for (uint32_t code = 0; code < 64; ++code)
            ASSERT_NE(name(code), nullptr) << code;
        for (uint32_t code : {0x7fffffffu, 0x80000000u, 0xfffffffeu, 0xffffffffu})
            ASSERT_NE(name(code), nullptr) << code;
    }
}

} // namespace
