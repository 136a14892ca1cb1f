#include "tuner/TunerBinding.h"

#include "common/Console.h"
#include "platform/Platform.h"
#include "tuner/TunerApi.h"

namespace tressel {

TunerApi gTuner = {};

namespace {

void* gLibrary = nullptr;

// Resolves one export into slot; the exports' types come from TunerApi.h.
template <typename Fn>
bool Resolve(void* library, const char* name, Fn* slot)
{
    void* symbol = PlatformLibrarySymbol(library, name);
    *slot = reinterpret_cast<Fn>(symbol);
    return symbol != nullptr;
}

} // namespace

int LoadTunerLibrary(const char* exeDir)
{
    char name[1024];
    if (PlatformTunerLibraryName(exeDir, name, sizeof name) < 0) {
        WarnLine("the tuner library's path is too long: %s", name);
        return -1;
    }
    char reason[512] = "";
    void* library = PlatformLibraryOpen(name, reason, sizeof reason);
    if (library == nullptr) {
        WarnLine("cannot load the tuner library %s: %s", name, reason);
        return -1;
    }
    TunerApi api = {};
    const char* missing = nullptr;
    if (!Resolve(library, "CheckForDVBEx", &api.CheckForDVBEx))
        missing = "CheckForDVBEx";
    else if (!Resolve(library, "StartDVBEx", &api.StartDVBEx))
        missing = "StartDVBEx";
    else if (!Resolve(library, "GetCaps", &api.GetCaps))
        missing = "GetCaps";
    else if (!Resolve(library, "SetChannel2Ex", &api.SetChannel2Ex))
        missing = "SetChannel2Ex";
    else if (!Resolve(library, "SignalInfo2", &api.SignalInfo2))
        missing = "SignalInfo2";
    else if (!Resolve(library, "Tressel", &api.Tressel))
        missing = "Tressel";
    else if (!Resolve(library, "StopDVB", &api.StopDVB))
        missing = "StopDVB";
    if (missing != nullptr) {
        WarnLine("the tuner library %s lacks the export %s", name, missing);
        PlatformLibraryClose(library);
        return -1;
    }
    gLibrary = library;
    gTuner = api;
    return 0;
}

void UnloadTunerLibrary()
{
    gTuner = TunerApi{};
    PlatformLibraryClose(gLibrary);
    gLibrary = nullptr;
}

} // namespace tressel
