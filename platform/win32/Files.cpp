#include "platform/Files.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>

#include "platform/win32/Utf.h"

namespace platform {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Opens a file or folder for reading its identity only.
HANDLE OpenForIdentity(const std::wstring& path) {
  return CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool IdentityOf(const std::wstring& path, uint64_t& volume, uint64_t& identity, DWORD* attributes) {
  HANDLE handle = OpenForIdentity(path);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  if (!known) return false;
  volume = info.dwVolumeSerialNumber;
  identity = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  if (attributes) *attributes = info.dwFileAttributes;
  return true;
}

// Case-blind order as the POSIX listing uses: ASCII letters folded, other
// characters by their UTF-8 bytes, ties broken by the exact name.
int CompareIgnoringCase(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
    if (ca >= 'A' && ca <= 'Z') ca = static_cast<unsigned char>(ca - 'A' + 'a');
    if (cb >= 'A' && cb <= 'Z') cb = static_cast<unsigned char>(cb - 'A' + 'a');
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

std::vector<FolderEntry> ListFolder(const std::string& folder, size_t maxNames, size_t* namesRead) {
  std::vector<FolderEntry> entries;
  if (namesRead) *namesRead = 0;
  if (folder.empty() || maxNames == 0) return entries;
  std::wstring base = WideFromUtf8(folder);
  if (base.empty()) return entries;
  if (base.back() != L'\\' && base.back() != L'/') base.push_back(L'\\');

  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((base + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return entries;
  size_t read = 0;
  do {
    ++read;
    const std::wstring wideName = found.cFileName;
    if (wideName == L"." || wideName == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) continue;
    FolderEntry entry;
    entry.name = Utf8FromWide(wideName.c_str());
    if (entry.name.empty()) continue;
    // Links are followed: the target's attributes decide. An entry that
    // cannot be opened (a dangling link, no access) is left out, as an
    // unreadable one is on POSIX.
    DWORD attributes = found.dwFileAttributes;
    if (!IdentityOf(base + wideName, entry.volume, entry.identity, &attributes)) continue;
    entry.isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (attributes & FILE_ATTRIBUTE_DEVICE) continue;
    entries.push_back(std::move(entry));
  } while (read < maxNames && FindNextFileW(search, &found));
  FindClose(search);
  if (namesRead) *namesRead = read;

  std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
    const int byCase = CompareIgnoringCase(a.name, b.name);
    return byCase != 0 ? byCase < 0 : a.name < b.name;
  });
  return entries;
}

bool FolderIdentity(const std::string& folder, uint64_t& volume, uint64_t& identity) {
  std::string path = folder;
  // CreateFileW opens "C:\" but not "C:\dir\" with its trailing separator
  // on every system; drop it except for a drive root.
  while (path.size() > 3 && IsSeparator(path.back())) path.pop_back();
  const std::wstring wide = WideFromUtf8(path);
  if (wide.empty()) return false;
  DWORD attributes = 0;
  uint64_t v = 0, id = 0;
  if (!IdentityOf(wide, v, id, &attributes) || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  volume = v;
  identity = id;
  return true;
}

bool IsRegularFile(const std::string& path) {
  if (path.empty()) return false;
  const std::wstring wide = WideFromUtf8(path);
  if (wide.empty()) return false;
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return false;
  // A name like "CON" or "COM1" opens a device, not a file.
  HANDLE handle = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool isDisk = GetFileType(handle) == FILE_TYPE_DISK;
  CloseHandle(handle);
  return isDisk;
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  // The wide call: the narrow one would read the path in the ANSI code page.
  return _wfopen(WideFromUtf8(path).c_str(), WideFromUtf8(mode).c_str());
}

bool MakeFolders(const std::string& folder) {
  std::string path = folder;
  while (path.size() > 3 && IsSeparator(path.back())) path.pop_back();
  const std::wstring wide = WideFromUtf8(path);
  if (wide.empty()) return false;
  // Each prefix ending at a separator, then the whole path; a drive or share
  // prefix simply fails to be created and exists already.
  for (size_t at = 0; at < wide.size(); ++at) {
    if (at > 0 && (wide[at] == L'\\' || wide[at] == L'/')) CreateDirectoryW(wide.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryW(wide.c_str(), nullptr);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

// The file a save at target lands in: a symbolic link is followed to the
// file it names. A path that does not exist yet (or cannot be opened)
// stays as it is.
std::wstring FinalPath(const std::wstring& target) {
  HANDLE handle = OpenForIdentity(target);
  if (handle == INVALID_HANDLE_VALUE) return target;
  std::wstring path(MAX_PATH, L'\0');
  DWORD length = GetFinalPathNameByHandleW(handle, path.data(), DWORD(path.size()), FILE_NAME_NORMALIZED);
  if (length >= path.size()) {
    path.resize(length + 1);
    length = GetFinalPathNameByHandleW(handle, path.data(), DWORD(path.size()), FILE_NAME_NORMALIZED);
  }
  CloseHandle(handle);
  if (length == 0 || length >= path.size()) return target;
  path.resize(length);
  return path;
}

}  // namespace

bool ReplaceFileContents(const std::string& path, const std::string& bytes) {
  if (path.empty() || bytes.size() > 0x7FFFFFFF) return false;
  const std::wstring given = WideFromUtf8(path);
  if (given.empty()) return false;
  const std::wstring target = FinalPath(given);
  const DWORD existing = GetFileAttributesW(target.c_str());
  const bool exists = existing != INVALID_FILE_ATTRIBUTES;
  if (exists && (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))) return false;

  // The temporary file sits next to the target, so the rename stays on one
  // volume and never copies.
  HANDLE file = INVALID_HANDLE_VALUE;
  std::wstring temp;
  for (unsigned attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    temp = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount() + attempt) +
           L".tmp";
    file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (file == INVALID_HANDLE_VALUE) return false;

  size_t written = 0;
  bool complete = true;
  while (written < bytes.size()) {
    DWORD n = 0;
    const DWORD chunk = DWORD(std::min<size_t>(bytes.size() - written, 1u << 20));
    if (!WriteFile(file, bytes.data() + written, chunk, &n, nullptr) || n == 0) {
      complete = false;
      break;
    }
    written += n;
  }
  complete = complete && FlushFileBuffers(file) != 0;
  const bool closed = CloseHandle(file) != 0;
  // ReplaceFileW keeps the existing file's attributes and access rights, as
  // a save should.
  const bool placed = complete && closed &&
                      (exists ? ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                             nullptr, nullptr) != 0
                              : MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) != 0);
  if (!placed) {
    DeleteFileW(temp.c_str());
    return false;
  }
  // Wine's ReplaceFileW drops them; set them again where they were lost.
  if (exists && GetFileAttributesW(target.c_str()) != existing) SetFileAttributesW(target.c_str(), existing);
  return true;
}

}  // namespace platform
