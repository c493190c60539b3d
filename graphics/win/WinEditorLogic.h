#pragma once
// The parts of the Windows editor that decide rather than call the system:
// kept free of <windows.h> so they are tested on every platform.
#include <cstdint>
#include <string>

#include "graphics/GuiTypes.h"

class PlugParam;

namespace winui {

// The timer period and the entry box's character filter are the shared
// EditorTickAndEntry::PeriodMs and EditorTickAndEntry::EntryAccepts.

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

// A menu item's text for the system menu, which reads "&" as the mark of a
// shortcut letter: each "&" doubled so it shows as itself.
std::string MenuItemText(const char* text);

// Pixels between the entry box's edge and its text, as in the Linux box.
constexpr int32_t kEntryTextInset = 2;

// Where the entry box goes for a prompt rect (right and bottom edges
// included): at least the rect, widened to hold a text of textWidth pixels
// between the insets and heightened to hold a line, centred on the rect and
// kept inside the editor where it fits.
PixelRect EntryBoxBounds(const PixelRect& prompt, int32_t textWidth, int32_t lineHeight, int32_t editorWidth,
                         int32_t editorHeight);

}  // namespace winui
