#pragma once
// Folders the editor reports, each ending in "/" where a folder is given.
#include <string>

namespace desktop {

// The part of path up to and including its last "/", when that "/" is not
// its last character; otherwise empty.
std::string FolderOfPath(const std::string& path);
// The folder of the running program.
std::string ExecutableFolder();
// The folder of the module holding this code.
std::string ModuleFolder();
// The user's desktop folder without a trailing "/": XDG_DESKTOP_DIR from
// user-dirs.dirs, else $HOME/Desktop; empty without a home.
std::string DesktopFolder();

}  // namespace desktop
