#pragma once

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
  void Enter() { impl_.Enter(); }
  void Leave() { impl_.Leave(); }
  bool TryEnter() { return impl_.TryEnter(); }

private:
  platform::RecursiveLockImpl impl_;
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
