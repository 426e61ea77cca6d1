// Fuzz target: the RIFF/WAVE layout reader and the period cutter on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "speech/wave_format.h"
#include "speech/wave_player.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace falatro;
  // An exact-size copy, so reading one byte past the image is caught.
  std::vector<uint8_t> image(data, data + size);
  WaveImageInfo info;
  if (ParseWaveImage(image.data(), image.size(), &info) == WaveParse::kOk) {
    if (info.data_offset + info.data_length > size) __builtin_trap();
    // The sound's own bytes through the cutter, as the player would hand them on.
    std::vector<uint8_t> sound(image.begin() + long(info.data_offset),
                               image.begin() + long(info.data_offset + info.data_length));
    size_t got = CompressWaveTime(sound.data(), sound.size(), info.format.bits == 16 ? 16 : 8, info.format.rate);
    if (got > sound.size()) __builtin_trap();
  } else if (size > 0) {
    // Anything else through the cutter with the rate and width picked by the first byte.
    std::vector<uint8_t> sound(data + 1, data + size);
    int bits = (data[0] & 1) ? 16 : 8;
    uint32_t rate = (data[0] & 2) ? 11025 : 22050;
    size_t got = CompressWaveTime(sound.data(), sound.size(), bits, rate);
    if (got > sound.size()) __builtin_trap();
  }
  return 0;
}
