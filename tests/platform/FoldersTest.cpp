// The Linux folder lookups: user folders from user-dirs.dirs, and the
// program's and module's own folders.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>

#include "platform/Folders.h"

namespace {

// Points XDG_CONFIG_HOME at a fresh folder of the scratch HOME for a test.
class UserDirs : public ::testing::Test {
protected:
  void SetUp() override {
    const char* home = std::getenv("HOME");
    ASSERT_NE(home, nullptr);
    home_ = home;
    config_ = home_ + "/folders-test-config";
    mkdir(config_.c_str(), 0700);
    setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
    std::remove((config_ + "/user-dirs.dirs").c_str());
  }
  void Write(const std::string& text) { std::ofstream(config_ + "/user-dirs.dirs") << text; }

  std::string home_;
  std::string config_;
};

}  // namespace

TEST_F(UserDirs, DesktopComesFromUserDirsElseHome) {
  EXPECT_EQ(platform::DesktopFolder(), home_ + "/Desktop");
  Write("# comment\nXDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n  XDG_DESKTOP_DIR=\"$HOME/My Desk//\"\n");
  EXPECT_EQ(platform::DesktopFolder(), home_ + "/My Desk");
  EXPECT_EQ(platform::DocumentsFolder(), home_ + "/Docs");
  Write("XDG_DESKTOP_DIR=\"relative/desk\"\n");  // only absolute folders count
  EXPECT_EQ(platform::DesktopFolder(), home_ + "/Desktop");
}

TEST(Folders, FolderOfPathKeepsTheLastSlash) {
  EXPECT_EQ(platform::FolderOfPath("/usr/lib/vst/Thudra.so"), "/usr/lib/vst/");
  EXPECT_EQ(platform::FolderOfPath("/Thudra.so"), "/");
  EXPECT_EQ(platform::FolderOfPath("Thudra.so"), "");
  EXPECT_EQ(platform::FolderOfPath("/usr/lib/vst/"), "");
  EXPECT_EQ(platform::FolderOfPath(""), "");
}

TEST(Folders, ProgramAndModuleFoldersAreThisTestsFolder) {
  // The lookup code is linked into this program, so both name its folder.
  const std::string program = platform::ExecutableFolder();
  ASSERT_FALSE(program.empty());
  EXPECT_EQ(program.front(), '/');
  EXPECT_EQ(program.back(), '/');
  EXPECT_EQ(platform::ModuleFolder(), program);
  struct stat info {};
  EXPECT_EQ(stat((program + "platform_tests").c_str(), &info), 0);
}
