#pragma once
#include <string>

namespace platform {

// The user's documents folder, without a trailing separator; empty when it
// cannot be determined.
std::string DocumentsFolder();

#if !defined(_WIN32)
// An XDG user folder (key such as "XDG_DESKTOP_DIR") from user-dirs.dirs,
// else $HOME/fallbackName; no trailing separator; empty without a home.
std::string UserDirectory(const char* key, const char* fallbackName);
// The user's desktop folder without a trailing "/": XDG_DESKTOP_DIR from
// user-dirs.dirs, else $HOME/Desktop; empty without a home.
std::string DesktopFolder();

// The part of path up to and including its last "/", when that "/" is not
// its last character; otherwise empty.
std::string FolderOfPath(const std::string& path);
// The folder of the running program, ending in "/"; empty when unknown.
std::string ExecutableFolder();
// The folder of the module holding this code, ending in "/"; empty when
// unknown.
std::string ModuleFolder();
#endif

// The path separator of preset paths on this platform.
constexpr char kPathSeparator =
#if defined(_WIN32)
    '\\';
#else
    '/';
#endif

}  // namespace platform
