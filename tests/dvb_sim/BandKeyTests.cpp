// The band file's keys for the simulated DVB frontend: defaults, values,
// refusals, and the virtual tuner's reader, which skips them.
#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "SimTestHelpers.h"
#include "support/TestSupport.h"

using namespace tressel;
using namespace simtest;

namespace {

// What standard error received while reading text.
std::string ReadErrors(const std::string& text, vt::Band* band, bool dvbKeys, int* result)
{
    testsupport::TempDir dir;
    std::string path = dir.File("stderr.txt");
    fflush(stderr);
    int saved = dup(2);
    int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(file, 2);
    close(file);
    *result = ReadBandText(text, band, dvbKeys);
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    return testsupport::ReadFile(path);
}

TEST(DvbBandKeys, DefaultsFollowTheDeviceAndSectionNumbers)
{
    auto band = BandFromText("[Devices]\nCount=3\n[Transponder0]\nFrequency=474000\n[Transponder1]\nFrequency=482000\n");
    for (uint32_t n = 0; n < 3; ++n) {
        const vt::DvbDevice& d = band->DvbDevices[n];
        EXPECT_EQ(d.Adapter, n);
        EXPECT_EQ(d.Frontend, 0u);
        ASSERT_EQ(d.SystemCount, 3u);
        EXPECT_EQ(d.Systems[0], vt::dvbsys::kDvbT);
        EXPECT_EQ(d.Systems[1], vt::dvbsys::kDvbT2);
        EXPECT_EQ(d.Systems[2], vt::dvbsys::kDvbCAnnexA);
        EXPECT_EQ(d.Profile, vt::kProfileReadback);
        EXPECT_EQ(d.MinFrequency, 42000u);
        EXPECT_EQ(d.MaxFrequency, 1002000u);
        EXPECT_EQ(d.Access, vt::kAccessOk);
        EXPECT_EQ(d.VanishAfterTunes, 0u);
    }
    for (uint32_t n = 0; n < 2; ++n) {
        const vt::DvbTransponder& t = band->DvbTransponders[n];
        EXPECT_EQ(t.Tsid, n + 1);
        EXPECT_EQ(t.CaptureKHz, 250u);
        EXPECT_EQ(t.CarrierMs, 0u);
        EXPECT_EQ(t.LockMs, 0u);
        EXPECT_EQ(t.NeverLocks, 0u);
    }
}

TEST(DvbBandKeys, EveryKeyIsReadInAnyCase)
{
    auto band = BandFromText(R"(
[devices]
count=2
ADAPTER1=3
frontend1=2
Systems1 = atsc , DVBC_ANNEX_B,isdbt,dvbc_annex_c,DVBS,DVBS2
Profile1=Relative
MinFrequency1=54000
MaxFrequency1=858000
Access1=BUSY
VanishAfterTunes1=7
Access0=denied
Profile0=auto

[transponder0]
frequency=474000
CARRIERMS=150
lockms=2000
NeverLocks=1
Tsid=65535
CaptureKHz=10
)");
    const vt::DvbDevice& d = band->DvbDevices[1];
    EXPECT_EQ(d.Adapter, 3u);
    EXPECT_EQ(d.Frontend, 2u);
    ASSERT_EQ(d.SystemCount, 6u);
    const uint8_t systems[] = {vt::dvbsys::kAtsc,        vt::dvbsys::kDvbCAnnexB, vt::dvbsys::kIsdbT,
                               vt::dvbsys::kDvbCAnnexC, vt::dvbsys::kDvbS,       vt::dvbsys::kDvbS2};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(d.Systems[i], systems[i]) << i;
    EXPECT_EQ(d.Profile, vt::kProfileRelative);
    EXPECT_EQ(d.MinFrequency, 54000u);
    EXPECT_EQ(d.MaxFrequency, 858000u);
    EXPECT_EQ(d.Access, vt::kAccessBusy);
    EXPECT_EQ(d.VanishAfterTunes, 7u);
    EXPECT_EQ(band->DvbDevices[0].Access, vt::kAccessDenied);
    EXPECT_EQ(band->DvbDevices[0].Profile, vt::kProfileAuto);
    const vt::DvbTransponder& t = band->DvbTransponders[0];
    EXPECT_EQ(t.CarrierMs, 150u);
    EXPECT_EQ(t.LockMs, 2000u);
    EXPECT_EQ(t.NeverLocks, 1u);
    EXPECT_EQ(t.Tsid, 65535u);
    EXPECT_EQ(t.CaptureKHz, 10u);
}

TEST(DvbBandKeys, BadValuesAreRefusedWithTheSimulatorsPrefix)
{
    struct Case {
        const char* Text;
        const char* Reason;
    };
    const Case cases[] = {
        {"[Devices]\nSystems0=DVBT,DVBX\n", "[Devices] Systems0: unknown delivery system: \"DVBT,DVBX\""},
        {"[Devices]\nSystems0=\n", "[Devices] Systems0: unknown delivery system"},
        {"[Devices]\nSystems0=DVBT DVBT2\n", "[Devices] Systems0: not a list of delivery systems"},
        {"[Devices]\nProfile0=fast\n", "[Devices] Profile0: not one of the words this key takes"},
        {"[Devices]\nAccess0=maybe\n", "[Devices] Access0: not one of the words this key takes"},
        {"[Devices]\nAdapter0=256\n", "[Devices] Adapter0: out of range 0-255"},
        {"[Devices]\nFrontend0=-1\n", "[Devices] Frontend0: out of range 0-255"},
        {"[Devices]\nMaxFrequency0=high\n", "[Devices] MaxFrequency0: not a number"},
        {"[Transponder0]\nFrequency=474000\nLockMs=soon\n", "[Transponder0] LockMs: not a number"},
        {"[Transponder0]\nFrequency=474000\nTsid=65536\n", "[Transponder0] Tsid: out of range 0-65535"},
    };
    for (const Case& c : cases) {
        std::unique_ptr<vt::Band> band(new vt::Band);
        int result = 0;
        std::string errors = ReadErrors(c.Text, band.get(), true, &result);
        EXPECT_EQ(result, -2) << c.Text;
        EXPECT_EQ(errors.rfind("dvb sim: ", 0), 0u) << errors;
        EXPECT_NE(errors.find(c.Reason), std::string::npos) << errors;
        EXPECT_EQ(band->DeviceCount, 0u) << "a refused band is empty";
    }
}

TEST(DvbBandKeys, KeysOfUncountedDevicesAndTheVirtualTunerDoNotMatter)
{
    std::unique_ptr<vt::Band> band(new vt::Band);
    EXPECT_EQ(ReadBandText("[Devices]\nCount=1\nProfile1=fast\n", band.get(), true), 0)
        << "device 1 is not part of the band";

    const char* text = "[Devices]\nSystems0=DVBX\nProfile0=fast\n[Transponder0]\nFrequency=474000\nLockMs=soon\n";
    int result = 0;
    std::string errors = ReadErrors(text, band.get(), false, &result);
    EXPECT_EQ(result, 0) << "the virtual tuner skips the simulator's keys";
    EXPECT_EQ(errors, "");
    EXPECT_EQ(band->TransponderCount, 1u);
    EXPECT_EQ(band->DvbTransponders[0].LockMs, 0u);

    errors = ReadErrors("[Devices]\nCount=x\n", band.get(), false, &result);
    EXPECT_EQ(errors.rfind("virtual tuner: ", 0), 0u) << "the virtual tuner's own prefix stays";
}

} // namespace
