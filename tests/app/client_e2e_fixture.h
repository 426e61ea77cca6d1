// What the end-to-end runs of the client share: the client on the real clock with everything heard
// written to a file, the texts the channel shows, a script of steps run from the loop's timers on the
// client's own thread while scripted peers are kept answering, and a real server of either kind.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "irc_peer.h"
#include "irc_server_fixture.h"
#include "step_script.h"

namespace falatro::apptest {

/// The servers the runs meet.
enum class Server { kNgircd, kInspircd };
std::string NameOf(Server server);
void PrintTo(Server server, std::ostream* out);

/// A real server of either kind on a free loopback address.
class RealServer {
 public:
  /// Starts it under dir. ngircd refuses a PASS it has no password for, so it gets one ("senha");
  /// InspIRCd takes and ignores a PASS on a port without a password, and gets none. services: Anope's
  /// NickServ linked to InspIRCd. ping_seconds: how soon an idle client is pinged.
  bool Start(Server kind, const std::string& dir, int ping_seconds = 120, bool services = true);
  void Stop();
  Server kind() const { return kind_; }
  const std::string& address() const { return address_; }
  /// What clients send with PASS.
  const std::string& password() const { return password_; }
  std::string Log() const;

 private:
  Server kind_ = Server::kNgircd;
  std::string address_, password_;
  NgircdServer ngircd_;
  InspircdServer inspircd_;
};

/// The client driven against real servers: speech on the real clock, heard in root_/ouvido.wav; the
/// channel and the channel list fresh; every text the channel shows kept in shown_.
class ClientEndToEnd : public AppFixture {
 protected:
  void SetUp() override;
  void TearDown() override;

  /// Starts a relay that records what the client sends in front of server_address and logs the client
  /// in through it as "cliente" with password. Fails the test when the login does not succeed.
  void ConnectThroughRelay(const std::string& server_address, const std::string& password);
  /// Peers the script keeps reading (and answering the server's PINGs for) while it runs.
  void KeepPumping(IrcPeer* peer) { pumped_.push_back(peer); }
  /// Adds a step to the script (see StepScript::Then).
  void Then(std::string what, std::function<bool()> ready, std::function<void()> act = {},
            int timeout_ms = 10000) {
    script_.Then(std::move(what), std::move(ready), std::move(act), timeout_ms);
  }
  /// Runs body (the client's action) while the steps drive it; true when every step ran. The steps
  /// are cleared afterwards, ready for the next run.
  bool RunScript(const std::function<void()>& body);
  /// More to show when a step fails (a server's log).
  virtual std::string FailureLog() const { return {}; }

  bool WasShown(const std::string& text) const;
  /// Every shown text, a line each.
  std::string Shown() const;
  /// How many times the client sent exactly line (through the relay).
  int LinesSent(const std::string& line);

  StepScript script_;
  std::vector<std::string> shown_;
  std::string relay_address_;
  RecordingRelay relay_;

 private:
  void Tick();
  bool running_ = false;
  std::vector<IrcPeer*> pumped_;
};

/// A real server with two peers on it, amigo and bia (kept answering while a script runs), and the
/// client logged in through the relay.
class PeersEndToEnd : public ClientEndToEnd {
 protected:
  void TearDown() override;
  std::string FailureLog() const override { return "\nserver log:\n" + server_.Log(); }
  /// Starts a server of kind (default settings), logs the peers in, then the client.
  void StartWithPeers(Server kind);

  RealServer server_;
  std::string server_address_;
  IrcPeer amigo_, bia_;
};

}  // namespace falatro::apptest
