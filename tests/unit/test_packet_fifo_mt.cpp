#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>
#include <vector>

#include "Cindervex2/common/qPacketFifo.h"

namespace {

using Clock = std::chrono::steady_clock;

// Packets carry a producer number and a sequence number so tests can check order.
qPacketPtr sPacket(uint8_t producer, uint8_t sequence) {
    const uint8_t data[] = {producer, sequence};
    return qPacketPtr(qPacket_CreateWithData(0x04, 2, data));
}

uint8_t sMatchFirstByte(const qPacket* packet, void* reference) {
    return packet->data[0] == *static_cast<uint8_t*>(reference);
}

class PacketFifoTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(fifo, 0u); }
    void TearDown() override {
        if (fifo) qPacketFifo_Destroy(&fifo);
    }
    void put(uint8_t producer, uint8_t sequence) { ASSERT_EQ(qPacketFifo_Put(fifo, sPacket(producer, sequence).get()), qErrNone); }
    uint64_t fifo = qPacketFifo_Create();
};

TEST_F(PacketFifoTest, IdsAreSequentialAndNeverZero) {
    uint64_t next = qPacketFifo_Create();
    EXPECT_EQ(next, fifo + 1);
    qPacketFifo_Destroy(&next);
}

TEST_F(PacketFifoTest, GetReturnsPacketsInPutOrder) {
    put(1, 1);
    put(1, 2);
    qPacketPtr first(qPacketFifo_Get(fifo));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->data[1], 1);
    EXPECT_EQ(qPacketFifo_GetLength(fifo), 1u);
}

TEST_F(PacketFifoTest, KeepsItsOwnCopy) {
    qPacket* mine = sPacket(9, 9).release();
    ASSERT_EQ(qPacketFifo_Put(fifo, mine), qErrNone);
    qPacket_Destroy(&mine);
    qPacketPtr got(qPacketFifo_Get(fifo));
    ASSERT_TRUE(got);
    EXPECT_EQ(got->data[0], 9);
}

TEST_F(PacketFifoTest, OverflowBeyondAThousandEmptiesTheQueue) {
    for (int i = 0; i < 1000; i++) put(1, static_cast<uint8_t>(i));
    EXPECT_EQ(qPacketFifo_GetLength(fifo), 1000u);
    put(1, 0);
    EXPECT_EQ(qPacketFifo_GetLength(fifo), 0u);
    put(2, 0);
    EXPECT_EQ(qPacketFifo_GetLength(fifo), 1u);
}

TEST_F(PacketFifoTest, GetFirstTakesTheOldestMatchAndKeepsTheRest) {
    put(1, 1);
    put(2, 1);
    put(2, 2);
    uint8_t wanted = 2;
    qPacketPtr got(qPacketFifo_GetFirst(fifo, sMatchFirstByte, &wanted));
    ASSERT_TRUE(got);
    EXPECT_EQ(got->data[1], 1);
    EXPECT_EQ(qPacketFifo_GetLength(fifo), 2u);
    wanted = 7;
    EXPECT_EQ(qPacketFifo_GetFirst(fifo, sMatchFirstByte, &wanted), nullptr);
    EXPECT_EQ(qPacketFifo_GetFirst(fifo, nullptr, &wanted), nullptr);
}

TEST_F(PacketFifoTest, DrainRemovesMatchesAndKeepsOrder) {
    for (uint8_t i = 1; i <= 5; i++) put(i % 2 == 0 ? 2 : 1, i);
    uint8_t even = 2;
    EXPECT_EQ(qPacketFifo_DrainPackets(fifo, sMatchFirstByte, &even), 2u);
    for (uint8_t want : {1, 3, 5}) {
        qPacketPtr got(qPacketFifo_Get(fifo));
        ASSERT_TRUE(got);
        EXPECT_EQ(got->data[1], want);
    }
}

TEST_F(PacketFifoTest, AwaitWithZeroTimeoutReturnsAtOnce) {
    auto start = Clock::now();
    EXPECT_EQ(qPacketFifo_Await(fifo, 0), nullptr);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(50));
}

TEST_F(PacketFifoTest, AwaitTimesOutAfterItsBound) {
    auto start = Clock::now();
    EXPECT_EQ(qPacketFifo_Await(fifo, 120), nullptr);
    auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(120));
    EXPECT_LT(waited, std::chrono::milliseconds(1000));
}

TEST_F(PacketFifoTest, AwaitWakesWhenAPacketArrives) {
    std::thread producer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        put(3, 3);
    });
    auto start = Clock::now();
    qPacketPtr got(qPacketFifo_Await(fifo, 5000));
    producer.join();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->data[0], 3);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2000));
}

// A filter that never matches and counts how often each packet was offered.
struct Offers {
    std::map<uint8_t, int> count;
};
uint8_t sCountOffers(const qPacket* packet, void* reference) {
    static_cast<Offers*>(reference)->count[packet->data[1]]++;
    return 0;
}

TEST_F(PacketFifoTest, AwaitFirstOffersEachPacketOncePerCall) {
    put(1, 0);
    put(1, 1);
    std::thread producer([&] {
        for (uint8_t i = 2; i < 6; i++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            put(1, i);
        }
    });
    Offers offers;
    EXPECT_EQ(qPacketFifo_AwaitFirst(fifo, sCountOffers, &offers, 300), nullptr);
    producer.join();
    ASSERT_EQ(offers.count.size(), 6u);
    for (auto [sequence, times] : offers.count) EXPECT_EQ(times, 1) << "packet " << int(sequence);
}

TEST_F(PacketFifoTest, AwaitFirstReturnsAMatchArrivingDuringTheWait) {
    put(1, 0);
    std::thread producer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        put(1, 1);
        put(2, 7);
    });
    uint8_t wanted = 2;
    qPacketPtr got(qPacketFifo_AwaitFirst(fifo, sMatchFirstByte, &wanted, 5000));
    producer.join();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->data[1], 7);
    EXPECT_EQ(qPacketFifo_GetLength(fifo), 2u);
}

TEST_F(PacketFifoTest, DestroyWakesEveryWaiter) {
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    uint8_t never = 0xEE;
    const uint64_t id = fifo;
    for (int i = 0; i < 3; i++) {
        waiters.emplace_back([&, i] {
            qPacket* got = i == 0 ? qPacketFifo_AwaitFirst(id, sMatchFirstByte, &never, 10000) : qPacketFifo_Await(id, 10000);
            EXPECT_EQ(got, nullptr);
            woken++;
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto start = Clock::now();
    EXPECT_EQ(qPacketFifo_Destroy(&fifo), qErrNone);
    for (auto& t : waiters) t.join();
    EXPECT_EQ(woken, 3);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2000));
}

TEST_F(PacketFifoTest, DestroyedIdIsUnknownEverywhere) {
    uint64_t id = fifo;
    ASSERT_EQ(qPacketFifo_Destroy(&fifo), qErrNone);
    EXPECT_EQ(fifo, 0u);
    uint64_t again = id;
    EXPECT_EQ(qPacketFifo_Destroy(&again), qErrNotFound);
    EXPECT_EQ(again, 0u);
    EXPECT_EQ(qPacketFifo_Destroy(nullptr), qErrParam);
    EXPECT_EQ(qPacketFifo_Put(id, sPacket(1, 1).get()), qErrParam);
    EXPECT_EQ(qPacketFifo_Get(id), nullptr);
    EXPECT_EQ(qPacketFifo_Await(id, 10), nullptr);
    EXPECT_EQ(qPacketFifo_GetLength(id), 0u);
    uint8_t any = 1;
    EXPECT_EQ(qPacketFifo_DrainPackets(id, sMatchFirstByte, &any), 0u);
}

TEST_F(PacketFifoTest, RefusesAnInvalidPacket) {
    qPacket dead = *sPacket(1, 1);
    dead.tag = 0;
    EXPECT_EQ(qPacketFifo_Put(fifo, &dead), qErrParam);
    EXPECT_EQ(qPacketFifo_Put(fifo, nullptr), qErrParam);
}

TEST(PacketFifoLifetimeTest, CreateDestroyCyclesLeaveNothingBehind) {
    qPacketPtr packet = sPacket(1, 1);
    for (int i = 0; i < 10000; i++) {
        uint64_t id = qPacketFifo_Create();
        ASSERT_NE(id, 0u);
        ASSERT_EQ(qPacketFifo_Put(id, packet.get()), qErrNone);
        ASSERT_EQ(qPacketFifo_Destroy(&id), qErrNone);
    }
}

// Producers and waiting consumers: every packet arrives once, each producer's in order.
TEST_F(PacketFifoTest, ProducersAndConsumersLoseNothing) {
    constexpr int kProducers = 4, kEach = 200, kConsumers = 3;
    std::vector<std::thread> threads;
    std::vector<std::vector<int>> seen(kConsumers);
    std::atomic<int> received{0};
    for (int c = 0; c < kConsumers; c++) {
        threads.emplace_back([&, c] {
            while (received < kProducers * kEach) {
                qPacketPtr got(qPacketFifo_Await(fifo, 50));
                if (!got) continue;
                seen[c].push_back(got->data[0] * 256 + got->data[1]);
                received++;
            }
        });
    }
    for (int p = 0; p < kProducers; p++) {
        threads.emplace_back([&, p] {
            for (int i = 0; i < kEach; i++) put(static_cast<uint8_t>(p), static_cast<uint8_t>(i));
        });
    }
    for (auto& t : threads) t.join();
    std::map<int, int> count;
    for (auto& one : seen) {
        std::map<int, int> last;  // per producer, a consumer sees increasing sequence numbers
        for (int v : one) {
            count[v]++;
            int producer = v / 256, sequence = v % 256;
            if (last.count(producer)) {
                EXPECT_GT(sequence, last[producer]);
            }
            last[producer] = sequence;
        }
    }
    EXPECT_EQ(count.size(), size_t(kProducers * kEach));
    for (auto [v, n] : count) EXPECT_EQ(n, 1) << v;
    EXPECT_EQ(qPacketFifo_GetLength(fifo), 0u);
}

}  // namespace
