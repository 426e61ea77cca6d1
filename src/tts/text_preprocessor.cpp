// Text preprocessing: number reading, character names, consonant-only words and abbreviations.
#include "tts/text_preprocessor.h"

#include <cstdio>

#include "base/text_lines.h"

namespace falatro {

PreprocessorState Preprocessor;

namespace {

// All strings below are cp1252.
const char* const kUnits[10] = {"zero", "um", "dois", "tr\xEAs", "quatro",
                                "cinco", "seis", "sete", "oito", "nove"};
const char* const kTeens[10] = {"dez", "onze", "doze", "treze", "quatorze",
                                "quinze", "dezesseis", "dezessete", "dezoito", "dezenove"};
const char* const kTens[10] = {"", "", "vinte", "trinta", "quarenta",
                               ("cinq\xFC" "enta"), "sessenta", "setenta", "oitenta", "noventa"};
const char* const kHundreds[10] = {"", "cento", "duzentos", "trezentos", "quatrocentos",
                                   "quinhentos", "seiscentos", "setecentos", "oitocentos", "novecentos"};
const char* const kScaleSingular[4] = {"trilh\xE3o ", "bilh\xE3o ", "milh\xE3o ", "mil "};
const char* const kScalePlural[4] = {("trilh\xF5" "es "), ("bilh\xF5" "es "), ("milh\xF5" "es "), "mil "};
const char* const kOrdinalUnits[10] = {"", "primeiro", "segundo", "terceiro", "quarto",
                                       "quinto", "sexto", "s\xE9timo", "oitavo", "nono"};
const char* const kOrdinalTens[10] = {"", ("d\xE9" "cimo"), "vig\xE9simo", "trig\xE9simo", "quadrag\xE9simo",
                                      "quinquag\xE9simo", "sexag\xE9simo", "septuag\xE9simo",
                                      "octag\xE9simo", "nonag\xE9simo"};
const char* const kOrdinalHundreds[10] = {"", "cent\xE9simo", "ducent\xE9simo", "tricent\xE9simo",
                                          "quadrigent\xE9simo", "quingent\xE9simo", "seiscent\xE9simo",
                                          "septigent\xE9simo", "octigent\xE9simo", "nongent\xE9simo"};

// Names of codes 32..126.
const char* const kAsciiNames[95] = {
    // 32..47
    "espa\xE7o", "exclama\xE7\xE3o", "aspas", "sustenido", "cifr\xE3o", "porcento", "\xE9 comercial",
    "ap\xF3strofo", "abre par\xEAnteses", "fecha par\xEAnteses", "asterisco", "mais", "v\xEDrgula", "tra\xE7o",
    "ponto", "barra",
    // 48..57
    "z\xE9ro", "um", "dois", "tr\xEAs", "quatro", "cinco", "seis", "s\xE9te", "oito", "n\xF3ve",
    // 58..64
    "dois pontos", "ponto e v\xEDrgula", "menor que", "igual", "maior que", "interroga\xE7\xE3o", "arr\xF4" "ba",
    // 65..90
    "a", "b\xEA", " s\xEA", " d\xEA", "\xE9", "\xE9" "fe", "j\xEA", "ag\xE1", "i", "j\xF3ta", "c\xE1", "\xE9le",
    "\xEAme", "\xEAne", "\xF3", "p\xEA", "qu\xEA", "\xE9rre", "\xE9sse", "t\xEA", "u", "v\xEA", "d\xE1" "bliu",
    "xis", "\xEDpsilon", "z\xEA",
    // 91..96
    "abre colchete", "barra invertida", "fecha colchete", "circunflexo", "sublinhado", "crase",
    // 97..122
    "a", "b\xEA", " s\xEA", " d\xEA", "\xE9", "\xE9" "fe", "j\xEA", "ag\xE1", "i", "jota", "c\xE1", "\xE9le",
    "\xEAme", "ene", "\xF3", "p\xEA", "qu\xEA", "\xE9rre", "\xE9sse", "t\xEA", "u", "v\xEA", "d\xE1" "bliu",
    "xis", "\xEDpsilon", "z\xEA",
    // 123..126
    "abre chave", "barra vertical", "fecha chave", "til"};

// Names of codes 161..220.
const char* const kHighNames[60] = {
    // 161..191
    "exclama\xE7\xE3o reversa", "centavos de d\xF3lar", "libras", "s\xEDmbolo de moeda", "iene",
    "barra interrompida", "par\xE1grafo", "trema", "copyright", "ordinal feminino", "Aspas esquerdas",
    "nega\xE7\xE3o", "h\xED" "fen", "Marca registrada", "m\xE1" "cron", "grau", "mais ou menos",
    "elevado ao quadrado", "elevado ao cubo", "acento agudo", "mi", "pi", "ponto no meio", "cedilha",
    "expoente um", "ordinal masculino", "aspas direitas", "um quarto", "um meio", "tr\xEAs quartos",
    "interroga\xE7\xE3o reversa",
    // 192..220
    "A grave", "A agudo", "A circunflexo", "A com til", "A com trema", "A bola", "A \xC9", "C\xEA cedilha",
    "\xC9 grave", "\xC9 agudo", "\xC9 circunflexo", "\xC9 com trema", "I grave", "I agudo", "I circunflexo",
    "I com trema", "D\xEA cortado", "N com til", "\xD3 grave", "\xD3 agudo", "\xD3 circunflexo", "\xD3 com til",
    "\xD3 tremado", "vezes", "\xD3 cortado", "U grave", "U agudo", "U circunflexo", "U com trema"};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsLetter(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z')) return true;
  switch (u & 0xDF) {  // the upper-case form of an accented letter
    case 0xC0: case 0xC1: case 0xC2: case 0xC3: case 0xC7: case 0xC9: case 0xCA: case 0xCC: case 0xCD:
    case 0xD1: case 0xD3: case 0xD4: case 0xD5: case 0xD9: case 0xDA: case 0xDC:
      return u >= 0xC0;
    default:
      return false;
  }
}

bool IsConsonantLetter(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  switch (u) {
    case 0xC7: case 0xD1: case 0xE7: case 0xF1: return true;
    default: break;
  }
  const char up = (u >= 'a' && u <= 'z') ? static_cast<char>(u - 32) : c;
  if (up < 'A' || up > 'Z') return false;
  return up != 'A' && up != 'E' && up != 'I' && up != 'O' && up != 'U';
}

bool IsKeptMark(char c) {
  switch (c) {
    case ' ': case '!': case '(': case ')': case ',': case '.': case ':': case ';': case '?': return true;
    default: return false;
  }
}

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

std::string UpperText(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = UpperCp1252(c);
  return out;
}

// Words of one group of three digits.
std::string GroupWords(int group) {
  if (group == 0) return "";
  if (group == 100) return "cem";
  const int c = group / 100, d = group / 10 % 10, u = group % 10;
  std::string out;
  if (c != 0) {
    out += kHundreds[c];
    if (d != 0 || u != 0) out += " e ";
  }
  if (d == 1) {
    out += kTeens[u];
  } else {
    if (d != 0) {
      out += kTens[d];
      if (u != 0) out += " e ";
    }
    if (u != 0) out += kUnits[u];
  }
  return out;
}

// Reads a number at text[*pos] (a digit) and returns its words; *pos ends after what was read.
std::string ReadNumber(std::string_view text, size_t* pos) {
  size_t i = *pos;
  // A run of digits and hyphens with a hyphen in it is read symbol by symbol (telephone numbers).
  size_t run = i;
  bool hyphen = false;
  while (run < text.size() && (IsDigit(text[run]) || text[run] == '-')) {
    if (text[run] == '-') hyphen = true;
    ++run;
  }
  if (hyphen) {
    std::string out;
    for (size_t k = i; k < run; ++k) {
      out += ' ';
      out += text[k] == '-' ? "tra\xE7o" : kUnits[text[k] - '0'];
    }
    *pos = run;
    return out;
  }
  std::string zeros;
  while (i + 1 < text.size() && text[i] == '0' && IsDigit(text[i + 1])) {
    zeros += "zero ";
    ++i;
  }
  uint64_t value = 0;
  int digits = 0;
  while (i < text.size()) {
    if (IsDigit(text[i])) {
      if (digits == 15) break;
      value = value * 10 + static_cast<uint64_t>(text[i] - '0');
      ++digits;
      ++i;
    } else if (text[i] == '.' && i + 3 < text.size() && IsDigit(text[i + 1]) && IsDigit(text[i + 2]) &&
               IsDigit(text[i + 3]) && (i + 4 >= text.size() || !IsDigit(text[i + 4]))) {
      i += 1;  // thousands separator
    } else {
      break;
    }
  }
  std::string_view rest = text.substr(i);
  auto ordinal = [&](bool feminine, size_t skip, bool plural) {
    *pos = i + skip;
    return OrdinalToWords(value, feminine) + (plural ? "s" : "");
  };
  if (!rest.empty()) {
    if (rest[0] == '\xBA') return ordinal(false, 1, false);
    if (rest[0] == '\xAA') return ordinal(true, 1, false);
    if (rest.substr(0, 2) == "o.") return ordinal(false, 2, false);
    if (rest.substr(0, 2) == "a.") return ordinal(true, 2, false);
    if (rest.substr(0, 3) == "os.") return ordinal(false, 3, true);
    if (rest.substr(0, 3) == "as.") return ordinal(true, 3, true);
  }
  *pos = i;
  return zeros + CardinalToWords(value);
}

}  // namespace

char UpperCp1252(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if (u >= 'a' && u <= 'z') return static_cast<char>(u - 32);
  if (u >= 0xE0 && u != 0xF7 && u != 0xFF) return static_cast<char>(u - 32);
  return c;
}

char LowerCp1252(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if (u >= 'A' && u <= 'Z') return static_cast<char>(u + 32);
  if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return static_cast<char>(u + 32);
  return c;
}

void ParseAbbreviations(std::string_view text) {
  Preprocessor.abbreviations.clear();
  ForEachLine(text, [](std::string_view raw) {
    std::string line = Trim(raw);
    if (line.empty() || line[0] == ';') return;
    if (Preprocessor.abbreviations.size() >= kMaxAbbreviations) return;
    const size_t eq = line.find('=');
    // A line without "=" is a key with an empty expansion: it only keeps the word from being spelled.
    std::string key = UpperText(Trim(std::string_view(line).substr(0, eq)));
    std::string expansion = eq == std::string::npos ? "" : Trim(std::string_view(line).substr(eq + 1));
    if (expansion.size() > kMaxAbbreviationExpansion) expansion.resize(kMaxAbbreviationExpansion);
    Preprocessor.abbreviations.emplace_back(std::move(key), std::move(expansion));
  });
}

bool LoadAbbreviations(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::string text;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return false;
  ParseAbbreviations(text);
  return true;
}

const std::string* FindAbbreviation(std::string_view word) {
  const std::string key = UpperText(word);
  for (const auto& entry : Preprocessor.abbreviations)
    if (entry.first == key) return &entry.second;
  return nullptr;
}

std::string CharacterName(uint8_t code) {
  if (code >= 32 && code <= 126) return kAsciiNames[code - 32];
  if (code >= 161 && code <= 220) return kHighNames[code - 161];
  // Division is not the multiplication sign that sits 32 codes below it.
  if (code == 247) return "dividido por";
  if (code >= 225) return CharacterName(static_cast<uint8_t>(code - 32));
  return "";
}

std::string CardinalToWords(uint64_t value) {
  if (value == 0) return "zero";
  value %= 1000000000000000ULL;
  int groups[5];
  for (int g = 4; g >= 0; --g) {
    groups[g] = static_cast<int>(value % 1000);
    value /= 1000;
  }
  int last = -1;
  for (int g = 0; g < 5; ++g)
    if (groups[g] != 0) last = g;
  std::string out;
  bool any_before = false;
  for (int g = 0; g < 5; ++g) {
    if (groups[g] == 0) continue;
    if (g == last && any_before) out += "e ";
    out += GroupWords(groups[g]);
    if (g < 4) {
      out += ' ';
      out += groups[g] == 1 ? kScaleSingular[g] : kScalePlural[g];
    }
    any_before = true;
  }
  if (out.compare(0, 6, "um mil") == 0 && out.compare(0, 7, "um milh") != 0) out.erase(0, 3);
  return out;
}

std::string OrdinalToWords(uint64_t value, bool feminine) {
  if (value >= 2000) return CardinalToWords(value);
  if (value == 0) return "zero";
  std::string words[4];
  const int th = static_cast<int>(value / 1000), c = static_cast<int>(value / 100 % 10),
            d = static_cast<int>(value / 10 % 10), u = static_cast<int>(value % 10);
  if (th != 0) words[0] = "mil\xE9simo";
  if (c != 0) words[1] = kOrdinalHundreds[c];
  if (d != 0) words[2] = kOrdinalTens[d];
  if (u != 0) words[3] = kOrdinalUnits[u];
  std::string out;
  for (std::string& w : words) {
    if (w.empty()) continue;
    if (feminine) w.back() = 'a';
    if (!out.empty()) out += ' ';
    out += w;
  }
  return out;
}

std::string PreprocessText(std::string_view input) {
  std::string single;
  std::string_view text = input;
  if (text.size() == 1) {
    single = CharacterName(static_cast<uint8_t>(text[0]));
    text = single;
  }
  std::string out;
  out.reserve(text.size() * 2);
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    const char c = text[i];
    if (c == '-' && i > 0 && i + 1 < n && text[i - 1] == ' ' && text[i + 1] == ' ') {
      out += ',';
      ++i;
    } else if (c == '-' && i + 1 < n && IsDigit(text[i + 1])) {
      out += "menos ";
      ++i;
    } else if (IsDigit(c)) {
      out += ReadNumber(text, &i);
      out += ' ';
      while (i + 1 < n && (text[i] == ',' || text[i] == '.') && IsDigit(text[i + 1])) {
        out += text[i] == ',' ? "v\xEDrgula " : "ponto ";
        ++i;
        out += ReadNumber(text, &i);
        out += ' ';
      }
    } else if (IsLetter(c)) {
      size_t end = i;
      bool consonants_only = true;
      while (end < n) {
        if (IsLetter(text[end])) {
          if (!IsConsonantLetter(text[end])) consonants_only = false;
          ++end;
        } else if (text[end] == '-' && IsLetter(text[end - 1])) {
          ++end;
        } else {
          break;
        }
      }
      std::string_view word = text.substr(i, end - i);
      // "nº", "Nª": an abbreviation that ends in an ordinal sign is read without a full stop.
      if (end < n && (text[end] == '\xBA' || text[end] == '\xAA')) {
        if (const std::string* e = FindAbbreviation(text.substr(i, end + 1 - i))) {
          out += *e;
          i = end + 1;
          continue;
        }
      }
      const bool full_stop = end < n && text[end] == '.';
      const std::string* expansion = full_stop ? FindAbbreviation(word) : nullptr;
      if (expansion && end + 1 < n && text[end + 1] == ' ') {
        out += *expansion;
        i = end + 1;
        continue;
      }
      if (consonants_only && !expansion) {
        for (char w : word) out += CharacterName(static_cast<uint8_t>(w));
      } else {
        out += word;
      }
      i = end;
    } else if (c == '.' && i + 2 < n && text[i + 1] == '.' && text[i + 2] == '.') {
      out += "... ";
      i += 3;
    } else if (c == '.' && i + 1 < n && text[i + 1] != ' ') {
      out += " ponto ";
      ++i;
    } else if (IsKeptMark(c)) {
      out += c;
      ++i;
    } else {
      if (c != '\t' && c != '\n' && c != '\r') {
        out += ' ';
        out += CharacterName(static_cast<uint8_t>(c));
        out += ' ';
      }
      ++i;
    }
  }
  return out;
}

}  // namespace falatro
