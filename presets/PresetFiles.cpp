#include "presets/PresetFiles.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "graphics/Editor.h"
#include "graphics/PopupMenu.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Lock.h"
#include "plugin/PlugBase.h"

namespace {

constexpr int kMaxScanDepth = PopupMenu::kMaxDepth;
constexpr size_t kMaxLineLength = 255;  // longer lines are cut, never split
constexpr int kNameField = 32;          // a name longer than this does not parse
constexpr size_t kMaxPresetFileBytes = 64 * 1024;  // a preset is under 1 KB

struct Folders {
  std::string root;
  std::string save;
};

PlainLock& FoldersLock() {
  static PlainLock lock;
  return lock;
}

Folders& CurrentFolders() {
  static Folders folders = [] {
    Folders f;
    const char sep = platform::kPathSeparator;
    f.root = platform::DocumentsFolder() + sep + "Tarvolin Instruments" + sep + "Tarvolin Thudra Presets" + sep;
    f.save = f.root + "User Presets" + sep;
    return f;
  }();
  return folders;
}

bool EndsWith(const std::string& name, const char* extension) {
  const size_t n = std::strlen(extension);
  return name.size() >= n && name.compare(name.size() - n, n, extension) == 0;
}

using FolderId = std::pair<uint64_t, uint64_t>;

void ScanInto(const std::string& folder, const char* extension, PopupMenu& menu, std::vector<FolderId>& path) {
  if (int(path.size()) >= kMaxScanDepth) return;
  for (const platform::FolderEntry& entry : platform::ListFolder(folder)) {
    if (entry.isFolder) {
      const FolderId id{entry.volume, entry.identity};
      if (std::find(path.begin(), path.end(), id) != path.end()) continue;  // a link cycle
      auto* submenu = new PopupMenu();
      path.push_back(id);
      ScanInto(folder + entry.name + "/", extension, *submenu, path);
      path.pop_back();
      menu.AddItem(entry.name.c_str(), submenu);
    } else if (EndsWith(entry.name, extension)) {
      const std::string text = entry.name.substr(0, entry.name.size() - std::strlen(extension));
      PopupMenuItem* item = menu.AddItem(text.c_str());
      if (!item) continue;
      item->filePath.Set((folder + entry.name).c_str());
      item->notAPreset = false;
    }
  }
}

// "%s=%f" whatever the process locale is.
std::string PresetLine(const char* name, double value) {
  char number[64];
  const auto result = std::to_chars(number, number + sizeof number, value, std::chars_format::fixed, 6);
  *result.ptr = 0;
  return std::string(name) + "=" + number + "\n";
}

// "%32[^=]=%f": a name of 1 to 32 characters other than "=", "=", then a
// number. Values that are not finite do not parse.
std::optional<double> ParsePresetLine(const std::string& line) {
  const size_t equals = line.find('=');
  if (equals == std::string::npos || equals == 0 || equals > size_t(kNameField)) return std::nullopt;
  const char* at = line.c_str() + equals + 1;
  while (*at == ' ' || *at == '\t' || *at == '\n' || *at == '\r' || *at == '\v' || *at == '\f') ++at;
  const bool negative = *at == '-';
  if (*at == '+' || *at == '-') ++at;
  float value = 0.0f;
  const auto result = std::from_chars(at, line.c_str() + line.size(), value);
  if (result.ec != std::errc() || result.ptr == at || !std::isfinite(value)) return std::nullopt;
  return negative ? -double(value) : double(value);
}

// Reads up to count lines, each cut at kMaxLineLength characters. A file
// longer than kMaxPresetFileBytes is no preset and is refused whole, after
// reading no more than that.
std::optional<std::vector<std::string>> ReadLines(const std::string& path, int count) {
  // Only regular files: opening a pipe or a device could block or never end.
  if (!platform::IsRegularFile(path)) return std::nullopt;
  FILE* in = platform::OpenFile(path, "rb");
  if (!in) return std::nullopt;
  std::string text(kMaxPresetFileBytes + 1, '\0');
  const size_t got = std::fread(text.data(), 1, text.size(), in);
  std::fclose(in);
  if (got > kMaxPresetFileBytes) return std::nullopt;
  text.resize(got);
  std::vector<std::string> lines;
  size_t at = 0;
  while (int(lines.size()) < count && at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, std::min(end - at, kMaxLineLength)));
    at = end + 1;
  }
  return lines;
}

}  // namespace

std::string PresetRootFolder() {
  LockHold hold(FoldersLock());
  return CurrentFolders().root;
}

std::string PresetSaveFolder() {
  LockHold hold(FoldersLock());
  return CurrentFolders().save;
}

void SetPresetRootFolder(const std::string& root) {
  LockHold hold(FoldersLock());
  CurrentFolders().root = root;
  CurrentFolders().save = root + "User Presets" + platform::kPathSeparator;
}

void ScanPresetFolder(const std::string& folder, const char* extension, PopupMenu& menu) {
  if (!extension) return;
  std::vector<FolderId> path;
  FolderId root;
  if (platform::FolderIdentity(folder, root.first, root.second)) path.push_back(root);
  ScanInto(folder, extension, menu, path);
}

bool SavePresetFile(PlugBase& plug, const std::string& path) {
  if (path.empty()) return false;
  std::string text;
  {
    LockHold hold(plug.InstanceLock());
    for (int32_t i = 0; i < kPresetSavedLines; ++i) {
      const PlugParam* param = plug.ParamAt(i);
      text += param ? PresetLine(param->Name(), param->NormalizedValue()) : PresetLine("", 0.0);
    }
  }
  return platform::ReplaceFileContents(path, text);
}

bool LoadPresetFile(PlugBase& plug, std::string path) {
  const auto lines = ReadLines(path, kPresetLoadedLines);
  if (!lines) return false;
  // Read first, then apply under the lock: a preset never lands half-way
  // through a rendered block.
  LockHold hold(plug.InstanceLock());
  for (int32_t i = 0; i < kPresetLoadedLines && i < int32_t(lines->size()); ++i) {
    const auto parsed = ParsePresetLine((*lines)[size_t(i)]);
    PlugParam* param = plug.ParamAt(i);
    if (!parsed || !param) continue;
    // Normalized values live in 0..1; anything else would drive the circuit
    // model outside its range.
    const double v = std::clamp(*parsed, 0.0, 1.0);
    param->SetFromNormalized(v);
    plug.ParamChanged(i);
    if (Editor* editor = plug.GetEditor()) editor->ParamToControls(i, v, true);
    plug.HostAutomate(i, v);
  }
  return true;
}
