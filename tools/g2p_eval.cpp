// Measures the diphone voice's transcriber on word lists: phoneme and word accuracy against a reference
// transcription, stressed syllable against eSpeak NG, and transcription speed.
//
// Usage: g2p_eval [options] LIST...
//   Each LIST is a file with one word a line (cp1252, or UTF-8 when the whole file is valid UTF-8); a line "word<TAB>phonemes" also carries a reference
//   transcription (SAMPA, blank-separated, as in shared/eval/g2p-ptbr.tsv).
//   --rules FILE        rules file (default data/transcriber/regras.rgr of the source tree)
//   --exceptions FILE   exceptions file (default data/transcriber/portug.exc)
//   --print             print word, transcription and (when known) both reduced phoneme strings
//   --errors N          print up to N words whose reduced phonemes differ from the reference
//   --half even|odd     use only the even (dev) or odd (held-out) lines of each list
//   --stress N          compare the stressed syllable with `espeak-ng -v pt-br -x` on N random words
//   --seed S            seed of the random sample (default 1)
//   --speed             print transcription speed in words per second (best of 3 passes)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/text_encoding.h"
#include "tts/transcriber.h"

using namespace falatro;

namespace {

struct Entry {
  std::string word;                    // cp1252
  std::vector<std::string> reference;  // reduced phonemes, empty when unknown
  bool has_reference = false;
};

// Maps one reference SAMPA symbol to the reduced set.
std::string ReduceReference(const std::string& p) {
  if (p == "X") return "R";
  if (p == "j~") return "j";
  if (p == "w~") return "w";
  return p;
}

// Reduced phonemes of a transcription in the notation: brackets, "/" and blanks removed; digraphs and
// marks joined to their symbol. A spelled character ("_c") counts as one unknown phoneme "?".
std::vector<std::string> ReduceNotation(const std::string& t) {
  std::vector<std::string> out;
  std::string s;
  for (char c : t)
    if (c != '[' && c != ']' && c != '/' && c != ' ') s += c;
  size_t i = 0;
  auto starts = [&](const char* d) { return s.compare(i, std::char_traits<char>::length(d), d) == 0; };
  while (i < s.size()) {
    char c = s[i];
    char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c == '_') {
      out.push_back("?");
      i += 2;
      continue;
    }
    if (starts("tch")) { out.push_back("tS"); i += 3; continue; }
    if (starts("dj")) { out.push_back("dZ"); i += 2; continue; }
    if (starts("lh")) { out.push_back("L"); i += 2; continue; }
    if (starts("nh")) { out.push_back("J"); i += 2; continue; }
    if (starts("rr")) { out.push_back("R"); i += 2; continue; }
    if (std::string("aeiou").find(l) != std::string::npos) {
      char mark = i + 1 < s.size() ? s[i + 1] : '\0';
      std::string v(1, l);
      if (mark == '~') {
        v += '~';
        i += 2;
      } else if (mark == '^') {
        i += 2;
      } else {
        if (l == 'e') v = "E";
        if (l == 'o') v = "O";
        i += 1;
      }
      out.push_back(v);
      continue;
    }
    switch (l) {
      case 'y': out.push_back("j"); break;
      case 'x': out.push_back("S"); break;
      case 'j': out.push_back("Z"); break;
      case '^': case '~': break;
      default: out.push_back(std::string(1, l)); break;
    }
    ++i;
  }
  return out;
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

std::vector<std::string> MergeOpenClosed(std::vector<std::string> v) {
  for (auto& p : v) {
    if (p == "E") p = "e";
    if (p == "O") p = "o";
  }
  return v;
}

std::string Join(const std::vector<std::string>& v) {
  std::string s;
  for (const auto& p : v) s += (s.empty() ? "" : " ") + p;
  return s;
}

// Index (from 1) of the stressed vowel run of a word, counting runs of vowels and glides from the start
// of the word. Runs rather than nuclei keep the figure independent of how each side splits vowel
// sequences into glides and syllables (ia, ua, ai...). A word with a single run is stressed on it;
// 0 means no stress was found.
int StressedRun(const std::string& t, const std::string& vowels, bool espeak) {
  int count = 0, stressed = 0;
  bool in_run = false, pending = false;
  for (size_t i = 0; i < t.size(); ++i) {
    char c = t[i];
    if (espeak && c == '\'') {
      pending = true;
      continue;
    }
    // Marks inside a run: stress and hiatus marks of eSpeak NG, the notation's vowel marks.
    if (c == ',' || c == ';' || c == '~' || c == '^' || c == ':') continue;
    bool v = vowels.find(c) != std::string::npos;
    if (espeak && c == '@' && i + 1 < t.size() && t[i + 1] == '-') v = false;  // inserted vowel
    if (v && !in_run) ++count;
    if (v && !stressed) {
      if (espeak ? pending : (std::string("AEIOU").find(c) != std::string::npos)) stressed = count;
    }
    in_run = v;
  }
  if (!stressed && count == 1) stressed = 1;
  return stressed;
}

bool ReadLists(const std::vector<std::string>& files, const std::string& half, std::vector<Entry>* out) {
  for (const auto& f : files) {
    std::ifstream in(f, std::ios::binary);
    if (!in) {
      std::cerr << "g2p_eval: cannot open " << f << "\n";
      return false;
    }
    // A list entirely in valid UTF-8 (such as /usr/share/dict/brazilian) is converted to cp1252.
    std::string all;
    try {
      all.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::exception&) {
      std::cerr << "g2p_eval: cannot read " << f << "\n";
      return false;
    }
    if (IsValidUtf8(all)) all = Utf8ToCp1252(all);
    std::istringstream lines(all);
    std::string line;
    size_t n = 0;
    while (std::getline(lines, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) continue;
      size_t index = n++;
      if (half == "even" && index % 2 != 0) continue;
      if (half == "odd" && index % 2 != 1) continue;
      Entry e;
      size_t tab = line.find('\t');
      e.word = line.substr(0, tab);
      if (tab != std::string::npos) {
        e.has_reference = true;
        std::istringstream ph(line.substr(tab + 1));
        std::string p;
        while (ph >> p) e.reference.push_back(ReduceReference(p));
      }
      out->push_back(std::move(e));
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string rules = std::string(FALATRO_SOURCE_DIR) + "/data/transcriber/regras.rgr";
  std::string exceptions = std::string(FALATRO_SOURCE_DIR) + "/data/transcriber/portug.exc";
  std::string half = "all";
  bool print = false, speed = false;
  int errors = 0, stress = 0;
  unsigned seed = 1;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "--rules") rules = next();
    else if (a == "--exceptions") exceptions = next();
    else if (a == "--print") print = true;
    else if (a == "--errors") errors = std::atoi(next().c_str());
    else if (a == "--half") half = next();
    else if (a == "--stress") stress = std::atoi(next().c_str());
    else if (a == "--seed") seed = static_cast<unsigned>(std::atoi(next().c_str()));
    else if (a == "--speed") speed = true;
    else if (!a.empty() && a[0] == '-') {
      std::cerr << "g2p_eval: unknown option " << a << "\n";
      return 2;
    } else files.push_back(a);
  }
  if (files.empty()) {
    std::cerr << "usage: g2p_eval [--rules F] [--exceptions F] [--print] [--errors N] [--half even|odd]"
                 " [--stress N] [--seed S] [--speed] LIST...\n";
    return 2;
  }
  std::string error;
  if (!LoadTranscriptionRules(rules, &error) || !LoadTranscriptionExceptions(exceptions, &error)) {
    std::cerr << "g2p_eval: " << error << "\n";
    return 1;
  }
  std::cout << "rules: " << rules << "\nexceptions: " << exceptions << " ("
            << Transcriber.exceptions.size() << " entries)\n";
  std::vector<Entry> entries;
  if (!ReadLists(files, half, &entries)) return 1;

  size_t ref_words = 0, words_right = 0, words_right_merged = 0;
  size_t ref_phonemes = 0, dist = 0, dist_merged = 0;
  int shown = 0;
  for (const Entry& e : entries) {
    std::string t = TranscribeText(e.word);
    std::vector<std::string> mine = ReduceNotation(t);
    if (print) {
      std::cout << Cp1252ToUtf8(e.word) << "\t" << Cp1252ToUtf8(t);
      if (e.has_reference) std::cout << "\t" << Join(mine) << "\t" << Join(e.reference);
      std::cout << "\n";
    }
    if (!e.has_reference) continue;
    ++ref_words;
    ref_phonemes += e.reference.size();
    size_t d = EditDistance(mine, e.reference);
    size_t dm = EditDistance(MergeOpenClosed(mine), MergeOpenClosed(e.reference));
    dist += d;
    dist_merged += dm;
    if (d == 0) ++words_right;
    if (dm == 0) ++words_right_merged;
    if (d != 0 && shown < errors) {
      ++shown;
      std::cout << "ERR " << Cp1252ToUtf8(e.word) << "\t" << Cp1252ToUtf8(t) << "\t" << Join(mine)
                << "\t|\t" << Join(e.reference) << "\n";
    }
  }
  if (ref_words > 0) {
    std::printf("words with reference: %zu, phonemes: %zu\n", ref_words, ref_phonemes);
    std::printf("phonemes right: %.2f%%  words right: %.2f%%\n",
                100.0 * (1.0 - double(dist) / double(ref_phonemes)), 100.0 * words_right / ref_words);
    std::printf("with open/closed e and o merged: phonemes right: %.2f%%  words right: %.2f%%\n",
                100.0 * (1.0 - double(dist_merged) / double(ref_phonemes)),
                100.0 * words_right_merged / ref_words);
  }

  if (stress > 0 && !entries.empty()) {
    std::vector<size_t> idx(entries.size());
    for (size_t i = 0; i < idx.size(); ++i) idx[i] = i;
    std::mt19937 rng(seed);
    std::shuffle(idx.begin(), idx.end(), rng);
    idx.resize(std::min(idx.size(), static_cast<size_t>(stress)));
    char tmpl[] = "/tmp/g2p_eval_XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd < 0) {
      std::perror("mkstemp");
      return 1;
    }
    close(fd);
    {
      std::ofstream out(tmpl, std::ios::binary);
      for (size_t i : idx) out << Cp1252ToUtf8(entries[i].word) << "\n\n";
    }
    std::string cmd = std::string("espeak-ng -v pt-br -x -q -f ") + tmpl;
    FILE* p = popen(cmd.c_str(), "r");
    std::vector<std::string> lines;
    if (p) {
      char buf[4096];
      while (std::fgets(buf, sizeof buf, p)) {
        std::string l(buf);
        while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
        size_t b = l.find_first_not_of(' ');
        if (b == std::string::npos) continue;
        lines.push_back(l.substr(b));
      }
      pclose(p);
    }
    std::remove(tmpl);
    if (lines.size() != idx.size()) {
      std::printf("stress: espeak-ng gave %zu lines for %zu words; not compared\n", lines.size(),
                  idx.size());
    } else {
      size_t agree = 0;
      int shown_stress = 0;
      for (size_t k = 0; k < idx.size(); ++k) {
        const Entry& e = entries[idx[k]];
        std::string t = TranscribeText(e.word);
        std::string flat;
        for (char c : t)
          if (c != '[' && c != ']' && c != '/' && c != ' ') flat += c;
        int mine = StressedRun(flat, "aeiouAEIOUyw", false);
        int ref = StressedRun(lines[k], "a&eEiIoOuUy@jw", true);
        if (mine == ref) {
          ++agree;
        } else if (shown_stress < errors) {
          ++shown_stress;
          std::cout << "STRESS " << Cp1252ToUtf8(e.word) << "\t" << t << " (" << mine << ")\t"
                    << lines[k] << " (" << ref << ")\n";
        }
      }
      std::printf("stress agrees with espeak-ng on %zu of %zu words: %.2f%%\n", agree, idx.size(),
                  100.0 * agree / idx.size());
    }
  }

  if (speed && !entries.empty()) {
    double best = 1e9;
    size_t sink = 0;
    for (int pass = 0; pass < 3; ++pass) {
      auto t0 = std::chrono::steady_clock::now();
      for (const Entry& e : entries) sink += TranscribeText(e.word).size();
      double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      best = std::min(best, s);
    }
    std::printf("speed: %zu words in %.3f s: %.0f words/s (output %zu bytes)\n", entries.size(), best,
                entries.size() / best, sink / 3);
  }
  return 0;
}
