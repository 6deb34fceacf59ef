#include "common/locks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace {

// Counts lock and unlock calls, to check what the guard does with its target.
class CountingLock : public LockableObject {
  public:
    int lock() override { return ++locks; }
    int unlock() override { return ++unlocks; }
    int locks = 0;
    int unlocks = 0;
};

TEST(LockableObject, NameIsRandomDigitIdentifier) {
    LightweightLock a;
    LightweightLock b;
    for (const char* n : {a.name(), b.name()}) {
        ASSERT_EQ(std::strlen(n), 35u);
        for (int i = 0; i < 35; ++i) {
            if (i == 8 || i == 13 || i == 18)
                EXPECT_EQ(n[i], '-') << n;
            else
                EXPECT_TRUE(n[i] >= '0' && n[i] <= '9') << n;
        }
        for (int start : {0, 9, 14, 19}) EXPECT_NE(n[start], '0') << n;
    }
    EXPECT_STRNE(a.name(), b.name());
}

TEST(AutoLock, LocksOnEntryAndUnlocksOnExitNested) {
    CountingLock c;
    {
        AutoLock outer(&c);
        EXPECT_EQ(c.locks, 1);
        {
            AutoLock inner(&c);
            EXPECT_EQ(c.locks, 2);
        }
        EXPECT_EQ(c.unlocks, 1);
    }
    EXPECT_EQ(c.unlocks, 2);
}

TEST(LightweightLock, RecursiveLockThenFreeForAnotherThread) {
    LightweightLock l;
    ASSERT_EQ(l.lock(), 0);
    ASSERT_EQ(l.lock(), 0);
    {
        AutoLock nested(&l);  // a third level in the same thread must not block
    }
    ASSERT_EQ(l.unlock(), 0);
    // Still held once: another thread cannot take it yet.
    std::atomic<bool> acquired{false};
    std::thread t([&] {
        AutoLock g(&l);
        acquired = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(acquired.load());
    ASSERT_EQ(l.unlock(), 0);
    t.join();
    EXPECT_TRUE(acquired.load());
}

TEST(LightweightLock, ContendedFromSeveralThreads) {
    LightweightLock l;
    long counter = 0;  // guarded by l only
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                AutoLock g(&l);
                AutoLock again(&l);
                long v = counter;
                counter = v + 1;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 6 * 20000);
}

// Whether a thread other than the caller can take the mutex at once (and then lets it go again).
bool free_for_another_thread(pthread_mutex_t* m) {
    bool taken = false;
    std::thread t([&] {
        taken = pthread_mutex_trylock(m) == 0;
        if (taken) pthread_mutex_unlock(m);
    });
    t.join();
    return taken;
}

TEST(ThreadLock, MutexIsRecursive) {
    thread_lock tl;
    ASSERT_EQ(pthread_mutex_lock(&tl.mutex), 0);
    ASSERT_EQ(pthread_mutex_trylock(&tl.mutex), 0);
    EXPECT_EQ(pthread_mutex_unlock(&tl.mutex), 0);
    // Still held once by this thread.
    EXPECT_FALSE(free_for_another_thread(&tl.mutex));
    EXPECT_EQ(pthread_mutex_unlock(&tl.mutex), 0);
    // Unlocked as often as it was locked: free again. (An unlock more would be the caller's error, and one
    // that a race detector reports, so it is not tried.)
    EXPECT_TRUE(free_for_another_thread(&tl.mutex));
}

}  // namespace
