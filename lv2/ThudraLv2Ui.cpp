// The editor as an LV2 X11 UI: our own X11 editor window inside the host's
// parent, ticked through the idle interface. It works through ports alone:
// the editor's changes go out through the host's write function, the host's
// port changes come back as port events.
#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstring>
#include <new>

#include "graphics/Editor.h"
#include "lv2/Lv2Messages.h"
#include "lv2/Lv2Ports.h"
#include "lv2/Lv2Thudrix.h"
#include "presets/PresetBrowser.h"

namespace {

using namespace lv2port;

class ThudraUi final : public ParamListener {
public:
  ThudraUi(Lv2Thudrix* plug, LV2UI_Write_Function write, LV2UI_Controller controller, LV2_URID_Map* map,
           const LV2UI_Touch* touch)
      : plug_(plug), write_(write), controller_(controller), touch_(touch), uris_(MapUris(map)) {
    lv2_atom_forge_init(&forge_, map);
    plug_->SetListener(this);
  }

  ~ThudraUi() override {
    if (Editor* editor = plug_->GetEditor()) {
      plug_->EditorClosed();
      editor->CloseEditorWindow();
    }
    delete plug_;
  }

  // Opens the editor in the host's window; the editor's own window, or null.
  void* Open(void* parent) {
    // Until the plug-in tells its preset name, the strip shows none: the
    // sound the UI's own instance started with is not the plug-in's.
    ShowPresetName("");
    Editor* editor = plug_->GetEditor();
    if (!editor || !editor->OpenEditorWindow(parent)) return nullptr;
    plug_->EditorOpened();
    SendMessage([this] { return ForgePatchGet(forge_, uris_); });
    return editor->EditorWindow();
  }

  void PortEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    if (!buffer) return;
    if (format == 0 && size == sizeof(float)) {
      const int32_t param = ParamOfPort(port);
      if (param < 0) return;
      float value;
      std::memcpy(&value, buffer, sizeof value);
      showingHostValue_ = true;
      plug_->ShowPortValue(param, value);
      showingHostValue_ = false;
    } else if (format == uris_.atomEventTransfer && port == kNotifyOut && size >= sizeof(LV2_Atom)) {
      const auto* atom = static_cast<const LV2_Atom*>(buffer);
      if (atom->size > size - sizeof(LV2_Atom)) return;
      uint32_t movedPort = 0;
      float movedValue = 0.0f;
      if (const char* name = PresetNameFromPatchSet(uris_, *atom)) {
        ShowPresetName(name);
      } else if (ControlMovedFrom(uris_, *atom, movedPort, movedValue)) {
        MoveControl(movedPort, movedValue);
      }
    }
  }

  int Idle() {
    Editor* editor = plug_->GetEditor();
    if (!editor || !editor->HasWindow()) return 1;
    editor->Idle();
    // A sound chosen in the browser or with the arrows: tell the plug-in its name.
    if (PresetFunctionsMenu* menu = plug_->PresetMenu()) {
      if (std::strcmp(menu->DisplayedName(), shownName_.Get()) != 0) {
        shownName_.Set(menu->DisplayedName());
        SendMessage([this] { return ForgePresetNameSet(forge_, uris_, shownName_.Get()); });
      }
    }
    return 0;
  }

  void EditBegun(int32_t index) override { Touch(index, true); }
  void EditEnded(int32_t index) override { Touch(index, false); }

  void Changed(int32_t index, double) override {
    if (showingHostValue_ || !HasPort(index) || IsOutput(index)) return;
    if (index == kParamTrigger) {
      if (plug_->ParamAt(index)->Value() >= 0.5) SendMessage([this] { return ForgePadPress(forge_, uris_); });
      return;
    }
    // In the port's own terms: a whole-valued port gets a whole number.
    double natural = 0.0;
    if (!NaturalFromPort(*plug_->ParamAt(index), float(plug_->ParamAt(index)->Value()), natural)) return;
    const float value = float(natural);
    write_(controller_, PortOfParam(index), sizeof value, 0, &value);
  }

private:
  // A learned controller moved a control in the plug-in: show it, and write
  // the port so the host keeps the value with its session.
  void MoveControl(uint32_t port, float value) {
    const int32_t param = ParamOfPort(port);
    if (param < 0 || IsOutput(param) || param == kParamTrigger || !std::isfinite(value)) return;
    showingHostValue_ = true;
    plug_->ShowPortValue(param, value);
    showingHostValue_ = false;
    write_(controller_, port, sizeof value, 0, &value);
  }

  void Touch(int32_t index, bool grabbed) {
    if (touch_ && HasPort(index) && !IsOutput(index) && index != kParamTrigger)
      touch_->touch(touch_->handle, PortOfParam(index), grabbed);
  }

  void ShowPresetName(const char* name) {
    PresetFunctionsMenu* menu = plug_->PresetMenu();
    if (!menu) return;
    menu->ShowPresetName(name);
    shownName_.Set(menu->DisplayedName());
  }

  template <class Forge>
  void SendMessage(Forge forgeMessage) {
    alignas(LV2_Atom) uint8_t buffer[512];
    lv2_atom_forge_set_buffer(&forge_, buffer, sizeof buffer);
    if (!forgeMessage()) return;
    const auto* atom = reinterpret_cast<const LV2_Atom*>(buffer);
    write_(controller_, kControlIn, uint32_t(lv2_atom_total_size(atom)), uris_.atomEventTransfer, atom);
  }

  Lv2Thudrix* plug_;
  LV2UI_Write_Function write_;
  LV2UI_Controller controller_;
  const LV2UI_Touch* touch_;
  Lv2Uris uris_;
  LV2_Atom_Forge forge_{};
  PresetName shownName_;
  bool showingHostValue_ = false;
};

const void* Feature(const LV2_Feature* const* features, const char* uri) {
  for (; features && *features; ++features)
    if (std::strcmp((*features)->URI, uri) == 0) return (*features)->data;
  return nullptr;
}

LV2UI_Handle Instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features) {
  auto* map = static_cast<LV2_URID_Map*>(const_cast<void*>(Feature(features, LV2_URID__map)));
  void* parent = const_cast<void*>(Feature(features, LV2_UI__parent));
  const auto* touch = static_cast<const LV2UI_Touch*>(Feature(features, LV2_UI__touch));
  if (!map || !parent || !write || !widget || !pluginUri || std::strcmp(pluginUri, THUDRA_LV2_URI) != 0) return nullptr;
  Lv2Thudrix* plug = Lv2Thudrix::Create();
  if (!plug) return nullptr;
  auto* ui = new (std::nothrow) ThudraUi(plug, write, controller, map, touch);
  if (!ui) {
    delete plug;
    return nullptr;
  }
  void* window = ui->Open(parent);
  if (!window) {
    delete ui;
    return nullptr;
  }
  *widget = window;
  return ui;
}

void Cleanup(LV2UI_Handle handle) { delete static_cast<ThudraUi*>(handle); }

void PortEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  static_cast<ThudraUi*>(handle)->PortEvent(port, size, format, buffer);
}

int Idle(LV2UI_Handle handle) { return static_cast<ThudraUi*>(handle)->Idle(); }

const void* ExtensionData(const char* uri) {
  static const LV2UI_Idle_Interface kIdle = {Idle};
  if (std::strcmp(uri, LV2_UI__idleInterface) == 0) return &kIdle;
  return nullptr;
}

const LV2UI_Descriptor kDescriptor = {THUDRA_LV2_UI_URI, Instantiate, Cleanup, PortEvent, ExtensionData};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
