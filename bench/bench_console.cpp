// Console and terminal renderer figures: full screens written, lines scrolled, bytes sent per frame.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "base/event_loop.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "platform/console/terminal/terminal_input.h"
#include "platform/console/terminal/terminal_renderer.h"
#include "renderer_frontend.h"

using namespace falatro;

namespace {

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Write(const std::string& s) { WriteConsoleText(s.data(), static_cast<uint16_t>(s.size())); }

}  // namespace

int main(int argc, char** argv) {
  bool truecolor = argc > 1 && std::string(argv[1]) == "truecolor";
  setenv("NARRIX_WINDIR", "/nonexistent-falatro-bench", 1);
  SimulatedBackend sim;
  SetLoopBackend(&sim);
  testsupport::RendererFrontend sink;
  sink.backend = &sim;
  Crt.Frontend = &sink;
  TermRender.truecolor = truecolor;
  InitConsole();
  std::printf("terminal renderer, %s colour\n", truecolor ? "24-bit" : "16");

  // 1. Full screens of changing coloured text, written line by line through the console.
  const int frames = 200;
  sink.bytes = sink.writes = 0;
  auto t0 = std::chrono::steady_clock::now();
  for (int f = 0; f < frames; ++f) {
    Window(1, 1, 80, 25);
    GotoXY(1, 1);
    for (int row = 0; row < 25; ++row) {
      TextColor((row + f) % 16);
      TextBackground(row % 8);
      std::string line(80, static_cast<char>('A' + (row + f) % 26));
      if (row < 24) line += "\r\n";
      Write(line);
    }
  }
  double s = Seconds(t0);
  std::printf("full screen written:        %8.1f us/frame  %8.0f bytes/frame  %5.1f writes/frame\n",
              s / frames * 1e6, double(sink.bytes) / frames, double(sink.writes) / frames);

  // 2. The same screen again: nothing changed, nothing but the cursor should be sent.
  sink.bytes = 0;
  RenderAll(&TermRender);
  sink.Flush();
  std::printf("unchanged screen repainted: %8llu bytes\n", static_cast<unsigned long long>(sink.bytes));

  // 3. Scrolling 1000 lines in the full screen and in a full-width window below the top.
  for (int pass = 0; pass < 2; ++pass) {
    ClrScr();
    if (pass == 1) Window(1, 8, 80, 24);
    sink.bytes = sink.writes = 0;
    t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 1000; ++i) {
      TextColor(i % 16);
      Write("linha " + std::to_string(i) + " de texto rolando pela tela do console, com cores\r\n");
    }
    s = Seconds(t0);
    std::printf("1000 lines scrolled (%s): %8.1f us/line  %8.0f bytes/line  %8llu bytes in all\n",
                pass ? "window 8-24" : "whole screen", s / 1000 * 1e6, double(sink.bytes) / 1000,
                static_cast<unsigned long long>(sink.bytes));
  }

  // 4. A narrow window: no terminal scrolling region fits, so its cells are redrawn.
  ClrScr();
  Window(20, 5, 60, 20);
  sink.bytes = 0;
  t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < 1000; ++i) Write("janela estreita " + std::to_string(i) + "\r\n");
  s = Seconds(t0);
  std::printf("1000 lines scrolled (narrow window): %8.1f us/line  %8.0f bytes/line\n", s / 1000 * 1e6,
              double(sink.bytes) / 1000);

  // 5. Input decoding throughput.
  std::string input;
  while (input.size() < (8u << 20)) input += "abc\xc3\xa7\x1b[1;5A\x1bOP\x1b[24;5~\r";
  TerminalInputState st;
  std::vector<Message> msgs;
  msgs.reserve(1 << 20);
  t0 = std::chrono::steady_clock::now();
  size_t events = 0;
  for (size_t pos = 0; pos < input.size(); pos += 4096) {
    DecodeTerminalInput(&st, std::string_view(input).substr(pos, 4096), &msgs);
    events += msgs.size();
    msgs.clear();
  }
  s = Seconds(t0);
  std::printf("input decoding:             %8.1f MB/s  %8.1f M events/s\n", input.size() / s / 1e6,
              events / s / 1e6);
  return 0;
}
