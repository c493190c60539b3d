#include <optional>

#include "graphics/PopupMenu.h"
#include "presets/PresetBrowser.h"
#include "raster/GlyphSource.h"
#include "raster/RasterBitmap.h"
#include "raster/RasterFont.h"
#include "tests/presets/PresetTestSupport.h"

namespace {

class PresetBrowser : public ::testing::Test {
protected:
  void SetUp() override {
    CurrentPresetList::Shared().Clear();
    SetPresetRootFolder(scratch.Root());
  }
  void TearDown() override { CurrentPresetList::Shared().Clear(); }

  // A preset whose Decay line tells which file was loaded.
  void WritePreset(const std::string& relative, double decay) {
    scratch.Write(relative, PresetText({{"Pitch", 0.5}, {"Accent", 0.5}, {"Decay", decay}}));
  }
  std::unique_ptr<Thudrix> Make() { return std::make_unique<Thudrix>(nullptr); }
  static double Decay(Thudrix& plug) { return plug.ParamAt(kParamDecay)->Value(); }
  static HeadlessEditor& EditorOf(Thudrix& plug) { return *static_cast<HeadlessEditor*>(plug.GetEditor()); }
  static void Press(Thudrix& plug, int32_t param) {
    plug.SetParameterFromHost(param, 1.0f);
    plug.SetParameterFromHost(param, 0.0f);
  }

  HeadlessEditors headless;
  ScratchFolder scratch;
};

}  // namespace

TEST_F(PresetBrowser, StartupLoadsTheFirstFactoryPreset) {
  WritePreset("Factory Presets/B Second.tvpreset", 0.2);
  WritePreset("Factory Presets/a First.tvpreset", 0.1);
  WritePreset("Loose.tvpreset", 0.9);
  auto plug = Make();
  EXPECT_FLOAT_EQ(float(Decay(*plug)), 0.1f);
  EXPECT_STREQ(plug->PresetMenu()->DisplayedName(), "a First");
  EXPECT_EQ(CurrentPresetList::Shared().ChosenItem(), 0);
  EXPECT_EQ(CurrentPresetList::Shared().ItemCount(), 2);
}

TEST_F(PresetBrowser, StartupWithoutFactoryFolderLoadsNothing) {
  WritePreset("Loose.tvpreset", 0.9);
  auto plug = Make();
  EXPECT_FLOAT_EQ(float(Decay(*plug)), 0.5f);
  EXPECT_STREQ(plug->PresetMenu()->DisplayedName(), "");
  Press(*plug, kParamPresetNext);  // chosen item -1: the arrows do nothing
  EXPECT_FLOAT_EQ(float(Decay(*plug)), 0.5f);

  scratch.MakeFolder("Factory Presets");
  auto empty = Make();
  EXPECT_STREQ(empty->PresetMenu()->DisplayedName(), "");
}

TEST_F(PresetBrowser, FactoryFolderHoldingOnlyASubFolder) {
  WritePreset("Factory Presets/Kicks/deep.tvpreset", 0.3);
  auto plug = Make();
  EXPECT_STREQ(plug->PresetMenu()->DisplayedName(), "Kicks");
  EXPECT_FLOAT_EQ(float(Decay(*plug)), 0.5f);
}

TEST_F(PresetBrowser, LastQualifyingFolderWins) {
  WritePreset("Factory Presets/one.tvpreset", 0.1);
  WritePreset("Factory Presets 2/two.tvpreset", 0.2);
  WritePreset("Factory/no.tvpreset", 0.7);
  auto plug = Make();
  EXPECT_FLOAT_EQ(float(Decay(*plug)), 0.2f);
  EXPECT_STREQ(plug->PresetMenu()->DisplayedName(), "two");
}

TEST_F(PresetBrowser, ArrowsWrapAndSkipFoldersWithinTheLevel) {
  WritePreset("Factory Presets/a.tvpreset", 0.1);
  scratch.MakeFolder("Factory Presets/b folder");
  WritePreset("Factory Presets/b folder/hidden.tvpreset", 0.9);
  WritePreset("Factory Presets/c.tvpreset", 0.3);
  auto plug = Make();
  EXPECT_FLOAT_EQ(float(Decay(*plug)), 0.1f);
  Press(*plug, kParamPresetNext);
  EXPECT_FLOAT_EQ(float(Decay(*plug)), 0.3f);  // the folder is skipped
  Press(*plug, kParamPresetNext);
  EXPECT_FLOAT_EQ(float(Decay(*plug)), 0.1f);  // wraps to the first
  Press(*plug, kParamPresetPrevious);
  EXPECT_FLOAT_EQ(float(Decay(*plug)), 0.3f);  // and back to the last
  EXPECT_STREQ(plug->PresetMenu()->DisplayedName(), "c");
  plug->SetParameterFromHost(kParamPresetNext, 0.5f);  // rounds to 1: a step
  EXPECT_FLOAT_EQ(float(Decay(*plug)), 0.1f);
  plug->ParamAt(kParamPresetNext)->SetValue(0.5);
  plug->ParamChanged(kParamPresetNext);  // only exactly 1.0 steps
  EXPECT_FLOAT_EQ(float(Decay(*plug)), 0.1f);
}

TEST_F(PresetBrowser, SinglePresetReloads) {
  WritePreset("Factory Presets/only.tvpreset", 0.4);
  auto plug = Make();
  plug->SetParameterFromHost(kParamDecay, 1.0f);
  Press(*plug, kParamPresetNext);
  EXPECT_FLOAT_EQ(float(Decay(*plug)), 0.4f);
}

TEST_F(PresetBrowser, MenuChoiceLoadsAndMakesThatLevelCurrent) {
  WritePreset("Factory Presets/f.tvpreset", 0.1);
  WritePreset("Mine/x.tvpreset", 0.6);
  WritePreset("Mine/y.tvpreset", 0.7);
  WritePreset("Mine/Deeper/z.tvpreset", 0.8);
  auto plug = Make();
  HeadlessEditor& editor = EditorOf(*plug);
  editor.menuScript = [](PopupMenu& root, const PixelRect&) {
    // Root: Save File..., separator, Factory Presets, Mine.
    PopupMenu* mine = root.ItemAt(3)->submenu;
    return HeadlessEditor::MenuChoice{mine, 2};  // Mine: Deeper, x, y
  };
  const int32_t strip = editor.HitControl(300, 30);
  ASSERT_GE(strip, 0);
  MouseMods left;
  left.left = true;
  editor.HandleMouseDown(300, 30, left);
  editor.HandleMouseUp(300, 30, left);
  EXPECT_FLOAT_EQ(float(Decay(*plug)), 0.7f);
  EXPECT_STREQ(plug->PresetMenu()->DisplayedName(), "y");
  Press(*plug, kParamPresetNext);  // Deeper is a folder: wraps past it to x
  EXPECT_FLOAT_EQ(float(Decay(*plug)), 0.6f);
}

TEST_F(PresetBrowser, DismissedMenuAndRightClickChangeNothing) {
  WritePreset("Factory Presets/f.tvpreset", 0.1);
  auto plug = Make();
  HeadlessEditor& editor = EditorOf(*plug);
  int menus = 0;
  editor.menuScript = [&](PopupMenu&, const PixelRect&) {
    ++menus;
    return HeadlessEditor::MenuChoice{};
  };
  MouseMods right;
  right.right = true;
  editor.HandleMouseDown(300, 30, right);
  EXPECT_EQ(menus, 0);
  MouseMods left;
  left.left = true;
  editor.HandleMouseDown(300, 30, left);
  EXPECT_EQ(menus, 1);
  EXPECT_FLOAT_EQ(float(Decay(*plug)), 0.1f);
  EXPECT_EQ(CurrentPresetList::Shared().ItemCount(), 1);
}

TEST_F(PresetBrowser, SaveFlowWritesWhereTheUserChose) {
  auto plug = Make();
  HeadlessEditor& editor = EditorOf(*plug);
  editor.menuScript = [](PopupMenu& root, const PixelRect&) { return HeadlessEditor::MenuChoice{&root, 0}; };
  std::string startFolder;
  const std::string target = scratch.Root() + "saved.tvpreset";
  editor.fileScript = [&](TextBuf& file, int32_t action, TextBuf& folder, const char* extensions) {
    startFolder = folder.Get();
    EXPECT_EQ(action, Editor::kFileSave);
    EXPECT_STREQ(extensions, "tvpreset");
    file.Set(target.c_str());
    return true;
  };
  plug->SetParameterFromHost(kParamDecay, 0.25f);
  MouseMods left;
  left.left = true;
  editor.HandleMouseDown(300, 30, left);
  EXPECT_EQ(startFolder, scratch.Root() + "User Presets/");
  EXPECT_EQ(ReadFile(target).substr(0, 15), "Pitch=0.500000\n");
  EXPECT_NE(ReadFile(target).find("Decay=0.250000"), std::string::npos);
}

TEST_F(PresetBrowser, InstancesShareTheCurrentList) {
  WritePreset("Factory Presets/a.tvpreset", 0.1);
  WritePreset("Factory Presets/b.tvpreset", 0.2);
  auto first = Make();
  auto second = Make();
  Press(*first, kParamPresetNext);
  EXPECT_FLOAT_EQ(float(Decay(*first)), 0.2f);
  Press(*second, kParamPresetNext);  // continues from the shared position
  EXPECT_FLOAT_EQ(float(Decay(*second)), 0.1f);
}

TEST_F(PresetBrowser, LongNamesAreCutTo20Characters) {
  WritePreset("Factory Presets/An Extremely Long Preset Name.tvpreset", 0.1);
  auto plug = Make();
  EXPECT_STREQ(plug->PresetMenu()->DisplayedName(), "An Extremely Long Pr");
}

TEST_F(PresetBrowser, RestoringAStateNeitherStepsNorHits) {
  WritePreset("Factory Presets/a.tvpreset", 0.1);
  WritePreset("Factory Presets/b.tvpreset", 0.2);
  auto plug = Make();
  plug->ParamAt(kParamPresetNext)->SetValue(1.0);  // saved while the arrow was held
  plug->ParamAt(kParamTrigger)->SetValue(1.0);     // and the pad
  void* data = nullptr;
  const intptr_t size = plug->Dispatch(vst2::effGetChunk, 1, 0, &data, 0);
  ASSERT_GT(size, 0);
  std::vector<uint8_t> saved(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
  EXPECT_EQ(plug->Dispatch(vst2::effSetChunk, 1, size, saved.data(), 0), 1);
  EXPECT_FLOAT_EQ(float(Decay(*plug)), 0.1f);
  EXPECT_FALSE(plug->LedLit());
  Press(*plug, kParamPresetNext);  // the arrow still works afterwards
  EXPECT_FLOAT_EQ(float(Decay(*plug)), 0.2f);
}

namespace {

// A headless editor whose message boxes a test answers.
class AnsweringEditor : public HeadlessEditor {
public:
  using HeadlessEditor::HeadlessEditor;
  int32_t ShowMessage(const char* text, const char*, int32_t type) override {
    questions.push_back(text ? text : "");
    lastType = type;
    return answer;
  }
  int32_t answer = 0;
  int32_t lastType = 0;
  std::vector<std::string> questions;
};

Editor* MakeAnsweringEditor(PlugBase* plug, int32_t width, int32_t height, int32_t frameRate) {
  return new AnsweringEditor(plug, width, height, frameRate);
}

class SaveFlow : public PresetBrowser {
protected:
  void SetUp() override {
    PresetBrowser::SetUp();
    SetEditorFactory(&MakeAnsweringEditor);
    plug = Make();
    editor = static_cast<AnsweringEditor*>(plug->GetEditor());
    editor->menuScript = [](PopupMenu& root, const PixelRect&) { return HeadlessEditor::MenuChoice{&root, 0}; };
  }
  void TearDown() override {
    plug.reset();
    SetEditorFactory(nullptr);
    PresetBrowser::TearDown();
  }
  // Chooses "Save File..." and answers the dialog with name (none: cancel).
  void SaveAs(const std::optional<std::string>& name) {
    editor->fileScript = [&](TextBuf& file, int32_t, TextBuf& folder, const char*) {
      dialogFolder = folder.Get();
      if (!name) return false;
      file.Set((dialogFolder + *name).c_str());
      return true;
    };
    MouseMods left;
    left.left = true;
    editor->HandleMouseDown(300, 30, left);
  }
  std::string User(const std::string& name) const { return scratch.Root() + "User Presets/" + name; }

  std::unique_ptr<Thudrix> plug;
  AnsweringEditor* editor = nullptr;
  std::string dialogFolder;
};

bool Listed(const PopupMenu& menu, const std::string& text) {
  for (int32_t i = 0; i < menu.ItemCount(); ++i) {
    const PopupMenuItem* item = menu.ItemAt(i);
    if (!item->notAPreset && text == item->text.Get()) return true;
    if (item->submenu && Listed(*item->submenu, text)) return true;
  }
  return false;
}

}  // namespace

// A fresh install: the dialog opens in the user folder, which now exists,
// and what is saved there shows up in the browser.
TEST_F(SaveFlow, FirstSaveMakesTheUserFolderAndIsListed) {
  ASSERT_FALSE(fs::exists(User("")));
  SaveAs(std::nullopt);
  EXPECT_EQ(dialogFolder, User(""));
  EXPECT_TRUE(fs::is_directory(User("")));
  EXPECT_TRUE(fs::is_empty(User("")));  // cancelled: nothing written

  SaveAs("My Kick v1.2");  // a dot, but not the extension
  EXPECT_TRUE(fs::is_regular_file(User("My Kick v1.2.tvpreset")));
  EXPECT_TRUE(editor->questions.empty());
  std::unique_ptr<PopupMenu> menu(BuildPresetMenu());
  EXPECT_TRUE(Listed(*menu, "My Kick v1.2"));
}

// Only the name the dialog returned was confirmed there: a different file
// that the added extension points at is replaced only on a yes.
TEST_F(SaveFlow, ReplacingAFileTheDialogDidNotConfirmAsksFirst) {
  const std::string old = PresetText({{"Pitch", 0.1}});
  const std::string existing = scratch.Write("User Presets/Plain Name.tvpreset", old);
  plug->SetParameterFromHost(kParamDecay, 0.25f);

  editor->answer = 7;  // no
  SaveAs("Plain Name");
  ASSERT_EQ(editor->questions.size(), 1u);
  EXPECT_NE(editor->questions[0].find("Plain Name.tvpreset"), std::string::npos);
  EXPECT_EQ(editor->lastType & 0xF, Editor::kMessageYesNo);
  EXPECT_EQ(ReadFile(existing), old);

  editor->answer = Editor::kAnswerYes;
  SaveAs("Plain Name");
  EXPECT_NE(ReadFile(existing).find("Decay=0.250000"), std::string::npos);

  // A name the dialog returned with the extension (any case) was confirmed
  // there: no second question, and no extension added to it.
  editor->questions.clear();
  const std::string confirmed = scratch.Write("User Presets/Loud.TVPRESET", old);
  SaveAs("Loud.TVPRESET");
  EXPECT_TRUE(editor->questions.empty());
  EXPECT_NE(ReadFile(confirmed).find("Decay=0.250000"), std::string::npos);
  EXPECT_EQ(std::distance(fs::directory_iterator(User("")), fs::directory_iterator()), 2);
}

// When the user folder cannot be made the dialog still opens somewhere
// known: the root, else the documents folder, never the working folder.
TEST_F(SaveFlow, UnmakeableUserFolderFallsBackToKnownFolders) {
  const std::string blocker = scratch.Write("User Presets", "a file where the folder goes");
  SaveAs(std::nullopt);
  EXPECT_EQ(dialogFolder, scratch.Root());
  EXPECT_EQ(ReadFile(blocker), "a file where the folder goes");

  const std::string documents = scratch.Root() + "home/Documents";
  fs::create_directories(documents);
  const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", (scratch.Root() + "home").c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  SetPresetRootFolder(scratch.Write("not a folder", "x") + "/");
  SaveAs(std::nullopt);
  setenv("HOME", savedHome.c_str(), 1);
  EXPECT_EQ(dialogFolder, documents);
}

TEST_F(PresetBrowser, NamesAreCutBetweenCharacters) {
  const std::string accented = "Kick \xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9";
  WritePreset("Factory Presets/" + accented + ".tvpreset", 0.1);
  auto plug = Make();
  EXPECT_EQ(plug->PresetMenu()->DisplayedName(), accented);  // 15 characters in 25 bytes

  std::string drums;  // 25 three-byte characters
  for (int i = 0; i < 25; ++i) drums += "\xe9\xbc\x93";
  plug->PresetMenu()->ShowPresetName(drums.c_str());
  EXPECT_EQ(plug->PresetMenu()->DisplayedName(), drums.substr(0, 60));
}

namespace {

std::vector<Pixel32> Pixels(const Editor& editor) {
  const SysBitmap& bitmap = *editor.DrawBitmap();
  std::vector<Pixel32> pixels;
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    const int32_t row = bitmap.IsBottomUp() ? bitmap.Height() - 1 - y : y;
    const Pixel32* at = bitmap.PixelData() + ptrdiff_t(row) * bitmap.RowSpan();
    pixels.insert(pixels.end(), at, at + bitmap.Width());
  }
  return pixels;
}

void DrawAll(Editor& editor) { editor.DrawControls({0, 0, editor.Width(), editor.Height()}); }

void DrawPending(Editor& editor) {
  PixelRect dirty;
  if (editor.CollectDirty(dirty)) editor.DrawControls(dirty);
}

constexpr PixelRect kNameArea{207, 20, 383, 37};  // the strip and the row above it

}  // namespace

// A name wider than the strip stays inside it, shortened to a leading part
// and an ellipsis; stepping to a short name leaves nothing of the long one.
TEST_F(PresetBrowser, WideNamesStayInTheStripAndLeaveNothingBehind) {
  // Capitals with marks reach the top of the text; W is among the widest.
  const std::vector<std::string> characters = {"0", "1", " ", "\xc3\x89", "\xc3\x9c", "g", "W", "W", "W", "W",
                                               "W", "W", "W", "W",        "W",        "W", "W", "W", "W", "W"};
  std::string wide;
  for (const std::string& c : characters) wide += c;
  WritePreset("Factory Presets/" + wide + ".tvpreset", 0.3);
  WritePreset("Factory Presets/02 Kick.tvpreset", 0.3);
  auto plug = Make();
  Editor& editor = EditorOf(*plug);
  DrawAll(editor);
  const std::vector<Pixel32> withWide = Pixels(editor);

  auto other = Make();
  Editor& reference = EditorOf(*other);
  other->PresetMenu()->ShowPresetName("");
  DrawAll(reference);
  const std::vector<Pixel32> withoutName = Pixels(reference);
  int32_t inside = 0, outside = 0;
  for (size_t i = 0; i < withWide.size(); ++i) {
    if (withWide[i] == withoutName[i]) continue;
    const int32_t x = int32_t(i % size_t(editor.Width())), y = int32_t(i / size_t(editor.Width()));
    (x >= kNameArea.left && x < kNameArea.right && y >= kNameArea.top && y < kNameArea.bottom ? inside : outside)++;
  }
  EXPECT_GT(inside, 0);
  EXPECT_EQ(outside, 0) << "pixels of the name outside the strip";

  // What is shown is one of the name's leading parts with an ellipsis.
  bool matched = false;
  std::string leading;
  for (size_t kept = 0; kept + 1 < characters.size() && !matched; ++kept) {
    leading += characters[kept];
    for (const char* ellipsis : {"\xe2\x80\xa6", "..."}) {  // the font's own, else three dots
      other->PresetMenu()->ShowPresetName((leading + ellipsis).c_str());
      DrawAll(reference);
      matched = matched || Pixels(reference) == withWide;
    }
  }
  EXPECT_TRUE(matched) << "the strip shows no leading part of the name with an ellipsis";

  // Chosen from the menu: only the strip asks to be repainted.
  EditorOf(*plug).menuScript = [](PopupMenu& root, const PixelRect&) {
    return HeadlessEditor::MenuChoice{root.ItemAt(2)->submenu, 1};
  };
  MouseMods left;
  left.left = true;
  editor.HandleMouseDown(300, 30, left);
  editor.HandleMouseUp(300, 30, left);
  ASSERT_STREQ(plug->PresetMenu()->DisplayedName(), "02 Kick");
  DrawPending(editor);
  other->PresetMenu()->ShowPresetName("02 Kick");
  DrawAll(reference);
  EXPECT_TRUE(Pixels(editor) == Pixels(reference)) << "the long name left pixels behind";
}

TEST(NameFont, TellsTheCharactersItHas) {
  HeadlessEditor editor(nullptr);
  editor.PrepareDrawing();
  TextStyle style;
  style.size = 16;
  RasterFont* font = editor.FontFor(style);
  if (!font) GTEST_SKIP() << "no font installed";
  EXPECT_TRUE(NativeFontHasChar(font->NativeFont(), 'A'));
  EXPECT_FALSE(NativeFontHasChar(font->NativeFont(), 0x0378));  // unassigned
  EXPECT_FALSE(NativeFontHasChar(nullptr, 'A'));
}
