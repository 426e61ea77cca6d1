// The speech front end: the one door through which the program says texts, spells, and plays prompts and signals.
#include "speech/speech.h"

#include <cstring>
#include <random>

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
bool IsHigh(char c) { return static_cast<uint8_t>(c) >= 128; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
// Characters that make up the runs handed to the transcriber.
bool IsWordRunChar(char c) { return IsLetter(c) || c == ' ' || IsHigh(c); }

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
  } else if (!KeyPressed()) {
    SpeakChar(ch);
  }
}

void SpeakRecorded(std::string_view input) {
  std::string text(input);
  text += ' ';
  Sound.SpeechCut = false;
  size_t p = 0;
  while (p < text.size() && !Sound.SpeechCut) {
    if (KeyPressed()) {
      CutSpeech();
      break;
    }
    while (p < text.size() && text[p] == '0') {
      PlayPrompt("_zero");
      ++p;
    }
    if (p >= text.size()) break;
    char c = text[p];
    if (c >= '1' && c <= '9') {
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
      while (end < text.size() && IsWordRunChar(text[end])) ++end;
      std::string_view run(text.data() + p, end - p);
      // The blank added at the end joins the run; "WWW" ending the text is still spelled.
      std::string_view bare = run.substr(0, run.find_last_not_of(' ') + 1);
      if (UpperCaseAccented(bare) == "WWW") SpellText(bare);
      else SayTranscription(TranscribeText(std::string(run)), false);
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
    ConsoleReadLine();
    DoneConsole();
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
    Sound.SynthesizerActive = StartSynthesizer(voice, rate, pitch, type);
    Sound.SynthesizerType = type;
  }
  Speech.Initialised = true;
}

void DoneSpeech() {
  WaitSilence();
  CutSpeech();
  if (Sound.SynthesizerActive) {
    StopSynthesizer();
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
