// The thudra-host command line: a table of subcommands and their runners.
#pragma once

#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "tools/host/MidiEvents.h"
#include "tools/host/ParamSettings.h"

namespace thudra::host {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr double kMaxRenderSeconds = 3600.0;

using CommandArgs = std::vector<std::string>;
using CommandRunner = int (*)(const CommandArgs& args, std::ostream& out, std::ostream& err);

// New subcommands (an editor screenshot, an editor window) are added as
// rows of this table.
struct Subcommand {
  const char* name;
  const char* usage;  // arguments after the name
  const char* summary;
  CommandRunner run;
};

std::span<const Subcommand> subcommands();

// Runs the command line without the program name; messages on `err` are
// one line each, prefixed "thudra-host: ".
int runHost(const CommandArgs& args, std::ostream& out, std::ostream& err);

class HostedPlugin;
void printPluginInfo(HostedPlugin& plugin, std::ostream& out);

int runInfoCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);
int runRenderCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);
int runScreenshotCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);
int runGuiCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);

struct RenderOptions {
  std::string modulePath;
  std::string outPath;
  int sampleRate = 48000;
  int blockSize = 256;
  std::optional<double> lengthSeconds;
  double tailSeconds = 2.0;
  std::vector<TimedMidiMessage> notes;
  std::optional<std::string> midiPath;
  std::optional<std::string> presetPath;
  std::vector<ParamSetting> params;
  bool doublePrecision = false;
};

std::optional<RenderOptions> parseRenderOptions(const CommandArgs& args, std::string& error);

// Frames to render: the given length, else the last message plus the tail.
int64_t renderLengthFrames(const RenderOptions& options, std::span<const TimedMidiMessage> messages);

}  // namespace thudra::host
