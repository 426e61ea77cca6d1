// End-to-end runs of what the client says for the servers' replies, against real servers: refused
// joins, lines and nicknames, the topic, a ban without a kick, CTCP and actions, nickname-service
// notices while a line is typed. The client logs in through a relay that records what it sends;
// scripted peers act on the other side; a script of steps runs from the loop's timers.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/channel.h"
#include "app/client_state.h"
#include "app/login.h"
#include "client_e2e_fixture.h"
#include "console/nxcrt.h"

namespace falatro {
namespace {

using apptest::IrcPeer;
using apptest::Server;
using Lines = std::vector<std::string>;

std::string ServerName(const ::testing::TestParamInfo<Server>& info) { return apptest::NameOf(info.param); }

class RepliesEndToEnd : public apptest::PeersEndToEnd, public ::testing::WithParamInterface<Server> {
 protected:
  void SetUp() override {
    PeersEndToEnd::SetUp();
    if (HasFatalFailure()) return;
    StartWithPeers(GetParam());
  }

  // Fails the run when the loop is still running after ms: what the client does must end it.
  void EndsByItself(int ms = 10000) {
    Then("the loop ended by itself", [] { return false; }, {}, ms);
  }
  // True when text waits in the message queue.
  static bool Queued(const std::string& text) {
    for (int i = Client.QueueRead; i != Client.QueueWrite; i = (i + 1) % kMessageQueueSize)
      if (Client.MessageQueue[i] == text) return true;
    return false;
  }
  // The peer's lines that contain text.
  static Lines LinesWith(const IrcPeer& peer, const std::string& text) {
    Lines out;
    for (const std::string& l : peer.lines())
      if (l.find(text) != std::string::npos) out.push_back(l);
    return out;
  }
  // Sends a line as amigo and waits until the server has taken it.
  void AmigoSends(const std::string& line) {
    amigo_.Send(line);
    Settle(amigo_);
  }
  static void Settle(IrcPeer& peer) {
    static int n = 0;
    const std::string mark = "marca" + std::to_string(++n);
    peer.Send("PING :" + mark);
    ASSERT_TRUE(peer.WaitFor(mark, 5000));
  }
  // True when the peer saw the mode change of #sala (servers write "+m" or ":+m").
  static bool SawMode(const IrcPeer& peer, const std::string& change) {
    for (const std::string& l : LinesWith(peer, " MODE #sala "))
      if (l.find(" " + change) != std::string::npos || l.find(" :" + change) != std::string::npos) return true;
    return false;
  }
  // True when the peer saw the client leave channel (servers write "PART #c" or "PART :#c").
  static bool Parted(const IrcPeer& peer, const std::string& channel) {
    for (const std::string& l : LinesWith(peer, ":cliente!"))
      if (l.find(" PART #" + channel.substr(1)) != std::string::npos || l.find(" PART :" + channel) != std::string::npos)
        return true;
    return false;
  }
  bool ClientIn(const std::string& channel) const {
    return Client.InChannel && Channel.Joined && amigo_.Saw(":cliente!") && amigo_.Saw("JOIN :" + channel);
  }

  // Types typed into the channel while the nickname service sends the client a notice; returns the
  // notice as said.
  std::string TypeWhileTheServiceAnswers(const std::string& typed) {
    if (GetParam() == Server::kInspircd) {
      // IDENTIFY for a nickname nobody registered: the service answers while the line is typed.
      Type("/nick cliente errada\r" + typed);
      return "Nick cliente isn't registered.";
    }
    Type(typed);
    // ngircd has no services: a peer under the service's name sends what the service would.
    IrcPeer& service = service_;
    if (!service.connected()) service.Login(server_address_, apptest::kTestIrcPort, "NickServ", server_.password());
    service.Send("NOTICE cliente :Senha aceita.");
    Settle(service);
    return "Senha aceita.";
  }

  IrcPeer service_;
};

TEST_P(RepliesEndToEnd, RefusedJoinsAreSaidAndEndTheLoop) {
  for (const char* line : {"JOIN #cheio", "MODE #cheio +l 1", "JOIN #convite", "MODE #convite +i",
                           "JOIN #banido", "MODE #banido +b cliente!*@*", "JOIN #chave", "MODE #chave +k segredo"})
    amigo_.Send(line);
  Settle(amigo_);
  struct Case {
    std::string name;
    std::string said;
  };
  const std::string cannot = "N\xE3o foi poss\xEDvel entrar no canal #";
  const Case cases[] = {
      {"cheio", cannot + "cheio: o canal est\xE1 lotado"},
      {"convite", cannot + "convite: o canal s\xF3 aceita convidados"},
      {"banido", cannot + "banido: voc\xEA est\xE1 banido deste canal"},
      {"chave", cannot + "chave: o canal pede uma senha; digite o nome do canal, um espa\xE7o e a senha"},
      {std::string(70, 'x'), cannot + std::string(70, 'x') + ": o nome do canal n\xE3o \xE9 v\xE1lido"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    shown_.clear();
    EndsByItself();
    RunScript([&] { JoinChannel(c.name); });
    EXPECT_FALSE(Client.InChannel);
    EXPECT_TRUE(Channel.JoinRefused);
    EXPECT_EQ(std::count(shown_.begin(), shown_.end(), c.said), 1) << Shown();
    EXPECT_EQ(LinesSent("Part #" + c.name), 0) << "never in the channel: nothing to leave";
    EXPECT_GT(Client.ServerSocket, 0);
  }
  // The key typed after the name opens the channel.
  Then("joined with the key", [] { return Channel.Joined; }, [] { Type("\x1bS"); });
  EXPECT_TRUE(RunScript([] { JoinChannel("chave segredo"); }));
  EXPECT_TRUE(amigo_.WaitFor(":cliente!", 3000));
}

TEST_P(RepliesEndToEnd, TopicRefusedLinesAndNicknamesAreSaidInTheirTurn) {
  AmigoSends("JOIN #sala");
  // A colour reset without digits: the blank after it stays.
  AmigoSends("TOPIC #sala :\x03" "4M\xC3\xBAsica\x03 de todos os tempos");
  bia_.Join("#sala");
  Settle(bia_);
  Then("in the channel", [&] { return ClientIn("#sala"); }, [&] { amigo_.Send("MODE #sala +m"); });
  Then("moderated", [&] { return SawMode(bia_, "+m"); }, [] { Type("calado\r"); });
  Then("refused", [&] { return WasShown("Mensagem n\xE3o enviada: o canal #sala n\xE3o aceita suas mensagens"); },
       [&] { amigo_.Send("MODE #sala -m"); });
  Then("no longer moderated", [&] { return SawMode(bia_, "-m"); },
       [] { Type("falando\r+ninguem oi\r/nick amigo\r/nick 1abc\r+bia psiu\r"); });
  Then("all answered", [&] { return WasShown("O apelido 1abc n\xE3o \xE9 v\xE1lido"); }, [] { Type("\x1bS"); });
  RunScript([] { JoinChannel("sala"); });
  Lines got;
  for (const std::string& s : shown_)
    if (s.find("Entrou") == std::string::npos && s[0] != '@' && s != "amigo" && s != "bia" && s != "cliente")
      got.push_back(s);
  const Lines expected = {
      "T\xF3pico do canal: M\xFAsica de todos os tempos",
      "Mensagem n\xE3o enviada: o canal #sala n\xE3o aceita suas mensagens",
      "cliente. falando",
      "Mensagem n\xE3o entregue: n\xE3o h\xE1 ningu\xE9m com o apelido ninguem",
      "O apelido amigo j\xE1 est\xE1 em uso",
      "O apelido 1abc n\xE3o \xE9 v\xE1lido",
  };
  EXPECT_EQ(got, expected);
  EXPECT_FALSE(WasShown("cliente. calado"));
  EXPECT_TRUE(bia_.Saw("PRIVMSG bia :psiu"));
  EXPECT_EQ(Client.Nickname, "cliente");
}


TEST_P(RepliesEndToEnd, ABanWithoutAKickLeavesTheChannelAndItsLinesStop) {
  AmigoSends("JOIN #sala");
  AmigoSends("JOIN #outra");
  Then("in the channel", [&] { return ClientIn("#sala"); }, [&] { amigo_.Send("MODE #sala +b cliente!*@*"); });
  EndsByItself();
  RunScript([] { JoinChannel("sala"); });
  EXPECT_EQ(shown_.back(), "amigo Baniu cliente deste canal");
  EXPECT_TRUE(amigo_.WaitFor(":cliente!", 3000));
  amigo_.WaitFor(" PART ", 3000);
  EXPECT_TRUE(Parted(amigo_, "#sala")) << "left on the server too";

  // In another channel, nothing of the old one is said; the old one can be joined again once the ban
  // is lifted, and answers.
  shown_.clear();
  Then("in the other channel", [&] { return ClientIn("#outra"); }, [&] {
    amigo_.Send("PRIVMSG #sala :na sala antiga");
    amigo_.Send("MODE #sala -b cliente!*@*");
    amigo_.Send("PRIVMSG #outra :aqui");
  });
  Then("the other channel's line", [&] { return WasShown("amigo. aqui"); }, [] { Type("\x1bS"); });
  EXPECT_TRUE(RunScript([] { JoinChannel("outra"); }));
  EXPECT_FALSE(WasShown("amigo. na sala antiga"));
  Then("back in the first channel", [&] { return Channel.Joined; }, [] { Type("\x1bS"); });
  EXPECT_TRUE(RunScript([] { JoinChannel("sala"); }));
  EXPECT_GT(Client.ServerSocket, 0);
  EXPECT_EQ(LinesSent("Part #sala"), 2);
}

TEST_P(RepliesEndToEnd, CtcpActionsAndRequests) {
  AmigoSends("JOIN #sala");
  Then("in the channel", [&] { return ClientIn("#sala"); }, [&] {
    amigo_.Privmsg("#sala", "\x01" "ACTION acena\x01");
    for (const char* request : {"VERSION", "PING 1733650000", "TIME", "CLIENTINFO", "DCC SEND x 1 2 3"})
      amigo_.Privmsg("cliente", std::string("\x01") + request + "\x01");
    amigo_.Privmsg("#sala", "fim");
  });
  Then("the requests answered", [&] { return WasShown("amigo. fim") && LinesWith(amigo_, "NOTICE amigo").size() >= 4; },
       [] { Type("/me sorri\r"); });
  Then("the own action echoed", [&] { return WasShown("cliente sorri"); }, [] { Type("\x1bS"); });
  EXPECT_TRUE(RunScript([] { JoinChannel("sala"); }));
  EXPECT_TRUE(WasShown("amigo acena"));
  for (const std::string& s : shown_) EXPECT_EQ(s.find('\x01'), std::string::npos) << s;
  for (const std::string& s : shown_) EXPECT_EQ(s.find("DCC"), std::string::npos) << s;
  const Lines notices = LinesWith(amigo_, "NOTICE amigo");
  ASSERT_EQ(notices.size(), 4u);
  const std::string from = ":cliente!";
  for (const std::string& n : notices) EXPECT_EQ(n.rfind(from, 0), 0u) << n;
  EXPECT_NE(notices[0].find("NOTICE amigo :\x01VERSION Falatro "), std::string::npos);
  EXPECT_NE(notices[1].find("NOTICE amigo :\x01PING 1733650000\x01"), std::string::npos);
  EXPECT_NE(notices[2].find("NOTICE amigo :\x01TIME "), std::string::npos);
  EXPECT_NE(notices[3].find("NOTICE amigo :\x01" "CLIENTINFO ACTION CLIENTINFO PING TIME VERSION\x01"),
            std::string::npos);
  EXPECT_TRUE(amigo_.Saw("PRIVMSG #sala :\x01" "ACTION sorri\x01"));
}

TEST_P(RepliesEndToEnd, NoticesAndCtrlBackspaceWhileALineIsTyped) {
  AmigoSends("JOIN #sala");
  std::string notice;
  Then("in the channel", [&] { return ClientIn("#sala"); },
       [&] { notice = TypeWhileTheServiceAnswers("oi gente!"); });
  Then("the notice waits", [&] { return Queued(notice); }, [&] { amigo_.Privmsg("#sala", "depois"); });
  Then("the notice and the message waited", [&] { return Queued(notice) && Queued("amigo. depois"); },
       [&] {
         EXPECT_FALSE(WasShown(notice)) << "said over the typed line";
         Type("\x7f\x7f!\r");
       });
  Then("said in their turn", [&] { return WasShown("cliente. oi !"); }, [] { Type("\x1bS"); });
  EXPECT_TRUE(RunScript([] { JoinChannel("sala"); }));
  const Lines expected = {notice, "amigo. depois", "cliente. oi !"};
  Lines got;
  for (const std::string& s : shown_)
    if (std::find(expected.begin(), expected.end(), s) != expected.end()) got.push_back(s);
  EXPECT_EQ(got, expected) << Shown();
  EXPECT_TRUE(amigo_.Saw("PRIVMSG #sala :oi !")) << "Ctrl+Backspace deleted the word and the mark before it";
}

TEST_P(RepliesEndToEnd, APrivateMessageFromTheMenuIsSentOnlyWhenTheServerTakesIt) {
  struct Case {
    std::string keys;
    std::string said;
    std::string not_said;
  };
  const Case cases[] = {
      {"ninguem\roi\r", "Mensagem n\xE3o entregue: n\xE3o h\xE1 ningu\xE9m com o apelido ninguem",
       "Mensagem enviada."},
      {"bia\roi bia\r", "Mensagem enviada.", "n\xE3o entregue"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    ClrScr();
    Type(c.keys);
    RunScript([] { SendPrivateMessage(); });
    EXPECT_TRUE(ScreenHas(c.said)) << Screen();
    EXPECT_FALSE(ScreenHas(c.not_said)) << Screen();
  }
  EXPECT_TRUE(bia_.WaitFor("PRIVMSG bia :oi bia", 3000));
}

INSTANTIATE_TEST_SUITE_P(Servers, RepliesEndToEnd, ::testing::Values(Server::kNgircd, Server::kInspircd),
                         ServerName);

}  // namespace
}  // namespace falatro
