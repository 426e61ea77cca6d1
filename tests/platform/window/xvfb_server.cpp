// A private X server for tests and measurements: Xvfb started on a free display and stopped after.
#include "xvfb_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>

#include <cstdlib>
#include <cstring>

extern char** environ;

namespace falatro {

namespace {

int Spawn(const std::vector<std::string>& argv, posix_spawn_file_actions_t* actions) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], actions, nullptr, args.data(), environ) != 0) return -1;
  return pid;
}

}  // namespace

bool XvfbServer::Start(int width, int height) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    Error = "pipe failed";
    return false;
  }
  // The child gets the write end as fd 3 (dup2 clears close-on-exec).
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  Pid = Spawn({"Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp", "-terminate"}, &actions);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (Pid < 0) {
    close(fds[0]);
    Error = "cannot start Xvfb (Debian package xvfb)";
    return false;
  }
  std::string number;
  pollfd p = {fds[0], POLLIN, 0};
  for (int waited = 0; waited < 10000;) {
    if (poll(&p, 1, 100) > 0) {
      char buf[16];
      ssize_t n = read(fds[0], buf, sizeof buf);
      if (n <= 0) break;
      number.append(buf, n);
      if (number.find('\n') != std::string::npos) break;
    } else {
      waited += 100;
    }
  }
  close(fds[0]);
  if (number.empty() || number[0] < '0' || number[0] > '9') {
    Error = "Xvfb did not report a display";
    Stop();
    return false;
  }
  Display = std::atoi(number.c_str());
  setenv("DISPLAY", (":" + std::to_string(Display)).c_str(), 1);
  // Xvfb ends when its last client leaves (-terminate): this connection lasts as long as the test
  // program, so a program that dies does not leave its server behind.
  Keeper = XOpenDisplay(nullptr);
  if (!Keeper) {
    Error = "cannot connect to Xvfb";
    Stop();
    return false;
  }
  return true;
}

void XvfbServer::Stop() {
  if (Keeper) XCloseDisplay(static_cast<::Display*>(Keeper));
  Keeper = nullptr;
  if (Pid > 0) {
    kill(Pid, SIGTERM);
    int status;
    waitpid(Pid, &status, 0);
  }
  Pid = -1;
}

int RunXTool(const std::vector<std::string>& argv) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  int pid = Spawn(argv, &actions);
  posix_spawn_file_actions_destroy(&actions);
  if (pid < 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace falatro
