// thudra-editor-png: draws the instrument's editor off screen into a PNG,
// optionally after loading a preset file, without any window or host.
#include <cstdio>
#include <cstring>
#include <string>

#include "graphics/Editor.h"
#include "graphics/EditorSnapshot.h"
#include "instrument/Thudrix.h"
#include "presets/PresetBrowser.h"
#include "presets/PresetFiles.h"

int main(int argc, char** argv) {
  const char* out = nullptr;
  const char* preset = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
      out = argv[++i];
    } else if (std::strcmp(argv[i], "--preset") == 0 && i + 1 < argc) {
      preset = argv[++i];
    } else {
      std::fprintf(stderr, "usage: thudra-editor-png --out FILE.png [--preset FILE.tvpreset]\n");
      return 2;
    }
  }
  if (!out) {
    std::fprintf(stderr, "thudra-editor-png: --out FILE.png is required\n");
    return 2;
  }
  Thudrix instrument(nullptr);
  instrument.Dispatch(vst2::effOpen, 0, 0, nullptr, 0.0f);
  if (preset) {
    if (!LoadPresetFile(instrument, preset)) {
      std::fprintf(stderr, "thudra-editor-png: cannot read preset %s\n", preset);
      return 1;
    }
    std::string name = preset;
    const size_t slash = name.find_last_of('/');
    if (slash != std::string::npos) name = name.substr(slash + 1);
    if (name.size() >= size_t(kPresetExtensionLength)) name.resize(name.size() - size_t(kPresetExtensionLength));
    if (instrument.PresetMenu()) instrument.PresetMenu()->ShowPresetName(name.c_str());
  }
  Editor* editor = instrument.GetEditor();
  if (!editor || !SaveEditorPng(*editor, out)) {
    std::fprintf(stderr, "thudra-editor-png: cannot write %s\n", out);
    return 1;
  }
  return 0;
}
