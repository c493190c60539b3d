// What hosts in the field do that a tidy host would not: process before a
// rate, running-status note-offs, odd event sizes, sloppy parameter text,
// events out of order or far ahead.
#include <cmath>
#include <memory>
#include <vector>

#include "tests/vst2/LoadedModule.h"

namespace {

constexpr int32_t kAccent = 1;
constexpr int32_t kMidiAccentFlag = 10;

// A list of MIDI events, each record kept alive with the list.
struct MidiList {
  std::vector<vst2::VstMidiEvent> records;
  std::vector<vst2::VstEvent*> pointers;
  std::unique_ptr<char[]> storage;

  void Note(int32_t offset, uint8_t note, uint8_t velocity, int32_t byteSize = sizeof(vst2::VstMidiEvent)) {
    vst2::VstMidiEvent e{};
    e.type = vst2::kVstMidiType;
    e.byteSize = byteSize;
    e.deltaFrames = offset;
    e.midiData[0] = char(0x90);
    e.midiData[1] = char(note);
    e.midiData[2] = char(velocity);
    records.push_back(e);
  }
  // The record as the host hands it over: a count and that many pointers.
  vst2::VstEvents* List() {
    pointers.clear();
    for (auto& r : records) pointers.push_back(reinterpret_cast<vst2::VstEvent*>(&r));
    const size_t bytes = sizeof(vst2::VstEvents) + pointers.size() * sizeof(vst2::VstEvent*);
    storage = std::make_unique<char[]>(bytes);
    auto* list = reinterpret_cast<vst2::VstEvents*>(storage.get());
    list->numEvents = int32_t(pointers.size());
    for (size_t i = 0; i < pointers.size(); ++i) list->events[i] = pointers[i];
    return list;
  }
};

class HostPaths : public LoadedModule {
protected:
  // Another instance from the same module, closed with the fixture.
  vst2::VstEffect* Another() {
    vst2::VstEffect* e = entry(&RecordingHost);
    others.push_back(e);
    return e;
  }
  void TearDown() override {
    for (vst2::VstEffect* e : others) e->dispatcher(e, vst2::effClose, 0, 0, nullptr, 0.0f);
    LoadedModule::TearDown();
  }
  static void Start(vst2::VstEffect* e, float rate, int32_t block) {
    e->dispatcher(e, vst2::effOpen, 0, 0, nullptr, 0.0f);
    e->dispatcher(e, vst2::effSetSampleRate, 0, 0, nullptr, rate);
    e->dispatcher(e, vst2::effSetBlockSize, 0, block, nullptr, 0.0f);
    e->dispatcher(e, vst2::effMainsChanged, 0, 1, nullptr, 0.0f);
  }
  static void Send(vst2::VstEffect* e, MidiList& list) {
    e->dispatcher(e, vst2::effProcessEvents, 0, 0, list.List(), 0.0f);
  }
  // frames of the left channel, in host blocks of block frames.
  static std::vector<float> Render(vst2::VstEffect* e, int32_t frames, int32_t block) {
    std::vector<float> left(static_cast<size_t>(frames)), right(static_cast<size_t>(frames));
    for (int32_t at = 0; at < frames; at += block) {
      const int32_t n = std::min(block, frames - at);
      float* outs[] = {left.data() + at, right.data() + at};
      e->processReplacing(e, nullptr, outs, n);
    }
    return left;
  }
  std::string Display(int32_t index) { return Text(vst2::effGetParamDisplay, index); }
  intptr_t SetText(int32_t index, const char* text) {
    return Call(vst2::effString2Parameter, index, 0, const_cast<char*>(text));
  }

  std::vector<vst2::VstEffect*> others;
};

}  // namespace

TEST_F(HostPaths, ProcessingBeforeARateOrBlockSizeUsesTheDefaults) {
  Call(vst2::effOpen);  // and nothing else before audio
  vst2::VstEffect* told = Another();
  Start(told, 44100.0f, 1024);
  for (vst2::VstEffect* e : {effect, told}) {
    MidiList notes;
    notes.Note(0, 36, 127);
    Send(e, notes);
  }
  const auto untold = Render(effect, 8192, 512);
  EXPECT_GT(Peak(untold, 4096, 8192), 0.01f);  // still sounding, not one spike
  EXPECT_EQ(untold, Render(told, 8192, 512));
}

TEST_F(HostPaths, NoteOnWithVelocityZeroIsANoteOff) {
  OpenAndStart();
  SendNote(0, 36, 0);
  EXPECT_EQ(Peak(RenderFloat(2048), 0, 2048), 0.0f);

  // A keyboard's key release in running status does not hit again.
  vst2::VstEffect* twice = Another();
  vst2::VstEffect* once = Another();
  Start(twice, 44100.0f, 256);
  Start(once, 44100.0f, 256);
  MidiList pressAndRelease, press;
  pressAndRelease.Note(0, 36, 100);
  pressAndRelease.Note(100, 36, 0);
  press.Note(0, 36, 100);
  Send(twice, pressAndRelease);
  Send(once, press);
  EXPECT_EQ(Render(twice, 2048, 256), Render(once, 2048, 256));
}

TEST_F(HostPaths, MidiEventsAreReadByTypeWhateverSizeTheHostWrites) {
  OpenAndStart();
  MidiList reference;
  reference.Note(10, 36, 120);
  Send(effect, reference);
  const auto expected = Render(effect, 2048, 256);
  ASSERT_GT(Peak(expected, 0, 2048), 0.01f);
  for (int32_t byteSize : {0, 16, 24, int32_t(sizeof(vst2::VstMidiEvent))}) {
    vst2::VstEffect* e = Another();
    Start(e, 44100.0f, 256);
    MidiList odd;
    odd.Note(10, 36, 120, byteSize);
    Send(e, odd);
    EXPECT_EQ(Render(e, 2048, 256), expected) << "byteSize " << byteSize;
  }
}

TEST_F(HostPaths, ParameterTextFromTheHost) {
  OpenAndStart();
  EXPECT_EQ(SetText(kAccent, "\n0.7"), 1);  // any leading white space
  EXPECT_EQ(Display(kAccent), "0.7000");
  EXPECT_EQ(SetText(kAccent, " \r\v\f\t0.6"), 1);
  EXPECT_EQ(Display(kAccent), "0.6000");
  EXPECT_EQ(SetText(kAccent, "5e-400"), 1);  // too small for a double: 0
  EXPECT_EQ(Display(kAccent), "0.0000");
  EXPECT_EQ(SetText(kAccent, "0.5"), 1);
  for (const char* refused : {"0x10", "1e400", "1.5.2", "abc", ""}) {
    EXPECT_EQ(SetText(kAccent, refused), 0) << refused;
    EXPECT_EQ(Display(kAccent), "0.5000") << refused;
  }
  EXPECT_EQ(SetText(kAccent, "-0"), 1);
  EXPECT_EQ(Display(kAccent), "0.0000");  // +0, not "-0.0000"
  EXPECT_EQ(SetText(kAccent, "-0.000000"), 1);
  EXPECT_FALSE(std::signbit(effect->getParameter(effect, kAccent)));
  EXPECT_EQ(SetText(kAccent, "0.25 "), 1);  // trailing space is fine
  EXPECT_EQ(Display(kAccent), "0.2500");
}

TEST_F(HostPaths, EventsOutOfOrderPlayAtTheirSampleAndFarOnesAreDropped) {
  OpenAndStart(44100.0f, 512);
  vst2::VstEffect* ordered = Another();
  Start(ordered, 44100.0f, 512);
  MidiList backwards, forwards;
  // Two notes at frame 200: the later one in the list is the one heard.
  for (auto [offset, velocity] : std::vector<std::pair<int32_t, uint8_t>>{{300, 90}, {200, 30}, {200, 120}, {100, 60}})
    backwards.Note(offset, 36, velocity);
  for (auto [offset, velocity] : std::vector<std::pair<int32_t, uint8_t>>{{100, 60}, {200, 30}, {200, 120}, {300, 90}})
    forwards.Note(offset, 36, velocity);
  for (vst2::VstEffect* e : {effect, ordered}) e->setParameter(e, kMidiAccentFlag, 1.0f);
  Send(effect, backwards);
  Send(ordered, forwards);
  const auto heard = Render(effect, 4096, 512);
  EXPECT_EQ(heard, Render(ordered, 4096, 512));
  EXPECT_EQ(Peak(heard, 0, 100), 0.0f);
  EXPECT_GT(Peak(heard, 100, 110), 0.0f);

  // Beyond the horizon (2^20 frames) an event is dropped; just inside, it
  // plays at its sample.
  constexpr int32_t kHorizon = 1 << 20;
  vst2::VstEffect* far = Another();
  Start(far, 44100.0f, 4096);
  MidiList list;
  list.Note(kHorizon + 1, 36, 127);
  list.Note(kHorizon - 64, 36, 127);
  Send(far, list);
  const auto tail = Render(far, kHorizon + 4096, 4096);
  EXPECT_EQ(Peak(tail, 0, kHorizon - 64), 0.0f);
  EXPECT_GT(Peak(tail, kHorizon - 64, kHorizon - 54), 0.0f);
  vst2::VstEffect* beyond = Another();
  Start(beyond, 44100.0f, 4096);
  MidiList tooFar;
  tooFar.Note(kHorizon + 1, 36, 127);
  Send(beyond, tooFar);
  const auto silent = Render(beyond, kHorizon + 4096, 4096);
  EXPECT_EQ(Peak(silent, 0, silent.size()), 0.0f);
}
