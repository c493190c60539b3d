// 32-bit float WAV output through libsndfile.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

struct sf_private_tag;

namespace thudra::host {

class WavWriter {
public:
  // Null with `error` set when the file cannot be created.
  static std::unique_ptr<WavWriter> create(const std::string& path, int channels, int sampleRate, std::string& error);
  ~WavWriter();
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  // One block: `channels` holds one array per channel, `frames` samples each.
  bool write(std::span<const std::vector<double>> channels, int frames);
  // Finishes the header; false (with `error`) when the data did not all land.
  bool close(std::string& error);

private:
  WavWriter(sf_private_tag* file, std::string path, int channels);
  // True when channels has one array per channel, each at least frames long.
  bool blockFits(std::span<const std::vector<double>> channels, int frames) const {
    bool fits = file_ && frames >= 0 && static_cast<int>(channels.size()) == channels_;
    for (size_t c = 0; fits && c < channels.size(); ++c) fits = channels[c].size() >= static_cast<size_t>(frames);
    return fits;
  }

  sf_private_tag* file_;
  std::string path_;
  int channels_;
  bool writeFailed_ = false;
  std::vector<float> interleaved_;
};

}  // namespace thudra::host
