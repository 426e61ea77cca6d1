// Drawing the console's 80 x 25 buffer on a character terminal: only changed cells, with colours.
#include "platform/console/terminal/terminal_renderer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/text_encoding.h"

namespace falatro {

TerminalRendererState TermRender;

namespace {

// ANSI colour numbers of the PC colour numbers 0..7 (blue and red, cyan and brown swap places).
const int kPcToAnsi[8] = {0, 4, 2, 6, 1, 5, 3, 7};

// UTF-8 of every cp1252 byte as the terminal shows it: controls and unassigned bytes show as a space.
struct GlyphTable {
  char bytes[256][4];
  uint8_t length[256];
  GlyphTable() {
    for (int b = 0; b < 256; ++b) {
      uint32_t cp = Cp1252ToUnicode(static_cast<uint8_t>(b));
      if (b < 32 || b == 127 || (cp >= 0x80 && cp < 0xA0)) cp = ' ';
      std::string u = Cp1252ToUtf8(std::string(1, static_cast<char>(cp == ' ' ? ' ' : b)));
      length[b] = static_cast<uint8_t>(std::min<size_t>(u.size(), 4));
      std::memcpy(bytes[b], u.data(), length[b]);
    }
  }
};
const GlyphTable& Glyphs() {
  static const GlyphTable table;
  return table;
}

void Emit(TerminalRendererState* r, std::string_view bytes) {
  r->out.append(bytes);
  r->bytes_emitted += bytes.size();
}

void AppendNumber(std::string* s, int n) {
  char buf[16];
  int len = std::snprintf(buf, sizeof buf, "%d", n);
  s->append(buf, len);
}

void MoveTo(TerminalRendererState* r, int col, int row) {
  if (r->cur_col == col && r->cur_row == row) return;
  std::string s = "\x1b[";
  AppendNumber(&s, row + 1);
  if (col > 0) {
    s += ';';
    AppendNumber(&s, col + 1);
  }
  s += 'H';
  Emit(r, s);
  r->cur_col = col;
  r->cur_row = row;
}

void AppendColour(std::string* s, bool truecolor, bool background, int index) {
  int number = Crt.Palette[index & 15];
  if (truecolor) {
    Rgb c = ColorNumberRgb(number);
    *s += background ? ";48;2;" : ";38;2;";
    AppendNumber(s, c.r);
    *s += ';';
    AppendNumber(s, c.g);
    *s += ';';
    AppendNumber(s, c.b);
    return;
  }
  if (number > 15) number = 0;  // shown black, as in the window
  int base = number < 8 ? (background ? 40 : 30) : (background ? 100 : 90);
  *s += ';';
  AppendNumber(s, base + kPcToAnsi[number & 7]);
}

void SetAttr(TerminalRendererState* r, uint8_t attr) {
  if (r->cur_attr == attr) return;
  std::string s = "\x1b[0";
  AppendColour(&s, r->truecolor, false, attr & 15);
  AppendColour(&s, r->truecolor, true, attr >> 4);
  s += 'm';
  Emit(r, s);
  r->cur_attr = attr;
}

void DrawCell(TerminalRendererState* r, int row, int col) {
  int cell = row * ScreenCols + col;
  uint8_t ch = Crt.ScreenBuffer[cell], attr = Crt.AttrBuffer[cell];
  MoveTo(r, col, row);
  SetAttr(r, attr);
  const GlyphTable& g = Glyphs();
  Emit(r, std::string_view(g.bytes[ch], g.length[ch]));
  r->shown_char[cell] = ch;
  r->shown_attr[cell] = attr;
  r->shown_valid[cell] = true;
  // After the last column a terminal waits to wrap; its cursor position is then best forgotten.
  if (col + 1 < ScreenCols) {
    r->cur_col = col + 1;
  } else {
    r->cur_col = r->cur_row = -1;
  }
}

// Cells drawn with another palette show other colours than the buffer's now: all are redrawn.
void CheckPalette(TerminalRendererState* r) {
  if (std::memcmp(r->palette, Crt.Palette, sizeof r->palette) == 0) return;
  std::memcpy(r->palette, Crt.Palette, sizeof r->palette);
  std::memset(r->shown_valid, 0, sizeof r->shown_valid);
  r->cur_attr = -1;
}

void ParkCursor(TerminalRendererState* r) {
  if (r->too_small) return;
  MoveTo(r, std::clamp(r->caret_col, 0, ScreenCols - 1), std::clamp(r->caret_row, 0, ScreenRows - 1));
  if (r->caret_visible != r->caret_shown) {
    Emit(r, r->caret_visible ? "\x1b[?25h" : "\x1b[?25l");
    r->caret_shown = r->caret_visible;
  }
}

void Base64(std::string_view in, std::string* out) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  size_t i = 0;
  for (; i + 2 < in.size(); i += 3) {
    uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8) | uint8_t(in[i + 2]);
    for (int k = 3; k >= 0; --k) *out += kDigits[(v >> (6 * k)) & 63];
  }
  if (i + 1 == in.size()) {
    uint32_t v = uint8_t(in[i]) << 16;
    *out += kDigits[(v >> 18) & 63];
    *out += kDigits[(v >> 12) & 63];
    *out += "==";
  } else if (i + 2 == in.size()) {
    uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8);
    *out += kDigits[(v >> 18) & 63];
    *out += kDigits[(v >> 12) & 63];
    *out += kDigits[(v >> 6) & 63];
    *out += '=';
  }
}

// Text for a title or a notice line: cp1252 to UTF-8 without control characters.
std::string PlainUtf8(std::string_view cp1252_text, size_t max_chars) {
  std::string clean;
  for (char c : cp1252_text.substr(0, max_chars)) {
    uint8_t b = static_cast<uint8_t>(c);
    uint32_t cp = Cp1252ToUnicode(b);
    if (b < 32 || b == 127 || (cp >= 0x80 && cp < 0xA0)) continue;
    clean += c;
  }
  return Cp1252ToUtf8(clean);
}

}  // namespace

bool WantsTrueColor(const char* colorterm) {
  if (!colorterm) return false;
  std::string_view v = colorterm;
  return v == "truecolor" || v == "24bit";
}

std::string TooSmallMessage(int cols, int rows) {
  char buf[256];
  std::snprintf(buf, sizeof buf,
                "Este terminal tem %d colunas e %d linhas. O Falatro precisa de 80 colunas e 25 linhas: "
                "aumente a janela do terminal.",
                cols, rows);
  return buf;
}

void RendererReset(TerminalRendererState* r, int cols, int rows) {
  r->term_cols = cols;
  r->term_rows = rows;
  r->too_small = cols < ScreenCols || rows < ScreenRows;
  std::memset(r->shown_valid, 0, sizeof r->shown_valid);
  std::memcpy(r->palette, Crt.Palette, sizeof r->palette);
  r->cur_attr = -1;
  Emit(r, "\x1b[0m\x1b[H\x1b[2J");
  r->cur_col = r->cur_row = 0;
  if (r->too_small) {
    // The message is wrapped by the terminal itself; it is all that is drawn until the size is enough.
    Emit(r, PlainUtf8(TooSmallMessage(cols, rows), 400));
    r->cur_col = r->cur_row = -1;
    if (r->caret_shown) {
      Emit(r, "\x1b[?25l");
      r->caret_shown = false;
    }
  }
}

void RenderSpan(TerminalRendererState* r, int row, int first_col, int end_col) {
  if (r->too_small || row < 0 || row >= ScreenRows) return;
  CheckPalette(r);
  first_col = std::max(first_col, 0);
  end_col = std::min(end_col, ScreenCols);
  for (int col = first_col; col < end_col; ++col) {
    int cell = row * ScreenCols + col;
    if (r->shown_valid[cell] && r->shown_char[cell] == Crt.ScreenBuffer[cell] &&
        r->shown_attr[cell] == Crt.AttrBuffer[cell])
      continue;
    DrawCell(r, row, col);
  }
  ParkCursor(r);
}

void RenderAll(TerminalRendererState* r) {
  if (r->too_small) return;
  CheckPalette(r);
  for (int row = 0; row < ScreenRows; ++row) RenderSpan(r, row, 0, ScreenCols);
}

void RenderScroll(TerminalRendererState* r, int left, int top, int right, int bottom) {
  if (r->too_small) return;
  CheckPalette(r);
  top = std::clamp(top, 0, ScreenRows - 1);
  bottom = std::clamp(bottom, top, ScreenRows - 1);
  if (left == 0 && right == ScreenCols - 1 && bottom > top) {
    // Scroll the terminal's own rows (a scrolling region and a line feed at its foot), and the record
    // of what it shows with them; only the new bottom row is then unknown.
    std::string s = "\x1b[";
    AppendNumber(&s, top + 1);
    s += ';';
    AppendNumber(&s, bottom + 1);
    s += "r\x1b[";
    AppendNumber(&s, bottom + 1);
    s += "H\n\x1b[r";
    Emit(r, s);
    r->cur_col = r->cur_row = -1;  // setting the region moved the cursor home
    for (int row = top; row < bottom; ++row) {
      std::memcpy(&r->shown_char[row * ScreenCols], &r->shown_char[(row + 1) * ScreenCols], ScreenCols);
      std::memcpy(&r->shown_attr[row * ScreenCols], &r->shown_attr[(row + 1) * ScreenCols], ScreenCols);
      std::memcpy(&r->shown_valid[row * ScreenCols], &r->shown_valid[(row + 1) * ScreenCols], ScreenCols);
    }
    std::memset(&r->shown_valid[bottom * ScreenCols], 0, ScreenCols);
  }
  for (int row = top; row <= bottom; ++row) RenderSpan(r, row, left, right + 1);
}

void RenderCaret(TerminalRendererState* r, bool visible, int col, int row) {
  r->caret_visible = visible;
  r->caret_col = col;
  r->caret_row = row;
  ParkCursor(r);
}

void RenderNotice(TerminalRendererState* r, std::string_view cp1252_text) {
  if (r->too_small || r->term_rows <= ScreenRows) return;
  MoveTo(r, 0, ScreenRows);
  Emit(r, "\x1b[0m");
  r->cur_attr = -1;
  Emit(r, PlainUtf8(cp1252_text, static_cast<size_t>(std::max(r->term_cols - 1, 0))));
  Emit(r, "\x1b[K");
  r->cur_col = r->cur_row = -1;
  ParkCursor(r);
}

void RenderTitle(TerminalRendererState* r, std::string_view cp1252_text) {
  std::string s = "\x1b]2;";
  s += PlainUtf8(cp1252_text, 255);
  s += '\a';
  Emit(r, s);
}

void RenderClipboard(TerminalRendererState* r, std::string_view cp1252_text) {
  std::string s = "\x1b]52;c;";
  Base64(Cp1252ToUtf8(cp1252_text), &s);
  s += '\a';
  Emit(r, s);
}

}  // namespace falatro
