// The fault plan: the n-th call of an export fails, counted from the start of
// the process, and a failing call changes nothing else.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TunerProcess.h"

using tressel::TransponderInfo;
using vttest::Exports;

namespace {

const char* const kBand =
    "[Transponder0]\nFrequency=474000\nBandwidth=8000\nStandard=7\n"
    "[Transponder1]\nFrequency=482000\nBandwidth=8000\nStandard=7\n";

int gReports = 0;
int OnResult(TransponderInfo*)
{
    ++gReports;
    return 0;
}

enum class Export { Check, Tune, Signal, Sweep };

// Calls the export once in a way that succeeds without the fault plan.
int32_t CallOnce(const Exports& tuner, Export which)
{
    static TransponderInfo table[tressel::kTableCapacity];
    uint32_t count = 0;
    std::string devices;
    switch (which) {
    case Export::Check:
        return vttest::CheckDevices(tuner, &devices);
    case Export::Tune:
        return tuner.SetChannel2Ex(474000, 8000, 0, 0);
    case Export::Signal:
        return tuner.SignalInfo2(&table[0]);
    case Export::Sweep:
        return tuner.Tressel(474000, 482000, 8000, 8000, 0, table, &count, OnResult);
    }
    return -1;
}

TEST(VirtualTunerFaultPlan, TheNthCallFailsAndNoOther)
{
    const struct {
        const char* Key;
        Export Which;
    } exports[] = {
        {"CheckForDVBEx", Export::Check},
        {"SetChannel2Ex", Export::Tune},
        {"SignalInfo2", Export::Signal},
        {"Tressel", Export::Sweep},
    };
    for (const auto& e : exports) {
        for (int n : {0, 1, 2, 4, -1}) {
            SCOPED_TRACE(std::string(e.Key) + "=" + std::to_string(n));
            Export which = e.Which;
            vttest::WithBand(std::string(kBand) + "[Faults]\n" + e.Key + "=" + std::to_string(n) + "\n",
                             [&](const Exports& tuner) {
                                 std::string devices;
                                 // The band is read by the first CheckForDVBEx.
                                 int32_t first = vttest::CheckDevices(tuner, &devices);
                                 std::vector<int32_t> results;
                                 if (which == Export::Check)
                                     results.push_back(first);
                                 else
                                     ASSERT_EQ(first, 1);
                                 while (results.size() < 5)
                                     results.push_back(CallOnce(tuner, which));
                                 for (size_t call = 1; call <= results.size(); ++call)
                                     EXPECT_EQ(results[call - 1], static_cast<int>(call) == n ? 0 : 1)
                                         << "call " << call;
                             });
        }
    }
}

TEST(VirtualTunerFaultPlan, FailingCheckCallsNoDeviceBack)
{
    vttest::WithBand("[Devices]\nCount=2\n[Faults]\nCheckForDVBEx=1\n", [](const Exports& tuner) {
        std::string devices;
        EXPECT_EQ(vttest::CheckDevices(tuner, &devices), 0);
        EXPECT_EQ(devices, "");
        EXPECT_EQ(vttest::TunerStderr(), "") << "a planned fault is no band error";
        EXPECT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        EXPECT_EQ(devices, "0:Virtual DVB-T/T2/C tuner\n1:Virtual DVB-T/T2/C tuner\n");
    });
}

TEST(VirtualTunerFaultPlan, CallsAreCountedFromTheStartOfTheProcess)
{
    // Two tunings before the band is read still count.
    vttest::WithBand(std::string(kBand) + "[Faults]\nSetChannel2Ex=3\n", [](const Exports& tuner) {
        EXPECT_EQ(tuner.SetChannel2Ex(474000, 8000, 0, 0), 1);
        EXPECT_EQ(tuner.SetChannel2Ex(474000, 8000, 0, 0), 1);
        std::string devices;
        ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        EXPECT_EQ(tuner.SetChannel2Ex(474000, 8000, 0, 0), 0);
        EXPECT_EQ(tuner.SetChannel2Ex(474000, 8000, 0, 0), 1);
    });
}

TEST(VirtualTunerFaultPlan, FailingTuneKeepsThePreviousChannel)
{
    vttest::WithBand(std::string(kBand) + "[Faults]\nSetChannel2Ex=2\n", [](const Exports& tuner) {
        std::string devices;
        ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        ASSERT_EQ(tuner.SetChannel2Ex(474000, 8000, 0, 0), 1);
        ASSERT_EQ(tuner.SetChannel2Ex(482000, 8000, 0, 0), 0);
        TransponderInfo r;
        ASSERT_EQ(tuner.SignalInfo2(&r), 1);
        EXPECT_EQ(r.Frequency, 474000u);
    });
}

TEST(VirtualTunerFaultPlan, FailingSignalInfoWritesNothing)
{
    vttest::WithBand(std::string(kBand) + "[Faults]\nSignalInfo2=1\n", [](const Exports& tuner) {
        std::string devices;
        ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        ASSERT_EQ(tuner.SetChannel2Ex(474000, 8000, 0, 0), 1);
        TransponderInfo r;
        memset(&r, 0x5A, sizeof r);
        ASSERT_EQ(tuner.SignalInfo2(&r), 0);
        TransponderInfo untouched;
        memset(&untouched, 0x5A, sizeof untouched);
        EXPECT_EQ(memcmp(&r, &untouched, sizeof r), 0);
    });
}

TEST(VirtualTunerFaultPlan, FailingSweepStoresAndReportsNothing)
{
    vttest::WithBand(std::string(kBand) + "[Faults]\nTressel=1\nCountWord=9\n", [](const Exports& tuner) {
        std::string devices;
        ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        TransponderInfo table[tressel::kTableCapacity];
        memset(table, 0x5A, sizeof table);
        uint32_t count = 3;
        gReports = 0;
        ASSERT_EQ(tuner.Tressel(474000, 482000, 8000, 8000, 0, &table[3], &count, OnResult), 0);
        EXPECT_EQ(count, 3u);
        EXPECT_EQ(gReports, 0);
        TransponderInfo untouched;
        memset(&untouched, 0x5A, sizeof untouched);
        EXPECT_EQ(memcmp(&table[3], &untouched, sizeof untouched), 0);
    });
}

} // namespace
