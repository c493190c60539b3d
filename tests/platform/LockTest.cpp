// The instance lock given up for a modal wait and taken back afterwards.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Lock.h"

namespace {

using namespace std::chrono_literals;

// True when another thread can take the lock (it gives it back at once).
bool FreeForOtherThreads(RecursiveLock& lock) {
  bool taken = false;
  std::thread other([&] {
    taken = lock.TryEnter();
    if (taken) lock.Leave();
  });
  other.join();
  return taken;
}

TEST(RecursiveLockRelease, OwnershipFollowsEnterAndLeave) {
  RecursiveLock lock;
  EXPECT_FALSE(lock.HeldByCaller());
  lock.Enter();
  lock.Enter();
  EXPECT_TRUE(lock.HeldByCaller());
  lock.Leave();
  EXPECT_TRUE(lock.HeldByCaller());
  EXPECT_FALSE(FreeForOtherThreads(lock));
  lock.Leave();
  EXPECT_FALSE(lock.HeldByCaller());
  EXPECT_TRUE(FreeForOtherThreads(lock));
  ASSERT_TRUE(lock.TryEnter());
  EXPECT_TRUE(lock.HeldByCaller());
  lock.Leave();
  EXPECT_FALSE(lock.HeldByCaller());
}

TEST(RecursiveLockRelease, ReleaseAllFreesEveryLevelAndReacquireRestoresThem) {
  RecursiveLock lock;
  lock.Enter();
  lock.Enter();
  lock.Enter();
  const int32_t depth = lock.ReleaseAll();
  EXPECT_EQ(depth, 3);
  EXPECT_FALSE(lock.HeldByCaller());
  EXPECT_TRUE(FreeForOtherThreads(lock));

  lock.Reacquire(depth);
  EXPECT_TRUE(lock.HeldByCaller());
  EXPECT_FALSE(FreeForOtherThreads(lock));
  // Exactly three levels came back: two leaves keep it, the third frees it.
  lock.Leave();
  lock.Leave();
  EXPECT_TRUE(lock.HeldByCaller());
  EXPECT_FALSE(FreeForOtherThreads(lock));
  lock.Leave();
  EXPECT_FALSE(lock.HeldByCaller());
  EXPECT_TRUE(FreeForOtherThreads(lock));
}

TEST(RecursiveLockRelease, ReleaseAllByAThreadThatDoesNotOwnItDoesNothing) {
  RecursiveLock lock;
  EXPECT_EQ(lock.ReleaseAll(), 0);  // nobody holds it
  lock.Reacquire(0);
  EXPECT_FALSE(lock.HeldByCaller());
  EXPECT_TRUE(FreeForOtherThreads(lock));

  lock.Enter();
  lock.Enter();
  int32_t released = -1;
  bool otherOwned = true;
  std::thread other([&] {
    released = lock.ReleaseAll();
    otherOwned = lock.HeldByCaller();
  });
  other.join();
  EXPECT_EQ(released, 0);
  EXPECT_FALSE(otherOwned);
  EXPECT_TRUE(lock.HeldByCaller());
  EXPECT_FALSE(FreeForOtherThreads(lock));
  lock.Leave();
  lock.Leave();
  EXPECT_TRUE(FreeForOtherThreads(lock));
}

TEST(RecursiveLockRelease, AnotherThreadWorksUnderTheLockWhileItIsReleased) {
  RecursiveLock lock;
  std::atomic<bool> ready{false};
  std::atomic<int> done{0};
  lock.Enter();
  lock.Enter();
  std::thread worker([&] {
    ready = true;
    for (int i = 0; i < 100; ++i) {
      LockHold hold(lock);
      done.fetch_add(1);
    }
  });
  while (!ready.load()) std::this_thread::yield();
  {
    LockReleased released(&lock);
    EXPECT_FALSE(lock.HeldByCaller());
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (done.load() < 100 && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
  }
  worker.join();
  EXPECT_EQ(done.load(), 100);
  EXPECT_TRUE(lock.HeldByCaller());
  lock.Leave();
  EXPECT_TRUE(lock.HeldByCaller());
  lock.Leave();
  EXPECT_FALSE(lock.HeldByCaller());
}

TEST(RecursiveLockRelease, LockReleasedLeavesALockItDoesNotHoldAlone) {
  RecursiveLock lock;
  {
    LockReleased nothing(&lock);
    LockReleased none(nullptr);
    EXPECT_FALSE(lock.HeldByCaller());
  }
  EXPECT_FALSE(lock.HeldByCaller());
  EXPECT_TRUE(FreeForOtherThreads(lock));
}

}  // namespace
