// The window's loop backend: SDL's wait woken from other threads, by readable descriptors and timeouts.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "base/event_loop.h"
#include "platform/console/window/window_loop.h"

namespace falatro {
namespace {

uint64_t Ms() { return WinLoop.Backend.NowMs(); }

// SDL's event queue works without a display, so the backend is tested on its own.
class WindowLoop : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0) << SDL_GetError();
    std::string error;
    ASSERT_TRUE(StartWindowLoop(&error)) << error;
    ASSERT_EQ(pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
    SetLoopBackend(&WinLoop.Backend);
  }
  void TearDown() override {
    SetLoopBackend(nullptr);
    StopWindowLoop();
    SDL_QuitSubSystem(SDL_INIT_EVENTS);
    close(fds[0]);
    close(fds[1]);
    std::lock_guard<std::mutex> lock(EventLoop.posted_mutex);
    EventLoop.posted.clear();
  }
  void WriteLater(int ms) {
    later = std::thread([this, ms] {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      ASSERT_EQ(write(fds[1], "x", 1), 1);
    });
  }
  int fds[2] = {-1, -1};
  std::thread later;
};

TEST_F(WindowLoop, AWakeFromAnotherThreadEndsAWait) {
  std::thread waker([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    WinLoop.Backend.Wake();
  });
  uint64_t start = Ms();
  WinLoop.Backend.Wait(10000, nullptr, nullptr, 0);
  EXPECT_LT(Ms() - start, 5000u);
  waker.join();
}

TEST_F(WindowLoop, AWakeBeforeTheWaitMakesItReturnAtOnce) {
  WinLoop.Backend.Wake();
  WinLoop.Backend.Wake();  // several make one
  uint64_t start = Ms();
  WinLoop.Backend.Wait(10000, nullptr, nullptr, 0);
  EXPECT_LT(Ms() - start, 5000u);
  // The next wait blocks again until its time-out.
  start = Ms();
  WinLoop.Backend.Wait(100, nullptr, nullptr, 0);
  EXPECT_GE(Ms() - start, 90u);
}

TEST_F(WindowLoop, AWaitWithNothingToDoLastsItsTimeOutAndZeroDoesNotBlock) {
  uint64_t start = Ms();
  WinLoop.Backend.Wait(0, nullptr, nullptr, 0);
  EXPECT_LT(Ms() - start, 1000u);
  start = Ms();
  bool readable = false;
  WinLoop.Backend.Wait(120, &fds[0], &readable, 1);
  EXPECT_GE(Ms() - start, 110u);
  EXPECT_FALSE(readable);
}

TEST_F(WindowLoop, AnFdThatBecomesReadableEndsTheWait) {
  WriteLater(50);
  bool readable = false;
  uint64_t start = Ms();
  WinLoop.Backend.Wait(10000, &fds[0], &readable, 1);
  EXPECT_LT(Ms() - start, 5000u);
  EXPECT_TRUE(readable);
  later.join();
  // Already readable: the next wait returns at once, and the watcher does not flood SDL's queue.
  uint64_t wakeups = WinLoop.FdWakeups;
  for (int i = 0; i < 20; ++i) {
    readable = false;
    WinLoop.Backend.Wait(10000, &fds[0], &readable, 1);
    EXPECT_TRUE(readable);
  }
  EXPECT_EQ(WinLoop.FdWakeups, wakeups);
}

TEST_F(WindowLoop, TheProgramsWaitsUseIt) {
  WriteLater(50);
  EXPECT_EQ(WaitForFd(fds[0], 10000, false), kWaitFdReady);
  later.join();
  char c;
  ASSERT_EQ(read(fds[0], &c, 1), 1);

  std::thread poster([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    Message m;
    m.kind = kMsgSoundDone;
    PostMessage(m);
  });
  uint64_t start = Ms();
  EXPECT_TRUE(WaitMessage(10000));
  EXPECT_LT(Ms() - start, 5000u);
  poster.join();
  EXPECT_EQ(WaitForFd(fds[0], 10000, true), kWaitMessage);
}

TEST_F(WindowLoop, AfterStoppingWaitsStillWork) {
  StopWindowLoop();
  WriteLater(50);
  bool readable = false;
  WinLoop.Backend.Wait(10000, &fds[0], &readable, 1);
  EXPECT_TRUE(readable);
  later.join();
  uint64_t start = Ms();
  std::thread waker([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    WinLoop.Backend.Wake();
  });
  WinLoop.Backend.Wait(10000, nullptr, nullptr, 0);
  EXPECT_LT(Ms() - start, 5000u);
  waker.join();
}

}  // namespace
}  // namespace falatro
