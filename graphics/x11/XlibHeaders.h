#pragma once
// Every X header of the editor comes in through here. Xlib's names that
// collide with the editor core's are put aside: its KeyCode type becomes
// XKeyCode, and its None and Bool macros (ParamKind has members of those
// names) become kXNone and XBool.
#define KeyCode XKeyCode
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#undef KeyCode

constexpr unsigned long kXNone = None;
using XBool = Bool;
#undef None
#undef Bool
