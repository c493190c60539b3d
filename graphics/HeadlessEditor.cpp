#include "graphics/HeadlessEditor.h"

#include "graphics/PopupMenu.h"
#include "graphics/ResourceImage.h"

bool HeadlessEditor::PresentRect(const PixelRect& rect) {
  ++presentCount_;
  lastPresented_ = rect;
  return true;
}

void HeadlessEditor::CancelTextEntry() { textEntryOpen_ = false; }

int32_t HeadlessEditor::ShowMessage(const char*, const char*, int32_t) { return 0; }

PopupMenu* HeadlessEditor::RunPopupMenu(PopupMenu* menu, const PixelRect& rect) {
  // The menu takes the mouse, as a real one would.
  ReleaseMouseCapture();
  if (!menu || !menuScript) return nullptr;
  const MenuChoice choice = menuScript(*menu, rect);
  if (!choice.menu || !choice.menu->ItemAt(choice.index)) return nullptr;
  choice.menu->chosenItem = choice.index;
  return choice.menu;
}

void HeadlessEditor::BeginTextEntry(Control* control, const TextStyle& style, const PixelRect& rect,
                                    const char* initialText, PlugParam* param) {
  if (!control) return;
  ++textEntryCount_;
  textEntryOpen_ = true;
  lastTextEntry_ = TextEntryRequest{control, style, rect, initialText ? initialText : "", param};
}

void HeadlessEditor::AskForFile(TextBuf& file, int32_t action, TextBuf& folder, const char* extensions) {
  if (!fileScript) return;
  // The script writes into copies so that a cancel leaves both untouched.
  TextBuf chosenFile(file.Get());
  TextBuf chosenFolder(folder.Get());
  if (!fileScript(chosenFile, action, chosenFolder, extensions)) return;
  file.Set(chosenFile.Get());
  folder.Set(chosenFolder.Get());
}

RasterBitmap* HeadlessEditor::LoadResourceBitmap(int32_t id, const char* name) {
  return LoadNamedResourceImage(nullptr, id, name);
}
