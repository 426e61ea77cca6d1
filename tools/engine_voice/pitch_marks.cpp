// Turning the generating voice's flat-pitch speech into diphone material.
#include "pitch_marks.h"

#include <algorithm>
#include <cmath>

#include "platform/mbrola/diphone_store.h"

namespace falatro {

namespace {

int Gcd(int a, int b) { return b == 0 ? a : Gcd(b, a % b); }

// Normalised correlation of the window at s with itself lag samples on.
double Correlation(const float* s, int window, int lag) {
  double num = 0, e0 = 0, e1 = 0;
  for (int i = 0; i < window; ++i) {
    num += double(s[i]) * s[i + lag];
    e0 += double(s[i]) * s[i];
    e1 += double(s[i + lag]) * s[i + lag];
  }
  return e0 > 0 && e1 > 0 ? num / std::sqrt(e0 * e1) : 0;
}

}  // namespace

std::vector<float> Resample(const std::vector<int16_t>& in, int from, int to) {
  constexpr int kTaps = 24;  // each side
  int g = Gcd(from, to), up = to / g, down = from / g;
  double cutoff = 0.92 * std::min(1.0, double(to) / from);  // fraction of the input's Nyquist
  // Output sample n sits at input position n * down / up: `up` phases, each with its own filter.
  std::vector<float> table(size_t(up) * 2 * kTaps);
  for (int phase = 0; phase < up; ++phase) {
    double frac = double(phase) / up, sum = 0;
    float* row = table.data() + size_t(phase) * 2 * kTaps;
    for (int j = 0; j < 2 * kTaps; ++j) {
      double d = frac - double(j - kTaps + 1);
      double sinc = std::fabs(d) < 1e-9 ? 1.0 : std::sin(M_PI * cutoff * d) / (M_PI * cutoff * d);
      double w = sinc * 0.5 * (1.0 + std::cos(M_PI * d / (kTaps + 1)));
      row[j] = float(w);
      sum += w;
    }
    for (int j = 0; j < 2 * kTaps; ++j) row[j] = float(row[j] / sum);
  }
  size_t count = size_t(uint64_t(in.size()) * uint64_t(up) / uint64_t(down));
  std::vector<float> out(count);
  for (size_t n = 0; n < count; ++n) {
    uint64_t pos = uint64_t(n) * uint64_t(down);
    long centre = long(pos / uint64_t(up));
    const float* row = table.data() + size_t(pos % uint64_t(up)) * 2 * kTaps;
    double sum = 0;
    for (int j = 0; j < 2 * kTaps; ++j) {
      long k = centre + j - kTaps + 1;
      if (k >= 0 && size_t(k) < in.size()) sum += double(row[j]) * in[size_t(k)];
    }
    out[n] = float(sum);
  }
  return out;
}

std::vector<bool> VoicedFrames(const std::vector<float>& x, int rate, int* period) {
  const int window = 6 * kFrameHop, min_lag = rate / 400, max_lag = rate / 60;
  size_t frames = (x.size() + kFrameHop - 1) / kFrameHop;
  std::vector<bool> voiced(frames, false);
  auto frame_start = [&](size_t f) { return long(f * kFrameHop) - window / 2; };
  auto usable = [&](size_t f) {
    long start = frame_start(f);
    if (start < 0 || size_t(start + window + max_lag + 4) > x.size()) return false;
    double energy = 0;
    for (int i = 0; i < window; ++i) energy += double(x[size_t(start + i)]) * x[size_t(start + i)];
    return std::sqrt(energy / window) >= 200;
  };
  // The period from a full search over every fourth loud frame (the voice's pitch is flat).
  std::vector<int> lags;
  for (size_t f = 0; f < frames; f += 4) {
    if (!usable(f)) continue;
    const float* s = x.data() + frame_start(f);
    std::vector<double> r(size_t(max_lag + 2), 0.0);
    double best = 0;
    for (int lag = min_lag; lag <= max_lag + 1; ++lag) {
      r[size_t(lag)] = Correlation(s, window, lag);
      if (lag <= max_lag) best = std::max(best, r[size_t(lag)]);
    }
    if (best < 0.6) continue;
    // The shortest lag that peaks nearly as high as the best is the period, not a multiple of it.
    for (int lag = min_lag + 1; lag <= max_lag; ++lag) {
      if (r[size_t(lag)] >= r[size_t(lag - 1)] && r[size_t(lag)] >= r[size_t(lag + 1)] && r[size_t(lag)] >= 0.9 * best) {
        lags.push_back(lag);
        break;
      }
    }
  }
  *period = 0;
  if (lags.empty()) return voiced;
  std::nth_element(lags.begin(), lags.begin() + ptrdiff_t(lags.size() / 2), lags.end());
  *period = lags[lags.size() / 2];
  // Each frame is voiced when it repeats itself after about that period.
  for (size_t f = 0; f < frames; ++f) {
    if (!usable(f)) continue;
    const float* s = x.data() + frame_start(f);
    double best = 0;
    for (int lag = *period - 3; lag <= *period + 3; ++lag) best = std::max(best, Correlation(s, window, lag));
    voiced[f] = best >= 0.5;
  }
  return voiced;
}

std::vector<uint32_t> FindPitchMarks(const std::vector<float>& x, const std::vector<bool>& voiced, int period) {
  std::vector<uint32_t> marks;
  if (period <= 0 || x.empty()) return marks;
  auto is_voiced = [&](size_t pos) {
    size_t f = pos / kFrameHop;
    return f < voiced.size() && voiced[f];
  };
  auto peak = [&](size_t from, size_t to) {
    to = std::min(to, x.size());
    size_t best = from;
    for (size_t i = from; i < to; ++i) {
      if (x[i] > x[best]) best = i;
    }
    return best;
  };
  size_t pos = size_t(period / 2);
  bool previous_voiced = false;
  size_t previous = 0;
  size_t slack = size_t(std::max(2, period / 6));
  while (pos < x.size()) {
    bool v = is_voiced(pos);
    size_t m = pos;
    if (v && previous_voiced) {
      // Follow the period: the next peak near one period on.
      m = peak(std::max(previous + 1, previous + size_t(period) - slack), previous + size_t(period) + slack + 1);
    } else if (v) {
      m = peak(pos, pos + size_t(period));
    }
    if (m >= x.size()) break;
    if (!marks.empty() && m <= previous) m = previous + 1;
    marks.push_back(uint32_t(m) | (v ? kMarkVoiced : 0));
    previous = m;
    previous_voiced = v;
    pos = m + size_t(period);
  }
  return marks;
}

}  // namespace falatro
