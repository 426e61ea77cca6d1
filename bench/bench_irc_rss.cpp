// Measures the resident memory of the program at its main menu in the terminal front-end, connected
// to a real ngircd: build/falatro --terminal runs in a pseudo-terminal and its /proc status is read.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_irc_support.h"
#include "irc_peer.h"
#include "irc_server_fixture.h"
#include "pty_program.h"

namespace falatro {
namespace {

using Clock = std::chrono::steady_clock;

// Reads the child's output for ms, keeping it (the terminal must be drained or the program stalls).
void Drain(int master, int ms, std::string* seen) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < end) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    char buf[8192];
    const ssize_t n = read(master, buf, sizeof buf);
    if (n <= 0) return;
    seen->append(buf, static_cast<size_t>(n));
  }
}

long StatusKb(pid_t pid, const char* field) {
  const std::string status = benchirc::ReadFile("/proc/" + std::to_string(pid) + "/status");
  const size_t at = status.find(field);
  return at == std::string::npos ? -1 : std::atol(status.c_str() + at + std::strlen(field));
}

int Run() {
  const std::string root = benchirc::ScratchDir("falatro-bench-rss");
  const std::string address = apptest::FreeLoopbackAddress();
  apptest::NgircdServer server;
  if (root.empty() || address.empty() || !server.Start(root, address, "senha", 120)) {
    std::fprintf(stderr, "cannot start ngircd\n");
    return 1;
  }
  if (!benchirc::MakeSuiteTree(root, address, "cliente", "senha")) return 1;
  apptest::IrcPeer peer;
  if (!peer.Login(address, apptest::kTestIrcPort, "amigo", "senha")) return 1;

  std::vector<std::string> env = {"TERM=xterm-256color", "FALATRO_AUDIO=null",
                                  "NARRIX_WINDIR=" + root + "/win", "NARRIX_ROOT=" + root + "/root",
                                  "HOME=" + root, "PATH=/usr/bin:/bin"};
  int master = -1;
  const pid_t child = testsupport::StartOnPty({std::string(FALATRO_BINARY_DIR) + "/falatro", "--terminal"},
                                              env, 80, 25, &master);
  if (child < 0) return 1;
  std::string seen;
  Drain(master, 3000, &seen);
  (void)!write(master, "c", 1);
  Drain(master, 3000, &seen);
  peer.Pump();
  peer.Privmsg("cliente", "ola, tudo bem?");
  Drain(master, 3000, &seen);
  const long rss = StatusKb(child, "VmRSS:");
  const long hwm = StatusKb(child, "VmHWM:");
  (void)!write(master, "\x1b", 1);
  Drain(master, 300, &seen);
  (void)!write(master, "S", 1);
  Drain(master, 2000, &seen);
  int status = 0;
  if (waitpid(child, &status, WNOHANG) != child) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  close(master);
  server.Stop();
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
  const bool logged_in = seen.find("MOTD") != std::string::npos;
  if (std::getenv("FALATRO_BENCH_DUMP")) benchirc::WriteFile(std::getenv("FALATRO_BENCH_DUMP"), seen);
  std::printf("irc resident memory at the main menu, terminal front-end, connected%s: %.1f MB now, %.1f MB peak "
              "(target: at most 30 MB)\n",
              logged_in ? "" : " (login NOT seen)", rss / 1024.0, hwm / 1024.0);
  return rss > 0 && logged_in ? 0 : 1;
}

}  // namespace
}  // namespace falatro

int main() { return falatro::Run(); }
