// The voice's measuring: the jump at every unit join, and the mel-cepstral distortion after time
// alignment (zero for the same sound, small for the same sound said slower, large for another sound).
#include <gtest/gtest.h>

#include <cmath>

#include "front_end_reading.h"
#include "mel_cepstrum.h"

namespace falatro {
namespace {

TEST(JoinJumps, EveryJoinAndBothEndsAreMeasuredFromTheZeroLevel) {
  struct Case {
    const char* what;
    std::vector<uint8_t> sound;
    std::vector<size_t> joins;
    std::vector<double> jumps;
  };
  const Case cases[] = {
      {"units ending and starting at the zero level", {128, 140, 128, 128, 120, 128}, {0, 3}, {0, 0, 0}},
      {"a unit cut in the middle of a wave", {128, 192, 64, 128}, {0, 2}, {0, 1.0, 0}},
      {"a sound that starts and ends away from zero", {192, 128, 96}, {0}, {0.5, 0.25}},
      {"no joins: only the end", {128, 130}, {}, {2 / 128.0}},
  };
  for (const Case& c : cases) {
    VoiceReading r{c.sound, c.joins, {}};
    std::vector<double> got = JoinJumps(r);
    ASSERT_EQ(got.size(), c.jumps.size()) << c.what;
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], c.jumps[i], 1e-9) << c.what << ", join " << i;
  }
}

// A vowel-like sound: a 120 Hz pulse train through resonances at f1 and f2, for ms milliseconds.
std::vector<float> Vowel(double f1, double f2, int ms) {
  const int rate = 11025;
  std::vector<float> s(size_t(rate * ms / 1000));
  double y1[2] = {0, 0}, y2[2] = {0, 0};
  auto resonator = [&](double f, double x, double* y) {
    double r = 0.97, c = 2 * r * std::cos(2 * M_PI * f / rate), out = x + c * y[0] - r * r * y[1];
    y[1] = y[0];
    y[0] = out;
    return out;
  };
  for (size_t i = 0; i < s.size(); ++i) {
    double pulse = i % (rate / 120) == 0 ? 3000.0 : 0.0;
    s[i] = float(resonator(f2, resonator(f1, pulse, y1), y2) * 0.05);
  }
  return s;
}

std::vector<float> Join(std::vector<float> a, const std::vector<float>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(MelCepstralDistortion, AlignsInTimeAndSeparatesOtherSounds) {
  auto ai = MelCepstra(Join(Vowel(800, 1200, 200), Vowel(300, 2300, 200)), 11025);
  auto ai_slow = MelCepstra(Join(Vowel(800, 1200, 350), Vowel(300, 2300, 120)), 11025);
  auto ou = MelCepstra(Join(Vowel(450, 800, 200), Vowel(300, 700, 200)), 11025);
  ASSERT_GT(ai.size(), 70u) << "a frame every 5 ms";
  EXPECT_DOUBLE_EQ(MelCepstralDistortion(ai, ai), 0.0);
  double slow = MelCepstralDistortion(ai, ai_slow), other = MelCepstralDistortion(ai, ou);
  EXPECT_LT(slow, 0.25 * other) << "the same vowels at another pace align; slow " << slow << ", other " << other;
  EXPECT_GT(other, 1.0);
  EXPECT_NEAR(MelCepstralDistortion(ai, ou), MelCepstralDistortion(ou, ai), 1e-9);
  EXPECT_GE(MelCepstralDistortion(ai, {}), 1e9) << "no speech frames";
  EXPECT_TRUE(MelCepstra(std::vector<float>(5000, 0.0f), 11025).empty()) << "silence has no speech frames";
}

// The distortion is in dB of the log spectra: two frames whose band levels differ by a shape made of
// c1..c13 are as far apart as the root-mean-square of that difference in dB, whatever its level.
TEST(MelCepstralDistortion, IsTheRootMeanSquareDifferenceOfTheBandsInDb) {
  struct Case {
    const char* what;
    std::vector<std::pair<size_t, double>> ripples;  // order, peak in dB
    double offset_db;
  };
  const Case cases[] = {
      {"a tilt of 6 dB", {{1, 6}}, 0},
      {"a fine ripple of 2 dB", {{13, 2}}, 0},
      {"three shapes together, one level higher", {{2, 4}, {5, 3}, {9, 1.5}}, 10},
      {"only louder", {}, 12},
  };
  const double neper = std::log(10.0) / 20;
  for (const Case& c : cases) {
    std::array<double, kMelBands> flat{}, shaped{};
    double square = 0;
    for (size_t b = 0; b < kMelBands; ++b) {
      flat[b] = 3 + 0.1 * double(b);
      double db = c.offset_db;
      for (auto [order, peak] : c.ripples) db += peak * std::cos(M_PI * double(order) * (double(b) + 0.5) / kMelBands);
      shaped[b] = flat[b] + db * neper;
      square += (db - c.offset_db) * (db - c.offset_db);
    }
    double rms = std::sqrt(square / kMelBands);
    EXPECT_NEAR(MelCepstralDistortion({MelCepstrumOfBands(flat)}, {MelCepstrumOfBands(shaped)}), rms, 1e-9) << c.what;
  }
}

}  // namespace
}  // namespace falatro
