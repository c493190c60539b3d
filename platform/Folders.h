#pragma once
#include <string>

namespace platform {

// The user's documents folder, without a trailing separator; empty when it
// cannot be determined.
std::string DocumentsFolder();

// The path separator of preset paths on this platform.
constexpr char kPathSeparator =
#if defined(_WIN32)
    '\\';
#else
    '/';
#endif

}  // namespace platform
