#include <gtest/gtest.h>

#include "tests/host/HostTestSupport.h"
#include "tools/host/MidiFile.h"

using namespace thudra::host;

namespace {

using Bytes = std::vector<uint8_t>;

void appendBigEndian(Bytes& out, uint32_t value, int bytes) {
  for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

Bytes chunk(const char* id, const Bytes& body) {
  Bytes out(id, id + 4);
  appendBigEndian(out, static_cast<uint32_t>(body.size()), 4);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes smf(uint16_t format, uint16_t division, const std::vector<Bytes>& tracks) {
  Bytes header;
  appendBigEndian(header, format, 2);
  appendBigEndian(header, static_cast<uint32_t>(tracks.size()), 2);
  appendBigEndian(header, division, 2);
  Bytes file = chunk("MThd", header);
  for (const Bytes& track : tracks) {
    const Bytes body = chunk("MTrk", track);
    file.insert(file.end(), body.begin(), body.end());
  }
  return file;
}

const Bytes kEndOfTrack{0x00, 0xff, 0x2f, 0x00};

Bytes withEnd(Bytes events) {
  events.insert(events.end(), kEndOfTrack.begin(), kEndOfTrack.end());
  return events;
}

MidiFileResult parse(const Bytes& data) { return parseMidiFile(data); }

TEST(MidiFile, FormatZeroWithRunningStatusMetaAndSysex) {
  const Bytes track = withEnd({
      0x00, 0xff, 0x03, 0x04, 'D',  'r',  'u', 'm',  // track name
      0x00, 0x90, 36,   100,                         // note on
      0x60, 38,   90,                                // running status, 96 ticks later
      0x00, 0xf0, 0x03, 0x7e, 0x01, 0xf7,            // system exclusive, skipped
      0x60, 36,   0,                                 // running status survives both
      0x00, 0xb0, 7,    80,                          // controller
      0x00, 0xc0, 5,                                 // program change: one data byte
      0x81, 0x40, 0x80, 38,   64,                    // note off after 192 ticks
  });
  const MidiFileResult result = parse(smf(0, 96, {track}));
  ASSERT_TRUE(result.ok()) << result.error;
  ASSERT_EQ(result.messages.size(), 6u);
  const std::vector<double> seconds{0.0, 0.5, 1.0, 1.0, 1.0, 2.0};  // 96 ticks = 0.5 s
  const std::vector<MidiBytes> bytes{{0x90, 36, 100}, {0x90, 38, 90}, {0x90, 36, 0},
                                     {0xb0, 7, 80},   {0xc0, 5, 0},   {0x80, 38, 64}};
  for (size_t i = 0; i < seconds.size(); ++i) {
    EXPECT_DOUBLE_EQ(result.messages[i].seconds, seconds[i]) << i;
    EXPECT_EQ(result.messages[i].bytes, bytes[i]) << i;
  }
}

TEST(MidiFile, FormatOneMergesTracksAndFollowsTempoChanges) {
  // Conductor track: 240 bpm from tick 960 (two quarters at 120 bpm = 1 s).
  const Bytes conductor = withEnd({0x87, 0x40, 0xff, 0x51, 0x03, 0x03, 0xd0, 0x90});
  const Bytes notes = withEnd({
      0x83, 0x60, 0x99, 40, 100,  // tick 480: 0.5 s
      0x83, 0x60, 0x99, 41, 100,  // tick 960, same tick as the tempo change: 1.0 s
      0x83, 0x60, 0x99, 42, 100,  // tick 1440: 1.0 s + one quarter at 240 bpm
  });
  const Bytes early = withEnd({0x00, 0xb9, 1, 64});
  const MidiFileResult result = parse(smf(1, 480, {conductor, notes, early}));
  ASSERT_TRUE(result.ok()) << result.error;
  ASSERT_EQ(result.messages.size(), 4u);
  EXPECT_EQ(result.messages[0].bytes, (MidiBytes{0xb9, 1, 64}));
  EXPECT_DOUBLE_EQ(result.messages[1].seconds, 0.5);
  EXPECT_DOUBLE_EQ(result.messages[2].seconds, 1.0);
  EXPECT_DOUBLE_EQ(result.messages[3].seconds, 1.25);
  EXPECT_EQ(result.messages[3].bytes, (MidiBytes{0x99, 42, 100}));
}

TEST(MidiFile, UnknownChunksAreSkippedAndAZeroTempoIgnored) {
  Bytes file = smf(0, 96, {});
  file[11] = 1;  // one track, after an unknown chunk
  const Bytes vendor = chunk("XFIH", {1, 2, 3});
  file.insert(file.end(), vendor.begin(), vendor.end());
  const Bytes track = chunk("MTrk", withEnd({0x00, 0xff, 0x51, 0x03, 0, 0, 0, 0x60, 0x90, 1, 1}));
  file.insert(file.end(), track.begin(), track.end());
  const MidiFileResult result = parse(file);
  ASSERT_TRUE(result.ok()) << result.error;
  ASSERT_EQ(result.messages.size(), 1u);
  EXPECT_DOUBLE_EQ(result.messages[0].seconds, 0.5);
}

TEST(MidiFile, HostileAndUnsupportedFilesFailWithAReason) {
  const Bytes goodTrack = withEnd({0x00, 0x90, 60, 100});
  Bytes chunkTooLong = smf(0, 96, {goodTrack});
  chunkTooLong[21] = 0xff;  // the track claims 255 more bytes than it has
  Bytes missingTrack = smf(1, 96, {goodTrack});
  missingTrack[11] = 2;
  Bytes headerTooLong = smf(0, 96, {goodTrack});
  headerTooLong[7] = 0xf0;

  const std::vector<std::pair<Bytes, const char*>> cases{
      {{}, "no MThd header"},
      {{'R', 'I', 'F', 'F', 0, 0, 0, 4, 'W', 'A', 'V', 'E'}, "no MThd header"},
      {{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0}, "truncated MIDI file header"},
      {headerTooLong, "truncated MIDI file header"},
      {smf(2, 96, {goodTrack}), "format 2"},
      {smf(7, 96, {goodTrack}), "unknown MIDI file format"},
      {smf(0, 0xe728, {goodTrack}), "SMPTE"},
      {smf(0, 0, {goodTrack}), "time division of 0"},
      {chunkTooLong, "truncated chunk"},
      {missingTrack, "ends after 1 of 2 tracks"},
      {smf(0, 96, {{0x00, 60, 100}}), "data byte without a status byte"},
      {smf(0, 96, {{0x00, 0x90, 60}}), "inside a channel message"},
      {smf(0, 96, {{0x00, 0x90, 60, 100, 0x00, 61}}), "inside a channel message"},
      {smf(0, 96, {{0x00, 0x90, 60, 0x90}}), "status byte where a data byte belongs"},
      {smf(0, 96, {{0xff, 0xff, 0xff, 0xff, 0x7f}}), "delta time"},
      {smf(0, 96, {{0x00, 0xff, 0x51, 0x8f, 0xff, 0xff, 0x7f}}), "truncated meta event"},
      {smf(0, 96, {{0x00, 0xf0, 0x10, 1, 2}}), "truncated system exclusive"},
      {smf(0, 96, {{0x00, 0xf8}}), "unexpected status byte"},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const MidiFileResult result = parse(cases[i].first);
    EXPECT_FALSE(result.ok()) << "case " << i;
    EXPECT_TRUE(result.messages.empty()) << "case " << i;
    EXPECT_NE(result.error.find(cases[i].second), std::string::npos) << "case " << i << ": " << result.error;
  }
}

TEST(MidiFile, ReadingNamesTheFileInItsMessages) {
  hosttest::ScratchFolder folder;
  EXPECT_NE(readMidiFile(folder.file("none.mid")).error.find("none.mid"), std::string::npos);
  const std::string path = folder.write("text.mid", "hello");
  const MidiFileResult result = readMidiFile(path);
  EXPECT_NE(result.error.find(path), std::string::npos);
  EXPECT_NE(result.error.find("no MThd header"), std::string::npos);
}

}  // namespace
