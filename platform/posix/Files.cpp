#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>

namespace platform {

std::vector<FolderEntry> ListFolder(const std::string& folder, size_t maxNames, size_t* namesRead) {
  std::vector<FolderEntry> entries;
  size_t read = 0;
  DIR* dir = opendir(folder.c_str());
  if (dir) {
    while (read < maxNames) {
      const dirent* entry = readdir(dir);
      if (!entry) break;
      ++read;
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      const std::string path = folder + name;
      struct stat info {};
      if (stat(path.c_str(), &info) != 0) continue;
      if (!S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode)) continue;
      struct stat own {};
      const bool isLink = lstat(path.c_str(), &own) == 0 && S_ISLNK(own.st_mode);
      entries.push_back({name, S_ISDIR(info.st_mode), isLink, uint64_t(info.st_dev), uint64_t(info.st_ino)});
    }
    closedir(dir);
  }
  if (namesRead) *namesRead = read;
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

bool MakeFolders(const std::string& folder) {
  if (folder.empty()) return false;
  auto isFolder = [](const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  };
  // Each prefix ending before a separator, then the whole path; folders
  // that exist are left alone (their parents may be read-only).
  for (size_t at = folder.find('/', 1);; at = folder.find('/', at + 1)) {
    const std::string path = folder.substr(0, at);
    if (!isFolder(path) && mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return false;
    if (at == std::string::npos) break;
  }
  return isFolder(folder);
}

namespace {

constexpr int kMaxLinkHops = 40;  // as the kernel allows when it resolves a path

// The file a save at path lands in: symbolic links are followed to their
// target, even a target that does not exist yet. False for a link loop.
bool FollowLinks(std::string& path) {
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
    std::string target(size_t(info.st_size > 0 ? info.st_size : 0) + 256, '\0');
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length <= 0 || size_t(length) >= target.size()) return false;
    target.resize(size_t(length));
    if (target[0] == '/') {
      path = target;
    } else {
      const size_t slash = path.rfind('/');
      path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + target;
    }
  }
  return false;
}

// A new file beside path with a name of its own, opened for writing with the
// usual permissions (0666 less the umask). -1 when none could be made.
int CreateTemporaryBeside(const std::string& path, std::string& temp) {
  // A short name: the target's name plus a suffix would not fit when that
  // name is already as long as names may be.
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  static std::atomic<uint32_t> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const uint64_t stamp = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    char name[64];
    std::snprintf(name, sizeof name, ".tvsave-%x-%x-%llx", unsigned(getpid()), unsigned(counter++),
                  static_cast<unsigned long long>(stamp & 0xFFFFFFFFFFull));
    temp = folder + name;
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

bool ReplaceFileContents(const std::string& path, const std::string& bytes) {
  if (path.empty()) return false;
  std::string target = path;
  if (!FollowLinks(target)) return false;
  struct stat existing {};
  const bool exists = stat(target.c_str(), &existing) == 0;
  // Renaming over a folder, pipe or device would replace something that is
  // not a preset.
  if (exists && !S_ISREG(existing.st_mode)) return false;

  // The temporary file goes into the target's folder, so the rename stays on
  // one file system.
  std::string temp;
  const int fd = CreateTemporaryBeside(target, temp);
  if (fd < 0) return false;
  bool complete = !exists || fchmod(fd, existing.st_mode & 07777) == 0;
  size_t written = 0;
  while (complete && written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    written += size_t(n);
  }
  complete = complete && written == bytes.size() && fsync(fd) == 0;
  const bool closed = close(fd) == 0;
  if (!complete || !closed || std::rename(temp.c_str(), target.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace platform
