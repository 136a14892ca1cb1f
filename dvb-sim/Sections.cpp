#include "Sections.h"

#include <cstdio>
#include <cstring>

#include "SimCodes.h"

namespace tressel {
namespace dvbsim {
namespace {

// Writes bytes into a section under construction; never past its end.
struct Writer {
    uint8_t* Bytes;
    size_t Used;
    size_t Cap;
};

void Put8(Writer* w, uint32_t value)
{
    if (w->Used < w->Cap)
        w->Bytes[w->Used] = static_cast<uint8_t>(value);
    ++w->Used;
}

void Put16(Writer* w, uint32_t value)
{
    Put8(w, value >> 8);
    Put8(w, value);
}

void Put32(Writer* w, uint32_t value)
{
    Put16(w, value >> 16);
    Put16(w, value);
}

// Writes a 16-bit length (with the top bits given) at pos for what follows it.
void PatchLength(Writer* w, size_t pos, uint32_t topBits)
{
    uint32_t length = static_cast<uint32_t>(w->Used - pos - 2);
    w->Bytes[pos] = static_cast<uint8_t>(topBits | (length >> 8));
    w->Bytes[pos + 1] = static_cast<uint8_t>(length);
}

// Starts a long-form section: table id, length (patched by Finish),
// table id extension, version 0, current, section number and last.
void Begin(Writer* w, Section* s, uint8_t table, uint16_t extension, uint8_t number, uint8_t last)
{
    w->Bytes = s->Bytes;
    w->Used = 0;
    w->Cap = sizeof s->Bytes;
    Put8(w, table);
    Put16(w, 0);
    Put16(w, extension);
    Put8(w, 0xC1);
    Put8(w, number);
    Put8(w, last);
}

void Finish(Writer* w, Section* s)
{
    // The length counts everything after it, the CRC included.
    w->Used += 4;
    PatchLength(w, 1, 0xB0);
    w->Used -= 4;
    Put32(w, Crc32(s->Bytes, w->Used));
    s->Length = static_cast<uint16_t>(w->Used);
}

void PutText(Writer* w, const char* text)
{
    size_t length = strlen(text);
    Put8(w, static_cast<uint32_t>(length));
    for (size_t i = 0; i < length; ++i)
        Put8(w, static_cast<uint8_t>(text[i]));
}

uint16_t Tsid(const vt::Band* band, uint32_t index)
{
    return static_cast<uint16_t>(band->DvbTransponders[index].Tsid);
}

// Families share a NIT: terrestrial DVB-T and T2, cable, and each other one.
uint32_t Family(const TransponderInfo* t)
{
    if (t->Standard == kStdDvbT || t->Standard == kStdDvbT2)
        return kStdDvbT;
    return t->Standard;
}

uint32_t BuildPat(const vt::Band* band, uint32_t index, Section* out)
{
    Writer w;
    Begin(&w, out, kTablePat, Tsid(band, index), 0, 0);
    Put16(&w, 0); // program 0: the network PID
    Put16(&w, 0xE000 | kPidNit);
    Put16(&w, Tsid(band, index));
    Put16(&w, 0xE000 | kPidPmt);
    Finish(&w, out);
    return 1;
}

uint32_t BuildPmt(const vt::Band* band, uint32_t index, Section* out)
{
    const TransponderInfo* t = &band->Transponders[index];
    Writer w;
    Begin(&w, out, kTablePmt, Tsid(band, index), 0, 0);
    Put16(&w, 0xE000 | kPidVideo); // PCR PID
    Put16(&w, 0xF000);             // no program descriptors
    // MPEG-2 video on the first generation, H.264 on the second.
    Put8(&w, t->Standard == kStdDvbT2 ? 0x1B : 0x02);
    Put16(&w, 0xE000 | kPidVideo);
    Put16(&w, 0xF000);
    Put8(&w, 0x03); // MPEG-1 audio with its language
    Put16(&w, 0xE000 | kPidAudio);
    Put16(&w, 0xF000 | 6);
    Put8(&w, 0x0A);
    Put8(&w, 4);
    Put8(&w, 'e');
    Put8(&w, 'n');
    Put8(&w, 'g');
    Put8(&w, 0);
    Finish(&w, out);
    return 1;
}

uint32_t BuildSdt(const vt::Band* band, uint32_t index, Section* out)
{
    const TransponderInfo* t = &band->Transponders[index];
    uint16_t tsid = Tsid(band, index);
    Writer w;
    Begin(&w, out, kTableSdtActual, tsid, 0, 0);
    Put16(&w, NetworkId(t));
    Put8(&w, 0xFF);
    Put16(&w, tsid); // service id
    Put8(&w, 0xFC);  // no EIT
    size_t loop = w.Used;
    Put16(&w, 0);
    char name[32];
    snprintf(name, sizeof name, "Service %u", static_cast<unsigned>(tsid));
    Put8(&w, 0x48);
    size_t descriptor = w.Used;
    Put8(&w, 0);
    Put8(&w, 0x01); // digital television
    PutText(&w, "Tressel");
    PutText(&w, name);
    w.Bytes[descriptor] = static_cast<uint8_t>(w.Used - descriptor - 1);
    PatchLength(&w, loop, 0x80); // running, not scrambled
    Finish(&w, out);
    return 1;
}

// The delivery descriptors of one transponder in a NIT's transport loop.
void PutDelivery(Writer* w, const TransponderInfo* t)
{
    if (t->Standard == kStdDvbT) {
        Put8(w, 0x5A);
        Put8(w, 11);
        Put32(w, t->Frequency * 100u); // 10 Hz units
        Put8(w, (TerrestrialBandwidth(t->Bandwidth) << 5) | 0x1F);
        Put8(w, (TerrestrialConstellation(t->Modulation) << 6) | (t->Hierarchy & 3u) << 3 |
                    TerrestrialCodeRate(t->Fec));
        uint8_t lp = t->Hierarchy != 0 ? TerrestrialCodeRate(t->FecLp) : 0;
        Put8(w, (lp << 5) | (TerrestrialGuard(t->GuardInterval) << 3) |
                    (TerrestrialMode(t->TransmissionMode) << 1));
        Put32(w, 0xFFFFFFFF);
    } else if (t->Standard == kStdDvbT2) {
        // One descriptor per PLP, each naming the one cell and its frequency.
        uint32_t count = t->PlpCount < kPlpIdCapacity ? t->PlpCount : kPlpIdCapacity;
        for (uint32_t i = 0; i < (count == 0 ? 1u : count); ++i) {
            Put8(w, 0x7F);
            Put8(w, 13);
            Put8(w, 0x04);
            Put8(w, count == 0 ? 0 : t->PlpIds[i]);
            Put16(w, 1); // T2 system id
            Put8(w, ((t->S1Signaling == 1 ? 1u : 0u) << 6) | (T2Bandwidth(t->Bandwidth) << 2) | 3u);
            Put8(w, (T2Guard(t->GuardInterval) << 5) | (T2Mode(t->TransmissionMode) << 2));
            Put16(w, 0); // cell id
            Put32(w, t->Frequency * 100u);
            Put8(w, 0); // no subcells
        }
    } else if (t->Standard == kStdDvbC) {
        Put8(w, 0x44);
        Put8(w, 11);
        Put32(w, ToBcd(t->Frequency * 10u, 8));    // XXXX.XXXX MHz
        Put16(w, 0xFFF0 | 2);                       // outer FEC: RS(204/188)
        Put8(w, CableModulation(t->Modulation));
        Put32(w, (ToBcd(t->SymbolRate / 100u, 7) << 4) | CableInnerFec(t->Fec)); // XXX.XXXX MS/s
    }
}

// The NIT of transponder index, split over sections that each stay within
// kMaxSectionBytes.
uint32_t BuildNit(const vt::Band* band, uint32_t index, bool actual, Section* out, uint32_t cap)
{
    const TransponderInfo* own = &band->Transponders[index];
    uint16_t network = static_cast<uint16_t>(NetworkId(own) + (actual ? 0 : 0x100));
    // The members of the transport loop: the family's transponders in band
    // order, or none for the other network.
    uint32_t next = 0;
    uint32_t count = 0;
    bool ownOnly = Family(own) != kStdDvbT && Family(own) != kStdDvbC;
    for (;;) {
        if (count == cap)
            break;
        Section* s = &out[count];
        Writer w;
        Begin(&w, s, actual ? kTableNitActual : kTableNitOther, network, static_cast<uint8_t>(count), 0);
        size_t descriptors = w.Used;
        Put16(&w, 0);
        Put8(&w, 0x40);
        PutText(&w, actual ? "Tressel simulated network" : "Tressel other network");
        PatchLength(&w, descriptors, 0xF0);
        size_t loop = w.Used;
        Put16(&w, 0);
        while (actual && next < band->TransponderCount) {
            const TransponderInfo* t = &band->Transponders[next];
            if (ownOnly ? next != index : Family(t) != Family(own)) {
                ++next;
                continue;
            }
            size_t mark = w.Used;
            Put16(&w, Tsid(band, next));
            Put16(&w, NetworkId(t));
            size_t entry = w.Used;
            Put16(&w, 0);
            PutDelivery(&w, t);
            PatchLength(&w, entry, 0xF0);
            if (w.Used + 4 > kMaxSectionBytes) {
                w.Used = mark; // starts the next section
                break;
            }
            ++next;
        }
        PatchLength(&w, loop, 0xF0);
        Finish(&w, s);
        ++count;
        if (!actual || next >= band->TransponderCount)
            break;
    }
    // Now that the count is known: every section names the last one.
    for (uint32_t i = 0; i < count; ++i) {
        out[i].Bytes[7] = static_cast<uint8_t>(count - 1);
        uint32_t crc = Crc32(out[i].Bytes, out[i].Length - 4u);
        for (uint32_t k = 0; k < 4; ++k)
            out[i].Bytes[out[i].Length - 4u + k] = static_cast<uint8_t>(crc >> (24 - 8 * k));
    }
    return count;
}

} // namespace

uint32_t Crc32(const uint8_t* data, size_t length)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i) {
        crc ^= static_cast<uint32_t>(data[i]) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000u) != 0 ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

uint16_t NetworkId(const TransponderInfo* t)
{
    uint32_t family = Family(t);
    return family == kStdDvbT ? 0x3001 : family == kStdDvbC ? 0x3002 : static_cast<uint16_t>(0x3000 + family);
}

uint32_t BuildSections(const vt::Band* band, uint32_t index, uint16_t pid, Section* out, uint32_t cap)
{
    if (index >= band->TransponderCount || cap == 0)
        return 0;
    switch (pid) {
    case kPidPat:
        return BuildPat(band, index, out);
    case kPidPmt:
        return BuildPmt(band, index, out);
    case kPidSdt:
        return BuildSdt(band, index, out);
    case kPidNit: {
        uint32_t n = BuildNit(band, index, true, out, cap);
        return n + (n < cap ? BuildNit(band, index, false, out + n, cap - n) : 0);
    }
    default:
        return 0;
    }
}

bool SectionMatches(const Section* section, const uint8_t filter[16], const uint8_t mask[16],
                    const uint8_t mode[16])
{
    bool wantsDifference = false;
    bool differs = false;
    for (uint32_t i = 0; i < 16; ++i) {
        size_t at = i == 0 ? 0 : i + 2;
        uint8_t byte = at < section->Length ? section->Bytes[at] : 0;
        uint8_t diff = static_cast<uint8_t>((byte ^ filter[i]) & mask[i]);
        if ((diff & static_cast<uint8_t>(~mode[i])) != 0)
            return false;
        if ((mask[i] & mode[i]) != 0)
            wantsDifference = true;
        if ((diff & mode[i]) != 0)
            differs = true;
    }
    return !wantsDifference || differs;
}

} // namespace dvbsim
} // namespace tressel
