#pragma once
// The Linux editor window: an X11 child window inside the window the host
// gives to effEditOpen, on the editor's own display connection. The host's
// effEditIdle drives it: pending events are handled and the redraw tick
// runs when due.
#include "graphics/x11/XlibHeaders.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "graphics/Editor.h"
#include "graphics/EditorTickAndEntry.h"
#include "graphics/x11/DesktopDialogs.h"
#include "graphics/x11/X11EntryBox.h"

class X11ImagePainter;

class X11Editor : public Editor, private EntryBoxWindow {
public:
  // A second left press within this time and distance is a double click.
  static constexpr Time kDoubleClickMs = 400;
  static constexpr int32_t kDoubleClickDistance = 4;

  X11Editor(PlugBase* plug, int32_t width, int32_t height, int32_t frameRate);
  ~X11Editor() override;

  bool PresentRect(const PixelRect& rect) override;
  void CancelTextEntry() override;
  void Resize(int32_t width, int32_t height) override;
  bool HasWindow() override { return window_ != 0; }
  int32_t ShowMessage(const char* text, const char* caption, int32_t type) override;
  PopupMenu* RunPopupMenu(PopupMenu* menu, const PixelRect& rect) override;
  void BeginTextEntry(Control* control, const TextStyle& style, const PixelRect& rect, const char* initialText,
                      PlugParam* param) override;
  void HostFolder(TextBuf& out) override;
  void PluginFolder(TextBuf& out) override;
  void DesktopFolder(TextBuf& out) override;
  void AskForFile(TextBuf& file, int32_t action, TextBuf& folder, const char* extensions) override;
  const char* FileDialogUnavailableReason() override;
  // The dialog runs while the host's idle calls go on; a later Idle call
  // hands over the answer. One such dialog at a time: asking while one is
  // open answers at once as cancelled.
  void AskForFileLater(int32_t action, const std::string& folder, const char* extensions, FileAnswer done) override;
  void ShowMessageLater(const char* text, const char* caption, int32_t type, MessageAnswer done) override;
  bool DialogPending() const override { return pendingDialog_ != nullptr; }
  bool AskForColor(ArgbColor& color, const char* prompt) override;
  bool OpenWebPage(const char* url, const char* title, const char* confirmText, const char* failText) override;
  // parent carries the host's Window id; the result is the editor's Window
  // id, or null when there is no display or the parent is not a window.
  void* OpenEditorWindow(void* parent) override;
  void Idle() override;
  void CloseEditorWindow() override;
  void* EditorWindow() override;
  void HideCursor() override;
  void RestoreCursor() override;
  RasterBitmap* LoadResourceBitmap(int32_t id, const char* name) override;

  const EditorTickAndEntry& TickAndEntry() const { return tickAndEntry_; }
  // The text of the open entry box; empty when none is open.
  const std::string& EntryText() const { return entryBox_.Text(); }

private:
  // Holds the display open while events are being handled, so that a close
  // requested from inside a handler does not pull it away underneath.
  class DispatchScope;

  // EntryBoxWindow
  std::string EntryBoxText() override { return entryBox_.Text(); }
  void DestroyEntryBox() override;
  void PaintControls(const PixelRect& rect) override { DrawControls(rect); }

  bool CreateWindow(Window parent, const XWindowAttributes& parentAttributes, int x, int y);
  void DestroyWindow();
  void CloseDisplay();
  void DispatchPendingEvents();
  void TickIfDue();
  void HandleEvent(XEvent& event);
  void OnButtonPress(const XButtonEvent& event);
  void OnButtonRelease(const XButtonEvent& event);
  void OnMotion(const XMotionEvent& event);
  void OnKeyPress(XKeyEvent& event);
  void OnKeyRelease(XKeyEvent& event);
  // Sends a key the editor does not use on to the host's top-level window.
  void ForwardToHost(XKeyEvent& event);
  Window HostTopLevel();
  bool HasProperty(Window window, Atom property);
  void OnEntryKey(XKeyEvent& event);
  void OnExpose(const XExposeEvent& event);
  bool PairsAsDoubleClick(const XButtonEvent& event);
  // The entry box holds the keyboard focus while it is open, and hands it
  // back to where it was when it closes.
  void TakeFocus();
  void ReturnFocus();
  void ShowEntryBox();
  void RepaintAll();
  // The lock a modal conversation gives up while it waits for the user: the
  // instance lock, which the host's audio thread needs too.
  RecursiveLock* ModalLock() const;
  // Waits until a dialog's output is readable or the next tick is due,
  // serving the window's exposures and the tick.
  void WaitForDialog(int outputFd);
  desktop::ToolWait DialogWait();
  // Starts command as the pending dialog; finish gets its run once it has
  // ended, or at once when it cannot start.
  using DialogFinish = std::function<void(const desktop::ToolRun&)>;
  void StartPendingDialog(const std::vector<std::string>& command, DialogFinish finish);
  void FinishPendingDialog();

  Display* display_ = nullptr;
  Window window_ = 0;
  Window root_ = 0;
  GC gc_ = nullptr;
  Cursor invisibleCursor_ = 0;
  std::unique_ptr<X11ImagePainter> painter_;
  EditorTickAndEntry tickAndEntry_;
  X11EntryBox entryBox_;
  bool mouseCaptured_ = false;
  bool leftPressPending_ = false;  // the last press may pair into a double click
  Time leftPressTime_ = 0;
  int32_t leftPressX_ = 0;
  int32_t leftPressY_ = 0;
  PixelRect exposed_;
  Window focusBeforeEntry_ = 0;
  int focusRevertBeforeEntry_ = RevertToParent;
  std::set<unsigned> usedKeyCodes_;  // pressed keys the editor took
  int32_t dispatchDepth_ = 0;
  bool closeDisplayPending_ = false;
  struct PendingDialog;
  std::unique_ptr<PendingDialog> pendingDialog_;
};
