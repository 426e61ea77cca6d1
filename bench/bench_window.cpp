// Measures the window front-end under its own Xvfb: a full screen of text, 1,000 lines scrolled
// (by repainting and by moving pixels) and the echo of typed characters, in time and frames.
#include <chrono>
#include <cstdio>
#include <string>

#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "platform/console/window/window_frontend.h"
#include "platform/console/window/window_loop.h"
#include "xvfb_server.h"

using namespace falatro;

namespace {

double WallMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

bool OpenConsole(bool fast_scroll) {
  ResetConsoleState();
  ResetKeyboardState();
  Crt.Settings.Read = true;
  Crt.Settings.FontName = "DejaVu Sans Mono";
  Crt.Settings.FontWidth = 13;  // the cell of a 1024 x 768 desktop
  Crt.Settings.FontHeight = 29;
  Crt.Settings.FontWeight = 700;
  Crt.Settings.FastScroll = fast_scroll;
  Crt.Frontend = WindowFrontend();
  Crt.exit_hook = [](int code) { throw ConsoleExit{code}; };
  InitConsole();
  return Win.IsOpen;
}

void CloseConsole() {
  try {
    DoneConsole();
  } catch (const ConsoleExit&) {
  }
}

// Lets the loop show what is pending, as a program does when it next waits.
void Settle() { WinLoop.Backend.Wait(1, nullptr, nullptr, 0); }

void FullScreens() {
  OpenConsole(false);
  char row[81];
  const int screens = 50;
  uint64_t frames = Win.Frames;
  double start = WallMs();
  for (int s = 0; s < screens; ++s) {
    GotoXY(1, 1);
    for (int r = 0; r < 25; ++r) {
      TextColor((r + s) % 15 + 1);
      TextBackground(r % 8);
      for (int c = 0; c < 80; ++c) row[c] = static_cast<char>(33 + (r * 80 + c + s) % 222);
      GotoXY(1, r + 1);
      WriteConsoleText(row, r == 24 ? 79 : 80);  // the last cell would scroll the screen
    }
    Settle();
  }
  double ms = WallMs() - start;
  std::printf("full screen of text (25 x 80, a colour per row): %d screens in %.1f ms, %.2f ms each, "
              "%llu frames\n", screens, ms, ms / screens,
              static_cast<unsigned long long>(Win.Frames - frames));
  CloseConsole();
}

void Scroll(bool fast) {
  OpenConsole(fast);
  SDL_RaiseWindow(Win.Window);
  SDL_SetWindowInputFocus(Win.Window);
  for (int i = 0; i < 50; ++i) Settle();  // the focus arrives (moving pixels needs it)
  uint64_t frames = Win.Frames, repaints = Win.FullRepaints, moves = Win.PixelScrolls;
  char line[96];
  double start = WallMs();
  for (int i = 0; i < 1000; ++i) {
    int n = std::snprintf(line, sizeof line, "linha %4d: o canal #falatro conversa e o leitor fala cada "
                          "mensagem\r\n", i);
    WriteConsoleText(line, static_cast<uint16_t>(n));
  }
  Settle();
  double ms = WallMs() - start;
  std::printf("1000 lines scrolled, %s: %.1f ms (%.3f ms a line), %llu frames, %llu full repaints, "
              "%llu pixel moves\n", fast ? "moving pixels (LENTO=S)" : "repainting", ms, ms / 1000,
              static_cast<unsigned long long>(Win.Frames - frames),
              static_cast<unsigned long long>(Win.FullRepaints - repaints),
              static_cast<unsigned long long>(Win.PixelScrolls - moves));
  CloseConsole();
}

void TypingEcho() {
  OpenConsole(false);
  double worst = 0, total = 0;
  const int chars = 300;
  for (int i = 0; i < chars; ++i) {
    double t = WallMs();
    // A typed key's echo: written, then shown when the program waits for the next key.
    WriteConsoleChar(static_cast<char>('a' + i % 26));
    Settle();
    double d = WallMs() - t;
    total += d;
    if (d > worst) worst = d;
  }
  std::printf("echo of a typed character until it is on screen: mean %.3f ms, worst %.3f ms "
              "(one frame is 16.7 ms)\n", total / chars, worst);
  CloseConsole();
}

// What one frame costs: showing a frame with one changed cell, and with every cell changed.
void Frames(bool renderer) {
  Win.ForceRenderer = renderer;
  OpenConsole(false);
  const int n = 100;
  double start = WallMs();
  for (int i = 0; i < n; ++i) {
    WriteConsoleChar('x');
    PresentWindow();
  }
  double one_cell = (WallMs() - start) / n;
  start = WallMs();
  for (int i = 0; i < n; ++i) {
    Crt.Frontend->RepaintAll();
    PresentWindow();
  }
  double all_cells = (WallMs() - start) / n;
  std::printf("a frame (%s): %.3f ms with one cell changed, %.3f ms with all 2000 cells redrawn\n",
              Win.RendererName.c_str(), one_cell, all_cells);
  CloseConsole();
  Win.ForceRenderer = false;
}

}  // namespace

int main() {
  XvfbServer server;
  if (!server.Start(1280, 1024)) {
    std::printf("bench_window: skipped (%s)\n", server.Error.c_str());
    return 0;
  }
  double t = WallMs();
  if (!OpenConsole(false)) {
    std::printf("bench_window: the window did not open\n");
    return 1;
  }
  std::printf("window opened in %.1f ms (renderer %s, cell %d x %d, grid %d x %d pixels)\n", WallMs() - t,
              Win.RendererName.c_str(), Crt.CharWidth, Crt.CharHeight, Win.GridWidth, Win.GridHeight);
  CloseConsole();
  Frames(false);
  Frames(true);  // what a display denser than a pixel a point gets
  FullScreens();
  Scroll(false);
  Scroll(true);
  TypingEcho();
  return 0;
}
