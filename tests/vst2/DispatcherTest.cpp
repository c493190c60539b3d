#include "tests/vst2/LoadedModule.h"

using Dispatcher = LoadedModule;

TEST_F(Dispatcher, OpenAnnouncesEveryParameterToTheVoice) {
  // Before effOpen the voice runs on its built-in coefficients; after it a
  // note sounds with the current parameter values.
  OpenAndStart();
  SendNote(0, 36, 127);
  float peak = 0;
  for (int i = 0; i < 20; ++i)
    for (float v : RenderFloat(256)) peak = std::max(peak, std::fabs(v));
  EXPECT_GT(peak, 0.05f);
}

TEST_F(Dispatcher, MainsOffResetsButKeepsPlaying) {
  OpenAndStart();
  Call(vst2::effMainsChanged, 0, 0);
  Call(vst2::effMainsChanged, 0, 1);
  SendNote(5, 36, 100);
  const auto out = RenderFloat(128);
  EXPECT_EQ(Peak(out, 0, 5), 0.0f);
  EXPECT_GT(Peak(out, 5, 128), 0.0f);
}

TEST_F(Dispatcher, EventListsWithNullEntriesAndSysex) {
  OpenAndStart();
  vst2::VstMidiEvent note{};
  note.type = vst2::kVstMidiType;
  note.byteSize = sizeof note;
  note.deltaFrames = 3;
  note.midiData[0] = char(0x90);
  note.midiData[1] = 36;
  note.midiData[2] = 100;
  char dump[] = {char(0xF0), 0x7E, char(0xF7)};
  vst2::VstMidiSysexEvent sysex{};
  sysex.type = vst2::kVstSysExType;
  sysex.byteSize = sizeof sysex;
  sysex.dumpBytes = 3;
  sysex.sysexDump = dump;
  vst2::VstEvents events{};
  events.numEvents = 2;
  events.events[0] = nullptr;
  events.events[1] = reinterpret_cast<vst2::VstEvent*>(&sysex);
  EXPECT_EQ(Call(vst2::effProcessEvents, 0, 0, &events), 1);
  events.numEvents = 1;
  events.events[0] = reinterpret_cast<vst2::VstEvent*>(&note);
  EXPECT_EQ(Call(vst2::effProcessEvents, 0, 0, &events), 1);
  EXPECT_EQ(Call(vst2::effProcessEvents, 0, 0, nullptr), 0);
  const auto out = RenderFloat(64);
  EXPECT_EQ(Peak(out, 0, 3), 0.0f);
  EXPECT_GT(Peak(out, 3, 64), 0.0f);
}

TEST_F(Dispatcher, EditorRectangleOnlyWithAnEditor) {
  vst2::ERect* rect = nullptr;
  const intptr_t answer = Call(vst2::effEditGetRect, 0, 0, &rect);
  if (effect->flags & vst2::effFlagsHasEditor) {
    ASSERT_EQ(answer, 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 592);
    EXPECT_EQ(rect->bottom - rect->top, 442);
  } else {
    EXPECT_EQ(answer, 0);
  }
  EXPECT_EQ(Call(vst2::effEditGetRect, 0, 0, nullptr), 0);
}

TEST_F(Dispatcher, MidiKeyNamesAreEmpty) {
  vst2::MidiKeyName key{};
  key.thisKeyNumber = 36;
  std::strcpy(key.keyName, "junk");
  EXPECT_EQ(Call(vst2::effGetMidiKeyName, 0, 0, &key), 0);
  EXPECT_STREQ(key.keyName, "");
  EXPECT_EQ(Call(vst2::effGetMidiKeyName, 0, 0, nullptr), 0);
}

TEST_F(Dispatcher, SpeakerArrangementDisconnectsOutputs) {
  OpenAndStart();
  vst2::VstSpeakerArrangement mono{};
  mono.numChannels = 1;
  EXPECT_EQ(Call(vst2::effSetSpeakerArrangement, 0, 0, &mono), 1);
  SendNote(0, 36, 100);
  std::vector<float> left(64, 0.5f), right(64, 0.5f);
  float* outs[] = {left.data(), right.data()};
  effect->processReplacing(effect, nullptr, outs, 64);
  EXPECT_NE(left[40], 0.5f);
  // The second output is disconnected: the host's buffer is not written.
  EXPECT_EQ(right[40], 0.5f);
}
