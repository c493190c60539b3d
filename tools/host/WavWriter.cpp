#include "tools/host/WavWriter.h"

#include <sndfile.h>

#include <utility>

namespace thudra::host {

std::unique_ptr<WavWriter> WavWriter::create(const std::string& path, int channels, int sampleRate,
                                             std::string& error) {
  SF_INFO info{};
  info.channels = channels;
  info.samplerate = sampleRate;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) {
    error = "cannot create '" + path + "': " + sf_strerror(nullptr);
    return nullptr;
  }
  // The peak chunk carries the time of writing: without it the same
  // render always gives the same file.
  sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
  return std::unique_ptr<WavWriter>(new WavWriter(file, path, channels));
}

WavWriter::WavWriter(SNDFILE* file, std::string path, int channels)
    : file_(file), path_(std::move(path)), channels_(channels) {}

WavWriter::~WavWriter() {
  if (file_) sf_close(file_);
}

bool WavWriter::write(std::span<const std::vector<double>> channels, int frames) {
  if (!blockFits(channels, frames)) {
    writeFailed_ = true;
    return false;
  }
  if (frames == 0) return !writeFailed_;
  interleaved_.resize(static_cast<size_t>(frames) * channels_);
  for (int c = 0; c < channels_; ++c)
    for (int i = 0; i < frames; ++i)
      interleaved_[static_cast<size_t>(i) * channels_ + c] = static_cast<float>(channels[c][i]);
  if (sf_writef_float(file_, interleaved_.data(), frames) != frames) writeFailed_ = true;
  return !writeFailed_;
}

bool WavWriter::close(std::string& error) {
  if (!file_) {
    error = "'" + path_ + "' is already closed";
    return false;
  }
  const int closeResult = sf_close(file_);
  file_ = nullptr;
  if (writeFailed_ || closeResult != 0) {
    error = "writing '" + path_ + "' failed";
    return false;
  }
  return true;
}

}  // namespace thudra::host
