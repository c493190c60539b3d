#pragma once
#include <cstdint>

struct MidiMsg {
  int32_t offset = 0;  // frame within the current block
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;

  int StatusKind() const { return status >> 4; }
};

struct SysExMsg {
  int32_t offset = 0;
  int32_t size = 0;
  const uint8_t* data = nullptr;  // borrowed from the host for the call
};

// Queue of messages waiting for the renderer, put in time order by Sort()
// (once per block, stable, so messages for the same frame keep their order).
// Messages are added and consumed under the instance lock, so it needs none
// of its own. In steady state it never allocates: consumed entries are
// reclaimed first. Messages further ahead than kHorizonFrames are dropped,
// and it never holds more than kMaxEntries.
class MidiQueue {
public:
  static constexpr int32_t kHorizonFrames = 1 << 20;  // about 22 s at 48 kHz
  static constexpr int32_t kMaxEntries = 1 << 18;

  explicit MidiQueue(int32_t reserve = 1024, int32_t growthStep = 1024);
  ~MidiQueue();
  MidiQueue(const MidiQueue&) = delete;
  MidiQueue& operator=(const MidiQueue&) = delete;

  // False when the message had to be dropped.
  bool Add(const MidiMsg& msg);
  // Puts the unread messages in time order; cheap when they already are.
  void Sort();
  bool Empty() const { return readPos_ == count_; }
  const MidiMsg& Peek() const { return storage_[readPos_]; }
  void Remove() {
    if (readPos_ < count_) ++readPos_;
  }
  void Flush(int32_t frames);
  int32_t ResizeForBlock(int32_t blockSize);

  int32_t Capacity() const { return capacity_; }
  int32_t GrowthStep() const { return growthStep_; }
  int32_t ReadPosition() const { return readPos_; }
  int32_t Count() const { return count_; }
  int32_t Unread() const { return count_ - readPos_; }
  const MidiMsg& At(int32_t i) const { return storage_[i]; }

private:
  void DropConsumed();
  bool Reallocate(int32_t capacity);

  MidiMsg* storage_ = nullptr;
  MidiMsg* scratch_ = nullptr;  // as large as storage_, for merging
  bool sorted_ = true;
  int32_t capacity_ = 0;
  int32_t growthStep_ = 0;
  int32_t readPos_ = 0;
  int32_t count_ = 0;
};
