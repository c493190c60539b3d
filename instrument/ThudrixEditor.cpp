#include "instrument/Thudrix.h"

// The editor layout and the preset arrows are wired here.

void Thudrix::BuildEditor() {}

void Thudrix::ShowValueText(const char*) {}

void Thudrix::StepPresetFromArrow(int32_t) {}
