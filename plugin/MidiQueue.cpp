#include "plugin/MidiQueue.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {
constexpr int32_t kEntriesPerPage = 512;  // 4096 bytes of 8-byte messages

int64_t RoundUpToPage(int64_t entries) { return (entries + kEntriesPerPage - 1) / kEntriesPerPage * kEntriesPerPage; }
}  // namespace

MidiQueue::MidiQueue(int32_t reserve, int32_t growthStep) : growthStep_(growthStep > 0 ? growthStep : 0) {
  if (reserve > 0) Reallocate(reserve);
}

MidiQueue::~MidiQueue() {
  std::free(storage_);
  std::free(scratch_);
}

bool MidiQueue::Reallocate(int32_t capacity) {
  if (capacity <= 0) return false;
  // The merge scratch always matches the storage, or neither changes.
  void* scratch = std::malloc(size_t(capacity) * sizeof(MidiMsg));
  if (!scratch) return false;
  void* moved = std::realloc(storage_, size_t(capacity) * sizeof(MidiMsg));
  if (!moved) {
    std::free(scratch);
    return false;
  }
  std::free(scratch_);
  scratch_ = static_cast<MidiMsg*>(scratch);
  storage_ = static_cast<MidiMsg*>(moved);
  capacity_ = capacity;
  return true;
}

void MidiQueue::DropConsumed() {
  if (readPos_ <= 0) return;
  count_ -= readPos_;
  if (count_ > 0) std::memmove(storage_, storage_ + readPos_, size_t(count_) * sizeof(MidiMsg));
  readPos_ = 0;
}

bool MidiQueue::Add(const MidiMsg& msg) {
  if (msg.offset > kHorizonFrames) return false;
  if (count_ >= capacity_) {
    if (readPos_ > 0) {
      DropConsumed();
    } else {
      if (growthStep_ == 0) return false;
      const int64_t grown = int64_t(growthStep_) * (capacity_ / growthStep_ + 1);
      if (grown > kMaxEntries) return false;
      if (!Reallocate(int32_t(grown))) return false;
    }
  }
  if (count_ > readPos_ && msg.offset < storage_[count_ - 1].offset) sorted_ = false;
  storage_[count_++] = msg;
  return true;
}

void MidiQueue::Sort() {
  if (sorted_) return;
  sorted_ = true;
  // Bottom-up merge sort: stable, n log n, and no allocation.
  const int32_t n = count_ - readPos_;
  MidiMsg* from = storage_ + readPos_;
  MidiMsg* to = scratch_;
  const auto earlier = [](const MidiMsg& a, const MidiMsg& b) { return a.offset < b.offset; };
  for (int32_t width = 1; width < n; width *= 2) {
    for (int32_t left = 0; left < n; left += 2 * width) {
      const int32_t middle = std::min(left + width, n);
      const int32_t right = std::min(left + 2 * width, n);
      std::merge(from + left, from + middle, from + middle, from + right, to + left, earlier);
    }
    std::swap(from, to);
  }
  if (from != storage_ + readPos_) std::memcpy(storage_ + readPos_, from, size_t(n) * sizeof(MidiMsg));
}

void MidiQueue::Flush(int32_t frames) {
  DropConsumed();
  for (int32_t i = 0; i < count_; ++i) {
    const int64_t moved = int64_t(storage_[i].offset) - frames;
    storage_[i].offset =
        moved < std::numeric_limits<int32_t>::min() ? std::numeric_limits<int32_t>::min() : int32_t(moved);
  }
}

int32_t MidiQueue::ResizeForBlock(int32_t blockSize) {
  DropConsumed();
  const int64_t step = RoundUpToPage(blockSize > 0 ? blockSize : 0);
  if (step <= 0 || step > std::numeric_limits<int32_t>::max() / int64_t(sizeof(MidiMsg))) return capacity_;
  growthStep_ = int32_t(step);
  int64_t target = step;
  if (count_ > target) target = RoundUpToPage(count_);
  if (target != capacity_) Reallocate(int32_t(target));
  return capacity_;
}
