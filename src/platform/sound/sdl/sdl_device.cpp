// The sdl sound device: SDL's audio subsystem (no window), a small device buffer, blocks fed from the
// audio thread, and the mixed voice added in the same callback.
#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <cctype>
#include <deque>
#include <string>
#include <vector>

#include "base/event_loop.h"
#include "platform/sound/sound_backends.h"

namespace falatro {

uint16_t SdlBufferFrames(uint32_t rate) {
  uint32_t limit = std::max<uint32_t>(32, rate * 6 / 1000);
  uint32_t frames = 32;
  while (frames * 2 <= limit && frames < 8192) frames *= 2;
  return uint16_t(frames);
}

namespace {

// How long the output stays open after the last sound, so sounds in quick succession (letters, words)
// do not each pay for opening the output; after it the audio thread is gone.
constexpr uint64_t kLingerMs = 500;

class SdlSoundBackend : public SoundBackend {
 public:
  ~SdlSoundBackend() override {
    if (linger_timer_ != 0) CancelTimer(linger_timer_);
    ClosePhysical();
    if (inited_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  bool Init(std::string* error) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      if (error) *error = std::string("no SDL audio: ") + SDL_GetError();
      return false;
    }
    inited_ = true;
    // Try the default output once, so a machine without one falls back at selection time.
    int result = OpenPhysical(WaveFormat{22050, 1, 16});
    if (result != kSoundOk) {
      if (error) *error = "no audio output: " + last_error_;
      return false;
    }
    ClosePhysical();
    return true;
  }

  const char* Name() const override { return "sdl"; }

  int Open(const WaveFormat& format) override {
    CancelLinger();
    if (dev_ == 0 || !(physical_ == format)) {
      ClosePhysical();
      int result = OpenPhysical(format);
      if (result != kSoundOk) return result;
    }
    logical_open_ = true;
    return kSoundOk;
  }

  void Close() override {
    Reset();
    logical_open_ = false;
    ScheduleLinger(kLingerMs);
  }

  void Play(SoundBlock* block) override {
    if (dev_ == 0) return;
    SDL_LockAudioDevice(dev_);
    uint32_t align = physical_.BlockAlign();
    blocks_.push_back(Playing{block, 0, block->length / align * align});
    SDL_UnlockAudioDevice(dev_);
  }

  void Reset() override {
    if (dev_ == 0) return;
    SDL_LockAudioDevice(dev_);
    blocks_.clear();
    SDL_UnlockAudioDevice(dev_);
  }

  void StartEffect(const int16_t* samples, size_t count, uint32_t rate, bool loop) override {
    if (count == 0 || rate == 0) return;
    CancelLinger();
    if (dev_ == 0 && OpenPhysical(WaveFormat{22050, 1, 16}) != kSoundOk) return;
    std::vector<int16_t> copy(samples, samples + count);
    SDL_LockAudioDevice(dev_);
    effect_.swap(copy);
    effect_rate_ = rate;
    effect_loop_ = loop;
    effect_pos_ = 0;
    SDL_UnlockAudioDevice(dev_);
    looping_ = loop;
    if (!loop && !logical_open_) ScheduleLinger(uint64_t(count) * 1000 / rate + kLingerMs);
  }

  void StopEffect() override {
    looping_ = false;
    if (dev_ == 0) return;
    SDL_LockAudioDevice(dev_);
    effect_.clear();
    SDL_UnlockAudioDevice(dev_);
    if (!logical_open_) ScheduleLinger(kLingerMs);
  }

 private:
  struct Playing {
    SoundBlock* block;
    uint32_t offset;
    uint32_t length;  // whole frames of the block
  };

  int OpenPhysical(const WaveFormat& f) {
    SDL_AudioSpec want{};
    SDL_AudioSpec have{};
    want.freq = int(f.rate);
    want.format = f.bits == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    want.channels = uint8_t(f.channels);
    want.samples = SdlBufferFrames(f.rate);
    want.callback = &SdlSoundBackend::Callback;
    want.userdata = this;
    // No changes allowed: SDL converts to the hardware, and the callback sees the sound's own format.
    dev_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (dev_ == 0) {
      last_error_ = SDL_GetError();
      std::string lower = last_error_;
      for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
      return lower.find("busy") != std::string::npos ? kSoundErrAllocated : kSoundErrNoDriver;
    }
    physical_ = f;
    silence_ = have.silence;
    effect_pos_ = 0;
    SDL_PauseAudioDevice(dev_, 0);
    return kSoundOk;
  }

  void ClosePhysical() {
    if (dev_ == 0) return;
    SDL_CloseAudioDevice(dev_);
    dev_ = 0;
    blocks_.clear();
    effect_.clear();
    looping_ = false;
  }

  void CancelLinger() {
    if (linger_timer_ != 0) CancelTimer(linger_timer_);
    linger_timer_ = 0;
  }

  void ScheduleLinger(uint64_t ms) {
    CancelLinger();
    linger_timer_ = AddTimer(ms, [this] {
      linger_timer_ = 0;
      if (!logical_open_ && !looping_) ClosePhysical();
    });
  }

  static void Callback(void* user, Uint8* stream, int len) {
    static_cast<SdlSoundBackend*>(user)->Fill(stream, size_t(len));
  }

  // Runs on SDL's audio thread with the device locked.
  void Fill(uint8_t* out, size_t len) {
    std::memset(out, silence_, len);
    size_t done = 0;
    while (done < len && !blocks_.empty()) {
      Playing& p = blocks_.front();
      size_t n = std::min<size_t>(len - done, p.length - p.offset);
      std::memcpy(out + done, p.block->data + p.offset, n);
      done += n;
      p.offset += uint32_t(n);
      if (p.offset >= p.length) {
        SoundBlock* finished = p.block;
        blocks_.pop_front();
        SoundBlockPlayed(finished);
      }
    }
    if (!effect_.empty()) MixEffect(out, len);
  }

  void MixEffect(uint8_t* out, size_t len) {
    const WaveFormat& f = physical_;
    size_t frames = len / f.BlockAlign();
    // effect_pos_ is in 1/65536 of an effect sample, stepping by the rate ratio per output frame.
    uint64_t step = (uint64_t(effect_rate_) << 16) / f.rate;
    uint64_t total = uint64_t(effect_.size()) << 16;
    for (size_t i = 0; i < frames; ++i) {
      if (effect_pos_ >= total) {
        if (!effect_loop_) {
          effect_.clear();
          return;
        }
        effect_pos_ %= total;
      }
      int e = effect_[size_t(effect_pos_ >> 16)];
      effect_pos_ += step;
      for (int c = 0; c < f.channels; ++c) {
        if (f.bits == 8) {
          uint8_t& s = out[i * f.channels + c];
          s = uint8_t(std::clamp(int(s) + e / 256, 0, 255));
        } else {
          uint8_t* p = out + (i * f.channels + c) * 2;
          int v = int(int16_t(uint16_t(p[0] | (p[1] << 8)))) + e;
          uint16_t u = uint16_t(int16_t(std::clamp(v, -32768, 32767)));
          p[0] = uint8_t(u);
          p[1] = uint8_t(u >> 8);
        }
      }
    }
  }

  bool inited_ = false;
  SDL_AudioDeviceID dev_ = 0;
  WaveFormat physical_{0, 0, 0};
  uint8_t silence_ = 0;
  bool logical_open_ = false;
  bool looping_ = false;
  int linger_timer_ = 0;
  std::string last_error_;
  // Shared with the audio thread (under the device lock).
  std::deque<Playing> blocks_;
  std::vector<int16_t> effect_;
  uint32_t effect_rate_ = 0;
  bool effect_loop_ = false;
  uint64_t effect_pos_ = 0;
};

}  // namespace

std::unique_ptr<SoundBackend> MakeSdlSoundBackend(std::string* error) {
  auto backend = std::make_unique<SdlSoundBackend>();
  if (!backend->Init(error)) return nullptr;
  return backend;
}

}  // namespace falatro
