// Standard MIDI File reading (formats 0 and 1, metrical time division).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tools/host/MidiEvents.h"

namespace thudra::host {

// Files larger than this are refused instead of read into memory.
constexpr size_t kMaxMidiFileBytes = 64u * 1024 * 1024;
constexpr size_t kMaxMidiFileEvents = 4u * 1024 * 1024;

struct MidiFileResult {
  std::vector<TimedMidiMessage> messages;  // channel messages in time order
  std::string error;                       // one line; empty on success
  bool ok() const { return error.empty(); }
};

// Channel voice messages of all tracks merged in time order, times in
// seconds after applying the tempo changes (120 bpm until the first one).
MidiFileResult parseMidiFile(std::span<const uint8_t> data);
MidiFileResult readMidiFile(const std::string& path);

}  // namespace thudra::host
