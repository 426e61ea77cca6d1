// The null sound device: blocks finish on the event loop's clock, as long as they would take to play.
#include "platform/sound/sound_backends.h"

#include <algorithm>

#include "base/event_loop.h"

namespace falatro {

namespace {

uint64_t FramesOf(const SoundBlock* block, const WaveFormat& f) {
  uint32_t align = f.BlockAlign();
  return align == 0 ? 0 : block->length / align;
}

// Milliseconds, rounded up, that frames take at rate.
uint64_t MsFor(uint64_t frames, uint32_t rate) { return (frames * 1000 + rate - 1) / rate; }

}  // namespace

NullSoundBackend::~NullSoundBackend() {
  for (const Entry& e : queue_) CancelTimer(e.timer);
  if (effect_timer_ != 0) CancelTimer(effect_timer_);
}

int NullSoundBackend::Open(const WaveFormat& format) {
  format_ = format;
  queue_.clear();
  return kSoundOk;
}

void NullSoundBackend::Close() { Reset(); }

void NullSoundBackend::Play(SoundBlock* block) {
  uint64_t now = NowMs();
  block_lengths_.push_back(block->length);
  if (queue_.empty()) {
    origin_ms_ = now;
    origin_frames_ = 0;
  }
  uint64_t start = queue_.empty() ? now : queue_.back().end_ms;
  // End times count from the start of the run, so rounding to milliseconds never accumulates.
  origin_frames_ += FramesOf(block, format_);
  uint64_t end = std::max(start, origin_ms_ + MsFor(origin_frames_, format_.rate));
  int timer = AddTimer(end - now, [this, block] { Finish(block); });
  queue_.push_back(Entry{block, start, end, timer});
}

void NullSoundBackend::Finish(SoundBlock* block) {
  auto it = std::find_if(queue_.begin(), queue_.end(), [block](const Entry& e) { return e.block == block; });
  if (it == queue_.end()) return;
  queue_.erase(it);
  uint64_t frames = FramesOf(block, format_);
  frames_played_ += frames;
  Played(block->data, size_t(frames), format_);
  SoundBlockPlayed(block);
}

void NullSoundBackend::Reset() {
  uint64_t now = NowMs();
  if (!queue_.empty()) {
    const Entry& head = queue_.front();
    if (now > head.start_ms) {
      uint64_t frames = std::min(FramesOf(head.block, format_), (now - head.start_ms) * format_.rate / 1000);
      frames_played_ += frames;
      Played(head.block->data, size_t(frames), format_);
    }
  }
  for (const Entry& e : queue_) CancelTimer(e.timer);
  queue_.clear();
}

void NullSoundBackend::StartEffect(const int16_t* samples, size_t count, uint32_t rate, bool loop) {
  StopEffect();
  if (count == 0 || rate == 0) return;
  std::vector<int16_t> copy(samples, samples + count);
  if (!loop) {
    EffectPlayed(copy, count, rate);
    // The device is busy with the beep for its length; nothing waits on it, so only the timer shows it.
    effect_timer_ = AddTimer(MsFor(count, rate), [this] { effect_timer_ = 0; });
    return;
  }
  effect_ = std::move(copy);
  effect_rate_ = rate;
  effect_start_ms_ = NowMs();
}

void NullSoundBackend::StopEffect() {
  if (effect_timer_ != 0) {
    CancelTimer(effect_timer_);
    effect_timer_ = 0;
  }
  if (effect_.empty()) return;
  uint64_t count = (NowMs() - effect_start_ms_) * effect_rate_ / 1000;
  EffectPlayed(effect_, size_t(count), effect_rate_);
  effect_.clear();
}

void NullSoundBackend::Played(const uint8_t*, size_t, const WaveFormat&) {}
void NullSoundBackend::EffectPlayed(const std::vector<int16_t>&, size_t, uint32_t) {}

}  // namespace falatro
