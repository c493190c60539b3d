#pragma once
// The redraw tick and the text-entry state machine that every window layer
// shares. The window supplies the entry box itself and the painting; this
// class decides when to paint, when the box closes and what a typed text
// does to the parameter.
#include <chrono>
#include <cstdint>
#include <string>

#include "graphics/GuiTypes.h"

class Control;
class Editor;
class PlugParam;

enum class EntryState : int32_t {
  Idle = 0,
  Focused = 1,  // the box has just received the keyboard focus
  Redrawn = 2,  // the editor was redrawn around the open box
  Cancel = 3,   // the next tick closes the box without applying it
  Commit = 4,   // the next tick applies the text and closes the box
};

// What the tick needs of a window layer.
class EntryBoxWindow {
public:
  virtual ~EntryBoxWindow() = default;
  // The text typed into the open box.
  virtual std::string EntryBoxText() = 0;
  // Removes the box from the screen; EditorTickAndEntry forgets it afterwards.
  virtual void DestroyEntryBox() = 0;
  // Draws the controls inside rect and shows them; an open box stays on top.
  virtual void PaintControls(const PixelRect& rect) = 0;
};

class EditorTickAndEntry {
public:
  using Clock = std::chrono::steady_clock;

  // A committed text is read up to this many characters.
  static constexpr int32_t kEntryTextLimit = 31;

  // Milliseconds between ticks: 1000 / frame rate, truncated; a frame rate
  // outside 1..1000 ticks at the default rate.
  static int32_t PeriodMs(int32_t frameRate);

  explicit EditorTickAndEntry(Editor& editor);

  // For windows without a timer of their own: true when a tick is due, and
  // then the next one is scheduled one period later (never in the past).
  bool Due(Clock::time_point now);
  // The time the next tick is due.
  Clock::time_point NextDue() const { return nextDue_; }
  // Makes the next Due call true.
  void RestartClock() { nextDue_ = Clock::time_point{}; }

  void Tick(EntryBoxWindow& window);

  // The entry box's life. A box is open from EntryOpened until CloseEntry.
  void EntryOpened(Control* control, PlugParam* param);
  bool EntryOpen() const { return entryOpen_; }
  void EntryFocused() { SetStateIfOpen(EntryState::Focused); }
  void CancelEntry() { SetStateIfOpen(EntryState::Cancel); }
  void CommitEntry() { SetStateIfOpen(EntryState::Commit); }
  // Destroys the box without applying it and forgets the entry.
  void CloseEntry(EntryBoxWindow& window);
  // A left or right press in the editor while a box is open. True when the
  // press only asks for a cancel (the box has just taken the focus) and must
  // go no further; false when the caller closes the box at once and then
  // handles the press as usual.
  bool PressOnlyCancels();

  EntryState State() const { return state_; }
  Control* EntryControl() const { return entryControl_; }
  PlugParam* EntryParam() const { return entryParam_; }

  // The character filter of a parameter entry: Bool and Enum take + - and
  // digits, Double also the point; backspace always passes; parameters of
  // kind None and free-text entries (no parameter) take everything.
  static bool EntryAccepts(const PlugParam* param, uint32_t character);
  // What a committed text does: a parameter takes the value of the display
  // text that equals it, else the decimal number it spells (negated for a
  // negate-for-display Double); a text that is neither changes nothing. A
  // free-text entry hands the text to the control.
  static void ApplyEntryText(Control& control, PlugParam* param, const char* text);

private:
  void SetStateIfOpen(EntryState state) {
    if (entryOpen_) state_ = state;
  }

  Editor& editor_;
  Clock::time_point nextDue_{};
  bool entryOpen_ = false;
  EntryState state_ = EntryState::Idle;
  Control* entryControl_ = nullptr;
  PlugParam* entryParam_ = nullptr;
};

// The whole text as a finite decimal number ("+1.5", "-2", ".5"); spaces
// around it are allowed. False for anything else.
bool ParseEntryNumber(const char* text, double& value);
