#include "graphics/x11/X11Editor.h"

#include <poll.h>

#include <algorithm>
#include <chrono>

#include "graphics/PlatformEditor.h"
#include "graphics/PopupMenu.h"
#include "graphics/ResourceImage.h"
#include "graphics/x11/DesktopDialogs.h"
#include "graphics/x11/X11ErrorTrap.h"
#include "graphics/x11/X11Image.h"
#include "graphics/x11/X11PopupMenu.h"
#include "platform/Folders.h"
#include "plugin/PlugBase.h"
#include "raster/RasterBitmap.h"

namespace {

constexpr long kWindowEvents = ExposureMask | ButtonPressMask | ButtonReleaseMask | ButtonMotionMask | KeyPressMask |
                               KeyReleaseMask | FocusChangeMask | LeaveWindowMask | StructureNotifyMask;
// Events handled per idle call, so that a flood cannot hold the host's
// interface thread.
constexpr int32_t kMaxEventsPerIdle = 1000;
constexpr unsigned kWheelUp = 4;
constexpr unsigned kWheelDown = 5;

// Key codes of the editor core for the keys it knows; -1 for the others.
int32_t EditorKeyCode(KeySym key) {
  if (key == XK_space) return KeyCode::Space;
  if (key == XK_Up) return KeyCode::ArrowUp;
  if (key == XK_Down) return KeyCode::ArrowDown;
  if (key == XK_Left) return KeyCode::ArrowLeft;
  if (key == XK_Right) return KeyCode::ArrowRight;
  if (key >= XK_0 && key <= XK_9) return KeyCode::Digit0 + int32_t(key - XK_0);
  if (key >= XK_a && key <= XK_z) return KeyCode::LetterA + int32_t(key - XK_a);
  if (key >= XK_A && key <= XK_Z) return KeyCode::LetterA + int32_t(key - XK_A);
  return -1;
}

// The buttons held during the event, as the editor core expects them: a
// press counts its own button as held, a release no longer does.
MouseMods ModsFor(unsigned state, unsigned button, int eventType) {
  MouseMods mods;
  mods.left = (state & Button1Mask) != 0;
  mods.right = (state & Button3Mask) != 0;
  mods.shift = (state & ShiftMask) != 0;
  mods.control = (state & ControlMask) != 0;
  mods.alt = (state & Mod1Mask) != 0;
  const bool pressed = eventType == ButtonPress;
  if (eventType == ButtonPress || eventType == ButtonRelease) {
    if (button == Button1) mods.left = pressed;
    if (button == Button3) mods.right = pressed;
  }
  return mods;
}

Cursor MakeInvisibleCursor(Display* display, Window window) {
  static const char kEmpty[1] = {0};
  Pixmap blank = XCreateBitmapFromData(display, window, kEmpty, 1, 1);
  if (!blank) return 0;
  XColor black{};
  Cursor cursor = XCreatePixmapCursor(display, blank, blank, &black, &black, 0, 0);
  XFreePixmap(display, blank);
  return cursor;
}

}  // namespace

Editor* CreatePlatformEditor(PlugBase* plug, int32_t width, int32_t height, int32_t frameRate) {
  return new X11Editor(plug, width, height, frameRate);
}

class X11Editor::DispatchScope {
public:
  explicit DispatchScope(X11Editor& editor) : editor_(editor) { ++editor_.dispatchDepth_; }
  ~DispatchScope() {
    if (--editor_.dispatchDepth_ == 0 && editor_.closeDisplayPending_) editor_.CloseDisplay();
  }
  DispatchScope(const DispatchScope&) = delete;
  DispatchScope& operator=(const DispatchScope&) = delete;

private:
  X11Editor& editor_;
};

struct X11Editor::PendingDialog {
  desktop::ToolProcess tool;
  DialogFinish finish;
};

X11Editor::X11Editor(PlugBase* plug, int32_t width, int32_t height, int32_t frameRate)
    : Editor(plug, width, height, frameRate), tickAndEntry_(*this) {}

X11Editor::~X11Editor() {
  dispatchDepth_ = 0;
  CloseEditorWindow();
}

// Window life ---------------------------------------------------------------

void* X11Editor::OpenEditorWindow(void* parent) {
  const Window parentWindow = Window(reinterpret_cast<uintptr_t>(parent));
  if (!parentWindow) return nullptr;
  if (display_ && EditorDisplayBroken(display_)) CloseEditorWindow();
  if (!display_) {
    display_ = OpenEditorDisplay();
    if (!display_) return nullptr;
    closeDisplayPending_ = false;
  }
  int x = 0;
  int y = 0;
  bool created = false;
  {
    X11ErrorTrap trap(display_);
    XWindowAttributes parentAttributes{};
    const bool parentValid = XGetWindowAttributes(display_, parentWindow, &parentAttributes) && !trap.Failed();
    if (parentValid) {
      if (window_) {
        // Reopening replaces the window at the old one's place.
        Window child = 0;
        int oldX = 0, oldY = 0;
        if (XTranslateCoordinates(display_, window_, parentWindow, 0, 0, &oldX, &oldY, &child) && !trap.Failed()) {
          x = oldX;
          y = oldY;
        }
        if (tickAndEntry_.EntryOpen()) tickAndEntry_.CloseEntry(*this);
        RestoreCursor();
        DestroyWindow();
      }
      created = CreateWindow(parentWindow, parentAttributes, x, y) && !trap.Failed();
      if (!created) DestroyWindow();
    }
  }
  if (!created) {
    if (!window_) CloseEditorWindow();
    return nullptr;
  }
  // The first tick paints everything.
  for (int32_t i = 0; i < ControlCount(); ++i) ControlAt(i)->MarkDirty(false);
  tickAndEntry_.RestartClock();
  return EditorWindow();
}

bool X11Editor::CreateWindow(Window parent, const XWindowAttributes& parentAttributes, int x, int y) {
  const int screen = XScreenNumberOfScreen(parentAttributes.screen);
  root_ = RootWindow(display_, screen);
  Visual* visual = DefaultVisual(display_, screen);
  const int depth = DefaultDepth(display_, screen);
  XSetWindowAttributes attributes{};
  attributes.background_pixmap = kXNone;  // every pixel comes from the draw bitmap
  attributes.border_pixel = 0;
  attributes.colormap = DefaultColormap(display_, screen);
  attributes.event_mask = kWindowEvents;
  window_ =
      XCreateWindow(display_, parent, x, y, unsigned(std::max(1, Width())), unsigned(std::max(1, Height())), 0, depth,
                    InputOutput, visual, CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &attributes);
  if (!window_) return false;
  gc_ = XCreateGC(display_, window_, 0, nullptr);
  painter_ = std::make_unique<X11ImagePainter>(display_, visual, depth);
  invisibleCursor_ = MakeInvisibleCursor(display_, window_);
  XMapWindow(display_, window_);
  return gc_ != nullptr;
}

void X11Editor::DestroyWindow() {
  mouseCaptured_ = false;
  leftPressPending_ = false;
  exposed_ = PixelRect{};
  usedKeyCodes_.clear();
  focusBeforeEntry_ = 0;
  if (!display_ || EditorDisplayBroken(display_)) {
    // Nothing can be sent any more; the connection's close frees the rest.
    window_ = 0;
    gc_ = nullptr;
    invisibleCursor_ = 0;
    return;
  }
  if (invisibleCursor_) XFreeCursor(display_, invisibleCursor_);
  if (gc_) XFreeGC(display_, gc_);
  if (window_) XDestroyWindow(display_, window_);
  invisibleCursor_ = 0;
  gc_ = nullptr;
  window_ = 0;
}

void X11Editor::CloseEditorWindow() {
  // A dialog still open is killed unanswered: nothing it could answer
  // belongs to a window that is gone.
  pendingDialog_.reset();
  if (!display_) return;
  {
    X11ErrorTrap trap(display_);
    if (tickAndEntry_.EntryOpen()) tickAndEntry_.CloseEntry(*this);
    RestoreCursor();
    DestroyWindow();
  }
  if (dispatchDepth_ > 0) {
    closeDisplayPending_ = true;
  } else {
    CloseDisplay();
  }
}

void X11Editor::CloseDisplay() {
  closeDisplayPending_ = false;
  if (window_) DestroyWindow();
  painter_.reset();
  CloseEditorDisplay(display_);
  display_ = nullptr;
}

void* X11Editor::EditorWindow() { return reinterpret_cast<void*>(uintptr_t(window_)); }

void X11Editor::Resize(int32_t width, int32_t height) {
  if (width == Width() && height == Height()) return;
  Editor::Resize(width, height);
  if (!window_) return;
  X11ErrorTrap trap(display_);
  XResizeWindow(display_, window_, unsigned(std::max(1, width)), unsigned(std::max(1, height)));
}

// Events and ticks ------------------------------------------------------------

void X11Editor::Idle() {
  if (!display_) return;
  if (EditorDisplayBroken(display_)) {
    CloseEditorWindow();
    return;
  }
  DispatchScope scope(*this);
  X11ErrorTrap trap(display_);
  DispatchPendingEvents();
  FinishPendingDialog();
  TickIfDue();
  if (display_ && !EditorDisplayBroken(display_)) XFlush(display_);
}

void X11Editor::DispatchPendingEvents() {
  for (int32_t handled = 0; handled < kMaxEventsPerIdle; ++handled) {
    if (!display_ || EditorDisplayBroken(display_) || XPending(display_) <= 0) return;
    XEvent event;
    XNextEvent(display_, &event);
    HandleEvent(event);
  }
}

void X11Editor::TickIfDue() {
  if (window_ && tickAndEntry_.Due(EditorTickAndEntry::Clock::now())) tickAndEntry_.Tick(*this);
}

void X11Editor::HandleEvent(XEvent& event) {
  // The connection is the editor's own; anything not about its window (a
  // closed menu's leftovers, an old window's) is dropped.
  if (!window_ || event.xany.window != window_) return;
  switch (event.type) {
    case Expose:
      OnExpose(event.xexpose);
      break;
    case ButtonPress:
      OnButtonPress(event.xbutton);
      break;
    case ButtonRelease:
      OnButtonRelease(event.xbutton);
      break;
    case MotionNotify:
      OnMotion(event.xmotion);
      break;
    case KeyPress:
      OnKeyPress(event.xkey);
      break;
    case KeyRelease:
      OnKeyRelease(event.xkey);
      break;
    case FocusOut:
      // Focus moving into a grab (our own menu) or to a child is no loss.
      if (event.xfocus.mode == NotifyNormal && event.xfocus.detail != NotifyInferior) tickAndEntry_.CancelEntry();
      break;
    case LeaveNotify:
      if (event.xcrossing.mode != NotifyNormal) break;
      for (int32_t i = 0; i < ControlCount(); ++i) ControlAt(i)->MouseOut();
      hoveredControl_ = -1;
      break;
    case DestroyNotify:
      // The host destroyed its window, and ours with it.
      if (event.xdestroywindow.window == window_) {
        window_ = 0;
        DestroyWindow();
      }
      break;
    default:
      break;
  }
}

void X11Editor::OnExpose(const XExposeEvent& event) {
  exposed_ = RectUnion(exposed_, PixelRect{event.x, event.y, event.x + event.width, event.y + event.height});
  if (event.count > 0) return;
  const PixelRect area = exposed_;
  exposed_ = PixelRect{};
  // The draw bitmap already holds the picture; drawing controls here would
  // mark pending changes as painted before the tick shows them.
  if (!area.IsEmpty()) PresentRect(RectIntersection(area, PixelRect{0, 0, Width(), Height()}));
}

bool X11Editor::PairsAsDoubleClick(const XButtonEvent& event) {
  const bool pairs = leftPressPending_ && event.time - leftPressTime_ <= kDoubleClickMs &&
                     std::abs(event.x - leftPressX_) <= kDoubleClickDistance &&
                     std::abs(event.y - leftPressY_) <= kDoubleClickDistance;
  // A double click does not pair again with the press after it.
  leftPressPending_ = !pairs;
  leftPressTime_ = event.time;
  leftPressX_ = event.x;
  leftPressY_ = event.y;
  return pairs;
}

void X11Editor::OnButtonPress(const XButtonEvent& event) {
  const MouseMods mods = ModsFor(event.state, event.button, ButtonPress);
  if (event.button == kWheelUp || event.button == kWheelDown) {
    if (tickAndEntry_.EntryOpen()) {
      tickAndEntry_.CancelEntry();
      return;
    }
    HandleWheel(event.x, event.y, mods, event.button == kWheelUp ? 1 : -1);
    return;
  }
  // The middle button has no use here; its press would capture the mouse
  // and begin a gesture that no release ends.
  if (event.button != Button1 && event.button != Button3) return;
  if (tickAndEntry_.EntryOpen()) {
    if (tickAndEntry_.PressOnlyCancels()) return;
    tickAndEntry_.CloseEntry(*this);
    RepaintAll();
  }
  const bool doubleClick = event.button == Button1 ? PairsAsDoubleClick(event) : false;
  if (event.button != Button1) leftPressPending_ = false;
  if (doubleClick) {
    mouseCaptured_ = HandleDoubleClick(event.x, event.y, mods);
    return;
  }
  mouseCaptured_ = true;
  HandleMouseDown(event.x, event.y, mods);
}

void X11Editor::OnButtonRelease(const XButtonEvent& event) {
  if (event.button != Button1 && event.button != Button3) return;
  mouseCaptured_ = false;
  HandleMouseUp(event.x, event.y, ModsFor(event.state, event.button, ButtonRelease));
}

void X11Editor::OnMotion(const XMotionEvent& event) {
  if (!mouseCaptured_ || tickAndEntry_.EntryOpen()) return;
  if (!(event.state & (Button1Mask | Button3Mask))) return;
  HandleMouseDrag(event.x, event.y, ModsFor(event.state, 0, MotionNotify));
}

void X11Editor::OnKeyPress(XKeyEvent& event) {
  if (tickAndEntry_.EntryOpen()) {
    // Its release may come after the box has closed (Return, say).
    usedKeyCodes_.insert(event.keycode);
    OnEntryKey(event);
    return;
  }
  const int32_t key = EditorKeyCode(XLookupKeysym(&event, 0));
  if (key >= 0 && HandleKey(event.x, event.y, key)) {
    usedKeyCodes_.insert(event.keycode);
    return;
  }
  ForwardToHost(event);
}

void X11Editor::OnKeyRelease(XKeyEvent& event) {
  if (tickAndEntry_.EntryOpen()) return;
  if (usedKeyCodes_.erase(event.keycode) > 0) return;
  ForwardToHost(event);
}

Window X11Editor::HostTopLevel() {
  // Under a window manager the host's top-level window is the nearest
  // ancestor it marked with WM_STATE (above it sits the manager's frame);
  // without one, the last window below the root.
  const Atom wmState = XInternAtom(display_, "WM_STATE", True);
  Window current = window_;
  for (int depth = 0; current && depth < 64; ++depth) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display_, current, &root, &parent, &children, &count)) return 0;
    if (children) XFree(children);
    if (current != window_ && wmState != kXNone && HasProperty(current, wmState)) return current;
    if (!parent || parent == root) return current == window_ ? 0 : current;
    current = parent;
  }
  return 0;
}

bool X11Editor::HasProperty(Window window, Atom property) {
  Atom type = kXNone;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  const int status = XGetWindowProperty(display_, window, property, 0, 0, False, AnyPropertyType, &type, &format,
                                        &items, &after, &data);
  if (data) XFree(data);
  return status == Success && type != kXNone;
}

void X11Editor::ForwardToHost(XKeyEvent& event) {
  // Hosts bind keys (Space for play, say) on their top-level window; what
  // the editor has no use for goes there, as if the editor were not in the
  // way.
  X11ErrorTrap trap(display_);
  const Window topLevel = HostTopLevel();
  if (!topLevel || trap.Failed()) return;
  XEvent forwarded{};
  forwarded.xkey = event;
  forwarded.xkey.window = topLevel;
  forwarded.xkey.subwindow = kXNone;
  Window child = 0;
  XTranslateCoordinates(display_, window_, topLevel, event.x, event.y, &forwarded.xkey.x, &forwarded.xkey.y, &child);
  const long mask = event.type == KeyPress ? KeyPressMask : KeyReleaseMask;
  XSendEvent(display_, topLevel, True, mask, &forwarded);
  XFlush(display_);
}

void X11Editor::OnEntryKey(XKeyEvent& event) {
  char typed[32] = {};
  KeySym key = NoSymbol;
  const int length = XLookupString(&event, typed, sizeof typed - 1, &key, nullptr);
  if (key == XK_Return || key == XK_KP_Enter) {
    tickAndEntry_.CommitEntry();
    return;
  }
  if (key == XK_Escape) {
    tickAndEntry_.CancelEntry();
    return;
  }
  bool changed = false;
  if (key == XK_BackSpace) {
    changed = entryBox_.Backspace();
  } else {
    // XLookupString gives Latin-1 bytes.
    for (int i = 0; i < length; ++i) {
      const uint32_t character = static_cast<unsigned char>(typed[i]);
      if (EditorTickAndEntry::EntryAccepts(tickAndEntry_.EntryParam(), character))
        changed = entryBox_.Insert(character) || changed;
    }
  }
  if (changed) ShowEntryBox();
}

void X11Editor::TakeFocus() {
  if (!window_) return;
  Window focused = 0;
  int revert = 0;
  XGetInputFocus(display_, &focused, &revert);
  if (focused != window_) {
    focusBeforeEntry_ = focused;
    focusRevertBeforeEntry_ = revert;
  }
  XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
}

void X11Editor::ReturnFocus() {
  const Window previous = focusBeforeEntry_;
  focusBeforeEntry_ = 0;
  if (!window_ || !previous || EditorDisplayBroken(display_)) return;
  Window focused = 0;
  int revert = 0;
  XGetInputFocus(display_, &focused, &revert);
  // Only a focus the entry box still holds is handed back.
  if (focused != window_) return;
  X11ErrorTrap trap(display_);
  XSetInputFocus(display_, previous, focusRevertBeforeEntry_, CurrentTime);
}

// Drawing --------------------------------------------------------------------

bool X11Editor::PresentRect(const PixelRect& rect) {
  if (!window_ || !painter_ || !DrawBitmap()) return false;
  X11ErrorTrap trap(display_);
  painter_->Put(window_, gc_, *DrawBitmap(), rect, rect.left, rect.top);
  if (entryBox_.IsOpen() && RectsOverlap(rect, entryBox_.Bounds())) ShowEntryBox();
  XFlush(display_);
  return !trap.Failed();
}

void X11Editor::ShowEntryBox() {
  if (!window_ || !painter_ || !entryBox_.IsOpen()) return;
  // Rendering may widen the box to fit its text.
  const RasterBitmap& picture = entryBox_.Render(*this);
  const PixelRect bounds = entryBox_.Bounds();
  painter_->Put(window_, gc_, picture, PixelRect{0, 0, bounds.Width(), bounds.Height()}, bounds.left, bounds.top);
}

void X11Editor::RepaintAll() { DrawControls(PixelRect{0, 0, Width(), Height()}); }

// Text entry -----------------------------------------------------------------

void X11Editor::BeginTextEntry(Control* control, const TextStyle& style, const PixelRect& rect, const char* initialText,
                               PlugParam* param) {
  if (!control || tickAndEntry_.EntryOpen() || !window_) return;
  X11ErrorTrap trap(display_);
  entryBox_.Open(style, rect, initialText, control->TextEntryLength());
  tickAndEntry_.EntryOpened(control, param);
  TakeFocus();
  tickAndEntry_.EntryFocused();
  ShowEntryBox();
  XFlush(display_);
}

void X11Editor::CancelTextEntry() { tickAndEntry_.CancelEntry(); }

void X11Editor::DestroyEntryBox() {
  const PixelRect bounds = entryBox_.Bounds();
  entryBox_.Close();
  // The draw bitmap under the box is intact: showing it again is enough.
  if (window_ && painter_ && DrawBitmap()) painter_->Put(window_, gc_, *DrawBitmap(), bounds, bounds.left, bounds.top);
  ReturnFocus();
}

// Menus ----------------------------------------------------------------------

PopupMenu* X11Editor::RunPopupMenu(PopupMenu* menu, const PixelRect& rect) {
  // The menu takes the mouse.
  ReleaseMouseCapture();
  mouseCaptured_ = false;
  leftPressPending_ = false;
  if (!menu || !window_ || !painter_) return nullptr;
  DispatchScope scope(*this);
  X11ErrorTrap trap(display_);
  int rootX = 0, rootY = 0;
  Window child = 0;
  if (!XTranslateCoordinates(display_, window_, root_, rect.left, rect.bottom, &rootX, &rootY, &child) || trap.Failed())
    return nullptr;

  X11PopupMenu::EditorLink link;
  link.otherEvent = [this](XEvent& event) { HandleEvent(event); };
  link.msUntilTick = [this]() {
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(tickAndEntry_.NextDue() -
                                                                            EditorTickAndEntry::Clock::now());
    return int32_t(std::clamp<int64_t>(wait.count(), 0, 1000));
  };
  link.tick = [this]() { TickIfDue(); };
  link.windowGone = [this]() { return !window_ || EditorDisplayBroken(display_); };
  link.waitUnlocked = ModalLock();
  int32_t chosen = -1;
  {
    X11PopupMenu popup(display_, *this, *painter_, std::move(link));
    chosen = popup.Run(*menu, rootX, rootY);
  }
  return chosen >= 0 ? menu->ChooseByCommand(chosen) : nullptr;
}

// Cursor ---------------------------------------------------------------------

void X11Editor::HideCursor() {
  if (cursorHidden_ || !window_) return;
  X11ErrorTrap trap(display_);
  Window root = 0, child = 0;
  int rootX = 0, rootY = 0, x = 0, y = 0;
  unsigned mask = 0;
  if (!XQueryPointer(display_, window_, &root, &child, &rootX, &rootY, &x, &y, &mask)) return;
  savedCursorX_ = rootX;
  savedCursorY_ = rootY;
  if (invisibleCursor_) XDefineCursor(display_, window_, invisibleCursor_);
  cursorHidden_ = true;
}

void X11Editor::RestoreCursor() {
  if (!cursorHidden_) return;
  cursorHidden_ = false;
  if (!window_ || EditorDisplayBroken(display_)) return;
  X11ErrorTrap trap(display_);
  XWarpPointer(display_, kXNone, root_, 0, 0, 0, 0, savedCursorX_, savedCursorY_);
  XUndefineCursor(display_, window_);
}

RasterBitmap* X11Editor::LoadResourceBitmap(int32_t id, const char* name) {
  return LoadNamedResourceImage(nullptr, id, name);
}

// Dialogs and folders ----------------------------------------------------------

RecursiveLock* X11Editor::ModalLock() const { return plug_ ? &plug_->InstanceLock() : nullptr; }

// The dialogs below run as child processes for as long as the user looks at
// them. The wait serves the window meanwhile (exposures and the tick), and
// gives up the instance lock only while it sleeps, so the host's audio runs
// on.

void X11Editor::WaitForDialog(int outputFd) {
  const bool serving = display_ && window_ && !EditorDisplayBroken(display_);
  int32_t waitMs = 1000;
  if (serving) {
    const auto untilTick = std::chrono::duration_cast<std::chrono::milliseconds>(tickAndEntry_.NextDue() -
                                                                                 EditorTickAndEntry::Clock::now());
    waitMs = int32_t(std::clamp<int64_t>(untilTick.count(), 0, 1000));
  }
  pollfd ready[2] = {{outputFd, POLLIN, 0}, {serving ? ConnectionNumber(display_) : -1, POLLIN, 0}};
  {
    LockReleased unlocked(ModalLock());
    poll(ready, serving ? 2 : 1, waitMs);
  }
  if (!serving) return;
  DispatchScope scope(*this);
  X11ErrorTrap trap(display_);
  for (int32_t handled = 0; handled < kMaxEventsPerIdle; ++handled) {
    if (!window_ || EditorDisplayBroken(display_) || XPending(display_) <= 0) break;
    XEvent event;
    XNextEvent(display_, &event);
    // Input waits until the dialog is answered: it must not start a second
    // conversation underneath this one.
    if (event.type == Expose || event.type == DestroyNotify) HandleEvent(event);
  }
  TickIfDue();
  if (display_ && !EditorDisplayBroken(display_)) XFlush(display_);
}

desktop::ToolWait X11Editor::DialogWait() {
  return [this](int outputFd) { WaitForDialog(outputFd); };
}

int32_t X11Editor::ShowMessage(const char* text, const char* caption, int32_t type) {
  const std::string message = text ? text : "";
  const std::string title = caption ? caption : "";
  return desktop::ShowMessageBox(message, title, type, DialogWait());
}

void X11Editor::AskForFile(TextBuf& file, int32_t action, TextBuf& folder, const char* extensions) {
  if (!window_) {
    file.Set("");
    return;
  }
  std::string startFolder = folder.Get();
  if (startFolder.empty()) startFolder = platform::DesktopFolder();
  const std::string startFile = file.Get();
  const std::string offered = extensions ? extensions : "";
  std::string chosen;
  const bool answered =
      desktop::ChooseFile(action == kFileSave, startFolder, startFile, offered.c_str(), chosen, DialogWait());
  if (!answered) return;
  folder.Set(platform::FolderOfPath(chosen).c_str());
  file.Set(chosen.c_str());
}

void X11Editor::AskForFileLater(int32_t action, const std::string& folder, const char* extensions, FileAnswer done) {
  if (!window_ || pendingDialog_) {
    if (done) done(std::string());
    return;
  }
  const std::string startFolder = folder.empty() ? platform::DesktopFolder() : folder;
  StartPendingDialog(desktop::FileDialogCommand(action == kFileSave, startFolder, "", extensions),
                     [done](const desktop::ToolRun& run) {
                       std::string chosen;  // stays empty unless a file was chosen
                       desktop::FileDialogAnswer(run, chosen);
                       if (done) done(chosen);
                     });
}

void X11Editor::ShowMessageLater(const char* text, const char* caption, int32_t type, MessageAnswer done) {
  if (!window_ || pendingDialog_) {
    if (done) done(desktop::DismissedAnswer(type));
    return;
  }
  StartPendingDialog(desktop::MessageBoxCommand(text ? text : "", caption ? caption : "", type),
                     [done, type](const desktop::ToolRun& run) {
                       if (done) done(desktop::MessageBoxAnswer(type, run));
                     });
}

void X11Editor::StartPendingDialog(const std::vector<std::string>& command, DialogFinish finish) {
  auto dialog = std::make_unique<PendingDialog>();
  if (command.empty() || !dialog->tool.Start(command)) {
    finish(dialog->tool.Result());
    return;
  }
  dialog->finish = std::move(finish);
  pendingDialog_ = std::move(dialog);
}

void X11Editor::FinishPendingDialog() {
  if (!pendingDialog_ || !pendingDialog_->tool.Poll()) return;
  // Taken out first: the answer may open the next dialog.
  const std::unique_ptr<PendingDialog> finished = std::move(pendingDialog_);
  finished->finish(finished->tool.Result());
}

bool X11Editor::AskForColor(ArgbColor& color, const char* prompt) {
  if (!window_) return false;
  ArgbColor chosen = color;
  const std::string title = prompt ? prompt : "";
  const bool answered = desktop::ChooseColor(chosen, title.c_str(), DialogWait());
  if (answered) color = chosen;
  return answered;
}

const char* X11Editor::FileDialogUnavailableReason() {
  if (desktop::DialogToolAvailable()) return nullptr;
  return "install zenity or kdialog";
}

bool X11Editor::OpenWebPage(const char* url, const char* title, const char* confirmText, const char* failText) {
  const std::string caption = title ? title : "";
  if (confirmText && ShowMessage(confirmText, caption.c_str(), desktop::kMessageYesNo) != desktop::kAnswerYes)
    return false;
  if (url) {
    const std::string address = url;
    // The opener may wait for the browser.
    if (desktop::OpenUrl(address, DialogWait())) return true;
  }
  if (failText) ShowMessage(failText, caption.c_str(), desktop::kMessageOk);
  return false;
}

void X11Editor::HostFolder(TextBuf& out) { out.Set(platform::ExecutableFolder().c_str()); }

void X11Editor::PluginFolder(TextBuf& out) { out.Set(platform::ModuleFolder().c_str()); }

void X11Editor::DesktopFolder(TextBuf& out) { out.Set(platform::DesktopFolder().c_str()); }
