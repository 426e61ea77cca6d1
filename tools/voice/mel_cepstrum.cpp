// Mel-cepstral distortion between two readings of the same text, after dynamic time warping: how far
// the voice's sound is from a reference, in dB (0 for the same sound).
#include "mel_cepstrum.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>

namespace falatro {

namespace {

constexpr size_t kBands = kMelBands;
constexpr double kLowHz = 60, kHighHz = 5000;
constexpr double kSilenceDb = 40;

double Mel(double hz) { return 2595.0 * std::log10(1.0 + hz / 700.0); }
double Hz(double mel) { return 700.0 * (std::pow(10.0, mel / 2595.0) - 1.0); }

// In-place radix-2 transform; size is a power of two.
void Fft(std::vector<std::complex<double>>& x) {
  const size_t n = x.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(x[i], x[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    std::complex<double> step = std::polar(1.0, -2 * M_PI / double(len));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w = 1;
      for (size_t k = 0; k < len / 2; ++k, w *= step) {
        auto u = x[i + k], v = x[i + k + len / 2] * w;
        x[i + k] = u + v;
        x[i + k + len / 2] = u - v;
      }
    }
  }
}

}  // namespace

// The cosines are orthogonal over the bands with sum cos^2 = kBands / 2, hence 2 / kBands.
MelFrame MelCepstrumOfBands(const std::array<double, kMelBands>& log_amplitude) {
  MelFrame c;
  for (size_t d = 1; d <= kMelCepstra; ++d) {
    double sum = 0;
    for (size_t b = 0; b < kBands; ++b) sum += log_amplitude[b] * std::cos(M_PI * double(d) * (double(b) + 0.5) / kBands);
    c[d - 1] = 2 * sum / kBands;
  }
  return c;
}

std::vector<MelFrame> MelCepstra(const std::vector<float>& sound, int rate, std::vector<size_t>* starts) {
  const size_t window = size_t(std::lround(0.0232 * rate)), hop = size_t(std::max(1, rate / 200));
  size_t fft = 1;
  while (fft < window) fft <<= 1;
  std::vector<double> hann(window);
  for (size_t i = 0; i < window; ++i) hann[i] = 0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(window));
  // Triangular bands, equally spaced in mel, over the bins of the transform.
  const double top = std::min(kHighHz, rate / 2.0);
  std::vector<std::vector<double>> weight(kBands, std::vector<double>(fft / 2 + 1, 0));
  for (size_t b = 0; b < kBands; ++b) {
    double lo = Hz(Mel(kLowHz) + (Mel(top) - Mel(kLowHz)) * double(b) / (kBands + 1));
    double mid = Hz(Mel(kLowHz) + (Mel(top) - Mel(kLowHz)) * double(b + 1) / (kBands + 1));
    double hi = Hz(Mel(kLowHz) + (Mel(top) - Mel(kLowHz)) * double(b + 2) / (kBands + 1));
    for (size_t k = 0; k <= fft / 2; ++k) {
      double hz = double(k) * rate / double(fft);
      if (hz > lo && hz < hi) weight[b][k] = hz <= mid ? (hz - lo) / (mid - lo) : (hi - hz) / (hi - mid);
    }
  }
  // Band powers are floored at what the quantisation noise of 8-bit sound puts in each band (a step of
  // 256 in 16-bit units, noise power 256^2/12 a sample), so differences below what the suite's format can
  // hold do not count.
  double window_power = 0;
  for (double w : hann) window_power += w * w;
  std::vector<double> noise(kBands, 0);
  for (size_t b = 0; b < kBands; ++b)
    for (size_t k = 0; k <= fft / 2; ++k) noise[b] += weight[b][k] * 256.0 * 256.0 / 12.0 * window_power;
  std::vector<MelFrame> frames;
  std::vector<double> energy;
  std::vector<std::complex<double>> x(fft);
  for (size_t start = 0; start + window <= sound.size(); start += hop) {
    double e = 0;
    std::fill(x.begin(), x.end(), 0);
    for (size_t i = 0; i < window; ++i) {
      double v = sound[start + i];
      e += v * v;
      x[i] = v * hann[i];
    }
    Fft(x);
    std::array<double, kBands> log_amplitude;
    for (size_t b = 0; b < kBands; ++b) {
      double power = 0;
      for (size_t k = 0; k <= fft / 2; ++k) power += weight[b][k] * std::norm(x[k]);
      log_amplitude[b] = 0.5 * std::log(power + noise[b]);
    }
    frames.push_back(MelCepstrumOfBands(log_amplitude));
    energy.push_back(e);
  }
  double loudest = energy.empty() ? 0 : *std::max_element(energy.begin(), energy.end());
  std::vector<MelFrame> kept;
  if (starts) starts->clear();
  for (size_t i = 0; i < frames.size(); ++i)
    if (loudest > 0 && energy[i] >= loudest * std::pow(10.0, -kSilenceDb / 10)) {
      kept.push_back(frames[i]);
      if (starts) starts->push_back(i * hop);
    }
  return kept;
}

double MelCepstralDistortion(const std::vector<MelFrame>& a, const std::vector<MelFrame>& b,
                             std::vector<double>* per_frame, std::vector<size_t>* matched) {
  if (per_frame) per_frame->assign(a.size(), 0);
  if (matched) matched->assign(a.size(), 0);
  if (a.empty() || b.empty()) return 1e9;
  const double scale = 10.0 / std::log(10.0);
  auto distance = [&](const MelFrame& x, const MelFrame& y) {
    double sum = 0;
    for (size_t d = 0; d < kMelCepstra; ++d) sum += (x[d] - y[d]) * (x[d] - y[d]);
    return scale * std::sqrt(2 * sum);
  };
  const size_t n = a.size(), m = b.size();
  // Accumulated cost over the whole grid, with the length of the path that reached each point and the
  // step it came by (0 from both, 1 from a's previous frame, 2 from b's).
  std::vector<double> cost((n + 1) * (m + 1), 1e300);
  std::vector<size_t> steps((n + 1) * (m + 1), 0);
  std::vector<uint8_t> from((n + 1) * (m + 1), 0);
  auto at = [m](size_t i, size_t j) { return i * (m + 1) + j; };
  cost[at(0, 0)] = 0;
  for (size_t i = 1; i <= n; ++i)
    for (size_t j = 1; j <= m; ++j) {
      size_t p = at(i - 1, j - 1);
      uint8_t way = 0;
      if (cost[at(i - 1, j)] < cost[p]) p = at(i - 1, j), way = 1;
      if (cost[at(i, j - 1)] < cost[p]) p = at(i, j - 1), way = 2;
      cost[at(i, j)] = cost[p] + distance(a[i - 1], b[j - 1]);
      steps[at(i, j)] = steps[p] + 1;
      from[at(i, j)] = way;
    }
  if (per_frame || matched) {
    std::vector<size_t> visits(n, 0);
    for (size_t i = n, j = m; i > 0 && j > 0;) {
      if (per_frame) (*per_frame)[i - 1] += distance(a[i - 1], b[j - 1]);
      if (matched) (*matched)[i - 1] = j - 1;  // walking back, the last one written is the first
      ++visits[i - 1];
      uint8_t way = from[at(i, j)];
      if (way != 2) --i;
      if (way != 1) --j;
    }
    if (per_frame)
      for (size_t i = 0; i < n; ++i)
        if (visits[i]) (*per_frame)[i] /= double(visits[i]);
  }
  return cost[at(n, m)] / double(steps[at(n, m)]);
}

}  // namespace falatro
