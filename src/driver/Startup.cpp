#include "driver/Startup.h"

#include <cstdio>
#include <cstring>

#include "common/Console.h"
#include "common/Text.h"
#include "driver/RunPasses.h"
#include "driver/ScanSettings.h"
#include "output/OutputFile.h"
#include "platform/Platform.h"
#include "tuner/TunerApi.h"
#include "tuner/TunerBinding.h"

#ifndef TRESSEL_VERSION_TEXT
#define TRESSEL_VERSION_TEXT "0.0.0.0-dev"
#endif

namespace tressel {
namespace {

// Process-wide, because the library hands OnDeviceFound no context of ours.
int32_t gDevice = -1;
uint32_t gDeviceCount = 0;

void TRESSEL_CDECL OnDeviceFound(int32_t number, const char* name)
{
    if (gDevice < 0)
        ConsolePrintf("Device %i: %s\n", number, name != nullptr ? name : "");
    ++gDeviceCount;
}

void PrintUsage()
{
    ConsolePrintf("Usage: tressel [CONFIG]\n"
                  "Searches the bands of the configuration's scan sections for transponders\n"
                  "and writes a report and a transponder list after each pass.\n"
                  "  CONFIG     configuration file (default: Tressel.ini next to the program)\n"
                  "  -h, --help print this text\n"
                  "  --version  print the version\n");
}

void RefuseLongPath(const char* what, const char* text)
{
    WarnLine("the %s would be longer than %u characters: %.60s...", what,
             static_cast<unsigned>(kPathCapacity - 1), text);
}

// The executable's directory including its final separator. Returns 0, -2
// when it does not fit, or -1 when the program's own path cannot be found:
// then there is no safe place to load the tuner library from (the current
// directory may hold anyone's).
int ExecutableDirectory(char* dir, size_t cap)
{
    char exe[kPathCapacity];
    int n = PlatformExecutablePath(exe, sizeof exe);
    if (n == -2)
        return -2;
    char* cut = n > 0 ? strrchr(exe, kDirSeparator) : nullptr;
    if (cut == nullptr)
        return -1;
    cut[1] = '\0';
    return CopyText(dir, cap, exe) == strlen(exe) ? 0 : -2;
}

// The longest configuration file the program reads: a real one is a few KB,
// and this is far beyond any; /dev/zero or a FIFO is no file at all.
constexpr uint64_t kMaxConfigBytes = 16u << 20;

// Reads the device number typed at the prompt. A number that does not fit 32
// bits is refused: false, with the typed digits in typed. Nothing readable
// leaves *device as it was.
bool ReadTypedDevice(int32_t* device, char* typed, size_t cap)
{
    char token[32];
    CopyText(typed, cap, "");
    if (scanf("%31s", token) != 1)
        return true;
    const char* p = token;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    uint64_t value = 0;
    bool tooLarge = false;
    const char* digits = p;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10u + static_cast<uint64_t>(*p - '0');
        tooLarge = tooLarge || value > 0xffffffffu;
        if (tooLarge)
            value = 0x100000000u; // stays above the limit without overflowing
    }
    if (p == digits)
        return true;
    if (tooLarge) {
        FormatText(typed, cap, "%.*s", static_cast<int>(p - token), token);
        return false;
    }
    // As an unsigned read does: "-1" is 4294967295.
    uint32_t bits = static_cast<uint32_t>(negative ? 0u - value : value);
    memcpy(device, &bits, sizeof bits);
    return true;
}

// Reads a directory setting and completes it with one separator. Returns 0,
// or -1 when the result would not fit its field.
int ReadDirectory(const char* key, char* out, const char* configPath)
{
    // One character more than fits, to see a value that is too long, and
    // room for the separator appended to it.
    char value[kPathCapacity + 2];
    uint32_t n = PlatformIniReadText("Options", key, "", value, kPathCapacity + 1, configPath);
    if (n > 0 && value[n - 1] != kDirSeparator) {
        value[n] = kDirSeparator;
        value[++n] = '\0';
    }
    if (n >= kPathCapacity) {
        RefuseLongPath(key, value);
        return -1;
    }
    CopyText(out, kPathCapacity, value);
    return 0;
}

// The history and band-picture options; all off when their keys are absent.
// Returns 0, or -1 when the history's name does not fit its field.
int ReadHistorySettings(ScanSettings* settings, const char* configPath)
{
    char value[kPathCapacity + 1];
    uint32_t n = PlatformIniReadText("Options", "History", "", value, sizeof value, configPath);
    if (n >= kPathCapacity) {
        RefuseLongPath("History", value);
        return -1;
    }
    CopyText(settings->History, sizeof settings->History, value);
    settings->ChangeThreshold = PlatformIniReadInt("Options", "ChangeThreshold", 3, configPath);
    settings->BandPicture = PlatformIniReadInt("Options", "BandPicture", 0, configPath);
    return 0;
}

} // namespace

int TresselMain(int argc, char** argv)
{
    const char* argument = argc > 1 ? argv[1] : nullptr;
    if (argument != nullptr && (strcmp(argument, "-h") == 0 || strcmp(argument, "--help") == 0)) {
        PrintUsage();
        return kExitOk;
    }
    if (argument != nullptr && strcmp(argument, "--version") == 0) {
        ConsolePrintf("Tressel ver.%s\n", TRESSEL_VERSION_TEXT);
        return kExitOk;
    }

    ConsolePrintf("Tressel ver.%s\n", TRESSEL_VERSION_TEXT);

    char exeDir[kPathCapacity];
    int located = ExecutableDirectory(exeDir, sizeof exeDir);
    if (located == -1) {
        WarnLine("the program's own path cannot be found; it loads nothing from elsewhere");
        return kExitStartupError;
    }
    if (located < 0) {
        WarnLine("the program's directory is longer than %u characters",
                 static_cast<unsigned>(kPathCapacity - 1));
        return kExitStartupError;
    }

    char configPath[kPathCapacity];
    int made;
    if (argument == nullptr)
        made = FormatText(configPath, sizeof configPath, "%sTressel.ini", exeDir);
    else if (PlatformIsAbsolutePath(argument))
        made = FormatText(configPath, sizeof configPath, "%s", argument);
    else
        made = FormatText(configPath, sizeof configPath, ".%c%s", kDirSeparator, argument);
    if (made < 0) {
        RefuseLongPath("configuration path", argument != nullptr ? argument : exeDir);
        return kExitStartupError;
    }

    ConsolePrintf("Config name: %s\n", configPath);
    if (argument != nullptr && !PlatformFileExists(configPath))
        WarnLine("the configuration file %s does not exist; using the defaults", configPath);
    else if (PlatformFileExists(configPath) && !PlatformIsSmallRegularFile(configPath, kMaxConfigBytes)) {
        WarnLine("the configuration file %s is not a regular file of at most %u bytes", configPath,
                 static_cast<unsigned>(kMaxConfigBytes));
        return kExitStartupError;
    }
    // However an output file's name reaches it, the configuration is never replaced.
    ProtectFromOutput(configPath);

    ScanSettings settings = {};
    gDevice = PlatformIniReadInt("Options", "Device", -1, configPath);
    gDeviceCount = 0;

    if (LoadTunerLibrary(exeDir) < 0)
        return kExitStartupError;

    int32_t found = gTuner.CheckForDVBEx(OnDeviceFound);
    if (found == 0 || gDeviceCount == 0) {
        ConsolePrintf("No devices !\n");
        return kExitNoDevices;
    }

    if (gDevice < 0) {
        ConsolePrintf("Device number: ");
        char typed[32];
        if (!ReadTypedDevice(&gDevice, typed, sizeof typed)) {
            ConsolePrintf("Can't start device %s !\n", typed);
            return kExitCannotStart;
        }
    }

    if (gTuner.StartDVBEx(gDevice) == 0) {
        ConsolePrintf("Can't start device %u !\n", static_cast<unsigned>(gDevice));
        return kExitCannotStart;
    }

    settings.Device = gDevice;
    settings.LocPos = PlatformIniReadInt("LocInfo", "LocPos", 4000, configPath);
    PlatformIniReadText("LocInfo", "LocName", "Europe", settings.LocName, sizeof settings.LocName,
                        configPath);
    settings.FastScan = PlatformIniReadInt("Options", "FastScan", 1, configPath);
    settings.IniFormat = PlatformIniReadInt("Options", "IniFormat", 0, configPath);
    settings.InfoFormat = PlatformIniReadInt("Options", "InfoFormat", 1, configPath);

    if ((gTuner.GetCaps() & kCapTressel) == 0) {
        ConsolePuts("Tressel not supported !");
        gTuner.StopDVB();
        return kExitMissingCapability;
    }
    if (settings.FastScan != 0 && (gTuner.GetCaps() & kCapFastScan) == 0) {
        ConsolePuts("FastScan not supported !");
        gTuner.StopDVB();
        return kExitMissingCapability;
    }

    if (ReadDirectory("ReportDir", settings.ReportDir, configPath) < 0 ||
        ReadDirectory("TPDir", settings.TPDir, configPath) < 0) {
        gTuner.StopDVB();
        return kExitStartupError;
    }
    settings.Loop = PlatformIniReadInt("Options", "Loop", 0, configPath);
    if (ReadHistorySettings(&settings, configPath) < 0) {
        gTuner.StopDVB();
        return kExitStartupError;
    }

    PlatformAbortWatchBegin();
    RunPasses(&settings, configPath);
    PlatformAbortWatchEnd();
    gTuner.StopDVB();
    return kExitOk;
}

} // namespace tressel
