// The built-in engine with the project's own synthesizer and generated voice: real-time factor of
// synthesis (text stages included, and the synthesizer alone), time from VelarSpeak to the first
// block handed to the sound output, key to silence while it speaks (null device, real clock), and the
// voice database's size. Needs the voice installed (`make voice`, under $NARRIX_ROOT).
#include <time.h>

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
#include "base/paths.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "platform/console/headless/headless_frontend.h"
#include "platform/mbrola/diphone_store.h"
#include "platform/mbrola/psola_synth.h"
#include "platform/sound/sound_backends.h"
#include "speech/sound_device.h"
#include "speech/velar_output.h"
#include "speech/wave_player.h"
#include "tts/velar.h"
#include "tts/velar_text.h"

using namespace falatro;
using Clock = std::chrono::steady_clock;

namespace {

const char* kSentences[] = {
    "bom dia a todos, como vocês estão hoje?",
    "o menino comprou dois livros novos na livraria perto da escola.",
    "alguém sabe se o servidor vai ficar fora do ar esta noite?",
    "eu moro em São Paulo desde dois mil e dez.",
    "a reunião começa às três horas da tarde, não se atrase.",
    "obrigado pela ajuda, agora o programa funciona muito bem.",
    "quem quer jogar xadrez comigo no canal de jogos?",
    "o tempo está chuvoso e frio no sul do Brasil.",
    "vou sair para almoçar e volto daqui a pouco.",
    "você já leu as notícias de hoje sobre a economia?",
};

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// This thread's CPU time: on a machine shared with other work the wall clock also counts the time
// the thread waited for a core.
double CpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1e6;
}

void Percentiles(const char* what, std::vector<double> v) { benchkeys::PrintPercentiles(what, std::move(v), {44, 3, ""}); }

// A sound output that keeps nothing: counts bytes and notes when the first block came.
size_t counted_bytes = 0;
Clock::time_point first_block;
double first_block_cpu = 0;
bool got_block = false;
int CountImage(uint8_t*, size_t length) {
  if (!got_block) {
    first_block = Clock::now();
    first_block_cpu = CpuMs();
  }
  got_block = true;
  counted_bytes += length - 44;
  return 0;
}

std::string Cp1252(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c == 0xC3 && i + 1 < utf8.size()) out += char(static_cast<unsigned char>(utf8[++i]) + 0x40);
    else out += char(c);
  }
  return out;
}

}  // namespace

int main() {
  std::string dir = JoinPath(NarrixRoot(), "zanvel/velartts");
  std::string database = JoinPath(dir, "br4"), data = std::string(FALATRO_SOURCE_DIR) + "/data/engine/";
  DiphoneStore store;
  std::string error;
  if (!LoadDiphoneStore(database, &store, &error)) {
    printf("bench_engine: no engine voice at %s (run make voice): %s\n", database.c_str(), error.c_str());
    return 0;
  }
  uint64_t bytes = 44 + store.Samples.size() * 2 + store.Marks.size() * 4 + store.Units.size() * 32;
  printf("Engine voice %s: %zu phonemes, %zu diphones, %.2f MB, %.1f s of sound, pitch period %u samples\n",
         database.c_str(), store.Phonemes.size(), store.Units.size(), double(bytes) / 1e6,
         double(store.Samples.size()) / store.Rate, store.Period);

  std::string dfn = FileExists(JoinPath(dir, "portug.dfn")) ? JoinPath(dir, "portug.dfn") : data + "portug.dfn";
  VelarSoundOutput counter;
  counter.PlayImage = CountImage;
  VelarSetSoundOutput(counter);
  VelarSetLibrary("");
  if (!VelarInit("", data + "portug.nrl", data + "portug.exc", data + "portug.abr", data + "portug.pro", dfn)) {
    printf("bench_engine: the engine did not start (%s)\n", Velar.ErrorText.c_str());
    return 1;
  }
  // Real-time factor and first block, each sentence at speeds 1, 3 and 5 (duration factors of the
  // front end: 0.8 - speed / 15).
  std::vector<double> first_ms, first_cpu_ms;
  double speak_ms = 0, audio_s = 0;
  std::vector<std::vector<std::string>> all_lines;
  for (int round = 0; round < 4; ++round) {
    for (int speed : {1, 3, 5}) {
      VelarSetSpeedAndPitch(0.8 - speed / 15.0, 1.0);
      for (const char* s : kSentences) {
        std::string text = Cp1252(s);
        counted_bytes = 0;
        got_block = false;
        Clock::time_point start = Clock::now();
        double start_cpu = CpuMs();
        VelarSpeak(text);
        Clock::time_point end = Clock::now();
        if (round == 0) continue;  // warms caches
        speak_ms += Ms(end - start);
        audio_s += double(counted_bytes) / 32000.0;
        if (got_block) {
          first_ms.push_back(Ms(first_block - start));
          first_cpu_ms.push_back(first_block_cpu - start_cpu);
        }
        if (round == 1) all_lines.push_back(VelarTextToLines(text, 0.8 - speed / 15.0, 1.0));
      }
    }
  }
  printf("Speed (%zu sentences at speeds 1, 3, 5)\n", first_ms.size());
  printf("  VelarSpeak, text stages and synthesis:       %.1f ms for %.1f s of speech: real-time factor %.5f\n",
         speak_ms, audio_s, speak_ms / 1000.0 / audio_s);
  // The synthesizer alone, on the same lines.
  PsolaSynth synth;
  PsolaInit(synth, database);
  synth.NoError = true;
  double synth_ms = 0;
  size_t samples = 0;
  int16_t buffer[16000];
  for (int round = 0; round < 3; ++round) {
    for (const auto& lines : all_lines) {
      Clock::time_point start = Clock::now();
      PsolaReset(synth);
      for (const auto& l : lines) {
        PsolaWrite(synth, l + "\r\n");
        int n;
        while ((n = PsolaRead(synth, buffer, 16000)) > 0) samples += size_t(n);
      }
      PsolaFlush(synth);
      int n;
      while ((n = PsolaRead(synth, buffer, 16000)) > 0) samples += size_t(n);
      synth_ms += Ms(Clock::now() - start);
    }
  }
  printf("  synthesizer alone:                           %.1f ms for %.1f s of speech: real-time factor %.5f\n",
         synth_ms, samples / 16000.0, synth_ms / 1000.0 / (samples / 16000.0));
  Percentiles("VelarSpeak -> first block handed over (wall)", first_ms);
  Percentiles("VelarSpeak -> first block handed over (CPU)", first_cpu_ms);

  // Key to silence: the engine plays through the wave player on the null device; a second thread types
  // a key while it speaks; the time from the key's message to the device's reset.
  benchkeys::StartHeadlessConsole(RealClockBackend());
  NullSoundBackend null;
  SetSoundBackend(&null);
  ConnectVelarToWavePlayer();
  VelarSetLibrary("");
  VelarSetSpeedAndPitch(0.6, 1.0);
  std::string paragraph;
  for (const char* s : kSentences) paragraph += Cp1252(s) + " ";
  std::mt19937 rng(42);
  std::vector<double> key_ms;
  for (int t = 0; t < 30; ++t) {
    ResetKeyboardState();
    benchkeys::KeyLater key(20 + int(rng() % 600));
    uint64_t resets = SoundDev.resets;
    VelarSpeak(paragraph);
    while (VelarIsSpeaking()) WaitMessage();
    key.Join();
    key.NoteReset(resets, &key_ms);
  }
  printf("Key to silence while the engine speaks\n");
  Percentiles("null device: key -> reset", key_ms);
  VelarDone();
  SetSoundBackend(nullptr);
  return 0;
}
