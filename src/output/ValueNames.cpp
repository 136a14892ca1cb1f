#include "output/ValueNames.h"

#include <array>
#include <cstddef>

namespace tressel {
namespace {

// A dense table indexed by code; a null entry or a code past the end gives
// the table's default text.
template <size_t N>
const char* Lookup(const std::array<const char*, N>& table, uint32_t code, const char* fallback)
{
    if (code >= N || table[code] == nullptr)
        return fallback;
    return table[code];
}

constexpr std::array<const char*, 28> kFec = {
    nullptr, "1/2",   "2/3",  "3/4",   "4/5",   "5/6",   "6/7",   "7/8",   "8/9",   "9/10",
    "1/4",   "1/3",   "2/5",  "3/5",   "5/9",   "7/9",   "8/15",  "11/15", "13/18", "9/20",
    "11/20", "23/36", "25/36", "13/45", "26/45", "28/45", "32/45", "77/90",
};

constexpr std::array<const char*, 35> kModulation = {
    nullptr,   "QPSK",    "8PSK",     "16APSK",   "32APSK",   "QPSK",     "QPSK",
    "8PSK",    "16APSK",  "QPSK",     "DVB-S/BPSK", "OQPSK",  "Combo",    "Split(I)",
    "Split(Q)", "OQPSK",  "8VSB",     "16VSB",    "16QAM",    "32QAM",    "64QAM",
    "128QAM",  "256QAM",  "512QAM",   "1024QAM",  "4096QAM",  nullptr,    "64APSK",
    "128APSK", "256APSK", "8PSK_L",   "16APSK_L", "32APSK_L", "64APSK_L", "256APSK_L",
};

constexpr std::array<const char*, 15> kStandard = {
    nullptr, "DVB-S",  "DVB-S2", "DSS",  "DVB-Turbo", "DCII",  "DVB-T", "DVB-T2",
    "DVB-C", "DVB-C2", "ATSC",   nullptr, "ISDB-T",   nullptr, "ISDB-S",
};

constexpr std::array<const char*, 9> kGuardInterval = {
    nullptr, "1/32", "1/16", "1/8", "1/4", "1/128", "19/128", "19/256", "1/64",
};

constexpr std::array<const char*, 7> kFftMode = {
    nullptr, "1K FFT", "2K FFT", "4K FFT", "8K FFT", "16K FFT", "32K FFT",
};

// DVB-T2 has eight pilot patterns, PP1 to PP8, coded from 0.
constexpr std::array<const char*, 8> kPilotPattern = {
    "PP1", "PP2", "PP3", "PP4", "PP5", "PP6", "PP7", "PP8",
};

constexpr std::array<const char*, 3> kSpectrum = {nullptr, "Normal", "Inverted"};
constexpr std::array<const char*, 4> kHierarchyAlpha = {nullptr, "1", "2", "4"};
constexpr std::array<const char*, 3> kPayload = {"GFPS", "GCS", "GSE"};
constexpr std::array<const char*, 3> kT2Version = {"1.1.1", "1.2.1", "1.3.1"};

} // namespace

const char* FecName(uint32_t code) { return Lookup(kFec, code, "?/?"); }
const char* ModulationName(uint32_t code) { return Lookup(kModulation, code, "Unknown"); }
const char* StandardName(uint32_t code) { return Lookup(kStandard, code, "Unknown"); }
const char* GuardIntervalName(uint32_t code) { return Lookup(kGuardInterval, code, "AUTO"); }
const char* FftModeName(uint32_t code) { return Lookup(kFftMode, code, "AUTO"); }
const char* PilotPatternName(uint32_t code) { return Lookup(kPilotPattern, code, "PP?"); }
const char* SpectrumName(uint32_t code) { return Lookup(kSpectrum, code, "Unknown"); }
const char* HierarchyAlphaName(uint32_t code) { return Lookup(kHierarchyAlpha, code, "NONE"); }
const char* S1SignalingName(uint32_t code) { return code == 1 ? "MISO" : "SISO"; }
const char* PayloadName(uint32_t code) { return Lookup(kPayload, code, "TS"); }
const char* FrameLengthName(uint32_t code) { return code != 0 ? "Long" : "Short"; }
const char* ExtendedBandwidthName(uint32_t code) { return code != 0 ? "Yes" : "No"; }
const char* T2ModeName(uint32_t code) { return code == 1 ? "Lite" : "Base"; }
const char* T2VersionName(uint32_t code) { return Lookup(kT2Version, code, "?"); }

} // namespace tressel
