// The window under a real X server: cells, colours, scrolling, caret and magnifier read back as pixels.
#include <gtest/gtest.h>

#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "platform/console/window/window_frontend.h"
#include "window_test_support.h"

namespace falatro {
namespace {

const Rgb kBlack{0, 0, 0}, kBlue{0, 0, 255}, kRed{255, 0, 0}, kYellow{255, 255, 0}, kWhite{255, 255, 255},
    kGreen{0, 255, 0};

class WindowScreen : public ::testing::Test {
 protected:
  void SetUp() override { Open(TestSettings()); }
  void Open(const ConsoleSettings& s) {
    CloseWindowConsole();
    std::string error;
    ASSERT_TRUE(OpenWindowConsole(s, &error)) << error;
    cw = Crt.CharWidth;
    ch = Crt.CharHeight;
  }
  void TearDown() override { CloseWindowConsole(); }
  int cw = 0, ch = 0;
};

TEST_F(WindowScreen, CellsHaveTheFontsSizeAndTheGridStartsAtTheTopLeft) {
  EXPECT_EQ(cw, 10);
  EXPECT_EQ(Crt.FontAscent > 0 && Crt.FontAscent < ch, true);
  EXPECT_GE(ch, 20);
  Screenshot shot = TakeScreenshot();
  ASSERT_GT(shot.Width, 0);
  EXPECT_EQ(shot.Width, 80 * cw);
  EXPECT_EQ(shot.Height, 25 * ch);
}

TEST_F(WindowScreen, WrittenTextShowsInItsCellsAndColours) {
  GotoXY(3, 2);
  TextBackground(1);
  TextColor(14);
  WriteConsoleText("AB", 2);
  Screenshot shot = TakeScreenshot();
  // Cells (2,1) and (3,1): blue background with yellow glyph pixels; the cells around stay black.
  for (int col : {2, 3}) {
    int x = col * cw, y = 1 * ch;
    int blue = shot.Count(x, y, cw, ch, kBlue), yellow = shot.Count(x, y, cw, ch, kYellow);
    EXPECT_GT(blue, cw * ch / 3) << "column " << col;
    EXPECT_GT(yellow, 5) << "column " << col;
    EXPECT_EQ(blue + yellow + shot.Count(x, y, cw, ch, kBlack), blue + yellow +
              shot.Count(x, y, cw, ch, kBlack));
  }
  EXPECT_EQ(shot.Count(1 * cw, 1 * ch, cw, ch, kBlack), cw * ch);
  EXPECT_EQ(shot.Count(4 * cw, 1 * ch, cw, ch, kBlack), cw * ch);
  EXPECT_EQ(shot.Count(2 * cw, 0, 2 * cw, ch, kBlack), 2 * cw * ch);
  EXPECT_EQ(shot.Count(0, 0, 80 * cw, ch, kBlack), 80 * cw * ch);
}

}  // namespace
}  // namespace falatro
