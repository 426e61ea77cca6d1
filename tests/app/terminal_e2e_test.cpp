// End-to-end run of the program itself in the terminal front-end, through a real pseudo-terminal
// read back by a terminal emulator library, against Debian's ngircd.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vterm.h>

#include <chrono>
#include <functional>

#include "app_fixture.h"
#include "base/text_encoding.h"
#include "irc_peer.h"
#include "irc_server_fixture.h"
#include "pty_program.h"

extern char** environ;

namespace falatro {
namespace {

using apptest::IrcPeer;
using apptest::NgircdServer;
using apptest::RecordingRelay;

class TerminalEndToEnd : public apptest::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    ASSERT_TRUE(server_.StartOnFreeAddress(root_, "senha", 120, &server_address_)) << server_.Log();
    ASSERT_TRUE(relay_.StartOnFreeAddress(server_address_, &relay_address_));
    WriteFile(narrix_root_ + "/falatro.ini",
              "[Falatro]\r\nServidor=" + relay_address_ + "\r\nNick=cliente\r\nSenha=senha\r\n");
    ASSERT_TRUE(peer_.Login(server_address_, apptest::kTestIrcPort, "amigo", "senha"));
    vt_ = vterm_new(25, 80);
    vterm_set_utf8(vt_, 1);
    vterm_output_set_callback(
        vt_, [](const char* s, size_t len, void* user) {
          // Answers to the program's terminal queries go back to it.
          (void)!write(*static_cast<int*>(user), s, len);
        },
        &master_);
    screen_ = vterm_obtain_screen(vt_);
    vterm_screen_reset(screen_, 1);
  }
  void TearDown() override {
    if (child_ > 0) {
      kill(child_, SIGKILL);
      waitpid(child_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
    if (vt_) vterm_free(vt_);
    peer_.Close();
    server_.Stop();
    AppFixture::TearDown();
  }

  void Start() {
    std::vector<std::string> env = {"TERM=xterm-256color", "FALATRO_AUDIO=file:" + root_ + "/ouvido.wav",
                                    "NARRIX_WINDIR=" + win_, "NARRIX_ROOT=" + narrix_root_,
                                    "HOME=" + root_, "PATH=/usr/bin:/bin"};
    child_ = testsupport::StartOnPty({std::string(FALATRO_BINARY_DIR) + "/falatro", "--terminal"}, env, 80,
                                     25, &master_);
    ASSERT_GE(child_, 0);
  }
  // Feeds what the program drew into the emulator, for up to ms.
  void Pump(int ms) {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return;
    char buf[8192];
    ssize_t n = read(master_, buf, sizeof buf);
    if (n > 0) vterm_input_write(vt_, buf, static_cast<size_t>(n));
  }
  // The emulator's screen as cp1252 rows.
  std::string Screen() {
    std::string out;
    for (int row = 0; row < 25; ++row) {
      std::string line;
      for (int col = 0; col < 80; ++col) {
        VTermScreenCell cell;
        vterm_screen_get_cell(screen_, VTermPos{row, col}, &cell);
        const uint32_t cp = cell.chars[0] ? cell.chars[0] : ' ';
        const int b = UnicodeToCp1252(cp);
        line.push_back(b < 0 ? '?' : static_cast<char>(b));
      }
      while (!line.empty() && line.back() == ' ') line.pop_back();
      out += line + "\n";
    }
    return out;
  }
  // Pumps until ready() holds or ms pass.
  bool Until(const std::function<bool()>& ready, int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      Pump(20);
      peer_.Pump();
      if (ready()) return true;
    }
    return ready();
  }
  bool Shows(const std::string& text) { return Screen().find(text) != std::string::npos; }
  // The last line drawn starts with text (the menu waits on its question there; keys typed before
  // the question are dropped by the menu).
  bool LastLineStartsWith(const std::string& text) {
    std::string screen = Screen();
    while (!screen.empty() && screen.back() == '\n') screen.pop_back();
    const size_t start = screen.rfind('\n');
    return screen.compare(start == std::string::npos ? 0 : start + 1, text.size(), text) == 0;
  }
  void Type(const std::string& bytes) { ASSERT_EQ(write(master_, bytes.data(), bytes.size()), (ssize_t)bytes.size()); }

  std::string server_address_, relay_address_;
  NgircdServer server_;
  RecordingRelay relay_;
  IrcPeer peer_;
  VTerm* vt_ = nullptr;
  VTermScreen* screen_ = nullptr;
  int master_ = -1;
  pid_t child_ = -1;
};

TEST_F(TerminalEndToEnd, LogsInHearsAPrivateMessageAndQuits) {
  Start();
  const std::string prompt = "Qual sua op\xE7\xE3o?";
  ASSERT_TRUE(Until([&] { return Shows(prompt); }, 15000)) << Screen();
  EXPECT_TRUE(Shows("Falatro - Versao 1.4 Beta"));
  Type("c");
  ASSERT_TRUE(relay_.WaitForClientLine("MandandoComandoInvalido", 10000));
  ASSERT_TRUE(Until([&] { return Shows("End of MOTD command") && LastLineStartsWith(prompt); }, 10000))
      << Screen();
  const std::vector<std::string> expected = {"pass senha", "nick cliente",
                                             "USER cliente Falatro " + relay_address_ + " :cliente21",
                                             "IDENTIFY senha", "MandandoComandoInvalido"};
  std::vector<std::string> sent = relay_.ClientLines();
  sent.resize(std::min<size_t>(sent.size(), 5));
  EXPECT_EQ(sent, expected);
  peer_.Privmsg("cliente", "bom dia, cora\xC3\xA7\xC3\xA3o");
  EXPECT_TRUE(Until([&] { return Shows("amigo(PVT). bom dia, cora\xE7\xE3o"); }, 10000)) << Screen();
  // Said while the menu waited: the menu still waits for its key, on the line after the message.
  Type("\x1b");
  Until([] { return false; }, 300);  // a lone Esc is told from a key sequence by a short pause
  Type("S");
  int status = -1;
  const bool ended = Until([&] { return waitpid(child_, &status, WNOHANG) == child_; }, 10000);
  ASSERT_TRUE(ended) << Screen();
  child_ = -1;
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace falatro
