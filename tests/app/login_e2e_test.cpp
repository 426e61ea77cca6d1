// Logging in to real servers: Debian's ngircd, and InspIRCd with Anope's nickname service, each on a
// loopback address of its own. The login ends on the welcome or on the server's refusal, whichever
// comes first, on both servers; a refusal is said with its reason and the connection is closed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <memory>

#include "app/client_state.h"
#include "app/login.h"
#include "app/main_menu.h"
#include "app/prompt_catalogue.h"
#include "app/server_link.h"
#include "app_fixture.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "irc_peer.h"
#include "irc_server_fixture.h"
#include "net/transport.h"

namespace falatro {
namespace {

using apptest::InspircdServer;
using apptest::IrcPeer;
using apptest::NgircdServer;

constexpr const char* kPassword = "senha";

// The servers are shared by every test of the suite: InspIRCd's services take a few seconds to link.
struct Servers {
  std::string dir;
  NgircdServer ngircd;
  NgircdServer ngircd_open;         // asks for no connection password, as most do
  InspircdServer inspircd;          // with its nickname service
  InspircdServer inspircd_guarded;  // asks clients for a connection password, no services
  std::string ngircd_address, open_address, inspircd_address, guarded_address;
};
Servers* servers = nullptr;

class LoginOnRealServers : public apptest::AppFixture {
 protected:
  static void SetUpTestSuite() {
    servers = new Servers;
    char tmpl[] = "/tmp/falatro-servers-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    servers->dir = tmpl;
    ASSERT_TRUE(servers->ngircd.StartOnFreeAddress(servers->dir, kPassword, 120, &servers->ngircd_address))
        << servers->ngircd.Log();
    mkdir((servers->dir + "/open").c_str(), 0755);
    ASSERT_TRUE(servers->ngircd_open.StartOnFreeAddress(servers->dir + "/open", "", 120, &servers->open_address))
        << servers->ngircd_open.Log();
    ASSERT_TRUE(servers->inspircd.StartOnFreeAddress(servers->dir, "", 120, true, &servers->inspircd_address))
        << servers->inspircd.Log();
    ASSERT_TRUE(servers->inspircd_guarded.StartOnFreeAddress(servers->dir, kPassword, 120, false,
                                                             &servers->guarded_address))
        << servers->inspircd_guarded.Log();
  }
  static void TearDownTestSuite() {
    delete servers;
    servers = nullptr;
  }
  void SetUp() override {
    AppFixture::SetUp();
    ASSERT_NE(servers, nullptr);
    UseRealClock();
    StartSpeech();
    ClrScr();
  }
  // Logs in as nick with password; returns the seconds the login took.
  double Login(const std::string& address, const std::string& nick, const std::string& password) {
    ClrScr();
    Client.ServerName = address;
    Client.Nickname = nick;
    Client.Password = password;
    const auto start = std::chrono::steady_clock::now();
    ConnectToServer();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  // Reads and dispatches server lines at the menu until the screen shows text, or ms pass.
  bool MenuShowsWithin(const std::string& text, int ms) {
    const uint64_t end = NowMs() + ms;
    while (NowMs() < end && !ScreenHas(text)) {
      HandlePendingServerLines();
      WaitForFd(Client.ServerSocket, 50, false);
    }
    return ScreenHas(text);
  }
};

TEST_F(LoginOnRealServers, EndsOnTheWelcomeOrTheRefusalWhicheverComesFirst) {
  IrcPeer holder_ng, holder_insp;
  ASSERT_TRUE(holder_ng.Login(servers->ngircd_address, apptest::kTestIrcPort, "ocupado", kPassword));
  ASSERT_TRUE(holder_insp.Login(servers->inspircd_address, apptest::kTestIrcPort, "ocupado", ""));
  struct Case {
    const char* what;
    std::string address, nick, password;
    bool logged_in;
    std::string said;  // the start of what the client writes and says
  };
  const std::string& ng = servers->ngircd_address;
  const std::string& insp = servers->inspircd_address;
  const std::string& guarded = servers->guarded_address;
  const Case cases[] = {
      {"ngircd welcomes", ng, "cliente", kPassword, true, "Bem-vindo ao servidor de teste"},
      {"InspIRCd welcomes", insp, "cliente", kPassword, true, "Bem-vindo ao servidor de teste"},
      {"ngircd: nickname in use", ng, "ocupado", kPassword, false,
       "O apelido ocupado j\xE1 est\xE1 em uso neste servidor. Escolha outro apelido na"},
      {"InspIRCd: nickname in use", insp, "ocupado", kPassword, false,
       "O apelido ocupado j\xE1 est\xE1 em uso neste servidor."},
      {"ngircd: bad nickname", ng, "9vidas", kPassword, false, "O servidor recusou o apelido 9vidas: "},
      {"InspIRCd: bad nickname", insp, "9vidas", kPassword, false, "O servidor recusou o apelido 9vidas: "},
      {"ngircd: wrong password", ng, "cliente", "errada", false,
       "O servidor recusou a conex\xE3o: Access denied: Bad password?."},
      {"InspIRCd: wrong password", guarded, "cliente", "errada", false,
       "O servidor recusou a conex\xE3o: Closing link: (cliente@"},
      {"InspIRCd with a password: the right one", guarded, "cliente", kPassword, true, "Bem-vindo"},
      // It refuses the password, which was the nickname service's: the login without it succeeds.
      {"ngircd without a password", servers->open_address, "cliente", kPassword, true, "Bem-vindo"},
  };
  for (const Case& c : cases) {
    const uint64_t lost_before = Client.ConnectionsLost;
    const double seconds = Login(c.address, c.nick, c.password);
    EXPECT_LT(seconds, 10.0) << c.what << ": the login waited for a reply that never comes";
    EXPECT_TRUE(ScreenHas(c.said)) << c.what << "\n" << Screen();
    EXPECT_EQ(Client.ConnectionsLost, lost_before) << c.what << ": no drop is reported";
    if (c.logged_in) {
      EXPECT_GT(Client.ServerSocket, 0) << c.what;
      EXPECT_EQ(Client.LocalAddress.rfind("127.", 0), 0u) << c.what;
      // The server still takes commands: the client was registered.
      ASSERT_TRUE(SendServerLine("PRIVMSG cliente :eco")) << c.what;
      EXPECT_TRUE(MenuShowsWithin("cliente(PVT). eco", 5000)) << c.what << "\n" << Screen();
      CloseServerConnection();
    } else {
      EXPECT_EQ(Client.ServerSocket, 0) << c.what;
      EXPECT_TRUE(Client.LocalAddress.empty()) << c.what;
    }
  }
  // The refused logins left no connection behind: the nickname is free again after the holder leaves.
  holder_insp.Quit("tchau");
  holder_insp.WaitFor("ERROR", 3000);
  Login(insp, "ocupado", kPassword);
  EXPECT_GT(Client.ServerSocket, 0) << Screen();
}

TEST_F(LoginOnRealServers, RegisterWithTheNicknameServiceThenIdentifyAtTheNextLogin) {
  const std::string nick = "registra" + std::to_string(getpid() % 1000);
  Login(servers->inspircd_address, nick, "");
  ASSERT_GT(Client.ServerSocket, 0) << Screen();
  ClrScr();
  InjectKeys("segredo1\reu@exemplo.com\r");
  RegisterNickname();
  EXPECT_TRUE(ScreenHas(PromptText("FTAPREG"))) << Screen();
  EXPECT_TRUE(MenuShowsWithin("registered", 5000)) << "the service's answer is said at the menu\n" << Screen();
  CloseServerConnection();

  // The login's IDENTIFY reaches the service even on a server that takes it only after registration.
  Login(servers->inspircd_address, nick, "segredo1");
  ASSERT_GT(Client.ServerSocket, 0) << Screen();
  EXPECT_TRUE(MenuShowsWithin("Password accepted", 5000)) << Screen();
  CloseServerConnection();
  Login(servers->inspircd_address, nick, "errada");
  ASSERT_GT(Client.ServerSocket, 0) << Screen();
  EXPECT_TRUE(MenuShowsWithin("Password incorrect", 5000)) << Screen();
}

}  // namespace
}  // namespace falatro
