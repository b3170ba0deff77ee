#include "foundation/m_sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

TEST(UCriticalSectionTest, RecursiveAndReleasedForOthers)
{
    UCriticalSection cs;
    cs.lock();
    cs.lock();
    EXPECT_TRUE(cs.tryLock());
    cs.unlock();
    bool otherGot = true;
    std::thread([&] { otherGot = cs.tryLock(); }).join();
    EXPECT_FALSE(otherGot);
    cs.unlock();
    cs.unlock();
    std::thread([&] {
        otherGot = cs.tryLock();
        if (otherGot)
            cs.unlock();
    }).join();
    EXPECT_TRUE(otherGot);
}

TEST(UCriticalSectionTest, HolderSerialisesThreads)
{
    UCriticalSection cs;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                ULockHolder hold(cs);
                ++counter;
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(counter, 40000);
}

TEST(UMutexTest, TimeoutAcrossThreads)
{
    UMutex m(true);
    int zero = -2;
    int shortWait = -2;
    std::thread([&] {
        zero = m.lock(0);
        shortWait = m.lock(30);
    }).join();
    EXPECT_EQ(zero, UWAIT_TIMEOUT);
    EXPECT_EQ(shortWait, UWAIT_TIMEOUT);
    EXPECT_EQ(m.lock(0), 0); // recursive for the owner
    EXPECT_EQ(m.release(), 1);
    EXPECT_EQ(m.release(), 1);
    int got = -2;
    std::thread([&] {
        got = m.lock(UINFINITE);
        m.release();
    }).join();
    EXPECT_EQ(got, 0);
}

TEST(UMutexTest, HolderReleasesMutex)
{
    UMutex m;
    {
        ULockHolder hold(&m);
        int other = -2;
        std::thread([&] { other = m.lock(0); }).join();
        EXPECT_EQ(other, UWAIT_TIMEOUT);
    }
    int other = -2;
    std::thread([&] {
        other = m.lock(0);
        m.release();
    }).join();
    EXPECT_EQ(other, 0);
}

TEST(USemaphoreTest, CountsAndMaximum)
{
    USemaphore s(2, 2);
    EXPECT_EQ(s.wait(0), 0);
    EXPECT_EQ(s.wait(0), 0);
    EXPECT_EQ(s.wait(0), UWAIT_TIMEOUT);
    EXPECT_EQ(s.release(), 1);
    EXPECT_EQ(s.release(), 1);
    EXPECT_EQ(s.release(), 1); // at the maximum: stays 2
    EXPECT_EQ(s.wait(0), 0);
    EXPECT_EQ(s.wait(0), 0);
    EXPECT_EQ(s.wait(10), UWAIT_TIMEOUT);
}

TEST(USemaphoreTest, WaiterWokenByRelease)
{
    USemaphore s(0, 5);
    std::atomic<int> result{-2};
    std::thread waiter([&] { result = s.wait(10000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    s.release();
    waiter.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(s.wait(0), UWAIT_TIMEOUT);
}

TEST(UEventTest, AutoResetLetsOneWaiterThrough)
{
    UEvent e(false, false);
    EXPECT_EQ(e.wait(0), UWAIT_TIMEOUT);
    e.set();
    EXPECT_EQ(e.wait(0), 0);
    EXPECT_EQ(e.wait(0), UWAIT_TIMEOUT);
    e.set();
    EXPECT_EQ(e.wait(50), 0);
    EXPECT_EQ(e.wait(10), UWAIT_TIMEOUT);

    UEvent initially(false, true);
    EXPECT_EQ(initially.wait(UINFINITE), 0);
    EXPECT_EQ(initially.wait(0), UWAIT_TIMEOUT);
}

TEST(UEventTest, AutoResetWakesOneOfTwoWaiters)
{
    UEvent e(false, false);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i)
        waiters.emplace_back([&] {
            if (e.wait(300) == 0)
                ++woken;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    e.set();
    for (auto& th : waiters)
        th.join();
    EXPECT_EQ(woken.load(), 1);
}

TEST(UEventTest, ManualResetReleasesAllAndStays)
{
    UEvent e(true, false);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (e.wait(10000) == 0)
                ++woken;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    e.set();
    for (auto& th : waiters)
        th.join();
    EXPECT_EQ(woken.load(), 3);
    EXPECT_EQ(e.wait(0), 0);
    EXPECT_EQ(e.wait(0), 0);
    e.reset();
    EXPECT_EQ(e.wait(0), UWAIT_TIMEOUT);
}
