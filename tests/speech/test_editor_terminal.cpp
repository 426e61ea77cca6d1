// The line editor end to end in the terminal front-end: a field edited through a real pseudo-terminal
// with keys sent as an xterm sends them, and the screen read back with a terminal emulator.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vterm.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "platform/console/terminal/terminal_frontend.h"
#include "speech/line_editor.h"
#include "speech/sound_device.h"
#include "speech/speech.h"
#include "speech/suite_settings.h"

namespace falatro {
namespace {

// Runs in the child, whose controlling terminal is the pseudo-terminal: edits "abc" at row 3 and
// writes the ending code and the text to result.
[[noreturn]] void EditInTerminal(const std::string& result) {
  setenv("TERM", "xterm", 1);
  unsetenv("COLORTERM");
  InitSuiteSettings();
  OpenSoundDevice("null");
  SetConsoleFrontend(TerminalFrontend());
  Crt.exit_hook = [](int code) { _exit(100 + code); };
  InitConsole();
  ResetLineEditor();
  std::string text = "abc";
  const int code = EditLineSpoken(text, 1, 3, 10, 10);
  {
    std::ofstream out(result);
    out << code << "\n" << text << "\n";
  }
  Crt.Frontend->Close();
  _exit(0);
}

std::string RowText(VTermScreen* screen, int row) {
  std::string s;
  for (int c = 0; c < 80; ++c) {
    VTermScreenCell cell;
    std::memset(&cell, 0, sizeof cell);
    vterm_screen_get_cell(screen, VTermPos{row, c}, &cell);
    s += cell.chars[0] ? static_cast<char>(cell.chars[0]) : ' ';
  }
  return s;
}

TEST(EditorInTerminal, AFieldEditedWithTerminalKeys) {
  char tmpl[] = "/tmp/falatro-editor-tty-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string result = std::string(tmpl) + "/result.txt";
  setenv("NARRIX_WINDIR", tmpl, 1);
  setenv("NARRIX_ROOT", tmpl, 1);

  struct winsize ws = {};
  ws.ws_row = 25;
  ws.ws_col = 80;
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, &ws);
  ASSERT_GE(pid, 0);
  if (pid == 0) EditInTerminal(result);

  VTerm* vt = vterm_new(25, 80);
  vterm_set_utf8(vt, 1);
  VTermScreen* screen = vterm_obtain_screen(vt);
  vterm_screen_reset(screen, 1);
  auto pump = [&](int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      pollfd p = {master, POLLIN, 0};
      const int ready = poll(&p, 1, 10);
      if (ready > 0 && !(p.revents & POLLIN)) {
        // The child has closed the terminal: nothing more will come.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      } else if (ready > 0) {
        char buf[4096];
        const ssize_t n = read(master, buf, sizeof buf);
        if (n > 0) vterm_input_write(vt, buf, static_cast<size_t>(n));
        else if (n <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
  };
  auto send = [&](const std::string& bytes) {
    ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    pump(250);
    if (getenv("EDITOR_TTY_DEBUG")) fprintf(stderr, "[%s]\n", RowText(screen, 2).c_str());
  };

  pump(700);
  EXPECT_EQ(RowText(screen, 2).substr(0, 11), "abc        ");
  // End, "de", Left, Backspace: "abce"; Home, Shift+Right twice, Shift+Delete: "ce"; Enter.
  send("\x1b[F");
  send("d");
  send("e");
  EXPECT_EQ(RowText(screen, 2).substr(0, 6), "abcde ");
  send("\x1b[D");
  send("\x7f");
  send("\x1b[H");
  send("\x1b[1;2C");
  send("\x1b[1;2C");
  send("\x1b[3;2~");
  send("\r");

  int status = -1;
  for (int i = 0; i < 500; ++i) {
    if (waitpid(pid, &status, WNOHANG) == pid) break;
    pump(20);
  }
  pump(100);
  if (!WIFEXITED(status)) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::ifstream in(result);
  std::string code, text;
  std::getline(in, code);
  std::getline(in, text);
  EXPECT_EQ(code, "13");
  EXPECT_EQ(text, "ce");
  EXPECT_EQ(RowText(screen, 2), "ce" + std::string(78, ' '));
  vterm_free(vt);
  close(master);
  std::filesystem::remove_all(tmpl);
}

}  // namespace
}  // namespace falatro
