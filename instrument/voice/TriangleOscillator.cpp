#include "instrument/voice/TriangleOscillator.h"

#include "instrument/voice/BlampPolynomial.h"

float BlampCorrection(float t) {
  const double m = -std::fabs(static_cast<double>(t));
  const double linear = 0.99986f * static_cast<float>(m);
  return static_cast<float>(BlampPolynomial(m, linear));
}

double TriangleOscillator::WrapFar(double y) {
  if (!std::isfinite(y)) return 0.0;
  y -= 2.0 * std::floor((y + 1.0) / 2.0);
  // Rounding in the line above can land exactly on an end of the range.
  if (y >= 1.0) y -= 2.0;
  if (y < -1.0) y = -1.0;
  return y;
}
