// The simulator's process-wide state: the band, one frontend per device,
// and the open files of the fake nodes. Shared by the interposed C library
// calls and the libudev replacement; every access holds Lock().
#pragma once

#include <cstdint>

#include "Band.h"
#include "Frontend.h"

namespace tressel {
namespace dvbsim {

enum NodeKind : uint8_t { kNodeFrontend, kNodeDemux, kNodeDvr, kNodeKinds };

constexpr const char* kNodeNames[kNodeKinds] = {"frontend", "demux", "dvr"};

// A parsed /dev/dvb path.
enum PathKind { kPathNone, kPathRoot, kPathAdapter, kPathNode };
struct DvbPath {
    PathKind Kind;
    uint32_t Adapter;
    NodeKind Node;
    uint32_t Number;
};

// Parses path; kPathNone when it is not under /dev/dvb.
DvbPath ParseDvbPath(const char* path);

// Reads the band once (TRESSEL_VIRTUAL_BAND, else the built-in band) and
// returns it; never null.
const vt::Band* SimBand();

// The device of a node, or -1 when no present device has it.
int32_t FindDevice(uint32_t adapter, uint32_t frontend);

// True when device n exists and has not vanished.
bool DevicePresent(uint32_t n);

// The kernel's minor number of a node: adapter, number and kind.
uint32_t NodeMinor(uint32_t adapter, uint32_t number, NodeKind kind);

void Lock();
void Unlock();

} // namespace dvbsim
} // namespace tressel
