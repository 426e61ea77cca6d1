// Measures the speech front end: the time from SpeakText to its first block at the sound device, and
// the heap allocations the diphone voice makes while it says units.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "base/event_loop.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "diphone_record.h"
#include "platform/console/headless/headless_frontend.h"
#include "speech/diphone_synth.h"
#include "speech/sound_device.h"
#include "speech/speech.h"
#include "speech/suite_settings.h"
#include "speech/wave_player.h"
#include "tts/transcriber.h"

// Every heap allocation of the process is counted.
namespace {
std::atomic<uint64_t> g_allocations{0};
}

void* operator new(size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace falatro {
namespace {

using Clock = std::chrono::steady_clock;

// Keeps the time of the first block and finishes every block at once on the simulated clock.
struct TimingDevice : SoundBackend {
  Clock::time_point first_block{};
  bool got_block = false;
  uint64_t blocks = 0;
  const char* Name() const override { return "timing"; }
  int Open(const WaveFormat&) override { return 0; }
  void Close() override {}
  void Play(SoundBlock* block) override {
    if (!got_block) {
      first_block = Clock::now();
      got_block = true;
    }
    ++blocks;
    SoundBlockPlayed(block);
  }
  void Reset() override {}
  void StartEffect(const int16_t*, size_t, uint32_t, bool) override {}
  void StopEffect() override {}
};

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A database holding "$" + one or two phoneme symbols (upper case, "^" as CIRC, "~" as TIL) for every
// pair that fits 8 characters: what the splitting asks for, all sharing one stretch of sound.
void WriteDatabase(const std::string& dir) {
  const std::vector<std::string> names = testsupport::SymbolPairUnitNames(
      {"A", "E", "ECIRC", "I", "O", "OCIRC", "U", "ATIL", "ETIL", "ITIL", "OTIL", "UTIL", "W", "Y", "B", "D",
       "DJ", "F", "G", "J", "K", "KS", "L", "LH", "M", "N", "NH", "NN", "P", "R", "RR", "S", "T", "TCH", "V",
       "X", "Z", "AW", "AY", "EW", "EY", "OW", "OY", "UY", "AWTIL", "AYTIL", "EYTIL", "OYTIL", "EWCIRC",
       "EYCIRC", "OWCIRC", "OYCIRC"});
  std::string index;
  for (const std::string& n : names) index += testsupport::DiphoneIndexRecord(n, 1200, 0);
  std::string data(1200, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(128 + 60 * ((i / 20) % 2 ? 1 : -1));
  WriteFile(dir + "/BENCH.IND", index);
  WriteFile(dir + "/BENCH.DIF", data);
  std::printf("database: %zu units\n", names.size());
}

}  // namespace
}  // namespace falatro

int main() {
  using namespace falatro;
  namespace fs = std::filesystem;
  char tmpl[] = "/tmp/falatro-bench-speech-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  std::string root = tmpl;
  for (const char* d : {"/win", "/letras", "/difones"}) fs::create_directories(root + d);
  setenv("NARRIX_WINDIR", (root + "/win").c_str(), 1);
  std::string src = FALATRO_SOURCE_DIR;
  WriteFile(root + "/difones/regras.rgr", ReadFile(src + "/data/transcriber/regras.rgr"));
  WriteFile(root + "/difones/portug.exc", ReadFile(src + "/data/transcriber/portug.exc"));
  WriteDatabase(root + "/difones");
  WriteFile(root + "/win/NARRIX.INI", "[TRADUTOR]\ndirLetras=" + root + "/letras\nDIRDIFONES=" + root +
                                          "/difones\n[SINTETIZADOR]\nDIFONES3=BENCH\nCORTEFON3=250\n"
                                          "SOBRAFON3=900\nINTERPAL3=200\n");

  SimulatedBackend sim;
  SetLoopBackend(&sim);
  Headless.key_up_events = false;
  SetConsoleFrontend(HeadlessFrontend(&sim));
  InitConsole();
  TimingDevice device;
  SetSoundBackend(&device);
  InitSpeech(0, "");

  const char* sentence = "o menino comprou dois livros novos na livraria perto da escola";
  // Ten words; the first run warms the caches of the file system and the allocator.
  std::vector<double> ms;
  for (int run = 0; run < 201; ++run) {
    device.got_block = false;
    Clock::time_point start = Clock::now();
    SpeakText(sentence);
    if (!device.got_block) {
      std::printf("no block reached the device\n");
      return 1;
    }
    if (run > 0) ms.push_back(std::chrono::duration<double, std::milli>(device.first_block - start).count());
  }
  std::sort(ms.begin(), ms.end());
  std::printf("SpeakText of a ten-word sentence to its first block at the device: median %.3f ms, "
              "90th percentile %.3f ms, worst %.3f ms (target <= 10 ms, %zu runs)\n",
              ms[ms.size() / 2], ms[ms.size() * 9 / 10], ms.back(), ms.size());

  // Allocations while the voice says units: a long transcription, made before counting.
  std::string text;
  for (int i = 0; i < 40; ++i) text += std::string(sentence) + " ";
  std::string transcription = TranscribeText(text);
  SayTranscription(transcription, false);  // warm-up
  uint64_t units_before = Diphone.UnitsSaid, chunks_before = Diphone.Chunks, blocks_before = device.blocks;
  uint64_t allocs_before = g_allocations.load();
  SayTranscription(transcription, false);
  uint64_t allocs = g_allocations.load() - allocs_before;
  uint64_t units = Diphone.UnitsSaid - units_before;
  std::printf("diphone voice: %llu units in %llu buffers (%llu device blocks), %llu heap allocations "
              "(%.4f per unit)\n",
              static_cast<unsigned long long>(units), static_cast<unsigned long long>(Diphone.Chunks - chunks_before),
              static_cast<unsigned long long>(device.blocks - blocks_before),
              static_cast<unsigned long long>(allocs), units ? double(allocs) / double(units) : 0.0);

  DoneSpeech();
  SetSoundBackend(nullptr);
  std::error_code ec;
  fs::remove_all(root, ec);
  return 0;
}
