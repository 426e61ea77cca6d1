// The terminal front-end end to end: a child process drives it on a real pseudo-terminal, and the
// test reads back the keys the program received and what an emulator shows.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "console/frontend.h"
#include "platform/console/terminal/terminal_frontend.h"
#include "terminal_test_support.h"

namespace falatro::testing {
namespace {

using Clock = std::chrono::steady_clock;

// A child running body(report_fd) with the terminal front-end on a pty of cols x rows.
class PtyRun {
 public:
  PtyRun(int cols, int rows, bool truecolor, std::function<void(int)> body) : vt(rows, cols) {
    int report[2];
    if (pipe(report) != 0) throw std::runtime_error("pipe");
    struct winsize ws = {};
    ws.ws_col = static_cast<unsigned short>(cols);
    ws.ws_row = static_cast<unsigned short>(rows);
    pid = forkpty(&master, nullptr, nullptr, &ws);
    if (pid < 0) throw std::runtime_error("forkpty");
    if (pid == 0) {
      close(report[0]);
      struct rlimit no_core = {0, 0};
      setrlimit(RLIMIT_CORE, &no_core);
      std::string windir = std::string(FALATRO_BINARY_DIR) + "/test-tmp/pty-no-settings";
      setenv("NARRIX_WINDIR", windir.c_str(), 1);
      setenv("TERM", "xterm-256color", 1);
      if (truecolor) setenv("COLORTERM", "truecolor", 1);
      else unsetenv("COLORTERM");
      ResetConsoleForTest();
      Crt.exit_hook = [](int code) { _exit(code); };
      SetConsoleFrontend(TerminalFrontend());
      body(report[1]);
      _exit(0);
    }
    close(report[1]);
    report_fd = report[0];
    fcntl(master, F_SETFL, O_NONBLOCK);
    fcntl(report_fd, F_SETFL, O_NONBLOCK);
  }

  ~PtyRun() {
    if (!reaped) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    close(master);
    close(report_fd);
  }

  // Reads what is there for up to ms milliseconds; returns when pred holds (checked as data comes).
  bool PumpUntil(const std::function<bool()>& pred, int ms) {
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      if (pred()) return true;
      int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
      if (left <= 0) return pred();
      struct pollfd p[2] = {{master, POLLIN, 0}, {report_fd, POLLIN, 0}};
      poll(p, master_open ? 2 : 1, std::min(left, 20));
      ReadAvailable();
    }
  }

  // Reads until the terminal has been quiet for quiet_ms.
  void PumpQuiet(int quiet_ms = 150) {
    for (;;) {
      size_t before = output.size();
      PumpUntil([] { return false; }, quiet_ms);
      if (output.size() == before) return;
    }
  }

  void Send(std::string_view bytes) {
    ssize_t n = write(master, bytes.data(), bytes.size());
    ASSERT_EQ(n, static_cast<ssize_t>(bytes.size()));
  }

  // Waits for the child to end (reading its output meanwhile); returns the wait status.
  int Wait(int ms = 5000) {
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    int status = 0;
    while (Clock::now() < end) {
      pid_t r = waitpid(pid, &status, WNOHANG);
      if (r == pid) {
        reaped = true;
        ReadAvailable();
        return status;
      }
      PumpUntil([] { return false; }, 10);
    }
    ADD_FAILURE() << "the child did not end";
    return -1;
  }

  // The pty's modes, as the next program on this terminal would find them.
  struct termios Modes() const {
    struct termios t = {};
    tcgetattr(master, &t);
    return t;
  }

  VtScreen vt;
  std::string output;  // every byte the program wrote to the terminal
  std::string report;  // every byte the program reported
  int master = -1;
  pid_t pid = -1;

 private:
  void ReadAvailable() {
    char buf[8192];
    ssize_t n;
    while (master_open && (n = read(master, buf, sizeof buf)) != 0) {
      if (n < 0) {
        if (errno != EAGAIN && errno != EINTR) master_open = false;
        break;
      }
      output.append(buf, n);
      vt.Feed(std::string_view(buf, n));
    }
    while ((n = read(report_fd, buf, sizeof buf)) > 0) report.append(buf, n);
  }

  int report_fd = -1;
  bool reaped = false;
  bool master_open = true;
};

void ReportKeysForever(int report) {
  InitConsole();
  uint8_t ready = 0xAA;
  ssize_t r = write(report, &ready, 1);
  (void)r;
  for (;;) {
    uint8_t k = ReadKey();
    r = write(report, &k, 1);
  }
}

bool Restored(const PtyRun& run) {
  size_t enter = run.output.find("\x1b[?1049h");
  size_t leave = run.output.rfind("\x1b[?1049l");
  struct termios t = run.Modes();
  return enter != std::string::npos && leave != std::string::npos && leave > enter && (t.c_lflag & ICANON) &&
         (t.c_lflag & ECHO);
}

std::string B(std::initializer_list<int> b) {
  std::string s;
  for (int v : b) s += static_cast<char>(v);
  return s;
}

struct PtyKeyCase {
  const char* what;
  std::vector<std::string> chunks;  // written with a short pause between them
  std::string codes;
};

TEST(TerminalPty, KeyBytesInKeyCodesOut) {
  const PtyKeyCase cases[] = {
      {"F1", {"\x1bOP"}, B({0, 59})},
      {"Ctrl+F12", {"\x1b[24;5~"}, B({0, 105})},
      {"Ctrl+Up", {"\x1b[1;5A"}, B({0, 113})},
      {"Shift+Insert", {"\x1b[2;2~"}, B({0, 254})},
      {"Home on the Linux console", {"\x1b[1~"}, B({0, 71})},
      {"Alt+q", {"\x1bq"}, B({0, 16})},
      {"Alt+5", {"\x1b" "5"}, B({0, 124})},
      {"a lone Esc after the delay", {"\x1b"}, "\x1b"},
      {"a sequence split across writes", {"\x1b[2", "4;5~"}, B({0, 105})},
      {"UTF-8 letters", {"\xc3\xa7\xc3\xa3"}, "\xe7\xe3"},
      {"Enter, Ctrl+Enter, Backspace, Ctrl+Backspace", {"\r\n\x7f\x08"}, "\r\n\b\x7f"},
      {"Ctrl+C and Ctrl+Z are keys, not signals", {"\x03\x1a"}, "\x03\x1a"},
      {"an unknown sequence is dropped whole", {"\x1b[99;9~k"}, "k"},
      {"invalid UTF-8 is dropped", {"\xff\xfe" "k"}, "k"},
  };
  PtyRun run(80, 25, false, ReportKeysForever);
  ASSERT_TRUE(run.PumpUntil([&] { return run.report.size() >= 1; }, 5000));
  run.report.clear();
  for (const PtyKeyCase& c : cases) {
    SCOPED_TRACE(c.what);
    run.report.clear();
    for (size_t i = 0; i < c.chunks.size(); ++i) {
      if (i > 0) run.PumpUntil([] { return false; }, 15);
      run.Send(c.chunks[i]);
    }
    run.PumpUntil([&] { return run.report.size() >= c.codes.size(); }, 3000);
    run.PumpUntil([] { return false; }, 120);  // nothing more may come
    EXPECT_EQ(run.report, c.codes);
  }
  kill(run.pid, SIGTERM);
  int status = run.Wait();
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_TRUE(Restored(run));
}

TEST(TerminalPty, AKeyFloodKeepsTheQueueBounds) {
  PtyRun run(80, 25, false, [](int report) {
    InitConsole();
    uint8_t ready = 0xAA;
    ssize_t r = write(report, &ready, 1);
    Delay(1500);  // keys arrive while the program is busy
    std::string got;
    while (KeyPressed()) got += static_cast<char>(ReadKey());
    r = write(report, got.data(), got.size());
    (void)r;
    DoneConsole();
  });
  ASSERT_TRUE(run.PumpUntil([&] { return run.report.size() >= 1; }, 5000));
  std::string flood;
  for (int i = 0; i < 400; ++i) flood += "ab\x1b[A";
  run.Send(flood);
  int status = run.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::string got = run.report.substr(1);
  ASSERT_EQ(got.size(), 64u);
  EXPECT_EQ(got.substr(0, 4), B({'a', 'b', 0, 72}));
  EXPECT_TRUE(Restored(run));
}

void DrawScene(int report) {
  InitConsole();
  for (int c = 0; c < 16; ++c) {
    TextColor(c);
    TextBackground((c + 3) % 16);
    ConsoleWrite("cor " + std::to_string(c) + " \xE7\xE3\x80\xE9 ");
  }
  ConsoleWriteLn();
  for (int i = 0; i < 30; ++i) {
    TextColor(i % 16);
    TextBackground(i % 7);
    ConsoleWriteLn("linha " + std::to_string(i) + std::string(i * 2, '.'));
  }
  Window(30, 5, 50, 10);
  TextBackground(1);
  for (int i = 0; i < 9; ++i) ConsoleWriteLn("janela " + std::to_string(i));
  Window(1, 1, 80, 25);
  GotoXY(5, 25);
  TextColor(14);
  ConsoleWrite("fim \xAB\xBB");
  ssize_t r = write(report, Crt.ScreenBuffer, ScreenCells);
  r = write(report, Crt.AttrBuffer, ScreenCells);
  r = write(report, Crt.Palette, 16);
  (void)r;
  ReadKey();
  DoneConsole();
}

class TerminalPtyScreen : public ::testing::TestWithParam<bool> {};

TEST_P(TerminalPtyScreen, TheEmulatorShowsExactlyTheBuffer) {
  bool truecolor = GetParam();
  PtyRun run(80, 25, truecolor, DrawScene);
  ASSERT_TRUE(run.PumpUntil([&] { return run.report.size() >= 2 * ScreenCells + 16; }, 10000));
  run.PumpQuiet();
  std::memcpy(Crt.ScreenBuffer, run.report.data(), ScreenCells);
  std::memcpy(Crt.AttrBuffer, run.report.data() + ScreenCells, ScreenCells);
  std::memcpy(Crt.Palette, run.report.data() + 2 * ScreenCells, 16);
  EXPECT_EQ(CompareWithBuffer(run.vt, truecolor), "");
  VTermPos pos = run.vt.Cursor();  // the cursor rests where the program's cursor is
  EXPECT_EQ(pos.row, 24);
  EXPECT_EQ(pos.col, 10);
  run.Send("x");
  int status = run.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(Restored(run));
  ResetConsoleState();
}

INSTANTIATE_TEST_SUITE_P(Colours, TerminalPtyScreen, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "TrueColour" : "SixteenColours"; });

TEST(TerminalPty, ASmallTerminalIsToldThenTheScreenAppearsOnResize) {
  PtyRun run(60, 20, false, [](int report) {
    InitConsole();
    ConsoleWrite("texto do programa");
    uint8_t ready = 0xAA;
    ssize_t r = write(report, &ready, 1);
    (void)r;
    ReadKey();
    DoneConsole();
  });
  ASSERT_TRUE(run.PumpUntil([&] { return run.report.size() >= 1; }, 5000));
  run.PumpQuiet();
  EXPECT_EQ(run.vt.Row(0).substr(0, 40), "Este terminal tem 60 colunas e 20 linhas");
  struct winsize ws = {};
  ws.ws_col = 80;
  ws.ws_row = 25;
  ioctl(run.master, TIOCSWINSZ, &ws);
  run.vt.Resize(25, 80);
  run.PumpQuiet(300);
  EXPECT_EQ(run.vt.Row(0).substr(0, 20), "texto do programa   ");
  run.Send("q");
  int status = run.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(TerminalPty, BrailleModesAreRefusedAndTheTerminalSaysSo) {
  PtyRun run(80, 26, false, ReportKeysForever);
  ASSERT_TRUE(run.PumpUntil([&] { return run.report.size() >= 1; }, 5000));
  run.report.clear();
  run.Send("\x1b[23;7~");  // Ctrl+Alt+F11
  run.PumpQuiet(300);
  EXPECT_NE(run.vt.Row(25).find("Braille"), std::string::npos) << run.vt.Row(25);
  run.Send("fd");
  run.PumpUntil([&] { return run.report.size() >= 2; }, 3000);
  EXPECT_EQ(run.report, "fd");  // letters still type as letters
}

struct SignalCase {
  const char* what;
  int sig;
};

TEST(TerminalPty, TheTerminalIsRestoredOnEveryWayOut) {
  const SignalCase cases[] = {
      {"SIGINT", SIGINT}, {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP},
      {"SIGQUIT", SIGQUIT}, {"SIGSEGV sent by someone", SIGSEGV}, {"SIGABRT", SIGABRT},
  };
  for (const SignalCase& c : cases) {
    SCOPED_TRACE(c.what);
    PtyRun run(80, 25, false, ReportKeysForever);
    ASSERT_TRUE(run.PumpUntil([&] { return run.report.size() >= 1; }, 5000));
    kill(run.pid, c.sig);
    int status = run.Wait();
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(Restored(run));
  }
}

TEST(TerminalPty, TheTerminalIsRestoredOnACrashAndOnAPlainExit) {
  {
    SCOPED_TRACE("a fault in the program");
    PtyRun run(80, 25, false, [](int) {
      InitConsole();
      // A page that may not be touched: a real fault, which no sanitizer check catches first.
      void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      *static_cast<volatile int*>(page) = 1;
    });
    run.Wait();
    EXPECT_TRUE(Restored(run));
  }
  {
    SCOPED_TRACE("exit without DoneConsole");
    PtyRun run(80, 25, false, [](int) {
      InitConsole();
      std::exit(3);
    });
    int status = run.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3);
    EXPECT_TRUE(Restored(run));
  }
  {
    SCOPED_TRACE("a quit message ends with 255");
    PtyRun run(80, 25, false, [](int) {
      InitConsole();
      Message quit;
      quit.kind = kMsgQuit;
      PostMessage(quit);
      ProcessMessages();
    });
    int status = run.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 255);
    EXPECT_TRUE(Restored(run));
  }
}

TEST(TerminalPty, CopyingSetsTheTerminalsClipboardAndPasteGoesToTheProgramsBuffer) {
  PtyRun run(80, 25, false, [](int report) {
    InitConsole();
    CopyToClipboard("Ol\xE1");
    uint8_t ready = 0xAA;
    ssize_t r = write(report, &ready, 1);
    ReadKey();  // the paste arrives, then this key
    char buf[64];
    PasteFromClipboard(buf, sizeof buf);
    r = write(report, buf, std::strlen(buf));
    (void)r;
    DoneConsole();
  });
  ASSERT_TRUE(run.PumpUntil([&] { return run.report.size() >= 1; }, 5000));
  EXPECT_NE(run.output.find("\x1b]52;c;T2zDoQ==\a"), std::string::npos);
  run.Send("\x1b[200~colado \xc3\xa9\x1b[201~");
  run.PumpUntil([] { return false; }, 100);
  run.Send("k");
  int status = run.Wait();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(run.report.substr(1), "colado \xE9");
}

}  // namespace
}  // namespace falatro::testing
