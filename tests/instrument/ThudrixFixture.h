#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "instrument/MidiLearnTable.h"
#include "instrument/Thudrix.h"
#include "tests/instrument/StartedThudrix.h"

// A Thudrix with a recording host, opened and prepared like a host does.
class ThudrixFixture : public ::testing::Test {
protected:
  struct HostLog {
    std::vector<std::pair<int32_t, float>> automated;
  };

  static intptr_t Host(vst2::VstEffect*, int32_t opcode, int32_t index, intptr_t, void*, float opt) {
    if (opcode == vst2::audioMasterAutomate && current) current->automated.push_back({index, opt});
    return 0;
  }

  void SetUp() override {
    current = &log;
    MidiLearnTable::Shared().Reset();
    plug = MakeOpened(44100.0, 256);
  }

  static std::unique_ptr<Thudrix> MakeOpened(double rate, int32_t block) {
    return MakeStartedThudrix(&Host, float(rate), block);
  }
  void TearDown() override {
    plug.reset();
    MidiLearnTable::Shared().Reset();
    current = nullptr;
  }

  static void MidiTo(Thudrix& target, int32_t offset, uint8_t status, uint8_t d1, uint8_t d2) {
    MidiMsg m;
    m.offset = offset;
    m.status = status;
    m.data1 = d1;
    m.data2 = d2;
    target.HandleMidiMessage(m);
  }
  void Midi(int32_t offset, uint8_t status, uint8_t d1, uint8_t d2) { MidiTo(*plug, offset, status, d1, d2); }

  // Renders frames through the double-precision callback; returns both channels.
  static std::pair<std::vector<double>, std::vector<double>> RenderWith(Thudrix& target, int32_t frames) {
    std::vector<double> left(frames, 7.0), right(frames, 7.0);
    double* outs[] = {left.data(), right.data()};
    target.ProcessDouble(nullptr, outs, frames);
    return {left, right};
  }
  std::pair<std::vector<double>, std::vector<double>> Render(int32_t frames) { return RenderWith(*plug, frames); }

  void SetNormalized(int32_t index, float x) { plug->SetParameterFromHost(index, x); }

  static inline HostLog* current = nullptr;
  HostLog log;
  std::unique_ptr<Thudrix> plug;
};
