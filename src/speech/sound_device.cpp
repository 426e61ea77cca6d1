// The sound-device layer: the queue accounting and completion notices shared by every back-end.
#include "speech/sound_device.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "base/event_loop.h"
#include "console/console_sound.h"

namespace falatro {

SoundDeviceState SoundDev;

namespace {

uint64_t SteadyMicros() {
  return uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count());
}

void PostBlockDone(SoundBlock* block, int64_t device_id) {
  Message msg;
  msg.kind = kMsgSoundDone;
  msg.a = device_id;
  msg.p = block;
  PostMessage(msg);
}

// Converts one frame's worth of PCM to a 16-bit mono sample (channels averaged).
int16_t MonoSample(const uint8_t* frame, const WaveFormat& f) {
  int sum = 0;
  for (int c = 0; c < f.channels; ++c) {
    if (f.bits == 8) {
      sum += (int(frame[c]) - 128) * 256;
    } else {
      sum += int16_t(ReadLe16(frame + 2 * c));
    }
  }
  return int16_t(sum / f.channels);
}

struct LayerSink : ConsoleSoundSink {
  void PlayLoop(const uint8_t* image, size_t length) override { PlayEffectImage(image, length, true); }
  void StopLoop() override { StopEffect(); }
  void Beep() override { PlaySoundBeep(); }
};
LayerSink layer_sink;

}  // namespace

void SetSoundBackend(SoundBackend* backend) {
  if (SoundDev.backend == backend) return;
  if (SoundDev.open) {
    SoundDeviceReset();
    std::lock_guard<std::mutex> lock(SoundDev.mutex);
    SoundDev.queued.clear();
  }
  if (SoundDev.backend) {
    SoundDev.backend->StopEffect();
    if (SoundDev.open) SoundDev.backend->Close();
  }
  if (SoundDev.open) {
    // Notices of the closed device still in the loop are now from an earlier opening: ignored.
    std::lock_guard<std::mutex> lock(SoundDev.mutex);
    ++SoundDev.device_id;
    SoundDev.open = false;
  }
  SoundDev.loop_active = false;
  SoundDev.backend = backend;
}

SoundBackend* CurrentSoundBackend() { return SoundDev.backend; }

bool SoundFormatSupported(const WaveFormat& f) {
  return (f.bits == 8 || f.bits == 16) && (f.channels == 1 || f.channels == 2) && f.rate >= 1 &&
         f.rate <= 384000;
}

int SoundDeviceOpen(const WaveFormat& format) {
  if (SoundDev.open) return kSoundErrAllocated;
  if (!SoundDev.backend) return kSoundErrNoDriver;
  if (!SoundFormatSupported(format)) return kSoundErrBadFormat;
  int result = SoundDev.backend->Open(format);
  if (result != kSoundOk) return result;
  SoundDev.open = true;
  SoundDev.format = format;
  {
    std::lock_guard<std::mutex> lock(SoundDev.mutex);
    ++SoundDev.device_id;
  }
  ++SoundDev.opens;
  return kSoundOk;
}

int SoundDeviceClose() {
  if (!SoundDev.open) return kSoundErrInvalidHandle;
  {
    std::lock_guard<std::mutex> lock(SoundDev.mutex);
    if (!SoundDev.queued.empty()) return kSoundErrStillPlaying;
  }
  SoundDev.backend->Close();
  SoundDev.open = false;
  ++SoundDev.closes;
  return kSoundOk;
}

int SoundDevicePrepare(SoundBlock* block) {
  if (!SoundDev.open || block == nullptr) return kSoundErrInvalidHandle;
  std::lock_guard<std::mutex> lock(SoundDev.mutex);
  block->flags = (block->flags & ~kBlockDone) | kBlockPrepared;
  return kSoundOk;
}

int SoundDeviceWrite(SoundBlock* block) {
  if (!SoundDev.open || block == nullptr) return kSoundErrInvalidHandle;
  {
    std::lock_guard<std::mutex> lock(SoundDev.mutex);
    if (!(block->flags & kBlockPrepared)) return kSoundErrUnprepared;
    if (block->flags & kBlockQueued) return kSoundErrStillPlaying;
    block->flags = (block->flags & ~kBlockDone) | kBlockQueued;
    SoundDev.queued.push_back(block);
    ++SoundDev.blocks_written;
  }
  // Outside the lock: a back-end's own thread may be reporting a block at this moment.
  SoundDev.backend->Play(block);
  return kSoundOk;
}

int SoundDeviceUnprepare(SoundBlock* block) {
  if (!SoundDev.open || block == nullptr) return kSoundErrInvalidHandle;
  std::lock_guard<std::mutex> lock(SoundDev.mutex);
  if (block->flags & kBlockQueued) return kSoundErrStillPlaying;
  block->flags &= ~kBlockPrepared;
  return kSoundOk;
}

int SoundDeviceReset() {
  if (!SoundDev.open) return kSoundErrInvalidHandle;
  SoundDev.last_reset_us = SteadyMicros();
  ++SoundDev.resets;
  SoundDev.backend->Reset();
  std::vector<SoundBlock*> returned;
  int64_t id;
  {
    std::lock_guard<std::mutex> lock(SoundDev.mutex);
    id = SoundDev.device_id;
    returned.swap(SoundDev.queued);
    for (SoundBlock* b : returned) b->flags = (b->flags & ~kBlockQueued) | kBlockDone;
    SoundDev.blocks_returned += returned.size();
  }
  for (SoundBlock* b : returned) PostBlockDone(b, id);
  return kSoundOk;
}

size_t SoundDeviceQueued() {
  std::lock_guard<std::mutex> lock(SoundDev.mutex);
  return SoundDev.queued.size();
}

void SoundBlockPlayed(SoundBlock* block) {
  int64_t id;
  {
    std::lock_guard<std::mutex> lock(SoundDev.mutex);
    id = SoundDev.device_id;
    auto it = std::find(SoundDev.queued.begin(), SoundDev.queued.end(), block);
    if (it == SoundDev.queued.end()) return;
    SoundDev.queued.erase(it);
    block->flags = (block->flags & ~kBlockQueued) | kBlockDone;
    ++SoundDev.blocks_returned;
  }
  PostBlockDone(block, id);
}

bool PlayEffectImage(const uint8_t* image, size_t length, bool loop) {
  WaveImageInfo info;
  if (ParseWaveImage(image, length, &info) != WaveParse::kOk) return false;
  if (!SoundFormatSupported(info.format)) return false;
  size_t frame = info.format.BlockAlign();
  size_t count = info.data_length / frame;
  if (count == 0) return false;
  std::vector<int16_t> samples(count);
  for (size_t i = 0; i < count; ++i) {
    samples[i] = MonoSample(image + info.data_offset + i * frame, info.format);
  }
  if (!SoundDev.backend) return false;
  SoundDev.backend->StartEffect(samples.data(), samples.size(), info.format.rate, loop);
  SoundDev.loop_active = loop;
  ++SoundDev.effects_started;
  return true;
}

void StopEffect() {
  if (SoundDev.backend) SoundDev.backend->StopEffect();
  SoundDev.loop_active = false;
}

void PlaySoundBeep() {
  if (!SoundDev.backend) return;
  constexpr uint32_t kRate = 22050;
  constexpr size_t kCount = kRate * 120 / 1000;
  static std::vector<int16_t> beep = [] {
    std::vector<int16_t> s(kCount);
    const double kTwoPi = 6.283185307179586;
    for (size_t i = 0; i < kCount; ++i) {
      // A short fade at both ends keeps the beep free of clicks.
      double edge = std::min({1.0, double(i) / 220.0, double(kCount - 1 - i) / 220.0});
      s[i] = int16_t(std::lround(9000.0 * edge * std::sin(kTwoPi * 880.0 * double(i) / kRate)));
    }
    return s;
  }();
  SoundDev.backend->StartEffect(beep.data(), beep.size(), kRate, false);
  SoundDev.loop_active = false;
  ++SoundDev.effects_started;
}

ConsoleSoundSink* LayerConsoleSoundSink() { return &layer_sink; }

}  // namespace falatro
