// Reading a transponder's parameters from its NIT: the DVB-T, DVB-T2 and
// DVB-C delivery descriptors, the entry chosen by transport stream id or by
// frequency, one PLP per DVB-T2 descriptor, and malformed sections refused.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "DvbTables.h"

namespace {

using tressel::dvb::NitDelivery;
using Bytes = std::vector<uint8_t>;

void Put16(Bytes* b, uint32_t v)
{
    b->push_back(static_cast<uint8_t>(v >> 8));
    b->push_back(static_cast<uint8_t>(v));
}

void Put32(Bytes* b, uint32_t v)
{
    Put16(b, v >> 16);
    Put16(b, v & 0xffff);
}

struct Entry {
    uint16_t Tsid;
    Bytes Descriptors;
};

// A NIT section (the CRC is not checked here: the demux checks it).
Bytes Nit(const std::vector<Entry>& entries)
{
    Bytes loop;
    for (const Entry& e : entries) {
        Put16(&loop, e.Tsid);
        Put16(&loop, 0x2114); // original network id
        Put16(&loop, 0xf000 | e.Descriptors.size());
        loop.insert(loop.end(), e.Descriptors.begin(), e.Descriptors.end());
    }
    Bytes body;
    Put16(&body, 0x3001);          // network id
    body.push_back(0xc1);          // version, current
    body.push_back(0);             // section number
    body.push_back(0);             // last section number
    Put16(&body, 0xf000);          // no network descriptors
    Put16(&body, 0xf000 | loop.size());
    body.insert(body.end(), loop.begin(), loop.end());
    Bytes section{0x40};
    Put16(&section, 0xf000 | (body.size() + 4));
    section.insert(section.end(), body.begin(), body.end());
    Put32(&section, 0); // CRC
    return section;
}

// 0x5A: 10 Hz units; bandwidth 0 = 8 MHz; constellation 2 = 64QAM,
// hierarchy, code rates (0 1/2 .. 4 7/8), guard (0 1/32 .. 3 1/4), mode (1 8K).
Bytes Terrestrial(uint32_t kHz, uint8_t bandwidth, uint8_t constellation, uint8_t hierarchy, uint8_t hp, uint8_t lp,
                  uint8_t guard, uint8_t mode)
{
    Bytes d{0x5A, 11};
    Put32(&d, kHz * 100u);
    d.push_back(static_cast<uint8_t>(bandwidth << 5 | 0x1f));
    d.push_back(static_cast<uint8_t>(constellation << 6 | hierarchy << 3 | hp));
    d.push_back(static_cast<uint8_t>(lp << 5 | guard << 3 | mode << 1));
    Put32(&d, 0xffffffff);
    return d;
}

// 0x7F / 0x04 with one cell at kHz; siso_miso, bandwidth, guard, mode codes.
Bytes T2(uint8_t plp, uint32_t kHz, uint8_t misoFlag, uint8_t bandwidth, uint8_t guard, uint8_t mode)
{
    Bytes d{0x7F, 0, 0x04, plp};
    Put16(&d, 0x0001); // T2 system id
    d.push_back(static_cast<uint8_t>(misoFlag << 6 | bandwidth << 2));
    d.push_back(static_cast<uint8_t>(guard << 5 | mode << 2));
    Put16(&d, 0x0042); // cell id
    Put32(&d, kHz * 100u);
    d.push_back(0); // no subcells
    d[1] = static_cast<uint8_t>(d.size() - 2);
    return d;
}

Bytes T2Short(uint8_t plp)
{
    return Bytes{0x7F, 4, 0x04, plp, 0x00, 0x01};
}

uint8_t Bcd2(uint32_t v)
{
    return static_cast<uint8_t>((v / 10) << 4 | (v % 10));
}

// 0x44: frequency in BCD 100 Hz units, modulation (3 = 64QAM, 5 = 256QAM),
// symbol rate in BCD 100 S/s, inner FEC.
Bytes Cable(uint32_t kHz, uint8_t modulation, uint32_t symbolRate, uint8_t fec)
{
    uint32_t f = kHz * 10u;
    Bytes d{0x44, 11, Bcd2(f / 1000000 % 100), Bcd2(f / 10000 % 100), Bcd2(f / 100 % 100), Bcd2(f % 100),
            0xff, 0xf2, modulation};
    uint32_t s = symbolRate / 100u; // 7 digits then the FEC nibble
    d.push_back(Bcd2(s / 100000 % 100));
    d.push_back(Bcd2(s / 1000 % 100));
    d.push_back(Bcd2(s / 10 % 100));
    d.push_back(static_cast<uint8_t>((s % 10) << 4 | fec));
    return d;
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

NitDelivery Parse(const Bytes& section, int tsid, uint32_t kHz, int expectedResult = 0)
{
    NitDelivery out = {};
    EXPECT_EQ(tressel::dvb::ParseNitSection(section.data(), section.size(), tsid, kHz, &out), expectedResult);
    return out;
}

TEST(DvbNit, TerrestrialDescriptorOfTheTunedFrequency)
{
    Bytes nit = Nit({{1, Terrestrial(474000, 0, 2, 0, 1, 0, 3, 1)}, {2, Terrestrial(482000, 1, 1, 2, 0, 4, 0, 0)}});
    NitDelivery a = Parse(nit, -1, 474166); // off the raster, still within 1 MHz
    EXPECT_EQ(a.Found, 1u);
    EXPECT_EQ(a.BandwidthKHz, 8000u);
    EXPECT_EQ(a.Modulation, 20u);
    EXPECT_EQ(a.Fec, 2u);
    EXPECT_EQ(a.FecLp, 0u); // no hierarchy, no low-priority stream
    EXPECT_EQ(a.GuardInterval, 4u);
    EXPECT_EQ(a.TransmissionMode, 4u);
    EXPECT_EQ(a.Hierarchy, 0u);

    NitDelivery b = Parse(nit, 2, 0); // by transport stream id
    EXPECT_EQ(b.Found, 1u);
    EXPECT_EQ(b.BandwidthKHz, 7000u);
    EXPECT_EQ(b.Modulation, 18u);
    EXPECT_EQ(b.Hierarchy, 2u);
    EXPECT_EQ(b.Fec, 1u);
    EXPECT_EQ(b.FecLp, 7u);
    EXPECT_EQ(b.GuardInterval, 1u);
    EXPECT_EQ(b.TransmissionMode, 2u);

    EXPECT_EQ(Parse(nit, -1, 490000).Found, 0u);
    EXPECT_EQ(Parse(nit, 9, 474000).Found, 0u); // the stream id rules when known
}

TEST(DvbNit, T2DescriptorsGiveOnePlpEachAndTheOfdmParameters)
{
    Bytes nit = Nit({{5, Concat({T2(0, 490000, 1, 0, 6, 5), T2(1, 490000, 1, 0, 6, 5), T2(1, 490000, 1, 0, 6, 5)})},
                     {6, T2(7, 498000, 0, 1, 4, 1)}});
    NitDelivery a = Parse(nit, 5, 490000);
    EXPECT_EQ(a.Found, 1u);
    ASSERT_EQ(a.PlpCount, 2u); // a repeated id counts once
    EXPECT_EQ(a.PlpIds[0], 0u);
    EXPECT_EQ(a.PlpIds[1], 1u);
    EXPECT_EQ(a.S1Signaling, 1u);
    EXPECT_EQ(a.BandwidthKHz, 8000u);
    EXPECT_EQ(a.GuardInterval, 7u); // 19/256
    EXPECT_EQ(a.TransmissionMode, 6u); // 32K

    NitDelivery b = Parse(nit, -1, 498000); // by the cell's frequency
    ASSERT_EQ(b.PlpCount, 1u);
    EXPECT_EQ(b.PlpIds[0], 7u);
    EXPECT_EQ(b.S1Signaling, 0u);
    EXPECT_EQ(b.BandwidthKHz, 7000u);
    EXPECT_EQ(b.GuardInterval, 5u);
    EXPECT_EQ(b.TransmissionMode, 4u);

    // The short form names no frequency: only the stream id can match it.
    Bytes shortForm = Nit({{8, Concat({T2Short(3), T2Short(9)})}});
    EXPECT_EQ(Parse(shortForm, -1, 506000).Found, 0u);
    NitDelivery c = Parse(shortForm, 8, 506000);
    ASSERT_EQ(c.PlpCount, 2u);
    EXPECT_EQ(c.PlpIds[1], 9u);
}

TEST(DvbNit, CableDescriptorGivesModulationSymbolRateAndFec)
{
    Bytes nit = Nit({{1, Cable(306000, 3, 6900000, 3)}, {2, Cable(314000, 5, 6875000, 7)}});
    NitDelivery a = Parse(nit, -1, 306000);
    EXPECT_EQ(a.Found, 1u);
    EXPECT_EQ(a.Modulation, 20u);
    EXPECT_EQ(a.SymbolRate, 6900000u);
    EXPECT_EQ(a.Fec, 3u);
    NitDelivery b = Parse(nit, 2, 0);
    EXPECT_EQ(b.Modulation, 22u);
    EXPECT_EQ(b.SymbolRate, 6875000u);
    EXPECT_EQ(b.Fec, 13u); // 3/5
}

TEST(DvbNit, MalformedSectionsAreRefusedWithoutReadingPastThem)
{
    Bytes good = Nit({{1, Terrestrial(474000, 0, 2, 0, 1, 0, 3, 1)}});
    Bytes shortened(good.begin(), good.end() - 6);
    Bytes wrongTable = good;
    wrongTable[0] = 0x42;
    Bytes overlongDescriptor = good;
    overlongDescriptor[good.size() - 4 - 13 + 1] = 200; // the 0x5A descriptor's length
    for (const Bytes& bad : {shortened, wrongTable, overlongDescriptor, Bytes{0x40, 0x00}}) {
        NitDelivery out = {};
        EXPECT_EQ(tressel::dvb::ParseNitSection(bad.data(), bad.size(), -1, 474000, &out), -1);
        EXPECT_EQ(out.Found, 0u);
    }
}

TEST(DvbPat, TransportStreamIdOfAPat)
{
    Bytes pat{0x00, 0xb0, 0x0d, 0x12, 0x34, 0xc1, 0x00, 0x00, 0x00, 0x01, 0xe1, 0x00, 0, 0, 0, 0};
    EXPECT_EQ(tressel::dvb::ParsePatTsid(pat.data(), pat.size()), 0x1234);
    pat[0] = 0x02;
    EXPECT_EQ(tressel::dvb::ParsePatTsid(pat.data(), pat.size()), -1);
}

} // namespace
