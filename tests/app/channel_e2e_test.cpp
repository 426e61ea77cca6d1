// End-to-end runs of the channel and the channel list against Debian's ngircd: the client logged in
// through a relay that records what it sends, scripted peers on the other side, and a script of steps
// run from the event loop's timers on the client's own thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/channel.h"
#include "app/channel_list.h"
#include "app/client_state.h"
#include "app/login.h"
#include "app/main_menu.h"
#include "app/prompt_catalogue.h"
#include "client_e2e_fixture.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "platform/console/headless/headless_frontend.h"
#include "speech/diphone_synth.h"
#include "speech/sound_device.h"
#include "speech/suite_settings.h"

namespace falatro {
namespace {

using apptest::IrcPeer;
using Lines = std::vector<std::string>;

constexpr uint8_t kF2 = 60, kF3 = 61, kF6 = 64, kDown = 80;

class ChannelEndToEnd : public apptest::PeersEndToEnd {
 protected:
  void SetUp() override {
    PeersEndToEnd::SetUp();
    if (HasFatalFailure()) return;
    StartWithPeers(apptest::Server::kNgircd);
  }

  static std::string Ext(uint8_t code) { return std::string(1, '\0') + static_cast<char>(code); }
  // Both peers are in #sala with amigo as its operator (the first to join).
  void PeersInSala() {
    amigo_.Join("#sala");
    ASSERT_TRUE(amigo_.WaitFor(" 366 ", 5000));
    bia_.Join("#sala");
    ASSERT_TRUE(bia_.WaitFor(" 366 ", 5000));
  }
  bool ClientInSala() const { return Client.InChannel && amigo_.Saw(":cliente!") && amigo_.Saw("JOIN"); }
};

TEST_F(ChannelEndToEnd, ConversationCommandsIgnoreAndKick) {
  PeersInSala();
  const Lines burst = {"amigo. um", "bia. dois", "amigo. tres", "bia. quatro", "amigo. cinco", "bia. seis"};
  Then("in the channel", [&] { return ClientInSala(); }, [&] {
    Type("ola");
    // Each message has gone round the channel before the other peer says the next, so the server
    // relays them in this order.
    const char* words[] = {"um", "dois", "tres", "quatro", "cinco", "seis"};
    for (int i = 0; i < 6; ++i) {
      (i % 2 ? bia_ : amigo_).Privmsg("#sala", words[i]);
      EXPECT_TRUE((i % 2 ? amigo_ : bia_).WaitFor(std::string("PRIVMSG #sala :") + words[i], 3000));
    }
  });
  Then("the messages wait while a line is typed", [&] { return QueuedMessageCount() >= 6; }, [&] {
    for (const std::string& m : burst) EXPECT_FALSE(WasShown(m)) << m;
    Type("\r");
  });
  Then("all said once the line is sent", [&] { return WasShown("cliente. ola"); }, [&] {
    Lines got;
    for (const std::string& s : shown_)
      if (s.find(". ") != std::string::npos) got.push_back(s);
    Lines expected = burst;
    expected.push_back("cliente. ola");
    EXPECT_EQ(got, expected);
    Type("/ignorar AMIGO\r");
  });
  Then("amigo ignored", [&] { return WasShown("Apelido ignorado: AMIGO"); }, [&] {
    amigo_.Privmsg("#sala", "secreto");
    amigo_.Send("NICK amigo2");
    amigo_.Privmsg("#sala", "secreto2");
  });
  Then("bia saw it all", [&] { return bia_.Saw("PRIVMSG #sala :secreto2"); },
       [&] { bia_.Privmsg("#sala", "marca"); });
  Then("the ignore follows the nick change", [&] { return WasShown("bia. marca"); }, [&] {
    EXPECT_TRUE(WasShown("amigo Trocou de nick para amigo2"));
    EXPECT_FALSE(WasShown("amigo. secreto"));
    EXPECT_FALSE(WasShown("amigo2. secreto2"));
    Type("/designorar amigo2\r");
  });
  Then("unignored", [&] { return WasShown("Apelido designorado: amigo2"); },
       [&] { amigo_.Privmsg("#sala", "voltei"); });
  Then("heard again", [&] { return WasShown("amigo2. voltei"); }, [&] { Type("+bia psiu\r//quem\r"); });
  Then("the private message and the names", [&] { return bia_.Saw("PRIVMSG bia :psiu") && WasShown("@amigo2"); },
       [&] { Type("/nick cliente2\r"); });
  Then("renamed", [&] { return Client.Nickname == "cliente2"; },
       [&] { amigo_.Send("KICK #sala cliente2 :fora"); });
  EXPECT_TRUE(RunScript([] { JoinChannel("sala"); }));
  EXPECT_FALSE(Client.InChannel);
  ASSERT_FALSE(shown_.empty());
  EXPECT_EQ(shown_.back(), "Voc\xEA foi expulso do canal");
  EXPECT_TRUE(bia_.Saw("PRIVMSG #sala :ola"));
  EXPECT_EQ(LinesSent("NAMES #sala"), 1);
  EXPECT_EQ(LinesSent("Part #sala"), 0) << "nothing is sent after a kick";
  EXPECT_EQ(Client.CurrentChannel, "sala");
}

// A phone user's message through a real server: curly quotes, an ellipsis, a dash and two emoji in
// UTF-8 are shown in cp1252 with the emoji's names, and heard as the plain marks and the names.
TEST_F(ChannelEndToEnd, TypographicMarksAndEmojiFromAPhone) {
  // Recordings told apart in what is heard: quotes, dash, full stop, brackets, question mark.
  const std::pair<int, uint8_t> marks[] = {{34, 10}, {45, 20}, {46, 30}, {40, 40}, {41, 40}, {63, 50}};
  for (const auto& [code, value] : marks) {
    uint8_t header[44];
    BuildWaveHeader(header, 40, 11025, 1, 8);
    std::string bytes(reinterpret_cast<char*>(header), sizeof header);
    bytes.append(40, static_cast<char>(value));
    WriteFile(letters_ + "/_" + std::to_string(code) + ".wav", bytes);
  }
  std::vector<std::string> looked_up;
  Diphone.OnLookup = [&](std::string_view name, int, bool) { looked_up.emplace_back(name); };
  const std::string shown = "amigo. ele disse \x93oi\x94 e saiu\x85 \x97 at\xE9 (rosto risonho)(polegar para cima)";
  PeersInSala();
  Then("in the channel", [&] { return ClientInSala(); }, [&] {
    amigo_.Privmsg("#sala", "ele disse \xE2\x80\x9Coi\xE2\x80\x9D e saiu\xE2\x80\xA6 \xE2\x80\x94 at\xC3\xA9 "
                            "\xF0\x9F\x98\x80\xF0\x9F\x91\x8D");
  });
  Then("shown with the names", [&] { return WasShown(shown); }, [&] {
    amigo_.Privmsg("#sala", "fim");
  });
  Then("said to its end", [&] { return WasShown("amigo. fim"); }, [] { Type("\x1bS"); });
  EXPECT_TRUE(RunScript([] { JoinChannel("sala"); }));
  Diphone.OnLookup = nullptr;

  // The names were said by the voice: the first letters of both names, in order, after "ate".
  std::string voice;
  for (const std::string& n : looked_up) voice += n + " ";
  const size_t rosto = voice.find("_82 _79 _83 _84 _79");
  ASSERT_NE(rosto, std::string::npos) << voice;
  EXPECT_NE(voice.find("_80 _79 _76 _69 _71", rosto), std::string::npos) << voice;
  // The marks heard, in order, from the file of everything played (16-bit: the 8-bit value - 128, x 256).
  const std::string wav = ReadFile(root_ + "/ouvido.wav");
  ASSERT_GT(wav.size(), 44u);
  std::string heard;
  int last = -1;
  for (size_t i = 44; i + 1 < wav.size(); i += 2) {
    const int16_t sample = static_cast<int16_t>(static_cast<uint8_t>(wav[i]) | (static_cast<uint8_t>(wav[i + 1]) << 8));
    const int value = sample / 256 + 128;
    if (value == last) continue;
    last = value;
    for (const auto& [code, v] : marks)
      if (v == value) heard += code == 34 ? "aspas " : code == 45 ? "traco " : code == 46 ? "ponto " : code == 63 ? "? " : "( ";
  }
  EXPECT_NE(heard.find("aspas aspas ponto ponto ponto traco "), std::string::npos) << heard;
  EXPECT_EQ(heard.find('?'), std::string::npos) << "nothing is said as a question: " << heard;
  EXPECT_EQ(heard.find('('), std::string::npos) << "the brackets around names are not said: " << heard;
}

TEST_F(ChannelEndToEnd, LeaveConfirmationAndBan) {
  PeersInSala();
  Then("in the channel", [&] { return ClientInSala(); }, [] { Type("\x1bN"); });
  Then("stays after N", [&] { return ScreenHas("Confirma Fim?") && Client.InChannel; },
       [&] { amigo_.Send("MODE #sala +b cliente!*@*"); });
  EXPECT_TRUE(RunScript([] { JoinChannel("sala"); }));
  EXPECT_EQ(shown_.back(), "amigo Baniu cliente deste canal");

  // Joining again (the ban is lifted) and leaving with Esc and S.
  amigo_.Send("MODE #sala -b cliente!*@*");
  ASSERT_TRUE(amigo_.WaitFor("-b", 3000));
  script_.steps.clear();
  amigo_.Send("PING :marca");
  Then("in the channel again", [&] { return Client.InChannel && Channel.LinesRead > 0; },
       [] { Type("\x1bS"); });
  EXPECT_TRUE(RunScript([] { JoinChannel("sala"); }));
  EXPECT_TRUE(amigo_.WaitFor("PART #sala", 3000));
  EXPECT_TRUE(Client.CurrentChannel.empty());
  EXPECT_GT(Client.ServerSocket, 0);
}

TEST_F(ChannelEndToEnd, ADroppedConnection) {
  PeersInSala();
  Then("in the channel", [&] { return ClientInSala(); }, [&] { server_.Stop(); });
  EXPECT_TRUE(RunScript([] { JoinChannel("sala"); }));
  EXPECT_EQ(Client.ServerSocket, 0);
  EXPECT_FALSE(Client.InChannel);
  EXPECT_TRUE(ScreenHas("Conex\xE3o remota caiu")) << Screen();
}

TEST_F(ChannelEndToEnd, FunctionKeysCopyAndPaste) {
  PeersInSala();
  Then("in the channel", [&] { return ClientInSala(); }, [] { Type(Ext(kF6)); });
  Then("the address said", [&] { return ScreenHas(Client.LocalAddress) && ScreenHas("desta conex"); },
       [] { Type(Ext(kF2) + "3\rbia\r"); });
  Then("remembered", [&] { return Client.NicknameMemory[3] == "bia"; },
       [] { Type(Ext(kF3) + "3\roi\r"); });
  Then("the nickname sent in a line", [&] { return bia_.Saw("PRIVMSG #sala :bia oi"); },
       [&] { amigo_.Privmsg("#sala", "copie isto"); });
  Then("amigo's message shown", [&] { return Client.LastShownMessage == "amigo. copie isto"; },
       [] { Type(Ext(255)); });
  Then("copied", [&] { return Kbd.OwnClipboard == "copie isto"; }, [] { Type(Ext(254) + "\r"); });
  Then("pasted and sent", [&] { return bia_.Saw("PRIVMSG #sala :copie isto"); }, [] { Type("\x1bS"); });
  EXPECT_TRUE(RunScript([] { JoinChannel("sala"); }));
}

TEST_F(ChannelEndToEnd, AListOfMoreThan5000ChannelsEndsInANewLogin) {
  // One peer holds 5001 channels (joined in comma lists that fit a line).
  IrcPeer criador;
  ASSERT_TRUE(criador.Login(server_address_, apptest::kTestIrcPort, "criador", "senha"));
  ASSERT_TRUE(criador.JoinNumberedChannels(5001));
  Then("browsing", [&] { return ScreenHas("do mesmo."); }, [&] { Type(Ext(kDown) + "\x1b"); }, 30000);
  Type("\r");
  EXPECT_TRUE(RunScript([] { BrowseChannelList(); }));
  EXPECT_EQ(ChannelBrowser.Count, 5000);
  EXPECT_EQ(relay_.accepted(), 2) << "a new login stopped the list";
  EXPECT_GT(Client.ServerSocket, 0);
  EXPECT_EQ(ChannelBrowser.Position, 1);
}

TEST_F(ChannelEndToEnd, ASearchWordJoinAndBackToTheSamePlace) {
  for (const char* name : {"#bate-papo", "#papo-livre", "#outro"}) amigo_.Join(name);
  amigo_.Send("TOPIC #papo-livre :\x03" "4,12tudo\x03" "04 livre");
  amigo_.Send("PING :feito");
  ASSERT_TRUE(amigo_.WaitFor("feito", 5000));
  Then("browsing", [&] { return ScreenHas("do mesmo."); }, [] { Type(Ext(kDown) + "\r"); });
  Then("in BATE-PAPO", [&] { return Client.InChannel && amigo_.Saw("JOIN :#bate-papo") && amigo_.Saw(":cliente!"); },
       [] { Type("\x1bS"); });
  Then("back in the list", [&] { return !Client.InChannel && ChannelBrowser.Position == 1 && ScreenHas("do mesmo."); },
       [] { Type(Ext(kDown) + Ext(59)); });
  Then("the next channel and its description", [&] { return ScreenHas("PAPO-LIVRE") && ScreenHas("1 :tudo livre"); },
       [] { Type("\x1b"); });
  Type("papo\r");
  EXPECT_TRUE(RunScript([] { BrowseChannelList(); }));
  EXPECT_EQ(LinesSent("LIST *papo*"), 1);
  EXPECT_EQ(ChannelBrowser.Count, 2);
  EXPECT_EQ(LinesSent("JOIN #BATE-PAPO"), 1);
  EXPECT_EQ(LinesSent("Part #BATE-PAPO"), 1);
  EXPECT_EQ(ChannelBrowser.Position, 2);
}

TEST_F(ChannelEndToEnd, AFewChannelsSortedAndBrowsed) {
  for (const char* name : {"#zeta", "#Alfa", "#meio"}) amigo_.Join(name);
  amigo_.Send("PING :feito");
  ASSERT_TRUE(amigo_.WaitFor("feito", 5000));
  const std::string down = Ext(kDown), up = Ext(72), pgdn = Ext(81), pgup = Ext(73);
  // The server's own channel (&SERVER) comes first in byte order.
  Then("browsing", [&] { return ScreenHas("do mesmo."); },
       [&] { Type(down + down + down + down + down + up + pgdn + pgup + "\x1b"); });
  Type("\r");
  EXPECT_TRUE(RunScript([] { BrowseChannelList(); }));
  EXPECT_EQ(ChannelBrowser.Count, 4);
  const std::string screen = Screen();
  const size_t at = screen.find("do mesmo.");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(screen.substr(at + 10),
            "&SERVER\nALFA\nMEIO\nZETA\n\xDAltimo canal\nMEIO\n\xDAltimo canal\nPrimeiro canal");
}

}  // namespace
}  // namespace falatro
