// The plug-in binary driven through its descriptor, as any LV2 host drives
// it: the state keeps the preset name, the editor's messages reach it, and
// bad input from a host changes nothing it should not.
#include <dlfcn.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstring>
#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "lv2/Lv2Ports.h"
#include "tests/lv2/Lv2TestSupport.h"

using namespace lv2port;
using namespace lv2_test;

namespace {

class UriMap {
public:
  LV2_URID Map(const char* uri) {
    auto [it, added] = ids_.emplace(uri, LV2_URID(ids_.size() + 1));
    return it->second;
  }
  LV2_URID_Map* Feature() { return &map_; }

private:
  static LV2_URID MapFn(LV2_URID_Map_Handle handle, const char* uri) { return static_cast<UriMap*>(handle)->Map(uri); }
  std::map<std::string, LV2_URID> ids_;
  LV2_URID_Map map_{this, MapFn};
};

const LV2_Descriptor* Descriptor() {
  static void* module = dlopen((kBundle + "/thudra.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) return nullptr;
  auto entry = reinterpret_cast<LV2_Descriptor_Function>(dlsym(module, "lv2_descriptor"));
  return entry ? entry(0) : nullptr;
}

constexpr uint32_t kBlock = 256;
constexpr uint32_t kAtomBytes = 4096;

// One instance with every port connected to buffers of its own.
class Plugin {
public:
  explicit Plugin(double rate = 48000.0) {
    descriptor_ = Descriptor();
    if (!descriptor_) return;
    LV2_Feature mapFeature{LV2_URID__map, uris_.Feature()};
    const LV2_Feature* features[] = {&mapFeature, nullptr};
    handle_ = descriptor_->instantiate(descriptor_, rate, kBundle.c_str(), features);
    if (!handle_) return;
    for (uint32_t p = 0; p < kPortCount; ++p) {
      const int32_t param = ParamOfPort(p);
      if (param >= 0) descriptor_->connect_port(handle_, p, &controls_[size_t(param)]);
    }
    descriptor_->connect_port(handle_, kControlIn, controlIn_.data());
    descriptor_->connect_port(handle_, kNotifyOut, notifyOut_.data());
    descriptor_->connect_port(handle_, kAudioLeft, left_.data());
    descriptor_->connect_port(handle_, kAudioRight, right_.data());
    for (int32_t i = 0; i < kPortedParams; ++i) controls_[size_t(i)] = DefaultOf(i);
    descriptor_->activate(handle_);
    lv2_atom_forge_init(&forge_, uris_.Feature());
  }
  ~Plugin() {
    if (!handle_) return;
    descriptor_->deactivate(handle_);
    descriptor_->cleanup(handle_);
  }

  static float DefaultOf(int32_t param) {
    return param >= kParamMidiTuneFlag ? 0.0f : param == kParamPitch ? 0.0f : 0.5f;
  }

  bool Ok() const { return handle_ != nullptr; }
  float& Control(int32_t param) { return controls_[size_t(param)]; }
  LV2_URID Urid(const char* uri) { return uris_.Map(uri); }

  // Starts the control input's sequence for the next run.
  void BeginEvents() {
    lv2_atom_forge_set_buffer(&forge_, reinterpret_cast<uint8_t*>(controlIn_.data()), kAtomBytes);
    lv2_atom_forge_sequence_head(&forge_, &sequence_, 0);
  }
  void AddMidi(int64_t frame, std::vector<uint8_t> bytes) {
    lv2_atom_forge_frame_time(&forge_, frame);
    lv2_atom_forge_atom(&forge_, uint32_t(bytes.size()), Urid(LV2_MIDI__MidiEvent));
    if (!bytes.empty()) lv2_atom_forge_write(&forge_, bytes.data(), uint32_t(bytes.size()));
  }
  void AddNameSet(const char* name) {
    lv2_atom_forge_frame_time(&forge_, 0);
    LV2_Atom_Forge_Frame frame;
    lv2_atom_forge_object(&forge_, &frame, 0, Urid(LV2_PATCH__Set));
    lv2_atom_forge_key(&forge_, Urid(LV2_PATCH__property));
    lv2_atom_forge_urid(&forge_, Urid(THUDRA_LV2_PRESET_NAME_URI));
    lv2_atom_forge_key(&forge_, Urid(LV2_PATCH__value));
    lv2_atom_forge_string(&forge_, name, uint32_t(std::strlen(name)));
    lv2_atom_forge_pop(&forge_, &frame);
  }
  void AddPadPress() {
    lv2_atom_forge_frame_time(&forge_, 0);
    LV2_Atom_Forge_Frame frame;
    lv2_atom_forge_object(&forge_, &frame, 0, Urid(LV2_PATCH__Set));
    lv2_atom_forge_key(&forge_, Urid(LV2_PATCH__property));
    lv2_atom_forge_urid(&forge_, Urid(THUDRA_LV2_PAD_URI));
    lv2_atom_forge_key(&forge_, Urid(LV2_PATCH__value));
    lv2_atom_forge_bool(&forge_, true);
    lv2_atom_forge_pop(&forge_, &frame);
  }
  void AddNameGet() {
    lv2_atom_forge_frame_time(&forge_, 0);
    LV2_Atom_Forge_Frame frame;
    lv2_atom_forge_object(&forge_, &frame, 0, Urid(LV2_PATCH__Get));
    lv2_atom_forge_pop(&forge_, &frame);
  }

  // Runs one block (with the events begun, if any); the left channel.
  std::vector<float> Run(uint32_t frames = kBlock, bool withEvents = false) {
    if (withEvents) {
      lv2_atom_forge_pop(&forge_, &sequence_);
    } else {
      BeginEvents();
      lv2_atom_forge_pop(&forge_, &sequence_);
    }
    auto* notify = reinterpret_cast<LV2_Atom*>(notifyOut_.data());
    notify->size = kAtomBytes - sizeof(LV2_Atom);
    notify->type = 0;
    descriptor_->run(handle_, frames);
    return std::vector<float>(left_.begin(), left_.begin() + frames);
  }

  // The preset name the last run sent on the notify port, if any.
  std::optional<std::string> NotifiedName() {
    const auto* seq = reinterpret_cast<const LV2_Atom_Sequence*>(notifyOut_.data());
    if (seq->atom.type != Urid(LV2_ATOM__Sequence)) return std::nullopt;
    LV2_ATOM_SEQUENCE_FOREACH(seq, event) {
      const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
      if (object->body.otype != Urid(LV2_PATCH__Set)) continue;
      const LV2_Atom* value = nullptr;
      lv2_atom_object_get(object, Urid(LV2_PATCH__value), &value, 0);
      if (value && value->type == Urid(LV2_ATOM__String))
        return std::string(static_cast<const char*>(LV2_ATOM_BODY_CONST(value)));
    }
    return std::nullopt;
  }

  // The control moves the last run told the editor, as (port, value).
  std::vector<std::pair<uint32_t, float>> NotifiedMoves() {
    std::vector<std::pair<uint32_t, float>> moves;
    const auto* seq = reinterpret_cast<const LV2_Atom_Sequence*>(notifyOut_.data());
    if (seq->atom.type != Urid(LV2_ATOM__Sequence)) return moves;
    LV2_ATOM_SEQUENCE_FOREACH(seq, event) {
      const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&event->body);
      if (object->body.otype != Urid(THUDRA_LV2_CONTROL_MOVED_URI)) continue;
      const LV2_Atom* index = nullptr;
      const LV2_Atom* value = nullptr;
      lv2_atom_object_get(object, Urid(LV2_CORE__index), &index,
                          Urid("http://www.w3.org/1999/02/22-rdf-syntax-ns#value"), &value, 0);
      if (index && value)
        moves.emplace_back(uint32_t(reinterpret_cast<const LV2_Atom_Int*>(index)->body),
                           reinterpret_cast<const LV2_Atom_Float*>(value)->body);
    }
    return moves;
  }

  const LV2_State_Interface* State() const {
    return static_cast<const LV2_State_Interface*>(descriptor_->extension_data(LV2_STATE__interface));
  }

  // What the plug-in stores under the preset name key, and as which type.
  std::pair<std::string, LV2_URID> SavedName() {
    struct Saved {
      Plugin* self;
      std::string value;
      LV2_URID type = 0;
    } saved{this, {}, 0};
    const auto store = [](LV2_State_Handle h, uint32_t key, const void* value, size_t size, uint32_t type, uint32_t) {
      auto* s = static_cast<Saved*>(h);
      if (key != s->self->Urid(THUDRA_LV2_PRESET_NAME_URI)) return LV2_STATE_ERR_NO_PROPERTY;
      s->value.assign(static_cast<const char*>(value), size);
      s->type = type;
      return LV2_STATE_SUCCESS;
    };
    State()->save(handle_, store, &saved, LV2_STATE_IS_POD, nullptr);
    if (!saved.value.empty() && saved.value.back() == 0) saved.value.pop_back();
    return {saved.value, saved.type};
  }

  void RestoreName(const void* value, size_t size, LV2_URID type) {
    struct Given {
      Plugin* self;
      const void* value;
      size_t size;
      LV2_URID type;
    } given{this, value, size, type};
    const auto retrieve = [](LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* type,
                             uint32_t* flags) -> const void* {
      auto* g = static_cast<Given*>(h);
      if (key != g->self->Urid(THUDRA_LV2_PRESET_NAME_URI) || !g->value) return nullptr;
      *size = g->size;
      *type = g->type;
      *flags = LV2_STATE_IS_POD;
      return g->value;
    };
    ASSERT_EQ(State()->restore(handle_, retrieve, &given, 0, nullptr), LV2_STATE_SUCCESS);
  }

private:
  UriMap uris_;
  const LV2_Descriptor* descriptor_ = nullptr;
  LV2_Handle handle_ = nullptr;
  std::array<float, kPortedParams> controls_{};
  std::vector<uint64_t> controlIn_ = std::vector<uint64_t>(kAtomBytes / 8);
  std::vector<uint64_t> notifyOut_ = std::vector<uint64_t>(kAtomBytes / 8);
  std::vector<float> left_ = std::vector<float>(16384), right_ = std::vector<float>(16384);
  LV2_Atom_Forge forge_{};
  LV2_Atom_Forge_Frame sequence_{};
};

bool Sounds(const std::vector<float>& samples) {
  for (float v : samples)
    if (v != 0.0f) return true;
  return false;
}

std::vector<float> HitAndRender(Plugin& plugin, int blocks) {
  plugin.BeginEvents();
  plugin.AddMidi(0, {0x90, 36, 127});
  std::vector<float> out = plugin.Run(kBlock, true);
  for (int i = 1; i < blocks; ++i) {
    const auto more = plugin.Run();
    out.insert(out.end(), more.begin(), more.end());
  }
  return out;
}

}  // namespace

TEST(Lv2Abi, RefusesWhatItCannotRunWith) {
  const LV2_Descriptor* descriptor = Descriptor();
  ASSERT_NE(descriptor, nullptr);
  EXPECT_STREQ(descriptor->URI, THUDRA_LV2_URI);
  UriMap uris;
  LV2_Feature map{LV2_URID__map, uris.Feature()};
  const LV2_Feature* withMap[] = {&map, nullptr};
  const LV2_Feature* none[] = {nullptr};
  EXPECT_EQ(descriptor->instantiate(descriptor, 48000.0, kBundle.c_str(), none), nullptr);
  for (double rate : {0.0, -44100.0, std::nan(""), double(INFINITY)})
    EXPECT_EQ(descriptor->instantiate(descriptor, rate, kBundle.c_str(), withMap), nullptr) << rate;
}

TEST(Lv2Abi, StateKeepsThePresetNameAndTellsTheEditor) {
  Plugin plugin;
  ASSERT_TRUE(plugin.Ok());
  EXPECT_EQ(plugin.SavedName(), std::make_pair(std::string(), plugin.Urid(LV2_ATOM__String)));

  const char name[] = "07 Velocity Kick";
  plugin.RestoreName(name, sizeof name, plugin.Urid(LV2_ATOM__String));
  EXPECT_EQ(plugin.SavedName().first, name);
  plugin.Run();
  EXPECT_EQ(plugin.NotifiedName(), std::optional<std::string>(name));
  plugin.Run();
  EXPECT_EQ(plugin.NotifiedName(), std::nullopt);  // told once

  // The editor names a sound it loaded; it asks for the name when it opens.
  plugin.BeginEvents();
  plugin.AddNameSet("My Own Kick");
  plugin.Run(kBlock, true);
  EXPECT_EQ(plugin.SavedName().first, "My Own Kick");
  plugin.BeginEvents();
  plugin.AddNameGet();
  plugin.Run(kBlock, true);
  EXPECT_EQ(plugin.NotifiedName(), std::optional<std::string>("My Own Kick"));
}

TEST(Lv2Abi, StateWithABadNameIsHeldSafe) {
  Plugin plugin;
  ASSERT_TRUE(plugin.Ok());
  // Not zero-terminated and longer than any name: cut, never overrun.
  const std::string longName(1000, 'x');
  plugin.RestoreName(longName.data(), longName.size(), plugin.Urid(LV2_ATOM__String));
  EXPECT_EQ(plugin.SavedName().first, std::string(127, 'x'));
  // Another type, or no name at all: the sound is unnamed.
  const int32_t number = 5;
  plugin.RestoreName(&number, sizeof number, plugin.Urid(LV2_ATOM__Int));
  EXPECT_EQ(plugin.SavedName().first, "");
  plugin.RestoreName(nullptr, 0, 0);
  EXPECT_EQ(plugin.SavedName().first, "");
}

// A non-number on a port keeps the value it had; a value outside the range
// acts as the nearest end of it.
TEST(Lv2Abi, BadControlValuesAreHeldToTheRange) {
  Plugin reference, nan, high, highReference;
  ASSERT_TRUE(reference.Ok() && nan.Ok() && high.Ok() && highReference.Ok());
  // The voice runs on between hits: both start from the same block count.
  reference.Run();
  nan.Run();
  nan.Control(kParamDecay) = std::nanf("");
  nan.Control(kParamPitch) = INFINITY;
  high.Control(kParamDecay) = 7.5f;
  high.Control(kParamPitch) = 40.0f;
  highReference.Control(kParamDecay) = 1.0f;
  highReference.Control(kParamPitch) = 12.0f;
  const auto a = HitAndRender(reference, 8), b = HitAndRender(nan, 8);
  EXPECT_EQ(a, b);
  for (float v : b) ASSERT_TRUE(std::isfinite(v));
  EXPECT_EQ(HitAndRender(high, 8), HitAndRender(highReference, 8));
}

// A pitch between semitones is a whole semitone on this port.
TEST(Lv2Abi, PitchTakesWholeSemitones) {
  Plugin fractional, whole;
  ASSERT_TRUE(fractional.Ok() && whole.Ok());
  fractional.Control(kParamPitch) = 4.3f;
  whole.Control(kParamPitch) = 4.0f;
  EXPECT_EQ(HitAndRender(fractional, 4), HitAndRender(whole, 4));
}

TEST(Lv2Abi, MalformedMidiIsIgnoredAndLateEventsStayInTheBlock) {
  Plugin plugin, silent;
  ASSERT_TRUE(plugin.Ok() && silent.Ok());
  plugin.BeginEvents();
  plugin.AddMidi(0, {});                     // empty
  plugin.AddMidi(1, {0x24, 0x7F});           // no status byte
  plugin.AddMidi(2, {0x90, 36, 127, 0, 0});  // too long
  plugin.AddMidi(3, {0xF0, 0x7E, 0x7F});     // system message
  EXPECT_EQ(plugin.Run(kBlock, true), silent.Run());

  // A note stamped after the block's end plays at its last frame.
  plugin.BeginEvents();
  plugin.AddMidi(100000, {0x90, 36, 127});
  const auto block = plugin.Run(kBlock, true);
  for (uint32_t i = 0; i + 1 < kBlock; ++i) ASSERT_EQ(block[i], 0.0f) << i;
  EXPECT_TRUE(Sounds(plugin.Run()));
}

TEST(Lv2Abi, PadAndHitLight) {
  Plugin plugin;
  ASSERT_TRUE(plugin.Ok());
  plugin.Run();
  EXPECT_EQ(plugin.Control(kParamLed), 0.0f);
  plugin.Control(kParamTrigger) = 1.0f;
  EXPECT_TRUE(Sounds(plugin.Run()));
  EXPECT_EQ(plugin.Control(kParamLed), 1.0f);
  // Held at 1 it is one press, not a hit every block; the light goes out.
  for (int i = 0; i < 60; ++i) plugin.Run();
  EXPECT_EQ(plugin.Control(kParamLed), 0.0f);
  plugin.Control(kParamTrigger) = 0.0f;
  plugin.Run();
  plugin.Control(kParamTrigger) = 1.0f;
  plugin.Run();
  EXPECT_EQ(plugin.Control(kParamLed), 1.0f);
}

// The editor's pad arrives as a message: every press is a hit, however
// quickly it is released.
TEST(Lv2Abi, EveryPadPressFromTheEditorIsAHit) {
  Plugin plugin, viaPort;
  ASSERT_TRUE(plugin.Ok() && viaPort.Ok());
  plugin.Run();
  viaPort.Run();
  for (int press = 0; press < 3; ++press) {
    plugin.BeginEvents();
    plugin.AddPadPress();
    viaPort.Control(kParamTrigger) = 1.0f;
    const auto hit = plugin.Run(kBlock, true);
    EXPECT_TRUE(Sounds(hit)) << press;
    EXPECT_EQ(plugin.Control(kParamLed), 1.0f);
    // The same hit as the trigger port gives.
    EXPECT_EQ(hit, viaPort.Run()) << press;
    viaPort.Control(kParamTrigger) = 0.0f;
    for (int i = 0; i < 60; ++i) plugin.Run(), viaPort.Run();
    EXPECT_EQ(plugin.Control(kParamLed), 0.0f);
  }
}

// Without the options feature the plug-in does not know the host's longest
// block; a longer one is rendered in pieces, each note still at its frame.
TEST(Lv2Abi, BlocksLongerThanAnnouncedKeepEveryFrame) {
  Plugin whole, pieces;
  ASSERT_TRUE(whole.Ok() && pieces.Ok());
  whole.BeginEvents();
  whole.AddMidi(1500, {0x90, 36, 127});
  whole.AddMidi(3000, {0x90, 45, 90});
  const auto longBlock = whole.Run(4096, true);
  std::vector<float> joined;
  for (uint32_t start = 0; start < 4096; start += 1024) {
    pieces.BeginEvents();
    if (start == 1024) pieces.AddMidi(1500 - 1024, {0x90, 36, 127});
    if (start == 2048) pieces.AddMidi(3000 - 2048, {0x90, 45, 90});
    const auto part = pieces.Run(1024, true);
    joined.insert(joined.end(), part.begin(), part.end());
  }
  ASSERT_TRUE(Sounds(longBlock));
  EXPECT_EQ(longBlock, joined);
}

// A learned controller moves the control inside the plug-in; the editor is
// told the port's new value, once, so it can write the port for the host.
TEST(Lv2Abi, LearnedControllerMovesAreToldToTheEditor) {
  Plugin plugin;
  ASSERT_TRUE(plugin.Ok());
  plugin.Run();
  plugin.Control(kParamLearn) = 1.0f;
  plugin.Run();
  plugin.Control(kParamDistort) = 0.25f;  // the control to learn onto
  plugin.Run();
  plugin.BeginEvents();
  plugin.AddMidi(10, {0xB0, 93, 64});
  plugin.Run(kBlock, true);
  plugin.Control(kParamLearn) = 0.0f;
  plugin.Run();
  plugin.BeginEvents();
  plugin.AddMidi(0, {0xB0, 93, 127});
  plugin.Run(kBlock, true);
  EXPECT_EQ(plugin.NotifiedMoves(), (std::vector<std::pair<uint32_t, float>>{{PortOfParam(kParamDistort), 1.0f}}));
  plugin.Run();
  EXPECT_TRUE(plugin.NotifiedMoves().empty());
  // The editor writes the port: the plug-in takes it as it is and tells nothing back.
  plugin.Control(kParamDistort) = 1.0f;
  plugin.Run();
  EXPECT_TRUE(plugin.NotifiedMoves().empty());
  // Unlearn, so other tests in this process see a clean table.
  plugin.Control(kParamClear) = 1.0f;
  plugin.Run();
  plugin.Control(kParamDistort) = 0.5f;
  plugin.Run();
  plugin.BeginEvents();
  plugin.AddMidi(0, {0xB0, 93, 0});
  plugin.Run(kBlock, true);
  EXPECT_TRUE(plugin.NotifiedMoves().empty());
}
