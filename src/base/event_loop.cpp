// The one event loop and clock: message queue, timers, and the waits built on the front-end's backend.
#include "base/event_loop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace falatro {

EventLoopState EventLoop;

namespace {

// Real clock and poll(2); a self-pipe carries wake-ups from other threads.
struct RealBackend : LoopBackend {
  int pipe_rd = -1;
  int pipe_wr = -1;

  RealBackend() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
      pipe_rd = fds[0];
      pipe_wr = fds[1];
    }
  }
  uint64_t NowMs() override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
  void Wait(int timeout_ms, const int* fds, bool* readable, int nfds) override {
    std::vector<pollfd> p;
    p.reserve(nfds + 1);
    if (pipe_rd >= 0) p.push_back({pipe_rd, POLLIN, 0});
    for (int i = 0; i < nfds; ++i) p.push_back({fds[i], POLLIN, 0});
    int n = poll(p.data(), p.size(), timeout_ms);
    if (n <= 0) return;
    size_t k = 0;
    if (pipe_rd >= 0) {
      if (p[0].revents) {
        char buf[64];
        while (read(pipe_rd, buf, sizeof buf) > 0) {
        }
      }
      k = 1;
    }
    for (int i = 0; i < nfds; ++i, ++k)
      if (p[k].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) readable[i] = true;
  }
  void Wake() override {
    if (pipe_wr >= 0) {
      char c = 1;
      ssize_t r = write(pipe_wr, &c, 1);
      (void)r;  // a full pipe already holds a wake-up
    }
  }
};

LoopBackend* Backend() {
  if (!EventLoop.backend) EventLoop.backend = RealClockBackend();
  return EventLoop.backend;
}

bool PostedEmpty() {
  std::lock_guard<std::mutex> lock(EventLoop.posted_mutex);
  return EventLoop.posted.empty();
}

bool TimerDue(uint64_t now) {
  for (const LoopTimer& t : EventLoop.timers)
    if (t.due_ms <= now) return true;
  return false;
}

// Runs every timer that is due now; timers added by a callback wait for the next round.
void RunDueTimers() {
  uint64_t now = Backend()->NowMs();
  for (;;) {
    auto it = std::min_element(EventLoop.timers.begin(), EventLoop.timers.end(),
                               [](const LoopTimer& a, const LoopTimer& b) { return a.due_ms < b.due_ms; });
    if (it == EventLoop.timers.end() || it->due_ms > now) return;
    std::function<void()> fn = std::move(it->fn);
    EventLoop.timers.erase(it);
    if (fn) fn();
  }
}

// The watched descriptors a wait adds to its own (none while a watcher runs, and never the one the
// caller waits for itself).
struct WatchSet {
  std::vector<int> fds;
  std::vector<int> ids;
};

WatchSet WatchedFds(int except_fd) {
  WatchSet set;
  if (EventLoop.servicing_watchers) return set;
  for (const FdWatcher& w : EventLoop.watchers) {
    if (w.fd < 0 || w.fd == except_fd) continue;
    if (w.wanted && !w.wanted()) continue;
    set.fds.push_back(w.fd);
    set.ids.push_back(w.id);
  }
  return set;
}

// Runs the watchers whose descriptor came out readable.
void RunWatchers(const WatchSet& set, const std::vector<char>& readable, size_t offset) {
  if (set.ids.empty()) return;
  EventLoop.servicing_watchers = true;
  for (size_t i = 0; i < set.ids.size(); ++i) {
    if (!readable[offset + i]) continue;
    // Look the watcher up again: an earlier one may have removed it.
    for (const FdWatcher& w : EventLoop.watchers) {
      if (w.id != set.ids[i]) continue;
      std::function<void()> fn = w.on_ready;
      if (fn) fn();
      break;
    }
  }
  EventLoop.servicing_watchers = false;
}

// The backend's wait for the caller's descriptor (fd < 0: none) and the watched ones; the watchers
// that became readable run before it returns. True when fd became readable.
bool WaitWithWatchers(int timeout_ms, int fd) {
  const WatchSet set = WatchedFds(fd);
  std::vector<int> fds;
  if (fd >= 0) fds.push_back(fd);
  const size_t offset = fds.size();
  fds.insert(fds.end(), set.fds.begin(), set.fds.end());
  if (fds.empty()) {
    Backend()->Wait(timeout_ms, nullptr, nullptr, 0);
    return false;
  }
  // Watched descriptors already readable are serviced at once, without blocking.
  if (!set.fds.empty() && timeout_ms != 0) {
    std::vector<pollfd> p;
    for (int w : set.fds) p.push_back({w, POLLIN, 0});
    if (poll(p.data(), p.size(), 0) > 0) {
      std::vector<char> ready(offset + set.fds.size(), 0);
      bool any = false;
      for (size_t i = 0; i < p.size(); ++i)
        if (p[i].revents) ready[offset + i] = any = true;
      if (any) {
        RunWatchers(set, ready, offset);
        return false;
      }
    }
  }
  bool flags[64] = {};
  std::vector<char> ready(fds.size(), 0);
  const int n = static_cast<int>(std::min<size_t>(fds.size(), 64));
  Backend()->Wait(timeout_ms, fds.data(), flags, n);
  for (int i = 0; i < n; ++i) ready[i] = flags[i];
  RunWatchers(set, ready, offset);
  return fd >= 0 && ready[0];
}

// Milliseconds a wait may block: the caller's limit, shortened to the next timer.
int ClampToTimers(int timeout_ms) {
  int next = NextTimerDelay();
  if (next < 0) return timeout_ms;
  if (timeout_ms < 0) return next;
  return std::min(timeout_ms, next);
}

}  // namespace

LoopBackend* RealClockBackend() {
  static RealBackend backend;
  return &backend;
}

void SetLoopBackend(LoopBackend* backend) { EventLoop.backend = backend; }

void SetMessageHandler(std::function<void(const Message&)> handler) {
  EventLoop.handler = std::move(handler);
}

uint64_t NowMs() { return Backend()->NowMs(); }

void PostMessage(const Message& msg) {
  {
    std::lock_guard<std::mutex> lock(EventLoop.posted_mutex);
    EventLoop.posted.push_back(msg);
  }
  if (EventLoop.backend) EventLoop.backend->Wake();
}

bool MessagePending() { return !PostedEmpty(); }

int DispatchMessages() {
  // Let the front-end read input that is already there (a busy loop may never block in a wait), and
  // the watchers read what their descriptors hold.
  WaitWithWatchers(0, -1);
  RunDueTimers();
  int count = 0;
  ++EventLoop.dispatch_depth;
  for (;;) {
    Message msg;
    {
      std::lock_guard<std::mutex> lock(EventLoop.posted_mutex);
      if (EventLoop.posted.empty()) break;
      msg = EventLoop.posted.front();
      EventLoop.posted.pop_front();
    }
    ++count;
    if (EventLoop.handler) EventLoop.handler(msg);
  }
  --EventLoop.dispatch_depth;
  return count;
}

bool WaitMessage(int timeout_ms) {
  LoopBackend* b = Backend();
  uint64_t start = b->NowMs();
  for (;;) {
    if (!PostedEmpty() || TimerDue(b->NowMs())) return true;
    int left = -1;
    if (timeout_ms >= 0) {
      uint64_t elapsed = b->NowMs() - start;
      if (elapsed >= static_cast<uint64_t>(timeout_ms)) return false;
      left = timeout_ms - static_cast<int>(elapsed);
    }
    WaitWithWatchers(ClampToTimers(left), -1);
  }
}

int WaitForFd(int fd, int timeout_ms, bool wake_on_message) {
  LoopBackend* b = Backend();
  uint64_t start = b->NowMs();
  for (;;) {
    if (wake_on_message && (!PostedEmpty() || TimerDue(b->NowMs()))) return kWaitMessage;
    int left = -1;
    if (timeout_ms >= 0) {
      uint64_t elapsed = b->NowMs() - start;
      left = elapsed >= static_cast<uint64_t>(timeout_ms) ? 0 : timeout_ms - static_cast<int>(elapsed);
    }
    // Timers must still run while we wait (they finish sound blocks); only their due time shortens the
    // wait, and a due timer is run here when the caller does not want to be woken by it.
    int wait_ms = ClampToTimers(left);
    bool ready = false;
    if (fd >= 0) {
      struct pollfd p = {fd, POLLIN, 0};
      if (poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) return kWaitFdReady;
      if (wait_ms != 0) ready = WaitWithWatchers(wait_ms, fd);
    } else if (wait_ms != 0) {
      WaitWithWatchers(wait_ms, -1);
    }
    if (ready) return kWaitFdReady;
    if (!wake_on_message && TimerDue(b->NowMs())) RunDueTimers();
    if (left == 0) return kWaitTimeout;
  }
}

void SleepMs(uint32_t ms) {
  LoopBackend* b = Backend();
  uint64_t end = b->NowMs() + ms;
  for (;;) {
    uint64_t now = b->NowMs();
    if (TimerDue(now)) RunDueTimers();
    if (now >= end) return;
    WaitWithWatchers(ClampToTimers(static_cast<int>(end - now)), -1);
  }
}

int AddTimer(uint64_t delay_ms, std::function<void()> fn) {
  int id = EventLoop.next_timer_id++;
  EventLoop.timers.push_back({id, Backend()->NowMs() + delay_ms, std::move(fn)});
  return id;
}

void CancelTimer(int id) {
  auto& t = EventLoop.timers;
  t.erase(std::remove_if(t.begin(), t.end(), [id](const LoopTimer& x) { return x.id == id; }), t.end());
}

int NextTimerDelay() {
  if (EventLoop.timers.empty()) return -1;
  uint64_t now = Backend()->NowMs();
  uint64_t due = EventLoop.timers.front().due_ms;
  for (const LoopTimer& t : EventLoop.timers) due = std::min(due, t.due_ms);
  if (due <= now) return 0;
  uint64_t d = due - now;
  return d > 0x7fffffff ? 0x7fffffff : static_cast<int>(d);
}

int AddFdWatcher(int fd, std::function<void()> on_ready, std::function<bool()> wanted) {
  const int id = EventLoop.next_watcher_id++;
  EventLoop.watchers.push_back({id, fd, std::move(on_ready), std::move(wanted)});
  return id;
}

void RemoveFdWatcher(int id) {
  auto& w = EventLoop.watchers;
  w.erase(std::remove_if(w.begin(), w.end(), [id](const FdWatcher& x) { return x.id == id; }), w.end());
}

void SimulatedBackend::Schedule(uint64_t at_ms, const Message& msg) {
  auto it = std::upper_bound(script.begin(), script.end(), at_ms,
                             [](uint64_t t, const Scripted& s) { return t < s.at; });
  script.insert(it, Scripted{at_ms, msg});
}

void SimulatedBackend::Wait(int timeout_ms, const int* fds, bool* readable, int nfds) {
  ++waits;
  // Real descriptors (loopback sockets in tests) are polled without blocking.
  if (nfds > 0) {
    std::vector<pollfd> p;
    for (int i = 0; i < nfds; ++i) p.push_back({fds[i], POLLIN, 0});
    if (poll(p.data(), p.size(), 0) > 0) {
      bool any = false;
      for (int i = 0; i < nfds; ++i)
        if (p[i].revents) readable[i] = any = true;
      if (any) return;
    }
  }
  uint64_t target;
  if (!script.empty() && (timeout_ms < 0 || script.front().at <= now + static_cast<uint64_t>(timeout_ms))) {
    target = std::max(now, script.front().at);
  } else if (timeout_ms >= 0) {
    target = now + timeout_ms;
  } else if (nfds > 0) {
    // Waiting on a real descriptor with no limit: let real time pass a little.
    poll(nullptr, 0, 1);
    now += 1;
    return;
  } else {
    std::fprintf(stderr, "SimulatedBackend: a wait without limit, with nothing scheduled, would never end\n");
    std::abort();
  }
  now = target;
  while (!script.empty() && script.front().at <= now) {
    Message m = script.front().msg;
    script.pop_front();
    PostMessage(m);
  }
}

uint64_t SteadyMicroseconds() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace falatro
