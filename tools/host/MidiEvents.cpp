#include "tools/host/MidiEvents.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace thudra::host {

using namespace vst2;

namespace {

constexpr uint8_t kNoteOn = 0x90;
constexpr uint8_t kNoteOff = 0x80;

std::vector<std::string_view> splitFields(std::string_view text, char separator) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  while (true) {
    size_t end = text.find(separator, start);
    fields.push_back(text.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos) return fields;
    start = end + 1;
  }
}

std::optional<uint8_t> parseDataByte(std::string_view text) {
  auto value = parseInteger(text);
  if (!value || *value < 0 || *value > 127) return std::nullopt;
  return static_cast<uint8_t>(*value);
}

// from_chars refuses a leading '+', which people do write; strip exactly one.
std::string_view withoutPlus(std::string_view text) {
  if (text.size() > 1 && text.front() == '+' && text[1] != '-' && text[1] != '+') text.remove_prefix(1);
  return text;
}

}  // namespace

std::optional<double> parseNumber(std::string_view text) {
  double value = 0.0;
  text = withoutPlus(text);
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

std::optional<long long> parseInteger(std::string_view text) {
  long long value = 0;
  text = withoutPlus(text);
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::vector<TimedMidiMessage>> parseNoteSpec(const std::string& text, std::string& error) {
  const auto fields = splitFields(text, ',');
  error = "bad note '" + text + "': ";
  if (fields.size() != 3 && fields.size() != 4) {
    error += "expected TIME,NOTE,VELOCITY[,DURATION]";
    return std::nullopt;
  }
  const auto time = parseNumber(fields[0]);
  if (!time || *time < 0.0) {
    error += "time must be a number of seconds, 0 or more";
    return std::nullopt;
  }
  const auto note = parseDataByte(fields[1]);
  if (!note) {
    error += "note must be 0..127";
    return std::nullopt;
  }
  const auto velocity = parseDataByte(fields[2]);
  if (!velocity) {
    error += "velocity must be 0..127";
    return std::nullopt;
  }
  std::vector<TimedMidiMessage> messages{{*time, {kNoteOn, *note, *velocity}}};
  if (fields.size() == 4) {
    const auto duration = parseNumber(fields[3]);
    if (!duration || *duration < 0.0) {
      error += "duration must be a number of seconds, 0 or more";
      return std::nullopt;
    }
    messages.push_back({*time + *duration, {kNoteOff, *note, 0}});
  }
  error.clear();
  return messages;
}

std::vector<ScheduledMidiMessage> scheduleMessages(std::span<const TimedMidiMessage> messages, double sampleRate) {
  std::vector<ScheduledMidiMessage> scheduled;
  scheduled.reserve(messages.size());
  // Times far beyond any render are held where llround stays defined.
  constexpr double kLatestFrame = 0x1p62;
  for (const auto& message : messages) {
    const double frame = std::clamp(message.seconds * sampleRate, 0.0, kLatestFrame);
    scheduled.push_back({std::llround(frame), message.bytes});
  }
  std::stable_sort(scheduled.begin(), scheduled.end(), [](const auto& a, const auto& b) { return a.frame < b.frame; });
  return scheduled;
}

VstEvents* BlockEventList::fill(std::span<const ScheduledMidiMessage> messages, int64_t blockStart) {
  if (messages.empty()) return nullptr;

  events_.assign(messages.size(), VstMidiEvent{});
  for (size_t i = 0; i < messages.size(); ++i) {
    VstMidiEvent& event = events_[i];
    event.type = kVstMidiType;
    event.byteSize = sizeof(VstMidiEvent);
    event.deltaFrames = static_cast<int32_t>(messages[i].frame - blockStart);
    for (size_t b = 0; b < messages[i].bytes.size(); ++b) event.midiData[b] = static_cast<char>(messages[i].bytes[b]);
  }

  // The list is a header followed by as many pointers as there are events;
  // whole VstEvents records are used as storage so the header is aligned.
  const size_t bytesNeeded = offsetof(VstEvents, events) + std::max<size_t>(messages.size(), 2) * sizeof(VstEvent*);
  listStorage_.assign((bytesNeeded + sizeof(VstEvents) - 1) / sizeof(VstEvents), VstEvents{});
  VstEvents* list = listStorage_.data();
  list->numEvents = static_cast<int32_t>(messages.size());
  auto* slots = reinterpret_cast<VstEvent**>(reinterpret_cast<char*>(list) + offsetof(VstEvents, events));
  for (size_t i = 0; i < events_.size(); ++i) slots[i] = reinterpret_cast<VstEvent*>(&events_[i]);
  return list;
}

}  // namespace thudra::host
