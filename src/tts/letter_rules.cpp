// Exceptions dictionary, letter-to-sound rules and the sentence transcription with word junctions.
#include "tts/letter_rules.h"

#include <algorithm>
#include <cstdio>

#include "base/text_lines.h"
#include "tts/stress.h"
#include "tts/text_preprocessor.h"

namespace falatro {

LetterRulesState LetterRules;

namespace {

enum CharClass : uint16_t {
  kVowel = 1,
  kBackVowel = 2,
  kFrontVowel = 4,
  kConsonant = 8,
  kLiquid = 16,
  kSibilant = 32,
  kAspirate = 64,
  kSonorant = 128,
  kFinalConsonant = 256,
  kPunctuation = 512,
};

struct ClassTable {
  uint16_t bits[256] = {};
  ClassTable() {
    auto add = [this](std::string_view chars, uint16_t bit) {
      for (char c : chars) bits[static_cast<unsigned char>(c)] |= bit;
    };
    add("AEIOUaeiou\xC0\xC1\xC2\xC3\xC9\xCA\xCC\xCD\xD3\xD4\xD5\xD9\xDA\xDC"
        "\xE0\xE1\xE2\xE3\xE9\xEA\xEC\xED\xF3\xF4\xF5\xF9\xFA\xFC",
        kVowel);
    add("AOao\xC1\xC2\xD3\xD4\xE1\xE2\xF3\xF4", kBackVowel);
    add("EIei\xC9\xCD\xE9\xED", kFrontVowel);
    add("BCDFGHJKLMNPQRSTVWXYZbcdfghjklmnpqrstvwxyz\xC7\xD1\xE7\xF1", kConsonant);
    add("LRlr", kLiquid);
    add("Ss", kSibilant);
    add("Hh", kAspirate);
    add("LMNRZlmnrz", kSonorant);
    add("NRSnrs", kFinalConsonant);
    add(" !(),.:;?", kPunctuation);
  }
};

const ClassTable kClasses;

bool Is(char c, uint16_t bit) { return kClasses.bits[static_cast<unsigned char>(c)] & bit; }

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

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

// The word's character at a 1-based cursor, or 0 outside the word.
char At(std::string_view word, int cursor) {
  return cursor >= 1 && cursor <= static_cast<int>(word.size()) ? UpperAscii(word[cursor - 1]) : '\0';
}

bool LeftMatches(std::string_view pattern, std::string_view word, int cursor) {
  for (size_t k = pattern.size(); k-- > 0;) {
    const char sym = pattern[k];
    const char c = At(word, cursor);
    switch (sym) {
      case '#':
        if (!c || !Is(c, kVowel)) return false;
        --cursor;
        break;
      case '%':
        if (cursor >= 1) return false;
        break;
      case ']':
        if (!c || !Is(c, kBackVowel)) return false;
        --cursor;
        break;
      case '_':
        if (cursor < 1) break;
        if (!c || !Is(c, kVowel)) return false;
        --cursor;
        break;
      case '|':
        if (!c || !Is(c, kFinalConsonant)) return false;
        --cursor;
        break;
      default:
        if (!c || c != sym) return false;
        --cursor;
        break;
    }
  }
  return true;
}

bool RightMatches(std::string_view pattern, std::string_view word, int cursor) {
  const int n = static_cast<int>(word.size());
  for (char sym : pattern) {
    const char c = At(word, cursor);
    switch (sym) {
      case '#':
        if (!c || !Is(c, kVowel)) return false;
        ++cursor;
        break;
      case '%':
        if (cursor <= n) return false;
        break;
      case '&':
        if (!c || !Is(c, kSonorant)) return false;
        ++cursor;
        break;
      case '*':
        if (!c || !Is(c, kConsonant) || c == 'L' || c == 'R') return false;
        break;
      case '+':
        if (!c || !Is(c, kFrontVowel)) return false;
        ++cursor;
        break;
      case '[':
        if (cursor <= n && (!c || !Is(c, kConsonant) || c == 'H')) return false;
        break;
      case '\\':
        if (c == 'S') ++cursor;
        break;
      default:
        if (!c || c != sym) return false;
        ++cursor;
        break;
    }
  }
  return true;
}

}  // namespace

void ParseLetterRules(std::string_view text) {
  ForEachLine(text, [](std::string_view line) {
    if (line.empty() || line[0] == ';') return;
    const size_t open = line.find('(');
    if (open == std::string_view::npos) return;  // no centre
    const size_t close = line.find(')', open + 1);
    const size_t centre_end = close == std::string_view::npos ? line.size() : close;
    LetterRule rule;
    rule.left = std::string(line.substr(0, std::min(open, kLetterRuleContextWidth)));
    // The left context is matched from its last symbol: a long one keeps its first five, as written.
    rule.centre = std::string(line.substr(open + 1, std::min(centre_end - open - 1, kLetterRuleCentreWidth)));
    if (rule.centre.empty() || static_cast<unsigned char>(rule.centre[0]) < 32) return;
    if (close != std::string_view::npos) {
      const size_t eq = line.find('=', close + 1);
      const size_t right_end = eq == std::string_view::npos ? line.size() : eq;
      rule.right = std::string(line.substr(close + 1, std::min(right_end - close - 1, kLetterRuleContextWidth)));
      if (eq != std::string_view::npos) {
        const size_t bar = line.find('|', eq + 1);
        const size_t out_end = bar == std::string_view::npos ? line.size() : bar;
        rule.output = std::string(line.substr(eq + 1, std::min(out_end - eq - 1, kLetterRuleOutputWidth)));
      }
    }
    for (char& c : rule.centre) c = UpperAscii(c);
    LetterRules.rules[static_cast<unsigned char>(rule.centre[0])].push_back(std::move(rule));
  });
}

bool LoadLetterRules(const std::string& path) {
  std::string text;
  if (!ReadFile(path, &text)) return false;
  ParseLetterRules(text);
  return true;
}

void FreeLetterRules() {
  for (auto& list : LetterRules.rules) {
    list.clear();
    list.shrink_to_fit();
  }
}

void ParseExceptions(std::string_view text) {
  auto& table = LetterRules.exceptions;
  table.clear();
  ForEachLine(text, [](std::string_view raw) {
    auto& table = LetterRules.exceptions;
    if (table.size() >= kMaxExceptions) return;
    std::string line(raw.substr(0, kExceptionLineLength));
    if (line.empty()) return;
    for (char& c : line) c = UpperCp1252(c);
    const size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) return;
    const size_t bar = line.find('|', eq + 1);
    palavra_alias entry;
    entry.word = line.substr(0, eq);
    entry.alias = line.substr(eq + 1, bar == std::string::npos ? std::string::npos : bar - eq - 1);
    table.push_back(std::move(entry));
  });
  std::stable_sort(table.begin(), table.end(),
                   [](const palavra_alias& a, const palavra_alias& b) { return a.word < b.word; });
}

bool LoadExceptions(const std::string& path) {
  std::string text;
  if (!ReadFile(path, &text)) return false;
  ParseExceptions(text);
  return true;
}

void LookUpException(std::string& word) {
  const auto& table = LetterRules.exceptions;
  std::string stem = word, suffix;
  while (!stem.empty()) {
    auto it = std::lower_bound(table.begin(), table.end(), stem,
                               [](const palavra_alias& e, const std::string& w) { return e.word < w; });
    if (it != table.end() && it->word == stem) {
      word = it->alias + suffix;
      return;
    }
    const char last = stem.back();
    if (last != 'S' && last != 'M') break;
    suffix.insert(suffix.begin(), last);
    stem.pop_back();
  }
}

void TranscribeWord(std::string_view word, int stress_position, std::vector<std::string>& phonemes) {
  const int n = static_cast<int>(word.size());
  bool marked = stress_position < 1;
  std::string phoneme;
  int pos = 1;
  while (pos <= n) {
    const LetterRule* match = nullptr;
    for (const LetterRule& rule : LetterRules.rules[static_cast<unsigned char>(UpperAscii(word[pos - 1]))]) {
      const int len = static_cast<int>(rule.centre.size());
      if (pos + len - 1 > n) continue;
      bool same = true;
      for (int k = 0; k < len && same; ++k) same = UpperAscii(word[pos - 1 + k]) == rule.centre[k];
      if (!same || !LeftMatches(rule.left, word, pos - 1) || !RightMatches(rule.right, word, pos + len)) continue;
      match = &rule;
      break;
    }
    if (!match) {
      ++pos;
      continue;
    }
    const size_t used = std::min(match->output.size(), kLetterRuleOutputUsed);
    for (size_t k = 0; k < used; ++k) {
      if (!marked && pos >= stress_position) {
        phoneme += '>';
        marked = true;
      }
      if (match->output[k] == '&') {
        phonemes.push_back(phoneme);
        phoneme.clear();
      } else {
        phoneme += match->output[k];
      }
    }
    if (!match->output.empty()) {
      phonemes.push_back(phoneme);
      phoneme.clear();
    }
    pos += static_cast<int>(match->centre.size());
  }
  phonemes.push_back(phoneme);
}

std::vector<std::string> TranscribeSentence(const std::vector<std::string>& contours) {
  std::vector<std::string> out;
  std::vector<size_t> markers;
  for (const std::string& line : contours) {
    markers.push_back(out.size());
    out.push_back(";" + line);
    std::string text = line.size() > 4 ? line.substr(4) : "";
    for (char& c : text) c = UpperCp1252(c);
    if (text.empty()) {
      out.push_back("__");
      out.push_back("");
    } else if (Is(text[0], kPunctuation)) {
      if (text[0] != ' ') out.push_back(std::string("_") + text[0]);
    } else {
      LookUpException(text);
      const int stress = IsFunctionWord(text) ? 0 : FindStressPosition(text);
      TranscribeWord(text, stress, out);
    }
  }
  out.push_back("__");
  // Word junctions: a final strong r or s before a word that begins with a vowel (stressed or not).
  for (size_t m : markers) {
    if (m < 3 || m + 2 > out.size()) continue;
    std::string_view next = out[m + 1];
    if (!next.empty() && next[0] == '>') next.remove_prefix(1);
    if (!next.empty() && next[0] == '\xA8') next.remove_prefix(1);
    if (next.empty() || std::string_view("aeiouwy").find(next[0]) == std::string_view::npos) continue;
    std::string& last = out[m - 2];
    if (last == "r2") last = "r";
    else if (last == "s2") last = "z";
  }
  return out;
}

}  // namespace falatro
