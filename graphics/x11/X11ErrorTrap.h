#pragma once
// X errors on the editor's own display connection must never reach Xlib's
// default handler, which ends the process. Every piece of editor work that
// talks to the server runs inside a trap: it syncs, puts a recording handler
// in place, and on leaving syncs again and puts the previous handler back.
// Errors of other displays (the host's) go on to the handler that was
// installed before.
#include "graphics/x11/XlibHeaders.h"

#include <cstdint>

class X11ErrorTrap {
public:
  explicit X11ErrorTrap(Display* display);
  ~X11ErrorTrap();
  X11ErrorTrap(const X11ErrorTrap&) = delete;
  X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

  // Syncs, then tells whether an error of this display arrived since the
  // trap was set or since the last call.
  bool Failed();
  // The error code of the first error seen, 0 when none.
  int FirstErrorCode() const { return firstErrorCode_; }

private:
  friend int RecordTrappedError(Display* display, XErrorEvent* event);

  Display* display_;
  X11ErrorTrap* outer_;  // the trap that was innermost before this one
  int errorCount_ = 0;
  int countSeen_ = 0;
  int firstErrorCode_ = 0;
};

// A display connection that survives the server going away: on an I/O error
// the connection is marked broken instead of the process being ended, where
// the installed Xlib allows it. Returns null when there is no display.
Display* OpenEditorDisplay();
// True once the server connection of a display from OpenEditorDisplay broke;
// nothing but CloseEditorDisplay may be called on it then.
bool EditorDisplayBroken(Display* display);
void CloseEditorDisplay(Display* display);
