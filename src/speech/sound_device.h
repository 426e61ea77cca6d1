// The sound-device layer: one wave-output device with a queue of blocks and completion notices, over
// interchangeable back-ends (sdl, null, file), plus the mixed voice for the console's tones and beep.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "speech/wave_format.h"

namespace falatro {

struct ConsoleSoundSink;

/// Results of the device operations, numbered as the desktop wave-output device numbers them (the wave
/// player hands them on as its own results).
enum SoundResult : int {
  kSoundOk = 0,
  kSoundErrError = 1,          ///< unspecified failure
  kSoundErrAllocated = 4,      ///< the device is in use by someone else: try again later
  kSoundErrInvalidHandle = 5,  ///< the device is not open, or the block is not one of its own
  kSoundErrNoDriver = 6,       ///< no back-end is installed
  kSoundErrNoMem = 7,          ///< memory could not be allocated
  kSoundErrBadFormat = 32,     ///< a format the device cannot play (only 8/16-bit PCM, 1-2 channels)
  kSoundErrStillPlaying = 33,  ///< the block is still queued
  kSoundErrUnprepared = 34,    ///< the block was not prepared
};

/// Flags of a SoundBlock, kept by the layer.
enum SoundBlockFlag : uint32_t {
  kBlockPrepared = 1,  ///< prepared for the open device
  kBlockQueued = 2,    ///< written and not yet returned
  kBlockDone = 4,      ///< returned (played to its end, or by a reset)
};

/// One block of sound handed to the device (the caller owns it and its data until it comes back).
struct SoundBlock {
  const uint8_t* data = nullptr;
  uint32_t length = 0;    ///< bytes to play (a whole number of frames is played; a partial frame is not)
  uintptr_t user = 0;     ///< the caller's own value (the wave player's slot number)
  uint32_t flags = 0;     ///< SoundBlockFlag bits
};

/// What a back-end implements. The layer serialises calls to these (all on the program's thread) and
/// keeps the queue accounting; a back-end only turns blocks into sound and says when each has played.
struct SoundBackend {
  virtual ~SoundBackend() = default;
  /// The name the back-end was chosen by ("sdl", "null", "file").
  virtual const char* Name() const = 0;
  /// Opens the output for format (already checked to be 8/16-bit PCM, 1 or 2 channels, rate 1..384000).
  /// Returns 0, kSoundErrAllocated when the output is busy, or another SoundResult.
  virtual int Open(const WaveFormat& format) = 0;
  /// Closes the output. Every block has been returned before this is called.
  virtual void Close() = 0;
  /// Plays block after those already given. When its last frame has gone out, the back-end calls
  /// SoundBlockPlayed(block) (from any thread).
  virtual void Play(SoundBlock* block) = 0;
  /// Stops at once and forgets every block given; after it returns the back-end never calls
  /// SoundBlockPlayed for them (the layer returns them itself).
  virtual void Reset() = 0;
  /// Starts the mixed voice: 16-bit signed mono samples at rate, copied by the back-end, heard over
  /// whatever the device plays, once or looping, replacing any effect that sounds. Works whether or not
  /// the device is open.
  virtual void StartEffect(const int16_t* samples, size_t count, uint32_t rate, bool loop) = 0;
  /// Stops the mixed voice, if any.
  virtual void StopEffect() = 0;
};

/// The layer's state (one instance, SoundDev). Tests inspect it.
struct SoundDeviceState {
  SoundBackend* backend = nullptr;  ///< the device in use (nullptr: none, every open fails with 6)
  bool open = false;
  WaveFormat format;                ///< the format of the open device
  int64_t device_id = 0;            ///< changes at every open; carried by kMsgSoundDone as a
  std::mutex mutex;                 ///< guards queued (back-ends report from their own threads)
  std::vector<SoundBlock*> queued;  ///< blocks written and not yet returned, in order
  bool loop_active = false;         ///< a looping sound (a console tone) is sounding on the mixed voice
  uint64_t effects_started = 0;     ///< sounds started on the mixed voice (tones and beeps)
  // Counters for tests and benchmarks.
  uint64_t opens = 0, closes = 0, resets = 0, blocks_written = 0, blocks_returned = 0;
  uint64_t last_reset_us = 0;       ///< steady-clock microseconds of the last reset (key-to-silence)
};
extern SoundDeviceState SoundDev;

/// Installs the back-end (nullptr: none). An open device is reset and closed first. Not owned.
void SetSoundBackend(SoundBackend* backend);
/// The back-end in use, or nullptr.
SoundBackend* CurrentSoundBackend();

/// Whether the layer can play format (8 or 16 bits, 1 or 2 channels, 1..384000 samples per second).
bool SoundFormatSupported(const WaveFormat& format);
/// Opens the device for format. Returns 0; kSoundErrAllocated when it is already open or the back-end
/// is busy; kSoundErrBadFormat; kSoundErrNoDriver without a back-end; or the back-end's error.
int SoundDeviceOpen(const WaveFormat& format);
/// Closes the device; kSoundErrStillPlaying (nothing done) while blocks are queued,
/// kSoundErrInvalidHandle when it is not open, else 0.
int SoundDeviceClose();
/// Prepares block for the open device: 0, or kSoundErrInvalidHandle when the device is not open.
int SoundDevicePrepare(SoundBlock* block);
/// Queues a prepared block. 0; kSoundErrUnprepared; kSoundErrStillPlaying when it is already queued;
/// kSoundErrInvalidHandle when the device is not open.
int SoundDeviceWrite(SoundBlock* block);
/// Releases a returned block: 0; kSoundErrStillPlaying while it is queued; kSoundErrInvalidHandle when
/// the device is not open. Unpreparing a block that is not prepared is 0 and changes nothing.
int SoundDeviceUnprepare(SoundBlock* block);
/// Stops playback at once and returns every queued block: each gets its kMsgSoundDone, in order.
/// 0, or kSoundErrInvalidHandle when the device is not open.
int SoundDeviceReset();
/// Number of blocks written and not yet returned.
size_t SoundDeviceQueued();

/// Called by a back-end (from any thread) when a block has played: marks it returned and posts
/// kMsgSoundDone (a = the device id, p = the block) through the event loop. Blocks it does not know
/// (already returned by a reset) are ignored.
void SoundBlockPlayed(SoundBlock* block);

/// Plays a RIFF/WAVE image through the mixed voice, looping (the console's tones); the samples are
/// converted and copied, so the image may be freed afterwards. False when the image is not a PCM
/// RIFF/WAVE image the layer can play.
bool PlayEffectImage(const uint8_t* image, size_t length, bool loop);
/// Stops the mixed voice.
void StopEffect();
/// The beep: a short 880 Hz tone of 120 ms through the mixed voice.
void PlaySoundBeep();
/// The console's sound sink on this layer (tones and beep as the mixed voice): what OpenSoundDevice
/// installs with SetConsoleSoundSink.
ConsoleSoundSink* LayerConsoleSoundSink();

/// Chooses the sound device by name: "sdl", "null" or "file:PATH"; an empty name takes $FALATRO_AUDIO,
/// and "sdl" when that is unset or empty. When the chosen device cannot be used (no audio output, the
/// file cannot be written, an unknown name) the null device is used instead and the reason is said
/// once on standard error. Installs the back-end and the console's sound sink. Returns false (and
/// *error) only when the fallback happened. Defined with the back-ends (library falatro_sound).
bool OpenSoundDevice(const std::string& name = {}, std::string* error = nullptr);
/// Closes the device chosen by OpenSoundDevice and removes it and the console sink (program end).
void CloseSoundDevice();

}  // namespace falatro
