#include "output/Report.h"

#include <cstdio>

#include "output/OutputFile.h"
#include "output/ValueNames.h"

namespace tressel {
namespace {

// The pipe identifiers of a DVB-T2 record, listed only when it carries
// several. The record has room for 16; a larger count from the library is
// still shown on the count line, but no identifier past the 16th exists.
void WritePlpIds(FILE* out, const TransponderInfo* record)
{
    if (record->PlpCount <= 1)
        return;
    uint32_t listed = record->PlpCount < kPlpIdCapacity ? record->PlpCount : kPlpIdCapacity;
    fputs("PLP IDs:", out);
    for (uint32_t k = 0; k < listed; ++k)
        fprintf(out, " %i", static_cast<int>(record->PlpIds[k]));
    fputs("\n", out);
}

void WriteDvbTDetails(FILE* out, const TransponderInfo* record)
{
    fprintf(out, "FEC: %s\n", FecName(record->Fec));
    fprintf(out, "FEC-LP: %s\n", FecName(record->FecLp));
    fprintf(out, "Guard Interval: %s\n", GuardIntervalName(record->GuardInterval));
    fprintf(out, "Transmission Mode: %s\n", FftModeName(record->TransmissionMode));
    fprintf(out, "Hierarchy Alpha: %s\n", HierarchyAlphaName(record->Hierarchy));
}

void WriteDvbT2Details(FILE* out, const TransponderInfo* record)
{
    fprintf(out, "FEC: %s\n", FecName(record->Fec));
    fprintf(out, "Guard Interval: %s\n", GuardIntervalName(record->GuardInterval));
    fprintf(out, "Transmission Mode: %s\n", FftModeName(record->TransmissionMode));
    fprintf(out, "Physical Layer Pipes num: %i\n", static_cast<int>(record->PlpCount));
    WritePlpIds(out, record);
    fprintf(out, "S1 Signaling: %s\n", S1SignalingName(record->S1Signaling));
    fprintf(out, "Pilot Pattern: %s\n", PilotPatternName(record->PilotPattern));
    fprintf(out, "Extended Bandwidth: %s\n", ExtendedBandwidthName(record->ExtendedBandwidth));
    fprintf(out, "Payload: %s\n", PayloadName(record->Payload));
    fprintf(out, "Frame length: %s\n", FrameLengthName(record->FrameLength));
    fprintf(out, "DVB-T2 Mode: %s\n", T2ModeName(record->T2Mode));
    fprintf(out, "DVB-T2 Version: %s\n", T2VersionName(record->T2Version));
}

void WriteBlock(FILE* out, const TransponderInfo* record, uint32_t number)
{
    fprintf(out, "TP N: %u\n", number);
    fprintf(out, "Frequency: %.3f Mhz\n", record->Frequency / 1000.0);
    fprintf(out, "Bandwidth: %.3f Mhz\n", record->Bandwidth / 1000.0);
    if (record->Standard == kStdDvbC || record->Standard == kStdDvbC2)
        fprintf(out, "Symbol rate: %u KS\n", record->SymbolRate / 1000);
    fprintf(out, "Spectrum: %s\n", SpectrumName(record->Spectrum));
    fprintf(out, "Standard/Modulation: %s/%s\n", StandardName(record->Standard),
            ModulationName(record->Modulation));
    if (record->Standard == kStdDvbT)
        WriteDvbTDetails(out, record);
    if (record->Standard == kStdDvbT2)
        WriteDvbT2Details(out, record);
    fprintf(out, "RF-Level: %d dBm\n", static_cast<int>(record->RfLevel));
    fprintf(out, "Signal/Noise: %.1f dB\n", record->Snr);
    fprintf(out, "BitRate: %.3f Mbit/s\n", record->BitRate / 1000000.0);
    fputs("----------------------------------------\n", out);
}

} // namespace

int WriteReport(const char* path, const TransponderInfo* table, uint32_t count, double scanTime)
{
    if (path == nullptr || table == nullptr || count == 0)
        return -1;
    OutputFile file;
    if (OpenOutputFile(&file, path) != 0)
        return -2;
    for (uint32_t i = 0; i < count; ++i)
        WriteBlock(file.Stream, &table[i], i + 1);
    fprintf(file.Stream, "Total Scan Time = %3.3fs\n", scanTime);
    return CommitOutputFile(&file);
}

} // namespace tressel
