// Making one diphone unit: its name read back as phonemes of the generating voice, said inside a carrier
// word and cut out at the phoneme boundaries that voice reports.
#include "unit_maker.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <utility>

#include "espeak_voice.h"
#include "name_value_file.h"
#include "sound_shaping.h"

namespace falatro {

UnitMakerState UnitMaking;

namespace {

bool IsVowelMnemonic(const std::string& m) {
  return !m.empty() && std::string("aeiouEIOU&@y").find(m[0]) != std::string::npos &&
         !(m.size() > 1 && m[1] == '^');
}

// Carrier phonemes around a unit: a syllable before it and one after it, so that the unit's edges
// carry the transitions they meet inside a word. The two reported phonemes of the left carrier come
// before the unit's own.
const char* kLeftCarrier = "p@";
constexpr size_t kLeftCarrierPhonemes = 2;

// A vowel proper (not a semivowel): these are brought to their own level where units meet.
bool IsFullVowel(const std::string& m) {
  return !m.empty() && std::string("aeiouEIOU&").find(m[0]) != std::string::npos;
}

// One of the generating voice's diphthongs ("aI", "eU"...): its nucleus, then the glide.
bool IsDiphthong(const std::string& m) {
  return m.size() == 2 && IsFullVowel(m.substr(0, 1)) && IsFullVowel(m.substr(1));
}

// RMS of s over [begin, end).
double Rms(const std::vector<float>& s, size_t begin, size_t end) {
  double e = 0;
  for (size_t i = begin; i < end; ++i) e += double(s[i]) * s[i];
  return end > begin ? std::sqrt(e / double(end - begin)) : 0.0;
}

// The middle half of a vowel: its steady part, away from the transitions into and out of it.
void SteadyPart(size_t begin, size_t end, size_t* from, size_t* to) {
  *from = begin + (end - begin) / 4;
  *to = end - (end - begin) / 4;
}

}  // namespace

double VowelLevel(const std::string& vowel_in, int rate, std::string* error) {
  static std::map<std::pair<std::string, int>, double> levels;
  // A nasal vowel takes the level of its oral vowel: a nasal diphthong's unit follows the oral vowel
  // of the unit read short before it (the splitting closes that vowel instead of nasalising it).
  std::string vowel = vowel_in.find('~') != std::string::npos ? vowel_in.substr(0, 1) : vowel_in;
  auto key = std::make_pair(vowel, rate);
  auto it = levels.find(key);
  if (it != levels.end()) return it->second;
  // The vowel stressed in the carrier all units are cut from, with the carrier's loudness matched.
  SetGeneratorProsody(rate, kUnitPitch);
  VoiceSound said;
  std::string text = std::string("[[") + kLeftCarrier + "'" + vowel + "p@]]";
  if (!Synthesize(text, true, &said, error) || said.Phonemes.size() < kLeftCarrierPhonemes + 2) return 0;
  std::vector<float> s = HalveRate(said.Samples);
  MatchLoudness(s, kSuiteRate);
  size_t begin = std::min(s.size(), said.Phonemes[kLeftCarrierPhonemes].Sample / 2);
  size_t end = std::min(s.size(), said.Phonemes[kLeftCarrierPhonemes + 1].Sample / 2);
  size_t from = 0, to = 0;
  SteadyPart(begin, std::max(begin, end), &from, &to);
  double level = Rms(s, from, to);
  levels[key] = level;
  return level;
}

bool IsStop(const std::string& m) {
  return m == "p" || m == "t" || m == "k" || m == "b" || m == "d" || m == "g" || m == "tS" || m == "dZ";
}

size_t ClosureStart(const std::vector<float>& s, size_t event, size_t earliest) {
  // The generating voice reports a stop where its burst comes; the silence (or voice bar) of its
  // closure lies before that mark. Walk back over 2 ms stretches quieter than a tenth of the speech
  // around them to the end of the sound before: that is where the stop begins.
  const size_t step = kSuiteRate / 500;
  double loud = SpeechRms(s, kSuiteRate);
  auto rms = [&](size_t end) {
    double e = 0;
    size_t begin = end >= step ? end - step : 0;
    for (size_t i = begin; i < end; ++i) e += double(s[i]) * s[i];
    return end > begin ? std::sqrt(e / double(end - begin)) : 0.0;
  };
  size_t pos = std::min(event, s.size());
  size_t limit = std::max(earliest, event > kSuiteRate / 8 ? event - kSuiteRate / 8 : size_t(0));
  while (pos > limit + step && rms(pos) < 0.1 * loud) pos -= step;
  return pos;
}

const char* UnitMethodName(UnitMethod method) {
  switch (method) {
    case UnitMethod::kCarrier: return "carrier";
    case UnitMethod::kCarrierStressed: return "stressed-carrier";
    case UnitMethod::kAlone: return "alone";
  }
  return "?";
}

bool LoadUnitSymbols(const std::string& path, std::string* error) {
  UnitMaking.Symbols.clear();
  UnitMaking.LongestSymbol = 0;
  const bool read = ReadNameValueFile(path, [](const NameValueLine& line) -> std::string {
    if (line.Name.empty() || line.Value.empty()) return line.Where + "expected SYMBOL=mnemonic";
    UnitMaking.Symbols[line.Name] = line.Value;
    UnitMaking.LongestSymbol = std::max(UnitMaking.LongestSymbol, line.Name.size());
    return {};
  }, error);
  if (read) UnitMaking.Loaded = true;
  return read;
}

std::string UnitNameToSymbols(const std::string& name) {
  std::string s = name.substr(0, 1) == "$" ? name.substr(1) : name;
  std::string out;
  for (size_t i = 0; i < s.size();) {
    if (s.compare(i, 4, "CIRC") == 0) {
      out += '^';
      i += 4;
    } else if (s.compare(i, 3, "TIL") == 0) {
      out += '~';
      i += 3;
    } else {
      out += s[i++];
    }
  }
  return out;
}

bool PlanUnit(const std::string& name, UnitRecipe* recipe) {
  *recipe = UnitRecipe{};
  recipe->Method = UnitMaking.Method;
  recipe->Rate = UnitMaking.Rate;
  std::string s = UnitNameToSymbols(name);
  // A consonant alone in a unit ends a syllable (before a vowel it would share the vowel's unit); the
  // list may say how the generating voice says it there, under its name preceded by "-".
  auto coda = UnitMaking.Symbols.find("-" + s);
  if (coda != UnitMaking.Symbols.end()) s = coda->first;
  for (size_t i = 0; i < s.size();) {
    size_t take = std::min(UnitMaking.LongestSymbol, s.size() - i);
    for (; take > 0; --take)
      if (UnitMaking.Symbols.count(s.substr(i, take))) break;
    if (take == 0) return false;
    std::string sounds = UnitMaking.Symbols[s.substr(i, take)];
    size_t p = 0;
    while (p < sounds.size()) {
      size_t q = sounds.find(' ', p);
      if (q == std::string::npos) q = sounds.size();
      if (q > p) recipe->Phonemes.push_back(sounds.substr(p, q - p));
      p = q + 1;
    }
    i += take;
  }
  if (recipe->Phonemes.empty()) return false;
  for (size_t i = 0; i < recipe->Phonemes.size(); ++i)
    if (IsVowelMnemonic(recipe->Phonemes[i])) {
      recipe->StressAt = int(i);
      break;
    }
  return true;
}

bool ReduceFinalVowel(UnitRecipe* recipe) {
  // Only "u" (a written final "o", and the article "o"): measured against the generating voice's
  // running speech, its short "U" brings such units closer, while its unstressed "a" and "i" took them
  // farther away.
  if (recipe->Phonemes.empty() || recipe->Phonemes.back() != "u") return false;
  recipe->Phonemes.back() = "U";
  return true;
}

std::string UnitRecipeKey(const UnitRecipe& recipe) {
  std::string key = UnitMethodName(recipe.Method);
  key += "|" + std::to_string(recipe.Rate) + "|" + std::to_string(kUnitPitch) + "|" + std::to_string(recipe.StressAt);
  for (const auto& p : recipe.Phonemes) key += "|" + p;
  return key;
}

bool StartUnitVoice(std::string* error) { return StartGenerator(175, kUnitPitch, error); }

bool RenderUnit(const UnitRecipe& recipe, std::vector<float>* sound, std::string* error) {
  bool stressed = recipe.Method != UnitMethod::kCarrier;
  std::string body;
  for (size_t i = 0; i < recipe.Phonemes.size(); ++i) {
    if (stressed && int(i) == recipe.StressAt) body += "'";
    body += recipe.Phonemes[i];
  }
  bool carrier = recipe.Method != UnitMethod::kAlone;
  std::string right = recipe.Method == UnitMethod::kCarrier ? "p'a" : "p@";
  std::string text = "[[" + (carrier ? kLeftCarrier + body + right : body) + "]]";
  SetGeneratorProsody(recipe.Rate, kUnitPitch);
  VoiceSound said;
  if (!Synthesize(text, true, &said, error)) return false;
  std::vector<float> s = HalveRate(said.Samples);
  MatchLoudness(s, kSuiteRate);
  size_t first = 0, last = s.size();
  if (carrier) {
    // The events repeat the phonemes given: two of the left carrier, the unit's, then the right one.
    size_t left = kLeftCarrierPhonemes, count = recipe.Phonemes.size();
    if (said.Phonemes.size() < left + count + 1) {
      if (error) *error = "the generating voice reported too few phonemes for " + text;
      return false;
    }
    for (size_t i = 0; i < count; ++i)
      if (said.Phonemes[left + i].Name != recipe.Phonemes[i]) {
        if (error) *error = "the generating voice does not know the phoneme " + recipe.Phonemes[i];
        return false;
      }
    first = said.Phonemes[left].Sample / 2;
    last = said.Phonemes[left + count].Sample / 2;
    // Each unit carries the closure of its own first stop and none of the stop that follows it.
    size_t carrier_vowel = said.Phonemes[left - 1].Sample / 2;
    if (IsStop(recipe.Phonemes[0])) first = ClosureStart(s, first, carrier_vowel);
    if (IsStop(said.Phonemes[left + count].Name)) last = ClosureStart(s, last, first + 1);
    // Each vowel is brought to the level it has in the reference carrier, over its steady part, so
    // that where units meet inside a vowel (a unit read short, then a vowel-initial one) the two
    // sides are equally loud. The gain runs straight between the vowels, and is held before the
    // first vowel and after the last.
    // Inside a vowel the gain follows its loudness every 5 ms (over 20 ms), so that wherever a read
    // short ends in it, it ends at the vowel's level; the first and last sixth of the vowel, where
    // it moves to and from its neighbours, take the gain of the nearest of those points.
    std::vector<std::pair<size_t, double>> anchors;
    const size_t hop = kSuiteRate / 200, half = kSuiteRate / 100;
    for (size_t i = 0; i < count; ++i) {
      if (!IsFullVowel(recipe.Phonemes[i])) continue;
      size_t begin = said.Phonemes[left + i].Sample / 2, end = std::min(s.size(), said.Phonemes[left + i + 1].Sample / 2);
      if (end <= begin + 2 * hop) continue;
      // An oral diphthong is held to its nucleus's level over its first half only, so it meets the
      // vowel of the unit read short before it and its glide keeps its fall; one closing into a nasal
      // (the end of "em") is nasal throughout and keeps its own level.
      const std::string& vowel = recipe.Phonemes[i];
      bool oral_diphthong = IsDiphthong(vowel) && !(i + 1 < count && recipe.Phonemes[i + 1] == "N");
      double level = VowelLevel(oral_diphthong ? vowel.substr(0, 1) : vowel, recipe.Rate, error);
      if (level <= 0) continue;
      size_t from = begin + (end - begin) / 6, to = end - (end - begin) / 6;
      if (oral_diphthong) to = begin + (end - begin) / 2;
      for (size_t at = from; at <= to; at += hop) {
        double rms = Rms(s, at > half ? at - half : 0, std::min(s.size(), at + half));
        if (rms > 0) anchors.push_back({at, std::clamp(level / rms, 0.25, 4.0)});
      }
    }
    if (!anchors.empty()) {
      size_t a = 0;
      for (size_t i = 0; i < s.size(); ++i) {
        while (a < anchors.size() && anchors[a].first <= i) ++a;
        double g;
        if (a == 0) g = anchors.front().second;
        else if (a == anchors.size()) g = anchors.back().second;
        else {
          const auto& [p0, g0] = anchors[a - 1];
          const auto& [p1, g1] = anchors[a];
          g = p1 > p0 ? g0 + (g1 - g0) * double(i - p0) / double(p1 - p0) : g1;
        }
        s[i] = float(std::clamp(double(s[i]) * g, -kPeakLimit, kPeakLimit));
      }
    }
    // A unit that starts with a vowel starts in its steady part: it follows a unit read short inside
    // the same vowel, and the carrier's transition into the vowel is no part of it.
    if (IsFullVowel(recipe.Phonemes[0])) {
      size_t end = said.Phonemes[left + 1].Sample / 2, from = 0, to = 0;
      SteadyPart(first, std::max(first, end), &from, &to);
      first = from;
    }
    // A unit that ends with a vowel ends before the vowel bends towards the carrier's "p" (its last
    // fifth; what follows it in a word is seldom a "p"), but late enough that a read of 0.6 of it (the
    // splitting's length before a semivowel, whose unit starts in the steady part of the same vowel)
    // ends past the first 30% of the vowel, in its steady part, where the two meet at one level.
    if (IsFullVowel(recipe.Phonemes[count - 1])) {
      size_t begin = said.Phonemes[left + count - 1].Sample / 2;
      if (last > begin && begin > first) {
        double b = double(begin - first), v = double(last - begin);
        double end = std::min(b + v, std::max(b + 0.8 * v, (b + 0.3 * v) / 0.6));
        last = first + size_t(end);
      }
    }
    const size_t reach = kSuiteRate / 500;  // 2 ms
    first = NearestZeroCrossing(s, first, reach);
    last = NearestZeroCrossing(s, last, reach);
  } else {
    SoundExtent(s, 300.0f, 0, &first, &last);
  }
  if (last <= first || last > s.size()) {
    if (error) *error = "no sound for " + text;
    return false;
  }
  sound->assign(s.begin() + long(first), s.begin() + long(last));
  FadeEdges(*sound);
  return true;
}

bool MakeUnitSound(const SoundJob& job, std::vector<uint8_t>* bytes, std::string* error) {
  bytes->clear();
  size_t blank = job.Text.find(' ');
  if (blank == std::string::npos) {
    if (error) *error = "a unit job is \"RATE NAME\"";
    return false;
  }
  UnitRecipe recipe;
  // A unit that cannot be made is stored as empty, so the build goes on and the census and coverage
  // figures show it as missing.
  std::string name = job.Text.substr(blank + 1);
  const std::string flag = " unstressed";
  bool unstressed = name.size() > flag.size() && name.compare(name.size() - flag.size(), flag.size(), flag) == 0;
  if (unstressed) name.resize(name.size() - flag.size());
  if (!PlanUnit(name, &recipe)) return true;
  if (unstressed) ReduceFinalVowel(&recipe);
  recipe.Rate = std::atoi(job.Text.c_str());
  std::vector<float> sound;
  std::string why;
  if (!RenderUnit(recipe, &sound, &why)) {
    recipe.Method = UnitMethod::kAlone;
    if (!RenderUnit(recipe, &sound, &why)) return true;
  }
  *bytes = ToUnsigned8(sound);
  if (bytes->size() > 65535) bytes->resize(65535);
  return true;
}

}  // namespace falatro
