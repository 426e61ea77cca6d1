// The wave player: RIFF/WAVE files and memory images played in blocks through the sound device, cut
// by a key, optionally faster and with alternate pitch periods dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "speech/sound_device.h"
#include "speech/wave_format.h"

namespace falatro {

constexpr int kWaveBufferCount = 4;          ///< block slots queued at most
constexpr size_t kWaveBlockSize = 65534;     ///< largest block, and the size of each slot's buffer
constexpr size_t kWaveMinBlock = 256;        ///< shorter blocks are played as 256 bytes
constexpr size_t kWaveShortenedBlock = 65278;  ///< block taken when a last block would be under 256

/// The player's state (one instance, Wave). Tests set the switches and inspect the rest.
struct WavePlayerState {
  bool StopOnKey = true;   ///< a queued key stops playback and keeps new playback from starting
  bool FastRate = false;   ///< play at 1.5 times the sample rate
  bool CutPeriods = false; ///< shorten mono sound by dropping alternate pitch periods

  bool device_open = false;
  WaveFormat format;       ///< the format the device is (or will be) opened with
  int last_slot = 0;       ///< 1..4, 0 before the first block
  int queued = 0;          ///< blocks queued at the device, 0..4
  SoundBlock headers[kWaveBufferCount];
  bool locked[kWaveBufferCount] = {};  ///< slot in use from queueing until its completion notice
  uint8_t buffers[kWaveBufferCount][kWaveBlockSize];
  uint8_t read_buffer[kWaveBlockSize];  ///< file blocks are read here

  // Counters for tests and benchmarks.
  uint64_t blocks_queued = 0;   ///< blocks handed to the device
  uint64_t blocks_dropped = 0;  ///< blocks not played (no slot freed in time, or refused)
};
extern WavePlayerState Wave;

/// Plays a RIFF/WAVE file and waits until it has finished or was cut. Returns 0 when played (also when
/// nothing was played because a key was waiting, or the sound was cut by a key); -1 when the file cannot
/// be opened, is not RIFF/WAVE with "fmt " and "data" chunks, or ends before its declared data length
/// (after playing what it holds); above 0 the device's error from opening (a SoundResult).
int PlayWaveFile(const std::string& path);
/// Plays the sound of a RIFF/WAVE image of length bytes held in memory; returns once the last block is
/// queued (wait with IsWavePlaying). The data may be changed in place when CutPeriods is on. Returns 0;
/// -1 when the image is not RIFF/WAVE with "fmt " and "data" (nothing played) or its "data" chunk
/// runs past the image's end (what it holds is played); above 0 the device's open error.
int PlayWaveImage(uint8_t* image, size_t length);
/// Plays raw PCM data in blocks (returns once the last block is queued, or when a key cut it). Returns
/// 0 or the device's open error. The data may be changed in place when CutPeriods is on.
int PlayWaveData(uint8_t* data, size_t length, uint32_t rate, uint16_t channels, uint16_t bits);
/// Queues one block of raw PCM sound for a producer that feeds the player as it goes (a synthesizer),
/// without waiting: at most one slot's worth (65534 bytes) is taken, and the FastRate and CutPeriods
/// switches do not apply. Returns 0 when queued; kSoundErrStillPlaying when every slot is busy or sound
/// of another format is still playing (try again later); otherwise the device's open error.
int QueueWaveSound(const uint8_t* data, size_t length, const WaveFormat& format);
/// Dispatches pending messages; stops (and closes the device) when a key waits and StopOnKey is on, or
/// when nothing is queued. True while blocks are queued.
bool IsWavePlaying();
/// Stops playback at once and closes the device (every block is returned first).
void StopWave();

/// The period cutter: shortens mono speech in place by dropping every other pitch period, converting
/// 16-bit samples to 8-bit unsigned first. Returns the new length in bytes (8-bit samples).
size_t CompressWaveTime(uint8_t* buffer, size_t length, int bits, uint32_t rate);
/// The rate used with FastRate: rate x 1.5 rounded to the nearest integer, ties to even.
uint32_t FastRateOf(uint32_t rate);
/// Length of the next file block with remaining bytes left: 65278 when 65534 < remaining < 65790 (so
/// the last block is not under 256 bytes), else remaining when it fits in 65534, else 65534.
size_t WaveFileBlockLength(uint64_t remaining);

/// Stops playback and puts the player back to its start-up state (switches included). For tests.
void ResetWavePlayer();

}  // namespace falatro
