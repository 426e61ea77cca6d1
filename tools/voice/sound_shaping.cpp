// Turning generated speech into the suite's sound: 11025 Hz, loudness-matched, 8-bit, edges at the zero level.
#include "sound_shaping.h"

#include <algorithm>
#include <cmath>

namespace falatro {

namespace {

// Half-band low-pass kernel for 22050 -> 11025 Hz: windowed sinc, cut-off 4900 Hz, Blackman window,
// so the band kept (speech up to about 4.5 kHz) passes flat and little above 5.5 kHz folds back.
const std::vector<float>& HalvingKernel() {
  static const std::vector<float> kernel = [] {
    const int half = 32;
    const double cutoff = 4900.0 / 22050.0;  // cycles per input sample
    std::vector<float> k(2 * half + 1);
    double sum = 0;
    for (int i = -half; i <= half; ++i) {
      double x = 2 * M_PI * cutoff * i;
      double sinc = i == 0 ? 1.0 : std::sin(x) / x;
      double w = 0.42 + 0.5 * std::cos(M_PI * i / half) + 0.08 * std::cos(2 * M_PI * i / half);
      k[i + half] = float(2 * cutoff * sinc * w);
      sum += k[i + half];
    }
    for (auto& v : k) v = float(v / sum);
    return k;
  }();
  return kernel;
}

}  // namespace

std::vector<float> HalveRate(const std::vector<int16_t>& in) {
  const auto& k = HalvingKernel();
  const int half = int(k.size() / 2);
  std::vector<float> out((in.size() + 1) / 2);
  for (size_t o = 0; o < out.size(); ++o) {
    long centre = long(o) * 2;
    double acc = 0;
    for (int j = -half; j <= half; ++j) {
      long idx = centre + j;
      if (idx < 0 || idx >= long(in.size())) continue;
      acc += double(k[j + half]) * in[size_t(idx)];
    }
    out[o] = float(acc);
  }
  return out;
}

std::vector<float> ToFloat(const std::vector<int16_t>& in) { return std::vector<float>(in.begin(), in.end()); }

double SpeechRms(const std::vector<float>& s, int rate) {
  size_t frame = size_t(std::max(1, rate / 100));
  std::vector<double> energy;
  for (size_t i = 0; i < s.size(); i += frame) {
    double e = 0;
    size_t end = std::min(s.size(), i + frame);
    for (size_t j = i; j < end; ++j) e += double(s[j]) * s[j];
    energy.push_back(e / double(end - i));
  }
  double loudest = 0;
  for (double e : energy) loudest = std::max(loudest, e);
  if (loudest <= 0) return 0;
  double floor = loudest / 1000.0;  // 30 dB
  double sum = 0;
  size_t n = 0;
  for (double e : energy)
    if (e >= floor) { sum += e; ++n; }
  return n ? std::sqrt(sum / double(n)) : 0;
}

double LoudnessGain(const std::vector<float>& s, int rate, double target) {
  double rms = SpeechRms(s, rate);
  if (rms <= 0) return 1.0;
  double gain = target / rms;
  // The loud end of the sound (all but its loudest thousandth of samples, so that a lone spike does not
  // hold the rest down) may go up to twice the 16-bit range into the limiter of MatchLoudness.
  std::vector<float> magnitude(s.size());
  for (size_t i = 0; i < s.size(); ++i) magnitude[i] = std::fabs(s[i]);
  size_t at = magnitude.size() - 1 - magnitude.size() / 1000;
  std::nth_element(magnitude.begin(), magnitude.begin() + long(at), magnitude.end());
  float peak = magnitude[at];
  if (peak > 0 && peak * gain > 2 * kPeakLimit) gain = 2 * kPeakLimit / peak;
  return gain;
}

void MatchLoudness(std::vector<float>& s, int rate, double target) {
  double gain = LoudnessGain(s, rate, target);
  // Samples above the knee are bent smoothly towards kPeakLimit instead of clipped, so a recording
  // with a few loud peaks still reaches the common loudness.
  const double knee = 0.75 * kPeakLimit, room = kPeakLimit - knee;
  for (auto& v : s) {
    double x = v * gain, a = std::fabs(x);
    if (a > knee) a = knee + room * std::tanh((a - knee) / room);
    v = float(x < 0 ? -a : a);
  }
}

void SoundExtent(const std::vector<float>& s, float threshold, size_t margin, size_t* first, size_t* last) {
  size_t a = 0, b = s.size();
  while (a < b && std::fabs(s[a]) < threshold) ++a;
  while (b > a && std::fabs(s[b - 1]) < threshold) --b;
  if (a == b) {
    *first = *last = 0;
    return;
  }
  *first = a > margin ? a - margin : 0;
  *last = std::min(s.size(), b + margin);
}

void FadeEdges(std::vector<float>& s, size_t fade) {
  size_t n = std::min(fade, s.size() / 2);
  for (size_t i = 0; i < n; ++i) {
    // Raised cosine from 0 at the outer sample: the very first and last samples become zero.
    float w = float(0.5 - 0.5 * std::cos(M_PI * double(i) / double(n)));
    s[i] *= w;
    s[s.size() - 1 - i] *= w;
  }
  if (!s.empty()) {
    s.front() = 0;
    s.back() = 0;
  }
}

size_t NearestZeroCrossing(const std::vector<float>& s, size_t pos, size_t reach) {
  if (s.size() < 2) return pos;
  auto crosses = [&](size_t i) { return i + 1 < s.size() && ((s[i] <= 0) != (s[i + 1] <= 0)); };
  for (size_t d = 0; d <= reach; ++d) {
    if (pos >= d && crosses(pos - d)) return pos - d + 1;
    if (pos + d < s.size() && crosses(pos + d)) return pos + d + 1;
  }
  return pos;
}

std::vector<uint8_t> ToUnsigned8(const std::vector<float>& s) {
  std::vector<uint8_t> out(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    long v = std::lround(double(s[i]) / 256.0) + 128;
    out[i] = uint8_t(std::clamp(v, 0L, 255L));
  }
  return out;
}

}  // namespace falatro
