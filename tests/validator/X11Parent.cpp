#include "tests/validator/X11Parent.h"

#include <X11/Xlib.h>

X11Parent::X11Parent(int width, int height) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return;
  display_ = display;
  window_ = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, unsigned(width), unsigned(height), 0, 0, 0);
  XMapWindow(display, window_);
  XSync(display, False);
}

X11Parent::~X11Parent() {
  if (!display_) return;
  Display* display = static_cast<Display*>(display_);
  if (window_) XDestroyWindow(display, window_);
  XSync(display, False);
  XCloseDisplay(display);
}

void X11Parent::Sync() {
  if (display_) XSync(static_cast<Display*>(display_), False);
}
