// Reading band files: values that are refused with one error line naming the
// file, section and key; values in sections that are not part of the band;
// and the values accepted into the records.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "TunerProcess.h"
#include "support/TestSupport.h"

using vttest::Exports;

namespace {

tressel::TransponderInfo Tune(const Exports& tuner, uint32_t frequencyKHz, uint32_t standard = 0)
{
    tressel::TransponderInfo record;
    memset(&record, 0x5A, sizeof record);
    EXPECT_EQ(tuner.SetChannel2Ex(frequencyKHz, 8000, standard, 0), 1);
    EXPECT_EQ(tuner.SignalInfo2(&record), 1);
    return record;
}

struct RefusedBand {
    const char* What;
    std::string Text;
    std::string Fault; // the error line after "virtual tuner: <path>: "
};

std::string Transponders(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "[Transponder" + std::to_string(i) + "]\nFrequency=" + std::to_string(474000 + 8000 * i) + "\n";
    return text;
}

TEST(VirtualTunerBandFile, RefusedValueNamesFileSectionAndKeyAndReportsNoDevice)
{
    const RefusedBand cases[] = {
        {"bad Snr after good sections", Transponders(3) + "[Transponder3]\nFrequency=498000\nSnr=abc\n",
         "[Transponder3] Snr: not a number: \"abc\""},
        {"Snr with a unit", "[Transponder0]\nFrequency=474000\nSnr=1.5dB\n",
         "[Transponder0] Snr: not a number: \"1.5dB\""},
        {"empty Snr", "[Transponder0]\nFrequency=474000\nSnr=\n", "[Transponder0] Snr: not a number: \"\""},
        {"trailing letters", "[Transponder0]\nFrequency=474000x\n",
         "[Transponder0] Frequency: not a number: \"474000x\""},
        {"empty integer", "[Transponder0]\nFrequency=474000\nBandwidth=\n",
         "[Transponder0] Bandwidth: not a number: \"\""},
        {"decimal point in an integer", "[Transponder0]\nFrequency=474000\nRfLevel=-52.5\n",
         "[Transponder0] RfLevel: not a number: \"-52.5\""},
        {"hexadecimal", "[Devices]\nCaps0=0x10\n", "[Devices] Caps0: not a number: \"0x10\""},
        {"beyond 32 bits", "[Transponder0]\nFrequency=4294967296\n",
         "[Transponder0] Frequency: out of range: \"4294967296\""},
        {"below 32 bits", "[Transponder0]\nFrequency=474000\nRfLevel=-2147483649\n",
         "[Transponder0] RfLevel: out of range: \"-2147483649\""},
        {"Count not a number", "[Devices]\nCount=two\n", "[Devices] Count: not a number: \"two\""},
        {"Count above the cap", "[Devices]\nCount=257\n", "[Devices] Count: more than 256 devices: \"257\""},
        {"Count negative", "[Devices]\nCount=-1\n", "[Devices] Count: more than 256 devices: \"-1\""},
        {"Fails of a counted device", "[Devices]\nFails1=yes\nCount=2\n", "[Devices] Fails1: not a number: \"yes\""},
        {"PLP identifier above 255", "[Transponder0]\nFrequency=474000\nPlpIds=0,256\n",
         "[Transponder0] PlpIds: identifier out of range 0-255: \"0,256\""},
        {"negative PLP identifier", "[Transponder0]\nFrequency=474000\nPlpIds=-1\n",
         "[Transponder0] PlpIds: identifier out of range 0-255: \"-1\""},
        {"17 PLP identifiers", "[Transponder0]\nFrequency=474000\nPlpIds=0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16\n",
         "[Transponder0] PlpIds: more than 16 identifiers: \"0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16\""},
        {"empty PLP item", "[Transponder0]\nFrequency=474000\nPlpIds=1,,2\n",
         "[Transponder0] PlpIds: not a list of numbers: \"1,,2\""},
        {"PLPs without comma", "[Transponder0]\nFrequency=474000\nPlpIds=1 2\n",
         "[Transponder0] PlpIds: not a list of numbers: \"1 2\""},
        {"PlpCount not a number", "[Transponder0]\nFrequency=474000\nPlpCount=many\n",
         "[Transponder0] PlpCount: not a number: \"many\""},
        {"fault plan", "[Faults]\nSignalInfo2=x\n", "[Faults] SignalInfo2: not a number: \"x\""},
        {"CountWord", "[Faults]\nCountWord=lots\n", "[Faults] CountWord: not a number: \"lots\""},
        {"negative time", "[Timing]\nTuneMs=-5\n", "[Timing] TuneMs: negative time: \"-5\""},
        {"time not a number", "[Timing]\nSweepMs=fast\n", "[Timing] SweepMs: not a number: \"fast\""},
        {"names as the file spells them", "[transponder0]\nFREQUENCY=474000\nsnr=x\n",
         "[transponder0] snr: not a number: \"x\""},
        {"the earliest of two errors", "[Transponder0]\nFrequency=bad\n[Timing]\nSweepMs=worse\n",
         "[Transponder0] Frequency: not a number: \"bad\""},
        {"the earliest of two errors, other order", "[Timing]\nSweepMs=worse\n[Transponder0]\nFrequency=bad\n",
         "[Timing] SweepMs: not a number: \"worse\""},
    };
    for (const RefusedBand& c : cases) {
        SCOPED_TRACE(c.What);
        std::string fault = c.Fault;
        vttest::WithBand(c.Text, [&](const Exports& tuner) {
            std::string devices;
            EXPECT_EQ(vttest::CheckDevices(tuner, &devices), 0);
            EXPECT_EQ(devices, "");
            EXPECT_EQ(vttest::TunerStderr(), "virtual tuner: " + vttest::BandPath() + ": " + fault + "\n");
            // The band stays refused, and the error is told once.
            EXPECT_EQ(vttest::CheckDevices(tuner, &devices), 0);
            EXPECT_EQ(devices, "");
            EXPECT_EQ(tuner.StartDVBEx(0), 0);
            EXPECT_EQ(vttest::TunerStderr(), "virtual tuner: " + vttest::BandPath() + ": " + fault + "\n");
        });
    }
}

TEST(VirtualTunerBandFile, MissingFileNamesFileAndReason)
{
    testsupport::TempDir dir;
    std::string path = dir.File("no-such-band.ini");
    vttest::WithBandPath(path, [&](const Exports& tuner) {
        std::string devices;
        EXPECT_EQ(vttest::CheckDevices(tuner, &devices), 0);
        EXPECT_EQ(devices, "");
        EXPECT_EQ(vttest::TunerStderr(),
                  "virtual tuner: " + path + ": cannot open: No such file or directory\n");
    });
}

TEST(VirtualTunerBandFile, ValuesOutsideTheBandDoNotMatter)
{
    const struct {
        const char* What;
        std::string Text;
        uint32_t Devices;
        uint32_t Transponders;
    } cases[] = {
        {"sections after the first one without Frequency",
         "[Transponder0]\nFrequency=474000\n[Transponder1]\nSnr=5\n[Transponder2]\nFrequency=x\nSnr=bad\n", 1, 1},
        {"keys of devices beyond Count", "[Devices]\nCaps5=bad\nName20=x\nFails1=x\nCount=1\n", 1, 0},
        {"sections that are not transponder sections",
         "[Transponder01]\nFrequency=bad\n[Transponder-1]\nFrequency=bad\n[Transponders0]\nFrequency=bad\n"
         "[Other]\nFrequency=bad\n[Transponder0]\nFrequency=474000\n",
         1, 1},
        {"unknown keys", "[Devices]\nColour=blue\n[Faults]\nStopDVB=x\n[Transponder0]\nFrequency=474000\nColour=x\n", 1, 1},
        {"a repeated key: the first counts", "[Transponder0]\nFrequency=474000\nFrequency=bad\n[Devices]\nCount=2\nCount=x\n",
         2, 1},
        {"keys before any section", "Frequency=bad\n[Transponder0]\nFrequency=474000\n", 1, 1},
        {"an empty file", "", 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        uint32_t expectDevices = c.Devices;
        uint32_t expectTransponders = c.Transponders;
        vttest::WithBand(c.Text, [&](const Exports& tuner) {
            std::string devices;
            EXPECT_EQ(vttest::CheckDevices(tuner, &devices), 1);
            std::string expected;
            for (uint32_t n = 0; n < expectDevices; ++n)
                expected += std::to_string(n) + ":Virtual DVB-T/T2/C tuner\n";
            EXPECT_EQ(devices, expected);
            EXPECT_EQ(vttest::TunerStderr(), "");
            tressel::TransponderInfo table[200];
            uint32_t count = 0;
            EXPECT_EQ(tuner.Tressel(0, 0xFFFFFFFFu, 8000, 8000, 0, table, &count, nullptr), 1);
            EXPECT_EQ(count, expectTransponders);
            if (count == 1) {
                EXPECT_EQ(table[0].Frequency, 474000u);
            }
        });
    }
}

TEST(VirtualTunerBandFile, EveryKeyReachesItsFieldOfTheRecord)
{
    // Names in mixed case, blanks around names and values, CR LF line ends,
    // comments and a byte-order mark: the syntax of the configuration file.
    std::string text =
        "\xEF\xBB\xBF; a band file\r\n"
        "[ transponder0 ]\r\n"
        "  FREQUENCY = 600001 \r\n"
        "bandwidth=7000\r\n"
        "SymbolRate=6900000\r\n"
        "Standard=7\r\n"
        "Modulation=22\r\n"
        "Fec=13\r\n"
        "FecLp=3\r\n"
        "Spectrum=2\r\n"
        "; a comment between keys\r\n"
        "TransmissionMode=6\r\n"
        "GuardInterval=7\r\n"
        "Hierarchy=3\r\n"
        "PilotPattern=5\r\n"
        "S1Signaling=1\r\n"
        "Payload=2\r\n"
        "FrameLength=9\r\n"
        "ExtendedBandwidth=11\r\n"
        "T2Mode=1\r\n"
        "T2Version=2\r\n"
        "BitRate=4294967295\r\n"
        "RfLevel=-52\r\n"
        "PlpIds= 3 , 7,255 \r\n"
        "Snr=30.25\r\n";
    vttest::WithBand(text, [](const Exports& tuner) {
        std::string devices;
        ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        tressel::TransponderInfo r = Tune(tuner, 600000);
        EXPECT_EQ(r.Locked, 1u);
        EXPECT_EQ(r.Frequency, 600001u);
        EXPECT_EQ(r.Bandwidth, 7000u);
        EXPECT_EQ(r.SymbolRate, 6900000u);
        EXPECT_EQ(r.Standard, 7u);
        EXPECT_EQ(r.Modulation, 22u);
        EXPECT_EQ(r.Fec, 13u);
        EXPECT_EQ(r.FecLp, 3u);
        EXPECT_EQ(r.Spectrum, 2u);
        EXPECT_EQ(r.TransmissionMode, 6u);
        EXPECT_EQ(r.GuardInterval, 7u);
        EXPECT_EQ(r.Hierarchy, 3u);
        EXPECT_EQ(r.PilotPattern, 5u);
        EXPECT_EQ(r.S1Signaling, 1u);
        EXPECT_EQ(r.Payload, 2u);
        EXPECT_EQ(r.FrameLength, 9u);
        EXPECT_EQ(r.ExtendedBandwidth, 11u);
        EXPECT_EQ(r.T2Mode, 1u);
        EXPECT_EQ(r.T2Version, 2u);
        EXPECT_EQ(r.BitRate, 4294967295u);
        EXPECT_EQ(r.RfLevel, -52);
        EXPECT_EQ(r.Snr, 30.25);
        EXPECT_EQ(r.PlpCount, 3u);
        const uint8_t ids[16] = {3, 7, 255};
        EXPECT_EQ(memcmp(r.PlpIds, ids, sizeof ids), 0);
        for (size_t i = 0; i < sizeof r.Reserved1; ++i)
            EXPECT_EQ(reinterpret_cast<const uint8_t*>(r.Reserved1)[i], 0xA5) << "byte " << 96 + i;
        for (size_t i = 0; i < sizeof r.Reserved2; ++i)
            EXPECT_EQ(r.Reserved2[i], 0xA5) << "byte " << 120 + i;
    });
}

TEST(VirtualTunerBandFile, MissingFieldsAreZero)
{
    vttest::WithBand("[Transponder0]\nFrequency=0\n", [](const Exports& tuner) {
        std::string devices;
        ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        tressel::TransponderInfo expected;
        memset(&expected, 0, sizeof expected);
        expected.Locked = 1;
        memset(expected.Reserved1, 0xA5, sizeof expected.Reserved1);
        memset(expected.Reserved2, 0xA5, sizeof expected.Reserved2);
        // Bandwidth 0: only the exact frequency locks.
        tressel::TransponderInfo r = Tune(tuner, 0);
        EXPECT_EQ(memcmp(&r, &expected, sizeof r), 0);
        EXPECT_EQ(Tune(tuner, 1).Locked, 0u);
    });
}

TEST(VirtualTunerBandFile, IntegersAreKeptAs32BitTwosComplement)
{
    vttest::WithBand("[Devices]\nCount=3\nCaps0=-1\nCaps1=4294967295\nCaps2=+16384\n"
                     "[Transponder0]\nFrequency=474000\nBandwidth=8000\nRfLevel=4294967244\n"
                     "[Transponder1]\nFrequency=482000\nBandwidth=8000\nRfLevel=-2147483648\n",
                     [](const Exports& tuner) {
                         std::string devices;
                         ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
                         for (int32_t n = 0; n < 2; ++n) {
                             ASSERT_EQ(tuner.StartDVBEx(n), 1);
                             EXPECT_EQ(tuner.GetCaps(), 0xFFFFFFFFu) << "device " << n;
                         }
                         ASSERT_EQ(tuner.StartDVBEx(2), 1);
                         EXPECT_EQ(tuner.GetCaps(), 16384u);
                         EXPECT_EQ(Tune(tuner, 474000).RfLevel, -52);
                         EXPECT_EQ(Tune(tuner, 482000).RfLevel, INT32_MIN);
                     });
}

TEST(VirtualTunerBandFile, SnrTakesDecimalsAndNan)
{
    vttest::WithBand("[Transponder0]\nFrequency=474000\nSnr=nan\n"
                     "[Transponder1]\nFrequency=482000\nSnr=-3.5\n"
                     "[Transponder2]\nFrequency=490000\nSnr=12\n",
                     [](const Exports& tuner) {
                         std::string devices;
                         ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
                         EXPECT_TRUE(std::isnan(Tune(tuner, 474000).Snr));
                         EXPECT_EQ(Tune(tuner, 482000).Snr, -3.5);
                         EXPECT_EQ(Tune(tuner, 490000).Snr, 12.0);
                     });
}

TEST(VirtualTunerBandFile, PlpCountDefaultsToTheIdentifiersGiven)
{
    const struct {
        const char* What;
        const char* Keys;
        uint32_t Count;
        uint8_t Ids[16];
    } cases[] = {
        {"no PlpIds", "", 0, {}},
        {"blank PlpIds", "PlpIds= \n", 0, {}},
        {"one identifier", "PlpIds=0\n", 1, {0}},
        {"all 16", "PlpIds=15,14,13,12,11,10,9,8,7,6,5,4,3,2,1,0\n", 16,
         {15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}},
        {"PlpCount beyond 16", "PlpIds=0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15\nPlpCount=20\n", 20,
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
        {"PlpCount before PlpIds", "PlpCount=2\nPlpIds=4,5,6\n", 2, {4, 5, 6}},
        {"PlpCount without PlpIds", "PlpCount=3\n", 3, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        uint32_t count = c.Count;
        std::string ids(reinterpret_cast<const char*>(c.Ids), sizeof c.Ids);
        vttest::WithBand(std::string("[Transponder0]\nFrequency=474000\n") + c.Keys,
                         [&](const Exports& tuner) {
                             std::string devices;
                             ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
                             tressel::TransponderInfo r = Tune(tuner, 474000);
                             EXPECT_EQ(r.PlpCount, count);
                             EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.PlpIds), 16), ids);
                         });
    }
}

TEST(VirtualTunerBandFile, AcceptsThousandsOfTransponders)
{
    // 4096 sections fit; a 4097th in the list is refused by name.
    std::string text;
    for (int i = 0; i < 4096; ++i)
        text += "[Transponder" + std::to_string(i) + "]\nFrequency=" + std::to_string(100000 + 10 * i) +
                "\nBandwidth=4\nRfLevel=-" + std::to_string(i) + "\n";
    vttest::WithBand(text, [](const Exports& tuner) {
        std::string devices;
        ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        EXPECT_EQ(Tune(tuner, 100000 + 10 * 1100).RfLevel, -1100);
        EXPECT_EQ(Tune(tuner, 100000 + 10 * 4095).RfLevel, -4095);
        tressel::TransponderInfo table[200];
        uint32_t count = 150;
        ASSERT_EQ(tuner.Tressel(100000 + 10 * 3000, 200000000, 8000, 8000, 0, table, &count, nullptr), 1);
        EXPECT_EQ(count, 50u);
        EXPECT_EQ(table[49].RfLevel, -3049);
    });
    vttest::WithBand(text + "[Transponder4096]\nFrequency=900000\n", [](const Exports& tuner) {
        std::string devices;
        EXPECT_EQ(vttest::CheckDevices(tuner, &devices), 0);
        EXPECT_EQ(vttest::TunerStderr(), "virtual tuner: " + vttest::BandPath() +
                                             ": [Transponder4096] Frequency: more than 4096 transponders\n");
    });
}

// Runs calls with standard output sent to a file; returns what they wrote.
template <typename Calls>
std::string StandardOutputOf(const Calls& calls)
{
    testsupport::TempDir dir;
    std::string path = dir.File("stdout.txt");
    fflush(stdout);
    int saved = dup(1);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 1);
    close(fd);
    calls();
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    return testsupport::ReadFile(path);
}

TEST(VirtualTunerBandFile, NothingGoesToStandardOutput)
{
    vttest::WithBand("[Transponder0]\nFrequency=474000\nSnr=bad\n", [](const Exports& tuner) {
        std::string devices;
        EXPECT_EQ(StandardOutputOf([&] { vttest::CheckDevices(tuner, &devices); }), "");
        EXPECT_NE(vttest::TunerStderr(), "");
    });
    vttest::WithBuiltInBand([](const Exports& tuner) {
        std::string devices;
        std::string out = StandardOutputOf([&] {
            vttest::CheckDevices(tuner, &devices);
            tuner.StartDVBEx(0);
            tuner.SetChannel2Ex(474000, 8000, 0, 0);
            tressel::TransponderInfo table[200];
            tuner.SignalInfo2(&table[0]);
            uint32_t count = 0;
            tuner.Tressel(474000, 474000, 8000, 8000, 0, table, &count, nullptr);
            tuner.StopDVB();
        });
        EXPECT_EQ(out, "");
    });
}

TEST(VirtualTunerBandFile, EmptyVariableMeansTheBuiltInBand)
{
    vttest::WithBandPath("", [](const Exports& tuner) {
        std::string devices;
        EXPECT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        EXPECT_EQ(devices, "0:Virtual DVB-T/T2/C tuner\n");
        EXPECT_EQ(Tune(tuner, 474000).Frequency, 474166u);
        EXPECT_EQ(vttest::TunerStderr(), "");
    });
}

} // namespace
