// The window under a real X server: cells, colours, scrolling, caret and magnifier read back as pixels.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "platform/console/window/window_frontend.h"
#include "window_test_support.h"

namespace falatro {
namespace {

const Rgb kBlack{0, 0, 0}, kBlue{0, 0, 255}, kRed{255, 0, 0}, kYellow{255, 255, 0}, kWhite{255, 255, 255},
    kGreen{0, 255, 0};

// Every test runs twice: frames copied to the window's own pixels, and frames drawn by a renderer
// (what displays denser than one pixel a point get).
class WindowScreen : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { Open(TestSettings()); }
  void Open(const ConsoleSettings& s) {
    CloseWindowConsole();
    Win.ForceRenderer = GetParam();
    std::string error;
    ASSERT_TRUE(OpenWindowConsole(s, &error)) << error;
    cw = Crt.CharWidth;
    ch = Crt.CharHeight;
  }
  void TearDown() override {
    CloseWindowConsole();
    Win.ForceRenderer = false;
  }
  int cw = 0, ch = 0;
};

TEST_P(WindowScreen, CellsHaveTheFontsSizeAndTheGridStartsAtTheTopLeft) {
  EXPECT_EQ(Win.UseSurface, !GetParam());
  EXPECT_EQ(cw, 10);
  EXPECT_EQ(Crt.FontAscent > 0 && Crt.FontAscent < ch, true);
  EXPECT_GE(ch, 20);
  Screenshot shot = TakeScreenshot();
  ASSERT_GT(shot.Width, 0);
  EXPECT_EQ(shot.Width, 80 * cw);
  EXPECT_EQ(shot.Height, 25 * ch);
}

TEST_P(WindowScreen, WrittenTextShowsInItsCellsAndColours) {
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
  }
  EXPECT_EQ(shot.Count(1 * cw, 1 * ch, cw, ch, kBlack), cw * ch);
  EXPECT_EQ(shot.Count(4 * cw, 1 * ch, cw, ch, kBlack), cw * ch);
  EXPECT_EQ(shot.Count(2 * cw, 0, 2 * cw, ch, kBlack), 2 * cw * ch);
  EXPECT_EQ(shot.Count(0, 0, 80 * cw, ch, kBlack), 80 * cw * ch);
}

TEST_P(WindowScreen, ColoursGoThroughThePalette) {
  struct Case {
    const char* what;
    int index;
    uint8_t number;
    Rgb shown;
  } cases[] = {
      {"identity: blue", 1, 1, kBlue},
      {"index 1 shown as colour 4, red", 1, 4, kRed},
      {"magenta is 142, 0, 142", 2, 5, Rgb{142, 0, 142}},
      {"brown is 68, 34, 34", 3, 6, Rgb{68, 34, 34}},
      {"a colour number above 15 is black", 4, 16, kBlack},
  };
  for (const Case& c : cases) {
    Crt.Palette[c.index] = c.number;
    GotoXY(1, 1);
    TextBackground(c.index);
    WriteConsoleText(" ", 1);
    Screenshot shot = TakeScreenshot();
    EXPECT_EQ(shot.Count(0, 0, cw, ch, c.shown), cw * ch) << c.what;
  }
}

TEST_P(WindowScreen, ACp1252CharacterShowsItsOwnGlyph) {
  // "a" and "a with tilde" (byte E3) end on the same baseline; the tilde adds ink above the "a".
  GotoXY(1, 1);
  WriteConsoleText("a\xE3", 2);
  Screenshot shot = TakeScreenshot();
  auto first_inked_row = [&](int col) {
    for (int y = 0; y < ch; ++y)
      if (shot.Count(col * cw, y, cw, 1, kBlack) < cw) return y;
    return ch;
  };
  auto last_inked_row = [&](int col) {
    for (int y = ch - 1; y >= 0; --y)
      if (shot.Count(col * cw, y, cw, 1, kBlack) < cw) return y;
    return -1;
  };
  ASSERT_LT(first_inked_row(0), ch) << "the a has no ink";
  EXPECT_LT(first_inked_row(1), first_inked_row(0) - 1);
  EXPECT_EQ(last_inked_row(1), last_inked_row(0));
}

// Fills rows with lines whose background colour tells them apart, then scrolls.
void WriteColouredLines(int count) {
  for (int i = 0; i < count; ++i) {
    TextBackground(1 + i % 6);
    TextColor(15);
    char line[16];
    int n = std::snprintf(line, sizeof line, "%02d\r\n", i);
    WriteConsoleText(line, static_cast<uint16_t>(n));
  }
}

TEST_P(WindowScreen, ScrollingShowsTheSameImageByRepaintOrByMovingPixels) {
  struct Case {
    const char* what;
    bool fast;
  } cases[] = {{"repainting the window", false}, {"moving the pixels (LENTO)", true}};
  std::vector<Rgb> images[2];
  for (int k = 0; k < 2; ++k) {
    ConsoleSettings s = TestSettings();
    s.FastScroll = cases[k].fast;
    Open(s);
    Window(1, 3, 80, 24);  // rows above and below the text window keep their contents
    uint64_t repaints = Win.FullRepaints, moves = Win.PixelScrolls;
    WriteColouredLines(30);
    // 22 rows hold lines 0..21; each of the 9 lines after them scrolls once.
    EXPECT_EQ(Win.PixelScrolls - moves, cases[k].fast ? 9u : 0u) << cases[k].what;
    EXPECT_EQ(Win.FullRepaints - repaints, cases[k].fast ? 0u : 9u) << cases[k].what;
    Screenshot shot = TakeScreenshot();
    images[k] = shot.Pixels;
    // The window's top row (screen row 3) shows line 9, background 1 + 9 % 6 = 4 (red); line 29 is on
    // screen row 23 (background 6, brown); rows 1, 2 and 25, outside the window, stay black.
    EXPECT_GT(shot.Count(0, 2 * ch, 2 * cw, ch, kRed), cw * ch) << cases[k].what;
    EXPECT_GT(shot.Count(0, 22 * ch, 2 * cw, ch, Rgb{68, 34, 34}), cw * ch) << cases[k].what;
    EXPECT_EQ(shot.Count(0, 0, 80 * cw, 2 * ch, kBlack), 2 * 80 * cw * ch) << cases[k].what;
    EXPECT_EQ(shot.Count(0, 24 * ch, 80 * cw, ch, kBlack), 80 * cw * ch) << cases[k].what;
  }
  ASSERT_EQ(images[0].size(), images[1].size());
  size_t differing = 0;
  for (size_t i = 0; i < images[0].size(); ++i) differing += !SameRgb(images[0][i], images[1][i]);
  EXPECT_EQ(differing, 0u) << "the two ways of scrolling show different images";
}

TEST_P(WindowScreen, TheCaretShowsOnlyWhileAKeyIsAwaitedWithTheFocus) {
  GotoXY(5, 3);
  const int x = 4 * cw, baseline = 2 * ch + Crt.FontAscent;
  Screenshot waiting, lost_focus;
  // Inside the wait of ReadKey: look, then take the focus away and look again, then type a key.
  AddTimer(200, [&] {
    waiting = TakeScreenshot();
    Xdotool({"key", "q"});
  });
  EXPECT_EQ(ReadKey(), 'q');
  Screenshot after = TakeScreenshot();
  ASSERT_GT(waiting.Width, 0);
  // A block two pixels high at the baseline, as wide as the cell, inverting the black background.
  EXPECT_EQ(waiting.Count(x, baseline, cw, 2, kWhite), 2 * cw);
  EXPECT_EQ(waiting.Count(x, baseline - 1, cw, 1, kBlack), cw);
  EXPECT_EQ(waiting.Count(x, baseline + 2, cw, 1, kBlack), cw);
  EXPECT_EQ(waiting.Count(x - cw, baseline, cw, 2, kBlack), 2 * cw);
  EXPECT_EQ(after.Count(x, 2 * ch, cw, ch, kBlack), cw * ch) << "the caret stays after the read";

  // Without the focus no caret is shown.
  Message lost;
  lost.kind = kMsgFocus;
  lost.a = 0;
  PostMessage(lost);
  AddTimer(200, [&] {
    lost_focus = TakeScreenshot();
    InjectKeys("z");
  });
  EXPECT_EQ(ReadKey(), 'z');
  EXPECT_EQ(lost_focus.Count(x, 2 * ch, cw, ch, kBlack), cw * ch);
}

TEST_P(WindowScreen, TheMagnifierZoomsAtTheMouseAndGoesAwayOnRelease) {
  ConsoleSettings s = TestSettings();
  s.Zoom = 2;
  Open(s);
  // A red cell at the top-left and a green one at the bottom-right.
  TextBackground(4);
  GotoXY(1, 1);
  WriteConsoleText(" ", 1);
  TextBackground(2);
  GotoXY(80, 25);
  WriteConsoleText(" ", 1);
  const int W = 80 * cw, H = 25 * ch;
  std::string id = std::to_string(WindowXid());

  struct Case {
    const char* what;
    int mx, my;       // mouse point in the window
    int px, py;       // a point that shows the zoomed cell only while magnifying
    Rgb colour;
  } cases[] = {
      {"at the top-left corner the red cell doubles", 0, 0, cw + cw / 2, ch + ch / 2, kRed},
      {"at the bottom-right corner the green cell doubles", W - 1, H - 1, W - 2 * cw + 2, H - 2 * ch + 2, kGreen},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Xdotool({"mousemove", "--window", id, std::to_string(c.mx), std::to_string(c.my)}), 0);
    PumpFor(50);
    EXPECT_TRUE(SameRgb(TakeScreenshot().At(c.px, c.py), kBlack)) << c.what << ": before";
    ASSERT_EQ(Xdotool({"mousedown", "3"}), 0);
    EXPECT_TRUE(PumpUntil([] { return Crt.Magnifying; })) << c.what;
    Screenshot zoomed = TakeScreenshot();
    EXPECT_TRUE(SameRgb(zoomed.At(c.px, c.py), c.colour)) << c.what;
    ASSERT_EQ(Xdotool({"mouseup", "3"}), 0);
    EXPECT_TRUE(PumpUntil([] { return !Crt.Magnifying; })) << c.what;
    EXPECT_TRUE(SameRgb(TakeScreenshot().At(c.px, c.py), kBlack)) << c.what << ": after";
  }

  // The zoomed view follows the mouse: pressed at the top-left, moved to the bottom-right.
  Xdotool({"mousemove", "--window", id, "0", "0"});
  Xdotool({"mousedown", "3"});
  PumpUntil([] { return Crt.Magnifying; });
  Xdotool({"mousemove", "--window", id, std::to_string(W - 1), std::to_string(H - 1)});
  PumpUntil([&] { return Win.MouseX == W - 1; });
  EXPECT_TRUE(SameRgb(TakeScreenshot().At(W - 2 * cw + 2, H - 2 * ch + 2), kGreen));
  Xdotool({"mouseup", "3"});
  PumpUntil([] { return !Crt.Magnifying; });
}

TEST_P(WindowScreen, TheWindowTakesItsSizeAndLimitsFromTheFont) {
  struct Case {
    const char* what;
    int width, height;
  } cases[] = {{"small cells", 8, 16}, {"wide cells", 14, 20}, {"tall narrow cells", 7, 30}};
  for (const Case& c : cases) {
    ConsoleSettings s = TestSettings();
    s.FontWidth = c.width;
    s.FontHeight = c.height;
    Open(s);
    EXPECT_EQ(Crt.CharWidth, c.width) << c.what;
    int w = 0, h = 0;
    SDL_GetWindowSize(Win.Window, &w, &h);
    EXPECT_EQ(w, 80 * Crt.CharWidth) << c.what;
    EXPECT_EQ(h, 25 * Crt.CharHeight) << c.what;
    SDL_GetWindowMinimumSize(Win.Window, &w, &h);
    EXPECT_EQ(w, 16 * Crt.CharWidth) << c.what;
    EXPECT_EQ(h, 4 * Crt.CharHeight) << c.what;
    SDL_GetWindowMaximumSize(Win.Window, &w, &h);
    EXPECT_EQ(w, 80 * Crt.CharWidth) << c.what;
    EXPECT_EQ(h, 25 * Crt.CharHeight) << c.what;
  }
}

TEST_P(WindowScreen, PixelsMoveOnlyWithTheFocusAndWithTheWindowClearOfTheScreensBottom) {
  struct Case {
    const char* what;
    bool focused;
    int window_y;  // the window's top; the screen is 1024 high
    bool moved;
  } cases[] = {
      {"focused, well above the bottom", true, 0, true},
      {"without the focus", false, 0, false},
      {"bottom edge within 32 pixels of the screen's", true, 1024 - 25 * 20 - 20, false},
  };
  for (const Case& c : cases) {
    ConsoleSettings s = TestSettings();
    s.FastScroll = true;
    Open(s);
    ASSERT_EQ(Crt.CharHeight, 20);
    SDL_SetWindowPosition(Win.Window, 0, c.window_y);
    PumpUntil([&] {
      int x, y;
      SDL_GetWindowPosition(Win.Window, &x, &y);
      return y == c.window_y;
    });
    if (!c.focused) {
      ASSERT_TRUE(UnfocusWindow()) << c.what;
    }
    uint64_t moves = Win.PixelScrolls, repaints = Win.FullRepaints;
    WriteColouredLines(26);
    EXPECT_EQ(Win.PixelScrolls - moves, c.moved ? 2u : 0u) << c.what;
    EXPECT_EQ(Win.FullRepaints - repaints, c.moved ? 0u : 2u) << c.what;
  }
}

TEST_P(WindowScreen, WithoutSizeSettingsTheCellComesFromTheWorkArea) {
  struct Case {
    const char* what;
    const char* area;
    int width, height;
  } cases[] = {
      {"the 1024 x 768 desktop with its task bar", "0,0,1024,734", 13, 28},
      {"1280 x 1024 less a 30-pixel bar", "0,0,1280,994", 16, 38},
      {"a wide desktop", "0,0,1920,1040", 24, 40},
  };
  for (const Case& c : cases) {
    SDL_SetHint(SDL_HINT_DISPLAY_USABLE_BOUNDS, c.area);
    ConsoleSettings s = TestSettings();
    s.FontWidth = -1;
    s.FontHeight = -1;
    Open(s);
    EXPECT_EQ(Crt.CharWidth, c.width) << c.what;
    EXPECT_EQ(Win.Font.FontHeight, c.height) << c.what;
  }
  SDL_SetHint(SDL_HINT_DISPLAY_USABLE_BOUNDS, nullptr);
}

TEST_P(WindowScreen, CornerWindowOffAsksForAMaximisedWindow) {
  struct Case {
    const char* what;
    bool corner;
    bool maximised;
  } cases[] = {{"CANTOTELA=SIM: the computed size", true, false}, {"CANTOTELA=NAO: maximised", false, true}};
  for (const Case& c : cases) {
    ConsoleSettings s = TestSettings();
    s.CornerWindow = c.corner;
    Open(s);
    EXPECT_EQ((SDL_GetWindowFlags(Win.Window) & SDL_WINDOW_MAXIMIZED) != 0, c.maximised) << c.what;
    // Whatever the window's size, the cells start at its top-left corner.
    Screenshot shot = TakeScreenshot();
    EXPECT_GE(shot.Width, std::min(80 * cw, 1280)) << c.what;
  }
}

TEST_P(WindowScreen, TheTitleIsShownInUtf8) {
  SetConsoleTitle("Programa terminado \xE7");
  EXPECT_STREQ(SDL_GetWindowTitle(Win.Window), "Programa terminado \xC3\xA7");
}

TEST_P(WindowScreen, AMissingFaceFallsBackToDejaVuSansMonoAndBoldWeightsAreBold) {
  ConsoleSettings s = TestSettings();
  s.FontName = "Lucida Console";
  s.FontWeight = 700;
  Open(s);
  EXPECT_EQ(Win.Font.File.Family, "DejaVu Sans Mono");
  EXPECT_TRUE(Win.Font.File.Substituted);
  EXPECT_TRUE(Win.Font.File.BoldFace);
  EXPECT_EQ(Crt.CharWidth, 10);
}

INSTANTIATE_TEST_SUITE_P(Frames, WindowScreen, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "Renderer" : "Surface");
                         });

}  // namespace
}  // namespace falatro
