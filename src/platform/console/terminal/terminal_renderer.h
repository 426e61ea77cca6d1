// Drawing the console's 80 x 25 buffer on a character terminal: only changed cells, with colours.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "console/nxcrt.h"

namespace falatro {

/// What the terminal is known to show, and the bytes waiting to be written to it.
struct TerminalRendererState {
  int term_cols = 80;          ///< the terminal's size
  int term_rows = 25;
  bool truecolor = false;      ///< 24-bit colour (COLORTERM is truecolor or 24bit), else 16 colours
  bool too_small = false;      ///< smaller than 80 x 25: a message is shown instead of the screen
  uint8_t shown_char[ScreenCells] = {};
  uint8_t shown_attr[ScreenCells] = {};
  bool shown_valid[ScreenCells] = {};  ///< false: what the terminal shows there is unknown
  int cur_col = -1;            ///< the terminal's cursor (0-based); -1: unknown
  int cur_row = -1;
  int cur_attr = -1;           ///< attribute of the colours in effect; -1: unknown
  uint8_t palette[16] = {};    ///< the palette the shown cells were drawn with
  int caret_col = 0;           ///< where the cursor is parked after drawing
  int caret_row = 0;
  bool caret_visible = false;
  bool caret_shown = false;    ///< whether the terminal's cursor is known to be visible
  std::string out;             ///< bytes not yet written to the terminal
  uint64_t bytes_emitted = 0;  ///< every byte appended to out (for the benchmark)
};
extern TerminalRendererState TermRender;

/// Chooses the colour mode from the environment value of COLORTERM.
bool WantsTrueColor(const char* colorterm);

/// Starts over on a terminal of cols x rows: clears it and forgets what it shows. Too small a
/// terminal gets the message that says so.
void RendererReset(TerminalRendererState* r, int cols, int rows);
/// Draws the changed cells of [first_col, end_col) of row.
void RenderSpan(TerminalRendererState* r, int row, int first_col, int end_col);
/// Draws every changed cell.
void RenderAll(TerminalRendererState* r);
/// The buffers scrolled up one row in the rectangle: moves the terminal's rows the same way when the
/// rectangle spans the screen's width, then draws what differs.
void RenderScroll(TerminalRendererState* r, int left, int top, int right, int bottom);
/// Where the cursor rests (and whether it shows) after each drawing.
void RenderCaret(TerminalRendererState* r, bool visible, int col, int row);
/// Shows a one-line notice below the screen when the terminal has a row to spare.
void RenderNotice(TerminalRendererState* r, std::string_view cp1252_text);
/// Appends the title sequence (cp1252 text; controls removed).
void RenderTitle(TerminalRendererState* r, std::string_view cp1252_text);
/// Appends the sequence that puts cp1252 text on the terminal's clipboard (OSC 52).
void RenderClipboard(TerminalRendererState* r, std::string_view cp1252_text);
/// The message shown on a terminal smaller than 80 x 25 (cp1252).
std::string TooSmallMessage(int cols, int rows);

}  // namespace falatro
