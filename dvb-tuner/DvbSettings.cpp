#include "DvbSettings.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace tressel {
namespace dvb {

DvbSettings DefaultDvbSettings()
{
    DvbSettings settings = {};
    settings.CarrierMs = 600;
    settings.LockMsDvbT = 1500;
    settings.LockMsDvbT2 = 3000;
    settings.LockMsCable = 1000;
    settings.LockMsAtsc = 1500;
    settings.LockMsIsdbT = 1500;
    settings.TablesMs = 2500;
    settings.SymbolRates[0] = 6900000;
    settings.SymbolRates[1] = 6875000;
    settings.SymbolRateCount = 2;
    return settings;
}

namespace {

// Parses a decimal number below 1000000; false when text is not one.
bool ParseNumber(const char* text, uint32_t* value)
{
    if (text[0] < '0' || text[0] > '9')
        return false;
    errno = 0;
    char* end = nullptr;
    unsigned long parsed = strtoul(text, &end, 10);
    if (errno != 0 || parsed >= 1000000ul)
        return false;
    while (*end == ' ')
        ++end;
    if (*end != '\0' && *end != ',')
        return false;
    *value = static_cast<uint32_t>(parsed);
    return true;
}

void Ignored(const char* name)
{
    fprintf(stderr, "dvb tuner: %s is not a number of milliseconds (or a list of kS/s); the default stays\n", name);
    fflush(stderr);
}

void ReadMs(const char* (*getValue)(const char* name), const char* name, uint32_t* target)
{
    const char* text = getValue(name);
    if (text == nullptr || text[0] == '\0')
        return;
    uint32_t value = 0;
    if (ParseNumber(text, &value))
        *target = value;
    else
        Ignored(name);
}

// "6900,6875": kS/s, comma-separated, replacing the default list.
void ReadSymbolRates(const char* (*getValue)(const char* name), DvbSettings* settings)
{
    const char* name = "TRESSEL_DVB_SYMBOL_RATES";
    const char* text = getValue(name);
    if (text == nullptr || text[0] == '\0')
        return;
    DvbSettings parsed = *settings;
    parsed.SymbolRateCount = 0;
    const char* at = text;
    while (*at != '\0') {
        while (*at == ' ')
            ++at;
        uint32_t kS = 0;
        if (!ParseNumber(at, &kS) || kS == 0 || parsed.SymbolRateCount == kMaxSymbolRates) {
            Ignored(name);
            return;
        }
        parsed.SymbolRates[parsed.SymbolRateCount++] = kS * 1000u;
        while (*at >= '0' && *at <= '9')
            ++at;
        while (*at == ' ')
            ++at;
        if (*at == ',')
            ++at;
    }
    if (parsed.SymbolRateCount > 0)
        *settings = parsed;
}

} // namespace

DvbSettings ReadDvbSettings(const char* (*getValue)(const char* name))
{
    DvbSettings settings = DefaultDvbSettings();
    ReadMs(getValue, "TRESSEL_DVB_CARRIER_MS", &settings.CarrierMs);
    ReadMs(getValue, "TRESSEL_DVB_LOCK_MS_DVBT", &settings.LockMsDvbT);
    ReadMs(getValue, "TRESSEL_DVB_LOCK_MS_DVBT2", &settings.LockMsDvbT2);
    ReadMs(getValue, "TRESSEL_DVB_LOCK_MS_DVBC", &settings.LockMsCable);
    ReadMs(getValue, "TRESSEL_DVB_LOCK_MS_ATSC", &settings.LockMsAtsc);
    ReadMs(getValue, "TRESSEL_DVB_LOCK_MS_ISDBT", &settings.LockMsIsdbT);
    ReadMs(getValue, "TRESSEL_DVB_TABLES_MS", &settings.TablesMs);
    ReadSymbolRates(getValue, &settings);
    return settings;
}

} // namespace dvb
} // namespace tressel
