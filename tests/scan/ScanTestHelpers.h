// Shared pieces of the scan tests: a table with a guard band behind it, and
// the texts every engine prints.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "support/FakeServices.h"
#include "support/FakeTuner.h"
#include "support/TestSupport.h"
#include "tuner/TransponderInfo.h"

namespace scantest {

// The 80-dash rule of the closing block, with its line feed.
inline std::string Rule()
{
    return std::string(80, '-') + "\n";
}

inline std::string Closing(const char* seconds)
{
    return Rule() + "Scan Time = " + seconds + "s\n" + Rule();
}

// A pass table followed by a guard band, so that a write past the 200
// records shows up as a changed guard instead of passing unnoticed.
struct GuardedTable {
    tressel::TransponderTable Table;
    unsigned char Guard[4 * sizeof(tressel::TransponderInfo)];

    GuardedTable()
    {
        memset(&Table, 0, sizeof Table);
        memset(Guard, 0x5C, sizeof Guard);
    }
    tressel::TransponderInfo* Records() { return Table.Records; }
    bool GuardIntact() const
    {
        for (unsigned char b : Guard)
            if (b != 0x5C)
                return false;
        return true;
    }
    // Fills the first n records with distinct frequencies far below any band
    // the tests tune, so that none of them makes a duplicate.
    void FillFar(uint32_t n)
    {
        for (uint32_t i = 0; i < n; ++i) {
            Table.Records[i].Locked = 1;
            Table.Records[i].Frequency = 1000 + 2000 * i;
        }
    }
    bool InTable(const tressel::TransponderInfo* p) const
    {
        return p >= Table.Records && p < Table.Records + tressel::kTableCapacity;
    }
};

// What every engine test needs: the fake library, clock and sleep, the
// captured console, a guarded table and the abort flag.
class EngineTest : public ::testing::Test {
protected:
    testsupport::FakeServices services;
    testsupport::FakeTuner tuner;
    testsupport::ConsoleCapture console;
    GuardedTable table;
    int32_t abortFlag = 0;

    testsupport::FakeTunerState& Tuner() { return tuner.State(); }
    testsupport::FakeServicesState& Clock() { return services.State(); }
};

} // namespace scantest
