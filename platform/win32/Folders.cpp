#include "platform/Folders.h"

#include <windows.h>
#include <shlobj.h>

#include "platform/win32/Utf.h"

namespace platform {

// The wide call, so that a user name outside the ANSI code page still gives
// a usable UTF-8 path.
std::string DocumentsFolder() {
  wchar_t path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path))) {
    return {};
  }
  std::string folder = Utf8FromWide(path);
  while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

}  // namespace platform
