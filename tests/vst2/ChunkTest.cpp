#include <vector>

#include "tests/vst2/LoadedModule.h"

using Chunks = LoadedModule;

namespace {
std::vector<uint8_t> Bytes(void* data, intptr_t size) {
  auto* p = static_cast<uint8_t*>(data);
  return std::vector<uint8_t>(p, p + size);
}
}  // namespace

TEST_F(Chunks, ProgramChunkHasHeaderAndSeventeenValues) {
  void* data = nullptr;
  ASSERT_EQ(Call(vst2::effGetChunk, 1, 0, &data), 144);
  const auto bytes = Bytes(data, 144);
  const std::vector<uint8_t> header = {0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00};
  EXPECT_TRUE(std::equal(header.begin(), header.end(), bytes.begin()));
  double accent = 0;
  std::memcpy(&accent, bytes.data() + 8 + 8, 8);
  EXPECT_EQ(accent, 0.5);
  EXPECT_EQ(Call(vst2::effGetChunk, 1, 0, nullptr), 0);
}

TEST_F(Chunks, BankChunkIsTheHeaderAlone) {
  void* data = nullptr;
  EXPECT_EQ(Call(vst2::effGetChunk, 0, 0, &data), 8);
}

TEST_F(Chunks, RoundTripRestoresEveryValue) {
  effect->setParameter(effect, 2, 0.9f);
  effect->setParameter(effect, 0, 0.25f);
  void* data = nullptr;
  const intptr_t size = Call(vst2::effGetChunk, 1, 0, &data);
  const auto saved = Bytes(data, size);
  effect->setParameter(effect, 2, 0.1f);
  effect->setParameter(effect, 0, 0.75f);
  EXPECT_EQ(Call(vst2::effSetChunk, 1, size, const_cast<uint8_t*>(saved.data())), 1);
  EXPECT_FLOAT_EQ(effect->getParameter(effect, 2), 0.9f);
  EXPECT_FLOAT_EQ(effect->getParameter(effect, 0), 0.25f);
  // Handing back the very buffer we lent is fine too.
  EXPECT_EQ(Call(vst2::effGetChunk, 1, 0, &data), 144);
  EXPECT_EQ(Call(vst2::effSetChunk, 1, 144, data), 1);
  EXPECT_FLOAT_EQ(effect->getParameter(effect, 2), 0.9f);
}

TEST_F(Chunks, HeaderlessStateIsReadFromTheStart) {
  std::vector<double> values(17, 0.0);
  values[1] = 0.75;
  values[0] = 99;  // out of range: clamped
  EXPECT_EQ(Call(vst2::effSetChunk, 1, 136, values.data()), 1);
  EXPECT_FLOAT_EQ(effect->getParameter(effect, 1), 0.75f);
  EXPECT_FLOAT_EQ(effect->getParameter(effect, 0), 1.0f);
}

TEST_F(Chunks, OldVersionBankIsReadAsState) {
  std::vector<uint8_t> chunk(8 + 136, 0);
  const int32_t magic = 0x70666674, version = 0x0000ffff;
  std::memcpy(chunk.data(), &magic, 4);
  std::memcpy(chunk.data() + 4, &version, 4);
  const double decay = 0.125;
  std::memcpy(chunk.data() + 8 + 2 * 8, &decay, 8);
  EXPECT_EQ(Call(vst2::effSetChunk, 0, intptr_t(chunk.size()), chunk.data()), 1);
  EXPECT_FLOAT_EQ(effect->getParameter(effect, 2), 0.125f);
}

TEST_F(Chunks, ShortChunkReportsFailureAndKeepsTheRest) {
  for (int i = 0; i < 9; ++i) effect->setParameter(effect, i, 0.75f);
  std::vector<uint8_t> chunk(48, 0);
  const int32_t magic = 0x70666674, version = 0x00010000;
  std::memcpy(chunk.data(), &magic, 4);
  std::memcpy(chunk.data() + 4, &version, 4);
  for (int i = 0; i < 5; ++i) {
    const double v = i == 0 ? 6.0 : 0.25;
    std::memcpy(chunk.data() + 8 + 8 * i, &v, 8);
  }
  EXPECT_EQ(Call(vst2::effSetChunk, 1, 48, chunk.data()), 0);
  EXPECT_FLOAT_EQ(effect->getParameter(effect, 4), 0.25f);
  EXPECT_FLOAT_EQ(effect->getParameter(effect, 5), 0.75f);  // no data: unchanged
  EXPECT_FLOAT_EQ(effect->getParameter(effect, 8), 0.75f);
}

TEST_F(Chunks, HostileSizesAndPointers) {
  double value = 0.5;
  EXPECT_EQ(Call(vst2::effSetChunk, 1, 8, nullptr), 0);
  EXPECT_EQ(Call(vst2::effSetChunk, 1, -8, &value), 0);
  EXPECT_EQ(Call(vst2::effSetChunk, 1, intptr_t(1) << 40, &value), 0);
  EXPECT_EQ(Call(vst2::effSetChunk, 1, 0, &value), 0);  // no data at all
  EXPECT_FLOAT_EQ(effect->getParameter(effect, 1), 0.5f);
}

TEST_F(Chunks, ProgramsWithoutPresets) {
  Call(vst2::effSetProgram, 0, 3);
  EXPECT_EQ(Call(vst2::effGetProgram), 0);
  EXPECT_EQ(Text(vst2::effGetProgramName, 0), "");
  char name[64] = "x";
  EXPECT_EQ(Call(vst2::effGetProgramNameIndexed, 0, 0, name), 0);
  EXPECT_STREQ(name, "");
  Call(vst2::effSetProgramName, 0, 0, const_cast<char*>("renamed"));
  EXPECT_EQ(Text(vst2::effGetProgramName, 0), "");
}
