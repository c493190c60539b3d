// Popup menus and text entry of the X11 editor, driven through XTest. A
// menu is modal, so the user's hands work from a second thread on their own
// connection while the editor waits in its menu loop.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "graphics/PopupMenu.h"
#include "graphics/x11/X11Editor.h"
#include "graphics/x11/X11PopupMenu.h"
#include "tests/graphics/GraphicsTestSupport.h"
#include "tests/x11/XTestSupport.h"

namespace {

using namespace graphics_test;
using namespace x11_test;
using namespace std::chrono_literals;

// Before any other Xlib call: the user's thread has its own connection.
const bool kXlibThreadsReady = XInitThreads() != 0;

constexpr int kParentX = 100, kParentY = 100;
constexpr PixelRect kMenuAnchor{10, 10, 60, 30};

class Conversation : public ::testing::Test {
protected:
  void SetUp() override {
    REQUIRE_TEST_X_SERVER();
    ASSERT_TRUE(kXlibThreadsReady);
    user = std::make_unique<TestDisplay>();
    ASSERT_NE(user->Get(), nullptr);
    editor = new X11Editor(&plug, 300, 200, 25);
    plug.SetEditor(editor);
    gain = new ProbeControl(&plug, {20, 20, 80, 40}, kGain);
    editor->AddControl(gain);
    editor->ParamToControls(kGain, plug.ParamAt(kGain)->NormalizedValue(), true);
    parent = user->CreateParent(kParentX, kParentY, 300, 200);
    ASSERT_NE(editor->OpenEditorWindow(reinterpret_cast<void*>(uintptr_t(parent))), nullptr);
    Pump(100ms);
  }
  void TearDown() override {
    if (editor) editor->CloseEditorWindow();
    user.reset();
  }

  void Pump(std::chrono::milliseconds time) { PumpFor([this] { editor->Idle(); }, time); }
  bool PumpUntil(const std::function<bool()>& done) {
    return x11_test::PumpUntil([this] { editor->Idle(); }, done);
  }

  // Runs the menu while `hands` acts on the screen from another thread. A
  // menu still open afterwards (a failed step) is dismissed, so that a
  // failing test cannot wait forever.
  PopupMenu* RunMenu(PopupMenu& menu, const std::function<void(TestDisplay&)>& hands) {
    std::thread worker([&hands] {
      TestDisplay screen;
      hands(screen);
      std::this_thread::sleep_for(300ms);
      for (int i = 0; i < 3 && !screen.MenuWindows().empty(); ++i) screen.Key(XK_Escape);
    });
    PopupMenu* chosen = editor->RunPopupMenu(&menu, kMenuAnchor);
    worker.join();
    return chosen;
  }

  // Menu windows on screen once `count` are open; empty after a timeout.
  static std::vector<XWindowAttributes> WaitForMenus(TestDisplay& screen, size_t count) {
    for (int i = 0; i < 1000; ++i) {
      std::vector<XWindowAttributes> menus = screen.MenuWindows();
      if (menus.size() == count) return menus;
      std::this_thread::sleep_for(3ms);
    }
    return {};
  }

  static int ItemCenterY(const PopupMenuLayout& layout, int item) {
    const PixelRect& rect = layout.items[size_t(item)];
    return (rect.top + rect.bottom) / 2;
  }

  // One, a separator, Sub (A, B), and a grayed item.
  void BuildMenu(PopupMenu& menu) {
    menu.AddItem("One");
    menu.AddSeparator();
    submenu = new PopupMenu;
    submenu->AddItem("A");
    submenu->AddItem("B");
    menu.AddItem("Sub", submenu);
    menu.AddItem("Gray")->flags = kItemGrayed;
  }

  TestPlug plug;
  X11Editor* editor = nullptr;  // owned by plug
  ProbeControl* gain = nullptr;
  PopupMenu* submenu = nullptr;
  Window parent = 0;
  std::unique_ptr<TestDisplay> user;
};

TEST_F(Conversation, MenuItemInSubmenuChosenWithTheMouse) {
  PopupMenu menu;
  BuildMenu(menu);
  const PopupMenuLayout top = LayoutPopupMenu(*editor, menu);
  const PopupMenuLayout sub = LayoutPopupMenu(*editor, *submenu);
  std::atomic<bool> placed{false};
  PopupMenu* chosen = RunMenu(menu, [&](TestDisplay& screen) {
    const auto menus = WaitForMenus(screen, 1);
    if (menus.empty()) return;
    placed = menus[0].x == kParentX + kMenuAnchor.left && menus[0].y == kParentY + kMenuAnchor.bottom;
    screen.MoveTo(menus[0].x + 20, menus[0].y + ItemCenterY(top, 2));
    const auto both = WaitForMenus(screen, 2);
    if (both.empty()) return;
    screen.Click(both[1].x + 20, both[1].y + ItemCenterY(sub, 1));
  });
  EXPECT_TRUE(placed);
  EXPECT_EQ(chosen, submenu);
  EXPECT_EQ(submenu->chosenItem, 1);
  EXPECT_EQ(menu.chosenItem, -1);
  EXPECT_TRUE(WaitForMenus(*user, 0).empty());
}

TEST_F(Conversation, MenuItemChosenWithTheKeyboard) {
  PopupMenu menu;
  BuildMenu(menu);
  PopupMenu* chosen = RunMenu(menu, [&](TestDisplay& screen) {
    if (WaitForMenus(screen, 1).empty()) return;
    screen.Key(XK_Down);   // One
    screen.Key(XK_Down);   // Sub, past the separator
    screen.Key(XK_Right);  // into the submenu, on A
    if (WaitForMenus(screen, 2).empty()) return;
    screen.Key(XK_Down);  // B
    screen.Key(XK_Return);
  });
  EXPECT_EQ(chosen, submenu);
  EXPECT_EQ(submenu->chosenItem, 1);
}

TEST_F(Conversation, GrayedItemsAreNotChosenAndEscapeOrAClickOutsideDismisses) {
  PopupMenu menu;
  BuildMenu(menu);
  PopupMenu* chosen = RunMenu(menu, [&](TestDisplay& screen) {
    if (WaitForMenus(screen, 1).empty()) return;
    screen.Key(XK_Up);  // Gray, the last item
    screen.Key(XK_Return);
    screen.Key(XK_Escape);
  });
  EXPECT_EQ(chosen, nullptr);
  EXPECT_EQ(menu.chosenItem, -1);

  chosen = RunMenu(menu, [&](TestDisplay& screen) {
    if (WaitForMenus(screen, 1).empty()) return;
    screen.Click(kParentX + 250, kParentY + 180);
  });
  EXPECT_EQ(chosen, nullptr);
}

TEST_F(Conversation, EntryFiltersTypingAndCommitsOnEnter) {
  editor->BeginTextEntry(gain, gain->Style(), {30, 25, 70, 41}, "5", plug.ParamAt(kGain));
  ASSERT_TRUE(editor->Ticker().EntryOpen());
  user->Type("7.5e");
  ASSERT_TRUE(PumpUntil([&] { return editor->EntryText() == "7.5"; })) << editor->EntryText();
  user->Key(XK_Return);
  ASSERT_TRUE(PumpUntil([&] { return !editor->Ticker().EntryOpen(); }));
  EXPECT_EQ(plug.ParamAt(kGain)->Value(), 7.5);
  EXPECT_EQ(plug.log.back(), "set 0 0.75");
}

TEST_F(Conversation, EntryCancelsOnAClickElsewhere) {
  editor->BeginTextEntry(gain, gain->Style(), {30, 25, 70, 41}, "5", plug.ParamAt(kGain));
  user->Type("3");
  ASSERT_TRUE(PumpUntil([&] { return editor->EntryText() == "3"; }));
  Pump(100ms);
  user->Click(kParentX + 200, kParentY + 150);
  ASSERT_TRUE(PumpUntil([&] { return !editor->Ticker().EntryOpen(); }));
  Pump(100ms);
  EXPECT_EQ(plug.ParamAt(kGain)->Value(), 5.0);
}

}  // namespace
