// Link, Module and the entity accessors against the simulated module over TCP on loopback.
#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Cindervex2/classes/I2CClass.h"
#include "Cindervex2/classes/Module.h"
#include "Cindervex2/classes/SystemClass.h"
#include "tests/unit/support/SimModule.h"
#include "tests/unit/support/SimProcess.h"

using namespace Quorvel::Cindervex;
using namespace std::chrono_literals;

namespace {

constexpr uint8_t kSample = 12; // the simulated module's entity with every value kind

linkSpec sTcpSpec(const SimModule& sim)
{
    linkSpec spec{};
    spec.type = TCPIP;
    spec.ipAddress = htonl(INADDR_LOOPBACK);
    spec.port = uint32_t(std::stoi(sim.word("port")));
    return spec;
}

std::vector<uint8_t> sBytes(size_t n, uint8_t seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(seed + i * 7);
    return v;
}

// A simulated module at address 4 and a Module connected to it (starting from address 2,
// so that connecting must learn the address).
class ModuleSimTest : public ::testing::Test {
protected:
    virtual std::vector<std::string> simArgs() { return {}; }
    void SetUp() override
    {
        std::vector<std::string> args = {"--tcp", "127.0.0.1:0", "--address", "4", "--serial",
                                         "40F5849A", "--model", "19"};
        std::vector<std::string> extra = simArgs();
        args.insert(args.end(), extra.begin(), extra.end());
        sim = std::make_unique<SimModule>(args);
        ASSERT_TRUE(sim->ready());
        module = std::make_unique<Module>(2, uint8_t(0));
        ASSERT_EQ(module->connectFromSpec(sTcpSpec(*sim)), qErrNone);
        system.init(module.get(), 0);
        sample.init(module.get(), kSample, 0);
    }
    // Hex of what the module received since the last call.
    std::string received()
    {
        std::string hex = sim->value("received");
        sim->command("clear");
        return hex;
    }
    std::unique_ptr<SimModule> sim;
    std::unique_ptr<Module> module;
    SystemClass system;
    EntityClass sample;
};

TEST_F(ModuleSimTest, ConnectingLearnsTheAddressAndASecondConnectIsRefused)
{
    EXPECT_EQ(module->getModuleAddress(), 4);
    EXPECT_TRUE(module->isConnected());
    EXPECT_EQ(module->getStatus(), 2u);
    EXPECT_EQ(module->getLink()->connect(), qErrConnection);
    EXPECT_EQ(module->connectFromSpec(sTcpSpec(*sim)), qErrBusy);
    EXPECT_EQ(module->disconnect(), qErrNone);
    EXPECT_EQ(module->getStatus(), 8u);
    EXPECT_EQ(module->reconnect(), qErrNone);
    EXPECT_TRUE(module->isConnected());
}

TEST_F(ModuleSimTest, AFailedLinkIsReleasedBeforeTheNextAttempt)
{
    ASSERT_NE(sim->command("close 300"), "");
    auto deadline = std::chrono::steady_clock::now() + 3s;
    while (module->isConnected() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    ASSERT_FALSE(module->isConnected());
    EXPECT_EQ(module->getLink()->connect(), qErrConnection) << "the failed link is still held";
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(module->reconnect(), qErrNone);
    uint32_t serial = 0;
    EXPECT_EQ(system.getSerialNumber(&serial), qErrNone);
}

struct SystemCase {
    const char* name;
    std::function<qErr(SystemClass&, int64_t*)> call;
    qErr result;
    int64_t value;
};

class SystemSimTest : public ModuleSimTest, public ::testing::WithParamInterface<SystemCase> {
protected:
    std::vector<std::string> simArgs() override
    {
        return {"--uei-error", "3:41:29", "--version", "21234567", "--build", "4242"};
    }
};

TEST_P(SystemSimTest, AnswersEveryKindOfRequest)
{
    int64_t value = -1;
    EXPECT_EQ(GetParam().call(system, &value), GetParam().result);
    if (GetParam().result == qErrNone) {
        EXPECT_EQ(value, GetParam().value);
    }
}

template <typename T, typename F>
std::function<qErr(SystemClass&, int64_t*)> sGetter(F f)
{
    return [f](SystemClass& s, int64_t* out) {
        T v{};
        qErr r = (s.*f)(&v);
        *out = v;
        return r;
    };
}

INSTANTIATE_TEST_SUITE_P(
    Options, SystemSimTest,
    ::testing::Values(
        SystemCase{"SerialNumber", sGetter<uint32_t>(&SystemClass::getSerialNumber), qErrNone, 0x40F5849A},
        SystemCase{"Model", sGetter<uint8_t>(&SystemClass::getModel), qErrNone, 19},
        SystemCase{"LegacyVersion", sGetter<uint32_t>(&SystemClass::getVersion), qErrNone, 0x21234567},
        SystemCase{"BuildOption", sGetter<uint32_t>(&SystemClass::getBuild), qErrNone, 4242},
        SystemCase{"SignedTemperature", sGetter<int32_t>(&SystemClass::getTemperature), qErrNone, -1250},
        SystemCase{"ErrorReply", sGetter<uint32_t>(&SystemClass::getErrors), qErrInvalidOption, 0},
        SystemCase{"LedSendsOneForNonzero",
                   [](SystemClass& s, int64_t* out) {
                       uint8_t led = 0;
                       qErr r = s.setLED(5);
                       if (r == qErrNone)
                           r = s.getLED(&led);
                       *out = led;
                       return r;
                   },
                   qErrNone, 1},
        SystemCase{"SetThenGet32",
                   [](SystemClass& s, int64_t* out) {
                       uint32_t v = 0;
                       qErr r = s.setPowerLimitMax(0xA1B2C3D4);
                       if (r == qErrNone)
                           r = s.getPowerLimitMax(&v);
                       *out = v;
                       return r;
                   },
                   qErrNone, 0xA1B2C3D4},
        SystemCase{"Call", [](SystemClass& s, int64_t* out) { *out = 0; return s.save(); }, qErrNone, 0},
        SystemCase{"RouteToMe", [](SystemClass& s, int64_t* out) { *out = 0; return s.routeToMe(6); }, qErrNone, 0}),
    [](const auto& i) { return std::string(i.param.name); });

TEST_F(ModuleSimTest, SubindexFormsTravelAsByteValues)
{
    received();
    uint16_t v16 = 0;
    EXPECT_EQ(sample.getUEI16(7, 3, &v16), qErrNone);
    EXPECT_EQ(v16, 0x2122);
    EXPECT_EQ(received(), "04040c472003") << "get: subindex as the byte value";

    EXPECT_EQ(sample.setUEI32(8, 3, 0xCAFEF00D), qErrNone);
    EXPECT_EQ(received(), "04080c882003cafef00d") << "set: subindex before the value";
    uint32_t v32 = 0;
    EXPECT_EQ(sample.getUEI32(8, 3, &v32), qErrNone);
    EXPECT_EQ(v32, 0xCAFEF00Du);
    EXPECT_EQ(sample.getUEI32(8, 4, &v32), qErrNone);
    EXPECT_EQ(v32, 0x21222324u) << "other subindices keep their value";

    EXPECT_EQ(sample.setUEI16(2, 0xBEEF), qErrNone);
    EXPECT_EQ(sample.getUEI16(2, &v16), qErrNone);
    EXPECT_EQ(v16, 0xBEEF);
    EXPECT_EQ(sample.callUEI(4), qErrNone);
    EXPECT_EQ(sample.getUEI8(1, static_cast<uint8_t*>(nullptr)), qErrParam);
}

class ByteArraySimTest : public ModuleSimTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(ByteArraySimTest, TravelsBothWays)
{
    std::vector<uint8_t> sent = sBytes(GetParam(), 3);
    ASSERT_EQ(sample.setUEIBytes(5, sent.data(), sent.size()), qErrNone);
    std::vector<uint8_t> back(100, 0xEE);
    size_t count = 99;
    ASSERT_EQ(sample.getUEIBytes(5, back.data(), back.size(), &count), qErrNone);
    ASSERT_EQ(count, sent.size());
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), back.begin()));
    EXPECT_EQ(back[count], 0xEE);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ByteArraySimTest, ::testing::Values(0, 24, 50));

TEST_F(ModuleSimTest, ByteArrayPacketsCarryTrailers)
{
    std::vector<uint8_t> sent = sBytes(50, 1);
    received();
    ASSERT_EQ(sample.setUEIBytes(5, sent.data(), sent.size()), qErrNone);
    std::string hex = received();
    // Three packets: 24 bytes and trailer 0x80, 24 and 0x81, 2 and 0x02.
    ASSERT_EQ(hex.size(), size_t(2 * (30 + 30 + 8)));
    EXPECT_EQ(hex.substr(0, 8), "041c0c85");
    EXPECT_EQ(hex.substr(58, 2), "80");
    EXPECT_EQ(hex.substr(118, 2), "81");
    EXPECT_EQ(hex.substr(120, 8), "04060c85");
    EXPECT_EQ(hex.substr(134, 2), "02");
}

TEST_F(ModuleSimTest, AReplyLargerThanTheBufferKeepsWhatFitted)
{
    std::vector<uint8_t> buffer(30);
    size_t count = 0;
    EXPECT_EQ(sample.getUEIBytes(5, buffer.data(), 10, &count), qErrMemory);
    EXPECT_EQ(count, 0u) << "the first packet already holds 24 bytes";
    sample.drainUEI(5);
    std::this_thread::sleep_for(100ms);
    sample.drainUEI(5);
    EXPECT_EQ(sample.getUEIBytes(5, buffer.data(), 30, &count), qErrMemory);
    EXPECT_EQ(count, 24u);
    EXPECT_EQ(buffer[23], uint8_t(23));
}

TEST_F(ModuleSimTest, AShortByteArrayReplyIsAnErrorNotACopy)
{
    // A reply to the name that cannot carry a trailer arrives before the real one.
    sim->command("send 0403032000");
    std::this_thread::sleep_for(100ms);
    std::vector<uint8_t> name(8, 0xEE);
    size_t length = 0;
    EXPECT_EQ(system.getName(name.data(), name.size(), &length), qErrPacket);
    EXPECT_EQ(length, 0u);
}

TEST_F(ModuleSimTest, LargeUploadArrivesWhole)
{
    // Far more packets than the writer sends while they are queued.
    std::vector<uint8_t> sent = sBytes(24 * 1500, 9);
    ASSERT_EQ(sample.setUEIBytes(5, sent.data(), sent.size()), qErrNone);
    std::vector<uint8_t> back(sent.size() + 10);
    size_t count = 0;
    ASSERT_EQ(sample.getUEIBytes(5, back.data(), back.size(), &count), qErrNone);
    ASSERT_EQ(count, sent.size());
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), back.begin()));
}

TEST_F(ModuleSimTest, InfoQueriesAndEcho)
{
    EXPECT_EQ(module->hasUEI(3, 9, 0, 0x40), qErrNone);
    EXPECT_EQ(module->hasUEI(3, 60, 0, 0), qErrInvalidOption);
    EXPECT_EQ(module->hasUEI(3, 9, 0, 0xC0), qErrParam);
    EXPECT_EQ(module->hasUEI(3, 9, 0, 0x01), qErrParam);
    uint8_t n = 99;
    EXPECT_EQ(module->classQuantity(kSample, &n), qErrNone);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(module->subClassQuantity(kSample, 1, &n), qErrNone);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(module->entityGroup(kSample, 1, &n), qErrNone);
    EXPECT_EQ(n, kSample & 0x0F);
    uint32_t build = 0;
    EXPECT_EQ(module->getBuild(&build), qErrNone);
    EXPECT_EQ(build, 100000u);
    const uint8_t echo[] = {1, 2, 3, 0xFF};
    EXPECT_EQ(module->debug(echo, sizeof echo), qErrNone);
}

TEST_F(ModuleSimTest, ExchangesCheckConnectionThenAddress)
{
    Link* link = module->getLink();
    uint8_t data[28];
    uint8_t length = 1;
    for (uint8_t bad : {0, 1, 255}) {
        uei u{};
        u.module = bad;
        EXPECT_EQ(link->sendUEI(u), qErrPacket) << int(bad);
        EXPECT_EQ(link->sendPacket(bad, 3, 0, data), qErrPacket) << int(bad);
        EXPECT_EQ(link->receivePacket(bad, data, &length, data), qErrPacket) << int(bad);
    }
    EXPECT_EQ(link->sendPacket(4, 23, 28, data), qErrParam);
    module->disconnect();
    uei u{};
    u.module = 4;
    EXPECT_EQ(link->sendUEI(u), qErrConnection);
    uint8_t address = 9;
    EXPECT_EQ(link->getModuleAddress(&address), qErrNotReady);
    EXPECT_EQ(address, 0);
}

TEST_F(ModuleSimTest, SilentModuleGivesNoAddress)
{
    sim->command("silent on");
    uint8_t address = 9;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(module->getLink()->getModuleAddress(&address), qErrNotReady);
    EXPECT_EQ(address, 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 900ms);
    uint32_t serial = 0;
    EXPECT_EQ(system.getSerialNumber(&serial), qErrTimeout);
}

struct Counter {
    std::atomic<int> calls{0};
    std::atomic<uint32_t> lastAddress{0};
};

uint8_t sCount(const qPacket* packet, void* ref)
{
    auto* c = static_cast<Counter*>(ref);
    c->lastAddress = packet->address;
    ++c->calls;
    return 0;
}

bool sAwait(const std::function<bool()>& ready, std::chrono::milliseconds limit)
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

class StreamSimTest : public ModuleSimTest {
protected:
    std::vector<std::string> simArgs() override { return {"--stream-ms", "20"}; }
};

TEST_F(StreamSimTest, SamplesReachCacheAndCallbackUntilUnsubscribed)
{
    Link* link = module->getLink();
    Counter counter;
    ASSERT_EQ(sample.registerOptionCallback(2, true, sCount, &counter), qErrNone);
    ASSERT_TRUE(sAwait([&] { return counter.calls >= 3; }, 2000ms));
    EXPECT_EQ(counter.lastAddress, 4u);

    uint32_t value = 0;
    ASSERT_TRUE(sAwait([&] { return link->getStreamValue(4, kSample, 2, 0, 0, &value) == qErrNone; }, 1000ms));
    EXPECT_EQ(value, 0x1234u);

    sim->command("silent on");
    std::this_thread::sleep_for(100ms);
    uint16_t v16 = 0;
    sample.getUEI16(2, &v16); // takes a fresh value if one came
    received();
    EXPECT_EQ(sample.getUEI16(2, &v16), qErrStreamStale) << "answered from the cache";
    EXPECT_EQ(v16, 0x1234);
    sim->command("silent off");
    EXPECT_EQ(received(), "") << "nothing was asked";

    ASSERT_EQ(sample.registerOptionCallback(2, false, sCount, &counter), qErrNone);
    int after = counter.calls;
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(counter.calls, after);
    EXPECT_EQ(link->getStreamValue(4, kSample, 2, 0, 0, &value), qErrNotFound);

    // Without the filter, a stream packet is an ordinary received packet again.
    sim->command("send 040f0c0240020000000000000001beef00");
    uint8_t match[28] = {kSample, 2, 0x40};
    uint8_t length = 3;
    EXPECT_EQ(link->receivePacket(4, match, &length, match), qErrNone);
    EXPECT_EQ(length, 15);
}

TEST_F(StreamSimTest, WildcardSubscriptionCachesEveryKind)
{
    Link* link = module->getLink();
    ASSERT_EQ(sample.setStreamEnabled(true), qErrNone);
    uint8_t streaming = 0;
    EXPECT_EQ(link->isLinkStreaming(4, &streaming), qErrNone);
    EXPECT_EQ(streaming, 1);
    uint32_t value = 0;
    // Kinds 1, 2, 3 (options 1-3) and 5, 6, 7 (options 6-8 at subindex 0).
    struct Want {
        uint8_t option;
        uint32_t value;
    };
    for (Want w : {Want{1, 0x12}, Want{2, 0x1234}, Want{3, 0x01020304}, Want{6, 0x21},
                   Want{7, 0x2122}, Want{8, 0x21222324}}) {
        EXPECT_TRUE(sAwait([&] { return link->getStreamValue(4, kSample, w.option, 0, 0, &value) != qErrNotFound; }, 1000ms))
            << int(w.option);
        EXPECT_EQ(value, w.value) << int(w.option);
    }
    Link::StreamStatusEntry entries[2];
    size_t count = 0;
    EXPECT_EQ(sample.getStreamStatus(entries, 2, &count), qErrSize);
    EXPECT_EQ(count, 2u);
    Link::StreamStatusEntry all[16];
    EXPECT_EQ(sample.getStreamStatus(all, 16, &count), qErrNone);
    EXPECT_EQ(count, 6u);
    ASSERT_EQ(sample.setStreamEnabled(false), qErrNone);
    EXPECT_EQ(sample.getStreamStatus(all, 16, &count), qErrNone);
    EXPECT_EQ(count, 0u);
}

TEST_F(StreamSimTest, FailedSubscriptionRollsBack)
{
    Link* link = module->getLink();
    EXPECT_EQ(link->registerStreamCallback(3, kSample, 1, 0, true, {}, nullptr), qErrParam);
    EXPECT_EQ(link->registerStreamCallback(255, kSample, 1, 0, true, {}, nullptr), qErrParam);
    sim->command("silent on");
    EXPECT_EQ(sample.registerOptionCallback(1, true, sCount, nullptr), qErrTimeout);
    EXPECT_TRUE(link->filterActiveStreamKeys(4, kSample, 1, 0, 255, true).empty());
}

// A module that streams only what the test sends through it.
class QuietStreamSimTest : public ModuleSimTest {
protected:
    std::vector<std::string> simArgs() override { return {"--stream-ms", "600000"}; }
};

struct Order {
    std::mutex lock;
    std::vector<int> calls;
};

TEST_F(QuietStreamSimTest, ExactSubscriptionsComeBeforeWiderOnes)
{
    Link* link = module->getLink();
    Order order;
    auto note = [&order](int who) {
        return [&order, who](const qPacket*, void*) -> uint8_t {
            std::lock_guard<std::mutex> guard(order.lock);
            order.calls.push_back(who);
            return 0;
        };
    };
    ASSERT_EQ(link->registerStreamCallback(4, kSample, 255, 255, true, note(2), nullptr), qErrNone);
    ASSERT_EQ(link->registerStreamCallback(4, kSample, 1, 0, true, note(1), nullptr), qErrNone);
    // A 16-bit sample of option 1, index 0: value 0x0177.
    sim->command("send 040f0c0140020000000000000001017700");
    ASSERT_TRUE(sAwait([&] {
        std::lock_guard<std::mutex> guard(order.lock);
        return order.calls.size() >= 2;
    }, 2000ms));
    {
        std::lock_guard<std::mutex> guard(order.lock);
        EXPECT_EQ(order.calls, (std::vector<int>{1, 2}));
    }
    uint32_t value = 0;
    EXPECT_EQ(link->getStreamValue(4, kSample, 1, 0, 0, &value), qErrNone);
    EXPECT_EQ(value, 0x177u);
    EXPECT_EQ(link->getStreamValue(4, kSample, 1, 0, 0, &value), qErrStreamStale);

    // Part of a streamed byte array reaches the callbacks but is no cached value.
    sim->command("send 04070c014001020381");
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(link->getStreamValue(4, kSample, 1, 0, 0, &value), qErrStreamStale);
    module->disconnect(); // stops the worker before `order` goes away
}

class SlotSimTest : public ModuleSimTest {
protected:
    std::vector<std::string> simArgs() override { return {"--slot", "1:2:" + std::string(80, 'a')}; }
};

TEST_F(SlotSimTest, WritesAndReadsSlots)
{
    Link* link = module->getLink();
    std::vector<uint8_t> sent = sBytes(60, 5);
    received();
    ASSERT_EQ(link->loadStoreSlot(4, 0, 1, sent.data(), sent.size()), qErrNone);
    std::string hex = received();
    // open, three chunks of 25, 25 and 10 bytes, close
    EXPECT_EQ(hex.substr(0, 12), "040404040001");
    EXPECT_NE(hex.find("041c040701"), std::string::npos);
    EXPECT_NE(hex.find("040d040701"), std::string::npos);
    EXPECT_EQ(hex.substr(hex.size() - 10), "0403040801");

    size_t size = 0, capacity = 0;
    EXPECT_EQ(link->storeSlotSize(4, 0, 1, &size), qErrNone);
    EXPECT_EQ(size, 60u);
    EXPECT_EQ(link->storeSlotCapacity(4, 0, 1, &capacity), qErrNone);
    EXPECT_EQ(capacity, 256u);

    std::vector<uint8_t> back(30);
    size_t count = 0;
    EXPECT_EQ(link->unloadStoreSlot(4, 0, 1, back.data(), back.size(), &count), qErrOverrun);
    EXPECT_EQ(count, 30u);
    EXPECT_TRUE(std::equal(back.begin(), back.end(), sent.begin()));
    std::vector<uint8_t> whole(100);
    EXPECT_EQ(link->unloadStoreSlot(4, 1, 2, whole.data(), whole.size(), &count), qErrNone);
    EXPECT_EQ(count, 40u);
    EXPECT_EQ(whole[39], 0xAA);
    EXPECT_EQ(link->loadStoreSlot(4, 7, 0, sent.data(), sent.size()), qErrMedia);
}

class BadChecksumSimTest : public ModuleSimTest {
protected:
    std::vector<std::string> simArgs() override { return {"--slot-bad-checksum"}; }
};

TEST_F(BadChecksumSimTest, AWrongChecksumFailsTheWriteAndStillClosesTheSlot)
{
    std::vector<uint8_t> sent = sBytes(60, 5);
    received();
    EXPECT_EQ(module->getLink()->loadStoreSlot(4, 0, 1, sent.data(), sent.size()), qErrIO);
    std::string hex = received();
    EXPECT_EQ(hex.find("040d040701"), std::string::npos) << "no chunk after the failure";
    EXPECT_EQ(hex.substr(hex.size() - 10), "0403040801") << "closed";
}

class FactorySimTest : public ModuleSimTest {
protected:
    std::vector<std::string> simArgs() override
    {
        std::ostringstream hex;
        for (uint8_t b : sBytes(34, 1))
            hex << std::hex << (b < 16 ? "0" : "") << int(b);
        return {"--factory", "3:" + hex.str()};
    }
};

TEST_F(FactorySimTest, ReadsAndWritesFactoryData)
{
    Link* link = module->getLink();
    std::vector<uint8_t> buffer(64);
    size_t count = 0;
    received();
    ASSERT_EQ(link->getFactoryData(4, 3, buffer.data(), buffer.size(), &count), qErrNone);
    EXPECT_EQ(count, 34u);
    std::vector<uint8_t> want = sBytes(34, 1);
    EXPECT_TRUE(std::equal(want.begin(), want.end(), buffer.begin()));
    EXPECT_EQ(received(), "04025e4304025e0304045e200022") << "first flag once, then the end";

    EXPECT_EQ(link->getFactoryData(4, 3, buffer.data(), 34, &count), qErrOverrun) << "exact fit";

    std::vector<uint8_t> sent = sBytes(34, 77);
    ASSERT_EQ(link->setFactoryData(4, 5, sent.data(), sent.size()), qErrNone);
    ASSERT_EQ(link->getFactoryData(4, 5, buffer.data(), buffer.size(), &count), qErrNone);
    EXPECT_EQ(count, 34u);
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), buffer.begin()));
}

class RouterSimTest : public ModuleSimTest {
protected:
    std::vector<std::string> simArgs() override { return {"--behind", "6:11223344:5"}; }
};

TEST_F(RouterSimTest, ReachesAModuleBehindTheRouter)
{
    I2CClass bus;
    bus.init(module.get(), 0);
    const uint8_t bytes[] = {0xDE, 0xAD};
    EXPECT_EQ(bus.write(6, sizeof bytes, bytes), qErrNone);
    EXPECT_EQ(bus.write(8, sizeof bytes, bytes), qErrRead) << "nobody at 8";
    uint8_t back[2] = {};
    EXPECT_EQ(bus.read(6, 2, back), qErrNone);
    EXPECT_EQ(back[0], 0xDE);
    EXPECT_EQ(bus.read(6, 24, back), qErrSize);
    EXPECT_EQ(bus.setPullup(true), qErrNone);
    EXPECT_EQ(bus.setSpeed(4), qErrParam);
    EXPECT_EQ(system.routeToMe(6), qErrNone);

    LanvexConfig config;
    module->disconnect();
    config.enabled = 0; // the router's link is not shared with other processes
    ASSERT_EQ(module->setConfig(config), qErrNone);
    ASSERT_EQ(module->reconnect(), qErrNone);

    Module behind(6, false, 0);
    ASSERT_EQ(behind.connectThroughLinkModule(module.get()), qErrNone);
    SystemClass remote;
    remote.init(&behind, 0);
    uint32_t serial = 0;
    EXPECT_EQ(remote.getSerialNumber(&serial), qErrNone);
    EXPECT_EQ(serial, 0x11223344u);
    uint8_t model = 0;
    EXPECT_EQ(remote.getModel(&model), qErrNone);
    EXPECT_EQ(model, 5);
    behind.disconnect();
    EXPECT_TRUE(module->isConnected()) << "the router keeps its use of the shared link";
    EXPECT_EQ(system.getSerialNumber(&serial), qErrNone);
    EXPECT_EQ(serial, 0x40F5849Au);
}

TEST_F(ModuleSimTest, PacketLogWritesLinesToAFile)
{
    TempDir dir;
    EXPECT_EQ(module->enablePacketLog(dir.file("missing/packets.log").c_str()), qErrIO);
    std::string path = dir.file("packets.log");
    ASSERT_EQ(module->enablePacketLog(path.c_str()), qErrNone);
    uint8_t model = 0;
    ASSERT_EQ(system.getModel(&model), qErrNone);
    std::this_thread::sleep_for(200ms);
    ASSERT_EQ(module->disablePacketLog(), qErrNone);
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find(std::string("6 < START\0\r\n", 12)), std::string::npos) << text;
    EXPECT_NE(text.find("5 > 0x4 0x3 0x3 0x48 0x20 \r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("6 < 0x4 0x4 0x3 0x8 0x0 0x13 \r\n"), std::string::npos) << text;
}

} // namespace
