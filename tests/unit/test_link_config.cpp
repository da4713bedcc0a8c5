// A Link's configuration and the connect rules that need no module.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Cindervex2/classes/Link.h"

using namespace Quorvel::Cindervex;

namespace {

TEST(LinkConfigTest, KeepsNameSpecifierAndConfiguration)
{
    linkSpec spec{};
    spec.type = TCPIP;
    spec.serialNumber = 0x40F5849A;
    Link link(spec, "front");
    EXPECT_STREQ(link.getName(), "front");
    linkSpec out{};
    ASSERT_EQ(link.getLinkSpecifier(&out), qErrNone);
    EXPECT_EQ(memcmp(&out, &spec, sizeof spec), 0);
    EXPECT_EQ(link.getLinkSpecifier(nullptr), qErrParam);

    LanvexConfig config;
    config.fallback = 0;
    config.assignedPort = 7000;
    EXPECT_EQ(link.setConfig(config), qErrNone);
    LanvexConfig back;
    EXPECT_EQ(link.getConfig(&back), qErrNone);
    EXPECT_EQ(back.fallback, 0);
    EXPECT_EQ(back.assignedPort, 7000);
    EXPECT_EQ(link.getConfig(nullptr), qErrParam);

    EXPECT_EQ(link.getStatus(), 8u) << "no engine link";
    EXPECT_FALSE(link.isConnected());
    EXPECT_EQ(link.disconnect(), qErrNone);
    EXPECT_EQ(link.reset(), qErrNone);
}

TEST(LinkConfigTest, NameIsCutAt1024Characters)
{
    std::string longName(3000, 'n');
    Link link(longName.c_str());
    EXPECT_EQ(strlen(link.getName()), 1024u);
    Link unnamed(nullptr);
    EXPECT_STREQ(unnamed.getName(), "");
}

struct ConnectCase {
    const char* name;
    uint32_t type;
    bool sharing;
    bool terminatedPortName;
    qErr result;
};

class LinkConnectTest : public ::testing::TestWithParam<ConnectCase> {};

TEST_P(LinkConnectTest, RefusesSpecifiersItCannotUse)
{
    const ConnectCase& c = GetParam();
    linkSpec spec{};
    spec.type = c.type;
    spec.baudRate = 115200;
    memset(spec.portName, 'x', sizeof spec.portName);
    if (c.terminatedPortName)
        strcpy(spec.portName, "/nonexistent/tty");
    Link link(spec, "l");
    LanvexConfig config;
    config.enabled = c.sharing ? 1 : 0;
    link.setConfig(config);
    EXPECT_EQ(link.connect(), c.result);
    EXPECT_EQ(link.getStatus(), 8u) << "nothing held after a refusal";
}

INSTANTIATE_TEST_SUITE_P(
    Specifiers, LinkConnectTest,
    ::testing::Values(ConnectCase{"LanvexWhileSharingIsOff", LANVEX, false, true, qErrConfiguration},
                      ConnectCase{"UnknownType", 9, true, true, qErrMode},
                      ConnectCase{"UnterminatedPortName", SERIAL, true, false, qErrConfiguration},
                      ConnectCase{"MissingSerialPort", SERIAL, true, true, qErrConnection}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(LinkConnectTest, NoSpecifierNoConnection)
{
    Link link("l");
    linkSpec out;
    EXPECT_EQ(link.getLinkSpecifier(&out), qErrNotFound);
    EXPECT_EQ(link.connect(), qErrConfiguration);
    Link other("o");
    EXPECT_EQ(link.connectThroughLinkModule(other), qErrInitialization);
    EXPECT_EQ(link.enablePacketLog("/tmp/x"), qErrConfiguration);
    EXPECT_EQ(link.disablePacketLog(), qErrConfiguration);
    uint8_t address = 7;
    EXPECT_EQ(link.getModuleAddress(&address), qErrNotReady);
    EXPECT_EQ(address, 0);
    uei u{};
    u.module = 2;
    EXPECT_EQ(link.sendUEI(u), qErrConnection);
    size_t n;
    EXPECT_EQ(link.storeSlotSize(2, 0, 0, &n), qErrConnection);
    EXPECT_EQ(link.getFactoryData(2, 0, nullptr, 0, &n), qErrConnection);
}

} // namespace
