// The client benchmarks' session at the main menu: the client connects with C, stays idle at the menu
// for a stretch (CPU used, wake-ups), then a peer sends it private messages one at a time (the time
// from each to the first block of its speech at the sound device). What comes after the messages is
// each benchmark's own.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/client_state.h"
#include "app/main_menu.h"
#include "base/event_loop.h"
#include "bench_irc_support.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "irc_peer.h"
#include "platform/console/headless/headless_frontend.h"
#include "platform/sound/sound_backends.h"
#include "speech/sound_device.h"
#include "speech/suite_settings.h"

namespace falatro::benchirc {

// The null device, noting when each block reaches it.
struct TimingDevice : NullSoundBackend {
  std::chrono::steady_clock::time_point armed{};
  std::chrono::steady_clock::time_point first{};
  bool waiting = false;
  void Play(SoundBlock* block) override {
    if (waiting) {
      first = std::chrono::steady_clock::now();
      waiting = false;
    }
    NullSoundBackend::Play(block);
  }
};

struct MenuSession {
  TimingDevice device;
  apptest::IrcPeer peer;
  int idle_seconds = 60;
  int rounds = 20;
  int round = 0;
  double idle_cpu = 0, idle_wall = 0;
  uint64_t idle_wakeups = 0;
  std::vector<double> latencies_ms;
  bool failed = false;
  /// Told once the client is logged in, before the idle stretch ("logged in", ...).
  const char* logged_in_note = "logged in";
  /// Checks of the connection once logged in (may set failed).
  std::function<void()> on_logged_in;
  /// What follows the private messages; the session quits when none is set.
  std::function<void()> after_messages;
};
inline MenuSession Session;

inline bool AtMenuPrompt() {
  return std::string(reinterpret_cast<const char*>(Crt.ScreenBuffer) +
                         (Crt.TextWindow.Top + WhereY() - 1) * ScreenCols,
                     16) == "Qual sua op\xE7\xE3o? ";
}

inline void TypeKeys(const char* keys) {
  for (const char* k = keys; *k; ++k) PostChar(static_cast<uint8_t>(*k), 0);
}

inline void Quit() { TypeKeys("\x1bS"); }


/// Thrown when the client ends the program.
struct ClientExited {};

/// The client as the program starts it, on a headless console with the given sound device.
inline void StartHeadlessClient(SoundBackend* device) {
  InitSuiteSettings();
  SetConsoleFrontend(HeadlessFrontend(RealClockBackend()));
  Crt.exit_hook = [](int) { throw ClientExited{}; };
  InitConsole();
  SetSoundBackend(device);
  InitClient();
}

inline void LatencyRound();

inline void AfterRound() {
  MenuSession& s = Session;
  if (s.device.waiting) {
    std::fprintf(stderr, "no sound for private message %d\n", s.round);
    s.failed = true;
    Quit();
    return;
  }
  s.latencies_ms.push_back(std::chrono::duration<double, std::milli>(s.device.first - s.device.armed).count());
  if (++s.round < s.rounds) {
    AddTimer(100, LatencyRound);
  } else if (s.after_messages) {
    s.after_messages();
  } else {
    Quit();
  }
}

inline void LatencyRound() {
  MenuSession& s = Session;
  s.peer.Pump();
  // Sound of the previous message finishes first; the menu keeps waiting for a key meanwhile (a
  // message said at the menu does not repeat its question).
  if (IsSoundPlaying()) {
    AddTimer(50, LatencyRound);
    return;
  }
  s.device.waiting = true;
  s.device.armed = std::chrono::steady_clock::now();
  s.peer.Privmsg("cliente", "mensagem de teste numero " + std::to_string(s.round + 1));
  AddTimer(1500, AfterRound);
}

inline void IdleStart() {
  const double cpu0 = CpuSeconds();
  const auto wall0 = std::chrono::steady_clock::now();
  const uint64_t wake0 = Menu.wait_wakeups;
  // One timer for the whole stretch: nothing else wakes the client meanwhile.
  AddTimer(static_cast<uint64_t>(Session.idle_seconds) * 1000, [cpu0, wall0, wake0] {
    Session.idle_cpu = CpuSeconds() - cpu0;
    Session.idle_wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    Session.idle_wakeups = Menu.wait_wakeups - wake0;
    Session.peer.Pump();
    std::fprintf(stderr, "private messages\n");
    AddTimer(10, LatencyRound);
  });
}

inline void WaitForLogin() {
  if (Client.ServerSocket > 0 && !Client.LocalAddress.empty() && AtMenuPrompt() && !IsSoundPlaying()) {
    if (Session.on_logged_in) Session.on_logged_in();
    std::fprintf(stderr, "%s; idle for %d s\n", Session.logged_in_note, Session.idle_seconds);
    AddTimer(500, IdleStart);
    return;
  }
  AddTimer(50, WaitForLogin);
}

inline void FirstPrompt() {
  if (AtMenuPrompt()) {
    std::fprintf(stderr, "connecting\n");
    TypeKeys("c");
    AddTimer(50, WaitForLogin);
    return;
  }
  AddTimer(50, FirstPrompt);
}

/// Runs the client's main menu (headless console, the timing device) through the session until it quits.
inline void RunMenuSession() {
  AddTimer(50, FirstPrompt);
  try {
    StartHeadlessClient(&Session.device);
    MainMenu();
  } catch (const ClientExited&) {
  }
  SetSoundBackend(nullptr);
}

/// The idle stretch's figures; prefix names the connection ("irc", "tls").
inline void PrintMenuIdle(const char* prefix) {
  const MenuSession& s = Session;
  if (s.idle_wall <= 0) return;
  std::printf("%s menu idle: %.1f s connected with no traffic: CPU %.3f s = %.3f%% of one core, %llu wake-ups "
              "(target: at most 1%%)\n",
              prefix, s.idle_wall, s.idle_cpu, 100.0 * s.idle_cpu / s.idle_wall,
              static_cast<unsigned long long>(s.idle_wakeups));
}

/// The private messages' figures.
inline void PrintMessageLatencies(const char* prefix) {
  if (Session.latencies_ms.empty()) return;
  std::vector<double> l = Session.latencies_ms;
  std::sort(l.begin(), l.end());
  std::printf("%s private message to first sound block (through ngircd), %zu messages: min %.2f ms, median "
              "%.2f ms, max %.2f ms (target: at most 100 ms)\n",
              prefix, l.size(), l.front(), l[l.size() / 2], l.back());
}

}  // namespace falatro::benchirc
