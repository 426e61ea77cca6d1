// Measures the client over TLS against a real ngircd with a TLS port on loopback: the handshake time,
// the CPU it uses while nothing happens at the main menu and in a channel, and the time from a peer's
// private message to the first block of its speech at the sound device. FALATRO_BENCH_IDLE_SECONDS
// sets each idle stretch (60 by default).
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/channel.h"
#include "app/client_state.h"
#include "base/event_loop.h"
#include "bench_irc_support.h"
#include "bench_menu_session.h"
#include "irc_server_fixture.h"
#include "net/tls.h"
#include "net/transport.h"
#include "platform/tls/openssl_library.h"
#include "tls_fixture.h"
#include "speech/sound_device.h"

namespace falatro {
namespace {

using Clock = std::chrono::steady_clock;

using benchirc::Quit;
using benchirc::Session;
using benchirc::TypeKeys;

struct ChannelFigures {
  double cpu = 0, wall = 0;
};
ChannelFigures Quiet;

void JoinForQuiet();

void QuitAtMenu() {
  if (benchirc::AtMenuPrompt() && !IsSoundPlaying()) {
    Quit();
    return;
  }
  AddTimer(100, QuitAtMenu);
}

void ChannelQuietStart() {
  if (!Client.InChannel || IsSoundPlaying()) {
    AddTimer(100, ChannelQuietStart);
    return;
  }
  std::fprintf(stderr, "in the channel; idle for %d s\n", Session.idle_seconds);
  const double cpu0 = benchirc::CpuSeconds();
  const auto wall0 = Clock::now();
  AddTimer(static_cast<uint64_t>(Session.idle_seconds) * 1000, [cpu0, wall0] {
    Quiet.cpu = benchirc::CpuSeconds() - cpu0;
    Quiet.wall = std::chrono::duration<double>(Clock::now() - wall0).count();
    // Leave the channel, then end at the menu.
    TypeKeys("\x1bS");
    AddTimer(1000, QuitAtMenu);
  });
}

// The menu waits for a key (after a message said there it does not ask again).
void JoinForQuiet() {
  if (IsSoundPlaying()) {
    AddTimer(50, JoinForQuiet);
    return;
  }
  TypeKeys("j");
  AddTimer(500, [] {
    TypeKeys("sala\r");
    AddTimer(500, ChannelQuietStart);
  });
}

// Handshakes against the server, each on a fresh connection. Milliseconds of each, the first one
// loading the library.
std::vector<double> Handshakes(uint16_t port, const std::string& ca, int count) {
  std::vector<double> ms;
  for (int i = 0; i < count; ++i) {
    const auto t0 = Clock::now();
    const int fd = OpenConnection("127.0.0.1", port);
    if (fd <= 0) break;
    const TlsStartResult r = StartTls(fd, "127.0.0.1", ca);
    const auto t1 = Clock::now();
    CloseConnection(fd);
    if (r != TlsStartResult::kOk) break;
    ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  return ms;
}

// Milliseconds of setting up one connection object (context, the system's trusted certificates, the
// name check), without any network: the part of a handshake spent before the first byte is sent.
double SetupMs(const std::string& ca, int count) {
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return -1;
  TlsLibrary* lib = OpenSslLibrary();
  const auto t0 = Clock::now();
  int made = 0;
  for (int i = 0; i < count; ++i) {
    std::string error;
    void* ssl = lib->NewClient(pair[0], "127.0.0.1", ca, &error);
    if (!ssl) break;
    lib->Free(ssl);
    ++made;
  }
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  close(pair[0]);
  close(pair[1]);
  return made == count ? ms / count : -1;
}

int Run() {
  Session.idle_seconds = benchirc::SecondsFromEnv("FALATRO_BENCH_IDLE_SECONDS", 60);
  const std::string root = benchirc::ScratchDir("falatro-bench-tls");
  apptest::TestCertificates certs;
  std::string error;
  if (root.empty() || !certs.Make(root + "/certs", &error)) {
    std::fprintf(stderr, "cannot make the certificates: %s\n", error.c_str());
    return 1;
  }
  apptest::TlsIrcServer server;
  // The server's ping interval is longer than the run, so the idle stretches have no traffic at all.
  if (!server.Start(root, certs.good, certs.key, certs.dh, "senha", 2 * Session.idle_seconds + 120)) {
    std::fprintf(stderr, "cannot start ngircd\n%s", server.Log().c_str());
    return 1;
  }
  const std::string setting = "127.0.0.1:+" + std::to_string(server.tls_port());
  if (!benchirc::MakeSuiteTree(root, setting, "cliente", "senha")) {
    std::fprintf(stderr, "cannot read the transcription rules\n");
    return 1;
  }
  // The test CA, trusted through the suite setting (the [FALATRO] section comes last).
  {
    std::string ini = benchirc::ReadFile(root + "/win/NARRIX.INI");
    benchirc::WriteFile(root + "/win/NARRIX.INI", ini + "ARQCA=" + certs.ca + "\r\n");
  }
  if (!Session.peer.Login("127.0.0.1", server.plain_port(), "amigo", "senha")) {
    std::fprintf(stderr, "the peer cannot log in\n");
    return 1;
  }
  Session.peer.Join("#sala");
  Session.peer.WaitFor(" 366 ", 5000);

  SetTlsLibrary(OpenSslLibrary());
  const std::vector<double> handshakes = Handshakes(server.tls_port(), certs.ca, 21);
  const double setup_ms = SetupMs(certs.ca, 20);

  Session.logged_in_note = "logged in over TLS";
  Session.on_logged_in = [] {
    if (!Tls.active) {
      std::fprintf(stderr, "the connection is not TLS\n");
      Session.failed = true;
    }
  };
  Session.after_messages = JoinForQuiet;
  benchirc::RunMenuSession();
  server.Stop();
  std::error_code ec;
  std::filesystem::remove_all(root, ec);

  if (handshakes.size() > 1) {
    std::vector<double> h(handshakes.begin() + 1, handshakes.end());
    std::sort(h.begin(), h.end());
    std::printf("tls handshake (connect + handshake + certificate check, ECDSA P-256, loopback ngircd), %zu runs: "
                "first %.2f ms (loads the library), then min %.2f ms, median %.2f ms, max %.2f ms\n",
                h.size(), handshakes[0], h.front(), h[h.size() / 2], h.back());
    std::printf("tls connection set-up alone (context, the system's trusted certificates, the name check), "
                "mean of 20: %.2f ms\n", setup_ms);
  } else {
    std::fprintf(stderr, "the handshakes failed\n");
    Session.failed = true;
  }
  benchirc::PrintMenuIdle("tls");
  if (Quiet.wall > 0) {
    std::printf("tls channel idle: %.1f s in a quiet channel: CPU %.3f s = %.3f%% of one core (target: at most 1%%)\n",
                Quiet.wall, Quiet.cpu, 100.0 * Quiet.cpu / Quiet.wall);
  } else {
    std::fprintf(stderr, "the channel was not measured\n");
    Session.failed = true;
  }
  benchirc::PrintMessageLatencies("tls");
  return Session.failed ? 1 : 0;
}

}  // namespace
}  // namespace falatro

int main() { return falatro::Run(); }
