// Offline rendering: events delivered at their exact frames, block by block.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "tools/host/MidiEvents.h"

namespace thudra::host {

class HostedPlugin;
class HostSession;

struct ChannelStats {
  double peak = 0.0;
  double sumOfSquares = 0.0;
  int64_t frames = 0;
  int64_t nonFiniteSamples = 0;

  void add(double sample);
  double rms() const { return frames > 0 ? std::sqrt(sumOfSquares / frames) : 0.0; }
};

// Level in dBFS; -infinity for silence.
double toDecibels(double linear);

struct RenderSettings {
  int64_t totalFrames = 0;
  bool doublePrecision = false;
};

// Receives each rendered block, one array per output channel; returning
// false stops the render.
using BlockSink = std::function<bool(std::span<const std::vector<double>> channels, int32_t frames)>;
using ProgressReport = std::function<void(int64_t framesDone, int64_t totalFrames)>;

struct RenderResult {
  std::vector<ChannelStats> channels;
  std::string error;
  bool ok() const { return error.empty(); }
};

// Renders an opened, configured and running plug-in with the session's
// block size. `messages` must be ordered by frame; those at or past the end
// are not sent.
RenderResult renderPlugin(HostedPlugin& plugin, HostSession& session, const RenderSettings& settings,
                          std::span<const ScheduledMidiMessage> messages, const BlockSink& sink,
                          const ProgressReport& progress = {});

}  // namespace thudra::host
