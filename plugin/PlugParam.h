#pragma once
#include <cstdint>

#include "base/GrowBuf.h"

enum class ParamKind : int32_t { None = 0, Bool = 1, Enum = 3, Double = 4 };

struct DisplayText {
  int32_t value;
  char text[32];
};

// One parameter: its value in natural units, its range and shape, and how
// it is shown to the host. Hosts and controls speak normalized 0..1.
class PlugParam {
public:
  static constexpr int kTextCapacity = 32;

  PlugParam();
  PlugParam(const PlugParam&) = delete;
  PlugParam& operator=(const PlugParam&) = delete;

  void DefineDouble(const char* name, double defaultValue, double min, double max, double step, const char* label = "");
  void DefineBool(const char* name, const char* label = "");
  void DefineEnum(const char* name, int32_t count, const char* label = "");
  bool AddDisplayText(int32_t value, const char* text);

  double SetFromNormalized(double x);
  double NormalizedValue() const;
  double FromNormalized(double x) const;
  // Stores a natural value clamped to the range, without step quantising.
  void SetNaturalClamped(double v);
  double Clamp(double v) const;
  double Normalize(double natural) const;

  // Writes at most kTextCapacity bytes (including the terminator) to out.
  void DisplayTextForHost(double value, bool normalized, char* out, bool withDisplayText) const;
  const char* UnitLabelForHost() const;

  // The display text whose value is value truncated; null when there is none.
  const DisplayText* FindDisplayText(double value) const;
  // The display text equal to text; null when there is none.
  const DisplayText* FindDisplayTextByText(const char* text) const;
  const DisplayText* DisplayTextAt(int32_t i) const;

  ParamKind Kind() const { return kind_; }
  double Value() const { return value_; }
  void SetValue(double v) { value_ = v; }
  double Min() const { return min_; }
  double Max() const { return max_; }
  double Step() const { return step_; }
  double Shape() const { return shape_; }
  double Default() const { return default_; }
  int32_t Precision() const { return precision_; }
  const char* Name() const { return name_; }
  const char* Label() const { return label_; }
  bool NegateDisplay() const { return negateDisplay_; }
  void SetNegateDisplay(bool negate) { negateDisplay_ = negate; }
  void SetShape(double shape) { shape_ = shape > 0.0 ? shape : 1.0; }
  int32_t DisplayTextCount() const;

private:
  ParamKind kind_ = ParamKind::None;
  double value_ = 0.0;
  double min_ = 0.0;
  double max_ = 1.0;
  double step_ = 1.0;
  double shape_ = 1.0;
  double default_ = 0.0;
  int32_t precision_ = 0;
  char name_[kTextCapacity] = {};
  char label_[kTextCapacity] = {};
  // Cleared by DefineDouble and read by nothing: kept so the record has
  // every field of its documented layout.
  char thirdText_[kTextCapacity] = {};
  bool negateDisplay_ = false;
  GrowBuf displayTexts_{4096};
};
