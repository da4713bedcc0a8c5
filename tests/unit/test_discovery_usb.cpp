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
#include "tests/unit/support/SimModule.h"
#include "tests/unit/support/SkipOrFail.h"
#include "tests/unit/support/UmockdevReexec.h"

namespace {

const bool kUnderUmockdev = UmockdevReexec();

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
        bus = std::make_unique<SimModule>(std::vector<std::string>{"--usb"});
        if (!bus->ready())
            return;
        setenv("UMOCKDEV_DIR", bus->word("umockdev_dir").c_str(), 1);
        for (const char* settings : {"0000000A,pid=0x0013",  // model 19
                                     "40F5849A,pid=0x0004",  // model 4
                                     "0000000B,pid=0x8011",  // bit 15: another product of the maker
                                     "1234567,pid=0x0004",   // 7 characters
                                     "123456789,pid=0x0004", // 9 characters
                                     "40f5849b,pid=0x0004"}) // lower case: the driver could not open it
            plugged &= bus->command(std::string("plug serialtext=") + settings) == "ok";
    }
    static void TearDownTestSuite() { bus.reset(); }
    void SetUp() override
    {
        if (!kUnderUmockdev)
            SKIP_OR_FAIL("needs umockdev-wrapper");
        ASSERT_TRUE(bus->ready()) << "the emulated bus did not start";
        ASSERT_TRUE(plugged) << "the emulated bus refused a module";
    }
    static std::unique_ptr<SimModule> bus;
    static bool plugged;
};

std::unique_ptr<SimModule> DiscoveryUsbTest::bus;
bool DiscoveryUsbTest::plugged = true;

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
