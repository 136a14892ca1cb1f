// The preloaded library itself: each case runs in a child process of this
// test program with the simulator preloaded and a band of its own, and makes
// the C library calls a DVB program makes.
#include <gtest/gtest.h>

#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <linux/dvb/dmx.h>
#include <linux/dvb/frontend.h>

#include "Sections.h"
#include "support/TestSupport.h"

using namespace tressel::dvbsim;

extern "C" {
struct udev;
struct udev_enumerate;
struct udev_list_entry;
struct udev_device;
udev* udev_new(void);
udev_enumerate* udev_enumerate_new(udev*);
int udev_enumerate_add_match_subsystem(udev_enumerate*, const char*);
int udev_enumerate_scan_devices(udev_enumerate*);
udev_list_entry* udev_enumerate_get_list_entry(udev_enumerate*);
udev_list_entry* udev_list_entry_get_next(udev_list_entry*);
const char* udev_list_entry_get_name(udev_list_entry*);
udev_device* udev_device_new_from_syspath(udev*, const char*);
const char* udev_device_get_devnode(udev_device*);
const char* udev_device_get_property_value(udev_device*, const char*);
const char* udev_device_get_sysname(udev_device*);
udev_device* udev_device_get_parent(udev_device*);
const char* udev_device_get_subsystem(udev_device*);
}

namespace {

// Weak references: the test program runs without the simulator too, and
// never calls these then.
#pragma weak udev_new
#pragma weak udev_enumerate_new
#pragma weak udev_enumerate_add_match_subsystem
#pragma weak udev_enumerate_scan_devices
#pragma weak udev_enumerate_get_list_entry
#pragma weak udev_list_entry_get_next
#pragma weak udev_list_entry_get_name
#pragma weak udev_device_new_from_syspath
#pragma weak udev_device_get_devnode
#pragma weak udev_device_get_property_value
#pragma weak udev_device_get_sysname
#pragma weak udev_device_get_parent
#pragma weak udev_device_get_subsystem

bool InChild() { return getenv("DVB_SIM_TEST_CHILD") != nullptr; }

#define CHILD_ONLY()                                                                               \
    if (!InChild())                                                                                \
    GTEST_SKIP() << "runs only under the preload, started by Preload.*"

const char* kBand = R"(
[Devices]
Count=4
Name0=Sim A
Adapter0=0
Name1=Sim B
Adapter1=2
Frontend1=1
Systems1=DVBC_ANNEX_A
Name2=Locked away
Adapter2=3
Access2=denied
Name3=Held elsewhere
Adapter3=4
Access3=busy

[Transponder0]
Frequency=474000
Bandwidth=8000
Standard=6
Modulation=20
CarrierMs=50
LockMs=300
RfLevel=-50
Snr=30

[Transponder1]
Frequency=490000
Bandwidth=8000
Standard=7
Modulation=22
PlpIds=0,1
)";

const char* kVanishingBand = R"(
[Devices]
VanishAfterTunes0=1
[Transponder0]
Frequency=474000
Bandwidth=8000
Standard=6
)";

std::set<std::string> List(const char* path)
{
    std::set<std::string> names;
    DIR* dir = opendir(path);
    if (dir == nullptr)
        return names;
    while (struct dirent* e = readdir(dir))
        names.insert(e->d_name);
    closedir(dir);
    return names;
}

int Tune(int fd, uint32_t system, uint32_t hz)
{
    dtv_property p[4];
    memset(p, 0, sizeof p);
    p[0].cmd = DTV_CLEAR;
    p[1].cmd = DTV_DELIVERY_SYSTEM;
    p[1].u.data = system;
    p[2].cmd = DTV_FREQUENCY;
    p[2].u.data = hz;
    p[3].cmd = DTV_TUNE;
    dtv_properties props = {4, p};
    return ioctl(fd, FE_SET_PROPERTY, &props);
}

long long MsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

TEST(UnderPreload, NodesAreFoundByDirectoryStatAndUdev)
{
    CHILD_ONLY();
    EXPECT_EQ(List("/dev/dvb"), (std::set<std::string>{".", "..", "adapter0", "adapter2", "adapter3", "adapter4"}));
    EXPECT_EQ(List("/dev/dvb/adapter2/"), (std::set<std::string>{".", "..", "demux1", "dvr1", "frontend1"}));
    struct stat st;
    ASSERT_EQ(stat("/dev/dvb/adapter2/frontend1", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(stat("/dev/dvb/adapter2/frontend0", &st), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(stat("/dev/dvb/adapter1", &st), -1);
    ASSERT_EQ(stat("/dev/dvb", &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(access("/dev/dvb/adapter0/demux0", R_OK | W_OK), 0);
    EXPECT_EQ(open("/dev/dvb/adapter9/frontend0", O_RDWR), -1);
    EXPECT_EQ(errno, ENOENT);

    ASSERT_NE(udev_new, nullptr) << "the preload provides libudev's calls";
    udev* u = udev_new();
    udev_enumerate* e = udev_enumerate_new(u);
    udev_enumerate_add_match_subsystem(e, "dvb");
    udev_enumerate_scan_devices(e);
    std::set<std::string> nodes;
    for (udev_list_entry* entry = udev_enumerate_get_list_entry(e); entry != nullptr;
         entry = udev_list_entry_get_next(entry)) {
        udev_device* d = udev_device_new_from_syspath(u, udev_list_entry_get_name(entry));
        ASSERT_NE(d, nullptr);
        nodes.insert(std::string(udev_device_get_devnode(d)) + " " + udev_device_get_property_value(d, "DVB_DEVICE_TYPE") +
                     " " + udev_device_get_sysname(d));
        udev_device* parent = udev_device_get_parent(d);
        ASSERT_NE(parent, nullptr) << "libdvbv5 lists only devices with a parent";
        EXPECT_STREQ(udev_device_get_subsystem(parent), "platform");
    }
    EXPECT_EQ(nodes.size(), 12u);
    EXPECT_EQ(nodes.count("/dev/dvb/adapter2/frontend1 frontend dvb2.frontend1"), 1u);
    EXPECT_EQ(nodes.count("/dev/dvb/adapter0/demux0 demux dvb0.demux0"), 1u);
}

TEST(UnderPreload, ABandWithoutDevicesHasNoDvbDirectory)
{
    CHILD_ONLY();
    EXPECT_EQ(opendir("/dev/dvb"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    struct stat st;
    EXPECT_EQ(stat("/dev/dvb", &st), -1);
    EXPECT_EQ(open("/dev/dvb/adapter0/frontend0", O_RDONLY), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST(UnderPreload, PermissionsAndTheOneWriter)
{
    CHILD_ONLY();
    EXPECT_EQ(open("/dev/dvb/adapter3/frontend0", O_RDONLY), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(access("/dev/dvb/adapter3/frontend0", R_OK), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(open("/dev/dvb/adapter4/frontend0", O_RDWR), -1);
    EXPECT_EQ(errno, EBUSY);
    int reader = open("/dev/dvb/adapter4/frontend0", O_RDONLY);
    ASSERT_GE(reader, 0) << "a busy frontend still opens read-only";
    dvb_frontend_info info;
    ASSERT_EQ(ioctl(reader, FE_GET_INFO, &info), 0);
    EXPECT_STREQ(info.name, "Held elsewhere");
    EXPECT_EQ(Tune(reader, SYS_DVBT, 474000000), -1);
    EXPECT_EQ(errno, EPERM) << "a read-only open may not tune";
    close(reader);

    int first = open("/dev/dvb/adapter0/frontend0", O_RDWR);
    ASSERT_GE(first, 0);
    EXPECT_EQ(open("/dev/dvb/adapter0/frontend0", O_RDWR | O_NONBLOCK), -1);
    EXPECT_EQ(errno, EBUSY) << "one writer at a time";
    int copy = dup(first);
    ASSERT_GE(copy, 0);
    close(first);
    EXPECT_EQ(ioctl(copy, FE_GET_INFO, &info), 0) << "a duplicate keeps the open file";
    EXPECT_EQ(open("/dev/dvb/adapter0/frontend0", O_RDWR), -1);
    close(copy);
    int again = open("/dev/dvb/adapter0/frontend0", O_RDWR);
    EXPECT_GE(again, 0) << "the last close releases the writer";
    close(again);
}

TEST(UnderPreload, PollWakesOnTheEventsOfATune)
{
    CHILD_ONLY();
    int fe = open("/dev/dvb/adapter0/frontend0", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fe, 0);
    dvb_frontend_event event;
    EXPECT_EQ(ioctl(fe, FE_GET_EVENT, &event), -1);
    EXPECT_EQ(errno, EWOULDBLOCK) << "no events before a tune";
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Tune(fe, SYS_DVBT, 474000000), 0);
    fe_status_t status;
    ASSERT_EQ(ioctl(fe, FE_READ_STATUS, &status), 0);
    EXPECT_EQ(status, 0) << "right after a tune";

    // The retune's own event first, then each change of status.
    uint32_t seen[4] = {};
    int count = 0;
    while (count < 3 && MsSince(start) < 3000) {
        struct pollfd p = {fe, POLLPRI, 0};
        ASSERT_EQ(poll(&p, 1, 3000), 1);
        EXPECT_NE(p.revents & POLLPRI, 0);
        ASSERT_EQ(ioctl(fe, FE_GET_EVENT, &event), 0);
        seen[count++] = event.status;
    }
    ASSERT_EQ(count, 3);
    EXPECT_EQ(seen[0], 0u);
    EXPECT_EQ(seen[1], static_cast<uint32_t>(FE_HAS_SIGNAL | FE_HAS_CARRIER));
    EXPECT_EQ(seen[2] & FE_HAS_LOCK, static_cast<uint32_t>(FE_HAS_LOCK));
    EXPECT_GE(MsSince(start), 300) << "the lock comes after LockMs";
    ASSERT_EQ(ioctl(fe, FE_READ_STATUS, &status), 0);
    EXPECT_NE(status & FE_HAS_LOCK, 0);

    // A frequency without a transponder: only the retune's event.
    ASSERT_EQ(Tune(fe, SYS_DVBT, 506000000), 0);
    struct pollfd p = {fe, POLLPRI, 0};
    ASSERT_EQ(poll(&p, 1, 1000), 1);
    ASSERT_EQ(ioctl(fe, FE_GET_EVENT, &event), 0);
    EXPECT_EQ(event.status, 0);
    EXPECT_EQ(poll(&p, 1, 100), 0) << "nothing more happens";
    close(fe);
}

// Reads one section from a demux with a filter on pid and table id.
int Filter(int dmx, uint16_t pid, uint8_t table, uint32_t timeoutMs)
{
    dmx_sct_filter_params f;
    memset(&f, 0, sizeof f);
    f.pid = pid;
    f.filter.filter[0] = table;
    f.filter.mask[0] = 0xFF;
    f.timeout = timeoutMs;
    f.flags = DMX_IMMEDIATE_START | DMX_CHECK_CRC;
    return ioctl(dmx, DMX_SET_FILTER, &f);
}

TEST(UnderPreload, DemuxDeliversOneSectionPerReadAfterTheLock)
{
    CHILD_ONLY();
    int fe = open("/dev/dvb/adapter0/frontend0", O_RDWR);
    int dmx = open("/dev/dvb/adapter0/demux0", O_RDWR | O_NONBLOCK);
    ASSERT_GE(fe, 0);
    ASSERT_GE(dmx, 0);
    ASSERT_EQ(Tune(fe, SYS_DVBT, 474000000), 0);
    ASSERT_EQ(Filter(dmx, kPidPat, kTablePat, 0), 0);
    uint8_t buffer[4096];
    EXPECT_EQ(read(dmx, buffer, sizeof buffer), -1) << "no stream before the lock";
    EXPECT_EQ(errno, EAGAIN);

    // select (as libdvbv5 waits) wakes when the lock brings the PAT.
    auto start = std::chrono::steady_clock::now();
    fd_set set;
    FD_ZERO(&set);
    FD_SET(dmx, &set);
    struct timeval tv = {2, 0};
    ASSERT_EQ(select(FD_SETSIZE, &set, nullptr, nullptr, &tv), 1);
    EXPECT_GE(MsSince(start), 250);
    ssize_t n = read(dmx, buffer, sizeof buffer);
    ASSERT_GT(n, 0);
    EXPECT_EQ(n, 3 + (((buffer[1] & 0x0F) << 8) | buffer[2])) << "one whole section";
    EXPECT_EQ(buffer[0], kTablePat);
    EXPECT_EQ((buffer[3] << 8) | buffer[4], 1) << "transport stream id";
    EXPECT_EQ(Crc32(buffer, static_cast<size_t>(n)), 0u);
    EXPECT_GT(read(dmx, buffer, sizeof buffer), 0) << "the stream repeats its tables";

    ASSERT_EQ(Filter(dmx, kPidNit, kTableNitOther, 0), 0);
    n = read(dmx, buffer, sizeof buffer);
    ASSERT_GT(n, 0);
    EXPECT_EQ(buffer[0], kTableNitOther) << "the filter's table only";

    // A table the stream does not carry: a blocking read ends at the
    // filter's timeout.
    int blocking = open("/dev/dvb/adapter0/demux0", O_RDWR);
    ASSERT_GE(blocking, 0);
    ASSERT_EQ(Filter(blocking, 0x12, 0x4E, 200), 0);
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(read(blocking, buffer, sizeof buffer), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    EXPECT_GE(MsSince(start), 190);
    close(blocking);
    close(dmx);
    close(fe);
}

TEST(UnderPreload, AVanishedDeviceFailsEveryCall)
{
    CHILD_ONLY();
    int fe = open("/dev/dvb/adapter0/frontend0", O_RDWR);
    ASSERT_GE(fe, 0);
    ASSERT_EQ(Tune(fe, SYS_DVBT, 474000000), 0) << "the last tune succeeds";
    fe_status_t status;
    EXPECT_EQ(ioctl(fe, FE_READ_STATUS, &status), -1);
    EXPECT_EQ(errno, ENODEV);
    EXPECT_EQ(Tune(fe, SYS_DVBT, 474000000), -1);
    EXPECT_EQ(errno, ENODEV);
    struct pollfd p = {fe, POLLPRI, 0};
    EXPECT_EQ(poll(&p, 1, 1000), 1);
    EXPECT_NE(p.revents & POLLHUP, 0) << "pollers wake";
    EXPECT_EQ(open("/dev/dvb/adapter0/frontend0", O_RDONLY), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(access("/dev/dvb/adapter0/frontend0", F_OK), -1);
    EXPECT_TRUE(List("/dev/dvb/adapter0").empty()) << "its adapter is gone with it";
    EXPECT_EQ(List("/dev/dvb"), (std::set<std::string>{".", ".."}));
    close(fe);
}

TEST(UnderPreload, AForkedChildKeepsItsOpenFrontend)
{
    CHILD_ONLY();
    int fe = open("/dev/dvb/adapter0/frontend0", O_RDWR);
    ASSERT_GE(fe, 0);
    pid_t child = fork();
    if (child == 0) {
        dvb_frontend_info info;
        _exit(ioctl(fe, FE_GET_INFO, &info) == 0 && strcmp(info.name, "Sim A") == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    close(fe);
}

// The parent side: runs one case in a child with the simulator preloaded.
void RunUnderPreload(const std::string& test, const char* band)
{
    testsupport::TempDir dir;
    std::string bandPath = dir.File("band.ini");
    testsupport::WriteFile(bandPath, band);
    testsupport::RunOptions options;
    options.Program = "/proc/self/exe";
    options.Args = {"--gtest_filter=UnderPreload." + test};
    options.Env = {{"LD_PRELOAD", testsupport::BinDir() + "/libTresselDvbSim.so"},
                   {"TRESSEL_VIRTUAL_BAND", bandPath},
                   {"DVB_SIM_TEST_CHILD", "1"}};
    testsupport::RunResult result = testsupport::Run(options);
    EXPECT_EQ(result.ExitCode, 0) << result.Out << result.Err;
    EXPECT_NE(result.Out.find("[  PASSED  ] 1 test"), std::string::npos) << result.Out;
}

TEST(Preload, Discovery) { RunUnderPreload("NodesAreFoundByDirectoryStatAndUdev", kBand); }
TEST(Preload, NoDevices) { RunUnderPreload("ABandWithoutDevicesHasNoDvbDirectory", "[Devices]\nCount=0\n"); }
TEST(Preload, RefusedBand) { RunUnderPreload("ABandWithoutDevicesHasNoDvbDirectory", "[Devices]\nSystems0=DVBX\n"); }
TEST(Preload, Permissions) { RunUnderPreload("PermissionsAndTheOneWriter", kBand); }
TEST(Preload, Events) { RunUnderPreload("PollWakesOnTheEventsOfATune", kBand); }
TEST(Preload, Demux) { RunUnderPreload("DemuxDeliversOneSectionPerReadAfterTheLock", kBand); }
TEST(Preload, Vanish) { RunUnderPreload("AVanishedDeviceFailsEveryCall", kVanishingBand); }
TEST(Preload, Fork) { RunUnderPreload("AForkedChildKeepsItsOpenFrontend", kBand); }

} // namespace
