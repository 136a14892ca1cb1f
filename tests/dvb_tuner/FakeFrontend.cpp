#include "FakeFrontend.h"

#include <fcntl.h>

#include <algorithm>
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
            if (list->props[i].cmd == DTV_DELIVERY_SYSTEM)
                gFake->ReadBack[DTV_DELIVERY_SYSTEM] = list->props[i].u.data;
        }
        gFake->SetCalls.push_back(commands);
        gFake->SetValues.push_back(values);
        if (values.count(DTV_TUNE) != 0) {
            ++gFake->Tunes;
            gFake->TunedAtMs = gFake->NowMs;
            if (gFake->OnTune)
                gFake->OnTune(*gFake, gFake->ReadBack[DTV_DELIVERY_SYSTEM], values[DTV_FREQUENCY],
                              values[DTV_SYMBOL_RATE]);
        }
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
            } else if (p.cmd == DTV_ENUM_DELSYS) {
                p.u.buffer.len = static_cast<uint32_t>(gFake->Systems.size());
                for (size_t k = 0; k < gFake->Systems.size(); ++k)
                    p.u.buffer.data[k] = static_cast<uint8_t>(gFake->Systems[k]);
            } else if (p.cmd == DTV_API_VERSION) {
                p.u.data = 0x050b;
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

int FakeOpen(const char* path, int flags)
{
    std::string node = path;
    const std::string prefix = "/dev/dvb/";
    if (node.compare(0, prefix.size(), prefix) == 0)
        node = node.substr(prefix.size());
    auto& errors = (flags & O_ACCMODE) == O_RDONLY ? gFake->ReadOnlyOpenErrors : gFake->ReadWriteOpenErrors;
    auto error = errors.find(node);
    if (error != errors.end())
        return Fail(error->second);
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

// /dev/dvb lists the adapters of Nodes, /dev/dvb/adapterN their entries.
int FakeListDir(const char* path, void (*onEntry)(const char*, void*), void* context)
{
    std::string dir = path;
    std::vector<std::string> names{".", ".."};
    bool exists = false;
    for (const std::string& node : gFake->Nodes) {
        std::string adapter = node.substr(0, node.find('/'));
        std::string entry = node.substr(node.find('/') + 1);
        if (dir == "/dev/dvb") {
            exists = true;
            if (std::find(names.begin(), names.end(), adapter) == names.end())
                names.push_back(adapter);
        } else if (dir == "/dev/dvb/" + adapter) {
            exists = true;
            names.push_back(entry);
            names.push_back("demux" + entry.substr(8));
        }
    }
    if (!exists) {
        errno = ENOENT;
        return -1;
    }
    for (const std::string& name : names)
        onEntry(name.c_str(), context);
    return 0;
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
