// Fuzz target: any bytes as the configuration file. The file is read the
// way start-up and the pass loop read it, key by key through the platform
// seam, into fields of several capacities framed by guard bytes: every read
// must stay inside its field, end in a terminating zero and report the
// length it delivered. The whole file is also streamed through IniScan to
// check what it hands its visitor.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "common/IniParse.h"
#include "platform/Platform.h"

namespace {

constexpr unsigned char kGuard = 0xCC;
constexpr size_t kGuardBytes = 32;

char gPath[64];

// The keys the program reads, plus a few the seeds use to reach odd corners
// (names with blanks, case variants, a key repeated).
struct KeyRead {
    const char* Section;
    const char* Key;
};
constexpr KeyRead kKeys[] = {
    {"Options", "Device"},   {"Options", "FastScan"}, {"Options", "IniFormat"}, {"Options", "InfoFormat"},
    {"Options", "ReportDir"}, {"Options", "TPDir"},   {"Options", "Loop"},      {"Options", "MinSNR1"},
    {"Options", "MinSNR2"},  {"LocInfo", "LocPos"},   {"LocInfo", "LocName"},   {"Scan0", "Start"},
    {"Scan0", "Stop"},       {"Scan0", "Step"},       {"Scan0", "Std"},         {"Scan1", "Start"},
    {"A B", "C D"},          {"", ""},
};

// The capacities the program uses (99 + 1, 259 + 1) and the small edges.
constexpr uint32_t kCapacities[] = {1, 2, 3, 8, 64, 100, 260, 4096, 5000};

void CheckText(const char* section, const char* key, uint32_t cap, const char* def)
{
    static unsigned char frame[kGuardBytes + 5000 + kGuardBytes];
    memset(frame, kGuard, sizeof frame);
    char* out = reinterpret_cast<char*>(frame + kGuardBytes);
    uint32_t length = tressel::PlatformIniReadText(section, key, def, out, cap, gPath);
    for (size_t i = 0; i < kGuardBytes; ++i)
        if (frame[i] != kGuard)
            abort(); // written before the field
    for (size_t i = kGuardBytes + cap; i < sizeof frame; ++i)
        if (frame[i] != kGuard)
            abort(); // written past the field
    if (length >= cap || out[length] != '\0' || strlen(out) != length)
        abort(); // the reported length is not the text's
}

struct ScanCheck {
    uint32_t Lines;
};

int CheckVisit(void* context, const char* section, const char* key, const char* value, size_t valueLength)
{
    static_cast<ScanCheck*>(context)->Lines++;
    size_t sectionLength = strlen(section);
    size_t keyLength = strlen(key);
    size_t valueKept = strlen(value);
    if (sectionLength >= tressel::kIniNameCapacity || keyLength >= tressel::kIniNameCapacity)
        abort();
    if (valueKept >= tressel::kIniValueCapacity || valueKept > valueLength)
        abort();
    // The numbers of a configuration value: any text must parse without
    // overflow (UBSan watches the arithmetic).
    (void)tressel::IniParseInt(value);
    int32_t strict = 0;
    (void)tressel::IniParseIntStrict(value, &strict);
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    const char* dir = getenv("TMPDIR");
    snprintf(gPath, sizeof gPath, "%s/tressel-fuzz-ini-XXXXXX", dir != nullptr && strlen(dir) < 30 ? dir : "/tmp");
    int fd = mkstemp(gPath);
    if (fd < 0)
        abort();
    close(fd);
    atexit([] { unlink(gPath); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* file = fopen(gPath, "wb");
    if (file == nullptr)
        abort();
    if (size > 0 && fwrite(data, 1, size, file) != size)
        abort();
    fclose(file);

    // Every key once with a capacity that rotates with the input, and the
    // location name (the one text the user fills freely) at every capacity.
    constexpr size_t kCapacityCount = sizeof kCapacities / sizeof kCapacities[0];
    size_t rotate = size > 0 ? data[0] : 0;
    for (size_t i = 0; i < sizeof kKeys / sizeof kKeys[0]; ++i) {
        const KeyRead& k = kKeys[i];
        (void)tressel::PlatformIniReadInt(k.Section, k.Key, -1, gPath);
        CheckText(k.Section, k.Key, kCapacities[(i + rotate) % kCapacityCount], "Europe");
    }
    for (uint32_t cap : kCapacities)
        CheckText("LocInfo", "LocName", cap, "Europe");
    // A default longer than the field is cut like a value.
    CheckText("Options", "NoSuchKey", 4, "a default longer than the field");

    file = fopen(gPath, "rb");
    if (file == nullptr)
        abort();
    ScanCheck check = {0};
    (void)tressel::IniScan(file, CheckVisit, &check);
    fclose(file);
    return 0;
}
