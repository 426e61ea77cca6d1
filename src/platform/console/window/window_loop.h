// The window's event loop backend: SDL's event wait, woken from any thread and by readable sockets.
#pragma once

#include <SDL2/SDL_events.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/event_loop.h"

namespace falatro {

/// The loop backend of the window front-end. Until Start is called (and after Stop) it waits with
/// the real-clock poll backend, so the program can wait before the window opens.
struct WindowLoopBackend : LoopBackend {
  uint64_t NowMs() override;
  /// Handles every SDL event already queued; when none brought anything (no wake-up, no readable fd)
  /// and timeout_ms is not 0, shows pending drawing and blocks in SDL_WaitEventTimeout. The fds
  /// are watched meanwhile by a helper thread, which pushes an SDL event when one becomes readable.
  void Wait(int timeout_ms, const int* fds, bool* readable, int nfds) override;
  /// Pushes one SDL event (several wake-ups before the wait sees them make one). Any thread.
  void Wake() override;
};

/// State of the window's loop (one instance, WinLoop).
struct WindowLoopState {
  WindowLoopBackend Backend;
  std::atomic<bool> Started{false};      ///< SDL's events are running
  std::atomic<bool> WakeRequested{false};
  uint32_t WakeEventType = 0;            ///< registered SDL user event: wake-ups and readable fds
  /// Called with each SDL event taken from the queue (the front-end's event procedure).
  std::function<void(const SDL_Event&)> OnEvent;
  /// Called at every wait with whether it is about to block: the front-end shows what it drew since
  /// the last frame (always before blocking; otherwise once a frame interval has passed).
  std::function<void(bool blocking)> BeforeWait;

  // The descriptor watcher: a thread in poll() on the fds of the wait in progress and a control pipe.
  std::mutex WatchMutex;
  std::vector<int> WatchFds;             ///< fds of the wait in progress
  uint64_t WatchArmed = 0;               ///< generation of the wait in progress; 0: none
  uint64_t WatchGeneration = 0;
  int ControlPipe[2] = {-1, -1};
  std::thread* Watcher = nullptr;        ///< started on the first wait with fds
  bool WatcherStop = false;

  uint64_t Waits = 0;                    ///< blocking waits made (for tests and measurements)
  std::atomic<uint64_t> FdWakeups{0};               ///< readable-fd events pushed by the watcher
};
extern WindowLoopState WinLoop;

/// Starts the SDL side (SDL's video, so its events, must be initialised): registers the wake event.
/// false (with *error) when SDL cannot register one.
bool StartWindowLoop(std::string* error);
/// Stops the watcher thread and returns waits to the real-clock backend. Safe to call twice.
void StopWindowLoop();

}  // namespace falatro
