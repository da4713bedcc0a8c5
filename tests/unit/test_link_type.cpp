// The link specifier record and its wire layout.
#include <gtest/gtest.h>

#include <cstring>

#include "Cindervex2/common/LanvexConfig.h"
#include "Cindervex2/common/linkType.h"

namespace {

TEST(LinkSpecTest, WireLayoutIsLittleEndianWithTheAddressInNetworkOrder)
{
    linkSpec spec{};
    spec.type = LANVEX;
    spec.serialNumber = 0x40F5849A;
    spec.model = 19;
    spec.ipAddress = 0x0100007F; // 127.0.0.1 as stored in network order
    spec.port = 0x1234;
    const uint8_t want[32] = {4, 0, 0, 0, 0x9A, 0x84, 0xF5, 0x40, 0, 0, 0, 0, 0, 0, 0, 0,
                              0, 0, 0, 0, 19,   0,    0,    0,    127, 0, 0, 1, 0x34, 0x12, 0, 0};
    EXPECT_EQ(memcmp(&spec, want, sizeof want), 0);
}

TEST(LinkSpecTest, CreateCopyAndDestroyOwnWholeRecords)
{
    linkSpec* spec = qLinkSpec_Create(SERIAL);
    ASSERT_NE(spec, nullptr);
    EXPECT_EQ(spec->type, SERIAL);
    linkSpec zero{};
    zero.type = SERIAL;
    EXPECT_EQ(memcmp(spec, &zero, sizeof zero), 0);

    spec->baudRate = 115200;
    strcpy(spec->portName, "/dev/ttyUSB0");
    linkSpec* copy = qLinkSpec_Copy(*spec);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(memcmp(spec, copy, sizeof(linkSpec)), 0);

    EXPECT_EQ(qLinkSpec_Destroy(&spec), qErrNone);
    EXPECT_EQ(spec, nullptr);
    EXPECT_EQ(qLinkSpec_Destroy(&spec), qErrParam);
    EXPECT_EQ(qLinkSpec_Destroy(nullptr), qErrParam);
    qLinkSpec_Destroy(&copy);
}

TEST(LinkSpecTest, NetworkRecordsMustBeLanvexAndLoseTheirTail)
{
    linkSpec spec{};
    memset(&spec, 0x5A, sizeof spec);
    spec.type = TCPIP;
    linkSpec before = spec;
    EXPECT_FALSE(qLinkSpec_AcceptNetworkRecord(&spec));
    EXPECT_EQ(memcmp(&spec, &before, sizeof spec), 0) << "a refused record is left alone";

    spec.type = LANVEX;
    EXPECT_TRUE(qLinkSpec_AcceptNetworkRecord(&spec));
    auto* bytes = reinterpret_cast<const uint8_t*>(&spec);
    EXPECT_EQ(bytes[31], 0x5A) << "the port field stays";
    for (int i = 32; i < LINKSPEC_SIZE; ++i)
        ASSERT_EQ(bytes[i], 0) << "byte " << i;
    EXPECT_FALSE(qLinkSpec_AcceptNetworkRecord(nullptr));
}

TEST(LinkSpecTest, PortNameMustEndInsideTheRecord)
{
    linkSpec spec{};
    spec.type = SERIAL;
    memset(spec.portName, 'x', sizeof spec.portName);
    EXPECT_EQ(qLinkSpec_GetPortName(&spec), nullptr);
    spec.portName[99] = 0;
    EXPECT_EQ(qLinkSpec_GetPortName(&spec), spec.portName);
    EXPECT_EQ(qLinkSpec_GetPortName(nullptr), nullptr);
}

TEST(LanvexConfigTest, DefaultsShareLocallyOnLoopback)
{
    LanvexConfig c;
    EXPECT_EQ(c.enabled, 1);
    EXPECT_EQ(c.fallback, 1);
    EXPECT_EQ(c.localOnly, 1);
    EXPECT_EQ(c.assignedPort, 0);
    const uint8_t loopback[4] = {127, 0, 0, 1};
    EXPECT_EQ(memcmp(&c.networkInterface, loopback, 4), 0);
}

} // namespace
