#include "instrument/voice/ClickWave.h"

#include <algorithm>

ClickWave::ClickWave() : samples_(new float[kClickTableLength]) {
  std::copy(kClickTable, kClickTable + kClickTableLength, samples_.get());
}
