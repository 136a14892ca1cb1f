// A fake clock, sleep and abort test for gServices, so that engine tests run
// a 50-channel sweep in milliseconds and choose the moment of an abort.
#pragma once

#include <cstdint>
#include <functional>

namespace testsupport {

struct FakeServicesState {
    uint32_t NowMs = 0;      // what ClockMs returns; SleepMs advances it
    uint32_t SleptMs = 0;    // total of all sleeps
    uint32_t SleepCalls = 0;
    uint32_t AbortTests = 0; // calls of AbortKeysDown so far
    // The abort test answers true on this call (1-based); 0: never.
    uint32_t AbortOnTest = 0;
    // When set, answers the abort test instead (given the 1-based call number).
    std::function<bool(uint32_t)> AbortWhen;
    // Runs at each abort test before it answers, for a test to look at the
    // console at that moment.
    std::function<void()> OnAbortTest;
};

// Installs the fake into gServices for the object's lifetime and restores
// the previous services afterwards. One at a time.
class FakeServices {
public:
    FakeServices();
    ~FakeServices();
    FakeServices(const FakeServices&) = delete;
    FakeServices& operator=(const FakeServices&) = delete;
    FakeServicesState& State();
};

// The installed fake's state (valid while a FakeServices object lives).
FakeServicesState& FakeServicesNow();

// Moves the fake clock on, as time spent in a call would.
void AdvanceFakeClock(uint32_t ms);

} // namespace testsupport
