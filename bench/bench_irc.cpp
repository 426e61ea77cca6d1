// Measures the client at its main menu, connected to a real ngircd: the CPU it uses while nothing
// happens, and the time from a peer's private message to the first block of its speech at the sound
// device. FALATRO_BENCH_IDLE_SECONDS sets the idle stretch (60 by default).
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench_irc_support.h"
#include "bench_menu_session.h"
#include "irc_server_fixture.h"

namespace falatro {
namespace {

int Run() {
  benchirc::MenuSession& s = benchirc::Session;
  s.idle_seconds = benchirc::SecondsFromEnv("FALATRO_BENCH_IDLE_SECONDS", 60);
  const std::string root = benchirc::ScratchDir("falatro-bench-irc");
  const std::string address = apptest::FreeLoopbackAddress();
  apptest::NgircdServer server;
  // The server's ping interval is longer than the run, so the idle stretch has no traffic at all.
  if (root.empty() || address.empty() || !server.Start(root, address, "senha", s.idle_seconds + 120)) {
    std::fprintf(stderr, "cannot start ngircd\n");
    return 1;
  }
  if (!benchirc::MakeSuiteTree(root, address, "cliente", "senha")) {
    std::fprintf(stderr, "cannot read the transcription rules\n");
    return 1;
  }
  if (!s.peer.Login(address, apptest::kTestIrcPort, "amigo", "senha")) {
    std::fprintf(stderr, "the peer cannot log in\n");
    return 1;
  }
  benchirc::RunMenuSession();
  server.Stop();
  std::error_code ec;
  std::filesystem::remove_all(root, ec);

  benchirc::PrintMenuIdle("irc");
  benchirc::PrintMessageLatencies("irc");
  return s.failed ? 1 : 0;
}

}  // namespace
}  // namespace falatro

int main() { return falatro::Run(); }
