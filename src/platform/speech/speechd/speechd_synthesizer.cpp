// Speech Dispatcher as the speech service: one connection in the library's threaded mode; the end and
// cancel notices arrive on the library's thread and are read here under a lock.
#include "platform/speech/speechd/speechd_synthesizer.h"

#include <libspeechd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "base/event_loop.h"
#include "base/text_encoding.h"
#include "console/keyboard.h"
#include "speech/sound_device.h"

namespace falatro {

namespace {

constexpr int kBusyWaitMs = 20;     // a busy query waits this long for the end of speech
constexpr int kReleasePollMs = 300;
constexpr int kReleaseLimitMs = 60000;  // a service that never says it finished is left after this

class SpeechDispatcher final : public SynthesizerBackend {
 public:
  bool Start(int voice, int speed, int pitch) override;
  void Speak(const std::string& text) override;
  bool Busy(int mode) override;
  void Stop() override;
  void Release() override;

  void Notice(size_t message, SPDNotificationType type);
  SpeechDispatcherFigures Figures() {
    std::lock_guard<std::mutex> lock(mutex_);
    return figures_;
  }

 private:
  bool Idle() const { return finished_ >= sent_; }  // under mutex_

  SPDConnection* connection_ = nullptr;
  std::mutex mutex_;
  std::condition_variable changed_;
  // Message numbers grow with every text; each text ends with an end or a cancel notice.
  size_t sent_ = 0;      // the last message sent
  size_t finished_ = 0;  // the highest message that ended or was cancelled
  uint64_t keys_seen_ = 0;
  std::vector<std::string> voice_names_;  // the service's voices, in its order, once listed
  SpeechDispatcherFigures figures_;
};

SpeechDispatcher Service;

void OnNotice(size_t message, size_t /*client*/, SPDNotificationType type) { Service.Notice(message, type); }

bool SpeechDispatcher::Start(int voice, int speed, int /*pitch*/) {
  if (connection_ != nullptr) Release();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    figures_ = SpeechDispatcherFigures{};
    sent_ = finished_ = 0;
  }
  char* error = nullptr;
  // No daemon is started from here: without a running one the recorded voice speaks.
  SPDConnection* c = spd_open2("falatro", "main", nullptr, SPD_MODE_THREADED, nullptr, 0, &error);
  std::free(error);
  if (c == nullptr) return false;
  // The list is long (every voice of every language, with its variants) and slow to come, so it is
  // asked for once per run; a later start (a change of speed) reuses it.
  if (voice_names_.empty()) {
    SPDVoice** voices = spd_list_synthesis_voices(c);
    for (int i = 0; voices != nullptr && voices[i] != nullptr; ++i)
      voice_names_.push_back(voices[i]->name ? voices[i]->name : "");
    if (voices != nullptr) free_spd_voices(voices);
  }
  const int count = int(voice_names_.size());
  if (count == 0) {
    spd_close(c);
    return false;
  }
  // A voice number out of range takes the first voice at the normal rate.
  if (voice < 1 || voice > count) {
    voice = 1;
    speed = 0;
  }
  const std::string& name = voice_names_[size_t(voice - 1)];
  spd_set_synthesis_voice(c, name.c_str());
  int rate = SpeechDispatcherRateOf(speed);
  spd_set_voice_rate(c, rate);  // a refusal leaves the service's own rate
  c->callback_end = OnNotice;
  c->callback_cancel = OnNotice;
  spd_set_notification_on(c, SPD_END);
  spd_set_notification_on(c, SPD_CANCEL);
  connection_ = c;
  keys_seen_ = Kbd.KeysStored;
  std::lock_guard<std::mutex> lock(mutex_);
  figures_.voice_count = count;
  figures_.voice_number = voice;
  figures_.voice_name = name;
  figures_.rate = rate;
  return true;
}

void SpeechDispatcher::Notice(size_t message, SPDNotificationType type) {
  std::lock_guard<std::mutex> lock(mutex_);
  finished_ = std::max(finished_, message);
  if (type == SPD_EVENT_CANCEL) {
    ++figures_.cancels;
    if (figures_.stop_us != 0 && figures_.cancel_notice_us == 0) figures_.cancel_notice_us = SteadyMicroseconds();
  } else {
    ++figures_.ends;
  }
  changed_.notify_all();
}

void SpeechDispatcher::Speak(const std::string& text) {
  if (connection_ == nullptr) return;
  std::string said = text.empty() ? std::string(" ") : Cp1252ToUtf8(text);
  keys_seen_ = Kbd.KeysStored;
  // A notice for this text may come before its number is known here; the highest number wins, so
  // busy is right either way.
  int id = spd_say(connection_, SPD_TEXT, said.c_str());
  if (id <= 0) {
    PlaySoundBeep();
    std::lock_guard<std::mutex> lock(mutex_);
    ++figures_.failures;
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  sent_ = std::max(sent_, size_t(id));
  ++figures_.texts_said;
  figures_.last_text = said;
}

bool SpeechDispatcher::Busy(int /*mode*/) {
  if (connection_ == nullptr) return false;
  // A key that reached the key queue since the text was given cuts it, as it cuts every sound.
  if (Kbd.KeysStored != keys_seen_) {
    bool idle;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      idle = Idle();
    }
    if (!idle) Stop();
    keys_seen_ = Kbd.KeysStored;
    return false;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (changed_.wait_for(lock, std::chrono::milliseconds(kBusyWaitMs), [this] { return Idle(); })) return false;
  lock.unlock();
  Message wake;
  wake.kind = kMsgWake;
  PostMessage(wake);
  return true;
}

void SpeechDispatcher::Stop() {
  if (connection_ == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    figures_.stop_us = SteadyMicroseconds();
    figures_.cancel_notice_us = 0;
  }
  spd_cancel(connection_);
  keys_seen_ = Kbd.KeysStored;
}

void SpeechDispatcher::Release() {
  if (connection_ == nullptr) return;
  for (int waited = 0; waited < kReleaseLimitMs && Busy(0); waited += kReleasePollMs) Delay(kReleasePollMs);
  spd_close(connection_);
  connection_ = nullptr;
}

}  // namespace

SynthesizerBackend* SpeechDispatcherSynthesizer() { return &Service; }

SpeechDispatcherFigures SpeechDispatcherVoiceFigures() { return Service.Figures(); }

int SpeechDispatcherRateOf(int speed) { return std::clamp(speed * 10, -100, 100); }

}  // namespace falatro
