#include "graphics/EditorTickAndEntry.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "graphics/Control.h"
#include "graphics/Editor.h"
#include "plugin/PlugParam.h"

namespace {

constexpr uint32_t kBackspace = 8;

bool IsDigit(uint32_t c) { return c >= '0' && c <= '9'; }

}  // namespace

bool ParseEntryNumber(const char* text, double& value) {
  if (!text) return false;
  const char* begin = text;
  const char* end = text + std::strlen(text);
  while (begin < end && *begin == ' ') ++begin;
  while (end > begin && end[-1] == ' ') --end;
  // from_chars takes no plus sign; one is allowed in front of a digit or point.
  if (begin < end && *begin == '+') {
    ++begin;
    if (begin == end || *begin == '-' || *begin == '+') return false;
  }
  if (begin == end) return false;
  double parsed = 0.0;
  const auto [stop, error] = std::from_chars(begin, end, parsed, std::chars_format::fixed);
  if (error != std::errc() || stop != end || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

int32_t EditorTickAndEntry::PeriodMs(int32_t frameRate) {
  if (frameRate < 1 || frameRate > 1000) frameRate = Editor::kDefaultFrameRate;
  return int32_t(1000.0 / frameRate);
}

EditorTickAndEntry::EditorTickAndEntry(Editor& editor) : editor_(editor) {}

bool EditorTickAndEntry::Due(Clock::time_point now) {
  if (now < nextDue_) return false;
  nextDue_ += std::chrono::milliseconds(PeriodMs(editor_.FrameRate()));
  // After a stall the ticks do not try to catch up.
  if (nextDue_ <= now) nextDue_ = now + std::chrono::milliseconds(PeriodMs(editor_.FrameRate()));
  return true;
}

void EditorTickAndEntry::Tick(EntryBoxWindow& window) {
  if (entryOpen_ && state_ != EntryState::Idle) {
    if (state_ == EntryState::Cancel) {
      CloseEntry(window);
    } else if (state_ == EntryState::Commit) {
      std::string text = window.EntryBoxText();
      if (text.size() > size_t(kEntryTextLimit)) text.resize(size_t(kEntryTextLimit));
      Control* control = entryControl_;
      PlugParam* param = entryParam_;
      // Forget the box before applying, so a control that opens a new entry
      // from its value change is not closed by this tick.
      CloseEntry(window);
      if (control) ApplyEntryText(*control, param, text.c_str());
    } else {
      state_ = EntryState::Idle;
    }
    return;
  }
  PixelRect dirty;
  if (!editor_.CollectDirty(dirty)) return;
  window.PaintControls(dirty);
  if (entryOpen_) state_ = EntryState::Redrawn;
}

void EditorTickAndEntry::EntryOpened(Control* control, PlugParam* param) {
  entryOpen_ = control != nullptr;
  entryControl_ = control;
  entryParam_ = control ? param : nullptr;
  state_ = EntryState::Idle;
}

void EditorTickAndEntry::CloseEntry(EntryBoxWindow& window) {
  if (!entryOpen_) return;
  entryOpen_ = false;
  entryControl_ = nullptr;
  entryParam_ = nullptr;
  state_ = EntryState::Idle;
  window.DestroyEntryBox();
}

bool EditorTickAndEntry::PressOnlyCancels() {
  if (!entryOpen_ || state_ != EntryState::Focused) return false;
  state_ = EntryState::Cancel;
  return true;
}

bool EditorTickAndEntry::EntryAccepts(const PlugParam* param, uint32_t character) {
  if (!param || character == kBackspace) return true;
  const bool sign = character == '+' || character == '-';
  switch (param->Kind()) {
    case ParamKind::Bool:
    case ParamKind::Enum:
      return sign || IsDigit(character);
    case ParamKind::Double:
      return sign || character == '.' || IsDigit(character);
    default:
      // The unassigned kind 2 filters like Bool and Enum.
      if (int32_t(param->Kind()) == 2) return sign || IsDigit(character);
      return true;
  }
}

void EditorTickAndEntry::ApplyEntryText(Control& control, PlugParam* param, const char* text) {
  if (!text) text = "";
  if (!param) {
    control.TextEntered(text);
    return;
  }
  double raw = 0.0;
  const bool listed = param->Kind() == ParamKind::Bool || param->Kind() == ParamKind::Enum;
  if (const DisplayText* shown = listed ? param->FindDisplayTextByText(text) : nullptr) {
    raw = shown->value;
  } else {
    if (!ParseEntryNumber(text, raw)) return;
    if (!listed && param->NegateDisplay()) raw = -raw;
  }
  control.SetValueFromUser(param->Normalize(raw));
}
