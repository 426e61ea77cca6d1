// A scripted IRC peer for the end-to-end tests.
#include "irc_peer.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "loopback_socket.h"

namespace falatro::apptest {

IrcPeer::~IrcPeer() { Close(); }

void IrcPeer::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool IrcPeer::Login(const std::string& address, uint16_t port, const std::string& nick,
                    const std::string& password, int ms) {
  Close();
  fd_ = testsupport::ConnectTcp(address, port);
  if (fd_ < 0) return false;
  nick_ = nick;
  if (!password.empty()) Send("PASS " + password);
  Send("NICK " + nick);
  Send("USER " + nick + " 0 * :peer " + nick);
  return WaitFor(" 001 ", ms);
}

void IrcPeer::Send(const std::string& line) {
  if (fd_ < 0) return;
  const std::string data = line + "\r\n";
  testsupport::SendAll(fd_, data.data(), data.size());
}

bool IrcPeer::Pump() {
  if (fd_ < 0) return false;
  char buf[4096];
  for (;;) {
    ssize_t n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
    if (n == 0) {
      Close();
      return false;
    }
    if (n < 0) break;
    pending_.append(buf, static_cast<size_t>(n));
  }
  size_t lf;
  while ((lf = pending_.find('\n')) != std::string::npos) {
    std::string line = pending_.substr(0, lf);
    pending_.erase(0, lf + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("PING", 0) == 0) Send("PONG" + line.substr(4));
    lines_.push_back(line);
  }
  return true;
}

bool IrcPeer::Saw(const std::string& text) const {
  for (const std::string& line : lines_)
    if (line.find(text) != std::string::npos) return true;
  return false;
}

bool IrcPeer::WaitFor(const std::string& text, int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    Pump();
    if (Saw(text)) return true;
    if (std::chrono::steady_clock::now() >= end || fd_ < 0) return false;
    pollfd p{fd_, POLLIN, 0};
    poll(&p, 1, 10);
  }
}

bool IrcPeer::JoinNumberedChannels(int count, int timeout_ms) {
  std::string batch;
  for (int i = 0; i < count; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "#c%04d", i);
    batch += (batch.empty() ? "" : ",") + std::string(name);
    if (batch.size() > 400 || i == count - 1) {
      Join(batch);
      batch.clear();
    }
  }
  Send("PING :feito");
  return WaitFor("feito", timeout_ms);
}

}  // namespace falatro::apptest
