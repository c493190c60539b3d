#include "platform/Folders.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

// Reads XDG_DOCUMENTS_DIR="..." from a user-dirs.dirs file; "$HOME" expands.
std::string DocumentsFromUserDirs(const std::string& file, const std::string& home) {
  FILE* in = std::fopen(file.c_str(), "r");
  if (!in) return {};
  std::string result;
  char line[4096];
  while (std::fgets(line, sizeof line, in)) {
    const char* at = line;
    while (*at == ' ' || *at == '\t') ++at;
    static const char kKey[] = "XDG_DOCUMENTS_DIR=";
    if (std::strncmp(at, kKey, sizeof kKey - 1) != 0) continue;
    at += sizeof kKey - 1;
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

std::string DocumentsFolder() {
  const std::string home = Env("HOME");
  std::string config = Env("XDG_CONFIG_HOME");
  if (config.empty() && !home.empty()) config = home + "/.config";
  if (!config.empty()) {
    std::string documents = DocumentsFromUserDirs(config + "/user-dirs.dirs", home);
    while (documents.size() > 1 && documents.back() == '/') documents.pop_back();
    if (!documents.empty()) return documents;
  }
  if (home.empty()) return {};
  return home + "/Documents";
}

}  // namespace platform
