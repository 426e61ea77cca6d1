// A sound device for tests: keeps every block it is given and finishes it after its playing time.
#pragma once

#include <cstdint>
#include <vector>

#include "speech/sound_device.h"

namespace falatro::testsupport {

/// One block the device was given.
struct PlayedBlock {
  std::vector<uint8_t> data;
  WaveFormat format;
  uint64_t at_ms = 0;  ///< loop time it was queued
};

/// A device that keeps every block and finishes it after its playing time on the loop's clock (the
/// simulated one in most tests), so the player sees the pace of a real device.
struct RecordingSoundBackend : SoundBackend {
  std::vector<PlayedBlock> blocks;  ///< every block played, oldest first (tests clear it)
  WaveFormat format;                ///< the format of the last Open
  std::vector<int> timers;          ///< timers that will finish the blocks still playing
  int resets = 0;                   ///< times Reset was called
  const char* Name() const override { return "recording"; }
  int Open(const WaveFormat& f) override;
  void Close() override {}
  void Play(SoundBlock* block) override;
  void Reset() override;
  void StartEffect(const int16_t*, size_t, uint32_t, bool) override {}
  void StopEffect() override {}
};

}  // namespace falatro::testsupport
