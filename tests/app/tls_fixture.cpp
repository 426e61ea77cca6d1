// TLS for the end-to-end tests: certificates, ngircd with a TLS port, a raw byte recorder.
#include "tls_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "irc_server_fixture.h"
#include "loopback_socket.h"

namespace falatro::apptest {

namespace {

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs a shell command in dir; its output goes to dir/openssl.log. True when it exits with 0.
bool Run(const std::string& dir, const std::string& command, std::string* error) {
  const std::string line = "cd '" + dir + "' && " + command + " >>openssl.log 2>&1";
  if (std::system(line.c_str()) == 0) return true;
  *error = command + "\n" + ReadText(dir + "/openssl.log");
  return false;
}

// True when port is free on address (IPv4 or IPv6).
bool PortFree(const std::string& address, uint16_t port) {
  const bool six = address.find(':') != std::string::npos;
  int fd = socket(six ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  int r;
  if (six) {
    int one = 1;
    setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    inet_pton(AF_INET6, address.c_str(), &a.sin6_addr);
    a.sin6_port = htons(port);
    r = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  } else {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = inet_addr(address.c_str());
    a.sin_port = htons(port);
    r = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }
  close(fd);
  return r == 0;
}

}  // namespace

bool TestCertificates::Make(const std::string& dir, std::string* error) {
  mkdir(dir.c_str(), 0755);
  mkdir((dir + "/newcerts").c_str(), 0755);
  const std::string ec = "-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes";
  const std::string ca_ext = "-addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign";
  WriteText(dir + "/good.ext",
            "subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n");
  WriteText(dir + "/wrong.ext",
            "subjectAltName=DNS:outro.falatro.test,IP:127.0.0.99\nextendedKeyUsage=serverAuth\n"
            "basicConstraints=CA:FALSE\n");
  WriteText(dir + "/index.txt", "");
  WriteText(dir + "/serial", "01\n");
  // "openssl ca" is the one that signs with dates of the caller's choice (the expired certificate).
  WriteText(dir + "/ca.cnf",
            "[ca]\ndefault_ca = test_ca\n[test_ca]\ndatabase = index.txt\nnew_certs_dir = newcerts\n"
            "certificate = ca.pem\nprivate_key = ca.key\nserial = serial\ndefault_md = sha256\n"
            "policy = any\nunique_subject = no\n[any]\ncommonName = supplied\n");
  const char* sign = "openssl x509 -req -in server.csr -days 30 -CAcreateserial ";
  const bool ok =
      Run(dir, "openssl req -x509 " + ec + " -keyout ca.key -out ca.pem -days 30 -subj '/CN=Falatro Test CA' " + ca_ext,
          error) &&
      Run(dir, "openssl req -x509 " + ec + " -keyout other.key -out other.pem -days 30 -subj '/CN=Unknown CA' " + ca_ext,
          error) &&
      Run(dir, "openssl req -new " + ec + " -keyout server.key -out server.csr -subj '/CN=localhost'", error) &&
      Run(dir, std::string(sign) + "-CA ca.pem -CAkey ca.key -extfile good.ext -out good.pem", error) &&
      Run(dir, std::string(sign) + "-CA ca.pem -CAkey ca.key -extfile wrong.ext -out wrong.pem", error) &&
      Run(dir, std::string(sign) + "-CA other.pem -CAkey other.key -extfile good.ext -out unknown.pem", error) &&
      Run(dir,
          "openssl ca -batch -config ca.cnf -in server.csr -out expired.pem -notext -extfile good.ext "
          "-startdate 20200101000000Z -enddate 20200201000000Z",
          error) &&
      // Without DH parameters the server spends seconds making its own before it listens.
      Run(dir, "openssl genpkey -genparam -algorithm DH -pkeyopt group:ffdhe2048 -out dh.pem", error);
  if (!ok) return false;
  // The server may read them after giving up root.
  for (const char* f : {"server.key", "good.pem", "wrong.pem", "unknown.pem", "expired.pem", "ca.pem", "dh.pem"})
    chmod((dir + "/" + f).c_str(), 0644);
  ca = dir + "/ca.pem";
  key = dir + "/server.key";
  good = dir + "/good.pem";
  wrong_name = dir + "/wrong.pem";
  expired = dir + "/expired.pem";
  unknown_ca = dir + "/unknown.pem";
  dh = dir + "/dh.pem";
  return true;
}

uint16_t FreeLoopbackPort() {
  for (int tries = 0; tries < 50; ++tries) {
    int fd = testsupport::ListenTcp("127.0.0.1", 0);
    if (fd < 0) return 0;
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    const uint16_t port = ntohs(a.sin_port);
    if (PortFree("::1", port)) return port;
  }
  return 0;
}

bool TlsIrcServer::Start(const std::string& dir, const std::string& cert, const std::string& key,
                         const std::string& dh, const std::string& password, int ping_timeout) {
  Stop();
  NgircdOptions options;
  options.listen = "127.0.0.1,::1";
  options.password = password;
  options.ping_timeout = ping_timeout;
  options.info = "Falatro TLS test server";
  options.motd = "Bem-vindo ao servidor seguro";
  options.name = "ngircd-tls";
  options.cert = cert;
  options.key = key;
  options.dh = dh;
  for (int tries = 0; tries < 5; ++tries) {
    plain_port_ = FreeLoopbackPort();
    tls_port_ = FreeLoopbackPort();
    if (plain_port_ == 0 || tls_port_ == 0 || plain_port_ == tls_port_) continue;
    options.port = plain_port_;
    options.tls_port = tls_port_;
    if (server_.Start(dir, options)) return true;
  }
  return false;
}

void TlsIrcServer::Stop() { server_.Stop(); }

std::string TlsIrcServer::Log() const { return server_.Log(); }

RawRecorder::~RawRecorder() {
  stop_ = true;
  if (wake_[1] >= 0) {
    char c = 1;
    (void)!write(wake_[1], &c, 1);
  }
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) close(listener_);
  if (wake_[0] >= 0) close(wake_[0]);
  if (wake_[1] >= 0) close(wake_[1]);
}

bool RawRecorder::Start(uint16_t target_port) {
  target_ = target_port;
  listener_ = testsupport::ListenTcp("127.0.0.1", 0);
  if (listener_ < 0) return false;
  sockaddr_in a{};
  socklen_t len = sizeof a;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  thread_ = std::thread([this] { Serve(); });
  return true;
}

std::string RawRecorder::Received() {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

void RawRecorder::Serve() {
  struct Pair {
    int client;
    int server;  // -1: a silent peer
  };
  std::vector<Pair> pairs;
  while (!stop_) {
    std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
    for (const Pair& p : pairs) {
      fds.push_back({p.client, POLLIN, 0});
      fds.push_back({p.server, static_cast<short>(p.server >= 0 ? POLLIN : 0), 0});
    }
    if (poll(fds.data(), fds.size(), 200) <= 0) continue;
    if (fds[1].revents & POLLIN) {
      const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) {
        ++accepted_;
        const int server = target_ ? testsupport::ConnectTcp("127.0.0.1", target_) : -1;
        if (target_ && server < 0) {
          close(client);
        } else {
          pairs.push_back({client, server});
        }
      }
    }
    std::vector<size_t> dead;
    for (size_t i = 2; i + 1 < fds.size(); i += 2) {
      Pair& p = pairs[(i - 2) / 2];
      char buf[8192];
      bool gone = false;
      if (fds[i].revents) {
        const ssize_t n = recv(p.client, buf, sizeof buf, 0);
        if (n <= 0) {
          gone = true;
        } else {
          {
            std::lock_guard<std::mutex> lock(mutex_);
            received_.append(buf, static_cast<size_t>(n));
          }
          if (p.server >= 0 && !testsupport::SendAll(p.server, buf, static_cast<size_t>(n))) gone = true;
        }
      }
      if (!gone && p.server >= 0 && fds[i + 1].revents) {
        const ssize_t n = recv(p.server, buf, sizeof buf, 0);
        if (n <= 0 || !testsupport::SendAll(p.client, buf, static_cast<size_t>(n))) gone = true;
      }
      if (gone) dead.push_back((i - 2) / 2);
    }
    for (auto it = dead.rbegin(); it != dead.rend(); ++it) {
      close(pairs[*it].client);
      if (pairs[*it].server >= 0) close(pairs[*it].server);
      pairs.erase(pairs.begin() + static_cast<long>(*it));
    }
  }
  for (const Pair& p : pairs) {
    close(p.client);
    if (p.server >= 0) close(p.server);
  }
}

}  // namespace falatro::apptest
