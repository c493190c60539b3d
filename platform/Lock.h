#pragma once
#include <atomic>
#include <cstdint>
#include <thread>

#if defined(_WIN32)
#include "platform/win32/LockImpl.h"
#else
#include "platform/posix/LockImpl.h"
#endif

// The instance lock: one thread may take it again while it holds it.
class RecursiveLock {
public:
  RecursiveLock() = default;
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;
  void Enter() {
    impl_.Enter();
    Entered();
  }
  void Leave() {
    // The owner is cleared before the lock is free, so no other thread can
    // take it and then find the old owner's id.
    if (--depth_ == 0) owner_.store(std::thread::id(), std::memory_order_relaxed);
    impl_.Leave();
  }
  bool TryEnter() {
    if (!impl_.TryEnter()) return false;
    Entered();
    return true;
  }

  // True when the calling thread holds the lock. Only the owner itself can
  // find its own id here, so a relaxed read is enough.
  bool HeldByCaller() const { return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id(); }
  // Gives the lock up completely so that other threads can take it while
  // the caller waits for something slow (a user in a modal conversation).
  // Returns the depth given up: 0 when the caller did not hold it.
  int32_t ReleaseAll() {
    if (!HeldByCaller()) return 0;
    const int32_t depth = depth_;
    for (int32_t i = 0; i < depth; ++i) Leave();
    return depth;
  }
  // Takes the lock again to the depth ReleaseAll returned.
  void Reacquire(int32_t depth) {
    for (int32_t i = 0; i < depth; ++i) Enter();
  }

private:
  void Entered() {
    if (depth_++ == 0) owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  }

  platform::RecursiveLockImpl impl_;
  std::atomic<std::thread::id> owner_{};
  int32_t depth_ = 0;  // changed only by the owner
};

// A plain lock for process-wide tables and caches.
class PlainLock {
public:
  PlainLock() = default;
  PlainLock(const PlainLock&) = delete;
  PlainLock& operator=(const PlainLock&) = delete;
  void Enter() { impl_.Enter(); }
  void Leave() { impl_.Leave(); }

private:
  platform::PlainLockImpl impl_;
};

template <class L>
class LockHold {
public:
  explicit LockHold(L& lock) : lock_(lock) { lock_.Enter(); }
  ~LockHold() { lock_.Leave(); }
  LockHold(const LockHold&) = delete;
  LockHold& operator=(const LockHold&) = delete;

private:
  L& lock_;
};

// The opposite of LockHold: a recursive lock the caller holds is given up
// for the scope and taken again, to the same depth, at its end. A null lock
// or one the caller does not hold is left alone.
class LockReleased {
public:
  explicit LockReleased(RecursiveLock* lock) : lock_(lock), depth_(lock ? lock->ReleaseAll() : 0) {}
  ~LockReleased() {
    if (lock_) lock_->Reacquire(depth_);
  }
  LockReleased(const LockReleased&) = delete;
  LockReleased& operator=(const LockReleased&) = delete;

private:
  RecursiveLock* lock_;
  int32_t depth_;
};
