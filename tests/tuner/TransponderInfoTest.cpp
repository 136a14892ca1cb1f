// The record crosses the library boundary as raw bytes: check it from the
// bytes' side, as the library writes it.
#include <gtest/gtest.h>

#include <cstring>

#include "tuner/TransponderInfo.h"

namespace {

template <typename T>
void Put(unsigned char* bytes, size_t offset, T value)
{
    memcpy(bytes + offset, &value, sizeof value);
}

TEST(TransponderInfo, FieldsReadFromTheLibrarysByteOffsets)
{
    unsigned char bytes[sizeof(tressel::TransponderInfo)];
    memset(bytes, 0xA5, sizeof bytes); // the reserved ranges as the library fills them
    Put<uint32_t>(bytes, 0, 1);
    Put<uint32_t>(bytes, 4, 0x80000000u);
    Put<uint32_t>(bytes, 16, 7);
    Put<uint32_t>(bytes, 48, 2);
    bytes[52] = 200;
    bytes[53] = 1;
    Put<uint32_t>(bytes, 92, 1);
    Put<uint32_t>(bytes, 104, 40200000);
    Put<int32_t>(bytes, 108, -52);
    Put<double>(bytes, 112, 27.4);

    tressel::TransponderInfo record;
    memcpy(&record, bytes, sizeof record);
    EXPECT_EQ(1u, record.Locked);
    EXPECT_EQ(2147483648u, record.Frequency); // unsigned: the top bit is a large frequency
    EXPECT_EQ(7u, record.Standard);
    EXPECT_EQ(2u, record.PlpCount);
    EXPECT_EQ(200, record.PlpIds[0]); // unsigned bytes
    EXPECT_EQ(1, record.PlpIds[1]);
    EXPECT_EQ(1u, record.T2Version);
    EXPECT_EQ(40200000u, record.BitRate);
    EXPECT_EQ(-52, record.RfLevel);
    EXPECT_DOUBLE_EQ(27.4, record.Snr);
}

TEST(TransponderInfo, TableRecordsFollowWithoutGaps)
{
    static tressel::TransponderTable table;
    const unsigned char* base = reinterpret_cast<const unsigned char*>(&table.Records[0]);
    const unsigned char* last = reinterpret_cast<const unsigned char*>(&table.Records[199]);
    EXPECT_EQ(136u * 199u, static_cast<size_t>(last - base));
}

} // namespace
