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
    static std::unique_ptr<WavWriter> create(const std::string& path, int channels,
                                             int sampleRate, std::string& error);
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // One block: `channels` holds one array per channel, `frames` samples each.
    bool write(std::span<const std::vector<double>> channels, int frames);
    // Finishes the header; false (with `error`) when the data did not all land.
    bool close(std::string& error);

private:
    WavWriter(sf_private_tag* file, std::string path, int channels);

    sf_private_tag* file_;
    std::string path_;
    int channels_;
    bool writeFailed_ = false;
    std::vector<float> interleaved_;
};

}  // namespace thudra::host
