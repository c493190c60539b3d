#pragma once
// The instrument as the LV2 plug-in and its UI drive it: the same Thudrix
// the VST2 module uses, made without a VST2 host, whose own changes (a knob
// dragged, a preset loaded from the browser) go to a listener instead.
#include <cstdint>

#include "instrument/Thudrix.h"

class ParamListener {
public:
  virtual ~ParamListener() = default;
  virtual void EditBegun(int32_t index) = 0;
  virtual void Changed(int32_t index, double normalized) = 0;
  virtual void EditEnded(int32_t index) = 0;
};

class Lv2Thudrix final : public Thudrix {
public:
  // Under the creation lock: process-wide tables are first made here.
  static Lv2Thudrix* Create();

  void SetListener(ParamListener* listener) { listener_ = listener; }

  void HostEditBegin(int32_t index) override {
    if (listener_) listener_->EditBegun(index);
  }
  void HostAutomate(int32_t index, double normalized) override {
    if (listener_) listener_->Changed(index, normalized);
  }
  void HostEditEnd(int32_t index) override {
    if (listener_) listener_->EditEnded(index);
  }

  // Sets a parameter from a port value and recomputes what depends on it;
  // false (and nothing changed) for a value that is not a number.
  bool ApplyPortValue(int32_t index, float portValue);
  // A press of the pad: one hit, and the pad reads released again.
  void PressPad();
  // Shows a port value in the editor only, as a host's change is shown.
  void ShowPortValue(int32_t index, float portValue);

private:
  Lv2Thudrix() : Thudrix(nullptr) {}

  ParamListener* listener_ = nullptr;
};
