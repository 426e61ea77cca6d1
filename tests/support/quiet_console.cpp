// A fresh console for tests: the headless front-end on a chosen clock, nothing left in the loop.
#include "quiet_console.h"

#include <mutex>

#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "platform/console/headless/headless_frontend.h"

namespace falatro::testsupport {

void ClearEventLoop() {
  {
    std::lock_guard<std::mutex> lock(EventLoop.posted_mutex);
    EventLoop.posted.clear();
  }
  EventLoop.timers.clear();
  EventLoop.watchers.clear();
}

void StartQuietConsole(LoopBackend* backend, bool key_up_events) {
  ClearEventLoop();
  SetLoopBackend(backend);
  ResetConsoleState();
  Headless = HeadlessState{};
  Headless.key_up_events = key_up_events;
  SetConsoleFrontend(HeadlessFrontend(backend));
  Crt.exit_hook = [](int code) { throw ConsoleExit{code}; };
  ResetKeyboardState();
}

}  // namespace falatro::testsupport
