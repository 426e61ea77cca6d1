// A Speech Dispatcher daemon of a test's own, started in the foreground so its process id is known.
#include "speech_dispatcher_daemon.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

namespace falatro::testsupport {

namespace {

bool Answers(const std::string& socket_path) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, socket_path.c_str(), sizeof addr.sun_path - 1);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

}  // namespace

bool SpeechDispatcherDaemon::Start(std::string* error) {
  char tmpl[] = "/tmp/falatro-speechd-XXXXXX";
  if (mkdtemp(tmpl) == nullptr) {
    *error = "no scratch directory";
    return false;
  }
  dir_ = tmpl;
  namespace fs = std::filesystem;
  fs::create_directories(dir_ + "/conf/modules");
  fs::create_directories(dir_ + "/home");
  fs::create_directories(dir_ + "/run");
  {
    std::ofstream conf(dir_ + "/conf/speechd.conf");
    conf << "LogLevel 1\nLogDir \"" << dir_ << "\"\nAudioOutputMethod \"libao\"\n"
         << "AddModule \"espeak-ng\" \"sd_espeak-ng\" \"espeak-ng.conf\"\nDefaultModule espeak-ng\n"
         << "DefaultLanguage \"pt-BR\"\n";
    std::ofstream module(dir_ + "/conf/modules/espeak-ng.conf");
    // libao reads the driver from the home directory of the daemon: the null driver, no sound card.
    std::ofstream ao(dir_ + "/home/.libao");
    ao << "default_driver=null\n";
  }
  const std::string socket_path = dir_ + "/speechd.sock";
  std::fflush(nullptr);  // the child must not write out the parent's buffered output again
  pid_ = fork();
  if (pid_ < 0) {
    *error = "fork failed";
    return false;
  }
  if (pid_ == 0) {
    setenv("HOME", (dir_ + "/home").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir_ + "/run").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir_ + "/home/.config").c_str(), 1);
    std::freopen("/dev/null", "w", stdout);
    std::freopen((dir_ + "/stderr.log").c_str(), "w", stderr);
    execlp("speech-dispatcher", "speech-dispatcher", "-s", "-t", "0", "-C", (dir_ + "/conf").c_str(), "-c",
           "unix_socket", "-S", socket_path.c_str(), "-L", dir_.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < until) {
    if (Answers(socket_path)) {
      setenv("SPEECHD_ADDRESS", ("unix_socket:" + socket_path).c_str(), 1);
      return true;
    }
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      *error = "speech-dispatcher ended at start (see " + dir_ + "/stderr.log)";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  *error = "speech-dispatcher did not answer on " + socket_path;
  Stop();
  return false;
}

void SpeechDispatcherDaemon::Stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    int status = 0;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > until) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
  }
  if (!dir_.empty()) {
    setenv("SPEECHD_ADDRESS", AbsentAddress().c_str(), 1);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
}

}  // namespace falatro::testsupport
