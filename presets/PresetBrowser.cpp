#include "presets/PresetBrowser.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "graphics/Editor.h"
#include "graphics/ResourceCaches.h"
#include "graphics/PopupMenu.h"
#include "platform/Files.h"
#include "plugin/PlugBase.h"
#include "presets/CurrentPresetList.h"
#include "presets/PresetFiles.h"
#include "raster/GlyphSource.h"
#include "raster/RasterBitmap.h"
#include "raster/RasterFont.h"

namespace {

constexpr char kSaveItemText[] = "Save File...";
constexpr char kFactoryFolder[] = "Factory Presets";
constexpr int kFactoryFolderLength = 15;

// The name strip's font: Verdana 16 bold, black, centred, without
// antialiasing; the name sits one pixel above the strip. A fresh copy per
// use: looking the font up writes into the style, and editors on different
// threads draw their strips at once.
TextStyle NameStyle() {
  TextStyle s;
  s.size = 16;
  s.style = kStyleBold;
  s.quality = kQualityNonAntialiased;
  return s;
}
constexpr PixelRect kNameRect{207, 20, 383, 37};
constexpr uint32_t kEllipsisCode = 0x2026;
constexpr char kEllipsis[] = "\xe2\x80\xa6";

// The bytes of text's first maxCharacters characters, so a cut never
// splits a character.
size_t CharacterPrefixLength(const char* text, int32_t maxCharacters) {
  size_t length = 0;
  uint32_t code = 0;
  for (int32_t n = 0; n < maxCharacters; ++n) {
    const int32_t used = DecodeUtf8Char(text + length, -1, &code);
    if (used <= 0) break;
    length += size_t(used);
  }
  return length;
}

int32_t TextWidth(Editor& editor, const std::string& text) {
  PixelRect measured = kNameRect;
  TextStyle style = NameStyle();
  editor.DrawText(style, text.c_str(), measured, true);
  return measured.Width();
}

// name whole when it fits the strip, else as many of its first characters
// as fit followed by an ellipsis (the font's own, else three dots).
std::string FittedName(Editor& editor, RasterFont& font, const std::string& name) {
  const int32_t room = kNameRect.Width();
  if (TextWidth(editor, name) <= room) return name;
  bool ownEllipsis = false;
  {
    LockHold fontInUse(SharedFontUseLock());
    ownEllipsis = NativeFontHasChar(font.NativeFont(), kEllipsisCode);
  }
  const std::string ellipsis = ownEllipsis ? kEllipsis : "...";
  std::vector<size_t> ends;  // where each character ends
  for (size_t at = 0; at < name.size();) {
    uint32_t code = 0;
    const int32_t used = DecodeUtf8Char(name.c_str() + at, int32_t(name.size() - at), &code);
    if (used <= 0) break;
    at += size_t(used);
    ends.push_back(at);
  }
  for (size_t kept = ends.size(); kept-- > 0;) {
    std::string candidate = name.substr(0, ends[kept]);
    while (!candidate.empty() && candidate.back() == ' ') candidate.pop_back();
    candidate += ellipsis;
    if (TextWidth(editor, candidate) <= room) return candidate;
  }
  return ellipsis;
}

std::string ReplaceQuestion(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return "\"" + name + "\" already exists.\nDo you want to replace it?";
}

// The rest of a save once the dialog has answered with chosen (empty when
// cancelled). The dialog asked about the name it returned; a file that only
// the added extension points at is replaced only when the user says so.
void SaveAsChosen(Editor& editor, PlugBase& plug, const std::string& chosen) {
  if (chosen.empty()) return;
  const std::string path = WithPresetExtension(chosen);
  if (path == chosen || !platform::IsRegularFile(path)) {
    SavePresetFile(plug, path);
    return;
  }
  PlugBase* saved = &plug;
  editor.ShowMessageLater(ReplaceQuestion(path).c_str(), "Save Preset",
                          Editor::kMessageYesNo | Editor::kMessageIconWarning, [saved, path](int32_t answer) {
                            if (answer == Editor::kAnswerYes) SavePresetFile(*saved, path);
                          });
}

}  // namespace

PresetFunctionsMenu::PresetFunctionsMenu(PlugBase* plug, const PixelRect& rect, const ArgbColor& color)
    : PanelControl(plug, rect, color) {
  // The name starts a row above the strip (marks over capitals reach it):
  // the strip repaints that row too, so a previous name never stays there.
  // Clicks still land on the strip alone.
  rect_ = RectUnion(rect_, kNameRect);
}

PresetFunctionsMenu::~PresetFunctionsMenu() = default;

void PresetFunctionsMenu::ShowPresetName(const char* text) {
  if (!text) text = "";
  displayedName_.Set(text, int32_t(CharacterPrefixLength(text, kShownNameLength)));
  SetPendingRedraw();
  MarkDirty(true);
}

bool PresetFunctionsMenu::Draw(Editor* editor) {
  if (!editor) return true;
  // A transparent fill: the strip shows the background image underneath.
  editor->FillRect(ArgbColor{0, 0, 0, 0}, rect_, BlendSpec{kBlendAlphaCopy, 1.0f});
  if (displayedName_.Empty()) return true;
  TextStyle style = NameStyle();
  RasterFont* font = editor->FontFor(style);
  SysBitmap* bitmap = editor->DrawBitmap();
  if (!font || !bitmap) return true;
  const std::string shown = FittedName(*editor, *font, displayedName_.Get());
  // Clipped to the rectangle that is repainted when the name changes, so
  // nothing of a previous name can stay behind around the strip.
  RasterRect area{kNameRect.left, kNameRect.top, kNameRect.right, kNameRect.bottom};
  LockHold fontInUse(SharedFontUseLock());
  font->ChangeTextColor(style.textColor.Packed());
  font->RenderText(bitmap, shown.c_str(), -1, &area, TextCenter);
  return true;
}

void PresetFunctionsMenu::MouseDown(int32_t, int32_t, const MouseMods& mods) {
  if (mods.left) BrowseAndAct();
  SetPendingRedraw();
  MarkDirty(true);
}

PopupMenu* BuildPresetMenu(const char* saveUnavailable) {
  auto* root = new PopupMenu();
  PopupMenuItem* save = root->AddItem(kSaveItemText);
  if (save && saveUnavailable) {
    // Grayed, with the reason, rather than an item that silently does nothing.
    std::string text = std::string(kSaveItemText) + " (" + saveUnavailable + ")";
    save->text.Set(text.c_str());
    save->flags |= kItemGrayed;
  }
  root->AddSeparator();
  ScanPresetFolder(PresetRootFolder(), kPresetExtension, *root);
  return root;
}

void PresetFunctionsMenu::BrowseAndAct() {
  Editor* editor = OwningEditor();
  // While the save dialog is open the strip offers nothing: neither a second
  // dialog nor a menu that would load a sound underneath it.
  if (!editor || !plug_ || editor->DialogPending()) return;
  std::shared_ptr<PopupMenu> root(BuildPresetMenu(editor->FileDialogUnavailableReason()));
  PopupMenu* chosen = editor->RunPopupMenu(root.get(), rect_);
  if (!chosen) return;
  if (root->chosenItem == 0) {
    SaveFlow(*editor);
    return;
  }
  const PopupMenuItem* item = chosen->ItemAt(chosen->chosenItem);
  if (!item) return;
  CurrentPresetList::Shared().Replace(root, *chosen);
  ShowPresetName(item->text.Get());
  LoadPresetFile(*plug_, item->filePath.Get());
}

void PresetFunctionsMenu::SaveFlow(Editor& editor) {
  // The answer may come on a later idle call, when this control may have
  // been rebuilt: it holds on to the editor and the plug-in only, which
  // outlive any dialog the editor has open.
  Editor* owner = &editor;
  PlugBase* plug = plug_;
  editor.AskForFileLater(Editor::kFileSave, PrepareSaveFolder(), "tvpreset",
                         [owner, plug](const std::string& chosen) { SaveAsChosen(*owner, *plug, chosen); });
}

NonClickable::NonClickable(PlugBase* plug, int32_t x, int32_t y, int32_t paramIndex, const BitmapStrip& strip)
    : BitmapControl(plug, x, y, paramIndex, strip, BlendSpec{kBlendAlphaCopy, 1.0f}) {}

void StepPreset(PlugBase& plug, PresetFunctionsMenu* menu, int32_t steps) {
  const int32_t direction = steps < 0 ? -1 : 1;
  CurrentPresetList::Selection selected;
  bool moved = false;
  for (int32_t i = 0; i != steps; i += direction)
    moved = CurrentPresetList::Shared().Step(direction, selected) || moved;
  if (!moved) return;
  {
    LockHold hold(plug.InstanceLock());
    if (menu) menu->ShowPresetName(selected.text.c_str());
  }
  // Only the file's last preset is read, and outside the lock.
  LoadPresetFile(plug, selected.filePath);
}

void SelectStartupPreset(PlugBase& plug, PresetFunctionsMenu* menu) {
  std::shared_ptr<PopupMenu> root(BuildPresetMenu());
  CurrentPresetList::Shared().Replace(root, *root);
  for (int32_t i = 0; i < root->ItemCount(); ++i) {
    PopupMenuItem* item = root->ItemAt(i);
    if (!item->submenu || std::strncmp(item->text.Get(), kFactoryFolder, kFactoryFolderLength) != 0) continue;
    PopupMenu& factory = *item->submenu;
    factory.chosenItem = 0;
    if (factory.ItemCount() == 0) continue;
    const PopupMenuItem* first = factory.ItemAt(0);
    if (menu) menu->ShowPresetName(first->text.Get());
    LoadPresetFile(plug, first->filePath.Get());
    CurrentPresetList::Shared().Replace(root, factory);
  }
}
