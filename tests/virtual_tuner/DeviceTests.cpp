// The devices of a band: what CheckForDVBEx reports, which StartDVBEx opens,
// and the caps that GetCaps returns for the open one.
#include <string>

#include <gtest/gtest.h>

#include "TunerProcess.h"

using vttest::Exports;

namespace {

TEST(VirtualTunerDevices, CountNamesAndCapsWithTheirDefaults)
{
    vttest::WithBand("[Devices]\nCount=3\nName0=First stick\nCaps0=16384\nName2=  Third  \n",
                     [](const Exports& tuner) {
                         EXPECT_EQ(tuner.GetCaps(), 0u) << "nothing is open yet";
                         std::string devices;
                         EXPECT_EQ(vttest::CheckDevices(tuner, &devices), 1);
                         EXPECT_EQ(devices, "0:First stick\n1:Virtual DVB-T/T2/C tuner\n2:Third\n");
                         const uint32_t caps[] = {16384u, 0x804000u, 0x804000u};
                         for (int32_t n = 0; n < 3; ++n) {
                             EXPECT_EQ(tuner.StartDVBEx(n), 1) << "device " << n;
                             EXPECT_EQ(tuner.GetCaps(), caps[n]) << "device " << n;
                         }
                         EXPECT_EQ(tuner.StopDVB(), 1);
                         EXPECT_EQ(tuner.GetCaps(), 0u) << "closed";
                     });
}

TEST(VirtualTunerDevices, NoDevicesIsNoCallbackButSuccess)
{
    vttest::WithBand("[Devices]\nCount=0\n", [](const Exports& tuner) {
        std::string devices;
        EXPECT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        EXPECT_EQ(devices, "");
        EXPECT_EQ(tuner.StartDVBEx(0), 0);
        EXPECT_EQ(tuner.GetCaps(), 0u);
    });
}

TEST(VirtualTunerDevices, TwoHundredFiftySixDevicesAreTheCap)
{
    vttest::WithBand("[Devices]\nCount=256\nName255=Last\nCaps255=7\n", [](const Exports& tuner) {
        std::string devices;
        EXPECT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        EXPECT_NE(devices.find("\n255:Last\n"), std::string::npos) << devices;
        EXPECT_EQ(tuner.StartDVBEx(255), 1);
        EXPECT_EQ(tuner.GetCaps(), 7u);
        EXPECT_EQ(tuner.StartDVBEx(256), 0);
    });
}

TEST(VirtualTunerDevices, LongNamesAreCutToTheirField)
{
    vttest::WithBand("[Devices]\nName0=" + std::string(300, 'n') + "\n", [](const Exports& tuner) {
        std::string devices;
        EXPECT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        EXPECT_NE(devices.find("0:" + std::string(255, 'n') + "\n"), std::string::npos) << devices;
        EXPECT_EQ(devices.find(std::string(256, 'n')), std::string::npos) << devices;
        EXPECT_EQ(vttest::TunerStderr(), "");
    });
}

TEST(VirtualTunerDevices, StartRefusesUnknownAndFailingDevicesAndKeepsTheOpenOne)
{
    vttest::WithBand("[Devices]\nCount=3\nCaps0=1\nFails1=1\nFails2=-1\n", [](const Exports& tuner) {
        std::string devices;
        ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        ASSERT_EQ(tuner.StartDVBEx(0), 1);
        const int32_t refused[] = {1, 2, 3, -1, INT32_MIN, INT32_MAX};
        for (int32_t n : refused) {
            EXPECT_EQ(tuner.StartDVBEx(n), 0) << "device " << n;
            EXPECT_EQ(tuner.GetCaps(), 1u) << "device 0 stays open after refusing " << n;
        }
    });
}

TEST(VirtualTunerDevices, CallbackComesBeforeCheckReturnsInDeviceOrder)
{
    std::string names;
    for (int n = 0; n < 5; ++n)
        names += "Name" + std::to_string(n) + "=Tuner " + std::to_string(4 - n) + "\n";
    vttest::WithBand("[Devices]\n" + names + "Count=5\n", [](const Exports& tuner) {
        std::string devices;
        EXPECT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        EXPECT_EQ(devices, "0:Tuner 4\n1:Tuner 3\n2:Tuner 2\n3:Tuner 1\n4:Tuner 0\n");
    });
}

} // namespace
