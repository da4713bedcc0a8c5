#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <string>
#include <thread>

#include "Cindervex2/platform/qPlatform.h"

namespace {

using Clock = std::chrono::steady_clock;

TEST(MutexTest, NameIsKeptAndLimited) {
    qMutex* named = qMutex_Create("qLink_Managed");
    ASSERT_NE(named, nullptr);
    EXPECT_STREQ(qMutex_Identifier(named), "qLink_Managed");
    qMutex* anonymous = qMutex_Create(nullptr);
    EXPECT_STREQ(qMutex_Identifier(anonymous), "");
    EXPECT_EQ(qMutex_Create(std::string(256, 'n').c_str()), nullptr);
    qMutex* longest = qMutex_Create(std::string(255, 'n').c_str());
    EXPECT_NE(longest, nullptr);
    for (qMutex** m : {&named, &anonymous, &longest}) {
        EXPECT_EQ(qMutex_Destroy(m), qErrNone);
        EXPECT_EQ(*m, nullptr);
    }
}

TEST(MutexTest, MisuseIsReportedNotDeadlocked) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer aborts on the misuse this test provokes on purpose";
#endif
    qMutex* mutex = qMutex_Create("m");
    ASSERT_EQ(qMutex_Lock(mutex), qErrNone);
    EXPECT_EQ(qMutex_Lock(mutex), qErrDuplicate);
    EXPECT_EQ(qMutex_TryLock(mutex), qErrBusy);
    std::thread stranger([&] {
        EXPECT_EQ(qMutex_TryLock(mutex), qErrBusy);
        EXPECT_EQ(qMutex_Unlock(mutex), qErrPermission);
    });
    stranger.join();
    EXPECT_EQ(qMutex_Destroy(&mutex), qErrBusy);
    ASSERT_NE(mutex, nullptr) << "a held mutex stays usable";
    EXPECT_EQ(qMutex_Unlock(mutex), qErrNone);
    EXPECT_EQ(qMutex_Unlock(mutex), qErrPermission);
    EXPECT_EQ(qMutex_Destroy(&mutex), qErrNone);
    EXPECT_EQ(qMutex_Destroy(&mutex), qErrParam);
    EXPECT_EQ(qMutex_Lock(nullptr), qErrParam);
    EXPECT_EQ(qMutex_Unlock(nullptr), qErrParam);
}

TEST(MutexTest, ExcludesOtherThreads) {
    qMutex* mutex = qMutex_Create("counter");
    long counter = 0;
    auto add = [&] {
        for (int i = 0; i < 10000; i++) {
            qMutexGuard hold(mutex);
            counter++;
        }
    };
    std::thread a(add), b(add);
    a.join();
    b.join();
    EXPECT_EQ(counter, 20000);
    qMutex_Destroy(&mutex);
}

TEST(CondTest, WaitEndsAtTheDeadlineOrWhenWoken) {
    qMutex* mutex = qMutex_Create("c");
    qCond* cond = qCond_Create();
    ASSERT_NE(cond, nullptr);
    {
        qMutexGuard hold(mutex);
        auto start = Clock::now();
        EXPECT_EQ(qCond_WaitUntil(cond, mutex, qTime_GetMonotonicMS() + 80), qErrTimeout);
        EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(80));
    }
    bool ready = false;
    std::thread waker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        qMutexGuard hold(mutex);
        ready = true;
        qCond_Broadcast(cond);
    });
    {
        qMutexGuard hold(mutex);
        uint64_t deadline = qTime_GetMonotonicMS() + 5000;
        while (!ready && qCond_WaitUntil(cond, mutex, deadline) == qErrNone) {
        }
        EXPECT_TRUE(ready);
    }
    waker.join();
    EXPECT_EQ(qCond_WaitUntil(cond, nullptr, 0), qErrParam);
    EXPECT_EQ(qCond_Destroy(&cond), qErrNone);
    EXPECT_EQ(cond, nullptr);
    qMutex_Destroy(&mutex);
}

void sSetFlag(void* argument) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    static_cast<std::atomic<int>*>(argument)->store(7);
}

TEST(ThreadTest, DestroyWaitsForTheThread) {
    std::atomic<int> flag{0};
    qThread* thread = qThread_Create(sSetFlag, &flag);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(qThread_Destroy(&thread), qErrNone);
    EXPECT_EQ(flag.load(), 7);
    EXPECT_EQ(thread, nullptr);
    EXPECT_EQ(qThread_Destroy(&thread), qErrParam);
    EXPECT_EQ(qThread_Create(nullptr, nullptr), nullptr);
}

TEST(TimeTest, ClocksAndSleeps) {
    auto start = Clock::now();
    qTime_MSSleep(0);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(50));
    uint64_t before = qTime_GetMonotonicMS();
    qTime_MSSleep(30);
    EXPECT_GE(qTime_GetMonotonicMS() - before, 30u);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(30));
    uint64_t wall = qTime_GetMSTicks();
    uint64_t seconds = static_cast<uint64_t>(time(nullptr));
    EXPECT_LE(wall / 1000 - seconds + 1, 2u) << "wall clock in ms since 1970";
}

}  // namespace
