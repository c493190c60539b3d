#pragma once
// Critical sections, kept opaque so that <windows.h> and its macros stay out
// of every file that takes a lock.
#include <cstdint>

namespace platform {

class CriticalSection {
public:
  CriticalSection();
  ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  void Enter();
  void Leave();
  bool TryEnter();

  // The size and alignment of CRITICAL_SECTION on 64-bit Windows; Lock.cpp
  // checks them against the system header.
  static constexpr int kStorageSize = 40;

private:
  alignas(8) unsigned char storage_[kStorageSize];
};

// A critical section may be entered again by its owner, which both kinds of
// lock tolerate.
class RecursiveLockImpl : public CriticalSection {};
class PlainLockImpl : public CriticalSection {};

}  // namespace platform
