// TLS for the end-to-end tests: certificates made with the openssl command, Debian's ngircd with a
// TLS port on loopback, and a listener that records the raw bytes a client sends.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

#include "irc_server_fixture.h"

namespace falatro::apptest {

/// A test CA, a second CA nobody trusts, one server key and certificates for it: good (for
/// "localhost", 127.0.0.1 and ::1), for another name, expired, and signed by the untrusted CA.
struct TestCertificates {
  std::string ca;          ///< the trusted test CA (PEM)
  std::string key;         ///< the server's key
  std::string good;
  std::string wrong_name;  ///< for outro.falatro.test and 127.0.0.99 only
  std::string expired;     ///< valid in January 2020 only
  std::string unknown_ca;  ///< good names, signed by a CA that is not trusted
  std::string dh;          ///< the well-known 2048-bit DH group, so the server need not make one
  /// Makes them all under dir. False (with the command's output in *error) when openssl fails.
  bool Make(const std::string& dir, std::string* error);
};

/// A free TCP port on both 127.0.0.1 and ::1 (0 when none was found).
uint16_t FreeLoopbackPort();

/// ngircd in the foreground on 127.0.0.1 and ::1, with a plain port and a TLS port of its own.
class TlsIrcServer {
 public:
  /// Starts it with cert and key (and DH parameters dh) on the TLS port, clients giving password, the
  /// given ping time-out. Waits until both ports accept connections. False when it does not start.
  bool Start(const std::string& dir, const std::string& cert, const std::string& key, const std::string& dh,
             const std::string& password, int ping_timeout = 120);
  void Stop();
  uint16_t plain_port() const { return plain_port_; }
  uint16_t tls_port() const { return tls_port_; }
  std::string Log() const;

 private:
  NgircdServer server_;
  uint16_t plain_port_ = 0;
  uint16_t tls_port_ = 0;
};

/// Listens on 127.0.0.1 at a free port and records every byte clients send. With a target port it
/// passes the bytes on to 127.0.0.1:target and the answers back; without one it never answers (a
/// server whose handshake stalls).
class RawRecorder {
 public:
  ~RawRecorder();
  bool Start(uint16_t target_port);
  uint16_t port() const { return port_; }
  /// Every byte the clients sent so far.
  std::string Received();
  int accepted() const { return accepted_; }

 private:
  void Serve();
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  uint16_t port_ = 0;
  uint16_t target_ = 0;
  std::mutex mutex_;
  std::string received_;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::thread thread_;
};

}  // namespace falatro::apptest
