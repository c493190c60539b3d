#pragma once
#include <mutex>

namespace platform {

class RecursiveLockImpl {
public:
  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }
  bool TryEnter() { return mutex_.try_lock(); }

private:
  std::recursive_mutex mutex_;
};

class PlainLockImpl {
public:
  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }

private:
  std::mutex mutex_;
};

}  // namespace platform
