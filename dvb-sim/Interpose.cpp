// The C library calls a DVB program makes on /dev/dvb, answered by the
// simulator when it is preloaded (LD_PRELOAD). Each open of a fake node is
// a socketpair(AF_UNIX, SOCK_SEQPACKET): the program holds one end, so that
// poll, select and read work on it like on a device; the simulator writes
// frontend events and demux sections into the other end, one packet each.
//
// Every other path and descriptor goes straight to the next definition of
// the call (the C library). Calls into the simulator's own descriptors use
// those next definitions too, never the interposed ones.
#undef _FORTIFY_SOURCE
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <cstring>

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <linux/dvb/dmx.h>
#include <linux/dvb/frontend.h>

#include "Sections.h"
#include "SimState.h"

using namespace tressel;
using namespace tressel::dvbsim;

namespace {

// ---- the next definitions of the interposed calls ----

template <typename F>
F Next(F* slot, const char* name)
{
    if (*slot == nullptr)
        *slot = reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
    return *slot;
}

#define NEXT(type, name)                                                                           \
    static type name##Slot = nullptr;                                                              \
    type real = Next(&name##Slot, #name)

using OpenFn = int (*)(const char*, int, ...);
using OpenAtFn = int (*)(int, const char*, int, ...);
using CloseFn = int (*)(int);
using IoctlFn = int (*)(int, unsigned long, ...);
using ReadFn = ssize_t (*)(int, void*, size_t);
using PollFn = int (*)(struct pollfd*, nfds_t, int);
using DupFn = int (*)(int);
using Dup2Fn = int (*)(int, int);
using Dup3Fn = int (*)(int, int, int);
using FcntlFn = int (*)(int, int, ...);

int RealClose(int fd)
{
    NEXT(CloseFn, close);
    return real(fd);
}

int RealPoll(struct pollfd* fds, nfds_t n, int timeoutMs)
{
    NEXT(PollFn, poll);
    return real(fds, n, timeoutMs);
}

int RealFcntl(int fd, int cmd, int arg)
{
    using FcntlIntFn = int (*)(int, int, int);
    NEXT(FcntlIntFn, fcntl);
    return real(fd, cmd, arg);
}

int RealDup(int fd)
{
    NEXT(DupFn, dup);
    return real(fd);
}

// ---- time ----

uint64_t NowUs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
}

// ---- state ----

constexpr uint32_t kMaxOpenFiles = 1024;
constexpr int kMaxTrackedFd = 65536;

struct OpenFile {
    bool Used;
    uint32_t Device;
    NodeKind Kind;
    int Peer;  // the simulator's end: it writes here
    int Own;   // the simulator's copy of the program's end: it reads and drains here
    uint32_t Refs; // descriptors of the program that refer to it
    bool Writer;
    uint32_t LastStatus; // frontend: the status of the last event sent
    // demux
    bool HasFilter;
    bool Pes;
    bool Started;
    dmx_sct_filter_params Filter;
    uint32_t Cursor; // next section of the cycle to deliver
};

pthread_mutex_t sMutex = PTHREAD_MUTEX_INITIALIZER;
vt::Band sBand;
bool sBandRead = false;
FrontendState sFrontends[vt::kMaxDevices];
uint32_t sWriters[vt::kMaxDevices];
OpenFile sFiles[kMaxOpenFiles];
uint16_t sFdFile[kMaxTrackedFd]; // file index + 1; 0: not a fake node
Section sSections[kMaxSections];

void Tell(const char* text)
{
    fprintf(stderr, "dvb sim: %s\n", text);
    fflush(stderr);
}

// Two devices on one node would make the band ambiguous: refused.
bool CheckNodes(vt::Band* band)
{
    for (uint32_t i = 0; i < band->DeviceCount; ++i) {
        for (uint32_t j = 0; j < i; ++j) {
            const vt::DvbDevice* a = &band->DvbDevices[i];
            const vt::DvbDevice* b = &band->DvbDevices[j];
            if (a->Adapter == b->Adapter && a->Frontend == b->Frontend) {
                char text[256];
                snprintf(text, sizeof text, "[Devices] Adapter%u/Frontend%u: adapter%u/frontend%u is device %u's too",
                         i, i, a->Adapter, a->Frontend, j);
                Tell(text);
                return false;
            }
        }
    }
    return true;
}

void ReadBandOnce()
{
    if (sBandRead)
        return;
    sBandRead = true;
    const char* path = getenv("TRESSEL_VIRTUAL_BAND");
    if (path != nullptr && path[0] != '\0') {
        const vt::BandReadOptions options = {"dvb sim", true};
        if (vt::LoadBandFileWith(path, &sBand, &options) != 0)
            vt::ClearBand(&sBand);
    } else {
        vt::LoadDefaultBand(&sBand);
        for (uint32_t n = 0; n < vt::kMaxDevices; ++n)
            vt::SetDefaultDvbDevice(&sBand.DvbDevices[n], n);
        for (uint32_t n = 0; n < vt::kMaxTransponders; ++n)
            vt::SetDefaultDvbTransponder(&sBand.DvbTransponders[n], n);
    }
    if (!CheckNodes(&sBand))
        vt::ClearBand(&sBand);
    for (uint32_t n = 0; n < sBand.DeviceCount; ++n)
        FrontendInit(&sFrontends[n], &sBand, n);
}

// ---- paths ----

bool ParseNumber(const char** p, uint32_t* number)
{
    const char* s = *p;
    if (*s < '0' || *s > '9')
        return false;
    uint32_t value = 0;
    while (*s >= '0' && *s <= '9') {
        if (value > 100000u)
            return false;
        value = value * 10u + static_cast<uint32_t>(*s++ - '0');
    }
    *p = s;
    *number = value;
    return true;
}

bool SkipPrefix(const char** p, const char* prefix)
{
    size_t n = strlen(prefix);
    if (strncmp(*p, prefix, n) != 0)
        return false;
    *p += n;
    return true;
}

// ---- open files ----

OpenFile* FileOf(int fd)
{
    if (fd < 0 || fd >= kMaxTrackedFd || sFdFile[fd] == 0)
        return nullptr;
    return &sFiles[sFdFile[fd] - 1];
}

void SendPacket(int peer, const void* data, size_t length)
{
    // The simulator's end never blocks: a full queue drops the packet, as a
    // full kernel buffer drops data.
    (void)send(peer, data, length, MSG_DONTWAIT | MSG_NOSIGNAL);
}

void Drain(OpenFile* file)
{
    uint8_t scratch[kMaxSectionBytes];
    while (recv(file->Own, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
    }
}

bool QueueEmpty(const OpenFile* file)
{
    struct pollfd p = {file->Own, POLLIN, 0};
    return RealPoll(&p, 1, 0) == 0;
}

void Release(OpenFile* file)
{
    if (file->Writer && sWriters[file->Device] > 0)
        --sWriters[file->Device];
    RealClose(file->Peer);
    RealClose(file->Own);
    memset(file, 0, sizeof *file);
}

void Track(int fd, OpenFile* file)
{
    sFdFile[fd] = static_cast<uint16_t>(file - sFiles + 1);
    ++file->Refs;
}

// Forgets fd; the file goes when no descriptor refers to it.
void Untrack(int fd)
{
    OpenFile* file = FileOf(fd);
    if (file == nullptr)
        return;
    sFdFile[fd] = 0;
    if (--file->Refs == 0)
        Release(file);
}

// The frontend's events: one packet per status change, to every open file
// of the frontend.
void PumpEvents(uint32_t device, uint64_t now)
{
    const FrontendState* fe = &sFrontends[device];
    if (fe->Gone)
        return;
    uint32_t status = FrontendStatus(fe, &sBand, now);
    for (OpenFile& file : sFiles) {
        if (!file.Used || file.Device != device || file.Kind != kNodeFrontend || file.LastStatus == status)
            continue;
        dvb_frontend_event event;
        memset(&event, 0, sizeof event);
        event.status = static_cast<fe_status>(status);
        event.parameters.frequency = fe->Tuned.Frequency;
        SendPacket(file.Peer, &event, sizeof event);
        file.LastStatus = status;
    }
}

// Queues the next cycle of the filter's sections when the program has read
// everything and the frontend holds a lock: the stream repeats its tables.
void RefillDemux(OpenFile* file, uint64_t now)
{
    const FrontendState* fe = &sFrontends[file->Device];
    if (!file->Started || file->Pes || fe->Gone || (FrontendStatus(fe, &sBand, now) & FE_HAS_LOCK) == 0)
        return;
    if (!QueueEmpty(file))
        return;
    uint32_t count = BuildSections(&sBand, static_cast<uint32_t>(fe->Transponder), file->Filter.pid,
                                   sSections, kMaxSections);
    uint32_t matching[kMaxSections];
    uint32_t n = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (SectionMatches(&sSections[i], file->Filter.filter.filter, file->Filter.filter.mask,
                           file->Filter.filter.mode))
            matching[n++] = i;
    }
    if (n == 0)
        return;
    uint32_t deliver = (file->Filter.flags & DMX_ONESHOT) != 0 ? 1 : n;
    for (uint32_t k = 0; k < deliver; ++k) {
        const Section* s = &sSections[matching[(file->Cursor + k) % n]];
        if (send(file->Peer, s->Bytes, s->Length, MSG_DONTWAIT | MSG_NOSIGNAL) < 0) {
            deliver = k;
            break;
        }
    }
    file->Cursor = (file->Cursor + deliver) % n;
    if ((file->Filter.flags & DMX_ONESHOT) != 0 && deliver > 0)
        file->Started = false;
}

// Brings every open file up to date at time now; returns the time of the
// next status change of a tuned frontend (UINT64_MAX: none).
uint64_t PumpAll(uint64_t now)
{
    uint64_t next = UINT64_MAX;
    for (uint32_t d = 0; d < sBand.DeviceCount; ++d) {
        PumpEvents(d, now);
        uint64_t change = FrontendNextChange(&sFrontends[d], &sBand, now);
        if (change < next)
            next = change;
    }
    for (OpenFile& file : sFiles) {
        if (file.Used && file.Kind == kNodeDemux)
            RefillDemux(&file, now);
    }
    return next;
}

// After a tune: the kernel drops the old events and the demux's old data,
// then reports status 0 at once.
void AfterTune(uint32_t device)
{
    const FrontendState* fe = &sFrontends[device];
    for (OpenFile& file : sFiles) {
        if (!file.Used || file.Device != device)
            continue;
        Drain(&file);
        file.Cursor = 0;
        if (file.Kind == kNodeFrontend) {
            dvb_frontend_event event;
            memset(&event, 0, sizeof event);
            event.parameters.frequency = fe->Tuned.Frequency;
            SendPacket(file.Peer, &event, sizeof event);
            file.LastStatus = 0;
        }
        // A vanished device hangs up: pollers wake, reads end.
        if (fe->Gone)
            shutdown(file.Peer, SHUT_RDWR);
    }
}

int Fail(int error)
{
    errno = error;
    return -1;
}

// Opens a fake node. Returns the program's descriptor, or -1 with errno.
int OpenNode(const DvbPath* path, int flags)
{
    int32_t device = FindDevice(path->Adapter, path->Number);
    if (device < 0)
        return Fail(ENOENT);
    const vt::DvbDevice* dvb = &sBand.DvbDevices[device];
    if (dvb->Access == vt::kAccessDenied)
        return Fail(EACCES);
    bool writer = path->Node == kNodeFrontend && (flags & O_ACCMODE) != O_RDONLY;
    if (writer && (dvb->Access == vt::kAccessBusy || sWriters[device] > 0))
        return Fail(EBUSY);
    OpenFile* file = nullptr;
    for (OpenFile& f : sFiles) {
        if (!f.Used) {
            file = &f;
            break;
        }
    }
    if (file == nullptr)
        return Fail(EMFILE);
    int sv[2];
    int type = SOCK_SEQPACKET | ((flags & O_CLOEXEC) != 0 ? SOCK_CLOEXEC : 0) |
               ((flags & O_NONBLOCK) != 0 ? SOCK_NONBLOCK : 0);
    if (socketpair(AF_UNIX, type, 0, sv) != 0)
        return -1;
    int own = RealFcntl(sv[0], F_DUPFD_CLOEXEC, 0);
    if (own < 0 || sv[0] >= kMaxTrackedFd) {
        int error = own < 0 ? errno : EMFILE;
        RealClose(sv[0]);
        RealClose(sv[1]);
        if (own >= 0)
            RealClose(own);
        return Fail(error);
    }
    RealFcntl(sv[1], F_SETFD, FD_CLOEXEC);
    memset(file, 0, sizeof *file);
    file->Used = true;
    file->Device = static_cast<uint32_t>(device);
    file->Kind = path->Node;
    file->Peer = sv[1];
    file->Own = own;
    file->Writer = writer;
    file->LastStatus = FrontendStatus(&sFrontends[device], &sBand, NowUs());
    if (writer)
        ++sWriters[device];
    Track(sv[0], file);
    return sv[0];
}

int DoOpen(const char* path, int flags, bool* handled)
{
    *handled = false;
    DvbPath parsed = ParseDvbPath(path);
    if (parsed.Kind != kPathNode)
        return 0;
    *handled = true;
    Lock();
    int fd = OpenNode(&parsed, flags);
    int error = errno;
    Unlock();
    errno = error;
    return fd;
}

// ---- ioctl ----

int FrontendIoctl(int fd, OpenFile* file, unsigned long request, void* arg);

int GetEvent(int fd, OpenFile* file, dvb_frontend_event* event);

int DemuxIoctl(OpenFile* file, unsigned long request, void* arg)
{
    switch (request) {
    case DMX_SET_FILTER: {
        memcpy(&file->Filter, arg, sizeof file->Filter);
        file->HasFilter = true;
        file->Pes = false;
        file->Cursor = 0;
        Drain(file);
        file->Started = (file->Filter.flags & DMX_IMMEDIATE_START) != 0;
        RefillDemux(file, NowUs());
        return 0;
    }
    case DMX_SET_PES_FILTER: {
        const dmx_pes_filter_params* pes = static_cast<const dmx_pes_filter_params*>(arg);
        file->HasFilter = true;
        file->Pes = true;
        Drain(file);
        file->Started = (pes->flags & DMX_IMMEDIATE_START) != 0;
        return 0;
    }
    case DMX_START:
        if (!file->HasFilter)
            return Fail(EINVAL);
        file->Started = true;
        RefillDemux(file, NowUs());
        return 0;
    case DMX_STOP:
        file->Started = false;
        Drain(file);
        return 0;
    case DMX_SET_BUFFER_SIZE:
    case DMX_ADD_PID:
    case DMX_REMOVE_PID:
        return 0;
    default: {
        char text[96];
        snprintf(text, sizeof text, "unhandled demux ioctl 0x%lx", request);
        Tell(text);
        return Fail(ENOTTY);
    }
    }
}

} // namespace

// ---- shared with Udev.cpp ----

namespace tressel {
namespace dvbsim {

DvbPath ParseDvbPath(const char* path)
{
    DvbPath result = {kPathNone, 0, kNodeFrontend, 0};
    if (path == nullptr)
        return result;
    const char* p = path;
    if (!SkipPrefix(&p, "/dev/dvb"))
        return result;
    if (*p == '\0' || (p[0] == '/' && p[1] == '\0')) {
        result.Kind = kPathRoot;
        return result;
    }
    if (!SkipPrefix(&p, "/adapter") || !ParseNumber(&p, &result.Adapter))
        return result;
    if (*p == '\0' || (p[0] == '/' && p[1] == '\0')) {
        result.Kind = kPathAdapter;
        return result;
    }
    if (*p++ != '/')
        return result;
    for (uint32_t kind = 0; kind < kNodeKinds; ++kind) {
        const char* q = p;
        if (SkipPrefix(&q, kNodeNames[kind]) && ParseNumber(&q, &result.Number) && *q == '\0') {
            result.Kind = kPathNode;
            result.Node = static_cast<NodeKind>(kind);
            return result;
        }
    }
    return result;
}

const vt::Band* SimBand()
{
    ReadBandOnce();
    return &sBand;
}

int32_t FindDevice(uint32_t adapter, uint32_t frontend)
{
    ReadBandOnce();
    for (uint32_t n = 0; n < sBand.DeviceCount; ++n) {
        if (sBand.DvbDevices[n].Adapter == adapter && sBand.DvbDevices[n].Frontend == frontend)
            return DevicePresent(n) ? static_cast<int32_t>(n) : -1;
    }
    return -1;
}

bool DevicePresent(uint32_t n)
{
    ReadBandOnce();
    return n < sBand.DeviceCount && !sFrontends[n].Gone;
}

uint32_t NodeMinor(uint32_t adapter, uint32_t number, NodeKind kind)
{
    // The kernel's numbering: adapter << 6 | device number << 4 | type,
    // types 3 frontend, 4 demux, 5 dvr.
    return (adapter << 6) | ((number & 3u) << 4) | (3u + kind);
}

void Lock()
{
    pthread_mutex_lock(&sMutex);
}

void Unlock()
{
    pthread_mutex_unlock(&sMutex);
}

} // namespace dvbsim
} // namespace tressel

namespace {

int FrontendIoctl(int fd, OpenFile* file, unsigned long request, void* arg)
{
    FrontendState* fe = &sFrontends[file->Device];
    uint64_t now = NowUs();
    if (fe->Gone)
        return Fail(ENODEV);
    PumpAll(now);
    // A read-only open may only read.
    bool reads = _IOC_DIR(request) == _IOC_READ && request != FE_GET_EVENT;
    if (!file->Writer && !reads && request != FE_GET_PROPERTY)
        return Fail(EPERM);
    switch (request) {
    case FE_GET_INFO:
        FrontendInfo(fe, &sBand, static_cast<dvb_frontend_info*>(arg));
        return 0;
    case FE_READ_STATUS:
        *static_cast<fe_status_t*>(arg) = static_cast<fe_status_t>(FrontendStatus(fe, &sBand, now));
        return 0;
    case FE_READ_SIGNAL_STRENGTH:
        *static_cast<uint16_t*>(arg) = FrontendOldSignal(fe, &sBand, now);
        return 0;
    case FE_READ_SNR:
        *static_cast<uint16_t*>(arg) = FrontendOldSnr(fe, &sBand, now);
        return 0;
    case FE_READ_BER:
    case FE_READ_UNCORRECTED_BLOCKS:
        *static_cast<uint32_t*>(arg) = 0;
        return 0;
    case FE_SET_PROPERTY:
    case FE_GET_PROPERTY: {
        dtv_properties* props = static_cast<dtv_properties*>(arg);
        if (props->num == 0 || props->num > DTV_IOCTL_MAX_MSGS)
            return Fail(EINVAL);
        for (uint32_t i = 0; i < props->num; ++i) {
            dtv_property* p = &props->props[i];
            int result = 0;
            if (request == FE_GET_PROPERTY) {
                result = FrontendGet(fe, &sBand, p, now);
            } else {
                result = FrontendSet(fe, &sBand, p->cmd, p->u.data, now);
                if (result == 0 && p->cmd == DTV_TUNE)
                    AfterTune(file->Device);
            }
            p->result = result;
            if (result < 0)
                return Fail(-result);
        }
        return 0;
    }
    case FE_GET_EVENT:
        return GetEvent(fd, file, static_cast<dvb_frontend_event*>(arg));
    case FE_SET_TONE:
    case FE_SET_VOLTAGE:
    case FE_ENABLE_HIGH_LNB_VOLTAGE:
    case FE_SET_FRONTEND_TUNE_MODE:
    case FE_DISEQC_RESET_OVERLOAD:
    case FE_DISEQC_SEND_MASTER_CMD:
    case FE_DISEQC_SEND_BURST:
        return 0;
    default: {
        char text[96];
        snprintf(text, sizeof text, "unhandled frontend ioctl 0x%lx", request);
        Tell(text);
        return Fail(ENOTTY);
    }
    }
}

int SimPoll(struct pollfd* fds, nfds_t n, int timeoutMs);

// FE_GET_EVENT: the oldest event; a blocking descriptor waits for one.
int GetEvent(int fd, OpenFile* file, dvb_frontend_event* event)
{
    int own = file->Own;
    bool blocking = (RealFcntl(fd, F_GETFL, 0) & O_NONBLOCK) == 0;
    for (;;) {
        ssize_t got = recv(own, event, sizeof *event, MSG_DONTWAIT);
        if (got == static_cast<ssize_t>(sizeof *event))
            return 0;
        if (got == 0 || sFrontends[file->Device].Gone)
            return Fail(ENODEV);
        if (!blocking)
            return Fail(EWOULDBLOCK);
        Unlock();
        struct pollfd p = {fd, POLLPRI, 0};
        SimPoll(&p, 1, -1);
        Lock();
        if (FileOf(fd) != file)
            return Fail(EBADF);
    }
}

// poll with the fake nodes: like the kernel's nodes they report POLLPRI
// with POLLIN (a frontend event, demux data); status changes and demux data
// are produced as their time comes.
int SimPoll(struct pollfd* fds, nfds_t n, int timeoutMs)
{
    bool fake = false;
    Lock();
    for (nfds_t i = 0; i < n && !fake; ++i)
        fake = FileOf(fds[i].fd) != nullptr;
    Unlock();
    if (!fake)
        return RealPoll(fds, n, timeoutMs);
    constexpr nfds_t kMaxPoll = 4096;
    if (n > kMaxPoll)
        return Fail(EINVAL);
    static thread_local short wanted[kMaxPoll];
    uint64_t start = NowUs();
    uint64_t deadline = timeoutMs < 0 ? UINT64_MAX : start + static_cast<uint64_t>(timeoutMs) * 1000u;
    for (;;) {
        uint64_t now = NowUs();
        Lock();
        uint64_t next = PumpAll(now);
        for (nfds_t i = 0; i < n; ++i) {
            wanted[i] = fds[i].events;
            OpenFile* file = FileOf(fds[i].fd);
            if (file != nullptr && (fds[i].events & (POLLPRI | POLLIN)) != 0)
                fds[i].events = static_cast<short>(fds[i].events | POLLIN);
        }
        Unlock();
        uint64_t until = next < deadline ? next : deadline;
        int wait = -1;
        if (until != UINT64_MAX)
            wait = until <= now ? 0 : static_cast<int>((until - now + 999u) / 1000u);
        int result = RealPoll(fds, n, wait);
        int error = errno;
        int ready = 0;
        Lock();
        for (nfds_t i = 0; i < n; ++i) {
            short got = fds[i].revents;
            OpenFile* file = FileOf(fds[i].fd);
            if (file != nullptr && (got & POLLIN) != 0)
                got = static_cast<short>(got | POLLPRI | POLLRDNORM);
            fds[i].events = wanted[i];
            fds[i].revents = static_cast<short>(got & (wanted[i] | POLLERR | POLLHUP | POLLNVAL));
            if (fds[i].revents != 0)
                ++ready;
        }
        Unlock();
        if (result < 0) {
            errno = error;
            return result;
        }
        if (ready > 0)
            return ready;
        if (NowUs() >= deadline)
            return 0;
    }
}

// select through SimPoll when a fake node is in a set.
int SimSelect(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds, int timeoutMs, bool* handled)
{
    *handled = false;
    if (nfds <= 0 || nfds > FD_SETSIZE)
        return 0;
    bool fake = false;
    Lock();
    for (int fd = 0; fd < nfds && !fake; ++fd) {
        bool listed = (readfds != nullptr && FD_ISSET(fd, readfds)) ||
                      (writefds != nullptr && FD_ISSET(fd, writefds)) ||
                      (exceptfds != nullptr && FD_ISSET(fd, exceptfds));
        fake = listed && FileOf(fd) != nullptr;
    }
    Unlock();
    if (!fake)
        return 0;
    *handled = true;
    static thread_local struct pollfd fds[FD_SETSIZE];
    nfds_t n = 0;
    for (int fd = 0; fd < nfds; ++fd) {
        short events = 0;
        if (readfds != nullptr && FD_ISSET(fd, readfds))
            events |= POLLIN;
        if (writefds != nullptr && FD_ISSET(fd, writefds))
            events |= POLLOUT;
        if (exceptfds != nullptr && FD_ISSET(fd, exceptfds))
            events |= POLLPRI;
        if (events != 0)
            fds[n++] = {fd, events, 0};
    }
    int result = SimPoll(fds, n, timeoutMs);
    if (result < 0)
        return result;
    if (readfds != nullptr)
        FD_ZERO(readfds);
    if (writefds != nullptr)
        FD_ZERO(writefds);
    if (exceptfds != nullptr)
        FD_ZERO(exceptfds);
    int count = 0;
    for (nfds_t i = 0; i < n; ++i) {
        short got = fds[i].revents;
        if (readfds != nullptr && (got & (POLLIN | POLLHUP | POLLERR)) != 0 && (fds[i].events & POLLIN) != 0) {
            FD_SET(fds[i].fd, readfds);
            ++count;
        }
        if (writefds != nullptr && (got & (POLLOUT | POLLERR)) != 0 && (fds[i].events & POLLOUT) != 0) {
            FD_SET(fds[i].fd, writefds);
            ++count;
        }
        if (exceptfds != nullptr && (got & POLLPRI) != 0 && (fds[i].events & POLLPRI) != 0) {
            FD_SET(fds[i].fd, exceptfds);
            ++count;
        }
    }
    return count;
}

int ToMs(const timeval* tv)
{
    if (tv == nullptr)
        return -1;
    long long ms = static_cast<long long>(tv->tv_sec) * 1000 + (tv->tv_usec + 999) / 1000;
    return ms > 0x7fffffff ? 0x7fffffff : static_cast<int>(ms);
}

int ToMs(const timespec* ts)
{
    if (ts == nullptr)
        return -1;
    long long ms = static_cast<long long>(ts->tv_sec) * 1000 + (ts->tv_nsec + 999999) / 1000000;
    return ms > 0x7fffffff ? 0x7fffffff : static_cast<int>(ms);
}

// ---- stat ----

// Fills st for a fake path; returns false when the path is not one.
bool FakeStat(const char* path, struct stat* st, int* error)
{
    DvbPath parsed = ParseDvbPath(path);
    if (parsed.Kind == kPathNone)
        return false;
    Lock();
    const vt::Band* band = SimBand();
    bool exists = false;
    int32_t device = -1;
    if (parsed.Kind == kPathRoot) {
        exists = band->DeviceCount > 0;
    } else if (parsed.Kind == kPathAdapter) {
        for (uint32_t n = 0; n < band->DeviceCount && !exists; ++n)
            exists = band->DvbDevices[n].Adapter == parsed.Adapter && DevicePresent(n);
    } else {
        device = FindDevice(parsed.Adapter, parsed.Number);
        exists = device >= 0;
    }
    Unlock();
    if (!exists) {
        *error = ENOENT;
        return true;
    }
    memset(st, 0, sizeof *st);
    st->st_nlink = 1;
    if (parsed.Kind == kPathNode) {
        st->st_mode = S_IFCHR | 0660;
        st->st_rdev = makedev(212, NodeMinor(parsed.Adapter, parsed.Number, parsed.Node));
        st->st_gid = 44; // the video group
    } else {
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
    }
    *error = 0;
    return true;
}

int FakeAccess(const char* path, int mode, bool* handled)
{
    struct stat st;
    int error = 0;
    *handled = FakeStat(path, &st, &error);
    if (!*handled)
        return 0;
    if (error != 0)
        return Fail(error);
    DvbPath parsed = ParseDvbPath(path);
    if (parsed.Kind == kPathNode && (mode & (R_OK | W_OK)) != 0) {
        Lock();
        int32_t device = FindDevice(parsed.Adapter, parsed.Number);
        bool denied = device >= 0 && sBand.DvbDevices[device].Access == vt::kAccessDenied;
        Unlock();
        if (denied)
            return Fail(EACCES);
    }
    return 0;
}

// ---- directories ----

struct FakeDir {
    bool Used;
    bool Root; // /dev/dvb, else /dev/dvb/adapter<Adapter>
    uint32_t Adapter;
    uint32_t Position;
    struct dirent Entry;
    struct dirent64 Entry64;
};

constexpr uint32_t kMaxDirs = 64;
FakeDir sDirs[kMaxDirs];

FakeDir* DirOf(void* dir)
{
    for (FakeDir& d : sDirs) {
        if (d.Used && static_cast<void*>(&d) == dir)
            return &d;
    }
    return nullptr;
}

// The entry at position pos of a fake directory: its name and type.
bool DirEntry(const FakeDir* dir, uint32_t pos, char* name, size_t cap, unsigned char* type)
{
    if (pos == 0 || pos == 1) {
        snprintf(name, cap, "%s", pos == 0 ? "." : "..");
        *type = DT_DIR;
        return true;
    }
    uint32_t index = pos - 2;
    if (dir->Root) {
        // Each adapter once, in ascending order.
        uint32_t seen = 0;
        for (uint32_t a = 0; a <= 255; ++a) {
            bool present = false;
            for (uint32_t n = 0; n < sBand.DeviceCount && !present; ++n)
                present = sBand.DvbDevices[n].Adapter == a && DevicePresent(n);
            if (present && seen++ == index) {
                snprintf(name, cap, "adapter%u", a);
                *type = DT_DIR;
                return true;
            }
        }
        return false;
    }
    uint32_t seen = 0;
    for (uint32_t f = 0; f <= 255; ++f) {
        int32_t device = FindDevice(dir->Adapter, f);
        if (device < 0)
            continue;
        for (uint32_t kind = 0; kind < kNodeKinds; ++kind) {
            if (seen++ == index) {
                snprintf(name, cap, "%s%u", kNodeNames[kind], f);
                *type = DT_CHR;
                return true;
            }
        }
    }
    return false;
}

DIR* FakeOpenDir(const char* path, bool* handled)
{
    DvbPath parsed = ParseDvbPath(path);
    *handled = parsed.Kind == kPathRoot || parsed.Kind == kPathAdapter;
    if (!*handled)
        return nullptr;
    struct stat st;
    int error = 0;
    FakeStat(path, &st, &error);
    if (error != 0) {
        errno = error;
        return nullptr;
    }
    Lock();
    FakeDir* dir = nullptr;
    for (FakeDir& d : sDirs) {
        if (!d.Used) {
            dir = &d;
            break;
        }
    }
    if (dir != nullptr) {
        memset(dir, 0, sizeof *dir);
        dir->Used = true;
        dir->Root = parsed.Kind == kPathRoot;
        dir->Adapter = parsed.Adapter;
    }
    Unlock();
    if (dir == nullptr)
        errno = EMFILE;
    return reinterpret_cast<DIR*>(dir);
}

} // namespace

// ---- the interposed calls ----

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT int SimOpen(const char* path, int flags, ...) __asm__("open");
EXPORT int SimOpen64(const char* path, int flags, ...) __asm__("open64");
EXPORT int SimOpen2(const char* path, int flags) __asm__("__open_2");
EXPORT int SimOpen64_2(const char* path, int flags) __asm__("__open64_2");
EXPORT int SimOpenAt(int dirfd, const char* path, int flags, ...) __asm__("openat");
EXPORT int SimOpenAt64(int dirfd, const char* path, int flags, ...) __asm__("openat64");
EXPORT int SimOpenAt2(int dirfd, const char* path, int flags) __asm__("__openat_2");
EXPORT int SimOpenAt64_2(int dirfd, const char* path, int flags) __asm__("__openat64_2");
EXPORT int SimClose(int fd) __asm__("close");
EXPORT int SimIoctl(int fd, unsigned long request, ...) __asm__("ioctl");
EXPORT ssize_t SimRead(int fd, void* buffer, size_t count) __asm__("read");
EXPORT ssize_t SimReadChk(int fd, void* buffer, size_t count, size_t size) __asm__("__read_chk");
EXPORT int SimPollExport(struct pollfd* fds, nfds_t n, int timeout) __asm__("poll");
EXPORT int SimPollChk(struct pollfd* fds, nfds_t n, int timeout, size_t size) __asm__("__poll_chk");
EXPORT int SimPpoll(struct pollfd* fds, nfds_t n, const struct timespec* timeout, const sigset_t* mask) __asm__("ppoll");
EXPORT int SimPpollChk(struct pollfd* fds, nfds_t n, const struct timespec* timeout, const sigset_t* mask,
                       size_t size) __asm__("__ppoll_chk");
EXPORT int SimSelectExport(int nfds, fd_set* r, fd_set* w, fd_set* e, struct timeval* timeout) __asm__("select");
EXPORT int SimPselect(int nfds, fd_set* r, fd_set* w, fd_set* e, const struct timespec* timeout,
                      const sigset_t* mask) __asm__("pselect");
EXPORT int SimDup(int fd) __asm__("dup");
EXPORT int SimDup2(int fd, int target) __asm__("dup2");
EXPORT int SimDup3(int fd, int target, int flags) __asm__("dup3");
EXPORT int SimFcntl(int fd, int cmd, ...) __asm__("fcntl");
EXPORT int SimFcntl64(int fd, int cmd, ...) __asm__("fcntl64");
EXPORT int SimStat(const char* path, struct stat* st) __asm__("stat");
EXPORT int SimStat64(const char* path, struct stat* st) __asm__("stat64");
EXPORT int SimLstat(const char* path, struct stat* st) __asm__("lstat");
EXPORT int SimLstat64(const char* path, struct stat* st) __asm__("lstat64");
EXPORT int SimFstatat(int dirfd, const char* path, struct stat* st, int flags) __asm__("fstatat");
EXPORT int SimFstatat64(int dirfd, const char* path, struct stat* st, int flags) __asm__("fstatat64");
EXPORT int SimXstat(int version, const char* path, struct stat* st) __asm__("__xstat");
EXPORT int SimXstat64(int version, const char* path, struct stat* st) __asm__("__xstat64");
EXPORT int SimLxstat(int version, const char* path, struct stat* st) __asm__("__lxstat");
EXPORT int SimLxstat64(int version, const char* path, struct stat* st) __asm__("__lxstat64");
EXPORT int SimAccess(const char* path, int mode) __asm__("access");
EXPORT int SimFaccessat(int dirfd, const char* path, int mode, int flags) __asm__("faccessat");
EXPORT DIR* SimOpendir(const char* path) __asm__("opendir");
EXPORT struct dirent* SimReaddir(DIR* dir) __asm__("readdir");
EXPORT struct dirent64* SimReaddir64(DIR* dir) __asm__("readdir64");
EXPORT int SimClosedir(DIR* dir) __asm__("closedir");
EXPORT void SimRewinddir(DIR* dir) __asm__("rewinddir");
EXPORT int SimDirfd(DIR* dir) __asm__("dirfd");

namespace {

mode_t ModeArgument(int flags, va_list ap)
{
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(ap, int)) : 0;
}

int OpenCommon(const char* name, const char* path, int flags, mode_t mode)
{
    bool handled = false;
    int fd = DoOpen(path, flags, &handled);
    if (handled)
        return fd;
    static OpenFn slots[2];
    OpenFn real = Next(&slots[strcmp(name, "open") == 0 ? 0 : 1], name);
    return real(path, flags, mode);
}

int OpenAtCommon(const char* name, int dirfd, const char* path, int flags, mode_t mode)
{
    if (path != nullptr && path[0] == '/') {
        bool handled = false;
        int fd = DoOpen(path, flags, &handled);
        if (handled)
            return fd;
    }
    static OpenAtFn slots[2];
    OpenAtFn real = Next(&slots[strcmp(name, "openat") == 0 ? 0 : 1], name);
    return real(dirfd, path, flags, mode);
}

// Dup bookkeeping: newfd now refers to the fake file of oldfd, if any.
int AfterDup(int oldfd, int newfd)
{
    if (newfd < 0 || newfd == oldfd)
        return newfd;
    Lock();
    Untrack(newfd);
    OpenFile* file = FileOf(oldfd);
    if (file != nullptr && newfd < kMaxTrackedFd)
        Track(newfd, file);
    Unlock();
    return newfd;
}

int StatCommon(const char* path, struct stat* st, bool* handled)
{
    int error = 0;
    *handled = FakeStat(path, st, &error);
    return *handled && error != 0 ? Fail(error) : 0;
}

} // namespace

int SimOpen(const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = ModeArgument(flags, ap);
    va_end(ap);
    return OpenCommon("open", path, flags, mode);
}

int SimOpen64(const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = ModeArgument(flags, ap);
    va_end(ap);
    return OpenCommon("open64", path, flags, mode);
}

int SimOpen2(const char* path, int flags) { return OpenCommon("open", path, flags, 0); }
int SimOpen64_2(const char* path, int flags) { return OpenCommon("open64", path, flags, 0); }

int SimOpenAt(int dirfd, const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = ModeArgument(flags, ap);
    va_end(ap);
    return OpenAtCommon("openat", dirfd, path, flags, mode);
}

int SimOpenAt64(int dirfd, const char* path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    mode_t mode = ModeArgument(flags, ap);
    va_end(ap);
    return OpenAtCommon("openat64", dirfd, path, flags, mode);
}

int SimOpenAt2(int dirfd, const char* path, int flags) { return OpenAtCommon("openat", dirfd, path, flags, 0); }
int SimOpenAt64_2(int dirfd, const char* path, int flags)
{
    return OpenAtCommon("openat64", dirfd, path, flags, 0);
}

int SimClose(int fd)
{
    Lock();
    Untrack(fd);
    Unlock();
    return RealClose(fd);
}

int SimIoctl(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    Lock();
    OpenFile* file = FileOf(fd);
    if (file == nullptr) {
        Unlock();
        NEXT(IoctlFn, ioctl);
        return real(fd, request, arg);
    }
    int result = 0;
    if (file->Kind == kNodeFrontend) {
        result = FrontendIoctl(fd, file, request, arg);
    } else if (sFrontends[file->Device].Gone) {
        result = Fail(ENODEV);
    } else if (file->Kind == kNodeDemux || request == DMX_SET_BUFFER_SIZE) {
        result = DemuxIoctl(file, request, arg);
    } else {
        result = Fail(ENOTTY);
    }
    int error = errno;
    Unlock();
    errno = error;
    return result;
}

ssize_t SimRead(int fd, void* buffer, size_t count)
{
    Lock();
    OpenFile* file = FileOf(fd);
    bool demux = file != nullptr && file->Kind == kNodeDemux;
    int timeout = -1;
    bool wait = false;
    if (demux) {
        RefillDemux(file, NowUs());
        // A section filter with a timeout ends a read that gets nothing.
        bool blocking = (RealFcntl(fd, F_GETFL, 0) & O_NONBLOCK) == 0;
        wait = file->Started && blocking;
        timeout = file->Filter.timeout != 0 && !file->Pes ? static_cast<int>(file->Filter.timeout) : -1;
    }
    Unlock();
    if (wait) {
        struct pollfd p = {fd, POLLIN, 0};
        if (SimPoll(&p, 1, timeout) == 0)
            return Fail(ETIMEDOUT);
    }
    NEXT(ReadFn, read);
    return real(fd, buffer, count);
}

ssize_t SimReadChk(int fd, void* buffer, size_t count, size_t size)
{
    if (count > size)
        abort();
    return SimRead(fd, buffer, count);
}

int SimPollExport(struct pollfd* fds, nfds_t n, int timeout) { return SimPoll(fds, n, timeout); }

int SimPollChk(struct pollfd* fds, nfds_t n, int timeout, size_t size)
{
    if (n > size / sizeof *fds)
        abort();
    return SimPoll(fds, n, timeout);
}

int SimPpoll(struct pollfd* fds, nfds_t n, const struct timespec* timeout, const sigset_t* mask)
{
    using PpollFn = int (*)(struct pollfd*, nfds_t, const struct timespec*, const sigset_t*);
    bool fake = false;
    Lock();
    for (nfds_t i = 0; i < n && !fake; ++i)
        fake = FileOf(fds[i].fd) != nullptr;
    Unlock();
    if (!fake) {
        NEXT(PpollFn, ppoll);
        return real(fds, n, timeout, mask);
    }
    // The signal mask holds for the whole wait rather than atomically with
    // it: close enough for a simulator.
    sigset_t saved;
    if (mask != nullptr)
        pthread_sigmask(SIG_SETMASK, mask, &saved);
    int result = SimPoll(fds, n, ToMs(timeout));
    int error = errno;
    if (mask != nullptr)
        pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    errno = error;
    return result;
}

int SimPpollChk(struct pollfd* fds, nfds_t n, const struct timespec* timeout, const sigset_t* mask, size_t size)
{
    if (n > size / sizeof *fds)
        abort();
    return SimPpoll(fds, n, timeout, mask);
}

int SimSelectExport(int nfds, fd_set* r, fd_set* w, fd_set* e, struct timeval* timeout)
{
    bool handled = false;
    int result = SimSelect(nfds, r, w, e, ToMs(timeout), &handled);
    if (handled) {
        if (timeout != nullptr && result == 0)
            timeout->tv_sec = timeout->tv_usec = 0;
        return result;
    }
    using SelectFn = int (*)(int, fd_set*, fd_set*, fd_set*, struct timeval*);
    NEXT(SelectFn, select);
    return real(nfds, r, w, e, timeout);
}

int SimPselect(int nfds, fd_set* r, fd_set* w, fd_set* e, const struct timespec* timeout, const sigset_t* mask)
{
    sigset_t saved;
    if (mask != nullptr)
        pthread_sigmask(SIG_SETMASK, mask, &saved);
    bool handled = false;
    int result = SimSelect(nfds, r, w, e, ToMs(timeout), &handled);
    int error = errno;
    if (mask != nullptr)
        pthread_sigmask(SIG_SETMASK, &saved, nullptr);
    errno = error;
    if (handled)
        return result;
    using PselectFn = int (*)(int, fd_set*, fd_set*, fd_set*, const struct timespec*, const sigset_t*);
    NEXT(PselectFn, pselect);
    return real(nfds, r, w, e, timeout, mask);
}

int SimDup(int fd) { return AfterDup(fd, RealDup(fd)); }

int SimDup2(int fd, int target)
{
    NEXT(Dup2Fn, dup2);
    return AfterDup(fd, real(fd, target));
}

int SimDup3(int fd, int target, int flags)
{
    NEXT(Dup3Fn, dup3);
    return AfterDup(fd, real(fd, target, flags));
}

namespace {

int FcntlCommon(FcntlFn real, int fd, int cmd, void* arg)
{
    int result = real(fd, cmd, arg);
    if (cmd == F_DUPFD || cmd == F_DUPFD_CLOEXEC)
        return AfterDup(fd, result);
    return result;
}

} // namespace

int SimFcntl(int fd, int cmd, ...)
{
    va_list ap;
    va_start(ap, cmd);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    NEXT(FcntlFn, fcntl);
    return FcntlCommon(real, fd, cmd, arg);
}

int SimFcntl64(int fd, int cmd, ...)
{
    va_list ap;
    va_start(ap, cmd);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    NEXT(FcntlFn, fcntl64);
    return FcntlCommon(real, fd, cmd, arg);
}

using StatFn = int (*)(const char*, struct stat*);
using FstatatFn = int (*)(int, const char*, struct stat*, int);
using XstatFn = int (*)(int, const char*, struct stat*);

#define STAT_CALL(fn, name)                                                                        \
    int fn(const char* path, struct stat* st)                                                      \
    {                                                                                              \
        bool handled = false;                                                                      \
        int result = StatCommon(path, st, &handled);                                               \
        if (handled)                                                                               \
            return result;                                                                         \
        NEXT(StatFn, name);                                                                        \
        return real(path, st);                                                                     \
    }
STAT_CALL(SimStat, stat)
STAT_CALL(SimStat64, stat64)
STAT_CALL(SimLstat, lstat)
STAT_CALL(SimLstat64, lstat64)

#define FSTATAT_CALL(fn, name)                                                                     \
    int fn(int dirfd, const char* path, struct stat* st, int flags)                                \
    {                                                                                              \
        if (path != nullptr && path[0] == '/') {                                                   \
            bool handled = false;                                                                  \
            int result = StatCommon(path, st, &handled);                                           \
            if (handled)                                                                           \
                return result;                                                                     \
        }                                                                                          \
        NEXT(FstatatFn, name);                                                                     \
        return real(dirfd, path, st, flags);                                                       \
    }
FSTATAT_CALL(SimFstatat, fstatat)
FSTATAT_CALL(SimFstatat64, fstatat64)

#define XSTAT_CALL(fn, name)                                                                       \
    int fn(int version, const char* path, struct stat* st)                                         \
    {                                                                                              \
        bool handled = false;                                                                      \
        int result = StatCommon(path, st, &handled);                                               \
        if (handled)                                                                               \
            return result;                                                                         \
        NEXT(XstatFn, name);                                                                       \
        return real(version, path, st);                                                            \
    }
XSTAT_CALL(SimXstat, __xstat)
XSTAT_CALL(SimXstat64, __xstat64)
XSTAT_CALL(SimLxstat, __lxstat)
XSTAT_CALL(SimLxstat64, __lxstat64)

int SimAccess(const char* path, int mode)
{
    bool handled = false;
    int result = FakeAccess(path, mode, &handled);
    if (handled)
        return result;
    using AccessFn = int (*)(const char*, int);
    NEXT(AccessFn, access);
    return real(path, mode);
}

int SimFaccessat(int dirfd, const char* path, int mode, int flags)
{
    if (path != nullptr && path[0] == '/') {
        bool handled = false;
        int result = FakeAccess(path, mode, &handled);
        if (handled)
            return result;
    }
    using FaccessatFn = int (*)(int, const char*, int, int);
    NEXT(FaccessatFn, faccessat);
    return real(dirfd, path, mode, flags);
}

DIR* SimOpendir(const char* path)
{
    bool handled = false;
    DIR* dir = FakeOpenDir(path, &handled);
    if (handled)
        return dir;
    using OpendirFn = DIR* (*)(const char*);
    NEXT(OpendirFn, opendir);
    return real(path);
}

namespace {

// The next entry of a fake directory into its record (struct dirent or
// dirent64), or null at the end.
template <typename Entry>
Entry* NextEntry(FakeDir* dir, Entry* e)
{
    memset(e, 0, sizeof *e);
    Lock();
    bool found = DirEntry(dir, dir->Position, e->d_name, sizeof e->d_name, &e->d_type);
    if (found)
        ++dir->Position;
    Unlock();
    if (!found)
        return nullptr;
    e->d_ino = 1000 + dir->Position;
    e->d_reclen = sizeof *e;
    return e;
}

} // namespace

struct dirent* SimReaddir(DIR* handle)
{
    FakeDir* dir = DirOf(handle);
    if (dir == nullptr) {
        using ReaddirFn = struct dirent* (*)(DIR*);
        NEXT(ReaddirFn, readdir);
        return real(handle);
    }
    return NextEntry(dir, &dir->Entry);
}

struct dirent64* SimReaddir64(DIR* handle)
{
    FakeDir* dir = DirOf(handle);
    if (dir == nullptr) {
        using Readdir64Fn = struct dirent64* (*)(DIR*);
        NEXT(Readdir64Fn, readdir64);
        return real(handle);
    }
    return NextEntry(dir, &dir->Entry64);
}

int SimClosedir(DIR* handle)
{
    FakeDir* dir = DirOf(handle);
    if (dir == nullptr) {
        using ClosedirFn = int (*)(DIR*);
        NEXT(ClosedirFn, closedir);
        return real(handle);
    }
    Lock();
    dir->Used = false;
    Unlock();
    return 0;
}

void SimRewinddir(DIR* handle)
{
    FakeDir* dir = DirOf(handle);
    if (dir == nullptr) {
        using RewinddirFn = void (*)(DIR*);
        NEXT(RewinddirFn, rewinddir);
        real(handle);
        return;
    }
    dir->Position = 0;
}

int SimDirfd(DIR* handle)
{
    if (DirOf(handle) != nullptr)
        return Fail(ENOTSUP);
    using DirfdFn = int (*)(DIR*);
    NEXT(DirfdFn, dirfd);
    return real(handle);
}

namespace {

// A forked child keeps the state but must not inherit a held lock.
void BeforeFork() { Lock(); }
void AfterFork() { Unlock(); }

__attribute__((constructor)) void SetUpFork()
{
    pthread_atfork(BeforeFork, AfterFork, AfterFork);
}

} // namespace
