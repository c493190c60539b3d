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
#include <map>
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
// 0 passed, 77 skipped, 99 an exception escaped, anything else a failure
// code.
int InChild(const std::function<int()>& body) {
  fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    int code = 99;  // an exception escaped
    try {
      code = body();
    } catch (...) {
    }
    _exit(code);
  }
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
      "Gro\xc3\x9f"
      "e Trommel \xe2\x80\x93 \xc3\xa4\xc3\xb6\xc3\xbc",  // German with an en dash
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

namespace {

// Every preset item of the tree, by file path, with how often it is listed.
void CountPresets(const PopupMenu& menu, std::map<std::string, int>& listed, size_t& items) {
  for (int32_t i = 0; i < menu.ItemCount(); ++i) {
    const PopupMenuItem* item = menu.ItemAt(i);
    ++items;
    if (item->submenu) CountPresets(*item->submenu, listed, items);
    if (item->notAPreset) continue;
    std::error_code error;
    const fs::path real = fs::canonical(item->filePath.Get(), error);
    ++listed[error ? std::string(item->filePath.Get()) : real.string()];
  }
}

// A scan that never ends would hang the test: the child gets a minute.
constexpr unsigned kScanSeconds = 60;

}  // namespace

// Links that multiply paths without a cycle (each folder holds two links to
// the next: 2^24 paths), a cycle back to the top, and a second link to a
// folder: every real folder is entered once, every sound listed once, and
// the real folder wins over a link to it that sorts first.
TEST_F(PresetFilesystem, LinksThatMultiplyPathsListEachSoundOnce) {
  constexpr int kLevels = 24;
  std::vector<std::string> sounds;
  for (int level = 0; level < kLevels; ++level) {
    const std::string folder = "Pack/level " + std::to_string(level);
    sounds.push_back(scratch.Write(folder + "/sound " + std::to_string(level) + ".tvpreset", kDecayQuarter));
    if (level + 1 < kLevels) {
      const std::string next = scratch.Root() + "Pack/level " + std::to_string(level + 1);
      fs::create_directory_symlink(next, scratch.Root() + folder + "/first link");
      fs::create_directory_symlink(next, scratch.Root() + folder + "/second link");
    }
  }
  fs::create_directory_symlink(scratch.Root(), scratch.Root() + "Pack/level 3/back to the top");
  sounds.push_back(scratch.Write("Mine/kick.tvpreset", kDecayQuarter));
  fs::create_directory_symlink(scratch.Root() + "Mine", scratch.Root() + "A link to Mine");

  const int code = InChild([&] {
    alarm(kScanSeconds);
    PopupMenu menu;
    ScanPresetFolder(scratch.Root(), kPresetExtension, menu);
    std::map<std::string, int> listed;
    size_t items = 0;
    CountPresets(menu, listed, items);
    if (listed.size() != sounds.size()) return 1;
    for (const std::string& sound : sounds)
      if (listed[fs::canonical(sound).string()] != 1) return 2;
    // The real "Mine" holds the sound; the link that sorts before it is left out.
    if (Texts(menu) != std::vector<std::string>{"Mine", "Pack"}) return 3;
    if (Texts(*menu.ItemAt(0)->submenu) != std::vector<std::string>{"kick"}) return 4;
    return 0;
  });
  EXPECT_EQ(code, 0) << "1: sounds missing or extra; 2: a sound listed more than once; 3, 4: the link "
                        "took the real folder's place; 114: the scan did not finish in time";
}

// A link to the whole file system inside the factory folder: creating an
// instance still finishes promptly, loads the first factory sound and lists
// every factory sound, and the scan stops at its entry budget.
TEST_F(PresetFilesystem, LinkToTheWholeFileSystem) {
  for (const char* name : {"01 First", "02 Second", "03 Third"})
    scratch.Write(std::string("Factory Presets/") + name + kPresetExtension, kDecayQuarter);
  fs::create_directory_symlink("/", scratch.Root() + "Factory Presets/everything");
  const int code = InChild([&] {
    alarm(kScanSeconds);
    const auto start = std::chrono::steady_clock::now();
    Thudrix plug(nullptr);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("creating an instance over a link to / took %.3f s (peak resident %ld KB)\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), usage.ru_maxrss);
    std::fflush(stdout);
    if (plug.ParamAt(kParamDecay)->Value() != 0.25) return 1;
    std::unique_ptr<PopupMenu> menu(BuildPresetMenu());
    std::map<std::string, int> listed;
    size_t items = 0;
    CountPresets(*menu, listed, items);
    if (items > kMaxScanEntries + 2) return 2;
    const PopupMenu* factory = menu->ItemAt(2)->submenu;
    if (!factory) return 3;
    std::vector<std::string> texts = Texts(*factory);
    if (texts != std::vector<std::string>{"01 First", "02 Second", "03 Third", "everything"}) return 4;
    return 0;
  });
  EXPECT_EQ(code, 0) << "1: the first factory sound was not loaded; 2: more items than the budget; "
                        "3, 4: the factory folder lost sounds; 114: the scan did not finish in time";
}

// When memory runs out in the middle of a scan, the menu keeps what was
// listed and nothing escapes into the host.
TEST_F(PresetFilesystem, OutOfMemoryDuringAScanStaysInside) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  // A sanitizer's allocator ignores the address-space limit and stalls instead.
  GTEST_SKIP() << "an address-space limit means nothing under a sanitizer";
#endif
  for (int folder = 0; folder < 10; ++folder)
    for (int preset = 0; preset < 100; ++preset)
      scratch.Write("Bank " + std::to_string(folder) + "/kick " + std::to_string(preset) + kPresetExtension, "");
  const int code = InChild([&] {
    PopupMenu menu;
    std::vector<void*> held;
    held.reserve(1 << 20);
    rlimit saved{};
    if (getrlimit(RLIMIT_AS, &saved) != 0) return 77;
    // The address space in use now, plus a little: the scan runs out.
    size_t pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(statm, "%zu", &pages) != 1) pages = 0;
      std::fclose(statm);
    }
    if (pages == 0) return 77;
    rlimit tight = saved;
    tight.rlim_cur = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (1u << 20);
    if (setrlimit(RLIMIT_AS, &tight) != 0) return 77;
    // Use up the address space and what the heap has free, then give a
    // little back: the scan starts and runs out part of the way.
    for (const size_t size : {size_t(65536), size_t(4096), size_t(256), size_t(32)}) {
      while (held.size() < held.capacity()) {
        void* block = std::malloc(size);
        if (!block) break;
        held.push_back(block);
      }
    }
    if (held.empty()) return 77;
    std::free(held.front());  // room to open a folder, not to list it all
    held.front() = nullptr;
    ScanPresetFolder(scratch.Root(), kPresetExtension, menu);
    for (void* block : held) std::free(block);
    setrlimit(RLIMIT_AS, &saved);
    std::map<std::string, int> listed;
    size_t items = 0;
    CountPresets(menu, listed, items);
    for (const auto& [path, count] : listed)
      if (!fs::is_regular_file(path)) return 2;  // a sound that does not load
    return items < 1010 ? 0 : 1;                 // a part, not the whole
  });
  if (code == 77) GTEST_SKIP() << "no address-space limit";
  EXPECT_EQ(code, 0) << "1: the limit did not bite; 2: an item without its file; 99: an allocation failure escaped";
}
