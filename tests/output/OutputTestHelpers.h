// Records, a fixed local time and file helpers for the output writers' tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/Services.h"
#include "support/TestSupport.h"
#include "tuner/TransponderInfo.h"

namespace outputtest {

// A record as the tuner library fills it, locked, every other field zero.
inline tressel::TransponderInfo Record(uint32_t standard, uint32_t frequencyKhz)
{
    tressel::TransponderInfo record;
    std::memset(&record, 0, sizeof record);
    record.Locked = 1;
    record.Standard = standard;
    record.Frequency = frequencyKhz;
    return record;
}

inline void SetPlps(tressel::TransponderInfo* record, std::initializer_list<uint8_t> ids)
{
    record->PlpCount = static_cast<uint32_t>(ids.size());
    uint32_t k = 0;
    for (uint8_t id : ids)
        record->PlpIds[k++] = id;
}

inline std::string GoldenFile(const std::string& name)
{
    return testsupport::ReadFile(std::string(TRESSEL_SOURCE_DIR) + "/tests/golden/" + name);
}

// The local time that the list writer's date stamp reads; 9:05 on 7 March
// 2014 unless a test sets another.
inline tressel::LocalTime gFakeNow = {2014, 3, 7, 9, 5};

inline int FakeLocalTime(tressel::LocalTime* out)
{
    *out = gFakeNow;
    return 0;
}

// Every output test runs on the fixed time and gets its own directory.
class OutputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gFakeNow = {2014, 3, 7, 9, 5};
        tressel::gServices.LocalTimeNow = FakeLocalTime;
    }
    void TearDown() override { tressel::gServices = tressel::kPlatformServices; }

    std::string File(const std::string& name) const { return dir_.File(name); }

    testsupport::TempDir dir_;
};

// The lines of a text, without their line feeds.
inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

} // namespace outputtest
