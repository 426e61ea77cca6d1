// The built-in engine's voice: diphones cut from the generating voice at a flat pitch.
#include "engine_voice.h"

#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <set>
#include <sstream>

#include "base/paths.h"
#include "espeak_voice.h"
#include "name_value_file.h"
#include "pitch_marks.h"

namespace falatro {

namespace {

constexpr int kRate = 16000;
constexpr size_t kPad = 1600;         // silence put around every carrier (100 ms)
constexpr uint32_t kPauseHalf = 400;  // the pause's half of a unit joining it (25 ms)

bool IsVowel(const EnginePhoneme& p) { return p.Kind == "vowel"; }
bool IsPause(const EnginePhoneme& p) { return p.Kind == "pause"; }

void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

/// A unit as a job makes it (positions in its own samples).
struct MadeUnit {
  uint32_t Period = 0, Begin = 0, Boundary = 0, End = 0;
  std::vector<uint32_t> Marks;
  std::vector<int16_t> Samples;
};

std::vector<uint8_t> EncodeUnit(const MadeUnit& u) {
  std::vector<uint8_t> b;
  for (uint32_t v : {u.Period, u.Begin, u.Boundary, u.End, uint32_t(u.Marks.size())}) Put32(b, v);
  for (uint32_t m : u.Marks) Put32(b, m);
  Put32(b, uint32_t(u.Samples.size()));
  for (int16_t s : u.Samples) {
    b.push_back(uint8_t(uint16_t(s)));
    b.push_back(uint8_t(uint16_t(s) >> 8));
  }
  return b;
}

bool DecodeUnit(const std::vector<uint8_t>& b, MadeUnit* u) {
  if (b.size() < 24) return false;
  u->Period = Get32(b, 0);
  u->Begin = Get32(b, 4);
  u->Boundary = Get32(b, 8);
  u->End = Get32(b, 12);
  uint64_t marks = Get32(b, 16);
  if (20 + marks * 4 + 4 > b.size()) return false;
  u->Marks.resize(marks);
  for (size_t i = 0; i < marks; ++i) u->Marks[i] = Get32(b, 20 + 4 * i);
  size_t at = 20 + marks * 4;
  uint64_t samples = Get32(b, at);
  if (at + 4 + samples * 2 != b.size()) return false;
  u->Samples.resize(samples);
  for (size_t i = 0; i < samples; ++i) u->Samples[i] = int16_t(uint16_t(b[at + 4 + 2 * i] | b[at + 5 + 2 * i] << 8));
  return true;
}

// The unit joining two pauses: silence.
MadeUnit SilentUnit() {
  MadeUnit u;
  u.Begin = 0;
  u.Boundary = kPauseHalf;
  u.End = 2 * kPauseHalf;
  u.Samples.assign(2 * kPauseHalf, 0);
  for (uint32_t m = 0; m < u.End; m += 160) u.Marks.push_back(m);
  return u;
}

// Where a phoneme's steady middle is taken: stops in their closure, the rest half-way.
double MiddleOf(const EnginePhoneme& p, double start, double end) {
  return start + (p.Kind == "stop" ? 0.3 : 0.5) * (end - start);
}

// Says the carrier of (left, right) and cuts the unit. False with *why when the voice's phonemes do
// not line up with the carrier's (the pair is then left out).
bool CutUnit(const EnginePhoneme& left, const EnginePhoneme& right, MadeUnit* unit, std::string* why) {
  if (IsPause(left) && IsPause(right)) {
    *unit = SilentUnit();
    return true;
  }
  VoiceSound sound;
  std::string carrier = DiphoneCarrier(left, right);
  if (!Synthesize("[[" + carrier + "]]", true, &sound, why)) return false;
  std::vector<float> x = Resample(sound.Samples, sound.Rate, kRate);
  x.insert(x.begin(), kPad, 0.0f);
  x.insert(x.end(), kPad, 0.0f);
  auto at16 = [&](size_t sample) { return double(sample) * kRate / sound.Rate + double(kPad); };
  // The phonemes said, without the pauses; each one ends where the next event (pauses too) begins.
  struct Said {
    std::string Name;
    double Start, End;
  };
  std::vector<Said> said;
  for (size_t i = 0; i < sound.Phonemes.size(); ++i) {
    const auto& p = sound.Phonemes[i];
    double end = i + 1 < sound.Phonemes.size() ? at16(sound.Phonemes[i + 1].Sample) : double(x.size() - kPad);
    // Pauses and the voice's own glide marks (";" between "i" and a vowel) belong to no phoneme.
    if (!p.Name.empty() && p.Name[0] != '_' && p.Name[0] != ';') said.push_back({p.Name, at16(p.Sample), end});
  }
  // The carrier's phonemes in order: an optional "a" before, the pair, an optional "a" after.
  std::vector<std::string> expected;
  bool before = !IsPause(left) && !IsVowel(left);
  if (before) expected.push_back("a");
  if (!IsPause(left)) expected.push_back(left.Mnemonic);
  if (!IsPause(right) && right.Name != left.Name) expected.push_back(right.Mnemonic);
  if (!IsPause(right) && !IsVowel(right)) expected.push_back("a");
  if (said.size() != expected.size()) {
    *why = "said " + std::to_string(said.size()) + " phonemes for " + carrier;
    return false;
  }
  for (size_t i = 0; i < said.size(); ++i) {
    if (said[i].Name != expected[i]) {
      *why = "said " + said[i].Name + " for " + expected[i] + " in " + carrier;
      return false;
    }
  }
  size_t ia = before ? 1 : 0;
  double begin, boundary, end;
  if (IsPause(left)) {
    boundary = said[0].Start;
    begin = boundary - kPauseHalf;
    end = MiddleOf(right, said[0].Start, said[0].End);
  } else if (IsPause(right)) {
    boundary = said[ia].End;
    begin = MiddleOf(left, said[ia].Start, said[ia].End);
    end = boundary + kPauseHalf;
  } else if (left.Name == right.Name) {
    const Said& s = said[ia];
    begin = s.Start + 0.25 * (s.End - s.Start);
    boundary = s.Start + 0.5 * (s.End - s.Start);
    end = s.Start + 0.75 * (s.End - s.Start);
  } else {
    begin = MiddleOf(left, said[ia].Start, said[ia].End);
    boundary = said[ia + 1].Start;
    end = MiddleOf(right, said[ia + 1].Start, said[ia + 1].End);
  }
  int period = 0;
  std::vector<bool> voiced = VoicedFrames(x, kRate, &period);
  if (period == 0) {
    *why = "no voiced sound in " + carrier;
    return false;
  }
  std::vector<uint32_t> marks = FindPitchMarks(x, voiced, period);
  size_t first = size_t(std::max(0.0, std::floor(begin) - period));
  size_t last = std::min(x.size(), size_t(std::ceil(end)) + size_t(period));
  unit->Period = uint32_t(period);
  unit->Begin = uint32_t(std::lround(begin)) - uint32_t(first);
  unit->Boundary = uint32_t(std::lround(boundary)) - uint32_t(first);
  unit->End = uint32_t(std::lround(end)) - uint32_t(first);
  for (uint32_t m : marks) {
    uint32_t pos = m & ~kMarkVoiced;
    if (pos >= first && pos < last) unit->Marks.push_back((pos - uint32_t(first)) | (m & kMarkVoiced));
  }
  for (size_t i = first; i < last; ++i) {
    unit->Samples.push_back(int16_t(std::lrint(std::clamp(x[i], -32767.0f, 32767.0f))));
  }
  if (unit->Marks.empty() || !(unit->Begin <= unit->Boundary && unit->Boundary <= unit->End)) {
    *why = "no usable cut in " + carrier;
    return false;
  }
  return true;
}

std::string Signature() {
  return std::string(kEngineVoiceRecipe) + "|" + GeneratorVersion() + "|" + std::to_string(kEngineVoiceRate) + "|" +
         std::to_string(kEngineVoicePitch);
}

}  // namespace

bool ReadEnginePhonemes(const std::string& path, std::vector<EnginePhoneme>* phonemes, std::string* error) {
  phonemes->clear();
  static const std::set<std::string> kinds = {"pause", "vowel", "glide", "stop", "fricative", "nasal", "liquid"};
  std::set<std::string> seen;
  return ReadNameValueFile(
      path,
      [&](const NameValueLine& line) -> std::string {
        std::istringstream in(line.Value);
        EnginePhoneme p;
        p.Name = line.Name;
        std::string extra;
        if (!line.HasEquals || !(in >> p.Mnemonic >> p.Kind) || (in >> extra)) return line.Where + "expected: name = mnemonic kind";
        if (!IsStorePhonemeName(p.Name)) return line.Where + "not a phoneme name: " + p.Name;
        if (!kinds.count(p.Kind)) return line.Where + "unknown kind: " + p.Kind;
        if (!seen.insert(p.Name).second) return line.Where + "given twice: " + p.Name;
        phonemes->push_back(p);
        return "";
      },
      error);
}

std::string DiphoneCarrier(const EnginePhoneme& left, const EnginePhoneme& right) {
  std::vector<std::pair<std::string, bool>> seq;  // mnemonic, vowel
  if (!IsPause(left) && !IsVowel(left)) seq.push_back({"a", true});
  if (!IsPause(left)) seq.push_back({left.Mnemonic, IsVowel(left)});
  if (!IsPause(right) && right.Name != left.Name) seq.push_back({right.Mnemonic, IsVowel(right)});
  if (!IsPause(right) && !IsVowel(right)) seq.push_back({"a", true});
  // The stress goes on the pair's first vowel, else on the vowel after it, else on the one before.
  size_t first_pair = (!IsPause(left) && !IsVowel(left)) ? 1 : 0;
  size_t stressed = seq.size();
  for (size_t i = first_pair; i < seq.size() && stressed == seq.size(); ++i) {
    if (seq[i].second) stressed = i;
  }
  if (stressed == seq.size()) {
    for (size_t i = 0; i < seq.size(); ++i) {
      if (seq[i].second) stressed = i;
    }
  }
  std::string text;
  // "|" keeps neighbours apart that the voice would otherwise read as one phoneme ("t" "s" as "ts").
  for (size_t i = 0; i < seq.size(); ++i) text += (i ? "|" : "") + std::string(i == stressed ? "'" : "") + seq[i].first;
  return text;
}

std::string DiphoneListText(const DiphoneStore& store) {
  std::string text =
      "; The engine's diphone list, written with its voice database: every pair of phonemes the\r\n"
      "; database joins, one a line.\r\n";
  std::vector<std::string> lines;
  for (const auto& u : store.Units) lines.push_back(store.Phonemes[u.Left] + " " + store.Phonemes[u.Right]);
  std::sort(lines.begin(), lines.end());
  for (const auto& l : lines) text += l + "\r\n";
  return text;
}

bool BuildEngineVoice(const std::string& data_dir, const std::string& cache_dir, int workers,
                      const std::string& library_path, EngineVoiceBuild* build, std::string* error) {
  auto started = std::chrono::steady_clock::now();
  std::vector<EnginePhoneme> phonemes;
  if (!ReadEnginePhonemes(JoinPath(data_dir, "engine_voice/phonemes.txt"), &phonemes, error)) return false;
  std::vector<SoundJob> jobs;
  std::vector<std::pair<size_t, size_t>> pairs;
  for (size_t a = 0; a < phonemes.size(); ++a) {
    for (size_t b = 0; b < phonemes.size(); ++b) {
      SoundJob job;
      job.Text = phonemes[a].Name + " " + phonemes[b].Name;
      job.Key = "engine-unit|" + Signature() + "|" + phonemes[a].Mnemonic + "|" + phonemes[a].Kind + "|" +
                phonemes[b].Mnemonic + "|" + phonemes[b].Kind;
      job.Kind = int(jobs.size());
      jobs.push_back(job);
      pairs.emplace_back(a, b);
    }
  }
  auto setup = [](std::string* e) {
    if (!StartGenerator(kEngineVoiceRate, kEngineVoicePitch, e)) return false;
    espeak_SetParameter(espeakRANGE, 0, 0);  // a flat pitch: regular periods to mark
    return true;
  };
  auto make = [&](const SoundJob& job, std::vector<uint8_t>* bytes, std::string*) {
    size_t i = size_t(job.Kind);
    MadeUnit unit;
    std::string why;
    // A pair the voice cannot make is stored as an empty result: the database leaves it out.
    if (CutUnit(phonemes[pairs[i].first], phonemes[pairs[i].second], &unit, &why)) *bytes = EncodeUnit(unit);
    else bytes->clear();
    return true;
  };
  std::vector<std::vector<uint8_t>> results;
  if (!RunSoundJobs(jobs, cache_dir, workers, setup, make, &results, &build->Jobs, error)) return false;

  DiphoneStore store;
  store.Rate = kRate;
  for (const auto& p : phonemes) store.Phonemes.push_back(p.Name);
  std::vector<MadeUnit> made(results.size());
  std::vector<uint32_t> periods;
  for (size_t i = 0; i < results.size(); ++i) {
    if (!results[i].empty() && DecodeUnit(results[i], &made[i]) && made[i].Period > 0) periods.push_back(made[i].Period);
  }
  if (periods.empty()) {
    if (error) *error = "the generating voice made no diphone";
    return false;
  }
  std::nth_element(periods.begin(), periods.begin() + ptrdiff_t(periods.size() / 2), periods.end());
  store.Period = periods[periods.size() / 2];
  for (size_t i = 0; i < results.size(); ++i) {
    MadeUnit& m = made[i];
    if (m.Samples.empty()) {
      build->Missing.push_back(phonemes[pairs[i].first].Name + "-" + phonemes[pairs[i].second].Name);
      continue;
    }
    if (m.Period == 0) {  // the silent unit: marks at the voice's period
      m.Marks.clear();
      for (uint32_t p = 0; p < m.Samples.size(); p += store.Period) m.Marks.push_back(p);
    }
    DiphoneUnit u;
    u.Left = uint16_t(pairs[i].first);
    u.Right = uint16_t(pairs[i].second);
    u.DataOffset = uint32_t(store.Samples.size());
    u.DataLength = uint32_t(m.Samples.size());
    u.Begin = m.Begin;
    u.Boundary = m.Boundary;
    u.End = m.End;
    u.FirstMark = uint32_t(store.Marks.size());
    u.MarkCount = uint32_t(m.Marks.size());
    store.Marks.insert(store.Marks.end(), m.Marks.begin(), m.Marks.end());
    store.Samples.insert(store.Samples.end(), m.Samples.begin(), m.Samples.end());
    store.Units.push_back(u);
  }
  if (!IndexDiphoneStore(&store, error)) return false;
  std::vector<uint8_t> bytes = SerializeDiphoneStore(store);
  // The result must read back as the synthesizer will read it.
  DiphoneStore check;
  if (!ParseDiphoneStore(bytes.data(), bytes.size(), &check, error)) return false;
  build->PhonemeCount = store.Phonemes.size();
  build->DiphoneCount = store.Units.size();
  build->DatabaseBytes = bytes.size();
  build->Period = int(store.Period);
  std::string dir = kEngineVoiceDir;
  build->Files.push_back({dir + "/" + kEngineDatabaseName, std::move(bytes)});
  std::string list = DiphoneListText(store);
  build->Files.push_back({dir + "/" + kEngineDiphoneList, std::vector<uint8_t>(list.begin(), list.end())});
  std::vector<uint8_t> library;
  if (!library_path.empty() && ReadWholeFile(library_path, &library)) {
    build->Files.push_back({dir + "/" + library_path.substr(library_path.rfind('/') + 1), std::move(library)});
  }
  build->Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return true;
}

}  // namespace falatro
