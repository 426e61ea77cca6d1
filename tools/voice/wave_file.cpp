// The suite's recording format: RIFF/WAVE images of 8-bit unsigned mono sound at 11025 Hz.
#include "wave_file.h"

#include <cstring>

namespace falatro {

namespace {
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
}  // namespace

std::vector<uint8_t> MakeWave8(const std::vector<uint8_t>& samples, uint32_t rate) {
  std::vector<uint8_t> image(44 + samples.size());
  uint8_t* h = image.data();
  memcpy(h, "RIFF", 4);
  Put32(h + 4, uint32_t(36 + samples.size()));
  memcpy(h + 8, "WAVEfmt ", 8);
  Put32(h + 16, 16);
  Put16(h + 20, 1);      // PCM
  Put16(h + 22, 1);      // mono
  Put32(h + 24, rate);
  Put32(h + 28, rate);   // bytes per second at one byte a sample
  Put16(h + 32, 1);      // block align
  Put16(h + 34, 8);      // bits
  memcpy(h + 36, "data", 4);
  Put32(h + 40, uint32_t(samples.size()));
  if (!samples.empty()) memcpy(h + 44, samples.data(), samples.size());
  return image;
}

}  // namespace falatro
