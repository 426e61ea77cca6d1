// The terminal renderer: what a terminal emulator shows after drawing equals the console's buffer.
#include <gtest/gtest.h>

#include <random>

#include "platform/console/terminal/terminal_renderer.h"
#include "renderer_frontend.h"
#include "terminal_test_support.h"

namespace falatro::testing {
namespace {

class Renderer : public ::testing::TestWithParam<bool> {
 protected:
  SimulatedBackend sim;
  VtScreen vt{26, 90};
  testsupport::RendererFrontend fe;  // draws into vt

  void SetUp() override {
    setenv("NARRIX_WINDIR", FALATRO_BINARY_DIR "/test-tmp/renderer-no-settings", 1);
    ResetConsoleForTest();
    SetLoopBackend(&sim);
    TermRender = TerminalRendererState{};
    TermRender.truecolor = GetParam();
    fe.cols = vt.cols;
    fe.rows = vt.rows;
    fe.feed = [this](std::string_view bytes) { vt.Feed(bytes); };
    fe.backend = &sim;
    Crt.Frontend = &fe;
    InitConsole();
  }
  void TearDown() override {
    Crt.Frontend = nullptr;
    ResetConsoleState();
  }
  static void Write(const std::string& s) { WriteConsoleText(s.data(), static_cast<uint16_t>(s.size())); }
  void ExpectSame() { EXPECT_EQ(CompareWithBuffer(vt, TermRender.truecolor), ""); }
};

TEST_P(Renderer, EveryCellAndColourOfARandomScreen) {
  std::mt19937 rng(7);
  for (int i = 0; i < ScreenCells; ++i) {
    Crt.ScreenBuffer[i] = static_cast<uint8_t>(32 + rng() % 224);
    Crt.AttrBuffer[i] = static_cast<uint8_t>(rng());
  }
  fe.RepaintAll();
  ExpectSame();
}

TEST_P(Renderer, WritingScrollingAndClearingThroughTheConsole) {
  struct Step {
    const char* what;
    void (*run)();
  };
  const Step steps[] = {
      {"coloured text", [] {
         for (int c = 0; c < 16; ++c) {
           TextColor(c);
           TextBackground(15 - c);
           Write("cor " + std::to_string(c) + " \xE7\xE3\x80 ");
         }
       }},
      {"new lines down to the bottom and beyond (full-width scrolling)", [] {
         for (int i = 0; i < 40; ++i) {
           TextColor(i % 16);
           Write("linha " + std::to_string(i) + "\r\n");
         }
       }},
      {"a narrow window scrolls on its own", [] {
         Window(20, 5, 40, 9);
         TextBackground(1);
         for (int i = 0; i < 12; ++i) Write("janela " + std::to_string(i) + "\n");
       }},
      {"a full-width window below the top", [] {
         Window(1, 8, 80, 24);
         for (int i = 0; i < 30; ++i) Write(std::string(83, static_cast<char>('a' + i % 26)));
       }},
      {"ClrEol and backspace", [] {
         GotoXY(10, 3);
         ClrEol();
         Write("abc\b\b");
       }},
      {"ClrScr of a window", [] {
         Window(1, 1, 80, 25);
         TextBackground(4);
         ClrScr();
         Write("fim");
       }},
      {"characters the terminal cannot show are blanks", [] {
         Crt.ScreenBuffer[5] = 0x81;
         Crt.ScreenBuffer[6] = 7;
         Crt.Frontend->PaintSpan(0, 0, 80);
       }},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.run();
    ExpectSame();
  }
}

TEST_P(Renderer, OnlyChangedCellsAreSent) {
  Write(std::string(80 * 24, 'x'));
  TermRender.out.clear();
  fe.RepaintAll();
  EXPECT_LT(fe.last_bytes, 12u);  // at most the cursor parked again
  GotoXY(40, 10);
  Write("Y");
  EXPECT_LT(fe.last_bytes, 60u);
  ExpectSame();
}

TEST_P(Renderer, ThePaletteIsApplied) {
  Crt.Palette[15] = 4;  // white shows red
  Crt.Palette[0] = 20;  // beyond the table: black
  TextColor(15);
  TextBackground(0);
  Write("vermelho");
  fe.RepaintAll();  // cells already shown were drawn with the old palette: a repaint redraws them all
  ExpectSame();
}

TEST_P(Renderer, TheCursorRestsAtTheConsoleCursor) {
  GotoXY(7, 4);
  Write("ab");
  fe.SetCaret(true, 8, 3);
  VTermPos pos = vt.Cursor();
  EXPECT_EQ(pos.row, 3);
  EXPECT_EQ(pos.col, 8);
}

TEST_P(Renderer, NoticesGoBelowTheScreen) {
  fe.Notice("Aviso: s\xF3 na janela");
  EXPECT_EQ(vt.Row(25).substr(0, 20), "Aviso: s\xC3\xB3 na janela");
  ExpectSame();  // the screen itself is untouched
}

TEST_P(Renderer, ASmallTerminalIsToldPlainly) {
  vt.Resize(20, 60);
  RendererReset(&TermRender, 60, 20);
  fe.Flush();
  EXPECT_EQ(vt.Row(0).substr(0, 40), "Este terminal tem 60 colunas e 20 linhas");
  Write("nada aparece");
  EXPECT_EQ(TermRender.out.size(), 0u);
  vt.Resize(25, 80);
  RendererReset(&TermRender, 80, 25);
  fe.RepaintAll();
  ExpectSame();
}

INSTANTIATE_TEST_SUITE_P(Colours, Renderer, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "TrueColour" : "SixteenColours"; });

TEST(RendererText, ClipboardAndTitleSequences) {
  TerminalRendererState r;
  RenderClipboard(&r, "Ol\xE1");
  EXPECT_EQ(r.out, "\x1b]52;c;T2zDoQ==\a");
  r.out.clear();
  RenderTitle(&r, "t\x07\x1b" "\xEDtulo");
  EXPECT_EQ(r.out, "\x1b]2;t\xC3\xADtulo\a");
}

TEST(RendererText, ColourModeFromTheEnvironment) {
  EXPECT_TRUE(WantsTrueColor("truecolor"));
  EXPECT_TRUE(WantsTrueColor("24bit"));
  EXPECT_FALSE(WantsTrueColor(""));
  EXPECT_FALSE(WantsTrueColor(nullptr));
  EXPECT_FALSE(WantsTrueColor("yes"));
}

}  // namespace
}  // namespace falatro::testing
