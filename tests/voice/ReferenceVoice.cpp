#include "tests/voice/ReferenceVoice.h"

#include <cmath>

#include "instrument/voice/ClickWave.h"
#include "instrument/voice/ShaperCurve.h"
#include "instrument/voice/TriangleOscillator.h"

float ReferenceVoice::Envelope::Next() {
  count += 1;
  double c;
  if (count > sampleRate * holdTime) {
    c = std::exp(-1 / (sampleRate * releaseTau));
    target = 0.0f;
  } else {
    c = std::exp(-1 / (attackTau * sampleRate));
    target = 1.0f;
  }
  const float oneMinusC = static_cast<float>(1 - c);
  const float cf = static_cast<float>(c);
  level = static_cast<float>(static_cast<double>(oneMinusC) * input + static_cast<double>(cf) * level);
  input = target;
  return static_cast<float>(level * gain);
}

void ReferenceVoice::SetSampleRate(double s) {
  sampleRate = s;
  ampEnv.sampleRate = clickEnv.sampleRate = pitchEnv.sampleRate = s;
}

void ReferenceVoice::ApplyParam(int index, double x) {
  switch (index) {
    case 0:
      pitch = static_cast<float>(x);
      break;
    case 1: {
      accent = static_cast<float>(x);
      const float a15 = accent * 15;
      ampEnv.gain = a15 - 0.9757;
      clickEnv.gain = a15;
      break;
    }
    case 2:
      decayX2 = static_cast<float>(2 * x);
      ampEnv.releaseTau = static_cast<float>((decayX2 * 0.5 * 1000000 + 47000) * 3.3e-7);
      break;
    case 3:
      tuneDecayX2 = static_cast<float>(2 * x);
      pitchEnv.releaseTau = static_cast<float>((tuneDecayX2 * 100000.0 + 22000) * 0.8 * 3.3e-7);
      break;
    case 4:
      attack = static_cast<float>(x);
      break;
    case 5:
      holdX2 = static_cast<float>(2 * x);
      ampEnv.holdTime = static_cast<float>(holdX2 * 0.1 + 0.005);
      break;
    case 6:
      tuneDepthX2 = static_cast<float>(2 * x);
      break;
    case 7:
      noiseDecay = static_cast<float>(x);
      clickEnv.releaseTau = static_cast<float>(static_cast<double>(noiseDecay) * noiseDecay * 3.3e-8 * 630000 * 10 +
                                               0.004157999999999999);
      break;
    case 8:
      distort = static_cast<float>(x);
      break;
    case 9:
      tuneMode = static_cast<int32_t>(x);
      break;
    case 10:
      accentMode = static_cast<int32_t>(x);
      break;
    default:
      break;
  }
}

void ReferenceVoice::Trigger() {
  clickPosition = 0;
  for (Envelope* e : {&ampEnv, &clickEnv, &pitchEnv}) {
    e->count = 0;
    e->target = 1.0f;
  }
  phase = 0.0f;
  tail = lastOutput;
  const float exponent = tuneMode == 0 ? pitch + 33 - 69 : note + pitch - 69;
  baseFrequency = static_cast<float>(440 * std::pow(2.0, exponent / 12.0));
  float a = accent;
  if (accentMode == 1) {
    a = static_cast<float>(midiAccent);
    accent = a;
  }
  const float a15 = a * 15;
  clickEnv.gain = a15;
  ampEnv.gain = static_cast<float>(a15 - 0.9757);
}

float ReferenceVoice::NextClick() {
  const float a = static_cast<float>(clickPosition * 96000.0 / sampleRate);
  const int i = static_cast<int>(a);
  if (i + 1 > 999) return 0.0f;
  clickPosition += 1;
  return (kClickTable[i + 1] - kClickTable[i]) * (a - i) + kClickTable[i];
}

static float WrapOnce(double y) { return static_cast<float>(y >= 1 ? y - 2 : y < -1 ? y + 2 : y); }

float ReferenceVoice::NextOscillator(float f, float p) {
  const float inc = static_cast<float>(2.0 * f / sampleRate);
  const float w = static_cast<float>(4.0 * f / sampleRate);
  phase = WrapOnce(static_cast<double>(phase) + inc);
  const float q = WrapOnce(static_cast<double>(phase) + p);
  const float r = WrapOnce(static_cast<double>(q) + 1);
  const float tri = 2 * std::fabs(q) - 1;
  const float a = w > std::fabs(q) ? BlampCorrection(q / w) : 0.0f;
  const float b = w > std::fabs(r) ? BlampCorrection(r / w) : 0.0f;
  return 4 * a * inc + tri - 4 * b * inc;
}

float ReferenceVoice::NextSample() {
  const double s = sampleRate;
  const double T = 1 / s;

  noiseState = noiseState * 69069u + 1u;
  const float n = static_cast<float>(static_cast<double>(static_cast<float>(noiseState)) / std::pow(2.0, 31) - 1);
  const float u = 0.1f * (7.5f * n + 7.5f);

  double k = 2 * hpTau;
  const double hb = k / (k + T), hr = (T - k) / (k + T);
  const float h = static_cast<float>(hb * u - hb * hpIn - hr * hpOut);
  hpIn = u;
  hpOut = h;

  k = 2 * lpTau;
  const double lg = T / (k + T), lr = (T - k) / (k + T);
  const float w = static_cast<float>(lg * h + lg * lpIn - lr * lpOut);
  lpIn = h;
  lpOut = w;

  const float c = NextClick();
  const float D =
      static_cast<float>((0.6496 * (c * 7.5 * 1.5) + 3.0409 * w) * (static_cast<double>(attack) * attack) / 100);

  const float e2 = clickEnv.Next();
  const float i2 = e2 < 1.86 ? 0.0f : static_cast<float>((e2 - 1.86) / 470000);
  const float G = static_cast<float>((1.161f - (9275.0f * (D * D) + 523.7f * D)) * i2 / 2.4e-5);

  const float e3 = pitchEnv.Next();
  const float f = static_cast<float>(e3 * 14.0 * tuneDepthX2 + baseFrequency);
  const float o = sampleCount > s * 0.002 - 1 ? NextOscillator(f, 0.5f) : 0.0f;
  const float v = static_cast<float>(o * 4.5 * (distort + 1));
  const float M = ShaperCurve(v);

  const float e1 = ampEnv.Next();
  const float i1 = e1 < 0.45 ? 0.0f : static_cast<float>((e1 - 0.45) / 470000);

  tail = tail * std::exp(-1 / (s * 0.1));
  sampleCount += 1;

  const float B = static_cast<float>((0.4633f - (2.251f * (M * M) + 9.76f * M)) * i1 / 2.7e-5);
  const float out = static_cast<float>(0.25f * (B + 0.3 * G) + tail);
  lastOutput = out;
  return out;
}
