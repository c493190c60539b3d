#pragma once
// File-system services the preset library needs, behind one interface.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

struct FolderEntry {
  std::string name;   // UTF-8
  bool isFolder = false;
  uint64_t volume = 0;  // with identity, tells whether two folders are the same one
  uint64_t identity = 0;
};

// The entries of folder (which ends with a separator) worth listing:
// sub-folders and regular files, links followed; "." and "..", devices,
// pipes and sockets left out. Sorted by name ignoring case. Empty when the
// folder cannot be read.
std::vector<FolderEntry> ListFolder(const std::string& folder);

// The identity of a folder, for spotting a folder already being scanned.
bool FolderIdentity(const std::string& folder, uint64_t& volume, uint64_t& identity);

// True for an existing regular file (never a pipe or device that could block).
bool IsRegularFile(const std::string& path);

// Opens a file by its UTF-8 path (fopen modes); null when it cannot.
std::FILE* OpenFile(const std::string& path, const char* mode);

// Writes bytes to a temporary file next to path and renames it over path,
// so a failed write leaves any existing file as it was.
bool ReplaceFileContents(const std::string& path, const std::string& bytes);

}  // namespace platform
