// A tuner library for start-up tests: every export writes "call NAME" on
// standard error, so a test can see which exports were called in which order.
// Its answers come from environment variables:
//   REC_DEVICES  number of devices (default 1)
//   REC_START    result of StartDVBEx (default 1)
//   REC_CAPS     GetCaps mask, decimal (default 8404992)
//   REC_BLOCK    a FIFO that the scan exports open before answering: with
//                no writer the open blocks, as a device or a slow file
//                system may
// Built once complete (libRecordingTuner) and once without the Tressel
// export (libMissingExport).
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "tuner/TunerApi.h"

namespace {

long EnvNumber(const char* name, long fallback)
{
    const char* text = getenv(name);
    return text != nullptr && *text != '\0' ? strtol(text, nullptr, 10) : fallback;
}

void Record(const char* name)
{
    fprintf(stderr, "call %s\n", name);
    fflush(stderr);
}

void BlockWhenAsked()
{
    const char* fifo = getenv("REC_BLOCK");
    if (fifo == nullptr || *fifo == '\0')
        return;
    int fd = open(fifo, O_RDONLY);
    if (fd >= 0)
        close(fd);
}

} // namespace

extern "C" {

TRESSEL_TUNER_EXPORT int32_t TRESSEL_CDECL CheckForDVBEx(DeviceFoundCallback onDevice)
{
    Record("CheckForDVBEx");
    long devices = EnvNumber("REC_DEVICES", 1);
    for (long n = 0; n < devices; ++n)
        onDevice(static_cast<int32_t>(n), "Recording tuner");
    return 1;
}

TRESSEL_TUNER_EXPORT int32_t TRESSEL_CDECL StartDVBEx(int32_t device)
{
    fprintf(stderr, "call StartDVBEx %d\n", device);
    fflush(stderr);
    return static_cast<int32_t>(EnvNumber("REC_START", 1));
}

TRESSEL_TUNER_EXPORT uint32_t TRESSEL_CDECL GetCaps(void)
{
    Record("GetCaps");
    return static_cast<uint32_t>(EnvNumber("REC_CAPS", 8404992));
}

TRESSEL_TUNER_EXPORT int32_t TRESSEL_CDECL SetChannel2Ex(uint32_t, uint32_t, uint32_t, uint32_t)
{
    Record("SetChannel2Ex");
    BlockWhenAsked();
    return 1;
}

TRESSEL_TUNER_EXPORT int32_t TRESSEL_CDECL SignalInfo2(tressel::TransponderInfo*)
{
    Record("SignalInfo2");
    return 1;
}

#if !defined(OMIT_TRESSEL_EXPORT)
TRESSEL_TUNER_EXPORT int32_t TRESSEL_CDECL Tressel(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                                                   tressel::TransponderInfo*, uint32_t* countWord,
                                                   FastScanResultCallback)
{
    Record("Tressel");
    BlockWhenAsked();
    *countWord = 0;
    return 1;
}
#endif

TRESSEL_TUNER_EXPORT int32_t TRESSEL_CDECL StopDVB(void)
{
    Record("StopDVB");
    return 1;
}

} // extern "C"
