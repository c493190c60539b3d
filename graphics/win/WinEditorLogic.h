#pragma once
// The parts of the Windows editor that decide rather than call the system:
// kept free of <windows.h> so they are tested on every platform.
#include <cstdint>
#include <string>

class PlugParam;

namespace winui {

// The timer period and the entry box's character filter are the shared
// EditorTicker::PeriodMs and EditorTicker::EntryAccepts.

// The editor key code of a virtual key, or -1 for a key controls never see.
int32_t KeyCodeFor(uint32_t virtualKey);

// Whole wheel steps in a wheel delta (120 per notch), the fraction dropped.
int32_t WheelSteps(int32_t delta);

// The natural value a committed entry text stands for: the value of the
// display text it equals, else the number it starts with (negated for a
// parameter shown negated). False when it is neither, and nothing changes.
bool EntryRawValue(const PlugParam& param, const char* text, double* raw);

// The open/save dialog's filter for space-separated extensions: each as
// "*.ext", joined by ";", given twice (description and pattern), each
// followed by a terminator and the whole by another. Empty for no
// extensions. defaultExtension receives the first one.
std::string FileFilter(const char* extensions, std::string* defaultExtension);

// The path up to and including its last backslash; empty when there is
// none or it is the last character.
std::string FolderOfModulePath(const std::string& path);

}  // namespace winui
