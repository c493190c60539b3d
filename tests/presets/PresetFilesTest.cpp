#include <clocale>

#include "graphics/PopupMenu.h"
#include "platform/Files.h"
#include "tests/presets/PresetTestSupport.h"

namespace {

std::vector<std::string> Texts(const PopupMenu& menu) {
  std::vector<std::string> texts;
  for (int32_t i = 0; i < menu.ItemCount(); ++i) texts.push_back(menu.ItemAt(i)->text.Get());
  return texts;
}

class PresetFiles : public ::testing::Test {
protected:
  ScratchFolder scratch;
  bool rooted = (SetPresetRootFolder(scratch.Root()), true);  // before the instrument looks
  Thudrix plug{nullptr};
};

}  // namespace

TEST_F(PresetFiles, SaveWritesSeventeenLinesThatLoadBack) {
  plug.SetParameterFromHost(kParamPitch, 0.75f);
  plug.SetParameterFromHost(kParamDecay, 0.125f);
  plug.SetParameterFromHost(kParamMidiTuneFlag, 1.0f);
  const std::string path = scratch.Root() + "mine.tvpreset";
  ASSERT_TRUE(SavePresetFile(plug, path));
  const std::string text = ReadFile(path);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 17);
  EXPECT_EQ(text.substr(0, 15), "Pitch=0.750000\n");
  EXPECT_NE(text.find("\nDecay=0.125000\n"), std::string::npos);
  EXPECT_NE(text.find("\n=0.000000\n=0.000000\n"), std::string::npos);

  Thudrix other(nullptr);
  other.ParamAt(kParamPresetNext)->SetValue(0.0);
  ASSERT_TRUE(LoadPresetFile(other, path));
  for (int32_t i = 0; i < 15; ++i)
    EXPECT_NEAR(other.ParamAt(i)->NormalizedValue(), plug.ParamAt(i)->NormalizedValue(), 1e-6) << i;
  EXPECT_EQ(other.Voice().TuneMode(), 1);  // applied through ParamChanged
}

TEST_F(PresetFiles, SavingIgnoresTheProcessLocale) {
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "C.UTF-8")) GTEST_SKIP();
  const std::string path = scratch.Root() + "locale.tvpreset";
  ASSERT_TRUE(SavePresetFile(plug, path));
  std::setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(ReadFile(path).substr(0, 15), "Pitch=0.500000\n");
}

TEST_F(PresetFiles, LinesApplyByPositionNotByName) {
  const std::string path =
      scratch.Write("swapped.tvpreset", PresetText({{"Accent", 0.25}, {"Pitch", 1.0}, {"Decay", 0.75}}));
  ASSERT_TRUE(LoadPresetFile(plug, path));
  EXPECT_EQ(plug.ParamAt(kParamPitch)->Value(), -6.0);
  EXPECT_EQ(plug.ParamAt(kParamAccent)->Value(), 1.0);
  EXPECT_EQ(plug.ParamAt(kParamDecay)->Value(), 0.75);
  EXPECT_EQ(plug.ParamAt(kParamTuneDecay)->Value(), 0.5);  // no line: unchanged
}

TEST_F(PresetFiles, BadLinesLeaveTheirParametersAlone) {
  const std::string longName(40, 'x');
  const std::string text = "Pitch=1.0\n" + longName + "=0.1\nDecay=abc\n=0.3\nHold=1.5\nAttack=-2\nTuneDepth=nan\n";
  ASSERT_TRUE(LoadPresetFile(plug, scratch.Write("bad.tvpreset", text)));
  EXPECT_EQ(plug.ParamAt(kParamPitch)->Value(), 12.0);
  EXPECT_EQ(plug.ParamAt(kParamAccent)->Value(), 0.5);
  EXPECT_EQ(plug.ParamAt(kParamDecay)->Value(), 0.5);
  EXPECT_EQ(plug.ParamAt(kParamTuneDecay)->Value(), 0.5);
  EXPECT_EQ(plug.ParamAt(kParamAttack)->Value(), 1.0);  // capped at the maximum
  EXPECT_EQ(plug.ParamAt(kParamHold)->Value(), 0.0);    // held to 0..1, never below the range
  EXPECT_EQ(plug.ParamAt(kParamTuneDepth)->Value(), 0.5);
}

TEST_F(PresetFiles, StepButtonsAndLaterLinesAreNotLoaded) {
  std::vector<std::pair<std::string, double>> lines;
  for (int i = 0; i < 20; ++i) lines.push_back({"p", 1.0});
  lines[13] = {"Trigger", 0.0};
  ASSERT_TRUE(LoadPresetFile(plug, scratch.Write("long.tvpreset", PresetText(lines))));
  EXPECT_EQ(plug.ParamAt(kParamLed)->Value(), 1.0);
  EXPECT_EQ(plug.ParamAt(kParamPresetPrevious)->Value(), 0.0);
  EXPECT_EQ(plug.ParamAt(kParamPresetNext)->Value(), 0.0);
}

TEST_F(PresetFiles, UnreadablePathsChangeNothing) {
  EXPECT_FALSE(LoadPresetFile(plug, ""));
  EXPECT_FALSE(LoadPresetFile(plug, scratch.Root() + "missing.tvpreset"));
  EXPECT_FALSE(LoadPresetFile(plug, scratch.Root()));  // a folder
  const std::string fifo = scratch.Root() + "pipe.tvpreset";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(LoadPresetFile(plug, fifo));  // must not block
  EXPECT_EQ(plug.ParamAt(kParamDecay)->Value(), 0.5);
}

TEST_F(PresetFiles, FailedSaveKeepsTheOldFile) {
  const std::string path = scratch.Write("Keep/old.tvpreset", "Pitch=0.250000\n");
  fs::permissions(scratch.Root() + "Keep", fs::perms::owner_read | fs::perms::owner_exec);
  if (access((scratch.Root() + "Keep").c_str(), W_OK) == 0) GTEST_SKIP() << "running with rights to write anyway";
  EXPECT_FALSE(SavePresetFile(plug, path));
  EXPECT_EQ(ReadFile(path), "Pitch=0.250000\n");
}

TEST_F(PresetFiles, SaveReplacesAnExistingFile) {
  const std::string path = scratch.Write("old.tvpreset", "junk");
  ASSERT_TRUE(SavePresetFile(plug, path));
  EXPECT_EQ(ReadFile(path).substr(0, 6), "Pitch=");
  EXPECT_EQ(fs::directory_iterator(scratch.Root())->path().filename(), "old.tvpreset");  // no temp left
}

TEST_F(PresetFiles, ListingRules) {
  scratch.Write("kick.tvpreset", "");
  scratch.Write("KICK.TVPRESET", "");
  scratch.Write("kick.tvpreset.bak", "");
  scratch.Write(".tvpreset", "");
  scratch.Write("Boom.tvpreset", "");
  scratch.Write("notes.txt", "");
  scratch.MakeFolder("Empty");
  scratch.Write("deep/inner.tvpreset", "");
  PopupMenu menu;
  ScanPresetFolder(scratch.Root(), kPresetExtension, menu);
  EXPECT_EQ(Texts(menu), (std::vector<std::string>{"", "Boom", "deep", "Empty", "kick"}));
  const PopupMenuItem* kick = menu.ItemAt(4);
  EXPECT_FALSE(kick->notAPreset);
  EXPECT_EQ(std::string(kick->filePath.Get()), scratch.Root() + "kick.tvpreset");
  const PopupMenuItem* deep = menu.ItemAt(2);
  ASSERT_NE(deep->submenu, nullptr);
  EXPECT_TRUE(deep->notAPreset);
  EXPECT_EQ(std::string(deep->submenu->ItemAt(0)->filePath.Get()), scratch.Root() + "deep/inner.tvpreset");
  ASSERT_NE(menu.ItemAt(3)->submenu, nullptr);
  EXPECT_EQ(menu.ItemAt(3)->submenu->ItemCount(), 0);
}

TEST_F(PresetFiles, LinkCyclesAreNotFollowed) {
  scratch.Write("a/one.tvpreset", "");
  fs::create_directory_symlink(scratch.Root() + "a", scratch.Root() + "a/loop");
  fs::create_directory_symlink(scratch.Root(), scratch.Root() + "a/up");
  PopupMenu menu;
  ScanPresetFolder(scratch.Root(), kPresetExtension, menu);
  ASSERT_EQ(menu.ItemCount(), 1);
  EXPECT_EQ(Texts(*menu.ItemAt(0)->submenu), (std::vector<std::string>{"one"}));
}

TEST_F(PresetFiles, MissingRootGivesNothing) {
  PopupMenu menu;
  ScanPresetFolder(scratch.Root() + "nowhere/", kPresetExtension, menu);
  EXPECT_EQ(menu.ItemCount(), 0);
  const std::string file = scratch.Write("plain", "x");
  ScanPresetFolder(file + "/", kPresetExtension, menu);
  EXPECT_EQ(menu.ItemCount(), 0);
}

TEST_F(PresetFiles, SaveThatCannotReplaceLeavesTheTargetAndNoLeftovers) {
  const std::string inside = scratch.Write("taken.tvpreset/keep.txt", "keep");
  EXPECT_FALSE(SavePresetFile(plug, scratch.Root() + "taken.tvpreset"));
  EXPECT_EQ(ReadFile(inside), "keep");
  int entries = 0;
  for (auto& entry : fs::directory_iterator(scratch.Root())) entries += entry.path().filename() != "" ? 1 : 0;
  EXPECT_EQ(entries, 1);
  EXPECT_FALSE(SavePresetFile(plug, scratch.Root() + "no/such/folder/x.tvpreset"));
  EXPECT_FALSE(SavePresetFile(plug, ""));
}

// A save through a symbolic link replaces the file the link names and keeps
// the link; the existing file keeps its permissions; a new file gets the
// ones the umask gives. A link loop is refused and left alone.
TEST_F(PresetFiles, SavingThroughLinksKeepsLinksAndPermissions) {
  const std::string target = scratch.Write("Real/target.tvpreset", "Pitch=0.250000\n");
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
  const std::string link = scratch.Root() + "linked.tvpreset";
  fs::create_symlink("Real/target.tvpreset", link);
  plug.SetParameterFromHost(kParamDecay, 0.125f);
  ASSERT_TRUE(SavePresetFile(plug, link));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_NE(ReadFile(target).find("Decay=0.125000"), std::string::npos);
  EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.Root() + "Real"), fs::directory_iterator()), 1);

  // A link whose file does not exist yet: the file appears where it points.
  const std::string dangling = scratch.Root() + "dangling.tvpreset";
  fs::create_symlink(scratch.Root() + "Real/new.tvpreset", dangling);
  const mode_t previous = umask(027);
  const bool savedNew = SavePresetFile(plug, dangling);
  const bool savedPlain = SavePresetFile(plug, scratch.Root() + "plain.tvpreset");
  umask(previous);
  ASSERT_TRUE(savedNew);
  EXPECT_TRUE(fs::is_symlink(dangling));
  EXPECT_EQ(ReadFile(scratch.Root() + "Real/new.tvpreset"), ReadFile(target));
  ASSERT_TRUE(savedPlain);
  const fs::perms usual = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  EXPECT_EQ(fs::status(scratch.Root() + "plain.tvpreset").permissions(), usual);
  EXPECT_EQ(fs::status(scratch.Root() + "Real/new.tvpreset").permissions(), usual);

  const std::string loop = scratch.Root() + "loop.tvpreset";
  fs::create_symlink(loop, loop);
  EXPECT_FALSE(SavePresetFile(plug, loop));
  EXPECT_TRUE(fs::is_symlink(loop));
}

// Files written on Windows end their lines with CR LF; they load the same.
TEST_F(PresetFiles, CrLfLinesLoad) {
  const std::string path = scratch.Write("windows.tvpreset", "Pitch=0.250000\r\nAccent=0.500000\r\nDecay=0.125000\r\n");
  ASSERT_TRUE(LoadPresetFile(plug, path));
  Thudrix unix{nullptr};
  ASSERT_TRUE(
      LoadPresetFile(unix, scratch.Write("unix.tvpreset", "Pitch=0.250000\nAccent=0.500000\nDecay=0.125000\n")));
  for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(plug.ParamAt(i)->Value(), unix.ParamAt(i)->Value()) << i;
  EXPECT_NE(plug.ParamAt(kParamDecay)->Value(), Thudrix(nullptr).ParamAt(kParamDecay)->Value());
}

TEST_F(PresetFiles, MakingFolders) {
  const std::string deep = scratch.Root() + "a/b/c/";
  EXPECT_TRUE(platform::MakeFolders(deep));
  EXPECT_TRUE(fs::is_directory(deep));
  EXPECT_TRUE(platform::MakeFolders(scratch.Root() + "a/b/c"));  // again, and without the separator
  const std::string file = scratch.Write("plain", "x");
  EXPECT_FALSE(platform::MakeFolders(file + "/below/"));
  EXPECT_FALSE(platform::MakeFolders(file));
  EXPECT_FALSE(platform::MakeFolders(""));
  EXPECT_EQ(ReadFile(file), "x");
}
