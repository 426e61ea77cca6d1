// Prosody: configuration and diphone list loaders, tokens, contours, durations and pitch targets.
#include "tts/prosody.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/text_lines.h"
#include "tts/text_preprocessor.h"

namespace falatro {

ProsodyState Prosody;

namespace {

const char kDurationHeading[] = "[DURA\xC7\xC3O]";
const char kKeywordHeading[] = "[CHAVES]";
const char kPatternHeading[] = "[PROS\xD3" "DIA]";
const char kBadPhoneme[] = "Configura\xE7\xE3o da pros\xF3" "dia: fonema errado: ";
const char kBadKey[] = "Configura\xE7\xE3o da pros\xF3" "dia: chave errada: ";

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = UpperCp1252(c);
  return out;
}

// A whole decimal integer with an optional sign and nothing else.
bool ParseInt(const std::string& s, int* value) {
  if (s.empty()) return false;
  char* end = nullptr;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (*end != '\0' || v < -1000000 || v > 1000000 || !(std::isdigit(static_cast<unsigned char>(s.back()))))
    return false;
  *value = static_cast<int>(v);
  return true;
}

bool IsLetter(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z')) return true;
  switch (u & 0xDF) {
    case 0xC0: case 0xC1: case 0xC2: case 0xC3: case 0xC7: case 0xC9: case 0xCA: case 0xCC: case 0xCD:
    case 0xD1: case 0xD3: case 0xD4: case 0xD5: case 0xD9: case 0xDA: case 0xDC:
      return u >= 0xC0;
    default:
      return false;
  }
}

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '2' || c == '@' || c == '_';
}

// Nearest integer, halves to the even one.
long RoundHalfEven(double x) {
  const double f = std::floor(x);
  const double diff = x - f;
  long r = static_cast<long>(f);
  if (diff > 0.5 || (diff == 0.5 && (r % 2 != 0))) ++r;
  return r;
}

// The lines of one section (heading compared after trimming), without skipped lines; false when absent.
bool Section(const std::vector<std::string_view>& lines, const char* heading, std::vector<std::string_view>* out) {
  size_t k = 0;
  while (k < lines.size() && Trim(lines[k]) != heading) ++k;
  if (k == lines.size()) return false;
  for (++k; k < lines.size() && !(lines[k].size() > 0 && lines[k][0] == '['); ++k) {
    std::string_view l = lines[k];
    if (Trim(l).empty() || l[0] == ';' || l[0] == '*') continue;
    out->push_back(l);
  }
  return true;
}

bool ReadFile(const std::string& path, std::string* text) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text->append(buf, n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  return !failed;
}

int DurationOf(const std::string& name) {
  auto it = Prosody.duration_index.find(name);
  return it == Prosody.duration_index.end() ? 100 : it->second;
}

// Messages that do not fail the load (a bad duration number) go to standard error when loading a file.
bool g_report_to_stderr = false;
void Report(const std::string& message) {
  if (g_report_to_stderr) std::fprintf(stderr, "%s\n", message.c_str());
}

bool Fail(const std::string& message) {
  Prosody.error = message;
  Report(message);
  return false;
}

}  // namespace

bool ParseProsody(std::string_view text) {
  Prosody.durations.clear();
  Prosody.duration_index.clear();
  Prosody.keywords.clear();
  Prosody.patterns.clear();
  Prosody.hertz = kDefaultHertz;
  Prosody.tabhertz.fill(0);
  Prosody.error.clear();
  std::vector<std::string_view> lines;
  ForEachLine(text, [&lines](std::string_view l) { lines.push_back(l); });

  std::vector<std::string_view> section;
  if (!Section(lines, kDurationHeading, &section)) return Fail("Dura\xE7\xE3o dos difones errada ou ausente");
  for (std::string_view l : section) {
    const size_t eq = l.find('=');
    if (eq == std::string_view::npos) return Fail(kBadPhoneme + std::string(l));
    std::string name = Trim(l.substr(0, eq)).substr(0, 2);
    int ms = 100;
    if (!ParseInt(Trim(l.substr(eq + 1)), &ms) || ms < 0) {
      Report(kBadPhoneme + std::string(l));
      ms = 100;
    }
    if (Prosody.durations.size() < kMaxDurations) {
      Prosody.duration_index.emplace(name, ms);  // the first entry of a name wins
      Prosody.durations.emplace_back(std::move(name), ms);
    }
  }

  section.clear();
  if (!Section(lines, kKeywordHeading, &section)) return Fail("Pros\xF3" "dia: palavras chaves ausentes");
  for (std::string_view l : section) {
    const size_t eq = l.find('=');
    if (eq == std::string_view::npos) return Fail(kBadKey + std::string(l));
    if (Prosody.keywords.size() >= kMaxKeywords) continue;
    Prosody.keywords.push_back({Upper(Trim(l.substr(0, eq))), Upper(Trim(l.substr(eq + 1))).substr(0, 2)});
  }
  std::stable_sort(Prosody.keywords.begin(), Prosody.keywords.end(),
                   [](const TChave& a, const TChave& b) { return a.word < b.word; });

  section.clear();
  if (!Section(lines, kPatternHeading, &section)) return Fail("Pros\xF3" "dia: especifica\xE7\xF5" "es ausentes");
  for (std::string_view raw : section) {
    const std::string l = Upper(raw);
    const size_t eq = l.find('=');
    if (eq == std::string::npos) return Fail(kBadKey + std::string(raw));
    const std::string key = Trim(std::string_view(l).substr(0, eq));
    const std::string value = Trim(std::string_view(l).substr(eq + 1));
    if (key == "HERTZ") {
      if (!ParseInt(value, &Prosody.hertz) || Prosody.hertz <= 0) return Fail(kBadKey + std::string(raw));
      continue;
    }
    if (key == "TABHERTZ") {
      std::array<int, 10> table{};
      size_t start = 0, count = 0;
      while (true) {
        const size_t comma = value.find(',', start);
        const std::string item = Trim(std::string_view(value).substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (count == 10 || !ParseInt(item, &table[count]) || table[count] < 0) return Fail(kBadKey + std::string(raw));
        ++count;
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
      if (count != 10) return Fail(kBadKey + std::string(raw));
      Prosody.tabhertz = table;
      continue;
    }
    if (Prosody.patterns.size() >= kMaxContourPatterns) continue;
    TProsodia p;
    std::string* fields[3] = {&p.previous, &p.own, &p.next};
    size_t start = 0;
    for (int f = 0; f < 3 && start <= key.size(); ++f) {
      const size_t bar = key.find('|', start);
      *fields[f] = Trim(std::string_view(key).substr(start, bar == std::string::npos ? std::string::npos : bar - start)).substr(0, 3);
      if (bar == std::string::npos) break;
      start = bar + 1;
    }
    // A contour always has three characters, so the text after it starts where the later stages look;
    // a missing level is one without a pitch target.
    p.contour = value.substr(0, 3);
    while (p.contour.size() < 3) p.contour += '-';
    Prosody.patterns.push_back(std::move(p));
  }
  return true;
}

bool LoadProsody(const std::string& path) {
  std::string text;
  g_report_to_stderr = true;
  bool ok;
  if (!ReadFile(path, &text)) {
    ok = Fail("Configura\xE7\xE3o da pros\xF3" "dia n\xE3o foi achada");
  } else {
    ok = ParseProsody(text);
  }
  g_report_to_stderr = false;
  return ok;
}

void ParseDiphoneList(std::string_view text) {
  Prosody.diphones.clear();
  ForEachLine(text, [](std::string_view raw) {
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '!' || line[0] == '*' || line[0] == ';') return;
    size_t k = 0;
    while (k < line.size() && IsNameChar(line[k])) ++k;
    std::string key = line.substr(0, k) + "-";
    while (k < line.size() && !IsNameChar(line[k])) ++k;
    while (k < line.size() && IsNameChar(line[k])) key += line[k++];
    for (char& c : key) c = UpperCp1252(c);
    Prosody.diphones.push_back(std::move(key));
  });
  std::sort(Prosody.diphones.begin(), Prosody.diphones.end());
  Prosody.diphone_index = std::unordered_set<std::string>(Prosody.diphones.begin(), Prosody.diphones.end());
}

bool LoadDiphoneList(const std::string& path) {
  std::string text;
  if (!ReadFile(path, &text)) return false;
  ParseDiphoneList(text);
  return true;
}

void FreeDiphoneList() {
  Prosody.diphones.clear();
  Prosody.diphones.shrink_to_fit();
  Prosody.diphone_index.clear();
}

bool HasDiphone(std::string_view first, std::string_view second) {
  thread_local std::string key;
  key.clear();
  for (char c : first) key += UpperCp1252(c);
  key += '-';
  for (char c : second) key += UpperCp1252(c);
  return Prosody.diphone_index.count(key) != 0;
}

std::vector<std::string> TokenizeText(std::string_view text) {
  std::vector<std::string> tokens{"[--]"};
  size_t i = 0;
  const size_t n = text.size();
  while (true) {
    while (i < n && text[i] == ' ') ++i;
    if (i >= n) break;
    std::string code, token;
    if (text[i] == '.' && i + 1 < n && text[i + 1] == '.') {
      while (i < n && text[i] == '.') ++i;
      code = ".-";
      token = ".";
    } else if (!IsLetter(text[i])) {
      code = std::string(2, text[i]);
      token = std::string(1, text[i]);
      ++i;
    } else {
      const size_t start = i;
      while (i < n && IsLetter(text[i])) ++i;
      token = std::string(text.substr(start, i - start));
      const std::string key = Upper(token);
      auto it = std::lower_bound(Prosody.keywords.begin(), Prosody.keywords.end(), key,
                                 [](const TChave& k, const std::string& w) { return k.word < w; });
      code = (it != Prosody.keywords.end() && it->word == key) ? it->klass : "XX";
      // Class codes are two characters wide in the token line; a shorter one is padded with blanks.
      code.resize(2, ' ');
    }
    tokens.push_back("[" + code + "]" + token);
    if (token[0] == '!' || token[0] == '.' || token[0] == '?') tokens.push_back("[--]");
  }
  return tokens;
}

std::vector<std::string> ChooseContours(const std::vector<std::string>& tokens) {
  std::vector<std::string> out;
  out.reserve(tokens.size());
  auto code_of = [&tokens](size_t k) -> std::string {
    if (k >= tokens.size() || tokens[k].size() < 3) return "";
    std::string code = tokens[k].substr(1, 2);
    while (!code.empty() && code.back() == ' ') code.pop_back();
    return code;
  };
  std::string previous_contour = "5";
  for (size_t k = 0; k < tokens.size(); ++k) {
    const std::string prev = k > 0 ? code_of(k - 1) : "", own = code_of(k), next = code_of(k + 1);
    std::string contour = "555";
    for (const TProsodia& p : Prosody.patterns) {
      if ((p.previous.empty() || p.previous == prev) && (p.own.empty() || p.own == own) &&
          (p.next.empty() || p.next == next)) {
        contour = p.contour;
        break;
      }
    }
    if (contour[0] == '?') contour[0] = previous_contour.back();
    previous_contour = contour;
    out.push_back(contour + "|" + (tokens[k].size() > 4 ? tokens[k].substr(4) : ""));
  }
  return out;
}

std::vector<std::string> ComputeProsody(const std::vector<std::string>& phonemes, double duration_factor,
                                        double pitch_factor) {
  std::vector<std::string> out;
  out.reserve(phonemes.size() * 2);
  std::string contour = "555", previous = "_";
  std::string& current = Prosody.current_phoneme;
  int percentage = 100, pitch_state = 0;
  size_t word_length = 0;
  auto target = [&](char level_char, int position) -> std::string {
    if (level_char < '0' || level_char > '9') return "";
    const int level = Prosody.tabhertz[level_char - '0'];
    if (level == 0) return "";
    const long hz = RoundHalfEven(level * pitch_factor * Prosody.hertz) / 100;
    if (hz <= 0) return "";  // a factor at or below zero leaves the pitch to the synthesizer
    return " " + std::to_string(position) + " " + std::to_string(hz);
  };
  for (size_t k = 0; k < phonemes.size(); ++k) {
    std::string line = phonemes[k];
    const bool last_of_word = k + 1 == phonemes.size() || phonemes[k + 1].empty();
    if (line.size() >= 5 && line[0] == ';' && line[4] == '|') {
      contour = line.substr(1, 3);
      line = ";" + line.substr(5);
      word_length = line.size();
      pitch_state = 0;
    } else if (line.empty()) {
      percentage = 100;
      current.clear();
    } else {
      if (line[0] == '>') {
        line.erase(0, 1);
        if (!line.empty() && line[0] == '\xA8') line.erase(0, 1);
        percentage = 145;
        pitch_state = 2;
      } else if (line[0] == '\xA8') {
        line.erase(0, 1);
        percentage = 100;
      }
      std::string name;
      long base;
      if (!line.empty() && line[0] == '_') {
        if (line == "_") line = "_ 100";
        if (line.size() > 1 && line[1] == ' ') {
          // A pause's own duration, kept within what a synthesizer can take (never negative).
          base = std::clamp(std::strtol(line.c_str() + 2, nullptr, 10), 0L, 60000L);
        }
        else base = DurationOf(line);
        name = "_";
      } else {
        name = line;
        base = DurationOf(name);
        if (pitch_state < 2) {
          if (word_length > 13) base = base * 80 / 100;
          else if (word_length > 9) base = base * 90 / 100;
        }
      }
      const long duration =
          std::max(0L, RoundHalfEven(static_cast<double>(base) * percentage * duration_factor) / 100);
      line = name + " " + std::to_string(duration);
      if (pitch_state == 0) {
        line += target(contour[0], 50);
        pitch_state = 1;
      } else if (pitch_state == 2) {
        line += target(contour[1], 80);
        pitch_state = 3;
      } else if (pitch_state == 3 && last_of_word) {
        line += target(contour[2], 50);
      }
      current = name;
    }
    if (!current.empty()) {
      if (!HasDiphone(previous, current)) {
        if (previous == "r2" && HasDiphone("_", current)) out.push_back("_ 50");
        else out.push_back(HasDiphone("y", current) ? "y 50" : "_ 50");
      }
      if (!line.empty()) previous = current;
    }
    out.push_back(std::move(line));
  }
  return out;
}

}  // namespace falatro
