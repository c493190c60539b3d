// The parameter table against what a host reads from the built module.
#include <cstdlib>

#include "instrument/ThudrixParams.h"
#include "tests/vst2/LoadedModule.h"

namespace {

class ParamTable : public LoadedModule {
protected:
  // The module's text for normalized x, read without setting anything.
  std::string TextAt(int32_t index, float x) {
    char text[64] = {};
    Call(vst2::effVendorSpecific, 7, index, text, x);
    return text;
  }
  static double Number(const std::string& text) { return std::strtod(text.c_str(), nullptr); }
  void SendController(int32_t controller, uint8_t value) { SendNote(0, uint8_t(controller), value, 0xB0); }
};

}  // namespace

TEST_F(ParamTable, HostSeesEveryRowAsWritten) {
  ASSERT_EQ(effect->numParams, kThudrixParamCount);
  for (const ThudrixParamRow& row : kThudrixParams) {
    SCOPED_TRACE(row.index);
    EXPECT_EQ(Text(vst2::effGetParamName, row.index), row.name);
    const bool number = row.values == ParamValues::Number;
    EXPECT_EQ(Call(vst2::effVendorSpecific, 8, row.index), number ? 0 : 0xbeef);
    if (row.offText) {
      EXPECT_EQ(TextAt(row.index, 0.0f), row.offText);
      EXPECT_EQ(TextAt(row.index, 1.0f), row.onText);
      EXPECT_EQ(Text(vst2::effGetParamLabel, row.index), "");  // the text stands for the unit
    } else {
      EXPECT_EQ(Number(TextAt(row.index, 0.0f)), row.min);
      EXPECT_EQ(Number(TextAt(row.index, 1.0f)), row.max);
      EXPECT_EQ(Text(vst2::effGetParamLabel, row.index), row.label);
    }
    const double defaultNormalized = (row.defaultValue - row.min) / (row.max - row.min);
    EXPECT_FLOAT_EQ(effect->getParameter(effect, row.index), float(defaultNormalized));
  }
}

// A step the table gives shows in the host's text: whole numbers for a
// step of 1, four decimals for the knobs' 0.0001.
TEST_F(ParamTable, StepsShowInTheHostsText) {
  for (const ThudrixParamRow& row : kThudrixParams) {
    if (row.values != ParamValues::Number) continue;
    SCOPED_TRACE(row.index);
    const std::string text = TextAt(row.index, 0.5f);
    const size_t point = text.find('.');
    const size_t decimals = point == std::string::npos ? 0 : text.size() - point - 1;
    EXPECT_EQ(decimals, row.step >= 1.0 ? 0u : 4u) << text;
  }
}

TEST_F(ParamTable, OnlyLearnableRowsFollowAController) {
  OpenAndStart();
  int32_t controller = 20;
  for (const ThudrixParamRow& row : kThudrixParams) {
    if (row.press || row.index == kParamLearn || row.index == kParamClear) continue;
    SCOPED_TRACE(row.index);
    effect->setParameter(effect, kParamLearn, 1.0f);
    effect->setParameter(effect, row.index, effect->getParameter(effect, row.index));  // the target
    SendController(controller, 0);
    effect->setParameter(effect, kParamLearn, 0.0f);
    const float before = effect->getParameter(effect, row.index);
    SendController(controller, 127);
    const bool followed = effect->getParameter(effect, row.index) != before;
    EXPECT_EQ(followed, row.midiLearn);
    ++controller;
  }
}
