#include "graphics/x11/X11ErrorTrap.h"

#include <dlfcn.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

// The error handler is process-wide, so the chain of open traps is too.
std::mutex gTrapMutex;
X11ErrorTrap* gInnermostTrap = nullptr;
XErrorHandler gHandlerBeforeTraps = nullptr;

std::mutex gBrokenMutex;
std::vector<Display*> gBrokenDisplays;

// The I/O error handler is process-wide and Xlib calls it before a
// display's exit handler; its default ends the process. Ours returns for
// the editor's own displays and hands every other display to the handler
// that was there before. It is in place only while an editor display is
// open, so an unloaded module leaves no handler of its own behind.
std::mutex gIoMutex;
std::vector<Display*> gEditorDisplays;
XIOErrorHandler gIoHandlerBefore = nullptr;

int EditorIoErrorHandler(Display* display) {
  XIOErrorHandler forward = nullptr;
  {
    std::lock_guard<std::mutex> hold(gIoMutex);
    if (std::find(gEditorDisplays.begin(), gEditorDisplays.end(), display) != gEditorDisplays.end()) return 0;
    forward = gIoHandlerBefore;
  }
  return forward ? forward(display) : 0;
}

void AddEditorDisplay(Display* display) {
  std::lock_guard<std::mutex> hold(gIoMutex);
  if (gEditorDisplays.empty()) gIoHandlerBefore = XSetIOErrorHandler(&EditorIoErrorHandler);
  gEditorDisplays.push_back(display);
}

void RemoveEditorDisplay(Display* display) {
  std::lock_guard<std::mutex> hold(gIoMutex);
  const auto found = std::find(gEditorDisplays.begin(), gEditorDisplays.end(), display);
  if (found == gEditorDisplays.end()) return;
  gEditorDisplays.erase(found);
  if (!gEditorDisplays.empty()) return;
  // Put the previous handler back unless someone replaced ours meanwhile.
  XIOErrorHandler current = XSetIOErrorHandler(gIoHandlerBefore);
  if (current != &EditorIoErrorHandler) XSetIOErrorHandler(current);
  gIoHandlerBefore = nullptr;
}

void MarkDisplayBroken(Display* display, void*) {
  std::lock_guard<std::mutex> hold(gBrokenMutex);
  if (std::find(gBrokenDisplays.begin(), gBrokenDisplays.end(), display) == gBrokenDisplays.end())
    gBrokenDisplays.push_back(display);
}

// Looked up at run time: Xlib before 1.7 has no exit handler, and the module
// must still load there (a lost server then ends the process, as before).
using SetExitHandlerFunction = void (*)(Display*, void (*)(Display*, void*), void*);

SetExitHandlerFunction ExitHandlerSetter() {
  static const SetExitHandlerFunction setter =
      reinterpret_cast<SetExitHandlerFunction>(dlsym(RTLD_DEFAULT, "XSetIOErrorExitHandler"));
  return setter;
}

}  // namespace

int RecordTrappedError(Display* display, XErrorEvent* event) {
  XErrorHandler forward = nullptr;
  {
    std::lock_guard<std::mutex> hold(gTrapMutex);
    for (X11ErrorTrap* trap = gInnermostTrap; trap; trap = trap->outer_) {
      if (trap->display_ != display) continue;
      if (trap->errorCount_++ == 0) trap->firstErrorCode_ = event->error_code;
      return 0;
    }
    forward = gHandlerBeforeTraps;
  }
  return forward ? forward(display, event) : 0;
}

X11ErrorTrap::X11ErrorTrap(Display* display) : display_(display), outer_(nullptr) {
  {
    std::lock_guard<std::mutex> hold(gTrapMutex);
    outer_ = gInnermostTrap;
    gInnermostTrap = this;
    if (!outer_) gHandlerBeforeTraps = XSetErrorHandler(&RecordTrappedError);
  }
  // Anything still in flight from before belongs to no caller; it is
  // collected here and dropped.
  if (display_ && !EditorDisplayBroken(display_)) XSync(display_, False);
  errorCount_ = 0;
  countSeen_ = 0;
  firstErrorCode_ = 0;
}

X11ErrorTrap::~X11ErrorTrap() {
  if (display_ && !EditorDisplayBroken(display_)) XSync(display_, False);
  std::lock_guard<std::mutex> hold(gTrapMutex);
  // Traps of other threads may close out of order: unlink wherever it is.
  for (X11ErrorTrap** link = &gInnermostTrap; *link; link = &(*link)->outer_) {
    if (*link != this) continue;
    *link = outer_;
    break;
  }
  if (gInnermostTrap) return;
  // Put the previous handler back unless someone replaced ours meanwhile.
  XErrorHandler current = XSetErrorHandler(gHandlerBeforeTraps);
  if (current != &RecordTrappedError) XSetErrorHandler(current);
  gHandlerBeforeTraps = nullptr;
}

bool X11ErrorTrap::Failed() {
  if (!display_) return true;
  if (EditorDisplayBroken(display_)) return true;
  XSync(display_, False);
  if (EditorDisplayBroken(display_)) return true;
  const bool failed = errorCount_ != countSeen_;
  countSeen_ = errorCount_;
  return failed;
}

Display* OpenEditorDisplay() {
  // Without the exit handler a returning I/O handler still ends the
  // process, so ours is only worth installing where the setter exists.
  Display* display = XOpenDisplay(nullptr);
  if (display && ExitHandlerSetter()) {
    ExitHandlerSetter()(display, &MarkDisplayBroken, nullptr);
    AddEditorDisplay(display);
  }
  return display;
}

bool EditorDisplayBroken(Display* display) {
  std::lock_guard<std::mutex> hold(gBrokenMutex);
  return std::find(gBrokenDisplays.begin(), gBrokenDisplays.end(), display) != gBrokenDisplays.end();
}

void CloseEditorDisplay(Display* display) {
  if (!display) return;
  XCloseDisplay(display);
  RemoveEditorDisplay(display);
  std::lock_guard<std::mutex> hold(gBrokenMutex);
  gBrokenDisplays.erase(std::remove(gBrokenDisplays.begin(), gBrokenDisplays.end(), display), gBrokenDisplays.end());
}
