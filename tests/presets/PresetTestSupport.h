#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "graphics/HeadlessEditor.h"
#include "graphics/PlatformEditor.h"
#include "instrument/MidiLearnTable.h"
#include "instrument/Thudrix.h"
#include "presets/CurrentPresetList.h"
#include "presets/PresetFiles.h"

namespace fs = std::filesystem;

// A scratch preset root that is removed afterwards.
class ScratchFolder {
public:
  ScratchFolder() {
    char name[] = "/tmp/thudra-presets-XXXXXX";
    path_ = mkdtemp(name);
  }
  // Tests take permissions away; they are given back everywhere first.
  ~ScratchFolder() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (auto& entry : fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ignored))
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
  }
  std::string Root() const { return path_ + "/"; }
  std::string Write(const std::string& relative, const std::string& text) const {
    const fs::path file = fs::path(path_) / relative;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
    return file.string();
  }
  void MakeFolder(const std::string& relative) const { fs::create_directories(fs::path(path_) / relative); }

private:
  std::string path_;
};

inline std::string PresetText(const std::vector<std::pair<std::string, double>>& lines) {
  std::string text;
  char number[64];
  for (const auto& [name, value] : lines) {
    std::snprintf(number, sizeof number, "%f", value);
    text += name + "=" + number + "\n";
  }
  return text;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Instruments made by these tests get an off-screen editor whose menus and
// dialogs the tests script.
inline Editor* MakeHeadlessEditor(PlugBase* plug, int32_t width, int32_t height, int32_t frameRate) {
  return new HeadlessEditor(plug, width, height, frameRate);
}
struct HeadlessEditors {
  HeadlessEditors() { SetEditorFactory(&MakeHeadlessEditor); }
  ~HeadlessEditors() { SetEditorFactory(nullptr); }
};
