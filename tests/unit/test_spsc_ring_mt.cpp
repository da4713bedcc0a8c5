// The single-producer single-consumer ring that carries stream callbacks to their worker.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "Cindervex2/common/LocklessQueue_SPSC.h"

namespace {

TEST(SpscRingTest, HoldsCapacityMinusOneInOrder)
{
    LocklessQueue_SPSC<int> ring(5);
    for (int i = 0; i < 4; ++i) {
        int v = i;
        EXPECT_TRUE(ring.push(v)) << i;
    }
    int extra = 99;
    EXPECT_FALSE(ring.push(extra));
    EXPECT_EQ(extra, 99) << "a refused element stays with the caller";
    for (int round = 0; round < 3; ++round) { // wrap around several times
        int out = -1;
        ASSERT_TRUE(ring.pop(out));
        int v = 4 + round;
        EXPECT_TRUE(ring.push(v));
    }
    for (int want = 3; want < 7; ++want) {
        int out = -1;
        ASSERT_TRUE(ring.pop(out));
        EXPECT_EQ(out, want);
    }
    int out;
    EXPECT_FALSE(ring.pop(out));
}

TEST(SpscRingTest, ProducerAndConsumerThreadsPassEveryElementOnce)
{
    // Owned elements catch a slot read before the producer finished writing it.
    LocklessQueue_SPSC<std::unique_ptr<uint32_t>> ring(500);
    constexpr uint32_t kCount = 200000;
    std::thread producer([&] {
        for (uint32_t i = 0; i < kCount;) {
            auto item = std::make_unique<uint32_t>(i);
            if (ring.push(item))
                ++i;
            else
                std::this_thread::yield();
        }
    });
    uint32_t expected = 0;
    while (expected < kCount) {
        std::unique_ptr<uint32_t> item;
        if (!ring.pop(item)) {
            std::this_thread::yield();
            continue;
        }
        ASSERT_TRUE(item);
        ASSERT_EQ(*item, expected);
        ++expected;
    }
    producer.join();
    std::unique_ptr<uint32_t> rest;
    EXPECT_FALSE(ring.pop(rest));
}

} // namespace
