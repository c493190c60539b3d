#pragma once
// The Windows editor: a child window of class "PlugWndClass" inside the
// host's editor window, its 40 ms redraw timer, the in-place entry box,
// popup menus and the system dialogs. Window handles are kept as void* so
// that <windows.h> stays out of this header.
#include <bitset>
#include <cstdint>
#include <memory>
#include <string>

#include "graphics/Editor.h"

class WinEditor : public Editor {
public:
  // Entry states of the text entry box.
  enum : int32_t {
    kEntryIdle = 0,
    kEntryFocused = 1,  // the box just received the focus
    kEntryRedrawn = 2,  // the editor was redrawn around the open box
    kEntryCancel = 3,   // the next tick closes the box
    kEntryCommit = 4    // the next tick applies the text and closes the box
  };
  static constexpr int32_t kTimerId = 2;
  static constexpr int32_t kEntryBoxId = 99;

  WinEditor(PlugBase* plug, int32_t width = kDefaultWidth, int32_t height = kDefaultHeight,
            int32_t frameRate = kDefaultFrameRate);
  ~WinEditor() override;

  bool PresentRect(const PixelRect& rect) override;
  void CancelTextEntry() override;
  void Resize(int32_t width, int32_t height) override;
  bool HasWindow() override;
  int32_t ShowMessage(const char* text, const char* caption, int32_t type) override;
  PopupMenu* RunPopupMenu(PopupMenu* menu, const PixelRect& rect) override;
  void BeginTextEntry(Control* control, const TextStyle& style, const PixelRect& rect, const char* initialText,
                      PlugParam* param) override;
  void HostFolder(TextBuf& out) override;
  void PluginFolder(TextBuf& out) override;
  void DesktopFolder(TextBuf& out) override;
  void AskForFile(TextBuf& file, int32_t action, TextBuf& folder, const char* extensions) override;
  bool AskForColor(ArgbColor& color, const char* prompt) override;
  bool OpenWebPage(const char* url, const char* title, const char* confirmText, const char* failText) override;
  void* OpenEditorWindow(void* parent) override;
  void CloseEditorWindow() override;
  void* EditorWindow() override { return window_; }
  void HideCursor() override;
  void RestoreCursor() override;
  RasterBitmap* LoadResourceBitmap(int32_t id, const char* name) override;

  // The module whose class, resources and path the editor uses (an HINSTANCE).
  void SetModuleInstance(void* instance) { moduleInstance_ = instance; }
  void* ModuleInstance() const { return moduleInstance_; }
  int32_t EntryState() const { return entryState_; }
  void* EntryBox() const { return entryBox_; }

  // Editor windows open in this process; the class is registered while any is.
  static int32_t OpenWindowCount();

private:
  friend struct WinEditorWindow;

  void CloseEntryBox();
  // The entry box's fields back to none, its font released.
  void ForgetEntryBox();
  void ForgetWindow();
  void* MainWindow();

  void* moduleInstance_ = nullptr;
  void* window_ = nullptr;
  void* entryBox_ = nullptr;
  Control* entryControl_ = nullptr;
  PlugParam* entryParam_ = nullptr;
  intptr_t entryBoxProc_ = 0;
  int32_t entryState_ = kEntryIdle;
  std::unique_ptr<uint32_t[]> customColors_;
  uint32_t processId_ = 0;
  void* parentWindow_ = nullptr;
  void* mainWindow_ = nullptr;
  std::string mainWindowClass_;
  void* entryFont_ = nullptr;  // the entry box's font, released with the box
  bool painting_ = false;      // inside the window's paint message
  // Keys whose press a control took: their release is the editor's too.
  std::bitset<256> keysTaken_;
  bool lastPressTaken_ = false;  // the character of the last press is the editor's
};
