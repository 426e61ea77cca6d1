// A scripted IRC server for tests, on its own thread.
#include "scripted_server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "loopback_socket.h"

namespace falatro::apptest {

namespace {
void SendAll(int fd, const std::string& bytes) { testsupport::SendAll(fd, bytes.data(), bytes.size()); }
}  // namespace

ScriptedServer::ScriptedServer(const std::string& address, uint16_t port) {
  int fd = testsupport::ListenTcp(address, port);
  if (fd < 0) return;
  sockaddr_in a{};
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
  listener_ = fd;
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
  thread_ = std::thread([this] { Serve(); });
}

ScriptedServer::~ScriptedServer() {
  stop_ = true;
  if (wake_[1] >= 0) {
    char c = 1;
    (void)!write(wake_[1], &c, 1);
  }
  if (thread_.joinable()) thread_.join();
  for (Conn& c : conns_) close(c.fd);
  if (listener_ >= 0) close(listener_);
  if (wake_[0] >= 0) close(wake_[0]);
  if (wake_[1] >= 0) close(wake_[1]);
}

void ScriptedServer::SetGreeting(std::string bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  greeting_ = std::move(bytes);
}

void ScriptedServer::SetScript(std::function<std::string(const std::string&)> script) {
  std::lock_guard<std::mutex> lock(mutex_);
  script_ = std::move(script);
}

void ScriptedServer::Broadcast(const std::string& bytes) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    outbox_.push_back(bytes);
  }
  char c = 1;
  (void)!write(wake_[1], &c, 1);
}

void ScriptedServer::CloseAll() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    close_all_ = true;
  }
  char c = 1;
  (void)!write(wake_[1], &c, 1);
}

std::vector<std::string> ScriptedServer::Lines() {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

bool ScriptedServer::WaitForLines(size_t n, int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (lines_.size() >= n) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_.size() >= n;
}

bool ScriptedServer::WaitForClientCloses(int n, int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (closed_by_client_ < n && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return closed_by_client_ >= n;
}

void ScriptedServer::Serve() {
  while (!stop_) {
    std::vector<pollfd> fds;
    fds.push_back({wake_[0], POLLIN, 0});
    fds.push_back({listener_, POLLIN, 0});
    for (const Conn& c : conns_) fds.push_back({c.fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), 200) < 0) continue;
    if (fds[0].revents) {
      char buf[64];
      while (read(wake_[0], buf, sizeof buf) > 0) {
      }
    }
    std::vector<std::string> outbox;
    bool close_all = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      outbox.swap(outbox_);
      close_all = close_all_;
      close_all_ = false;
    }
    for (const std::string& bytes : outbox)
      for (Conn& c : conns_) SendAll(c.fd, bytes);
    if (close_all) {
      for (Conn& c : conns_) close(c.fd);
      conns_.clear();
      continue;
    }
    if (fds[1].revents & POLLIN) {
      int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        ++accepted_;
        std::string greeting;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          greeting = greeting_;
        }
        SendAll(fd, greeting);
        conns_.push_back({fd, {}});
      }
    }
    for (size_t i = 2; i < fds.size(); ++i) {
      if (!fds[i].revents) continue;
      auto it = std::find_if(conns_.begin(), conns_.end(), [&](const Conn& c) { return c.fd == fds[i].fd; });
      if (it == conns_.end()) continue;
      char buf[4096];
      ssize_t n = recv(it->fd, buf, sizeof buf, 0);
      if (n <= 0) {
        ++closed_by_client_;
        close(it->fd);
        conns_.erase(it);
        continue;
      }
      it->pending.append(buf, static_cast<size_t>(n));
      size_t lf;
      bool close_now = false;
      while (!close_now && (lf = it->pending.find('\n')) != std::string::npos) {
        std::string line = it->pending.substr(0, lf);
        it->pending.erase(0, lf + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::function<std::string(const std::string&)> script;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          lines_.push_back(line);
          script = script_;
        }
        std::string answer = script ? script(line) : std::string();
        if (!answer.empty() && answer.back() == kCloseConnection[0]) {
          answer.pop_back();
          close_now = true;
        }
        SendAll(it->fd, answer);
      }
      if (close_now) {
        close(it->fd);
        conns_.erase(it);
      }
    }
  }
}

}  // namespace falatro::apptest
