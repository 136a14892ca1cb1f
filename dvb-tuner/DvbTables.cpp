#include "DvbTables.h"

#include <fcntl.h>

#include <cstring>

#include "DvbIo.h"
#include "DvbKernel.h"

namespace tressel {
namespace dvb {

namespace {

uint32_t Be16(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 8) | p[1];
}

uint32_t Be32(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

// Decodes count binary-coded decimal digits starting at the high nibble.
uint32_t Bcd(const uint8_t* p, int digits)
{
    uint32_t value = 0;
    for (int i = 0; i < digits; ++i) {
        uint32_t nibble = (i % 2 == 0) ? (p[i / 2] >> 4) : (p[i / 2] & 0x0f);
        value = value * 10u + (nibble > 9 ? 0 : nibble);
    }
    return value;
}

uint32_t Distance(uint32_t a, uint32_t b)
{
    return a > b ? a - b : b - a;
}

// Descriptor fields to record codes, indexed by the field's value.
constexpr uint32_t kTerrestrialBandwidthKHz[8] = {8000, 7000, 6000, 5000, 0, 0, 0, 0};
constexpr uint32_t kT2BandwidthKHz[16] = {8000, 7000, 6000, 5000, 10000, 1712, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr uint32_t kTerrestrialConstellation[4] = {1, 18, 20, 0};
constexpr uint32_t kTerrestrialCodeRate[8] = {1, 2, 3, 5, 7, 0, 0, 0};
constexpr uint32_t kTerrestrialMode[4] = {2, 4, 3, 0};
constexpr uint32_t kT2Guard[8] = {1, 2, 3, 4, 5, 6, 7, 0};
constexpr uint32_t kT2Mode[8] = {2, 4, 3, 1, 5, 6, 0, 0};
constexpr uint32_t kCableModulation[8] = {0, 18, 19, 20, 21, 22, 0, 0};
constexpr uint32_t kCableFec[16] = {0, 1, 2, 3, 5, 7, 8, 13, 4, 9, 0, 0, 0, 0, 0, 0};

constexpr uint32_t kMatchKHz = 1000;

// DVB-T, descriptor 0x5A.
bool Terrestrial(const uint8_t* d, size_t length, bool byTsid, uint32_t lockedKHz, NitDelivery* out)
{
    if (length < 7)
        return false;
    uint32_t kHz = Be32(d) / 100u;
    if (!byTsid && Distance(kHz, lockedKHz) > kMatchKHz)
        return false;
    out->BandwidthKHz = kTerrestrialBandwidthKHz[d[4] >> 5];
    out->Modulation = kTerrestrialConstellation[d[5] >> 6];
    uint32_t hierarchy = (d[5] >> 3) & 0x07;
    out->Hierarchy = hierarchy & 0x03; // 1, 2, 3: alpha 1, 2, 4 (native or in-depth)
    out->Fec = kTerrestrialCodeRate[d[5] & 0x07];
    out->FecLp = out->Hierarchy != 0 ? kTerrestrialCodeRate[d[6] >> 5] : 0;
    out->GuardInterval = ((d[6] >> 3) & 0x03) + 1u;
    out->TransmissionMode = kTerrestrialMode[(d[6] >> 1) & 0x03];
    return true;
}

// DVB-T2, extension descriptor 0x7F with tag 0x04 (d points past the tag).
bool T2(const uint8_t* d, size_t length, bool byTsid, uint32_t lockedKHz, NitDelivery* out)
{
    if (length < 4)
        return false;
    uint8_t plp = d[1];
    bool matched = byTsid;
    if (length >= 6) {
        bool tfs = (d[5] & 0x01) != 0;
        size_t at = 6;
        while (!matched && at + 2 <= length) {
            at += 2; // cell_id
            if (tfs) {
                if (at >= length)
                    break;
                size_t loop = d[at++];
                for (size_t i = 0; i + 4 <= loop && at + i + 4 <= length; i += 4)
                    matched = matched || Distance(Be32(d + at + i) / 100u, lockedKHz) <= kMatchKHz;
                at += loop;
            } else {
                if (at + 4 > length)
                    break;
                matched = Distance(Be32(d + at) / 100u, lockedKHz) <= kMatchKHz;
                at += 4;
            }
            if (at >= length)
                break;
            at += 1u + d[at]; // subcell loop
        }
    }
    if (!matched)
        return false;
    if (length >= 6) {
        out->S1Signaling = (d[4] >> 6) == 1 ? 1u : 0u;
        out->BandwidthKHz = kT2BandwidthKHz[(d[4] >> 2) & 0x0f];
        out->GuardInterval = kT2Guard[d[5] >> 5];
        out->TransmissionMode = kT2Mode[(d[5] >> 2) & 0x07];
    }
    for (uint32_t i = 0; i < out->PlpCount; ++i) {
        if (out->PlpIds[i] == plp)
            return true;
    }
    if (out->PlpCount < kMaxNitPlps)
        out->PlpIds[out->PlpCount++] = plp;
    return true;
}

// DVB-C, descriptor 0x44.
bool Cable(const uint8_t* d, size_t length, bool byTsid, uint32_t lockedKHz, NitDelivery* out)
{
    if (length < 11)
        return false;
    uint32_t kHz = Bcd(d, 8) / 10u;
    if (!byTsid && Distance(kHz, lockedKHz) > kMatchKHz)
        return false;
    out->Modulation = kCableModulation[d[6] & 0x07];
    out->SymbolRate = Bcd(d + 7, 7) * 100u;
    out->Fec = kCableFec[d[10] & 0x0f];
    return true;
}

} // namespace

int ParsePatTsid(const uint8_t* section, size_t length)
{
    if (length < 8 || section[0] != 0x00)
        return -1;
    return static_cast<int>(Be16(section + 3));
}

int ParseNitSection(const uint8_t* section, size_t length, int tsid, uint32_t lockedKHz, NitDelivery* out)
{
    if (length < 12 || section[0] != 0x40)
        return -1;
    size_t sectionLength = Be16(section + 1) & 0x0fff;
    if (3 + sectionLength > length || sectionLength < 13)
        return -1;
    size_t end = 3 + sectionLength - 4; // before the CRC
    size_t at = 8;
    size_t networkLoop = Be16(section + at) & 0x0fff;
    at += 2 + networkLoop;
    if (at + 2 > end)
        return -1;
    size_t streamLoopEnd = at + 2 + (Be16(section + at) & 0x0fff);
    at += 2;
    if (streamLoopEnd > end)
        return -1;
    while (at + 6 <= streamLoopEnd) {
        int entryTsid = static_cast<int>(Be16(section + at));
        size_t descriptorsEnd = at + 6 + (Be16(section + at + 4) & 0x0fff);
        at += 6;
        if (descriptorsEnd > streamLoopEnd)
            return -1;
        bool byTsid = tsid >= 0;
        if (!byTsid || entryTsid == tsid) {
            while (at + 2 <= descriptorsEnd) {
                uint8_t tag = section[at];
                size_t dLength = section[at + 1];
                const uint8_t* d = section + at + 2;
                if (at + 2 + dLength > descriptorsEnd)
                    return -1;
                bool found = false;
                if (tag == 0x5A)
                    found = Terrestrial(d, dLength, byTsid, lockedKHz, out);
                else if (tag == 0x44)
                    found = Cable(d, dLength, byTsid, lockedKHz, out);
                else if (tag == 0x7F && dLength >= 1 && d[0] == 0x04)
                    found = T2(d, dLength, byTsid, lockedKHz, out);
                if (found)
                    out->Found = 1;
                at += 2 + dLength;
            }
        }
        at = descriptorsEnd;
    }
    return 0;
}

namespace {

// Starts a section filter for one table on pid; returns the demux's fd or -1.
int StartFilter(const char* demuxPath, uint16_t pid, uint8_t table, uint32_t timeoutMs)
{
    int fd = gDvbIo.Open(demuxPath, O_RDWR | O_NONBLOCK);
    if (fd < 0)
        return -1;
    dmx_sct_filter_params params = {};
    params.pid = pid;
    params.filter.filter[0] = table;
    params.filter.mask[0] = 0xff;
    params.timeout = timeoutMs;
    params.flags = DMX_IMMEDIATE_START | DMX_CHECK_CRC;
    if (gDvbIo.Ioctl(fd, DMX_SET_FILTER, &params) < 0) {
        gDvbIo.Close(fd);
        return -1;
    }
    return fd;
}

// Waits for the next section on fd until deadline; its length, or 0.
size_t NextSection(int fd, uint32_t deadline, uint8_t* buffer, size_t size)
{
    for (;;) {
        uint32_t now = gDvbIo.NowMs();
        if (static_cast<int32_t>(deadline - now) <= 0)
            return 0;
        int ready = gDvbIo.WaitEvent(fd, static_cast<int>(deadline - now));
        if (ready < 0)
            return 0;
        if (ready == 0)
            continue;
        long got = gDvbIo.Read(fd, buffer, size);
        if (got > 0)
            return static_cast<size_t>(got);
        if (got == 0)
            return 0;
        // EAGAIN, or a CRC or overflow error of one section: try the next.
    }
}

} // namespace

int ReadTransponderTables(const char* demuxPath, uint32_t timeoutMs, uint32_t lockedKHz, NitDelivery* out)
{
    memset(out, 0, sizeof(*out));
    uint32_t deadline = gDvbIo.NowMs() + timeoutMs;
    static uint8_t section[4096];

    int tsid = -1;
    int fd = StartFilter(demuxPath, 0x0000, 0x00, timeoutMs);
    if (fd < 0)
        return -1;
    size_t length = NextSection(fd, deadline, section, sizeof(section));
    if (length > 0)
        tsid = ParsePatTsid(section, length);
    gDvbIo.Close(fd);

    fd = StartFilter(demuxPath, 0x0010, 0x40, timeoutMs);
    if (fd < 0)
        return -1;
    // Every section of the NIT once: stop when the section numbers repeat.
    bool seen[256] = {};
    uint32_t lastSection = 0;
    for (;;) {
        length = NextSection(fd, deadline, section, sizeof(section));
        if (length < 8)
            break;
        uint8_t number = section[6];
        if (seen[number])
            break;
        seen[number] = true;
        lastSection = section[7];
        ParseNitSection(section, length, tsid, lockedKHz, out);
        bool all = true;
        for (uint32_t i = 0; i <= lastSection; ++i)
            all = all && seen[i];
        if (all)
            break;
    }
    gDvbIo.Close(fd);
    return 0;
}

} // namespace dvb
} // namespace tressel
