#pragma once
#include <atomic>
#include <cstdint>

#include "instrument/ThudrixParams.h"

// Which MIDI controller drives which parameter, shared by every instance in
// the process and kept until the module unloads. Instances on different
// threads touch it from their audio paths, so entries are atomics, not a lock.
class MidiLearnTable {
public:
  static constexpr int32_t kEntries = kThudrixParamCount;

  static MidiLearnTable& Shared();

  MidiLearnTable();
  int32_t Get(int32_t index) const;
  void Set(int32_t index, int32_t controller);
  // Unbinds the controller everywhere, then binds it to target (if valid).
  void Learn(int32_t controller, int32_t target);
  // The highest parameter that may follow a controller and is bound to
  // controller, or -1.
  int32_t ParamFor(int32_t controller) const;
  void Reset();

private:
  std::atomic<int32_t> entries_[kEntries];
};
