// The program started without a front-end option: in a window when a display is there, in the
// terminal when there is none.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "pty_program.h"
#include "xvfb_server.h"

namespace falatro {
namespace {

constexpr std::string_view kTerminalTakenOver = "\x1b[?1049h";  // the terminal front-end's first screen

class FrontendChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/falatro-choice-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
  }
  void TearDown() override {
    if (child_ > 0) {
      kill(child_, SIGKILL);
      waitpid(child_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
    std::filesystem::remove_all(root_);
  }
  // Starts the program with no option on a pseudo-terminal; display is DISPLAY's value or empty.
  void Start(const std::string& display) {
    std::vector<std::string> env = {"TERM=xterm-256color", "FALATRO_AUDIO=null", "HOME=" + root_,
                                    "NARRIX_WINDIR=" + root_ + "/win", "NARRIX_ROOT=" + root_ + "/root",
                                    "PATH=/usr/bin:/bin"};
    if (!display.empty()) env.push_back("DISPLAY=" + display);
    child_ = testsupport::StartOnPty({std::string(FALATRO_BINARY_DIR) + "/falatro"}, env, 80, 25, &master_);
    ASSERT_GT(child_, 0);
  }
  // Reads what the program writes to its terminal for ms, or until it wrote text.
  bool TerminalReceives(std::string_view text, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      char buf[4096];
      const ssize_t n = read(master_, buf, sizeof buf);
      if (n <= 0) break;
      output_.append(buf, static_cast<size_t>(n));
      if (output_.find(text) != std::string::npos) return true;
    }
    return output_.find(text) != std::string::npos;
  }

  std::string root_;
  std::string output_;
  pid_t child_ = -1;
  int master_ = -1;
};

TEST_F(FrontendChoice, WithoutADisplayTheTerminalIsUsed) {
  unsetenv("DISPLAY");
  Start("");
  EXPECT_TRUE(TerminalReceives(kTerminalTakenOver, 10000)) << "the program drew nothing on its terminal";
}

TEST_F(FrontendChoice, UnderADisplayTheWindowIsUsed) {
  XvfbServer x;
  ASSERT_TRUE(x.Start(1024, 768)) << x.Error;
  Start(":" + std::to_string(x.Display));
  bool window = false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!window && std::chrono::steady_clock::now() < end) {
    window = RunXTool({"xdotool", "search", "--onlyvisible", "--name", "falatro"}) == 0;
    if (!window) TerminalReceives(kTerminalTakenOver, 200);
  }
  EXPECT_TRUE(window) << "no window of the program appeared";
  EXPECT_FALSE(TerminalReceives(kTerminalTakenOver, 500)) << "the program took the terminal too";
}

}  // namespace
}  // namespace falatro
