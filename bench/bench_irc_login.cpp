// The login's time to the menu: from the moment the server's end of the welcome (376, or 422 without a
// message of the day) reaches the client to the login's return to the menu, on ngircd and on InspIRCd
// with Anope's services, several logins each. The client meets the server through a relay on loopback
// that notes when the welcome's end passed. FALATRO_BENCH_LOGINS sets the logins per server (10).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/client_state.h"
#include "app/login.h"
#include "app/main_menu.h"
#include "app/server_link.h"
#include "base/event_loop.h"
#include "bench_irc_support.h"
#include "bench_menu_session.h"
#include "bench_timing_relay.h"
#include "console/nxcrt.h"
#include "irc_server_fixture.h"
#include "platform/console/headless/headless_frontend.h"
#include "platform/sound/sound_backends.h"
#include "speech/sound_device.h"
#include "speech/suite_settings.h"

namespace falatro {
namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Logs in `logins` times through the relay; prints the figures. False when a login failed.
bool Measure(const char* server_name, const std::string& server_address, int logins) {
  benchirc::TimingRelay relay;
  if (!relay.Start(server_address)) {
    std::fprintf(stderr, "cannot start the relay\n");
    return false;
  }
  Client.ServerName = relay.address();
  std::vector<double> after_welcome, whole, to_421;
  for (int i = 0; i < logins; ++i) {
    const auto t0 = Clock::now();
    ConnectToServer();
    const auto t1 = Clock::now();
    const auto welcome_end = relay.WelcomeEnd();
    if (Client.ServerSocket <= 0 || Client.LocalAddress.empty() || welcome_end == Clock::time_point{}) {
      std::fprintf(stderr, "login %d to %s failed\n", i + 1, server_name);
      return false;
    }
    after_welcome.push_back(Ms(t1 - welcome_end));
    whole.push_back(Ms(t1 - t0));
    const auto unknown = relay.FirstSent("421");
    if (unknown != Clock::time_point{} && unknown < t1) to_421.push_back(Ms(unknown - welcome_end));
    // The nickname is free again once the server has closed the connection.
    SendServerLine("QUIT");
    const auto give_up = Clock::now() + std::chrono::seconds(5);
    while (relay.Joined() && Clock::now() < give_up) SleepMs(20);
    CloseServerConnection();
  }
  std::string each;
  for (double ms : after_welcome) each += " " + std::to_string(static_cast<int>(ms + 0.5));
  std::vector<double> a = after_welcome, w = whole;
  std::sort(a.begin(), a.end());
  std::sort(w.begin(), w.end());
  std::printf("irc login on %s, %d logins: end of the welcome (376/422) to the menu: median %.0f ms, worst %.0f ms "
              "(target: at most 2000 ms); each (ms):%s\n",
              server_name, logins, a[a.size() / 2], a.back(), each.c_str());
  std::printf("  whole login (connect to the menu): median %.0f ms, worst %.0f ms\n", w[w.size() / 2], w.back());
  // Without the answer to the unknown command the client waits up to a second and sends IDENTIFY again.
  if (to_421.empty()) {
    std::printf("  no 421 before the menu in any login: each waited for it, then sent IDENTIFY again\n");
  } else {
    std::sort(to_421.begin(), to_421.end());
    std::printf("  421 (the last login line taken as a command) came %.0f ms (median) after the welcome's end, in "
                "%zu of %d logins\n",
                to_421[to_421.size() / 2], to_421.size(), logins);
  }
  return true;
}

int Run() {
  const int logins = benchirc::SecondsFromEnv("FALATRO_BENCH_LOGINS", 10);
  NullSoundBackend device;
  return benchirc::MeasureOnBothServers(&device, 120, 120, true,
                                        [logins](const char* server, const std::string& address, int) {
                                          return Measure(server, address, logins);
                                        });
}

}  // namespace
}  // namespace falatro

int main() { return falatro::Run(); }
