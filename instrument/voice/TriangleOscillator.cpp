#include "instrument/voice/TriangleOscillator.h"

float BlampCorrection(float t)
{
    const double m = -std::fabs(static_cast<double>(t));
    const double linear = 0.99986f * static_cast<float>(m);
    const double m2 = m * m;
    const double m3 = m2 * m;
    const double m4 = m3 * m;
    const double m5 = m4 * m;
    const double m6 = m5 * m;
    const double m7 = m6 * m;
    const double m8 = m7 * m;
    return static_cast<float>(0.20617266197999307 + linear + 1.4878300428390503 * m2 - 0.07976666589577992 * m3 -
                              1.95882248878479 * m4 - 0.6501880168914795 * m5 + 1.9188049634297688 * m6 +
                              1.9291086196899414 * m7 + 0.5450287461280823 * m8);
}

double TriangleOscillator::WrapFar(double y)
{
    if (!std::isfinite(y))
        return 0.0;
    y -= 2.0 * std::floor((y + 1.0) / 2.0);
    // Rounding in the line above can land exactly on an end of the range.
    if (y >= 1.0)
        y -= 2.0;
    if (y < -1.0)
        y = -1.0;
    return y;
}
