#pragma once
// Every fact about the instrument's parameters, one row each, in host order.
// The host's parameter list, the editor's layout, MIDI learn, the preset
// files, the voice and the LV2 ports all read these rows; adding or moving a
// parameter is a change to the enum and one row here.
#include <cstdint>

// Parameter indices, in host order.
enum ThudrixParam : int32_t {
  kParamPitch = 0,
  kParamAccent,
  kParamDecay,
  kParamTuneDecay,
  kParamAttack,
  kParamHold,
  kParamTuneDepth,
  kParamNoiseDecay,
  kParamDistort,
  kParamMidiTuneFlag,
  kParamMidiAccentFlag,
  kParamLearn,
  kParamClear,
  kParamTrigger,
  kParamLed,
  kParamPresetPrevious,
  kParamPresetNext,
  kThudrixParamCount
};

enum class ParamValues : uint8_t {
  Undefined,  // never defined: the host sees an unnamed 0..1 parameter
  Number,     // min..max; the step sets the decimals shown
  Toggle,     // 0 or 1, shown as its two texts
  Steps,      // the whole numbers min..max
};

// The editor control that shows a parameter, and the picture it draws.
enum class ParamControl : uint8_t {
  None,
  Knob,
  MidiSwitch,
  LearnButton,
  ClearButton,
  Pad,
  HitLight,
  PresetLeft,
  PresetRight,
};

// How the LV2 plug-in carries a parameter. The preset arrows have no port:
// the browser and the host's preset menu do their job.
enum class ParamPort : uint8_t { None, Input, Output };

enum class ParamUnit : uint8_t { None, Semitones };

struct ThudrixParamRow {
  ThudrixParam index;
  const char* name = "";
  ParamValues values = ParamValues::Undefined;
  double min = 0.0;
  double max = 1.0;
  double step = 1.0;
  double defaultValue = 0.0;
  const char* label = "";
  // The texts shown for 0 and 1 instead of the number; null for none.
  const char* offText = nullptr;
  const char* onText = nullptr;
  ParamControl control = ParamControl::None;
  int16_t x = 0;
  int16_t y = 0;
  bool midiLearn = false;     // a learned controller may drive it
  bool voice = false;         // DrumVoice::ApplyParam takes it
  bool press = false;         // acts on the edge into 1, then reads back 0
  bool presetSaved = false;   // written as a line of a preset file
  bool presetLoaded = false;  // set from its line when a preset file loads
  ParamPort port = ParamPort::None;
  ParamUnit unit = ParamUnit::None;
};

namespace thudrix_params_detail {

constexpr ThudrixParamRow Knob(ThudrixParam index, const char* name, int16_t x, int16_t y) {
  return {.index = index,
          .name = name,
          .values = ParamValues::Number,
          .min = 0.0,
          .max = 1.0,
          .step = 0.0001,
          .defaultValue = 0.5,
          .control = ParamControl::Knob,
          .x = x,
          .y = y,
          .midiLearn = true,
          .voice = true,
          .presetSaved = true,
          .presetLoaded = true,
          .port = ParamPort::Input};
}

constexpr ThudrixParamRow MidiSwitch(ThudrixParam index, const char* name, int16_t x, int16_t y) {
  return {.index = index,
          .name = name,
          .values = ParamValues::Toggle,
          .label = "images",
          .offText = "off",
          .onText = "on",
          .control = ParamControl::MidiSwitch,
          .x = x,
          .y = y,
          .midiLearn = true,
          .voice = true,
          .presetSaved = true,
          .presetLoaded = true,
          .port = ParamPort::Input};
}

}  // namespace thudrix_params_detail

inline constexpr ThudrixParamRow kThudrixParams[kThudrixParamCount] = {
    {.index = kParamPitch,
     .name = "Pitch",
     .values = ParamValues::Number,
     .min = -12.0,
     .max = 12.0,
     .step = 1.0,
     .defaultValue = 0.0,
     .control = ParamControl::Knob,
     .x = 95,
     .y = 127,
     .midiLearn = true,
     .voice = true,
     .presetSaved = true,
     .presetLoaded = true,
     .port = ParamPort::Input,
     .unit = ParamUnit::Semitones},
    thudrix_params_detail::Knob(kParamAccent, "Accent", 245, 127),
    thudrix_params_detail::Knob(kParamDecay, "Decay", 395, 127),
    thudrix_params_detail::Knob(kParamTuneDecay, "TuneDecay", 95, 217),
    thudrix_params_detail::Knob(kParamAttack, "Attack", 245, 217),
    thudrix_params_detail::Knob(kParamHold, "Hold", 395, 217),
    thudrix_params_detail::Knob(kParamTuneDepth, "TuneDepth", 95, 308),
    thudrix_params_detail::Knob(kParamNoiseDecay, "NoiseDecay", 245, 308),
    thudrix_params_detail::Knob(kParamDistort, "Distort", 395, 308),
    thudrix_params_detail::MidiSwitch(kParamMidiTuneFlag, "MidiTuneFlag", 34, 170),
    thudrix_params_detail::MidiSwitch(kParamMidiAccentFlag, "MidiAccentFlag", 184, 170),
    {.index = kParamLearn,
     .name = "Learn",
     .values = ParamValues::Toggle,
     .label = "images",
     .offText = "off",
     .onText = "on",
     .control = ParamControl::LearnButton,
     .x = 498,
     .y = 236,
     .presetSaved = true,
     .presetLoaded = true,
     .port = ParamPort::Input},
    {.index = kParamClear,
     .name = "clear",
     .values = ParamValues::Toggle,
     .label = "images",
     .offText = "off",
     .onText = "on",
     .control = ParamControl::ClearButton,
     .x = 521,
     .y = 236,
     .presetSaved = true,
     .presetLoaded = true,
     .port = ParamPort::Input},
    {.index = kParamTrigger,
     .name = "Trigger",
     .values = ParamValues::Toggle,
     .offText = "off",
     .onText = "on",
     .control = ParamControl::Pad,
     .x = 480,
     .y = 100,
     .press = true,
     .presetSaved = true,
     .presetLoaded = true,
     .port = ParamPort::Input},
    {.index = kParamLed,
     .name = "Led",
     .values = ParamValues::Steps,
     .min = 0.0,
     .max = 1.0,
     .control = ParamControl::HitLight,
     .x = 511,
     .y = 131,
     .presetSaved = true,
     .presetLoaded = true,
     .port = ParamPort::Output},
    // The arrows are presses, not sounds: a preset file keeps their line
    // but never sets them from it.
    {.index = kParamPresetPrevious,
     .control = ParamControl::PresetLeft,
     .x = 172,
     .y = 18,
     .press = true,
     .presetSaved = true},
    {.index = kParamPresetNext,
     .control = ParamControl::PresetRight,
     .x = 386,
     .y = 18,
     .press = true,
     .presetSaved = true},
};

constexpr const ThudrixParamRow& ParamRow(int32_t index) { return kThudrixParams[index]; }

constexpr bool ValidThudrixParam(int32_t index) { return index >= 0 && index < kThudrixParamCount; }

// The length of the run of rows from index 0 that have the property, or -1
// when a row after the run has it too. Preset lines and LV2 ports go by
// position, so those properties must hold for a leading run only.
constexpr int32_t LeadingRun(bool (*has)(const ThudrixParamRow&)) {
  int32_t run = 0;
  while (run < kThudrixParamCount && has(kThudrixParams[run])) ++run;
  for (int32_t i = run; i < kThudrixParamCount; ++i)
    if (has(kThudrixParams[i])) return -1;
  return run;
}

constexpr int32_t kPresetSavedParams = LeadingRun([](const ThudrixParamRow& r) { return r.presetSaved; });
constexpr int32_t kPresetLoadedParams = LeadingRun([](const ThudrixParamRow& r) { return r.presetLoaded; });
constexpr int32_t kParamsWithPorts = LeadingRun([](const ThudrixParamRow& r) { return r.port != ParamPort::None; });

namespace thudrix_params_detail {

constexpr bool RowsInEnumOrder() {
  for (int32_t i = 0; i < kThudrixParamCount; ++i)
    if (kThudrixParams[i].index != i) return false;
  return true;
}

// What DefineBool and DefineEnum give, so the rows say what the host sees.
constexpr bool RangesMatchValues() {
  for (const ThudrixParamRow& row : kThudrixParams) {
    const bool whole = row.min == 0.0 && row.step == 1.0 && row.defaultValue == 0.0;
    if (row.values == ParamValues::Toggle && !(whole && row.max == 1.0 && row.offText && row.onText)) return false;
    if (row.values == ParamValues::Steps && !(whole && row.max >= 1.0 && !row.offText)) return false;
    if (row.values == ParamValues::Undefined && !(whole && row.max == 1.0 && row.name[0] == 0)) return false;
    if (row.values == ParamValues::Number && !(row.min <= row.defaultValue && row.defaultValue <= row.max))
      return false;
  }
  return true;
}

// A press is never part of the sound; a controller moves only what the
// voice takes, as that is all learn mode can target.
constexpr bool RowsAgree() {
  for (const ThudrixParamRow& row : kThudrixParams) {
    if (row.press && (row.voice || row.midiLearn)) return false;
    if (row.midiLearn && !row.voice) return false;
  }
  return true;
}

}  // namespace thudrix_params_detail

static_assert(thudrix_params_detail::RowsInEnumOrder(), "rows follow ThudrixParam's order, one per parameter");
static_assert(thudrix_params_detail::RangesMatchValues(), "a row's range matches its kind of values");
static_assert(thudrix_params_detail::RowsAgree(), "a row's roles contradict each other");
static_assert(kPresetSavedParams >= 0 && kPresetLoadedParams >= 0 && kPresetLoadedParams <= kPresetSavedParams,
              "preset files hold a leading run of parameters and load no line they do not save");
static_assert(kParamsWithPorts >= 0, "LV2 ports carry a leading run of parameters");
