// Shared pieces of the terminal tests: console set-up and a libvterm screen to read back what was drawn.
#pragma once

#include <gtest/gtest.h>
#include <vterm.h>

#include <cstring>
#include <mutex>
#include <string>

#include "base/event_loop.h"
#include "base/text_encoding.h"
#include "console/console_sound.h"
#include "console/keyboard.h"
#include "console/nxcrt.h"

namespace falatro::testing {

/// Console and keyboard at their start-up state, no front-end, exits that throw.
inline void ResetConsoleForTest() {
  {
    std::lock_guard<std::mutex> lock(EventLoop.posted_mutex);
    EventLoop.posted.clear();
  }
  EventLoop.timers.clear();
  Crt.Frontend = nullptr;
  ResetConsoleState();
  ResetKeyboardState();
  SetConsoleSoundSink(nullptr);
  Crt.exit_hook = [](int code) { throw ConsoleExit{code}; };
}

/// A terminal emulator in memory.
struct VtScreen {
  VTerm* vt;
  VTermScreen* screen;
  int rows, cols;
  VtScreen(int r, int c) : rows(r), cols(c) {
    vt = vterm_new(rows, cols);
    vterm_set_utf8(vt, 1);
    screen = vterm_obtain_screen(vt);
    vterm_screen_reset(screen, 1);
  }
  ~VtScreen() { vterm_free(vt); }
  VtScreen(const VtScreen&) = delete;
  VtScreen& operator=(const VtScreen&) = delete;

  void Feed(std::string_view bytes) { vterm_input_write(vt, bytes.data(), bytes.size()); }
  void Resize(int r, int c) {
    rows = r;
    cols = c;
    vterm_set_size(vt, rows, cols);
  }
  VTermScreenCell Cell(int row, int col) const {
    VTermScreenCell cell;
    std::memset(&cell, 0, sizeof cell);
    vterm_screen_get_cell(screen, VTermPos{row, col}, &cell);
    return cell;
  }
  uint32_t Char(int row, int col) const {
    uint32_t c = Cell(row, col).chars[0];
    return c ? c : ' ';
  }
  /// The text of a row as UTF-8.
  std::string Row(int row) const {
    std::string s;
    for (int c = 0; c < cols; ++c) {
      uint32_t cp = Char(row, c);
      int b = UnicodeToCp1252(cp);
      s += Cp1252ToUtf8(std::string(1, static_cast<char>(b < 0 ? '?' : b)));
    }
    return s;
  }
  VTermPos Cursor() const {
    VTermPos pos;
    vterm_state_get_cursorpos(vterm_obtain_state(vt), &pos);
    return pos;
  }
};

/// ANSI index (0..15) that the 16-colour mode uses for a PC colour number.
inline int AnsiIndex(int number) {
  static const int map[8] = {0, 4, 2, 6, 1, 5, 3, 7};
  if (number > 15 || number < 0) return 0;
  return number < 8 ? map[number] : 8 + map[number - 8];
}

/// Compares every cell the emulator shows with the console's buffer. Returns "" or the first
/// difference found.
inline std::string CompareWithBuffer(const VtScreen& vt, bool truecolor) {
  for (int row = 0; row < ScreenRows; ++row) {
    for (int col = 0; col < ScreenCols; ++col) {
      int cell = row * ScreenCols + col;
      uint8_t ch = Crt.ScreenBuffer[cell], attr = Crt.AttrBuffer[cell];
      uint32_t want = Cp1252ToUnicode(ch);
      if (ch < 32 || ch == 127 || (want >= 0x80 && want < 0xA0)) want = ' ';
      VTermScreenCell c = vt.Cell(row, col);
      uint32_t got = c.chars[0] ? c.chars[0] : ' ';
      std::string where = "row " + std::to_string(row) + " col " + std::to_string(col) + ": ";
      if (got != want) return where + "char " + std::to_string(got) + " want " + std::to_string(want);
      for (int layer = 0; layer < 2; ++layer) {
        const VTermColor& color = layer == 0 ? c.fg : c.bg;
        int index = layer == 0 ? (attr & 15) : (attr >> 4);
        int number = Crt.Palette[index];
        const char* name = layer == 0 ? "fg" : "bg";
        if (truecolor) {
          Rgb rgb = ColorNumberRgb(number);
          if (!VTERM_COLOR_IS_RGB(&color) || color.rgb.red != rgb.r || color.rgb.green != rgb.g ||
              color.rgb.blue != rgb.b)
            return where + name + " colour differs";
        } else {
          if (!VTERM_COLOR_IS_INDEXED(&color) || color.indexed.idx != AnsiIndex(number))
            return where + name + " colour index " + std::to_string(color.indexed.idx) + " want " +
                   std::to_string(AnsiIndex(number));
        }
      }
    }
  }
  return "";
}

}  // namespace falatro::testing
