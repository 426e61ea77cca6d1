// A user who stays a long time in one place — the menu, a channel, the screen review, a dialogue — on
// real servers that ping an idle client after a few seconds and drop it when it does not answer: the
// client answers whatever it is doing, so it is still connected afterwards, and what another user sent
// meanwhile is said, in order, where the user hears it: at once at the menu and in the channel, after
// the review or the dialogue ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "app/channel.h"
#include "app/client_state.h"
#include "app/main_menu.h"
#include "app/prompt_catalogue.h"
#include "app/server_link.h"
#include "client_e2e_fixture.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "console/screen_reader.h"

namespace falatro {
namespace {

using apptest::IrcPeer;
using apptest::Server;

// Where the user stays.
enum class Place { kMenu, kChannel, kReview, kDialogue };

std::string NameOf(Place place) {
  switch (place) {
    case Place::kMenu: return "Menu";
    case Place::kChannel: return "Channel";
    case Place::kReview: return "ScreenReview";
    case Place::kDialogue: return "Dialogue";
  }
  return "?";
}

void PrintTo(Place place, std::ostream* out) { *out << NameOf(place); }

using Param = std::tuple<Server, Place>;

std::string CaseName(const ::testing::TestParamInfo<Param>& info) {
  return apptest::NameOf(std::get<0>(info.param)) + NameOf(std::get<1>(info.param));
}

// The servers' shortest ping settings. ngircd pings after 5 s of silence and drops the client 5 s
// later (it looks once a second); InspIRCd pings every 2 s and drops a client that did not answer the
// last PING by the next one.
constexpr int kNgircdPing = 5, kInspircdPing = 2;

class IdleEndToEnd : public apptest::PeersEndToEnd, public ::testing::WithParamInterface<Param> {
 protected:
  void SetUp() override {
    PeersEndToEnd::SetUp();
    if (HasFatalFailure()) return;
    const Server kind = std::get<0>(GetParam());
    ASSERT_TRUE(server_.Start(kind, root_, kind == Server::kNgircd ? kNgircdPing : kInspircdPing, false))
        << server_.Log();
    StartSpeech();
    Menu = MainMenuState{};
    ConnectThroughRelay(server_.address(), server_.password());
    // The peer logs in last: nobody answers its server's PINGs before the script runs.
    ASSERT_TRUE(amigo_.Login(server_.address(), apptest::kTestIrcPort, "amigo", server_.password()));
    amigo_.Join("#sala");
    ASSERT_TRUE(amigo_.WaitFor(" 366 ", 5000));
    KeepPumping(&amigo_);
  }
  // Longer than a client that never answers lasts on the server (about 12 s on ngircd, 4 s on InspIRCd).
  static int IdleMs(Server kind) {
    return kind == Server::kNgircd ? 3 * kNgircdPing * 1000 : 4 * kInspircdPing * 1000;
  }
  static bool InChannel(Place place) { return place == Place::kChannel || place == Place::kReview; }
  // What the client says for amigo's text: a channel line, or a private message at the menu.
  static std::string Said(Place place, const std::string& text) {
    return (InChannel(place) ? "amigo. " : "amigo(PVT). ") + text;
  }
  void AmigoSays(Place place, const std::string& text) { amigo_.Privmsg(InChannel(place) ? "#sala" : "cliente", text); }
  // How many times text was said: in the channel, as shown there; at the menu, on the screen's rows.
  int TimesSaid(Place place, const std::string& text) const {
    if (InChannel(place)) return static_cast<int>(std::count(shown_.begin(), shown_.end(), text));
    int n = 0;
    for (int row = 1; row <= 25; ++row) n += Row(row).find(text) != std::string::npos;
    return n;
  }
  // Where text was said (its index among the shown texts, or its row), -1 when it was not.
  int WhereSaid(Place place, const std::string& text) const {
    if (InChannel(place)) {
      auto it = std::find(shown_.begin(), shown_.end(), text);
      return it == shown_.end() ? -1 : static_cast<int>(it - shown_.begin());
    }
    for (int row = 1; row <= 25; ++row)
      if (Row(row).find(text) != std::string::npos) return row;
    return -1;
  }
  bool ClientInSala() const { return Client.InChannel && Channel.Joined && amigo_.Saw(":cliente!"); }
};

TEST_P(IdleEndToEnd, StillConnectedAndNothingLost) {
  const auto [kind, place] = GetParam();
  const int idle_ms = IdleMs(kind);
  const std::string words[] = {"um", "dois", "tres", "fim"};
  // Said at once where the user stays, or kept until the user is back.
  const bool said_at_once = place == Place::kMenu || place == Place::kChannel;
  const std::string ext_f9 = std::string(1, '\0') + static_cast<char>(67);
  bool finished = false;
  uint64_t pings_before = 0, pings_idle = 0;
  const uint64_t drops_before = Client.ConnectionsLost;

  // Into the place.
  switch (place) {
    case Place::kMenu: break;
    case Place::kDialogue:
      // The private-message dialogue, a nickname half typed.
      Then("the menu waits for a key", [] { return Menu.wait_wakeups > 0; }, [] { Type("Mami"); });
      break;
    case Place::kChannel: Then("in the channel", [&] { return ClientInSala(); }); break;
    case Place::kReview:
      Then("in the channel", [&] { return ClientInSala(); }, [&] { Type(ext_f9); });
      break;
  }
  Then("staying there",
       [&] {
         switch (place) {
           case Place::kMenu: return Menu.wait_wakeups > 0;
           case Place::kDialogue: return ScreenHas(PromptText("FTDIGAP")) && !KeyPressed();
           case Place::kChannel: return true;
           case Place::kReview: return Reader.Active && !KeyPressed();
         }
         return false;
       },
       [&] {
         pings_before = ServerLink.PingsAnswered;
         AmigoSays(place, words[0]);
       });
  Then("half the time", [&] { return script_.SinceLastStep() >= static_cast<uint64_t>(idle_ms / 2); },
       [&] { AmigoSays(place, words[1]); }, idle_ms);
  // The last one early enough to be said before the time is over, even on a loaded machine.
  Then("near the end", [&] { return script_.SinceLastStep() >= static_cast<uint64_t>(idle_ms / 2 - 2000); },
       [&] { AmigoSays(place, words[2]); }, idle_ms);
  Then("the time is over", [&] { return script_.SinceLastStep() >= 2000; }, [&] {
    pings_idle = ServerLink.PingsAnswered - pings_before;
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(TimesSaid(place, Said(place, words[i])), said_at_once ? 1 : 0) << words[i] << " while staying";
    // Back.
    if (place == Place::kDialogue) Type("go\roi amigo\r");
    if (place == Place::kReview) Type("\x1b");
  });
  Then("back", [&] {
    if (place == Place::kDialogue) return ScreenHas(PromptText("FTMSGENV"));
    return !Reader.Active;
  }, [&] { AmigoSays(place, words[3]); });
  uint64_t wakeups = 0;
  Then("the last message said", [&] { return TimesSaid(place, Said(place, words[3])) > 0; },
       [&] { wakeups = Menu.wait_wakeups; });
  // At the menu, keys typed before it waits for one again are thrown away.
  Then("waiting for a key", [&] { return InChannel(place) || Menu.wait_wakeups > wakeups; }, [&] {
    finished = true;
    Type(InChannel(place) ? "\x1bS" : "x");
  });

  if (InChannel(place)) {
    EXPECT_TRUE(RunScript([] { JoinChannel("sala"); }));
  } else {
    ClrScr();
    EXPECT_TRUE(RunScript([&] {
      while (!finished) MainMenuPass();
    }));
  }

  EXPECT_GT(pings_idle, 0u) << "the server pinged the client while it stayed";
  EXPECT_GT(Client.ServerSocket, 0) << Screen();
  EXPECT_EQ(Client.ConnectionsLost, drops_before);
  EXPECT_EQ(ServerLink.LastError, "");
  int last = -1;
  for (const std::string& word : words) {
    const std::string text = Said(place, word);
    EXPECT_EQ(TimesSaid(place, text), 1) << text << "\n" << Screen() << "\n" << Shown();
    const int at = WhereSaid(place, text);
    EXPECT_GT(at, last) << text << " in its turn\n" << Screen() << "\n" << Shown();
    last = at;
  }
  if (place == Place::kDialogue) {
    EXPECT_TRUE(amigo_.Saw("PRIVMSG amigo :oi amigo"));
  }
}

INSTANTIATE_TEST_SUITE_P(Servers, IdleEndToEnd,
                         ::testing::Combine(::testing::Values(Server::kNgircd, Server::kInspircd),
                                            ::testing::Values(Place::kMenu, Place::kChannel, Place::kReview,
                                                              Place::kDialogue)),
                         CaseName);

}  // namespace
}  // namespace falatro
