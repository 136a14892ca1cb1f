// The user's settings of the DVB tuner library, from the environment:
// the wait windows and the cable symbol rates.
#pragma once

#include <cstdint>

namespace tressel {
namespace dvb {

constexpr uint32_t kMaxSymbolRates = 8;

struct DvbSettings {
    uint32_t CarrierMs;   // no signal or carrier by then: nothing to lock
    uint32_t LockMsDvbT;  // carrier seen: wait for a lock up to this long
    uint32_t LockMsDvbT2;
    uint32_t LockMsCable; // per symbol rate tried
    uint32_t LockMsAtsc;
    uint32_t LockMsIsdbT;
    uint32_t TablesMs;    // bound on reading PAT and NIT after a lock
    uint32_t SymbolRates[kMaxSymbolRates]; // symbols per second
    uint32_t SymbolRateCount;
};

// The defaults: a short carrier window, and lock windows long enough for
// slow DVB-T2 demodulators.
DvbSettings DefaultDvbSettings();

// Reads the TRESSEL_DVB_* variables through getValue (getenv in the
// library) over the defaults. A value that is not a number is ignored with
// one line on standard error naming the variable.
DvbSettings ReadDvbSettings(const char* (*getValue)(const char* name));

} // namespace dvb
} // namespace tressel
