// UEI byte helpers and packet classification.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Cindervex2/common/qUEI.h"

namespace {

qPacketPtr sPacket(std::vector<uint8_t> data, uint8_t address = 2)
{
    static const uint8_t kNone = 0; // an empty packet still needs a data pointer
    return qPacketPtr(qPacket_CreateWithData(address, uint8_t(data.size()),
                                             data.empty() ? &kNone : data.data()));
}

TEST(UEIBytesTest, ValuesTravelMostSignificantFirst)
{
    uint8_t b[4];
    qUEI_StoreShort(b, 0x1234);
    EXPECT_EQ(b[0], 0x12);
    EXPECT_EQ(b[1], 0x34);
    EXPECT_EQ(qUEI_RetrieveShort(b), 0x1234);
    qUEI_StoreInt(b, 0x01020304);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(qUEI_RetrieveInt(b), 0x01020304u);

    uint32_t words[2];
    qUEI_StoreInt(reinterpret_cast<uint8_t*>(&words[0]), 0xA1B2C3D4);
    qUEI_StoreInt(reinterpret_cast<uint8_t*>(&words[1]), 7);
    qUEI_ModifyIntBuffer(words, 2);
    EXPECT_EQ(words[0], 0xA1B2C3D4u);
    EXPECT_EQ(words[1], 7u);
}

struct TrailerCase {
    const char* name;
    std::vector<uint8_t> data;
    uint8_t sequence, more;
    bool full;
};

class UEITrailerTest : public ::testing::TestWithParam<TrailerCase> {};

TEST_P(UEITrailerTest, ReadsTheLastDataByte)
{
    const TrailerCase& c = GetParam();
    qPacketPtr p = sPacket(c.data);
    ASSERT_TRUE(p);
    EXPECT_EQ(qUEI_getBytesSequence(p.get()), c.sequence);
    EXPECT_EQ(qUEI_getBytesContinue(p.get()), c.more);
    EXPECT_EQ(qUEI_getBytesFullPacket(p.get()), c.full);
}

std::vector<uint8_t> sFilled(size_t n, uint8_t last)
{
    std::vector<uint8_t> v(n, 0x11);
    v.back() = last;
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    Packets, UEITrailerTest,
    ::testing::Values(TrailerCase{"FullWithContinue", sFilled(28, 0x81), 1, 1, true},
                      TrailerCase{"TwentySevenBytes", sFilled(27, 0x7F), 127, 0, true},
                      TrailerCase{"ShortLast", sFilled(6, 0x02), 2, 0, false},
                      TrailerCase{"NoDataBytes", {}, 0, 0, false}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(UEITrailerTest, NullPacketHasNoTrailer)
{
    EXPECT_EQ(qUEI_getBytesSequence(nullptr), 0);
    EXPECT_EQ(qUEI_getBytesContinue(nullptr), 0);
    EXPECT_FALSE(qUEI_getBytesFullPacket(nullptr));
}

TEST(UEIPayloadTest, CommandsWithTheirOwnLayoutAreNotPayloads)
{
    const std::vector<uint8_t> own = {0, 1, 2, 4, 8, 9, 23, 24, 73, 94, 95, 173, 175};
    for (int command = 0; command < 256; ++command) {
        qPacketPtr p = sPacket({uint8_t(command), 1, 2});
        bool payload = std::find(own.begin(), own.end(), command) == own.end();
        EXPECT_EQ(qUEI_isUEIPayload(p.get()), payload) << "command " << command;
        EXPECT_EQ(qUEI_isNotUEIPayload(p.get()), !payload) << "command " << command;
    }
    EXPECT_TRUE(qUEI_isUEIPayload(nullptr));
    EXPECT_FALSE(qUEI_isNotUEIPayload(nullptr));
    qPacketPtr empty = sPacket({});
    EXPECT_FALSE(qUEI_isUEIPayload(empty.get())) << "no command byte";
}

struct StreamCase {
    const char* name;
    std::vector<uint8_t> data;
    bool stream;
};

class UEIStreamPacketTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(UEIStreamPacketTest, RecognisesStreamPackets)
{
    qPacketPtr p = sPacket(GetParam().data);
    EXPECT_EQ(qUEI_isStreamPacket(p.get()), GetParam().stream);
}

INSTANTIATE_TEST_SUITE_P(
    Packets, UEIStreamPacketTest,
    ::testing::Values(StreamCase{"Sample", {10, 1, 0x42, 1, 0}, true},
                      StreamCase{"OptionFlagSet", {10, 0x41, 0x42, 1, 0}, false},
                      StreamCase{"NoStreamBit", {10, 1, 0x02, 1, 0}, false},
                      StreamCase{"FourBytes", {10, 1, 0x42, 1}, false},
                      StreamCase{"NotAPayload", {73, 1, 0x42, 1, 0}, false}),
    [](const auto& i) { return std::string(i.param.name); });

} // namespace
