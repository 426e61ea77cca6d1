// The headless front-end: the console runs on the clock it is given and shows nothing.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <mutex>

#include "base/event_loop.h"
#include "console/console_sound.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "platform/console/headless/headless_frontend.h"

namespace falatro {
namespace {

class Headless : public ::testing::Test {
 protected:
  SimulatedBackend sim;
  void SetUp() override {
    setenv("NARRIX_WINDIR", FALATRO_BINARY_DIR "/test-tmp/headless-no-settings", 1);
    {
      std::lock_guard<std::mutex> lock(EventLoop.posted_mutex);
      EventLoop.posted.clear();
    }
    Crt.Frontend = nullptr;
    ResetConsoleState();
    ResetKeyboardState();
    falatro::Headless = HeadlessState{};
    Crt.exit_hook = [](int code) { throw ConsoleExit{code}; };
    SetConsoleFrontend(HeadlessFrontend(&sim));
  }
  void TearDown() override {
    Crt.Frontend = nullptr;
    ResetConsoleState();
  }
};

TEST_F(Headless, TheConsoleWaitsOnTheGivenClock) {
  InitConsole();
  EXPECT_TRUE(falatro::Headless.open);
  EXPECT_EQ(EventLoop.backend, &sim);
  uint64_t start = NowMs();
  Delay(5000);
  EXPECT_EQ(NowMs() - start, 5000u);
}

TEST_F(Headless, KeysPostedAsEventsAreRead) {
  sim.Schedule(300, [] {
    Message m;
    m.kind = kMsgChar;
    m.key.ch = 'h';
    return m;
  }());
  EXPECT_EQ(ReadKey(), 'h');
  EXPECT_FALSE(falatro::Headless.caret_visible);
}

TEST_F(Headless, TitleBeepAndClipboardUseTheProgramsOwnState) {
  SetConsoleTitle("Falatro");
  InitConsole();
  EXPECT_EQ(falatro::Headless.title, "Falatro");
  SetConsoleSoundSink(nullptr);
  ConsoleWrite("\a");
  EXPECT_EQ(falatro::Headless.beeps, 1);
  CopyToClipboard("abc");
  char buf[8];
  PasteFromClipboard(buf, sizeof buf);
  EXPECT_STREQ(buf, "abc");
}

TEST_F(Headless, DoneConsoleClosesIt) {
  InitConsole();
  EXPECT_THROW(DoneConsole(), ConsoleExit);
  EXPECT_FALSE(falatro::Headless.open);
}

}  // namespace
}  // namespace falatro
