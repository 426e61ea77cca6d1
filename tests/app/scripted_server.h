// A scripted IRC server for tests: listens on loopback, records every line it receives and answers
// each with whatever the test's script says.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace falatro::apptest {

/// Returned by a script to make the server close the connection after sending the rest.
constexpr const char* kCloseConnection = "\x04";

class ScriptedServer {
 public:
  /// Listens on address:port (port 0: any free port). Serves on its own thread until destroyed.
  explicit ScriptedServer(const std::string& address = "127.0.0.1", uint16_t port = 0);
  ~ScriptedServer();
  uint16_t port() const { return port_; }
  bool listening() const { return listener_ >= 0; }

  /// Bytes sent to each new connection. Set before a client connects.
  void SetGreeting(std::string bytes);
  /// The answer to each received line (without its CR LF): bytes to send, possibly ending in
  /// kCloseConnection. Set before a client connects.
  void SetScript(std::function<std::string(const std::string& line)> script);
  /// Sends bytes to every open connection now.
  void Broadcast(const std::string& bytes);
  /// Closes every open connection now.
  void CloseAll();

  /// Every line received so far, in order, across connections.
  std::vector<std::string> Lines();
  /// Waits until at least n lines were received or ms pass. True when they were.
  bool WaitForLines(size_t n, int ms);
  /// Connections accepted, and connections the client closed.
  int accepted() const { return accepted_; }
  int closed_by_client() const { return closed_by_client_; }
  /// Waits until the client closed at least n connections or ms pass.
  bool WaitForClientCloses(int n, int ms);

 private:
  void Serve();
  struct Conn {
    int fd;
    std::string pending;
  };
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  uint16_t port_ = 0;
  std::mutex mutex_;
  std::vector<Conn> conns_;
  std::vector<std::string> lines_;
  std::string greeting_;
  std::function<std::string(const std::string&)> script_;
  std::vector<std::string> outbox_;
  bool close_all_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::atomic<int> closed_by_client_{0};
  std::thread thread_;
};

}  // namespace falatro::apptest
