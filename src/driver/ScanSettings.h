// The options read once at start-up, fixed for the whole run.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tressel {

constexpr size_t kPathCapacity = 260;    // 259 characters and the terminating zero
constexpr size_t kLocNameCapacity = 100; // 99 characters and the terminating zero

struct ScanSettings {
    int32_t Device;              // negative: the user picks at the console
    int32_t LocPos;              // written unsigned, at least four digits
    char LocName[kLocNameCapacity];
    int32_t FastScan;            // nonzero: sweep intervals by the library's fast scan
    int32_t IniFormat;           // transponder list format
    int32_t InfoFormat;          // transponder list comment content
    char ReportDir[kPathCapacity]; // empty, or ends with the directory separator
    char TPDir[kPathCapacity];     // empty, or ends with the directory separator
    int32_t Loop;                // 0: one pass; 1: numbered passes; other: repeated passes
    char History[kPathCapacity]; // CSV appended after every pass; empty: no history
    int32_t ChangeThreshold;     // dB: the SNR or RF level move that a change line reports
    int32_t BandPicture;         // nonzero: an SVG picture of the band beside each report
};

} // namespace tressel
