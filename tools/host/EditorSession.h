// What the editor subcommands share on every platform: their options, the
// instance they open the editor of, its editor size, the audio they keep
// running while the editor is shown, and the summary `gui` prints at the end.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/host/CommandSupport.h"
#include "tools/host/HostCommands.h"
#include "tools/host/HostSession.h"
#include "tools/host/HostedPlugin.h"
#include "tools/host/PngWriter.h"

namespace thudra::host {

constexpr int32_t kMaxEditorSide = 8192;

struct EditorOptions {
  std::string modulePath;
  std::string outPath;  // screenshot: required; gui: the last picture, when given
  std::optional<double> seconds;
  std::optional<std::string> presetPath;
  std::vector<ParamSetting> params;
};

std::optional<EditorOptions> parseEditorOptions(const CommandArgs& args, bool screenshot, std::string& error);

struct EditorSize {
  int32_t width = 0;
  int32_t height = 0;
};

std::optional<EditorSize> editorSize(HostedPlugin& plugin, std::string& error);

// The size the plug-in asked for, when it is usable and differs from `size`.
std::optional<EditorSize> requestedEditorSize(const HostSession& session, EditorSize size);

// Creates the instance, starts it and applies the preset and the settings;
// null (with the reason printed) on failure.
std::unique_ptr<HostedPlugin> openEditorInstance(const EditorOptions& options, HostSession& session, std::ostream& err);

// Runs the plug-in's audio at the session's rate as time passes, as a host's
// audio thread would, so that what the editor shows of the sound (the hit
// light) behaves as in a host. The output is not played.
class AudioPacer {
public:
  AudioPacer(HostedPlugin& plugin, const HostSession& session);
  // Renders the blocks due by now (at most a second's worth).
  void run();

private:
  using Clock = std::chrono::steady_clock;
  HostedPlugin& plugin_;
  double sampleRate_;
  int32_t blockSize_;
  Clock::time_point start_;
  int64_t framesDone_ = 0;
  std::vector<std::vector<float>> outputs_;
  std::vector<float*> outputPointers_;
  std::vector<std::vector<float>> inputs_;
  std::vector<float*> inputPointers_;
};

// Each parameter's name and value, and every parameter whose edit gesture
// the editor began but never ended (a host's touch automation stuck open).
void printEditorSummary(HostedPlugin& plugin, const HostSession& session, std::ostream& out);

// Creates the instance, applies the settings and opens its editor in a
// window of the platform's HostWindow; runs `body` with the editor open and
// closes the editor before the window.
template <typename HostWindow, typename Body>
int withOpenEditor(const EditorOptions& options, std::ostream& err, Body body) {
  HostSession session(48000.0, 256, vst2::kVstProcessLevelUser);
  auto plugin = openEditorInstance(options, session, err);
  if (!plugin) return kExitFailure;
  std::string error;
  auto size = editorSize(*plugin, error);
  if (!size) return fail(err, error, kExitFailure);
  auto window = HostWindow::open(*size, plugin->effectName(), error);
  if (!window) return fail(err, error, kExitFailure);
  if (plugin->dispatch(vst2::effEditOpen, 0, 0, window->parent()) == 0)
    return fail(err, "the module did not open its editor", kExitFailure);
  const int result = body(*plugin, session, *window, *size);
  plugin->dispatch(vst2::effEditClose);
  return result;
}

// The window's picture, editor included, as a PNG file.
template <typename HostWindow>
bool writePicture(HostWindow& window, EditorSize size, const std::string& path, std::string& error) {
  std::vector<uint8_t> rgb;
  return window.capture(size, rgb, error) && writeRgbPng(path, size.width, size.height, rgb, error);
}

}  // namespace thudra::host
