// The reply filters of the UEI exchange, fed packets directly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Cindervex2/classes/EntityClass.h"
#include "Cindervex2/classes/Link.h"

using namespace Quorvel::Cindervex;

namespace {

qPacketPtr sPacket(uint8_t address, std::vector<uint8_t> data)
{
    return qPacketPtr(qPacket_CreateWithData(address, uint8_t(data.size()), data.data()));
}

uei sAwaiting(uint8_t option, int32_t type)
{
    uei u{};
    u.module = 2;
    u.command = 3;
    u.option = option;
    u.specifier = 0;
    u.type = type;
    return u;
}

struct FilterCase {
    const char* name;
    uint8_t address;
    std::vector<uint8_t> data;
    bool accepted;
    int32_t type;
    uint32_t value;
    uint8_t specifier;
};

class UEIFilterTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(UEIFilterTest, AcceptsOnlyTheAwaitedReplyAndStoresItsValue)
{
    const FilterCase& c = GetParam();
    uei u = sAwaiting(7, ueiTypeInt);
    u.intValue = 0xAAAAAAAA;
    qPacketPtr p = sPacket(c.address, c.data);
    EXPECT_EQ(Link::sUEIFilter(p.get(), &u), c.accepted ? 1 : 0);
    EXPECT_EQ(u.type, c.type);
    EXPECT_EQ(u.specifier, c.specifier);
    switch (c.type) {
    case ueiTypeByte:
        EXPECT_EQ(u.byteValue, c.value);
        break;
    case ueiTypeShort:
        EXPECT_EQ(u.shortValue, c.value);
        break;
    default:
        EXPECT_EQ(u.intValue, c.value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, UEIFilterTest,
    ::testing::Values(
        FilterCase{"Int", 2, {3, 7, 0, 1, 2, 3, 4}, true, ueiTypeInt, 0x01020304, 0},
        FilterCase{"Short", 2, {3, 7, 0, 0xBE, 0xEF}, true, ueiTypeShort, 0xBEEF, 0},
        FilterCase{"Byte", 2, {3, 7, 0, 0x12}, true, ueiTypeByte, 0x12, 0},
        FilterCase{"Void", 2, {3, 7, 0}, true, ueiTypeVoid, 0xAAAAAAAA, 0},
        FilterCase{"ErrorReplyKeepsKind", 2, {3, 7, 0x80, 0x12}, true, ueiTypeInt, 0xAAAAAA12, 0x80},
        FilterCase{"SixBytesKeepValue", 2, {3, 7, 0, 1, 2, 3}, true, ueiTypeInt, 0xAAAAAAAA, 0},
        FilterCase{"OptionFlagsMustMatch", 2, {3, 0x47, 0, 0}, false, ueiTypeInt, 0xAAAAAAAA, 0},
        FilterCase{"OtherModule", 4, {3, 7, 0, 0}, false, ueiTypeInt, 0xAAAAAAAA, 0},
        FilterCase{"OtherIndex", 2, {3, 7, 1, 0}, false, ueiTypeInt, 0xAAAAAAAA, 0},
        FilterCase{"RequestFlagInIndexIgnored", 2, {3, 7, 0x20, 9}, true, ueiTypeByte, 0x09, 0},
        FilterCase{"TooShort", 2, {3, 7}, false, ueiTypeInt, 0xAAAAAAAA, 0}),
    [](const auto& i) { return std::string(i.param.name); });

struct BytesCase {
    const char* name;
    std::vector<uint8_t> data;
    uint8_t expectedSequence;
    size_t capacity;
    bool accepted;
    qErr error; // qErrNone: no error stored
    size_t written;
    uint8_t more;
};

class UEIBytesFilterTest : public ::testing::TestWithParam<BytesCase> {};

TEST_P(UEIBytesFilterTest, CopiesPayloadInSequenceAndWithinCapacity)
{
    const BytesCase& c = GetParam();
    std::vector<uint8_t> buffer(64, 0xEE);
    size_t written = 0;
    uei u = sAwaiting(32, ueiTypeBytes);
    u.bytes = ueiBytes{buffer.data(), c.expectedSequence, 0, c.capacity, &written};
    qPacketPtr p = sPacket(2, c.data);
    EXPECT_EQ(EntityClass::sUEIBytesFilter(p.get(), &u), c.accepted ? 1 : 0);
    EXPECT_EQ(written, c.written);
    if (c.error != qErrNone) {
        EXPECT_TRUE(u.specifier & 0x80);
        EXPECT_EQ(u.byteValue, c.error);
    } else {
        EXPECT_FALSE(u.specifier & 0x80);
        EXPECT_EQ(u.bytes.more, c.more);
    }
    for (size_t i = c.written; i < buffer.size(); ++i)
        ASSERT_EQ(buffer[i], 0xEE) << "byte " << i << " written past the payload";
}

INSTANTIATE_TEST_SUITE_P(
    Packets, UEIBytesFilterTest,
    ::testing::Values(
        BytesCase{"PayloadWithMore", {3, 32, 0, 'a', 'b', 'c', 0x81}, 1, 64, true, qErrNone, 3, 1},
        BytesCase{"EmptyArray", {3, 32, 0, 0x00}, 0, 64, true, qErrNone, 0, 0},
        BytesCase{"WrongSequenceStaysQueued", {3, 32, 0, 'a', 0x02}, 1, 64, false, qErrNone, 0, 0},
        BytesCase{"LargerThanCapacity", {3, 32, 0, 'a', 'b', 'c', 0x00}, 0, 2, true, qErrMemory, 0, 0},
        BytesCase{"NoTrailerIsMalformed", {3, 32, 0}, 0, 64, true, qErrPacket, 0, 0},
        BytesCase{"ErrorReply", {3, 32, 0x80, 29}, 0, 64, true, qErrInvalidOption, 0, 0}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(UEIBytesCheckTest, ConvertsBytesToUnits)
{
    size_t n = 12;
    EXPECT_EQ(EntityClass::getUEIBytesCheck(&n, 4), qErrNone);
    EXPECT_EQ(n, 3u);
    n = 13;
    EXPECT_EQ(EntityClass::getUEIBytesCheck(&n, 4), qErrMemory);
    EXPECT_EQ(EntityClass::getUEIBytesCheck(nullptr, 4), qErrParam);
    EXPECT_EQ(EntityClass::getUEIBytesCheck(&n, 0), qErrParam);
}

} // namespace
