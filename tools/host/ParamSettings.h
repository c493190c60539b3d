// Parameter values given on the command line or in a preset file, and
// applying them to a plug-in through setParameter.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace thudra::host {

class HostedPlugin;

constexpr size_t kMaxPresetFileBytes = 1024 * 1024;

struct ParamSetting {
  std::string nameOrIndex;
  double normalized;
};

// "NAME_OR_INDEX=VALUE" with VALUE in 0..1 (C locale).
std::optional<ParamSetting> parseParamSetting(const std::string& text, std::string& error);

struct PresetFileResult {
  std::vector<ParamSetting> settings;  // named lines in file order
  std::vector<std::string> warnings;   // lines that were skipped, and why
  std::string error;                   // file-level failure
  bool ok() const { return error.empty(); }
};

// Lines "NAME=VALUE"; lines with an empty name, blank lines and lines whose
// value is not a number are skipped. Values are held to 0..1.
PresetFileResult parsePresetText(const std::string& text);
PresetFileResult readPresetFile(const std::string& path);

// Applies preset settings by exact name; unknown names are skipped with a
// warning. Returns the number of parameters set.
int applyPresetSettings(HostedPlugin& plugin, const std::vector<ParamSetting>& settings, std::ostream& warnings);

// Applies one --param setting: an exact name first, else an index.
bool applyParamSetting(HostedPlugin& plugin, const ParamSetting& setting, std::string& error);

}  // namespace thudra::host
