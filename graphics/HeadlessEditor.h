#pragma once
// An editor without a window: it draws off screen and answers every
// conversation as the user dismissing it, unless a script is installed.
#include <cstdint>
#include <functional>
#include <string>

#include "graphics/Editor.h"

class HeadlessEditor : public Editor {
public:
  struct MenuChoice {
    PopupMenu* menu = nullptr;  // the menu (or submenu) holding the choice
    int32_t index = -1;
  };
  using MenuScript = std::function<MenuChoice(PopupMenu& menu, const PixelRect& rect)>;
  // Returns false to cancel; on true the script has filled file and folder.
  using FileScript = std::function<bool(TextBuf& file, int32_t action, TextBuf& folder, const char* extensions)>;

  struct TextEntryRequest {
    Control* control = nullptr;
    TextStyle style;
    PixelRect rect;
    std::string initialText;
    PlugParam* param = nullptr;
  };

  using Editor::Editor;

  bool PresentRect(const PixelRect& rect) override;
  void CancelTextEntry() override;
  bool HasWindow() override { return false; }
  int32_t ShowMessage(const char* text, const char* caption, int32_t type) override;
  PopupMenu* RunPopupMenu(PopupMenu* menu, const PixelRect& rect) override;
  void BeginTextEntry(Control* control, const TextStyle& style, const PixelRect& rect, const char* initialText,
                      PlugParam* param) override;
  void HostFolder(TextBuf& out) override { out.Set(""); }
  void PluginFolder(TextBuf& out) override { out.Set(""); }
  void DesktopFolder(TextBuf& out) override { out.Set(""); }
  void AskForFile(TextBuf& file, int32_t action, TextBuf& folder, const char* extensions) override;
  bool AskForColor(ArgbColor&, const char*) override { return false; }
  bool OpenWebPage(const char*, const char*, const char*, const char*) override { return false; }
  void* OpenEditorWindow(void*) override { return nullptr; }
  void CloseEditorWindow() override {}
  void* EditorWindow() override { return nullptr; }
  RasterBitmap* LoadResourceBitmap(int32_t id, const char* name) override;

  // Scripts standing in for the user; empty means dismissed or cancelled.
  MenuScript menuScript;
  FileScript fileScript;

  // What the editor was asked to show.
  int32_t PresentCount() const { return presentCount_; }
  const PixelRect& LastPresented() const { return lastPresented_; }
  int32_t TextEntryCount() const { return textEntryCount_; }
  const TextEntryRequest& LastTextEntry() const { return lastTextEntry_; }
  bool TextEntryOpen() const { return textEntryOpen_; }

private:
  int32_t presentCount_ = 0;
  PixelRect lastPresented_;
  int32_t textEntryCount_ = 0;
  TextEntryRequest lastTextEntry_;
  bool textEntryOpen_ = false;
};
