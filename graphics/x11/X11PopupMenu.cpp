#include "graphics/x11/X11PopupMenu.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "graphics/Editor.h"
#include "graphics/PopupMenu.h"
#include "graphics/ResourceCaches.h"
#include "graphics/x11/X11Image.h"
#include "raster/RasterBitmap.h"
#include "raster/RasterFont.h"
#include "raster/RasterOps.h"

namespace {

constexpr int32_t kBorder = 1;
constexpr int32_t kPadTop = 2;
constexpr int32_t kTextLeft = 22;      // room for the check mark
constexpr int32_t kTextRightPad = 26;  // room for the submenu arrow
constexpr int32_t kMinItemHeight = 18;
constexpr int32_t kSeparatorHeight = 7;
constexpr int32_t kMinWidth = 80;
constexpr int32_t kSubmenuOverlap = 3;
// A menu taller than the screen shows a window of it between two arrow
// strips; hovering an arrow scrolls one item per step, the wheel three.
constexpr int32_t kScrollArrowHeight = 14;
constexpr int32_t kWheelItems = 3;
constexpr auto kAutoScrollStep = std::chrono::milliseconds(40);
constexpr unsigned kWheelUpButton = 4;
constexpr unsigned kWheelDownButton = 5;

constexpr Pixel32 kBackColor = 0xFFF2F2F2;
constexpr Pixel32 kBorderColor = 0xFF7A7A7A;
constexpr Pixel32 kSeparatorColor = 0xFFC4C4C4;
constexpr Pixel32 kHighlightColor = 0xFF3875D7;
constexpr Pixel32 kTextColor = 0xFF000000;
constexpr Pixel32 kHighlightTextColor = 0xFFFFFFFF;
constexpr Pixel32 kGrayedTextColor = 0xFF8C8C8C;

// A grab can fail while the window is not yet viewable; it is retried for
// about half a second, then the menu gives up rather than wait unseen.
constexpr int kGrabAttempts = 100;
constexpr auto kGrabRetryPause = std::chrono::milliseconds(5);

TextStyle MenuTextStyle() {
  TextStyle style;
  style.SetFaceName("Verdana");
  style.size = 12;
  style.alignment = kAlignLeft;
  return style;
}

void Fill(RasterBitmap& bitmap, int32_t x, int32_t y, int32_t width, int32_t height, Pixel32 color) {
  RasterFill(&bitmap, x, y, width, height, color, 1.0f, BlendCopy);
}

void DrawCheckMark(RasterBitmap& bitmap, int32_t centerY, Pixel32 color) {
  // A short stroke down to the right, then a long one up to the right.
  for (int32_t i = 0; i < 3; ++i) Fill(bitmap, 7 + i, centerY - 1 + i, 2, 2, color);
  for (int32_t i = 0; i < 6; ++i) Fill(bitmap, 10 + i, centerY + 1 - i, 2, 2, color);
}

void DrawSubmenuArrow(RasterBitmap& bitmap, int32_t right, int32_t centerY, Pixel32 color) {
  for (int32_t column = 0; column < 4; ++column)
    Fill(bitmap, right - 14 + column, centerY - 3 + column, 1, 7 - 2 * column, color);
}

void DrawScrollArrow(RasterBitmap& bitmap, int32_t centerX, int32_t centerY, int32_t direction, Pixel32 color) {
  // A small triangle pointing up (-1) or down (+1).
  for (int32_t row = 0; row < 4; ++row) {
    const int32_t half = direction < 0 ? row : 3 - row;
    Fill(bitmap, centerX - half, centerY - 2 + row, 2 * half + 1, 1, color);
  }
}

}  // namespace

struct X11PopupMenu::Node {
  PopupMenu* menu = nullptr;
  int32_t base = 0;                             // command id of the first item
  std::vector<std::unique_ptr<Node>> children;  // per item; null without a submenu
};

struct X11PopupMenu::Level {
  Node* node = nullptr;
  Window window = 0;
  int32_t x = 0;
  int32_t y = 0;
  PopupMenuLayout layout;
  int32_t highlighted = -1;
  // The window shows viewHeight pixels of the layout; only that much is
  // allocated, however long the menu.
  int32_t viewHeight = 0;
  bool scrolls = false;
  int32_t first = 0;      // the first item shown
  int32_t maxFirst = 0;   // first when the last item is shown at the bottom
  int32_t scrolling = 0;  // -1 or +1 while the pointer rests on an arrow
  std::unique_ptr<SysBitmap> bitmap;

  int32_t ItemsTop() const { return scrolls ? kScrollArrowHeight : kPadTop; }
  int32_t ItemsBottom() const { return scrolls ? viewHeight - kScrollArrowHeight : viewHeight - kPadTop; }
  // Layout y minus this is window y.
  int32_t Offset() const { return layout.items.empty() ? 0 : layout.items[size_t(first)].top - ItemsTop(); }
  bool Shown(int32_t item) const {
    if (item < first || item >= int32_t(layout.items.size())) return false;
    return layout.items[size_t(item)].bottom - Offset() <= ItemsBottom();
  }
};

PopupMenuLayout LayoutPopupMenu(Editor& editor, const PopupMenu& menu) {
  TextStyle style = MenuTextStyle();
  RasterFont* font = editor.FontFor(style);
  LockHold fontInUse(SharedFontUseLock());
  const int32_t itemHeight = std::max(kMinItemHeight, (font ? font->LineHeight() : 0) + 6);
  PopupMenuLayout layout;
  int32_t widestText = 0;
  int32_t y = kPadTop;
  TextBuf shown;
  for (int32_t i = 0; i < menu.ItemCount(); ++i) {
    const PopupMenuItem* item = menu.ItemAt(i);
    const int32_t height = item->IsSeparator() ? kSeparatorHeight : itemHeight;
    layout.items.push_back(PixelRect{kBorder, y, 0, y + height});
    y += height;
    if (item->IsSeparator() || !font) continue;
    menu.ShownText(i, shown);
    RasterRect measured{};
    font->RenderText(nullptr, shown.Get(), -1, &measured, TextMeasureOnly | TextSingleLine);
    widestText = std::max(widestText, measured.right - measured.left);
  }
  layout.width = std::max(kMinWidth, kTextLeft + widestText + kTextRightPad);
  layout.height = y + kPadTop;
  for (PixelRect& rect : layout.items) rect.right = layout.width - kBorder;
  return layout;
}

X11PopupMenu::X11PopupMenu(Display* display, Editor& editor, const X11ImagePainter& painter, EditorLink link)
    : display_(display), editor_(editor), painter_(painter), link_(std::move(link)), style_(MenuTextStyle()) {}

X11PopupMenu::~X11PopupMenu() {
  CloseLevelsAfter(-1);
  if (pointerGrabbed_) XUngrabPointer(display_, CurrentTime);
  if (keyboardGrabbed_) XUngrabKeyboard(display_, CurrentTime);
  if (gc_) XFreeGC(display_, gc_);
  XFlush(display_);
}

std::unique_ptr<X11PopupMenu::Node> X11PopupMenu::BuildNodes(PopupMenu* menu, int32_t& counter, int32_t depth) {
  // The same walk and depth limit as the command numbering of PopupMenu.
  if (!menu || depth >= PopupMenu::kMaxDepth) return nullptr;
  auto node = std::make_unique<Node>();
  node->menu = menu;
  node->base = counter;
  counter += menu->ItemCount();
  node->children.resize(size_t(menu->ItemCount()));
  for (int32_t i = 0; i < menu->ItemCount(); ++i) {
    const PopupMenuItem* item = menu->ItemAt(i);
    if (!item->IsSeparator() && item->submenu)
      node->children[size_t(i)] = BuildNodes(item->submenu, counter, depth + 1);
  }
  return node;
}

int32_t X11PopupMenu::Run(PopupMenu& menu, int32_t x, int32_t y) {
  if (!display_ || menu.ItemCount() == 0) return -1;
  int32_t counter = 0;
  std::unique_ptr<Node> root = BuildNodes(&menu, counter, 0);
  if (!root) return -1;
  gc_ = XCreateGC(display_, DefaultRootWindow(display_), 0, nullptr);
  if (!OpenLevel(root.get(), x, y)) return -1;
  if (!GrabInput(levels_.front().window)) return -1;

  const int connection = ConnectionNumber(display_);
  auto nextScroll = std::chrono::steady_clock::now();
  while (!done_) {
    while (!done_ && XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      HandleEvent(event);
    }
    if (done_ || (link_.windowGone && link_.windowGone())) break;
    int32_t wait = link_.msUntilTick ? std::max<int32_t>(0, link_.msUntilTick()) : -1;
    Level* scrolling = nullptr;
    for (Level& level : levels_)
      if (level.scrolling != 0) scrolling = &level;
    const auto now = std::chrono::steady_clock::now();
    if (scrolling) {
      if (now >= nextScroll) {
        ScrollBy(*scrolling, scrolling->scrolling);
        nextScroll = now + kAutoScrollStep;
        XFlush(display_);
      }
      const auto untilScroll = std::chrono::duration_cast<std::chrono::milliseconds>(nextScroll - now).count();
      wait = wait < 0 ? int32_t(untilScroll) : std::min<int32_t>(wait, int32_t(untilScroll));
    }
    pollfd ready{connection, POLLIN, 0};
    int result = 0;
    {
      LockReleased unlocked(link_.waitUnlocked);
      result = poll(&ready, 1, wait);
    }
    if (result < 0 && errno != EINTR) break;
    if (result == 0 && link_.tick) link_.tick();
  }
  return done_ ? chosen_ : -1;
}

void X11PopupMenu::PauseUnlocked(std::chrono::milliseconds pause) {
  LockReleased unlocked(link_.waitUnlocked);
  std::this_thread::sleep_for(pause);
}

bool X11PopupMenu::GrabInput(Window window) {
  for (int attempt = 0; attempt < kGrabAttempts && !pointerGrabbed_; ++attempt) {
    pointerGrabbed_ = XGrabPointer(display_, window, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                                   GrabModeAsync, GrabModeAsync, kXNone, kXNone, CurrentTime) == GrabSuccess;
    if (!pointerGrabbed_) PauseUnlocked(kGrabRetryPause);
  }
  if (!pointerGrabbed_) return false;
  for (int attempt = 0; attempt < kGrabAttempts && !keyboardGrabbed_; ++attempt) {
    keyboardGrabbed_ = XGrabKeyboard(display_, window, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
    if (!keyboardGrabbed_) PauseUnlocked(kGrabRetryPause);
  }
  // Without the keyboard the mouse still works; the menu stays usable.
  return true;
}

bool X11PopupMenu::OpenLevel(Node* node, int32_t x, int32_t y) {
  Level level;
  level.node = node;
  level.layout = LayoutPopupMenu(editor_, *node->menu);
  const int screen = DefaultScreen(display_);
  const int32_t screenWidth = DisplayWidth(display_, screen);
  const int32_t screenHeight = DisplayHeight(display_, screen);
  if (!levels_.empty() && x + level.layout.width > screenWidth) {
    // A submenu that does not fit on the right opens to the left.
    const Level& parent = levels_.back();
    x = parent.x - level.layout.width + kSubmenuOverlap;
  }
  level.viewHeight = std::min(level.layout.height, std::max(screenHeight, 3 * kScrollArrowHeight + kMinItemHeight));
  level.scrolls = level.viewHeight < level.layout.height;
  level.maxFirst = LastFirstItem(level);
  level.x = std::max(0, std::min(x, screenWidth - level.layout.width));
  level.y = std::max(0, std::min(y, screenHeight - level.viewHeight));

  level.bitmap = std::make_unique<SysBitmap>(level.layout.width, level.viewHeight);
  if (!level.bitmap->PixelData()) return false;
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.save_under = True;
  attributes.background_pixel = BlackPixel(display_, screen);
  attributes.border_pixel = 0;
  attributes.colormap = DefaultColormap(display_, screen);
  attributes.event_mask = ExposureMask | StructureNotifyMask;
  level.window = XCreateWindow(
      display_, RootWindow(display_, screen), level.x, level.y, unsigned(level.layout.width),
      unsigned(level.viewHeight), 0, DefaultDepth(display_, screen), InputOutput, DefaultVisual(display_, screen),
      CWOverrideRedirect | CWSaveUnder | CWBackPixel | CWBorderPixel | CWColormap | CWEventMask, &attributes);
  if (!level.window) return false;
  XMapRaised(display_, level.window);
  levels_.push_back(std::move(level));
  Draw(levels_.back());
  return true;
}

void X11PopupMenu::CloseLevelsAfter(int32_t levelIndex) {
  while (int32_t(levels_.size()) > levelIndex + 1) {
    if (levels_.back().window) XDestroyWindow(display_, levels_.back().window);
    levels_.pop_back();
  }
}

X11PopupMenu::Node* X11PopupMenu::SubmenuOf(const Level& level, int32_t item) const {
  if (item < 0 || item >= int32_t(level.node->children.size())) return nullptr;
  return level.node->children[size_t(item)].get();
}

bool X11PopupMenu::Highlightable(const Level& level, int32_t item) const {
  const PopupMenuItem* entry = level.node->menu->ItemAt(item);
  return entry && !entry->IsSeparator();
}

bool X11PopupMenu::Choosable(const Level& level, int32_t item) const {
  const PopupMenuItem* entry = level.node->menu->ItemAt(item);
  if (!entry || entry->IsSeparator() || (entry->flags & (kItemGrayed | kItemDisabled))) return false;
  // An item that points at a submenu opens it; one whose submenu lies beyond
  // the depth limit is not a command either.
  return !entry->submenu;
}

void X11PopupMenu::Draw(Level& level) {
  RasterBitmap& bitmap = *level.bitmap;
  const PopupMenuLayout& layout = level.layout;
  Fill(bitmap, 0, 0, layout.width, level.viewHeight, kBorderColor);
  Fill(bitmap, kBorder, kBorder, layout.width - 2 * kBorder, level.viewHeight - 2 * kBorder, kBackColor);
  if (level.scrolls) {
    const int32_t centerX = layout.width / 2;
    DrawScrollArrow(bitmap, centerX, kScrollArrowHeight / 2, -1, level.first > 0 ? kTextColor : kGrayedTextColor);
    DrawScrollArrow(bitmap, centerX, level.viewHeight - kScrollArrowHeight / 2, 1,
                    level.first < level.maxFirst ? kTextColor : kGrayedTextColor);
  }
  RasterFont* font = editor_.FontFor(style_);
  LockHold fontInUse(SharedFontUseLock());
  TextBuf shown;
  const int32_t offset = level.Offset();
  for (int32_t i = level.first; level.Shown(i); ++i) {
    PixelRect rect = layout.items[size_t(i)];
    rect.top -= offset;
    rect.bottom -= offset;
    const PopupMenuItem* item = level.node->menu->ItemAt(i);
    const int32_t centerY = (rect.top + rect.bottom) / 2;
    if (item->IsSeparator()) {
      Fill(bitmap, rect.left + 3, centerY, rect.Width() - 6, 1, kSeparatorColor);
      continue;
    }
    const bool highlighted = i == level.highlighted;
    if (highlighted) Fill(bitmap, rect.left, rect.top, rect.Width(), rect.Height(), kHighlightColor);
    Pixel32 color = highlighted ? kHighlightTextColor : kTextColor;
    if (item->flags & kItemGrayed) color = kGrayedTextColor;
    if (item->flags & kItemChecked) DrawCheckMark(bitmap, centerY, color);
    if (SubmenuOf(level, i)) DrawSubmenuArrow(bitmap, rect.right, centerY, color);
    if (!font) continue;
    level.node->menu->ShownText(i, shown);
    RasterRect textRect{kTextLeft, rect.top, rect.right - kTextRightPad + 8, rect.bottom};
    font->ChangeTextColor(color);
    font->RenderText(&bitmap, shown.Get(), -1, &textRect, TextVCenter | TextSingleLine);
  }
  painter_.Put(level.window, gc_, bitmap, PixelRect{0, 0, layout.width, level.viewHeight}, 0, 0);
}

int32_t X11PopupMenu::LastFirstItem(const Level& level) {
  const int32_t count = int32_t(level.layout.items.size());
  if (!level.scrolls || count == 0) return 0;
  const int32_t room = level.ItemsBottom() - level.ItemsTop();
  const int32_t bottom = level.layout.items.back().bottom;
  int32_t first = count - 1;
  while (first > 0 && bottom - level.layout.items[size_t(first - 1)].top <= room) --first;
  return first;
}

void X11PopupMenu::ScrollTo(Level& level, int32_t first) {
  first = std::clamp(first, 0, level.maxFirst);
  if (first == level.first) return;
  level.first = first;
  // A submenu would hang off an item that moved.
  for (size_t l = 0; l < levels_.size(); ++l)
    if (&levels_[l] == &level) CloseLevelsAfter(int32_t(l));
  Draw(level);
}

void X11PopupMenu::ScrollBy(Level& level, int32_t items) { ScrollTo(level, level.first + items); }

void X11PopupMenu::ScrollIntoView(Level& level, int32_t item) {
  if (item < 0 || item >= int32_t(level.layout.items.size()) || level.Shown(item)) return;
  if (item < level.first) {
    ScrollTo(level, item);
    return;
  }
  // The first item that leaves room for this one at the bottom.
  const int32_t room = level.ItemsBottom() - level.ItemsTop();
  const int32_t needTop = level.layout.items[size_t(item)].bottom - room;
  const auto begin = level.layout.items.begin();
  const auto found =
      std::lower_bound(begin, begin + item, needTop, [](const PixelRect& rect, int32_t top) { return rect.top < top; });
  ScrollTo(level, int32_t(found - begin));
}

void X11PopupMenu::Highlight(int32_t levelIndex, int32_t item) {
  Level& level = levels_[size_t(levelIndex)];
  if (!Highlightable(level, item)) item = -1;
  if (level.highlighted == item) return;
  level.highlighted = item;
  Draw(level);
}

void X11PopupMenu::OpenSubmenu(int32_t levelIndex, int32_t item, bool highlightFirst) {
  const bool alreadyOpen = int32_t(levels_.size()) > levelIndex + 1 && levels_[size_t(levelIndex)].highlighted == item;
  Highlight(levelIndex, item);
  Node* child = SubmenuOf(levels_[size_t(levelIndex)], item);
  if (alreadyOpen && child && levels_[size_t(levelIndex) + 1].node == child) return;
  CloseLevelsAfter(levelIndex);
  if (!child || child->menu->ItemCount() == 0) return;
  const Level& parent = levels_[size_t(levelIndex)];
  const PixelRect& rect = parent.layout.items[size_t(item)];
  if (!OpenLevel(child, parent.x + parent.layout.width - kSubmenuOverlap,
                 parent.y + rect.top - parent.Offset() - kPadTop))
    return;
  if (highlightFirst) MoveHighlight(1);
}

X11PopupMenu::Hit X11PopupMenu::HitAt(int32_t rootX, int32_t rootY) const {
  for (int32_t l = int32_t(levels_.size()) - 1; l >= 0; --l) {
    const Level& level = levels_[size_t(l)];
    const int32_t x = rootX - level.x;
    const int32_t y = rootY - level.y;
    if (x < 0 || y < 0 || x >= level.layout.width || y >= level.viewHeight) continue;
    if (level.scrolls && y < kScrollArrowHeight) return Hit{l, kScrollUpArrow};
    if (level.scrolls && y >= level.viewHeight - kScrollArrowHeight) return Hit{l, kScrollDownArrow};
    const int32_t layoutY = y + level.Offset();
    const auto begin = level.layout.items.begin();
    const auto end = level.layout.items.end();
    const auto after =
        std::upper_bound(begin, end, layoutY, [](int32_t at, const PixelRect& rect) { return at < rect.top; });
    if (after == begin) return Hit{l, -1};
    const int32_t item = int32_t(after - begin) - 1;
    if (!level.Shown(item) || !level.layout.items[size_t(item)].Contains(x, layoutY)) return Hit{l, -1};
    return Hit{l, item};
  }
  return Hit{};
}

void X11PopupMenu::Choose(const Level& level, int32_t item) {
  chosen_ = level.node->base + item;
  done_ = true;
}

void X11PopupMenu::HandlePointer(int32_t rootX, int32_t rootY, bool press, bool release) {
  const Hit hit = HitAt(rootX, rootY);
  for (Level& level : levels_) level.scrolling = 0;
  if (hit.level < 0) {
    if (press) Dismiss();
    return;
  }
  if (hit.item == kScrollUpArrow || hit.item == kScrollDownArrow) {
    levels_[size_t(hit.level)].scrolling = hit.item == kScrollUpArrow ? -1 : 1;
    return;
  }
  if (hit.item < 0) return;
  const Level& level = levels_[size_t(hit.level)];
  if (SubmenuOf(level, hit.item)) {
    OpenSubmenu(hit.level, hit.item, false);
    return;
  }
  CloseLevelsAfter(hit.level);
  Highlight(hit.level, hit.item);
  if (release && Choosable(level, hit.item)) Choose(level, hit.item);
}

void X11PopupMenu::MoveHighlight(int32_t direction) {
  Level& level = levels_.back();
  const int32_t count = level.node->menu->ItemCount();
  int32_t item = level.highlighted;
  for (int32_t step = 0; step < count; ++step) {
    if (item < 0) {
      item = direction > 0 ? 0 : count - 1;
    } else {
      item = (item + direction + count) % count;
    }
    if (Highlightable(level, item)) {
      HighlightShown(item);
      return;
    }
  }
}

void X11PopupMenu::HighlightFrom(int32_t item, int32_t direction) {
  Level& level = levels_.back();
  const int32_t count = level.node->menu->ItemCount();
  for (item = std::clamp(item, 0, count - 1); item >= 0 && item < count; item += direction) {
    if (Highlightable(level, item)) {
      HighlightShown(item);
      return;
    }
  }
}

void X11PopupMenu::HighlightShown(int32_t item) {
  Level& level = levels_.back();
  ScrollIntoView(level, item);
  Highlight(int32_t(levels_.size()) - 1, item);
}

int32_t X11PopupMenu::ShownItemCount(const Level& level) const {
  int32_t shown = 0;
  while (level.Shown(level.first + shown)) ++shown;
  return std::max(1, shown);
}

void X11PopupMenu::Wheel(int32_t rootX, int32_t rootY, int32_t items) {
  const Hit hit = HitAt(rootX, rootY);
  Level& level = hit.level >= 0 ? levels_[size_t(hit.level)] : levels_.back();
  ScrollBy(level, items);
  // The item now under the pointer is the highlighted one.
  HandlePointer(rootX, rootY, false, false);
}

void X11PopupMenu::HandleKey(XKeyEvent& event) {
  const KeySym key = XLookupKeysym(&event, 0);
  const int32_t innermost = int32_t(levels_.size()) - 1;
  Level& level = levels_.back();
  switch (key) {
    case XK_Up:
    case XK_KP_Up:
      MoveHighlight(-1);
      break;
    case XK_Down:
    case XK_KP_Down:
      MoveHighlight(1);
      break;
    case XK_Right:
    case XK_KP_Right:
      if (SubmenuOf(level, level.highlighted)) OpenSubmenu(innermost, level.highlighted, true);
      break;
    case XK_Home:
    case XK_KP_Home:
      HighlightFrom(0, 1);
      break;
    case XK_End:
    case XK_KP_End:
      HighlightFrom(level.node->menu->ItemCount() - 1, -1);
      break;
    case XK_Page_Up:
    case XK_KP_Page_Up:
      HighlightFrom(std::max(level.highlighted, 0) - ShownItemCount(level), -1);
      break;
    case XK_Page_Down:
    case XK_KP_Page_Down:
      HighlightFrom(std::max(level.highlighted, 0) + ShownItemCount(level), 1);
      break;
    case XK_Left:
    case XK_KP_Left:
      if (innermost > 0) CloseLevelsAfter(innermost - 1);
      break;
    case XK_Escape:
      if (innermost > 0) {
        CloseLevelsAfter(innermost - 1);
      } else {
        Dismiss();
      }
      break;
    case XK_Return:
    case XK_KP_Enter:
    case XK_space:
      if (SubmenuOf(level, level.highlighted)) {
        OpenSubmenu(innermost, level.highlighted, true);
      } else if (Choosable(level, level.highlighted)) {
        Choose(level, level.highlighted);
      }
      break;
    default:
      break;
  }
}

void X11PopupMenu::HandleEvent(XEvent& event) {
  Level* target = nullptr;
  for (Level& level : levels_)
    if (event.xany.window == level.window) target = &level;
  // Pointer and key events come to the grabbing window in root coordinates.
  // Input queued for the editor before the menu opened is dropped, so that
  // it cannot start a second conversation underneath this one.
  switch (event.type) {
    case MotionNotify:
      if (target) HandlePointer(event.xmotion.x_root, event.xmotion.y_root, false, false);
      return;
    case ButtonPress:
    case ButtonRelease:
      if (target && event.type == ButtonPress &&
          (event.xbutton.button == kWheelUpButton || event.xbutton.button == kWheelDownButton)) {
        Wheel(event.xbutton.x_root, event.xbutton.y_root,
              event.xbutton.button == kWheelUpButton ? -kWheelItems : kWheelItems);
        return;
      }
      if (target && event.xbutton.button >= Button1 && event.xbutton.button <= Button3)
        HandlePointer(event.xbutton.x_root, event.xbutton.y_root, event.type == ButtonPress,
                      event.type == ButtonRelease);
      return;
    case KeyPress:
    case KeyRelease:
      if (target && event.type == KeyPress) HandleKey(event.xkey);
      return;
    default:
      break;
  }
  if (target) {
    if (event.type == Expose && event.xexpose.count == 0) Draw(*target);
    return;
  }
  if (link_.otherEvent) link_.otherEvent(event);
}
