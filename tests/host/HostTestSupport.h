// Shared pieces of the host tests: running the command line in-process,
// scratch folders, and keeping a test module loaded to read its state.
#pragma once

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/host/ClickSynthLog.h"
#include "tools/host/HostCommands.h"

namespace hosttest {

struct CommandOutcome {
  int exitCode;
  std::string out;
  std::string err;
};

inline CommandOutcome runHostCommand(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = thudra::host::runHost(args, out, err);
  return {code, out.str(), err.str()};
}

// A fresh folder under the system temp folder, removed afterwards.
class ScratchFolder {
public:
  ScratchFolder() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("thudra-host-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
  }
  ~ScratchFolder() { std::filesystem::remove_all(path_); }

  std::string file(const std::string& name) const { return (path_ / name).string(); }

  std::string write(const std::string& name, const std::string& bytes) const {
    std::ofstream(file(name), std::ios::binary) << bytes;
    return file(name);
  }

private:
  std::filesystem::path path_;
};

// Holds a module open so that its state outlives the host's own load.
class ModuleProbe {
public:
  explicit ModuleProbe(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
  ~ModuleProbe() {
    if (handle_) dlclose(handle_);
  }
  template <typename Function>
  Function symbol(const char* name) const {
    return handle_ ? reinterpret_cast<Function>(dlsym(handle_, name)) : nullptr;
  }

private:
  void* handle_;
};

// The click synth's log, kept readable across host runs.
class ClickSynthProbe {
public:
  ClickSynthProbe() : probe_(CLICK_SYNTH_PATH) {}
  const ClickSynthLog& log() const {
    auto get = probe_.symbol<ClickSynthGetLogProc>("ClickSynthGetLog");
    EXPECT_NE(get, nullptr);
    return *get();
  }

private:
  ModuleProbe probe_;
};

inline size_t lineCount(const std::string& text) {
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

}  // namespace hosttest
