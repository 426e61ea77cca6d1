// The speech front end: the one door through which the program says texts, spells, and plays prompts and signals.
#include "speech/speech.h"

#include <cstring>
#include <random>
#include <vector>

#include "base/emoji_names.h"
#include "base/ini_file.h"
#include "base/paths.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "speech/diphone_synth.h"
#include "speech/number_words.h"
#include "speech/suite_settings.h"
#include "speech/synthesizer.h"
#include "speech/wave_player.h"
#include "tts/transcriber.h"

namespace falatro {

SpeechState Speech;

namespace {

constexpr size_t kBeepSamples = 512;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
// cp1252 characters from 128 that belong to words: the letters among the marks of 128..159
// (\x8A \x8C \x8E \x9A \x9C \x9E \x9F) and everything from 160 on.
bool IsHigh(char c) {
  const uint8_t u = static_cast<uint8_t>(c);
  if (u >= 160) return true;
  return u == 0x8A || u == 0x8C || u == 0x8E || u == 0x9A || u == 0x9C || u == 0x9E || u == 0x9F;
}
// Characters that make up the runs handed to the transcriber.
bool IsWordRunChar(char c) { return IsLetter(c) || c == ' ' || IsHigh(c); }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

constexpr char kEuro = '\x80';
constexpr uint64_t kLargestNamedNumber = 999999999999999ull;  // the trillions are the largest scale

// A number written with thousands separators at text[p] (a digit 1..9): one to three digits, then
// groups of "." and three digits. It is not one when it goes on as a dotted or hyphenated run of
// digits (addresses, versions, codes) or exceeds the largest number the words name.
bool ReadGroupedNumber(std::string_view text, size_t p, size_t* end, uint64_t* value) {
  const size_t n = text.size();
  size_t q = p;
  uint64_t v = 0;
  while (q < n && IsDigit(text[q]) && q - p < 4) v = v * 10 + static_cast<uint64_t>(text[q++] - '0');
  if (q == p || q - p > 3) return false;
  int groups = 0;
  while (q + 3 < n && text[q] == '.' && IsDigit(text[q + 1]) && IsDigit(text[q + 2]) && IsDigit(text[q + 3]) &&
         !(q + 4 < n && IsDigit(text[q + 4]))) {
    if (v > kLargestNamedNumber / 1000) return false;
    v = v * 1000 + static_cast<uint64_t>((text[q + 1] - '0') * 100 + (text[q + 2] - '0') * 10 + (text[q + 3] - '0'));
    q += 4;
    ++groups;
  }
  if (groups == 0) return false;
  if (q + 1 < n && (text[q] == '.' || text[q] == '-') && IsDigit(text[q + 1])) return false;
  // Four parts of at most 255 are an IPv4 address, said as today.
  if (groups == 3 && q - p == 15) {
    bool address = true;
    for (size_t part = p; part < q; part += 4)
      address = address && (text[part] - '0') * 100 + (text[part + 1] - '0') * 10 + (text[part + 2] - '0') <= 255;
    if (address) return false;
  }
  *end = q;
  *value = v;
  return true;
}

// An amount of money at text[p] (a digit): a grouped number or a plain run of digits the words can
// name, then optionally "," and the cents (one or two digits).
struct Amount {
  size_t end = 0;
  uint64_t whole = 0;
  unsigned cents = 0;
};
bool ReadAmount(std::string_view text, size_t p, Amount* a) {
  const size_t n = text.size();
  if (p >= n || !IsDigit(text[p])) return false;
  size_t q = p;
  if (!ReadGroupedNumber(text, p, &q, &a->whole)) {
    a->whole = 0;
    while (q < n && IsDigit(text[q])) {
      if (q - p >= 15) return false;
      a->whole = a->whole * 10 + static_cast<uint64_t>(text[q++] - '0');
    }
    if (q + 1 < n && text[q] == '.' && IsDigit(text[q + 1])) return false;
  }
  a->cents = 0;
  if (q + 1 < n && text[q] == ',' && IsDigit(text[q + 1])) {
    const bool two = q + 2 < n && IsDigit(text[q + 2]);
    if (two && q + 3 < n && IsDigit(text[q + 3])) return false;
    a->cents = static_cast<unsigned>(text[q + 1] - '0') * 10 + (two ? static_cast<unsigned>(text[q + 2] - '0') : 0);
    q += two ? 3 : 2;
  }
  a->end = q;
  return true;
}

size_t SkipBlanks(std::string_view text, size_t q) {
  while (q < text.size() && IsBlank(text[q])) ++q;
  return q;
}

// Money at text[p]: "R$" (not inside a word) or the euro sign before an amount, or an amount followed
// by the euro sign. Sets *end past it and *words to what is said.
bool ReadMoney(std::string_view text, size_t p, size_t* end, std::string* words) {
  const size_t n = text.size();
  Amount a;
  Currency currency = Currency::kReal;
  const char c = text[p];
  if ((c == 'R' || c == 'r') && p + 1 < n && text[p + 1] == '$') {
    if (p > 0 && (IsLetter(text[p - 1]) || IsHigh(text[p - 1]) || IsDigit(text[p - 1]))) return false;
    if (!ReadAmount(text, SkipBlanks(text, p + 2), &a)) return false;
    *end = a.end;
  } else if (c == kEuro) {
    if (!ReadAmount(text, SkipBlanks(text, p + 1), &a)) return false;
    currency = Currency::kEuro;
    *end = a.end;
  } else if (IsDigit(c)) {
    if (!ReadAmount(text, p, &a)) return false;
    const size_t sign = SkipBlanks(text, a.end);
    if (sign >= n || text[sign] != kEuro) return false;
    currency = Currency::kEuro;
    *end = sign + 1;
  } else {
    return false;
  }
  *words = MoneyToWords(a.whole, a.cents, currency);
  return true;
}

// The text with the typographic cp1252 marks written as the plain marks they stand for.
std::string WithPlainMarks(std::string_view input) {
  std::string out;
  out.reserve(input.size() + 8);
  for (char c : input) {
    const std::string_view plain = Cp1252MarkAsAscii(c);
    if (plain.empty()) out += c;
    else out += plain;
  }
  return out;
}

// Positions of the brackets around an emoji's name ("(rosto risonho)" from the network edge): they
// are paused on but not said.
std::vector<bool> QuietBrackets(const std::string& text) {
  std::vector<bool> quiet;
  for (size_t open = text.find('('); open != std::string::npos; open = text.find('(', open + 1)) {
    const size_t close = text.find(')', open + 1);
    if (close == std::string::npos) break;
    if (!IsEmojiName(std::string_view(text).substr(open + 1, close - open - 1))) continue;
    if (quiet.empty()) quiet.assign(text.size(), false);
    quiet[open] = quiet[close] = true;
    open = close;
  }
  return quiet;
}

std::string WithBackslash(std::string dir) {
  if (!dir.empty() && dir.back() != '\\') dir += '\\';
  return dir;
}

// The file of a recording: a settings directory (ending in "\") and a name, mapped onto this system and
// matched without letter case.
std::string SoundFile(const std::string& dir, std::string_view name) {
  std::string path = dir;
  path += name;
  path += ".wav";
  return FindFileNoCase(MapPath(path));
}

std::string CharSoundFile(char c) {
  char name[8];
  std::snprintf(name, sizeof name, "_%u", static_cast<unsigned>(static_cast<uint8_t>(c)));
  return SoundFile(Speech.LettersDir, name);
}

void WaitSilence() { WaitWhileSoundPlaying(); }

// A mark that is paused on (and said when SpeakPunctuationMarks is set); rest starts with the mark.
void SayPunctuation(std::string_view rest) {
  if (KeyPressed()) return;
  char mark = rest[0];
  bool spaced = rest.size() > 1 && rest[1] == ' ';
  WaitSilence();
  if (Speech.SpeakPunctuationMarks) SpeakChar(mark);
  switch (mark) {
    case '(': case ')': case ':': case ';':
      PauseInterruptible(Sound.PauseColon);
      break;
    case ',': case '-':
      if (spaced) PauseInterruptible(Sound.PauseComma);
      else if (!Speech.SpeakPunctuationMarks) SpeakChar(mark);
      break;
    case '.':
      if (spaced) PauseInterruptible(Sound.PausePeriod);
      else if (!Speech.SpeakPunctuationMarks) SpeakChar(mark);
      break;
  }
}

// Says one character that is neither a digit nor part of a word run; rest starts with it.
void SayOther(std::string_view rest) {
  char ch = rest.empty() ? ' ' : rest[0];
  if (ch == Speech.LastMark) {
    if (++Speech.RepeatCount > 3) {
      PlayClick();
      ch = ' ';
    }
  } else {
    Speech.LastMark = ch;
    Speech.RepeatCount = 0;
  }
  if (ch == '-') {
    char next = rest.size() < 3 ? ' ' : rest[1];
    if (next == ' ' || next == '-') SayPunctuation(rest);
    else if (IsDigit(next)) PlayPrompt("_MENOS");
    else SpeakChar(ch);
  } else if (rest.substr(0, 3) == "://") {
    SpellText(":");
  } else if (ch == '\t' || ch == ' ') {
  } else if (std::strchr("(),.:;", ch) != nullptr) {
    SayPunctuation(rest);
  } else if (IsCp1252NamedMark(ch)) {
    // Bullets, daggers, the trade mark and the like are said by name only when marks are said.
    if (Speech.SpeakPunctuationMarks && !KeyPressed()) SpeakChar(ch);
  } else if (ch != kEuro && static_cast<uint8_t>(ch) >= 0x80 && static_cast<uint8_t>(ch) < 0xA0) {
    // The bytes cp1252 leaves unassigned, the mark of a character cp1252 lacks among them: nothing.
  } else if (!KeyPressed()) {
    SpeakChar(ch);
  }
}

// Says a run of word characters: a word "www" in it is spelled, the rest goes to the transcriber.
void SayWordRun(std::string_view run) {
  size_t start = 0;
  size_t i = 0;
  while (i < run.size()) {
    while (i < run.size() && run[i] == ' ') ++i;
    const size_t word = i;
    while (i < run.size() && run[i] != ' ') ++i;
    if (i - word != 3 || UpperCaseAccented(run.substr(word, 3)) != "WWW") continue;
    if (run.substr(start, word - start).find_first_not_of(' ') != std::string_view::npos)
      SayTranscription(TranscribeText(std::string(run.substr(start, word - start))), false);
    if (KeyPressed()) return;
    SpellText(run.substr(word, 3));
    start = i;
  }
  if (start == 0 || run.substr(start).find_first_not_of(' ') != std::string_view::npos)
    SayTranscription(TranscribeText(std::string(run.substr(start))), false);
}

void SpeakRecorded(std::string_view input) {
  std::string text = WithPlainMarks(input);
  text += ' ';
  const std::vector<bool> quiet = QuietBrackets(text);
  Sound.SpeechCut = false;
  size_t p = 0;
  while (p < text.size() && !Sound.SpeechCut) {
    if (KeyPressed()) {
      CutSpeech();
      break;
    }
    size_t money_end = 0;
    std::string money;
    uint64_t grouped = 0;
    while (p < text.size() && text[p] == '0') {
      if (ReadMoney(text, p, &money_end, &money)) break;
      PlayPrompt("_zero");
      ++p;
    }
    if (p >= text.size()) break;
    char c = text[p];
    if (ReadMoney(text, p, &money_end, &money)) {
      SayNumberWords(money, false);
      p = money_end;
    } else if (!quiet.empty() && quiet[p]) {
      WaitSilence();
      PauseInterruptible(Sound.PauseColon);
      ++p;
    } else if (c >= '1' && c <= '9' && ReadGroupedNumber(text, p, &money_end, &grouped)) {
      SayNumberWords(NumberToWords(grouped), false);
      p = money_end;
    } else if (c >= '1' && c <= '9') {
      size_t end = p;
      while (end < text.size() && (IsDigit(text[end]) || text[end] == '-')) ++end;
      std::string_view run(text.data() + p, end - p);
      if (run.find('-') != std::string_view::npos || run.size() >= 7) {
        SpellText(run);
      } else {
        uint64_t value = 0;
        for (char d : run) value = value * 10 + static_cast<uint64_t>(d - '0');
        SayNumberWords(NumberToWords(value), false);
      }
      p = end;
    } else if (IsWordRunChar(c)) {
      size_t end = p;
      // A run ends where money written "R$ 10" starts.
      while (end < text.size() && IsWordRunChar(text[end]) && (end == p || !ReadMoney(text, end, &money_end, &money)))
        ++end;
      SayWordRun(std::string_view(text.data() + p, end - p));
      p = end;
      if (p + 1 < text.size() && text[p] == '-' && (IsLetter(text[p + 1]) || IsHigh(text[p + 1]))) ++p;
    } else {
      SayOther(std::string_view(text).substr(p));
      ++p;
    }
  }
}

}  // namespace

SpeechState::SpeechState() {
  std::random_device seed;
  std::minstd_rand random(seed());
  std::uniform_int_distribution<int> noise(0, 59);
  for (int i = 0; i < 64; ++i) ClickImage[kWaveHeaderSize + i] = static_cast<uint8_t>(noise(random) + 128);
  std::memset(ClickImage + kWaveHeaderSize + 64, 128, 256 - 64);
}

void InitSpeech(int speed, const std::string& program_sound_dir) {
  if (speed <= 0) speed = ProfileInt(ReadSuiteSetting("TRADUTOR", "VELOCIDADE"), 3);
  if (speed < 1 || speed > 5) speed = 3;
  Speech.Speed = speed;
  LoadSynthesizerParameters(speed);
  int code = StartDiphoneSynthesizer();
  if (code != kDiphoneOk) {
    ConsoleWrite("Erro de inicializa\xE7\xE3o: " + std::to_string(code));
    ConsoleWriteLn();
    ConsoleWrite("Banco de dados de voz: " + Diphone.DatabaseName);
    ConsoleWriteLn();
    StopDiphoneSynthesizer();
    // Without a voice nothing of this is heard: the console's own tone tells a listener that the
    // program stopped, and the exit code tells a script.
    WriteConsoleChar('\a');
    ConsoleReadLine();
    DoneConsole(kVoiceStartFailedExit);
  }
  Speech.ProgramSoundDir = WithBackslash(program_sound_dir);
  std::string ini = FindFileNoCase(JoinPath(WindowsDir(), "NARRIX.INI"));
  Speech.LettersDir =
      WithBackslash(GetProfileString(ini, "TRADUTOR", "DIRLETRAS", "c:\\zanvel\\som\\letras\\", 256));
  LoadSynthesizerParameters(speed);
  Sound.SynthesizerActive = false;
  std::string sapi = ReadSuiteSetting("TRADUTOR", "SAPI");
  if (!sapi.empty() && sapi[0] != 'N' && sapi[0] != 'n') {
    int voice = ProfileInt(ReadSuiteSetting("SERVFALA", "VOZ"), 0);
    int rate = ProfileInt(ReadSuiteSetting("SERVFALA", "VELOCIDADE"), 0);
    int pitch = ProfileInt(ReadSuiteSetting("SERVFALA", "TOM"), 0);
    int type = ProfileInt(ReadSuiteSetting("SERVFALA", "TIPOSAPI"), 0);
    if (type != 4 && rate > 10) rate = 0;
    Sound.SynthesizerActive = SelectSynthesizer(voice, rate, pitch, type);
    Sound.SynthesizerType = type;
  }
  Speech.Initialised = true;
}

void DoneSpeech() {
  WaitSilence();
  CutSpeech();
  if (Sound.SynthesizerActive) {
    SynthesizerDone();
    Sound.SynthesizerActive = false;
  }
  StopDiphoneSynthesizer();
  Speech.Initialised = false;
}

void SpeakText(std::string_view text) {
  if (Sound.SynthesizerActive) {
    WaitSilence();
    if (!KeyPressed()) {
      SynthesizerSpeak(std::string(text));
      Sound.SynthSpeechPending = true;
    }
    return;
  }
  SpeakRecorded(text);
}

void WriteSpoken(std::string_view text) {
  ConsoleWrite(text);
  SpeakText(text);
}

void WriteLnSpoken(std::string_view text) {
  WriteSpoken(text);
  ConsoleWriteLn();
}

void WriteNumberSpoken(int64_t n) { WriteSpoken(std::to_string(n)); }

void SpellText(std::string_view text) {
  for (char c : text) {
    if (KeyPressed()) return;
    SpeakChar(c);
  }
}

void SpeakChar(char c) {
  WaitSynthesizerIdle();
  PlayWaveFile(CharSoundFile(c));
}

std::string PromptSoundPath(std::string_view key) {
  bool letters = !key.empty() && key[0] == '_';
  return SoundFile(letters ? Speech.LettersDir : Speech.ProgramSoundDir, key);
}

void PlayPrompt(std::string_view key) {
  WaitSynthesizerIdle();
  PlayWaveFile(PromptSoundPath(key));
}

bool PromptSoundExists(std::string_view key) { return FileExists(PromptSoundPath(key)); }

void PlayClick() {
  WaitSynthesizerIdle();
  bool cut = Wave.CutPeriods;
  Wave.CutPeriods = false;
  BuildWaveHeader(Speech.ClickImage, 256, 11025, 1, 8);
  PlayWaveImage(Speech.ClickImage, kClickImageSize);
  WaitSilence();
  Wave.CutPeriods = cut;
}

void PlayBeep() {
  WaitSynthesizerIdle();
  while (KeyPressed()) ReadKey();
  static const uint8_t kPattern[8] = {128, 112, 96, 80, 64, 80, 96, 112};
  uint8_t image[kWaveHeaderSize + kBeepSamples];
  for (size_t i = 0; i < kBeepSamples; ++i) image[kWaveHeaderSize + i] = kPattern[i % 8];
  image[kWaveHeaderSize + kBeepSamples - 1] = 128;
  BuildWaveHeader(image, kBeepSamples, 11025, 1, 8);
  PlayWaveImage(image, sizeof image);
  WaitSilence();
}

void PlayDialTones(std::string_view text) {
  bool fast = Wave.FastRate;
  Wave.FastRate = false;
  for (char c : text) {
    c = UpperCaseAccented(c);
    if (IsDigit(c) || c == '#' || c == '*') {
      char name[8];
      std::snprintf(name, sizeof name, "dtmf_%c", c == '*' ? 'X' : c);
      PlayWaveFile(SoundFile(Speech.LettersDir, name));
      WaitSilence();
      Delay(100);
    } else if (c == ',') {
      Delay(1000);
    }
  }
  Wave.FastRate = fast;
}

char UpperCaseAccented(char c) {
  uint8_t u = static_cast<uint8_t>(c);
  if (u >= 'a' && u <= 'z') return static_cast<char>(u - 32);
  if (u > 223) return static_cast<char>(u - 32);
  return c;
}

std::string UpperCaseAccented(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpperCaseAccented(c);
  return out;
}

}  // namespace falatro
