#pragma once
// A top-level X window to stand in for a host's editor frame. Kept apart
// from the tests because Xlib's macros clash with GoogleTest's names.
#include <cstdint>

class X11Parent {
public:
  // Opens the display named by DISPLAY; Valid() is false without one.
  X11Parent(int width, int height);
  ~X11Parent();
  X11Parent(const X11Parent&) = delete;
  X11Parent& operator=(const X11Parent&) = delete;

  bool Valid() const { return window_ != 0; }
  // The window id as hosts pass it to effEditOpen.
  void* Handle() const { return reinterpret_cast<void*>(uintptr_t(window_)); }
  void Sync();

private:
  void* display_ = nullptr;
  unsigned long window_ = 0;
};
