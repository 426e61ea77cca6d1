// The window's event loop backend: SDL's event wait, woken from any thread and by readable sockets.
#include "platform/console/window/window_loop.h"

#include <SDL2/SDL.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace falatro {

WindowLoopState WinLoop;

namespace {

// Tells the watcher thread that its list or state changed.
void PokeWatcher() {
  if (WinLoop.ControlPipe[1] < 0) return;
  char c = 1;
  ssize_t r = write(WinLoop.ControlPipe[1], &c, 1);
  (void)r;  // a full pipe already holds a poke
}

void PushLoopEvent(int code) {
  SDL_Event ev;
  SDL_zero(ev);
  ev.type = WinLoop.WakeEventType;
  ev.user.code = code;
  SDL_PushEvent(&ev);
}

// The watcher: polls the armed fds and the control pipe; when an armed fd becomes readable it pushes
// one SDL event and disarms, so a socket that stays readable does not flood the queue.
void WatcherMain() {
  std::vector<pollfd> p;
  for (;;) {
    uint64_t armed;
    {
      std::lock_guard<std::mutex> lock(WinLoop.WatchMutex);
      if (WinLoop.WatcherStop) return;
      armed = WinLoop.WatchArmed;
      p.clear();
      p.push_back({WinLoop.ControlPipe[0], POLLIN, 0});
      if (armed)
        for (int fd : WinLoop.WatchFds) p.push_back({fd, POLLIN, 0});
    }
    int n = poll(p.data(), p.size(), -1);
    if (n < 0) continue;
    if (p[0].revents) {
      char buf[64];
      while (read(WinLoop.ControlPipe[0], buf, sizeof buf) > 0) {
      }
    }
    bool ready = false;
    for (size_t i = 1; i < p.size(); ++i)
      if (p[i].revents) ready = true;
    if (!ready) continue;
    std::lock_guard<std::mutex> lock(WinLoop.WatchMutex);
    // A wait that ended meanwhile (and may have closed its fds) is not woken.
    if (WinLoop.WatchArmed == armed && armed != 0) {
      WinLoop.WatchArmed = 0;
      ++WinLoop.FdWakeups;
      PushLoopEvent(1);
    }
  }
}

bool StartWatcher() {
  if (WinLoop.Watcher) return true;
  if (WinLoop.ControlPipe[0] < 0 && pipe2(WinLoop.ControlPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  WinLoop.WatcherStop = false;
  WinLoop.Watcher = new std::thread(WatcherMain);
  return true;
}

void Arm(const int* fds, int nfds) {
  std::lock_guard<std::mutex> lock(WinLoop.WatchMutex);
  WinLoop.WatchFds.assign(fds, fds + nfds);
  WinLoop.WatchArmed = ++WinLoop.WatchGeneration;
  PokeWatcher();
}

void Disarm() {
  std::lock_guard<std::mutex> lock(WinLoop.WatchMutex);
  WinLoop.WatchArmed = 0;
  WinLoop.WatchFds.clear();
  PokeWatcher();
}

// Marks the readable fds; true when any is.
bool PollFds(const int* fds, bool* readable, int nfds) {
  if (nfds <= 0) return false;
  std::vector<pollfd> p;
  p.reserve(nfds);
  for (int i = 0; i < nfds; ++i) p.push_back({fds[i], POLLIN, 0});
  if (poll(p.data(), p.size(), 0) <= 0) return false;
  bool any = false;
  for (int i = 0; i < nfds; ++i)
    if (p[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) readable[i] = any = true;
  return any;
}

// Hands one event to the front-end; the loop's own events carry nothing more than the wake-up.
void Handle(const SDL_Event& ev) {
  if (ev.type == WinLoop.WakeEventType) return;
  if (WinLoop.OnEvent) WinLoop.OnEvent(ev);
}

// Handles what is queued now; bounded so that a stream of mouse motion cannot hold the program.
void Drain() {
  SDL_Event ev;
  for (int i = 0; i < 4096 && SDL_PollEvent(&ev); ++i) Handle(ev);
}

}  // namespace

uint64_t WindowLoopBackend::NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void WindowLoopBackend::Wait(int timeout_ms, const int* fds, bool* readable, int nfds) {
  if (!WinLoop.Started.load()) {
    RealClockBackend()->Wait(timeout_ms, fds, readable, nfds);
    return;
  }
  Drain();
  bool woken = WinLoop.WakeRequested.exchange(false);
  if (PollFds(fds, readable, nfds) || woken || timeout_ms == 0) {
    if (WinLoop.BeforeWait) WinLoop.BeforeWait(false);
    return;
  }

  if (WinLoop.BeforeWait) WinLoop.BeforeWait(true);
  // Drawing may have queued events of its own (exposure); a wake-up may have come meanwhile.
  Drain();
  if (WinLoop.WakeRequested.exchange(false)) return;
  bool watching = nfds > 0 && StartWatcher();
  if (watching) Arm(fds, nfds);
  ++WinLoop.Waits;
  SDL_Event ev;
  if (SDL_WaitEventTimeout(&ev, timeout_ms < 0 ? -1 : timeout_ms)) {
    Handle(ev);
    Drain();
  }
  if (watching) Disarm();
  // A wake-up that came after the wait returned stays requested, so the next wait returns at once.
  PollFds(fds, readable, nfds);
}

void WindowLoopBackend::Wake() {
  if (!WinLoop.Started.load()) {
    RealClockBackend()->Wake();
    return;
  }
  if (!WinLoop.WakeRequested.exchange(true)) PushLoopEvent(0);
}

bool StartWindowLoop(std::string* error) {
  if (WinLoop.Started.load()) return true;
  if (WinLoop.WakeEventType == 0) {
    uint32_t type = SDL_RegisterEvents(1);
    if (type == static_cast<uint32_t>(-1)) {
      if (error) *error = "SDL has no user event left";
      return false;
    }
    WinLoop.WakeEventType = type;
  }
  WinLoop.WakeRequested.store(false);
  WinLoop.Started.store(true);
  // Wake-ups made before the window existed went to the real-clock backend; a waiting caller
  // checks its queue before it waits again, so nothing is lost.
  return true;
}

void StopWindowLoop() {
  WinLoop.Started.store(false);
  if (WinLoop.Watcher) {
    {
      std::lock_guard<std::mutex> lock(WinLoop.WatchMutex);
      WinLoop.WatcherStop = true;
      WinLoop.WatchArmed = 0;
    }
    PokeWatcher();
    WinLoop.Watcher->join();
    delete WinLoop.Watcher;
    WinLoop.Watcher = nullptr;
  }
  for (int& fd : WinLoop.ControlPipe) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

}  // namespace falatro
