// The loop's waits, timers and simulated clock, on which every other unit's waiting is tested.
#include <gtest/gtest.h>

#include <unistd.h>

#include <thread>
#include <vector>

#include "base/event_loop.h"

namespace falatro {
namespace {

struct LoopTest : testing::Test {
  SimulatedBackend sim;
  std::vector<int> seen;
  void SetUp() override {
    EventLoop.posted.clear();
    EventLoop.timers.clear();
    SetLoopBackend(&sim);
    SetMessageHandler([this](const Message& m) { seen.push_back(m.kind); });
  }
  void TearDown() override {
    SetLoopBackend(nullptr);
    SetMessageHandler(nullptr);
  }
};

TEST_F(LoopTest, SleepJumpsTheClockAndRunsTimersOnTheWay) {
  int fired_at = -1;
  AddTimer(30, [&] { fired_at = static_cast<int>(NowMs()); });
  SleepMs(100);
  EXPECT_EQ(NowMs(), 100u);
  EXPECT_EQ(fired_at, 30);
  EXPECT_TRUE(seen.empty()) << "sleeping dispatches nothing";
}

TEST_F(LoopTest, WaitMessageWakesOnScriptedMessageAndKeepsItQueued) {
  Message m;
  m.kind = kMsgChar;
  sim.Schedule(250, m);
  EXPECT_TRUE(WaitMessage(-1));
  EXPECT_EQ(NowMs(), 250u);
  EXPECT_TRUE(MessagePending());
  EXPECT_EQ(DispatchMessages(), 1);
  EXPECT_EQ(seen, std::vector<int>{kMsgChar});
}

TEST_F(LoopTest, WaitMessageTimesOut) {
  EXPECT_FALSE(WaitMessage(40));
  EXPECT_EQ(NowMs(), 40u);
}

TEST_F(LoopTest, TimerWakesAWaitWithoutLimit) {
  bool fired = false;
  AddTimer(15, [&] { fired = true; });
  EXPECT_TRUE(WaitMessage(-1));
  EXPECT_EQ(NowMs(), 15u);
  DispatchMessages();
  EXPECT_TRUE(fired);
}

TEST_F(LoopTest, CancelledTimerNeverRuns) {
  bool fired = false;
  int id = AddTimer(10, [&] { fired = true; });
  CancelTimer(id);
  SleepMs(50);
  EXPECT_FALSE(fired);
  EXPECT_EQ(NextTimerDelay(), -1);
}

TEST_F(LoopTest, WaitForFdSeesReadableDescriptorAndMessages) {
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  EXPECT_EQ(WaitForFd(p[0], 20, false), kWaitTimeout);
  ASSERT_EQ(write(p[1], "x", 1), 1);
  EXPECT_EQ(WaitForFd(p[0], 20, false), kWaitFdReady);
  char c;
  ASSERT_EQ(read(p[0], &c, 1), 1);
  Message m;
  m.kind = kMsgWake;
  sim.Schedule(NowMs() + 5, m);
  EXPECT_EQ(WaitForFd(p[0], 20, true), kWaitMessage) << "wakes on a message when asked";
  close(p[0]);
  close(p[1]);
}

TEST(RealLoop, PostFromAnotherThreadWakesTheWait) {
  SetLoopBackend(nullptr);
  EventLoop.posted.clear();
  std::thread t([] {
    Message m;
    m.kind = kMsgSoundDone;
    PostMessage(m);
  });
  EXPECT_TRUE(WaitMessage(5000));
  t.join();
  int kind = 0;
  SetMessageHandler([&](const Message& m) { kind = m.kind; });
  DispatchMessages();
  EXPECT_EQ(kind, kMsgSoundDone);
  SetMessageHandler(nullptr);
}

}  // namespace
}  // namespace falatro
