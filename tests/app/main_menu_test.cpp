// Tests of start-up and the main menu on a simulated clock: banner and credits, the keys of the menu,
// the quit confirmation, and server lines read while the menu waits.
#include "app/main_menu.h"
#include "app/program_options.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/client_state.h"
#include "app/server_link.h"
#include "app/prompt_catalogue.h"
#include "app_fixture.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "net/transport.h"
#include "speech/speech.h"

namespace falatro {
namespace {

std::string Trimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

class MainMenuTest : public apptest::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    Menu = MainMenuState{};
    WriteFile(narrix_root_ + "/falatro.ini", "[Falatro]\r\nServidor=127.0.0.1\r\nNick=eu\r\nSenha=x\r\n");
  }
  void TearDown() override {
    if (pair_[0] >= 0) {
      Client.ServerSocket = 0;
      close(pair_[0]);
      close(pair_[1]);
    }
    AppFixture::TearDown();
  }
  // Runs the start-up and the menu until the program ends; returns the exit code.
  int Run() {
    try {
      InitClient();
      MainMenu();
    } catch (const ConsoleExit& e) {
      return e.code;
    }
    return -1;
  }
  // A connection whose server end the test holds.
  void FakeConnection() {
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair_), 0);
    Client.ServerSocket = pair_[0];
    StartServerReading(pair_[0]);
    Client.LocalAddress = "127.0.0.9";
    Client.Nickname = "eu";
  }
  void ServerSends(const std::string& bytes) { ASSERT_EQ(write(pair_[1], bytes.data(), bytes.size()), (ssize_t)bytes.size()); }
  std::string ServerReceived() {
    std::string out;
    char buf[512];
    ssize_t n;
    while ((n = recv(pair_[1], buf, sizeof buf, MSG_DONTWAIT)) > 0) out.append(buf, n);
    return out;
  }
  bool ScreenHas(const std::string& text) { return Screen().find(text) != std::string::npos; }
  int Count(const std::string& text) {
    int n = 0;
    for (size_t at = Screen().find(text); at != std::string::npos; at = Screen().find(text, at + 1)) ++n;
    return n;
  }
  int pair_[2] = {-1, -1};
};

TEST_F(MainMenuTest, BannerCreditsAndVersion) {
  TypeAt(1000, "\x1bS");
  EXPECT_EQ(Run(), 0);
  for (int row = 1; row <= 6; ++row) {
    std::string left(reinterpret_cast<const char*>(Crt.ScreenBuffer) + (row - 1) * ScreenCols, 48);
    EXPECT_EQ(left, kBannerLines[row - 1]) << row;
    EXPECT_EQ(Crt.AttrBuffer[(row - 1) * ScreenCols] >> 4, 1) << "blue background, row " << row;
    EXPECT_EQ(Crt.AttrBuffer[(row - 1) * ScreenCols + 60] >> 4, 0) << "credits on black, row " << row;
  }
  EXPECT_EQ(Row(1).substr(51, 17), "Desenvolvido por ");
  EXPECT_EQ(Row(3).substr(57), "Colabora\xE7\xF5" "es:");
  EXPECT_NE(Row(4).find("(Voz)", 51), std::string::npos);
  EXPECT_NE(Row(5).find("( Programa\xE7\xE3o)", 51), std::string::npos);
  EXPECT_NE(Row(6).find("(Testes)", 51), std::string::npos);
  EXPECT_EQ(Row(7), "Falatro - Versao 1.4 Beta");
  EXPECT_EQ(Crt.Title, "Falatro");
  EXPECT_EQ(Crt.TextWindow.Top, 7) << "the menu uses rows 8 to 24";
  EXPECT_EQ(Crt.TextWindow.Bottom, 23);
  EXPECT_EQ(Row(8), "Qual sua op\xE7\xE3o?");
  EXPECT_EQ(Row(9), "Confirma Fim?");
  EXPECT_EQ(Row(10), "Tchau!");
}

TEST_F(MainMenuTest, SettingsAreReadAtStartUp) {
  TypeAt(1000, "\x1bs");
  EXPECT_EQ(Run(), 0) << "a small s confirms too";
  EXPECT_EQ(Client.ServerName, "127.0.0.1");
  EXPECT_EQ(Client.Nickname, "eu");
  EXPECT_EQ(Client.ServerPort, 6667);
  EXPECT_FALSE(Speech.SpeakPunctuationMarks);
}

TEST_F(MainMenuTest, Keys) {
  struct Case { const char* what; std::string keys; std::string expected_text; };
  const Case cases[] = {
      {"an unassigned key", "x", PromptText("FTOPINV")},
      {"a digit", "5", PromptText("FTOPINV")},
      {"J without a connection", "j", PromptText("FTNAOCON")},
      {"R without a connection", "R", PromptText("FTNAOCON")},
      {"L without a connection", "l", PromptText("FTNAOCON")},
      {"M without a connection", "M", PromptText("FTNAOCON")},
      {"Esc and N stay", std::string("\x1bN"), "Confirma Fim?"},
      {"Esc and an extended key stay", std::string("\x1b\0\x3b", 3), "Confirma Fim?"},
  };
  for (const Case& c : cases) {
    ResetConsoleState();
    InitConsole();
    TypeAt(sim_.now + 1000, c.keys);
    TypeAt(sim_.now + 5000, "\x1bS");
    EXPECT_EQ(Run(), 0) << c.what;
    EXPECT_TRUE(ScreenHas(c.expected_text)) << c.what << "\n" << Screen();
    EXPECT_EQ(Count(PromptText("FTTCHAU")), 1) << c.what;
  }
}

TEST_F(MainMenuTest, HelpSaysEveryKeyInOrder) {
  TypeAt(1000, std::string("\0\x3b", 2));
  TypeAt(20000, "\x1bS");
  EXPECT_EQ(Run(), 0);
  const std::string screen = Screen();
  size_t at = 0;
  for (const char* key : {"FTAC", "FTAJ", "FTAL", "FTAM", "FTAO", "FTAR", "FTAF9", "FTAESC"}) {
    const size_t next = screen.find(PromptText(key), at);
    ASSERT_NE(next, std::string::npos) << key;
    at = next;
  }
}

TEST_F(MainMenuTest, ChannelKeyCallsTheInstalledAction) {
  FakeConnection();
  std::vector<std::string> joined;
  Menu.join_channel = [&](const std::string& channel) { joined.push_back(channel); };
  // Start-up would forget the connection: run the menu on the state as it is. The client puts the
  // "#" itself: one typed out of habit is not doubled.
  TypeAt(1000, "Jsala\r");
  TypeAt(4000, "J#bar\r");
  TypeAt(7000, "J#\r");
  TypeAt(10000, "\x1bS");
  try {
    MainMenu();
  } catch (const ConsoleExit&) {
  }
  EXPECT_EQ(joined, (std::vector<std::string>{"sala", "bar"}));
  EXPECT_TRUE(ScreenHas(Trimmed(PromptText("FTCANAL"))));
}

TEST_F(MainMenuTest, ScreenReviewTakesTheWholeScreen) {
  TypeAt(1000, std::string("\0\x43", 2));
  TypeAt(5000, "\x1b");  // ends the review (after its opening beep, which drops keys typed ahead)
  TypeAt(10000, "\x1bS");
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Crt.TextWindow.Top, 0) << "after F9 the window is rows 1 to 24";
  EXPECT_EQ(Crt.TextWindow.Bottom, 23);
  // What the menu writes afterwards goes on below, as before the review, not over earlier rows.
  std::vector<int> prompts;
  for (int row = 1; row <= 24; ++row)
    if (Row(row).rfind(Trimmed(PromptText("FTOPCAO")), 0) == 0) prompts.push_back(row);
  ASSERT_GE(prompts.size(), 2u) << Screen();
  EXPECT_GT(prompts.front(), 7) << Screen();
  for (size_t i = 1; i < prompts.size(); ++i) EXPECT_GT(prompts[i], prompts[i - 1]) << Screen();
}

TEST_F(MainMenuTest, LinesWaitingAreHandledAndKeysTypedMeanwhileDropped) {
  FakeConnection();
  ServerSends("PING :srv\r\n:a!b@c PRIVMSG eu :oi\r\n:c!d@e JOIN :#x\r\n");
  InjectKeys("x");  // typed while the lines were read: dropped before the prompt
  TypeAt(3000, "\x1bS");
  try {
    MainMenu();
  } catch (const ConsoleExit&) {
  }
  EXPECT_EQ(ServerReceived(), "PONG :srv\r\n");
  EXPECT_TRUE(ScreenHas("a(PVT). oi"));
  EXPECT_FALSE(ScreenHas(PromptText("FTOPINV"))) << "the early key was dropped";
  EXPECT_EQ(Menu.lines_handled, 2u) << "the PING was answered as it was read";
  std::string text;
  EXPECT_FALSE(TakeQueuedMessage(&text)) << "a channel's events are not kept at the menu: " << text;
}

TEST_F(MainMenuTest, TheWaitWakesOnServerData) {
  FakeConnection();
  TypeAt(60000, "\x1bS");
  // The server's lines come while the menu waits for a key, long after the prompt.
  AddTimer(20000, [this] { ServerSends("PING :srv\r\n"); });
  AddTimer(40000, [this] { ServerSends(":ana!u@h PRIVMSG eu :ol\xE1\r\n"); });
  try {
    MainMenu();
  } catch (const ConsoleExit&) {
  }
  EXPECT_EQ(ServerReceived(), "PONG :srv\r\n");
  EXPECT_TRUE(ScreenHas("ana(PVT). ol\xE1"));
  EXPECT_EQ(Menu.lines_handled, 1u);
}

TEST_F(MainMenuTest, AServerThatClosesIsReportedOnce) {
  FakeConnection();
  AddTimer(2000, [this] {
    close(pair_[1]);
    pair_[1] = socket(AF_UNIX, SOCK_STREAM, 0);  // keeps TearDown's close harmless
  });
  TypeAt(10000, "x");
  TypeAt(20000, "\x1bS");
  try {
    MainMenu();
  } catch (const ConsoleExit&) {
  }
  EXPECT_EQ(Count(PromptText("FTCAIU")), 1);
  EXPECT_EQ(Client.ServerSocket, 0);
  EXPECT_TRUE(ScreenHas(PromptText("FTOPINV"))) << "the menu keeps working";
  EXPECT_EQ(Client.Nickname, "eu") << "the rest of the state survives";
}

TEST(ProgramOptionsTest, CommandLine) {
  struct Case {
    const char* what;
    std::vector<std::string> args;
    FrontendChoice frontend;
    bool help, version, error;
  };
  const Case cases[] = {
      {"nothing: chosen by what is there", {}, FrontendChoice::kAuto, false, false, false},
      {"window", {"--window"}, FrontendChoice::kWindow, false, false, false},
      {"terminal", {"--terminal"}, FrontendChoice::kTerminal, false, false, false},
      {"headless", {"--headless"}, FrontendChoice::kHeadless, false, false, false},
      {"the last choice wins", {"--window", "--headless"}, FrontendChoice::kHeadless, false, false, false},
      {"help", {"--help"}, FrontendChoice::kAuto, true, false, false},
      {"short help", {"-h"}, FrontendChoice::kAuto, true, false, false},
      {"version", {"--version"}, FrontendChoice::kAuto, false, true, false},
      {"unknown option", {"--janela"}, FrontendChoice::kAuto, false, false, true},
      {"a stray argument", {"--terminal", "irc.exemplo"}, FrontendChoice::kTerminal, false, false, true},
  };
  for (const Case& c : cases) {
    const ProgramOptions o = ParseProgramOptions(c.args);
    EXPECT_EQ(o.frontend, c.frontend) << c.what;
    EXPECT_EQ(o.help, c.help) << c.what;
    EXPECT_EQ(o.version, c.version) << c.what;
    EXPECT_EQ(!o.error.empty(), c.error) << c.what;
  }
  EXPECT_NE(UsageText("falatro").find("--headless"), std::string::npos);
}

}  // namespace
}  // namespace falatro
