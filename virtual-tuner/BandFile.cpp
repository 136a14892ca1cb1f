// Reading a band file: one streaming pass over the INI text, each value
// checked as it arrives and stored straight into the band.
//
// Keys are read the way the program reads its configuration: the first
// occurrence of a key counts and later repeats are ignored. A bad value only
// matters when its section is part of the band, which for [TransponderN]
// (the list ends at the first N without Frequency) and for the keys of device
// N (Count may come later) is known only at the end of the file; such errors
// wait until then.
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Band.h"
#include "common/IniParse.h"
#include "common/Text.h"

namespace tressel {
namespace vt {
namespace {

constexpr size_t kErrorCapacity = 1024;

// A value that the band cannot accept, kept until the end of the file shows
// whether its section counts.
struct PendingError {
    bool Present;
    uint32_t Order; // position of the key in the file: the earliest error is told
    uint32_t Index; // device or transponder number
    char Text[kErrorCapacity];
};

// Keys of [Devices], [Faults] and [Timing], one bit each in GeneralSeen.
enum GeneralKey : uint32_t {
    kKeyCount,
    kKeyFaultCheck,
    kKeyFaultTune,
    kKeyFaultSignal,
    kKeyFaultSweep,
    kKeyCountWord,
    kKeyTuneMs,
    kKeySignalMs,
    kKeySweepMs,
};

// Device keys, one bit each in DeviceSeen.
constexpr uint16_t kSeenName = 1;
constexpr uint16_t kSeenCaps = 2;
constexpr uint16_t kSeenFails = 4;

// The simulated DVB frontend's device keys; their bits in DeviceSeen follow
// the three above.
enum DvbDeviceKey : uint32_t {
    kDvbAdapter,
    kDvbFrontend,
    kDvbSystems,
    kDvbProfile,
    kDvbMinFrequency,
    kDvbMaxFrequency,
    kDvbAccess,
    kDvbVanish,
    kDvbDeviceKeyCount,
};
constexpr const char* kDvbDeviceKeyNames[kDvbDeviceKeyCount] = {
    "Adapter", "Frontend", "Systems", "Profile", "MinFrequency", "MaxFrequency", "Access",
    "VanishAfterTunes",
};
static_assert(3 + kDvbDeviceKeyCount <= 16, "every device key has a bit");

struct IntegerField {
    const char* Name;
    size_t Offset;
};

// The integer keys of a transponder section, named as the record's fields.
// Their row numbers are their bits in the transponder's seen mask.
constexpr IntegerField kIntegerFields[] = {
    {"Frequency", offsetof(TransponderInfo, Frequency)},
    {"Bandwidth", offsetof(TransponderInfo, Bandwidth)},
    {"SymbolRate", offsetof(TransponderInfo, SymbolRate)},
    {"Standard", offsetof(TransponderInfo, Standard)},
    {"Modulation", offsetof(TransponderInfo, Modulation)},
    {"Fec", offsetof(TransponderInfo, Fec)},
    {"FecLp", offsetof(TransponderInfo, FecLp)},
    {"Spectrum", offsetof(TransponderInfo, Spectrum)},
    {"TransmissionMode", offsetof(TransponderInfo, TransmissionMode)},
    {"GuardInterval", offsetof(TransponderInfo, GuardInterval)},
    {"Hierarchy", offsetof(TransponderInfo, Hierarchy)},
    {"PilotPattern", offsetof(TransponderInfo, PilotPattern)},
    {"S1Signaling", offsetof(TransponderInfo, S1Signaling)},
    {"Payload", offsetof(TransponderInfo, Payload)},
    {"FrameLength", offsetof(TransponderInfo, FrameLength)},
    {"ExtendedBandwidth", offsetof(TransponderInfo, ExtendedBandwidth)},
    {"T2Mode", offsetof(TransponderInfo, T2Mode)},
    {"T2Version", offsetof(TransponderInfo, T2Version)},
    {"BitRate", offsetof(TransponderInfo, BitRate)},
    {"RfLevel", offsetof(TransponderInfo, RfLevel)},
};
constexpr uint32_t kIntegerFieldCount = sizeof kIntegerFields / sizeof kIntegerFields[0];
// The simulated DVB frontend's transponder keys, kept beside the record.
constexpr IntegerField kDvbIntegerFields[] = {
    {"CarrierMs", offsetof(DvbTransponder, CarrierMs)},
    {"LockMs", offsetof(DvbTransponder, LockMs)},
    {"NeverLocks", offsetof(DvbTransponder, NeverLocks)},
    {"Tsid", offsetof(DvbTransponder, Tsid)},
    {"CaptureKHz", offsetof(DvbTransponder, CaptureKHz)},
};
constexpr uint32_t kDvbIntegerFieldCount = sizeof kDvbIntegerFields / sizeof kDvbIntegerFields[0];
constexpr uint32_t kSeenFrequency = 1u << 0; // row 0 above
constexpr uint32_t kSeenPlpIds = 1u << kIntegerFieldCount;
constexpr uint32_t kSeenPlpCount = 1u << (kIntegerFieldCount + 1);
constexpr uint32_t kSeenSnr = 1u << (kIntegerFieldCount + 2);
constexpr uint32_t kFirstDvbSeenBit = kIntegerFieldCount + 3;
static_assert(kFirstDvbSeenBit + kDvbIntegerFieldCount <= 32, "every transponder key has a bit");

struct BandReader {
    Band* Target;
    const char* Path;
    bool DvbKeys;
    uint32_t KeysVisited;
    uint32_t GeneralSeen;
    uint16_t DeviceSeen[kMaxDevices];
    PendingError General;     // [Devices] Count, [Faults], [Timing]: always counts
    PendingError Device;      // the lowest-numbered device with a bad value
    PendingError Transponder; // the lowest-numbered transponder with a bad value
    PendingError TooMany;     // [Transponder<kMaxTransponders>] has a Frequency
};

// Keys taken per transponder section; too large for the stack.
uint32_t sTransponderSeen[kMaxTransponders];

// Reads an unsigned decimal number with no sign and no leading zero (the
// text that "%u" would write), so that [Transponder01] is not [Transponder1].
// Returns true and stores it when text is exactly that.
bool ParseSectionNumber(const char* text, uint32_t* number)
{
    if (text[0] < '0' || text[0] > '9' || (text[0] == '0' && text[1] != '\0'))
        return false;
    uint32_t value = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || value > 99999999u)
            return false;
        value = value * 10u + static_cast<uint32_t>(*p - '0');
    }
    *number = value;
    return true;
}

// True when name is prefix (any case) followed by a section number.
bool ParseNumberedName(const char* name, const char* prefix, uint32_t* number)
{
    size_t length = strlen(prefix);
    if (strlen(name) <= length)
        return false;
    char head[kIniNameCapacity];
    CopyText(head, length + 1, name);
    return EqualsNoCase(head, prefix) && ParseSectionNumber(name + length, number);
}

// Each value check returns nullptr when the value is accepted, else the
// reason it is not.
const char* CheckLength(size_t length)
{
    return length >= kIniValueCapacity ? "value too long" : nullptr;
}

// A decimal integer, optionally signed, that fits 32 bits either as a signed
// or as an unsigned number; stored as its 32-bit two's complement.
const char* ParseInteger(const char* text, size_t length, uint32_t* value)
{
    if (const char* reason = CheckLength(length))
        return reason;
    int32_t bits = 0;
    if (IniParseIntStrict(text, &bits) == 0)
        return "not a number";
    errno = 0;
    long long wide = strtoll(text, nullptr, 10);
    if (errno == ERANGE || wide < -2147483648LL || wide > 4294967295LL)
        return "out of range";
    memcpy(value, &bits, sizeof *value);
    return nullptr;
}

const char* ParseSnr(const char* text, size_t length, double* snr)
{
    if (const char* reason = CheckLength(length))
        return reason;
    char* end = nullptr;
    double value = strtod(text, &end);
    if (end == text || *end != '\0')
        return "not a number";
    *snr = value;
    return nullptr;
}

// Comma-separated identifiers 0-255, at most kPlpIdCapacity; blanks around
// them are allowed, and a blank value lists none.
const char* ParsePlpIds(const char* text, size_t length, TransponderInfo* record, uint32_t* count)
{
    if (const char* reason = CheckLength(length))
        return reason;
    uint8_t ids[kPlpIdCapacity] = {};
    uint32_t n = 0;
    const char* p = text;
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p == '\0') {
        memcpy(record->PlpIds, ids, sizeof ids);
        *count = 0;
        return nullptr;
    }
    for (;;) {
        while (*p == ' ' || *p == '\t')
            ++p;
        char item[16];
        size_t used = 0;
        while (*p != '\0' && *p != ',' && *p != ' ' && *p != '\t') {
            if (used + 1 >= sizeof item)
                return "identifier out of range 0-255";
            item[used++] = *p++;
        }
        item[used] = '\0';
        while (*p == ' ' || *p == '\t')
            ++p;
        if (*p != '\0' && *p != ',')
            return "not a list of numbers";
        int32_t id = 0;
        if (IniParseIntStrict(item, &id) == 0)
            return "not a list of numbers";
        if (id < 0 || id > 255)
            return "identifier out of range 0-255";
        if (n == kPlpIdCapacity)
            return "more than 16 identifiers";
        ids[n++] = static_cast<uint8_t>(id);
        if (*p == '\0')
            break;
        ++p; // the comma
    }
    memcpy(record->PlpIds, ids, sizeof ids);
    *count = n;
    return nullptr;
}

// Keeps the error line for a refused value, remembering where it stood.
void Hold(BandReader* reader, PendingError* error, uint32_t index, const char* section,
          const char* key, const char* reason, const char* value)
{
    error->Present = true;
    error->Order = reader->KeysVisited;
    error->Index = index;
    FormatText(error->Text, sizeof error->Text, "%s: [%s] %s: %s: \"%.200s\"", reader->Path,
               section, key, reason, value);
}

// Holds the error unless one of a lower number (or the same, earlier) is held.
void HoldNumbered(BandReader* reader, PendingError* error, uint32_t index, const char* section,
                  const char* key, const char* reason, const char* value)
{
    if (!error->Present || index < error->Index)
        Hold(reader, error, index, section, key, reason, value);
}

// Keeps the first error of the keys that always count.
void HoldGeneral(BandReader* reader, const char* section, const char* key, const char* reason,
                 const char* value)
{
    if (!reader->General.Present)
        Hold(reader, &reader->General, 0, section, key, reason, value);
}

// True the first time a general key is seen.
bool TakeGeneral(BandReader* reader, GeneralKey key)
{
    uint32_t bit = 1u << key;
    if ((reader->GeneralSeen & bit) != 0)
        return false;
    reader->GeneralSeen |= bit;
    return true;
}

void VisitDvbDevice(BandReader* reader, const char* section, const char* key, const char* value,
                    size_t length);

// Each Visit function takes one key of its section: the first occurrence is
// stored or its error held; repeats and unknown keys are skipped.
void VisitDevices(BandReader* reader, const char* section, const char* key, const char* value,
                  size_t length)
{
    Band* band = reader->Target;
    uint32_t n = 0;
    uint32_t number = 0;
    if (EqualsNoCase(key, "Count")) {
        if (!TakeGeneral(reader, kKeyCount))
            return;
        const char* reason = ParseInteger(value, length, &n);
        if (reason == nullptr && n > kMaxDevices)
            reason = "more than 256 devices";
        if (reason != nullptr)
            HoldGeneral(reader, section, key, reason, value);
        else
            band->DeviceCount = n;
        return;
    }
    uint16_t bit = 0;
    if (ParseNumberedName(key, "Name", &number))
        bit = kSeenName;
    else if (ParseNumberedName(key, "Caps", &number))
        bit = kSeenCaps;
    else if (ParseNumberedName(key, "Fails", &number))
        bit = kSeenFails;
    else if (reader->DvbKeys) {
        VisitDvbDevice(reader, section, key, value, length);
        return;
    }
    // Devices beyond the cap can never be reported: their keys do not matter.
    if (bit == 0 || number >= kMaxDevices || (reader->DeviceSeen[number] & bit) != 0)
        return;
    reader->DeviceSeen[number] |= bit;
    VirtualDevice* device = &band->Devices[number];
    const char* reason = nullptr;
    if (bit == kSeenName) {
        // A name longer than the field is cut, as a name the library reports.
        CopyText(device->Name, sizeof device->Name, value);
    } else {
        reason = ParseInteger(value, length, &n);
        if (reason == nullptr && bit == kSeenCaps)
            device->Caps = n;
        else if (reason == nullptr)
            device->Fails = n;
    }
    if (reason != nullptr)
        HoldNumbered(reader, &reader->Device, number, section, key, reason, value);
}

// Reads a comma-separated list of delivery-system names.
const char* ParseSystems(const char* text, size_t length, DvbDevice* device)
{
    if (const char* reason = CheckLength(length))
        return reason;
    uint8_t systems[kMaxDeliverySystems] = {};
    uint32_t n = 0;
    const char* p = text;
    for (;;) {
        while (*p == ' ' || *p == '\t')
            ++p;
        char item[32];
        size_t used = 0;
        while (*p != '\0' && *p != ',' && *p != ' ' && *p != '\t') {
            if (used + 1 >= sizeof item)
                return "unknown delivery system";
            item[used++] = *p++;
        }
        item[used] = '\0';
        while (*p == ' ' || *p == '\t')
            ++p;
        if (*p != '\0' && *p != ',')
            return "not a list of delivery systems";
        uint8_t system = DeliverySystemByName(item);
        if (system == 0)
            return "unknown delivery system";
        if (n == kMaxDeliverySystems)
            return "more than 16 delivery systems";
        systems[n++] = system;
        if (*p == '\0')
            break;
        ++p; // the comma
    }
    memcpy(device->Systems, systems, sizeof systems);
    device->SystemCount = n;
    return nullptr;
}

// One of the words of a choice key: its index in words, or a reason.
const char* ParseWord(const char* text, const char* const* words, uint32_t count, uint32_t* index)
{
    for (uint32_t i = 0; i < count; ++i) {
        if (EqualsNoCase(text, words[i])) {
            *index = i;
            return nullptr;
        }
    }
    return "not one of the words this key takes";
}

constexpr const char* kProfileWords[] = {"readback", "auto", "relative"};
constexpr const char* kAccessWords[] = {"ok", "denied", "busy"};

// The simulated DVB frontend's keys of device N.
void VisitDvbDevice(BandReader* reader, const char* section, const char* key, const char* value,
                    size_t length)
{
    uint32_t number = 0;
    uint32_t id = kDvbDeviceKeyCount;
    for (uint32_t i = 0; i < kDvbDeviceKeyCount && id == kDvbDeviceKeyCount; ++i) {
        if (ParseNumberedName(key, kDvbDeviceKeyNames[i], &number))
            id = i;
    }
    if (id == kDvbDeviceKeyCount || number >= kMaxDevices)
        return;
    uint16_t bit = static_cast<uint16_t>(8u << id);
    if ((reader->DeviceSeen[number] & bit) != 0)
        return;
    reader->DeviceSeen[number] |= bit;
    DvbDevice* device = &reader->Target->DvbDevices[number];
    uint32_t n = 0;
    const char* reason = nullptr;
    switch (id) {
    case kDvbSystems:
        reason = ParseSystems(value, length, device);
        break;
    case kDvbProfile:
        reason = ParseWord(value, kProfileWords, 3, &device->Profile);
        break;
    case kDvbAccess:
        reason = ParseWord(value, kAccessWords, 3, &device->Access);
        break;
    default:
        reason = ParseInteger(value, length, &n);
        // Node numbers are small in the kernel; a negative one is a typing slip.
        if (reason == nullptr && (id == kDvbAdapter || id == kDvbFrontend) && n > 255)
            reason = "out of range 0-255";
        if (reason == nullptr && id == kDvbAdapter)
            device->Adapter = n;
        else if (reason == nullptr && id == kDvbFrontend)
            device->Frontend = n;
        else if (reason == nullptr && id == kDvbMinFrequency)
            device->MinFrequency = n;
        else if (reason == nullptr && id == kDvbMaxFrequency)
            device->MaxFrequency = n;
        else if (reason == nullptr)
            device->VanishAfterTunes = n;
        break;
    }
    if (reason != nullptr)
        HoldNumbered(reader, &reader->Device, number, section, key, reason, value);
}

void VisitFaults(BandReader* reader, const char* section, const char* key, const char* value,
                 size_t length)
{
    FaultPlan* faults = &reader->Target->Faults;
    int32_t* target = nullptr;
    GeneralKey id;
    if (EqualsNoCase(key, "CheckForDVBEx")) {
        id = kKeyFaultCheck;
        target = &faults->CheckForDVBEx;
    } else if (EqualsNoCase(key, "SetChannel2Ex")) {
        id = kKeyFaultTune;
        target = &faults->SetChannel2Ex;
    } else if (EqualsNoCase(key, "SignalInfo2")) {
        id = kKeyFaultSignal;
        target = &faults->SignalInfo2;
    } else if (EqualsNoCase(key, "Tressel")) {
        id = kKeyFaultSweep;
        target = &faults->Tressel;
    } else if (EqualsNoCase(key, "CountWord")) {
        id = kKeyCountWord;
    } else {
        return;
    }
    if (!TakeGeneral(reader, id))
        return;
    uint32_t n = 0;
    if (const char* reason = ParseInteger(value, length, &n)) {
        HoldGeneral(reader, section, key, reason, value);
    } else if (target != nullptr) {
        memcpy(target, &n, sizeof n);
    } else {
        faults->HasCountWord = 1;
        faults->CountWord = n;
    }
}

void VisitTiming(BandReader* reader, const char* section, const char* key, const char* value,
                 size_t length)
{
    BandTiming* timing = &reader->Target->Timing;
    uint32_t* target = nullptr;
    GeneralKey id;
    if (EqualsNoCase(key, "TuneMs")) {
        id = kKeyTuneMs;
        target = &timing->TuneMs;
    } else if (EqualsNoCase(key, "SignalMs")) {
        id = kKeySignalMs;
        target = &timing->SignalMs;
    } else if (EqualsNoCase(key, "SweepMs")) {
        id = kKeySweepMs;
        target = &timing->SweepMs;
    } else {
        return;
    }
    if (!TakeGeneral(reader, id))
        return;
    uint32_t ms = 0;
    const char* reason = ParseInteger(value, length, &ms);
    // A negative time would be read as a sleep of weeks.
    if (reason == nullptr && ms > 0x7fffffffu)
        reason = "negative time";
    if (reason != nullptr)
        HoldGeneral(reader, section, key, reason, value);
    else
        *target = ms;
}

void VisitTransponder(BandReader* reader, uint32_t number, const char* section, const char* key,
                      const char* value, size_t length)
{
    if (number == kMaxTransponders) {
        // One past the capacity: it belongs to the band (and overflows it)
        // when every section before it has a Frequency too.
        if (EqualsNoCase(key, "Frequency") && !reader->TooMany.Present) {
            reader->TooMany.Present = true;
            reader->TooMany.Order = reader->KeysVisited;
            FormatText(reader->TooMany.Text, sizeof reader->TooMany.Text,
                       "%s: [%s] %s: more than %u transponders", reader->Path, section, key,
                       kMaxTransponders);
        }
        return;
    }
    TransponderInfo* record = &reader->Target->Transponders[number];
    uint32_t* seen = &sTransponderSeen[number];
    uint32_t bit = 0;
    const char* reason = nullptr;
    for (uint32_t i = 0; i < kIntegerFieldCount; ++i) {
        if (!EqualsNoCase(key, kIntegerFields[i].Name))
            continue;
        bit = 1u << i;
        if ((*seen & bit) != 0)
            return;
        uint32_t n = 0;
        reason = ParseInteger(value, length, &n);
        if (reason == nullptr)
            memcpy(reinterpret_cast<unsigned char*>(record) + kIntegerFields[i].Offset, &n, sizeof n);
        break;
    }
    for (uint32_t i = 0; bit == 0 && reader->DvbKeys && i < kDvbIntegerFieldCount; ++i) {
        if (!EqualsNoCase(key, kDvbIntegerFields[i].Name))
            continue;
        bit = 1u << (kFirstDvbSeenBit + i);
        if ((*seen & bit) != 0)
            return;
        uint32_t n = 0;
        reason = ParseInteger(value, length, &n);
        // The tables carry a 16-bit id: a larger one would alias another.
        if (reason == nullptr && kDvbIntegerFields[i].Offset == offsetof(DvbTransponder, Tsid) && n > 65535)
            reason = "out of range 0-65535";
        if (reason == nullptr) {
            unsigned char* extra =
                reinterpret_cast<unsigned char*>(&reader->Target->DvbTransponders[number]);
            memcpy(extra + kDvbIntegerFields[i].Offset, &n, sizeof n);
        }
    }
    if (bit == 0) {
        if (EqualsNoCase(key, "PlpIds"))
            bit = kSeenPlpIds;
        else if (EqualsNoCase(key, "PlpCount"))
            bit = kSeenPlpCount;
        else if (EqualsNoCase(key, "Snr"))
            bit = kSeenSnr;
        else
            return;
        if ((*seen & bit) != 0)
            return;
        uint32_t n = 0;
        if (bit == kSeenPlpIds) {
            reason = ParsePlpIds(value, length, record, &n);
            // The count defaults to the identifiers given; PlpCount may
            // already have set it.
            if (reason == nullptr && (*seen & kSeenPlpCount) == 0)
                record->PlpCount = n;
        } else if (bit == kSeenPlpCount) {
            reason = ParseInteger(value, length, &n);
            if (reason == nullptr)
                record->PlpCount = n;
        } else {
            reason = ParseSnr(value, length, &record->Snr);
        }
    }
    *seen |= bit;
    if (reason != nullptr)
        HoldNumbered(reader, &reader->Transponder, number, section, key, reason, value);
}

// The IniScan visitor: hands each key to its section. Never stops the scan.
int VisitBandKey(void* context, const char* section, const char* key, const char* value,
                 size_t length)
{
    BandReader* reader = static_cast<BandReader*>(context);
    ++reader->KeysVisited;
    uint32_t number = 0;
    if (EqualsNoCase(section, "Devices"))
        VisitDevices(reader, section, key, value, length);
    else if (EqualsNoCase(section, "Faults"))
        VisitFaults(reader, section, key, value, length);
    else if (EqualsNoCase(section, "Timing"))
        VisitTiming(reader, section, key, value, length);
    else if (ParseNumberedName(section, "Transponder", &number) && number <= kMaxTransponders)
        VisitTransponder(reader, number, section, key, value, length);
    return 0; // read on: whether a held error counts is known only at the end
}

// The error to tell, if any: the earliest in the file of those that count.
const PendingError* ChooseError(const BandReader* reader, uint32_t transponderCount)
{
    const PendingError* candidates[] = {
        &reader->General,
        reader->Device.Index < reader->Target->DeviceCount ? &reader->Device : nullptr,
        reader->Transponder.Index < transponderCount ? &reader->Transponder : nullptr,
        transponderCount == kMaxTransponders ? &reader->TooMany : nullptr,
    };
    const PendingError* chosen = nullptr;
    for (const PendingError* e : candidates) {
        if (e != nullptr && e->Present && (chosen == nullptr || e->Order < chosen->Order))
            chosen = e;
    }
    return chosen;
}

// Writes one error line of the library to standard error.
void TellError(const BandReadOptions* options, const char* text)
{
    fprintf(stderr, "%s: %s\n", options->ErrorPrefix, text);
    fflush(stderr);
}

} // namespace

int LoadBandFile(const char* path, Band* band)
{
    const BandReadOptions options = {"virtual tuner", false};
    return LoadBandFileWith(path, band, &options);
}

int LoadBandFileWith(const char* path, Band* band, const BandReadOptions* options)
{
    ClearBand(band);
    FILE* file = fopen(path, "rb");
    if (file == nullptr) {
        int error = errno;
        char text[kErrorCapacity];
        FormatText(text, sizeof text, "%s: cannot open: %s", path, strerror(error));
        TellError(options, text);
        return -2;
    }

    band->DeviceCount = 1;
    for (VirtualDevice& device : band->Devices)
        SetDefaultDevice(&device);
    for (TransponderInfo& record : band->Transponders)
        ClearTransponder(&record);
    for (uint32_t n = 0; n < kMaxDevices; ++n)
        SetDefaultDvbDevice(&band->DvbDevices[n], n);
    for (uint32_t n = 0; n < kMaxTransponders; ++n)
        SetDefaultDvbTransponder(&band->DvbTransponders[n], n);
    memset(sTransponderSeen, 0, sizeof sTransponderSeen);
    static BandReader reader; // its error texts are too large for the stack
    memset(&reader, 0, sizeof reader);
    reader.Target = band;
    reader.Path = path;
    reader.DvbKeys = options->DvbKeys;

    IniScan(file, VisitBandKey, &reader);
    bool readFailed = ferror(file) != 0;
    int readError = errno;
    fclose(file);
    if (readFailed) {
        char text[kErrorCapacity];
        FormatText(text, sizeof text, "%s: cannot read: %s", path, strerror(readError));
        TellError(options, text);
        ClearBand(band);
        return -2;
    }

    uint32_t count = 0;
    while (count < kMaxTransponders && (sTransponderSeen[count] & kSeenFrequency) != 0)
        ++count;
    if (const PendingError* error = ChooseError(&reader, count)) {
        TellError(options, error->Text);
        ClearBand(band);
        return -2;
    }
    band->TransponderCount = count;
    SortByFrequency(band);
    return 0;
}

} // namespace vt
} // namespace tressel
