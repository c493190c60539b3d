#pragma once

#include <cstdint>
#include <memory>

inline constexpr int kClickTableLength = 1000;

// The recorded click, 1000 samples at 96 kHz (ClickTable.cpp, generated).
extern const float kClickTable[kClickTableLength];

// Plays the click table from the start at every hit, resampled to the host
// rate by linear interpolation. Owns its own copy of the table.
class ClickWave {
public:
  ClickWave();

  void SetSampleRate(double sampleRate) {
    sampleRate_ = sampleRate;
    finished_ = false;
  }
  void Restart() {
    position_ = 0;
    finished_ = false;
  }

  float Next() {
    // Once played out the position stays put, so the answer stays 0.
    if (finished_) return 0.0f;
    const float a = static_cast<float>(position_ * tableRate_ / sampleRate_);
    // Also catches the NaN and infinity of a missing sample rate.
    if (!(a < static_cast<float>(kClickTableLength - 1))) {
      finished_ = true;
      return 0.0f;
    }
    const int32_t i = static_cast<int32_t>(a);
    ++position_;
    return (samples_[i + 1] - samples_[i]) * (a - static_cast<float>(i)) + samples_[i];
  }

  double TableRate() const { return tableRate_; }
  double SampleRate() const { return sampleRate_; }
  int32_t Position() const { return position_; }
  // True once played out: Next gives 0 until the next Restart.
  bool Finished() const { return finished_; }
  // Played out, or the next Next finds it so (a new sample rate clears
  // the flag even where the position is past the end).
  bool AtEnd() const {
    return finished_ ||
           !(static_cast<float>(position_ * tableRate_ / sampleRate_) < static_cast<float>(kClickTableLength - 1));
  }
  const float* Samples() const { return samples_.get(); }

private:
  double tableRate_ = 96000.0;
  double sampleRate_ = 0.0;
  int32_t position_ = 0;
  std::unique_ptr<float[]> samples_;
  bool finished_ = false;
};
