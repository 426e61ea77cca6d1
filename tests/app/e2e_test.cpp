// End-to-end runs of the client against Debian's ngircd: the client in the headless front-end with
// the file sound device, a scripted peer on the other side, and a relay recording what the client
// sends. The test's script runs on the client's own thread, from the event loop's timers, so it reads
// the client's screen and state between the client's own steps.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <stdexcept>

#include "step_script.h"
#include "app/client_state.h"
#include "app/main_menu.h"
#include "app/prompt_catalogue.h"
#include "app_fixture.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "irc_peer.h"
#include "irc_server_fixture.h"
#include "platform/console/headless/headless_frontend.h"
#include "speech/sound_device.h"

namespace falatro {
namespace {

using apptest::IrcPeer;
using apptest::NgircdServer;
using apptest::RecordingRelay;

using apptest::ScriptFailure;

class EndToEnd : public apptest::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    heard_ = root_ + "/ouvido.wav";
    StartRealClockConsoleHeardIn(heard_);
    if (HasFatalFailure()) return;
    Menu = MainMenuState{};
    ASSERT_TRUE(server_.StartOnFreeAddress(root_, "senha", 5, &server_address_)) << server_.Log();
    ASSERT_TRUE(relay_.StartOnFreeAddress(server_address_, &relay_address_));
    WriteFile(narrix_root_ + "/falatro.ini",
              "[Falatro]\r\nServidor=" + relay_address_ + "\r\nNick=cliente\r\nSenha=senha\r\n");
    ASSERT_TRUE(peer_.Login(server_address_, apptest::kTestIrcPort, "amigo", "senha")) << server_.Log();
  }
  void TearDown() override {
    peer_.Close();
    server_.Stop();
    CloseSoundDevice();
    AppFixture::TearDown();
  }

  void Then(std::string what, std::function<bool()> ready, std::function<void()> act = {},
            int timeout_ms = 10000) {
    script_.Then(std::move(what), std::move(ready), std::move(act), timeout_ms);
  }
  // The menu has asked for a key and waits on the line of its question (keys typed before it are
  // dropped by the menu).
  bool AtMenuPrompt() const {
    return Row(Crt.TextWindow.Top + WhereY()).rfind("Qual sua op\xE7\xE3o?", 0) == 0;
  }
  // The prompt of key is on the screen (rows lose their trailing blanks).
  bool Shown(const char* key) const {
    std::string text = PromptText(key);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return ScreenHas(text);
  }
  long HeardBytes() const {
    struct stat st {};
    return stat(heard_.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : 0;
  }
  int LinesSent(const std::string& line) {
    int n = 0;
    for (const std::string& l : relay_.ClientLines()) n += l == line;
    return n;
  }

  // Runs the client until it ends, driving it with the steps. Returns its exit code.
  int RunClient() {
    script_.Start();
    AddTimer(10, [this] { Tick(); });
    try {
      InitClient();
      MainMenu();
    } catch (const ConsoleExit& e) {
      return e.code;
    } catch (const ScriptFailure& e) {
      ADD_FAILURE() << e.what() << "\nscreen:\n" << Screen() << "\nserver log:\n" << server_.Log();
      return -1;
    }
    return -1;
  }

  void Tick() {
    peer_.Pump();
    if (!script_.Done()) {
      script_.Advance();
    } else if (script_.SinceLastStep() > 10000) {
      throw ScriptFailure("the client did not end after the last step");
    }
    AddTimer(10, [this] { Tick(); });
  }

  apptest::StepScript script_;
  std::string heard_, server_address_, relay_address_;
  NgircdServer server_;
  RecordingRelay relay_;
  IrcPeer peer_;
};

TEST_F(EndToEnd, LoginPingPrivateMessageDropAndReconnect) {
  long heard_before_pm = 0;
  Then("the menu asks", [&] { return AtMenuPrompt(); }, [] { Type("c"); });
  Then("logged in", [] { return Client.ServerSocket > 0 && !Client.LocalAddress.empty(); }, [&] {
    const std::vector<std::string> expected = {
        "pass senha", "nick cliente", "USER cliente Falatro " + relay_address_ + " :cliente21",
        "IDENTIFY senha", "MandandoComandoInvalido"};
    std::vector<std::string> sent = relay_.ClientLines();
    sent.resize(std::min<size_t>(sent.size(), 5));
    EXPECT_EQ(sent, expected);
    EXPECT_TRUE(ScreenHas("Bem-vindo ao servidor de teste")) << "the message of the day is shown";
    EXPECT_EQ(Client.LocalAddress.rfind("127.", 0), 0u) << Client.LocalAddress;
  });
  // ngircd pings an idle client after 5 s; the answer echoes the server's token.
  Then("the server's PING answered", [&] { return LinesSent("PONG :irc.falatro.test") > 0; },
       [&] {
         heard_before_pm = HeardBytes();
         peer_.Privmsg("cliente", "ol\xC3\xA1, tudo bem?");
       },
       15000);
  Then("the private message said at once",
       [&] { return ScreenHas("amigo(PVT). ol\xE1, tudo bem?") && HeardBytes() > heard_before_pm; },
       [&] { server_.Stop(); });
  // After the drop the menu waits for a key on the line below the report.
  Then("the drop reported", [&] { return Client.ServerSocket == 0 && Shown("FTCAIU"); }, [&] {
    ASSERT_TRUE(server_.Start(root_, server_address_, "senha", 5)) << server_.Log();
    Type("C");
  });
  Then("logged in again",
       [&] { return Client.ServerSocket > 0 && LinesSent("pass senha") == 2 && AtMenuPrompt(); },
       [] { Type("\x1bS"); });
  EXPECT_EQ(RunClient(), 0);
  EXPECT_TRUE(script_.Done());
  EXPECT_EQ(Client.ConnectionsLost, 1u) << "the drop is reported exactly once";
  EXPECT_EQ(relay_.accepted(), 2);
}

TEST_F(EndToEnd, NicknameRegistrationLines) {
  Then("the menu asks", [&] { return AtMenuPrompt(); }, [] { Type("c"); });
  Then("logged in and asking again",
       [&] { return Client.ServerSocket > 0 && !Client.LocalAddress.empty() && AtMenuPrompt(); },
       [] { Type("r"); });
  Then("asked for the password", [&] { return Shown("FTSENHA"); },
       [] { Type("nova\r"); });
  Then("asked for the address", [&] { return Shown("FTEMAIL"); },
       [] { Type("eu@exemplo.com\r"); });
  Then("registered", [&] { return Shown("FTAPREG"); });
  Then("back at the menu", [&] { return AtMenuPrompt(); }, [] { Type("\x1bS"); });
  EXPECT_EQ(RunClient(), 0);
  EXPECT_TRUE(script_.Done());
  EXPECT_EQ(LinesSent("NICKSERV REGISTER nova eu@exemplo.com"), 1);
  EXPECT_EQ(Client.Password, "nova");
  EXPECT_TRUE(ScreenHas("nova")) << "the password is shown as typed";
}

TEST_F(EndToEnd, NicknameServiceNoticesAreSaidAtOnce) {
  IrcPeer service;
  ASSERT_TRUE(service.Login(server_address_, apptest::kTestIrcPort, "NickServ", "senha"));
  long heard_before = 0;
  Then("the menu asks", [&] { return AtMenuPrompt(); }, [] { Type("c"); });
  Then("logged in and asking again",
       [&] { return Client.ServerSocket > 0 && !Client.LocalAddress.empty() && AtMenuPrompt(); }, [&] {
         heard_before = HeardBytes();
         service.Send("NOTICE cliente :Senha \x02" "aceita\x02 - voc\xC3\xAA foi reconhecido.");
       });
  Then("the notice said", [&] {
    service.Pump();
    return ScreenHas("Senha aceita - voc\xEA foi reconhecido.") && HeardBytes() > heard_before;
  }, [] { Type("\x1bS"); });  // the menu still waits for its key: nothing typed now is dropped
  EXPECT_EQ(RunClient(), 0);
  EXPECT_TRUE(script_.Done());
  EXPECT_EQ(QueuedMessageCount(), 0) << "nothing of it was queued";
}

}  // namespace
}  // namespace falatro
