// The screen reader: review keys, word and range reading, fields, search, go-to and copy.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "console/screen_reader.h"
#include "speech/suite_settings.h"
#include "test_reader_support.h"

namespace falatro::testing {
namespace {

constexpr uint8_t kCtrl = kModCtrl;
const TestKey kEscKey = Ch(27);
const TestKey kPos = Ch(11);  // Ctrl+K: say the review position

class ReaderTest : public ReaderEditorFixture {
 protected:
  // Runs a review from column col, row row with the keys given (an Esc is added at the end).
  void Review(int col, int row, std::vector<TestKey> keys) {
    keys.push_back(kEscKey);
    Type(keys);
    GotoXY(col, row);
    ScreenReview();
  }
  std::string Said() {
    std::string out;
    for (const std::string& s : Reader.SpeechTrace) out += (out.empty() ? "" : " | ") + s;
    Reader.SpeechTrace.clear();
    return out;
  }
};

struct WordCase {
  const char* what;
  const char* line;
  int col;
  const char* said;  // trace of one F1, then the position after it
};

TEST_F(ReaderTest, WordReading) {
  const WordCase cases[] = {
      {"a run of five dashes is said as three and passed whole", "-----  x", 1, "say:--- | say:1 6"},
      {"a consonant-only word is spelled", "BRT sim", 1, "spell:BRT | say:1 4"},
      {"W and Y count as consonants here", "WYK", 1, "spell:WYK | say:1 4"},
      {"a word with a vowel is said", "  Brasil.", 1, "say:Brasil | say:1 9"},
      {"a number is said as a word", "1234 x", 1, "say:1234 | say:1 5"},
      {"accented letters belong to the word", "a\xE7\xE3o!", 1, "say:a\xE7\xE3o | say:1 5"},
      {"a mark before letters starts the word", "-abc", 1, "say:-abc | say:1 5"},
      {"a lone character in the last column is read", "", 80, "say:z | say:1 81"},
  };
  for (const WordCase& c : cases) {
    SCOPED_TRACE(c.what);
    ClrScr();
    Put(1, 1, c.line);
    Put(1, 80, c.col == 80 ? "z" : " ");
    Review(c.col, 1, {Vk(VK_F1), kPos});
    EXPECT_EQ(Said(), c.said);
  }
}

TEST_F(ReaderTest, F1AtTheEndOfALineClicksAndGoesToItsEnd) {
  Put(1, 1, "abc");
  Review(79, 1, {Vk(VK_F1), kPos});
  EXPECT_EQ(Said(), "say:1 4");
  EXPECT_EQ(Heard(), "beep click beep beep");
}

TEST_F(ReaderTest, LeftAndRightSayTheCellsAndTheBoundsBeep) {
  CharSounds("xy ");
  Put(1, 79, "xy");
  // Right says the cell it leaves; at column 81 it says a blank, then the bounds put it back to 80.
  Review(79, 1, {Vk(VK_RIGHT), Vk(VK_RIGHT), Vk(VK_RIGHT), kPos, Vk(VK_LEFT), Vk(VK_HOME), Vk(VK_LEFT), kPos});
  EXPECT_EQ(Said(), "char:x | char:y | char:  | say:1 80 | char:x | say:1 1");
  EXPECT_EQ(Heard(), "beep x y   beep x beep beep beep beep");
}

TEST_F(ReaderTest, BackspaceMovesLeftLikeLeft) {
  CharSounds("q");
  Put(2, 1, "q");
  Review(2, 2, {Ch(8), kPos});
  EXPECT_EQ(Said(), "char:q | say:2 1");
}

struct RangeCase {
  const char* what;
  std::vector<TestKey> keys;
  const char* said;
};

TEST_F(ReaderTest, TwoLetterRangesWithRecordedSpeech) {
  // Row 2: "um dois [tres] quatro" with the bracketed field in another colour; review at "tres"+1.
  Put(1, 1, "topo");
  Put(2, 1, "um dois ");
  Put(2, 9, "tres", 0x70);
  Put(2, 13, " quatro");
  Put(3, 1, "fim");
  const RangeCase cases[] = {
      {"TL reads the line and keeps the position", {Ch('t'), Ch('l'), kPos}, "say:um | say:dois | say:tres | say:quatro | say:2 10"},
      {"LL is TL", {Ch('L'), Ch('l'), kPos}, "say:um | say:dois | say:tres | say:quatro | say:2 10"},
      {"space is TL", {Ch(' '), kPos}, "say:um | say:dois | say:tres | say:quatro | say:2 10"},
      {"IL reads up to the column before", {Ch('i'), Ch('l'), kPos}, "say:um | say:dois | say:tres | say:2 10"},
      {"FL reads from the position", {Ch('f'), Ch('l'), kPos}, "say:res | say:quatro | say:2 10"},
      {"TC reads the field", {Ch('t'), Ch('c'), kPos}, "say:tres | say:2 10"},
      {"Ctrl+F1 reads the field", {Vk(VK_F1, kCtrl), kPos}, "say:tres | say:2 10"},
      {"IC reads the field up to the position", {Ch('i'), Ch('c'), kPos}, "say:tres | say:2 10"},
      {"FC reads the field from the position", {Ch('f'), Ch('c'), kPos}, "say:res | say:2 10"},
      {"IT reads from the top and moves", {Ch('i'), Ch('t'), kPos}, "say:topo | say:um | say:dois | say:tres | say:2 1"},
      {"TT reads everything and ends on the last row", {Ch('t'), Ch('t'), kPos}, "say:topo | say:um | say:dois | say:tres | say:quatro | say:fim | say:25 1"},
      {"FT reads to the end and moves", {Ch('f'), Ch('t'), kPos}, "say:res | say:quatro | say:fim | say:25 1"},
  };
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(c.what);
    Review(10, 2, c.keys);
    EXPECT_EQ(Said(), c.said);
  }
}

TEST_F(ReaderTest, RangeReadingClicksAtEachRowEnd) {
  Put(1, 1, "abc");
  Review(1, 1, {Ch('t'), Ch('l')});
  Said();
  EXPECT_EQ(Heard(), "beep click beep beep");
}

TEST_F(ReaderTest, RangesWithASynthesizerSayOneTextPerRow) {
  Sound.SynthesizerActive = true;
  Put(1, 1, "linha um");
  Put(2, 1, "linha dois");
  Review(3, 1, {Ch('f'), Ch('l'), Ch('i'), Ch('l')});
  Sound.SynthesizerActive = false;
  EXPECT_EQ(Said(), "say:nha um" + std::string(72, ' ') + " | say:li");
}

TEST_F(ReaderTest, EmptyRangesAndBadCommandsAreRefused) {
  Put(1, 1, "a:b");
  const RangeCase cases[] = {
      {"IL at column 1 is an empty range", {Ch('i'), Ch('l')}, "beep beep beep beep"},
      {"a separator under the cursor gives an empty field", {Ch('t'), Ch('c')}, "beep beep beep beep"},
      {"a first letter other than F I L T", {Ch('x')}, "beep beep click beep beep beep"},
      {"a second letter other than C L T", {Ch('t'), Ch('x')}, "beep beep click beep beep beep"},
      {"an extended key as second letter is taken whole", {Ch('t'), Vk(VK_F1)}, "beep beep click beep beep beep"},
      {"a plain key without a meaning", {Ch('#')}, "beep beep click beep beep beep"},
      {"an extended key without a meaning", {Vk(VK_F10 - 1)}, "beep beep click beep beep beep"},
  };
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(c.what);
    Review(c.what[0] == 'a' && c.what[2] == 's' ? 2 : 1, 1, c.keys);
    EXPECT_EQ(Heard(), c.said);
    EXPECT_EQ(Said(), "");
  }
}

TEST_F(ReaderTest, FieldsFollowAttributesAndSeparators) {
  // "Nome: Ana" in grey, then " Idade" in reverse and "|30" after a bar.
  Put(4, 1, "Nome: Ana");
  Put(4, 10, " Idade", 0x70);
  Put(4, 16, "|30");
  Review(1, 4, {Ch(9), kPos, Ch(9), kPos, Ch(9), kPos, Ch(9), kPos, Ch(9), kPos});
  // Nome ends at the ":" (4): Tab goes to 6; " Ana" runs to 9: 11; " Idade" to 15: 17 ("|" is
  // skipped as an empty field); "30" ends the line: its end, without a click; and again.
  EXPECT_EQ(Said(), "say:4 6 | say:4 11 | say:4 17 | say:4 19 | say:4 19");
  EXPECT_EQ(Heard(), "beep click click click beep beep");
}

TEST_F(ReaderTest, WordMovementDoesNotRead) {
  Put(5, 1, "um  dois tres");
  Review(1, 5, {Vk(VK_RIGHT, kCtrl), kPos, Vk(VK_RIGHT, kCtrl), kPos, Vk(VK_RIGHT, kCtrl), kPos,
                Vk(VK_LEFT, kCtrl), kPos, Vk(VK_LEFT, kCtrl), kPos, Vk(VK_LEFT, kCtrl), kPos,
                Vk(VK_LEFT, kCtrl), kPos});
  EXPECT_EQ(Said(), "say:5 5 | say:5 10 | say:5 14 | say:5 10 | say:5 5 | say:5 1 | say:5 1");
  // Two clicks, the beep at the end of the line, two clicks, the beep of reaching column 1 through
  // the first word, and the beep of finding no word before column 1.
  EXPECT_EQ(Heard(), "beep click click beep click click beep beep beep beep");
}

TEST_F(ReaderTest, LineMovementAndScreenEdges) {
  Put(1, 1, "primeira");
  Put(25, 1, "ultima");
  Review(5, 1, {Vk(VK_UP), kPos, Vk(VK_NEXT), kPos, Vk(VK_DOWN), kPos, Vk(VK_PRIOR), kPos, Ch(13), kPos,
                Vk(VK_END), kPos});
  EXPECT_EQ(Said(),
            "say:1 1 | say:ultima | say:25 1 | say:25 1 | say:primeira | say:1 1 | say:2 1 | say:2 1");
  EXPECT_EQ(Heard(), "beep beep click click beep click click beep beep");
}

TEST_F(ReaderTest, FirstAndLastLetterOfTheScreen) {
  Put(3, 10, "12 \xC9 x9");
  Put(20, 5, "fim 77");
  Review(1, 1, {Vk(VK_PRIOR, kCtrl), kPos, Vk(VK_NEXT, kCtrl), kPos});
  EXPECT_EQ(Said(), "say:12 | say:\xC9 | say:x9 | say:3 15 | say:fim | say:77 | say:20 7");
}

TEST_F(ReaderTest, GoToAPosition) {
  CharSounds("0159x");
  const RangeCase cases[] = {
      {"row 5, column 10", {Vk(VK_F1 + 5), Ch('0'), Ch('5'), Ch('1'), Ch('0'), kPos}, "say:5 10"},
      {"99 99 is put back on the screen with two bound beeps", {Vk(VK_F1 + 5), Ch('9'), Ch('9'), Ch('9'), Ch('9'), kPos}, "say:25 80"},
      {"a non-digit ends the command", {Vk(VK_F1 + 5), Ch('0'), Ch('x'), kPos}, "say:1 1"},
      {"an extended key ends it too", {Vk(VK_F1 + 5), Ch('0'), Vk(VK_F1), kPos}, "say:1 1"},
  };
  const char* heard[] = {"beep 0 5 1 0 beep beep", "beep 9 9 9 9 beep beep beep beep",
                         "beep 0 beep beep beep beep", "beep 0 beep beep beep beep"};
  int i = 0;
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(c.what);
    Review(1, 1, c.keys);
    std::string said = Said();
    EXPECT_EQ(said.substr(said.rfind("say:")), c.said);
    EXPECT_EQ(Heard(), heard[i++]);
  }
}

TEST_F(ReaderTest, SearchFindsAfterTheReviewColumnAndKeepsItsText) {
  CharSounds("ab");
  Put(3, 1, "ab ab");
  Put(7, 40, "xab");
  // From the first letter of a match, the search goes on to the next one.
  Review(1, 3, {Vk(VK_F1 + 4), Ch('a'), Ch('b'), Ch(13), kPos, Vk(VK_F1 + 4, kCtrl), kPos,
                Vk(VK_F1 + 4, kCtrl), kPos});
  EXPECT_EQ(Said(), "say:Qual texto | char:a | char:b | say:3 4 | say:7 41 | say:7 41");
  EXPECT_EQ(Heard(), "beep a b click click beep beep beep beep");
  EXPECT_EQ(Reader.SearchText, "ab");
  // The text is kept for the next review; the search does not wrap to the top.
  Review(1, 1, {Vk(VK_F1 + 4, kCtrl), kPos});
  EXPECT_EQ(Said(), "say:3 1");
}

TEST_F(ReaderTest, SearchTypingEditsAndRefusesWhatCannotMatch) {
  CharSounds("abc");
  Recording("_DEL", "DEL");
  Put(2, 1, "ac");
  Review(1, 1, {Vk(VK_F1 + 4), Ch('a'), Ch('b'), Ch(8), Vk(VK_LEFT), Ch(1), Ch('c'), Ch(13), kPos});
  EXPECT_EQ(Reader.SearchText, "ac");
  EXPECT_EQ(Said(), "say:Qual texto | char:a | char:b | char:b | char:c | say:2 1");
  EXPECT_EQ(Heard(), "beep a b DEL b c click beep beep");
  // Esc ends the typing without searching.
  Review(1, 1, {Vk(VK_F1 + 4), Ch('c'), kEscKey, kPos});
  EXPECT_EQ(Said(), "say:Qual texto | char:c | say:1 1");
  // A text longer than a row is never found; the row is not overrun.
  std::vector<TestKey> keys = {Vk(VK_F1 + 4)};
  for (int k = 0; k < 90; ++k) keys.push_back(Ch('a'));
  keys.push_back(Ch(13));
  keys.push_back(kPos);
  Review(1, 1, keys);
  EXPECT_EQ(Reader.SearchText.size(), 90u);
  std::string said = Said();
  EXPECT_EQ(said.substr(said.rfind("say:")), "say:1 1");
  // An empty text is never found.
  Review(1, 1, {Vk(VK_F1 + 4), Ch(13), kPos});
  EXPECT_EQ(Said(), "say:Qual texto | say:1 1");
}

TEST_F(ReaderTest, CtrlCCopiesTheWholeScreen) {
  Put(1, 1, "primeira linha");
  Put(25, 80, "Z");
  Review(1, 1, {Ch(3)});
  std::vector<char> buffer(4096);
  PasteFromClipboard(buffer.data(), buffer.size());
  const std::string text(buffer.data());
  ASSERT_EQ(text.size(), 2050u);
  EXPECT_EQ(text.substr(0, 82), "primeira linha" + std::string(66, ' ') + "\r\n");
  EXPECT_EQ(text.substr(2048 - 80, 82), std::string(79, ' ') + "Z\r\n");
  for (int r = 0; r < 25; ++r) EXPECT_EQ(text.substr(r * 82 + 80, 2), "\r\n");
}

TEST_F(ReaderTest, TheCursorIsPutBackAndTheCellsAreUntouched) {
  Put(10, 1, "texto");
  const std::string before = Row(10);
  GotoXY(7, 12);
  Type({Vk(VK_PRIOR), Vk(VK_F1), kEscKey});
  ScreenReview();
  EXPECT_EQ(WhereX(), 7);
  EXPECT_EQ(WhereY(), 12);
  EXPECT_EQ(Row(10), before);
  EXPECT_FALSE(Reader.Active);
}

TEST_F(ReaderTest, TheConsoleCursorFollowsTheReviewCursor) {
  Put(1, 1, "abc def");
  Put(2, 1, "linha dois");
  std::vector<std::pair<int, int>> seen;
  auto look = [&] { seen.push_back({WhereX(), WhereY()}); };
  // Keys come every 10 s: look between them.
  for (uint64_t at : {15000, 25000, 35000, 45000}) AddTimer(at, look);
  Review(1, 1, {Vk(VK_RIGHT), Vk(VK_RIGHT, kCtrl), Vk(VK_DOWN), Vk(VK_END)});
  const std::vector<std::pair<int, int>> want = {{2, 1}, {5, 1}, {1, 2}, {11, 2}};
  EXPECT_EQ(seen, want);
}

TEST_F(ReaderTest, AnyKeyStopsALongReading) {
  NumberWords({"cinco"});
  std::string line;
  for (int k = 0; k < 20; ++k) line += "5 ";
  for (int r = 1; r <= 25; ++r) Put(r, 1, line);
  // The whole screen holds 500 numbers; a key 200 ms into the reading stops it and is then obeyed.
  Type({Ch('t'), Ch('t')});
  const uint64_t second = sim_.script.back().at;
  Message pos, esc;
  pos.kind = esc.kind = kMsgChar;
  pos.key.ch = 11;
  esc.key.ch = 27;
  sim_.Schedule(second + 200, pos);
  sim_.Schedule(second + 60000, esc);
  GotoXY(1, 1);
  ScreenReview();
  const size_t said = Reader.SpeechTrace.size();
  ASSERT_GE(said, 2u);
  EXPECT_LT(said, 60u);
  EXPECT_EQ(Reader.SpeechTrace.back().substr(0, 4), "say:");
  EXPECT_NE(Reader.SpeechTrace.back(), "say:5");
}

TEST(ReviewCells, OutsideTheScreenReadsAsBlank) {
  ResetConsoleState();
  InitConsole();
  Crt.ScreenBuffer[0] = 'A';
  Crt.AttrBuffer[0] = 0x1E;
  EXPECT_EQ(ReviewChar(1, 1), 'A');
  EXPECT_EQ(ReviewAttr(1, 1), 0x1E);
  const int outside[][2] = {{0, 1}, {1, 0}, {26, 1}, {1, 81}, {-5, -5}};
  for (const auto& p : outside) {
    EXPECT_EQ(ReviewChar(p[0], p[1]), ' ');
    EXPECT_EQ(ReviewAttr(p[0], p[1]), 0);
  }
  // With a text window that starts lower, a row past the screen's end is outside too.
  Window(1, 8, 80, 24);
  EXPECT_EQ(ReviewChar(20, 1), ' ');
  EXPECT_EQ(ReviewAttr(20, 1), 0);
}

TEST(ReviewCharacters, WordCharactersAndSeparators) {
  for (uint8_t c : std::string("09AZaz\xC0\xC1\xC2\xC3\xC7\xC9\xCA\xCD\xD1\xD3\xD4\xD5\xDA\xE0\xE1\xE2\xE3\xE7\xE9\xEA\xED\xF1\xF3\xF4\xF5\xFA"))
    EXPECT_TRUE(IsReviewWordChar(c)) << int(c);
  for (uint8_t c : std::string("-_ .@\xC4\xC8\xE4\xE8\xFC\xDF\xFF\x80"))
    EXPECT_FALSE(IsReviewWordChar(c)) << int(c);
  for (uint8_t c : std::string("!:?|\xB0\xC0\xDF")) EXPECT_TRUE(IsFieldSeparator(c)) << int(c);
  for (uint8_t c : std::string(".,;-\xAF\xE0")) EXPECT_FALSE(IsFieldSeparator(c)) << int(c);
}

}  // namespace
}  // namespace falatro::testing
