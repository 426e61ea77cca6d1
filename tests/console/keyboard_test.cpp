// The keyboard: key events to key codes, the queue's bounds, Braille chords, reads, tones, clipboard.
#include <gtest/gtest.h>

#include "console_fixture.h"

namespace falatro::testing {
namespace {

using Keys = ConsoleTest;

Message KeyMsg(int kind, uint16_t vk, uint8_t mods) {
  Message m;
  m.kind = kind;
  m.key.vk = vk;
  m.key.mods = mods;
  return m;
}

Message CharMsg(uint8_t ch, uint8_t mods = 0) {
  Message m;
  m.kind = kMsgChar;
  m.key.ch = ch;
  m.key.mods = mods;
  return m;
}

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int v : b) s += static_cast<char>(v);
  return s;
}

struct KeyCase {
  const char* what;
  int kind;
  uint16_t vk;
  uint8_t mods;
  std::string queued;
};

TEST_F(Keys, KeyDownsQueueExtendedAndAltCodes) {
  const int D = kMsgKeyDown, S = kMsgSysKeyDown;
  const uint8_t C = kModCtrl, A = kModAlt, Sh = kModShift;
  const KeyCase cases[] = {
      {"F1", D, VK_F1, 0, Bytes({0, 59})},
      {"Ctrl+F1", D, VK_F1, C, Bytes({0, 94})},
      {"Shift+F1 is F1", D, VK_F1, Sh, Bytes({0, 59})},
      {"Ctrl+F10", D, VK_F10, C, Bytes({0, 103})},
      {"F11", D, VK_F11, 0, Bytes({0, 69})},
      {"Ctrl+F11", D, VK_F11, C, Bytes({0, 104})},
      {"F12", D, VK_F12, 0, Bytes({0, 70})},
      {"Ctrl+F12", D, VK_F12, C, Bytes({0, 105})},
      {"Insert", D, VK_INSERT, 0, Bytes({0, 82})},
      {"Shift+Insert", D, VK_INSERT, Sh, Bytes({0, 254})},
      {"Ctrl+Insert", D, VK_INSERT, C, Bytes({0, 255})},
      {"Ctrl+Shift+Insert is Ctrl+Insert", D, VK_INSERT, C | Sh, Bytes({0, 255})},
      {"Delete", D, VK_DELETE, 0, Bytes({0, 83})},
      {"Ctrl+Delete", D, VK_DELETE, C, Bytes({0, 83})},
      {"Home / Ctrl+Home", D, VK_HOME, C, Bytes({0, 119})},
      {"End", D, VK_END, 0, Bytes({0, 79})},
      {"Ctrl+End", D, VK_END, C, Bytes({0, 117})},
      {"PgUp", D, VK_PRIOR, 0, Bytes({0, 73})},
      {"Ctrl+PgUp", D, VK_PRIOR, C, Bytes({0, 132})},
      {"Ctrl+PgDn", D, VK_NEXT, C, Bytes({0, 118})},
      {"Up", D, VK_UP, 0, Bytes({0, 72})},
      {"Ctrl+Up", D, VK_UP, C, Bytes({0, 113})},
      {"Ctrl+Down", D, VK_DOWN, C, Bytes({0, 114})},
      {"Ctrl+Left", D, VK_LEFT, C, Bytes({0, 115})},
      {"Ctrl+Right", D, VK_RIGHT, C, Bytes({0, 116})},
      {"Q with Ctrl and Alt", D, 'Q', C | A, Bytes({0, 16})},
      {"digit 0 with Ctrl and Alt", D, '0', C | A, Bytes({0, 129})},
      {"digit 1 with Ctrl and Alt", D, '1', C | A, Bytes({0, 120})},
      {"M with Alt as a key-down", D, 'M', A, Bytes({0, 50})},
      {"Alt+Up is the plain Up code", D, VK_UP, A, Bytes({0, 72})},
      {"Tab's key-down stores nothing", D, VK_TAB, 0, ""},
      {"a letter's key-down stores nothing", D, 'A', 0, ""},
      {"Alt+Q as a system key is left to the platform", S, 'Q', A, ""},
      {"F10 as a system key is left to the platform", S, VK_F10, 0, ""},
      {"Alt+Left as a system key gives Left", S, VK_LEFT, A, Bytes({0, 75})},
      {"Alt+Right as a system key gives Right", S, VK_RIGHT, A, Bytes({0, 77})},
  };
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(c.what);
    Kbd.KeyCount = 0;
    TranslateKeyMessage(KeyMsg(c.kind, c.vk, c.mods));
    EXPECT_EQ(Queue(), c.queued);
  }
}

TEST_F(Keys, WithCheckBreakOffEverySystemKeyIsAKeyDown) {
  Crt.CheckBreak = false;
  TranslateKeyMessage(KeyMsg(kMsgSysKeyDown, 'Q', kModAlt));
  TranslateKeyMessage(KeyMsg(kMsgSysKeyDown, VK_F10, 0));
  EXPECT_EQ(Queue(), Bytes({0, 16, 0, 68}));
}

TEST_F(Keys, CtrlBreakEndsTheProgramWith255) {
  try {
    TranslateKeyMessage(KeyMsg(kMsgKeyDown, VK_CANCEL, kModCtrl));
    FAIL() << "Ctrl+Break did not end the program";
  } catch (const ConsoleExit& e) {
    EXPECT_EQ(e.code, 255);
  }
}

struct CharCase {
  const char* what;
  uint8_t ch;
  uint8_t mods;
  std::string queued;
};

TEST_F(Keys, CharactersAreQueuedWithTheCtrlRules) {
  const CharCase cases[] = {
      {"Ctrl+Enter queues LF", 13, kModCtrl, "\n"},
      {"Enter queues CR", 13, 0, "\r"},
      {"Ctrl+Backspace queues 127", 8, kModCtrl, "\x7f"},
      {"Backspace queues 8", 8, 0, "\b"},
      {"Tab queues 9", 9, 0, "\t"},
      {"a cp1252 letter", 0xE7, 0, "\xE7"},
      {"Esc", 27, 0, "\x1b"},
  };
  for (const CharCase& c : cases) {
    SCOPED_TRACE(c.what);
    Kbd.KeyCount = 0;
    TranslateKeyMessage(CharMsg(c.ch, c.mods));
    EXPECT_EQ(Queue(), c.queued);
  }
}

struct BoundCase {
  const char* what;
  int already;
  Message msg;
  int count_after;
};

TEST_F(Keys, TheQueueBounds) {
  const BoundCase cases[] = {
      {"63 queued: an extended key is dropped", 63, KeyMsg(kMsgKeyDown, VK_F1, 0), 63},
      {"63 queued: a character is still stored", 63, CharMsg('x'), 64},
      {"64 queued: a character is dropped", 64, CharMsg('x'), 64},
      {"64 queued: an extended key is dropped", 64, KeyMsg(kMsgKeyDown, VK_UP, 0), 64},
      {"62 queued: an extended key fits", 62, KeyMsg(kMsgKeyDown, VK_UP, 0), 64},
      {"62 queued: an Alt code fits", 62, KeyMsg(kMsgKeyDown, 'A', kModAlt | kModCtrl), 64},
      {"63 queued: an Alt code is dropped", 63, KeyMsg(kMsgKeyDown, 'A', kModAlt | kModCtrl), 63},
  };
  for (const BoundCase& c : cases) {
    SCOPED_TRACE(c.what);
    Kbd.KeyCount = 0;
    InjectKeys(std::string(c.already, 'k'));
    TranslateKeyMessage(c.msg);
    EXPECT_EQ(Kbd.KeyCount, c.count_after);
    if (c.count_after > c.already) {
      EXPECT_NE(Kbd.KeyBuffer[c.already], 'k');
    }
  }
}

TEST_F(Keys, InjectedKeysStopAtSixtyFour) {
  InjectKeys(std::string(70, 'z'));
  EXPECT_EQ(Kbd.KeyCount, 64);
}

// Presses the keys of a chord together and releases them in order.
void Chord(std::initializer_list<uint16_t> keys, uint8_t mods = 0) {
  for (uint16_t k : keys) TranslateKeyMessage(KeyMsg(kMsgKeyDown, k, mods));
  for (uint16_t k : keys) TranslateKeyMessage(KeyMsg(kMsgKeyUp, k, mods));
}

struct ChordCase {
  const char* what;
  int mode;
  std::vector<std::vector<uint16_t>> chords;
  std::string queued;
};

TEST_F(Keys, BrailleChords) {
  const uint16_t Sp = VK_SPACE;
  const ChordCase cases[] = {
      {"F and D make b", 1, {{'F', 'D'}}, "b"},
      {"the space bar alone is a space", 1, {{Sp}}, " "},
      {"space with F is Ctrl+A", 1, {{Sp, 'F'}}, "\x01"},
      {"all six dots: accented e", 1, {{'F', 'D', 'S', 'J', 'K', 'L'}}, "\xE9"},
      {"mode 1 keeps the signs as characters", 1, {{'S', 'J', 'K', 'L'}, {'F'}}, "#a"},
      {"number sign then a and b give 1 and 2", 2, {{'S', 'J', 'K', 'L'}, {'F'}, {'F', 'D'}}, "12"},
      {"number mode: j is 0 and the apostrophe a point", 2, {{'S', 'J', 'K', 'L'}, {'D', 'J', 'K'}, {'S'}}, "0."},
      {"dot 5 ends number mode and stays", 2, {{'S', 'J', 'K', 'L'}, {'K'}, {'F'}}, "~a"},
      {"capital sign then a gives A", 2, {{'J', 'L'}, {'F'}, {'F'}}, "Aa"},
      {"two capital signs lock capitals until a space chord", 2,
       {{'J', 'L'}, {'J', 'L'}, {'F'}, {'F', 'D'}, {Sp}, {'F'}}, "AB a"},
      {"releasing a letter that is no dot key types nothing", 1, {{'G'}}, ""},
  };
  for (const ChordCase& c : cases) {
    SCOPED_TRACE(c.what);
    ResetKeyboardState();
    Kbd.BrailleMode = c.mode;
    for (const auto& chord : c.chords) {
      for (uint16_t k : chord) TranslateKeyMessage(KeyMsg(kMsgKeyDown, k, 0));
      for (uint16_t k : chord) TranslateKeyMessage(KeyMsg(kMsgKeyUp, k, 0));
    }
    EXPECT_EQ(Queue(), c.queued);
  }
}

TEST_F(Keys, AChordCompletesOnlyWhenEveryKeyIsReleased) {
  Kbd.BrailleMode = 1;
  TranslateKeyMessage(KeyMsg(kMsgKeyDown, 'F', 0));
  TranslateKeyMessage(KeyMsg(kMsgKeyDown, 'D', 0));
  TranslateKeyMessage(KeyMsg(kMsgKeyUp, 'F', 0));
  EXPECT_EQ(Kbd.KeyCount, 0);
  TranslateKeyMessage(KeyMsg(kMsgKeyDown, 'K', 0));  // a key added while others are held joins the chord
  TranslateKeyMessage(KeyMsg(kMsgKeyUp, 'D', 0));
  TranslateKeyMessage(KeyMsg(kMsgKeyUp, 'K', 0));
  EXPECT_EQ(Queue(), std::string(1, static_cast<char>(BrailleChar(1 | 2 | 16))));
}

TEST_F(Keys, InBrailleModeTypedLettersAndSpaceAreDroppedButNotOtherCharacters) {
  Kbd.BrailleMode = 1;
  TranslateKeyMessage(CharMsg('f'));
  TranslateKeyMessage(CharMsg('F'));
  TranslateKeyMessage(CharMsg(' '));
  TranslateKeyMessage(CharMsg('5'));
  TranslateKeyMessage(CharMsg(13));
  EXPECT_EQ(Queue(), "5\r");
}

TEST_F(Keys, CtrlOrANonLetterKeyUpClearsTheSigns) {
  Kbd.BrailleMode = 2;
  Chord({'J', 'L'});
  Chord({'J', 'L'});
  EXPECT_TRUE(Kbd.CapitalLock);
  TranslateKeyMessage(KeyMsg(kMsgKeyUp, VK_RETURN, 0));
  EXPECT_FALSE(Kbd.CapitalLock);
  EXPECT_FALSE(Kbd.CapitalSign);
  Chord({'S', 'J', 'K', 'L'});
  EXPECT_TRUE(Kbd.NumberMode);
  TranslateKeyMessage(KeyMsg(kMsgKeyUp, 'C', kModCtrl));
  EXPECT_FALSE(Kbd.NumberMode);
}

TEST_F(Keys, WithCtrlHeldDotKeysAreNotDots) {
  Kbd.BrailleMode = 1;
  TranslateKeyMessage(KeyMsg(kMsgKeyDown, 'F', kModCtrl));
  EXPECT_EQ(Kbd.ChordDots, 0);
}

TEST_F(Keys, BrailleCharactersRespectTheFullQueue) {
  Kbd.BrailleMode = 1;
  InjectKeys(std::string(63, 'k'));
  Chord({'F'});
  EXPECT_EQ(Kbd.KeyCount, 64);
  Chord({'F'});
  EXPECT_EQ(Kbd.KeyCount, 64);
}

// The frequency of a tone image: samples per second over the distance between period starts.
int ToneFrequency(const std::vector<uint8_t>& image) {
  // Count rising edges (96 -> 160 is mid-period; 160 -> 96 starts the next period) over the data.
  uint32_t len = image[40] | (image[41] << 8) | (image[42] << 16);
  int starts = 1;
  for (uint32_t i = 45; i < 44 + len; ++i)
    if (image[i] == 96 && image[i - 1] == 160) ++starts;
  return static_cast<int>((starts * 11025.0) / len + 0.5);
}

struct ModeCase {
  const char* what;
  int from;
  int to;
  std::vector<int> tones;
  int mode_after;
};

TEST_F(Keys, SetBrailleModeSoundsItsTones) {
  const ModeCase cases[] = {
      {"off when off plays nothing", 0, 0, {}, 0},
      {"mode 1: 800 then 1600 Hz", 0, 1, {800, 1600}, 1},
      {"mode 2: 800 then 400 Hz", 0, 2, {800, 400}, 2},
      {"off from mode 2: 100 Hz", 2, 0, {100}, 0},
      {"above 2 becomes 1", 0, 7, {800, 1600}, 1},
  };
  Open();
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.what);
    Kbd.BrailleMode = c.from;
    sink.played.clear();
    sink.played_at.clear();
    uint64_t start = NowMs();
    SetBrailleMode(c.to);
    EXPECT_EQ(Kbd.BrailleMode, c.mode_after);
    ASSERT_EQ(sink.played.size(), c.tones.size());
    for (size_t i = 0; i < c.tones.size(); ++i) {
      EXPECT_NEAR(ToneFrequency(sink.played[i]), c.tones[i], c.tones[i] / 50 + 1);
      EXPECT_EQ(sink.played_at[i] - start, 200 * i);  // each tone lasts 200 ms
    }
    EXPECT_EQ(NowMs() - start, 200 * c.tones.size());
    EXPECT_FALSE(sink.playing);
    EXPECT_TRUE(Kbd.ToneBuffer.empty());
  }
}

TEST_F(Keys, HotKeysSwitchBrailleModes) {
  Open();
  Kbd.BrailleMode = 2;
  TranslateKeyMessage(KeyMsg(kMsgKeyDown, VK_F11, kModCtrl | kModAlt));
  EXPECT_EQ(Kbd.BrailleMode, 1);
  TranslateKeyMessage(KeyMsg(kMsgKeyDown, VK_F11, kModCtrl | kModAlt));
  EXPECT_EQ(Kbd.BrailleMode, 2);
  TranslateKeyMessage(KeyMsg(kMsgKeyDown, VK_F12, kModCtrl | kModAlt));
  EXPECT_EQ(Kbd.BrailleMode, 0);
  EXPECT_EQ(Kbd.KeyCount, 0);
}

TEST_F(Keys, ASetBrailleModeWaitsForTheFrontEndThatFinallyOpens) {
  // No display: the window fails to open and the program falls back to a front-end that may or may
  // not report key releases. The mode from the settings follows what that front-end can do.
  struct Failing : RecordingFrontend {
    bool Open(std::string* error) override {
      *error = "no display";
      return false;
    }
  };
  for (bool key_ups : {false, true}) {
    SCOPED_TRACE(key_ups ? "fallback with key releases" : "fallback without key releases");
    ResetConsoleState();
    ResetKeyboardState();
    Failing failing;
    failing.backend = &sim;
    fe.key_ups = key_ups;
    fe.notices.clear();
    Crt.Settings.Read = true;
    Crt.Settings.BrailleMode = 1;
    Crt.Frontend = &failing;
    InitConsole();
    ASSERT_EQ(Crt.Frontend, nullptr);
    EXPECT_EQ(Kbd.BrailleMode, 0);
    SetConsoleFrontend(&fe);
    ASSERT_EQ(Crt.Frontend, &fe);
    EXPECT_EQ(Kbd.BrailleMode, key_ups ? 1 : 0);
    EXPECT_EQ(fe.notices.size(), key_ups ? 0u : 1u);
    TranslateKeyMessage(CharMsg('j'));
    EXPECT_EQ(Queue(), key_ups ? "" : "j");  // in the terminal a letter still types
    Crt.Frontend = nullptr;
  }
}

TEST_F(Keys, WithoutKeyUpEventsBrailleStaysOffAndTheUserIsTold) {
  fe.key_ups = false;
  Open();
  SetBrailleMode(1);
  EXPECT_EQ(Kbd.BrailleMode, 0);
  ASSERT_EQ(fe.notices.size(), 1u);
  EXPECT_EQ(fe.notices[0], kBrailleWindowOnlyNotice);
  TranslateKeyMessage(CharMsg('a'));
  EXPECT_EQ(Queue(), "a");  // letters still type
}

TEST_F(Keys, TheConfiguredBrailleModeStartsWithTheConsole) {
  WriteIni("[BRAILLE]\nMODO=2\n");
  Open();
  EXPECT_EQ(Kbd.BrailleMode, 2);
  EXPECT_EQ(sink.played.size(), 2u);
}

TEST_F(Keys, ToneImage) {
  std::vector<uint8_t> img = BuildToneImage(1000);
  ASSERT_EQ(img.size(), 11071u);
  auto u32 = [&](int at) { return img[at] | (img[at + 1] << 8) | (img[at + 2] << 16) | (img[at + 3] << 24); };
  auto u16 = [&](int at) { return img[at] | (img[at + 1] << 8); };
  EXPECT_EQ(std::string(img.begin(), img.begin() + 4), "RIFF");
  EXPECT_EQ(std::string(img.begin() + 8, img.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(std::string(img.begin() + 36, img.begin() + 40), "data");
  // 11 samples a period; periods start at floor(k x 11.025) while the start is at most 10970; the
  // first start not written is 996 x 11.025 = 10980.9 -> 10980.
  EXPECT_EQ(u32(40), 10980u);
  EXPECT_EQ(u32(4), 10980u + 36);
  EXPECT_EQ(u32(16), 16u);
  EXPECT_EQ(u16(20), 1);
  EXPECT_EQ(u16(22), 1);
  EXPECT_EQ(u32(24), 11025u);
  EXPECT_EQ(u32(28), 11025u);
  EXPECT_EQ(u16(32), 1);
  EXPECT_EQ(u16(34), 8);
  const uint8_t* s = img.data() + 44;
  for (int i = 0; i < 5; ++i) EXPECT_EQ(s[i], 96) << i;
  for (int i = 5; i < 11; ++i) EXPECT_EQ(s[i], 160) << i;
  EXPECT_EQ(s[11], 96);        // the second period starts at 11
  EXPECT_EQ(s[10979], 128);    // the sample before the first period not written
  EXPECT_EQ(s[10980], 0);      // past the data
  // 40 periods of 1000 Hz: the 40th starts at floor(40 x 11.025) = 441, low for 5 samples.
  EXPECT_EQ(s[441], 96);
  EXPECT_EQ(s[446], 160);
}

TEST_F(Keys, ToneImagesOfExtremeFrequenciesStayInTheirBuffer) {
  for (int hz : {0, 1, 20, 440, 5512, 11025, 11026, 20000, 65535}) {
    SCOPED_TRACE(hz);
    std::vector<uint8_t> img = BuildToneImage(static_cast<uint16_t>(hz));
    uint32_t len = img[40] | (img[41] << 8) | (img[42] << 16) | (img[43] << 24);
    EXPECT_EQ(img.size(), 11071u);
    EXPECT_LE(44 + len, 11071u);
  }
}

TEST_F(Keys, PlayToneReplacesTheToneThatIsPlaying) {
  PlayTone(440);
  PlayTone(880);
  EXPECT_EQ(sink.played.size(), 2u);
  EXPECT_EQ(sink.stops, 1);
  uint32_t len = sink.played[1][40] | (sink.played[1][41] << 8);
  EXPECT_EQ(sink.played[1].size(), 44 + len);
  StopTone();
  StopTone();
  EXPECT_EQ(sink.stops, 2);  // a second stop with nothing playing does nothing
}

TEST_F(Keys, ReadKeySleepsUntilAKeyArrives) {
  Open();
  sim.Schedule(500, CharMsg('x'));
  uint64_t start = NowMs();
  uint64_t waits = sim.waits;
  EXPECT_EQ(ReadKey(), 'x');
  EXPECT_EQ(NowMs() - start, 500u);
  EXPECT_LE(sim.waits - waits, 3u);  // slept, not polled
  ASSERT_GE(fe.carets.size(), 2u);
  EXPECT_TRUE(fe.carets[fe.carets.size() - 2].first);
  EXPECT_FALSE(fe.carets.back().first);
  EXPECT_FALSE(Crt.Reading);
}

TEST_F(Keys, ReadKeyTakesBytesInOrder) {
  Open();
  TranslateKeyMessage(KeyMsg(kMsgKeyDown, VK_F1, 0));
  InjectKeys("a");
  EXPECT_EQ(ReadKey(), 0);
  EXPECT_EQ(ReadKey(), 59);
  EXPECT_EQ(ReadKey(), 'a');
  EXPECT_EQ(Kbd.KeyCount, 0);
}

TEST_F(Keys, WithoutFocusNoCaretIsShown) {
  Open();
  Message lost;
  lost.kind = kMsgFocus;
  lost.a = 0;
  PostMessage(lost);
  sim.Schedule(100, CharMsg('y'));
  EXPECT_EQ(ReadKey(), 'y');
  for (const auto& c : fe.carets) EXPECT_FALSE(c.first);
}

TEST_F(Keys, DelaySleepsTheWholeTimeAndKeepsKeysQueued) {
  Open();
  sim.Schedule(100, CharMsg('a'));
  uint64_t start = NowMs();
  Delay(300);
  EXPECT_EQ(NowMs() - start, 300u);
  EXPECT_EQ(Queue(), "a");
}

TEST_F(Keys, AQuitMessageDuringReadKeyEndsWith255AndHidesTheCaret) {
  Open();
  Message quit;
  quit.kind = kMsgQuit;
  sim.Schedule(50, quit);
  try {
    ReadKey();
    FAIL() << "ReadKey returned";
  } catch (const ConsoleExit& e) {
    EXPECT_EQ(e.code, 255);
  }
  ASSERT_FALSE(fe.carets.empty());
  EXPECT_FALSE(fe.carets.back().first);
}

struct LineCase {
  const char* what;
  std::string typed;
  uint16_t capacity;
  std::string line;
};

TEST_F(Keys, ReadConsoleLine) {
  const LineCase cases[] = {
      {"capacity 10 keeps 8 characters then CR LF", "abcdefghijk\r", 10, "abcdefgh\r\n"},
      {"backspace removes the last character", "abx\bc\r", 20, "abc\r\n"},
      {"backspace on an empty line does nothing", "\b\bq\r", 20, "q\r\n"},
      {"control characters are ignored", std::string("a\x01\tb\r"), 20, "ab\r\n"},
      {"an extended key adds nothing", std::string("a\0;b\r", 5), 20, "ab\r\n"},
      {"capacity 2 keeps only CR LF", "abc\r", 2, "\r\n"},
      {"capacity 1 keeps only the CR", "abc\r", 1, "\r"},
  };
  Open();
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.what);
    ClrScr();
    Kbd.KeyCount = 0;
    InjectKeys(c.typed);
    char buf[64];
    std::memset(buf, '@', sizeof buf);
    uint16_t n = ReadConsoleLine(buf, c.capacity);
    EXPECT_EQ(std::string(buf, n), c.line);
    EXPECT_EQ(buf[c.capacity], '@');  // nothing written past the capacity
  }
}

TEST_F(Keys, ReadConsoleLineEchoes) {
  Open();
  InjectKeys("ab\bc\r");
  char buf[16];
  ReadConsoleLine(buf, sizeof buf);
  EXPECT_EQ(Row(0).substr(0, 3), "ac ");
  EXPECT_EQ(WhereY(), 2);
}

TEST_F(Keys, CtrlZEndsALineOnlyWithCheckEOF) {
  Open();
  Crt.CheckEOF = true;
  InjectKeys("ab\x1a");
  char buf[16];
  uint16_t n = ReadConsoleLine(buf, sizeof buf);
  EXPECT_EQ(std::string(buf, n), "ab\x1a");
}

struct PasteCase {
  const char* what;
  std::string clip;
  size_t capacity;
  std::string got;
};

TEST_F(Keys, PasteCutsToTheCapacity) {
  const PasteCase cases[] = {
      {"capacity 4 and six characters give three", "abcdef", 4, "abc"},
      {"a text that fits", "hi", 10, "hi"},
      {"an empty clipboard gives an empty text", "", 10, ""},
      {"capacity 1 gives an empty text", "abc", 1, ""},
  };
  for (const PasteCase& c : cases) {
    SCOPED_TRACE(c.what);
    CopyToClipboard(c.clip.c_str());
    char buf[16];
    std::memset(buf, '@', sizeof buf);
    PasteFromClipboard(buf, c.capacity);
    EXPECT_EQ(std::string(buf), c.got);
    EXPECT_EQ(buf[c.capacity], '@');
  }
  char untouched[4] = {'x', 'y', 'z', 0};
  PasteFromClipboard(untouched, 0);
  EXPECT_STREQ(untouched, "xyz");
}

TEST_F(Keys, TheFrontEndsClipboardIsUsedWhenItHasOne) {
  fe.has_clipboard = true;
  Open();
  CopyToClipboard("copiado");
  EXPECT_EQ(fe.clipboard, "copiado");
  fe.clipboard = "de fora";
  char buf[32];
  PasteFromClipboard(buf, sizeof buf);
  EXPECT_STREQ(buf, "de fora");
}

TEST_F(Keys, SoundDoneMessagesReachTheInstalledHandler) {
  Open();
  int64_t device = -1;
  void* block = nullptr;
  int x = 0;
  Message done;
  done.kind = kMsgSoundDone;
  done.a = 3;
  done.p = &x;
  PostMessage(done);
  ProcessMessages();  // no handler: ignored
  SetWaveDoneHandler([&](int64_t d, void* b) {
    device = d;
    block = b;
  });
  PostMessage(done);
  ProcessMessages();
  EXPECT_EQ(device, 3);
  EXPECT_EQ(block, &x);
}

TEST_F(Keys, KeyPressedCreatesTheConsoleAndPumps) {
  Crt.Frontend = &fe;
  PostMessage(CharMsg('k'));
  EXPECT_TRUE(KeyPressed());
  EXPECT_TRUE(Crt.Created);
}

}  // namespace
}  // namespace falatro::testing
