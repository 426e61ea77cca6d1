// A burst of 5000 channel lines from peers on a real server (ngircd, then InspIRCd) while the client
// sits in the channel, with a PING to the client behind every 1000th line: the time from each PING's
// sending to its PONG, and whether every line reached the client's queue of received lines, in order.
// Run twice on each server: while the client says each line as it comes (the sound device 1000 times
// faster than real time), and while it is busy saying a long message at real speed. The client meets
// the server through a relay on loopback that times the PINGs; the PINGs behind the 1000th lines are
// the relay's own (a server pings at moments of its own choosing), the server's own PINGs during the
// run are timed as well.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/channel.h"
#include "app/client_state.h"
#include "app/login.h"
#include "app/main_menu.h"
#include "app/server_link.h"
#include "base/event_loop.h"
#include "bench_irc_support.h"
#include "bench_menu_session.h"
#include "bench_timing_relay.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "irc_peer.h"
#include "irc_server_fixture.h"
#include "net/transport.h"
#include "platform/console/headless/headless_frontend.h"
#include "speech/sound_device.h"
#include "speech/suite_settings.h"

namespace falatro {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBurst = 5000;
// The burst comes from several peers, one after the other, each within what a server takes from one
// client at once (InspIRCd drops a client whose unread input passes its receive queue).
constexpr int kPeers = 10;
constexpr int kLinesPerPeer = kBurst / kPeers;
constexpr int kPingEvery = 1000;
constexpr const char* kMarker = " da rajada";
constexpr int kGiveUpSeconds = 60;

struct Scenario {
  const char* label;
  int speed_up;
  bool long_message_first;
};
constexpr Scenario kScenarios[] = {
    {"saying each line as it comes (sound 1000x real time)", 1000, false},
    {"busy saying a 446-character message at real speed", 1, true},
};

// What the client's reader took in, counted as each line entered its queue. Each peer's lines must
// come in the order it sent them.
struct Received {
  int next[kPeers] = {};  // the number of the line expected next from each peer
  int in_order = 0;
  int out_of_order = 0;
  Received() {
    for (int p = 0; p < kPeers; ++p) next[p] = p * kLinesPerPeer + 1;
  }
};

struct Burst {
  benchirc::ScaledSoundDevice device{1};
  benchirc::TimingRelay* relay = nullptr;
  std::vector<std::unique_ptr<apptest::IrcPeer>>* peers = nullptr;
  const Scenario* scenario = nullptr;
  int settle_ms = 0;
  Received received;
  int client_answers = 0;  // PINGs the client's reader answered (its own count)
  size_t peer_lines_at_start = 0;
  bool long_message_shown = false;
  Clock::time_point deadline{};  // the run gives up then
  Clock::time_point started{}, all_in{};
  std::atomic<bool> sent{false};
  std::atomic<bool> stop_peer{false};
  Clock::time_point sent_at{};
  std::thread sender;
  bool finished = false;
};
Burst B;

void Type(const std::string& keys) {
  for (char c : keys) PostChar(static_cast<uint8_t>(c), 0);
}

void CountLine(const std::string& line) {
  const size_t at = line.find(" :linha ");
  if (at == std::string::npos || line.find(kMarker) == std::string::npos) return;
  const int n = std::atoi(line.c_str() + at + 8);
  if (n < 1 || n > kBurst) return;
  int& next = B.received.next[(n - 1) / kLinesPerPeer];
  if (n == next) {
    ++B.received.in_order;
  } else {
    ++B.received.out_of_order;
  }
  next = n + 1;
  if (B.received.in_order + B.received.out_of_order == kBurst) B.all_in = Clock::now();
}

// Every line the connection's reader keeps (the PINGs it answers are taken out first) is counted.
void CountReceivedLines() {
  LineReader* reader = Client.ServerReader.get();
  auto answer = reader->on_line;
  reader->on_line = [answer](const std::string& line) {
    if (answer && answer(line)) return true;
    CountLine(line);
    return false;
  };
}

void PumpPeersOf(std::vector<std::unique_ptr<apptest::IrcPeer>>& peers) {
  for (auto& peer : peers) peer->Pump();
}

void PumpPeers() { PumpPeersOf(*B.peers); }

// The peers send the burst from a thread of their own, as fast as the sockets take it, then answer the
// server's PINGs until told to stop.
void SendBurst() {
  B.started = Clock::now();
  B.sender = std::thread([] {
    for (int i = 1; i <= kBurst; ++i)
      (*B.peers)[(i - 1) / kLinesPerPeer]->Privmsg("#sala", "linha " + std::to_string(i) + kMarker);
    B.sent_at = Clock::now();
    B.sent = true;
    while (!B.stop_peer) {
      PumpPeers();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
}

bool AllPingsAnswered() {
  int own = 0;
  for (const auto& p : B.relay->Pings()) {
    if (!p.answered_yet) return false;
    own += p.own;
  }
  return own == kBurst / kPingEvery;
}

// Past the deadline the run ends unfinished; what it waited for is told.
bool GiveUp(const char* waiting_for) {
  if (Clock::now() < B.deadline) return false;
  std::fprintf(stderr, "given up waiting for %s\n", waiting_for);
  Type("\x1bS");
  return true;
}

void Watch() {
  const auto now = Clock::now();
  const bool all_in = B.received.in_order + B.received.out_of_order >= kBurst;
  const bool settled = now - B.started >= std::chrono::milliseconds(B.settle_ms);
  if ((all_in && settled && AllPingsAnswered()) || GiveUp("the lines and the PONGs")) {
    B.finished = all_in && AllPingsAnswered();
    Type("\x1bS");
    return;
  }
  AddTimer(20, Watch);
}

void WaitForSpeech() {
  if (GiveUp("the long message to be said")) return;
  PumpPeers();
  if (B.long_message_shown && IsSoundPlaying()) {
    SendBurst();
    AddTimer(20, Watch);
    return;
  }
  AddTimer(20, WaitForSpeech);
}

// Starts once the peer has seen the client come into the channel.
void WaitForJoin() {
  if (GiveUp("the client to join")) return;
  PumpPeers();
  const auto& lines = B.peers->front()->lines();
  bool joined = false;
  for (size_t i = B.peer_lines_at_start; i < lines.size() && !joined; ++i)
    joined = lines[i].rfind(":cliente!", 0) == 0 && lines[i].find(" JOIN ") != std::string::npos;
  if (!joined || !Client.InChannel) {
    AddTimer(20, WaitForJoin);
    return;
  }
  if (!B.scenario->long_message_first) {
    SendBurst();
    AddTimer(20, Watch);
    return;
  }
  std::string text = "mensagem longa:";
  while (text.size() < 440) text += " uma frase comprida para ser dita devagar";
  B.peers->front()->Privmsg("#sala", text.substr(0, 446));
  AddTimer(20, WaitForSpeech);
}

void PrintScenario(const char* server, const Scenario& s) {
  const std::vector<benchirc::TimingRelay::Ping> pings = B.relay->Pings();
  const int lost = kBurst - B.received.in_order - B.received.out_of_order;
  std::printf("irc burst on %s, %s: %d of %d lines reached the client's queue in order, %d out of order, %d "
              "lost; largest channel backlog %zu lines; sent in %.2f s, all in %.2f s after the first%s\n",
              server, s.label, B.received.in_order, kBurst, B.received.out_of_order, lost, Channel.LargestBacklog,
              std::chrono::duration<double>(B.sent_at - B.started).count(),
              B.all_in == Clock::time_point{} ? -1.0 : std::chrono::duration<double>(B.all_in - B.started).count(),
              B.finished ? "" : " (NOT FINISHED)");
  double worst = 0;
  std::string own_figures, server_figures;
  int server_pings = 0;
  for (const auto& p : pings) {
    char figure[96];
    if (!p.answered_yet) {
      std::snprintf(figure, sizeof figure, " %s unanswered;", p.own ? "relay" : "server");
      worst = 1e9;
    } else {
      worst = std::max(worst, p.Ms());
      std::snprintf(figure, sizeof figure, " after line %d: %.2f ms;", p.after_lines, p.Ms());
    }
    (p.own ? own_figures : server_figures) += figure;
    server_pings += !p.own;
  }
  std::printf("  PING behind every %dth line, sending to PONG:%s\n", kPingEvery, own_figures.c_str());
  std::printf("  PINGs the client's reader answered: %d of %zu\n", B.client_answers, pings.size());
  std::printf("  the server's own PINGs during the run (%d):%s\n", server_pings,
              server_figures.empty() ? " none" : server_figures.c_str());
  std::printf("  worst PING to PONG %.2f ms (target: each within 1000 ms)\n", worst);
}

bool RunOn(const char* server_name, const std::string& server_address, int server_ping_seconds) {
  benchirc::TimingRelay relay;
  std::vector<std::unique_ptr<apptest::IrcPeer>> peers;
  if (!relay.Start(server_address)) {
    std::fprintf(stderr, "cannot start the relay\n");
    return false;
  }
  for (int p = 0; p < kPeers; ++p) {
    peers.push_back(std::make_unique<apptest::IrcPeer>());
    if (!peers.back()->Login(server_address, apptest::kTestIrcPort, "amigo" + std::to_string(p), "senha")) {
      std::fprintf(stderr, "a peer cannot log in to %s\n", server_name);
      return false;
    }
    peers.back()->Join("#sala");
    peers.back()->WaitFor(" 366 ", 5000);
    PumpPeersOf(peers);
  }
  B.relay = &relay;
  B.peers = &peers;
  relay.PingAfterEvery(kPingEvery, kMarker);
  Client.ServerName = relay.address();
  ConnectToServer();
  if (Client.ServerSocket <= 0 || Client.LocalAddress.empty()) {
    std::fprintf(stderr, "the client cannot log in to %s\n", server_name);
    return false;
  }
  CountReceivedLines();
  ServerLink.on_ping = [](const std::string&) { ++B.client_answers; };
  bool ok = true;
  for (const Scenario& s : kScenarios) {
    std::fprintf(stderr, "%s: %s\n", server_name, s.label);
    B.scenario = &s;
    B.device.speed_up = s.speed_up;
    B.received = Received{};
    B.client_answers = 0;
    B.long_message_shown = false;
    B.started = B.all_in = B.sent_at = Clock::time_point{};
    B.sent = B.stop_peer = B.finished = false;
    // Long enough for the server's own PINGs to come during the run.
    B.settle_ms = (server_ping_seconds + 2) * 1000;
    B.peer_lines_at_start = peers.front()->lines().size();
    B.deadline = Clock::now() + std::chrono::seconds(kGiveUpSeconds);
    Channel.LargestBacklog = 0;
    relay.ClearCounts();
    Channel.on_shown = [](const std::string& text) {
      if (text.find("mensagem longa") != std::string::npos) B.long_message_shown = true;
    };
    AddTimer(20, WaitForJoin);
    JoinChannel("sala");
    B.stop_peer = true;
    if (B.sender.joinable()) B.sender.join();
    Channel.on_shown = nullptr;
    PrintScenario(server_name, s);
    ok = ok && B.finished && B.received.in_order == kBurst;
    if (Client.ServerSocket <= 0) {
      std::fprintf(stderr, "the connection to %s dropped\n", server_name);
      return false;
    }
  }
  SendServerLine("QUIT");
  CloseServerConnection();
  return ok;
}

int Run() {
  setvbuf(stdout, nullptr, _IOLBF, 0);
  // Short ping intervals, so that the servers' own PINGs come during each run.
  return benchirc::MeasureOnBothServers(&B.device, 5, 3, false, RunOn);
}

}  // namespace
}  // namespace falatro

int main() { return falatro::Run(); }
