// Popup menus and text entry of the X11 editor, driven through XTest. A
// menu is modal, so the user's hands work from a second thread on their own
// connection while the editor waits in its menu loop.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>
#include <memory>
#include <thread>

#include "graphics/PopupMenu.h"
#include "graphics/x11/X11Editor.h"
#include "graphics/x11/X11EntryBox.h"
#include "graphics/x11/X11PopupMenu.h"
#include "raster/RasterFont.h"
#include "tests/graphics/GraphicsTestSupport.h"
#include "tests/x11/XTestSupport.h"

namespace {

using namespace graphics_test;
using namespace x11_test;
using namespace std::chrono_literals;

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

  void Pump(std::chrono::milliseconds time) {
    PumpFor([this] { editor->Idle(); }, time);
  }
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
    for (int i = 0; i < 3000; ++i) {
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
  ASSERT_TRUE(editor->TickAndEntry().EntryOpen());
  user->Type("7.5e");
  ASSERT_TRUE(PumpUntil([&] { return editor->EntryText() == "7.5"; })) << editor->EntryText();
  user->Key(XK_Return);
  ASSERT_TRUE(PumpUntil([&] { return !editor->TickAndEntry().EntryOpen(); }));
  EXPECT_EQ(plug.ParamAt(kGain)->Value(), 7.5);
  EXPECT_EQ(plug.log.back(), "set 0 0.75");
}

TEST_F(Conversation, EntryCancelsOnAClickElsewhere) {
  editor->BeginTextEntry(gain, gain->Style(), {30, 25, 70, 41}, "5", plug.ParamAt(kGain));
  user->Type("3");
  ASSERT_TRUE(PumpUntil([&] { return editor->EntryText() == "3"; }));
  Pump(100ms);
  user->Click(kParentX + 200, kParentY + 150);
  ASSERT_TRUE(PumpUntil([&] { return !editor->TickAndEntry().EntryOpen(); }));
  Pump(100ms);
  EXPECT_EQ(plug.ParamAt(kGain)->Value(), 5.0);
}

// Menus longer than the screen: the window fits the screen, the wheel and
// the keys reach the last item, and memory follows the window, not the menu.
TEST_F(Conversation, LongMenuScrollsToItsLastItemWithTheWheel) {
  PopupMenu menu;
  for (int i = 0; i < 200; ++i) menu.AddItem(("Sound " + std::to_string(i)).c_str());
  const int itemHeight = LayoutPopupMenu(*editor, menu).items[0].Height();
  constexpr int kArrowStrip = 14;
  std::atomic<int> menuHeight{0};
  PopupMenu* chosen = RunMenu(menu, [&](TestDisplay& screen) {
    const auto menus = WaitForMenus(screen, 1);
    if (menus.empty()) return;
    menuHeight = menus[0].height;
    const int x = menus[0].x + 20;
    for (int i = 0; i < 100; ++i) screen.Click(x, menus[0].y + menus[0].height / 2, 5);
    // Scrolled to the end, the last item sits right above the lower arrow.
    const int shown = (menus[0].height - 2 * kArrowStrip) / itemHeight;
    screen.Click(x, menus[0].y + kArrowStrip + shown * itemHeight - itemHeight / 2);
  });
  const int screenHeight = DisplayHeight(user->Get(), DefaultScreen(user->Get()));
  EXPECT_GT(menuHeight.load(), 0);
  EXPECT_LE(menuHeight.load(), screenHeight);
  EXPECT_EQ(chosen, &menu);
  EXPECT_EQ(menu.chosenItem, 199);
}

TEST_F(Conversation, HugeMenuReachesItsLastItemByKeyInBoundedMemory) {
  PopupMenu menu;
  for (int i = 0; i < 30000; ++i) menu.AddItem(("Sound " + std::to_string(i)).c_str());
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const long peakBeforeKb = usage.ru_maxrss;
  std::atomic<int> menuHeight{0};
  PopupMenu* chosen = RunMenu(menu, [&](TestDisplay& screen) {
    const auto menus = WaitForMenus(screen, 1);
    if (menus.empty() || !screen.WaitForKeyboardGrab()) return;
    menuHeight = menus[0].height;
    screen.Key(XK_End);
    screen.Key(XK_Return);
  });
  getrusage(RUSAGE_SELF, &usage);
  EXPECT_GT(menuHeight.load(), 0);
  EXPECT_LE(menuHeight.load(), DisplayHeight(user->Get(), DefaultScreen(user->Get())));
  EXPECT_EQ(chosen, &menu);
  EXPECT_EQ(menu.chosenItem, 29999);
  // A picture of the whole menu would take over 200 MB.
  EXPECT_LT(usage.ru_maxrss - peakBeforeKb, 64 * 1024);

  // Up from nothing wraps to the last item, scrolled into view.
  chosen = RunMenu(menu, [&](TestDisplay& screen) {
    if (WaitForMenus(screen, 1).empty() || !screen.WaitForKeyboardGrab()) return;
    screen.Key(XK_Up);
    screen.Key(XK_Return);
  });
  EXPECT_EQ(menu.chosenItem, 29999);
}

// A value wider than its control's box ("0.8500" in a 30-pixel box) is
// shown whole: the box grows around its centre, within the editor.
TEST_F(Conversation, EntryBoxGrowsToShowItsWholeText) {
  TextStyle style = gain->Style();
  RasterFont* font = editor->FontFor(style);
  ASSERT_NE(font, nullptr);
  const auto textWidth = [&](const char* text) {
    RasterRect measured{};
    font->RenderText(nullptr, text, -1, &measured, TextMeasureOnly | TextSingleLine);
    return measured.right - measured.left;
  };
  X11EntryBox box;
  box.Open(style, {100, 50, 130, 66}, "0.8500", 0);
  box.Render(*editor);
  EXPECT_GE(box.Bounds().Width(), textWidth("0.8500") + 4);
  EXPECT_NEAR((box.Bounds().left + box.Bounds().right) / 2.0, 115.5, 1.0);

  box.Open(style, {270, 50, 299, 66}, "", 0);
  for (char c : std::string("123456.789012")) box.Insert(uint32_t(c));
  box.Render(*editor);
  EXPECT_GE(box.Bounds().Width(), textWidth("123456.789012") + 4);
  EXPECT_LE(box.Bounds().right, editor->Width());
  EXPECT_GE(box.Bounds().left, 0);
}

// Dialogs asked for later answer through the idle calls, one at a time:
// a second one asked meanwhile is answered at once as cancelled.
TEST_F(Conversation, LaterDialogsAnswerThroughIdleOneAtATime) {
  FakeDialogTool tool;
  ASSERT_TRUE(tool.Ready());
  // The dialog is a shell script: on a busy machine it may take a while.
  const auto pumpUntil = [this](const std::function<bool()>& done) {
    return x11_test::PumpUntil([this] { editor->Idle(); }, done, 10000ms);
  };
  tool.ChooseFile("/tmp/later");
  std::vector<std::string> files;
  editor->AskForFileLater(Editor::kFileSave, "/tmp", "tvpreset",
                          [&](const std::string& path) { files.push_back("first:" + path); });
  editor->AskForFileLater(Editor::kFileSave, "/tmp", "tvpreset",
                          [&](const std::string& path) { files.push_back("second:" + path); });
  ASSERT_EQ(files, std::vector<std::string>{"second:"});
  ASSERT_TRUE(pumpUntil([&] { return tool.Started(); }));
  Pump(50ms);
  EXPECT_TRUE(editor->DialogPending());
  EXPECT_EQ(files.size(), 1u);
  tool.Answer();
  ASSERT_TRUE(pumpUntil([&] { return !editor->DialogPending(); }));
  EXPECT_EQ(files, (std::vector<std::string>{"second:", "first:/tmp/later"}));

  std::vector<int32_t> answers;
  for (const bool yes : {false, true}) {
    tool.AnswerQuestions(yes);
    editor->ShowMessageLater("Sure?", "Question", desktop::kMessageYesNo,
                             [&](int32_t answer) { answers.push_back(answer); });
    ASSERT_TRUE(pumpUntil([&] { return tool.Started(); }));
    tool.Answer();
    ASSERT_TRUE(pumpUntil([&] { return !editor->DialogPending(); }));
  }
  EXPECT_EQ(answers, (std::vector<int32_t>{desktop::kAnswerNo, desktop::kAnswerYes}));

  // Without a window there is nobody to ask.
  editor->CloseEditorWindow();
  files.clear();
  editor->AskForFileLater(Editor::kFileSave, "/tmp", "tvpreset",
                          [&](const std::string& path) { files.push_back(path); });
  EXPECT_EQ(files, std::vector<std::string>{""});
  EXPECT_FALSE(editor->DialogPending());
}

}  // namespace
