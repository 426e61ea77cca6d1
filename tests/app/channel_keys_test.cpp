// Tests of the channel's function keys on a simulated clock: help, the nickname memory, the pending
// line rule, speech settings, the local address, punctuation switching, screen review, paste and copy.
#include "app/channel_keys.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/channel.h"
#include "app/client_state.h"
#include "app/prompt_catalogue.h"
#include "channel_test_support.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "speech/speech.h"
#include "speech/suite_settings.h"

namespace falatro {
namespace {

using Lines = std::vector<std::string>;
constexpr uint8_t kF1 = 59, kF2 = 60, kF3 = 61, kF4 = 62, kF5 = 63, kF6 = 64, kF7 = 65, kF8 = 66, kF9 = 67;

class ChannelKeysTest : public apptest::ChannelFixture {
 protected:
  // Types keys at 1 s, takes the screen at snapshot_ms, leaves at leave_ms; returns the lines sent
  // between the JOIN and the PART.
  Lines Run(const std::string& keys, uint64_t snapshot_ms = 9000, uint64_t leave_ms = 10000) {
    TypeAt(sim_.now + 1000, keys);
    AddTimer(snapshot_ms, [this] { screen_ = Screen(); });
    TypeAt(sim_.now + leave_ms, "\x19\x1bS");
    JoinSala();
    Lines all = SentLines();
    Lines out;
    for (size_t i = 1; i < all.size(); ++i)
      if (all[i] != "Part #sala") out.push_back(all[i]);
    return out;
  }
  bool Saw(const std::string& text) const { return screen_.find(text) != std::string::npos; }
  std::string screen_;
  std::vector<std::string> shown_;
};

TEST_F(ChannelKeysTest, HelpSaysItsLinesInOrder) {
  Run(Ext(kF1));
  size_t at = 0;
  for (const char* key : {"FTAF2", "FTAF3", "FTAF4", "FTAF6", "FTAF9", "FTAESC2"}) {
    const size_t next = screen_.find(PromptText(key), at);
    ASSERT_NE(next, std::string::npos) << key << "\n" << screen_;
    at = next;
  }
}

TEST_F(ChannelKeysTest, NicknameMemory) {
  struct Case {
    const char* what;
    std::string keys;
    Lines sent;
    std::string memory7;
  };
  const Case cases[] = {
      {"F2 stores and F3 inserts", Ext(kF2) + "7\rmaria\r" + Ext(kF3) + "7\rtudo bem\r",
       {"PRIVMSG #sala :maria tudo bem"}, "maria"},
      {"F3 sends a half-typed line first", Ext(kF2) + "7\rmaria\r" + "ola" + Ext(kF3) + "7\roi\r",
       {"PRIVMSG #sala :ola", "PRIVMSG #sala :maria oi"}, "maria"},
      {"F2 with a half-typed line sends it first", "ola" + Ext(kF2) + "7\rjoao\r",
       {"PRIVMSG #sala :ola"}, "joao"},
      {"memory 256 is out of range", Ext(kF2) + "256\r" + Ext(kF3) + "256\rx\r", {"PRIVMSG #sala :x"}, ""},
      {"a negative memory", Ext(kF2) + "-1\r", {}, ""},
      {"an empty answer", Ext(kF2) + "\r", {}, ""},
      {"not a number", Ext(kF2) + "abc\r", {}, ""},
      {"an empty nickname empties the slot", Ext(kF2) + "7\rmaria\r" + Ext(kF2) + "7\r\r", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    received_.clear();
    Client.NicknameMemory = {};
    EXPECT_EQ(Run(c.keys, 14000, 15000), c.sent);
    EXPECT_EQ(Client.NicknameMemory[7], c.memory7);
    EXPECT_EQ(Client.NicknameMemory[255], "");
  }
}

TEST_F(ChannelKeysTest, HelpKeepsTheTypedLineAndTheMessagesWaiting) {
  Channel.on_shown = [this](const std::string& text) { shown_.push_back(text); };
  ServerSendsAt(1100, ":ana!u@h PRIVMSG #sala :espere\r\n");
  std::string row;
  AddTimer(8000, [&] {
    row = Row(Crt.TextWindow.Top + WhereY());
    EXPECT_EQ(std::count(shown_.begin(), shown_.end(), "ana. espere"), 0) << "said while a line was typed";
  });
  TypeAt(9000, " linha\r");
  EXPECT_EQ(Run("meia" + Ext(kF1), 8500, 12000), Lines{"PRIVMSG #sala :meia linha"});
  EXPECT_EQ(row, "meia");
  EXPECT_EQ(std::count(shown_.begin(), shown_.end(), "ana. espere"), 1);
}

TEST_F(ChannelKeysTest, F5SendsThePendingLineThenIsInvalid) {
  EXPECT_EQ(Run("abc" + Ext(kF5)), Lines{"PRIVMSG #sala :abc"});
  EXPECT_TRUE(Saw(PromptText("FTOPINV")));
}

TEST_F(ChannelKeysTest, UnassignedKeysKeepThePendingLine) {
  struct Case {
    const char* what;
    uint8_t code;
  };
  for (const Case& c : {Case{"F8", kF8}, Case{"F10", 68}, Case{"Home", 71}}) {
    SCOPED_TRACE(c.what);
    received_.clear();
    EXPECT_EQ(Run("abc" + Ext(c.code) + "\r"), Lines{"PRIVMSG #sala :abc"});
    EXPECT_TRUE(Saw(PromptText("FTOPINV")));
  }
}

TEST_F(ChannelKeysTest, SpeechSettings) {
  struct Case {
    const char* what;
    std::string answers;
    int speed;
    bool spell;
  };
  const Case cases[] = {
      {"a speed out of range keeps the speed", "9n", 3, false},
      {"speed 5 and spelling", "5s", 5, true},
      {"capital N switches spelling off", "1N", 1, false},
  };
  // The voice for every speed the answers choose.
  WriteIni("DIFONES1=VOZ\r\nDIFONES5=VOZ\r\nINTERPAL1=100\r\nINTERPAL5=100");
  InitSuiteSettings();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Client.SpellTyping = !c.spell;
    const std::string dir = Speech.ProgramSoundDir;
    Run(Ext(kF4) + c.answers);
    EXPECT_EQ(Speech.Speed, c.speed);
    EXPECT_EQ(Client.SpellTyping, c.spell);
    EXPECT_TRUE(Saw(PromptText("FTSOLET"))) << screen_;
    EXPECT_EQ(Speech.ProgramSoundDir, dir) << "the prompts keep their directory";
    InitSpeech(3, prog_);
  }
}

TEST_F(ChannelKeysTest, LocalAddress) {
  Run(Ext(kF6));
  // Rows are read without their trailing blanks.
  EXPECT_TRUE(Saw("N\xFAmero IP desta conex\xE3o:\n0.0.0.0")) << screen_;
}

TEST_F(ChannelKeysTest, PunctuationSwitchesOnRow25AndBack) {
  std::string first;
  AddTimer(2000, [&] { first = Row(25); });
  Run(Ext(kF7) + "ab", 3000, 4000);
  EXPECT_EQ(first, PromptText("FTPLIG"));
  EXPECT_TRUE(Speech.SpeakPunctuationMarks);
  EXPECT_TRUE(Client.PunctuationOn);
  EXPECT_EQ(Crt.TextWindow.Bottom, 23) << "the channel keeps rows 1 to 24";
  EXPECT_NE(screen_.find("ab"), std::string::npos) << "typing goes on where it was";
  received_.clear();
  Run(Ext(kF7), 3000, 4000);
  EXPECT_EQ(Row(25), PromptText("FTPDES"));
  EXPECT_FALSE(Speech.SpeakPunctuationMarks);
}

TEST_F(ChannelKeysTest, ScreenReviewPutsTheCursorBack) {
  int x = 0;
  AddTimer(5000, [&] { x = WhereX(); });
  // The review's opening beep drops keys typed ahead: Esc ends it a moment later.
  TypeAt(3000, "\x1b");
  Run("abc" + Ext(kF9), 9000, 10000);
  EXPECT_EQ(x, 4);
}

TEST_F(ChannelKeysTest, PasteAndCopyKeys) {
  Kbd.OwnClipboard = "x y z";
  std::string first_copy;
  TypeAt(sim_.now + 5000, Ext(255));
  AddTimer(sim_.now + 5500, [&] { first_copy = Kbd.OwnClipboard; });
  TypeAt(sim_.now + 6000, Ext(255));
  EXPECT_EQ(Run(Ext(254) + "\r"), Lines{"PRIVMSG #sala :x y z"});
  EXPECT_EQ(first_copy, "x y z") << "the own message, without its sender";
  EXPECT_EQ(Kbd.OwnClipboard, "y z") << "a second copy drops one more word";
}

}  // namespace
}  // namespace falatro
