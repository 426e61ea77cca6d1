// Numbers, the time and the date in Portuguese words, said by joining recordings of single words.
#include "speech/number_words.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "base/paths.h"
#include "console/nxcrt.h"
#include "speech/diphone_synth.h"
#include "speech/suite_settings.h"

namespace falatro {

namespace {

const char* const kUnits[10] = {"zero", "um", "dois", "tres", "quatro",
                                "cinco", "seis", "sete", "oito", "nove"};
const char* const kTeens[10] = {"dez", "onze", "doze", "treze", "quatorze",
                                "quinze", "dezesseis", "dezessete", "dezoito", "dezenove"};
const char* const kTens[10] = {"", "", "vinte", "trinta", "quarenta",
                               "cinquenta", "sessenta", "setenta", "oitenta", "noventa"};
const char* const kHundreds[10] = {"", "cento", "duzentos", "trezentos", "quatrocentos",
                                   "quinhentos", "seiscentos", "setecentos", "oitocentos", "novecentos"};
const char* const kScaleOne[4] = {"trilh\xE3o ", "bilh\xE3o ", "milh\xE3o ", "mil "};
const char* const kScaleMany[4] = {"trilh\xF5" "es ", "bilh\xF5" "es ", "milh\xF5" "es ", "mil "};
const char* const kWeekdays[7] = {"Domingo", "Segunda", "Terca", "Quarta", "Quinta", "Sexta", "Sabado"};
const char* const kMonths[12] = {"Janeiro", "Fevereiro", "Marco", "Abril", "Maio", "Junho",
                                 "Julho", "Agosto", "Setembro", "Outubro", "Novembro", "Dezembro"};

// Words of one group of three digits.
std::string GroupWords(int h, int t, int u) {
  std::string w;
  if (h == 0 && t == 0 && u == 0) return w;
  if (h == 1 && t == 0 && u == 0) return "cem";
  if (h != 0) {
    w += kHundreds[h];
    if (t == 0 && u == 0) return w;
    w += " e ";
  }
  if (t == 1) return w + kTeens[u];
  if (t >= 2) {
    w += kTens[t];
    if (u == 0) return w;
    w += " e ";
  }
  if (u != 0) w += kUnits[u];
  return w;
}

// Sound data of a word recording (everything after the 44-byte header), or false when the file
// cannot be opened or read.
bool ReadRecordingData(const std::string& path, std::vector<uint8_t>* data) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return false;
  }
  data->clear();
  if (st.st_size > static_cast<off_t>(kWaveHeaderSize)) {
    data->resize(static_cast<size_t>(st.st_size) - kWaveHeaderSize);
    size_t got = 0;
    while (got < data->size()) {
      ssize_t n = pread(fd, data->data() + got, data->size() - got,
                        static_cast<off_t>(kWaveHeaderSize + got));
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    data->resize(got);
  }
  close(fd);
  return true;
}

// Joins recordings into one image and plays it each time it is full, and at the end.
struct Joiner {
  std::vector<uint8_t> image = std::vector<uint8_t>(kWaveHeaderSize + kNumberJoinCapacity);
  size_t fill = 0;

  void Play() {
    if (fill == 0) return;
    BuildWaveHeader(image.data(), static_cast<uint32_t>(fill), kDiphoneRate, 1, 8);
    PlayWaveBuffer(image.data(), kWaveHeaderSize + fill);
    WaitWhileSoundPlaying();
    fill = 0;
  }

  // A recording longer than the whole buffer is played in buffer-sized pieces, so it is heard whole.
  void Append(const uint8_t* data, size_t n) {
    while (n > 0) {
      if (fill + n > kNumberJoinCapacity) Play();
      size_t part = std::min(n, kNumberJoinCapacity - fill);
      std::memcpy(image.data() + kWaveHeaderSize + fill, data, part);
      fill += part;
      data += part;
      n -= part;
    }
  }
};

void SayWord(std::string_view word) { SayNumberWords(word, false); }

}  // namespace

std::string NumberToWords(uint64_t n) {
  if (n == 0) return "zero";
  if (n > 999999999999999ull) {
    // Beyond the trillions there are no scale words: the digits are named one by one.
    std::string digits = std::to_string(n), w;
    for (char d : digits) {
      if (!w.empty()) w += ' ';
      w += kUnits[d - '0'];
    }
    return w;
  }
  char digits[16];
  std::snprintf(digits, sizeof digits, "%015llu", static_cast<unsigned long long>(n));
  std::string groups[5];
  for (int g = 0; g < 5; ++g) {
    int h = digits[g * 3] - '0', t = digits[g * 3 + 1] - '0', u = digits[g * 3 + 2] - '0';
    groups[g] = GroupWords(h, t, u);
    if (g < 4 && !groups[g].empty()) {
      bool one = h == 0 && t == 0 && u == 1;
      groups[g] += ' ';
      groups[g] += one ? kScaleOne[g] : kScaleMany[g];
    }
  }
  int last = -1;
  for (int g = 0; g < 5; ++g)
    if (!groups[g].empty()) last = g;
  std::string result;
  for (int g = 0; g < 5; ++g) {
    if (groups[g].empty()) continue;
    if (g == last && !result.empty()) result += "e ";
    result += groups[g];
  }
  if (result.compare(0, 6, "um mil") == 0 && result.compare(0, 7, "um milh") != 0) result.erase(0, 3);
  return result;
}

std::string NumberWordFileName(std::string_view word) {
  // Words whose first eight characters would collide with another word's file get a name of their own.
  std::string w(word == "dezessete" ? std::string_view("dezeset")
                : word == "centavos" ? std::string_view("centavs")
                                     : word);
  for (char& c : w) {
    if (c == '\xE3') c = 'a';
    if (c == '\xF5') c = 'o';
  }
  std::string name = "_" + w;
  if (name.size() > 8) name.resize(8);
  return name;
}

std::string MoneyToWords(uint64_t whole, unsigned cents, Currency currency) {
  const bool euro = currency == Currency::kEuro;
  std::string out;
  if (whole > 0 || cents == 0) {
    std::string w = NumberToWords(whole);
    if (!w.empty() && w.back() != ' ') w += ' ';
    // "um milh\xE3o de reais": a whole amount of millions and above takes "de" before the currency.
    const bool scale = w.size() > 4 && (w.ends_with("\xE3o ") || w.ends_with("\xF5" "es "));
    if (scale) w += "de ";
    out = w + (whole == 1 ? (euro ? "euro" : "real") : (euro ? "euros" : "reais"));
  }
  if (cents > 0) {
    if (!out.empty()) out += " e ";
    out += NumberToWords(cents);
    out += cents == 1 ? " centavo" : " centavos";
  }
  return out;
}

void SayNumberWords(std::string_view words, bool feminine) {
  Joiner joiner;
  std::vector<uint8_t> data;
  std::string dir = MapPath(Diphone.LettersDir);
  size_t pos = 0;
  while (pos < words.size()) {
    while (pos < words.size() && words[pos] == ' ') ++pos;
    if (pos >= words.size()) break;
    size_t end = words.find(' ', pos);
    if (end == std::string_view::npos) end = words.size();
    std::string name = NumberWordFileName(words.substr(pos, end - pos));
    pos = end;
    bool is_last = words.find_first_not_of(' ', pos) == std::string_view::npos;
    if (feminine && is_last) {
      if (name == "_um") name = "_uma";
      else if (name == "_dois") name = "_duas";
    }
    if (!ReadRecordingData(FindFileNoCase(dir + name + ".wav"), &data)) continue;
    joiner.Append(data.data(), data.size());
  }
  joiner.Play();
}

void SayTime(int hours, int minutes) {
  if (hours < 0) hours = 0;
  if (minutes < 0) minutes = 0;
  SayNumberWords(NumberToWords(static_cast<uint64_t>(hours)), true);
  SayWord(hours < 2 ? "hora" : "horas");
  if (minutes != 0) {
    SayNumberWords(NumberToWords(static_cast<uint64_t>(minutes)), false);
    SayWord(minutes < 2 ? "minuto" : "minutos");
  }
}

void SayCurrentTime() {
  uint16_t h = 0, m = 0, s = 0, hs = 0;
  GetTime(h, m, s, hs);
  SayTime(h, m);
}

int WeekdayOf(int day, int month, int year) {
  // Zeller's congruence shifted so that 0 is Sunday.
  if (month < 3) {
    month += 12;
    year -= 1;
  }
  int k = year % 100, j = year / 100;
  int h = (day + 13 * (month + 1) / 5 + k + k / 4 + j / 4 + 5 * j) % 7;  // 0 = Saturday
  return (h + 6) % 7;
}

void SayDate(int day, int month, int year) {
  if (month < 1 || month > 12 || day < 1 || day > 31 || year < 1) return;
  SayWord(kWeekdays[WeekdayOf(day, month, year)]);
  if (day == 1) SayWord("primeiro");
  else SayNumberWords(NumberToWords(static_cast<uint64_t>(day)), false);
  SayWord("de");
  SayWord(kMonths[month - 1]);
  SayWord("de");
  if (year >= 2100 || (year < 2000 && year % 100 == 0)) {
    // "dois mil e" plus the last two digits only names the years of this century; later years and
    // whole centuries before it are said in full.
    SayNumberWords(NumberToWords(static_cast<uint64_t>(year)), false);
    return;
  }
  if (year >= 2000) SayNumberWords(NumberToWords(2000), false);
  if (year > 2000) SayWord("e");
  if (year % 100 != 0) SayNumberWords(NumberToWords(static_cast<uint64_t>(year % 100)), false);
}

void SayCurrentDate() {
  uint16_t y = 0, mo = 0, d = 0, dow = 0;
  GetDate(y, mo, d, dow);
  SayDate(d, mo, y);
}

}  // namespace falatro
