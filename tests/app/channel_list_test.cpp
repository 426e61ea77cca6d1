// Tests of the channel list browser on a simulated clock: the request and its search word, collection
// of the entries, the count, sorting, the browsing keys, descriptions, joining and coming back.
#include "app/channel_list.h"

#include <gtest/gtest.h>

#include "app/channel.h"
#include "app/client_state.h"
#include "app/server_link.h"
#include "app/prompt_catalogue.h"
#include "channel_test_support.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"

namespace falatro {
namespace {

using Lines = std::vector<std::string>;
constexpr uint8_t kF1 = 59, kUp = 72, kPgUp = 73, kLeft = 75, kDown = 80, kPgDn = 81;

std::string Entry(const std::string& channel, int users, const std::string& topic) {
  return ":srv 322 eu " + channel + " " + std::to_string(users) + " :" + topic + "\r\n";
}

class ChannelListTest : public apptest::ChannelFixture {
 protected:
  // The server's answer to LIST waits in the connection; keys are typed from 1 s on, Esc at the end.
  void Browse(const std::string& list, const std::string& keys) {
    ServerSends(list);
    TypeAt(sim_.now + 1000, keys);
    BrowseChannelList();
  }
  // Texts said by the browser after its prompt, one per screen line, from the first "Folheie".
  Lines SaidAfterPrompt() {
    const std::string screen = Screen();
    // The prompt takes two rows; its end is on the second.
    size_t at = screen.find("do mesmo.");
    Lines out;
    if (at == std::string::npos) return out;
    at = screen.find('\n', at);
    while (at != std::string::npos && at + 1 < screen.size()) {
      const size_t next = screen.find('\n', at + 1);
      out.push_back(screen.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1));
      at = next;
    }
    return out;
  }
  std::string FiveChannels() {
    return ":srv 321 eu Channel :Users  Name\r\n" + Entry("#beta", 3, "b") + Entry("#Alpha", 5, "a") +
           Entry("#gama", 1, "\x03" "4,12colorido\x02 e negrito") + Entry("#delta", 2, "d") +
           Entry("#epsilon", 9, "e") + ":srv 323 eu :End of LIST\r\n";
  }
};

TEST_F(ChannelListTest, RequestAndSearchWord) {
  struct Case {
    const char* what;
    std::string word;
    std::string sent;
  };
  const Case cases[] = {
      {"no word asks for the whole list", "\r", "LIST "},
      {"a word is wrapped in stars", "bate-papo\r", "LIST *bate-papo*"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    received_.clear();
    Browse(FiveChannels(), c.word + "\x1b");
    EXPECT_EQ(SentLines().front(), c.sent);
    EXPECT_EQ(ChannelBrowser.Count, 5);
  }
}

TEST_F(ChannelListTest, CountSortingAndBrowsingKeys) {
  struct Case {
    const char* what;
    std::string keys;
    Lines said;
    int position;
  };
  const std::string down = Ext(kDown), up = Ext(kUp), pgdn = Ext(kPgDn), pgup = Ext(kPgUp);
  const Case cases[] = {
      {"Down walks the sorted names", down + down + down, {"ALPHA", "BETA", "DELTA"}, 3},
      {"Up on the first channel", down + up, {"ALPHA", "Primeiro canal"}, 1},
      {"Up before the first channel", up, {"Primeiro canal"}, 0},
      {"Up goes back", down + down + up, {"ALPHA", "BETA", "ALPHA"}, 1},
      {"PgDn past the end stays on the last", down + pgdn, {"ALPHA", "\xDAltimo canal"}, 5},
      {"Down on the last channel", pgdn + down, {"\xDAltimo canal", "\xDAltimo canal"}, 5},
      {"PgUp past the start", down + down + pgup, {"ALPHA", "BETA", "Primeiro canal"}, 0},
      {"an unassigned key does nothing", "x" + Ext(71) + down, {"ALPHA"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ClrScr();
    Browse(FiveChannels(), "\r" + c.keys + "\x1b");
    EXPECT_EQ(SaidAfterPrompt(), c.said) << Screen();
    EXPECT_EQ(ChannelBrowser.Position, c.position);
    EXPECT_TRUE(Screen().find("N\xFAmero de canais encontrados: 5") != std::string::npos) << Screen();
  }
}

TEST_F(ChannelListTest, DescriptionAndSpelling) {
  std::string keys = "\r";
  for (int i = 0; i < 5; ++i) keys += Ext(kDown);
  Browse(FiveChannels(), keys + Ext(kF1) + Ext(kLeft) + "\x1b");
  const Lines said = SaidAfterPrompt();
  ASSERT_EQ(said.size(), 6u) << Screen();
  EXPECT_EQ(said[4], "GAMA");
  EXPECT_EQ(said[5], "1 :colorido e negrito") << "colour and bold codes are not said";
  EXPECT_EQ(ChannelBrowser.Position, 5);
}

TEST_F(ChannelListTest, EnterJoinsAndComesBackToTheSamePlace) {
  // Down twice and Enter join BETA; Esc S leaves it; Down goes on from BETA.
  ServerSendsAt(2000, ":eu!u@h JOIN :#BETA\r\n");
  TypeAt(3000, "\x1bS");
  TypeAt(5000, Ext(kDown) + "\x1b");
  Browse(FiveChannels(), "\r" + Ext(kDown) + Ext(kDown) + "\r");
  const Lines sent = SentLines();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[1], "JOIN #BETA");
  EXPECT_EQ(sent[2], "Part #BETA");
  EXPECT_EQ(ChannelBrowser.Position, 3);
  EXPECT_EQ(Row(Crt.TextWindow.Top + WhereY() - 1), "DELTA");
  EXPECT_NE(Screen().find("do mesmo.\nDELTA"), std::string::npos) << "the prompt is said again\n" << Screen();
}

TEST_F(ChannelListTest, EnterBeforeTheFirstChannelJoinsNothing) {
  Browse(FiveChannels(), "\r\r\x1b");
  EXPECT_EQ(SentLines(), Lines{"LIST "});
}

TEST_F(ChannelListTest, NothingFound) {
  struct Case {
    const char* what;
    std::string list;
  };
  const Case cases[] = {
      {"only the start and the end", ":srv 321 eu Channel :Users  Name\r\n:srv 323 eu :End of LIST\r\n"},
      {"a notice and a ping in between", ":srv NOTICE eu :oi\r\nPING :srv\r\n:srv 323 eu :End\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ClrScr();
    Browse(c.list, "\r");
    EXPECT_TRUE(Screen().find("N\xE3o foi encontrado nenhum canal") != std::string::npos) << Screen();
    EXPECT_EQ(ChannelBrowser.Count, 0);
  }
}

TEST_F(ChannelListTest, PongAndClickEveryHundredEntries) {
  std::string list;
  for (int i = 0; i < 250; ++i) list += Entry("#c" + std::to_string(i), 1, "t");
  list += ":srv 323 eu :End\r\n";
  Browse(list, "\r\x1b");
  Lines pongs;
  for (const std::string& l : SentLines())
    if (l.rfind("PONG", 0) == 0) pongs.push_back(l);
  EXPECT_EQ(pongs, (Lines{"PONG 127.0.0.9", "PONG 127.0.0.9"}));
  EXPECT_EQ(ChannelBrowser.Count, 250);
}

TEST_F(ChannelListTest, ADropWhileCollecting) {
  ServerSends(Entry("#a", 1, "x"));
  ServerClosesAt(3000);
  TypeAt(1000, "\r");
  BrowseChannelList();
  EXPECT_TRUE(Screen().find("Conex\xE3o remota caiu") != std::string::npos) << Screen();
  EXPECT_EQ(Client.ServerSocket, 0);
}

TEST_F(ChannelListTest, NotConnected) {
  Client.ServerSocket = 0;
  BrowseChannelList();
  EXPECT_TRUE(Screen().find(PromptText("FTNAOCON")) != std::string::npos);
}

TEST_F(ChannelListTest, APingWhileBrowsingIsAnsweredAndOtherLinesWaitForTheMenu) {
  ServerSendsAt(3000, "PING :srv\r\n:ana!u@h PRIVMSG eu :oi\r\n");
  TypeAt(6000, Ext(kDown) + "\x1b");
  Browse(":bia!u@h PRIVMSG eu :antes\r\n" + FiveChannels(), "\r");
  EXPECT_EQ(SentLines(), (Lines{"LIST ", "PONG :srv"}));
  EXPECT_EQ(SaidAfterPrompt(), Lines{"ALPHA"}) << "other lines are not for the browser";
  // Both private messages, the one that came with the list and the one that came while browsing, are
  // kept in their order for the menu.
  Lines kept;
  std::string line;
  while (ServerDataWaiting() && ReadServerLine(&line, 1)) kept.push_back(line);
  EXPECT_EQ(kept, (Lines{":bia!u@h PRIVMSG eu :antes", ":ana!u@h PRIVMSG eu :oi"}));
}

TEST(ChannelListSort, UpperCasedNamesInByteOrder) {
  struct Case {
    const char* what;
    Lines entries;  // slots 0..count-1; slot count stays empty
    Lines sorted;   // slots 0..count
  };
  const Case cases[] = {
      {"names are upper-cased, the rest is kept", {"beta 1 :Oi", "Alpha 2 :x"}, {"", "ALPHA 2 :x", "BETA 1 :Oi"}},
      {"byte order puts digits and signs first", {"zz 1 :", "_a 1 :", "9x 1 :", "Ab 1 :"},
       {"", "9X 1 :", "AB 1 :", "ZZ 1 :", "_A 1 :"}},
      {"an entry without a blank is all name", {"solo", "bravo 3 :b"}, {"", "BRAVO 3 :b", "SOLO"}},
      {"accented letters", {"\xE1gua 1 :", "agua 1 :"}, {"", "AGUA 1 :", "\xC1GUA 1 :"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (std::string& s : Client.ChannelList) s.clear();
    for (size_t i = 0; i < c.entries.size(); ++i) Client.ChannelList[i] = c.entries[i];
    SortChannelList(static_cast<int>(c.entries.size()));
    EXPECT_EQ(Lines(Client.ChannelList.begin(), Client.ChannelList.begin() + c.sorted.size()), c.sorted);
  }
}

}  // namespace
}  // namespace falatro
