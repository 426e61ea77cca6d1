// Dial tones: the two-frequency signal of each telephone key, made exactly at 11025 Hz.
#include "dial_tones.h"

#include <cmath>

#include "sound_shaping.h"

namespace falatro {

bool DialToneFrequencies(char key, int* low, int* high) {
  static const char kKeys[4][5] = {"123A", "456B", "789C", "*0#D"};
  static const int kLow[4] = {697, 770, 852, 941};
  static const int kHigh[4] = {1209, 1336, 1477, 1633};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      if (kKeys[r][c] == key) {
        *low = kLow[r];
        *high = kHigh[c];
        return true;
      }
  return false;
}

std::vector<uint8_t> MakeDialTone(char key) {
  int low = 0, high = 0;
  if (!DialToneFrequencies(key, &low, &high)) return {};
  std::vector<float> s(kDialToneSamples);
  const double amplitude = 11000.0;  // each tone; the sum peaks at about 86 of the 127 steps of 8 bits
  for (size_t i = 0; i < s.size(); ++i) {
    double t = double(i) / kSuiteRate;
    s[i] = float(amplitude * (std::sin(2 * M_PI * low * t) + std::sin(2 * M_PI * high * t)));
  }
  FadeEdges(s, 22);
  return ToUnsigned8(s);
}

}  // namespace falatro
