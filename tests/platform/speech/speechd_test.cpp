// The speech service (types 5 and 54) against a real Speech Dispatcher started for the test, with its
// eSpeak NG module and libao's null driver; and the recorded voice when no daemon runs.
#include <gtest/gtest.h>
#include <libspeechd.h>

#include <cstdlib>

#include "console/keyboard.h"
#include "platform/sound/sound_backends.h"
#include "platform/speech/speechd/speechd_synthesizer.h"
#include "speech/speech.h"
#include "speech/suite_settings.h"
#include "speech/synthesizer.h"
#include "speech_dispatcher_daemon.h"
#include "heard_synthesizer_fixture.h"

namespace falatro {
namespace {

class SpeechServiceTest : public testing::HeardSynthesizerFixture {
 protected:
  void SetUp() override {
    HeardSynthesizerFixture::SetUp();
    SetSynthesizerBackend(SynthesizerKind::kSpeechService, SpeechDispatcherSynthesizer());
  }
  void TearDown() override {
    EndSpeech();
    daemon_.Stop();
    SpeechFixture::TearDown();
  }
  void StartDaemon() {
    std::string error;
    ASSERT_TRUE(daemon_.Start(&error)) << error;
  }
  // Waits (on the real clock: the daemon's notices come in real time) until the service is idle.
  bool WaitIdle(SynthesizerBackend* s, int limit_ms = 10000) {
    for (int waited = 0; waited < limit_ms; waited += 20)
      if (!s->Busy(0)) return true;
    return false;
  }
  testsupport::SpeechDispatcherDaemon daemon_;
};

TEST_F(SpeechServiceTest, WithoutADaemonTheRecordedVoiceSpeaks) {
  setenv("SPEECHD_ADDRESS", ("unix_socket:" + root_ + "/nobody.sock").c_str(), 1);
  for (const char* type : {"5", "54"}) {
    ASSERT_TRUE(file_.Create(root_ + "/heard.wav", nullptr));
    WriteIni(std::string("SAPI=S\r\n[SERVFALA]\r\nTIPOSAPI=") + type + "\r\n");
    InitSpeech(0, prog_);
    EXPECT_FALSE(Sound.SynthesizerActive) << type;
    EXPECT_EQ(Synth.CurrentSynthesizerType, std::atoi(type));
    SpeakText("a");
    EXPECT_EQ(file_.data_bytes(), 2u * 2 * 400) << "the recorded unit, at 22050 Hz 16-bit: " << type;
    DoneSpeech();
  }
}

TEST_F(SpeechServiceTest, VoicesAndRatesFollowTheServicesList) {
  StartDaemon();
  // The test's own look at the list, to check numbering against it.
  char* err = nullptr;
  SPDConnection* c = spd_open2("test", "list", nullptr, SPD_MODE_SINGLE, nullptr, 0, &err);
  std::free(err);
  ASSERT_NE(c, nullptr);
  SPDVoice** list = spd_list_synthesis_voices(c);
  std::vector<std::string> names;
  for (int i = 0; list && list[i]; ++i) names.push_back(list[i]->name);
  free_spd_voices(list);
  spd_close(c);
  ASSERT_GT(names.size(), 3u);
  const int count = int(names.size());
  struct Case { int voice, speed, used, rate; } cases[] = {
      {0, 7, 1, 0}, {count + 1, 7, 1, 0}, {-2, 5, 1, 0}, {3, 7, 3, 70}, {count, -10, count, -100}, {2, 0, 2, 0},
  };
  SynthesizerBackend* s = SpeechDispatcherSynthesizer();
  for (const Case& k : cases) {
    ASSERT_TRUE(s->Start(k.voice, k.speed, 0)) << k.voice;
    SpeechDispatcherFigures f = SpeechDispatcherVoiceFigures();
    EXPECT_EQ(f.voice_count, count);
    EXPECT_EQ(f.voice_number, k.used) << k.voice;
    EXPECT_EQ(f.voice_name, names[size_t(k.used - 1)]) << k.voice;
    EXPECT_EQ(f.rate, k.rate) << k.voice;
    s->Release();
  }
  for (auto [speed, rate] : {std::pair{3, 30}, {-4, -40}, {10, 100}, {15, 100}, {-15, -100}})
    EXPECT_EQ(SpeechDispatcherRateOf(speed), rate);
}

TEST_F(SpeechServiceTest, TextsEndWithNoticesAndAStopCancels) {
  StartDaemon();
  SynthesizerBackend* s = SpeechDispatcherSynthesizer();
  ASSERT_TRUE(s->Start(0, 0, 0));
  struct Case { const char* what; std::string text, sent; } cases[] = {
      {"cp1252 goes as UTF-8", "Ol\xE1, tudo bem?", "Ol\xC3\xA1, tudo bem?"},
      {"an empty text is one blank", "", " "},
  };
  uint64_t ends = 0;
  for (const Case& c : cases) {
    s->Speak(c.text);
    EXPECT_EQ(SpeechDispatcherVoiceFigures().last_text, c.sent) << c.what;
    ASSERT_TRUE(WaitIdle(s)) << c.what << ": no end notice";
    EXPECT_GT(SpeechDispatcherVoiceFigures().ends, ends) << c.what;
    ends = SpeechDispatcherVoiceFigures().ends;
  }
  EXPECT_EQ(SpeechDispatcherVoiceFigures().failures, 0u);

  // A long text stopped at once: the cancel notice ends busy. The same when a key reaches the queue.
  std::string long_text;
  while (long_text.size() < 3000) long_text += "Uma frase bastante longa para o servi\xE7o de fala. ";
  for (bool by_key : {false, true}) {
    uint64_t cancels = SpeechDispatcherVoiceFigures().cancels;
    s->Speak(long_text);
    if (by_key) {
      InjectKeys("k");
      EXPECT_FALSE(s->Busy(0)) << "a key cuts the service's speech";
      while (KeyPressed()) ReadKey();
    } else {
      s->Stop();
    }
    ASSERT_TRUE(WaitIdle(s)) << by_key;
    EXPECT_GT(SpeechDispatcherVoiceFigures().cancels, cancels) << "by key: " << by_key;
  }
  s->Release();
}

TEST_F(SpeechServiceTest, TheFrontEndSpeaksThroughTheServiceAndRecordingsWaitForIt) {
  StartDaemon();
  Letter("_65", 300);
  WriteIni("SAPI=S\r\n[SERVFALA]\r\nVELOCIDADE=12\r\nTIPOSAPI=54\r\n");
  InitSpeech(0, prog_);
  ASSERT_TRUE(Sound.SynthesizerActive);
  EXPECT_EQ(SpeechDispatcherVoiceFigures().rate, 0) << "above 10 the service speaks at speed 0";
  WriteLnSpoken("Mensagem do canal");
  EXPECT_EQ(SpeechDispatcherVoiceFigures().texts_said, 1u);
  EXPECT_EQ(file_.data_bytes(), 0u) << "the service plays with its own audio";
  // A recording waits for the service to fall silent, then plays.
  SpeakChar('A');
  EXPECT_EQ(SpeechDispatcherVoiceFigures().ends, 1u);
  EXPECT_EQ(file_.data_bytes(), 2u * 2 * 300);
}

}  // namespace
}  // namespace falatro
