#pragma once
// What each fuzz target does with one input. Shared by the libFuzzer entry
// points (fuzz/*Fuzzer.cpp) and by the regression tests that replay the seed
// corpora and every input that once crashed (tests/validator/), so a fixed
// fault stays fixed in the ordinary build too.
//
// A plainly wrong result (non-finite or runaway audio, a parameter read back
// outside 0..1, a bitmap with an impossible size) is reported through
// FuzzFailure, which aborts: libFuzzer then keeps the input as a crash.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "instrument/Thudrix.h"
#include "presets/PresetFiles.h"
#include "raster/PngDecode.h"
#include "raster/RasterBitmap.h"
#include "raster/RasterFont.h"
#include "tests/instrument/StartedThudrix.h"

namespace fuzz {

[[noreturn]] inline void FuzzFailure(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

// A fresh instance for every input, so no input depends on the ones before
// (the voice's state, its tail above all, is not reset by any call). The
// preset root is an empty folder: every instance starts from the same sound.
class Subject {
public:
  Subject() {
    UseEmptyPresetRoot();
    plug_ = MakeStartedThudrix(&QuietHost, 44100.0f, 256);
  }
  Thudrix& Plug() { return *plug_; }
  vst2::VstEffect* Effect() { return plug_->Effect(); }
  intptr_t Call(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr, float opt = 0.0f) {
    return Effect()->dispatcher(Effect(), opcode, index, value, ptr, opt);
  }
  // Renders frames and checks the sound and every parameter read-back.
  // peakLimit: one hit at any settings stays below 8 (every knob at its
  // maximum peaks near 4.5); rolls of hits build up further, so event lists
  // are only held to finite output.
  void RenderAndCheck(int32_t frames, float peakLimit = 8.0f) {
    left_.assign(size_t(frames), 0.0f);
    right_.assign(size_t(frames), 0.0f);
    float* outs[] = {left_.data(), right_.data()};
    Effect()->processReplacing(Effect(), nullptr, outs, frames);
    for (int32_t s = 0; s < frames; ++s) {
      if (!std::isfinite(left_[size_t(s)]) || std::fabs(left_[size_t(s)]) >= peakLimit) FuzzFailure("output not sane");
      if (left_[size_t(s)] != right_[size_t(s)]) FuzzFailure("channels differ");
    }
    for (int32_t i = 0; i < kThudrixParamCount; ++i) {
      const float v = Effect()->getParameter(Effect(), i);
      if (!(v >= 0.0f && v <= 1.0f)) FuzzFailure("parameter read back outside 0..1");
      char text[64];
      std::memset(text, 0x55, sizeof text);
      Call(vst2::effGetParamDisplay, i, 0, text);
      if (!std::memchr(text, 0, 32)) FuzzFailure("display text not terminated within 32 bytes");
    }
  }

private:
  std::unique_ptr<Thudrix> plug_;
  std::vector<float> left_, right_;
};

// effSetChunk: the first byte picks program (odd) or bank (even) chunk, the
// rest is the chunk. Then the state is saved again and a hit is rendered.
inline void FuzzChunk(const uint8_t* data, size_t size) {
  Subject s;
  const int32_t index = size > 0 ? (data[0] & 1) : 1;
  std::vector<uint8_t> bytes(size > 0 ? data + 1 : data, data + size);
  s.Call(vst2::effSetChunk, index, intptr_t(bytes.size()), bytes.data());
  void* out = nullptr;
  const intptr_t saved = s.Call(vst2::effGetChunk, index, 0, &out);
  if (saved < 0 || (saved > 0 && !out)) FuzzFailure("chunk save after restore");
  s.Call(vst2::effSetChunk, index, saved, out);  // the host may hand our own buffer back
  s.Effect()->setParameter(s.Effect(), kParamTrigger, 1.0f);
  s.RenderAndCheck(512);
}

// A preset file: the bytes are written to a scratch file and loaded.
inline void FuzzPresetFile(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/thudra-fuzz-" + std::to_string(getpid()) + ".tvpreset";
  Subject s;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return;
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);
  if (!LoadPresetFile(s.Plug(), path)) FuzzFailure("a readable preset file was reported unreadable");
  s.Effect()->setParameter(s.Effect(), kParamTrigger, 1.0f);
  s.RenderAndCheck(512);
  std::remove(path.c_str());
}

// PNG bytes straight into the decoder; every decoded pixel is read. The
// editor's way in, header first and pixels on first use, must agree.
inline void FuzzPng(const uint8_t* data, size_t size) {
  if (size > size_t(INT32_MAX)) return;
  std::unique_ptr<MemBitmap> bitmap(DecodePngMemory(data, int32_t(size)));
  std::unique_ptr<PngImageOnDemand> onDemand(PngImageOnDemand::FromBytes(data, int32_t(size)));
  if (bitmap && !onDemand) FuzzFailure("a decodable image's header was refused");
  if (onDemand && (onDemand->PixelData() != nullptr) != bool(bitmap)) FuzzFailure("the two ways in disagree");
  if (!bitmap) return;
  if (onDemand->Width() != bitmap->Width() || onDemand->Height() != bitmap->Height()) {
    FuzzFailure("header size differs from the decoded size");
  }
  if (bitmap->Width() <= 0 || bitmap->Height() <= 0 || !bitmap->PixelData()) FuzzFailure("empty bitmap returned");
  if (bitmap->RowSpan() < bitmap->Width()) FuzzFailure("row span below width");
  uint32_t sum = 0;
  for (int32_t y = 0; y < bitmap->Height(); ++y)
    for (int32_t x = 0; x < bitmap->Width(); ++x) sum += bitmap->PixelData()[int64_t(y) * bitmap->RowSpan() + x];
  volatile uint32_t sink = sum;
  (void)sink;
}

// An event list: the first two bytes give the block size (1..4096), then
// records of 8 bytes each: kind, offset (4 bytes, any value), status and
// two data bytes. Kind bit 0 makes a sysex event whose dump is the rest of
// the input; kind 0xFF leaves a null entry. The list is delivered, then two
// blocks are rendered.
inline void FuzzEvents(const uint8_t* data, size_t size) {
  Subject s;
  if (size < 2) return;
  const int32_t block = 1 + int32_t((data[0] | (data[1] << 8)) % 4096);
  s.Call(vst2::effSetBlockSize, 0, block);
  data += 2;
  size -= 2;
  constexpr size_t kRecord = 8;
  const size_t count = std::min<size_t>(size / kRecord, 256);
  std::vector<vst2::VstMidiEvent> midi(count);
  std::vector<vst2::VstMidiSysexEvent> sysex(count);
  std::vector<uint8_t> listBytes(sizeof(vst2::VstEvents) + count * sizeof(void*));
  auto* list = reinterpret_cast<vst2::VstEvents*>(listBytes.data());
  list->numEvents = int32_t(count);
  vst2::VstEvent** entries = list->events;  // numEvents of them, not the declared two
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* r = data + i * kRecord;
    int32_t offset;
    std::memcpy(&offset, r + 1, 4);
    if (r[0] == 0xFF) {
      entries[i] = nullptr;
    } else if (r[0] & 1) {
      const size_t rest = size - (i + 1) * kRecord;
      sysex[i] = {};
      sysex[i].type = vst2::kVstSysExType;
      sysex[i].byteSize = sizeof(vst2::VstMidiSysexEvent);
      sysex[i].deltaFrames = offset;
      sysex[i].dumpBytes = int32_t(std::min<size_t>(rest, r[5]));
      sysex[i].sysexDump = reinterpret_cast<char*>(const_cast<uint8_t*>(r + kRecord));
      entries[i] = reinterpret_cast<vst2::VstEvent*>(&sysex[i]);
    } else {
      midi[i] = {};
      midi[i].type = (r[0] & 2) ? vst2::kVstMidiType : int32_t(r[0] >> 2);
      midi[i].byteSize = sizeof(vst2::VstMidiEvent);
      midi[i].deltaFrames = offset;
      midi[i].midiData[0] = char(r[5]);
      midi[i].midiData[1] = char(r[6]);
      midi[i].midiData[2] = char(r[7]);
      entries[i] = reinterpret_cast<vst2::VstEvent*>(&midi[i]);
    }
  }
  s.Call(vst2::effProcessEvents, 0, 0, list);
  const float finiteOnly = std::numeric_limits<float>::infinity();
  s.RenderAndCheck(block, finiteOnly);
  s.RenderAndCheck(1 + block / 3, finiteOnly);
}

// effString2Parameter: the same text for every parameter (and for indices
// just outside the range), then the sound and every read-back are checked.
inline void FuzzParamText(const uint8_t* data, size_t size) {
  Subject s;
  std::string text(reinterpret_cast<const char*>(data), size);  // cut at the first zero by the callee
  for (int32_t index = -1; index <= kThudrixParamCount; ++index) {
    s.Call(vst2::effString2Parameter, index, 0, text.data());
  }
  s.Effect()->setParameter(s.Effect(), kParamTrigger, 1.0f);
  s.RenderAndCheck(256);
}

// UTF-8 text through the glyph font: measured, then drawn into a small
// bitmap with flags from the first byte, partly outside its edges.
inline void FuzzFontText(const uint8_t* data, size_t size) {
  struct Fonts {
    std::unique_ptr<CachedFont> smooth, mono;
    MemBitmap bitmap{96, 32};
    Fonts() {
      for (int quality : {0, 1}) {
        FontRequest request;
        request.pixelHeight = 13;
        request.quality = quality;
        NativeFontHandle handle = CreateNativeFont(request);
        if (!handle) continue;
        auto font = std::make_unique<CachedFont>();
        font->AttachNativeFont(handle, FontOwnsHandle | FontPreferSystemText);
        (quality ? mono : smooth) = std::move(font);
      }
    }
  };
  static Fonts fonts;
  if (size == 0) return;
  const uint8_t selector = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  static const uint32_t kFlagChoices[] = {
      0, TextCenter, TextRight, TextVCenter, TextBottom, TextSingleLine, TextNoClip, TextNoPrefix, TextUseColorAlpha};
  uint32_t flags = 0;
  for (int bit = 0; bit < 8; ++bit)
    if (selector & (1u << bit)) flags |= kFlagChoices[bit + (bit == 7 && (selector & 1))];
  for (CachedFont* font : {fonts.smooth.get(), fonts.mono.get()}) {
    if (!font) continue;
    // Whole text, then an explicit length that may end inside a character.
    for (int32_t length : {-1, int32_t(text.size() / 2)}) {
      RasterRect measured{3, 4, 3, 4};
      font->RenderText(nullptr, text.c_str(), length, &measured, flags | TextMeasureOnly);
      if (measured.right < measured.left || measured.bottom < measured.top) FuzzFailure("measured rect inverted");
      RasterRect where{int32_t(selector % 7) - 3, int32_t(selector % 5) - 2, 90 + int32_t(selector % 11), 40};
      font->ChangeTextColor(0xFF000000u | selector * 0x010203u);
      font->ChangeBackMode(selector & 0x40 ? BackOpaque : BackTransparent);
      font->RenderText(&fonts.bitmap, text.c_str(), length, &where, flags);
    }
  }
}

}  // namespace fuzz
