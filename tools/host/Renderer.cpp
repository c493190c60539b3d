#include "tools/host/Renderer.h"

#include <algorithm>
#include <limits>

#include "tools/host/HostSession.h"
#include "tools/host/HostedPlugin.h"

namespace thudra::host {

using namespace vst2;

void ChannelStats::add(double sample) {
  ++frames;
  if (!std::isfinite(sample)) {
    ++nonFiniteSamples;
    return;
  }
  peak = std::max(peak, std::fabs(sample));
  sumOfSquares += sample * sample;
}

double toDecibels(double linear) {
  return linear > 0.0 ? 20.0 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

namespace {

// Host-side buffers for one block in either precision, with the pointer
// arrays the process callbacks take.
template <typename Sample>
struct BlockBuffers {
  std::vector<std::vector<Sample>> inputs, outputs;
  std::vector<Sample*> inputPointers, outputPointers;

  BlockBuffers(int inputCount, int outputCount, int32_t blockSize)
      : inputs(inputCount, std::vector<Sample>(blockSize)), outputs(outputCount, std::vector<Sample>(blockSize)) {
    for (auto& buffer : inputs) inputPointers.push_back(buffer.data());
    for (auto& buffer : outputs) outputPointers.push_back(buffer.data());
  }

  void clearOutputs() {
    for (auto& buffer : outputs) std::fill(buffer.begin(), buffer.end(), Sample{});
  }

  Sample** inputArray() { return inputPointers.empty() ? nullptr : inputPointers.data(); }
  Sample** outputArray() { return outputPointers.empty() ? nullptr : outputPointers.data(); }
};

std::string checkCanRender(const HostedPlugin& plugin, const HostSession& session, bool useDouble) {
  const VstEffect* effect = plugin.effect();
  if (plugin.numOutputs() < 1) return "module has no audio outputs";
  if (session.blockSize() < 1) return "block size must be at least 1";
  if (useDouble && (!(effect->flags & effFlagsCanDoubleReplacing) || !effect->processDoubleReplacing))
    return "module does not support double-precision processing";
  if (!useDouble && !effect->processReplacing) return "module has no processReplacing callback";
  return {};
}

}  // namespace

RenderResult renderPlugin(HostedPlugin& plugin, HostSession& session, const RenderSettings& settings,
                          std::span<const ScheduledMidiMessage> messages, const BlockSink& sink,
                          const ProgressReport& progress) {
  RenderResult result;
  if (std::string problem = checkCanRender(plugin, session, settings.doublePrecision); !problem.empty()) {
    result.error = problem;
    return result;
  }

  VstEffect* effect = plugin.effect();
  const int outputCount = plugin.numOutputs();
  const int32_t blockSize = session.blockSize();
  BlockBuffers<float> floatBuffers(settings.doublePrecision ? 0 : plugin.numInputs(),
                                   settings.doublePrecision ? 0 : outputCount, blockSize);
  BlockBuffers<double> doubleBuffers(settings.doublePrecision ? plugin.numInputs() : 0, outputCount, blockSize);
  BlockEventList eventList;
  result.channels.assign(outputCount, ChannelStats{});

  size_t nextMessage = 0;
  while (nextMessage < messages.size() && messages[nextMessage].frame < 0) ++nextMessage;

  for (int64_t blockStart = 0; blockStart < settings.totalFrames; blockStart += blockSize) {
    const auto frames = static_cast<int32_t>(std::min<int64_t>(blockSize, settings.totalFrames - blockStart));
    session.setSamplePosition(blockStart);

    size_t blockEnd = nextMessage;
    while (blockEnd < messages.size() && messages[blockEnd].frame < blockStart + frames) ++blockEnd;
    if (VstEvents* list = eventList.fill(messages.subspan(nextMessage, blockEnd - nextMessage), blockStart))
      plugin.dispatch(effProcessEvents, 0, 0, list);
    nextMessage = blockEnd;

    if (settings.doublePrecision) {
      doubleBuffers.clearOutputs();
      effect->processDoubleReplacing(effect, doubleBuffers.inputArray(), doubleBuffers.outputArray(), frames);
    } else {
      floatBuffers.clearOutputs();
      effect->processReplacing(effect, floatBuffers.inputArray(), floatBuffers.outputArray(), frames);
      for (int c = 0; c < outputCount; ++c)
        std::copy_n(floatBuffers.outputs[c].begin(), frames, doubleBuffers.outputs[c].begin());
    }
    if (plugin.numOutputs() != outputCount) {
      result.error = "module changed its output count while rendering";
      return result;
    }

    for (int c = 0; c < outputCount; ++c)
      for (int32_t i = 0; i < frames; ++i) result.channels[c].add(doubleBuffers.outputs[c][i]);
    if (sink && !sink(doubleBuffers.outputs, frames)) {
      result.error = "writing the rendered audio failed";
      return result;
    }
    if (progress) progress(blockStart + frames, settings.totalFrames);
  }
  return result;
}

}  // namespace thudra::host
