// Terminal input: escape sequences and UTF-8 into key events, and on into key codes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/console/terminal/terminal_input.h"
#include "terminal_test_support.h"

namespace falatro::testing {
namespace {

// Decodes bytes (fed whole, or one byte at a time), flushes as a quiet terminal would, and returns
// the key codes the translator queues.
std::string Codes(const std::string& bytes, bool bytewise = false) {
  ResetConsoleForTest();
  TerminalInputState st;
  std::vector<Message> msgs;
  if (bytewise) {
    for (char c : bytes) DecodeTerminalInput(&st, std::string_view(&c, 1), &msgs);
  } else {
    DecodeTerminalInput(&st, bytes, &msgs);
  }
  FlushTerminalInput(&st, &msgs);
  EXPECT_TRUE(st.pending.empty());
  for (const Message& m : msgs) TranslateKeyMessage(m);
  return std::string(reinterpret_cast<const char*>(Kbd.KeyBuffer), Kbd.KeyCount);
}

std::string B(std::initializer_list<int> b) {
  std::string s;
  for (int v : b) s += static_cast<char>(v);
  return s;
}

struct InputCase {
  const char* what;
  std::string bytes;
  std::string codes;
};

const InputCase kCases[] = {
    // Function keys in every family.
    {"F1, xterm", "\x1bOP", B({0, 59})},
    {"F1, VT220 and rxvt", "\x1b[11~", B({0, 59})},
    {"F1, Linux console", "\x1b[[A", B({0, 59})},
    {"F5, Linux console", "\x1b[[E", B({0, 63})},
    {"F4, xterm", "\x1bOS", B({0, 62})},
    {"F5", "\x1b[15~", B({0, 63})},
    {"F6", "\x1b[17~", B({0, 64})},
    {"F10", "\x1b[21~", B({0, 68})},
    {"F11", "\x1b[23~", B({0, 69})},
    {"F12", "\x1b[24~", B({0, 70})},
    {"Ctrl+F1, xterm", "\x1b[1;5P", B({0, 94})},
    {"Ctrl+F12, xterm", "\x1b[24;5~", B({0, 105})},
    {"Shift+F1, xterm, is F1", "\x1b[1;2P", B({0, 59})},
    {"Shift+F1 as F13 of the Linux console", "\x1b[25~", B({0, 59})},
    {"F1 with an old xterm modifier digit", "\x1bO5P", B({0, 94})},
    // Cursor and editing keys.
    {"Up", "\x1b[A", B({0, 72})},
    {"Up, application mode", "\x1bOA", B({0, 72})},
    {"Down", "\x1b[B", B({0, 80})},
    {"Right", "\x1b[C", B({0, 77})},
    {"Left", "\x1b[D", B({0, 75})},
    {"Ctrl+Up, xterm", "\x1b[1;5A", B({0, 113})},
    {"Ctrl+Left, rxvt", "\x1bOd", B({0, 115})},
    {"Shift+Up, rxvt", "\x1b[a", B({0, 72})},
    {"Home, xterm", "\x1b[H", B({0, 71})},
    {"Home, VT220", "\x1b[1~", B({0, 71})},
    {"Home, rxvt", "\x1b[7~", B({0, 71})},
    {"Ctrl+Home", "\x1b[1;5H", B({0, 119})},
    {"End, xterm", "\x1b[F", B({0, 79})},
    {"End, VT220", "\x1b[4~", B({0, 79})},
    {"End, rxvt", "\x1b[8~", B({0, 79})},
    {"PgUp", "\x1b[5~", B({0, 73})},
    {"PgDn", "\x1b[6~", B({0, 81})},
    {"Ctrl+PgUp, xterm", "\x1b[5;5~", B({0, 132})},
    {"Ctrl+PgUp, rxvt", "\x1b[5^", B({0, 132})},
    {"Insert", "\x1b[2~", B({0, 82})},
    {"Shift+Insert, xterm", "\x1b[2;2~", B({0, 254})},
    {"Shift+Insert, rxvt", "\x1b[2$", B({0, 254})},
    {"Ctrl+Insert", "\x1b[2;5~", B({0, 255})},
    {"Ctrl+Shift+Insert, rxvt", "\x1b[2@", B({0, 255})},
    {"Delete", "\x1b[3~", B({0, 83})},
    {"Ctrl+Delete", "\x1b[3;5~", B({0, 83})},
    {"Alt+Up, rxvt's ESC prefix", "\x1b\x1b[A", B({0, 72})},
    // Alt as the ESC prefix.
    {"Alt+q", "\x1bq", B({0, 16})},
    {"Alt+Q", "\x1bQ", B({0, 16})},
    {"Alt+0", "\x1b" "0", B({0, 129})},
    {"Alt+1", "\x1b" "1", B({0, 120})},
    {"Ctrl+Alt+Q", "\x1b\x11", B({0, 16})},
    {"Alt with punctuation has no code", "\x1b,", ""},
    {"Alt+Enter has no code", "\x1b\r", ""},
    {"Alt+Tab has no code", "\x1b\t", ""},
    {"Alt+Backspace sent as BS has no code", "\x1b\x08", ""},
    // Plain and control characters.
    {"letters", "aZ", "aZ"},
    {"Enter", "\r", "\r"},
    {"Ctrl+Enter arrives as LF and stays LF", "\n", "\n"},
    {"Backspace", "\x7f", "\b"},
    {"Ctrl+Backspace", "\x08", "\x7f"},
    {"Tab", "\t", "\t"},
    {"Shift+Tab", "\x1b[Z", "\t"},
    {"Ctrl+C is a character, not a signal", "\x03", "\x03"},
    {"Ctrl+Space would be a stray extended prefix: dropped", std::string(1, '\0'), ""},
    {"modifyOtherKeys Ctrl+Enter", "\x1b[27;5;13~", "\n"},
    {"CSI u Ctrl+Enter", "\x1b[13;5u", "\n"},
    {"CSI u Ctrl+Backspace", "\x1b[127;5u", "\x7f"},
    {"CSI u Alt+a", "\x1b[97;3u", B({0, 30})},
    // UTF-8.
    {"c cedilla", "\xc3\xa7", "\xe7"},
    {"euro sign", "\xe2\x82\xac", "\x80"},
    {"a character cp1252 lacks is dropped", "a\xe4\xb8\xad" "b", "ab"},
    {"an invalid byte is dropped", "a\xff" "b", "ab"},
    {"a cut sequence drops only itself", "\xc3(", "("},
    {"a surrogate is dropped", "\xed\xa0\x80x", "x"},
    {"an overlong form is dropped", "\xc0\xafx", "x"},
    {"a C1 control is dropped", "\xc2\x9bx", "x"},
    // Unknown, cut and hostile sequences.
    {"an unknown function key is dropped whole", "\x1b[99~x", "x"},
    {"a device-attribute reply is dropped whole", "\x1b[?1;2cx", "x"},
    {"an SGR mouse report is dropped whole", "\x1b[<0;10;5Mx", "x"},
    {"a cursor-position report is dropped whole", "\x1b[24;80Rx", "x"},
    {"an over-long sequence is dropped whole",
     "\x1b[" + std::string(300, '1') + "Ax", "x"},
    {"a sequence cut by a control byte: the control stays", "\x1b[1;5\rx", "\rx"},
    {"a sequence cut by a new one", "\x1b[1;\x1b[A", B({0, 72})},
    {"a cut Linux-console key", "\x1b[[", ""},
    {"focus reports queue nothing", "\x1b[I\x1b[Oa", "a"},
    {"a lone Esc", "\x1b", "\x1b"},
    {"two Esc presses", "\x1b\x1b", "\x1b\x1b"},
    {"ESC before a key sequence is Alt with that key", "\x1b\x1b[B", B({0, 80})},
    {"ESC O at the end is Alt+O", "\x1bO", B({0, 24})},
    {"ESC [ at the end is nothing", "\x1b[", ""},
    {"a cut sequence at the end is dropped", "\x1b[1;5", ""},
};

TEST(TerminalInput, BytesBecomeKeyCodes) {
  for (const InputCase& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Codes(c.bytes), c.codes);
  }
}

TEST(TerminalInput, BytesArrivingOneByOneGiveTheSameCodes) {
  for (const InputCase& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Codes(c.bytes, true), c.codes);
  }
}

TEST(TerminalInput, AnIncompleteSequenceWaitsForMoreBytes) {
  TerminalInputState st;
  std::vector<Message> msgs;
  DecodeTerminalInput(&st, "a\x1b[1;", &msgs);
  EXPECT_EQ(msgs.size(), 1u);
  EXPECT_TRUE(TerminalInputPending(st));
  DecodeTerminalInput(&st, "5A", &msgs);
  ASSERT_EQ(msgs.size(), 2u);
  EXPECT_EQ(msgs[1].kind, kMsgKeyDown);
  EXPECT_EQ(msgs[1].key.vk, VK_UP);
  EXPECT_EQ(msgs[1].key.mods, kModCtrl);
  EXPECT_FALSE(TerminalInputPending(st));
}

TEST(TerminalInput, FocusReportsBecomeFocusMessages) {
  TerminalInputState st;
  std::vector<Message> msgs;
  DecodeTerminalInput(&st, "\x1b[O\x1b[I", &msgs);
  ASSERT_EQ(msgs.size(), 2u);
  EXPECT_EQ(msgs[0].kind, kMsgFocus);
  EXPECT_EQ(msgs[0].a, 0);
  EXPECT_EQ(msgs[1].a, 1);
}

TEST(TerminalInput, RxvtNumbersShiftedFunctionKeysFromF3) {
  TerminalInputState st;
  st.rxvt_keys = true;
  std::vector<Message> msgs;
  DecodeTerminalInput(&st, "\x1b[25~", &msgs);
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].key.vk, VK_F1 + 2);
}

struct PasteCase {
  const char* what;
  std::vector<std::string> chunks;
  std::string clip;
  std::string after;  // codes of what follows the paste
};

TEST(TerminalInput, BracketedPasteGoesToTheClipboardNotTheKeys) {
  const PasteCase cases[] = {
      {"one chunk", {"\x1b[200~Ol\xc3\xa1 mundo\x1b[201~x"}, "Ol\xe1 mundo", "x"},
      {"split inside the end marker", {"\x1b[200~abc\x1b[2", "01~y"}, "abc", "y"},
      {"split inside the start marker", {"\x1b[20", "0~q\x1b[201~"}, "q", ""},
      {"escape sequences inside a paste are text", {"\x1b[200~a\x1b[Ab\x1b[201~"}, "a\x1b[Ab", ""},
      {"no end marker: the paste ends when the terminal is quiet", {"\x1b[200~zz"}, "zz", ""},
  };
  for (const PasteCase& c : cases) {
    SCOPED_TRACE(c.what);
    ResetConsoleForTest();
    TerminalInputState st;
    std::vector<Message> msgs;
    for (const std::string& chunk : c.chunks) DecodeTerminalInput(&st, chunk, &msgs);
    FlushTerminalInput(&st, &msgs);
    EXPECT_EQ(st.pastes, 1);
    EXPECT_EQ(st.last_paste, c.clip);
    for (const Message& m : msgs) TranslateKeyMessage(m);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(Kbd.KeyBuffer), Kbd.KeyCount), c.after);
  }
}

TEST(TerminalInput, AHugePasteKeepsItsBound) {
  TerminalInputState st;
  std::vector<Message> msgs;
  DecodeTerminalInput(&st, "\x1b[200~", &msgs);
  std::string big(kMaxPaste * 2, 'p');
  DecodeTerminalInput(&st, big, &msgs);
  DecodeTerminalInput(&st, "\x1b[201~", &msgs);
  EXPECT_EQ(st.last_paste.size(), kMaxPaste);
  EXPECT_TRUE(msgs.empty());
}

TEST(TerminalInput, AKeyFloodFillsTheQueueAndNoMore) {
  std::string flood;
  for (int i = 0; i < 5000; ++i) flood += i % 3 ? "x" : "\x1b[A";
  std::string codes = Codes(flood);
  EXPECT_EQ(codes.size(), 64u);
  // Never half of an extended code at the end.
  int zeros = 0;
  for (size_t i = 0; i < codes.size(); ++i) {
    if (codes[i] == 0) {
      ++zeros;
      ASSERT_LT(i + 1, codes.size());
      EXPECT_EQ(codes[i + 1], 72);
      ++i;
    }
  }
  EXPECT_GT(zeros, 0);
}

TEST(TerminalInput, PendingBytesStayBounded) {
  TerminalInputState st;
  std::vector<Message> msgs;
  std::string endless = "\x1b[";
  for (int i = 0; i < 1000; ++i) {
    DecodeTerminalInput(&st, endless, &msgs);
    endless = "1;";
    EXPECT_LE(st.pending.size(), kMaxSequence + 8);
  }
  DecodeTerminalInput(&st, "Ab", &msgs);
  ASSERT_EQ(msgs.size(), 1u);  // the whole run is dropped; only b is a key
  EXPECT_EQ(msgs[0].key.ch, 'b');
}

}  // namespace
}  // namespace falatro::testing
