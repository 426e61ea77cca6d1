// Synthesizer benchmarks: with eSpeak NG in-process, SynthesizerSpeak to the first block at the device
// for ten-word sentences and a key to silence (the key waiting while the program waits for silence,
// and a key the program has already read); with Speech Dispatcher, a stop to its cancel notice.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/event_loop.h"
#include "bench_sound_support.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "platform/console/headless/headless_frontend.h"
#include "platform/sound/sound_backends.h"
#include "platform/speech/espeak/espeak_synthesizer.h"
#include "platform/speech/speechd/speechd_synthesizer.h"
#include "speech/sound_device.h"
#include "speech/suite_settings.h"
#include "speech/synthesizer.h"
#include "speech/wave_player.h"
#include "speech_dispatcher_daemon.h"

using namespace falatro;

namespace {

using benchkeys::SteadyMicros;

void Percentiles(const char* what, std::vector<double> v) {
  benchkeys::PrintPercentiles(what, std::move(v), {48, 2, " runs"});
}

const char* kSentences[] = {
    "O rato roeu a roupa do rei de Roma ontem.",
    "Amanh\xE3 vamos todos juntos ao cinema depois do almo\xE7o.",
    "Algu\xE9m sabe onde fica a reuni\xE3o do canal hoje?",
    "Eu gosto muito de conversar com voc\xEAs por aqui.",
    "A chuva forte derrubou muitas \xE1rvores na cidade grande.",
};

int BrazilianVoice() {
  // The voice list is the library's; the Brazilian voice is found by its name.
  SynthesizerBackend* v = EspeakSynthesizer();
  for (int n = 1; v->Start(n, 0, 0); ++n) {
    const EspeakFigures& f = EspeakVoiceFigures();
    if (f.voice_name.find("Brazil") != std::string::npos) return n;
    if (n >= f.voice_count) break;
  }
  return 1;
}

// A key typed by another thread at a random moment while a sentence is said; read_first: the program
// reads the key (as a line editor or channel loop does) and does not wait for the sound.
std::vector<double> KeyToSilence(int trials, bool read_first) {
  std::mt19937 rng(7);
  std::vector<double> out;
  for (int t = 0; t < trials; ++t) {
    ResetKeyboardState();
    uint64_t resets = SoundDev.resets;
    SynthesizerSpeak(std::string(kSentences[t % 5]) + " " + kSentences[(t + 1) % 5]);
    Sound.SynthSpeechPending = true;
    benchkeys::KeyLater key(150 + int(rng() % 900));
    if (read_first) {
      ReadKey();
      // The program goes on with other work and waits in the event loop; it never asks about sound.
      uint64_t give_up = NowMs() + 3000;
      while (SoundDev.resets == resets && NowMs() < give_up) {
        WaitMessage(100);
        DispatchMessages();
      }
    } else {
      WaitSynthesizerIdle();
    }
    key.Join();
    while (KeyPressed()) ReadKey();
    key.NoteReset(resets, &out);
    SynthesizerStop();
  }
  return out;
}

void BenchEspeak() {
  std::printf("eSpeak NG in-process (null device, real clock)\n");
  benchkeys::StartHeadlessConsole(RealClockBackend());
  NullSoundBackend null;
  SetSoundBackend(&null);
  SetSynthesizerBackend(SynthesizerKind::kSystemVoice, EspeakSynthesizer());
  int voice = BrazilianVoice();
  EspeakSynthesizer()->Release();
  if (!SelectSynthesizer(voice, 0, 0, 4)) {
    std::printf("  eSpeak NG did not start\n");
    return;
  }
  Sound.SynthesizerActive = true;
  Sound.SynthesizerType = 4;
  std::printf("  voice %d (%s)\n", voice, EspeakVoiceFigures().voice_name.c_str());

  std::vector<double> first;
  for (int t = 0; t < 50; ++t) {
    uint64_t blocks = SoundDev.blocks_written;
    uint64_t t0 = SteadyMicros();
    SynthesizerSpeak(kSentences[t % 5]);
    uint64_t t1 = EspeakVoiceFigures().first_block_us;
    if (SoundDev.blocks_written > blocks && t1 >= t0) first.push_back(double(t1 - t0) / 1000.0);
    SynthesizerStop();
  }
  Percentiles("SynthesizerSpeak -> first block at the device", first);

  Percentiles("key waiting -> reset (waiting for silence)", KeyToSilence(30, false));
  std::vector<double> read = KeyToSilence(30, true);
  Percentiles("key read by the program -> reset (loop timer)", read);
  double buffer_ms = 1000.0 * SdlBufferFrames(22050) / 22050;
  std::printf("  sdl device buffer at 22050 Hz: %.2f ms; key to last sample <= reset + 2 x %.2f ms\n", buffer_ms,
              buffer_ms);
  SynthesizerDone();
  Sound.SynthesizerActive = false;
  SetSoundBackend(nullptr);
}

// Speech Dispatcher plays with its own audio (here libao's null driver, which does not pace it, so a
// text is stopped a few milliseconds after it is given, while the module is still speaking it).
void BenchSpeechDispatcher() {
  std::printf("Speech Dispatcher (a daemon of its own, eSpeak NG module, libao null driver)\n");
  testsupport::SpeechDispatcherDaemon daemon;
  std::string error;
  if (!daemon.Start(&error)) {
    std::printf("  no daemon: %s\n", error.c_str());
    return;
  }
  benchkeys::StartHeadlessConsole(RealClockBackend());
  SynthesizerBackend* s = SpeechDispatcherSynthesizer();
  uint64_t t0 = SteadyMicros();
  if (!s->Start(0, 0, 0)) {
    std::printf("  the service did not start\n");
    return;
  }
  std::printf("  start (listing %d voices): %.0f ms\n", SpeechDispatcherVoiceFigures().voice_count,
              double(SteadyMicros() - t0) / 1000.0);
  std::string text;
  while (text.size() < 2000) text += "Uma frase bastante longa para medir a parada do servi\xE7o de fala. ";
  std::vector<double> stop_ms;
  for (int t = 0; t < 20; ++t) {
    s->Speak(text);
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
    s->Stop();
    uint64_t limit = SteadyMicros() + 2000000;
    while (SpeechDispatcherVoiceFigures().cancel_notice_us == 0 && SteadyMicros() < limit)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    SpeechDispatcherFigures f = SpeechDispatcherVoiceFigures();
    if (f.cancel_notice_us != 0) stop_ms.push_back(double(f.cancel_notice_us - f.stop_us) / 1000.0);
    while (s->Busy(0)) {
    }
  }
  Percentiles("stop (cancel) -> cancel notice", stop_ms);
  s->Release();
}

}  // namespace

int main() {
  BenchEspeak();
  BenchSpeechDispatcher();
  return 0;
}
