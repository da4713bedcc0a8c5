// The USB driver and the link engine over emulated USB (libusb through umockdev) and over
// the kernel driver's device node (a pty that the emulated bus puts at its path).
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "Cindervex2/platform/cvusb.h"
#include "Cindervex2/platform/qUSBContext.h"
#include "Cindervex2/platform/qUSBStream.h"
#include "tests/unit/link/LinkSuite.h"
#include "tests/unit/support/UmockdevReexec.h"

namespace {

const bool kUnderUmockdev = UmockdevReexec();

// One emulated bus for the whole program; modules are plugged per test.
SimModule* sBus() {
    static std::unique_ptr<SimModule> bus = [] {
        if (!kUnderUmockdev) return std::unique_ptr<SimModule>();
        auto b = std::make_unique<SimModule>(std::vector<std::string>{"--usb"});
        if (b->ready()) setenv("UMOCKDEV_DIR", b->word("umockdev_dir").c_str(), 1);
        return b;
    }();
    return bus != nullptr && bus->ready() ? bus.get() : nullptr;
}

uint32_t sNextSerial() {
    static uint32_t serial = 0x0C0FFEE0;
    return ++serial;
}

std::string sHex(uint32_t serial) {
    char text[16];
    snprintf(text, sizeof text, "%08X", serial);
    return text;
}

// Plugs a module with `settings` and returns its serial, 0 when the bus is missing.
uint32_t sPlug(const std::string& settings, std::string* why) {
    SimModule* bus = sBus();
    if (bus == nullptr) return *why = "needs umockdev-wrapper and the emulated bus", 0;
    uint32_t serial = sNextSerial();
    if (bus->command("plug serial=" + sHex(serial) + settings) != "ok") return *why = "plug failed", 0;
    return serial;
}

// Hot-plug events reach libusb through its udev monitor: give them a moment.
template <typename F>
auto sRetry(F attempt) {
    auto result = attempt();
    for (int i = 0; i < 40 && !result; i++) {
        usleep(50 * 1000);
        result = attempt();
    }
    return result;
}

bool sOpenUsb(LinkTarget& t, const std::string& settings, std::string* why) {
    uint32_t serial = sPlug(settings, why);
    if (serial == 0) return false;
    t.sim = sBus();
    t.at = "@" + sHex(serial) + " ";
    t.link = sRetry([&] { return qLink_CreateUSB(serial); });
    return true;
}

bool sOpenLibusb(LinkTarget& t, std::string* why) { return sOpenUsb(t, "", why); }
bool sOpenKernelNode(LinkTarget& t, std::string* why) { return sOpenUsb(t, ",kernel=1,usbfs=0", why); }

const LinkTransport kTransports[] = {
    {"Libusb", sOpenLibusb, "vanish 300"},
    {"KernelNode", sOpenKernelNode, "vanish 300"},
};

INSTANTIATE_TEST_SUITE_P(Usb, LinkSuite, ::testing::ValuesIn(kTransports),
                         [](const auto& i) { return std::string(i.param.name); });

/* ---- the driver on its own ---- */

class UsbDriverTest : public ::testing::Test {
protected:
    // Plugs a module and opens it on the library path.
    void Open(const std::string& settings = "") {
        std::string why;
        serial = sPlug(settings, &why);
        if (serial == 0) SKIP_OR_FAIL(why);
        at = "@" + sHex(serial) + " ";
        device = cvusb_create_usb(1);
        ASSERT_NE(device, nullptr);
        ASSERT_EQ(sRetry([&] { return cvusb_open_cindervex_device(device, sHex(serial).c_str()) == qErrNone; }), true);
    }
    void TearDown() override {
        if (device != nullptr) {
            EXPECT_EQ(cvusb_destroy(&device), qErrNone);
        }
        if (serial != 0) sBus()->command(at + "unplug");
    }
    std::string Bus(const std::string& c) { return sBus()->command(at + c); }
    qErr Get(uint8_t* byte) { return cvusb_get_from_device(device, byte); }

    uint32_t serial = 0;
    std::string at;
    cvusb_device* device = nullptr;
};

TEST_F(UsbDriverTest, OpensTheModuleWithTheExactSerialText) {
    Open();
    EXPECT_EQ(cvusb_get_state(device), kDeviceStateReady);
    cvusb_device* other = cvusb_create_usb(1);
    std::string lower = sHex(serial);
    for (char& c : lower) c = static_cast<char>(tolower(c));
    EXPECT_EQ(cvusb_open_cindervex_device(other, lower.c_str()), lower == sHex(serial) ? qErrBusy : qErrNotFound);
    EXPECT_EQ(cvusb_open_cindervex_device(other, sHex(serial + 0x1000).c_str()), qErrNotFound);
    cvusb_destroy(&other);
    EXPECT_EQ(other, nullptr);
}

TEST_F(UsbDriverTest, SkipsProductIdsWithBitFifteen) {
    std::string why;
    uint32_t foreign = sPlug(",pid=0x8004", &why);
    if (foreign == 0) SKIP_OR_FAIL(why);
    Open();  // a module plugged after it is found, so the bus has settled
    qStream* stream = nullptr;
    EXPECT_EQ(qStream_CreateUSB(foreign, &stream), qErrNotFound);
    EXPECT_EQ(stream, nullptr);
    sBus()->command("@" + sHex(foreign) + " unplug");
}

TEST_F(UsbDriverTest, BytesTravelBothWays) {
    Open();
    const uint8_t out[] = {0x04, 0x03, 23, 0x11, 0x22};
    ASSERT_EQ(cvusb_write_to_device(device, out, sizeof out), qErrNone);
    uint8_t echoed[sizeof out] = {};
    for (uint8_t& b : echoed) ASSERT_EQ(Get(&b), qErrNone);
    EXPECT_EQ(memcmp(echoed, out, sizeof out), 0);
    uint8_t none = 0;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Get(&none), qErrNotReady);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900)) << "a read waits 1 s";
}

struct ChunkCase {
    const char* name;
    int maxPacket;
    uint32_t count;
    const char* sizes;
};

class UsbChunkTest : public UsbDriverTest, public ::testing::WithParamInterface<ChunkCase> {};

TEST_P(UsbChunkTest, WritesInChunksOfTheMaxPacketSize) {
    Open(",maxpacket=" + std::to_string(GetParam().maxPacket));
    std::vector<uint8_t> data(GetParam().count, 0x55);
    ASSERT_EQ(cvusb_write_to_device(device, data.data(), GetParam().count), qErrNone);
    EXPECT_EQ(Bus("outsizes"), std::string("ok ") + GetParam().sizes);
}

const ChunkCase kChunks[] = {
    {"FullSpeed600", 64, 600, "64,64,64,64,64,64,64,64,64,24"},
    {"HighSpeed600", 512, 600, "511,89"},
    {"HighSpeedExactly512", 512, 512, "511,1"},
    {"HighSpeedSmall", 512, 30, "30"},
};

INSTANTIATE_TEST_SUITE_P(Chunks, UsbChunkTest, ::testing::ValuesIn(kChunks),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(UsbDriverTest, ClearsStalledEndpoints) {
    Open();
    ASSERT_EQ(Bus("stall 81"), "ok");
    uint8_t byte = 0;
    EXPECT_EQ(Get(&byte), qErrNotReady);
    Bus("send 0400");
    EXPECT_EQ(Get(&byte), qErrNone);
    EXPECT_EQ(byte, 0x04);
    ASSERT_EQ(Bus("stall 01"), "ok");
    const uint8_t out[] = {0xAD, 0x00};
    EXPECT_EQ(cvusb_write_to_device(device, out, sizeof out), qErrNone) << "cleared and sent again";
    EXPECT_NE(Bus("usbcounts").find("clear_halt=2"), std::string::npos);
    EXPECT_EQ(Bus("outsizes"), "ok 2");
}

TEST_F(UsbDriverTest, FifthIoErrorInARowFailsTheDevice) {
    Open();
    ASSERT_EQ(Bus("ioerrors 5"), "ok");
    uint8_t byte = 0;
    for (int i = 0; i < 4; i++) EXPECT_EQ(Get(&byte), qErrNotReady) << "error " << i + 1 << " is tolerated";
    EXPECT_EQ(Get(&byte), qErrIO);
    EXPECT_EQ(cvusb_get_state(device), kDeviceStateFailed);
    const uint8_t out[] = {0xAD, 0x00};
    EXPECT_EQ(cvusb_write_to_device(device, out, sizeof out), qErrIO) << "failed for good";
    EXPECT_EQ(Get(&byte), qErrIO);
}

TEST_F(UsbDriverTest, ErrorsThatStopShortOfFiveAreForgotten) {
    Open();
    ASSERT_EQ(Bus("ioerrors 4"), "ok");
    uint8_t byte = 0;
    for (int i = 0; i < 4; i++) EXPECT_EQ(Get(&byte), qErrNotReady);
    Bus("send 0400");
    EXPECT_EQ(Get(&byte), qErrNone);
    EXPECT_EQ(Get(&byte), qErrNone);
    ASSERT_EQ(Bus("ioerrors 4"), "ok");
    for (int i = 0; i < 4; i++) EXPECT_EQ(Get(&byte), qErrNotReady);
    EXPECT_EQ(cvusb_get_state(device), kDeviceStateReady);
}

TEST_F(UsbDriverTest, ContextStaysWhileAHandleIsOpen) {
    Open();
    EXPECT_EQ(Cindervex_libusb_exit(), qErrBusy);
    EXPECT_EQ(cvusb_get_state(device), kDeviceStateReady);
    EXPECT_EQ(cvusb_destroy(&device), qErrNone);
    EXPECT_EQ(Cindervex_libusb_exit(), qErrNone);
    device = cvusb_create_usb(1);  // a fresh context finds the module again
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(cvusb_open_cindervex_device(device, sHex(serial).c_str()), qErrNone);
}

TEST_F(UsbDriverTest, ModuleComesBackUnderAnotherSerial) {
    Open();
    uint32_t reborn = sNextSerial();
    ASSERT_EQ(Bus("vanish 200 " + sHex(reborn)), "ok");
    uint8_t byte = 0;
    EXPECT_NE(Get(&byte), qErrNone) << "gone from the bus";
    EXPECT_EQ(cvusb_destroy(&device), qErrNone);
    qStream* stream = nullptr;
    EXPECT_TRUE(sRetry([&] { return qStream_CreateUSB(reborn, &stream) == qErrNone; }));
    EXPECT_EQ(qStream_Destroy(&stream), qErrNone);
    at = "@" + sHex(reborn) + " ";
}

TEST(UsbKernelNodeTest, StreamUsesTheNodeWhenItExists) {
    std::string why;
    uint32_t serial = sPlug(",kernel=1,usbfs=0", &why);
    if (serial == 0) SKIP_OR_FAIL(why);
    ASSERT_TRUE(cvusb_is_kernel_driver_installed(serial));
    EXPECT_FALSE(cvusb_is_kernel_driver_installed(serial + 0x1000));
    qStream* stream = nullptr;
    ASSERT_EQ(qStream_CreateUSB(serial, &stream), qErrNone);
    uint8_t byte = 0;
    EXPECT_EQ(qStream_Read(stream, &byte, 1), qErrNotReady) << "no byte waits: the node never blocks";
    const uint8_t out[] = {0xAD, 0x00};
    ASSERT_EQ(qStream_Write(stream, out, sizeof out), qErrNone);
    ASSERT_EQ(qStream_WaitReadable(stream, 2000), qErrNone);
    uint8_t reply[2] = {};
    for (uint8_t& b : reply) {
        ASSERT_EQ(qStream_WaitReadable(stream, 2000), qErrNone);
        ASSERT_EQ(qStream_Read(stream, &b, 1), qErrNone);
    }
    EXPECT_EQ(reply[0], 0x04);
    EXPECT_EQ(reply[1], 0x00);
    EXPECT_EQ(qStream_Destroy(&stream), qErrNone);
    sBus()->command("@" + sHex(serial) + " unplug");
}

TEST(UsbStreamTest, RefusesSerialZero) {
    qStream* stream = reinterpret_cast<qStream*>(1);
    EXPECT_EQ(qStream_CreateUSB(0, &stream), qErrParam);
    EXPECT_EQ(stream, nullptr);
    EXPECT_EQ(qStream_CreateUSB(1, nullptr), qErrParam);
}

}  // namespace
