// The process-wide guard around CZMQ's beacon interface setting.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "Cindervex2/classes/zBeaconInterface.h"

namespace {

using namespace std::chrono_literals;

// True when another thread can take the guard within `wait` (it releases it again).
bool sFreeForOthers(std::chrono::milliseconds wait)
{
    std::atomic<bool> took{false};
    std::thread other([&] {
        zBeaconInterface_setAndLock(zBeaconInterface_get());
        took = true;
        zBeaconInterface_unlock();
    });
    auto deadline = std::chrono::steady_clock::now() + wait;
    while (!took && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    bool result = took;
    if (!result)
        zBeaconInterface_unlock(); // let the other thread finish
    other.join();
    return result;
}

TEST(BeaconInterfaceTest, InvalidTextIsRefusedWithoutLocking)
{
    for (const char* text : {"eth0", "10.0.0", "10.0.0.256", "1.2.3.4 ", static_cast<const char*>(nullptr)}) {
        EXPECT_FALSE(zBeaconInterface_setAndLock(text)) << (text ? text : "null");
        EXPECT_FALSE(zBeaconInterface_backupSetAndLock(text)) << (text ? text : "null");
    }
    EXPECT_TRUE(sFreeForOthers(1000ms));
}

TEST(BeaconInterfaceTest, LockingSetsTheInterfaceAndExcludesOthers)
{
    for (const char* text : {"10.1.2.3", "", "*"}) {
        ASSERT_TRUE(zBeaconInterface_setAndLock(text));
        EXPECT_STREQ(zBeaconInterface_get(), text);
        std::atomic<bool> took{false};
        std::thread other([&] {
            zBeaconInterface_getAndLock();
            took = true;
            zBeaconInterface_unlock();
        });
        std::this_thread::sleep_for(50ms);
        EXPECT_FALSE(took) << "held by this thread";
        zBeaconInterface_unlock();
        other.join();
        EXPECT_TRUE(took);
    }
}

TEST(BeaconInterfaceTest, BackupIsRestoredOnUnlock)
{
    ASSERT_TRUE(zBeaconInterface_setAndLock("192.168.7.1"));
    zBeaconInterface_unlock();
    ASSERT_TRUE(zBeaconInterface_backupSetAndLock("10.9.9.9"));
    EXPECT_STREQ(zBeaconInterface_get(), "10.9.9.9");
    EXPECT_STREQ(zBeaconInterface_getBackup(), "192.168.7.1");
    zBeaconInterface_restoreAndUnlock();
    EXPECT_STREQ(zBeaconInterface_get(), "192.168.7.1");
    EXPECT_TRUE(sFreeForOthers(1000ms));
}

TEST(BeaconInterfaceTest, UnlockByAThreadThatDoesNotHoldTheGuardIsIgnored)
{
    ASSERT_TRUE(zBeaconInterface_setAndLock("10.0.0.1"));
    std::thread stranger([] {
        zBeaconInterface_unlock();
        zBeaconInterface_restoreAndUnlock();
    });
    stranger.join();
    EXPECT_FALSE(sFreeForOthers(100ms)) << "still held by this thread";
    zBeaconInterface_unlock();
    EXPECT_TRUE(sFreeForOthers(1000ms));
}

} // namespace
