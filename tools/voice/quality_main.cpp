// falatro-voice-quality: how the installed diphone voice sounds, over sentences read through the
// program's own front end: the jump between neighbouring samples at every unit join (clicks), and the
// mel-cepstral distortion against the generating voice reading the same sentence at a matching rate,
// with the 8-bit floor and the different-sentence ceiling measured beside it.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "base/paths.h"
#include "base/text_encoding.h"
#include "espeak_voice.h"
#include "front_end_reading.h"
#include "install_tree.h"
#include "mel_cepstrum.h"
#include "sound_shaping.h"
#include "unit_maker.h"
#include "voice_builder.h"

using namespace falatro;

namespace {

struct Options {
  std::string root;
  std::string data = FALATRO_SOURCE_DIR "/data";
  std::string sentences;
  int speed = 3;
  bool joins = true, mcd = true, verbose = false;
};

void Usage() {
  fprintf(stderr,
          "usage: falatro-voice-quality [--root DIR] [--data DIR] [--sentences FILE] [--speed N]\n"
          "                             [--joins-only | --mcd-only] [--verbose]\n"
          "  Reads every sentence (UTF-8, one a line, '#' comments; default data/voice/sentences.txt)\n"
          "  through the program's front end with the voice installed under DIR ($NARRIX_ROOT by\n"
          "  default) and the speed settings of data/voice/narrix.ini, marks not said, and prints:\n"
          "  the jump between neighbouring samples at every unit join at speeds 1 to 5 (in parts of\n"
          "  full scale; more than 0.1 is heard as a click) and the loudness steps where a unit meets a\n"
          "  vowel-initial one (10 ms either side), and at speed N (default 3) the mean\n"
          "  mel-cepstral distortion against eSpeak NG reading the same sentence at a matching rate,\n"
          "  with the floor (eSpeak NG against itself in the suite's 8-bit format) and the ceiling (the\n"
          "  voice against eSpeak NG reading the next sentence), in dB of log spectrum and, in brackets,\n"
          "  as cepstra of the orthonormal cosine transform give it. --verbose prints every sentence and the\n"
          "  units whose frames add most to the distortion.\n");
}

bool ReadSentences(const std::string& path, std::vector<std::string>* out, std::string* error) {
  std::vector<uint8_t> raw;
  if (!ReadWholeFile(path, &raw)) {
    if (error) *error = "cannot read " + path;
    return false;
  }
  std::string text(raw.begin(), raw.end());
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    out->push_back(line);
  }
  if (out->empty()) {
    if (error) *error = path + " holds no sentence";
    return false;
  }
  return true;
}

std::vector<float> FromBytes(const std::vector<uint8_t>& b) {
  std::vector<float> s(b.size());
  for (size_t i = 0; i < b.size(); ++i) s[i] = (float(b[i]) - 128) * 256;
  return s;
}

struct Stats {
  double sum = 0, worst = 0;
  size_t n = 0, worst_at = 0;
  void Add(double v, size_t at) {
    sum += v;
    if (n == 0 || v > worst) worst = v, worst_at = at;
    ++n;
  }
  double Mean() const { return n ? sum / double(n) : 0; }
};

struct WordLength {
  Stats voice, reference;  // milliseconds
};

// How long each word of a sentence lasts in the voice (its units, between the word silences) and in
// the reference (the frames the time warping pairs with them). Sentences with a mark inside (a comma:
// the front end says the parts apart) or whose words the voice does not say one by one are left out.
void AddWordLengths(const std::string& utf8, const VoiceReading& r, const std::vector<size_t>& starts,
                    const std::vector<size_t>& ref_starts, const std::vector<size_t>& matched,
                    std::map<std::string, WordLength>* words) {
  std::vector<std::string> said;
  std::string word;
  for (size_t k = 0; k <= utf8.size(); ++k) {
    char c = k < utf8.size() ? utf8[k] : ' ';
    if (c == ' ') {
      if (!word.empty()) said.push_back(word);
      word.clear();
    } else if (std::string(".,;:?!").find(c) != std::string::npos) {
      if (k + 1 < utf8.size()) return;  // a mark inside the sentence
    } else {
      word += char(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  std::vector<std::pair<size_t, size_t>> spans;  // samples [begin, end) of each word the voice says
  size_t begin = std::string::npos;
  for (size_t j = 0; j < r.Joins.size() && j < r.Units.size(); ++j) {
    bool silence = r.Units[j].empty();
    if (silence && begin != std::string::npos) spans.push_back({begin, r.Joins[j]}), begin = std::string::npos;
    else if (!silence && begin == std::string::npos) begin = r.Joins[j];
  }
  if (begin != std::string::npos) spans.push_back({begin, r.Sound.size()});
  if (spans.size() != said.size() || starts.empty() || matched.size() != starts.size()) return;
  const size_t half = kSuiteRate / 86;  // half the 23 ms window
  auto in_reference = [&](size_t sample) {
    size_t f = size_t(std::lower_bound(starts.begin(), starts.end(), sample > half ? sample - half : 0) - starts.begin());
    f = std::min(f, starts.size() - 1);
    return double(ref_starts[matched[f]]);
  };
  for (size_t w = 0; w < said.size(); ++w) {
    auto [from, to] = spans[w];
    (*words)[said[w]].voice.Add(1000.0 * double(to - from) / kSuiteRate, 0);
    (*words)[said[w]].reference.Add(1000.0 * std::max(0.0, in_reference(to) - in_reference(from)) / kSuiteRate, 0);
  }
}

// The generating voice reading a sentence at rate, halved to the suite's rate, as float samples.
bool Reference(const std::string& utf8, int rate, std::vector<float>* out, std::string* error) {
  SetGeneratorProsody(rate, kUnitPitch);
  VoiceSound said;
  if (!Synthesize(utf8, false, &said, error)) return false;
  *out = HalveRate(said.Samples);
  return true;
}

bool Measure(const Options& o, std::string* error) {
  std::vector<std::string> utf8;
  if (!ReadSentences(o.sentences, &utf8, error)) return false;
  std::vector<std::string> cp;
  for (const auto& s : utf8) cp.push_back(Utf8ToCp1252(s));

  std::string ini;
  if (!MakeSuiteIni(o.data, &ini, error)) return false;
  std::string win =
      std::filesystem::temp_directory_path().string() + "/falatro-voice-quality-" + std::to_string(getpid());
  bool written = false;
  if (!InstallSuiteIni(win, ini, &written, error)) return false;
  PrepareFrontEnd(o.root, win);
  struct Cleanup {
    std::string dir;
    ~Cleanup() { std::filesystem::remove_all(dir); }
  } cleanup{win};

  printf("falatro-voice-quality: %zu sentences of %s, voice under %s\n", cp.size(), o.sentences.c_str(),
         o.root.c_str());
  std::vector<VoiceReading> at_speed(cp.size());
  bool all_clean = true;
  for (int speed = 1; speed <= 5; ++speed) {
    if (!o.joins && speed != o.speed) continue;
    if (!StartFrontEnd(speed, false, "null", error)) return false;
    size_t joins = 0, clicks = 0;
    std::vector<double> steps;
    double worst = 0;
    std::string worst_where;
    for (size_t i = 0; i < cp.size(); ++i) {
      VoiceReading r = ReadThroughVoice(cp[i]);
      std::vector<double> jumps = JoinJumps(r);
      for (double step : LoudnessSteps(r)) steps.push_back(std::fabs(step));
      if (o.verbose && o.joins)
        for (size_t j = 1; j < r.Joins.size(); ++j) {
          VoiceReading pair{r.Sound, {r.Joins[j - 1], r.Joins[j]}, {r.Units[j - 1], r.Units[j]}};
          std::vector<double> one = LoudnessSteps(pair);
          if (!one.empty() && std::fabs(one[0]) > 6)
            printf("    speed %d, sentence %zu: %s then %s, %+.1f dB\n", speed, i + 1, r.Units[j - 1].c_str(),
                   r.Units[j].c_str(), one[0]);
        }
      joins += jumps.size();
      for (size_t j = 0; j < jumps.size(); ++j) {
        if (jumps[j] > 0.1) {
          ++clicks;
          if (o.verbose && o.joins) {
            size_t at = j < r.Joins.size() ? r.Joins[j] : r.Sound.size();
            printf("    speed %d, sentence %zu, %.0f ms: jump %.2f (%s then %s)\n", speed, i + 1,
                   1000.0 * double(at) / kSuiteRate, jumps[j], j > 0 ? r.Units[j - 1].c_str() : "",
                   j < r.Units.size() ? r.Units[j].c_str() : "end");
          }
        }
        if (jumps[j] > worst) {
          worst = jumps[j];
          worst_where = "sentence " + std::to_string(i + 1);
        }
      }
      if (speed == o.speed) at_speed[i] = std::move(r);
    }
    StopFrontEnd();
    if (o.joins)
      printf("  joins at speed %d: %zu joins, %zu jump more than 0.1 of full scale; largest %.3f (%s)\n", speed,
             joins, clicks, worst, worst_where.c_str());
    if (clicks) all_clean = false;
    if (o.joins && !steps.empty()) {
      std::sort(steps.begin(), steps.end());
      size_t over6 = size_t(std::count_if(steps.begin(), steps.end(), [](double d) { return d > 6; }));
      size_t over10 = size_t(std::count_if(steps.begin(), steps.end(), [](double d) { return d > 10; }));
      printf("    loudness steps inside vowels (a unit, then one that starts with a vowel): %zu joins, median %.1f dB, %zu above 6 dB, %zu above 10 dB\n",
             steps.size(), steps[steps.size() / 2], over6, over10);
    }
  }
  if (o.joins) printf("  no join jumps more than 0.1 of full scale: %s\n", all_clean ? "yes" : "NO");
  if (!o.mcd) return true;

  if (!StartGenerator(175, kUnitPitch, error)) return false;
  std::vector<std::vector<MelFrame>> voice(cp.size()), reference(cp.size());
  Stats distortion, floor, ceiling;
  std::map<std::string, Stats> by_unit;  // distortion of the voice's frames, by the unit they lie in
  std::map<std::string, WordLength> words;
  for (size_t i = 0; i < cp.size(); ++i) {
    std::vector<size_t> starts;
    voice[i] = MelCepstra(FromBytes(at_speed[i].Sound), kSuiteRate, &starts);
    // A matching rate: the reference's speech lasts as long as the voice's (pauses left out).
    std::vector<float> ref;
    if (!Reference(utf8[i], 175, &ref, error)) return false;
    size_t ref_frames = MelCepstra(ref, kSuiteRate).size();
    int rate = voice[i].empty() ? 175 : int(175.0 * double(ref_frames) / double(voice[i].size()));
    rate = std::clamp(rate, 80, 450);
    if (!Reference(utf8[i], rate, &ref, error)) return false;
    std::vector<size_t> ref_starts;
    reference[i] = MelCepstra(ref, kSuiteRate, &ref_starts);
    std::vector<float> shaped = ref;
    MatchLoudness(shaped, kSuiteRate);
    double floor_i = MelCepstralDistortion(reference[i], MelCepstra(FromBytes(ToUnsigned8(shaped)), kSuiteRate));
    std::vector<double> per_frame;
    std::vector<size_t> matched;
    double d = MelCepstralDistortion(voice[i], reference[i], &per_frame, &matched);
    distortion.Add(d, i);
    const VoiceReading& r = at_speed[i];
    for (size_t f = 0; f < per_frame.size(); ++f) {
      size_t middle = starts[f] + kSuiteRate / 86;  // the middle of the 23 ms window
      size_t u = size_t(std::upper_bound(r.Joins.begin(), r.Joins.end(), middle) - r.Joins.begin());
      if (u > 0 && u <= r.Units.size()) by_unit[r.Units[u - 1]].Add(per_frame[f], i);
    }
    AddWordLengths(utf8[i], r, starts, ref_starts, matched, &words);
    floor.Add(floor_i, i);
    if (o.verbose)
      printf("    %2zu  %5.2f dB  (reference at %d words per minute, floor %.2f)  %s\n", i + 1, d, rate, floor_i,
             utf8[i].c_str());
  }
  for (size_t i = 0; i < cp.size(); ++i)
    ceiling.Add(MelCepstralDistortion(voice[i], reference[(i + 1) % cp.size()]), i);
  // Each figure also in the orthonormal-transform convention, larger by a fixed factor.
  const double k = kOrthonormalCepstrumScale;
  printf("  mel-cepstral distortion at speed %d against eSpeak NG (in brackets: orthonormal cepstra, x%.2f):\n",
         o.speed, k);
  printf("    mean %.2f dB [%.1f], worst %.2f dB [%.1f] (sentence %zu)\n", distortion.Mean(), k * distortion.Mean(),
         distortion.worst, k * distortion.worst, distortion.worst_at + 1);
  printf("    floor, eSpeak NG against itself in 8-bit 11025 Hz: mean %.2f dB [%.1f]\n", floor.Mean(), k * floor.Mean());
  printf("    ceiling, the voice against eSpeak NG reading the next sentence: mean %.2f dB [%.1f]\n", ceiling.Mean(),
         k * ceiling.Mean());
  // Short words (three letters at most: "em", "eu", "de", "que"...) in running speech, against the
  // same words in the reference at its matching rate; longer words together for comparison.
  WordLength longer;
  std::vector<std::pair<std::string, WordLength>> shorter;
  for (const auto& [word, length] : words) {
    if (word.size() <= 3 && length.voice.n >= 2) shorter.push_back({word, length});
    else longer.voice.sum += length.voice.sum, longer.voice.n += length.voice.n,
         longer.reference.sum += length.reference.sum, longer.reference.n += length.reference.n;
  }
  std::sort(shorter.begin(), shorter.end(), [](const auto& x, const auto& y) { return x.second.voice.n > y.second.voice.n; });
  WordLength all_short;
  printf("  words in sentences without inner marks, voice / reference (ms):");
  for (size_t w = 0; w < shorter.size(); ++w) {
    const auto& [word, l] = shorter[w];
    printf("%s %s x%zu %.0f/%.0f", w % 6 ? "," : "\n     ", word.c_str(), l.voice.n, l.voice.Mean(), l.reference.Mean());
    all_short.voice.sum += l.voice.sum, all_short.voice.n += l.voice.n;
    all_short.reference.sum += l.reference.sum, all_short.reference.n += l.reference.n;
  }
  printf("\n    short words (above, %zu): %.0f / %.0f ms (x%.2f); longer words (%zu): %.0f / %.0f ms (x%.2f)\n",
         all_short.voice.n, all_short.voice.Mean(), all_short.reference.Mean(),
         all_short.voice.Mean() / std::max(1.0, all_short.reference.Mean()), longer.voice.n, longer.voice.Mean(),
         longer.reference.Mean(), longer.voice.Mean() / std::max(1.0, longer.reference.Mean()));
  if (o.verbose) {
    // The units that add most to the sum: where the voice is farthest from the reference, and often.
    std::vector<std::pair<std::string, Stats>> units(by_unit.begin(), by_unit.end());
    std::sort(units.begin(), units.end(), [](const auto& x, const auto& y) { return x.second.sum > y.second.sum; });
    printf("    units adding most (frames, mean dB):");
    for (size_t u = 0; u < std::min<size_t>(units.size(), 30); ++u)
      printf("%s %s %zu %.1f", u % 5 ? "," : "\n     ", units[u].first.empty() ? "(other)" : units[u].first.c_str(),
             units[u].second.n, units[u].second.Mean());
    printf("\n");
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  o.root = NarrixRoot();
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string* into) { *into = OptionValue(argc, argv, &i, Usage); };
    std::string v;
    if (a == "--root") value(&o.root);
    else if (a == "--data") value(&o.data);
    else if (a == "--sentences") value(&o.sentences);
    else if (a == "--speed") {
      value(&v);
      o.speed = std::atoi(v.c_str());
      if (o.speed < 1 || o.speed > 5) {
        Usage();
        return 2;
      }
    } else if (a == "--joins-only") o.mcd = false;
    else if (a == "--mcd-only") o.joins = false;
    else if (a == "--verbose") o.verbose = true;
    else if (a == "-h" || a == "--help") {
      Usage();
      return 0;
    } else {
      Usage();
      return 2;
    }
  }
  if (o.sentences.empty()) o.sentences = o.data + "/voice/sentences.txt";
  std::string error;
  if (!Measure(o, &error)) {
    fprintf(stderr, "falatro-voice-quality: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
