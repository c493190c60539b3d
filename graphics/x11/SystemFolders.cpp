#include "graphics/x11/SystemFolders.h"

#include "platform/Folders.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace desktop {

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

std::string DesktopFolder() { return platform::UserDirectory("XDG_DESKTOP_DIR", "Desktop"); }

}  // namespace desktop
