// The one event loop and clock: every wait of the program (keys, Delay, sound, network) goes through here.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace falatro {

/// Kinds of message carried by the loop; they stand in for the window messages of a desktop program.
enum MessageKind : int {
  kMsgNone = 0,
  kMsgKeyDown,     ///< key: a normalised key-down (vk, modifiers)
  kMsgSysKeyDown,  ///< key: a key-down with Alt held, or F10
  kMsgKeyUp,       ///< key: a key release (only front-ends with key-up events send it)
  kMsgChar,        ///< key: a produced character (cp1252 byte in key.ch)
  kMsgWake,        ///< wakes a wait for messages; carries nothing (the 1123 and 2980 wake-ups)
  kMsgSoundDone,   ///< a sound block finished: a = device id, p = the block
  kMsgFocus,       ///< a = 1 focus gained, 0 lost
  kMsgPaint,       ///< the front-end asks for a repaint of everything
  kMsgResize,      ///< the front-end's size changed
  kMsgClose,       ///< the user closed the window (ends the program through DoneConsole)
  kMsgQuit,        ///< the quit message: a pump that meets it ends the program with code 255
  kMsgUser = 1000, ///< first free kind for units of the program
};

/// Modifier bits of a key event.
enum KeyMod : uint8_t { kModShift = 1, kModCtrl = 2, kModAlt = 4 };

/// A normalised key event from a front-end. vk uses the PC virtual-key numbering
/// (VK_F1 = 0x70, VK_LEFT = 0x25, 'A'..'Z' = 0x41.., '0'..'9' = 0x30.., VK_SPACE = 0x20 ...).
struct KeyEvent {
  uint16_t vk = 0;
  uint8_t mods = 0;  ///< KeyMod bits held at the time of the event
  uint8_t ch = 0;    ///< for kMsgChar: the cp1252 character
};

struct Message {
  int kind = kMsgNone;
  int64_t a = 0;
  int64_t b = 0;
  void* p = nullptr;
  KeyEvent key;
};

/// What a front-end (or the simulated clock) provides: the clock and the blocking wait.
struct LoopBackend {
  virtual ~LoopBackend() = default;
  /// Milliseconds of a monotonic clock.
  virtual uint64_t NowMs() = 0;
  /// Blocks until input arrives (the backend posts what it reads with PostMessage), one of `fds`
  /// becomes readable (its readable flag is set), Wake() is called, or timeout_ms passes
  /// (-1: no limit). May return early; callers loop.
  virtual void Wait(int timeout_ms, const int* fds, bool* readable, int nfds) = 0;
  /// Makes a Wait in progress (or the next one) return. Safe from any thread.
  virtual void Wake() = 0;
};

/// Real clock and poll(2) with a self-pipe: the backend of the headless front-end.
LoopBackend* RealClockBackend();

struct LoopTimer {
  int id;
  uint64_t due_ms;
  std::function<void()> fn;
};

/// A descriptor the loop services during every wait and every dispatch, whatever the program is doing
/// at the time (a connection's socket, read as data arrives).
struct FdWatcher {
  int id;
  int fd;
  std::function<void()> on_ready;  ///< runs on the loop's thread when fd is readable
  std::function<bool()> wanted;    ///< fd is watched only while this says so (empty: always)
};

/// State of the loop (one instance). Tests may inspect it.
struct EventLoopState {
  LoopBackend* backend = nullptr;  ///< never null once used: defaults to RealClockBackend()
  std::mutex posted_mutex;
  std::deque<Message> posted;      ///< messages posted and not yet dispatched
  std::vector<LoopTimer> timers;
  int next_timer_id = 1;
  std::function<void(const Message&)> handler;  ///< the console's message procedure
  int dispatch_depth = 0;
  std::vector<FdWatcher> watchers;
  int next_watcher_id = 1;
  bool servicing_watchers = false;  ///< a watcher runs now (its own waits service no watcher)
};
extern EventLoopState EventLoop;

/// Chooses the backend (front-end or simulated clock). Pending messages and timers are kept.
void SetLoopBackend(LoopBackend* backend);
/// Installs the function that handles dispatched messages (the console's window procedure).
void SetMessageHandler(std::function<void(const Message&)> handler);

/// Milliseconds of the loop's clock (simulated in tests).
uint64_t NowMs();
/// Microseconds of the system's steady clock, whatever backend the loop runs on: for figures measured
/// in real time (a simulated clock would make them meaningless).
uint64_t SteadyMicroseconds();
/// Queues a message and wakes the loop. Safe from any thread.
void PostMessage(const Message& msg);
/// True when a message is waiting to be dispatched.
bool MessagePending();
/// Polls the backend once without blocking (so input already there is read), runs due timers, then
/// dispatches every pending message to the handler (including ones posted while
/// dispatching). Returns the number dispatched.
int DispatchMessages();
/// Waits until a message is pending, a timer is due, or timeout_ms passes (-1: no limit). Dispatches
/// nothing. Returns true when a message or timer is ready.
bool WaitMessage(int timeout_ms = -1);

/// Results of WaitForFd, as bits.
enum WaitResult : int { kWaitTimeout = 0, kWaitFdReady = 1, kWaitMessage = 2 };
/// Waits until fd is readable or timeout_ms passes; with wake_on_message also until a message is
/// pending or a timer is due. Dispatches nothing.
int WaitForFd(int fd, int timeout_ms, bool wake_on_message);
/// Sleeps the whole time (messages arriving meanwhile stay queued; due timers run).
void SleepMs(uint32_t ms);

/// Watches fd during every wait and dispatch of the loop: on_ready runs when fd is readable and wanted()
/// (when given) is true. A wait for fd itself (WaitForFd) leaves fd to its caller. Returns its id.
int AddFdWatcher(int fd, std::function<void()> on_ready, std::function<bool()> wanted = {});
void RemoveFdWatcher(int id);

/// Runs fn on the loop's thread after delay_ms (inside a later wait or dispatch). Returns its id.
int AddTimer(uint64_t delay_ms, std::function<void()> fn);
void CancelTimer(int id);
/// Milliseconds until the next timer (-1 when none).
int NextTimerDelay();

/// A simulated clock for tests: waits return at once and time jumps forward. Scripted messages
/// (keys, for instance) are posted when their time comes. A wait with no limit, no timer and
/// nothing scripted would never end: it fails the test with a clear message instead of hanging.
struct SimulatedBackend : LoopBackend {
  uint64_t now = 0;
  struct Scripted { uint64_t at; Message msg; };
  std::deque<Scripted> script;   ///< kept in time order by Schedule
  uint64_t waits = 0;            ///< how many waits were made (for idle checks)
  uint64_t NowMs() override { return now; }
  void Wait(int timeout_ms, const int* fds, bool* readable, int nfds) override;
  void Wake() override {}
  /// Posts msg when the clock reaches at_ms.
  void Schedule(uint64_t at_ms, const Message& msg);
};

}  // namespace falatro
