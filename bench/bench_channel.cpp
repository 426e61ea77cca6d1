// Measures the channel against a real ngircd: a burst of 1000 channel messages from two peers (all
// shown and said, none lost; the time from a key to the cut of the sound during the burst; memory),
// a channel list of 5001 channels (from the end of the list to the browsing prompt), and the CPU of a
// quiet channel. The sound device plays 20 times faster than real time so that the burst is said in
// a couple of minutes; FALATRO_BENCH_IDLE_SECONDS sets the quiet stretch (30 by default).
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/channel.h"
#include "app/channel_list.h"
#include "app/client_state.h"
#include "app/login.h"
#include "app/main_menu.h"
#include "base/event_loop.h"
#include "bench_irc_support.h"
#include "bench_menu_session.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "irc_peer.h"
#include "irc_server_fixture.h"
#include "platform/console/headless/headless_frontend.h"
#include "speech/sound_device.h"
#include "speech/suite_settings.h"
#include "speech/wave_player.h"

namespace falatro {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSpeedUp = 20;
constexpr int kBurst = 1000;

struct Bench {
  benchirc::ScaledSoundDevice device{kSpeedUp};
  apptest::IrcPeer ana, bia, criador;
  int idle_seconds = 30;
  // Burst.
  int burst_shown = 0;
  std::vector<double> cut_ms;
  Clock::time_point key_at{};
  bool key_pending = false;
  Clock::time_point burst_start{}, burst_end{};
  size_t rss_before_kb = 0;
  // Quiet channel.
  double idle_cpu = 0, idle_wall = 0;
  uint64_t idle_sleeps = 0, idle_passes = 0;
  bool failed = false;
};
Bench B;

size_t MaxRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<size_t>(u.ru_maxrss);
}

void Type(const std::string& keys) {
  for (char c : keys) PostChar(static_cast<uint8_t>(c), 0);
}

// During the burst a key (Ctrl+Y on an empty line) comes every 150 ms while something is said.
Clock::time_point next_key_due{};

void KeyWhileSpeaking() {
  B.ana.Pump();
  B.bia.Pump();
  if (B.burst_shown >= kBurst) return;
  if (B.key_pending && B.device.last_reset >= B.key_at) {
    B.cut_ms.push_back(std::chrono::duration<double, std::milli>(B.device.last_reset - B.key_at).count());
    B.key_pending = false;
  }
  if (!B.key_pending && IsSoundPlaying()) {
    // The key counts from when it was due: a loop busy elsewhere makes the timer late, as it would
    // make a real key wait.
    B.key_at = std::min(Clock::now(), next_key_due);
    B.key_pending = true;
    Type("\x19");
  } else if (B.key_pending && Clock::now() - B.key_at > std::chrono::seconds(2)) {
    B.key_pending = false;  // the sound ended by itself before the key reached it
  }
  next_key_due = Clock::now() + std::chrono::milliseconds(150);
  AddTimer(150, KeyWhileSpeaking);
}

void StartBurst() {
  B.rss_before_kb = MaxRssKb();
  B.burst_start = Clock::now();
  for (int i = 0; i < kBurst; ++i)
    (i % 2 ? B.bia : B.ana).Privmsg("#sala", "mensagem numero " + std::to_string(i) + " da rajada");
  next_key_due = Clock::now() + std::chrono::milliseconds(150);
  AddTimer(150, KeyWhileSpeaking);
}

void QuietStart() {
  const double cpu0 = benchirc::CpuSeconds();
  const auto wall0 = Clock::now();
  const uint64_t sleeps0 = Channel.Sleeps, passes0 = Channel.Passes;
  AddTimer(static_cast<uint64_t>(B.idle_seconds) * 1000, [cpu0, wall0, sleeps0, passes0] {
    B.idle_cpu = benchirc::CpuSeconds() - cpu0;
    B.idle_wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    B.idle_sleeps = Channel.Sleeps - sleeps0;
    B.idle_passes = Channel.Passes - passes0;
    Type("\x1bS");
  });
}

int Run() {
  B.idle_seconds = benchirc::SecondsFromEnv("FALATRO_BENCH_IDLE_SECONDS", 30);
  const std::string root = benchirc::ScratchDir("falatro-bench-channel");
  const std::string address = apptest::FreeLoopbackAddress();
  apptest::NgircdServer server;
  if (root.empty() || address.empty() || !server.Start(root, address, "senha", B.idle_seconds + 600)) {
    std::fprintf(stderr, "cannot start ngircd\n");
    return 1;
  }
  if (!benchirc::MakeSuiteTree(root, address, "cliente", "senha")) {
    std::fprintf(stderr, "cannot read the transcription rules\n");
    return 1;
  }
  for (auto* p : {&B.ana, &B.bia}) {
    if (!p->Login(address, apptest::kTestIrcPort, p == &B.ana ? "ana" : "bia", "senha")) {
      std::fprintf(stderr, "a peer cannot log in\n");
      return 1;
    }
    p->Join("#sala");
    p->WaitFor(" 366 ", 5000);
  }
  benchirc::StartHeadlessClient(&B.device);
  ConnectToServer();
  if (Client.ServerSocket <= 0) {
    std::fprintf(stderr, "the client cannot log in\n");
    return 1;
  }

  // 1. The burst.
  Channel.on_shown = [](const std::string& text) {
    if (text.find(" da rajada") == std::string::npos) return;
    if (++B.burst_shown == kBurst) {
      B.burst_end = Clock::now();
      Type("\x1bS");
    }
  };
  AddTimer(500, StartBurst);
  JoinChannel("sala");
  const size_t rss_after_kb = MaxRssKb();
  const double burst_s = std::chrono::duration<double>(B.burst_end - B.burst_start).count();

  // 2. The quiet channel.
  Channel.on_shown = nullptr;
  AddTimer(1000, QuietStart);
  JoinChannel("sala");

  // 3. The list of 5001 channels (one peer holds them).
  double list_ms = -1, relogin_ms = -1;
  if (B.criador.Login(address, apptest::kTestIrcPort, "criador", "senha")) {
    B.criador.JoinNumberedChannels(5001);
    Type("\r");
    // Esc once the browsing prompt is out.
    std::function<void()> leave = [&leave] {
      if (ChannelBrowser.sorted_at_ms != 0) {
        Type("\x1b");
        return;
      }
      AddTimer(20, leave);
    };
    AddTimer(20, leave);
    BrowseChannelList();
    list_ms = static_cast<double>(ChannelBrowser.sorted_at_ms - ChannelBrowser.end_of_list_ms);
    std::printf("channel list: new login %llu ms, count and notice said %llu ms, sort %llu ms\n",
                static_cast<unsigned long long>(ChannelBrowser.collected_ms - ChannelBrowser.end_of_list_ms),
                static_cast<unsigned long long>(ChannelBrowser.sort_started_ms - ChannelBrowser.collected_ms),
                static_cast<unsigned long long>(ChannelBrowser.sorted_at_ms - ChannelBrowser.sort_started_ms));
  }
  // The new login alone, for comparison.
  {
    const auto t0 = Clock::now();
    ConnectToServer();
    relogin_ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  }
  SetSoundBackend(nullptr);
  server.Stop();
  std::error_code ec;
  std::filesystem::remove_all(root, ec);

  std::printf("channel burst: %d of %d messages said in order of arrival, %llu lost (ring), largest backlog %zu "
              "lines, %.1f s to say them all at %dx speed\n",
              B.burst_shown, kBurst, static_cast<unsigned long long>(Client.MessagesLost), Channel.LargestBacklog,
              burst_s, kSpeedUp);
  if (!B.cut_ms.empty()) {
    std::vector<double> c = B.cut_ms;
    std::sort(c.begin(), c.end());
    std::printf("channel burst: key to sound cut, %zu keys: min %.2f ms, median %.2f ms, p99 %.2f ms, max %.2f ms "
                "(target: at most 50 ms)\n",
                c.size(), c.front(), c[c.size() / 2], c[c.size() * 99 / 100], c.back());
  } else {
    std::printf("channel burst: no key met the sound\n");
    B.failed = true;
  }
  std::printf("channel burst: peak resident memory %zu kB before, %zu kB after\n", B.rss_before_kb, rss_after_kb);
  if (B.idle_wall > 0)
    std::printf("quiet channel: %.1f s: CPU %.3f s = %.3f%% of one core, %llu loop passes, %llu sleeps (target: at "
                "most 1%%)\n",
                B.idle_wall, B.idle_cpu, 100.0 * B.idle_cpu / B.idle_wall,
                static_cast<unsigned long long>(B.idle_passes), static_cast<unsigned long long>(B.idle_sleeps));
  std::printf("channel list: %d channels kept of 5001 (+1 server channel); end of the list (5000th entry) to the "
              "browsing prompt %.0f ms, of which a new login alone takes about %.0f ms (target: at most 1000 ms)\n",
              ChannelBrowser.Count, list_ms, relogin_ms);
  if (B.burst_shown != kBurst || Client.MessagesLost != 0) B.failed = true;
  return B.failed ? 1 : 0;
}

}  // namespace
}  // namespace falatro

int main() { return falatro::Run(); }
