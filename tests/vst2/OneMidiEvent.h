#pragma once
// One MIDI message in the event list effProcessEvents takes, as a host
// sends it: the record and the list live together until the next block.

#include <cstdint>

#include "vst2/VstAbi.h"

struct OneMidiEvent {
  vst2::VstMidiEvent event{};
  vst2::VstEvents list{};

  OneMidiEvent(int32_t offset, uint8_t status, uint8_t data1, uint8_t data2) {
    event.type = vst2::kVstMidiType;
    event.byteSize = sizeof event;
    event.deltaFrames = offset;
    event.midiData[0] = char(status);
    event.midiData[1] = char(data1);
    event.midiData[2] = char(data2);
    list.numEvents = 1;
    list.events[0] = reinterpret_cast<vst2::VstEvent*>(&event);
  }
  OneMidiEvent(const OneMidiEvent&) = delete;
  OneMidiEvent& operator=(const OneMidiEvent&) = delete;
};
