#include "instrument/MidiLearnTable.h"

MidiLearnTable& MidiLearnTable::Shared() {
  static MidiLearnTable table;
  return table;
}

MidiLearnTable::MidiLearnTable() { Reset(); }

void MidiLearnTable::Reset() {
  for (auto& entry : entries_) entry.store(-1, std::memory_order_relaxed);
}

int32_t MidiLearnTable::Get(int32_t index) const {
  if (index < 0 || index >= kEntries) return -1;
  return entries_[index].load(std::memory_order_relaxed);
}

void MidiLearnTable::Set(int32_t index, int32_t controller) {
  if (index < 0 || index >= kEntries) return;
  entries_[index].store(controller, std::memory_order_relaxed);
}

void MidiLearnTable::Learn(int32_t controller, int32_t target) {
  for (auto& entry : entries_) {
    int32_t expected = controller;
    entry.compare_exchange_strong(expected, -1, std::memory_order_relaxed);
  }
  Set(target, controller);
}

int32_t MidiLearnTable::ParamFor(int32_t controller) const {
  for (int32_t i = kEntries - 1; i >= 0; --i) {
    if (ParamRow(i).midiLearn && entries_[i].load(std::memory_order_relaxed) == controller) return i;
  }
  return -1;
}
