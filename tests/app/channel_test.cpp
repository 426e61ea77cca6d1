// Tests of the channel conversation on a simulated clock: the typed line and its commands, the lines
// sent, the queued messages held back while typing, leaving, kicks, bans and dropped connections.
#include "app/channel.h"

#include <gtest/gtest.h>

#include "app/client_state.h"
#include "app/server_link.h"
#include "app/prompt_catalogue.h"
#include "channel_test_support.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"

namespace falatro {
namespace {

using Lines = std::vector<std::string>;

class ChannelTest : public apptest::ChannelFixture {
 protected:
  void SetUp() override {
    ChannelFixture::SetUp();
    Channel.on_shown = [this](const std::string& text) { shown_.push_back(text); };
  }
  // Lines sent between the JOIN and the final PART.
  Lines Between() {
    Lines all = SentLines();
    EXPECT_FALSE(all.empty());
    if (all.empty()) return all;
    EXPECT_EQ(all.front(), "JOIN #sala");
    Lines out(all.begin() + 1, all.end());
    if (!out.empty() && out.back() == "Part #sala") out.pop_back();
    return out;
  }
  Lines shown_;
};

TEST_F(ChannelTest, TypedLinesAndCommands) {
  struct Case {
    const char* what;
    std::string keys;
    Lines sent;
    std::string on_screen;  // a text that must be shown ("" for none)
  };
  const Case cases[] = {
      {"a plain line goes to the channel", "oi gente\r", {"PRIVMSG #sala :oi gente"}, "eu. oi gente"},
      {"backspace removes the last character", "oiz\bx\r", {"PRIVMSG #sala :oix"}, ""},
      {"Ctrl+Y erases the line", "abc\x19" "de\r", {"PRIVMSG #sala :de"}, ""},
      {"/quem asks for the names", "/quem\r", {"NAMES #sala"}, ""},
      {"commands ignore letter case", "/QuEm\r", {"NAMES #sala"}, ""},
      {"a doubled slash is one", "//quem\r", {"NAMES #sala"}, ""},
      {"/nick with a password identifies", "/nick novo segredo\r", {"NICK novo", "IDENTIFY segredo"}, ""},
      {"/nome with a nickname alone", "/nome novo\r", {"NICK novo"}, ""},
      {"/nickserv is the nickname command", "/nickserv\r", {"NICK erv"}, ""},
      {"+ sends a private message", "+ana oi tudo bem\r", {"PRIVMSG ana :oi tudo bem"}, ""},
      {"a doubled + is one", "++ana oi\r", {"PRIVMSG ana :oi"}, ""},
      {"a second character + is dropped", "a+b\r", {"PRIVMSG #sala :ab"}, ""},
      {"+ with a nickname alone sends nothing", "+ana\r\x19", {}, ""},
      {"an unknown command", "/xyz\r", {}, "Comando inv\xE1lido"},
      {"/ignorar answers in the queue", "/ignorar Ana outra\r", {}, "Apelido ignorado: Ana"},
      {"/designorar of a stranger", "/designorar bob\r", {}, "Apelido bob n\xE3o est\xE1 sendo ignorado"},
      {"/ignorar without a nickname", "/ignorar\r", {}, "Comando inv\xE1lido"},
      {"Esc and N stay in the channel", "\x1bNoi\r", {"PRIVMSG #sala :oi"}, "Confirma Fim?"},
      {"Enter on an empty line sends nothing", "\r\r", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    received_.clear();
    SentLines();
    received_.clear();
    ClrScr();
    ResetClientState();
    Client.ServerSocket = pair_[0];
    StartServerReading(pair_[0]);
    Client.Nickname = "eu";
    TypeAt(sim_.now + 1000, c.keys);
    std::string screen;
    AddTimer(19000, [&] { screen = Screen(); });
    TypeAt(sim_.now + 20000, "\x1bS");
    JoinSala();
    EXPECT_EQ(Between(), c.sent);
    EXPECT_EQ(SentLines().back(), "Part #sala") << "Esc and S leave with a PART";
    if (!c.on_screen.empty()) {
      EXPECT_NE(screen.find(c.on_screen), std::string::npos) << screen;
    }
    EXPECT_TRUE(Client.CurrentChannel.empty());
    EXPECT_FALSE(Client.InChannel);
  }
}

TEST_F(ChannelTest, PlusWithANicknameAloneKeepsItTyped) {
  TypeAt(1000, "+ana\r");
  AddTimer(3000, [] { EXPECT_EQ(Client.TypedLine, "+ana"); });
  TypeAt(4000, " oi\r");
  TypeAt(8000, "\x1bS");
  JoinSala();
  EXPECT_EQ(Between(), Lines{"PRIVMSG ana :oi"});
}

TEST_F(ChannelTest, IgnoreListThroughCommandsAndNickChanges) {
  TypeAt(1000, "/ignorar ana\r");
  TypeAt(2000, "/ignorar ANA\r");
  ServerSendsAt(3000, ":ana!u@h PRIVMSG #sala :escondida\r\n:ana!u@h NICK :ana2\r\n"
                      ":ana2!u@h PRIVMSG #sala :ainda escondida\r\n");
  TypeAt(5000, "/designorar ana2\r");
  ServerSendsAt(6000, ":ana2!u@h PRIVMSG #sala :de volta\r\n");
  TypeAt(15000, "\x1bS");
  JoinSala();
  const Lines expected = {"Apelido ignorado: ana", "Apelido ANA j\xE1 est\xE1 sendo ignorado",
                          "ana Trocou de nick para ana2", "Apelido designorado: ana2", "ana2. de volta"};
  Lines said;
  for (const std::string& s : shown_)
    if (s.find("Entrou") == std::string::npos) said.push_back(s);
  EXPECT_EQ(said, expected);
  for (const std::string& slot : Client.IgnoreList) EXPECT_TRUE(slot.empty());
}

TEST_F(ChannelTest, AFullIgnoreListRefusesSilently) {
  for (int i = 0; i < kIgnoreSlots; ++i) Client.IgnoreList[i] = "n" + std::to_string(i);
  TypeAt(1000, "/ignorar outro\r");
  TypeAt(5000, "\x1bS");
  JoinSala();
  EXPECT_FALSE(IsIgnored("outro"));
  for (const std::string& s : shown_) EXPECT_EQ(s.find("outro"), std::string::npos) << s;
}

TEST_F(ChannelTest, MessagesWaitWhileTypingAndComeInArrivalOrder) {
  TypeAt(1000, "abc");
  ServerSendsAt(1100, ":ana!u@h PRIVMSG #sala :um\r\n:bia!u@h PRIVMSG #sala :dois\r\n");
  ServerSendsAt(1500, ":ana!u@h PRIVMSG #sala :tres\r\n");
  uint64_t shown_while_typing = 99;
  AddTimer(6000, [&] { shown_while_typing = shown_.size(); });
  TypeAt(7000, "\r");
  TypeAt(9000, "de");
  ServerSendsAt(9100, ":ana!u@h PRIVMSG #sala :quatro\r\n");
  uint64_t shown_before_erase = 99;
  AddTimer(12000, [&] { shown_before_erase = shown_.size(); });
  TypeAt(13000, "\x19");
  TypeAt(20000, "\x1bS");
  JoinSala();
  EXPECT_EQ(shown_while_typing, 1u) << "only the join was said before typing began";
  EXPECT_EQ(shown_before_erase, 5u);
  const Lines expected = {".eu Entrou no canal", "ana. um", "bia. dois", "ana. tres", "eu. abc", "ana. quatro"};
  EXPECT_EQ(shown_, expected);
}

TEST_F(ChannelTest, ABurstLargerThanTheRingLosesNothing) {
  std::string burst;
  const int kCount = 1000;
  for (int i = 0; i < kCount; ++i) burst += ":p" + std::to_string(i % 7) + "!u@h PRIVMSG #sala :m" + std::to_string(i) + "\r\n";
  TypeAt(1000, "x");
  ServerSendsAt(1100, burst.substr(0, burst.size() / 2));
  ServerSendsAt(1200, burst.substr(burst.size() / 2));
  ServerSendsAt(2000, "PING :srv\r\n");
  TypeAt(4000, "\x19");
  Channel.after_pass = [&] {
    if (shown_.size() >= static_cast<size_t>(kCount) + 1 && !KeyPressed()) TypeAt(sim_.now + 10, "\x1bS");
  };
  JoinSala();
  ASSERT_EQ(shown_.size(), static_cast<size_t>(kCount) + 1);
  for (int i = 0; i < kCount; ++i)
    ASSERT_EQ(shown_[i + 1], "p" + std::to_string(i % 7) + ". m" + std::to_string(i)) << i;
  EXPECT_EQ(Client.MessagesLost, 0u);
  EXPECT_GT(Channel.LargestBacklog, 0u) << "the burst did not fill the ring";
  const Lines sent = SentLines();
  EXPECT_NE(std::find(sent.begin(), sent.end(), "PONG :srv"), sent.end())
      << "a PING behind a held-back burst is answered at once";
}

TEST_F(ChannelTest, LinesSentWhileABurstIsHeldBackAreNotLost) {
  // The ring is kept nearly full by a held-back burst; several lines sent in one pass each queue their
  // echo, which must wait behind the burst rather than push its oldest entries out of the ring.
  std::string burst;
  const int kCount = 600;
  for (int i = 0; i < kCount; ++i) burst += ":p" + std::to_string(i % 5) + "!u@h PRIVMSG #sala :m" + std::to_string(i) + "\r\n";
  TypeAt(1000, "x");
  ServerSendsAt(1100, burst);
  TypeAt(3000, "\r");
  TypeAt(3500, "a\rb\rc\rd\re\r/ignorar p9\r");
  // Leaves once everything was said, or after ten simulated minutes (a lost message is never said).
  Channel.after_pass = [&] {
    const bool done = shown_.size() >= static_cast<size_t>(kCount) + 8 || sim_.now > 600000;
    if (done && !KeyPressed()) TypeAt(sim_.now + 10, "\x1bS");
  };
  JoinSala();
  EXPECT_EQ(Client.MessagesLost, 0u);
  ASSERT_EQ(shown_.size(), static_cast<size_t>(kCount) + 8);
  Lines own;
  int server = 0;
  for (const std::string& text : shown_) {
    if (text.rfind("eu. ", 0) == 0 || text.rfind("Apelido", 0) == 0) {
      own.push_back(text);
    } else if (text.rfind("p", 0) == 0) {
      EXPECT_EQ(text, "p" + std::to_string(server % 5) + ". m" + std::to_string(server)) << "in arrival order";
      ++server;
    }
  }
  EXPECT_EQ(server, kCount);
  const Lines expected = {"eu. x", "eu. a", "eu. b", "eu. c", "eu. d", "eu. e", "Apelido ignorado: p9"};
  EXPECT_EQ(own, expected);
}

TEST_F(ChannelTest, KickOrBanOfTheUserEndsTheLoop) {
  struct Case {
    const char* what;
    std::string line;
    std::string heard;
    Lines sent;  // a ban leaves the user in the channel on the server: the client leaves it
  };
  const Case cases[] = {
      {"kick", ":op!u@h KICK #sala eu :fora\r\n", "Voc\xEA foi expulso do canal", {"JOIN #sala"}},
      {"kick without a reason", ":op!u@h KICK #sala EU\r\n", "Voc\xEA foi expulso do canal", {"JOIN #sala"}},
      {"ban", ":op!u@h MODE #sala +b eu!*@*\r\n", "op Baniu eu deste canal", {"JOIN #sala", "Part #sala"}},
      {"ban with a colon", ":op!u@h MODE #sala +b :eu!*@*\r\n", "op Baniu eu deste canal",
       {"JOIN #sala", "Part #sala"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    received_.clear();
    shown_.clear();
    TypeAt(sim_.now + 500, "meio");  // a half-typed line does not hold the news back
    ServerSendsAt(sim_.now + 1000, c.line);
    JoinSala();
    EXPECT_FALSE(Client.InChannel);
    EXPECT_EQ(Client.CurrentChannel, "sala") << "the menu clears it";
    EXPECT_EQ(SentLines(), c.sent);
    EXPECT_EQ(shown_.back(), c.heard);
    EXPECT_GT(Client.ServerSocket, 0);
  }
}

TEST_F(ChannelTest, ADroppedConnectionEndsTheLoop) {
  ServerSendsAt(1000, ":ana!u@h PRIVMSG #sala :tchau\r\n");
  ServerClosesAt(3000);
  JoinSala();
  EXPECT_EQ(Count(PromptText("FTCAIU")), 1);
  EXPECT_EQ(Client.ServerSocket, 0);
  EXPECT_FALSE(Client.InChannel);
  EXPECT_EQ(shown_.back(), "ana. tchau");
}

TEST_F(ChannelTest, AFailedSendEndsTheLoopWithoutEcho) {
  TypeAt(1000, "perdida");
  AddTimer(2000, [this] { shutdown(pair_[0], SHUT_WR); });
  TypeAt(3000, "\r");
  JoinSala();
  EXPECT_EQ(Count(PromptText("FTCAIU")), 1);
  EXPECT_EQ(Client.ServerSocket, 0);
  EXPECT_EQ(Count("eu. perdida"), 0);
}

TEST_F(ChannelTest, TheJoinFailsWithoutAConnection) {
  Client.ServerSocket = 0;
  JoinChannel("sala");
  EXPECT_EQ(Count(PromptText("FTCAIU")), 1);
  EXPECT_FALSE(Client.InChannel);
}

TEST_F(ChannelTest, AChannelTypedWithItsHashGetsTwo) {
  TypeAt(1000, "\x1bS");
  ServerSends(":eu!u@h JOIN :##sala\r\n");
  JoinChannel("#sala");
  EXPECT_EQ(SentLines().front(), "JOIN ##sala");
}

TEST_F(ChannelTest, TheTypedLineHoldsAtMost256Characters) {
  TypeAt(1000, std::string(260, 'a'));
  AddTimer(6000, [] { EXPECT_EQ(Client.TypedLine.size(), kTypedLineMax); });
  TypeAt(7000, "\r");
  TypeAt(9000, "\x1bS");
  JoinSala();
  EXPECT_EQ(Between(), Lines{"PRIVMSG #sala :" + std::string(256, 'a')});
}

TEST_F(ChannelTest, ALongLineShowsItsLast79Characters) {
  const std::string typed = std::string(70, 'a') + std::string(20, 'b');
  TypeAt(1000, typed);
  std::string row;
  AddTimer(4000, [&] { row = Row(Crt.TextWindow.Top + WhereY()); });
  TypeAt(5000, "\x19\x1bS");
  JoinSala();
  EXPECT_EQ(row, typed.substr(typed.size() - 79));
}

TEST_F(ChannelTest, CopyTakesTheLastShownMessageWithoutItsSender) {
  ServerSendsAt(1000, ":maria!u@h PRIVMSG #sala :oi gente boa\r\n");
  std::string first, second;
  TypeAt(4000, Ext(255));
  AddTimer(4500, [&] { first = Kbd.OwnClipboard; });
  TypeAt(5000, Ext(255));
  AddTimer(5500, [&] { second = Kbd.OwnClipboard; });
  TypeAt(8000, "\x1bS");
  JoinSala();
  EXPECT_EQ(first, "oi gente boa");
  EXPECT_EQ(second, "gente boa") << "a second copy drops one more word";
}

TEST_F(ChannelTest, PasteAppendsWithoutLineEnds) {
  Kbd.OwnClipboard = "ab\r\ncd";
  TypeAt(1000, "x" + Ext(254) + "\r");
  Kbd.OwnClipboard = "ab\r\ncd";
  TypeAt(5000, "\x1bS");
  JoinSala();
  EXPECT_EQ(Between(), Lines{"PRIVMSG #sala :xabcd"});
}

TEST_F(ChannelTest, ControlKeysNeverMakeAnInvisibleLineThatMessagesTalkOver) {
  // Tab and Ctrl+letters typed first are refused with a beep, so the line stays empty and a message is
  // said at once; a tab pasted becomes a blank, so a pasted line shows and holds messages back.
  Kbd.OwnClipboard = "\tol\x01\xE1";
  TypeAt(1000, "\t\x01\x0A");
  ServerSendsAt(1100, ":ana!u@h PRIVMSG #sala :um\r\n");
  uint64_t shown_after_control_keys = 99;
  AddTimer(4000, [&] { shown_after_control_keys = shown_.size(); });
  TypeAt(5000, Ext(254));
  ServerSendsAt(5100, ":ana!u@h PRIVMSG #sala :dois\r\n");
  uint64_t shown_while_pasted_line_waits = 99;
  AddTimer(8000, [&] { shown_while_pasted_line_waits = shown_.size(); });
  TypeAt(9000, "\r");
  TypeAt(14000, "\x1bS");
  JoinSala();
  EXPECT_EQ(shown_after_control_keys, 2u) << "the join and ana's first message";
  EXPECT_EQ(shown_while_pasted_line_waits, 2u);
  EXPECT_EQ(Between(), Lines{"PRIVMSG #sala : ol\xC3\xA1"});  // sent as UTF-8
}

TEST_F(ChannelTest, PasteStopsAtTheLineLimit) {
  Kbd.OwnClipboard = std::string(200, 'c');
  TypeAt(1000, std::string(100, 'a') + Ext(254));
  AddTimer(6000, [] { EXPECT_EQ(Client.TypedLine.size(), kTypedLineMax); });
  TypeAt(7000, "\x19\x1bS");
  JoinSala();
}

TEST_F(ChannelTest, EnteringEmptiesTheQueue) {
  QueueMessage("velha");
  TypeAt(3000, "\x1bS");
  JoinSala();
  for (const std::string& s : shown_) EXPECT_NE(s, "velha");
}

TEST_F(ChannelTest, PrivateMessageFromTheMenu) {
  struct Case {
    const char* what;
    std::string keys;
    Lines sent;
    std::string said;
  };
  const Case cases[] = {
      {"nickname and message", "ana\r  oi ana\r", {"PRIVMSG ana :oi ana"}, PromptText("FTMSGENV")},
      {"leading blanks of the nickname", "  ana\roi\r", {"PRIVMSG ana :oi"}, PromptText("FTMSGENV")},
      {"no nickname", "\r", {}, ""},
      {"no message", "ana\r   \r", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    received_.clear();
    ClrScr();
    TypeAt(sim_.now + 100, c.keys);
    SendPrivateMessage();
    EXPECT_EQ(SentLines(), c.sent);
    if (!c.said.empty()) {
      EXPECT_TRUE(ScreenHas(c.said)) << Screen();
    }
  }
  Client.ServerSocket = 0;
  SendPrivateMessage();
  EXPECT_TRUE(ScreenHas(PromptText("FTNAOCON")));
}

}  // namespace
}  // namespace falatro

namespace falatro {
namespace {

// Random keys and random server lines: the loop never crashes, never holds more than 256 typed
// characters, and every line it sends is one line.
TEST_F(ChannelTest, RandomKeysAndServerLines) {
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7FFF;
  };
  std::string keys;
  for (int i = 0; i < 3000; ++i) {
    const uint8_t k = static_cast<uint8_t>(next() % 256);
    if (k == 27) continue;  // Esc would leave
    if (k == 0) {
      // Extended keys other than the speech settings and the screen review (those wait for their own
      // answers, tested elsewhere).
      const uint8_t code = static_cast<uint8_t>(next() % 256);
      if (code == 62 || code == 67) continue;
      keys += std::string(1, '\0') + static_cast<char>(code);
    } else {
      keys.push_back(static_cast<char>(k));
    }
  }
  std::string lines;
  for (int i = 0; i < 300; ++i) {
    std::string line = ":n" + std::to_string(next() % 5) + "!u@h ";
    const char* commands[] = {"PRIVMSG #sala :", "PRIVMSG eu :", "JOIN :#sala", "PART #sala", "NICK :",
                              "TOPIC #sala :", "353 eu = #sala :", "MODE #sala +b ", "KICK #sala n1 :"};
    line += commands[next() % 9];
    const int len = next() % 40;
    for (int j = 0; j < len; ++j) {
      char c = static_cast<char>(next() % 256);
      if (c == '\r' || c == '\n' || c == 0) c = 'x';
      line.push_back(c);
    }
    lines += line + "\r\n";
  }
  ServerSendsAt(1500, lines);
  bool within = true;
  Channel.after_pass = [&] { within = within && Client.TypedLine.size() <= kTypedLineMax; };
  TypeAt(1000, keys);
  TypeAt(sim_.now + 1000 + 10 * keys.size() + 60000, "\x19\x1bS");
  JoinSala();
  EXPECT_TRUE(within);
  const Lines sent = SentLines();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back(), "Part #sala") << "the loop ran to the final Esc S";
  EXPECT_GT(sent.size(), 10u);
  for (const std::string& l : sent) EXPECT_EQ(l.find_first_of("\r\n"), std::string::npos);
}

}  // namespace
}  // namespace falatro

namespace falatro {
namespace {

// A full ring with a long names reply held back while the user types: the loop sleeps instead of
// spinning, and everything is said once the line is sent.
TEST_F(ChannelTest, AHeldBackBurstWhileTypingDoesNotSpin) {
  std::string burst;
  for (int i = 0; i < 200; ++i) burst += ":ana!u@h PRIVMSG #sala :m" + std::to_string(i) + "\r\n";
  burst += ":srv 353 eu = #sala :";
  for (int i = 0; i < 150; ++i) burst += "n" + std::to_string(i) + " ";
  burst += "\r\n:bia!u@h PRIVMSG #sala :depois\r\n";
  TypeAt(1000, "x");
  ServerSendsAt(1100, burst);
  uint64_t passes_at_3s = 0, passes_at_10s = 0;
  AddTimer(3000, [&] { passes_at_3s = Channel.Passes; });
  AddTimer(10000, [&] { passes_at_10s = Channel.Passes; });
  TypeAt(11000, "\r");
  Channel.after_pass = [&] {
    if (!shown_.empty() && shown_.back() == "bia. depois" && !KeyPressed()) TypeAt(sim_.now + 10, "\x1bS");
  };
  JoinSala();
  EXPECT_LT(passes_at_10s - passes_at_3s, 20u) << "the loop spun while waiting for the typed line";
  ASSERT_GE(shown_.size(), 350u);
  EXPECT_EQ(shown_[1], "ana. m0");
  EXPECT_EQ(shown_[200], "ana. m199");
  EXPECT_EQ(shown_[201], "eu. x");
  EXPECT_EQ(shown_[202], "n0");
  EXPECT_EQ(shown_.back(), "bia. depois");
  EXPECT_EQ(Client.MessagesLost, 0u);
}

}  // namespace
}  // namespace falatro
