#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

#include "tools/host/CommandSupport.h"
#include "tools/host/HostCommands.h"
#ifdef THUDRA_HOST_LV2
#include "tools/host/Lv2Commands.h"
#include "tools/host/Lv2Plugin.h"
#endif
#include "tools/host/MidiFile.h"
#include "tools/host/Renderer.h"
#include "tools/host/WavWriter.h"

namespace thudra::host {

using namespace vst2;

namespace {

constexpr double kProgressAboveSeconds = 5.0;
// A WAV file's sizes are 32-bit.
constexpr int64_t kMaxWavDataBytes = std::numeric_limits<uint32_t>::max() - 1024;

// Walks "--name value" and "--name=value" options.
class OptionReader {
public:
  explicit OptionReader(const CommandArgs& args) : args_(args) {}

  bool done() const { return index_ >= args_.size(); }

  // Splits the next argument into its name and an inline value, if any.
  std::string next() {
    std::string arg = args_[index_++];
    inlineValue_.reset();
    if (arg.starts_with("--")) {
      if (size_t equals = arg.find('='); equals != std::string::npos) {
        inlineValue_ = arg.substr(equals + 1);
        arg.resize(equals);
      }
    }
    return arg;
  }

  std::optional<std::string> value() {
    if (inlineValue_) return std::exchange(inlineValue_, std::nullopt);
    if (done()) return std::nullopt;
    return args_[index_++];
  }

  bool hasInlineValue() const { return inlineValue_.has_value(); }

private:
  const CommandArgs& args_;
  size_t index_ = 0;
  std::optional<std::string> inlineValue_;
};

bool reject(std::string& error, std::string message) {
  error = std::move(message);
  return false;
}

std::optional<RenderOptions> rejectOptions(std::string& error, std::string message) {
  error = std::move(message);
  return std::nullopt;
}

std::optional<double> secondsInRange(const std::string& text, double low, double high) {
  auto value = parseNumber(text);
  if (!value || *value < low || *value > high) return std::nullopt;
  return value;
}

std::optional<int> integerInRange(const std::string& text, int low, int high) {
  auto value = parseInteger(text);
  if (!value || *value < low || *value > high) return std::nullopt;
  return static_cast<int>(*value);
}

// Applies one option with its value; false with `error` set on a bad value.
bool applyOption(const std::string& name, const std::string& value, RenderOptions& options, std::string& error) {
  const std::string bad = "bad value '" + value + "' for " + name + ": ";
  if (name == "--out") {
    options.outPath = value;
  } else if (name == "--rate") {
    auto rate = integerInRange(value, 1000, 768000);
    if (!rate) return reject(error, bad + "expected a whole number of hertz in 1000..768000");
    options.sampleRate = *rate;
  } else if (name == "--block") {
    auto block = integerInRange(value, 1, 65536);
    if (!block) return reject(error, bad + "expected a frame count in 1..65536");
    options.blockSize = *block;
  } else if (name == "--length") {
    auto length = secondsInRange(value, 0.0, kMaxRenderSeconds);
    if (!length || *length <= 0.0) return reject(error, bad + "expected seconds above 0, at most 3600");
    options.lengthSeconds = length;
  } else if (name == "--tail") {
    auto tail = secondsInRange(value, 0.0, kMaxRenderSeconds);
    if (!tail) return reject(error, bad + "expected seconds in 0..3600");
    options.tailSeconds = *tail;
  } else if (name == "--note") {
    auto messages = parseNoteSpec(value, error);
    if (!messages) return false;
    options.notes.insert(options.notes.end(), messages->begin(), messages->end());
  } else if (name == "--midi") {
    options.midiPath = value;
  } else if (name == "--preset") {
    options.presetPath = value;
  } else if (name == "--param") {
    auto setting = parseParamSetting(value, error);
    if (!setting) return false;
    options.params.push_back(*setting);
  } else {
    return reject(error, "unknown option '" + name + "'");
  }
  return true;
}

}  // namespace

std::optional<RenderOptions> parseRenderOptions(const CommandArgs& args, std::string& error) {
  RenderOptions options;
  OptionReader reader(args);
  while (!reader.done()) {
    const std::string arg = reader.next();
    if (arg == "--double") {
      if (reader.hasInlineValue()) return rejectOptions(error, "--double takes no value");
      options.doublePrecision = true;
    } else if (arg.starts_with("--")) {
      auto value = reader.value();
      if (!value) return rejectOptions(error, "option " + arg + " needs a value");
      if (!applyOption(arg, *value, options, error)) return std::nullopt;
    } else if (options.modulePath.empty()) {
      options.modulePath = arg;
    } else {
      return rejectOptions(error, "unexpected argument '" + arg + "'");
    }
  }
  if (options.modulePath.empty()) return rejectOptions(error, "render needs a MODULE");
  if (options.outPath.empty()) return rejectOptions(error, "render needs --out FILE.wav");
  return options;
}

int64_t renderLengthFrames(const RenderOptions& options, std::span<const TimedMidiMessage> messages) {
  double seconds = 0.0;
  if (options.lengthSeconds) {
    seconds = *options.lengthSeconds;
  } else {
    for (const auto& message : messages) seconds = std::max(seconds, message.seconds);
    seconds += options.tailSeconds;
  }
  // Held just past the limit so that absurd event times fail the length
  // check instead of overflowing the frame count.
  seconds = std::min(seconds, kMaxRenderSeconds + 1.0);
  return static_cast<int64_t>(std::llround(seconds * options.sampleRate));
}

namespace {

// Everything the render reads from files, gathered before the module loads
// so that a bad input fails without running foreign code.
struct RenderInputs {
  std::vector<TimedMidiMessage> messages;
  std::vector<ParamSetting> presetSettings;
};

std::optional<RenderInputs> readRenderInputs(const RenderOptions& options, std::ostream& err) {
  RenderInputs inputs;
  inputs.messages = options.notes;
  if (options.midiPath) {
    MidiFileResult midi = readMidiFile(*options.midiPath);
    if (!midi.ok()) {
      printError(err, midi.error);
      return std::nullopt;
    }
    inputs.messages.insert(inputs.messages.end(), midi.messages.begin(), midi.messages.end());
  }
  if (options.presetPath) {
    PresetFileResult preset = readPresetFile(*options.presetPath);
    if (!preset.ok()) {
      printError(err, preset.error);
      return std::nullopt;
    }
    for (const auto& warning : preset.warnings) printError(err, "preset '" + *options.presetPath + "' " + warning);
    inputs.presetSettings = std::move(preset.settings);
  }
  return inputs;
}

bool applySettings(HostedPlugin& plugin, const RenderOptions& options, const RenderInputs& inputs, std::ostream& err) {
  applyPresetSettings(plugin, inputs.presetSettings, err);
  for (const auto& setting : options.params) {
    std::string error;
    if (!applyParamSetting(plugin, setting, error)) {
      printError(err, error);
      return false;
    }
  }
  return true;
}

ProgressReport progressOnStderr(int64_t totalFrames, int sampleRate, std::ostream& err) {
  if (totalFrames <= kProgressAboveSeconds * sampleRate) return {};
  return [&err, lastPercent = -1](int64_t done, int64_t total) mutable {
    const int percent = static_cast<int>(done * 100 / total) / 5 * 5;
    if (percent == lastPercent) return;
    lastPercent = percent;
    err << "\rrendering " << percent << "%" << (done == total ? "\n" : "") << std::flush;
  };
}

void printReport(const RenderOptions& options, int64_t frames, const RenderResult& result, const HostSession& session,
                 std::ostream& out) {
  out << "wrote " << options.outPath << ": " << result.channels.size() << " channels, " << frames << " frames at "
      << options.sampleRate << " Hz (" << formatFixed(static_cast<double>(frames) / options.sampleRate, 3)
      << " s), 32-bit float\n";
  for (size_t c = 0; c < result.channels.size(); ++c) {
    const ChannelStats& stats = result.channels[c];
    out << "channel " << c + 1 << ": peak " << formatFixed(stats.peak, 6) << " (" << formatDecibels(stats.peak)
        << "), RMS " << formatFixed(stats.rms(), 6) << " (" << formatDecibels(stats.rms()) << ")";
    if (stats.nonFiniteSamples > 0) out << ", " << stats.nonFiniteSamples << " non-finite samples";
    out << '\n';
  }
  if (session.midiEventsFromPlugin() > 0)
    out << "the module sent " << session.midiEventsFromPlugin() << " MIDI events\n";
}

}  // namespace

int runRenderCommand(const CommandArgs& args, std::ostream& out, std::ostream& err) {
  std::string error;
  auto options = parseRenderOptions(args, error);
  if (!options) return fail(err, error, kExitUsage);
#ifdef THUDRA_HOST_LV2
  if (isLv2Target(options->modulePath)) return runLv2Render(*options, out, err);
#endif
  auto inputs = readRenderInputs(*options, err);
  if (!inputs) return kExitFailure;
  const int64_t totalFrames = renderLengthFrames(*options, inputs->messages);
  if (totalFrames > kMaxRenderSeconds * options->sampleRate)
    return fail(err, "render length exceeds the limit of 3600 seconds", kExitFailure);

  HostSession session(options->sampleRate, options->blockSize, kVstProcessLevelOffline);
  auto plugin = createPlugin(options->modulePath, session, err);
  if (!plugin) return kExitFailure;
  if (totalFrames * plugin->numOutputs() * 4 > kMaxWavDataBytes)
    return fail(err, "the output would exceed the size limit of a WAV file", kExitFailure);
  plugin->open();
  plugin->configure(options->sampleRate, options->blockSize);
  plugin->setProcessing(true);
  if (!applySettings(*plugin, *options, *inputs, err)) return kExitFailure;

  auto wav = WavWriter::create(options->outPath, std::max(plugin->numOutputs(), 1), options->sampleRate, error);
  if (!wav) return fail(err, error, kExitFailure);
  const auto scheduled = scheduleMessages(inputs->messages, options->sampleRate);
  RenderResult result = renderPlugin(
      *plugin, session, {totalFrames, options->doublePrecision}, scheduled,
      [&wav](std::span<const std::vector<double>> channels, int32_t frames) { return wav->write(channels, frames); },
      progressOnStderr(totalFrames, options->sampleRate, err));
  const bool closed = wav->close(error);
  if (!result.ok() || !closed) {
    std::remove(options->outPath.c_str());  // a partial file must not pass for a result
    return fail(err, result.ok() ? error : result.error, kExitFailure);
  }
  printReport(*options, totalFrames, result, session, out);
  return kExitOk;
}

}  // namespace thudra::host
