// KSB::CAutoMutex and KSB::CAutoMutexControl.
#include "platform/AutoMutex.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <vector>

namespace {

TEST(AutoMutex, KeepsThreadsOutOfEachOthersWay) {
    KSB::CAutoMutex mutex;
    long counter = 0;  // deliberately not atomic
    constexpr int kThreads = 8;
    constexpr int kRounds = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                KSB::CAutoMutexControl lock(&mutex);
                counter = counter + 1;
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(counter, static_cast<long>(kThreads) * kRounds);
}

// Like the Windows mutex: the holder may take it again and gives it back as
// often; only the holder can give it back.
TEST(AutoMutex, TheHolderMayTakeItAgainAndOnlyTheHolderGivesItBack) {
    KSB::CAutoMutex mutex;
    EXPECT_EQ(mutex.Lock(), KSB::CAutoMutex::kWaitObject0);
    EXPECT_EQ(mutex.Lock(), KSB::CAutoMutex::kWaitObject0);
    EXPECT_NE(mutex.Unlock(), 0);

    std::thread([&] { EXPECT_EQ(mutex.Unlock(), 0); }).join();

    EXPECT_NE(mutex.Unlock(), 0);  // the other thread's attempt took nothing away
    EXPECT_EQ(mutex.Unlock(), 0);  // no longer held

    // Free again for another thread.
    std::thread([&] {
        EXPECT_EQ(mutex.Lock(), KSB::CAutoMutex::kWaitObject0);
        EXPECT_NE(mutex.Unlock(), 0);
    }).join();
}

// Each object is a lock of its own.
TEST(AutoMutex, TwoObjectsAreTwoLocks) {
    KSB::CAutoMutex first, second;
    std::promise<void> holding, release;
    std::thread holder([&] {
        KSB::CAutoMutexControl lock(&first);
        holding.set_value();
        release.get_future().wait();
    });
    holding.get_future().wait();
    {
        KSB::CAutoMutexControl lock(&second);  // does not wait for `first`
    }
    release.set_value();
    holder.join();

    KSB::CAutoMutexControl nothing(nullptr);  // a control without a lock does nothing
}

}  // namespace
