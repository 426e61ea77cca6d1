// Stress assignment: the rightmost written accent, otherwise a scan from the end of the word.
#include "tts/stress.h"

#include <string>

#include "tts/text_preprocessor.h"

namespace falatro {

namespace {

bool IsPlainVowel(char c) {
  switch (c) {
    case 'a': case 'e': case 'i': case 'o': case 'u': case 'w': case 'y': case '\xFC': return true;
    default: return false;
  }
}

bool IsAccentedVowel(char c) {
  switch (c) {
    case '\xE0': case '\xE1': case '\xE2': case '\xE3': case '\xE9': case '\xEA': case '\xED':
    case '\xF3': case '\xF4': case '\xF5': case '\xFA':
      return true;
    default:
      return false;
  }
}

bool IsAEO(char c) { return c == 'a' || c == 'e' || c == 'o'; }

enum State { S0, S1, S2, S3, S4, S5, S10, S20, S21, S30, S40 };

}  // namespace

bool IsFunctionWord(std::string_view word) {
  if (word.size() <= 2) return true;
  return word == "POR" || word == "DAS" || word == "DOS" || word == "COM" || word == "N\xC3O" || word == "SIM";
}

int FindStressPosition(std::string_view text) {
  std::string w(text);
  for (char& c : w) c = LowerCp1252(c);
  const int n = static_cast<int>(w.size());
  bool plain = false;
  for (int i = n; i >= 1; --i) {
    if (IsAccentedVowel(w[i - 1])) return i;
    if (IsPlainVowel(w[i - 1])) plain = true;
  }
  if (!plain) return 0;
  int mark = 0;
  State s = S0;
  for (int i = n; i >= 1; --i) {
    const char c = w[i - 1];
    bool stop = false;
    switch (s) {
      case S0:
        if (IsAEO(c)) { mark = i; s = S1; }
        else if (c == 'i') { mark = i; s = S20; }
        else if (c == 'u') { mark = i; s = S10; }
        else if (c == 'm') s = S40;
        else if (c == 's') s = S0;
        else s = S30;
        break;
      case S1:
        if (c == 'u') s = S4;
        else if (IsPlainVowel(c)) { mark = i; stop = true; }
        else s = S2;
        break;
      case S2:
        if (IsAEO(c)) { mark = i; stop = true; }
        else if (c == 'i' || c == 'u') { mark = i; s = S3; }
        break;
      case S3:
        if (IsAEO(c)) { mark = i; stop = true; }
        else if (c == 'u') s = S5;
        else stop = true;
        break;
      case S4:
        if (c == 'g' || c == 'q') { mark = i + 2; s = S2; }
        else { mark = i + 1; stop = true; }
        break;
      case S5:
        mark = (c == 'g' || c == 'q') ? i + 2 : i + 1;
        stop = true;
        break;
      case S10:
        if (IsAEO(c) || c == 'i') mark = i;
        stop = true;
        break;
      case S20:
        if (IsAEO(c)) mark = i;
        else if (c == 'u') s = S21;
        else stop = true;
        break;
      case S21:
        mark = (c == 'g' || c == 'q') ? i + 2 : i + 1;
        stop = true;
        break;
      case S30:
        if (IsPlainVowel(c)) { mark = i; stop = true; }
        break;
      case S40:
        if (c == 'a' || c == 'e') { mark = i; s = S1; }
        else if (c == 'i' || c == 'o' || c == 'u') { mark = i; stop = true; }
        else s = S0;
        break;
    }
    if (stop) break;
  }
  return mark;
}

}  // namespace falatro
