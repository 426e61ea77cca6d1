// Phonetic transcriber: normalisation, tokens, exceptions, stress marking and letter-to-sound rules.
#include "base/text_lines.h"
#include "tts/transcriber.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace falatro {

TranscriberState Transcriber;

namespace {

constexpr char kPlaceholder = '\x01';

// Replacement of cp1252 bytes 128..255; "" means the byte has no reading. Accented letters become
// the letter followed by its accent mark. Codes 128..160 have their cp1252 meaning: the letters
// Š Œ Ž š œ ž Ÿ as the Portuguese letters closest in sound, quotes and the no-break space as blanks,
// the ellipsis as "...", the dashes as " - "; the euro sign, the curly apostrophes and the marks said
// by name are handled before this table (see NormalizeForTranscription).
const char* const kHighTable[128] = {
    /*128*/ "", "", " ", "", " ", "...", "", "",
    /*136*/ "", "", "ch", "", "e", "", "j", "",
    /*144*/ "", " ", " ", " ", " ", "", " - ", " - ",
    /*152*/ "", "", "ch", "", "e", "", "j", "i",
    /*160*/ " ", "i'", "o'", "u'", "nh", "nh", "", "\xA7",
    /*168*/ "?", "", "", "\xAA", "", "!", "\"", "\"",
    /*176*/ "", "", "", "", "", "", "", "",
    /*184*/ "", "", "", "\xBA", "", "", "", "?",
    /*192*/ "a`", "a'", "a^", "a~", "a~", "a", "ae", "\xE7",
    /*200*/ "e`", "e'", "e^", "e\"", "i`", "i'", "i^", "i\"",
    /*208*/ "", "nh", "o`", "o'", "o^", "o~", "o`", "x",
    /*216*/ "0", "u`", "u'", "u^", "u", "", "", "",
    /*224*/ "a`", "a'", "a^", "a~", "a~", "a", "ae", "\xE7",
    /*232*/ "e`", "e'", "e^", "e\"", "i`", "i'", "i^", "i\"",
    /*240*/ "", "nh", "o`", "o'", "o^", "o~", "o`", "x",
    /*248*/ "0", "u`", "u'", "u^", "u", "", "", "",
};

// A letter of the original text, for the curly apostrophe: ASCII or a cp1252 accented letter.
bool IsTextLetter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c != 0xD7 && c != 0xF7);
}

// True when the euro sign at text[i] follows a number other than one (blanks between allowed).
bool EuroIsPlural(std::string_view text, size_t i) {
  size_t end = i;
  while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\xA0')) --end;
  size_t start = end;
  while (start > 0 && ((text[start - 1] >= '0' && text[start - 1] <= '9') || text[start - 1] == '.' ||
                       text[start - 1] == ',')) {
    --start;
  }
  std::string_view amount = text.substr(start, end - start);
  if (amount.empty()) return false;
  const size_t comma = amount.find(',');
  std::string_view whole = amount.substr(0, comma);
  std::string_view cents = comma == std::string_view::npos ? std::string_view() : amount.substr(comma + 1);
  const bool one = whole == "1" && cents.find_first_not_of('0') == std::string_view::npos;
  return !one;
}

bool IsAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

uint8_t ClassOf(char c) { return Transcriber.char_class[static_cast<unsigned char>(c)]; }
bool IsVowel(char c) { return ClassOf(c) & kTcVowel; }
bool IsConsonant(char c) { return ClassOf(c) & kTcConsonant; }
bool IsAccentMark(char c) { return ClassOf(c) & kTcAccent; }
bool IsLetter(char c) { return ClassOf(c) & (kTcVowel | kTcConsonant); }
bool IsWordChar(char c) { return ClassOf(c) & (kTcVowel | kTcConsonant | kTcAccent); }

void ResetCharClasses() {
  auto& cls = Transcriber.char_class;
  cls.fill(0);
  for (int c = 'A'; c <= 'Z'; ++c) {
    cls[c] = kTcConsonant;
    cls[c + 32] = kTcConsonant;
  }
  for (char v : std::string_view("AEIOUaeiou")) cls[static_cast<unsigned char>(v)] = kTcVowel;
  for (char v : std::string_view("AOao")) cls[static_cast<unsigned char>(v)] |= kTcBackVowel;
  for (char v : std::string_view("EIei")) cls[static_cast<unsigned char>(v)] |= kTcFrontVowel;
  for (char a : std::string_view("'`^~\"")) cls[static_cast<unsigned char>(a)] = kTcAccent;
  for (char p : std::string_view(" !,.:;?")) cls[static_cast<unsigned char>(p)] = kTcPunctuation;
  // Marks that keep their own character are tokens said by name.
  for (int c = 128; c < 160; ++c)
    if (IsCp1252NamedMark(static_cast<char>(c))) cls[c] = kTcPunctuation;
}

// Reads a whole file; false (with *error) when it cannot be opened or read, a directory included.
bool ReadWholeFile(const std::string& path, std::string* text, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    if (error) *error = "cannot open " + path;
    return false;
  }
  text->clear();
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text->append(buf, n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) {
    if (error) *error = "cannot read " + path;
    text->clear();
    return false;
  }
  return true;
}

// Splits a rule line into its four fields; a missing delimiter leaves the fields after it empty.
void AddRuleLine(std::string_view line) {
  TranscriptionRule rule;
  size_t open = line.find('(');
  if (open == std::string_view::npos) return;  // no centre at all
  rule.left = std::string(line.substr(0, std::min(open, kRuleContextWidth)));
  std::string_view rest = line.substr(open + 1);
  size_t close = rest.find(')');
  std::string_view centre = rest.substr(0, close);
  rule.centre = std::string(centre.substr(0, kRuleCentreWidth));
  if (close != std::string_view::npos) {
    rest = rest.substr(close + 1);
    size_t eq = rest.find('=');
    rule.right = std::string(rest.substr(0, std::min(eq, kRuleContextWidth)));
    if (eq != std::string_view::npos) {
      rest = rest.substr(eq + 1);
      size_t bar = rest.find('|');
      rule.output = std::string(rest.substr(0, std::min(bar, kRuleOutputWidth)));
    }
  }
  if (rule.centre.empty()) return;
  int first = static_cast<unsigned char>(rule.centre[0]);
  if (first < kFirstRuleChar || first >= kFirstRuleChar + kRuleListCount) return;
  Transcriber.rules[first - kFirstRuleChar].push_back(std::move(rule));
}

// Left context, read from its last symbol while the cursor moves left from before the centre.
bool MatchLeft(const std::string& w, int pos, const std::string& ctx) {
  const int n = static_cast<int>(w.size());
  int cur = pos - 1;
  for (int k = static_cast<int>(ctx.size()) - 1; k >= 0; --k) {
    const char sym = ctx[k];
    const bool inside = cur >= 0 && cur < n;
    switch (sym) {
      case '#':
        if (!inside || !(IsVowel(w[cur]) || IsAccentMark(w[cur]))) return false;
        while (cur >= 0 && (IsVowel(w[cur]) || IsAccentMark(w[cur]))) --cur;
        break;
      case '%':
        if (inside) return false;
        break;
      case ']':
        if (!inside) return false;
        if (ClassOf(w[cur]) & kTcBackVowel) {
          cur -= 1;
        } else if (IsAccentMark(w[cur]) && cur >= 1 && (ClassOf(w[cur - 1]) & kTcBackVowel)) {
          cur -= 2;
        } else {
          return false;
        }
        break;
      case '_':
        if (cur < 0) break;  // at the start of the word: nothing to match
        if (IsVowel(w[cur])) {
          cur -= 1;
        } else if (IsAccentMark(w[cur]) && cur >= 1 && IsVowel(w[cur - 1])) {
          cur -= 2;
        } else {
          return false;
        }
        break;
      case '|': {
        if (!inside) return false;
        const char u = Upper(w[cur]);
        if (u != 'N' && u != 'R' && u != 'S') return false;
        cur -= 1;
        break;
      }
      default:
        if (!inside || Upper(w[cur]) != sym) return false;
        cur -= 1;
        break;
    }
  }
  return true;
}

// Right context, read from its first symbol while the cursor moves right from after the centre.
bool MatchRight(const std::string& w, int start, const std::string& ctx) {
  const int n = static_cast<int>(w.size());
  int cur = start;
  for (char sym : ctx) {
    const bool inside = cur >= 0 && cur < n;
    switch (sym) {
      case '#':
        if (!inside || !(IsVowel(w[cur]) || IsAccentMark(w[cur]))) return false;
        while (cur < n && (IsVowel(w[cur]) || IsAccentMark(w[cur]))) ++cur;
        break;
      case '%':
        if (inside) return false;
        break;
      case '&': {
        if (!inside) return false;
        const char u = Upper(w[cur]);
        if (u != 'L' && u != 'M' && u != 'N' && u != 'R' && u != 'Z') return false;
        cur += 1;
        break;
      }
      case '*': {
        if (!inside || !IsConsonant(w[cur])) return false;
        const char u = Upper(w[cur]);
        if (u == 'L' || u == 'R') return false;
        break;
      }
      case '+':
        if (!inside || !(ClassOf(w[cur]) & kTcFrontVowel)) return false;
        cur += 1;
        if (cur < n && IsAccentMark(w[cur])) cur += 1;
        break;
      case '[':
        if (inside && !(IsConsonant(w[cur]) && Upper(w[cur]) != 'H')) return false;
        break;
      case '\\':
        if (inside && Upper(w[cur]) == 'S') cur += 1;
        break;
      default:
        if (!inside || Upper(w[cur]) != sym) return false;
        cur += 1;
        break;
    }
  }
  return true;
}

const TranscriptionRule* FindRule(const std::string& w, int pos) {
  const int first = static_cast<unsigned char>(Upper(w[pos]));
  if (first < kFirstRuleChar || first >= kFirstRuleChar + kRuleListCount) return nullptr;
  for (const TranscriptionRule& rule : Transcriber.rules[first - kFirstRuleChar]) {
    const size_t len = rule.centre.size();
    if (pos + len > w.size()) continue;
    bool same = true;
    for (size_t k = 0; k < len && same; ++k) same = Upper(w[pos + k]) == Upper(rule.centre[k]);
    if (!same) continue;
    if (!MatchLeft(w, pos, rule.left)) continue;
    if (!MatchRight(w, pos + static_cast<int>(len), rule.right)) continue;
    return &rule;
  }
  return nullptr;
}

std::string TranscribeWithRules(const std::string& w) {
  std::string out = "[";
  size_t pos = 0;
  while (pos < w.size()) {
    const char c = w[pos];
    const TranscriptionRule* rule = FindRule(w, static_cast<int>(pos));
    std::string text;
    if (rule) {
      text = rule->output;
    } else {
      text = " /_";
      text += Upper(c);
    }
    if (c >= 'A' && c <= 'Z' && IsVowel(c)) {
      for (char& t : text) {
        if (t == 'a' || t == 'e' || t == 'i' || t == 'o' || t == 'u') {
          t = Upper(t);
          break;
        }
      }
    }
    out += text;
    pos += rule ? rule->centre.size() : 1;
    if (pos < w.size()) out += '/';
  }
  out += ']';
  return out;
}

std::string SpellOut(const std::string& w) {
  std::string out;
  for (char c : w) {
    out += "[ /_";
    out += c;
    out += ']';
  }
  return out;
}

}  // namespace

void ParseTranscriptionRules(std::string_view text) {
  ResetCharClasses();
  for (auto& list : Transcriber.rules) list.clear();
  Transcriber.exceptions.clear();
  ForEachLine(text, [](std::string_view line) {
    if (!line.empty()) AddRuleLine(line);
  });
}

bool LoadTranscriptionRules(const std::string& path, std::string* error) {
  std::string text;
  if (!ReadWholeFile(path, &text, error)) {
    ResetCharClasses();
    for (auto& list : Transcriber.rules) list.clear();
    Transcriber.exceptions.clear();
    return false;
  }
  ParseTranscriptionRules(text);
  return true;
}

void ParseTranscriptionExceptions(std::string_view text) {
  auto& table = Transcriber.exceptions;
  table.clear();
  ForEachLine(text, [](std::string_view line) {
    auto& table = Transcriber.exceptions;
    if (table.size() >= kMaxTranscriptionExceptions) return;
    line = line.substr(0, kExceptionLineWidth);
    if (line.empty()) return;
    size_t eq = line.find('=');
    // A line without "=" or without a word would make a word vanish; it is no entry.
    if (eq == std::string_view::npos || eq == 0) return;
    std::string_view alias = line.substr(eq + 1);
    alias = alias.substr(0, alias.find('|'));
    table.push_back({std::string(line.substr(0, eq)), std::string(alias)});
  });
  std::stable_sort(table.begin(), table.end(),
                   [](const TranscriptionException& a, const TranscriptionException& b) {
                     return a.word < b.word;
                   });
}

bool LoadTranscriptionExceptions(const std::string& path, std::string* error) {
  std::string text;
  if (!ReadWholeFile(path, &text, error)) return false;
  ParseTranscriptionExceptions(text);
  return true;
}

void FreeTranscriptionRules() {
  for (auto& list : Transcriber.rules) {
    list.clear();
    list.shrink_to_fit();
  }
  Transcriber.exceptions.clear();
  Transcriber.exceptions.shrink_to_fit();
}

bool IsCp1252NamedMark(char c) {
  switch (static_cast<unsigned char>(c)) {
    case 0x83: case 0x86: case 0x87: case 0x88: case 0x89: case 0x8B:
    case 0x95: case 0x98: case 0x99: case 0x9B:
      return true;
    default:
      return false;
  }
}

std::string_view Cp1252MarkAsAscii(char c) {
  switch (static_cast<unsigned char>(c)) {
    case 0x82: case 0x91: case 0x92: return "'";
    case 0x84: case 0x93: case 0x94: return "\"";
    case 0x85: return "...";
    case 0x96: case 0x97: return " - ";
    case 0xA0: return " ";
    default: return {};
  }
}

std::string NormalizeForTranscription(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == 'W' || c == 'w' || c == 'Y' || c == 'y') {
      const bool before = i > 0 && IsAsciiLetter(static_cast<unsigned char>(text[i - 1]));
      const bool after = i + 1 < n && IsAsciiLetter(static_cast<unsigned char>(text[i + 1]));
      if (before || after) {
        out += (c == 'W' || c == 'w') ? 'u' : 'i';
        continue;
      }
    }
    const bool apostrophe = c == '\'' || c == 0x91 || c == 0x92;
    if (apostrophe && i > 0 && (text[i - 1] == 'D' || text[i - 1] == 'd')) continue;
    if (c == 0x91 || c == 0x92) {
      // A curly apostrophe inside a word is the plain one; as a quotation mark it is a blank.
      const bool inside = i > 0 && i + 1 < n && IsTextLetter(static_cast<unsigned char>(text[i - 1])) &&
                          IsTextLetter(static_cast<unsigned char>(text[i + 1]));
      out += inside ? '\'' : ' ';
      continue;
    }
    if (c == 0x80) {
      out += EuroIsPlural(text, i) ? " euros " : " euro ";
      continue;
    }
    if (IsCp1252NamedMark(static_cast<char>(c))) {
      out += ' ';
      out += static_cast<char>(c);
      out += ' ';
      continue;
    }
    if (c >= 32 && c <= 127) {
      out += static_cast<char>(c);
      continue;
    }
    const char* repl = c >= 128 ? kHighTable[c - 128] : "";
    if (repl[0] == '\0') {
      out += ' ';
      out += kPlaceholder;
      out += ' ';
    } else if (repl[0] == '\xE7' && repl[1] == '\0') {
      out += "ss";
    } else {
      out += repl;
    }
  }
  return out;
}

bool LookUpTranscriptionException(std::string& word) {
  const auto& table = Transcriber.exceptions;
  if (table.empty()) return false;
  // The stem is a prefix of word; the removed suffix is what follows it, so no letters are moved
  // while searching (a long run of s or m stays linear).
  size_t stem = word.size();
  while (stem > 0) {
    const std::string_view key(word.data(), stem);
    auto it = std::lower_bound(table.begin(), table.end(), key,
                               [](const TranscriptionException& e, std::string_view w) {
                                 return std::string_view(e.word) < w;
                               });
    if (it != table.end() && std::string_view(it->word) == key) {
      word = it->alias + word.substr(stem);
      return true;
    }
    const char last = word[stem - 1];
    if (last != 's' && last != 'm') return false;
    --stem;
  }
  return false;
}

void MarkTranscriptionStress(std::string& w, bool accented, int vowel_count) {
  if (accented || vowel_count == 0) return;
  if (vowel_count == 1 && (w.empty() || w.back() != 'l')) return;
  const int n = static_cast<int>(w.size());
  auto at = [&w, n](int i) -> char { return (i >= 0 && i < n) ? w[i] : '\0'; };
  auto mark = [&w, n](int i) {
    if (i >= 0 && i < n) w[i] = Upper(w[i]);
  };
  auto gq = [](char c) { return c == 'g' || c == 'q'; };
  enum { T0, T1, T2, T3, T4, T5, T8 } state = T0;
  for (int i = n - 1; i >= 0; --i) {
    const char c = w[i];
    switch (state) {
      case T0:
        if (c == 'a' || c == 'e' || c == 'o') state = T5;
        else if (c == 'i' || c == 'u') state = T3;
        else if (c == 'l' || c == 'n' || c == 'r' || c == 'x' || c == 'z') state = T1;
        else if (c == 'm') state = T2;
        else if (c == 's') state = T4;
        break;
      case T1:
        if (IsVowel(c)) return mark(i);
        break;
      case T2:
        if (c == 'a' || c == 'e') state = T5;
        else if (c == 'i' || c == 'u') state = T3;
        else if (c == 'o') return mark(i);
        break;
      case T3:
        if (IsConsonant(c) || (c == 'u' && gq(at(i - 1)))) return mark(i + 1);
        return mark(i);
      case T4:
        if (c == 'a' || c == 'e' || c == 'o') state = T5;
        else if (c == 'i' || c == 'u') state = T3;
        break;
      case T5:
        if (c == 'a' || c == 'e' || c == 'o') return mark(i);
        if (c == 'i' || c == 'u') state = T8;
        break;
      case T8: {
        if (IsConsonant(c) || (c == 'u' && gq(at(i - 1)))) return mark(i + 1);
        const char c2 = at(i + 2);
        const char c3 = at(i + 3);
        const bool sonorant = c2 == 'l' || c2 == 'm' || c2 == 'n' || c2 == 'r' || c2 == 'z';
        const bool closes = (c2 == 'n' && c3 == 'h') || (c2 == 'r' && c3 == 'r') ||
                            (IsConsonant(c3) && Lower(c3) != 'h');
        if (sonorant && closes) return mark(i + 1);
        return mark(i);
      }
    }
  }
  // An i or u that starts the word is the only vowel left to carry the stress ("isso", "uva"); without
  // this the scan would end with the word unmarked.
  if (state == T8) mark(0);
}

std::string TranscribeText(std::string_view text) {
  if (Transcriber.char_class['a'] == 0) ResetCharClasses();
  const std::string norm = NormalizeForTranscription(text);
  std::string out;
  const size_t n = norm.size();
  size_t pos = 0;
  auto& t = Transcriber;
  for (;;) {
    while (pos < n && norm[pos] == ' ') ++pos;
    if (pos >= n) break;
    t.word.clear();
    t.letter_count = 0;
    t.vowel_count = 0;
    t.accented = false;
    const char first = Lower(norm[pos]);
    if (IsLetter(first)) {
      while (pos < n && IsWordChar(norm[pos])) {
        const char c = Lower(norm[pos]);
        if (IsVowel(c)) ++t.vowel_count;
        if (IsLetter(c)) ++t.letter_count;
        if (!t.word.empty() && IsAccentMark(c) && c != '"') t.accented = true;
        t.word += c;
        ++pos;
      }
    } else {
      t.word = first;
      ++pos;
    }
    LookUpTranscriptionException(t.word);
    MarkTranscriptionStress(t.word, t.accented, t.vowel_count);
    bool spell = !t.word.empty();
    for (char c : t.word) {
      if (c == kPlaceholder) continue;
      if (!(ClassOf(c) & (kTcConsonant | kTcPunctuation))) spell = false;
    }
    if (t.word.size() == 1 && t.word[0] == kPlaceholder) spell = true;
    if (t.word.empty()) continue;
    out += spell ? SpellOut(t.word) : TranscribeWithRules(t.word);
  }
  return out;
}

}  // namespace falatro
