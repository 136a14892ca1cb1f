// The wait windows and symbol rates from the environment: defaults, every
// variable, and values that are refused.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "DvbSettings.h"

namespace {

std::map<std::string, std::string> gEnvironment;

const char* Lookup(const char* name)
{
    auto found = gEnvironment.find(name);
    return found == gEnvironment.end() ? nullptr : found->second.c_str();
}

TEST(DvbSettings, DefaultsFindSlowDvbT2LocksAndTryBothCableRates)
{
    gEnvironment.clear();
    tressel::dvb::DvbSettings s = tressel::dvb::ReadDvbSettings(Lookup);
    EXPECT_LE(s.CarrierMs, 1000u);
    EXPECT_GE(s.LockMsDvbT2, 2500u);
    EXPECT_GT(s.LockMsDvbT2, s.LockMsDvbT);
    ASSERT_EQ(s.SymbolRateCount, 2u);
    EXPECT_EQ(s.SymbolRates[0], 6900000u);
    EXPECT_EQ(s.SymbolRates[1], 6875000u);
}

TEST(DvbSettings, EveryVariableOverridesItsDefault)
{
    gEnvironment = {{"TRESSEL_DVB_CARRIER_MS", "250"},     {"TRESSEL_DVB_LOCK_MS_DVBT", "1100"},
                    {"TRESSEL_DVB_LOCK_MS_DVBT2", "4000"}, {"TRESSEL_DVB_LOCK_MS_DVBC", "700"},
                    {"TRESSEL_DVB_LOCK_MS_ATSC", "1300"},  {"TRESSEL_DVB_LOCK_MS_ISDBT", "1400"},
                    {"TRESSEL_DVB_TABLES_MS", "900"},      {"TRESSEL_DVB_SYMBOL_RATES", "6111, 6900,5217"}};
    tressel::dvb::DvbSettings s = tressel::dvb::ReadDvbSettings(Lookup);
    EXPECT_EQ(s.CarrierMs, 250u);
    EXPECT_EQ(s.LockMsDvbT, 1100u);
    EXPECT_EQ(s.LockMsDvbT2, 4000u);
    EXPECT_EQ(s.LockMsCable, 700u);
    EXPECT_EQ(s.LockMsAtsc, 1300u);
    EXPECT_EQ(s.LockMsIsdbT, 1400u);
    EXPECT_EQ(s.TablesMs, 900u);
    ASSERT_EQ(s.SymbolRateCount, 3u);
    EXPECT_EQ(s.SymbolRates[0], 6111000u);
    EXPECT_EQ(s.SymbolRates[1], 6900000u);
    EXPECT_EQ(s.SymbolRates[2], 5217000u);
}

TEST(DvbSettings, ValuesThatAreNoNumbersKeepTheDefaults)
{
    tressel::dvb::DvbSettings defaults = tressel::dvb::DefaultDvbSettings();
    for (const char* bad : {"-5", "fast", "12ms", "99999999", ""}) {
        gEnvironment = {{"TRESSEL_DVB_CARRIER_MS", bad}, {"TRESSEL_DVB_SYMBOL_RATES", bad}};
        tressel::dvb::DvbSettings s = tressel::dvb::ReadDvbSettings(Lookup);
        EXPECT_EQ(s.CarrierMs, defaults.CarrierMs) << bad;
        EXPECT_EQ(s.SymbolRateCount, defaults.SymbolRateCount) << bad;
    }
    gEnvironment = {{"TRESSEL_DVB_SYMBOL_RATES", "6900,0"}};
    EXPECT_EQ(tressel::dvb::ReadDvbSettings(Lookup).SymbolRateCount, 2u);
    gEnvironment = {{"TRESSEL_DVB_SYMBOL_RATES", "1,2,3,4,5,6,7,8,9"}};
    EXPECT_EQ(tressel::dvb::ReadDvbSettings(Lookup).SymbolRates[0], 6900000u);
}

} // namespace
