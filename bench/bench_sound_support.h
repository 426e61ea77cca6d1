// Shared pieces of the sound and speech benchmarks: the headless console they run in, the clock they
// count in, a key typed by a thread of its own while the program speaks, and the line of percentiles
// they print.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

#include "base/event_loop.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "platform/console/headless/headless_frontend.h"
#include "speech/sound_device.h"
#include "speech/wave_player.h"

namespace falatro::benchkeys {

/// A fresh headless console, keyboard and wave player on the given loop.
inline void StartHeadlessConsole(LoopBackend* backend) {
  SetLoopBackend(backend);
  ResetConsoleState();
  SetConsoleFrontend(HeadlessFrontend(backend));
  ResetKeyboardState();
  ResetWavePlayer();
  InitConsole();
}

inline uint64_t SteadyMicros() { return SteadyMicroseconds(); }

/// The key 'k' posted to the event loop by another thread delay_ms after construction, as a user's key
/// comes while the program is busy.
class KeyLater {
 public:
  explicit KeyLater(int delay_ms)
      : thread_([this, delay_ms] {
          std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
          Message m;
          m.kind = kMsgChar;
          m.key.ch = 'k';
          at_us_ = SteadyMicros();
          PostMessage(m);
        }) {}
  ~KeyLater() { Join(); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  /// When the key was posted (0 before).
  uint64_t at_us() const { return at_us_; }

  /// After Join: when the sound device was reset since resets_before, and not before the key, adds the
  /// milliseconds from the key to the reset to out.
  void NoteReset(uint64_t resets_before, std::vector<double>* out) const {
    if (SoundDev.resets != resets_before && SoundDev.last_reset_us >= at_us_)
      out->push_back(double(SoundDev.last_reset_us - at_us_) / 1000.0);
  }

 private:
  std::atomic<uint64_t> at_us_{0};
  std::thread thread_;
};

/// How a line of percentiles looks: the label's width, digits after the point, and the word after the
/// count (" keys", or "").
struct PercentileStyle {
  int label_width;
  int decimals;
  const char* count_word;
};

/// "  <what> median … ms   p95 … ms   max … ms   (<count><word>)", or "no figures" for none.
inline void PrintPercentiles(const char* what, std::vector<double> v, const PercentileStyle& style) {
  if (v.empty()) {
    std::printf("  %-*s no figures\n", style.label_width, what);
    return;
  }
  std::sort(v.begin(), v.end());
  auto at = [&](double q) { return v[std::min(v.size() - 1, size_t(q * double(v.size())))]; };
  const int w = style.decimals + 4, d = style.decimals;
  std::printf("  %-*s median %*.*f ms   p95 %*.*f ms   max %*.*f ms   (%zu%s)\n", style.label_width, what, w, d,
              at(0.5), w, d, at(0.95), w, d, v.back(), v.size(), style.count_word);
}

}  // namespace falatro::benchkeys
