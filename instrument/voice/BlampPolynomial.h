#pragma once
// The oscillator's corner-correction polynomial in m = -|t| (a double, or a
// vector of doubles); linear is 0.99986f * float(m), widened. Internal
// linkage, so that the files built for wider instruction sets each keep
// their own copy.

template <class T>
static inline T BlampPolynomial(T m, T linear) {
  const T m2 = m * m;
  const T m3 = m2 * m;
  const T m4 = m3 * m;
  const T m5 = m4 * m;
  const T m6 = m5 * m;
  const T m7 = m6 * m;
  const T m8 = m7 * m;
  return 0.20617266197999307 + linear + 1.4878300428390503 * m2 - 0.07976666589577992 * m3 - 1.95882248878479 * m4 -
         0.6501880168914795 * m5 + 1.9188049634297688 * m6 + 1.9291086196899414 * m7 + 0.5450287461280823 * m8;
}
