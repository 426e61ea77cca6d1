// Keeping the tty sane: raw mode on, and the saved modes back on every way out, signals included.
#include "platform/console/terminal/terminal_guard.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

// Present only when the program is built with a sanitizer, whose reports end the process without
// signals or exit handlers.
extern "C" void __sanitizer_set_death_callback(void (*callback)(void)) __attribute__((weak));

namespace falatro {

namespace {

// Everything the signal handlers touch lives in plain static storage.
struct TerminalGuardState {
  int fd = -1;
  int notify_fd = -1;
  volatile sig_atomic_t raw = 0;
  struct termios saved;
  struct termios raw_modes;
  char enter_seq[256];
  size_t enter_len = 0;
  char exit_seq[256];
  size_t exit_len = 0;
  bool handlers_installed = false;
  bool atexit_registered = false;
  struct sigaction old_actions[65];
};
TerminalGuardState Guard;

const int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
const int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

void WriteAll(int fd, const char* data, size_t len) {
  while (len > 0) {
    ssize_t n = write(fd, data, len);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      // A full tty buffer: the restore must still get through, so wait for room briefly.
      struct timespec ts = {0, 1000000};
      nanosleep(&ts, nullptr);
      continue;
    }
    if (n <= 0) return;
    data += n;
    len -= static_cast<size_t>(n);
  }
}

void Notify(char what) {
  if (Guard.notify_fd < 0) return;
  int saved_errno = errno;
  ssize_t n = write(Guard.notify_fd, &what, 1);
  (void)n;  // a full pipe already holds a note
  errno = saved_errno;
}

void OnEndSignal(int sig) {
  RestoreTerminal();
  sigaction(sig, &Guard.old_actions[sig], nullptr);
  raise(sig);
}

// A crash: restore the tty and put back whatever handled the signal before. A fault then returns, so
// the faulting instruction runs again and meets that handler (or the default action) with its own
// context; a signal sent by someone (kill, abort) is sent again.
void OnCrashSignal(int sig, siginfo_t* info, void*) {
  RestoreTerminal();
  sigaction(sig, &Guard.old_actions[sig], nullptr);
  if (sig == SIGABRT || !info || info->si_code <= 0) raise(sig);
}

void OnStop(int) {
  int saved_errno = errno;
  RestoreTerminal();
  signal(SIGTSTP, SIG_DFL);
  raise(SIGTSTP);
  errno = saved_errno;
}

void OnWinch(int) { Notify('W'); }
void OnCont(int) { Notify('C'); }

void Install(int sig, void (*handler)(int), int flags) {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = flags;
  sigaction(sig, &sa, &Guard.old_actions[sig]);
}

void InstallInfo(int sig, void (*handler)(int, siginfo_t*, void*), int flags) {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_sigaction = handler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = flags | SA_SIGINFO;
  sigaction(sig, &sa, &Guard.old_actions[sig]);
}

void InstallHandlers() {
  if (Guard.handlers_installed) return;
  for (int sig : kEndSignals) Install(sig, OnEndSignal, SA_NODEFER);
  for (int sig : kCrashSignals) InstallInfo(sig, OnCrashSignal, SA_NODEFER);
  Install(SIGTSTP, OnStop, SA_NODEFER);
  Install(SIGWINCH, OnWinch, SA_RESTART);
  Install(SIGCONT, OnCont, SA_RESTART);
  Guard.handlers_installed = true;
}

void CopySeq(std::string_view seq, char* dest, size_t* len) {
  *len = std::min(seq.size(), sizeof Guard.enter_seq);
  std::memcpy(dest, seq.data(), *len);
}

}  // namespace

bool EnterRawMode(int fd, int notify_fd, std::string_view enter_seq, std::string_view exit_seq,
                  std::string* error) {
  struct termios modes;
  if (tcgetattr(fd, &modes) != 0) {
    if (error) *error = std::string("not a terminal: ") + std::strerror(errno);
    return false;
  }
  Guard.fd = fd;
  Guard.notify_fd = notify_fd;
  Guard.saved = modes;
  CopySeq(enter_seq, Guard.enter_seq, &Guard.enter_len);
  CopySeq(exit_seq, Guard.exit_seq, &Guard.exit_len);
  modes.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
  modes.c_oflag &= ~OPOST;
  modes.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  modes.c_cflag &= ~(CSIZE | PARENB);
  modes.c_cflag |= CS8;
  modes.c_cc[VMIN] = 1;
  modes.c_cc[VTIME] = 0;
  Guard.raw_modes = modes;
  InstallHandlers();
  if (!Guard.atexit_registered) {
    std::atexit(RestoreTerminal);
    if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(RestoreTerminal);
    Guard.atexit_registered = true;
  }
  if (tcsetattr(fd, TCSADRAIN, &modes) != 0) {
    if (error) *error = std::string("cannot set terminal modes: ") + std::strerror(errno);
    return false;
  }
  Guard.raw = 1;
  WriteAll(fd, Guard.enter_seq, Guard.enter_len);
  return true;
}

void ReenterRawMode() {
  if (Guard.fd < 0) return;
  Install(SIGTSTP, OnStop, SA_NODEFER);
  tcsetattr(Guard.fd, TCSADRAIN, &Guard.raw_modes);
  Guard.raw = 1;
  WriteAll(Guard.fd, Guard.enter_seq, Guard.enter_len);
}

void RestoreTerminal() {
  if (!Guard.raw || Guard.fd < 0) return;
  Guard.raw = 0;
  WriteAll(Guard.fd, Guard.exit_seq, Guard.exit_len);
  tcsetattr(Guard.fd, TCSADRAIN, &Guard.saved);
}

void ReleaseTerminal() {
  RestoreTerminal();
  Guard.fd = -1;
}

bool TerminalIsRaw() { return Guard.raw != 0; }

}  // namespace falatro
