// The spoken line editor and key echo: typing, movement, deletion, selection, clipboard, the first-key
// rule, the keys that speak, and the line and number readers built on it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "console/screen_reader.h"
#include "speech/line_editor.h"
#include "speech/speech.h"
#include "test_reader_support.h"

namespace falatro::testing {
namespace {

constexpr uint8_t kCtrl = kModCtrl, kShift = kModShift, kAlt = kModAlt;
const TestKey kEnter = Ch(13);
const TestKey kEsc = Ch(27);

class EditorTest : public ReaderEditorFixture {
 protected:
  // Edits text at column 1, row 5 (width 20, at most max characters) with keys; returns the code.
  int Edit(std::string& text, std::vector<TestKey> keys, int max = 20, int width = 20) {
    Type(keys);
    return EditLineSpoken(text, 1, 5, width, max);
  }
  std::string Said() {
    std::string out;
    for (const std::string& s : Editor.SpeechTrace) out += (out.empty() ? "" : " | ") + s;
    Editor.SpeechTrace.clear();
    return out;
  }
};

std::vector<TestKey> Join(std::vector<std::vector<TestKey>> parts) {
  std::vector<TestKey> all;
  for (auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

struct EditCase {
  const char* what;
  const char* start;
  std::vector<TestKey> keys;
  const char* result;
  int code;
};

TEST_F(EditorTest, KeysChangeTheTextAsTheyShould) {
  CharSounds("abcdefghijklmnopqrstuvwxyz 0123456789-.");
  const EditCase cases[] = {
      {"typing first replaces a default", "velho", Join({Text("novo"), {kEnter}}), "novo", 13},
      {"a movement first keeps the default", "velho", {Vk(VK_END), Ch('s'), kEnter}, "velhos", 13},
      {"insertion in the middle", "ac", {Vk(VK_RIGHT), Ch('b'), kEnter}, "abc", 13},
      {"Backspace deletes before the cursor", "abc", {Vk(VK_END), Ch(8), kEnter}, "ab", 13},
      {"Backspace at position 1 changes nothing", "abc", {Ch(8), kEnter}, "abc", 13},
      {"Delete deletes at the cursor", "abc", {Vk(VK_DELETE), Ch(9)}, "bc", 9},
      {"Delete past the end changes nothing", "abc", {Vk(VK_END), Vk(VK_DELETE), kEnter}, "abc", 13},
      {"Ctrl+D blanks to the end", "abc def", {Vk(VK_RIGHT), Vk(VK_RIGHT), Ch(4), kEnter}, "ab", 13},
      {"Ctrl+S deletes before the cursor", "abc def", {Vk(VK_RIGHT), Vk(VK_RIGHT), Ch(19), Ch('x'), kEnter}, "xc def", 13},
      {"Ctrl+Y blanks everything", "abc", {Ch(25), Ch('z'), kEnter}, "z", 13},
      {"Ctrl+U restores the entry text", "abc", {Vk(VK_END), Ch('d'), Ch(8), Ch(8), Ch(25), Ch(21), kEnter}, "abc", 13},
      {"Ctrl+Backspace deletes the word before and its blanks", "um dois tres", {Vk(VK_RIGHT, kCtrl), Vk(VK_RIGHT, kCtrl), Ch(8, kCtrl), kEnter}, "um tres", 13},
      {"Ctrl+Backspace after blanks deletes the word before them", "um dois   ", {Vk(VK_END), Vk(VK_RIGHT), Vk(VK_RIGHT), Ch(8, kCtrl), kEnter}, "um", 13},
      {"Ctrl+Backspace at position 1 changes nothing", "um", {Ch(8, kCtrl), kEnter}, "um", 13},
      {"Esc ends and is returned", "abc", {kEsc}, "abc", 27},
      {"Ctrl+Enter ends", "abc", {Ch(13, kCtrl)}, "abc", 10},
      {"an extended key without an action ends unchanged", "abc", {Ch(4), Vk(VK_UP)}, "", 72},
      {"Ctrl+F9 without Alt ends", "abc", {Vk(VK_F1 + 8, kCtrl)}, "abc", 102},
      {"Alt+digits do nothing", "abc", {Vk('1', kAlt | kCtrl), kEnter}, "abc", 13},
      {"a full field loses its last character", "abcde", {Ch('x', 0), Vk(VK_HOME), Ch('y'), kEnter}, "yx", 13},
      {"the fifth-character field drops its end", "abcde", {Vk(VK_HOME), Ch('z'), kEnter}, "zabcd", 13},
      {"focus codes are never inserted", "ab", {Vk(VK_END), Ch(222), Ch(223), kEnter}, "ab", 13},
      {"a prefix makes the next key a plain one", "", {Vk('Q', kAlt | kCtrl), Ch('k'), kEnter}, "k", 13},
  };
  for (const EditCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text = c.start;
    const int max = std::string(c.what).find("fifth") != std::string::npos ||
                            std::string(c.what).find("full") != std::string::npos
                        ? 5
                        : 20;
    EXPECT_EQ(Edit(text, c.keys, max), c.code);
    EXPECT_EQ(text, c.result);
    EXPECT_LE(text.size(), static_cast<size_t>(max));
  }
}

TEST_F(EditorTest, TheFirstKeyRuleIsHeard) {
  CharSounds("nv");
  std::string text = "velho";
  Edit(text, {Ch('n'), kEnter});
  EXPECT_EQ(Heard(), "click click n");
  text = "velho";
  Edit(text, {Vk(VK_RIGHT), kEnter});
  EXPECT_EQ(Heard(), "v");
  // An idle control code also clicks twice but keeps the text.
  text = "velho";
  Edit(text, {Ch(1), kEnter});
  EXPECT_EQ(Heard(), "click click");
  EXPECT_EQ(text, "velho");
  // An empty field gives no clicks.
  text = "";
  Edit(text, {Ch('n'), kEnter});
  EXPECT_EQ(Heard(), "n");
}

TEST_F(EditorTest, MovementsAndDeletionsAreHeard) {
  CharSounds("abc");
  Recording("_DEL", "DEL");
  Recording("_APFCPO", "APFCPO");
  Recording("_APICPO", "APICPO");
  Recording("_CPOAPA", "CPOAPA");
  std::string text = "abc";
  Edit(text, {Vk(VK_LEFT), Vk(VK_RIGHT), Vk(VK_RIGHT), Vk(VK_LEFT), Vk(VK_END), Vk(VK_RIGHT), Ch(8),
              Vk(VK_HOME), Vk(VK_DELETE), Ch(4), Ch(19), Ch(25), Ch(21), kEnter});
  EXPECT_EQ(Heard(), "beep a b b DEL DEL a APFCPO APICPO CPOAPA beep beep beep");
  EXPECT_EQ(text, "abc");
}

TEST_F(EditorTest, WordMovementClicksAndBeeps) {
  std::string text = "um, dois";
  Edit(text, {Vk(VK_RIGHT, kCtrl), Ch(11), Vk(VK_RIGHT, kCtrl), Ch(11), Vk(VK_RIGHT, kCtrl), Ch(11),
              Vk(VK_LEFT, kCtrl), Ch(11), Vk(VK_LEFT, kCtrl), Ch(11), Vk(VK_LEFT, kCtrl), Ch(11), kEnter});
  // "um" then "," (a word by itself) then "dois"; past the end: after the text with a beep.
  EXPECT_EQ(Said(), "say:3 | say:5 | say:9 | say:5 | say:3 | say:1");
  EXPECT_EQ(Heard(), "click click beep click click beep");
}

TEST_F(EditorTest, F1ReadsWordByWord) {
  CharSounds("!");
  struct F1Case {
    const char* what;
    const char* text;
    int presses;
    const char* said;
  } cases[] = {
      {"a word, then a number", "abc 123", 2, "say:ABC | say:123 | say:8"},
      {"consonants only are spelled", "RJ sp", 2, "spell:RJ | spell:SP | say:6"},
      {"a negative number", "x -5", 2, "spell:X | say:-5 | say:5"},
      {"accented letters are letters", "a\xE7\xE3o", 1, "say:A\xC7\xC3O | say:5"},
      {"a lone mark is spelled", "!!", 2, "spell:! | spell:! | say:3"},
  };
  for (const F1Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text = c.text;
    std::vector<TestKey> keys(c.presses, Vk(VK_F1));
    keys.push_back(Ch(11));
    keys.push_back(kEnter);
    Edit(text, keys);
    EXPECT_EQ(Said(), c.said);
  }
  // Only blanks left: a beep and the cursor stays.
  std::string text = "ab";
  Edit(text, {Vk(VK_END), Vk(VK_F1), Ch(11), kEnter});
  EXPECT_EQ(Said(), "say:3");
  EXPECT_EQ(Heard(), "! ! beep");
}

TEST_F(EditorTest, WholeFieldKeys) {
  Recording("dtmf_1", "dtmf1");
  Recording("dtmf_X", "dtmfX");
  std::string text = "1*a";
  Edit(text, {Vk(VK_F1, kCtrl), Ch(28), Ch(222), Ch(223), kEnter});
  EXPECT_EQ(Said(), "say:1*a" + std::string(17, ' ') + " | say:1*a" + std::string(17, ' '));
  EXPECT_EQ(Heard(), "dtmf1 dtmfX");
}

TEST_F(EditorTest, EchoSwitchAndPhoneticLetters) {
  CharSounds("ab");
  Recording("_FALACI", "FALACI");
  Recording("_FALDLG", "FALDLG");
  Recording("_FON97", "alfa");
  std::string text;
  Edit(text, {Ch('a'), Vk(VK_F1 + 3), Ch('b'), Vk(VK_F1 + 3), Vk(VK_HOME), Vk(VK_RIGHT, kAlt), Vk(VK_RIGHT), kEnter});
  EXPECT_EQ(Heard(), "a FALDLG FALACI alfa b");
  EXPECT_EQ(text, "ab");
  EXPECT_TRUE(Speech.EchoTypedChars);
}

TEST_F(EditorTest, SelectionIsHighlightedAndPasteReplacesIt) {
  std::string text = "abcdef";
  CopyToClipboard("XY");
  std::vector<uint8_t> during;
  // A look at the screen between the second Shift+Left and the paste.
  AddTimer(35000, [&] { during = Attrs(5, 1, 7); });
  Edit(text, {Vk(VK_END), Vk(VK_LEFT, kShift), Vk(VK_LEFT, kShift), Ch(22), kEnter});
  EXPECT_EQ(text, "abcdXY");
  const uint8_t plain = 0x07, lit = 0x87;
  EXPECT_EQ(during, (std::vector<uint8_t>{plain, plain, plain, plain, lit, lit, plain}));
  EXPECT_EQ(Attrs(5, 1, 7), std::vector<uint8_t>(7, plain));
}

TEST_F(EditorTest, SelectionEdgeCases) {
  const EditCase cases[] = {
      {"a selection made rightwards is pasted over the same way", "abcdef", {Vk(VK_RIGHT, kShift), Vk(VK_RIGHT, kShift), Vk(VK_INSERT, kShift), kEnter}, "XYcdef", 13},
      {"a selection at the end", "abc", {Vk(VK_END), Vk(VK_RIGHT, kShift), Vk(VK_RIGHT, kShift), Ch(22), kEnter}, "abcXY", 13},
      {"an empty selection inserts", "abc", {Vk(VK_RIGHT), Vk(VK_LEFT, kShift), Vk(VK_RIGHT, kShift), Ch(22), kEnter}, "aXYbc", 13},
      {"a plain movement drops the selection", "abc", {Vk(VK_RIGHT, kShift), Vk(VK_RIGHT), Ch(22), kEnter}, "abXYc", 13},
      {"Shift+Delete deletes the selection", "abcdef", {Vk(VK_END), Vk(VK_LEFT, kShift), Vk(VK_LEFT, kShift), Vk(VK_LEFT, kShift), Vk(VK_DELETE, kShift), kEnter}, "abc", 13},
      {"Delete without Shift deletes one character", "abcdef", {Vk(VK_RIGHT, kShift), Vk(VK_RIGHT, kShift), Vk(VK_DELETE), kEnter}, "abdef", 13},
      {"typing drops the selection", "abc", {Vk(VK_RIGHT, kShift), Ch('z'), Ch(22), kEnter}, "azXYbc", 13},
  };
  for (const EditCase& c : cases) {
    SCOPED_TRACE(c.what);
    CopyToClipboard("XY");
    std::string text = c.start;
    EXPECT_EQ(Edit(text, c.keys), c.code);
    EXPECT_EQ(text, c.result);
  }
}

TEST_F(EditorTest, CopyWithAndWithoutSelection) {
  std::vector<char> buffer(64);
  std::string text = "ab cd";
  Edit(text, {Vk(VK_INSERT, kCtrl), kEnter});
  PasteFromClipboard(buffer.data(), buffer.size());
  EXPECT_EQ(std::string(buffer.data()), "ab cd\r\n");
  Edit(text, {Vk(VK_RIGHT, kShift), Vk(VK_RIGHT, kShift), Vk(VK_RIGHT, kShift), Ch(3), Vk(VK_RIGHT), kEnter});
  PasteFromClipboard(buffer.data(), buffer.size());
  EXPECT_EQ(std::string(buffer.data()), "ab ");
  // The selection stays after a copy: a paste over it changes nothing.
  Edit(text, {Vk(VK_RIGHT, kShift), Vk(VK_RIGHT, kShift), Ch(3), Ch(22), kEnter});
  EXPECT_EQ(text, "ab cd");
}

TEST_F(EditorTest, BadClipboardTextNeverOverrunsTheField) {
  struct PasteCase {
    const char* what;
    std::string clip;
    int max;
    const char* start;
    std::vector<TestKey> keys;
    std::string result;
  } cases[] = {
      {"cut at the first line end", "um\r\ndois", 20, "", {Ch(22), kEnter}, "um"},
      {"control characters dropped, a tab is a blank", "a\tb\x01\x7F" "c", 20, "", {Ch(22), kEnter}, "a bc"},
      {"longer than the field", std::string(5000, 'x'), 8, "", {Ch(22), kEnter}, std::string(8, 'x')},
      {"pushes the text out of a full field", "123", 5, "abcde", {Vk(VK_RIGHT), Ch(22), kEnter}, "a123b"},
      {"as first key replaces the default", "novo", 20, "velho", {Ch(22), kEnter}, "novo"},
      {"at the end of a full field", "z", 3, "abc", {Vk(VK_END), Vk(VK_RIGHT), Ch(22), kEnter}, "abc"},
      {"high cp1252 letters kept", "p\xE3o \xDF", 20, "", {Ch(22), kEnter}, "p\xE3o \xDF"},
  };
  for (const PasteCase& c : cases) {
    SCOPED_TRACE(c.what);
    CopyToClipboard(c.clip.c_str());
    std::string text = c.start;
    Edit(text, c.keys, c.max, 10);
    EXPECT_EQ(text, c.result);
    EXPECT_EQ(static_cast<int>(Editor.Field.size()), c.max);
  }
}

TEST_F(EditorTest, TheFieldScrollsAndIsPaddedOnScreen) {
  Put(5, 1, std::string(80, '#'));
  std::string text;
  std::vector<uint8_t> unused;
  std::string during;
  AddTimer(85000, [&] { during = Row(5).substr(0, 8); });
  Edit(text, Join({Text("abcdefgh"), {kEnter}}), 20, 5);
  // While typing the eighth character the window shows the last ones; the rest of the row is cleared.
  EXPECT_EQ(during, "defgh   ");
  EXPECT_EQ(Row(5), "abcde" + std::string(75, ' '));
  EXPECT_EQ(WhereX(), 1);
  EXPECT_EQ(WhereY(), 5);
}

TEST_F(EditorTest, AFieldNeverRunsPastTheWindow) {
  std::string text = "abcdef";
  Type({kEnter});
  EditLineSpoken(text, 78, 5, 40, 30);
  EXPECT_EQ(Row(5).substr(77), "abc");
  EXPECT_EQ(Row(6), std::string(80, ' '));
  EXPECT_EQ(Editor.Width, 3);
}

TEST_F(EditorTest, SpeedChangeRestartsSpeechOnlyForADigit) {
  CharSounds("3");
  Recording("_VELOC", "VELOC");
  std::vector<int> speeds;
  Editor.restart_speech = [&](int s) { speeds.push_back(s); };
  std::string text;
  Edit(text, {Vk(VK_F1 + 3, kCtrl), Ch('3'), Vk(VK_F1 + 3, kCtrl), kEsc, Vk(VK_F1 + 3, kCtrl), kEnter, kEnter});
  EXPECT_EQ(speeds, std::vector<int>{3});
  EXPECT_EQ(Heard(), "VELOC 3 VELOC VELOC");
  EXPECT_EQ(text, "");
}

TEST_F(EditorTest, AltCtrlF9ReviewsTheScreenFromTheCaret) {
  Put(1, 1, "titulo");
  Window(1, 8, 80, 24);
  std::string text = "abc";
  Type({Vk(VK_END), Vk(VK_F1 + 8, kCtrl | kAlt), Ch(11), Vk(VK_PRIOR), Ch(27), Ch('d'), kEnter});
  EditLineSpoken(text, 1, 2, 20, 20);
  // The field is on window row 2, screen row 9; its caret after "abc" is column 4.
  EXPECT_EQ(Reader.SpeechTrace.size(), 2u);
  EXPECT_EQ(Reader.SpeechTrace[0], "say:9 4");
  EXPECT_EQ(Reader.SpeechTrace[1], "say:titulo");
  EXPECT_EQ(text, "abcd");
  EXPECT_EQ(Crt.TextWindow.Top, 7);
  EXPECT_EQ(Crt.TextWindow.Bottom, 23);
}

TEST_F(EditorTest, AltF1EndsWith104) {
  Crt.CheckBreak = false;  // lets Alt+F1 through the console as a key
  std::string text = "x";
  EXPECT_EQ(Edit(text, {Vk(VK_F1, kAlt)}), kEditAltF1);
}

TEST_F(EditorTest, ReadLineSpokenAndEsc) {
  CharSounds("abc");
  GotoXY(10, 3);
  Type(Join({Text("abc"), {kEsc}}));
  std::string text = "lixo";
  EXPECT_EQ(ReadLineSpoken(text), 27);
  EXPECT_EQ(text, "");
  EXPECT_EQ(Row(3), std::string(80, ' '));
  EXPECT_EQ(WhereY(), 4);
  EXPECT_EQ(WhereX(), 1);
  GotoXY(1, 3);
  Type(Join({Text("ab"), {kEnter}}));
  EXPECT_EQ(ReadLineSpoken(text), 13);
  EXPECT_EQ(text, "ab");
  EXPECT_EQ(Row(3).substr(0, 3), "ab ");
  // The field of a line read takes the window's width less its column and one.
  EXPECT_EQ(Editor.Width, 78);
  EXPECT_EQ(Editor.MaxLength, 255);
}

TEST_F(EditorTest, ReadNumberSpoken) {
  struct NumberCase {
    const char* what;
    std::vector<TestKey> keys;
    int result;
  } cases[] = {
      {"a number replaces the value", Join({Text("42"), {kEnter}}), 42},
      {"an empty entry keeps it", {kEnter}, 7},
      {"blanks around are trimmed", Join({Text(" -15 "), {kEnter}}), -15},
      {"Esc keeps what was typed", Join({Text("9"), {kEsc}}), 9},
      {"not a number keeps the value", Join({Text("12a"), {kEnter}}), 7},
      {"a sign alone keeps the value", Join({Text("-"), {kEnter}}), 7},
      {"too large is kept within range", Join({Text("99999999999"), {kEnter}}), 2147483647},
  };
  CharSounds("0123456789a- ");
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(c.what);
    int value = 7;
    GotoXY(1, 10);
    Type(c.keys);
    ReadNumberSpoken(value);
    EXPECT_EQ(value, c.result);
  }
}

TEST_F(EditorTest, ReadKeySpokenEchoesAndReadsPastTheTime) {
  CharSounds("k");
  uint8_t key = 1, ext = 1;
  GotoXY(3, 3);
  Type({Vk(VK_F1 + 7), Ch('k')});
  ReadKeySpoken(key, ext);
  EXPECT_EQ(key, 'k');
  EXPECT_EQ(ext, 32);
  EXPECT_EQ(Row(3).substr(2, 1), "k");
  Type({Vk(VK_F1 + 1), Vk('W', kAlt | kCtrl), Ch('z'), Ch(223)});
  ReadKeySpoken(key, ext);
  EXPECT_EQ(key, 0);
  EXPECT_EQ(ext, 60);
  ReadKeySpoken(key, ext);
  EXPECT_EQ(key, 'z');
  EXPECT_EQ(ext, 17);
  ReadKeySpoken(key, ext);
  EXPECT_EQ(key, 223);
  EXPECT_EQ(Row(3).substr(2, 3), "kz ");
  Heard();
  Type({Ch('k')});
  EXPECT_EQ(ReadKeyEchoed(), 'k');
  EXPECT_EQ(Heard(), "k");
}

}  // namespace
}  // namespace falatro::testing
