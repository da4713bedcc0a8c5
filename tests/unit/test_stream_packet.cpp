// Stream packet kinds and sample parsing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Cindervex2/common/qStreamPacket.h"

namespace {

const std::vector<uint8_t> kStamp = {0x00, 0x00, 0x01, 0x02, 0xA0, 0xB0, 0xC0, 0xD0};

std::vector<uint8_t> sSample(uint8_t kind, std::vector<uint8_t> value, bool subindex)
{
    std::vector<uint8_t> d = {10, 1, 0x42, kind};
    if (subindex)
        d.push_back(7);
    d.insert(d.end(), kStamp.begin(), kStamp.end());
    d.insert(d.end(), value.begin(), value.end());
    d.push_back(0);
    return d;
}

struct SampleCase {
    const char* name;
    std::vector<uint8_t> data;
    STREAM_PACKET kind;
    qErr result;
    uint32_t value;
    uint8_t subindex;
};

class StreamSampleTest : public ::testing::TestWithParam<SampleCase> {};

TEST_P(StreamSampleTest, ParsesKindAndSample)
{
    const SampleCase& c = GetParam();
    qPacketPtr p(qPacket_CreateWithData(2, uint8_t(c.data.size()), c.data.data()));
    ASSERT_TRUE(p);
    STREAM_PACKET kind;
    EXPECT_EQ(qStreamPacket_GetType(p.get(), &kind), c.kind != STREAM_PACKET_NONE);
    EXPECT_EQ(kind, c.kind);
    EXPECT_EQ(qStreamPacket_IsSample(p.get()), c.result == qErrNone);
    uint64_t stamp = 0;
    uint32_t value = 0xDEAD;
    uint8_t sub = 0xEE;
    EXPECT_EQ(qStreamPacket_GetSample(p.get(), &stamp, &value, &sub), c.result);
    if (c.result == qErrNone) {
        EXPECT_EQ(stamp, 0x00000102A0B0C0D0ull);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(sub, c.subindex);
        EXPECT_EQ(qStreamPacket_GetSample(p.get(), nullptr, nullptr, nullptr), qErrNone);
    }
}

std::vector<uint8_t> sWithExtraByte(std::vector<uint8_t> d)
{
    d.insert(d.end() - 1, 0x55);
    return d;
}

INSTANTIATE_TEST_SUITE_P(
    Packets, StreamSampleTest,
    ::testing::Values(
        SampleCase{"U8", sSample(1, {0x9F}, false), STREAM_PACKET_U8, qErrNone, 0x9F, 0},
        SampleCase{"U16", sSample(2, {0x12, 0x34}, false), STREAM_PACKET_U16, qErrNone, 0x1234, 0},
        SampleCase{"U32", sSample(3, {1, 2, 3, 4}, false), STREAM_PACKET_U32, qErrNone, 0x01020304, 0},
        SampleCase{"SubU8", sSample(5, {0x9F}, true), STREAM_PACKET_SUBINDEX_U8, qErrNone, 0x9F, 7},
        SampleCase{"SubU16", sSample(6, {0xFF, 0xFE}, true), STREAM_PACKET_SUBINDEX_U16, qErrNone, 0xFFFE, 7},
        SampleCase{"SubU32", sSample(7, {0x80, 0, 0, 1}, true), STREAM_PACKET_SUBINDEX_U32, qErrNone, 0x80000001, 7},
        SampleCase{"U16OneByteLong", sWithExtraByte(sSample(2, {0x12, 0x34}, false)), STREAM_PACKET_U16, qErrPacket, 0, 0},
        SampleCase{"ByteArrayPart", {10, 1, 0x42, 1, 0xAA, 0x81}, STREAM_PACKET_BYTES, qErrSize, 0, 0},
        SampleCase{"UnknownKind", sSample(8, {1}, false), STREAM_PACKET_NONE, qErrPacket, 0, 0},
        SampleCase{"KindZero", sSample(0, {1}, false), STREAM_PACKET_NONE, qErrPacket, 0, 0},
        SampleCase{"NotStream", {10, 1, 0x02, 1, 0}, STREAM_PACKET_NONE, qErrPacket, 0, 0}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(StreamPacketTest, TimestampSplitsIntoHalves)
{
    uint32_t high = 0, low = 0;
    qStreamPacket_GetTimestampParts(0x0000010200000003ull, &high, &low);
    EXPECT_EQ(high, 0x102u);
    EXPECT_EQ(low, 3u);
    qStreamPacket_GetTimestampParts(1, nullptr, nullptr);
    EXPECT_TRUE(qStreamPacket_IsSubindexType(STREAM_PACKET_SUBINDEX_U8));
    EXPECT_FALSE(qStreamPacket_IsSubindexType(STREAM_PACKET_BYTES));
}

} // namespace
