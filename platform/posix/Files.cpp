#include "platform/Files.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace platform {

std::vector<FolderEntry> ListFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return entries;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    if (stat((folder + name).c_str(), &info) != 0) continue;
    if (!S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode)) continue;
    entries.push_back({name, S_ISDIR(info.st_mode), uint64_t(info.st_dev), uint64_t(info.st_ino)});
  }
  closedir(dir);
  // Sorted like a Windows file system lists them, so both platforms agree.
  std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
    const int byCase = strcasecmp(a.name.c_str(), b.name.c_str());
    return byCase != 0 ? byCase < 0 : a.name < b.name;
  });
  return entries;
}

bool FolderIdentity(const std::string& folder, uint64_t& volume, uint64_t& identity) {
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  volume = uint64_t(info.st_dev);
  identity = uint64_t(info.st_ino);
  return true;
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::FILE* OpenFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

bool ReplaceFileContents(const std::string& path, const std::string& bytes) {
  if (path.empty()) return false;
  // The temporary file goes into the target's folder, so the rename stays on
  // one file system, under a short name of its own: the target's name plus a
  // suffix would not fit when that name is already as long as names may be.
  const size_t slash = path.rfind('/');
  std::string temp = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + ".tvsave-XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  fchmod(fd, 0644);
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n <= 0) break;
    written += size_t(n);
  }
  const bool complete = written == bytes.size() && fsync(fd) == 0;
  const bool closed = close(fd) == 0;
  if (!complete || !closed || std::rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace platform
