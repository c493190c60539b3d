// MIDI messages on the way to a plug-in: timed in seconds as the user gives
// them, scheduled on sample frames, and packed block by block into the
// event lists the dispatcher takes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "vst2/VstAbi.h"

namespace thudra::host {

using MidiBytes = std::array<uint8_t, 3>;

struct TimedMidiMessage {
  double seconds;
  MidiBytes bytes;
};

struct ScheduledMidiMessage {
  int64_t frame;
  MidiBytes bytes;
};

// Parses "TIME,NOTE,VELOCITY[,DURATION]" (seconds, 0..127, 0..127, seconds).
// Gives a note-on, and a note-off when a duration is given.
std::optional<std::vector<TimedMidiMessage>> parseNoteSpec(const std::string& text, std::string& error);

// Frame of each message at the sample rate (rounded to the nearest frame),
// ordered by frame; messages on the same frame keep their given order.
std::vector<ScheduledMidiMessage> scheduleMessages(std::span<const TimedMidiMessage> messages, double sampleRate);

// Owns the event records and the list handed to effProcessEvents for one
// block; they stay valid until the next fill, so a plug-in may keep pointers
// to them while it renders the block.
class BlockEventList {
public:
  // Packs the messages (all within the block) with deltaFrames relative to
  // blockStart. Returns null when there is nothing to send.
  vst2::VstEvents* fill(std::span<const ScheduledMidiMessage> messages, int64_t blockStart);

private:
  std::vector<vst2::VstMidiEvent> events_;
  std::vector<vst2::VstEvents> listStorage_;
};

// Parses a decimal number in the C locale, whole text, finite only.
std::optional<double> parseNumber(std::string_view text);
std::optional<long long> parseInteger(std::string_view text);

}  // namespace thudra::host
