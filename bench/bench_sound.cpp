// Sound benchmarks: key to silence through the sound layer, CPU with nothing playing, and memory
// while a one-hour file plays.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <fstream>
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
#include "speech/sound_device.h"
#include "speech/suite_settings.h"
#include "speech/wave_player.h"

using namespace falatro;

namespace {

long StatusKb(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  size_t n = std::strlen(field);
  while (std::getline(in, line)) {
    if (line.compare(0, n, field) == 0) return std::atol(line.c_str() + n + 1);
  }
  return -1;
}

int Threads() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("Threads:", 0) == 0) return std::atoi(line.c_str() + 8);
  }
  return -1;
}

double CpuMs() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000.0 + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1000.0;
}

std::vector<uint8_t> Wave8(size_t bytes) {
  std::vector<uint8_t> image(kWaveHeaderSize + bytes);
  BuildWaveHeader(image.data(), uint32_t(bytes), 11025, 1, 8);
  for (size_t i = 0; i < bytes; ++i) image[kWaveHeaderSize + i] = uint8_t(96 + (i * 7) % 64);
  return image;
}

void Percentiles(const char* what, std::vector<double> v) {
  benchkeys::PrintPercentiles(what, std::move(v), {34, 2, " keys"});
}

// Plays a long sound; a second thread types a key at a random moment; the time from the key's
// message to the device's reset is what the layer adds before the output stops.
std::vector<double> KeyToReset(int trials) {
  std::vector<uint8_t> image = Wave8(11025 * 60);
  std::mt19937 rng(42);
  std::vector<double> out;
  for (int t = 0; t < trials; ++t) {
    ResetKeyboardState();
    benchkeys::KeyLater key(60 + int(rng() % 200));
    uint64_t resets = SoundDev.resets;
    // Half the trials wait in the file player's final wait, half while the blocks are queued.
    if (t % 2 == 0) {
      PlayWaveImage(image.data(), image.size());
      while (IsWavePlaying()) WaitMessage();
    } else {
      std::string path = "/tmp/falatro-bench-long.wav";
      PlayWaveFile(path);
    }
    key.Join();
    key.NoteReset(resets, &out);
  }
  return out;
}

void BenchKeyToSilence() {
  std::printf("Key to silence\n");
  {
    std::ofstream f("/tmp/falatro-bench-long.wav", std::ios::binary);
    std::vector<uint8_t> image = Wave8(11025 * 60);
    f.write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
  }
  benchkeys::StartHeadlessConsole(RealClockBackend());
  NullSoundBackend null;
  SetSoundBackend(&null);
  std::vector<double> null_ms = KeyToReset(40);
  Percentiles("null device: key -> reset", null_ms);
  SetSoundBackend(nullptr);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  std::string error;
  if (OpenSoundDevice("sdl", &error)) {
    std::vector<double> sdl_ms = KeyToReset(20);
    Percentiles("sdl device (dummy output): key -> reset", sdl_ms);
    CloseSoundDevice();
  }
  unsetenv("SDL_AUDIODRIVER");
  std::remove("/tmp/falatro-bench-long.wav");
  for (uint32_t rate : {11025u, 16000u, 22050u, 44100u}) {
    double buffer_ms = 1000.0 * SdlBufferFrames(rate) / rate;
    std::sort(null_ms.begin(), null_ms.end());
    std::printf("  sdl buffer at %5u Hz: %3u frames = %5.2f ms; key to last sample <= max reset %.2f + 2 x %.2f = %.2f ms\n",
                rate, SdlBufferFrames(rate), buffer_ms, null_ms.back(), buffer_ms, null_ms.back() + 2 * buffer_ms);
  }
}

void BenchIdle() {
  std::printf("Nothing playing\n");
  benchkeys::StartHeadlessConsole(RealClockBackend());
  NullSoundBackend null;
  SetSoundBackend(&null);
  std::vector<uint8_t> image = Wave8(2205);
  PlayWaveBuffer(image.data(), image.size());
  double cpu0 = CpuMs();
  WaitMessage(2000);
  std::printf("  null device after a sound: open %d, timers %zu, CPU %.2f ms over 2 s idle\n", SoundDev.open,
              EventLoop.timers.size(), CpuMs() - cpu0);
  SetSoundBackend(nullptr);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  std::string error;
  int threads_before = Threads();
  if (OpenSoundDevice("sdl", &error)) {
    PlayWaveBuffer(image.data(), image.size());
    int threads_playing_end = Threads();
    // The output stays open 500 ms after a sound (for the next one), then closes.
    uint64_t until = NowMs() + 700;
    while (NowMs() < until) {
      WaitMessage(int(until - NowMs()));
      DispatchMessages();
    }
    double c0 = CpuMs();
    WaitMessage(2000);
    std::printf("  sdl device (dummy output): threads %d before, %d at the sound's end, %d after; "
                "CPU %.2f ms over 2 s idle\n",
                threads_before, threads_playing_end, Threads(), CpuMs() - c0);
    CloseSoundDevice();
  }
  unsetenv("SDL_AUDIODRIVER");
}

void BenchHour() {
  std::printf("One-hour file\n");
  const std::string path = "/tmp/falatro-bench-hour.wav";
  const size_t bytes = size_t(11025) * 3600;
  {
    std::ofstream f(path, std::ios::binary);
    std::vector<uint8_t> head(kWaveHeaderSize);
    BuildWaveHeader(head.data(), uint32_t(bytes), 11025, 1, 8);
    f.write(reinterpret_cast<const char*>(head.data()), std::streamsize(head.size()));
    std::vector<uint8_t> chunk(65536);
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = uint8_t(96 + i % 64);
    for (size_t done = 0; done < bytes; done += chunk.size()) {
      f.write(reinterpret_cast<const char*>(chunk.data()), std::streamsize(std::min(chunk.size(), bytes - done)));
    }
  }
  SimulatedBackend sim;
  benchkeys::StartHeadlessConsole(&sim);
  for (const char* device : {"null", "file"}) {
    std::unique_ptr<NullSoundBackend> backend;
    if (std::string(device) == "file") {
      auto file = std::make_unique<FileSoundBackend>();
      file->Create("/tmp/falatro-bench-hour-rec.wav", nullptr);
      backend = std::move(file);
    } else {
      backend = std::make_unique<NullSoundBackend>();
    }
    SetSoundBackend(backend.get());
    // Sample RSS every simulated minute while it plays.
    long rss_min = 1L << 40, rss_max = 0;
    std::function<void()> sample;
    int timer = 0;
    sample = [&] {
      long rss = StatusKb("VmRSS:");
      rss_min = std::min(rss_min, rss);
      rss_max = std::max(rss_max, rss);
      timer = AddTimer(60000, sample);
    };
    long before = StatusKb("VmRSS:");
    timer = AddTimer(60000, sample);
    auto start = std::chrono::steady_clock::now();
    int result = PlayWaveFile(path);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    CancelTimer(timer);
    std::printf("  %s device: result %d, %.0f s of sound (simulated clock) in %.1f s; RSS before %ld kB, "
                "during %ld..%ld kB, after %ld kB; %llu blocks\n",
                device, result, double(sim.now) / 1000.0, secs, before, rss_min, rss_max, StatusKb("VmRSS:"),
                static_cast<unsigned long long>(Wave.blocks_queued));
    sim.now = 0;
    SetSoundBackend(nullptr);
    ResetWavePlayer();
  }
  std::printf("  the player's fixed buffers: %zu kB (4 slots of 65534 bytes and the read buffer)\n",
              sizeof(Wave) / 1024);
  std::remove(path.c_str());
  std::remove("/tmp/falatro-bench-hour-rec.wav");
}

}  // namespace

int main() {
  setenv("NARRIX_WINDIR", "/tmp/falatro-bench-nowhere", 1);
  Crt.exit_hook = [](int code) { std::exit(code); };
  BenchKeyToSilence();
  BenchIdle();
  BenchHour();
  SetLoopBackend(nullptr);
  return 0;
}
