// 32-bit float WAV output without libsndfile, which Debian does not build
// for mingw: a RIFF header, the interleaved samples, and the sizes patched
// in when the file is closed.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <utility>

#include "platform/win32/Utf.h"
#include "tools/host/WavWriter.h"

// The header only declares the open file's type; this is Windows' own.
struct sf_private_tag {
  FILE* file = nullptr;
  int channels = 0;
  int sampleRate = 0;
  uint64_t frames = 0;
};

namespace thudra::host {
namespace {

constexpr uint32_t kHeaderBytes = 58;  // RIFF, fmt (extensible size 18), fact, data
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - kHeaderBytes;

void put16(uint8_t*& at, uint16_t v) {
  *at++ = uint8_t(v);
  *at++ = uint8_t(v >> 8);
}

void put32(uint8_t*& at, uint32_t v) {
  for (int i = 0; i < 4; ++i) *at++ = uint8_t(v >> (8 * i));
}

void putTag(uint8_t*& at, const char* tag) {
  for (int i = 0; i < 4; ++i) *at++ = uint8_t(tag[i]);
}

bool writeHeader(FILE* file, int channels, int sampleRate, uint64_t frames) {
  const uint32_t blockAlign = uint32_t(channels) * 4;
  const uint64_t dataBytes = frames * blockAlign;
  uint8_t header[kHeaderBytes];
  uint8_t* at = header;
  putTag(at, "RIFF");
  put32(at, uint32_t(kHeaderBytes - 8 + dataBytes));
  putTag(at, "WAVE");
  putTag(at, "fmt ");
  put32(at, 18);
  put16(at, 3);  // IEEE float
  put16(at, uint16_t(channels));
  put32(at, uint32_t(sampleRate));
  put32(at, uint32_t(sampleRate) * blockAlign);
  put16(at, uint16_t(blockAlign));
  put16(at, 32);
  put16(at, 0);
  putTag(at, "fact");
  put32(at, 4);
  put32(at, uint32_t(frames));
  putTag(at, "data");
  put32(at, uint32_t(dataBytes));
  return std::fseek(file, 0, SEEK_SET) == 0 && std::fwrite(header, 1, sizeof header, file) == sizeof header;
}

}  // namespace

std::unique_ptr<WavWriter> WavWriter::create(const std::string& path, int channels, int sampleRate,
                                             std::string& error) {
  if (channels < 1 || channels > 256 || sampleRate < 1) {
    error = "cannot create '" + path + "': unsupported channel count or sample rate";
    return nullptr;
  }
  const std::wstring widePath = platform::WideFromUtf8(path);
  FILE* file = widePath.empty() ? nullptr : _wfopen(widePath.c_str(), L"wb");
  if (!file) {
    error = "cannot create '" + path + "': cannot open the file for writing";
    return nullptr;
  }
  auto* state = new sf_private_tag;
  state->file = file;
  state->channels = channels;
  state->sampleRate = sampleRate;
  // The sizes are patched in at close.
  if (!writeHeader(file, channels, sampleRate, 0)) {
    std::fclose(file);
    delete state;
    error = "cannot create '" + path + "': writing the header failed";
    return nullptr;
  }
  auto writer = std::unique_ptr<WavWriter>(new WavWriter(state, path, channels));
  return writer;
}

WavWriter::WavWriter(sf_private_tag* file, std::string path, int channels)
    : file_(file), path_(std::move(path)), channels_(channels) {}

WavWriter::~WavWriter() {
  if (file_) {
    std::fclose(file_->file);
    delete file_;
  }
}

bool WavWriter::write(std::span<const std::vector<double>> channels, int frames) {
  if (!blockFits(channels, frames)) {
    writeFailed_ = true;
    return false;
  }
  if (frames == 0) return !writeFailed_;
  if ((file_->frames + uint64_t(frames)) * uint64_t(channels_) * 4 > kMaxDataBytes) {
    writeFailed_ = true;
    return false;
  }
  interleaved_.resize(static_cast<size_t>(frames) * channels_);
  for (int c = 0; c < channels_; ++c)
    for (int i = 0; i < frames; ++i)
      interleaved_[static_cast<size_t>(i) * channels_ + c] = static_cast<float>(channels[c][i]);
  // Little-endian samples, as the machine holds them.
  if (std::fwrite(interleaved_.data(), sizeof(float), interleaved_.size(), file_->file) != interleaved_.size())
    writeFailed_ = true;
  else
    file_->frames += uint64_t(frames);
  return !writeFailed_;
}

bool WavWriter::close(std::string& error) {
  if (!file_) {
    error = "'" + path_ + "' is already closed";
    return false;
  }
  bool ok = writeHeader(file_->file, file_->channels, file_->sampleRate, file_->frames);
  ok = (std::fclose(file_->file) == 0) && ok;
  delete file_;
  file_ = nullptr;
  if (writeFailed_ || !ok) {
    error = "writing '" + path_ + "' failed";
    return false;
  }
  return true;
}

}  // namespace thudra::host
