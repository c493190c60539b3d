#include "plugin/PlugParam.h"

#include "base/TextCopy.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

void CopyText(char* out, const char* text) { CopyTextBounded(out, PlugParam::kTextCapacity, text); }

// Truncation toward zero that never overflows int32 on absurd values.
int32_t TruncateToInt(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return int32_t(v);
}

}  // namespace

PlugParam::PlugParam() = default;

void PlugParam::DefineDouble(const char* name, double defaultValue, double min, double max, double step,
                             const char* label) {
  if (kind_ == ParamKind::None) kind_ = ParamKind::Double;
  CopyText(name_, name);
  CopyText(label_, label);
  thirdText_[0] = 0;
  min_ = min;
  value_ = defaultValue;
  default_ = defaultValue;
  step_ = step;
  max_ = max > min + step ? max : min + step;

  precision_ = 0;
  double s = step;
  while (std::isfinite(s) && s != std::floor(s) && precision_ < 6) {
    ++precision_;
    s *= 10.0;
  }
}

void PlugParam::DefineBool(const char* name, const char* label) {
  if (kind_ == ParamKind::None) kind_ = ParamKind::Bool;
  DefineDouble(name, 0.0, 0.0, 1.0, 1.0, label);
  AddDisplayText(0, "off");
  AddDisplayText(1, "on");
}

void PlugParam::DefineEnum(const char* name, int32_t count, const char* label) {
  if (kind_ == ParamKind::None) kind_ = ParamKind::Enum;
  DefineDouble(name, 0.0, 0.0, double(count - 1), 1.0, label);
}

bool PlugParam::AddDisplayText(int32_t value, const char* text) {
  DisplayText entry{};
  entry.value = value;
  CopyText(entry.text, text);
  return displayTexts_.Append(&entry, int32_t(sizeof entry));
}

int32_t PlugParam::DisplayTextCount() const { return displayTexts_.Size() / int32_t(sizeof(DisplayText)); }

const DisplayText* PlugParam::DisplayTextAt(int32_t i) const {
  if (i < 0 || i >= DisplayTextCount()) return nullptr;
  return displayTexts_.As<DisplayText>() + i;
}

const DisplayText* PlugParam::FindDisplayText(double value) const {
  const int32_t key = TruncateToInt(value);
  for (int32_t i = 0; i < DisplayTextCount(); ++i) {
    if (DisplayTextAt(i)->value == key) return DisplayTextAt(i);
  }
  return nullptr;
}

const DisplayText* PlugParam::FindDisplayTextByText(const char* text) const {
  if (!text) return nullptr;
  for (int32_t i = 0; i < DisplayTextCount(); ++i) {
    if (std::strcmp(DisplayTextAt(i)->text, text) == 0) return DisplayTextAt(i);
  }
  return nullptr;
}

double PlugParam::FromNormalized(double x) const { return std::pow(x, shape_) * (max_ - min_) + min_; }

double PlugParam::SetFromNormalized(double x) {
  double v = FromNormalized(x);
  if (kind_ != ParamKind::Double) v = std::floor(v / step_ + 0.5) * step_;
  value_ = v < max_ ? v : max_;
  return value_;
}

double PlugParam::Clamp(double v) const {
  if (v < min_) return min_;
  return v < max_ ? v : max_;
}

double PlugParam::Normalize(double natural) const {
  const double v = Clamp(natural);
  return std::pow((v - min_) / (max_ - min_), 1.0 / shape_);
}

double PlugParam::NormalizedValue() const { return Normalize(value_); }

void PlugParam::SetNaturalClamped(double v) { value_ = Clamp(v); }

void PlugParam::DisplayTextForHost(double value, bool normalized, char* out, bool withDisplayText) const {
  if (!out) return;
  if (normalized) value = FromNormalized(value);
  if (withDisplayText && DisplayTextCount() > 0) {
    const DisplayText* entry = FindDisplayText(value);
    if (entry && entry->text[0]) {
      CopyText(out, entry->text);
      return;
    }
  }
  if (negateDisplay_) value = -value;
  if (precision_ > 0) {
    std::snprintf(out, kTextCapacity, "%.*f", precision_, value);
  } else {
    std::snprintf(out, kTextCapacity, "%d", TruncateToInt(value));
  }
}

const char* PlugParam::UnitLabelForHost() const {
  if (DisplayTextCount() > 0) {
    const DisplayText* entry = FindDisplayText(value_);
    if (entry && entry->text[0]) return "";
  }
  return label_;
}
