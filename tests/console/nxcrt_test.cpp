// The screen buffer: writing, the deferred wrap, scrolling inside the text window, settings.
#include <gtest/gtest.h>

#include "console_fixture.h"

namespace falatro::testing {
namespace {

using Screen = ConsoleTest;

struct WriteCase {
  const char* what;
  std::string text;
  int x, y;             // expected WhereX, WhereY
  int row;              // absolute row to check
  std::string row_text; // its first characters
};

TEST_F(Screen, WritingMovesTheCursorAndStoresCharacters) {
  const WriteCase cases[] = {
      {"80 characters then CR LF make exactly one line", std::string(80, 'x') + "\r\n", 1, 2, 1, "   "},
      {"an 81st character wraps to column 1 of the next row first", std::string(81, 'x'), 2, 2, 1, "x  "},
      {"80 characters leave the cursor one past the last column", std::string(80, 'x'), 81, 1, 0, "xxx"},
      {"LF alone starts a new line at column 1", "abc\nd", 2, 2, 1, "d  "},
      {"CR alone returns to column 1 of the same row", "abc\rX", 2, 1, 0, "Xbc"},
      {"BS blanks the cell to the left and moves there", "abc\b", 3, 1, 0, "ab "},
      {"BS at column 1 does nothing", "\b\ba", 2, 1, 0, "a  "},
      {"TAB and other controls leave no trace", std::string("a\tb\x01\x0b\x0c\x1b" "c\x1f"), 4, 1, 0, "abc "},
      {"BEL leaves no trace", "a\ab", 3, 1, 0, "ab "},
      {"bytes above 127 are characters", "\xE7\xE3o", 4, 1, 0, "\xE7\xE3o"},
      {"BS after a full row steps back into the last column", std::string(80, 'y') + "\b", 80, 1, 0, "yyy"},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.what);
    ResetConsoleState();
    Open();
    ClrScr();
    Write(c.text);
    EXPECT_EQ(WhereX(), c.x);
    EXPECT_EQ(WhereY(), c.y);
    EXPECT_EQ(Row(c.row).substr(0, c.row_text.size()), c.row_text);
  }
}

TEST_F(Screen, BellBeepsThroughTheSoundSinkOrElseTheFrontEnd) {
  Open();
  Write("\a");
  EXPECT_EQ(sink.beeps, 1);
  EXPECT_EQ(fe.beeps, 0);
  SetConsoleSoundSink(nullptr);
  Write("\a");
  EXPECT_EQ(fe.beeps, 1);
}

TEST_F(Screen, WrittenCellsTakeTextAttr) {
  Open();
  TextColor(14);
  TextBackground(1);
  Write("A");
  EXPECT_EQ(ScreenChar(1, 1), 'A');
  EXPECT_EQ(ScreenAttr(1, 1), 0x1E);
  EXPECT_EQ(ScreenAttr(2, 1), 0x0F);  // untouched cells keep the initial attribute
}

TEST_F(Screen, OnlyTheChangedSpanOfTheRowIsPainted) {
  Open();
  GotoXY(10, 3);
  fe.spans.clear();
  Write("abc");
  ASSERT_EQ(fe.spans.size(), 1u);
  EXPECT_EQ(fe.spans[0].row, 2);
  EXPECT_EQ(fe.spans[0].first, 9);
  EXPECT_EQ(fe.spans[0].end, 12);
  fe.spans.clear();
  Write("\rZ");  // text written after CR over earlier text is repainted from column 1
  ASSERT_EQ(fe.spans.size(), 1u);
  EXPECT_EQ(fe.spans[0].first, 0);
  EXPECT_EQ(fe.spans[0].end, 12);
}

TEST_F(Screen, NewLineAtTheWindowBottomScrollsOnlyTheWindow) {
  Open();
  for (int row = 0; row < ScreenRows; ++row) {
    GotoXY(1, row + 1);
    Write(std::string(80, static_cast<char>('A' + row)));
  }
  Window(11, 5, 20, 8);  // columns 10..19, rows 4..7
  TextBackground(2);
  GotoXY(1, 4);
  Write("new\n");
  EXPECT_EQ(Crt.TextWindow.Left, 10);
  // Inside the window: rows moved up one, bottom row blank in TextAttr.
  EXPECT_EQ(Row(4).substr(10, 10), std::string(10, 'F'));
  EXPECT_EQ(Row(6).substr(10, 10), "newHHHHHHH");
  EXPECT_EQ(Row(7).substr(10, 10), std::string(10, ' '));
  EXPECT_EQ(Crt.AttrBuffer[7 * 80 + 15], 0x2F);
  // Outside it: untouched, on the same rows and on the window's rows.
  EXPECT_EQ(Row(3), std::string(80, 'D'));
  EXPECT_EQ(Row(8), std::string(80, 'I'));
  EXPECT_EQ(Row(4).substr(0, 10), std::string(10, 'E'));
  EXPECT_EQ(Row(7).substr(20, 60), std::string(60, 'H'));
  ASSERT_EQ(fe.scrolls.size(), 1u);
  EXPECT_EQ(fe.scrolls[0].Left, 10);
  EXPECT_EQ(fe.scrolls[0].Bottom, 7);
  EXPECT_EQ(WhereY(), 4);
}

TEST_F(Screen, WrapOnTheLastRowScrollsBeforeWriting) {
  Open();
  Window(1, 1, 5, 2);
  Write("12345678");
  EXPECT_EQ(Row(0).substr(0, 5), "12345");
  EXPECT_EQ(Row(1).substr(0, 5), "678  ");
  EXPECT_EQ(WhereX(), 4);
  EXPECT_EQ(WhereY(), 2);
  // Filling the last row leaves the cursor waiting: the scroll comes with the next character.
  ResetConsoleState();
  Open();
  Window(1, 1, 5, 2);
  Write("abcde" "fghij" "k");
  EXPECT_EQ(Row(0).substr(0, 5), "fghij");
  EXPECT_EQ(Row(1).substr(0, 5), "k    ");
}

struct GotoCase {
  const char* what;
  int x, y, wx, wy;
};

TEST_F(Screen, GotoXYClampsToTheTextWindow) {
  const GotoCase cases[] = {
      {"0, 0 goes to the top-left cell", 0, 0, 1, 1},
      {"200, 200 goes to the bottom-right cell", 200, 200, 80, 17},
      {"negative values go to the top-left", -5, -7, 1, 1},
      {"a cell inside stays", 12, 9, 12, 9},
  };
  Open();
  Window(1, 8, 80, 24);
  for (const GotoCase& c : cases) {
    SCOPED_TRACE(c.what);
    GotoXY(c.x, c.y);
    EXPECT_EQ(WhereX(), c.wx);
    EXPECT_EQ(WhereY(), c.wy);
  }
}

TEST_F(Screen, GotoXYDoesNotCreateTheConsole) {
  Crt.Frontend = &fe;
  GotoXY(5, 5);
  EXPECT_FALSE(Crt.Created);
  EXPECT_FALSE(fe.opened);
  EXPECT_EQ(WhereX(), 5);
}

TEST_F(Screen, ScreenCharIsRelativeToTheWindow) {
  Open();
  GotoXY(3, 9);
  Write("Q");
  Window(1, 8, 80, 24);
  EXPECT_EQ(ScreenChar(3, 2), 'Q');
  EXPECT_EQ(ScreenChar(81, 1), ' ');  // off the screen: a blank, not a read past the buffer
  EXPECT_EQ(ScreenAttr(0, 0), 0);     // column 0 is off the screen
  EXPECT_EQ(ScreenAttr(1, 30), 0);
}

TEST_F(Screen, ClrEolClearsFromTheCursorToTheWindowEdge) {
  Open();
  Write(std::string(80, 'x'));
  GotoXY(70, 1);
  TextBackground(4);
  ClrEol();
  EXPECT_EQ(Row(0).substr(68), "x" + std::string(11, ' '));
  EXPECT_EQ(Crt.AttrBuffer[79], 0x4F);
  EXPECT_EQ(WhereX(), 70);
}

TEST_F(Screen, ClrEolOnePastTheLastColumnClearsNothing) {
  Open();
  Write(std::string(80, 'x'));
  ASSERT_EQ(WhereX(), 81);
  fe.spans.clear();
  ClrEol();
  EXPECT_EQ(Row(0), std::string(80, 'x'));
  EXPECT_TRUE(fe.spans.empty());
}

TEST_F(Screen, ClrScrFillsOnlyTheWindowAndHomesTheCursor) {
  Open();
  for (int row = 0; row < ScreenRows; ++row) {
    GotoXY(1, row + 1);
    Write(std::string(80, '#'));
  }
  Window(1, 8, 80, 24);
  TextBackground(1);
  GotoXY(4, 4);
  int repaints = fe.repaints;
  ClrScr();
  EXPECT_EQ(Row(6), std::string(80, '#'));
  EXPECT_EQ(Row(7), std::string(80, ' '));
  EXPECT_EQ(Row(23), std::string(80, ' '));
  EXPECT_EQ(Row(24), std::string(80, '#'));
  EXPECT_EQ(Crt.AttrBuffer[10 * 80], 0x1F);
  EXPECT_EQ(WhereX(), 1);
  EXPECT_EQ(WhereY(), 1);
  EXPECT_GT(fe.repaints, repaints);
}

TEST_F(Screen, ColoursChangeTextAttrUnlessFixed) {
  Open();
  TextColor(0x1A);  // only the low nibble counts
  EXPECT_EQ(Crt.TextAttr, 0x0A);
  TextBackground(0x13);  // kept to 8 bits
  EXPECT_EQ(Crt.TextAttr, 0x3A);
  ResetConsoleState();
  WriteIni("[VIDEO]\nCORESFIXAS=sim\n");
  Open();
  TextColor(4);
  TextBackground(2);
  EXPECT_EQ(Crt.TextAttr, 0x0F);
}

TEST_F(Screen, WindowClampsImpossibleRectangles) {
  Window(0, 0, 200, 200);
  EXPECT_EQ(Crt.TextWindow.Left, 0);
  EXPECT_EQ(Crt.TextWindow.Right, 79);
  EXPECT_EQ(Crt.TextWindow.Bottom, 24);
  Open();
  Window(50, 20, 10, 5);  // reversed: clamped to one cell rather than a window of negative size
  EXPECT_EQ(Crt.TextWindow.Left, 49);
  EXPECT_EQ(Crt.TextWindow.Right, 49);
  EXPECT_EQ(Crt.TextWindow.Top, 19);
  EXPECT_EQ(Crt.TextWindow.Bottom, 19);
  Write("abc");  // a one-cell window still writes, wrapping and scrolling in place
  EXPECT_EQ(ScreenChar(1, 1), 'c');
}

struct SettingsCase {
  const char* what;
  const char* ini;
  uint8_t attr;
  bool fixed;
  bool fast;
  int zoom;
  int braille;
  bool corner;
  int font_width;
  int font_height;
  int weight;
  const char* font;
};

TEST_F(Screen, SettingsAreReadFromTheSuiteFile) {
  const SettingsCase cases[] = {
      {"no file gives the defaults", nullptr, 0x0F, false, false, 2, 0, true, -1, -1, 700, "Lucida Console"},
      {"colours and flags", "[VIDEO]\nCORFUNDO=1\nCORLETRA=14\nCORESFIXAS=s\nLENTO=Sim\nCANTOTELA=NAO\n", 0x1E,
       true, true, 2, 0, false, -1, -1, 700, "Lucida Console"},
      {"empty colour keys give 0 and 7", "[video]\ncorfundo=\ncorletra=\n", 0x07, false, false, 2, 0, true, -1, -1,
       700, "Lucida Console"},
      {"AMPLIF 0 gives 2", "[VIDEO]\nAMPLIF=0\n", 0x0F, false, false, 2, 0, true, -1, -1, 700, "Lucida Console"},
      {"AMPLIF 8 gives 2", "[VIDEO]\nAMPLIF=8\n", 0x0F, false, false, 2, 0, true, -1, -1, 700, "Lucida Console"},
      {"AMPLIF 5 gives 5", "[VIDEO]\nAMPLIF=5\n", 0x0F, false, false, 5, 0, true, -1, -1, 700, "Lucida Console"},
      {"AMPLIF takes only its first character", "[VIDEO]\nAMPLIF=34\n", 0x0F, false, false, 3, 0, true, -1, -1,
       700, "Lucida Console"},
      {"font keys", "[VIDEO]\nFONTE=DejaVu Sans Mono\nLARGURALETRA=9\nALTURALETRA=18\nPESOLETRA=400\n", 0x0F, false,
       false, 2, 0, true, 9, 18, 400, "DejaVu Sans Mono"},
      {"empty font sizes are computed later", "[VIDEO]\nLARGURALETRA=\nALTURALETRA=\n", 0x0F, false, false, 2, 0,
       true, -1, -1, 700, "Lucida Console"},
      {"MODO keeps the low two bits of its first character", "[BRAILLE]\nMODO=6\n", 0x0F, false, false, 2, 2, true,
       -1, -1, 700, "Lucida Console"},
      {"MODO 1", "[braille]\nModo=1\n", 0x0F, false, false, 2, 1, true, -1, -1, 700, "Lucida Console"},
  };
  for (const SettingsCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(windir / "NARRIX.INI");
    if (c.ini) WriteIni(c.ini);
    ConsoleSettings s;
    ReadConsoleSettings(&s);
    EXPECT_TRUE(s.Read);
    EXPECT_EQ(s.InitialAttr, c.attr);
    EXPECT_EQ(s.FixedColors, c.fixed);
    EXPECT_EQ(s.FastScroll, c.fast);
    EXPECT_EQ(s.Zoom, c.zoom);
    EXPECT_EQ(s.BrailleMode, c.braille);
    EXPECT_EQ(s.CornerWindow, c.corner);
    EXPECT_EQ(s.FontWidth, c.font_width);
    EXPECT_EQ(s.FontHeight, c.font_height);
    EXPECT_EQ(s.FontWeight, c.weight);
    EXPECT_EQ(s.FontName, c.font);
  }
}

TEST_F(Screen, SettingsFileNameMatchesWithoutLetterCase) {
  std::ofstream(windir / "narrix.ini") << "[VIDEO]\nCORLETRA=10\n";
  ConsoleSettings s;
  ReadConsoleSettings(&s);
  EXPECT_EQ(s.InitialAttr, 0x0A);
}

TEST_F(Screen, InitConsoleFillsTheScreenWithTheConfiguredAttribute) {
  WriteIni("[VIDEO]\nCORFUNDO=1\nCORLETRA=14\n");
  Open();
  EXPECT_TRUE(Crt.Created);
  EXPECT_EQ(Crt.TextAttr, 0x1E);
  EXPECT_EQ(Crt.AttrBuffer[0], 0x1E);
  EXPECT_EQ(Crt.AttrBuffer[ScreenCells - 1], 0x1E);
  EXPECT_EQ(Crt.ScreenBuffer[1234], ' ');
}

struct PaletteCase {
  const char* what;
  const char* text;
  std::vector<int> expect;  // first entries of the palette
};

TEST_F(Screen, TabcoresParsing) {
  const PaletteCase cases[] = {
      {"the default is the identity", "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15", {0, 1, 2, 3, 4, 5, 6, 7}},
      {"blanks around entries", " 7 , 6,5 ", {7, 6, 5, 3}},
      {"entries not given keep the identity", "9", {9, 1, 2}},
      {"an entry that is not a whole number takes its leading digits and ends parsing", "4,12x,3", {4, 12, 2}},
      {"an entry without digits becomes 0 and ends parsing", "5,abc,9", {5, 0, 2}},
      {"numbers past 255 stay black rather than wrapping", "300,16", {255, 16, 2}},
      {"an empty value changes nothing", "", {0, 1, 2}},
      {"more than 16 entries: the rest is ignored", "1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,9", {1, 1, 1}},
  };
  for (const PaletteCase& c : cases) {
    SCOPED_TRACE(c.what);
    uint8_t palette[16];
    for (int i = 0; i < 16; ++i) palette[i] = static_cast<uint8_t>(i);
    ParsePalette(c.text, palette);
    for (size_t i = 0; i < c.expect.size(); ++i) EXPECT_EQ(palette[i], c.expect[i]) << "entry " << i;
  }
}

TEST_F(Screen, ColourNumbersAboveFifteenShowBlack) {
  WriteIni("[VIDEO]\nTABCORES=16,5\n");
  Open();
  Rgb black = ColorIndexRgb(0);
  EXPECT_EQ(black.r + black.g + black.b, 0);
  Rgb magenta = ColorIndexRgb(1);
  EXPECT_EQ(magenta.r, 142);
  EXPECT_EQ(magenta.b, 142);
  EXPECT_EQ(ColorNumberRgb(6).r, 68);
  EXPECT_EQ(ColorNumberRgb(15).g, 255);
}

TEST_F(Screen, DefaultFontSizeRoundsHalfToEven) {
  EXPECT_EQ(DefaultFontWidth(1024), 13);
  EXPECT_EQ(DefaultFontWidth(512), 6);    // 6.5 -> 6
  EXPECT_EQ(DefaultFontWidth(1536), 20);  // 19.5 -> 20
  EXPECT_EQ(DefaultFontWidth(1920), 24);  // 24.375
  EXPECT_EQ(DefaultFontHeight(734), 28);
  EXPECT_EQ(DefaultFontHeight(1040), 40);  // 39.67
}

TEST_F(Screen, DateAndTimeComeFromTheWallClock) {
  setenv("TZ", "UTC", 1);
  tzset();
  Crt.wall_clock_ms = [] { return int64_t{1700000000123}; };  // Tuesday 14 November 2023 22:13:20.123
  uint16_t y, mo, d, dow, h, mi, s, hs;
  GetDate(y, mo, d, dow);
  GetTime(h, mi, s, hs);
  EXPECT_EQ(y, 2023);
  EXPECT_EQ(mo, 11);
  EXPECT_EQ(d, 14);
  EXPECT_EQ(dow, 2);
  EXPECT_EQ(h, 22);
  EXPECT_EQ(mi, 13);
  EXPECT_EQ(s, 20);
  EXPECT_EQ(hs, 12);
}

TEST_F(Screen, DoneConsoleEmptiesTheQueueClosesAndEndsWithZero) {
  Open();
  InjectKeys("abc");
  try {
    DoneConsole();
    FAIL() << "DoneConsole returned";
  } catch (const ConsoleExit& e) {
    EXPECT_EQ(e.code, 0);
  }
  EXPECT_EQ(Kbd.KeyCount, 0);
  EXPECT_FALSE(Crt.Created);
  EXPECT_EQ(fe.closes, 1);
}

struct EndCase {
  const char* what;
  int kind;
  int code;
  bool window_says_ended;  // the window's last title is "Programa terminado" and Ctrl+Break is off
};

TEST_F(Screen, MessagesThatEndTheProgram) {
  const EndCase cases[] = {
      {"a quit message met by a pump ends with 255", kMsgQuit, 255, true},
      {"closing the window ends normally", kMsgClose, 0, false},
  };
  for (const EndCase& c : cases) {
    SCOPED_TRACE(c.what);
    Open();
    SetConsoleTitle("Falatro");
    Crt.CheckBreak = true;
    Message m;
    m.kind = c.kind;
    PostMessage(m);
    try {
      ProcessMessages();
      FAIL() << "the pump returned";
    } catch (const ConsoleExit& e) {
      EXPECT_EQ(e.code, c.code);
    }
    EXPECT_EQ(fe.title, c.window_says_ended ? "Programa terminado" : "Falatro");
    EXPECT_EQ(Crt.CheckBreak, !c.window_says_ended);
  }
}

TEST_F(Screen, AFrontEndThatCannotOpenLeavesTheConsoleWorking) {
  struct Failing : RecordingFrontend {
    bool Open(std::string* error) override {
      *error = "no display";
      return false;
    }
  } failing;
  failing.backend = &sim;
  Crt.Frontend = &failing;
  Write("ok");
  EXPECT_TRUE(Crt.Created);
  EXPECT_EQ(Crt.Frontend, nullptr);
  EXPECT_EQ(ScreenChar(2, 1), 'k');
}

}  // namespace
}  // namespace falatro::testing
