#pragma once
// The platform-neutral half of the plug-in editor: the control list, the
// redraw cycle, mouse and key routing, the parameter flow between controls
// and the plug-in, and the drawing primitives. A window layer derives from
// it and supplies the window, menus, text entry and dialogs.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "graphics/Control.h"
#include "graphics/GuiTypes.h"
#include "platform/Lock.h"
#include "plugin/EditorLink.h"
#include "base/PtrList.h"
#include "base/TextBuf.h"

class MemBitmap;
class PlugBase;
class PlugParam;
class PopupMenu;
class RasterBitmap;
class RasterFont;
class SysBitmap;

class Editor : public EditorLink {
public:
  static constexpr int32_t kDefaultWidth = 592;
  static constexpr int32_t kDefaultHeight = 442;
  static constexpr int32_t kDefaultFrameRate = 25;
  static constexpr int32_t kFileSave = 1;  // AskForFile action; anything else opens
  // ShowMessage kinds and answers, as the Windows message box numbers them.
  static constexpr int32_t kMessageYesNo = 4;
  static constexpr int32_t kMessageIconWarning = 0x30;
  static constexpr int32_t kAnswerYes = 6;

  explicit Editor(PlugBase* plug, int32_t width = kDefaultWidth, int32_t height = kDefaultHeight,
                  int32_t frameRate = kDefaultFrameRate);
  Editor(const Editor&) = delete;
  Editor& operator=(const Editor&) = delete;

  // Virtual operations, in the editor's documented order (after those of
  // EditorLink); ReservedHook keeps its slot. Nothing relies on the layout
  // at run time: add new operations at the end.
  // Copies rect of the draw bitmap to the screen.
  virtual bool PresentRect(const PixelRect& rect) = 0;
  virtual bool MeasureText(TextStyle& style, const char* text, PixelRect& rect);
  virtual void CancelTextEntry() = 0;
  // Destroys every control and remakes the bitmaps at the new size.
  virtual void Resize(int32_t width, int32_t height);
  virtual bool HasWindow();
  virtual const char* PlatformLabel();
  virtual int32_t ShowMessage(const char* text, const char* caption, int32_t type) = 0;
  // The menu (or submenu) holding the chosen item, with its chosen item set;
  // null when the menu was dismissed.
  virtual PopupMenu* RunPopupMenu(PopupMenu* menu, const PixelRect& rect) = 0;
  // The result arrives later through the control's SetValueFromUser (with a
  // parameter) or TextEntered (free text).
  virtual void BeginTextEntry(Control* control, const TextStyle& style, const PixelRect& rect, const char* initialText,
                              PlugParam* param) = 0;
  virtual void HostFolder(TextBuf& out) = 0;
  virtual void PluginFolder(TextBuf& out) = 0;
  virtual void DesktopFolder(TextBuf& out) = 0;
  // extensions: space-separated, without dots; may be null or empty.
  virtual void AskForFile(TextBuf& file, int32_t action, TextBuf& folder, const char* extensions) = 0;
  virtual bool AskForColor(ArgbColor& color, const char* prompt) = 0;
  virtual bool OpenWebPage(const char* url, const char* title, const char* confirmText, const char* failText) = 0;
  virtual void* PlatformQuery();
  void* OpenEditorWindow(void* parent) override = 0;
  // Called on the window's thread between events; the window layer may pace
  // its event handling and redraw ticks here.
  void Idle() override {}
  virtual void ReservedHook() {}
  void CloseEditorWindow() override = 0;
  virtual void* EditorWindow() = 0;
  ~Editor() override;
  virtual void HideCursor() {}
  virtual void RestoreCursor() {}
  // A new bitmap owned by the caller, or null.
  virtual RasterBitmap* LoadResourceBitmap(int32_t id, const char* name) = 0;
  // Beyond the fixed order: why AskForFile cannot ask the user here (shown
  // to the user), or null when it can.
  virtual const char* FileDialogUnavailableReason() { return nullptr; }
  // Beyond the fixed order: dialogs that need not hold the caller until the
  // user answers. The answer comes through done, perhaps from a later Idle
  // call: an empty path for a cancelled file dialog. A dialog still open
  // when the window closes is dismissed and done is never called. These
  // defaults ask at once through AskForFile and ShowMessage.
  using FileAnswer = std::function<void(const std::string& path)>;
  using MessageAnswer = std::function<void(int32_t answer)>;
  virtual void AskForFileLater(int32_t action, const std::string& folder, const char* extensions, FileAnswer done);
  virtual void ShowMessageLater(const char* text, const char* caption, int32_t type, MessageAnswer done);
  // True while a dialog asked for later waits for the user.
  virtual bool DialogPending() const { return false; }

  // Controls. The list owns them; index 0 is the background.
  // Returns the new index, or -1 when the control could not be stored (it is
  // then destroyed).
  int32_t AddControl(Control* control);
  void AddBackground(int32_t id, const char* name);
  int32_t ControlCount() const { return controls_.Count(); }
  // Null outside 0..count - 1.
  Control* ControlAt(int32_t index) const { return controls_.Get(index); }
  // Takes ownership; receives keys no other control takes.
  void SetKeyCatcher(Control* control);

  // Parameter values into controls.
  void ParamToControls(int32_t index, double value, bool isNormalized) final;
  void SetControlValue(int32_t controlIndex, double value);
  // Asks the user for a new value of param through a menu or a text entry.
  void PromptParamValue(Control* control, PlugParam* param, const PixelRect& rect);

  // Redraw cycle.
  bool CollectDirty(PixelRect& rect);
  bool DrawControls(const PixelRect& rect);

  // Mouse and key dispatch with client coordinates.
  void HandleMouseDown(int32_t x, int32_t y, const MouseMods& mods);
  void HandleMouseUp(int32_t x, int32_t y, const MouseMods& mods);
  void HandleMouseDrag(int32_t x, int32_t y, const MouseMods& mods);
  // True when the window must capture the mouse.
  bool HandleDoubleClick(int32_t x, int32_t y, const MouseMods& mods);
  void HandleWheel(int32_t x, int32_t y, const MouseMods& mods, int32_t steps);
  // True when a control used the key.
  bool HandleKey(int32_t x, int32_t y, int32_t key);
  // The topmost control that is shown, not grayed and hit; -1 for none.
  int32_t HitControl(int32_t x, int32_t y) const;

  // Drawing primitives, painting into the draw bitmap.
  // The editor draws from here on. Its bitmaps are made when first needed:
  // hosts create many instances whose editor never opens.
  void PrepareDrawing() final;
  BitmapStrip LoadStripBitmap(int32_t id, const char* name, int32_t frames);
  bool BlitBitmap(const BitmapStrip& strip, const PixelRect& dest, int32_t srcX, int32_t srcY, const BlendSpec& blend);
  bool DrawStrip(const BitmapStrip& strip, const PixelRect& dest, int32_t frame, const BlendSpec& blend);
  bool FillRect(const ArgbColor& color, const PixelRect& rect, const BlendSpec& blend);
  // Draws text into rect, or with measureOnly rewrites rect to the text's
  // extent placed by the style's alignment.
  bool DrawText(TextStyle& style, const char* text, PixelRect& rect, bool measureOnly);
  RasterFont* FontFor(TextStyle& style);

  int32_t Width() const final { return width_; }
  int32_t Height() const final { return height_; }
  Editor* FullEditor() final { return this; }
  int32_t FrameRate() const { return frameRate_; }
  PlugBase* Plug() const { return plug_; }
  // Null until PrepareDrawing; made on the first call after it.
  SysBitmap* DrawBitmap() const;
  MemBitmap* ScratchBitmap() const;
  // Whether the bitmaps exist yet, without making them.
  bool HoldsBitmaps() const { return drawBitmap_ != nullptr; }
  const PixelRect& ClipRect() const { return clipRect_; }
  int32_t CapturedControl() const { return capturedControl_; }
  RecursiveLock& EditorLock() { return lock_; }

protected:
  // The mouse belongs to no control (a menu or a reset took it).
  void ReleaseMouseCapture();
  // The captured control, else the one hit at (x, y); -1 for none.
  int32_t CapturedOrHit(int32_t x, int32_t y) const;
  // Sends the host's begin or end of a gesture for a control's parameter.
  void NotifyEditBegin(int32_t paramIndex);
  void NotifyEditEnd(int32_t paramIndex);

  RecursiveLock lock_;
  PtrList<Control> controls_{4096};
  PlugBase* plug_;
  PixelRect clipRect_;
  bool cursorHidden_ = false;
  int32_t savedCursorX_ = -1;
  int32_t savedCursorY_ = -1;
  bool drawingPrepared_ = false;
  mutable std::unique_ptr<SysBitmap> drawBitmap_;
  mutable std::unique_ptr<MemBitmap> scratchBitmap_;
  int32_t width_;
  int32_t height_;
  int32_t frameRate_;
  int32_t capturedControl_ = -1;
  int32_t hoveredControl_ = -1;
  int32_t lastMouseX_ = 0;
  int32_t lastMouseY_ = 0;
  bool mouseOverHandling_ = false;
  std::unique_ptr<Control> keyCatcher_;

private:
  // Bumped whenever the control list is rebuilt, so a dispatch that ran
  // control code can tell its control may be gone.
  uint32_t controlsGeneration_ = 0;
};
