// The sound devices behind the sound-device layer: null (timing only), file (a WAV recording) and sdl.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "speech/sound_device.h"

namespace falatro {

/// A device with no output: each block finishes when it would have finished playing, measured on the
/// event loop's clock (real or simulated) with loop timers, so waits and key cuts behave as with a
/// sound card. Uses no timer and no thread while nothing plays.
class NullSoundBackend : public SoundBackend {
 public:
  ~NullSoundBackend() override;
  const char* Name() const override { return "null"; }
  int Open(const WaveFormat& format) override;
  void Close() override;
  void Play(SoundBlock* block) override;
  void Reset() override;
  void StartEffect(const int16_t* samples, size_t count, uint32_t rate, bool loop) override;
  void StopEffect() override;

  /// Frames of wave sound played so far (whole blocks, and the played part of a block cut by a reset).
  uint64_t frames_played() const { return frames_played_; }
  /// Byte lengths of the blocks given, in order (for tests of the block rules).
  const std::vector<uint32_t>& block_lengths() const { return block_lengths_; }
  /// Timers the device holds now (0 when idle).
  size_t pending_timers() const { return queue_.size() + (effect_timer_ != 0 ? 1 : 0); }

 protected:
  /// Frames of block data that went out (whole blocks at their end, the played part at a reset).
  virtual void Played(const uint8_t* data, size_t frames, const WaveFormat& format);
  /// Samples of the mixed voice that sounded (a beep at its start, a loop when it stops).
  virtual void EffectPlayed(const std::vector<int16_t>& samples, size_t count, uint32_t rate);

 private:
  struct Entry {
    SoundBlock* block;
    uint64_t start_ms;
    uint64_t end_ms;
    int timer;
  };
  void Finish(SoundBlock* block);
  WaveFormat format_;
  std::deque<Entry> queue_;
  uint64_t origin_ms_ = 0;           // start of the current run of back-to-back blocks
  uint64_t origin_frames_ = 0;       // frames given since origin_ms_
  uint64_t frames_played_ = 0;
  std::vector<uint32_t> block_lengths_;
  std::vector<int16_t> effect_;      // the looping voice's samples (empty when none loops)
  uint32_t effect_rate_ = 0;
  uint64_t effect_start_ms_ = 0;
  int effect_timer_ = 0;             // the end of a one-shot effect
};

/// The null device that also appends everything it plays, in order, to one WAV file: 16-bit signed
/// mono at 22050 samples/s (8-bit samples s become (s - 128) x 256, channels are averaged, other rates
/// are resampled by taking for each output sample the source sample at or just before its time, so
/// 11025 Hz sound is every sample twice). Sounds are written one after another without the silences
/// between them; a tone or beep is written when it has sounded, after the block then playing. The
/// header is rewritten after every write, so the file is a valid WAV whenever the program stops.
class FileSoundBackend : public NullSoundBackend {
 public:
  static constexpr uint32_t kFileRate = 22050;
  ~FileSoundBackend() override;
  const char* Name() const override { return "file"; }
  int Open(const WaveFormat& format) override;
  /// Creates (or empties) the file at path and writes an empty WAV. False and *error on failure.
  bool Create(const std::string& path, std::string* error);
  /// Bytes of sample data written.
  uint64_t data_bytes() const { return data_bytes_; }

 protected:
  void Played(const uint8_t* data, size_t frames, const WaveFormat& format) override;
  void EffectPlayed(const std::vector<int16_t>& samples, size_t count, uint32_t rate) override;

 private:
  void Append(const std::vector<int16_t>& out);
  int fd_ = -1;
  uint64_t data_bytes_ = 0;
  uint64_t src_frames_ = 0;   // source frames converted since the device was opened
  uint64_t out_frames_ = 0;   // output frames they gave
  bool full_said_ = false;
};

/// The SDL audio device (audio subsystem only, no window). Nullptr and *error when SDL has no audio
/// output to open.
std::unique_ptr<SoundBackend> MakeSdlSoundBackend(std::string* error);

/// Device buffer of the sdl device, in sample frames, for a rate: the largest power of two not above
/// 6 ms of sound (at least 32), so a reset leaves at most about two buffers (12 ms) still to be heard.
uint16_t SdlBufferFrames(uint32_t rate);

}  // namespace falatro
