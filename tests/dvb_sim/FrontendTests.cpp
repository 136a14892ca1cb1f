// The simulated frontend's model of a kernel driver, driven with an
// injected clock: tuning, the status as time passes, read-back profiles and
// statistics.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>

#include <linux/dvb/frontend.h>
#include <linux/dvb/version.h>

#include "Frontend.h"
#include "SimCodes.h"
#include "SimTestHelpers.h"

using namespace tressel;
using namespace tressel::dvbsim;
using namespace simtest;

namespace {

constexpr uint64_t kT0 = 1000000000; // an arbitrary clock reading, microseconds
constexpr uint64_t kMs = 1000;

const std::string kBand = R"(
[Devices]
Count=2
Name0=Sim frontend
Systems0=DVBT,DVBT2,DVBC_ANNEX_A
Name1=ATSC frontend
Systems1=ATSC,DVBC_ANNEX_B
MinFrequency1=54000
MaxFrequency1=858000

[Transponder0]
Frequency=474000
Bandwidth=8000
Standard=6
Modulation=20
Fec=2
FecLp=1
Spectrum=2
TransmissionMode=4
GuardInterval=3
Hierarchy=2
RfLevel=-52
Snr=27.25

[Transponder1]
Frequency=490000
Bandwidth=8000
Standard=7
Modulation=22
Fec=13
TransmissionMode=6
GuardInterval=7
PlpIds=4,9
RfLevel=-61
Snr=31.5
CarrierMs=200
LockMs=1800

[Transponder2]
Frequency=346000
Bandwidth=8000
SymbolRate=6875000
Standard=8
Modulation=22
Fec=0
RfLevel=-40
Snr=36

[Transponder3]
Frequency=522000
Bandwidth=8000
Standard=6
Modulation=20
CarrierMs=100
NeverLocks=1
RfLevel=-80
Snr=3

[Transponder4]
Frequency=557000
Bandwidth=6000
Standard=10
Modulation=16
RfLevel=-45
Snr=25

[Transponder5]
Frequency=561000
Bandwidth=6000
SymbolRate=5360537
Standard=10
Modulation=22
RfLevel=-47
Snr=33
CaptureKHz=50
)";

struct Fixture {
    std::unique_ptr<vt::Band> Band = BandFromText(kBand);
    FrontendState Fe;

    explicit Fixture(uint32_t device = 0) { FrontendInit(&Fe, Band.get(), device); }

    int Set(uint32_t command, uint32_t data, uint64_t now = kT0)
    {
        return FrontendSet(&Fe, Band.get(), command, data, now);
    }

    // DTV_CLEAR, the system, the frequency (kHz) and the extras, then DTV_TUNE.
    int Tune(uint32_t system, uint32_t khz, uint32_t symbolRate = 0, uint64_t now = kT0)
    {
        EXPECT_EQ(Set(DTV_CLEAR, 0), 0);
        int result = Set(DTV_DELIVERY_SYSTEM, system);
        if (result != 0)
            return result;
        EXPECT_EQ(Set(DTV_FREQUENCY, khz * 1000u), 0);
        if (symbolRate != 0) {
            EXPECT_EQ(Set(DTV_SYMBOL_RATE, symbolRate), 0);
        }
        // The cache keeps the modulation of the system it was cleared in
        // (8VSB for ATSC): US cable QAM must say so.
        if (system == SYS_DVBC_ANNEX_B) {
            EXPECT_EQ(Set(DTV_MODULATION, QAM_AUTO), 0);
        }
        return Set(DTV_TUNE, 0, now);
    }

    uint32_t Status(uint64_t now) { return FrontendStatus(&Fe, Band.get(), now); }

    uint32_t Get(uint32_t command, uint64_t now)
    {
        dtv_property p;
        memset(&p, 0, sizeof p);
        p.cmd = command;
        EXPECT_EQ(FrontendGet(&Fe, Band.get(), &p, now), 0) << command;
        return p.u.data;
    }

    // The kernel's statistics record is packed: its fields are copied out.
    struct Statistic {
        uint8_t scale;
        uint64_t uvalue;
        int64_t svalue;
    };

    Statistic Stat(uint32_t command, uint64_t now)
    {
        dtv_property p;
        memset(&p, 0, sizeof p);
        p.cmd = command;
        EXPECT_EQ(FrontendGet(&Fe, Band.get(), &p, now), 0) << command;
        EXPECT_EQ(p.u.st.len, 1);
        return {p.u.st.stat[0].scale, p.u.st.stat[0].uvalue, p.u.st.stat[0].svalue};
    }
};

constexpr uint32_t kLock = FE_HAS_SIGNAL | FE_HAS_CARRIER | FE_HAS_VITERBI | FE_HAS_SYNC | FE_HAS_LOCK;
constexpr uint32_t kCarrier = FE_HAS_SIGNAL | FE_HAS_CARRIER;

TEST(FrontendInfo, ReportsNameRangeAndDeliverySystems)
{
    Fixture f;
    dvb_frontend_info info;
    FrontendInfo(&f.Fe, f.Band.get(), &info);
    EXPECT_STREQ(info.name, "Sim frontend");
    EXPECT_EQ(info.type, FE_OFDM) << "the first system is DVB-T";
    EXPECT_EQ(info.frequency_min, 42000000u) << "Hz for terrestrial and cable";
    EXPECT_EQ(info.frequency_max, 1002000000u);
    EXPECT_NE(info.caps & FE_CAN_QAM_AUTO, 0u);
    EXPECT_NE(info.caps & FE_CAN_2G_MODULATION, 0u);
    EXPECT_EQ(f.Set(DTV_DELIVERY_SYSTEM, SYS_DVBC_ANNEX_A), 0);
    FrontendInfo(&f.Fe, f.Band.get(), &info);
    EXPECT_EQ(info.type, FE_QAM) << "the type follows the system";

    EXPECT_EQ(f.Get(DTV_API_VERSION, kT0), (uint32_t{DVB_API_VERSION} << 8) | DVB_API_VERSION_MINOR);
    dtv_property p;
    memset(&p, 0, sizeof p);
    p.cmd = DTV_ENUM_DELSYS;
    ASSERT_EQ(FrontendGet(&f.Fe, f.Band.get(), &p, kT0), 0);
    ASSERT_EQ(p.u.buffer.len, 3u);
    EXPECT_EQ(p.u.buffer.data[0], SYS_DVBT);
    EXPECT_EQ(p.u.buffer.data[1], SYS_DVBT2);
    EXPECT_EQ(p.u.buffer.data[2], SYS_DVBC_ANNEX_A);

    Fixture atsc(1);
    FrontendInfo(&atsc.Fe, atsc.Band.get(), &info);
    EXPECT_STREQ(info.name, "ATSC frontend");
    EXPECT_EQ(info.type, FE_ATSC);
    EXPECT_EQ(info.frequency_min, 54000000u);
    EXPECT_NE(info.caps & FE_CAN_8VSB, 0u);
}

TEST(FrontendTune, SystemsAndRangesTheFrontendLacksAreRefused)
{
    Fixture f;
    EXPECT_EQ(f.Set(DTV_DELIVERY_SYSTEM, SYS_ATSC), -EINVAL);
    EXPECT_EQ(f.Set(DTV_DELIVERY_SYSTEM, SYS_ISDBT), -EINVAL) << "ISDB-T has no DVBv3 emulation";
    EXPECT_EQ(f.Get(DTV_DELIVERY_SYSTEM, kT0), SYS_DVBT) << "a refused system changes nothing";
    EXPECT_EQ(f.Set(DTV_DELIVERY_SYSTEM, SYS_UNDEFINED), 0) << "old programs: the first system";
    EXPECT_EQ(f.Get(DTV_DELIVERY_SYSTEM, kT0), SYS_DVBT);
    EXPECT_EQ(f.Tune(SYS_DVBT, 41000), -EINVAL) << "below the range";
    EXPECT_EQ(f.Tune(SYS_DVBT, 1003000), -EINVAL) << "above the range";
    EXPECT_EQ(f.Tune(SYS_DVBC_ANNEX_A, 346000, 0), -EINVAL) << "cable without a symbol rate";
    EXPECT_EQ(f.Tune(SYS_DVBT, 474000), 0);
}

TEST(FrontendTune, DvbV3SystemsAreEmulatedByTheLastOfTheirType)
{
    std::string text = kBand;
    text.replace(text.find("Systems0=DVBT,DVBT2,DVBC_ANNEX_A"), 32, "Systems0=ISDBT,DVBT2,DVBC_ANNEX_C");
    Fixture f;
    f.Band = BandFromText(text);
    FrontendInit(&f.Fe, f.Band.get(), 0);
    EXPECT_EQ(f.Set(DTV_DELIVERY_SYSTEM, SYS_DVBT), 0);
    EXPECT_EQ(f.Get(DTV_DELIVERY_SYSTEM, kT0), SYS_DVBT2);
    EXPECT_EQ(f.Set(DTV_DELIVERY_SYSTEM, SYS_DVBC_ANNEX_A), 0);
    EXPECT_EQ(f.Get(DTV_DELIVERY_SYSTEM, kT0), SYS_DVBC_ANNEX_C);
    EXPECT_EQ(f.Set(DTV_DELIVERY_SYSTEM, SYS_ATSC), -EINVAL);
}

TEST(FrontendTune, WhichTuneReachesWhichTransponder)
{
    struct Case {
        const char* Name;
        uint32_t Device, System, KHz, SymbolRate;
        int32_t Transponder;
    };
    const Case cases[] = {
        {"DVB-T on its frequency", 0, SYS_DVBT, 474000, 0, 0},
        {"DVB-T within 250 kHz", 0, SYS_DVBT, 474250, 0, 0},
        {"DVB-T beyond 250 kHz", 0, SYS_DVBT, 474251, 0, -1},
        {"DVB-T2 needs DVB-T2", 0, SYS_DVBT, 490000, 0, -1},
        {"DVB-T2", 0, SYS_DVBT2, 490000, 0, 1},
        {"DVB-T is not DVB-T2", 0, SYS_DVBT2, 474000, 0, -1},
        {"cable at its symbol rate", 0, SYS_DVBC_ANNEX_A, 346000, 6875000, 2},
        {"cable within 1 kS/s", 0, SYS_DVBC_ANNEX_A, 346000, 6876000, 2},
        {"cable at the other common rate", 0, SYS_DVBC_ANNEX_A, 346000, 6900000, -1},
        {"no transponder", 0, SYS_DVBT, 506000, 0, -1},
        {"a carrier that never locks", 0, SYS_DVBT, 522000, 0, 3},
        {"ATSC 8VSB", 1, SYS_ATSC, 557000, 0, 4},
        {"US cable QAM is Annex B", 1, SYS_DVBC_ANNEX_B, 561000, 0, 5},
        {"8VSB is not Annex B", 1, SYS_DVBC_ANNEX_B, 557000, 0, -1},
        {"CaptureKHz narrows the window", 1, SYS_DVBC_ANNEX_B, 561060, 0, -1},
    };
    for (const Case& c : cases) {
        Fixture f(c.Device);
        ASSERT_EQ(f.Tune(c.System, c.KHz, c.SymbolRate), 0) << c.Name;
        EXPECT_EQ(f.Fe.Transponder, c.Transponder) << c.Name;
    }
}

TEST(FrontendTune, ParametersSetToAValueMustBeTheTransponders)
{
    struct Case {
        const char* Name;
        uint32_t Command, Value;
        bool Locks;
    };
    const Case cases[] = {
        {"right modulation", DTV_MODULATION, QAM_64, true},
        {"wrong modulation", DTV_MODULATION, QAM_16, false},
        {"right code rate", DTV_CODE_RATE_HP, FEC_2_3, true},
        {"wrong code rate", DTV_CODE_RATE_HP, FEC_3_4, false},
        {"wrong guard", DTV_GUARD_INTERVAL, GUARD_INTERVAL_1_32, false},
        {"wrong mode", DTV_TRANSMISSION_MODE, TRANSMISSION_MODE_2K, false},
        {"wrong hierarchy", DTV_HIERARCHY, HIERARCHY_NONE, false},
        {"right bandwidth", DTV_BANDWIDTH_HZ, 8000000, true},
        {"wrong bandwidth", DTV_BANDWIDTH_HZ, 7000000, false},
    };
    for (const Case& c : cases) {
        Fixture f;
        EXPECT_EQ(f.Set(DTV_CLEAR, 0), 0);
        EXPECT_EQ(f.Set(DTV_FREQUENCY, 474000000), 0);
        EXPECT_EQ(f.Set(c.Command, c.Value), 0);
        EXPECT_EQ(f.Set(DTV_TUNE, 0), 0);
        EXPECT_EQ(f.Fe.Transponder >= 0, c.Locks) << c.Name;
    }
}

TEST(FrontendStatus, LockComesOnlyAfterTheTransponderTimes)
{
    Fixture f;
    EXPECT_EQ(f.Status(kT0), 0u) << "never tuned";
    ASSERT_EQ(f.Tune(SYS_DVBT2, 490000), 0);
    struct Step {
        uint64_t AfterMs;
        uint32_t Status;
    };
    const Step steps[] = {{0, 0}, {199, 0}, {200, kCarrier}, {1799, kCarrier}, {1800, kLock}, {60000, kLock}};
    for (const Step& s : steps)
        EXPECT_EQ(f.Status(kT0 + s.AfterMs * kMs), s.Status) << s.AfterMs << " ms";
    EXPECT_EQ(FrontendNextChange(&f.Fe, f.Band.get(), kT0 + 10 * kMs), kT0 + 200 * kMs);
    EXPECT_EQ(FrontendNextChange(&f.Fe, f.Band.get(), kT0 + 200 * kMs), kT0 + 1800 * kMs);
    EXPECT_EQ(FrontendNextChange(&f.Fe, f.Band.get(), kT0 + 1800 * kMs), UINT64_MAX);

    // Right after any tune the retune is pending: status 0, even for a
    // transponder that locks at once.
    ASSERT_EQ(f.Tune(SYS_DVBT, 474000, 0, kT0 + 5000 * kMs), 0);
    EXPECT_EQ(f.Status(kT0 + 5000 * kMs), 0u);
    EXPECT_EQ(f.Status(kT0 + 5000 * kMs + kRetunePendingUs), kLock);

    ASSERT_EQ(f.Tune(SYS_DVBT, 522000, 0, kT0), 0);
    EXPECT_EQ(f.Status(kT0 + 100 * kMs), kCarrier);
    EXPECT_EQ(f.Status(kT0 + 3600000 * kMs), kCarrier) << "NeverLocks";

    ASSERT_EQ(f.Tune(SYS_DVBT, 506000, 0, kT0), 0);
    EXPECT_EQ(f.Status(kT0 + 3600000 * kMs), 0u) << "nothing there";
    EXPECT_EQ(FrontendNextChange(&f.Fe, f.Band.get(), kT0), UINT64_MAX);
}

// Every property a scanner reads back after a lock, per profile.
TEST(FrontendProfiles, ReadbackGivesTheTransponderAutoGivesWhatWasSet)
{
    struct Expect {
        uint32_t Command, Readback, Auto;
    };
    const Expect dvbt[] = {
        {DTV_FREQUENCY, 474000000, 474100000},
        {DTV_BANDWIDTH_HZ, 8000000, 0},
        {DTV_MODULATION, QAM_64, QAM_AUTO},
        {DTV_CODE_RATE_HP, FEC_2_3, FEC_AUTO},
        {DTV_CODE_RATE_LP, FEC_1_2, FEC_AUTO},
        {DTV_GUARD_INTERVAL, GUARD_INTERVAL_1_8, GUARD_INTERVAL_AUTO},
        {DTV_TRANSMISSION_MODE, TRANSMISSION_MODE_8K, TRANSMISSION_MODE_AUTO},
        {DTV_HIERARCHY, HIERARCHY_2, HIERARCHY_AUTO},
        {DTV_INVERSION, INVERSION_ON, INVERSION_AUTO},
        {DTV_DELIVERY_SYSTEM, SYS_DVBT, SYS_DVBT},
    };
    const Expect dvbt2[] = {
        {DTV_MODULATION, QAM_256, QAM_AUTO},
        {DTV_CODE_RATE_HP, FEC_3_5, FEC_AUTO},
        {DTV_GUARD_INTERVAL, GUARD_INTERVAL_19_256, GUARD_INTERVAL_AUTO},
        {DTV_TRANSMISSION_MODE, TRANSMISSION_MODE_32K, TRANSMISSION_MODE_AUTO},
        {DTV_STREAM_ID, 4, NO_STREAM_ID_FILTER},
        {DTV_INVERSION, INVERSION_AUTO, INVERSION_AUTO},
    };
    const Expect cable[] = {
        {DTV_FREQUENCY, 346000000, 346000000},
        {DTV_SYMBOL_RATE, 6875000, 6875500},
        {DTV_MODULATION, QAM_256, QAM_AUTO},
        {DTV_INNER_FEC, FEC_NONE, FEC_AUTO},
        {DTV_BANDWIDTH_HZ, 9281925, 9281925}, // the kernel fills it from the tuned rate
    };
    struct Case {
        const char* Name;
        uint32_t System, KHz, SymbolRate;
        const Expect* Rows;
        size_t Count;
    };
    const Case cases[] = {
        {"DVB-T", SYS_DVBT, 474100, 0, dvbt, sizeof dvbt / sizeof dvbt[0]},
        {"DVB-T2", SYS_DVBT2, 490000, 0, dvbt2, sizeof dvbt2 / sizeof dvbt2[0]},
        {"DVB-C", SYS_DVBC_ANNEX_A, 346000, 6875500, cable, sizeof cable / sizeof cable[0]},
    };
    const char* profiles[] = {"readback", "auto", "relative"};
    for (const char* profile : profiles) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(profile) + " " + c.Name);
            std::string text = kBand;
            text.replace(text.find("Count=2"), 7, std::string("Count=2\nProfile0=") + profile);
            Fixture f;
            f.Band = BandFromText(text);
            FrontendInit(&f.Fe, f.Band.get(), 0);
            ASSERT_EQ(f.Tune(c.System, c.KHz, c.SymbolRate), 0);
            uint64_t locked = kT0 + 2000 * kMs;
            ASSERT_EQ(f.Status(locked), kLock);
            bool readback = std::string(profile) != "auto";
            for (size_t i = 0; i < c.Count; ++i) {
                const Expect& e = c.Rows[i];
                EXPECT_EQ(f.Get(e.Command, locked), readback ? e.Readback : e.Auto) << "command " << e.Command;
                // Before the lock every profile answers what was set.
                EXPECT_EQ(f.Get(e.Command, kT0), e.Auto) << "command " << e.Command << " before the lock";
            }
        }
    }
}

TEST(FrontendStatistics, DecibelScaleUnlessTheProfileIsRelative)
{
    for (const char* profile : {"readback", "auto", "relative"}) {
        SCOPED_TRACE(profile);
        std::string text = kBand;
        text.replace(text.find("Count=2"), 7, std::string("Count=2\nProfile0=") + profile);
        Fixture f;
        f.Band = BandFromText(text);
        FrontendInit(&f.Fe, f.Band.get(), 0);
        ASSERT_EQ(f.Tune(SYS_DVBT2, 490000), 0);
        bool relative = std::string(profile) == "relative";

        Fixture::Statistic none = f.Stat(DTV_STAT_SIGNAL_STRENGTH, kT0 + 100 * kMs);
        EXPECT_EQ(none.scale, FE_SCALE_NOT_AVAILABLE) << "no carrier yet";
        Fixture::Statistic carrierOnly = f.Stat(DTV_STAT_CNR, kT0 + 500 * kMs);
        EXPECT_EQ(carrierOnly.scale, FE_SCALE_NOT_AVAILABLE) << "CNR waits for the lock";
        Fixture::Statistic early = f.Stat(DTV_STAT_SIGNAL_STRENGTH, kT0 + 500 * kMs);
        EXPECT_EQ(early.scale, relative ? FE_SCALE_RELATIVE : FE_SCALE_DECIBEL) << "a carrier has a level";

        uint64_t locked = kT0 + 2000 * kMs;
        Fixture::Statistic signal = f.Stat(DTV_STAT_SIGNAL_STRENGTH, locked);
        Fixture::Statistic cnr = f.Stat(DTV_STAT_CNR, locked);
        if (relative) {
            EXPECT_EQ(signal.scale, FE_SCALE_RELATIVE);
            EXPECT_EQ(signal.uvalue, static_cast<uint64_t>((100.0 - 61.0) / 80.0 * 65535.0));
            EXPECT_EQ(cnr.scale, FE_SCALE_RELATIVE);
            EXPECT_EQ(cnr.uvalue, static_cast<uint64_t>(31.5 / 40.0 * 65535.0));
        } else {
            EXPECT_EQ(signal.scale, FE_SCALE_DECIBEL);
            EXPECT_EQ(signal.svalue, -61000) << "0.001 dBm";
            EXPECT_EQ(cnr.scale, FE_SCALE_DECIBEL);
            EXPECT_EQ(cnr.svalue, 31500) << "0.001 dB";
        }
        Fixture::Statistic errors = f.Stat(DTV_STAT_POST_ERROR_BIT_COUNT, locked);
        Fixture::Statistic total = f.Stat(DTV_STAT_POST_TOTAL_BIT_COUNT, locked);
        EXPECT_EQ(errors.scale, FE_SCALE_COUNTER);
        EXPECT_EQ(errors.uvalue, 0u);
        EXPECT_EQ(total.scale, FE_SCALE_COUNTER);
        EXPECT_GT(total.uvalue, 0u);
        EXPECT_GT(f.Stat(DTV_STAT_POST_TOTAL_BIT_COUNT, locked + 1000 * kMs).uvalue, total.uvalue);

        EXPECT_EQ(FrontendOldSignal(&f.Fe, f.Band.get(), kT0 + 100 * kMs), 0);
        EXPECT_GT(FrontendOldSignal(&f.Fe, f.Band.get(), locked), 0);
        EXPECT_GT(FrontendOldSnr(&f.Fe, f.Band.get(), locked), 0);
    }
}

TEST(FrontendStatistics, NanSnrIsNotAvailable)
{
    std::string text = kBand;
    text.replace(text.find("Snr=27.25"), 9, "Snr=nan");
    Fixture f;
    f.Band = BandFromText(text);
    FrontendInit(&f.Fe, f.Band.get(), 0);
    ASSERT_EQ(f.Tune(SYS_DVBT, 474000), 0);
    EXPECT_EQ(f.Stat(DTV_STAT_CNR, kT0 + 10 * kMs).scale, FE_SCALE_NOT_AVAILABLE);
}

TEST(FrontendVanish, GoneAfterTheNthTune)
{
    std::string text = kBand;
    text.replace(text.find("Count=2"), 7, "Count=2\nVanishAfterTunes0=2");
    Fixture f;
    f.Band = BandFromText(text);
    FrontendInit(&f.Fe, f.Band.get(), 0);
    ASSERT_EQ(f.Tune(SYS_DVBT, 474000), 0);
    EXPECT_FALSE(f.Fe.Gone);
    ASSERT_EQ(f.Tune(SYS_DVBT, 482000), 0) << "the n-th tune itself succeeds";
    EXPECT_TRUE(f.Fe.Gone);
    EXPECT_EQ(f.Set(DTV_CLEAR, 0), -ENODEV);
    dtv_property p;
    memset(&p, 0, sizeof p);
    p.cmd = DTV_FREQUENCY;
    EXPECT_EQ(FrontendGet(&f.Fe, f.Band.get(), &p, kT0), -ENODEV);
}

TEST(FrontendCache, ClearResetsEverythingButTheSystem)
{
    Fixture f;
    ASSERT_EQ(f.Set(DTV_DELIVERY_SYSTEM, SYS_DVBT2), 0);
    ASSERT_EQ(f.Set(DTV_FREQUENCY, 490000000), 0);
    ASSERT_EQ(f.Set(DTV_STREAM_ID, 9), 0);
    ASSERT_EQ(f.Set(DTV_MODULATION, QAM_16), 0);
    ASSERT_EQ(f.Set(DTV_CLEAR, 0), 0);
    EXPECT_EQ(f.Get(DTV_DELIVERY_SYSTEM, kT0), SYS_DVBT2);
    EXPECT_EQ(f.Get(DTV_FREQUENCY, kT0), 0u);
    EXPECT_EQ(f.Get(DTV_STREAM_ID, kT0), NO_STREAM_ID_FILTER);
    EXPECT_EQ(f.Get(DTV_MODULATION, kT0), QAM_AUTO);
    EXPECT_EQ(f.Set(DTV_MAX_COMMAND + 1, 0), -EINVAL);
}

// The record's codes as the kernel's values, one table for every field the
// simulator reports.
TEST(KernelCodes, RecordCodesMapToKernelValues)
{
    struct Case {
        const char* Field;
        uint32_t (*Map)(uint32_t);
        uint32_t Code, Kernel;
    };
    const Case cases[] = {
        {"modulation QPSK", KernelModulation, 1, QPSK},
        {"modulation 16-QAM", KernelModulation, 18, QAM_16},
        {"modulation 32-QAM", KernelModulation, 19, QAM_32},
        {"modulation 64-QAM", KernelModulation, 20, QAM_64},
        {"modulation 128-QAM", KernelModulation, 21, QAM_128},
        {"modulation 256-QAM", KernelModulation, 22, QAM_256},
        {"modulation 8VSB", KernelModulation, 16, VSB_8},
        {"modulation 16VSB", KernelModulation, 17, VSB_16},
        {"modulation 1024-QAM", KernelModulation, 24, kKernelQam1024},
        {"modulation 4096-QAM", KernelModulation, 25, kKernelQam4096},
        {"modulation unknown", KernelModulation, 0, QAM_AUTO},
        {"code rate none", KernelCodeRate, 0, FEC_NONE},
        {"code rate 1/2", KernelCodeRate, 1, FEC_1_2},
        {"code rate 8/9", KernelCodeRate, 8, FEC_8_9},
        {"code rate 9/10", KernelCodeRate, 9, FEC_9_10},
        {"code rate 2/5", KernelCodeRate, 12, FEC_2_5},
        {"code rate 3/5", KernelCodeRate, 13, FEC_3_5},
        {"code rate 1/3", KernelCodeRate, 11, kKernelFec1_3},
        {"code rate 1/4", KernelCodeRate, 10, kKernelFec1_4},
        {"code rate 5/9", KernelCodeRate, 14, 15},
        {"code rate 77/90", KernelCodeRate, 27, 28},
        {"code rate unknown", KernelCodeRate, 99, FEC_AUTO},
        {"FFT 1K", KernelTransmissionMode, 1, TRANSMISSION_MODE_1K},
        {"FFT 2K", KernelTransmissionMode, 2, TRANSMISSION_MODE_2K},
        {"FFT 4K", KernelTransmissionMode, 3, TRANSMISSION_MODE_4K},
        {"FFT 8K", KernelTransmissionMode, 4, TRANSMISSION_MODE_8K},
        {"FFT 16K", KernelTransmissionMode, 5, TRANSMISSION_MODE_16K},
        {"FFT 32K", KernelTransmissionMode, 6, TRANSMISSION_MODE_32K},
        {"FFT unknown", KernelTransmissionMode, 0, TRANSMISSION_MODE_AUTO},
        {"guard 1/32", KernelGuardInterval, 1, GUARD_INTERVAL_1_32},
        {"guard 1/16", KernelGuardInterval, 2, GUARD_INTERVAL_1_16},
        {"guard 1/8", KernelGuardInterval, 3, GUARD_INTERVAL_1_8},
        {"guard 1/4", KernelGuardInterval, 4, GUARD_INTERVAL_1_4},
        {"guard 1/128", KernelGuardInterval, 5, GUARD_INTERVAL_1_128},
        {"guard 19/128", KernelGuardInterval, 6, GUARD_INTERVAL_19_128},
        {"guard 19/256", KernelGuardInterval, 7, GUARD_INTERVAL_19_256},
        {"guard 1/64", KernelGuardInterval, 8, kKernelGuard1_64},
        {"guard unknown", KernelGuardInterval, 0, GUARD_INTERVAL_AUTO},
        {"hierarchy none", KernelHierarchy, 0, HIERARCHY_NONE},
        {"hierarchy 1", KernelHierarchy, 1, HIERARCHY_1},
        {"hierarchy 2", KernelHierarchy, 2, HIERARCHY_2},
        {"hierarchy 4", KernelHierarchy, 3, HIERARCHY_4},
        {"spectrum normal", KernelInversion, 1, INVERSION_OFF},
        {"spectrum inverted", KernelInversion, 2, INVERSION_ON},
        {"spectrum unknown", KernelInversion, 0, INVERSION_AUTO},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.Map(c.Code), c.Kernel) << c.Field;
}

TEST(KernelCodes, StandardsMapToDeliverySystems)
{
    struct Case {
        uint32_t Standard, Modulation, System;
    };
    const Case cases[] = {
        {6, 20, SYS_DVBT}, {7, 22, SYS_DVBT2}, {8, 22, SYS_DVBC_ANNEX_A}, {9, 22, 0},
        {10, 16, SYS_ATSC}, {10, 20, SYS_DVBC_ANNEX_B}, {10, 22, SYS_DVBC_ANNEX_B}, {12, 20, SYS_ISDBT},
    };
    for (const Case& c : cases) {
        TransponderInfo t = {};
        t.Standard = c.Standard;
        t.Modulation = c.Modulation;
        EXPECT_EQ(KernelDeliverySystem(&t), c.System) << c.Standard << "/" << c.Modulation;
    }
    TransponderInfo cable = {};
    cable.Standard = 8;
    EXPECT_TRUE(SystemCarries(SYS_DVBC_ANNEX_C, &cable)) << "DVB-C locks as Annex C too";
    EXPECT_FALSE(SystemCarries(SYS_DVBC_ANNEX_B, &cable));
}

} // namespace
