// The editor as an LV2 UI under Xvfb, loaded by suil as LV2 hosts load it:
// it opens inside the host's window, a knob drag reaches the control port,
// and the host's port changes and preset name show in the window.
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/patch/patch.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>
#include <suil/suil.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "lv2/Lv2Ports.h"
#include "tests/lv2/Lv2TestSupport.h"
#include "tests/x11/XTestSupport.h"

using namespace lv2port;
using namespace lv2_test;
using namespace x11_test;

namespace {

constexpr int kWidth = 592, kHeight = 442;
constexpr int kAccentKnobX = 270, kAccentKnobY = 152;  // centre of the second knob
constexpr int kDecayKnobLeft = 395, kDecayKnobTop = 127, kKnobSize = 50;
constexpr int kPadX = 519, kPadY = 139;
constexpr int kNextArrowX = 394, kNextArrowY = 26;
constexpr int kStripLeft = 207, kStripTop = 21, kStripRight = 383, kStripBottom = 37;

class UriMap {
public:
  LV2_URID Map(const char* uri) { return ids_.emplace(uri, LV2_URID(ids_.size() + 1)).first->second; }
  LV2_URID_Map* Feature() { return &map_; }

private:
  static LV2_URID MapFn(LV2_URID_Map_Handle handle, const char* uri) { return static_cast<UriMap*>(handle)->Map(uri); }
  std::map<std::string, LV2_URID> ids_;
  LV2_URID_Map map_{this, MapFn};
};

// What the UI sent to the host.
struct HostLog {
  std::vector<std::pair<uint32_t, float>> controls;
  std::vector<uint32_t> messagePorts;
  std::vector<std::vector<uint64_t>> messages;  // each atom, 8-byte aligned
  std::vector<std::pair<uint32_t, bool>> touches;

  static void Write(SuilController controller, uint32_t port, uint32_t size, uint32_t protocol, const void* buffer) {
    auto* log = static_cast<HostLog*>(controller);
    if (protocol == 0 && size == sizeof(float)) {
      log->controls.emplace_back(port, *static_cast<const float*>(buffer));
    } else {
      log->messagePorts.push_back(port);
      std::vector<uint64_t> copy((size + 7) / 8);
      std::memcpy(copy.data(), buffer, size);
      log->messages.push_back(std::move(copy));
    }
  }
  static uint32_t Index(SuilController, const char*) { return LV2UI_INVALID_PORT_INDEX; }
  static void Touch(SuilController controller, uint32_t port, bool grabbed) {
    static_cast<HostLog*>(controller)->touches.emplace_back(port, grabbed);
  }
};

int CountDiffering(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int left, int top, int right,
                   int bottom) {
  if (a.size() != b.size() || a.empty()) return -1;
  int differing = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) differing += a[size_t(y) * kWidth + x] != b[size_t(y) * kWidth + x];
  return differing;
}

class Lv2Ui : public ::testing::Test {
protected:
  // The factory sounds in the user's preset folder, before any instance
  // looks for them.
  static void SetUpTestSuite() {
    namespace fs = std::filesystem;
    const fs::path folder =
        fs::path(getenv("HOME")) / "Documents" / "Tarvolin Instruments" / "Tarvolin Thudra Presets" / "Factory Presets";
    fs::create_directories(folder);
    for (const auto& entry : fs::directory_iterator(kFactoryPresets))
      fs::copy_file(entry.path(), folder / entry.path().filename(), fs::copy_options::overwrite_existing);
  }

  // The value of the UI's last message when it was a patch:Set of property.
  const LV2_Atom* LastSet(const char* property) {
    if (log.messages.empty()) return nullptr;
    const auto* object = reinterpret_cast<const LV2_Atom_Object*>(log.messages.back().data());
    if (object->body.otype != uris.Map(LV2_PATCH__Set)) return nullptr;
    const LV2_Atom* key = nullptr;
    const LV2_Atom* value = nullptr;
    lv2_atom_object_get(object, uris.Map(LV2_PATCH__property), &key, uris.Map(LV2_PATCH__value), &value, 0);
    if (!key || reinterpret_cast<const LV2_Atom_URID*>(key)->body != uris.Map(property)) return nullptr;
    return value;
  }

  std::optional<std::string> LastNameSent() {
    const LV2_Atom* value = LastSet(THUDRA_LV2_PRESET_NAME_URI);
    if (!value || value->type != uris.Map(LV2_ATOM__String)) return std::nullopt;
    return std::string(static_cast<const char*>(LV2_ATOM_BODY_CONST(value)));
  }

  void SetUp() override {
    if (!TestXServer::Shared().Running()) GTEST_SKIP() << "Xvfb is not available";
    display = std::make_unique<TestDisplay>();
    parent = display->CreateParent(0, 0, kWidth + 40, kHeight + 40);
    host = suil_host_new(HostLog::Write, HostLog::Index, nullptr, nullptr);
    suil_host_set_touch_func(host, HostLog::Touch);
    LV2_Feature map{LV2_URID__map, uris.Feature()};
    LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(uintptr_t(parent))};
    LV2_Feature idleFeature{LV2_UI__idleInterface, nullptr};
    const LV2_Feature* features[] = {&map, &parentFeature, &idleFeature, nullptr};
    const std::string binary = kBundle + "/thudra.so";
    ui = suil_instance_new(host, &log, LV2_UI__X11UI, THUDRA_LV2_URI, THUDRA_LV2_UI_URI, LV2_UI__X11UI, kBundle.c_str(),
                           binary.c_str(), features);
    ASSERT_NE(ui, nullptr);
    idle = static_cast<const LV2UI_Idle_Interface*>(suil_instance_extension_data(ui, LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);
    editor = Window(uintptr_t(suil_instance_get_widget(ui)));
    // The host tells every port's value when the UI opens.
    for (int32_t i = 0; i < kPortedParams; ++i) PortEvent(i, i == kParamPitch || i >= kParamMidiTuneFlag ? 0.0f : 0.5f);
    PumpFor([this] { Idle(); }, std::chrono::milliseconds(150));
  }

  void TearDown() override {
    if (ui) suil_instance_free(ui);
    if (host) suil_host_free(host);
  }

  void Idle() { idle->idle(suil_instance_get_handle(ui)); }
  void PortEvent(int32_t param, float value) {
    suil_instance_port_event(ui, PortOfParam(param), sizeof value, 0, &value);
  }
  std::vector<uint32_t> Picture() { return display->Capture(editor, kWidth, kHeight); }

  // The picture once the editor has drawn what it was told (two ticks).
  std::vector<uint32_t> SettledPicture() {
    PumpFor([this] { Idle(); }, std::chrono::milliseconds(120));
    return Picture();
  }

  UriMap uris;
  HostLog log;
  std::unique_ptr<TestDisplay> display;
  Window parent = 0;
  Window editor = 0;
  SuilHost* host = nullptr;
  SuilInstance* ui = nullptr;
  const LV2UI_Idle_Interface* idle = nullptr;
};

}  // namespace

TEST_F(Lv2Ui, OpensInsideTheHostWindowAndAsksForThePresetName) {
  Window root = 0, windowParent = 0, *children = nullptr;
  unsigned count = 0;
  ASSERT_TRUE(XQueryTree(display->Get(), editor, &root, &windowParent, &children, &count));
  if (children) XFree(children);
  EXPECT_EQ(windowParent, parent);
  XWindowAttributes attributes{};
  ASSERT_TRUE(XGetWindowAttributes(display->Get(), editor, &attributes));
  EXPECT_EQ(attributes.width, kWidth);
  EXPECT_EQ(attributes.height, kHeight);
  EXPECT_EQ(attributes.map_state, IsViewable);
  ASSERT_FALSE(log.messagePorts.empty());
  EXPECT_EQ(log.messagePorts.front(), kControlIn);
  // The host's own values are not sent back to it.
  EXPECT_TRUE(log.controls.empty());
}

TEST_F(Lv2Ui, KnobDragReachesTheControlPortAsOneGesture) {
  display->MoveTo(kAccentKnobX, kAccentKnobY);
  display->Button(Button1, true);
  Idle();
  for (int y = kAccentKnobY; y >= kAccentKnobY - 40; y -= 10) {
    display->MoveTo(kAccentKnobX, y);
    Idle();
  }
  display->Button(Button1, false);
  const uint32_t accent = PortOfParam(kParamAccent);
  ASSERT_TRUE(PumpUntil([this] { Idle(); }, [&] { return !log.touches.empty() && !log.touches.back().second; }));
  ASSERT_FALSE(log.controls.empty());
  for (const auto& [port, value] : log.controls) EXPECT_EQ(port, accent);
  EXPECT_NEAR(log.controls.back().second, 0.5f + 40.0f / 50.0f / 4.0f, 1e-5);
  EXPECT_EQ(log.touches.front(), std::make_pair(accent, true));
  EXPECT_EQ(log.touches.back(), std::make_pair(accent, false));
}

TEST_F(Lv2Ui, HostPortChangeMovesTheKnob) {
  const auto before = SettledPicture();
  PortEvent(kParamDecay, 0.95f);
  const auto after = SettledPicture();
  EXPECT_GT(CountDiffering(before, after, kDecayKnobLeft, kDecayKnobTop, kDecayKnobLeft + kKnobSize,
                           kDecayKnobTop + kKnobSize),
            20);
  // Nothing but the knob moved, and nothing went back to the host.
  EXPECT_EQ(CountDiffering(before, after, 0, 0, kWidth, kDecayKnobTop), 0);
  EXPECT_TRUE(log.controls.empty());
}

TEST_F(Lv2Ui, PresetNameFromThePluginShowsInTheStrip) {
  const auto before = SettledPicture();
  LV2_Atom_Forge forge;
  lv2_atom_forge_init(&forge, uris.Feature());
  alignas(LV2_Atom) uint8_t buffer[256];
  lv2_atom_forge_set_buffer(&forge, buffer, sizeof buffer);
  LV2_Atom_Forge_Frame frame;
  lv2_atom_forge_object(&forge, &frame, 0, uris.Map(LV2_PATCH__Set));
  lv2_atom_forge_key(&forge, uris.Map(LV2_PATCH__property));
  lv2_atom_forge_urid(&forge, uris.Map(THUDRA_LV2_PRESET_NAME_URI));
  lv2_atom_forge_key(&forge, uris.Map(LV2_PATCH__value));
  lv2_atom_forge_string(&forge, "02 Deep Boom", 12);
  lv2_atom_forge_pop(&forge, &frame);
  const auto* atom = reinterpret_cast<const LV2_Atom*>(buffer);
  suil_instance_port_event(ui, kNotifyOut, uint32_t(lv2_atom_total_size(atom)), uris.Map(LV2_ATOM__eventTransfer),
                           atom);
  const auto after = SettledPicture();
  EXPECT_GT(CountDiffering(before, after, kStripLeft, kStripTop, kStripRight, kStripBottom), 20);
  // A name the plug-in told is not sent back to it.
  EXPECT_EQ(log.messagePorts.size(), 1u);
}

// A sound chosen with the editor's arrow reaches the plug-in as its port
// values and its name.
TEST_F(Lv2Ui, SoundChosenInTheEditorGoesToThePorts) {
  display->Click(kNextArrowX, kNextArrowY);
  ASSERT_TRUE(PumpUntil([this] { Idle(); }, [&] { return LastNameSent().has_value(); }));
  EXPECT_EQ(LastNameSent(), std::optional<std::string>("02 Deep Boom"));
  EXPECT_EQ(log.messagePorts.back(), kControlIn);
  std::map<uint32_t, float> written;
  for (const auto& [port, value] : log.controls) written[port] = value;
  for (int32_t i = 0; i <= kParamMidiAccentFlag; ++i) EXPECT_TRUE(written.count(PortOfParam(i))) << "parameter " << i;
  EXPECT_FALSE(written.count(PortOfParam(kParamLed)));
  // The sound file's own values, as the port's units have them.
  EXPECT_EQ(written[PortOfParam(kParamPitch)], -5.0f);
  EXPECT_EQ(written[PortOfParam(kParamAccent)], 0.9f);
}

// A press of the pad is a message, never a port value the host could lose.
TEST_F(Lv2Ui, PadPressIsSentAsAMessage) {
  for (int press = 0; press < 2; ++press) {
    const size_t before = log.messages.size();
    display->Click(kPadX, kPadY);
    ASSERT_TRUE(PumpUntil([this] { Idle(); }, [&] { return log.messages.size() > before; })) << press;
    const LV2_Atom* value = LastSet(THUDRA_LV2_PAD_URI);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->type, uris.Map(LV2_ATOM__Bool));
    EXPECT_EQ(log.messagePorts.back(), kControlIn);
  }
  for (const auto& [port, value] : log.controls) EXPECT_NE(port, PortOfParam(kParamTrigger));
}

// A control a learned controller moved in the plug-in: the knob follows and
// the port is written, so the host keeps the value.
TEST_F(Lv2Ui, ControlMovedInThePluginIsWrittenToItsPort) {
  const auto before = SettledPicture();
  LV2_Atom_Forge forge;
  lv2_atom_forge_init(&forge, uris.Feature());
  alignas(LV2_Atom) uint8_t buffer[256];
  lv2_atom_forge_set_buffer(&forge, buffer, sizeof buffer);
  LV2_Atom_Forge_Frame frame;
  lv2_atom_forge_object(&forge, &frame, 0, uris.Map(THUDRA_LV2_CONTROL_MOVED_URI));
  lv2_atom_forge_key(&forge, uris.Map(LV2_CORE__index));
  lv2_atom_forge_int(&forge, int32_t(PortOfParam(kParamDecay)));
  lv2_atom_forge_key(&forge, uris.Map("http://www.w3.org/1999/02/22-rdf-syntax-ns#value"));
  lv2_atom_forge_float(&forge, 0.95f);
  lv2_atom_forge_pop(&forge, &frame);
  const auto* atom = reinterpret_cast<const LV2_Atom*>(buffer);
  suil_instance_port_event(ui, kNotifyOut, uint32_t(lv2_atom_total_size(atom)), uris.Map(LV2_ATOM__eventTransfer),
                           atom);
  EXPECT_EQ(log.controls, (std::vector<std::pair<uint32_t, float>>{{PortOfParam(kParamDecay), 0.95f}}));
  const auto after = SettledPicture();
  EXPECT_GT(CountDiffering(before, after, kDecayKnobLeft, kDecayKnobTop, kDecayKnobLeft + kKnobSize,
                           kDecayKnobTop + kKnobSize),
            20);
}
