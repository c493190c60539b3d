#include "tools/host/ParamSettings.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "tools/host/HostedPlugin.h"
#include "tools/host/MidiEvents.h"

namespace thudra::host {

namespace {

std::string_view trimmed(std::string_view text) {
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<std::string> paramNames(HostedPlugin& plugin) {
  std::vector<std::string> names;
  for (int32_t i = 0; i < plugin.numParams(); ++i) names.push_back(plugin.paramName(i));
  return names;
}

}  // namespace

std::optional<ParamSetting> parseParamSetting(const std::string& text, std::string& error) {
  const size_t equals = text.rfind('=');
  if (equals == std::string::npos || equals == 0) {
    error = "bad parameter setting '" + text + "': expected NAME_OR_INDEX=VALUE";
    return std::nullopt;
  }
  const auto value = parseNumber(trimmed(std::string_view(text).substr(equals + 1)));
  if (!value || *value < 0.0 || *value > 1.0) {
    error = "bad parameter setting '" + text + "': the value must be a number in 0..1";
    return std::nullopt;
  }
  return ParamSetting{text.substr(0, equals), *value};
}

PresetFileResult parsePresetText(const std::string& text) {
  PresetFileResult result;
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    const std::string_view content = trimmed(line);
    if (content.empty()) continue;
    const size_t equals = content.find('=');
    if (equals == std::string_view::npos) {
      result.warnings.push_back("line " + std::to_string(number) + ": no '=', skipped");
      continue;
    }
    if (equals == 0)  // unnamed entries are placeholders in saved presets
      continue;
    const auto value = parseNumber(trimmed(content.substr(equals + 1)));
    if (!value) {
      result.warnings.push_back("line " + std::to_string(number) + ": value is not a number, skipped");
      continue;
    }
    result.settings.push_back({std::string(content.substr(0, equals)), std::clamp(*value, 0.0, 1.0)});
  }
  return result;
}

PresetFileResult readPresetFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  PresetFileResult result;
  if (!file) {
    result.error = "cannot read preset file '" + path + "'";
    return result;
  }
  std::string text(kMaxPresetFileBytes + 1, '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (file.bad()) {
    result.error = "cannot read preset file '" + path + "'";
    return result;
  }
  text.resize(static_cast<size_t>(file.gcount()));
  if (text.size() > kMaxPresetFileBytes) {
    result.error = "preset file '" + path + "' is larger than " + std::to_string(kMaxPresetFileBytes) + " bytes";
    return result;
  }
  return parsePresetText(text);
}

int applyPresetSettings(HostedPlugin& plugin, const std::vector<ParamSetting>& settings, std::ostream& warnings) {
  const auto names = paramNames(plugin);
  int applied = 0;
  for (const auto& setting : settings) {
    const auto found = std::find(names.begin(), names.end(), setting.nameOrIndex);
    if (found == names.end()) {
      warnings << "preset: no parameter named '" << setting.nameOrIndex << "', skipped\n";
      continue;
    }
    plugin.setParameter(static_cast<int32_t>(found - names.begin()), static_cast<float>(setting.normalized));
    ++applied;
  }
  return applied;
}

bool applyParamSetting(HostedPlugin& plugin, const ParamSetting& setting, std::string& error) {
  if (auto index = plugin.findParam(setting.nameOrIndex)) {
    plugin.setParameter(*index, static_cast<float>(setting.normalized));
    return true;
  }
  const auto index = parseInteger(setting.nameOrIndex);
  if (index && *index >= 0 && *index < plugin.numParams()) {
    plugin.setParameter(static_cast<int32_t>(*index), static_cast<float>(setting.normalized));
    return true;
  }
  error = "no parameter named or numbered '" + setting.nameOrIndex + "'";
  return false;
}

}  // namespace thudra::host
