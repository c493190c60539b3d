// Preset folders that fight back: a root that is a file, entries nobody can
// read, ten thousand presets, awkward names, and file systems that refuse
// to take a save. Tests that rely on permissions skip when run as root;
// the full and read-only file systems are real tmpfs mounts in a private
// mount namespace where that is allowed, and a file-size limit otherwise.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "graphics/PopupMenu.h"
#include "instrument/Thudrix.h"
#include "presets/CurrentPresetList.h"
#include "presets/PresetBrowser.h"
#include "presets/PresetFiles.h"
#include "tests/presets/PresetTestSupport.h"


namespace {

std::vector<std::string> Texts(const PopupMenu& menu) {
  std::vector<std::string> texts;
  for (int32_t i = 0; i < menu.ItemCount(); ++i) texts.push_back(menu.ItemAt(i)->text.Get());
  return texts;
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

const std::string kDecayQuarter = "Pitch=0.5\nAccent=0.5\nDecay=0.25\n";

class PresetFilesystem : public ::testing::Test {
protected:
  void SetUp() override {
    SetPresetRootFolder(scratch.Root());
    CurrentPresetList::Shared().Clear();
  }
  void TearDown() override { CurrentPresetList::Shared().Clear(); }
  ScratchFolder scratch;
};

// Runs body in a child process (fork): for tests that change process-wide
// limits or mount namespaces. The child's exit code is body's result:
// 0 passed, 77 skipped, anything else a failure code.
int InChild(const std::function<int()>& body) {
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

}  // namespace

TEST_F(PresetFilesystem, RootThatIsAFile) {
  const std::string file = scratch.Write("not a folder", "x");
  SetPresetRootFolder(file + "/");
  Thudrix plug(nullptr);
  EXPECT_EQ(plug.ParamAt(kParamDecay)->Value(), 0.5);  // no start-up preset
  std::unique_ptr<PopupMenu> menu(BuildPresetMenu());
  EXPECT_EQ(menu->ItemCount(), 2);  // "Save File..." and the separator only
  plug.SetParameterFromHost(kParamPresetNext, 1.0f);
  plug.SetParameterFromHost(kParamPresetPrevious, 1.0f);
  EXPECT_FALSE(SavePresetFile(plug, PresetSaveFolder() + "mine.tvpreset"));
  EXPECT_FALSE(LoadPresetFile(plug, file + "/x.tvpreset"));
  EXPECT_EQ(ReadFile(file), "x");
}

// Unreadable entries are left out or fail to load, and change nothing. As
// root permissions do not stop reading, so the same outcomes are reached
// through entries no one can read: dangling and looping links, a folder
// where a file is expected.
TEST_F(PresetFilesystem, EntriesThatCannotBeRead) {
  scratch.Write("good.tvpreset", kDecayQuarter);
  fs::create_symlink(scratch.Root() + "nowhere.tvpreset", scratch.Root() + "dangling.tvpreset");
  fs::create_symlink(scratch.Root() + "loop.tvpreset", scratch.Root() + "loop.tvpreset");
  fs::create_directory(scratch.Root() + "folder.tvpreset");
  PopupMenu menu;
  ScanPresetFolder(scratch.Root(), kPresetExtension, menu);
  EXPECT_EQ(Texts(menu), (std::vector<std::string>{"folder.tvpreset", "good"}));
  ASSERT_NE(menu.ItemAt(0)->submenu, nullptr);

  Thudrix plug(nullptr);
  EXPECT_FALSE(LoadPresetFile(plug, scratch.Root() + "dangling.tvpreset"));
  EXPECT_FALSE(LoadPresetFile(plug, scratch.Root() + "loop.tvpreset"));
  EXPECT_FALSE(LoadPresetFile(plug, scratch.Root() + "folder.tvpreset"));
  EXPECT_EQ(plug.ParamAt(kParamDecay)->Value(), 0.5);
  EXPECT_FALSE(SavePresetFile(plug, scratch.Root() + "folder.tvpreset"));
  EXPECT_TRUE(fs::is_directory(scratch.Root() + "folder.tvpreset"));
}

TEST_F(PresetFilesystem, UnreadableFoldersAndFilesByPermission) {
  const std::string secret = scratch.Write("closed/inner.tvpreset", kDecayQuarter);
  const std::string locked = scratch.Write("locked.tvpreset", kDecayQuarter);
  fs::permissions(scratch.Root() + "closed", fs::perms::none);
  fs::permissions(locked, fs::perms::none);
  if (access(locked.c_str(), R_OK) == 0 || access((scratch.Root() + "closed").c_str(), R_OK) == 0)
    GTEST_SKIP() << "permissions do not stop this user (root)";
  PopupMenu menu;
  ScanPresetFolder(scratch.Root(), kPresetExtension, menu);
  ASSERT_EQ(Texts(menu), (std::vector<std::string>{"closed", "locked"}));
  EXPECT_EQ(menu.ItemAt(0)->submenu->ItemCount(), 0);
  Thudrix plug(nullptr);
  EXPECT_FALSE(LoadPresetFile(plug, locked));
  EXPECT_FALSE(LoadPresetFile(plug, secret));
  EXPECT_EQ(plug.ParamAt(kParamDecay)->Value(), 0.5);
}

// Ten thousand presets in a hundred folders: all listed, sorted, and the
// scan time printed (no timing is asserted).
TEST_F(PresetFilesystem, TenThousandPresets) {
  char name[64];
  for (int folder = 0; folder < 100; ++folder) {
    std::snprintf(name, sizeof name, "Bank %03d", 99 - folder);
    const fs::path dir = fs::path(scratch.Root()) / name;
    fs::create_directories(dir);
    for (int preset = 0; preset < 100; ++preset) {
      std::snprintf(name, sizeof name, "kick %02d.tvpreset", 99 - preset);
      std::ofstream(dir / name) << kDecayQuarter;
    }
  }
  const auto start = std::chrono::steady_clock::now();
  std::unique_ptr<PopupMenu> menu(BuildPresetMenu());
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("scanning 10000 presets in 100 folders took %.3f s\n", seconds);
  ASSERT_EQ(menu->ItemCount(), 2 + 100);
  EXPECT_STREQ(menu->ItemAt(2)->text.Get(), "Bank 000");
  int presets = 0;
  for (int32_t i = 2; i < menu->ItemCount(); ++i) {
    const PopupMenu* bank = menu->ItemAt(i)->submenu;
    ASSERT_NE(bank, nullptr);
    presets += bank->ItemCount();
    EXPECT_STREQ(bank->ItemAt(0)->text.Get(), "kick 00");
  }
  EXPECT_EQ(presets, 10000);

  // Creating an instance scans the tree too.
  const auto created = std::chrono::steady_clock::now();
  Thudrix plug(nullptr);
  std::printf("creating an instance over that tree took %.3f s\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - created).count());
}

// UTF-8, spaces and names of the longest length a file system allows (255
// bytes): listed with their names, loaded, and saved over.
TEST_F(PresetFilesystem, AwkwardNames) {
  const std::string ext = kPresetExtension;
  const std::string longAscii = std::string(255 - ext.size(), 'k');
  std::string longUtf8;
  while (longUtf8.size() + 3 <= 255 - ext.size()) longUtf8 += "\xe9\xbc\x93";  // a three-byte character
  const std::vector<std::string> names = {
      "Gro\xc3\x9f" "e Trommel \xe2\x80\x93 \xc3\xa4\xc3\xb6\xc3\xbc",  // German with an en dash
      "  spaced  out  ",
      "emoji \xf0\x9f\xa5\x81",
      longAscii,
      longUtf8,
  };
  for (const std::string& n : names) scratch.Write(n + ext, kDecayQuarter);
  scratch.Write(longAscii + "/" + "inside" + ext, kDecayQuarter);  // a folder of 246 bytes

  PopupMenu menu;
  ScanPresetFolder(scratch.Root(), kPresetExtension, menu);
  std::vector<std::string> listed = Texts(menu);
  for (const std::string& n : names)
    EXPECT_NE(std::find(listed.begin(), listed.end(), n), listed.end()) << n.size() << " bytes: " << n;

  for (const std::string& n : names) {
    SCOPED_TRACE(testing::Message() << n.size() + ext.size() << "-byte name");
    const std::string path = scratch.Root() + n + ext;
    Thudrix plug(nullptr);
    ASSERT_TRUE(LoadPresetFile(plug, path));
    EXPECT_EQ(plug.ParamAt(kParamDecay)->Value(), 0.25);
    plug.SetParameterFromHost(kParamDecay, 0.75f);
    EXPECT_TRUE(SavePresetFile(plug, path));
    Thudrix other(nullptr);
    ASSERT_TRUE(LoadPresetFile(other, path));
    EXPECT_EQ(other.ParamAt(kParamDecay)->Value(), 0.75);
  }
  // Nothing but the presets and the folder: no temporary files left over.
  EXPECT_EQ(Entries(scratch.Root()).size(), names.size() + 1);
}

// Folders nested deeper than any path can reach: the scan stops quietly.
TEST_F(PresetFilesystem, PathsLongerThanTheSystemAllows) {
  std::string relative;
  const std::string level(200, 'd');
  int made = 0;
  for (; made < 40; ++made) {
    relative += level + "/";
    std::error_code error;
    if (!fs::create_directories(scratch.Root() + relative, error) || error) {
      // Some systems refuse the long path itself; go on with what exists.
      relative.resize(relative.size() - level.size() - 1);
      break;
    }
  }
  scratch.Write("top.tvpreset", kDecayQuarter);
  PopupMenu menu;
  ScanPresetFolder(scratch.Root(), kPresetExtension, menu);
  EXPECT_EQ(menu.ItemCount(), 2);
  std::printf("nested %d folders of 200 bytes (%zu-byte path)\n", made, scratch.Root().size() + relative.size());
}

// A save that the file system cannot take (the file-size limit stands in
// for a full disk and works for any user) leaves the old preset as it was
// and no temporary file behind.
TEST_F(PresetFilesystem, SaveOnAFullDiskKeepsTheOldFile) {
  const std::string path = scratch.Write("Keep/old.tvpreset", kDecayQuarter);
  const int code = InChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{16, 16};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 77;
    Thudrix plug(nullptr);
    plug.SetParameterFromHost(kParamDecay, 0.9f);
    if (SavePresetFile(plug, path)) return 1;  // a failure reported as success
    return 0;
  });
  if (code == 77) GTEST_SKIP() << "no file-size limit";
  EXPECT_EQ(code, 0);
  EXPECT_EQ(ReadFile(path), kDecayQuarter);
  EXPECT_EQ(Entries(scratch.Root() + "Keep"), std::vector<std::string>{"old.tvpreset"});
}

// The same on real file systems: a tmpfs that is full, and one mounted
// read-only, each in a private mount namespace of a child process.
TEST_F(PresetFilesystem, SaveOnFullAndReadOnlyFileSystems) {
  const std::string mountPoint = scratch.Root() + "mnt";
  fs::create_directory(mountPoint);
  const std::string path = mountPoint + "/old.tvpreset";
  const int code = InChild([&] {
    if (unshare(CLONE_NEWNS) != 0) return 77;
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 77;
    if (mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) return 77;
    { std::ofstream(path) << kDecayQuarter; }
    // Full: fill what is left.
    {
      std::ofstream filler(mountPoint + "/filler", std::ios::binary);
      const std::string block(4096, 'f');
      for (int i = 0; i < 64 && filler; ++i) filler << block << std::flush;
    }
    Thudrix plug(nullptr);
    plug.SetParameterFromHost(kParamDecay, 0.9f);
    if (SavePresetFile(plug, path)) return 1;
    if (ReadFile(path) != kDecayQuarter) return 2;
    if (Entries(mountPoint) != std::vector<std::string>{"filler", "old.tvpreset"}) return 3;
    // Read-only: room again, but no writing at all. Loading still works.
    fs::remove(mountPoint + "/filler");
    if (mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0) return 77;
    if (SavePresetFile(plug, path)) return 4;
    if (ReadFile(path) != kDecayQuarter) return 5;
    if (SavePresetFile(plug, mountPoint + "/new.tvpreset")) return 6;
    if (!LoadPresetFile(plug, path) || plug.ParamAt(kParamDecay)->Value() != 0.25) return 7;
    PopupMenu menu;
    ScanPresetFolder(mountPoint + "/", kPresetExtension, menu);
    if (Texts(menu) != std::vector<std::string>{"old"}) return 8;
    return 0;
  });
  if (code == 77) GTEST_SKIP() << "mount namespaces or tmpfs mounts are not permitted here";
  EXPECT_EQ(code, 0) << "1/4/6: a save reported success; 2/5: the old file changed; 3: leftovers; "
                        "7: loading failed; 8: scan";
}
