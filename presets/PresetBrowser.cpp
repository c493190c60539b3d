#include "presets/PresetBrowser.h"

#include <cstring>
#include <memory>
#include <string>

#include "graphics/Editor.h"
#include "graphics/PopupMenu.h"
#include "plugin/PlugBase.h"
#include "presets/CurrentPresetList.h"
#include "presets/PresetFiles.h"

namespace {

constexpr char kSaveItemText[] = "Save File...";
constexpr char kFactoryFolder[] = "Factory Presets";
constexpr int kFactoryFolderLength = 15;

// The name strip's font: Verdana 16 bold, black, centred, without
// antialiasing; the name sits one pixel above the strip.
TextStyle& NameStyle() {
  static TextStyle style = [] {
    TextStyle s;
    s.size = 16;
    s.style = kStyleBold;
    s.quality = kQualityNonAntialiased;
    return s;
  }();
  return style;
}
constexpr PixelRect kNameRect{207, 20, 383, 37};

}  // namespace

PresetFunctionsMenu::PresetFunctionsMenu(PlugBase* plug, const PixelRect& rect, const ArgbColor& color)
    : PanelControl(plug, rect, color) {}

PresetFunctionsMenu::~PresetFunctionsMenu() = default;

void PresetFunctionsMenu::ShowPresetName(const char* text) {
  displayedName_.Set(text ? text : "", kShownNameLength);
  SetPendingRedraw();
  MarkDirty(true);
}

bool PresetFunctionsMenu::Draw(Editor* editor) {
  if (!editor) return true;
  // A transparent fill: the strip shows the background image underneath.
  editor->FillRect(ArgbColor{0, 0, 0, 0}, rect_, BlendSpec{kBlendAlphaCopy, 1.0f});
  if (displayedName_.Empty()) return true;
  PixelRect where = kNameRect;
  editor->DrawText(NameStyle(), displayedName_.Get(), where, false);
  return true;
}

void PresetFunctionsMenu::MouseDown(int32_t, int32_t, const MouseMods& mods) {
  if (mods.left) BrowseAndAct();
  SetPendingRedraw();
  MarkDirty(true);
}

PopupMenu* BuildPresetMenu() {
  auto* root = new PopupMenu();
  root->AddItem(kSaveItemText);
  root->AddSeparator();
  ScanPresetFolder(PresetRootFolder(), kPresetExtension, *root);
  return root;
}

void PresetFunctionsMenu::BrowseAndAct() {
  Editor* editor = OwningEditor();
  if (!editor || !plug_) return;
  std::shared_ptr<PopupMenu> root(BuildPresetMenu());
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
  TextBuf file;
  TextBuf folder;
  folder.Set(PresetSaveFolder().c_str(), 256);
  editor.AskForFile(file, Editor::kFileSave, folder, "tvpreset");
  if (!file.Empty()) SavePresetFile(*plug_, file.Get());
}

NonClickable::NonClickable(PlugBase* plug, const BitmapStrip& strip)
    : BitmapControl(plug, kLeft, kTop, kParam, strip, BlendSpec{kBlendAlphaCopy, 1.0f}) {}

void StepPreset(PlugBase& plug, PresetFunctionsMenu* menu, int32_t steps) {
  const int32_t direction = steps < 0 ? -1 : 1;
  CurrentPresetList::Selection selected;
  bool moved = false;
  for (int32_t i = 0; i != steps; i += direction) moved = CurrentPresetList::Shared().Step(direction, selected) || moved;
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
