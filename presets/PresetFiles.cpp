#include "presets/PresetFiles.h"

#include <algorithm>
#include <charconv>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <stdexcept>
#include <vector>

#include "graphics/PopupMenu.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Lock.h"
#include "plugin/PlugBase.h"

namespace {

constexpr int kMaxScanDepth = PopupMenu::kMaxDepth;
constexpr size_t kMaxLineLength = 255;             // longer lines are cut, never split
constexpr int kNameField = 32;                     // a name longer than this does not parse
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

// One folder waiting to be listed into its menu.
struct PendingFolder {
  std::string path;
  PopupMenu* menu;
  int depth;
};

// Lists the tree breadth first: a whole level is listed before anything
// below it, so a deep or huge sub-tree can use up the entry budget but
// never hide a shallower sound. Each real folder is entered once: the
// first place it is met claims it, a real folder before a link to it, and
// every other path to it (a second link, a cycle) is left out.
void ScanTree(const std::string& folder, const char* extension, PopupMenu& menu) {
  std::set<FolderId> claimed;
  FolderId root;
  if (platform::FolderIdentity(folder, root.first, root.second)) claimed.insert(root);
  std::deque<PendingFolder> pending{{folder, &menu, 0}};
  size_t budget = kMaxScanEntries;
  while (!pending.empty() && budget > 0) {
    const PendingFolder at = std::move(pending.front());
    pending.pop_front();
    size_t read = 0;
    const std::vector<platform::FolderEntry> entries = platform::ListFolder(at.path, budget, &read);
    budget -= std::min(read, budget);

    std::vector<bool> enter(entries.size(), false);
    for (const bool links : {false, true}) {
      for (size_t i = 0; i < entries.size(); ++i) {
        const platform::FolderEntry& entry = entries[i];
        if (entry.isFolder && entry.isLink == links)
          enter[i] = claimed.insert(FolderId{entry.volume, entry.identity}).second;
      }
    }
    for (size_t i = 0; i < entries.size(); ++i) {
      const platform::FolderEntry& entry = entries[i];
      if (entry.isFolder) {
        if (!enter[i]) continue;
        auto submenu = std::make_unique<PopupMenu>();
        PopupMenuItem* item = at.menu->AddItem(entry.name.c_str());
        if (!item) continue;
        item->submenu = submenu.release();
        if (at.depth + 2 < kMaxScanDepth) pending.push_back({at.path + entry.name + "/", item->submenu, at.depth + 1});
      } else if (EndsWith(entry.name, extension)) {
        const std::string text = entry.name.substr(0, entry.name.size() - std::strlen(extension));
        PopupMenuItem* item = at.menu->AddItem(text.c_str());
        if (!item) continue;
        if (!item->filePath.Set((at.path + entry.name).c_str())) {
          delete at.menu->items.Take(at.menu->ItemCount() - 1);  // a sound without its file
          continue;
        }
        item->notAPreset = false;
      }
    }
  }
}

// "%s=%f" whatever the process locale is, ended as text files are on this
// platform (editors on Windows expect CR LF).
std::string PresetLine(const char* name, double value) {
  char number[64];
  const auto result = std::to_chars(number, number + sizeof number, value, std::chars_format::fixed, 6);
  *result.ptr = 0;
  return std::string(name) + "=" + number + platform::kLineEnd;
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

std::string PrepareSaveFolder() {
  const std::string save = PresetSaveFolder();
  if (platform::MakeFolders(save)) return save;
  const std::string root = PresetRootFolder();
  uint64_t volume = 0, identity = 0;
  if (platform::FolderIdentity(root, volume, identity)) return root;
  return platform::DocumentsFolder();
}

std::string WithPresetExtension(const std::string& name) {
  const size_t n = kPresetExtensionLength;
  const bool hasIt =
      name.size() >= n && std::equal(name.end() - n, name.end(), kPresetExtension, [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
      });
  return hasIt ? name : name + kPresetExtension;
}

void ScanPresetFolder(const std::string& folder, const char* extension, PopupMenu& menu) {
  if (!extension) return;
  // The scan runs inside host calls (creating an instance, a click): when
  // memory runs out, the menu keeps what was listed and the host carries on.
  try {
    ScanTree(folder, extension, menu);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
}

bool SavePresetFile(PlugBase& plug, const std::string& path) {
  if (path.empty()) return false;
  std::string text;
  {
    LockHold hold(plug.InstanceLock());
    for (int32_t i = 0; i < plug.PresetSavedParams(); ++i) {
      const PlugParam* param = plug.ParamAt(i);
      text += param ? PresetLine(param->Name(), param->NormalizedValue()) : PresetLine("", 0.0);
    }
  }
  return platform::ReplaceFileContents(path, text);
}

bool LoadPresetFile(PlugBase& plug, std::string path) {
  const int32_t loaded = plug.PresetLoadedParams();
  const auto lines = ReadLines(path, loaded);
  if (!lines) return false;
  // Read first, then apply under the lock: a preset never lands half-way
  // through a rendered block.
  LockHold hold(plug.InstanceLock());
  for (int32_t i = 0; i < loaded && i < int32_t(lines->size()); ++i) {
    if (const auto parsed = ParsePresetLine((*lines)[size_t(i)])) plug.ParamFromPreset(i, *parsed);
  }
  return true;
}
