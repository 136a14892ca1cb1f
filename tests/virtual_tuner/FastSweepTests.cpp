// The fast-scan export: which transponders it stores, in which order, how
// many fit, and what it reports through the callback and the count word.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TunerProcess.h"

using tressel::TransponderInfo;
using vttest::Exports;

namespace {

// File order scrambled; RfLevel = -(section number) names each section.
const char* const kBand =
    "[Transponder0]\nFrequency=650000\nBandwidth=8000\nStandard=7\nRfLevel=0\n"
    "[Transponder1]\nFrequency=474000\nBandwidth=8000\nStandard=6\nRfLevel=-1\n"
    "[Transponder2]\nFrequency=306000\nBandwidth=8000\nStandard=8\nRfLevel=-2\n"
    "[Transponder3]\nFrequency=650000\nBandwidth=8000\nStandard=6\nRfLevel=-3\n"
    "[Transponder4]\nFrequency=786000\nBandwidth=8000\nStandard=7\nRfLevel=-4\n"
    "[Transponder5]\nFrequency=474000\nBandwidth=8000\nStandard=7\nRfLevel=-5\n"
    "[Transponder6]\nFrequency=113000\nBandwidth=8000\nStandard=8\nRfLevel=-6\n"
    "[Transponder7]\nFrequency=500000\nBandwidth=8000\nStandard=7\nRfLevel=-7\n";

// One table with a guard after it, so that a write past the 200 records shows.
struct GuardedTable {
    TransponderInfo Records[tressel::kTableCapacity + 8];
};

constexpr unsigned char kUntouched = 0x5A;

// What the callback saw; checked by the test after the call.
struct SweepLog {
    TransponderInfo* First = nullptr;
    std::vector<int> Sections;     // RfLevel of each record reported, negated
    std::vector<std::string> Faults;
};
SweepLog* gLog = nullptr;

bool IsUntouched(const TransponderInfo* record)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(record);
    for (size_t i = 0; i < sizeof *record; ++i) {
        if (bytes[i] != kUntouched)
            return false;
    }
    return true;
}

int OnResult(TransponderInfo* record)
{
    size_t k = gLog->Sections.size();
    if (record != gLog->First + k)
        gLog->Faults.push_back("report " + std::to_string(k) + " is not first[" + std::to_string(k) + "]");
    if (IsUntouched(record) || record->Locked != 1)
        gLog->Faults.push_back("report " + std::to_string(k) + " came before its record was stored");
    if (!IsUntouched(record + 1))
        gLog->Faults.push_back("report " + std::to_string(k) + " came after the next record was stored");
    gLog->Sections.push_back(-record->RfLevel);
    return 0;
}

struct Sweep {
    uint32_t Start;
    uint32_t Stop;
    uint32_t Standard;
    uint32_t InTable;         // *countWord on entry
    std::vector<int> Sections; // expected, in order
};

// Runs one sweep and checks the stored records, the reports and the count.
void CheckSweep(const Exports& tuner, const Sweep& s, uint32_t expectedCountWord)
{
    static GuardedTable table;
    memset(&table, kUntouched, sizeof table);
    SweepLog log;
    uint32_t first = s.InTable < tressel::kTableCapacity ? s.InTable : tressel::kTableCapacity;
    log.First = &table.Records[first];
    gLog = &log;
    uint32_t countWord = s.InTable;
    ASSERT_EQ(tuner.Tressel(s.Start, s.Stop, 8000, 8000, s.Standard, log.First, &countWord, OnResult), 1);
    gLog = nullptr;
    EXPECT_EQ(countWord, expectedCountWord);
    EXPECT_EQ(log.Sections, s.Sections);
    for (const std::string& fault : log.Faults)
        ADD_FAILURE() << fault;
    for (size_t k = 0; k < s.Sections.size(); ++k) {
        const TransponderInfo& r = log.First[k];
        EXPECT_EQ(r.Locked, 1u) << "record " << k;
        EXPECT_EQ(reinterpret_cast<const uint8_t*>(r.Reserved1)[0], 0xA5) << "record " << k;
        EXPECT_EQ(r.Reserved2[15], 0xA5) << "record " << k;
    }
    for (size_t k = first + s.Sections.size(); k < sizeof table.Records / sizeof table.Records[0]; ++k)
        EXPECT_TRUE(IsUntouched(&table.Records[k])) << "record " << k << " was written";
}

TEST(VirtualTunerFastSweep, StoresTheRangeOfTheStandardByAscendingFrequency)
{
    const Sweep sweeps[] = {
        {0, 0xFFFFFFFFu, 0, 0, {6, 2, 1, 5, 7, 0, 3, 4}}, // ties keep file order
        {474000, 786000, 0, 0, {1, 5, 7, 0, 3, 4}},       // both ends included
        {474001, 785999, 0, 0, {7, 0, 3}},
        {474000, 786000, 7, 0, {5, 7, 0, 4}},
        {474000, 786000, 6, 0, {1, 3}},
        {113000, 466000, 8, 0, {6, 2}},
        {113000, 466000, 6, 0, {}},
        {650000, 650000, 0, 0, {0, 3}},
        {786000, 474000, 0, 0, {}},                       // start above stop
        {0, 0xFFFFFFFFu, 0, 5, {6, 2, 1, 5, 7, 0, 3, 4}},
    };
    vttest::WithBand(kBand, [&](const Exports& tuner) {
        std::string devices;
        ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        for (const Sweep& s : sweeps) {
            SCOPED_TRACE(std::to_string(s.Start) + "-" + std::to_string(s.Stop) + " standard " +
                         std::to_string(s.Standard));
            CheckSweep(tuner, s, static_cast<uint32_t>(s.Sections.size()));
        }
    });
}

TEST(VirtualTunerFastSweep, StoresOnlyWhatFitsInTheTable)
{
    std::string text;
    for (int i = 0; i < 250; ++i)
        text += "[Transponder" + std::to_string(i) + "]\nFrequency=" + std::to_string(474000 + i) +
                "\nRfLevel=-" + std::to_string(i) + "\n";
    auto sections = [](int count) {
        std::vector<int> v;
        for (int i = 0; i < count; ++i)
            v.push_back(i);
        return v;
    };
    const Sweep sweeps[] = {
        {0, 0xFFFFFFFFu, 0, 0, sections(200)},
        {0, 0xFFFFFFFFu, 0, 1, sections(199)},
        {0, 0xFFFFFFFFu, 0, 197, sections(3)},
        {0, 0xFFFFFFFFu, 0, 199, sections(1)},
        {0, 0xFFFFFFFFu, 0, 200, {}},
        {0, 0xFFFFFFFFu, 0, 201, {}},
        {0, 0xFFFFFFFFu, 0, 0xFFFFFFFFu, {}},
        {474000, 474009, 0, 195, sections(5)},
        {474000, 474009, 0, 196, sections(4)},
    };
    vttest::WithBand(text, [&](const Exports& tuner) {
        std::string devices;
        ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        for (const Sweep& s : sweeps) {
            SCOPED_TRACE(std::to_string(s.InTable) + " records in the table");
            CheckSweep(tuner, s, static_cast<uint32_t>(s.Sections.size()));
        }
    });
}

TEST(VirtualTunerFastSweep, CountWordKeyOverridesTheCountButNotTheStores)
{
    const struct {
        const char* Value;
        uint32_t Expected;
    } cases[] = {{"4294967295", 0xFFFFFFFFu}, {"-1", 0xFFFFFFFFu}, {"0", 0u}, {"300", 300u}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("CountWord=") + c.Value);
        uint32_t expected = c.Expected;
        vttest::WithBand(std::string(kBand) + "[Faults]\nCountWord=" + c.Value + "\n", [&](const Exports& tuner) {
            std::string devices;
            ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
            CheckSweep(tuner, {474000, 786000, 7, 0, {5, 7, 0, 4}}, expected);
            CheckSweep(tuner, {474000, 786000, 7, 198, {5, 7}}, expected);
            CheckSweep(tuner, {474000, 786000, 7, 200, {}}, expected);
        });
    }
}

TEST(VirtualTunerFastSweep, WorksWithoutACallback)
{
    vttest::WithBand(kBand, [](const Exports& tuner) {
        std::string devices;
        ASSERT_EQ(vttest::CheckDevices(tuner, &devices), 1);
        TransponderInfo table[tressel::kTableCapacity];
        uint32_t count = 0;
        ASSERT_EQ(tuner.Tressel(113000, 466000, 8000, 8000, 8, table, &count, nullptr), 1);
        ASSERT_EQ(count, 2u);
        EXPECT_EQ(table[0].Frequency, 113000u);
        EXPECT_EQ(table[1].Frequency, 306000u);
    });
}

} // namespace
