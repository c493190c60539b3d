#include <array>
#include <utility>

#include "tools/host/CommandSupport.h"
#include "tools/host/HostCommands.h"
#ifdef THUDRA_HOST_LV2
#include "tools/host/Lv2Commands.h"
#include "tools/host/Lv2Plugin.h"
#endif

namespace thudra::host {

using namespace vst2;

namespace {

std::string categoryName(int32_t category) {
  static const std::array<const char*, 12> names{"unknown",     "effect",      "synth",   "analysis",
                                                 "mastering",   "spacializer", "room fx", "surround fx",
                                                 "restoration", "offline",     "shell",   "generator"};
  return category >= 0 && category < static_cast<int32_t>(names.size()) ? names[category] : "unknown";
}

std::string decodedFlags(int32_t flags) {
  static const std::pair<int32_t, const char*> known[] = {
      {effFlagsHasEditor, "HasEditor"},
      {effFlagsHasClip, "HasClip"},
      {effFlagsHasVu, "HasVu"},
      {effFlagsCanMono, "CanMono"},
      {effFlagsCanReplacing, "CanReplacing"},
      {effFlagsProgramChunks, "ProgramChunks"},
      {effFlagsIsSynth, "IsSynth"},
      {effFlagsNoSoundInStop, "NoSoundInStop"},
      {effFlagsExtIsAsync, "ExtIsAsync"},
      {effFlagsExtHasBuffer, "ExtHasBuffer"},
      {effFlagsCanDoubleReplacing, "CanDoubleReplacing"},
  };
  std::string text;
  int32_t rest = flags;
  for (const auto& [bit, name] : known) {
    if (flags & bit) {
      text += text.empty() ? "" : " ";
      text += name;
      rest &= ~bit;
    }
  }
  if (rest) text += (text.empty() ? "" : " ") + formatHex32(rest);
  return text.empty() ? "none" : text;
}

void printParameters(HostedPlugin& plugin, std::ostream& out) {
  out << "parameters:  " << plugin.numParams() << '\n';
  for (int32_t i = 0; i < plugin.numParams(); ++i) {
    out << "  " << i << "  name \"" << plugin.paramName(i) << "\"  display \"" << plugin.paramDisplay(i)
        << "\"  label \"" << plugin.paramLabel(i) << "\"  value " << formatFixed(plugin.getParameter(i), 6) << '\n';
  }
}

}  // namespace

void printPluginInfo(HostedPlugin& plugin, std::ostream& out) {
  out << "module:      " << plugin.module().path() << '\n'
      << "effect:      " << plugin.effectName() << '\n'
      << "vendor:      " << plugin.vendorString() << '\n'
      << "product:     " << plugin.productString() << '\n'
      << "unique id:   '" << fourCharText(plugin.uniqueId()) << "' (" << formatHex32(plugin.uniqueId()) << ")\n"
      << "version:     " << plugin.version() << '\n'
      << "vst version: " << plugin.vstVersion() << '\n'
      << "category:    " << plugin.category() << " (" << categoryName(plugin.category()) << ")\n"
      << "flags:       " << formatHex32(plugin.flags()) << " (" << decodedFlags(plugin.flags()) << ")\n"
      << "inputs:      " << plugin.numInputs() << '\n'
      << "outputs:     " << plugin.numOutputs() << '\n'
      << "programs:    " << plugin.numPrograms() << '\n';
  printParameters(plugin, out);
}

int runInfoCommand(const CommandArgs& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 1 || args[0].starts_with("--")) {
    printError(err, "usage: thudra-host info MODULE");
    return kExitUsage;
  }
#ifdef THUDRA_HOST_LV2
  if (isLv2Target(args[0])) return runLv2Info(args[0], out, err);
#endif
  HostSession session(48000.0, 512, kVstProcessLevelRealtime);
  auto plugin = createPlugin(args[0], session, err);
  if (!plugin) return kExitFailure;
  plugin->open();
  plugin->configure(session.sampleRate(), session.blockSize());
  printPluginInfo(*plugin, out);
  return kExitOk;
}

}  // namespace thudra::host
