#pragma once
// Users' sounds as small text files: where they live, how a folder tree is
// listed for the browser, and how a file is written and applied.
#include <cstddef>
#include <string>

class PlugBase;
class PopupMenu;

constexpr char kPresetExtension[] = ".tvpreset";
constexpr int kPresetExtensionLength = 9;

// "<documents>/Tarvolin Instruments/Tarvolin Thudra Presets/" (with the
// platform's separator), computed once.
std::string PresetRootFolder();
// Where the save dialog starts: the user's own "User Presets" below the root.
std::string PresetSaveFolder();
// Points both folders below another root (tests, demos); root ends with a
// separator.
void SetPresetRootFolder(const std::string& root);

// The folder the save dialog opens in: the save folder, created (with the
// root) when missing; when it cannot be made, the root if it exists, else
// the documents folder. Never empty while a documents folder is known, so
// the dialog never falls back to the process's working folder.
std::string PrepareSaveFolder();

// name with the preset extension added, unless it already ends with it
// (in any letter case).
std::string WithPresetExtension(const std::string& name);

// The most directory entries one scan reads; a tree beyond it is listed in
// part, its deepest levels left out.
constexpr size_t kMaxScanEntries = 50000;

// Appends one item per preset file (name ending in extension, compared
// exactly) and per sub-folder of folder, sorted by name ignoring case.
// Sub-folders become submenus, scanned to kMaxScanEntries entries in all.
// Each real folder is listed once: a second link to it, or a link back up
// the tree, is left out. folder ends with "/".
void ScanPresetFolder(const std::string& folder, const char* extension, PopupMenu& menu);

// Writes the plug's preset parameters as "name=normalized" lines. The file is written
// next to the target and renamed over it, so a failed write never destroys
// an existing preset. False when nothing was written.
bool SavePresetFile(PlugBase& plug, const std::string& path);

// Applies the first lines of the file by position to the parameters the
// plug loads from presets. A missing or unparseable line leaves its
// parameter as it was. False when the
// file could not be read.
bool LoadPresetFile(PlugBase& plug, std::string path);
