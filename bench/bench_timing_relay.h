// A relay between the client and a real server that notes when lines pass it: when a PING goes to the
// client and when its PONG comes back, and when the server's welcome ends. It can also send the client
// a PING of its own behind a chosen server line, for a server cannot be made to ping at a given moment.
#pragma once

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/server_link.h"
#include "bench_irc_support.h"
#include "bench_menu_session.h"
#include "irc_server_fixture.h"
#include "loopback_socket.h"

namespace falatro::benchirc {

class TimingRelay {
 public:
  using Clock = std::chrono::steady_clock;
  struct Ping {
    std::string token;
    bool own = false;      ///< sent by the relay, not by the server
    int after_lines = 0;   ///< marked server lines passed before it
    uint64_t end = 0;      ///< where it ends in the stream to the client
    Clock::time_point sent{}, answered{};
    bool answered_yet = false;
    double Ms() const { return std::chrono::duration<double, std::milli>(answered - sent).count(); }
  };

  ~TimingRelay() { Stop(); }

  /// Listens on a free loopback address at the IRC port (address()) and joins each client that comes to
  /// server_address (one at a time: a new client ends the previous pair).
  bool Start(const std::string& server_address) {
    server_address_ = server_address;
    for (int tries = 0; tries < 5 && listener_ < 0; ++tries) {
      address_ = apptest::FreeLoopbackAddress();
      if (!address_.empty()) listener_ = testsupport::ListenTcp(address_, apptest::kTestIrcPort);
    }
    if (listener_ < 0) return false;
    thread_ = std::thread([this] { Serve(); });
    return true;
  }

  void Stop() {
    if (!thread_.joinable()) return;
    stop_ = true;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      // A send blocked on a client that stopped reading returns at once.
      if (client_ >= 0) shutdown(client_, SHUT_RDWR);
    }
    thread_.join();
    ClosePair();
    close(listener_);
    listener_ = -1;
  }

  const std::string& address() const { return address_; }

  /// After every `every`-th server line containing marker, the client also gets "PING :<token>", the
  /// form servers use; its PONG is timed and not passed on to the server.
  void PingAfterEvery(int every, const std::string& marker) {
    std::lock_guard<std::mutex> lock(mutex_);
    every_ = every;
    marker_ = marker;
  }

  /// Forgets the PINGs and marked lines seen so far.
  void ClearCounts() {
    std::lock_guard<std::mutex> lock(mutex_);
    pings_.clear();
    marked_ = 0;
  }

  std::vector<Ping> Pings() {
    std::lock_guard<std::mutex> lock(mutex_);
    return pings_;
  }
  int MarkedLines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return marked_;
  }
  /// When the first 376 or 422 of the current connection went to the client (epoch when none yet).
  Clock::time_point WelcomeEnd() {
    const Clock::time_point motd = FirstSent("376"), none = FirstSent("422");
    if (motd == Clock::time_point{}) return none;
    return none == Clock::time_point{} ? motd : std::min(motd, none);
  }
  /// When the first server line with this command went to the client on the current connection (epoch
  /// when none yet).
  Clock::time_point FirstSent(const std::string& command) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = first_sent_.find(command);
    return it == first_sent_.end() ? Clock::time_point{} : it->second;
  }
  /// True while a client is joined to the server.
  bool Joined() {
    std::lock_guard<std::mutex> lock(mutex_);
    return client_ >= 0;
  }

 private:
  void ClosePair() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (client_ >= 0) close(client_);
    if (server_ >= 0) close(server_);
    client_ = server_ = -1;
    from_client_.clear();
    from_server_.clear();
    to_client_.clear();
    to_client_end_ = written_to_client_ = 0;
  }

  // Takes the complete lines off the front of pending.
  static std::vector<std::string> Lines(std::string* pending) {
    std::vector<std::string> lines;
    size_t lf;
    while ((lf = pending->find('\n')) != std::string::npos) {
      std::string line = pending->substr(0, lf);
      pending->erase(0, lf + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(std::move(line));
    }
    return lines;
  }

  // Server lines wait in the relay's buffer for the client; PINGs are noted with where they end in the
  // stream.
  void ToClient(const std::vector<std::string>& lines) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto add = [this](const std::string& line) {
      to_client_ += line + "\r\n";
      to_client_end_ += line.size() + 2;
    };
    for (const std::string& line : lines) {
      add(line);
      const ServerReply reply = ParseServerReply(line);
      first_sent_.emplace(reply.command, Clock::now());
      if (reply.command == "PING") pings_.push_back(Ping{reply.Last(), false, marked_, to_client_end_});
      if (marker_.empty() || line.find(marker_) == std::string::npos) continue;
      if (++marked_ % every_ != 0) continue;
      const std::string token = "falatro.bench." + std::to_string(marked_);
      add("PING :" + token);
      pings_.push_back(Ping{token, true, marked_, to_client_end_});
    }
  }

  // Hands the client as much as its connection takes now, never waiting, so that its answers are read
  // as they come. A PING counts as sent when the send that handed over its last byte began: on loopback
  // the client may read and answer while that send still runs, so the time never comes out short.
  // False when the client is gone.
  bool FlushToClient() {
    while (!to_client_.empty()) {
      const Clock::time_point now = Clock::now();
      const ssize_t n = send(client_, to_client_.data(), to_client_.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
      std::lock_guard<std::mutex> lock(mutex_);
      to_client_.erase(0, static_cast<size_t>(n));
      written_to_client_ += static_cast<uint64_t>(n);
      for (Ping& p : pings_)
        if (p.sent == Clock::time_point{} && p.end <= written_to_client_) p.sent = now;
    }
    return true;
  }

  bool ToServer(const std::vector<std::string>& lines) {
    std::string out;
    {
      const Clock::time_point now = Clock::now();
      std::lock_guard<std::mutex> lock(mutex_);
      for (const std::string& line : lines) {
        const ServerReply reply = ParseServerReply(line);
        bool own = false;
        if (reply.command == "PONG") {
          for (Ping& p : pings_) {
            if (p.answered_yet || p.token != reply.Last()) continue;
            p.answered = now;
            p.answered_yet = true;
            own = p.own;
            break;
          }
        }
        if (!own) out += line + "\r\n";
      }
    }
    return out.empty() || testsupport::SendAll(server_, out.data(), out.size());
  }

  void Serve() {
    while (!stop_) {
      std::vector<pollfd> fds = {{listener_, POLLIN, 0}};
      if (client_ >= 0) {
        fds.push_back({client_, static_cast<short>(POLLIN | (to_client_.empty() ? 0 : POLLOUT)), 0});
        // Past a megabyte waiting for the client, the server waits too.
        fds.push_back({server_, static_cast<short>(to_client_.size() < (1u << 20) ? POLLIN : 0), 0});
      }
      if (poll(fds.data(), fds.size(), 100) <= 0) continue;
      if (fds[0].revents & POLLIN) {
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        const int server = client >= 0 ? testsupport::ConnectTcp(server_address_, apptest::kTestIrcPort) : -1;
        ClosePair();
        if (server < 0) {
          if (client >= 0) close(client);
          continue;
        }
        // The relay's own sends go out at once: its timing of a PING starts when the PING is handed over.
        const int one = 1;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::lock_guard<std::mutex> lock(mutex_);
        client_ = client;
        server_ = server;
        first_sent_.clear();
        continue;
      }
      bool open = true;
      char buf[65536];
      for (size_t i = 1; i < fds.size() && open; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const bool from_client = fds[i].fd == client_;
        const ssize_t n = recv(fds[i].fd, buf, sizeof buf, 0);
        if (n <= 0) {
          open = false;
          break;
        }
        std::string& pending = from_client ? from_client_ : from_server_;
        pending.append(buf, static_cast<size_t>(n));
        if (from_client) {
          open = ToServer(Lines(&pending));
        } else {
          ToClient(Lines(&pending));
        }
      }
      if (open) open = FlushToClient();
      if (!open) ClosePair();
    }
  }

  std::string address_, server_address_;
  int listener_ = -1;
  int client_ = -1, server_ = -1;  // written by the relay's thread under the mutex
  std::string from_client_, from_server_;
  std::string to_client_;            // server lines the client has not taken yet
  uint64_t to_client_end_ = 0;       // bytes put into the stream to the client
  uint64_t written_to_client_ = 0;   // bytes of it handed to the client's connection
  std::mutex mutex_;
  std::vector<Ping> pings_;
  int every_ = 1000;
  std::string marker_;
  int marked_ = 0;
  std::map<std::string, Clock::time_point> first_sent_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

/// The client (on a headless console with the given sound device, settings in a scratch suite tree,
/// nickname "cliente", password "senha") measured on ngircd and then on InspIRCd (no server password;
/// with Anope's services when services), each started on a free loopback address. ping_seconds: how
/// long each server lets a client be silent before it pings it (ngircd takes 5 at the least). The
/// program's exit status: 1 when something did not start or a measure failed.
inline int MeasureOnBothServers(
    SoundBackend* device, int ngircd_ping_seconds, int inspircd_ping_seconds, bool services,
    const std::function<bool(const char* server, const std::string& address, int ping_seconds)>& measure) {
  const std::string root = ScratchDir("falatro-bench-servers");
  if (root.empty() || !MakeSuiteTree(root, "127.0.0.1", "cliente", "senha")) {
    std::fprintf(stderr, "cannot lay out the suite tree\n");
    return 1;
  }
  StartHeadlessClient(device);
  bool ok = true;
  std::string address;
  {
    apptest::NgircdServer server;
    if (server.StartOnFreeAddress(root, "senha", ngircd_ping_seconds, &address)) {
      ok = measure("ngircd", address, ngircd_ping_seconds);
    } else {
      std::fprintf(stderr, "cannot start ngircd\n");
      ok = false;
    }
  }
  {
    apptest::InspircdServer server;
    if (server.StartOnFreeAddress(root, "", inspircd_ping_seconds, services, &address)) {
      ok = measure(services ? "InspIRCd with Anope" : "InspIRCd", address, inspircd_ping_seconds) && ok;
    } else {
      std::fprintf(stderr, "cannot start InspIRCd\n");
      ok = false;
    }
  }
  SetSoundBackend(nullptr);
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
  return ok ? 0 : 1;
}

}  // namespace falatro::benchirc
