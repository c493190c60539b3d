#include "tools/host/EditorSession.h"

#include <algorithm>
#include <map>

#include "tools/host/CommandSupport.h"
#include "tools/host/ParamSettings.h"

namespace thudra::host {

using namespace vst2;

namespace {

std::optional<EditorOptions> rejectEditorOptions(std::string& error, std::string message) {
  error = std::move(message);
  return std::nullopt;
}

}  // namespace

std::optional<EditorOptions> parseEditorOptions(const CommandArgs& args, bool screenshot, std::string& error) {
  const char* command = screenshot ? "screenshot" : "gui";
  EditorOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    if (!name.starts_with("--")) {
      if (!options.modulePath.empty()) return rejectEditorOptions(error, "unexpected argument '" + name + "'");
      options.modulePath = name;
      continue;
    }
    std::optional<std::string> value;
    if (size_t equals = name.find('='); equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    }
    if (!value) return rejectEditorOptions(error, "option " + name + " needs a value");
    if (name == "--out") {
      options.outPath = *value;
    } else if (name == "--seconds" && !screenshot) {
      auto seconds = parseNumber(*value);
      if (!seconds || *seconds <= 0.0 || *seconds > 86400.0)
        return rejectEditorOptions(error, "bad value '" + *value + "' for --seconds: expected 0..86400");
      options.seconds = seconds;
    } else if (name == "--preset") {
      options.presetPath = *value;
    } else if (name == "--param") {
      auto setting = parseParamSetting(*value, error);
      if (!setting) return std::nullopt;
      options.params.push_back(*setting);
    } else {
      return rejectEditorOptions(error, "unknown option '" + name + "'");
    }
  }
  if (options.modulePath.empty()) return rejectEditorOptions(error, std::string(command) + " needs a MODULE");
  if (screenshot && options.outPath.empty()) return rejectEditorOptions(error, "screenshot needs --out FILE.png");
  return options;
}

std::optional<EditorSize> editorSize(HostedPlugin& plugin, std::string& error) {
  if (!(plugin.flags() & effFlagsHasEditor)) {
    error = "the module has no editor";
    return std::nullopt;
  }
  ERect* rect = nullptr;
  plugin.dispatch(effEditGetRect, 0, 0, &rect);
  if (!rect) {
    error = "the module gave no editor size";
    return std::nullopt;
  }
  const EditorSize size{rect->right - rect->left, rect->bottom - rect->top};
  if (size.width <= 0 || size.height <= 0 || size.width > kMaxEditorSide || size.height > kMaxEditorSide) {
    error = "the module gave an unusable editor size " + std::to_string(size.width) + "x" + std::to_string(size.height);
    return std::nullopt;
  }
  return size;
}

std::optional<EditorSize> requestedEditorSize(const HostSession& session, EditorSize size) {
  const EditorSize requested{session.requestedEditorWidth(), session.requestedEditorHeight()};
  if (requested.width > 0 && requested.height > 0 && requested.width <= kMaxEditorSide &&
      requested.height <= kMaxEditorSide && (requested.width != size.width || requested.height != size.height))
    return requested;
  return std::nullopt;
}

std::unique_ptr<HostedPlugin> openEditorInstance(const EditorOptions& options, HostSession& session,
                                                 std::ostream& err) {
  std::vector<ParamSetting> presetSettings;
  if (options.presetPath) {
    PresetFileResult preset = readPresetFile(*options.presetPath);
    if (!preset.ok()) {
      printError(err, preset.error);
      return nullptr;
    }
    for (const auto& warning : preset.warnings) printError(err, "preset '" + *options.presetPath + "' " + warning);
    presetSettings = std::move(preset.settings);
  }
  auto plugin = createPlugin(options.modulePath, session, err);
  if (!plugin) return nullptr;
  plugin->open();
  plugin->configure(session.sampleRate(), session.blockSize());
  plugin->setProcessing(true);
  applyPresetSettings(*plugin, presetSettings, err);
  for (const auto& setting : options.params) {
    std::string error;
    if (!applyParamSetting(*plugin, setting, error)) {
      printError(err, error);
      return nullptr;
    }
  }
  return plugin;
}

AudioPacer::AudioPacer(HostedPlugin& plugin, const HostSession& session)
    : plugin_(plugin),
      sampleRate_(session.sampleRate()),
      blockSize_(std::max<int32_t>(session.blockSize(), 1)),
      start_(Clock::now()) {
  const size_t frames = static_cast<size_t>(blockSize_);
  outputs_.assign(static_cast<size_t>(std::clamp(plugin.numOutputs(), 0, kMaxPluginChannels)),
                  std::vector<float>(frames));
  inputs_.assign(static_cast<size_t>(std::clamp(plugin.numInputs(), 0, kMaxPluginChannels)),
                 std::vector<float>(frames));
  for (auto& channel : outputs_) outputPointers_.push_back(channel.data());
  for (auto& channel : inputs_) inputPointers_.push_back(channel.data());
}

void AudioPacer::run() {
  VstEffect* effect = plugin_.effect();
  if (!effect || !effect->processReplacing) return;
  const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
  const int64_t due = static_cast<int64_t>(elapsed * sampleRate_);
  // A host that stalled skips what it missed rather than catching up.
  const int64_t limit = static_cast<int64_t>(sampleRate_);
  if (due - framesDone_ > limit) framesDone_ = due - limit;
  while (framesDone_ + blockSize_ <= due) {
    effect->processReplacing(effect, inputPointers_.data(), outputPointers_.data(), blockSize_);
    framesDone_ += blockSize_;
  }
}

void printEditorSummary(HostedPlugin& plugin, const HostSession& session, std::ostream& out) {
  for (int32_t i = 0; i < plugin.numParams(); ++i)
    out << "parameter " << i << ' ' << plugin.paramName(i) << " = " << formatFixed(plugin.getParameter(i), 6) << '\n';
  std::map<int32_t, int> open;
  for (const ParamEdit& edit : session.paramEdits()) {
    if (edit.kind == ParamEditKind::BeginEdit) ++open[edit.index];
    if (edit.kind == ParamEditKind::EndEdit) --open[edit.index];
  }
  int unbalanced = 0;
  for (const auto& [index, count] : open) {
    if (count == 0) continue;
    out << "edit gesture left " << (count > 0 ? "open" : "ended twice") << ": parameter " << index << '\n';
    ++unbalanced;
  }
  out << "edit gestures: " << (unbalanced ? "unbalanced" : "all closed") << '\n';
}

}  // namespace thudra::host
