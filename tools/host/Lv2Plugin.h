// An LV2 plug-in loaded through lilv, from a bundle folder or by its URI,
// with the ports, features and event buffers an offline host needs.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <span>
#include <vector>

#include "tools/host/Renderer.h"

namespace thudra::host {

// True when text names an LV2 plug-in rather than a VST2 module file: a
// bundle (a path ending ".lv2", or a folder with a manifest.ttl) or a URI.
bool isLv2Target(const std::string& text);

struct Lv2Port {
  enum class Kind { Audio, Control, Atom, Other };
  uint32_t index = 0;
  Kind kind = Kind::Other;
  bool input = false;
  std::string symbol;
  std::string name;
  float minimum = 0.0f;
  float maximum = 1.0f;
  float defaultValue = 0.0f;
  bool integer = false;
  bool toggled = false;
  bool trigger = false;
  bool midi = false;  // an atom input that takes MIDI events
};

struct Lv2Preset {
  std::string uri;
  std::string label;
};

class Lv2Plugin {
public:
  // Null with `error` set when nothing loads.
  static std::unique_ptr<Lv2Plugin> load(const std::string& target, std::string& error);
  ~Lv2Plugin();
  Lv2Plugin(const Lv2Plugin&) = delete;
  Lv2Plugin& operator=(const Lv2Plugin&) = delete;

  std::string uri() const;
  std::string name() const;
  std::string author() const;
  std::string bundle() const;
  std::vector<std::string> uiUris() const;
  const std::vector<Lv2Port>& ports() const { return ports_; }
  std::vector<Lv2Preset> presets() const;
  int audioOutputCount() const;

  // Creates the instance; false with `error` set when it cannot be made.
  bool instantiate(double sampleRate, int32_t maxBlock, std::string& error);
  void activate();

  // The control input port named by symbol or name (exact), else null.
  const Lv2Port* findControl(const std::string& symbolOrName) const;
  // Sets a control input in its own units, made whole for whole-valued ports.
  void setControl(const Lv2Port& port, float value);
  // Sets a control input from a value in 0..1 of its range.
  void setControlNormalized(const Lv2Port& port, double normalized);
  float control(uint32_t portIndex) const;
  // Applies a preset (URI or label) through the plug-in's state; false
  // with `error` set when there is none such.
  bool applyPreset(const std::string& uriOrLabel, std::string& error);

  // MIDI for the next run, at frames within the block, in time order;
  // false when the event buffer is full.
  void clearEvents();
  bool addMidiEvent(int64_t frame, const uint8_t* bytes, uint32_t size);
  // Runs one block; the audio outputs are read with output().
  void run(int32_t frames);
  const float* output(int channel) const;

private:
  struct World;
  explicit Lv2Plugin(std::unique_ptr<World> world);
  void readPorts();

  std::unique_ptr<World> world_;
  std::vector<Lv2Port> ports_;
};

// Renders an instantiated, activated plug-in block by block, each message
// at its frame (those before 0 or past the end are not sent), like
// renderPlugin does for VST2 modules.
RenderResult renderLv2Plugin(Lv2Plugin& plugin, int32_t blockSize, int64_t totalFrames,
                             std::span<const ScheduledMidiMessage> messages, const BlockSink& sink);

}  // namespace thudra::host
