// Build-time generator of the bundle's descriptions: the ports come from the
// instrument's own parameter records, the presets from the factory sound
// files loaded into an instance, so the descriptions cannot drift from them.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "lv2/Lv2Ports.h"
#include "lv2/Lv2Thudrix.h"
#include "presets/PresetFiles.h"

namespace {

namespace fs = std::filesystem;
using namespace lv2port;

const char* const kPrefixes =
    "@prefix atom:  <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf:  <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix midi:  <http://lv2plug.in/ns/ext/midi#> .\n"
    "@prefix opts:  <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix patch: <http://lv2plug.in/ns/ext/patch#> .\n"
    "@prefix pprop: <http://lv2plug.in/ns/ext/port-props#> .\n"
    "@prefix pset:  <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix bufsz: <http://lv2plug.in/ns/ext/buf-size#> .\n"
    "@prefix ui:    <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid:  <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix xsd:   <http://www.w3.org/2001/XMLSchema#> .\n\n";

// "MidiTuneFlag" -> "midi_tune_flag": a port symbol from a parameter name.
std::string SymbolOf(const char* name) {
  std::string symbol;
  for (const char* c = name; *c; ++c) {
    const unsigned char ch = static_cast<unsigned char>(*c);
    if (std::isupper(ch) && c != name && std::islower(static_cast<unsigned char>(c[-1]))) symbol += '_';
    symbol += std::isalnum(ch) ? char(std::tolower(ch)) : '_';
  }
  return symbol;
}

// Shortest text that reads back as the same float.
std::string FloatText(float value) {
  char text[32];
  for (int digits = 1; digits <= 9; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, double(value));
    if (std::strtof(text, nullptr) == value) break;
  }
  std::string s = text;
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string ControlPort(const PlugParam& param, int32_t index) {
  std::ostringstream ttl;
  ttl << "    a lv2:" << (IsOutput(index) ? "OutputPort" : "InputPort") << " , lv2:ControlPort ;\n"
      << "    lv2:index " << PortOfParam(index) << " ;\n"
      << "    lv2:symbol " << Quoted(SymbolOf(param.Name())) << " ;\n"
      << "    lv2:name " << Quoted(param.Name()) << " ;\n"
      << "    lv2:default " << FloatText(float(param.Default())) << " ;\n"
      << "    lv2:minimum " << FloatText(float(param.Min())) << " ;\n"
      << "    lv2:maximum " << FloatText(float(param.Max())) << " ;\n";
  if (param.Kind() == ParamKind::Bool || param.Kind() == ParamKind::Enum) {
    ttl << "    lv2:portProperty lv2:toggled";
    if (ParamRow(index).press) ttl << " , pprop:trigger";
    ttl << " ;\n";
  } else if (WholeValued(param)) {
    ttl << "    lv2:portProperty lv2:integer ;\n";
  }
  if (ParamRow(index).unit == ParamUnit::Semitones) ttl << "    units:unit units:semitone12TET ;\n";
  return ttl.str();
}

std::string PluginDescription(Lv2Thudrix& plug) {
  std::ostringstream ttl;
  ttl << kPrefixes << "<" THUDRA_LV2_URI ">\n"
      << "    a lv2:InstrumentPlugin , lv2:Plugin ;\n"
      << "    doap:name " << Quoted(plug.EffectName()) << " ;\n"
      << "    doap:license <urn:tarvolin:license:proprietary> ;\n"
      << "    lv2:project [\n"
      << "        a doap:Project ;\n"
      << "        doap:name " << Quoted(plug.EffectName()) << " ;\n"
      << "        doap:maintainer [ a foaf:Person ; foaf:name " << Quoted(plug.MakerName()) << " ]\n"
      << "    ] ;\n"
      << "    lv2:minorVersion " << ((plug.PackedVersion() >> 8) & 0xFF) << " ;\n"
      << "    lv2:microVersion " << (plug.PackedVersion() & 0xFF) << " ;\n"
      << "    lv2:requiredFeature urid:map ;\n"
      << "    lv2:optionalFeature lv2:hardRTCapable , opts:options ;\n"
      << "    opts:supportedOption bufsz:maxBlockLength ;\n"
      << "    lv2:extensionData state:interface ;\n"
      << "    ui:ui <" THUDRA_LV2_UI_URI "> ;\n"
      << "    patch:writable <" THUDRA_LV2_PRESET_NAME_URI "> ;\n"
      << "    lv2:port [\n"
      << "    a lv2:InputPort , atom:AtomPort ;\n"
      << "    atom:bufferType atom:Sequence ;\n"
      << "    atom:supports midi:MidiEvent , patch:Message ;\n"
      << "    lv2:designation lv2:control ;\n"
      << "    lv2:index " << kControlIn << " ;\n"
      << "    lv2:symbol \"control\" ;\n"
      << "    lv2:name \"MIDI In\" ;\n"
      << "  ] , [\n"
      << "    a lv2:OutputPort , atom:AtomPort ;\n"
      << "    atom:bufferType atom:Sequence ;\n"
      << "    atom:supports patch:Message ;\n"
      << "    lv2:designation lv2:control ;\n"
      << "    lv2:index " << kNotifyOut << " ;\n"
      << "    lv2:symbol \"notify\" ;\n"
      << "    lv2:name \"Notify\" ;\n"
      << "  ] , [\n"
      << "    a lv2:OutputPort , lv2:AudioPort ;\n"
      << "    lv2:index " << kAudioLeft << " ;\n"
      << "    lv2:symbol \"out_left\" ;\n"
      << "    lv2:name \"Output 1\" ;\n"
      << "  ] , [\n"
      << "    a lv2:OutputPort , lv2:AudioPort ;\n"
      << "    lv2:index " << kAudioRight << " ;\n"
      << "    lv2:symbol \"out_right\" ;\n"
      << "    lv2:name \"Output 2\" ;\n";
  for (int32_t i = 0; i < kPortedParams; ++i) ttl << "  ] , [\n" << ControlPort(*plug.ParamAt(i), i);
  ttl << "  ] .\n\n"
      << "<" THUDRA_LV2_PRESET_NAME_URI ">\n"
      << "    a lv2:Parameter ;\n"
      << "    rdfs:label \"preset name\" ;\n"
      << "    rdfs:range atom:String .\n\n"
      << "<" THUDRA_LV2_UI_URI ">\n"
      << "    a ui:X11UI ;\n"
      << "    lv2:requiredFeature urid:map , ui:parent , ui:idleInterface ;\n"
      << "    lv2:optionalFeature ui:noUserResize , ui:touch ;\n"
      << "    lv2:extensionData ui:idleInterface ;\n"
      << "    ui:portNotification [ ui:plugin <" THUDRA_LV2_URI "> ; lv2:symbol \"notify\" ;"
      << " ui:notifyType atom:Object ] ;\n"
      << "    ui:portNotification [ ui:plugin <" THUDRA_LV2_URI "> ; lv2:symbol "
      << Quoted(SymbolOf(plug.ParamAt(kParamLed)->Name())) << " ; ui:protocol ui:floatProtocol ] .\n";
  return ttl.str();
}

struct Preset {
  std::string name;
  std::string uri;
  std::string ports;
};

// "01 Thudra Kick" -> "01-thudra-kick".
std::string Slug(const std::string& name) {
  std::string slug;
  for (char c : name) {
    const unsigned char ch = static_cast<unsigned char>(c);
    if (std::isalnum(ch)) {
      slug += char(std::tolower(ch));
    } else if (!slug.empty() && slug.back() != '-') {
      slug += '-';
    }
  }
  while (!slug.empty() && slug.back() == '-') slug.pop_back();
  return slug;
}

// The factory sounds in the browser's order, each as the port values that
// loading its file gives. The pad is a press, not part of a sound.
bool ReadPresets(Lv2Thudrix& plug, const fs::path& folder, std::vector<Preset>& presets) {
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error))
    if (entry.path().extension() == kPresetExtension) files.push_back(entry.path());
  if (error) return false;
  std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
    std::string x = a.filename().string(), y = b.filename().string();
    for (auto* s : {&x, &y})
      std::transform(s->begin(), s->end(), s->begin(), [](unsigned char c) { return std::tolower(c); });
    return x < y;
  });
  for (const auto& file : files) {
    if (!LoadPresetFile(plug, file.string())) return false;
    Preset preset;
    preset.name = file.stem().string();
    preset.uri = std::string(THUDRA_LV2_URI ":preset:") + Slug(preset.name);
    std::ostringstream ports;
    bool first = true;
    for (int32_t i = 0; i < kPortedParams; ++i) {
      if (IsOutput(i) || ParamRow(i).press) continue;
      const PlugParam& param = *plug.ParamAt(i);
      double natural = 0.0;
      NaturalFromPort(param, float(param.Value()), natural);
      ports << (first ? "" : " , ") << "[\n        lv2:symbol " << Quoted(SymbolOf(param.Name()))
            << " ;\n        pset:value " << FloatText(float(natural)) << "\n    ]";
      first = false;
    }
    preset.ports = ports.str();
    presets.push_back(std::move(preset));
  }
  return true;
}

std::string PresetsDescription(const std::vector<Preset>& presets) {
  std::ostringstream ttl;
  ttl << kPrefixes;
  for (const Preset& preset : presets) {
    ttl << "<" << preset.uri << ">\n"
        << "    a pset:Preset ;\n"
        << "    lv2:appliesTo <" THUDRA_LV2_URI "> ;\n"
        << "    rdfs:label " << Quoted(preset.name) << " ;\n"
        << "    state:state [ <" THUDRA_LV2_PRESET_NAME_URI "> " << Quoted(preset.name) << " ] ;\n"
        << "    lv2:port " << preset.ports << " .\n\n";
  }
  return ttl.str();
}

std::string Manifest(const std::string& binary, const std::vector<Preset>& presets) {
  std::ostringstream ttl;
  ttl << kPrefixes << "<" THUDRA_LV2_URI ">\n"
      << "    a lv2:Plugin , lv2:InstrumentPlugin ;\n"
      << "    lv2:binary <" << binary << "> ;\n"
      << "    rdfs:seeAlso <thudra.ttl> .\n\n"
      << "<" THUDRA_LV2_UI_URI ">\n"
      << "    a ui:X11UI ;\n"
      << "    ui:binary <" << binary << "> ;\n"
      << "    rdfs:seeAlso <thudra.ttl> .\n";
  for (const Preset& preset : presets) {
    ttl << "\n<" << preset.uri << ">\n"
        << "    a pset:Preset ;\n"
        << "    lv2:appliesTo <" THUDRA_LV2_URI "> ;\n"
        << "    rdfs:seeAlso <presets.ttl> .\n";
  }
  return ttl.str();
}

bool WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: thudra-lv2-describe BUNDLE_FOLDER BINARY_NAME FACTORY_PRESET_FOLDER\n";
    return 2;
  }
  const fs::path bundle = argv[1];
  // The start-up sound comes from the factory folder itself, never from the
  // builder's own documents.
  SetPresetRootFolder(fs::path(argv[3]).parent_path().string() + "/");
  std::unique_ptr<Lv2Thudrix> plug(Lv2Thudrix::Create());
  std::vector<Preset> presets;
  if (!plug || !ReadPresets(*plug, argv[3], presets)) {
    std::cerr << "thudra-lv2-describe: cannot read the factory sounds in " << argv[3] << "\n";
    return 1;
  }
  std::error_code error;
  fs::create_directories(bundle, error);
  if (!WriteFile(bundle / "manifest.ttl", Manifest(argv[2], presets)) ||
      !WriteFile(bundle / "thudra.ttl", PluginDescription(*plug)) ||
      !WriteFile(bundle / "presets.ttl", PresetsDescription(presets))) {
    std::cerr << "thudra-lv2-describe: cannot write into " << bundle << "\n";
    return 1;
  }
  return 0;
}
