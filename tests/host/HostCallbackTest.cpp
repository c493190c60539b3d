#include <cstring>

#include <gtest/gtest.h>

#include "tools/host/HostSession.h"

using namespace thudra::host;
using namespace vst2;

namespace {

intptr_t ask(VstEffect* effect, int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
             float opt = 0.0f) {
  return HostSession::callback(effect, opcode, index, value, ptr, opt);
}

TEST(HostCallback, AnswersIdentityAndCapabilitiesWithoutAnEffect) {
  EXPECT_EQ(ask(nullptr, audioMasterVersion), 2400);
  EXPECT_EQ(ask(nullptr, audioMasterGetVendorVersion), 1000);

  char text[kVstMaxVendorStrLen];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(ask(nullptr, audioMasterGetProductString, 0, 0, text), 1);
  EXPECT_STREQ(text, "thudra-host");
  EXPECT_EQ(ask(nullptr, audioMasterGetVendorString, 0, 0, text), 1);
  EXPECT_STREQ(text, "Tarvolin Instruments");
  EXPECT_EQ(ask(nullptr, audioMasterGetProductString), 0) << "null buffer";

  for (const char* yes : {"sendVstEvents", "sendVstMidiEvent", "receiveVstEvents", "receiveVstMidiEvent",
                          "sendVstTimeInfo", "sizeWindow"})
    EXPECT_EQ(ask(nullptr, audioMasterCanDo, 0, 0, const_cast<char*>(yes)), 1) << yes;
  EXPECT_EQ(ask(nullptr, audioMasterCanDo, 0, 0, const_cast<char*>("sendVstEvent")), 0);
  EXPECT_EQ(ask(nullptr, audioMasterCanDo), 0) << "null text";
  EXPECT_EQ(ask(nullptr, audioMasterProcessEvents), 0) << "null list";
  EXPECT_EQ(ask(nullptr, audioMasterOpenFileSelector), 0);
  EXPECT_EQ(ask(nullptr, 123456), 0);
}

TEST(HostCallback, CallsDuringCreationReachTheCreatingSession) {
  HostSession session(44100.0, 64, kVstProcessLevelOffline);
  {
    HostSession::CreationScope scope(session);
    EXPECT_EQ(ask(nullptr, audioMasterGetSampleRate), 44100);
    EXPECT_EQ(ask(nullptr, audioMasterGetCurrentProcessLevel), kVstProcessLevelOffline);
  }
  EXPECT_NE(ask(nullptr, audioMasterGetSampleRate), 44100) << "scope ended";
}

TEST(HostCallback, AttachedEffectGetsItsSessionsSettingsAndTransport) {
  VstEffect effect{};
  HostSession session(48000.0, 256, kVstProcessLevelRealtime);
  session.attach(&effect);
  EXPECT_EQ(ask(&effect, audioMasterGetSampleRate), 48000);
  EXPECT_EQ(ask(&effect, audioMasterGetBlockSize), 256);
  EXPECT_EQ(ask(&effect, audioMasterGetCurrentProcessLevel), kVstProcessLevelRealtime);

  session.setSamplePosition(5 * 48000);  // 5 s at 120 bpm: 10 quarters, bar from 8
  auto* time = reinterpret_cast<const VstTimeInfo*>(ask(&effect, audioMasterGetTime));
  ASSERT_NE(time, nullptr);
  EXPECT_EQ(time->samplePos, 240000.0);
  EXPECT_EQ(time->sampleRate, 48000.0);
  EXPECT_EQ(time->tempo, 120.0);
  EXPECT_DOUBLE_EQ(time->ppqPos, 10.0);
  EXPECT_DOUBLE_EQ(time->barStartPos, 8.0);
  EXPECT_EQ(time->timeSigNumerator, 4);
  EXPECT_EQ(time->timeSigDenominator, 4);
  const int32_t expectedFlags =
      kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | kVstBarsValid | kVstTimeSigValid;
  EXPECT_EQ(time->flags & expectedFlags, expectedFlags);

  // A second session's effect is kept apart.
  VstEffect other{};
  HostSession otherSession(96000.0, 32, kVstProcessLevelOffline);
  otherSession.attach(&other);
  EXPECT_EQ(ask(&other, audioMasterGetSampleRate), 96000);
  EXPECT_EQ(ask(&effect, audioMasterGetSampleRate), 48000);
}

TEST(HostCallback, RecordsEditsDisplayRequestsAndMidiFromThePlugin) {
  VstEffect effect{};
  HostSession session(48000.0, 256, kVstProcessLevelRealtime);
  session.attach(&effect);

  EXPECT_EQ(ask(&effect, audioMasterBeginEdit, 3), 1);
  ask(&effect, audioMasterAutomate, 3, 0, nullptr, 0.75f);
  EXPECT_EQ(ask(&effect, audioMasterEndEdit, 3), 1);
  const auto edits = session.paramEdits();
  ASSERT_EQ(edits.size(), 3u);
  EXPECT_EQ(edits[0].kind, ParamEditKind::BeginEdit);
  EXPECT_EQ(edits[1].kind, ParamEditKind::Automate);
  EXPECT_EQ(edits[1].index, 3);
  EXPECT_EQ(edits[1].value, 0.75f);
  EXPECT_EQ(edits[2].kind, ParamEditKind::EndEdit);

  EXPECT_EQ(ask(&effect, audioMasterUpdateDisplay), 1);
  EXPECT_EQ(ask(&effect, audioMasterIOChanged), 1);
  EXPECT_EQ(ask(&effect, audioMasterWantMidi, 0, 1), 1);
  EXPECT_EQ(ask(&effect, audioMasterSizeWindow, 640, 480), 1);
  EXPECT_EQ(session.updateDisplayRequests(), 1);
  EXPECT_EQ(session.ioChangedRequests(), 1);
  EXPECT_TRUE(session.pluginWantsMidi());
  EXPECT_EQ(session.requestedEditorWidth(), 640);
  EXPECT_EQ(session.requestedEditorHeight(), 480);

  // Three slots, one of them empty: the list runs past its declared two entries.
  struct {
    VstEvents header;
    VstEvent* more[1];
  } list{};
  VstMidiEvent a{}, b{};
  list.header.numEvents = 3;
  list.header.events[0] = reinterpret_cast<VstEvent*>(&a);
  list.header.events[1] = nullptr;
  list.more[0] = reinterpret_cast<VstEvent*>(&b);
  EXPECT_EQ(ask(&effect, audioMasterProcessEvents, 0, 0, &list), 1);
  EXPECT_EQ(session.midiEventsFromPlugin(), 2);

  list.header.numEvents = -5;
  ask(&effect, audioMasterProcessEvents, 0, 0, &list);
  EXPECT_EQ(session.midiEventsFromPlugin(), 2) << "a negative count reads nothing";
}

}  // namespace
