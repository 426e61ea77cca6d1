// The synthesizer selection and the system voice (eSpeak NG in-process) heard through the `file` device.
#include <dlfcn.h>
#include <espeak-ng/speak_lib.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "console/keyboard.h"
#include "platform/sound/sound_backends.h"
#include "platform/speech/espeak/espeak_synthesizer.h"
#include "sound_fixture.h"
#include "speech/speech.h"
#include "speech/suite_settings.h"
#include "speech/synthesizer.h"
#include "speech/wave_player.h"
#include "tts/velar.h"
#include "heard_synthesizer_fixture.h"

namespace falatro {
namespace {

// A synthesizer that writes down what it was asked (for the switch's routing).
struct FakeSynth : SynthesizerBackend {
  std::vector<std::string> calls;
  bool start_ok = true;
  int busy_answers = 0;  // busy queries answered true before false
  bool Start(int voice, int speed, int pitch) override {
    calls.push_back("start " + std::to_string(voice) + " " + std::to_string(speed) + " " + std::to_string(pitch));
    return start_ok;
  }
  void Speak(const std::string& text) override { calls.push_back("speak " + text); }
  bool Busy(int mode) override {
    calls.push_back("busy " + std::to_string(mode));
    return busy_answers-- > 0;
  }
  void Stop() override { calls.push_back("stop"); }
  void Release() override { calls.push_back("release"); }
};

std::string Joined(const std::vector<std::string>& v) {
  std::string s;
  for (const auto& x : v) s += (s.empty() ? "" : "; ") + x;
  return s;
}

class SynthesizerTest : public testing::HeardSynthesizerFixture {
 protected:
  std::vector<int16_t> Heard() { return soundtest::RecordedSamples(root_ + "/heard.wav"); }
  void StartSpeechWith(const std::string& servfala) {
    WriteIni("SAPI=S\r\n[SERVFALA]\r\n" + servfala);
    InitSpeech(0, prog_);
  }
  // Number of the Brazilian Portuguese voice in the library's list.
  int BrazilianVoice() {
    SynthesizerBackend* v = EspeakSynthesizer();
    EXPECT_TRUE(v->Start(1, 0, 0));
    int n = 0;
    const espeak_VOICE** list = espeak_ListVoices(nullptr);
    for (int i = 0; list && list[i] && n == 0; ++i)
      if (std::strcmp(list[i]->languages + 1, "pt-br") == 0) n = i + 1;
    v->Release();
    EXPECT_GT(n, 0) << "no pt-br voice";
    return n;
  }
  static double Rms(const std::vector<int16_t>& s) {
    double sum = 0;
    for (int16_t x : s) sum += double(x) * x;
    return s.empty() ? 0 : std::sqrt(sum / double(s.size()));
  }
};

constexpr const char* kSentence = "O rato roeu a roupa do rei de Roma e fugiu pelo telhado.";

TEST_F(SynthesizerTest, TheSettingsChooseTheSynthesizerAndItsSpeed) {
  struct Case {
    const char* what;
    const char* servfala;
    const char* system_calls;
    const char* service_calls;
    bool active;
  } cases[] = {
      {"type 0 is the system voice; above 10 it speaks at speed 0", "VOZ=2\r\nVELOCIDADE=12\r\nTOM=3\r\nTIPOSAPI=0\r\n",
       "start 2 0 3; busy 1", "", true},
      {"type 4 alone keeps any speed", "VELOCIDADE=200\r\nTIPOSAPI=4\r\n", "start 0 200 0; busy 1", "", true},
      {"type 7 is any other value", "VELOCIDADE=9\r\nTIPOSAPI=7\r\n", "start 0 9 0; busy 1", "", true},
      {"type 5 above 10 speaks at speed 0", "VOZ=1\r\nVELOCIDADE=12\r\nTOM=4\r\nTIPOSAPI=5\r\n", "",
       "start 1 0 4; busy 1", true},
      {"type 54 keeps 10", "VELOCIDADE=10\r\nTIPOSAPI=54\r\n", "", "start 0 10 0; busy 1", true},
      {"type 54 negative speeds stay", "VELOCIDADE=-7\r\nTIPOSAPI=54\r\n", "", "start 0 -7 0; busy 1", true},
      {"type 3 is the built-in engine: without its files it does not start", "VELOCIDADE=12\r\nTIPOSAPI=3\r\n", "",
       "", false},
  };
  for (const Case& c : cases) {
    FakeSynth system, service;
    SetSynthesizerBackend(SynthesizerKind::kSystemVoice, &system);
    SetSynthesizerBackend(SynthesizerKind::kSpeechService, &service);
    StartSpeechWith(c.servfala);
    EXPECT_EQ(Joined(system.calls), c.system_calls) << c.what;
    EXPECT_EQ(Joined(service.calls), c.service_calls) << c.what;
    EXPECT_EQ(Sound.SynthesizerActive, c.active) << c.what;
    DoneSpeech();
    ResetSynthesizerSelection();
  }
}

TEST_F(SynthesizerTest, NoSynthesizerUnlessTheSettingAsksForOne) {
  for (const char* sapi : {"", "N", "nao"}) {
    FakeSynth system;
    SetSynthesizerBackend(SynthesizerKind::kSystemVoice, &system);
    WriteIni(std::string("SAPI=") + sapi + "\r\n[SERVFALA]\r\nTIPOSAPI=4\r\n");
    InitSpeech(0, prog_);
    EXPECT_TRUE(system.calls.empty()) << sapi;
    EXPECT_FALSE(Sound.SynthesizerActive) << sapi;
    DoneSpeech();
  }
}

TEST_F(SynthesizerTest, SelectionWaitsForTheStartedSynthesizerAndKeepsTheTypeOnFailure) {
  FakeSynth system;
  system.busy_answers = 3;
  SetSynthesizerBackend(SynthesizerKind::kSystemVoice, &system);
  uint64_t before = sim_.now;
  EXPECT_TRUE(SelectSynthesizer(1, 0, 0, 4));
  EXPECT_EQ(sim_.now - before, 150u) << "three busy answers, 50 ms apart";
  EXPECT_EQ(Joined(system.calls), "start 1 0 0; busy 1; busy 1; busy 1; busy 1");
  SynthesizerSpeak("oi");
  SynthesizerStop();
  SynthesizerDone();
  EXPECT_EQ(system.calls.back(), "release");
  EXPECT_EQ(system.calls[system.calls.size() - 3], "speak oi");

  system.calls.clear();
  system.start_ok = false;
  EXPECT_FALSE(SelectSynthesizer(1, 0, 0, 7));
  EXPECT_EQ(Synth.CurrentSynthesizerType, 7);
  EXPECT_EQ(Joined(system.calls), "start 1 0 0");
  // Nothing reaches a synthesizer that did not start, and busy answers false.
  SynthesizerSpeak("oi");
  EXPECT_FALSE(SynthesizerBusy(0));
  EXPECT_FALSE(SelectSynthesizer(1, 0, 0, 5)) << "no speech service installed";
  EXPECT_EQ(Synth.CurrentSynthesizerType, 5);
}

TEST_F(SynthesizerTest, EngineSettingsAreReadOnceWithTheirDefaults) {
  WriteIni("[VELARTTS]\r\nDIR=c:\\motor\r\nBASE=outro\r\n");
  const EngineSettings& e = ReadEngineSettings();
  EXPECT_EQ(e.Database, "br4");
  EXPECT_EQ(e.File(".nrl"), "c:\\motor\\outro.nrl");
  WriteIni("[VELARTTS]\r\nMBROLA_DB=xx\r\n");
  EXPECT_EQ(ReadEngineSettings().Database, "br4") << "read once";
  ResetSynthesizerSelection();
  EXPECT_EQ(ReadEngineSettings().Database, "xx");
  EXPECT_EQ(ReadEngineSettings().File(".dfn"), "\\zanvel\\velartts\\portug.dfn");
}

TEST_F(SynthesizerTest, SystemVoiceSpeedAndPitchMapOntoTheLibrarysRanges) {
  struct Case { int setting, rate, pitch; } cases[] = {
      {0, 175, 50},   {1, 203, 55},   {5, 313, 75},   {10, 450, 100}, {-1, 165, 45},
      {-10, 80, 0},   {11, 80, 11},   {200, 200, 100}, {900, 450, 100}, {-11, 80, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EspeakRateOf(c.setting), c.rate) << c.setting;
    EXPECT_EQ(EspeakPitchOf(c.setting), c.pitch) << c.setting;
  }
}

TEST_F(SynthesizerTest, TextsAreShapedForTheLibrary) {
  struct Case { std::string in, out; } cases[] = {
      {"7", "7."},        {"  7 \t", "7."},   {"77", "77"},  {"", ""},  {" \r\n ", ""},
      {"a\xE7\xE3o \x93x\x94", "a\xC3\xA7\xC3\xA3o \xE2\x80\x9Cx\xE2\x80\x9D"},
      {std::string(70000, 'a'), std::string(63999, 'a')},
      {std::string(63999, 'b') + "\xE9", std::string(63999, 'b')},
  };
  for (const Case& c : cases) EXPECT_EQ(EspeakTextOf(c.in), c.out) << c.in.substr(0, 20);
}

TEST_F(SynthesizerTest, LongTextsAreSaidInPiecesThatRejoinExactly) {
  std::string sentences;
  while (sentences.size() < 1500) sentences += "Uma frase com acento: a\xC3\xA7\xC3\xA3o. ";
  std::string accented;
  for (int i = 0; i < 200; ++i) accented += "\xC3\xA9";  // 400 bytes of two-byte characters, no blank
  struct Case { const char* what; std::string text; size_t limit; size_t pieces; } cases[] = {
      {"short", "curto", 600, 1},
      {"sentences cut at their ends", sentences, 600, 3},
      {"no blank: cut between characters", accented, 127, 4},
  };
  for (const Case& c : cases) {
    std::vector<std::string> pieces = SplitForSpeech(c.text, c.limit);
    std::string joined;
    for (const std::string& p : pieces) {
      EXPECT_LE(p.size(), c.limit) << c.what;
      EXPECT_NE(uint8_t(p[0]) & 0xC0, 0x80) << c.what << ": a piece starts inside a character";
      joined += p;
    }
    EXPECT_EQ(joined, c.text) << c.what;
    EXPECT_EQ(pieces.size(), c.pieces) << c.what;
  }
  for (const std::string& p : SplitForSpeech(sentences, 600)) EXPECT_EQ(p.substr(p.size() - 2), ". ");
}

TEST_F(SynthesizerTest, SystemVoiceNumbersVoicesInTheLibrarysOrder) {
  SynthesizerBackend* v = EspeakSynthesizer();
  ASSERT_TRUE(v->Start(1, 0, 0));
  const int count = EspeakVoiceFigures().voice_count;
  std::vector<std::string> names;
  const espeak_VOICE** list = espeak_ListVoices(nullptr);
  for (int i = 0; list && list[i]; ++i) names.push_back(list[i]->name);
  v->Release();
  ASSERT_GT(count, 2);
  ASSERT_EQ(int(names.size()), count);
  struct Case { int asked, used; } cases[] = {{0, 1}, {-3, 1}, {1, 1}, {2, 2}, {count, count}, {count + 7, count}};
  for (const Case& c : cases) {
    ASSERT_TRUE(v->Start(c.asked, 0, 0)) << c.asked;
    EXPECT_EQ(EspeakVoiceFigures().voice_number, c.used) << c.asked;
    EXPECT_EQ(EspeakVoiceFigures().voice_name, names[size_t(c.used - 1)]) << c.asked;
    v->Release();
  }
}

TEST_F(SynthesizerTest, SystemVoiceIsHeardAndItsVoiceAndRateChangeIt) {
  SetSynthesizerBackend(SynthesizerKind::kSystemVoice, EspeakSynthesizer());
  const int br = BrazilianVoice();
  struct Case { const char* what; int voice, speed; std::vector<int16_t> heard; } cases[] = {
      {"Brazilian voice, its own rate", br, 0, {}},
      {"fastest", br, 10, {}},
      {"slowest", br, -10, {}},
      {"another voice", br - 1, 0, {}},
  };
  for (Case& c : cases) {
    ASSERT_TRUE(file_.Create(root_ + "/heard.wav", nullptr));
    StartSpeechWith("VOZ=" + std::to_string(c.voice) + "\r\nVELOCIDADE=" + std::to_string(c.speed) +
                    "\r\nTIPOSAPI=4\r\n");
    ASSERT_TRUE(Sound.SynthesizerActive) << c.what;
    WriteLnSpoken(kSentence);
    WaitSynthesizerIdle();
    c.heard = Heard();
    DoneSpeech();
  }
  const double base = double(cases[0].heard.size()) / 22050;
  EXPECT_GT(base, 2.0);
  EXPECT_LT(base, 6.0);
  EXPECT_GT(Rms(cases[0].heard), 1000) << "speech, not silence";
  EXPECT_LT(cases[1].heard.size(), cases[0].heard.size() * 3 / 4) << cases[1].what;
  EXPECT_GT(cases[2].heard.size(), cases[0].heard.size() * 3 / 2) << cases[2].what;
  EXPECT_NE(cases[3].heard, cases[0].heard) << cases[3].what;
  EXPECT_GT(Rms(cases[3].heard), 1000) << cases[3].what;
}

TEST_F(SynthesizerTest, SystemVoiceIsCutByAKeyWithinOneBlock) {
  SetSynthesizerBackend(SynthesizerKind::kSystemVoice, EspeakSynthesizer());
  const int br = BrazilianVoice();
  // A key waiting while the program waits for silence, and a key the program has already read.
  for (bool read_first : {false, true}) {
    ASSERT_TRUE(file_.Create(root_ + "/heard.wav", nullptr));
    StartSpeechWith("VOZ=" + std::to_string(br) + "\r\nTIPOSAPI=4\r\n");
    uint64_t start = sim_.now;
    SpeakText(kSentence);
    Message key;
    key.kind = kMsgChar;
    key.key.ch = 'k';
    sim_.Schedule(start + 700, key);
    if (read_first) {
      EXPECT_EQ(ReadKey(), 'k');
    }
    WaitSynthesizerIdle();
    EXPECT_FALSE(SynthesizerBusy(0));
    const double heard_ms = double(Heard().size()) * 1000 / 22050;
    EXPECT_GE(heard_ms, 690) << read_first;
    EXPECT_LE(heard_ms, 700 + 250) << "a key cuts within one block (a quarter second); read first: " << read_first;
    EXPECT_EQ(Kbd.KeyCount, read_first ? 0 : 1) << "the key stays for its reader";
    while (KeyPressed()) ReadKey();
    DoneSpeech();
  }
}

TEST_F(SynthesizerTest, SystemVoiceBusyModesAndStop) {
  SynthesizerBackend* v = EspeakSynthesizer();
  ASSERT_TRUE(v->Start(BrazilianVoice(), 0, 0));
  std::string long_text;
  while (long_text.size() < 2000) long_text += std::string(kSentence) + " ";
  struct Case { const char* what; std::string text; bool queued, sounding; } cases[] = {
      {"a sentence is made at once and still sounds", kSentence, false, true},
      {"a long text keeps pieces queued", long_text, true, true},
      {"blanks only: nothing", "   ", false, false},
  };
  for (const Case& c : cases) {
    v->Speak(c.text);
    EXPECT_EQ(v->Busy(1), c.queued) << c.what;
    EXPECT_EQ(v->Busy(0), c.sounding) << c.what;
    v->Stop();
    EXPECT_FALSE(v->Busy(1)) << c.what;
    EXPECT_FALSE(v->Busy(0)) << c.what;
    EXPECT_FALSE(IsWavePlaying()) << c.what;
  }
  // A key already waiting (with stop-on-key) keeps a text from being said at all; without it, it is said.
  uint64_t said = EspeakVoiceFigures().texts_said;
  InjectKeys("x");
  v->Speak("7");
  EXPECT_EQ(EspeakVoiceFigures().texts_said, said);
  Wave.StopOnKey = false;
  v->Speak("7");
  EXPECT_EQ(EspeakVoiceFigures().last_text, "7.");
  while (v->Busy(0)) WaitMessage(50);
  EXPECT_GT(Heard().size(), 2000u) << "the digit was heard";
  v->Release();
}

TEST_F(SynthesizerTest, BuiltInEngineTakesItsFilesAndFactorsAndAKeyStopsIt) {
  // The engine's files beside its database in the suite's place (found through the database's
  // location), and a synthesizer library that makes 4000 samples a phoneme line.
  const std::string dir = root_ + "/root/zanvel/velartts";
  std::filesystem::create_directories(dir);
  for (const char* ext : {".nrl", ".exc", ".abr", ".pro", ".dfn"})
    std::filesystem::copy_file(std::string(FALATRO_SOURCE_DIR) + "/data/engine/portug" + ext,
                               dir + "/portug" + ext);
  WriteFile(dir + "/br4", "");
  void* fake = dlopen(FAKE_MBROLA_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(fake, nullptr);
  auto configure = reinterpret_cast<void (*)(int, int, int, const char*)>(dlsym(fake, "fake_mbrola_configure"));
  auto calls = reinterpret_cast<std::vector<std::string>* (*)()>(dlsym(fake, "fake_mbrola_calls"));
  ASSERT_TRUE(configure && calls);
  configure(4000, 16000, 0, "");
  const std::string engine = std::string("[VELARTTS]\r\nBIBLIOTECA=") + FAKE_MBROLA_LIBRARY + "\r\n";
  struct Case { const char* what; const char* servfala; bool starts; double duration, pitch; } cases[] = {
      {"speed 0, pitch 0", "TIPOSAPI=3\r\n", true, 0.8, 1.0},
      {"faster and higher", "VELOCIDADE=6\r\nTOM=11\r\nTIPOSAPI=3\r\n", true, 0.4, 2.0},
      {"above 10 is speed 0; lowest pitch", "VELOCIDADE=12\r\nTOM=-11\r\nTIPOSAPI=3\r\n", true, 0.8, 0.0},
      {"slower", "VELOCIDADE=-3\r\nTIPOSAPI=3\r\n", true, 1.0, 1.0},
      {"a base with no files", "TIPOSAPI=3\r\n", false, 0.8, 1.0},
  };
  for (const Case& c : cases) {
    calls()->clear();
    WriteIni("SAPI=S\r\n[SERVFALA]\r\n" + std::string(c.servfala) + engine + (c.starts ? "" : "BASE=nada\r\n"));
    InitSpeech(0, prog_);
    EXPECT_EQ(Sound.SynthesizerActive, c.starts) << c.what;
    EXPECT_NEAR(Velar.DurationFactor, c.duration, 1e-9) << c.what;
    EXPECT_NEAR(Velar.PitchFactor, c.pitch, 1e-9) << c.what;
    ASSERT_FALSE(calls()->empty()) << c.what;
    EXPECT_EQ(calls()->front(), "init_MBR " + dir + "/br4") << c.what;
    if (c.starts) {
      // A key waiting while the engine speaks: the next busy query stops it and answers false.
      SpeakText("a casa");
      EXPECT_TRUE(SynthesizerBusy(0)) << c.what;
      InjectKeys("x");
      EXPECT_FALSE(SynthesizerBusy(0)) << c.what;
      EXPECT_FALSE(IsWavePlaying()) << c.what;
      EXPECT_TRUE(KeyPressed()) << "the key stays for its reader";
      ReadKey();
    }
    DoneSpeech();
    EXPECT_FALSE(Velar.Started) << c.what;
    ResetSynthesizerSelection();
  }
  dlclose(fake);
}

}  // namespace
}  // namespace falatro
