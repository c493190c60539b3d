#pragma once
// The LV2 face of the instrument: its URIs and port layout, shared by the
// plug-in, its UI and the description generator so the three never disagree.
#include <cmath>
#include <cstdint>

#include "instrument/Thudrix.h"

namespace lv2port {

#define THUDRA_LV2_URI "urn:tarvolin:thudra"
#define THUDRA_LV2_UI_URI THUDRA_LV2_URI ":ui"
// The name of the sound last chosen, kept in the host's state and shown in
// the editor's strip.
#define THUDRA_LV2_PRESET_NAME_URI THUDRA_LV2_URI "#presetName"
// The editor's pad pressed: sent as a message, because a press written to
// the trigger port and released before the next block would never be seen.
#define THUDRA_LV2_PAD_URI THUDRA_LV2_URI "#padPressed"
// A control moved by a learned MIDI controller: the plug-in cannot write its
// own input ports, so it tells the editor, which writes the port for it.
#define THUDRA_LV2_CONTROL_MOVED_URI THUDRA_LV2_URI "#ControlMoved"

// Port 0 takes MIDI and the editor's messages, port 1 answers the editor,
// then the two audio outputs, then one control port per parameter the table
// gives a port, in parameter order.
constexpr uint32_t kControlIn = 0;
constexpr uint32_t kNotifyOut = 1;
constexpr uint32_t kAudioLeft = 2;
constexpr uint32_t kAudioRight = 3;
constexpr uint32_t kFirstParamPort = 4;
constexpr int32_t kPortedParams = kParamsWithPorts;
constexpr uint32_t kPortCount = kFirstParamPort + uint32_t(kPortedParams);

// The parameter a port carries, or -1.
constexpr int32_t ParamOfPort(uint32_t port) {
  return port >= kFirstParamPort && port < kPortCount ? int32_t(port - kFirstParamPort) : -1;
}

constexpr bool HasPort(int32_t param) { return param >= 0 && param < kPortedParams; }
constexpr uint32_t PortOfParam(int32_t param) { return kFirstParamPort + uint32_t(param); }
constexpr bool IsOutput(int32_t param) { return HasPort(param) && ParamRow(param).port == ParamPort::Output; }

// Whole-valued parameters (switches, the pitch in semitones) are ports that
// take whole numbers only.
inline bool WholeValued(const PlugParam& param) { return param.Kind() != ParamKind::Double || param.Step() >= 1.0; }

// A port value in the parameter's own units, held to its range; false for a
// value that is not a number.
inline bool NaturalFromPort(const PlugParam& param, float portValue, double& natural) {
  if (!std::isfinite(portValue)) return false;
  double v = portValue;
  if (WholeValued(param)) v = std::floor(v / param.Step() + 0.5) * param.Step();
  natural = param.Clamp(v);
  return true;
}

}  // namespace lv2port
