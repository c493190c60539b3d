#include "platform/Folders.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

// Reads KEY="..." from a user-dirs.dirs file; "$HOME" expands and only
// absolute folders count.
std::string FromUserDirs(const std::string& file, const std::string& home, const std::string& key) {
  FILE* in = std::fopen(file.c_str(), "r");
  if (!in) return {};
  std::string result;
  char line[4096];
  while (std::fgets(line, sizeof line, in)) {
    const char* at = line;
    while (*at == ' ' || *at == '\t') ++at;
    if (std::strncmp(at, key.c_str(), key.size()) != 0 || at[key.size()] != '=') continue;
    at += key.size() + 1;
    std::string value(at);
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r' || value.back() == ' ')) value.pop_back();
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
    if (!value.empty() && value[0] == '/') result = value;
  }
  std::fclose(in);
  return result;
}

}  // namespace

std::string UserDirectory(const char* key, const char* fallbackName) {
  const std::string home = Env("HOME");
  std::string config = Env("XDG_CONFIG_HOME");
  if (config.empty() && !home.empty()) config = home + "/.config";
  if (!config.empty()) {
    std::string folder = FromUserDirs(config + "/user-dirs.dirs", home, key);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (!folder.empty()) return folder;
  }
  if (home.empty()) return {};
  return home + "/" + fallbackName;
}

std::string DocumentsFolder() { return UserDirectory("XDG_DOCUMENTS_DIR", "Documents"); }

std::string DesktopFolder() { return UserDirectory("XDG_DESKTOP_DIR", "Desktop"); }

std::string FolderOfPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash + 1 == path.size()) return {};
  return path.substr(0, slash + 1);
}

std::string ExecutableFolder() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  return FolderOfPath(std::string(path, size_t(length)));
}

std::string ModuleFolder() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&ModuleFolder), &info) || !info.dli_fname) return {};
  // A module opened by a relative name reports that name.
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved)) return FolderOfPath(resolved);
  return FolderOfPath(info.dli_fname);
}

}  // namespace platform
