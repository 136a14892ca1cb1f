// The built-in band: what a first run with no band file shows. It models the
// roof antenna and the cable socket of a flat in a European city, chosen so
// that a scan walks every path of the program's output: DVB-T2 multiplexes
// with one PLP and with several, DVB-T with and without hierarchy, a carrier
// off the 500 kHz raster that the list writer rounds, a weak multiplex below a
// typical SNR floor, and DVB-C on the cable.
//
// Terrestrial carriers lie in 474-786 MHz on (or within 200 kHz of) the UHF
// channel grid 474 + 8k MHz; cable carriers in 306-466 MHz, each within
// 1 MHz of the grid 113 + 8k MHz that the sample configuration steps through,
// so the stepped scan finds all of them.
#include "Band.h"

namespace tressel {
namespace vt {
namespace {

// Codes of the record's fields, named for the table below.
constexpr uint32_t kDvbT = 6, kDvbT2 = 7, kDvbC = 8;
constexpr uint32_t kQam16 = 18, kQam64 = 20, kQam256 = 22;
constexpr uint32_t kFecNone = 0, kFec1_2 = 1, kFec2_3 = 2, kFec3_4 = 3, kFec3_5 = 13;
constexpr uint32_t kNormal = 1, kInverted = 2;
constexpr uint32_t kNoFft = 0, kFft8K = 4, kFft16K = 5, kFft32K = 6;
constexpr uint32_t kNoGi = 0, kGi1_16 = 2, kGi1_8 = 3, kGi1_4 = 4, kGi1_128 = 5, kGi19_256 = 7;
constexpr uint32_t kNoHierarchy = 0, kAlpha2 = 2;
constexpr uint32_t kPp1 = 0, kPp2 = 1, kPp4 = 3, kPp7 = 6;
constexpr uint32_t kSiso = 0, kMiso = 1;
constexpr uint32_t kBase = 0, kLite = 1;
constexpr uint32_t kV111 = 0, kV121 = 1, kV131 = 2;
constexpr uint32_t kShort = 0, kLong = 1;
constexpr uint32_t kPayloadTs = 3;
constexpr uint32_t kChannelKHz = 8000; // every carrier here is 8 MHz wide

struct PlpList {
    uint32_t Count;
    uint8_t Ids[kPlpIdCapacity];
};

struct DefaultTransponder {
    uint32_t Frequency; // kHz
    uint32_t Standard;
    uint32_t Modulation;
    uint32_t SymbolRate; // symbols per second; 0 for OFDM
    uint32_t Fec;
    uint32_t FecLp;
    uint32_t Spectrum;
    uint32_t TransmissionMode;
    uint32_t GuardInterval;
    uint32_t Hierarchy;
    PlpList Plps;
    uint32_t PilotPattern;
    uint32_t S1Signaling;
    uint32_t T2Mode;
    uint32_t T2Version;
    uint32_t FrameLength;
    uint32_t ExtendedBandwidth;
    uint32_t BitRate; // bit/s
    int32_t RfLevel;  // dBm
    double Snr;       // dB
};

// clang-format off
constexpr DefaultTransponder kDefaultTransponders[] = {
//   kHz     std     modul.   symbols  fec      fecLp    spectrum   fft      guard      hierarchy     PLPs                pilot S1     mode   version long    ext bitrate   dBm  SNR
    {474166, kDvbT2, kQam256, 0,       kFec2_3, kFecNone, kNormal,  kFft32K, kGi19_256, kNoHierarchy, {1, {0}},           kPp4, kSiso, kBase, kV121, kShort, 1, 36129000, -52, 27.4},
    {490000, kDvbT2, kQam256, 0,       kFec3_5, kFecNone, kNormal,  kFft32K, kGi1_128,  kNoHierarchy, {3, {0, 1, 2}},     kPp7, kSiso, kBase, kV131, kLong,  1, 40200000, -48, 30.2},
    {522000, kDvbT,  kQam64,  0,       kFec2_3, kFecNone, kNormal,  kFft8K,  kGi1_4,    kNoHierarchy, {0, {}},            kPp1, kSiso, kBase, kV111, kShort, 0, 19905882, -55, 22.1},
    {570000, kDvbT,  kQam64,  0,       kFec1_2, kFec3_4,  kNormal,  kFft8K,  kGi1_8,    kAlpha2,      {0, {}},            kPp1, kSiso, kBase, kV111, kShort, 0, 22117647, -61, 18.7},
    {626000, kDvbT2, kQam64,  0,       kFec3_4, kFecNone, kNormal,  kFft16K, kGi1_16,   kNoHierarchy, {2, {1, 2}},        kPp2, kSiso, kBase, kV111, kShort, 0, 29800000, -58, 20.6},
    {682000, kDvbT2, kQam256, 0,       kFec2_3, kFecNone, kNormal,  kFft32K, kGi19_256, kNoHierarchy, {1, {0}},           kPp4, kSiso, kBase, kV121, kShort, 1, 36129000, -70,  3.5},
    {746000, kDvbT2, kQam16,  0,       kFec3_5, kFecNone, kNormal,  kFft16K, kGi1_8,    kNoHierarchy, {4, {0, 1, 2, 3}},  kPp2, kMiso, kLite, kV131, kShort, 0, 10900000, -63, 17.8},
    {778000, kDvbT2, kQam256, 0,       kFec2_3, kFecNone, kNormal,  kFft32K, kGi19_256, kNoHierarchy, {1, {0}},           kPp4, kSiso, kBase, kV121, kShort, 1, 36129000, -44, 31.6},
    {306000, kDvbC,  kQam256, 6900000, kFecNone, kFecNone, kNormal,  kNoFft, kNoGi,     kNoHierarchy, {0, {}},            kPp1, kSiso, kBase, kV111, kShort, 0, 50870588, -45, 36.5},
    {346000, kDvbC,  kQam256, 6900000, kFecNone, kFecNone, kNormal,  kNoFft, kNoGi,     kNoHierarchy, {0, {}},            kPp1, kSiso, kBase, kV111, kShort, 0, 50870588, -46, 35.8},
    {386000, kDvbC,  kQam64,  6875000, kFecNone, kFecNone, kNormal,  kNoFft, kNoGi,     kNoHierarchy, {0, {}},            kPp1, kSiso, kBase, kV111, kShort, 0, 38014705, -50, 31.2},
    {434000, kDvbC,  kQam64,  6875000, kFecNone, kFecNone, kInverted, kNoFft, kNoGi,    kNoHierarchy, {0, {}},            kPp1, kSiso, kBase, kV111, kShort, 0, 38014705, -52, 30.4},
};
// clang-format on

constexpr uint32_t kDefaultSweepMs = 20;

static_assert(sizeof kDefaultTransponders / sizeof kDefaultTransponders[0] <= kMaxTransponders,
              "the built-in band fits the band");

void FillRecord(const DefaultTransponder& row, TransponderInfo* record)
{
    ClearTransponder(record);
    record->Frequency = row.Frequency;
    record->Bandwidth = kChannelKHz;
    record->SymbolRate = row.SymbolRate;
    record->Standard = row.Standard;
    record->Modulation = row.Modulation;
    record->Fec = row.Fec;
    record->FecLp = row.FecLp;
    record->Spectrum = row.Spectrum;
    record->TransmissionMode = row.TransmissionMode;
    record->GuardInterval = row.GuardInterval;
    record->Hierarchy = row.Hierarchy;
    record->PlpCount = row.Plps.Count;
    for (uint32_t i = 0; i < kPlpIdCapacity; ++i)
        record->PlpIds[i] = row.Plps.Ids[i];
    record->PilotPattern = row.PilotPattern;
    record->S1Signaling = row.S1Signaling;
    record->Payload = kPayloadTs;
    record->FrameLength = row.FrameLength;
    record->ExtendedBandwidth = row.ExtendedBandwidth;
    record->T2Mode = row.T2Mode;
    record->T2Version = row.T2Version;
    record->BitRate = row.BitRate;
    record->RfLevel = row.RfLevel;
    record->Snr = row.Snr;
}

} // namespace

void LoadDefaultBand(Band* band)
{
    ClearBand(band);
    band->DeviceCount = 1;
    SetDefaultDevice(&band->Devices[0]);
    band->Timing.SweepMs = kDefaultSweepMs;
    uint32_t n = 0;
    for (const DefaultTransponder& row : kDefaultTransponders)
        FillRecord(row, &band->Transponders[n++]);
    band->TransponderCount = n;
    SortByFrequency(band);
}

} // namespace vt
} // namespace tressel
