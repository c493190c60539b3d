#include "tools/host/MidiFile.h"

#include <algorithm>
#include <fstream>
#include <optional>

namespace thudra::host {

namespace {

constexpr uint32_t kDefaultMicrosPerQuarter = 500000;

// Reads big-endian values from a span; every read is bounds-checked and a
// failed read leaves `failed` set instead of reading past the end.
class ByteReader {
public:
  explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}

  size_t remaining() const { return data_.size() - pos_; }
  bool atEnd() const { return pos_ >= data_.size(); }

  std::optional<uint32_t> readBigEndian(int bytes) {
    if (remaining() < static_cast<size_t>(bytes)) return std::nullopt;
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | data_[pos_++];
    return value;
  }

  std::optional<uint8_t> peek() const { return atEnd() ? std::nullopt : std::optional<uint8_t>(data_[pos_]); }

  std::optional<uint8_t> readByte() { return atEnd() ? std::nullopt : std::optional<uint8_t>(data_[pos_++]); }

  // Variable-length quantity: at most four bytes, seven bits each.
  std::optional<uint32_t> readVariableLength() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      auto byte = readByte();
      if (!byte) return std::nullopt;
      value = (value << 7) | (*byte & 0x7f);
      if (!(*byte & 0x80)) return value;
    }
    return std::nullopt;
  }

  std::optional<std::span<const uint8_t>> readBlock(size_t length) {
    if (remaining() < length) return std::nullopt;
    auto block = data_.subspan(pos_, length);
    pos_ += length;
    return block;
  }

private:
  std::span<const uint8_t> data_;
  size_t pos_ = 0;
};

struct TickMessage {
  uint64_t tick;
  MidiBytes bytes;
};

struct TempoChange {
  uint64_t tick;
  uint32_t microsPerQuarter;
};

struct TrackContents {
  std::vector<TickMessage> messages;
  std::vector<TempoChange> tempos;
};

int channelMessageDataBytes(uint8_t status) {
  const uint8_t kind = status & 0xf0;
  return (kind == 0xc0 || kind == 0xd0) ? 1 : 2;
}

// Parses one MTrk body into `out`; returns an error text or empty.
std::string parseTrack(std::span<const uint8_t> body, size_t& eventBudget, TrackContents& out) {
  ByteReader reader(body);
  uint64_t tick = 0;
  uint8_t runningStatus = 0;
  while (!reader.atEnd()) {
    const auto delta = reader.readVariableLength();
    if (!delta) return "malformed or truncated delta time";
    tick += *delta;
    const auto first = reader.peek();
    if (!first) return "track ends inside an event";

    uint8_t status = runningStatus;
    if (*first & 0x80) {
      status = *first;
      reader.readByte();
    } else if (runningStatus == 0) {
      return "data byte without a status byte";
    }

    // Meta and system exclusive events leave running status alone: some
    // writers rely on it surviving them, and nothing is lost by allowing it.
    if (status == 0xff) {
      const auto type = reader.readByte();
      const auto length = type ? reader.readVariableLength() : std::nullopt;
      const auto payload = length ? reader.readBlock(*length) : std::nullopt;
      if (!payload) return "truncated meta event";
      if (*type == 0x2f) return {};
      if (*type == 0x51 && payload->size() >= 3) {
        const uint32_t micros = ((*payload)[0] << 16) | ((*payload)[1] << 8) | (*payload)[2];
        if (micros > 0)  // a zero tempo would collapse all later time
          out.tempos.push_back({tick, micros});
      }
      continue;
    }
    if (status == 0xf0 || status == 0xf7) {
      const auto length = reader.readVariableLength();
      if (!length || !reader.readBlock(*length)) return "truncated system exclusive event";
      continue;
    }
    if (status >= 0xf0) return "unexpected status byte " + std::to_string(status);

    runningStatus = status;
    MidiBytes bytes{status, 0, 0};
    for (int i = 0; i < channelMessageDataBytes(status); ++i) {
      const auto data = reader.readByte();
      if (!data) return "track ends inside a channel message";
      if (*data & 0x80) return "status byte where a data byte belongs";
      bytes[1 + i] = *data;
    }
    if (eventBudget == 0) return "more than " + std::to_string(kMaxMidiFileEvents) + " events";
    --eventBudget;
    out.messages.push_back({tick, bytes});
  }
  return {};
}

// Converts ticks to seconds along the tempo map.
std::vector<TimedMidiMessage> toSeconds(std::vector<TickMessage> messages, std::vector<TempoChange> tempos,
                                        uint32_t ticksPerQuarter) {
  std::stable_sort(messages.begin(), messages.end(), [](const auto& a, const auto& b) { return a.tick < b.tick; });
  std::stable_sort(tempos.begin(), tempos.end(), [](const auto& a, const auto& b) { return a.tick < b.tick; });

  std::vector<TimedMidiMessage> timed;
  timed.reserve(messages.size());
  size_t nextTempo = 0;
  uint64_t segmentTick = 0;
  double segmentSeconds = 0.0;
  double secondsPerTick = kDefaultMicrosPerQuarter / 1e6 / ticksPerQuarter;
  for (const auto& message : messages) {
    // A tempo change on the same tick as a message applies to it.
    while (nextTempo < tempos.size() && tempos[nextTempo].tick <= message.tick) {
      segmentSeconds += static_cast<double>(tempos[nextTempo].tick - segmentTick) * secondsPerTick;
      segmentTick = tempos[nextTempo].tick;
      secondsPerTick = tempos[nextTempo].microsPerQuarter / 1e6 / ticksPerQuarter;
      ++nextTempo;
    }
    const double seconds = segmentSeconds + static_cast<double>(message.tick - segmentTick) * secondsPerTick;
    timed.push_back({seconds, message.bytes});
  }
  return timed;
}

}  // namespace

MidiFileResult parseMidiFile(std::span<const uint8_t> data) {
  MidiFileResult result;
  auto fail = [&result](std::string text) {
    result.messages.clear();
    result.error = std::move(text);
    return result;
  };

  ByteReader reader(data);
  const auto id = reader.readBigEndian(4);
  if (!id || *id != 0x4d546864)  // "MThd"
    return fail("not a standard MIDI file (no MThd header)");
  const auto headerLength = reader.readBigEndian(4);
  const auto format = reader.readBigEndian(2);
  const auto trackCount = reader.readBigEndian(2);
  const auto division = reader.readBigEndian(2);
  if (!headerLength || !format || !trackCount || !division || *headerLength < 6)
    return fail("truncated MIDI file header");
  if (!reader.readBlock(*headerLength - 6)) return fail("truncated MIDI file header");
  if (*format == 2) return fail("MIDI file format 2 (independent sequences) is not supported");
  if (*format > 2) return fail("unknown MIDI file format " + std::to_string(*format));
  if (*division & 0x8000) return fail("SMPTE time division is not supported; use ticks per quarter note");
  if (*division == 0) return fail("MIDI file has a time division of 0 ticks per quarter note");

  TrackContents contents;
  size_t eventBudget = kMaxMidiFileEvents;
  uint32_t tracksRead = 0;
  while (tracksRead < *trackCount) {
    const auto chunkId = reader.readBigEndian(4);
    const auto chunkLength = reader.readBigEndian(4);
    if (!chunkId || !chunkLength)
      return fail("MIDI file ends after " + std::to_string(tracksRead) + " of " + std::to_string(*trackCount) +
                  " tracks");
    const auto body = reader.readBlock(*chunkLength);
    if (!body)
      return fail("truncated chunk: it claims " + std::to_string(*chunkLength) + " bytes but the file has " +
                  std::to_string(reader.remaining()));
    if (*chunkId != 0x4d54726b)  // not "MTrk": unknown chunks are skipped
      continue;
    if (std::string problem = parseTrack(*body, eventBudget, contents); !problem.empty())
      return fail("track " + std::to_string(tracksRead + 1) + ": " + problem);
    ++tracksRead;
  }
  result.messages = toSeconds(std::move(contents.messages), std::move(contents.tempos), *division);
  return result;
}

MidiFileResult readMidiFile(const std::string& path) {
  MidiFileResult result;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    result.error = "cannot read MIDI file '" + path + "'";
    return result;
  }
  std::vector<uint8_t> data;
  char buffer[65536];
  while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
    data.insert(data.end(), buffer, buffer + file.gcount());
    if (data.size() > kMaxMidiFileBytes) {
      result.error = "MIDI file '" + path + "' is larger than " + std::to_string(kMaxMidiFileBytes) + " bytes";
      return result;
    }
  }
  if (file.bad()) {
    result.error = "cannot read MIDI file '" + path + "'";
    return result;
  }
  result = parseMidiFile(data);
  if (!result.ok()) result.error = "MIDI file '" + path + "': " + result.error;
  return result;
}

}  // namespace thudra::host
