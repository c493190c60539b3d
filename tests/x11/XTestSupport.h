#pragma once
// A private X server for the editor window tests, and a second connection
// to it that plays the host (parent windows) and the user (XTest input).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "graphics/x11/DesktopDialogs.h"
#include "graphics/x11/XlibHeaders.h"
// XTest's declarations use the names XlibHeaders.h puts aside.
#define Bool XBool
#define KeyCode XKeyCode
#include <X11/extensions/XTest.h>
#undef KeyCode
#undef Bool

namespace x11_test {

// Before any other Xlib call: the tests' user works from threads of its own.
inline const bool kXlibThreadsReady = XInitThreads() != 0;

// Where a user clicks to open the instrument's preset menu.
inline constexpr int kPresetStripX = 300, kPresetStripY = 30;

// Starts Xvfb on a display number it picks itself (-displayfd) and sets
// display to ":N"; -1 when there is no Xvfb or it did not come up.
inline pid_t StartXvfb(const char* screen, bool noReset, std::string& display) {
  const std::string xvfb = desktop::FindOnPath("Xvfb");
  int ends[2];
  if (xvfb.empty() || pipe(ends) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    close(ends[0]);
    const std::string fd = std::to_string(ends[1]);
    std::freopen("/dev/null", "w", stderr);
    execl(xvfb.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp",
          noReset ? "-noreset" : static_cast<char*>(nullptr), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ends[1]);
  std::string number;
  pollfd ready{ends[0], POLLIN, 0};
  char c = 0;
  while (poll(&ready, 1, 10000) == 1 && read(ends[0], &c, 1) == 1 && c != '\n') number += c;
  close(ends[0]);
  if (number.empty()) {
    if (pid > 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
    return -1;
  }
  display = ":" + number;
  return pid;
}

// Xvfb on a display number it picks itself (-displayfd), started on first
// use and stopped when the test program ends.
class TestXServer {
public:
  static TestXServer& Shared() {
    static TestXServer server;
    return server;
  }
  bool Running() const { return pid_ > 0; }

  ~TestXServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }

private:
  TestXServer() {
    std::string display;
    pid_ = StartXvfb("1280x1024x24", true, display);
    if (pid_ > 0) setenv("DISPLAY", display.c_str(), 1);
  }

  pid_t pid_ = -1;
};

#define REQUIRE_TEST_X_SERVER()                                                                \
  do {                                                                                         \
    if (!::x11_test::TestXServer::Shared().Running()) GTEST_SKIP() << "Xvfb is not available"; \
  } while (0)

// Calls idle until done() holds or the time is up.
inline bool PumpUntil(const std::function<void()>& idle, const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    idle();
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(4));
  }
  idle();
  return done();
}

inline void PumpFor(const std::function<void()>& idle, std::chrono::milliseconds time) {
  PumpUntil(
      idle, [] { return false; }, time);
}

// The host's windows and the user's hands.
class TestDisplay {
public:
  TestDisplay() : display_(XOpenDisplay(nullptr)) {}
  ~TestDisplay() {
    if (display_) XCloseDisplay(display_);
  }
  TestDisplay(const TestDisplay&) = delete;
  TestDisplay& operator=(const TestDisplay&) = delete;

  Display* Get() const { return display_; }

  // A mapped top-level window with a black background. The tests run
  // without a window manager, so it stays where it is put.
  Window CreateParent(int x, int y, int width, int height) {
    const int screen = DefaultScreen(display_);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(display_, screen);
    Window window = XCreateWindow(display_, RootWindow(display_, screen), x, y, unsigned(width), unsigned(height), 0,
                                  CopyFromParent, InputOutput, CopyFromParent, CWBackPixel, &attributes);
    XMapRaised(display_, window);
    XSync(display_, False);
    for (int i = 0; i < 500; ++i) {
      XWindowAttributes state{};
      XGetWindowAttributes(display_, window, &state);
      if (state.map_state == IsViewable) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return window;
  }

  void MoveTo(int rootX, int rootY) {
    XTestFakeMotionEvent(display_, DefaultScreen(display_), rootX, rootY, CurrentTime);
    XSync(display_, False);
  }
  void Button(unsigned button, bool down) {
    XTestFakeButtonEvent(display_, button, down ? True : False, CurrentTime);
    XSync(display_, False);
  }
  void Click(int rootX, int rootY, unsigned button = Button1) {
    MoveTo(rootX, rootY);
    Button(button, true);
    Button(button, false);
  }
  void Key(KeySym key, bool withShift = false) {
    const unsigned code = XKeysymToKeycode(display_, key);
    const unsigned shift = XKeysymToKeycode(display_, XK_Shift_L);
    if (withShift) XTestFakeKeyEvent(display_, shift, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    if (withShift) XTestFakeKeyEvent(display_, shift, False, CurrentTime);
    XSync(display_, False);
  }
  void Type(const std::string& text) {
    for (char c : text) {
      KeySym key = c == '.' ? XK_period : c == '-' ? XK_minus : c == '+' ? XK_plus : KeySym(c);
      Key(key, c == '+');
    }
  }

  // The window's picture as 0xRRGGBB values, row by row; empty on failure.
  std::vector<uint32_t> Capture(Window window, int width, int height) {
    XSync(display_, False);
    XImage* image = XGetImage(display_, window, 0, 0, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    std::vector<uint32_t> pixels;
    if (!image) return pixels;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) pixels.push_back(uint32_t(XGetPixel(image, x, y) & 0xFFFFFF));
    XDestroyImage(image);
    return pixels;
  }

  // True once another client (an open menu) holds the keyboard, so that
  // keys typed now reach it.
  bool WaitForKeyboardGrab(std::chrono::milliseconds limit = std::chrono::milliseconds(5000)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
      const int result =
          XGrabKeyboard(display_, DefaultRootWindow(display_), False, GrabModeAsync, GrabModeAsync, CurrentTime);
      if (result == AlreadyGrabbed) return true;
      if (result == GrabSuccess) XUngrabKeyboard(display_, CurrentTime);
      XSync(display_, False);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  // Override-redirect windows on the screen, bottom to top: our menus.
  std::vector<XWindowAttributes> MenuWindows() {
    std::vector<XWindowAttributes> found;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    // A menu closing meanwhile would make the attribute query fail with
    // BadWindow, which ends the program: nobody else runs during the grab.
    XGrabServer(display_);
    if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) {
      for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display_, children[i], &attributes) && attributes.override_redirect &&
            attributes.map_state == IsViewable)
          found.push_back(attributes);
      }
    }
    XUngrabServer(display_);
    XSync(display_, False);
    if (children) XFree(children);
    return found;
  }

private:
  Display* display_;
};

// A dialog tool that waits until the test lets it answer. A file dialog
// answers with the chosen path, a question with yes unless told otherwise.
class FakeDialogTool {
public:
  FakeDialogTool() {
    char pattern[] = "/tmp/thudra-dialog-XXXXXX";
    if (!mkdtemp(pattern)) return;
    folder_ = pattern;
    ChooseFile("/tmp/chosen");
    AnswerQuestions(true);
    std::ofstream script(folder_ + "/zenity");
    script << "#!/bin/sh\n"
           << "echo $$ > '" << folder_ << "/pid.new'; mv '" << folder_ << "/pid.new' '" << folder_ << "/pid'\n"
           << "touch '" << folder_ << "/started'\n"
           << "while [ ! -e '" << folder_ << "/go' ]; do sleep 0.01; done\n"
           << "rm -f '" << folder_ << "/go' '" << folder_ << "/started'\n"
           << "case \"$1\" in\n"
           << "  --color-selection) echo 'rgb(10,20,30)' ;;\n"
           << "  --file-selection) cat '" << folder_ << "/file' ;;\n"
           << "  --question) exit \"$(cat '" << folder_ << "/question')\" ;;\n"
           << "esac\n"
           << "exit 0\n";
    script.close();
    chmod((folder_ + "/zenity").c_str(), 0755);
    const char* path = std::getenv("PATH");
    oldPath_ = path ? path : "";
    setenv("PATH", (folder_ + ":" + oldPath_).c_str(), 1);
  }
  ~FakeDialogTool() {
    setenv("PATH", oldPath_.c_str(), 1);
    if (folder_.empty()) return;
    for (const char* name : {"zenity", "go", "started", "pid", "pid.new", "file", "question"})
      std::remove((folder_ + "/" + name).c_str());
    rmdir(folder_.c_str());
  }
  bool Ready() const { return !folder_.empty(); }
  bool Started() const { return access((folder_ + "/started").c_str(), F_OK) == 0; }
  void Answer() { std::ofstream(folder_ + "/go").put('\n'); }
  // What the next answers are.
  void ChooseFile(const std::string& path) { std::ofstream(folder_ + "/file") << path << '\n'; }
  void AnswerQuestions(bool yes) { std::ofstream(folder_ + "/question") << (yes ? 0 : 1) << '\n'; }
  // The process id of the last dialog started; -1 before the first. A
  // killed dialog leaves Started() true: a new pid tells the next one apart.
  pid_t LastPid() const {
    std::ifstream file(folder_ + "/pid");
    long pid = -1;
    file >> pid;
    return pid_t(pid);
  }

private:
  std::string folder_;
  std::string oldPath_;
};

}  // namespace x11_test
