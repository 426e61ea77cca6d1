// Diphone synthesis by pitch-synchronous overlap-add.
//
// Each phoneme is covered by two diphone halves: the second half of the unit that enters it and the
// first half of the unit that leaves it, split in the proportion the units themselves have. Output time
// maps linearly onto each half, so a duration is met by repeating or skipping pitch periods; grains
// (two periods under a Hann window, centred on the unit's pitch marks) are laid at the target pitch
// where the unit is voiced and at the unit's own spacing where it is not.
#include "platform/mbrola/psola_synth.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace falatro {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Part {
  int Unit = -1;       ///< -1: silence
  double From = 0, To = 0;
  double Length() const { return Unit < 0 ? 1.0 : std::max(1.0, To - From); }
};

void SetError(PsolaSynth& s, int code, const std::string& text) {
  s.LastError = code;
  s.LastErrorText = text;
}

void StartUtterance(PsolaSynth& s) {
  s.Phones.assign(1, PsolaPhone{s.Silence, 0, 0});
  s.Targets.clear();
  s.TimelineEnd = 0;
  s.NextSegment = 0;
  s.NextMark = 0;
  s.Accumulator.clear();
  s.AccumulatorStart = 0;
  s.SamplesMade = 0;
  s.LastUnit = s.LastMark = -1;
  s.Noise = 1;
}

// The two halves of segment k (phones k and k+1): from the middle of phone k to its end, and from the
// start of phone k+1 to its middle. A pair the database lacks is bridged through silence units.
void SegmentParts(const PsolaSynth& s, size_t k, Part* left, Part* right) {
  int a = s.Phones[k].Phoneme, b = s.Phones[k + 1].Phoneme;
  int u = FindStoreUnit(s.Store, a, b);
  int ul = u, ur = u;
  if (u < 0) {
    ul = FindStoreUnit(s.Store, a, s.Silence);
    ur = FindStoreUnit(s.Store, s.Silence, b);
  }
  *left = Part{};
  *right = Part{};
  if (ul >= 0) {
    const DiphoneUnit& unit = s.Store.Units[size_t(ul)];
    *left = Part{ul, double(unit.Begin), double(unit.Boundary)};
  }
  if (ur >= 0) {
    const DiphoneUnit& unit = s.Store.Units[size_t(ur)];
    *right = Part{ur, double(unit.Boundary), double(unit.End)};
  }
}

// Middle of phone i: where the unit entering it hands over to the unit leaving it. Needs phone i+1
// unless the phone is empty.
double PhoneMiddle(const PsolaSynth& s, size_t i) {
  const PsolaPhone& p = s.Phones[i];
  if (p.Length <= 0 || i == 0 || i + 1 >= s.Phones.size()) return p.Start;
  Part l0, r0, l1, r1;
  SegmentParts(s, i - 1, &l0, &r0);
  SegmentParts(s, i, &l1, &r1);
  double in = r0.Length(), out = l1.Length();
  return p.Start + p.Length * in / (in + out);
}

double PitchAt(const PsolaSynth& s, double t) {
  const auto& tg = s.Targets;
  if (tg.empty()) return s.HeldPitch;
  if (t <= tg.front().first) return tg.front().second;
  if (t >= tg.back().first) return tg.back().second;
  auto it = std::upper_bound(tg.begin(), tg.end(), t, [](double v, const auto& e) { return v < e.first; });
  const auto& b = *it;
  const auto& a = *(it - 1);
  if (b.first - a.first <= 0) return b.second;
  return a.second + (b.second - a.second) * (t - a.first) / (b.first - a.first);
}

double RmsAround(const PsolaSynth& s, int unit, double pos) {
  if (unit < 0) return 0;
  const DiphoneUnit& u = s.Store.Units[size_t(unit)];
  int64_t h = s.Store.Period, c = int64_t(pos);
  double sum = 0;
  int64_t n = 0;
  for (int64_t i = std::max<int64_t>(0, c - h); i < std::min<int64_t>(u.DataLength, c + h); ++i, ++n) {
    double v = s.Store.Samples[u.DataOffset + size_t(i)];
    sum += v * v;
  }
  return n ? std::sqrt(sum / double(n)) : 0;
}

// Gain that brings a unit's level at a join half-way (geometrically) to its neighbour's.
double JoinGain(double own, double other) {
  if (own < 100 || other < 100) return 1.0;
  return std::clamp(std::sqrt(own * other) / own, 0.5, 2.0);
}

int NearestMark(const PsolaSynth& s, int unit, double pos) {
  const DiphoneUnit& u = s.Store.Units[size_t(unit)];
  const uint32_t* m = s.Store.Marks.data() + u.FirstMark;
  size_t lo = 0, hi = u.MarkCount;
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (double(m[mid] & ~kMarkVoiced) < pos) lo = mid + 1;
    else hi = mid;
  }
  if (lo == u.MarkCount) return int(u.MarkCount - 1);
  if (lo > 0 && pos - double(m[lo - 1] & ~kMarkVoiced) < double(m[lo] & ~kMarkVoiced) - pos) return int(lo - 1);
  return int(lo);
}

void AddGrain(PsolaSynth& s, int unit, uint32_t mark_pos, double t, double gain) {
  const DiphoneUnit& u = s.Store.Units[size_t(unit)];
  int64_t h = s.Store.Period;
  int64_t centre = std::llround(t);
  int64_t first = std::max(centre - h + 1, s.AccumulatorStart);
  int64_t last = centre + h;  // exclusive
  if (last <= first) return;
  size_t need = size_t(last - s.AccumulatorStart);
  if (s.Accumulator.size() < need) s.Accumulator.resize(need, 0.0f);
  const int16_t* data = s.Store.Samples.data() + u.DataOffset;
  for (int64_t o = first; o < last; ++o) {
    int64_t n = o - centre;
    int64_t src = int64_t(mark_pos) + n;
    if (src < 0 || src >= int64_t(u.DataLength)) continue;
    double w = 0.5 * (1.0 + std::cos(kPi * double(n) / double(h)));
    s.Accumulator[size_t(o - s.AccumulatorStart)] += float(gain * w * data[src]);
  }
}

// Moves the finished samples before `until` to the output.
void Finish(PsolaSynth& s, int64_t until) {
  if (until <= s.AccumulatorStart) return;
  size_t count = size_t(until - s.AccumulatorStart);
  if (s.Accumulator.size() < count) s.Accumulator.resize(count, 0.0f);
  for (size_t i = 0; i < count; ++i) {
    float v = s.Accumulator[i] * s.Volume;
    v = std::clamp(v, -32768.0f, 32767.0f);
    s.Output.push_back(int16_t(std::lrint(v)));
  }
  s.Accumulator.erase(s.Accumulator.begin(), s.Accumulator.begin() + ptrdiff_t(count));
  s.AccumulatorStart = until;
  s.SamplesMade += count;
}

void RenderSegment(PsolaSynth& s, size_t k) {
  Part left, right;
  SegmentParts(s, k, &left, &right);
  double start = PhoneMiddle(s, k), bound = s.Phones[k + 1].Start, end = PhoneMiddle(s, k + 1);
  // Levels at the joins with the segments before and after, so joins do not jump in loudness.
  double gain_in = 1.0, gain_out = 1.0;
  if (k > 0 && left.Unit >= 0) {
    Part pl, pr;
    SegmentParts(s, k - 1, &pl, &pr);
    gain_in = JoinGain(RmsAround(s, left.Unit, left.From), RmsAround(s, pr.Unit, pr.To));
  }
  if (k + 2 < s.Phones.size() && right.Unit >= 0) {
    Part nl, nr;
    SegmentParts(s, k + 1, &nl, &nr);
    gain_out = JoinGain(RmsAround(s, right.Unit, right.To), RmsAround(s, nl.Unit, nl.From));
  }
  double unvoiced_step = double(s.Store.Period) * s.OutputRate / s.Store.Rate;
  while (s.NextMark < end) {
    double t = s.NextMark;
    bool in_left = t < bound;
    const Part& part = in_left ? left : right;
    double out_from = in_left ? start : bound, out_to = in_left ? bound : end;
    double step = unvoiced_step;
    if (part.Unit >= 0 && out_to > out_from) {
      double frac = (t - out_from) / (out_to - out_from);
      double src = part.From + frac * (part.To - part.From);
      const DiphoneUnit& u = s.Store.Units[size_t(part.Unit)];
      int index = NearestMark(s, part.Unit, src);
      uint32_t mark = s.Store.Marks[u.FirstMark + size_t(index)];
      // Noise repeated grain for grain buzzes at the grain rate: a stretched unvoiced stretch takes a
      // neighbouring mark instead of the same one again.
      if (!(mark & kMarkVoiced) && part.Unit == s.LastUnit && index == s.LastMark) {
        s.Noise = s.Noise * 1103515245u + 12345u;
        int other = index + (((s.Noise >> 16) & 1) ? 1 : -1);
        if (other < 0 || other >= int(u.MarkCount)) other = 2 * index - other;
        if (other >= 0 && other < int(u.MarkCount) && !(s.Store.Marks[u.FirstMark + size_t(other)] & kMarkVoiced)) {
          mark = s.Store.Marks[u.FirstMark + size_t(other)];
        }
      }
      s.LastUnit = part.Unit;
      s.LastMark = index;
      double gain = in_left ? gain_in + (1.0 - gain_in) * frac : 1.0 + (gain_out - 1.0) * frac;
      if (mark & kMarkVoiced) {
        double f0 = std::clamp(PitchAt(s, t), 40.0, 1000.0);
        step = s.OutputRate / f0;
        // Grains laid closer or farther apart than the voice's own period change the level; keep it.
        gain *= std::clamp(std::sqrt(step / unvoiced_step), 0.5, 2.0);
      }
      AddGrain(s, part.Unit, mark & ~kMarkVoiced, t, gain);
    }
    s.NextMark += std::max(step, 1.0);
  }
}

// Synthesizes every segment whose neighbours and pitch are known (all of them when flushing).
void Render(PsolaSynth& s, bool flushing) {
  while (s.NextSegment + 1 < s.Phones.size()) {
    size_t k = s.NextSegment;
    bool next_known = s.Phones[k + 1].Length <= 0 || k + 2 < s.Phones.size();
    if (!next_known) break;
    if (!flushing && (s.Targets.empty() || s.Targets.back().first < PhoneMiddle(s, k + 1))) break;
    RenderSegment(s, k);
    ++s.NextSegment;
  }
  if (flushing) return;
  int64_t safe = int64_t(std::floor(s.NextMark)) - int64_t(s.Store.Period) - 1;
  Finish(s, std::min<int64_t>(safe, int64_t(std::floor(s.TimelineEnd))));
}

bool ParseNumber(const std::string& token, double* value) {
  char* end = nullptr;
  *value = strtod(token.c_str(), &end);
  return end && *end == 0 && end != token.c_str() && std::isfinite(*value);
}

void TakeLine(PsolaSynth& s, std::string_view line) {
  std::vector<std::string> fields;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
    if (j > i) fields.emplace_back(line.substr(i, j - i));
    i = j;
  }
  if (fields.empty() || fields[0][0] == ';') return;
  if (fields[0] == "#") {
    PsolaFlush(s);
    return;
  }
  double ms = 0;
  if (fields.size() < 2 || !ParseNumber(fields[1], &ms) || ms < 0 || fields.size() % 2 != 0) {
    SetError(s, kPsolaBadLine, "bad phoneme line: " + std::string(line.substr(0, 200)));
    return;
  }
  std::vector<std::pair<double, double>> targets;
  for (size_t f = 2; f + 1 < fields.size(); f += 2) {
    double pos = 0, hz = 0;
    if (!ParseNumber(fields[f], &pos) || !ParseNumber(fields[f + 1], &hz) || hz <= 0) {
      SetError(s, kPsolaBadLine, "bad pitch target: " + std::string(line.substr(0, 200)));
      return;
    }
    targets.emplace_back(std::clamp(pos, 0.0, 100.0), std::clamp(hz, 20.0, 2000.0));
  }
  std::stable_sort(targets.begin(), targets.end());
  int phoneme = FindStorePhoneme(s.Store, fields[0]);
  if (phoneme < 0) {
    SetError(s, kPsolaUnknownPhoneme, "unknown phoneme " + fields[0].substr(0, 40));
    phoneme = s.Silence;
  } else if (!s.NoError && FindStoreUnit(s.Store, s.Phones.back().Phoneme, phoneme) < 0 &&
             s.Phones.back().Phoneme >= 0) {
    SetError(s, kPsolaMissingDiphone,
             "no diphone " + s.Store.Phonemes[size_t(s.Phones.back().Phoneme)] + "-" + fields[0]);
  }
  double length = std::min(ms, kPsolaLongestPhonemeMs) * s.OutputRate / 1000.0;
  PsolaPhone phone{phoneme, s.TimelineEnd, length};
  s.Phones.push_back(phone);
  s.TimelineEnd += length;
  for (const auto& [pos, hz] : targets) {
    double t = phone.Start + pos / 100.0 * length;
    if (!s.Targets.empty() && t < s.Targets.back().first) t = s.Targets.back().first;
    s.Targets.emplace_back(t, hz);
  }
  Render(s, false);
}

}  // namespace

int PsolaInit(PsolaSynth& s, const std::string& path) {
  PsolaClose(s);
  std::string error;
  if (!LoadDiphoneStore(path, &s.Store, &error)) {
    SetError(s, kPsolaBadDatabase, error);
    return -1;
  }
  s.Loaded = true;
  s.DatabasePath = path;
  s.Silence = FindStorePhoneme(s.Store, "_");
  s.OutputRate = int(s.Store.Rate);
  s.HeldPitch = double(s.Store.Rate) / s.Store.Period;
  s.LastError = kPsolaNoError;
  s.LastErrorText.clear();
  StartUtterance(s);
  return 0;
}

void PsolaClose(PsolaSynth& s) {
  s.Store = DiphoneStore{};
  s.Loaded = false;
  s.DatabasePath.clear();
  s.Silence = -1;
  s.Phones.clear();
  s.Targets.clear();
  s.Accumulator.clear();
  s.Output.clear();
}

void PsolaReset(PsolaSynth& s) {
  s.Output.clear();
  s.LastError = kPsolaNoError;
  s.LastErrorText.clear();
  if (s.Loaded) StartUtterance(s);
}

int PsolaWrite(PsolaSynth& s, std::string_view text) {
  if (!s.Loaded) {
    SetError(s, kPsolaNotReady, "no database loaded");
    return -1;
  }
  int before = s.LastError;
  s.LastError = kPsolaNoError;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    TakeLine(s, text.substr(start, end - start));
    start = end + 1;
  }
  if (s.LastError != kPsolaNoError) return -1;
  s.LastError = before;
  return 0;
}

void PsolaFlush(PsolaSynth& s) {
  if (!s.Loaded || s.Phones.size() < 2) return;
  s.Phones.push_back(PsolaPhone{s.Silence, s.TimelineEnd, 0});
  Render(s, true);
  Finish(s, int64_t(std::llround(s.TimelineEnd)));
  if (!s.Targets.empty()) s.HeldPitch = s.Targets.back().second;
  StartUtterance(s);
}

int PsolaRead(PsolaSynth& s, int16_t* buffer, int capacity) {
  if (!buffer || capacity <= 0) return 0;
  int n = int(std::min<size_t>(size_t(capacity), s.Output.size()));
  std::copy(s.Output.begin(), s.Output.begin() + n, buffer);
  s.Output.erase(s.Output.begin(), s.Output.begin() + n);
  return n;
}

void PsolaSetOutputRate(PsolaSynth& s, int rate) {
  if (rate >= 4000 && rate <= 96000) s.OutputRate = rate;
}

}  // namespace falatro
