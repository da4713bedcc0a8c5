#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Cindervex2/common/qPacket.h"

namespace {

struct Bytes {
    const char* name;
    std::vector<uint8_t> bytes;
    qErr lastResult;  // result of feeding the last byte
    bool complete;
};

// Every byte but the last must be accepted; the last one decides.
const Bytes kSequences[] = {
    {"EmptyPacket", {0x04, 0x00}, qErrNone, true},
    {"AddressOnly", {0x04}, qErrNone, false},
    {"ThreeDataBytes", {0x06, 0x03, 0x01, 0x02, 0x03}, qErrNone, true},
    {"MaximumLength", [] {
         std::vector<uint8_t> b{0xFE, 28};
         b.resize(30, 0x5A);
         return b;
     }(), qErrNone, true},
    {"OddAddress", {0x03}, qErrPacket, false},
    {"ZeroAddress", {0x00}, qErrPacket, false},
    {"LengthAbove28", {0x04, 29}, qErrPacket, false},
    {"ByteBeyondLength", {0x04, 0x01, 0x10, 0x11}, qErrPacket, false},
    {"ByteAfterEmptyPacket", {0x04, 0x00, 0x05}, qErrPacket, false},
};

class AccumulatorTest : public ::testing::TestWithParam<Bytes> {};

TEST_P(AccumulatorTest, FeedsWireBytes) {
    const Bytes& c = GetParam();
    qPacketPtr packet(qPacket_Create());
    ASSERT_TRUE(packet);
    qErr result = qErrNone;
    for (size_t i = 0; i < c.bytes.size(); i++) {
        result = qPacket_AddByte(packet.get(), c.bytes[i]);
        if (i + 1 < c.bytes.size()) {
            ASSERT_EQ(result, qErrNone) << "byte " << i;
        }
    }
    EXPECT_EQ(result, c.lastResult);
    EXPECT_EQ(qPacket_IsComplete(packet.get()), c.complete);
    if (c.complete) {
        EXPECT_EQ(packet->address, c.bytes[0]);
        EXPECT_EQ(std::vector<uint8_t>(packet->data, packet->data + packet->length),
                  std::vector<uint8_t>(c.bytes.begin() + 2, c.bytes.end()));
    }
}

INSTANTIATE_TEST_SUITE_P(Bytes, AccumulatorTest, ::testing::ValuesIn(kSequences),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(AccumulatorTest, ThirtyFirstByteOverruns) {
    qPacketPtr packet(qPacket_Create());
    ASSERT_EQ(qPacket_AddByte(packet.get(), 0x04), qErrNone);
    ASSERT_EQ(qPacket_AddByte(packet.get(), 28), qErrNone);
    for (int i = 0; i < 28; i++) ASSERT_EQ(qPacket_AddByte(packet.get(), 0), qErrNone);
    EXPECT_EQ(qPacket_AddByte(packet.get(), 0), qErrOverrun);
    // A reset accumulator takes a new packet.
    ASSERT_EQ(qPacket_Reset(packet.get()), qErrNone);
    EXPECT_EQ(qPacket_AddByte(packet.get(), 0x08), qErrNone);
    EXPECT_EQ(qPacket_AddByte(packet.get(), 0x00), qErrNone);
    EXPECT_TRUE(qPacket_IsComplete(packet.get()));
}

TEST(PacketTest, CreateWithDataChecksItsArguments) {
    uint8_t data[29] = {1, 2, 3};
    qPacketPtr full(qPacket_CreateWithData(0x04, 28, data));
    ASSERT_TRUE(full);
    EXPECT_TRUE(qPacket_IsComplete(full.get()));
    EXPECT_EQ(full->filled, 30);
    EXPECT_EQ(qPacket_CreateWithData(0x04, 29, data), nullptr);
    EXPECT_EQ(qPacket_CreateWithData(0x04, 0, nullptr), nullptr);
    qPacketPtr empty(qPacket_CreateWithData(0xAD, 0, data));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->data[0], 0) << "unused data bytes are zero";
}

TEST(PacketTest, CopyIsCompleteAndIndependent) {
    const uint8_t data[] = {7, 8, 9};
    qPacketPtr original(qPacket_CreateWithData(0x10, 3, data));
    qPacketPtr copy(qPacket_Copy(original.get()));
    ASSERT_TRUE(copy);
    original->data[0] = 0;
    EXPECT_EQ(copy->data[0], 7);
    EXPECT_EQ(copy->filled, 5);
    EXPECT_EQ(qPacket_Copy(nullptr), nullptr);
}

struct Accessor {
    const char* name;
    qErr (*get)(const qPacket*, uint8_t*);
    std::vector<uint8_t> data;
    qErr want;
    uint8_t value;
};

const Accessor kAccessors[] = {
    {"CmdFromFirstByte", qPacket_GetCmd, {0x95}, qErrNone, 0x95},
    {"CmdNeedsData", qPacket_GetCmd, {}, qErrPacket, 0},
    {"OptionLowSixBits", qPacket_GetOption, {0x01, 0xC5}, qErrNone, 0x05},
    {"OptionNeedsTwoBytes", qPacket_GetOption, {0x01}, qErrPacket, 0},
    {"IndexLowFiveBits", qPacket_GetIndex, {0x01, 0x00, 0xE3}, qErrNone, 0x03},
    {"IndexNeedsThreeBytes", qPacket_GetIndex, {0x01, 0x00}, qErrPacket, 0},
};

class AccessorTest : public ::testing::TestWithParam<Accessor> {};

TEST_P(AccessorTest, ExtractsField) {
    const Accessor& c = GetParam();
    uint8_t dummy = 0;
    qPacketPtr packet(qPacket_CreateWithData(0x04, static_cast<uint8_t>(c.data.size()), c.data.empty() ? &dummy : c.data.data()));
    uint8_t out = 0xFF;
    EXPECT_EQ(c.get(packet.get(), &out), c.want);
    if (c.want == qErrNone) {
        EXPECT_EQ(out, c.value);
    }
    EXPECT_EQ(c.get(packet.get(), nullptr), qErrParam);
    EXPECT_EQ(c.get(nullptr, nullptr), qErrParam) << "the out pointer is checked first";
    EXPECT_EQ(c.get(nullptr, &out), qErrPacket);
}

INSTANTIATE_TEST_SUITE_P(Fields, AccessorTest, ::testing::ValuesIn(kAccessors),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(PacketTest, WireBytesAreAddressLengthData) {
    const uint8_t data[] = {0x03, 0x48, 0x20};
    qPacketPtr packet(qPacket_CreateWithData(0x04, 3, data));
    uint8_t wire[qPACKET_MAX_WIRE];
    size_t count = 0;
    ASSERT_EQ(qPacket_GetWireBytes(packet.get(), wire, sizeof wire, &count), qErrNone);
    EXPECT_EQ(std::vector<uint8_t>(wire, wire + count), (std::vector<uint8_t>{0x04, 3, 0x03, 0x48, 0x20}));
    EXPECT_EQ(qPacket_GetWireBytes(packet.get(), wire, 4, &count), qErrSize);
}

TEST(PacketTest, DestroyClearsThePointerAndStaleUseIsRefused) {
    qPacket* packet = qPacket_Create();
    qPacket stale = *packet;
    EXPECT_EQ(qPacket_Destroy(&packet), qErrNone);
    EXPECT_EQ(packet, nullptr);
    EXPECT_EQ(qPacket_Destroy(&packet), qErrParam);
    EXPECT_EQ(qPacket_Destroy(nullptr), qErrParam);
    stale.tag = 0;  // what a destroyed packet looks like
    EXPECT_EQ(qPacket_AddByte(&stale, 0x04), qErrParam);
    EXPECT_EQ(qPacket_Reset(&stale), qErrParam);
    EXPECT_FALSE(qPacket_IsComplete(&stale));
}

}  // namespace
