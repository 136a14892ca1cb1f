#include "FakeFrontend.h"

#include <cerrno>
#include <cstring>

namespace dvbtest {

namespace {

FakeFrontendState* gFake = nullptr;
tressel::dvb::DvbIo gSaved;

uint32_t StatusNow()
{
    uint32_t status = 0;
    if (gFake->Tunes == 0)
        return 0;
    for (const StatusStep& step : gFake->Timeline) {
        if (gFake->NowMs - gFake->TunedAtMs >= step.AfterMs)
            status = step.Status;
    }
    return status;
}

// The next moment after now at which the status changes, or 0.
uint32_t NextChange()
{
    uint32_t best = 0;
    for (const StatusStep& step : gFake->Timeline) {
        uint32_t at = gFake->TunedAtMs + step.AfterMs;
        if (at > gFake->NowMs && (best == 0 || at < best))
            best = at;
    }
    return best;
}

int Fail(int error)
{
    errno = error;
    return -1;
}

bool HasSystem(uint32_t system)
{
    for (uint32_t s : gFake->Systems) {
        if (s == system)
            return true;
    }
    return false;
}

int FakeIoctl(int, unsigned long request, void* argument)
{
    auto fail = gFake->Fails.find(request);
    if (fail != gFake->Fails.end() && fail->second != 0)
        return Fail(fail->second);
    switch (request) {
    case FE_SET_PROPERTY: {
        auto* list = static_cast<dtv_properties*>(argument);
        std::vector<uint32_t> commands;
        std::map<uint32_t, uint32_t> values;
        for (uint32_t i = 0; i < list->num; ++i) {
            commands.push_back(list->props[i].cmd);
            values[list->props[i].cmd] = list->props[i].u.data;
            if (list->props[i].cmd == DTV_DELIVERY_SYSTEM && !HasSystem(list->props[i].u.data))
                return Fail(EINVAL);
            if (list->props[i].cmd == DTV_TUNE) {
                ++gFake->Tunes;
                gFake->TunedAtMs = gFake->NowMs;
            }
        }
        gFake->SetCalls.push_back(commands);
        gFake->SetValues.push_back(values);
        return 0;
    }
    case FE_GET_PROPERTY: {
        auto* list = static_cast<dtv_properties*>(argument);
        for (uint32_t i = 0; i < list->num; ++i) {
            dtv_property& p = list->props[i];
            if (p.cmd == DTV_STAT_SIGNAL_STRENGTH || p.cmd == DTV_STAT_CNR) {
                bool strength = p.cmd == DTV_STAT_SIGNAL_STRENGTH;
                p.u.st.len = 1;
                p.u.st.stat[0].scale = strength ? gFake->StrengthScale : gFake->CnrScale;
                p.u.st.stat[0].svalue = strength ? gFake->StrengthValue : gFake->CnrValue;
            } else {
                auto value = gFake->ReadBack.find(p.cmd);
                p.u.data = value != gFake->ReadBack.end() ? value->second : 0;
            }
        }
        return 0;
    }
    case FE_GET_INFO: {
        auto* info = static_cast<dvb_frontend_info*>(argument);
        memset(info, 0, sizeof(*info));
        strcpy(info->name, "Fake DVB demodulator");
        info->frequency_min = gFake->MinHz;
        info->frequency_max = gFake->MaxHz;
        return 0;
    }
    case FE_READ_STATUS:
        ++gFake->StatusReads;
        *static_cast<fe_status_t*>(argument) = static_cast<fe_status_t>(StatusNow());
        return 0;
    case FE_GET_EVENT:
        return Fail(EWOULDBLOCK);
    default:
        return Fail(ENOTTY);
    }
}

// Time passes only here: up to the timeout, or (with events) to the next
// status change.
int FakeWaitEvent(int fd, int timeoutMs)
{
    ++gFake->Waits;
    uint32_t until = gFake->NowMs + static_cast<uint32_t>(timeoutMs);
    uint32_t change = NextChange();
    if (fd >= 0 && gFake->SendsEvents && change != 0 && change <= until) {
        gFake->NowMs = change;
        return 1;
    }
    gFake->NowMs = until;
    return 0;
}

uint32_t FakeNow()
{
    return gFake->NowMs;
}

int FakeOpen(const char*, int)
{
    return 7;
}

int FakeClose(int)
{
    return 0;
}

long FakeRead(int, void*, size_t)
{
    errno = EAGAIN;
    return -1;
}

int FakeListDir(const char*, void (*)(const char*, void*), void*)
{
    errno = ENOENT;
    return -1;
}

} // namespace

FakeFrontend::FakeFrontend()
{
    gFake = new FakeFrontendState();
    gSaved = tressel::dvb::gDvbIo;
    tressel::dvb::gDvbIo =
        tressel::dvb::DvbIo{FakeOpen, FakeClose, FakeIoctl, FakeWaitEvent, FakeRead, FakeNow, FakeListDir};
}

FakeFrontend::~FakeFrontend()
{
    tressel::dvb::gDvbIo = gSaved;
    delete gFake;
    gFake = nullptr;
}

FakeFrontendState& FakeFrontend::State()
{
    return *gFake;
}

} // namespace dvbtest
