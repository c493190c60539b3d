#include "tools/host/Lv2Plugin.h"

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/port-props/port-props.h>
#include <lv2/presets/presets.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <unordered_map>

namespace thudra::host {

namespace {

constexpr uint32_t kAtomBufferBytes = 64 * 1024;

// Numbers for URIs, the same for the life of the plug-in.
class UriMap {
public:
  LV2_URID map(const char* uri) {
    auto found = ids_.find(uri);
    if (found != ids_.end()) return found->second;
    uris_.emplace_back(uri);
    const auto id = static_cast<LV2_URID>(uris_.size());
    ids_.emplace(uris_.back(), id);
    return id;
  }

  const char* unmap(LV2_URID id) const { return id >= 1 && id <= uris_.size() ? uris_[id - 1].c_str() : nullptr; }

  static LV2_URID mapFn(LV2_URID_Map_Handle handle, const char* uri) {
    return uri ? static_cast<UriMap*>(handle)->map(uri) : 0;
  }
  static const char* unmapFn(LV2_URID_Unmap_Handle handle, LV2_URID id) {
    return static_cast<UriMap*>(handle)->unmap(id);
  }

private:
  std::vector<std::string> uris_;
  std::unordered_map<std::string, LV2_URID> ids_;
};

// A lilv node freed when it goes.
struct Node {
  LilvNode* node;
  explicit Node(LilvNode* n) : node(n) {}
  ~Node() { lilv_node_free(node); }
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  operator const LilvNode*() const { return node; }
  std::string text() const { return node && lilv_node_as_string(node) ? lilv_node_as_string(node) : std::string(); }
};

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

bool isLv2Target(const std::string& text) {
  if (text.starts_with("urn:") || text.find("://") != std::string::npos) return true;
  if (endsWith(text, ".lv2") || endsWith(text, ".lv2/")) return true;
  // Any other folder is not taken for a bundle unless it is described as one.
  std::error_code error;
  return std::filesystem::is_regular_file(std::filesystem::path(text) / "manifest.ttl", error);
}

// Everything lilv and the plug-in hold on to, in one place so that it is
// freed in the right order.
struct Lv2Plugin::World {
  LilvWorld* world = nullptr;
  const LilvPlugin* plugin = nullptr;
  LilvInstance* instance = nullptr;
  bool active = false;

  UriMap uris;
  LV2_URID_Map map{&uris, &UriMap::mapFn};
  LV2_URID_Unmap unmap{&uris, &UriMap::unmapFn};
  int32_t maxBlock = 0;
  std::vector<LV2_Options_Option> options;
  LV2_Feature mapFeature{LV2_URID__map, &map};
  LV2_Feature unmapFeature{LV2_URID__unmap, &unmap};
  LV2_Feature optionsFeature{LV2_OPTIONS__options, nullptr};
  LV2_Feature boundedFeature{LV2_BUF_SIZE__boundedBlockLength, nullptr};
  std::vector<const LV2_Feature*> features;

  std::vector<float> controls;
  std::vector<std::vector<float>> audio;     // by port index
  std::vector<std::vector<uint64_t>> atoms;  // by port index, 8-byte aligned
  std::vector<int> audioOutputs;             // port indices in order

  ~World() {
    if (instance) {
      if (active) lilv_instance_deactivate(instance);
      lilv_instance_free(instance);
    }
    if (world) lilv_world_free(world);
  }

  LV2_Atom_Sequence* sequence(uint32_t port) { return reinterpret_cast<LV2_Atom_Sequence*>(atoms[port].data()); }
};

Lv2Plugin::Lv2Plugin(std::unique_ptr<World> world) : world_(std::move(world)) {}
Lv2Plugin::~Lv2Plugin() = default;

std::unique_ptr<Lv2Plugin> Lv2Plugin::load(const std::string& target, std::string& error) {
  auto world = std::make_unique<World>();
  world->world = lilv_world_new();
  if (!world->world) {
    error = "cannot start lilv";
    return nullptr;
  }
  LilvWorld* w = world->world;
  const bool isUri = target.starts_with("urn:") || target.find("://") != std::string::npos;
  const LilvPlugins* plugins = nullptr;
  if (isUri) {
    lilv_world_load_all(w);
    plugins = lilv_world_get_all_plugins(w);
    Node uri(lilv_new_uri(w, target.c_str()));
    world->plugin = plugins ? lilv_plugins_get_by_uri(plugins, uri) : nullptr;
    if (!world->plugin) {
      error = "no LV2 plug-in " + target + " in LV2_PATH";
      return nullptr;
    }
  } else {
    std::error_code fsError;
    const auto folder = std::filesystem::absolute(target, fsError);
    if (fsError || !std::filesystem::is_regular_file(folder / "manifest.ttl", fsError)) {
      error = "cannot open LV2 bundle " + target + ": no manifest.ttl";
      return nullptr;
    }
    std::string path = folder.lexically_normal().string();
    if (!path.ends_with('/')) path += '/';
    Node bundle(lilv_new_file_uri(w, nullptr, path.c_str()));
    lilv_world_load_plugin_classes(w);
    lilv_world_load_bundle(w, bundle);
    plugins = lilv_world_get_all_plugins(w);
    LILV_FOREACH(plugins, i, plugins) {
      const LilvPlugin* candidate = lilv_plugins_get(plugins, i);
      if (lilv_node_equals(lilv_plugin_get_bundle_uri(candidate), bundle)) {
        world->plugin = candidate;
        break;
      }
    }
    if (!world->plugin) {
      error = "no LV2 plug-in in bundle " + target;
      return nullptr;
    }
  }
  std::unique_ptr<Lv2Plugin> plugin(new Lv2Plugin(std::move(world)));
  plugin->readPorts();
  return plugin;
}

void Lv2Plugin::readPorts() {
  LilvWorld* w = world_->world;
  const LilvPlugin* p = world_->plugin;
  Node inputClass(lilv_new_uri(w, LV2_CORE__InputPort));
  Node audioClass(lilv_new_uri(w, LV2_CORE__AudioPort));
  Node controlClass(lilv_new_uri(w, LV2_CORE__ControlPort));
  Node atomClass(lilv_new_uri(w, LV2_ATOM__AtomPort));
  Node integer(lilv_new_uri(w, LV2_CORE__integer));
  Node toggled(lilv_new_uri(w, LV2_CORE__toggled));
  Node trigger(lilv_new_uri(w, LV2_PORT_PROPS__trigger));
  Node midiEvent(lilv_new_uri(w, LV2_MIDI__MidiEvent));
  const uint32_t count = lilv_plugin_get_num_ports(p);
  for (uint32_t i = 0; i < count; ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(p, i);
    Lv2Port info;
    info.index = i;
    info.input = lilv_port_is_a(p, port, inputClass);
    if (lilv_port_is_a(p, port, audioClass))
      info.kind = Lv2Port::Kind::Audio;
    else if (lilv_port_is_a(p, port, controlClass))
      info.kind = Lv2Port::Kind::Control;
    else if (lilv_port_is_a(p, port, atomClass))
      info.kind = Lv2Port::Kind::Atom;
    const LilvNode* symbol = lilv_port_get_symbol(p, port);
    info.symbol = symbol ? lilv_node_as_string(symbol) : "";
    info.name = Node(lilv_port_get_name(p, port)).text();
    LilvNode* def = nullptr;
    LilvNode* min = nullptr;
    LilvNode* max = nullptr;
    lilv_port_get_range(p, port, &def, &min, &max);
    Node defNode(def), minNode(min), maxNode(max);
    if (min) info.minimum = lilv_node_as_float(min);
    if (max) info.maximum = lilv_node_as_float(max);
    info.defaultValue = def ? lilv_node_as_float(def) : info.minimum;
    info.integer = lilv_port_has_property(p, port, integer);
    info.toggled = lilv_port_has_property(p, port, toggled);
    info.trigger = lilv_port_has_property(p, port, trigger);
    info.midi = info.kind == Lv2Port::Kind::Atom && lilv_port_supports_event(p, port, midiEvent);
    ports_.push_back(info);
  }
}

std::string Lv2Plugin::uri() const { return lilv_node_as_uri(lilv_plugin_get_uri(world_->plugin)); }
std::string Lv2Plugin::name() const { return Node(lilv_plugin_get_name(world_->plugin)).text(); }
std::string Lv2Plugin::author() const { return Node(lilv_plugin_get_author_name(world_->plugin)).text(); }

std::string Lv2Plugin::bundle() const {
  const LilvNode* uri = lilv_plugin_get_bundle_uri(world_->plugin);
  char* path = lilv_file_uri_parse(lilv_node_as_uri(uri), nullptr);
  std::string text = path ? path : lilv_node_as_uri(uri);
  lilv_free(path);
  return text;
}

std::vector<std::string> Lv2Plugin::uiUris() const {
  std::vector<std::string> out;
  LilvUIs* uis = lilv_plugin_get_uis(world_->plugin);
  LILV_FOREACH(uis, i, uis)
  out.push_back(lilv_node_as_uri(lilv_ui_get_uri(lilv_uis_get(uis, i))));
  lilv_uis_free(uis);
  return out;
}

std::vector<Lv2Preset> Lv2Plugin::presets() const {
  LilvWorld* w = world_->world;
  std::vector<Lv2Preset> out;
  Node presetClass(lilv_new_uri(w, LV2_PRESETS__Preset));
  Node label(lilv_new_uri(w, LILV_NS_RDFS "label"));
  LilvNodes* related = lilv_plugin_get_related(world_->plugin, presetClass);
  LILV_FOREACH(nodes, i, related) {
    const LilvNode* preset = lilv_nodes_get(related, i);
    lilv_world_load_resource(w, preset);
    Lv2Preset entry;
    entry.uri = lilv_node_as_uri(preset);
    LilvNodes* labels = lilv_world_find_nodes(w, preset, label, nullptr);
    if (labels && lilv_nodes_size(labels) > 0) entry.label = lilv_node_as_string(lilv_nodes_get_first(labels));
    lilv_nodes_free(labels);
    out.push_back(entry);
  }
  lilv_nodes_free(related);
  std::sort(out.begin(), out.end(), [](const Lv2Preset& a, const Lv2Preset& b) { return a.label < b.label; });
  return out;
}

int Lv2Plugin::audioOutputCount() const {
  return static_cast<int>(std::count_if(ports_.begin(), ports_.end(), [](const Lv2Port& port) {
    return port.kind == Lv2Port::Kind::Audio && !port.input;
  }));
}

bool Lv2Plugin::instantiate(double sampleRate, int32_t maxBlock, std::string& error) {
  World& w = *world_;
  w.maxBlock = maxBlock;
  const LV2_URID intType = w.uris.map(LV2_ATOM__Int);
  // The last block may be shorter than the rest.
  static const int32_t kOne = 1;
  w.options = {
      {LV2_OPTIONS_INSTANCE, 0, w.uris.map(LV2_BUF_SIZE__minBlockLength), sizeof(int32_t), intType, &kOne},
      {LV2_OPTIONS_INSTANCE, 0, w.uris.map(LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), intType, &w.maxBlock},
      {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr},
  };
  w.optionsFeature.data = w.options.data();
  w.features = {&w.mapFeature, &w.unmapFeature, &w.optionsFeature, &w.boundedFeature, nullptr};

  w.instance = lilv_plugin_instantiate(w.plugin, sampleRate, w.features.data());
  if (!w.instance) {
    error = "the LV2 plug-in refused to instantiate";
    return false;
  }
  const size_t count = ports_.size();
  w.controls.assign(count, 0.0f);
  w.audio.assign(count, {});
  w.atoms.assign(count, {});
  w.audioOutputs.clear();
  for (const Lv2Port& port : ports_) {
    void* data = nullptr;
    switch (port.kind) {
      case Lv2Port::Kind::Control:
        w.controls[port.index] = port.defaultValue;
        data = &w.controls[port.index];
        break;
      case Lv2Port::Kind::Audio:
        w.audio[port.index].assign(static_cast<size_t>(maxBlock), 0.0f);
        data = w.audio[port.index].data();
        if (!port.input) w.audioOutputs.push_back(static_cast<int>(port.index));
        break;
      case Lv2Port::Kind::Atom:
        w.atoms[port.index].assign(kAtomBufferBytes / sizeof(uint64_t), 0);
        data = w.atoms[port.index].data();
        break;
      case Lv2Port::Kind::Other:
        error = "port " + port.symbol + " is of a kind this host does not connect";
        return false;
    }
    lilv_instance_connect_port(w.instance, port.index, data);
  }
  clearEvents();
  return true;
}

void Lv2Plugin::activate() {
  lilv_instance_activate(world_->instance);
  world_->active = true;
}

const Lv2Port* Lv2Plugin::findControl(const std::string& symbolOrName) const {
  for (const Lv2Port& port : ports_)
    if (port.kind == Lv2Port::Kind::Control && port.input && (port.symbol == symbolOrName || port.name == symbolOrName))
      return &port;
  return nullptr;
}

void Lv2Plugin::setControl(const Lv2Port& port, float value) {
  if (port.integer || port.toggled) value = std::round(value);
  world_->controls[port.index] = std::clamp(value, port.minimum, port.maximum);
}

void Lv2Plugin::setControlNormalized(const Lv2Port& port, double normalized) {
  const double v = port.minimum + std::clamp(normalized, 0.0, 1.0) * (port.maximum - port.minimum);
  setControl(port, static_cast<float>(v));
}

float Lv2Plugin::control(uint32_t portIndex) const {
  return portIndex < world_->controls.size() ? world_->controls[portIndex] : 0.0f;
}

namespace {

void setPortValue(const char* symbol, void* userData, const void* value, uint32_t size, uint32_t type) {
  auto* plugin = static_cast<Lv2Plugin*>(userData);
  const Lv2Port* port = plugin->findControl(symbol);
  if (!port || !value) return;
  // Presets store floats; a double or an int is read as what it is.
  (void)type;
  if (size == sizeof(float)) {
    float v;
    std::memcpy(&v, value, sizeof v);
    plugin->setControl(*port, v);
  } else if (size == sizeof(double)) {
    double v;
    std::memcpy(&v, value, sizeof v);
    plugin->setControl(*port, static_cast<float>(v));
  }
}

}  // namespace

bool Lv2Plugin::applyPreset(const std::string& uriOrLabel, std::string& error) {
  std::string uri;
  for (const Lv2Preset& preset : presets())
    if (preset.uri == uriOrLabel || preset.label == uriOrLabel) uri = preset.uri;
  if (uri.empty()) {
    error = "no preset '" + uriOrLabel + "' for " + this->uri();
    return false;
  }
  Node node(lilv_new_uri(world_->world, uri.c_str()));
  LilvState* state = lilv_state_new_from_world(world_->world, &world_->map, node);
  if (!state) {
    error = "cannot read preset " + uri;
    return false;
  }
  lilv_state_restore(state, world_->instance, setPortValue, this, 0, world_->features.data());
  lilv_state_free(state);
  return true;
}

void Lv2Plugin::clearEvents() {
  World& w = *world_;
  const LV2_URID sequenceType = w.uris.map(LV2_ATOM__Sequence);
  const LV2_URID chunkType = w.uris.map(LV2_ATOM__Chunk);
  for (const Lv2Port& port : ports_) {
    if (port.kind != Lv2Port::Kind::Atom) continue;
    LV2_Atom_Sequence* seq = w.sequence(port.index);
    if (port.input) {
      seq->atom.type = sequenceType;
      seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
      seq->body.unit = 0;
      seq->body.pad = 0;
    } else {
      // An output is handed over empty, with its capacity as its size.
      seq->atom.type = chunkType;
      seq->atom.size = kAtomBufferBytes - sizeof(LV2_Atom);
    }
  }
}

bool Lv2Plugin::addMidiEvent(int64_t frame, const uint8_t* bytes, uint32_t size) {
  World& w = *world_;
  const LV2_URID midiType = w.uris.map(LV2_MIDI__MidiEvent);
  for (const Lv2Port& port : ports_) {
    if (!port.midi || !port.input) continue;
    struct {
      LV2_Atom_Event header;
      uint8_t bytes[8];
    } event{};
    event.header.time.frames = frame;
    event.header.body.type = midiType;
    event.header.body.size = std::min<uint32_t>(size, sizeof event.bytes);
    std::memcpy(event.bytes, bytes, event.header.body.size);
    return lv2_atom_sequence_append_event(w.sequence(port.index), kAtomBufferBytes - sizeof(LV2_Atom), &event.header) !=
           nullptr;
  }
  return true;  // a plug-in without a MIDI input takes none
}

void Lv2Plugin::run(int32_t frames) {
  World& w = *world_;
  for (int index : w.audioOutputs)
    std::fill(w.audio[static_cast<size_t>(index)].begin(), w.audio[static_cast<size_t>(index)].end(), 0.0f);
  lilv_instance_run(w.instance, static_cast<uint32_t>(frames));
}

const float* Lv2Plugin::output(int channel) const {
  const auto& outputs = world_->audioOutputs;
  if (channel < 0 || channel >= static_cast<int>(outputs.size())) return nullptr;
  return world_->audio[static_cast<size_t>(outputs[static_cast<size_t>(channel)])].data();
}

namespace {

uint32_t midiLength(uint8_t status) {
  const uint8_t kind = status & 0xF0;
  return kind == 0xC0 || kind == 0xD0 ? 2 : 3;
}

}  // namespace

RenderResult renderLv2Plugin(Lv2Plugin& plugin, int32_t blockSize, int64_t totalFrames,
                             std::span<const ScheduledMidiMessage> messages, const BlockSink& sink) {
  RenderResult result;
  const int channels = plugin.audioOutputCount();
  if (channels < 1 || blockSize < 1) {
    result.error = channels < 1 ? "plug-in has no audio outputs" : "block size must be at least 1";
    return result;
  }
  std::vector<std::vector<double>> block(static_cast<size_t>(channels),
                                         std::vector<double>(static_cast<size_t>(blockSize)));
  result.channels.assign(static_cast<size_t>(channels), ChannelStats{});
  size_t next = 0;
  while (next < messages.size() && messages[next].frame < 0) ++next;
  for (int64_t start = 0; start < totalFrames; start += blockSize) {
    const auto frames = static_cast<int32_t>(std::min<int64_t>(blockSize, totalFrames - start));
    plugin.clearEvents();
    for (; next < messages.size() && messages[next].frame < start + frames; ++next) {
      const auto& bytes = messages[next].bytes;
      if (!plugin.addMidiEvent(messages[next].frame - start, bytes.data(), midiLength(bytes[0]))) {
        result.error = "too many MIDI events in one block";
        return result;
      }
    }
    plugin.run(frames);
    for (int c = 0; c < channels; ++c) {
      const float* samples = plugin.output(c);
      for (int32_t i = 0; i < frames; ++i) {
        block[static_cast<size_t>(c)][static_cast<size_t>(i)] = samples[i];
        result.channels[static_cast<size_t>(c)].add(samples[i]);
      }
    }
    if (sink && !sink(block, frames)) {
      result.error = "writing the rendered audio failed";
      return result;
    }
  }
  return result;
}

}  // namespace thudra::host
