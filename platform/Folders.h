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
#endif

// The path separator of preset paths on this platform.
constexpr char kPathSeparator =
#if defined(_WIN32)
    '\\';
#else
    '/';
#endif

}  // namespace platform
