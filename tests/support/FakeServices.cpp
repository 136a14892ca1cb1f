#include "support/FakeServices.h"

#include <stdexcept>

#include "common/Services.h"

namespace testsupport {
namespace {

FakeServicesState* gState = nullptr;
tressel::Services gSaved;

uint32_t FakeClockMs()
{
    return gState->NowMs;
}

void FakeSleepMs(uint32_t ms)
{
    gState->NowMs += ms;
    gState->SleptMs += ms;
    ++gState->SleepCalls;
}

bool FakeAbortKeysDown()
{
    uint32_t call = ++gState->AbortTests;
    if (gState->OnAbortTest)
        gState->OnAbortTest();
    if (gState->AbortWhen)
        return gState->AbortWhen(call);
    return gState->AbortOnTest != 0 && call == gState->AbortOnTest;
}

int FakeLocalTime(tressel::LocalTime* out)
{
    *out = tressel::LocalTime{2024, 5, 17, 20, 15};
    return 0;
}

} // namespace

FakeServices::FakeServices()
{
    if (gState != nullptr)
        throw std::logic_error("FakeServices is already installed");
    gState = new FakeServicesState();
    gSaved = tressel::gServices;
    tressel::gServices = tressel::Services{FakeClockMs, FakeSleepMs, FakeAbortKeysDown, FakeLocalTime};
}

FakeServices::~FakeServices()
{
    tressel::gServices = gSaved;
    delete gState;
    gState = nullptr;
}

FakeServicesState& FakeServices::State()
{
    return *gState;
}

FakeServicesState& FakeServicesNow()
{
    if (gState == nullptr)
        throw std::logic_error("FakeServices is not installed");
    return *gState;
}

void AdvanceFakeClock(uint32_t ms)
{
    if (gState != nullptr)
        gState->NowMs += ms;
}

} // namespace testsupport
