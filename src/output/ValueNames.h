// Texts for the coded fields of a TransponderInfo, as people read them on the
// console and in the detailed report. Every code, known or not, yields a
// constant text; none allocates or formats.
#pragma once

#include <cstdint>

namespace tressel {

const char* FecName(uint32_t code);
const char* ModulationName(uint32_t code);
const char* StandardName(uint32_t code);
const char* GuardIntervalName(uint32_t code);
const char* FftModeName(uint32_t code);
const char* PilotPatternName(uint32_t code);
const char* SpectrumName(uint32_t code);
const char* HierarchyAlphaName(uint32_t code);
const char* S1SignalingName(uint32_t code);
const char* PayloadName(uint32_t code);
const char* FrameLengthName(uint32_t code);
const char* ExtendedBandwidthName(uint32_t code);
const char* T2ModeName(uint32_t code);
const char* T2VersionName(uint32_t code);

} // namespace tressel
