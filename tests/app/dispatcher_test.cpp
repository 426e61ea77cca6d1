// Tests of the server line dispatcher: one table of server lines and what each must produce.
#include "app/dispatcher.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <vector>

#include "app/channel.h"
#include "app/client_state.h"
#include "app_fixture.h"
#include "console/nxcrt.h"

namespace falatro {
namespace {

using Queue = std::vector<std::string>;

struct Case {
  const char* what;
  std::string line;
  Queue queued;                 // texts queued, in order
  std::string spoken;           // text written and said at once ("" when none)
  std::string sent;             // bytes sent to the server
  std::function<void()> setup = nullptr;  // changes to the default state: nickname "eu", in channel "sala"
  std::function<void()> check = nullptr;  // further checks of the state afterwards
};

class DispatcherTest : public apptest::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    StartSpeech();
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair_), 0);
  }
  void TearDown() override {
    Client.ServerSocket = 0;
    close(pair_[0]);
    close(pair_[1]);
    AppFixture::TearDown();
  }
  void Defaults() {
    ResetClientState();
    Channel = ChannelState{};
    Channel.Joined = true;
    Client.Nickname = "eu";
    Client.CurrentChannel = "sala";
    Client.InChannel = true;
    Client.LocalAddress = "127.0.0.9";
    Client.ServerSocket = pair_[0];
  }
  std::string Sent() {
    std::string out;
    char buf[1024];
    ssize_t n;
    while ((n = recv(pair_[1], buf, sizeof buf, MSG_DONTWAIT)) > 0) out.append(buf, n);
    return out;
  }
  Queue Drain() {
    Queue out;
    std::string text;
    while (TakeQueuedMessage(&text)) out.push_back(text);
    return out;
  }
  void Run(const Case& c) {
    Defaults();
    if (c.setup) c.setup();
    ClrScr();
    HandleServerLine(c.line);
    EXPECT_EQ(Drain(), c.queued) << c.what;
    EXPECT_EQ(Row(1), c.spoken) << c.what;
    EXPECT_EQ(Sent(), c.sent) << c.what;
    if (c.check) c.check();
  }
  int pair_[2] = {-1, -1};
};

void AtMainMenu() { Client.CurrentChannel.clear(); Client.InChannel = false; }
void StillInChannel() { EXPECT_TRUE(Client.InChannel); }
void LeftChannel() { EXPECT_FALSE(Client.InChannel); }

TEST_F(DispatcherTest, Messages) {
  const Case cases[] = {
      {"channel message", ":a!b@c PRIVMSG #sala :oi", {"a. oi"}, "", "", nullptr,
       [] { EXPECT_EQ(Client.MessageSender, ""); }},
      {"private message in a channel is queued", ":a!b@c PRIVMSG eu :oi", {"a(pvt). oi"}, "", ""},
      {"private message at the main menu is said at once", ":a!b@c PRIVMSG eu :oi", {}, "a(PVT). oi", "",
       AtMainMenu},
      {"colons inside the text stay", ":a!b@c PRIVMSG #sala :hora: 10:30", {"a. hora: 10:30"}, "", ""},
      {"IPv6 host in a channel message", ":ana!u@2001:db8::1 PRIVMSG #sala :oi", {"ana. oi"}, "", ""},
      {"IPv6 host in a private message", ":ana!u@2001:db8::1 PRIVMSG eu :oi tudo", {}, "ana(PVT). oi tudo",
       "", AtMainMenu},
      {"ignored sender in the channel", ":CHATO!u@h PRIVMSG #sala :oi", {}, "", "",
       [] { Client.IgnoreList.fill("x"); Client.IgnoreList[9] = "chato"; }},
      {"ignored sender in private", ":chato!u@h PRIVMSG eu :oi", {}, "", "",
       [] { Client.IgnoreList.fill("x"); Client.IgnoreList[0] = "Chato"; AtMainMenu(); }},
      {"a line without ! has an empty sender, equal to a free ignore slot", ":servidor PRIVMSG #sala :oi",
       {}, "", ""},
      {"a line without ! passes when no slot is free", ":servidor PRIVMSG #sala :oi", {". oi"}, "", "",
       [] { Client.IgnoreList.fill("x"); }},
      {"a nickname starting with PING is no PING", ":PINGO!u@h PRIVMSG #sala :oi", {"PINGO. oi"}, "", ""},
  };
  for (const Case& c : cases) Run(c);
}

TEST_F(DispatcherTest, ControlCodes) {
  const Case cases[] = {
      {"colour with background: five code characters go", ":a!b@c PRIVMSG #sala :\x03" "4,12texto",
       {"a. texto"}, "", ""},
      {"a colour reset leaves the letter after it", ":a!b@c PRIVMSG #sala :\x03xyz", {"a. xyz"}, "", ""},
      {"a colour reset leaves the blank after it", ":a!b@c PRIVMSG #sala :\x03" "12azul\x03 normal",
       {"a. azul normal"}, "", ""},
      {"a comma without a digit after the colour is text", ":a!b@c PRIVMSG #sala :\x03" "4,sim",
       {"a. ,sim"}, "", ""},
      {"three digits: the third is text", ":a!b@c PRIVMSG #sala :\x03" "1,234 x", {"a. 4 x"}, "", ""},
      {"colour code at the very end", ":a!b@c PRIVMSG #sala :fim\x03", {"a. fim"}, "", ""},
      {"bold and underline side by side", ":a!b@c PRIVMSG #sala :\x02\x1Fnegrito\x1F\x02 fim",
       {"a. negrito fim"}, "", ""},
      {"plain and reverse codes", ":a!b@c PRIVMSG #sala :\x16x\x0Fy", {"a. xy"}, "", ""},
      {"nickname-service notice with bold", ":NickServ!s@services NOTICE eu :Nickname \x02" "eu\x02 registered.",
       {}, "Nickname eu registered.", "", AtMainMenu},
  };
  for (const Case& c : cases) Run(c);
}

TEST_F(DispatcherTest, ChannelEvents) {
  const Case cases[] = {
      {"join", ":maria!u@h JOIN :#sala", {".maria Entrou no canal"}, "", "", nullptr,
       [] { EXPECT_EQ(Client.MessageSender, ".maria"); }},
      {"part of another user", ":maria!u@h PART #sala", {".maria Saiu do canal"}, "", ""},
      {"own part gives nothing", ":EU!u@h PART #sala", {}, "", ""},
      {"quit", ":maria!u@h QUIT :Saindo", {".maria Caiu do canal"}, "", ""},
      {"kick of another user", ":op!u@h KICK #sala joao :fora", {".joao Foi expulso do canal"}, "", "",
       nullptr, StillInChannel},
      {"own kick ends the channel", ":op!u@h KICK #sala eu :fora", {"Voc\xEA foi expulso do canal"}, "", "",
       nullptr, LeftChannel},
      {"own kick without a reason", ":op!u@h KICK #sala EU", {"Voc\xEA foi expulso do canal"}, "", "", nullptr,
       LeftChannel},
      {"ban of another user", ":op!u@h MODE #sala +b joao!*@*", {"op Baniu joao deste canal"}, "", "", nullptr,
       StillInChannel},
      {"own ban ends the channel", ":op!u@h MODE #sala +b eu!*@*", {"op Baniu eu deste canal"}, "", "",
       nullptr, LeftChannel},
      {"own ban with a colon before the mask", ":op!u@h MODE #sala +b :eu!*@*", {"op Baniu eu deste canal"}, "",
       "", nullptr, LeftChannel},
      {"ban of a host mask names the mask", ":op!u@h MODE #sala +b *!*@host", {"op Baniu * deste canal"}, "", "", nullptr,
       StillInChannel},
      {"other modes give nothing", ":op!u@h MODE #sala +o joao", {}, "", ""},
      {"user modes give nothing", ":eu MODE eu :+i", {}, "", ""},
      {"topic", ":op!u@h TOPIC #sala :Novo assunto", {"op Colocou o t\xF3pico: Novo assunto"}, "", "", nullptr,
       [] { EXPECT_EQ(Client.MessageSender, ""); }},
      {"topic from an IPv6 host", ":op!u@::1 TOPIC #sala :t", {"op Colocou o t\xF3pico: t"}, "", ""},
      {"names reply queues every name", ":srv 353 eu = #sala :@op voz final", {"@op", "voz", "final"}, "", ""},
      {"names reply ending with a blank", ":srv 353 eu = #sala :@op voz ", {"@op", "voz"}, "", ""},
  };
  for (const Case& c : cases) Run(c);
}

TEST_F(DispatcherTest, Nicknames) {
  const Case cases[] = {
      {"own nickname change", ":eu!u@h NICK :novo", {"eu Trocou de nick para novo"}, "", "", nullptr,
       [] { EXPECT_EQ(Client.Nickname, "novo"); }},
      {"another user's change", ":joao!u@h NICK :joana", {"joao Trocou de nick para joana"}, "", "", nullptr,
       [] { EXPECT_EQ(Client.Nickname, "eu"); }},
      {"change without a colon", ":joao!u@h NICK joana", {"joao Trocou de nick para joana"}, "", ""},
      {"change from an IPv6 host", ":joao!u@2001:db8::2 NICK :joana", {"joao Trocou de nick para joana"}, "",
       ""},
      {"an ignored user keeps being ignored", ":Chato!u@h NICK :chato2", {"Chato Trocou de nick para chato2"},
       "", "", [] { Client.IgnoreList[40] = "chato"; },
       [] {
         EXPECT_EQ(Client.IgnoreList[40], "chato2");
         EXPECT_EQ(Client.IgnoreList[0], "") << "free slots stay free";
       }},
  };
  for (const Case& c : cases) Run(c);
}

TEST_F(DispatcherTest, ServerLines) {
  const Case cases[] = {
      {"PING is answered with its token", "PING :irc.exemplo", {}, "", "PONG :irc.exemplo\r\n"},
      {"PING with a token without colon", "PING 12345", {}, "", "PONG :12345\r\n"},
      {"PING with a prefix", ":srv PING :x", {}, "", "PONG :x\r\n"},
      {"numeric replies are dropped", ":srv 001 eu :Bem-vindo", {}, "", ""},
      {"notices of others are dropped", ":srv NOTICE eu :*** Looking up your hostname", {}, "", ""},
      {"errors are dropped", "ERROR :Closing link", {}, "", ""},
      {"nickname-service notice is said at once at the menu", ":NickServ!s@services NOTICE eu :Senha aceita.",
       {}, "Senha aceita.", "", AtMainMenu},
      {"nickname-service notice in a channel waits in the queue", ":NICKSERV!s@services NOTICE eu :oi", {"oi"},
       "", ""},
      {"nickname-service notice from an IPv6 host", ":NickServ!s@2001:db8::5 NOTICE eu :ok", {}, "ok", "",
       AtMainMenu},
      {"empty line", "", {}, "", ""},
      {"a lone colon", ":", {}, "", ""},
      {"blanks only", "   ", {}, "", ""},
  };
  for (const Case& c : cases) Run(c);
}

TEST_F(DispatcherTest, RepliesToTheUser) {
  auto joining = [] { Channel.Joined = false; };
  auto awaiting = [] { Channel.Awaited.push_back({"falatro1", "#sala", "eu. oi"}); };
  auto refused_echo = [] {
    ASSERT_EQ(Channel.Awaited.size(), 1u);
    EXPECT_EQ(Channel.Awaited[0].verdict, "Mensagem n\xE3o enviada: o canal #sala n\xE3o aceita suas mensagens");
  };
  const Case cases[] = {
      {"topic on joining", ":srv 332 eu #SALA :o assunto", {"T\xF3pico do canal: o assunto"}, "", ""},
      {"topic of another channel", ":srv 332 eu #outra :x", {}, "", ""},
      {"a refused join ends the loop", ":srv 474 eu #sala :Cannot join channel (you're banned)",
       {"N\xE3o foi poss\xEDvel entrar no canal #sala: voc\xEA est\xE1 banido deste canal"}, "", "", joining,
       [] { EXPECT_FALSE(Client.InChannel); EXPECT_TRUE(Channel.JoinRefused); }},
      {"one code for several modes, told apart by the text",
       ":srv 471 eu #sala :Cannot join channel (+R) -- Registered users only",
       {"N\xE3o foi poss\xEDvel entrar no canal #sala: s\xF3 entra quem identificou o apelido registrado"}, "",
       "", joining, LeftChannel},
      {"the refused join of another channel is said only", ":srv 475 eu #outra :Cannot join channel (+k)",
       {"N\xE3o foi poss\xEDvel entrar no canal #outra: o canal pede uma senha; digite o nome do canal, um "
        "espa\xE7o e a senha"},
       "", "", joining, StillInChannel},
      {"a registered-only code after the join refuses a line",
       ":srv 477 eu #sala :Cannot send to channel (+M)",
       {"Mensagem n\xE3o enviada: #sala s\xF3 aceita mensagens de quem identificou o apelido registrado"}, "",
       "", nullptr, StillInChannel},
      {"a refused line takes the place of its echo", ":srv 404 eu #sala :Cannot send to channel", {}, "", "",
       awaiting, refused_echo},
      {"a refused line nobody waits for is said", ":srv 404 eu #sala :Cannot send to channel",
       {"Mensagem n\xE3o enviada: o canal #sala n\xE3o aceita suas mensagens"}, "", ""},
      {"no such nickname at the menu", ":srv 401 eu ana :No such nick", {},
       "Mensagem n\xE3o entregue: n\xE3o h\xE1 ningu\xE9m com o apelido ana", "", AtMainMenu},
      {"no such channel", ":srv 401 eu #x :No such nick or channel name",
       {"Mensagem n\xE3o entregue: o canal #x n\xE3o existe"}, "", ""},
      {"nickname in use", ":srv 433 eu ana :Nickname is already in use.", {"O apelido ana j\xE1 est\xE1 em uso"},
       "", ""},
      {"nickname changed too fast", ":srv 438 eu novo :Nick change too fast",
       {"Troca de apelido recusada: espere um pouco e tente de novo"}, "", ""},
      {"away", ":srv 301 eu ana :almo\xE7o", {"ana est\xE1 ausente: almo\xE7o"}, "", ""},
      {"the answer to the client's PING says the echo", ":srv PONG srv :falatro1", {"eu. oi"}, "", "",
       awaiting, [] { EXPECT_TRUE(Channel.Awaited.empty()); }},
      {"an answer nobody waits for", ":srv PONG srv :falatro9", {}, "", "", awaiting,
       [] { EXPECT_EQ(Channel.Awaited.size(), 1u); }},
      {"other numerics are dropped", ":srv 366 eu #sala :End of /NAMES list.", {}, "", ""},
  };
  for (const Case& c : cases) Run(c);
}

TEST_F(DispatcherTest, OnlyTheCurrentChannel) {
  const Case cases[] = {
      {"a message of another channel", ":a!b@c PRIVMSG #outra :oi", {}, "", ""},
      {"a join of another channel", ":a!b@c JOIN :#outra", {}, "", ""},
      {"own kick from another channel", ":op!u@h KICK #outra eu :fora", {}, "", "", nullptr, StillInChannel},
      {"own ban in another channel", ":op!u@h MODE #outra +b eu!*@*", {}, "", "", nullptr, StillInChannel},
      {"names of another channel", ":srv 353 eu = #outra :a b", {}, "", ""},
      {"the channel's name in other letter case", ":a!b@c PRIVMSG #SALA :oi", {"a. oi"}, "", ""},
      {"a message to the channel's operators", ":a!b@c PRIVMSG @#sala :oi", {"a. oi"}, "", ""},
      {"a colon inside the channel's name", ":a!b@c PRIVMSG #a:b :oi", {"a. oi"}, "", "",
       [] { Client.CurrentChannel = "a:b"; }},
      {"the channel's key typed after its name", ":a!b@c PRIVMSG #sala :oi", {"a. oi"}, "", "",
       [] { Client.CurrentChannel = "sala chave"; }},
      {"a list of channels typed: the first is the one joined", ":a!b@c PRIVMSG #sala :oi", {"a. oi"}, "", "",
       [] { Client.CurrentChannel = "sala,outra"; }},
      {"own join confirms the channel", ":EU!u@h JOIN :#sala", {".EU Entrou no canal"}, "", "",
       [] { Channel.Joined = false; }, [] { EXPECT_TRUE(Channel.Joined); }},
  };
  for (const Case& c : cases) Run(c);
}

TEST_F(DispatcherTest, Ctcp) {
  auto ignoring_ana = [] { Client.IgnoreList.fill("x"); Client.IgnoreList[5] = "ana"; };
  const Case cases[] = {
      {"an action in the channel", ":ana!u@h PRIVMSG #sala :\x01" "ACTION acena\x01", {"ana acena"}, "", ""},
      {"an action without its closing mark", ":ana!u@h PRIVMSG #sala :\x01" "ACTION ri", {"ana ri"}, "", ""},
      {"a private action at the menu", ":ana!u@h PRIVMSG eu :\x01" "ACTION acena\x01", {}, "ana(PVT) acena",
       "", AtMainMenu},
      {"version", ":ana!u@h PRIVMSG eu :\x01VERSION\x01", {}, "", "NOTICE ana :\x01VERSION Falatro 1.4 Beta\x01\r\n"},
      {"ping echoes its argument", ":ana!u@2001:db8::1 PRIVMSG eu :\x01PING 123 456\x01", {}, "",
       "NOTICE ana :\x01PING 123 456\x01\r\n"},
      {"a request in the channel is answered privately", ":ana!u@h PRIVMSG #sala :\x01" "CLIENTINFO\x01", {}, "",
       "NOTICE ana :\x01" "CLIENTINFO ACTION CLIENTINFO PING TIME VERSION\x01\r\n"},
      {"other requests are neither said nor answered", ":ana!u@h PRIVMSG eu :\x01" "DCC SEND x 1 2 3\x01", {}, "",
       ""},
      {"an ignored sender gets no answer", ":ana!u@h PRIVMSG eu :\x01VERSION\x01", {}, "", "", ignoring_ana},
  };
  for (const Case& c : cases) Run(c);
}

TEST_F(DispatcherTest, LoginRepliesShownFromTheirText) {
  const std::pair<std::string, std::string> cases[] = {
      {":srv 001 eu :Bem-vindo ao servidor", "Bem-vindo ao servidor"},
      {":srv 005 eu CHANLIMIT=#:20 PREFIX=(ov)@+ :are supported by this server",
       "CHANLIMIT=#:20 PREFIX=(ov)@+ are supported by this server"},
      {":srv 004 eu srv ircd-1 iosw biklmnopstv", "srv ircd-1 iosw biklmnopstv"},
      {":a!u@2001:db8::1 NOTICE eu :ol\xE1", "ol\xE1"},
      {"NOTICE AUTH :*** Looking up your hostname", "*** Looking up your hostname"},
  };
  for (const auto& [line, shown] : cases) EXPECT_EQ(ReplyTextToShow(line), shown) << line;
}

TEST_F(DispatcherTest, TruncatedLinesNeverCrash) {
  // Every prefix of some real lines: whatever is queued or said, nothing may read past the text.
  const char* lines[] = {
      ":op!u@h KICK #sala eu :fora", ":op!u@h MODE #sala +b :eu!*@*", ":a!b@2001:db8::1 PRIVMSG eu :oi",
      ":srv 353 eu = #sala :@op voz", ":NickServ!s@s NOTICE eu :x", ":x!y@z NICK :w", "\x03" "1,2",
  };
  for (const char* full : lines) {
    const std::string line = full;
    for (size_t n = 0; n <= line.size(); ++n) {
      Defaults();
      ClrScr();
      HandleServerLine(line.substr(0, n));
      Drain();
      Sent();
    }
  }
}

}  // namespace
}  // namespace falatro
