#pragma once
// The link engine against the simulated module: one suite that every transport passes.
// A test file includes this once and instantiates LinkSuite with its transports.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "Cindervex2/common/qLink.h"
#include "tests/unit/support/SimModule.h"
#include "tests/unit/support/SkipOrFail.h"

/* One module for one test and the link to it. */
struct LinkTarget {
    std::unique_ptr<SimModule> own; /* the module's own simulator, if it has one */
    SimModule* sim = nullptr;
    std::string at; /* "@SERIAL " when the simulator serves several modules */
    uint32_t link = 0;
    std::string cmd(const std::string& c) { return sim->command(at + c); }
    long stat(const std::string& key) { return sim->stat(key, at); }
    long awaitStat(const std::string& key, long atLeast, int ms) { return sim->awaitStat(key, atLeast, ms, at); }
};

struct LinkTransport {
    const char* name;
    /* Starts a module (heartbeats off) and links to it; false with the reason it cannot. */
    bool (*open)(LinkTarget& target, std::string* why);
    /* Command that makes the module go away for a while and come back; null when the
     * transport's link cannot be reset. */
    const char* goAwayAndReturn;
};

class LinkSuite : public ::testing::TestWithParam<LinkTransport> {
protected:
    void SetUp() override {
        std::string why;
        if (!GetParam().open(t, &why)) SKIP_OR_FAIL(why);
        ASSERT_NE(t.link, 0u);
    }
    void TearDown() override {
        if (t.link != 0) {
            EXPECT_EQ(qLink_Destroy(&t.link), qErrNone);
        }
    }

    // Sends an echo request and waits for its echo (other packets, such as surplus sync
    // replies, stay queued).
    static qPacket* Echo(uint32_t link, uint8_t tagByte, uint32_t waitMs = 2000) {
        const uint8_t data[4] = {23, tagByte, 0x5A, 0xA5};
        qPacket* p = qPacket_CreateWithData(0x04, sizeof data, data);
        EXPECT_EQ(qLink_PutPacket(link, p), qErrNone);
        qPacket_Destroy(&p);
        auto isMine = [](const qPacket* q, void* ref) -> uint8_t {
            return q->length >= 2 && q->data[0] == 23 && q->data[1] == *static_cast<uint8_t*>(ref);
        };
        return qLink_AwaitFirst(link, isMine, &tagByte, waitMs);
    }
    static bool IsEcho(const qPacket* p, uint8_t tagByte) {
        return p != nullptr && p->address == 0x04 && p->length == 4 && p->data[0] == 23 && p->data[1] == tagByte;
    }
    static bool AwaitStatus(uint32_t link, uint32_t status, int ms) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (qLink_GetStatus(link) != status) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    LinkTarget t;
};

TEST_P(LinkSuite, SyncsWithinTwoSeconds) {
    long before = t.stat("sync_requests");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(qLink_Sync(t.link), qErrNone);
    // Sync itself spends 100 ms settling after the handshake.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2100));
    // The simulator may still be working through the burst when the host is in sync.
    long seen = 0;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while ((seen = t.stat("sync_requests") - before) < 6 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_GE(seen, 6) << "one burst of six requests";
    EXPECT_EQ(qLink_GetStatus(t.link), static_cast<uint32_t>(kLinkStatusRunning));
    EXPECT_EQ(qLink_GetPacket(t.link), nullptr) << "surplus sync replies are dropped";
}

TEST_P(LinkSuite, PacketsTravelBothWays) {
    for (uint8_t i = 1; i <= 3; i++) {
        qPacket* reply = Echo(t.link, i);
        EXPECT_TRUE(IsEcho(reply, i));
        qPacket_Destroy(&reply);
    }
    EXPECT_GE(t.stat("route_1"), 1) << "the start sends the route packet";
    EXPECT_NE(t.cmd("received").find("040417015aa5"), std::string::npos) << "bytes on the wire as sent";
}

TEST_P(LinkSuite, AsksTheModuleForItsAddressAndModel) {
    ASSERT_EQ(qLink_Sync(t.link), qErrNone);
    uint8_t address = 0, model = 0;
    EXPECT_EQ(_qLink_GetModuleAddress(t.link, &address), qErrNone);
    EXPECT_EQ(address, 0x04);
    EXPECT_EQ(_qLink_GetModel(t.link, address, &model), qErrNone);
    EXPECT_EQ(model, 0x10) << "the simulated module's default model";
    t.cmd("silent on");
    EXPECT_EQ(_qLink_GetModuleAddress(t.link, &address), qErrTimeout);
}

TEST_P(LinkSuite, AnswersHeartbeatsAcrossTheWrap) {
    t.cmd("heartbeat 40");  // values start at 0xFE: the replies wrap to 0x00 and 0x01
    EXPECT_GE(t.awaitStat("heartbeat_replies_ok", 5, 3000), 5);
    t.cmd("heartbeat 0");
    EXPECT_EQ(t.stat("heartbeat_replies_bad"), 0);
    EXPECT_EQ(qLink_GetPacket(t.link), nullptr) << "heartbeats are consumed";
}

TEST_P(LinkSuite, FramingErrorRestartsTheHandshake) {
    long before = t.stat("sync_requests");
    t.cmd("corrupt 1");  // the next reply starts with an odd address byte
    qPacket* lost = Echo(t.link, 1, 300);
    qPacket_Destroy(&lost);
    EXPECT_GE(t.awaitStat("sync_requests", before + 6, 2000) - before, 6);
    ASSERT_TRUE(AwaitStatus(t.link, kLinkStatusRunning, 2000));
    qPacket* reply = Echo(t.link, 2);
    EXPECT_TRUE(IsEcho(reply, 2));
    qPacket_Destroy(&reply);
}

TEST_P(LinkSuite, UserFilterConsumesPackets) {
    std::atomic<int> seen{0};
    auto filter = [](const qPacket* p, void* ref) {
        if (p->length == 0 || p->data[0] != 23) return false;
        static_cast<std::atomic<int>*>(ref)->fetch_add(1);
        return true;
    };
    ASSERT_EQ(qLink_InstallUserPacketFilter(t.link, filter, &seen), qErrNone);
    qPacket* reply = Echo(t.link, 7, 300);
    EXPECT_EQ(reply, nullptr);
    EXPECT_EQ(seen.load(), 1);
    ASSERT_EQ(qLink_InstallUserPacketFilter(t.link, nullptr, nullptr), qErrNone);
    reply = Echo(t.link, 8);
    EXPECT_TRUE(IsEcho(reply, 8));
    qPacket_Destroy(&reply);
    EXPECT_EQ(seen.load(), 1);
}

TEST_P(LinkSuite, DestroyWakesWaiterAndRoutesOff) {
    std::atomic<bool> woke{false};
    uint32_t id = t.link;
    std::thread waiter([&] {
        qPacket* p = qLink_AwaitPacket(id, 20000);
        woke = p == nullptr;
        qPacket_Destroy(&p);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(qLink_Destroy(&t.link), qErrNone);
    waiter.join();
    EXPECT_TRUE(woke.load());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
    EXPECT_GE(t.awaitStat("route_0", 1, 2000), 1) << "the route-off packet went out before the stop";
    EXPECT_EQ(qLink_GetStatus(id), static_cast<uint32_t>(kLinkStatusInvalid));
}

TEST_P(LinkSuite, ResetAfterTheModuleCameBack) {
    if (GetParam().goAwayAndReturn == nullptr) {
        EXPECT_EQ(qLink_Reset(t.link), qErrParam) << "this kind cannot be recreated";
        qPacket* reply = Echo(t.link, 3);
        EXPECT_TRUE(IsEcho(reply, 3)) << "and the link is untouched";
        qPacket_Destroy(&reply);
        return;
    }
    ASSERT_EQ(t.cmd(GetParam().goAwayAndReturn), "ok");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(qLink_Reset(t.link), qErrNone);
    EXPECT_EQ(qLink_Sync(t.link), qErrNone);
    qPacket* reply = Echo(t.link, 4);
    EXPECT_TRUE(IsEcho(reply, 4));
    qPacket_Destroy(&reply);
}
