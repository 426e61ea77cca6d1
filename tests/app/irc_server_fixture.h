// Real IRC servers for the end-to-end tests: Debian's ngircd, and InspIRCd with Anope's nickname
// service, each on a loopback address of its own, and a relay in front of a server that records every
// line the client sends.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace falatro::apptest {

/// The port every test server listens on (the client's port is fixed).
constexpr uint16_t kTestIrcPort = 6667;

/// A loopback address (127.77.x.y) on which nothing listens at port 6667 yet; each call gives
/// another one.
std::string FreeLoopbackAddress();

/// True when address:port accepts a TCP connection within ms.
bool WaitUntilListening(const std::string& address, uint16_t port, int ms);

/// How an ngircd is set up.
struct NgircdOptions {
  std::string listen;              ///< the addresses it listens on, comma separated
  uint16_t port = kTestIrcPort;
  std::string password;            ///< what clients must send with PASS
  /// Seconds of silence before it pings a client, and (up to 20) before it drops one that does not
  /// answer; the server takes no less than 5.
  int ping_timeout = 120;
  std::string info = "Falatro test server";
  std::string motd = "Bem-vindo ao servidor de teste";
  std::string name = "ngircd";     ///< its files in the scratch folder: name.conf, name.log, name.d, name.run
  uint16_t tls_port = 0;           ///< with cert, key and dh (PEM files): a TLS port too
  std::string cert, key, dh;
};

/// ngircd run in the foreground with a configuration written into a scratch folder.
class NgircdServer {
 public:
  ~NgircdServer() { Stop(); }
  /// Starts the server on address:6667 with the given password (clients must send it) and ping
  /// time-out (seconds, at least 5). Waits until it accepts connections. False when it does not.
  bool Start(const std::string& dir, const std::string& address, const std::string& password,
             int ping_timeout = 120);
  /// Starts it as options say; waits until its ports accept connections (on the first address).
  bool Start(const std::string& dir, const NgircdOptions& options);
  /// Start on a free loopback address, trying others when one is taken meanwhile by another test.
  /// Sets *address.
  bool StartOnFreeAddress(const std::string& dir, const std::string& password, int ping_timeout,
                          std::string* address);
  /// Stops it (SIGTERM, then SIGKILL after 3 s) and waits for it.
  void Stop();
  bool running() const { return pid_ > 0; }
  const std::string& address() const { return address_; }
  std::string Log() const;

 private:
  pid_t pid_ = -1;
  std::string address_;
  std::string log_path_;
};

/// InspIRCd 3 with Anope's services linked to it (a NickServ that answers IDENTIFY and REGISTER), both
/// run in the foreground with configurations written into a scratch folder. The server listens for
/// clients on address:6667 and for its services on address:7000; the bare commands IDENTIFY,
/// NICKSERV and NS reach NickServ.
class InspircdServer {
 public:
  ~InspircdServer() { Stop(); }
  /// Starts the server on address and, with services, Anope; waits until it accepts clients and
  /// NickServ answers. password: what clients must send with PASS ("" for none). ping_seconds: how
  /// long an idle client goes before the server pings it (and drops it when as long passes without an
  /// answer). False when a part did not start.
  bool Start(const std::string& dir, const std::string& address, const std::string& password = "",
             int ping_seconds = 120, bool services = true);
  /// Start on a free loopback address (set in *address), trying others when one is taken meanwhile.
  bool StartOnFreeAddress(const std::string& dir, const std::string& password, int ping_seconds, bool services,
                          std::string* address);
  /// Stops the services, then the server (SIGTERM, then SIGKILL after 3 s), and waits for them.
  void Stop();
  bool running() const { return ircd_pid_ > 0; }
  const std::string& address() const { return address_; }
  /// The output and logs of both programs.
  std::string Log() const;

 private:
  pid_t ircd_pid_ = -1;
  pid_t services_pid_ = -1;
  std::string address_;
  std::string dir_;
};

/// Listens on one loopback address at port 6667 and joins each client to the server at another,
/// recording the lines the client sends. A side that closes closes the other.
class RecordingRelay {
 public:
  ~RecordingRelay();
  bool Start(const std::string& listen_address, const std::string& server_address);
  /// Start on a free loopback address (set in *address), trying others when one is taken meanwhile.
  bool StartOnFreeAddress(const std::string& server_address, std::string* address);
  /// Every line the clients sent, in order.
  std::vector<std::string> ClientLines();
  /// Waits until a line the client sent equals line, or ms pass.
  bool WaitForClientLine(const std::string& line, int ms);
  int accepted() const { return accepted_; }

 private:
  void Serve();
  struct Pair {
    int client;
    int server;
    std::string pending;
  };
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  std::string server_address_;
  std::mutex mutex_;
  std::vector<std::string> lines_;
  std::vector<Pair> pairs_;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::thread thread_;
};

}  // namespace falatro::apptest
