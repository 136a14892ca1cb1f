// A test tool: loads a tuner library and prints what its exports answer, one
// line per device and per record with every field, so that end-to-end tests
// of the DVB tuner library under the simulated frontend compare whole
// records.
//
//   DvbProbe <library> <device> tune <std> <kHz> [<kHz> ...]
//   DvbProbe <library> <device> sweep <std> <startKHz> <stopKHz> <stepKHz> <n0>
//
// Exit status 0 when every call succeeded, 2 when one failed, 3 on misuse.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tuner/TunerApi.h"

namespace {

void OnDevice(int32_t number, const char* name)
{
    printf("device %d: %s\n", number, name);
}

void Print(const tressel::TransponderInfo& r)
{
    std::string plps;
    for (uint32_t i = 0; i < r.PlpCount && i < tressel::kPlpIdCapacity; ++i)
        plps += (i ? "," : "") + std::to_string(r.PlpIds[i]);
    printf("Locked=%u Frequency=%u Bandwidth=%u SymbolRate=%u Standard=%u Modulation=%u Fec=%u FecLp=%u "
           "Spectrum=%u TransmissionMode=%u GuardInterval=%u Hierarchy=%u PlpCount=%u PlpIds=%s PilotPattern=%u "
           "S1Signaling=%u Payload=%u FrameLength=%u ExtendedBandwidth=%u T2Mode=%u T2Version=%u BitRate=%u "
           "RfLevel=%d Snr=%.3f\n",
           r.Locked, r.Frequency, r.Bandwidth, r.SymbolRate, r.Standard, r.Modulation, r.Fec, r.FecLp, r.Spectrum,
           r.TransmissionMode, r.GuardInterval, r.Hierarchy, r.PlpCount, plps.c_str(), r.PilotPattern,
           r.S1Signaling, r.Payload, r.FrameLength, r.ExtendedBandwidth, r.T2Mode, r.T2Version, r.BitRate,
           r.RfLevel, r.Snr);
    fflush(stdout);
}

int OnResult(tressel::TransponderInfo* record)
{
    printf("found: ");
    Print(*record);
    return 1;
}

template <typename T>
T Resolve(void* library, const char* name)
{
    void* symbol = dlsym(library, name);
    if (symbol == nullptr) {
        fprintf(stderr, "probe: %s lacks %s\n", "library", name);
        exit(3);
    }
    return reinterpret_cast<T>(symbol);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5)
        return 3;
    void* library = dlopen(argv[1], RTLD_NOW);
    if (library == nullptr) {
        fprintf(stderr, "probe: %s\n", dlerror());
        return 3;
    }
    auto check = Resolve<CheckForDVBExFn>(library, "CheckForDVBEx");
    auto start = Resolve<StartDVBExFn>(library, "StartDVBEx");
    auto caps = Resolve<GetCapsFn>(library, "GetCaps");
    auto tune = Resolve<SetChannel2ExFn>(library, "SetChannel2Ex");
    auto signal = Resolve<SignalInfo2Fn>(library, "SignalInfo2");
    auto sweep = Resolve<TresselFn>(library, "Tressel");
    auto stop = Resolve<StopDVBFn>(library, "StopDVB");

    if (check(OnDevice) == 0)
        return 2;
    if (start(atoi(argv[2])) == 0) {
        printf("start failed\n");
        return 2;
    }
    printf("caps %#x\n", caps());
    fflush(stdout);
    uint32_t standard = static_cast<uint32_t>(atoi(argv[4]));
    int status = 0;
    if (strcmp(argv[3], "tune") == 0) {
        for (int i = 5; i < argc; ++i) {
            uint32_t kHz = static_cast<uint32_t>(atoi(argv[i]));
            tressel::TransponderInfo record = {};
            if (tune(kHz, 8000, standard, 0) == 0 || signal(&record) == 0) {
                printf("%u: failed\n", kHz);
                status = 2;
                break;
            }
            printf("%u: ", kHz);
            Print(record);
        }
    } else if (strcmp(argv[3], "sweep") == 0 && argc == 9) {
        std::vector<tressel::TransponderInfo> table(tressel::kTableCapacity);
        uint32_t n0 = static_cast<uint32_t>(atoi(argv[8]));
        uint32_t countWord = n0;
        uint32_t first = n0 < tressel::kTableCapacity ? n0 : tressel::kTableCapacity - 1;
        int32_t result = sweep(static_cast<uint32_t>(atoi(argv[5])), static_cast<uint32_t>(atoi(argv[6])),
                               static_cast<uint32_t>(atoi(argv[7])), 8000, standard, &table[first], &countWord,
                               OnResult);
        printf("sweep %d count %u\n", result, countWord);
        status = result == 0 ? 2 : 0;
    } else {
        status = 3;
    }
    stop();
    return status;
}
