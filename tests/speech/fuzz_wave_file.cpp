// Fuzz target: any bytes as a sound file played through the wave player (the file reader's own chunk
// walk, the format checks and the block loop) on the null device and a simulated clock. Whatever the
// file, the player answers 0, -1 or a device error, and has no block left queued afterwards.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/event_loop.h"
#include "platform/sound/sound_backends.h"
#include "quiet_console.h"
#include "speech/sound_device.h"
#include "speech/wave_player.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace falatro;
  static SimulatedBackend clock;
  static NullSoundBackend device;
  static const std::string path = "/tmp/falatro-fuzz-wave-" + std::to_string(getpid()) + ".wav";
  static bool ready = [] {
    testsupport::StartQuietConsole(&clock, /*key_up_events=*/false);
    ResetWavePlayer();
    SetSoundBackend(&device);
    std::atexit([] { std::remove(path.c_str()); });
    return true;
  }();
  (void)ready;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  const bool written = std::fwrite(data, 1, size, f) == size;
  std::fclose(f);
  if (!written) return 0;
  const int result = PlayWaveFile(path);
  if (result < -1) std::abort();
  if (IsWavePlaying() || Wave.queued != 0) std::abort();
  return 0;
}
