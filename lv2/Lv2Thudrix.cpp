#include "lv2/Lv2Thudrix.h"

#include <new>

#include "graphics/Editor.h"
#include "lv2/Lv2Ports.h"
#include "platform/Lock.h"

namespace {

PlainLock& CreationLock() {
  static PlainLock lock;
  return lock;
}

}  // namespace

Lv2Thudrix* Lv2Thudrix::Create() {
  LockHold hold(CreationLock());
  Lv2Thudrix* plug = new (std::nothrow) Lv2Thudrix();
  if (plug) plug->FillEmptyPresets(plug->PresetCount());
  return plug;
}

bool Lv2Thudrix::ApplyPortValue(int32_t index, float portValue) {
  LockHold hold(InstanceLock());
  PlugParam* param = ParamAt(index);
  double natural = 0.0;
  if (!param || !lv2port::NaturalFromPort(*param, portValue, natural)) return false;
  return ParamFromPort(index, natural);
}

void Lv2Thudrix::PressPad() {
  LockHold hold(InstanceLock());
  // Every click is a new press, even while the port still holds the last one.
  ApplyPortValue(kParamTrigger, 0.0f);
  ApplyPortValue(kParamTrigger, 1.0f);
  ParamAt(kParamTrigger)->SetNaturalClamped(0.0);
}

void Lv2Thudrix::ShowPortValue(int32_t index, float portValue) {
  LockHold hold(InstanceLock());
  PlugParam* param = ParamAt(index);
  double natural = 0.0;
  if (!param || !lv2port::NaturalFromPort(*param, portValue, natural)) return;
  param->SetNaturalClamped(natural);
  if (Editor* editor = GetEditor()) editor->ParamToControls(index, natural, false);
}
