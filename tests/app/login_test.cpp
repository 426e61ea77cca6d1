// Tests of logging in, the server's replies during login, registration, and the wire encoding,
// against a scripted server on loopback (a PING cookie before the welcome, which the real servers of
// the end-to-end tests do not send, and the shape of lines on the screen).
#include "app/login.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>


#include "app/client_state.h"
#include "app/prompt_catalogue.h"
#include "app/server_link.h"
#include "app_fixture.h"
#include "loopback_socket.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "scripted_server.h"

namespace falatro {
namespace {

using apptest::ScriptedServer;
using Lines = std::vector<std::string>;

const char* const kWelcome =
    ":srv 001 joao :Bem-vindo ao servidor\r\n"
    "PING :srv\r\n";
const char* const kEnd = ":srv 421 joao MandandoComandoInvalido :Unknown command\r\n";

// Answers the last login line with what the test asks, and the rest with nothing.
std::function<std::string(const std::string&)> AnswerLogin(std::string answer) {
  return [answer](const std::string& line) { return line == "MandandoComandoInvalido" ? answer : ""; };
}

class LoginTest : public apptest::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    UseRealClock();
    StartSpeech();
    Client.ServerName = "127.0.0.1";
    Client.Nickname = "joao";
    Client.Password = "s3";
    ClrScr();
  }
  void Connect(ScriptedServer& server) {
    Client.ServerPort = server.port();
    ConnectToServer();
  }
};

TEST_F(LoginTest, SendsTheFiveLinesAndEndsAtThe421) {
  struct Case { const char* what; std::string password; std::string nick; Lines expected; };
  const Case cases[] = {
      {"with a password", "s3", "joao",
       {"pass s3", "nick joao", "USER joao Falatro 127.0.0.1 :joao21", "IDENTIFY s3", "MandandoComandoInvalido",
        "PONG :srv"}},
      {"an empty password keeps its blanks", "", "maria",
       {"pass ", "nick maria", "USER maria Falatro 127.0.0.1 :maria21", "IDENTIFY ", "MandandoComandoInvalido",
        "PONG :srv"}},
  };
  for (const Case& c : cases) {
    ScriptedServer server;
    server.SetScript(AnswerLogin(std::string(kWelcome) + kEnd));
    Client.Password = c.password;
    Client.Nickname = c.nick;
    Connect(server);
    EXPECT_GT(Client.ServerSocket, 0) << c.what;
    EXPECT_EQ(Client.LocalAddress, "127.0.0.1") << c.what;
    server.WaitForLines(c.expected.size(), 2000);
    EXPECT_EQ(server.Lines(), c.expected) << c.what << ": the PONG echoes the server's token";
    CloseConnection(Client.ServerSocket);
    Client.ServerSocket = 0;
  }
}

TEST_F(LoginTest, RepliesAreShownFromTheirTrailingTextUntilTheWelcomeEnds) {
  ScriptedServer server;
  server.SetScript(AnswerLogin(std::string(kWelcome) + ":a!b@2001:db8::1 NOTICE joao :aviso\r\n" +
                               ":srv 376 joao :End of message of the day.\r\n" + kEnd +
                               ":srv 002 joao :depois do fim\r\n"));
  Connect(server);
  ASSERT_GT(Client.ServerSocket, 0);
  EXPECT_EQ(Row(1), "Bem-vindo ao servidor");
  EXPECT_EQ(Row(2), "aviso") << "a colon in the sender's host does not cut the line; the PING is not shown";
  EXPECT_EQ(Row(3), "End of message of the day.");
  EXPECT_EQ(Row(4), "") << "lines after the welcome's end wait for the menu";
  EXPECT_EQ(Crt.TextAttr & 0x0F, 15);
  EXPECT_EQ(Crt.AttrBuffer[0] & 0x0F, 7) << "replies are light grey";
  std::string kept;
  ASSERT_TRUE(ReadServerLine(&kept, 2));
  EXPECT_EQ(kept, ":srv 421 joao MandandoComandoInvalido :Unknown command");
  EXPECT_FALSE(server.WaitForLines(7, 1200)) << "the login's IDENTIFY was answered: it is not sent again";
}

TEST_F(LoginTest, APingCookieBeforeTheWelcomeIsAnsweredWithItsToken) {
  // A server that registers a client only after the PONG of its cookie, and then drops the commands
  // sent before: the IDENTIFY goes again once the welcome is over.
  ScriptedServer server;
  server.SetScript([](const std::string& line) -> std::string {
    if (line.rfind("USER ", 0) == 0) return "PING :C00K1E-42\r\n";
    if (line == "PONG :C00K1E-42")
      return ":srv 001 joao :Bem-vindo\r\n:srv 422 joao :MOTD File is missing\r\n";
    return "";
  });
  Connect(server);
  ASSERT_GT(Client.ServerSocket, 0) << Screen();
  EXPECT_TRUE(ScreenHas("MOTD File is missing"));
  ASSERT_TRUE(server.WaitForLines(7, 3000));
  const Lines lines = server.Lines();
  EXPECT_EQ(Lines(lines.begin() + 3, lines.end()),
            (Lines{"IDENTIFY s3", "MandandoComandoInvalido", "PONG :C00K1E-42", "IDENTIFY s3"}));
}

TEST_F(LoginTest, Failures) {
  struct Case { const char* what; bool listen; std::string answer; const char* prompt; };
  const Case cases[] = {
      {"connection refused", false, "", "FTNCONS"},
      {"server closes during login", true, std::string(":srv 001 joao :oi\r\n") + apptest::kCloseConnection,
       "FTCAIU"},
  };
  for (const Case& c : cases) {
    ClrScr();
    ScriptedServer server;
    server.SetScript(AnswerLogin(c.answer));
    uint16_t port = server.port();
    if (!c.listen) {
      ScriptedServer* gone = new ScriptedServer;
      port = gone->port();
      delete gone;
    }
    Client.ServerPort = port;
    ConnectToServer();
    EXPECT_EQ(Client.ServerSocket, 0) << c.what;
    EXPECT_TRUE(ScreenHas(PromptText(c.prompt))) << c.what << "\n" << Screen();
  }
}

// A loopback listener that takes no connection any more: its backlog is full, so a new connection
// attempt waits (the system retries for minutes) instead of being refused.
struct FullListener {
  int listener = testsupport::ListenTcp("127.0.0.1", 0, 0);
  uint16_t port = testsupport::BoundPort(listener);
  std::vector<int> waiting;
  FullListener() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    for (int i = 0; i < 4; ++i) {
      const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
      waiting.push_back(fd);
    }
  }
  ~FullListener() {
    for (int fd : waiting) close(fd);
    close(listener);
  }
};

TEST_F(LoginTest, EscGivesUpAServerThatDoesNotAnswer) {
  // Silent after taking the connection, or not taking it at all.
  for (const bool takes_connection : {true, false}) {
    ClrScr();
    ScriptedServer silent;
    FullListener full;
    Client.ServerPort = takes_connection ? silent.port() : full.port;
    AddTimer(1500, [] { InjectKeys("x\x1b"); });
    const uint64_t start = NowMs();
    ConnectToServer();
    EXPECT_LT(NowMs() - start, 5000u) << takes_connection;
    EXPECT_EQ(Client.ServerSocket, 0) << takes_connection;
    EXPECT_TRUE(ScreenHas("Conex\xE3o cancelada.")) << takes_connection << "\n" << Screen();
    if (takes_connection) {
      EXPECT_TRUE(silent.WaitForClientCloses(1, 2000));
    }
  }
}

TEST_F(LoginTest, AHostTooLongIsRefused) {
  Client.ServerName = std::string(300, 'h');
  ConnectToServer();
  EXPECT_EQ(Client.ServerSocket, 0);
  EXPECT_TRUE(ScreenHas(PromptText("FTNCONS")));
}

TEST_F(LoginTest, ConnectingAgainClosesTheOldConnection) {
  ScriptedServer server;
  server.SetScript(AnswerLogin(kEnd));
  Connect(server);
  ASSERT_GT(Client.ServerSocket, 0);
  Connect(server);
  ASSERT_GT(Client.ServerSocket, 0);
  EXPECT_TRUE(server.WaitForClientCloses(1, 2000));
  EXPECT_EQ(server.accepted(), 2);
}

TEST_F(LoginTest, WireEncoding) {
  struct Case { const char* what; std::string ini; std::string nick_line; };
  const Case cases[] = {
      {"UTF-8 by default", "", "nick jo\xC3\xA3o"},
      {"cp1252 when the suite asks", "[FALATRO]\r\nCODIFICACAO=cp1252", "nick jo\xE3o"},
      {"anything else is UTF-8", "[FALATRO]\r\nCODIFICACAO=latin", "nick jo\xC3\xA3o"},
  };
  for (const Case& c : cases) {
    WriteIni(c.ini);
    LoadTextEncodingSetting();
    ScriptedServer server;
    server.SetScript(AnswerLogin(kEnd));
    Client.Nickname = "jo\xE3o";
    Connect(server);
    ASSERT_GT(Client.ServerSocket, 0) << c.what;
    ASSERT_GE(server.Lines().size(), 2u) << c.what;
    EXPECT_EQ(server.Lines()[1], c.nick_line) << c.what;
  }
}

TEST(ServerText, IncomingLinesBecomeCp1252) {
  struct Case { const char* what; std::string in; std::string out; };
  const Case cases[] = {
      {"ASCII", "PRIVMSG #a :oi", "PRIVMSG #a :oi"},
      {"valid UTF-8", "ol\xC3\xA1 cora\xC3\xA7\xC3\xA3o", "ol\xE1 cora\xE7\xE3o"},
      {"euro sign", "\xE2\x82\xAC", "\x80"},
      {"an emoji is its name", "\xF0\x9F\x98\x80 ok", "(rosto risonho) ok"},
      {"other characters cp1252 lacks are the unnamed mark", "\xE4\xB8\xAD ok", "\x81 ok"},
      {"cp1252 bytes stay", "ol\xE1 cora\xE7\xE3o", "ol\xE1 cora\xE7\xE3o"},
      {"a mixed line is cp1252", "\xC3\xA1 e \xE1", "\xC3\xA1 e \xE1"},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeServerText(c.in), c.out) << c.what;
}

class RegisterTest : public LoginTest {
 protected:
  void SetUp() override {
    LoginTest::SetUp();
    server_.SetScript([this](const std::string& line) -> std::string {
      if (line == "MandandoComandoInvalido") return kEnd;
      if (line.rfind("NICKSERV REGISTER", 0) == 0 && line.find('@') != std::string::npos &&
          line.find(' ', 18) != std::string::npos)
        return reply_;
      return "";
    });
    Connect(server_);
    ASSERT_GT(Client.ServerSocket, 0);
    ClrScr();
  }
  std::string reply_;
  ScriptedServer server_;
};

TEST_F(RegisterTest, BothForms) {
  struct Case { const char* what; std::string reply; Lines expected; };
  const Case cases[] = {
      {"the service accepts the long form", ":NickServ!s@h NOTICE joao :Registrado\r\n",
       {"NICKSERV REGISTER nova eu@exemplo.com"}},
      {"a syntax reply asks for the short form", "Sintaxe: REGISTER email\r\n",
       {"NICKSERV REGISTER nova eu@exemplo.com", "NICKSERV REGISTER eu@exemplo.com"}},
      {"in any letter case", "SINTAXE errada\r\n",
       {"NICKSERV REGISTER nova eu@exemplo.com", "NICKSERV REGISTER eu@exemplo.com"}},
  };
  size_t before = server_.Lines().size();
  for (const Case& c : cases) {
    reply_ = c.reply;
    ClrScr();
    InjectKeys("nova\reu@exemplo.com\r");
    RegisterNickname();
    ASSERT_TRUE(server_.WaitForLines(before + c.expected.size(), 2000)) << c.what;
    Lines all = server_.Lines();
    EXPECT_EQ(Lines(all.begin() + before, all.end()), c.expected) << c.what;
    before = all.size();
    EXPECT_EQ(Client.Password, "nova") << c.what;
    EXPECT_TRUE(ScreenHas(PromptText("FTAPREG"))) << c.what;
  }
}

TEST_F(RegisterTest, IncompleteAnswersSendNothing) {
  struct Case { const char* what; std::string keys; std::string password; };
  const Case cases[] = {
      {"empty password", "\r", ""},
      {"address without @", "nova\reu.exemplo.com\r", "nova"},
      {"empty address", "outra\r\r", "outra"},
  };
  const size_t before = server_.Lines().size();
  for (const Case& c : cases) {
    ClrScr();
    InjectKeys(c.keys);
    RegisterNickname();
    EXPECT_EQ(Client.Password, c.password) << c.what;
    EXPECT_FALSE(ScreenHas(PromptText("FTAPREG"))) << c.what;
  }
  EXPECT_FALSE(server_.WaitForLines(before + 1, 200));
}

TEST_F(LoginTest, RegisterWithoutAConnection) {
  RegisterNickname();
  EXPECT_EQ(Row(1), PromptText("FTNAOCON"));
}

}  // namespace
}  // namespace falatro
