// `info` and `render` for LV2 plug-ins: the same output and the same event
// timing as for VST2 modules, so one MIDI file renders through both formats.
#include <algorithm>
#include <cstdio>

#include "tools/host/CommandSupport.h"
#include "tools/host/HostCommands.h"
#include "tools/host/Lv2Commands.h"
#include "tools/host/Lv2Plugin.h"
#include "tools/host/MidiFile.h"
#include "tools/host/Renderer.h"
#include "tools/host/WavWriter.h"

namespace thudra::host {

namespace {

// A WAV file's sizes are 32-bit.
constexpr int64_t kMaxWavDataBytes = std::numeric_limits<uint32_t>::max() - 1024;

const char* portKind(const Lv2Port& port) {
  switch (port.kind) {
    case Lv2Port::Kind::Audio:
      return "audio";
    case Lv2Port::Kind::Control:
      return "control";
    case Lv2Port::Kind::Atom:
      return port.midi ? "atom (MIDI)" : "atom";
    case Lv2Port::Kind::Other:
      break;
  }
  return "other";
}

void printPort(const Lv2Port& port, std::ostream& out) {
  out << "  " << port.index << "  " << (port.input ? "in " : "out") << "  " << portKind(port) << "  " << port.symbol
      << "  \"" << port.name << "\"";
  if (port.kind == Lv2Port::Kind::Control) {
    out << "  " << formatFixed(port.minimum, 4) << ".." << formatFixed(port.maximum, 4) << "  default "
        << formatFixed(port.defaultValue, 4);
    if (port.integer) out << "  integer";
    if (port.toggled) out << "  toggled";
    if (port.trigger) out << "  trigger";
  }
  out << '\n';
}

std::unique_ptr<Lv2Plugin> loadPlugin(const std::string& target, std::ostream& err) {
  std::string error;
  auto plugin = Lv2Plugin::load(target, error);
  if (!plugin) printError(err, error);
  return plugin;
}

// The preset: a .tvpreset file's lines set the control ports of the same
// name; anything else names an LV2 preset by URI or label.
bool applyPreset(Lv2Plugin& plugin, const std::string& preset, std::ostream& err) {
  std::string error;
  if (!preset.ends_with(".tvpreset")) {
    if (plugin.applyPreset(preset, error)) return true;
    printError(err, error);
    return false;
  }
  PresetFileResult file = readPresetFile(preset);
  if (!file.ok()) {
    printError(err, file.error);
    return false;
  }
  for (const auto& warning : file.warnings) printError(err, "preset '" + preset + "' " + warning);
  for (const ParamSetting& setting : file.settings) {
    if (const Lv2Port* port = plugin.findControl(setting.nameOrIndex))
      plugin.setControlNormalized(*port, setting.normalized);
  }
  return true;
}

bool applyParam(Lv2Plugin& plugin, const ParamSetting& setting, std::ostream& err) {
  const Lv2Port* port = plugin.findControl(setting.nameOrIndex);
  if (!port) {
    if (auto index = parseInteger(setting.nameOrIndex)) {
      for (const Lv2Port& candidate : plugin.ports())
        if (candidate.index == *index && candidate.kind == Lv2Port::Kind::Control && candidate.input) port = &candidate;
    }
  }
  if (!port) {
    printError(err, "no control input port '" + setting.nameOrIndex + "'");
    return false;
  }
  plugin.setControlNormalized(*port, setting.normalized);
  return true;
}

std::vector<TimedMidiMessage> readMessages(const RenderOptions& options, std::ostream& err, bool& ok) {
  std::vector<TimedMidiMessage> messages = options.notes;
  ok = true;
  if (options.midiPath) {
    MidiFileResult midi = readMidiFile(*options.midiPath);
    if (!midi.ok()) {
      printError(err, midi.error);
      ok = false;
      return {};
    }
    messages.insert(messages.end(), midi.messages.begin(), midi.messages.end());
  }
  return messages;
}

}  // namespace

int runLv2Info(const std::string& target, std::ostream& out, std::ostream& err) {
  auto plugin = loadPlugin(target, err);
  if (!plugin) return kExitFailure;
  out << "plug-in:     " << plugin->uri() << '\n'
      << "name:        " << plugin->name() << '\n'
      << "author:      " << plugin->author() << '\n'
      << "bundle:      " << plugin->bundle() << '\n';
  for (const std::string& ui : plugin->uiUris()) out << "ui:          " << ui << '\n';
  out << "ports:       " << plugin->ports().size() << '\n';
  for (const Lv2Port& port : plugin->ports()) printPort(port, out);
  const auto presets = plugin->presets();
  out << "presets:     " << presets.size() << '\n';
  for (const Lv2Preset& preset : presets) out << "  \"" << preset.label << "\"  " << preset.uri << '\n';
  return kExitOk;
}

int runLv2Render(const RenderOptions& options, std::ostream& out, std::ostream& err) {
  if (options.doublePrecision)
    return fail(err, "LV2 plug-ins render in single precision; --double is for VST2 modules", kExitUsage);
  bool ok = true;
  const auto messages = readMessages(options, err, ok);
  if (!ok) return kExitFailure;
  const int64_t totalFrames = renderLengthFrames(options, messages);
  if (totalFrames > kMaxRenderSeconds * options.sampleRate)
    return fail(err, "render length exceeds the limit of 3600 seconds", kExitFailure);

  auto plugin = loadPlugin(options.modulePath, err);
  if (!plugin) return kExitFailure;
  const int channels = plugin->audioOutputCount();
  if (channels < 1) return fail(err, "plug-in has no audio outputs", kExitFailure);
  if (totalFrames * channels * 4 > kMaxWavDataBytes)
    return fail(err, "the output would exceed the size limit of a WAV file", kExitFailure);
  std::string error;
  if (!plugin->instantiate(options.sampleRate, options.blockSize, error)) return fail(err, error, kExitFailure);
  if (options.presetPath && !applyPreset(*plugin, *options.presetPath, err)) return kExitFailure;
  for (const ParamSetting& setting : options.params)
    if (!applyParam(*plugin, setting, err)) return kExitFailure;
  plugin->activate();

  auto wav = WavWriter::create(options.outPath, channels, options.sampleRate, error);
  if (!wav) return fail(err, error, kExitFailure);
  const auto scheduled = scheduleMessages(messages, options.sampleRate);
  RenderResult result = renderLv2Plugin(
      *plugin, options.blockSize, totalFrames, scheduled,
      [&wav](std::span<const std::vector<double>> channels, int32_t frames) { return wav->write(channels, frames); });
  ok = result.ok();
  const auto& stats = result.channels;
  const bool closed = wav->close(error);
  if (!ok || !closed) {
    std::remove(options.outPath.c_str());  // a partial file must not pass for a result
    return fail(err, ok ? error : result.error, kExitFailure);
  }
  out << "wrote " << options.outPath << ": " << channels << " channels, " << totalFrames << " frames at "
      << options.sampleRate << " Hz (" << formatFixed(static_cast<double>(totalFrames) / options.sampleRate, 3)
      << " s), 32-bit float\n";
  for (size_t c = 0; c < stats.size(); ++c)
    out << "channel " << c + 1 << ": peak " << formatFixed(stats[c].peak, 6) << " (" << formatDecibels(stats[c].peak)
        << "), RMS " << formatFixed(stats[c].rms(), 6) << " (" << formatDecibels(stats[c].rms()) << ")\n";
  return kExitOk;
}

}  // namespace thudra::host
