// What libudev answers about the fake nodes. Programs built on libdvbv5
// find DVB devices only through libudev, so the simulator provides the
// calls they make: an enumeration of the "dvb" subsystem, each node's
// device node, type, name and parent, and a monitor that never reports.
// With the simulator preloaded these definitions replace the real
// library's for the whole process.
#include <cstdio>
#include <cstring>

#include <sys/socket.h>
#include <unistd.h>

#include "SimState.h"

using namespace tressel;
using namespace tressel::dvbsim;

// The opaque handles of libudev's interface.
extern "C" {
struct udev {
    int Unused;
};
struct udev_list_entry;
struct udev_device;
struct udev_enumerate;
struct udev_monitor {
    int Fd[2];
};
}

struct udev_device {
    bool Used;
    bool Parent; // the platform device above the nodes
    uint32_t Adapter;
    uint32_t Number;
    NodeKind Kind;
    char SysPath[128];
    char SysName[48];
    char DevNode[64];
    char NumberText[16];
    char AdapterText[16];
};

struct udev_list_entry {
    char Name[128];
    udev_list_entry* Next;
};

struct udev_enumerate {
    bool Dvb; // matches the "dvb" subsystem
    uint32_t Count;
    udev_list_entry Entries[3 * vt::kMaxDevices];
};

namespace {

udev sUdev;
udev_enumerate sEnumerate;
udev_monitor sMonitor = {{-1, -1}};
constexpr uint32_t kMaxDeviceObjects = 64;
udev_device sDevices[kMaxDeviceObjects];
uint32_t sNextDevice = 0;

constexpr const char* kPlatformPath = "/sys/devices/platform/dvbsim";

// A device object from a pool that is reused in turn: programs free them
// right after reading, and the pool is far larger than what one reads at once.
udev_device* NewDevice()
{
    udev_device* d = &sDevices[sNextDevice];
    sNextDevice = (sNextDevice + 1) % kMaxDeviceObjects;
    memset(d, 0, sizeof *d);
    d->Used = true;
    return d;
}

} // namespace

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT udev* udev_new(void) { return &sUdev; }
EXPORT udev* udev_ref(udev* u) { return u; }
EXPORT udev* udev_unref(udev*) { return nullptr; }

EXPORT udev_enumerate* udev_enumerate_new(udev*)
{
    memset(&sEnumerate, 0, sizeof sEnumerate);
    return &sEnumerate;
}

EXPORT udev_enumerate* udev_enumerate_ref(udev_enumerate* e) { return e; }
EXPORT udev_enumerate* udev_enumerate_unref(udev_enumerate*) { return nullptr; }

EXPORT int udev_enumerate_add_match_subsystem(udev_enumerate* e, const char* subsystem)
{
    if (subsystem != nullptr && strcmp(subsystem, "dvb") == 0)
        e->Dvb = true;
    return 0;
}

EXPORT int udev_enumerate_scan_devices(udev_enumerate* e)
{
    e->Count = 0;
    if (!e->Dvb)
        return 0;
    Lock();
    const vt::Band* band = SimBand();
    for (uint32_t n = 0; n < band->DeviceCount; ++n) {
        if (!DevicePresent(n))
            continue;
        const vt::DvbDevice* dvb = &band->DvbDevices[n];
        for (uint32_t kind = 0; kind < kNodeKinds; ++kind) {
            udev_list_entry* entry = &e->Entries[e->Count++];
            snprintf(entry->Name, sizeof entry->Name, "%s/dvb/dvb%u.%s%u", kPlatformPath, dvb->Adapter,
                     kNodeNames[kind], dvb->Frontend);
            entry->Next = nullptr;
            if (e->Count > 1)
                e->Entries[e->Count - 2].Next = entry;
        }
    }
    Unlock();
    return 0;
}

EXPORT int udev_enumerate_scan_subsystems(udev_enumerate*) { return 0; }

EXPORT udev_list_entry* udev_enumerate_get_list_entry(udev_enumerate* e)
{
    return e->Count > 0 ? &e->Entries[0] : nullptr;
}

EXPORT udev_list_entry* udev_list_entry_get_next(udev_list_entry* entry)
{
    return entry != nullptr ? entry->Next : nullptr;
}

EXPORT const char* udev_list_entry_get_name(udev_list_entry* entry)
{
    return entry != nullptr ? entry->Name : nullptr;
}

EXPORT const char* udev_list_entry_get_value(udev_list_entry*) { return nullptr; }

EXPORT udev_device* udev_device_new_from_syspath(udev*, const char* syspath)
{
    if (syspath == nullptr)
        return nullptr;
    size_t prefix = strlen(kPlatformPath);
    if (strncmp(syspath, kPlatformPath, prefix) != 0)
        return nullptr;
    const char* name = strrchr(syspath, '/');
    if (name == nullptr)
        return nullptr;
    ++name;
    unsigned adapter = 0;
    unsigned number = 0;
    char kindText[16] = {};
    if (sscanf(name, "dvb%u.%15[a-z]%u", &adapter, kindText, &number) != 3)
        return nullptr;
    for (uint32_t kind = 0; kind < kNodeKinds; ++kind) {
        if (strcmp(kindText, kNodeNames[kind]) != 0)
            continue;
        Lock();
        bool present = FindDevice(adapter, number) >= 0;
        Unlock();
        if (!present)
            return nullptr;
        udev_device* d = NewDevice();
        d->Adapter = adapter;
        d->Number = number;
        d->Kind = static_cast<NodeKind>(kind);
        snprintf(d->SysPath, sizeof d->SysPath, "%s", syspath);
        snprintf(d->SysName, sizeof d->SysName, "%s", name);
        snprintf(d->DevNode, sizeof d->DevNode, "/dev/dvb/adapter%u/%s%u", adapter, kNodeNames[kind], number);
        snprintf(d->NumberText, sizeof d->NumberText, "%u", number);
        snprintf(d->AdapterText, sizeof d->AdapterText, "%u", adapter);
        return d;
    }
    return nullptr;
}

EXPORT udev_device* udev_device_ref(udev_device* d) { return d; }
EXPORT udev_device* udev_device_unref(udev_device*) { return nullptr; }

EXPORT const char* udev_device_get_devnode(udev_device* d)
{
    return d != nullptr && !d->Parent ? d->DevNode : nullptr;
}

EXPORT const char* udev_device_get_syspath(udev_device* d) { return d != nullptr ? d->SysPath : nullptr; }
EXPORT const char* udev_device_get_sysname(udev_device* d) { return d != nullptr ? d->SysName : nullptr; }
EXPORT const char* udev_device_get_devtype(udev_device*) { return nullptr; }
EXPORT const char* udev_device_get_action(udev_device*) { return nullptr; }

EXPORT const char* udev_device_get_subsystem(udev_device* d)
{
    if (d == nullptr)
        return nullptr;
    return d->Parent ? "platform" : "dvb";
}

EXPORT const char* udev_device_get_property_value(udev_device* d, const char* key)
{
    if (d == nullptr || d->Parent || key == nullptr)
        return nullptr;
    if (strcmp(key, "DVB_DEVICE_TYPE") == 0)
        return kNodeNames[d->Kind];
    if (strcmp(key, "DVB_ADAPTER_NUM") == 0)
        return d->AdapterText;
    if (strcmp(key, "DVB_DEVICE_NUM") == 0)
        return d->NumberText;
    if (strcmp(key, "DEVNAME") == 0)
        return d->DevNode;
    if (strcmp(key, "SUBSYSTEM") == 0)
        return "dvb";
    return nullptr;
}

EXPORT const char* udev_device_get_sysattr_value(udev_device*, const char*) { return nullptr; }

EXPORT udev_device* udev_device_get_parent(udev_device* d)
{
    if (d == nullptr || d->Parent)
        return nullptr;
    udev_device* parent = NewDevice();
    parent->Parent = true;
    parent->Adapter = d->Adapter;
    snprintf(parent->SysPath, sizeof parent->SysPath, "%s", kPlatformPath);
    snprintf(parent->SysName, sizeof parent->SysName, "dvbsim");
    return parent;
}

EXPORT udev_monitor* udev_monitor_new_from_netlink(udev*, const char*)
{
    // A socket that never carries anything: nodes never come or go.
    if (sMonitor.Fd[0] < 0 && socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sMonitor.Fd) != 0)
        return nullptr;
    return &sMonitor;
}

EXPORT udev_monitor* udev_monitor_ref(udev_monitor* m) { return m; }
EXPORT udev_monitor* udev_monitor_unref(udev_monitor*) { return nullptr; }
EXPORT int udev_monitor_filter_add_match_subsystem_devtype(udev_monitor*, const char*, const char*) { return 0; }
EXPORT int udev_monitor_enable_receiving(udev_monitor*) { return 0; }
EXPORT int udev_monitor_get_fd(udev_monitor* m) { return m != nullptr ? m->Fd[0] : -1; }
EXPORT udev_device* udev_monitor_receive_device(udev_monitor*) { return nullptr; }
