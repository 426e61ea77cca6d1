// Real IRC servers for the end-to-end tests.
#include "irc_server_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>

#include "loopback_socket.h"

extern char** environ;

namespace falatro::apptest {

using testsupport::ConnectTcp;
using testsupport::ListenTcp;
using testsupport::SendAll;

std::string FreeLoopbackAddress() {
  static int next = 2;
  const int block = static_cast<int>(getpid() % 250) + 1;
  for (int tries = 0; tries < 250; ++tries) {
    const int host = next;
    next = next >= 254 ? 2 : next + 1;
    std::string address = "127.77." + std::to_string(block) + "." + std::to_string(host);
    int fd = ListenTcp(address, kTestIrcPort);
    if (fd >= 0) {
      close(fd);
      return address;
    }
  }
  return {};
}

bool WaitUntilListening(const std::string& address, uint16_t port, int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    int fd = ConnectTcp(address, port);
    if (fd >= 0) {
      close(fd);
      return true;
    }
    poll(nullptr, 0, 20);
  }
  return false;
}

bool NgircdServer::Start(const std::string& dir, const std::string& address, const std::string& password,
                         int ping_timeout) {
  Stop();
  address_ = address;
  const std::string conf = dir + "/ngircd.conf";
  log_path_ = dir + "/ngircd.log";
  // Its own folders: nothing extra to include, and a place the server may write its process id to
  // after it gives up root.
  const std::string include_dir = dir + "/ngircd.d";
  const std::string run_dir = dir + "/ngircd.run";
  mkdir(include_dir.c_str(), 0755);
  mkdir(run_dir.c_str(), 0777);
  chmod(run_dir.c_str(), 0777);
  {
    std::ofstream out(conf);
    out << "[Global]\n"
        << "Name = irc.falatro.test\n"
        << "Info = Falatro test server\n"
        << "AdminInfo1 = test\nAdminInfo2 = test\nAdminEMail = test@localhost\n"
        << "Listen = " << address << "\n"
        << "Ports = " << kTestIrcPort << "\n"
        << "Password = " << password << "\n"
        << "MotdPhrase = Bem-vindo ao servidor de teste\n"
        << "PidFile = " << run_dir << "/ngircd.pid\n";
    if (getuid() == 0) out << "ServerUID = 65534\nServerGID = 65534\n";
    out << "[Limits]\n"
        << "PingTimeout = " << std::max(5, ping_timeout) << "\n"
        << "PongTimeout = 20\n"
        << "MaxConnectionsIP = 0\nMaxJoins = 0\nMaxPenaltyTime = 0\nMaxListSize = 10000\nMaxNickLength = 30\n"
        << "[Options]\n"
        << "DNS = no\nIdent = no\nPAM = no\n"
        << "IncludeDir = " << include_dir << "\n";
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::string program = "/usr/sbin/ngircd";
  std::vector<std::string> args = {program, "--nodaemon", "--config", conf};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int r = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (r != 0) return false;
  pid_ = pid;
  if (!WaitUntilListening(address, kTestIrcPort, 5000)) {
    Stop();
    return false;
  }
  return true;
}

bool NgircdServer::StartOnFreeAddress(const std::string& dir, const std::string& password, int ping_timeout,
                                      std::string* address) {
  for (int tries = 0; tries < 5; ++tries) {
    *address = FreeLoopbackAddress();
    if (!address->empty() && Start(dir, *address, password, ping_timeout)) return true;
  }
  return false;
}

void NgircdServer::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  for (int i = 0; i < 300; ++i) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    poll(nullptr, 0, 10);
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::string NgircdServer::Log() const {
  std::ifstream in(log_path_);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

RecordingRelay::~RecordingRelay() {
  stop_ = true;
  if (wake_[1] >= 0) {
    char c = 1;
    (void)!write(wake_[1], &c, 1);
  }
  if (thread_.joinable()) thread_.join();
  for (Pair& p : pairs_) {
    close(p.client);
    close(p.server);
  }
  if (listener_ >= 0) close(listener_);
  if (wake_[0] >= 0) close(wake_[0]);
  if (wake_[1] >= 0) close(wake_[1]);
}

bool RecordingRelay::Start(const std::string& listen_address, const std::string& server_address) {
  server_address_ = server_address;
  listener_ = ListenTcp(listen_address, kTestIrcPort);
  if (listener_ < 0) return false;
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  thread_ = std::thread([this] { Serve(); });
  return true;
}

bool RecordingRelay::StartOnFreeAddress(const std::string& server_address, std::string* address) {
  for (int tries = 0; tries < 5; ++tries) {
    *address = FreeLoopbackAddress();
    if (!address->empty() && Start(*address, server_address)) return true;
  }
  return false;
}

std::vector<std::string> RecordingRelay::ClientLines() {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

bool RecordingRelay::WaitForClientLine(const std::string& line, int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (std::find(lines_.begin(), lines_.end(), line) != lines_.end()) return true;
    }
    if (std::chrono::steady_clock::now() >= end) return false;
    poll(nullptr, 0, 5);
  }
}

void RecordingRelay::Serve() {
  while (!stop_) {
    std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
    for (const Pair& p : pairs_) {
      fds.push_back({p.client, POLLIN, 0});
      fds.push_back({p.server, POLLIN, 0});
    }
    if (poll(fds.data(), fds.size(), 200) <= 0) continue;
    if (fds[1].revents & POLLIN) {
      int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) {
        ++accepted_;
        int server = ConnectTcp(server_address_, kTestIrcPort);
        if (server < 0) {
          close(client);
        } else {
          pairs_.push_back({client, server, {}});
        }
      }
    }
    std::vector<int> dead;
    for (size_t i = 2; i + 1 < fds.size(); i += 2) {
      Pair& p = pairs_[(i - 2) / 2];
      char buf[8192];
      if (fds[i].revents) {
        ssize_t n = recv(p.client, buf, sizeof buf, 0);
        if (n <= 0 || !SendAll(p.server, buf, static_cast<size_t>(n))) {
          dead.push_back(static_cast<int>((i - 2) / 2));
          continue;
        }
        p.pending.append(buf, static_cast<size_t>(n));
        size_t lf;
        std::lock_guard<std::mutex> lock(mutex_);
        while ((lf = p.pending.find('\n')) != std::string::npos) {
          std::string line = p.pending.substr(0, lf);
          p.pending.erase(0, lf + 1);
          if (!line.empty() && line.back() == '\r') line.pop_back();
          lines_.push_back(line);
        }
      }
      if (fds[i + 1].revents) {
        ssize_t n = recv(p.server, buf, sizeof buf, 0);
        if (n <= 0 || !SendAll(p.client, buf, static_cast<size_t>(n))) dead.push_back(static_cast<int>((i - 2) / 2));
      }
    }
    std::sort(dead.begin(), dead.end());
    dead.erase(std::unique(dead.begin(), dead.end()), dead.end());
    for (auto it = dead.rbegin(); it != dead.rend(); ++it) {
      close(pairs_[*it].client);
      close(pairs_[*it].server);
      pairs_.erase(pairs_.begin() + *it);
    }
  }
}

}  // namespace falatro::apptest
