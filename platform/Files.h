#pragma once
// File-system services the preset library needs, behind one interface.
#include <cstdint>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

struct FolderEntry {
  std::string name;  // UTF-8
  bool isFolder = false;
  bool isLink = false;  // reached through a symbolic link (or another reparse point)
  uint64_t volume = 0;  // with identity, tells whether two folders are the same one
  uint64_t identity = 0;
};

// The entries of folder (which ends with a separator) worth listing:
// sub-folders and regular files, links followed; "." and "..", devices,
// pipes and sockets left out. Sorted by name ignoring case. Empty when the
// folder cannot be read. Reads at most maxNames names (of any kind) and
// reports in namesRead how many it read, so a caller can bound a whole scan.
std::vector<FolderEntry> ListFolder(const std::string& folder, size_t maxNames = SIZE_MAX, size_t* namesRead = nullptr);

// The identity of a folder, for spotting a folder already being scanned.
bool FolderIdentity(const std::string& folder, uint64_t& volume, uint64_t& identity);

// True for an existing regular file (never a pipe or device that could block).
bool IsRegularFile(const std::string& path);

// Opens a file by its UTF-8 path (fopen modes); null when it cannot.
std::FILE* OpenFile(const std::string& path, const char* mode);

// Creates folder and any missing parents; true when it exists as a folder.
bool MakeFolders(const std::string& folder);

// The line end of text files on this platform.
constexpr char kLineEnd[] =
#if defined(_WIN32)
    "\r\n";
#else
    "\n";
#endif

// Writes bytes to a temporary file next to path and renames it over path,
// so a failed write leaves any existing file as it was. A symbolic link at
// path is written through (its target is replaced and the link stays), and
// an existing file keeps its permissions; a new file gets the usual ones.
bool ReplaceFileContents(const std::string& path, const std::string& bytes);

}  // namespace platform
