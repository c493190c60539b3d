#pragma once
#if defined(__SSE__) || defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#define THUDRA_HAS_MXCSR 1
#endif

// Flushes subnormal numbers to zero for the duration of an audio callback
// and restores the caller's mode afterwards: decaying tails would otherwise
// crawl through the slow subnormal range for minutes.
class DenormalGuard {
public:
  DenormalGuard() {
#ifdef THUDRA_HAS_MXCSR
    saved_ = _mm_getcsr();
    _mm_setcsr(saved_ | kFlushToZero | kDenormalsAreZero);
#endif
  }
  ~DenormalGuard() {
#ifdef THUDRA_HAS_MXCSR
    _mm_setcsr(saved_);
#endif
  }
  DenormalGuard(const DenormalGuard&) = delete;
  DenormalGuard& operator=(const DenormalGuard&) = delete;

private:
#ifdef THUDRA_HAS_MXCSR
  static constexpr unsigned kFlushToZero = 0x8000;
  static constexpr unsigned kDenormalsAreZero = 0x0040;
  unsigned saved_ = 0;
#endif
};
