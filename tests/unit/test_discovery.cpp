// Discovery functions that need no network.
#include <gtest/gtest.h>

#include <cstring>

#include "Cindervex2/common/qDiscovery.h"

namespace {

bool sNeverCalled(const linkSpec*, bool*, void*)
{
    ADD_FAILURE() << "no module expected";
    return false;
}

TEST(DiscoveryTest, ConvertsAddressesToDottedText)
{
    const uint8_t bytes[4] = {192, 168, 1, 20};
    uint32_t address;
    memcpy(&address, bytes, 4);
    char text[16];
    EXPECT_EQ(qDiscovery_ConvertIPv4Interface(address, text, sizeof text), 12);
    EXPECT_STREQ(text, "192.168.1.20");
    char small[15];
    EXPECT_EQ(qDiscovery_ConvertIPv4Interface(address, small, sizeof small), 0);
    EXPECT_EQ(qDiscovery_ConvertIPv4Interface(address, nullptr, 16), 0);
}

TEST(DiscoveryTest, TransportsWithoutASearchFindNothing)
{
    EXPECT_EQ(qDiscovery_EnumerateModules(SERIAL, sNeverCalled, nullptr, 0), 0);
    EXPECT_EQ(qDiscovery_EnumerateModules(linkType(0), sNeverCalled, nullptr, 0), 0);
    EXPECT_EQ(qDiscovery_EnumerateModules(TCPIP, nullptr, nullptr, 0), 0);
    EXPECT_EQ(qDiscovery_FindModule(SERIAL, 1, 0), nullptr);
    EXPECT_EQ(qDiscovery_FindFirstModule(SERIAL, 0), nullptr);
}

} // namespace
