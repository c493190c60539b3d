#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/ModuleResources.h"
#include "raster/PngDecode.h"
#include "raster/RasterOps.h"
#include "tests/raster/PngTestEncoder.h"

namespace {

constexpr int32_t kEditorWidth = 592;
constexpr int32_t kEditorHeight = 442;

void FillPattern(RasterBitmap& bitmap) {
  uint32_t state = 1;
  Pixel32* pixels = bitmap.PixelData();
  const int64_t count = int64_t(bitmap.RowSpan()) * bitmap.Height();
  for (int64_t i = 0; i < count; ++i) pixels[i] = state = state * 1664525u + 1013904223u;
}

void SetFramePixels(benchmark::State& state) {
  const int64_t pixels = int64_t(kEditorWidth) * kEditorHeight;
  state.SetBytesProcessed(int64_t(state.iterations()) * pixels * 4);
  state.counters["ns_per_pixel"] =
      benchmark::Counter(double(pixels), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The reference for the weight-1.0 copy: the same bytes through memcpy.
void BM_MemcpyFrame(benchmark::State& state) {
  MemBitmap source(kEditorWidth, kEditorHeight), dest(kEditorWidth, kEditorHeight);
  FillPattern(source);
  const size_t bytes = size_t(source.RowSpan()) * kEditorHeight * 4;
  for (auto _ : state) {
    std::memcpy(dest.PixelData(), source.PixelData(), bytes);
    benchmark::ClobberMemory();
  }
  SetFramePixels(state);
}
BENCHMARK(BM_MemcpyFrame);

void BM_BlitFrame(benchmark::State& state) {
  MemBitmap source(kEditorWidth, kEditorHeight), dest(kEditorWidth, kEditorHeight);
  FillPattern(source);
  FillPattern(dest);
  const float weight = float(state.range(1)) / 256.0f;
  const int32_t mode = int32_t(state.range(0));
  for (auto _ : state) {
    RasterBlit(&dest, &source, 0, 0, nullptr, weight, mode);
    benchmark::ClobberMemory();
  }
  SetFramePixels(state);
}
// {mode, weight x 256}: plain copy, halving, source-alpha copy at full and
// partial weight, add.
BENCHMARK(BM_BlitFrame)
    ->Args({0, 256})
    ->Args({0, 128})
    ->Args({0x10000, 256})
    ->Args({0x10000, 200})
    ->Args({0x10001, 256});

// The editor's own workload: the knob strip (mostly clear or opaque pixels)
// drawn with source alpha onto the background.
void BM_BlitKnobStrip(benchmark::State& state) {
  std::unique_ptr<MemBitmap> knob(LoadPngResource(nullptr, 101));
  if (!knob) {
    state.SkipWithError("the knob strip was not built into the module");
    return;
  }
  MemBitmap dest(knob->Width(), knob->Height());
  FillPattern(dest);
  for (auto _ : state) {
    RasterBlit(&dest, knob.get(), 0, 0, nullptr, 1.0f, UseSourceAlpha);
    benchmark::ClobberMemory();
  }
  state.counters["ns_per_pixel"] =
      benchmark::Counter(double(knob->Width()) * knob->Height(),
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BlitKnobStrip);

void BM_FillFrame(benchmark::State& state) {
  MemBitmap dest(kEditorWidth, kEditorHeight);
  const float weight = float(state.range(0)) / 256.0f;
  for (auto _ : state) {
    RasterFill(&dest, 0, 0, kEditorWidth, kEditorHeight, 0xFF336699, weight, BlendCopy);
    benchmark::ClobberMemory();
  }
  SetFramePixels(state);
}
BENCHMARK(BM_FillFrame)->Arg(256)->Arg(64)->Arg(100);

void BM_DecodeEditorImages(benchmark::State& state) {
  int32_t found = 0;
  for (int id = 101; id <= 109; ++id) {
    const uint8_t* data = nullptr;
    int32_t size = 0;
    if (FindModuleResource(id, &data, &size) && size > 0) ++found;
  }
  if (found == 0) {
    state.SkipWithError("no editor images were built into the module");
    return;
  }
  for (auto _ : state) {
    for (int id = 101; id <= 109; ++id) delete LoadPngResource(nullptr, id);
  }
  state.counters["images"] = found;
}
BENCHMARK(BM_DecodeEditorImages)->Unit(benchmark::kMillisecond);

// An editor-sized RGBA image of noise: the worst case for the inflater.
void BM_DecodeNoiseFrame(benchmark::State& state) {
  PngLayout layout;
  layout.width = kEditorWidth;
  layout.height = kEditorHeight;
  const std::vector<uint8_t> png = EncodePng(layout, NoiseRows(kEditorWidth, kEditorHeight));
  for (auto _ : state) delete DecodePngMemory(png.data(), int32_t(png.size()));
}
BENCHMARK(BM_DecodeNoiseFrame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
