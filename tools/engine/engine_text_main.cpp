// falatro-engine-text: the built-in engine's text pipeline from the command line. Prints, for a text
// or a file, the preprocessed text, the phonemes or the MBROLA phoneme lines; measures pronunciation
// against a reference list, stress against eSpeak NG, and the pipeline's speed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/text_encoding.h"
#include "engine_speak.h"
#include "tts/letter_rules.h"
#include "tts/prosody.h"
#include "tts/stress.h"
#include "tts/text_pipeline.h"
#include "tts/text_preprocessor.h"

using namespace falatro;

namespace {

void Usage() {
  std::fprintf(stderr,
      "usage: falatro-engine-text [options] [TEXT...]\n"
      "  Runs the engine's text pipeline on TEXT (or each line of --file, or standard input).\n"
      "  -p            print the preprocessed text\n"
      "  -t            print the tokens and their contours\n"
      "  -x            print the phonemes, words separated by \" | \", \">\" before the stressed one\n"
      "  -m            print the MBROLA phoneme lines (the default)\n"
      "  -f, --file F  read the texts from F, one a line\n"
      "  --data DIR    data folder with portug.nrl .exc .abr .pro .dfn (default: the source tree's data/engine)\n"
      "  --speed-factor D, --pitch-factor P   duration and pitch factors (default 1.0)\n"
      "  --utf8        texts and output in UTF-8 instead of cp1252 (default when the locale is UTF-8)\n"
      "  --speak       say the texts with the engine through the sound device (FALATRO_AUDIO)\n"
      "  --wav FILE    say the texts with the engine into a WAV file (16000 Hz, 16-bit)\n"
      "Measurements (print figures):\n"
      "  --g2p LIST    phonemes and words right against a \"word<TAB>SAMPA\" list (cp1252)\n"
      "  --half even|odd  use only the even or odd lines of the list\n"
      "  --errors N    print up to N words that differ\n"
      "  --stress N    stressed vowel compared with `espeak-ng -v pt-br -x` on N random words of the list\n"
      "  --seed S      seed of that sample (default 1)\n"
      "  --pairs LIST  print the phoneme pairs the rules make for the words of LIST (a diphone list)\n"
      "  --speed WORDS running text made from a word list (one word a line) through the whole pipeline,\n"
      "                in words per second\n");
}

bool ReadText(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

std::vector<std::string> Lines(const std::string& all) {
  std::vector<std::string> lines;
  std::istringstream s(all);
  std::string line;
  while (std::getline(s, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The phoneme list as one line: words separated by " | ", pauses as their names.
std::string CompactPhonemes(const std::vector<std::string>& phonemes) {
  std::string out, word;
  auto flush = [&]() {
    if (word.empty()) return;
    if (!out.empty()) out += " | ";
    out += word;
    word.clear();
  };
  for (const std::string& p : phonemes) {
    if (!p.empty() && p[0] == ';') {
      flush();
    } else if (!p.empty()) {
      if (!word.empty()) word += ' ';
      word += p;
    }
  }
  flush();
  return out;
}

// Phonemes of one word as the transcription stage makes them (exceptions, stress, rules).
std::vector<std::string> WordPhonemes(const std::string& word) {
  std::string w = word;
  for (char& c : w) c = UpperCp1252(c);
  LookUpException(w);
  const int stress = IsFunctionWord(w) ? 0 : FindStressPosition(w);
  std::vector<std::string> out;
  TranscribeWord(w, stress, out);
  out.erase(std::remove(out.begin(), out.end(), std::string()), out.end());
  return out;
}

// The engine's phoneme names in the reference's reduced SAMPA set.
std::string ToReduced(std::string p) {
  if (!p.empty() && p[0] == '>') p.erase(0, 1);
  if (!p.empty() && p[0] == '\xA8') p.erase(0, 1);
  static const std::pair<const char*, const char*> map[] = {
      {"a2", "a"}, {"eh", "E"}, {"oh", "O"}, {"an", "a~"}, {"en", "e~"}, {"in", "i~"}, {"on", "o~"},
      {"un", "u~"}, {"y", "j"}, {"tx", "tS"}, {"dj", "dZ"}, {"x", "S"}, {"j", "Z"}, {"s2", "s"},
      {"nh", "J"}, {"lh", "L"}, {"r2", "R"}};
  for (const auto& m : map)
    if (p == m.first) return m.second;
  return p;
}

std::string ReduceReference(const std::string& p) {
  if (p == "X") return "R";
  if (p == "j~") return "j";
  if (p == "w~") return "w";
  return p;
}

size_t EditDistance(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  std::vector<size_t> prev(b.size() + 1), cur(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) prev[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    cur[0] = i;
    for (size_t j = 1; j <= b.size(); ++j)
      cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
    std::swap(prev, cur);
  }
  return prev[b.size()];
}

std::string Join(const std::vector<std::string>& v) {
  std::string s;
  for (const auto& p : v) s += (s.empty() ? "" : " ") + p;
  return s;
}

struct Entry {
  std::string word;
  std::vector<std::string> reference;
};

bool ReadList(const std::string& path, const std::string& half, std::vector<Entry>* out) {
  std::string all;
  if (!ReadText(path, &all)) return false;
  if (IsValidUtf8(all)) all = Utf8ToCp1252(all);
  size_t n = 0;
  for (const std::string& line : Lines(all)) {
    if (line.empty()) continue;
    const size_t index = n++;
    if ((half == "even" && index % 2 != 0) || (half == "odd" && index % 2 != 1)) continue;
    Entry e;
    const size_t tab = line.find('\t');
    e.word = line.substr(0, tab);
    if (tab != std::string::npos) {
      std::istringstream ph(line.substr(tab + 1));
      std::string p;
      while (ph >> p) e.reference.push_back(ReduceReference(p));
    }
    out->push_back(std::move(e));
  }
  return true;
}

bool IsVowelPhoneme(const std::string& p) {
  static const char* const v[] = {"a", "a2", "e", "eh", "i", "o", "oh", "u", "an", "en", "in", "on", "un", "y", "w"};
  for (const char* x : v)
    if (p == x) return true;
  return false;
}

// Index (from 1) of the stressed run of vowels and glides; a word with one run is stressed on it.
int StressedRunOfPhonemes(const std::vector<std::string>& phonemes) {
  int count = 0, stressed = 0;
  bool in_run = false;
  for (const std::string& raw : phonemes) {
    const bool mark = !raw.empty() && raw[0] == '>';
    std::string p = mark ? raw.substr(1) : raw;
    if (!p.empty() && p[0] == '\xA8') p.erase(0, 1);
    const bool v = IsVowelPhoneme(p);
    if (v && !in_run) ++count;
    if (v && mark && !stressed) stressed = count;
    in_run = v;
  }
  if (!stressed && count == 1) stressed = 1;
  return stressed;
}

// The same on eSpeak NG's phoneme mnemonics, where "'" comes before the stressed syllable.
int StressedRunOfEspeak(const std::string& t) {
  const std::string vowels = "a&eEiIoOuUy@jw";
  int count = 0, stressed = 0;
  bool in_run = false, pending = false;
  for (size_t i = 0; i < t.size(); ++i) {
    const char c = t[i];
    if (c == '\'') {
      pending = true;
      continue;
    }
    if (c == ',' || c == ';' || c == '~' || c == '^' || c == ':') continue;
    bool v = vowels.find(c) != std::string::npos;
    if (c == '@' && i + 1 < t.size() && t[i + 1] == '-') v = false;
    if (v && !in_run) ++count;
    if (v && pending && !stressed) stressed = count;
    in_run = v;
  }
  if (!stressed && count == 1) stressed = 1;
  return stressed;
}

int MeasureG2p(const std::vector<Entry>& entries, int errors) {
  size_t words = 0, right = 0, phonemes = 0, dist = 0;
  int shown = 0;
  for (const Entry& e : entries) {
    if (e.reference.empty()) continue;
    std::vector<std::string> mine;
    for (const std::string& p : WordPhonemes(e.word)) mine.push_back(ToReduced(p));
    const size_t d = EditDistance(mine, e.reference);
    ++words;
    phonemes += e.reference.size();
    dist += d;
    if (d == 0) ++right;
    else if (shown < errors) {
      ++shown;
      std::printf("ERR %s\t%s\t|\t%s\n", Cp1252ToUtf8(e.word).c_str(), Join(mine).c_str(), Join(e.reference).c_str());
    }
  }
  if (words == 0) return 1;
  std::printf("words with reference: %zu, phonemes: %zu\n", words, phonemes);
  std::printf("phonemes right: %.2f%%  words right: %.2f%%\n", 100.0 * (1.0 - double(dist) / double(phonemes)),
              100.0 * double(right) / double(words));
  return 0;
}

int MeasureStress(const std::vector<Entry>& all, int count, unsigned seed, int errors) {
  std::vector<size_t> idx(all.size());
  for (size_t i = 0; i < idx.size(); ++i) idx[i] = i;
  std::mt19937 rng(seed);
  std::shuffle(idx.begin(), idx.end(), rng);
  idx.resize(std::min(idx.size(), static_cast<size_t>(count)));
  char tmpl[] = "/tmp/engine_text_XXXXXX";
  const int fd = mkstemp(tmpl);
  if (fd < 0) return 1;
  close(fd);
  {
    std::ofstream out(tmpl, std::ios::binary);
    for (size_t i : idx) out << Cp1252ToUtf8(all[i].word) << "\n\n";
  }
  const std::string cmd = std::string("espeak-ng -v pt-br -x -q -f ") + tmpl;
  std::vector<std::string> lines;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    while (std::fgets(buf, sizeof buf, p)) {
      std::string l(buf);
      while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
      const size_t b = l.find_first_not_of(' ');
      if (b != std::string::npos) lines.push_back(l.substr(b));
    }
    pclose(p);
  }
  std::remove(tmpl);
  if (lines.size() != idx.size()) {
    std::printf("stress: espeak-ng gave %zu lines for %zu words; not compared\n", lines.size(), idx.size());
    return 1;
  }
  size_t agree = 0;
  int shown = 0;
  for (size_t k = 0; k < idx.size(); ++k) {
    const std::vector<std::string> ph = WordPhonemes(all[idx[k]].word);
    const int mine = StressedRunOfPhonemes(ph), ref = StressedRunOfEspeak(lines[k]);
    if (mine == ref) ++agree;
    else if (shown < errors) {
      ++shown;
      std::printf("STRESS %s\t%s (%d)\t%s (%d)\n", Cp1252ToUtf8(all[idx[k]].word).c_str(),
                  Cp1252ToUtf8(Join(ph)).c_str(), mine, lines[k].c_str(), ref);
    }
  }
  std::printf("stress agrees with espeak-ng on %zu of %zu words: %.2f%%\n", agree, idx.size(),
              100.0 * double(agree) / double(idx.size()));
  return 0;
}

// Running text from a word list: sentences of 6 to 17 words with commas, numbers, an abbreviation
// now and then, and questions, as chat lines are.
int MeasureSpeed(const std::string& list) {
  std::vector<Entry> words;
  if (!ReadList(list, "all", &words) || words.empty()) {
    std::fprintf(stderr, "falatro-engine-text: cannot read %s\n", list.c_str());
    return 1;
  }
  std::mt19937 rng(7);
  std::vector<std::string> texts;
  size_t total_words = 0;
  while (total_words < 200000) {
    std::string text;
    const int n = 6 + static_cast<int>(rng() % 12);
    for (int k = 0; k < n; ++k) {
      if (k > 0) text += (rng() % 9 == 0) ? ", " : " ";
      if (rng() % 25 == 0) text += std::to_string(rng() % 100000);
      else if (rng() % 60 == 0) text += "Sr.";
      else text += words[rng() % words.size()].word;
    }
    text += (rng() % 4 == 0) ? "?" : ".";
    total_words += static_cast<size_t>(n);
    texts.push_back(std::move(text));
  }
  // Wall time and the process's own processor time (the fair figure on a machine shared with others).
  double best = 1e9, best_cpu = 1e9;
  size_t sink = 0;
  for (int pass = 0; pass < 3; ++pass) {
    const auto t0 = std::chrono::steady_clock::now();
    const std::clock_t c0 = std::clock();
    for (const std::string& t : texts) sink += TextToMbrolaLines(t, 1.0, 1.0).size();
    best_cpu = std::min(best_cpu, double(std::clock() - c0) / CLOCKS_PER_SEC);
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  std::printf("speed: %zu words in %zu texts through the whole pipeline: %.3f s wall, %.0f words/s; "
              "%.3f s processor time, %.0f words/s (%zu lines)\n",
              total_words, texts.size(), best, double(total_words) / best, best_cpu,
              double(total_words) / best_cpu, sink / 3);
  return 0;
}

// Every pair of phonemes the rules make inside the words of a list, after the "r2"/"s2" junctions, and
// every phoneme next to the pause: the diphones a voice for these rules needs.
int PrintPairs(const std::string& list) {
  std::vector<Entry> words;
  if (!ReadList(list, "all", &words)) {
    std::fprintf(stderr, "falatro-engine-text: cannot read %s\n", list.c_str());
    return 1;
  }
  std::set<std::pair<std::string, std::string>> pairs;
  std::set<std::string> names{"_"};
  auto bare = [](std::string p) {
    if (!p.empty() && p[0] == '>') p.erase(0, 1);
    if (!p.empty() && p[0] == '\xA8') p.erase(0, 1);
    return p;
  };
  for (const Entry& e : words) {
    std::vector<std::string> ph = WordPhonemes(e.word);
    for (std::string& p : ph) p = bare(p);
    // The junction forms of a final r2/s2 meet the vowels that begin words.
    std::vector<std::vector<std::string>> forms{ph};
    if (!ph.empty() && (ph.back() == "r2" || ph.back() == "s2")) {
      forms.push_back(ph);
      forms.back().back() = ph.back() == "r2" ? "r" : "z";
    }
    for (const auto& f : forms) {
      for (size_t k = 0; k + 1 < f.size(); ++k) pairs.insert({f[k], f[k + 1]});
      names.insert(f.begin(), f.end());
    }
  }
  for (const std::string& a : names) {
    pairs.insert({"_", a});
    pairs.insert({a, "_"});
  }
  // Across words: any phoneme (a word may end in any of them, spelled or cut short) before any
  // phoneme that begins a word.
  std::set<std::string> firsts;
  for (const Entry& e : words) {
    std::vector<std::string> ph = WordPhonemes(e.word);
    if (!ph.empty()) firsts.insert(bare(ph.front()));
  }
  for (const std::string& a : names)
    for (const std::string& b : firsts) pairs.insert({a, b});
  for (const auto& p : pairs) std::printf("%s %s\n", p.first.c_str(), p.second.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string data = FALATRO_SOURCE_DIR "/data/engine";
  std::string file, g2p, half = "all", speed, pairs, wav;
  bool speak = false;
  bool show_pre = false, show_tokens = false, show_phonemes = false, show_mbrola = false;
  const char* lang = std::getenv("LANG");
  bool utf8 = lang && (std::string(lang).find("UTF-8") != std::string::npos ||
                       std::string(lang).find("utf8") != std::string::npos);
  double dfactor = 1.0, pfactor = 1.0;
  int errors = 0, stress = 0;
  unsigned seed = 1;
  std::vector<std::string> texts;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) {
        Usage();
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "-p") show_pre = true;
    else if (a == "-t") show_tokens = true;
    else if (a == "-x") show_phonemes = true;
    else if (a == "-m") show_mbrola = true;
    else if (a == "-f" || a == "--file") file = next();
    else if (a == "--data") data = next();
    else if (a == "--speed-factor") dfactor = std::atof(next().c_str());
    else if (a == "--pitch-factor") pfactor = std::atof(next().c_str());
    else if (a == "--utf8") utf8 = true;
    else if (a == "--cp1252") utf8 = false;
    else if (a == "--g2p") g2p = next();
    else if (a == "--half") half = next();
    else if (a == "--errors") errors = std::atoi(next().c_str());
    else if (a == "--stress") stress = std::atoi(next().c_str());
    else if (a == "--seed") seed = static_cast<unsigned>(std::atoi(next().c_str()));
    else if (a == "--speed") speed = next();
    else if (a == "--pairs") pairs = next();
    else if (a == "--speak") speak = true;
    else if (a == "--wav") wav = next();
    else if (a == "-h" || a == "--help") {
      Usage();
      return 0;
    } else if (!a.empty() && a[0] == '-' && a.size() > 1) {
      Usage();
      return 2;
    } else texts.push_back(a);
  }
  FreeLetterRules();
  if (!LoadLetterRules(data + "/portug.nrl") || !LoadExceptions(data + "/portug.exc")) {
    std::fprintf(stderr, "falatro-engine-text: Erro na base de dados de portugu\xC3\xAAs (%s)\n", data.c_str());
    return 1;
  }
  if (!LoadAbbreviations(data + "/portug.abr")) {
    std::fprintf(stderr, "falatro-engine-text: Erro no arquivo de abreviaturas (%s)\n", data.c_str());
    return 1;
  }
  if (!LoadProsody(data + "/portug.pro") || !LoadDiphoneList(data + "/portug.dfn")) {
    std::fprintf(stderr, "falatro-engine-text: Erro no arquivo de pros\xC3\xB3" "dia (%s)\n", data.c_str());
    return 1;
  }

  if (!pairs.empty()) return PrintPairs(pairs);
  if (!g2p.empty() || !speed.empty()) {
    int rc = 0;
    if (!g2p.empty()) {
      std::vector<Entry> entries;
      if (!ReadList(g2p, half, &entries)) {
        std::fprintf(stderr, "falatro-engine-text: cannot read %s\n", g2p.c_str());
        return 1;
      }
      rc |= MeasureG2p(entries, errors);
      if (stress > 0) rc |= MeasureStress(entries, stress, seed, errors);
    }
    if (!speed.empty()) rc |= MeasureSpeed(speed);
    return rc;
  }

  if (!show_pre && !show_tokens && !show_phonemes && !show_mbrola) show_mbrola = true;
  if (!file.empty()) {
    std::string all;
    if (!ReadText(file, &all)) {
      std::fprintf(stderr, "falatro-engine-text: cannot read %s\n", file.c_str());
      return 1;
    }
    for (std::string& l : Lines(all)) texts.push_back(std::move(l));
  } else if (texts.empty()) {
    std::string line;
    while (std::getline(std::cin, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      texts.push_back(line);
    }
  } else {
    std::string joined;
    for (const std::string& t : texts) joined += (joined.empty() ? "" : " ") + t;
    texts = {joined};
  }
  auto in = [&](const std::string& s) { return utf8 && IsValidUtf8(s) ? Utf8ToCp1252(s) : s; };
  auto out = [&](const std::string& s) { return utf8 ? Cp1252ToUtf8(s) : s; };
  if (speak || !wav.empty()) {
    std::vector<std::string> said;
    for (const std::string& raw : texts) said.push_back(in(raw));
    return SpeakTexts(said, data, wav, dfactor, pfactor);
  }
  for (const std::string& raw : texts) {
    const TextPipelineResult r = RunTextPipeline(in(raw), dfactor, pfactor);
    if (show_pre) std::printf("%s\n", out(r.preprocessed).c_str());
    if (show_tokens)
      for (size_t k = 0; k < r.tokens.size(); ++k)
        std::printf("%s\t%s\n", out(r.tokens[k]).c_str(), out(r.contours[k]).c_str());
    if (show_phonemes) std::printf("%s\n", out(CompactPhonemes(r.phonemes)).c_str());
    if (show_mbrola)
      for (const std::string& l : r.mbrola_lines) std::printf("%s\n", out(l).c_str());
  }
  return 0;
}
