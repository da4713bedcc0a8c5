// USB discovery against emulated modules on a umockdev bus.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "Cindervex2/classes/Module.h"
#include "Cindervex2/classes/SystemClass.h"
#include "Cindervex2/common/qDiscovery.h"
#include "tests/unit/support/NetLab.h"
#include "tests/unit/support/SkipOrFail.h"
#include "tests/unit/support/UmockdevReexec.h"

namespace {

const bool kUnderUmockdev = UmockdevReexec();

std::string sWord(const std::string& line, const std::string& key)
{
    size_t at = line.find(key + "=");
    if (at == std::string::npos)
        return "";
    at += key.size() + 1;
    return line.substr(at, line.find(' ', at) - at);
}

struct Found {
    std::vector<linkSpec> specs;
};

bool sCollect(const linkSpec* spec, bool* success, void* ref)
{
    static_cast<Found*>(ref)->specs.push_back(*spec);
    *success = true;
    return true;
}

class DiscoveryUsbTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!kUnderUmockdev)
            return;
        bus = std::make_unique<NetLab>();
        std::string ready = bus->start(
            0, "sim/usb_discovery_bus.py",
            {"--device", "0000000A:0x0013",   // model 19
             "--device", "40F5849A:0x0004",   // model 4
             "--device", "0000000B:0x8011",   // bit 15: another product of the maker
             "--device", "1234567:0x0004",    // 7 characters
             "--device", "123456789:0x0004",  // 9 characters
             "--device", "40f5849b:0x0004"}); // lower case: the driver could not open it
        std::string dir = sWord(ready, "umockdev_dir");
        if (!dir.empty())
            setenv("UMOCKDEV_DIR", dir.c_str(), 1);
    }
    static void TearDownTestSuite() { bus.reset(); }
    void SetUp() override
    {
        if (!kUnderUmockdev)
            SKIP_OR_FAIL("needs umockdev-wrapper");
        ASSERT_NE(getenv("UMOCKDEV_DIR"), nullptr) << "the emulated bus did not start";
    }
    static std::unique_ptr<NetLab> bus;
};

std::unique_ptr<NetLab> DiscoveryUsbTest::bus;

TEST_F(DiscoveryUsbTest, ListsOnlyModulesWithEightDigitSerials)
{
    Found found;
    EXPECT_EQ(qDiscovery_EnumerateModules(USB, sCollect, &found, 0), 2);
    ASSERT_EQ(found.specs.size(), 2u);
    std::sort(found.specs.begin(), found.specs.end(),
              [](const linkSpec& a, const linkSpec& b) { return a.serialNumber < b.serialNumber; });
    EXPECT_EQ(found.specs[0].type, USB);
    EXPECT_EQ(found.specs[0].serialNumber, 0x0000000Au);
    EXPECT_EQ(found.specs[0].usbId, 0x0000000Au);
    EXPECT_EQ(found.specs[0].model, 19u);
    EXPECT_EQ(found.specs[0].module, 0u);
    EXPECT_EQ(found.specs[1].serialNumber, 0x40F5849Au);
    EXPECT_EQ(found.specs[1].model, 4u);
}

TEST_F(DiscoveryUsbTest, FindsBySerialNumber)
{
    linkSpec* spec = qDiscovery_FindModule(USB, 0x40F5849A, 0);
    ASSERT_NE(spec, nullptr);
    EXPECT_EQ(spec->model, 4u);
    qLinkSpec_Destroy(&spec);
    EXPECT_EQ(qDiscovery_FindModule(USB, 0x01234567, 0), nullptr) << "its text had 7 digits";
    EXPECT_EQ(qDiscovery_FindModule(USB, 0x0000000B, 0), nullptr) << "not a module";
    spec = qDiscovery_FindFirstModule(USB, 0);
    ASSERT_NE(spec, nullptr);
    EXPECT_NE(spec->serialNumber, 0u);
    qLinkSpec_Destroy(&spec);
}

TEST_F(DiscoveryUsbTest, ModuleConnectsByItsSerialNumber)
{
    Quorvel::Cindervex::Module module(2, uint8_t(0));
    ASSERT_EQ(module.connect(USB, 0x40F5849A), qErrNone);
    EXPECT_EQ(module.getModuleAddress(), 4) << "learned from the module";
    Quorvel::Cindervex::SystemClass system;
    system.init(&module, 0);
    uint32_t serial = 0;
    EXPECT_EQ(system.getSerialNumber(&serial), qErrNone);
    EXPECT_EQ(serial, 0x40F5849Au);
    module.disconnect();

    Quorvel::Cindervex::Module byModel(2, uint8_t(19));
    ASSERT_EQ(byModel.discoverAndConnect(USB, 0), qErrNone);
    linkSpec spec{};
    byModel.getLinkSpecifier(&spec);
    EXPECT_EQ(spec.serialNumber, 0x0000000Au) << "the module of model 19";
}

TEST_F(DiscoveryUsbTest, OtherTransportsFindNothingWithoutAsking)
{
    Found found;
    EXPECT_EQ(qDiscovery_EnumerateModules(SERIAL, sCollect, &found, 0), 0);
    EXPECT_EQ(qDiscovery_EnumerateModules(linkType(9), sCollect, &found, 0), 0);
    EXPECT_TRUE(found.specs.empty());
}

} // namespace
