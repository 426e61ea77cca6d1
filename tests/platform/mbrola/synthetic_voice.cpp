// A small diphone database made from formula sounds, and a pitch meter.
#include "synthetic_voice.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include <vector>

namespace falatro {

namespace {

constexpr int kHalf = 800;  // samples from a phoneme's middle to its edge

struct Voicing {
  bool voiced;
  double f1, f2;
};

Voicing SoundOf(const std::string& p) {
  if (p == "a") return {true, 700, 1200};
  if (p == "i") return {true, 300, 2300};
  return {false, 0, 0};
}

}  // namespace

DiphoneStore MakeSyntheticStore(const std::vector<std::string>& missing) {
  DiphoneStore st;
  st.Rate = 16000;
  st.Period = kSyntheticPeriod;
  st.Phonemes = {"_", "a", "i", "s"};
  uint32_t noise = 12345;
  for (uint16_t l = 0; l < 4; ++l) {
    for (uint16_t r = 0; r < 4; ++r) {
      std::string name = st.Phonemes[l] + "-" + st.Phonemes[r];
      bool skip = false;
      for (const auto& m : missing) skip |= m == name;
      if (skip) continue;
      DiphoneUnit u;
      u.Left = l;
      u.Right = r;
      u.DataOffset = uint32_t(st.Samples.size());
      u.DataLength = 2 * kHalf + 2 * kSyntheticPeriod;
      u.Begin = kSyntheticPeriod;
      u.Boundary = u.Begin + kHalf;
      u.End = u.Boundary + kHalf;
      u.FirstMark = uint32_t(st.Marks.size());
      std::vector<double> x(u.DataLength, 0.0);
      for (uint32_t m = kSyntheticPeriod / 2; m < u.DataLength; m += kSyntheticPeriod) {
        Voicing v = SoundOf(st.Phonemes[m < u.Boundary ? l : r]);
        st.Marks.push_back(m | (v.voiced ? kMarkVoiced : 0));
        ++u.MarkCount;
        if (!v.voiced) continue;
        for (uint32_t n = m; n < u.DataLength && n < m + kSyntheticPeriod; ++n) {
          double t = double(n - m) / 16000.0;
          x[n] += 6000.0 * std::exp(-t * 400.0) * (std::sin(2 * M_PI * v.f1 * t) + 0.5 * std::sin(2 * M_PI * v.f2 * t));
        }
      }
      for (uint32_t n = 0; n < u.DataLength; ++n) {
        if (st.Phonemes[n < u.Boundary ? l : r] == "s") {
          noise = noise * 1103515245u + 12345u;
          x[n] = double(int((noise >> 16) & 0x7FFF) - 16384) / 8.0;
        }
        st.Samples.push_back(int16_t(std::lrint(std::fmax(-32000, std::fmin(32000, x[n])))));
      }
      st.Units.push_back(u);
    }
  }
  IndexDiphoneStore(&st);
  return st;
}

std::string WriteSyntheticStore(const std::string& name, const std::vector<std::string>& missing) {
  const char* tmp = getenv("TMPDIR");
  std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name + "-" + std::to_string(getpid());
  std::vector<uint8_t> bytes = SerializeDiphoneStore(MakeSyntheticStore(missing));
  FILE* f = fopen(path.c_str(), "wb");
  if (f) {
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  }
  return path;
}

double MeasurePitch(const std::vector<int16_t>& s, size_t from, size_t to, int rate) {
  if (to > s.size()) to = s.size();
  int min_lag = rate / 400, max_lag = rate / 60;
  if (to <= from || to - from < size_t(2 * max_lag)) return 0;
  std::vector<double> r(size_t(max_lag + 2), 0.0);
  double best = 0;
  for (int lag = min_lag; lag <= max_lag; ++lag) {
    double num = 0, e0 = 0, e1 = 0;
    for (size_t i = from; i + size_t(lag) < to; ++i) {
      num += double(s[i]) * s[i + size_t(lag)];
      e0 += double(s[i]) * s[i];
      e1 += double(s[i + size_t(lag)]) * s[i + size_t(lag)];
    }
    r[size_t(lag)] = (e0 > 0 && e1 > 0) ? num / std::sqrt(e0 * e1) : 0;
    best = std::fmax(best, r[size_t(lag)]);
  }
  // The shortest lag that peaks nearly as high as the best: the period, not a multiple of it.
  int best_lag = 0;
  for (int lag = min_lag; lag <= max_lag && !best_lag; ++lag) {
    bool peak = r[size_t(lag)] >= r[size_t(lag - 1)] && r[size_t(lag)] >= r[size_t(lag + 1)];
    if (peak && r[size_t(lag)] >= 0.9 * best) best_lag = lag;
  }
  return best > 0.5 ? double(rate) / best_lag : 0;
}

}  // namespace falatro
