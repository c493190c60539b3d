// What the click synth test module saw from its host; the tests read it
// through the module's exported ClickSynthGetLog.
#pragma once

#include <cstdint>

constexpr int kClickLogCapacity = 64;

struct ClickSynthLog {
  int32_t hostVersionDuringCreation;
  int32_t openCalls;
  int32_t closeCalls;
  int32_t mainsOnCalls;
  int32_t mainsOffCalls;
  float sampleRate;
  int32_t blockSize;
  int32_t processLevel;
  char hostProduct[64];
  int32_t hostCanDoEvents;   // answer to "sendVstEvents"
  int32_t hostCanDoUnknown;  // answer to a text no host knows
  int32_t floatProcessCalls;
  int32_t doubleProcessCalls;
  int32_t eventsOutsideBlock;  // deltaFrames outside the block that followed
  int32_t noteOnCount;
  int64_t noteOnFrames[kClickLogCapacity];  // absolute frames
  int32_t noteOnKeys[kClickLogCapacity];
  int32_t noteOffCount;
  int32_t controllerCount;
  int32_t setParameterCalls;
  double firstTempo;
  double lastSamplePos;
  int32_t firstTimeFlags;
};

using ClickSynthGetLogProc = ClickSynthLog* (*)();
