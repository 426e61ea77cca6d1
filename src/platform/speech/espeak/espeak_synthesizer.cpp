// eSpeak NG in-process: texts are made into sound on the program's own thread, in pieces, and the sound
// goes to the wave player as its slots free up, driven by a short loop timer and by every busy query.
#include "platform/speech/espeak/espeak_synthesizer.h"

#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cstring>
#include <deque>

#include "base/event_loop.h"
#include "base/text_encoding.h"
#include "console/keyboard.h"
#include "speech/wave_player.h"

namespace falatro {

namespace {

constexpr int kCallbackMs = 20;                  // the library hands over sound every 20 ms of speech
constexpr size_t kTextLimit = 63999;             // characters of one text
constexpr size_t kPieceBytes = 600;              // a piece takes a few milliseconds to make
constexpr size_t kLargestBlock = 5512;           // samples of a full block: a quarter second at 22050 Hz
constexpr size_t kReadyAheadSeconds = 10;        // the next piece is made when less sound than this waits
constexpr int kFeedPeriodMs = 5;                 // a key the program read cuts the voice within this

class Espeak final : public SynthesizerBackend {
 public:
  bool Start(int voice, int speed, int pitch) override;
  void Speak(const std::string& text) override;
  bool Busy(int mode) override;
  void Stop() override;
  void Release() override;

  // The library's sound callback lands here (same thread: the library works synchronously).
  int Take(const short* wav, int count);

  EspeakFigures figures;

 private:
  size_t Waiting() const { return samples_.size() - taken_; }
  bool Sounding() const { return !pieces_.empty() || Waiting() > 0 || at_device_; }
  void SayPiece();
  void Feed();
  void Tick();
  void KeepTicking();
  bool KeyCameSinceSpeak() const { return Wave.StopOnKey && Kbd.KeysStored != keys_seen_; }

  bool started_ = false;
  WaveFormat format_{22050, 1, 16};
  std::deque<std::string> pieces_;  // UTF-8 pieces still to be made into sound
  std::vector<int16_t> samples_;    // sound made and not yet all handed to the wave player
  size_t taken_ = 0;                // samples_ already handed over
  bool at_device_ = false;          // blocks of this voice may still be at the wave player
  bool in_synthesis_ = false;
  bool abort_ = false;              // the piece being made was stopped: the library is told to end it
  uint64_t keys_seen_ = 0;          // Kbd.KeysStored when the current speech began
  int timer_ = 0;
  std::vector<uint8_t> block_;
  int library_rate_ = 0;            // the library's sample rate once started; -1: it cannot start
};

Espeak Voice;

int OnSound(short* wav, int count, espeak_EVENT* /*events*/) { return Voice.Take(wav, count); }

bool Espeak::Start(int voice, int speed, int pitch) {
  if (started_) Release();
  figures = EspeakFigures{};
  // The library is started once for the whole run: after its release it cannot be started again (its
  // shutdown waits for ever on a second round), so a release only stops speaking.
  if (library_rate_ == 0) {
    library_rate_ = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, kCallbackMs, nullptr, espeakINITIALIZE_DONT_EXIT);
    if (library_rate_ <= 0) {
      library_rate_ = -1;
      return false;
    }
    espeak_SetSynthCallback(OnSound);
  }
  if (library_rate_ < 0) return false;
  const int rate = library_rate_;
  const espeak_VOICE** voices = espeak_ListVoices(nullptr);
  int count = 0;
  while (voices != nullptr && voices[count] != nullptr) ++count;
  // Voice 0 is the first; a number past the end takes the last voice listed.
  int n = std::clamp(voice, 1, std::max(count, 1));
  if (count == 0 || voices[n - 1]->name == nullptr || espeak_SetVoiceByName(voices[n - 1]->name) != EE_OK)
    return false;
  figures.voice_number = n;
  figures.voice_name = voices[n - 1]->name;
  figures.voice_count = count;
  figures.sample_rate = uint32_t(rate);
  format_ = WaveFormat{uint32_t(rate), 1, 16};
  figures.words_per_minute = EspeakRateOf(speed);
  figures.pitch = EspeakPitchOf(pitch);
  espeak_SetParameter(espeakRATE, figures.words_per_minute, 0);
  espeak_SetParameter(espeakPITCH, figures.pitch, 0);
  started_ = true;
  keys_seen_ = Kbd.KeysStored;
  return true;
}

void Espeak::Speak(const std::string& text) {
  std::string said = EspeakTextOf(text);
  if (said.empty() || !started_) return;
  if (Wave.StopOnKey && KeyPressed()) return;
  keys_seen_ = Kbd.KeysStored;
  figures.speak_started_us = SteadyMicroseconds();
  figures.first_block_us = 0;
  for (std::string& piece : SplitForSpeech(said, kPieceBytes)) pieces_.push_back(std::move(piece));
  figures.last_text = said;
  ++figures.texts_said;
  // The first piece is made now: its first block reaches the device from inside the library's first
  // callback, and the rest follows from the loop.
  SayPiece();
  Feed();
  KeepTicking();
}

void Espeak::SayPiece() {
  if (pieces_.empty() || in_synthesis_) return;
  std::string piece = std::move(pieces_.front());
  pieces_.pop_front();
  in_synthesis_ = true;
  abort_ = false;
  // A piece cut at a sentence's end keeps the pause that ends a sentence.
  unsigned flags = espeakCHARS_UTF8 | (pieces_.empty() ? 0 : espeakENDPAUSE);
  espeak_Synth(piece.c_str(), piece.size() + 1, 0, POS_CHARACTER, 0, flags, nullptr, nullptr);
  in_synthesis_ = false;
}

int Espeak::Take(const short* wav, int count) {
  if (!started_ || abort_) return 1;
  if (wav != nullptr && count > 0) {
    samples_.insert(samples_.end(), wav, wav + count);
    figures.samples_made += uint64_t(count);
    // Only the start of a text goes out from here: later sound waits for the loop, so making a
    // piece never waits for the device.
    if (!at_device_) Feed();
  }
  return abort_ ? 1 : 0;
}

void Espeak::Feed() {
  if (!started_) return;
  if (KeyCameSinceSpeak() && Sounding()) {
    ++figures.cuts_by_key;
    Stop();
    return;
  }
  if (at_device_ && Wave.queued == 0) at_device_ = false;
  for (;;) {
    size_t waiting = Waiting();
    if (waiting == 0 || Wave.queued >= kWaveBufferCount) break;
    // Small blocks start the sound quickly; once two are queued, only full blocks (or the last) go.
    bool more_coming = in_synthesis_ || !pieces_.empty();
    if (waiting < kLargestBlock && more_coming && Wave.queued >= 2) break;
    size_t n = std::min(waiting, kLargestBlock);
    block_.resize(n * 2);
    for (size_t i = 0; i < n; ++i) {
      uint16_t s = uint16_t(samples_[taken_ + i]);
      block_[2 * i] = uint8_t(s & 0xFF);
      block_[2 * i + 1] = uint8_t(s >> 8);
    }
    int result = QueueWaveSound(block_.data(), block_.size(), format_);
    if (result == kSoundErrStillPlaying) break;
    if (result != kSoundOk) {
      // The device cannot play: the text is dropped rather than left waiting for ever.
      Stop();
      return;
    }
    if (figures.first_block_us == 0) figures.first_block_us = SteadyMicroseconds();
    at_device_ = true;
    taken_ += n;
    figures.samples_queued += n;
    ++figures.blocks_queued;
  }
  if (taken_ == samples_.size()) {
    samples_.clear();
    taken_ = 0;
  } else if (taken_ > (1u << 20)) {
    samples_.erase(samples_.begin(), samples_.begin() + std::ptrdiff_t(taken_));
    taken_ = 0;
  }
  if (!in_synthesis_ && !pieces_.empty() && Waiting() < kReadyAheadSeconds * format_.rate) SayPiece();
}

void Espeak::Tick() {
  timer_ = 0;
  Feed();
  KeepTicking();
}

void Espeak::KeepTicking() {
  if (timer_ == 0 && started_ && Sounding()) timer_ = AddTimer(kFeedPeriodMs, [this] { Tick(); });
}

bool Espeak::Busy(int mode) {
  Feed();
  KeepTicking();
  if (mode == 1) return !pieces_.empty();
  if (!pieces_.empty() || Waiting() > 0) return true;
  return at_device_ && IsWavePlaying();
}

void Espeak::Stop() {
  abort_ = in_synthesis_;
  pieces_.clear();
  samples_.clear();
  taken_ = 0;
  if (at_device_) StopWave();
  at_device_ = false;
  if (timer_ != 0) CancelTimer(timer_);
  timer_ = 0;
  keys_seen_ = Kbd.KeysStored;
}

void Espeak::Release() {
  if (!started_) return;
  Stop();
  started_ = false;
}

}  // namespace

SynthesizerBackend* EspeakSynthesizer() { return &Voice; }

const EspeakFigures& EspeakVoiceFigures() { return Voice.figures; }

int EspeakRateOf(int speed) {
  if (speed == 0) return espeakRATE_NORMAL;
  if (speed > 10 || speed < -10) return std::clamp(speed, espeakRATE_MINIMUM, espeakRATE_MAXIMUM);
  if (speed > 0) return espeakRATE_NORMAL + (speed * (espeakRATE_MAXIMUM - espeakRATE_NORMAL) + 5) / 10;
  return espeakRATE_NORMAL - (-speed * (espeakRATE_NORMAL - espeakRATE_MINIMUM) + 5) / 10;
}

int EspeakPitchOf(int pitch) {
  if (pitch > 10 || pitch < -10) return std::clamp(pitch, 0, 100);
  return 50 + 5 * pitch;
}

std::string EspeakTextOf(const std::string& text) {
  size_t first = 0, last = text.size();
  while (first < last && uint8_t(text[first]) <= ' ') ++first;
  while (last > first && uint8_t(text[last - 1]) <= ' ') --last;
  std::string said = text.substr(first, std::min(last - first, kTextLimit));
  if (said.size() == 1 && said[0] >= '0' && said[0] <= '9') said += '.';
  return Cp1252ToUtf8(said);
}

std::vector<std::string> SplitForSpeech(const std::string& utf8, size_t limit) {
  std::vector<std::string> pieces;
  size_t at = 0;
  while (utf8.size() - at > limit) {
    size_t end = 0;
    // The last sentence end within the limit, else the last blank, else the last character start.
    for (size_t i = at + limit; i > at + 1 && end == 0; --i) {
      char c = utf8[i - 2];
      if ((c == '.' || c == '!' || c == '?' || c == ';' || c == '\n') && (utf8[i - 1] == ' ' || utf8[i - 1] == '\n'))
        end = i;
    }
    for (size_t i = at + limit; i > at && end == 0; --i)
      if (utf8[i - 1] == ' ') end = i;
    if (end == 0) {
      end = at + limit;
      while (end > at + 1 && (uint8_t(utf8[end]) & 0xC0) == 0x80) --end;
    }
    pieces.push_back(utf8.substr(at, end - at));
    at = end;
  }
  if (at < utf8.size()) pieces.push_back(utf8.substr(at));
  return pieces;
}

}  // namespace falatro
