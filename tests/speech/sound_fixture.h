// Scaffolding for the sound tests: console, keyboard and wave player on a simulated clock, with the
// null or file sound device, a scratch directory, and helpers to write and read WAV files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/event_loop.h"
#include "platform/sound/sound_backends.h"
#include "speech/wave_format.h"

namespace falatro::soundtest {

/// A RIFF/WAVE image: 44-byte header and data.
std::vector<uint8_t> MakeWave(const std::vector<uint8_t>& data, uint32_t rate, uint16_t channels,
                              uint16_t bits);
/// n bytes of a varied 8-bit pattern (never a whole block of one value).
std::vector<uint8_t> Pattern(size_t n, uint32_t seed = 1);
/// Writes bytes to path.
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBytes(const std::string& path);
/// The 16-bit samples of a WAV file written by the file device (checks its header on the way).
std::vector<int16_t> RecordedSamples(const std::string& path);

/// Fresh console (headless front-end with key-up events), keyboard, wave player and sound layer on a
/// simulated clock; the file device writes to file_path(); null_ is the null device (install it with
/// UseNull()).
class SoundFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  void UseNull();
  /// Posts a typed character at simulated time at_ms.
  void KeyAt(uint64_t at_ms, char ch = 'x');
  std::string file_path() const { return dir_ + "/out.wav"; }

  std::string dir_;
  SimulatedBackend sim_;
  FileSoundBackend file_;
  NullSoundBackend null_;
};

}  // namespace falatro::soundtest
