#pragma once
// A modal popup menu of our own for X11: one override-redirect window per
// open menu level, drawn with the editor's raster and font code.
#include "graphics/x11/XlibHeaders.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "graphics/GuiTypes.h"
#include "platform/Lock.h"

class Editor;
class PopupMenu;
class SysBitmap;
class X11ImagePainter;

// Where a menu's items lie inside its window, in window pixels.
struct PopupMenuLayout {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<PixelRect> items;
};

PopupMenuLayout LayoutPopupMenu(Editor& editor, const PopupMenu& menu);

class X11PopupMenu {
public:
  // What the menu needs of the editor while it waits for the user.
  struct EditorLink {
    // An event that is not the menu's (an exposure of the editor, say).
    std::function<void(XEvent& event)> otherEvent;
    // Milliseconds until the editor's next tick, and running it.
    std::function<int32_t()> msUntilTick;
    std::function<void()> tick;
    // True when the editor's window is gone and the menu must close.
    std::function<bool()> windowGone;
    // Held by the caller and given up whenever the menu waits, so that the
    // host's other threads (its audio above all) are not stopped by a user
    // who looks at the menu. Everything else runs with it held.
    RecursiveLock* waitUnlocked = nullptr;
  };

  X11PopupMenu(Display* display, Editor& editor, const X11ImagePainter& painter, EditorLink link);
  ~X11PopupMenu();
  X11PopupMenu(const X11PopupMenu&) = delete;
  X11PopupMenu& operator=(const X11PopupMenu&) = delete;

  // Shows the menu with its top-left corner at root position (x, y), kept on
  // the screen, and waits until an item is chosen (its command id, numbered
  // as PopupMenu::ChooseByCommand expects) or the menu is dismissed (-1).
  int32_t Run(PopupMenu& menu, int32_t x, int32_t y);

private:
  struct Node;
  struct Level;
  struct Hit {
    int32_t level = -1;
    int32_t item = -1;  // or one of the scroll arrows below
  };
  static constexpr int32_t kScrollUpArrow = -2;
  static constexpr int32_t kScrollDownArrow = -3;

  static std::unique_ptr<Node> BuildNodes(PopupMenu* menu, int32_t& counter, int32_t depth);
  bool OpenLevel(Node* node, int32_t x, int32_t y);
  void OpenSubmenu(int32_t levelIndex, int32_t item, bool highlightFirst);
  void CloseLevelsAfter(int32_t levelIndex);
  void Draw(Level& level);
  void Highlight(int32_t levelIndex, int32_t item);
  Hit HitAt(int32_t rootX, int32_t rootY) const;
  bool Highlightable(const Level& level, int32_t item) const;
  bool Choosable(const Level& level, int32_t item) const;
  Node* SubmenuOf(const Level& level, int32_t item) const;
  bool GrabInput(Window window);
  void PauseUnlocked(std::chrono::milliseconds pause);
  void HandleEvent(XEvent& event);
  void HandlePointer(int32_t rootX, int32_t rootY, bool press, bool release);
  void HandleKey(XKeyEvent& event);
  void Choose(const Level& level, int32_t item);
  void Dismiss() { done_ = true; }
  void MoveHighlight(int32_t direction);
  // The first highlightable item from item on in direction, scrolled into view.
  void HighlightFrom(int32_t item, int32_t direction);
  void HighlightShown(int32_t item);
  int32_t ShownItemCount(const Level& level) const;
  static int32_t LastFirstItem(const Level& level);
  void ScrollTo(Level& level, int32_t first);
  void ScrollBy(Level& level, int32_t items);
  void ScrollIntoView(Level& level, int32_t item);
  void Wheel(int32_t rootX, int32_t rootY, int32_t items);

  Display* display_;
  Editor& editor_;
  const X11ImagePainter& painter_;
  EditorLink link_;
  GC gc_ = nullptr;
  TextStyle style_;
  std::vector<Level> levels_;
  bool done_ = false;
  int32_t chosen_ = -1;
  bool pointerGrabbed_ = false;
  bool keyboardGrabbed_ = false;
};
