// The text console: an 80 x 25 screen of cp1252 cells with colours, a text window and a cursor.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/event_loop.h"

namespace falatro {

struct ConsoleFrontend;

constexpr int ScreenCols = 80;
constexpr int ScreenRows = 25;
constexpr int ScreenCells = ScreenCols * ScreenRows;

/// A rectangle of cells, 0-based absolute coordinates, inclusive on every side.
struct TextRect {
  int Left = 0;
  int Top = 0;
  int Right = ScreenCols - 1;
  int Bottom = ScreenRows - 1;
};

/// The cursor, 0-based and relative to the text window's top-left cell. X may equal the window's
/// width (one past its last column) after a character was written in the last column.
struct CursorPoint {
  int X = 0;
  int Y = 0;
};

/// A colour as red, green, blue (0..255 each).
struct Rgb {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
};

/// Thrown by exit hooks in tests so that a program end unwinds back to the test instead of ending
/// the process. DoneConsole gives code 0; a quit message, a closed window or Ctrl+Break give 255.
struct ConsoleExit {
  int code = 0;
};

/// Settings of sections "VIDEO" and "BRAILLE" of NARRIX.INI, read once by InitConsole.
struct ConsoleSettings {
  bool Read = false;            ///< the settings file has been consulted
  bool FixedColors = false;     ///< "CORESFIXAS" starts with S: TextColor/TextBackground do nothing
  bool FastScroll = false;      ///< "LENTO" starts with S: scrolling moves pixels instead of repainting
  int Zoom = 2;                 ///< "AMPLIF": magnifier factor 1..7 (a factor below 1 becomes 2)
  std::string FontName = "Lucida Console";  ///< "FONTE"
  int FontWidth = -1;           ///< "LARGURALETRA" in pixels; -1 when missing or empty (computed)
  int FontHeight = -1;          ///< "ALTURALETRA" in pixels; -1 when missing or empty (computed)
  int FontWeight = 700;         ///< "PESOLETRA"
  bool CornerWindow = true;     ///< "CANTOTELA" starts with S: computed size, else maximised
  int BrailleMode = 0;          ///< "MODO" of "BRAILLE": low two bits of its first character
  uint8_t InitialAttr = 0x0F;   ///< ("CORFUNDO" x 16) or "CORLETRA", kept to 8 bits
};

/// The console's whole state (one instance, Crt). Tests set it up and inspect it.
struct NxCrtState {
  uint8_t ScreenBuffer[ScreenCells] = {};  ///< character of each cell, row-major (row x 80 + column)
  uint8_t AttrBuffer[ScreenCells] = {};    ///< attribute of each cell: background x 16 + foreground
  uint8_t TextAttr = 0x0F;            ///< attribute of written characters and cleared cells
  TextRect TextWindow;                ///< where writing and scrolling happen
  CursorPoint CursorPos;              ///< relative to TextWindow
  uint8_t Palette[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};  ///< colour number per index

  // Flags.
  bool Created = false;     ///< the console exists (buffers filled, front-end open)
  bool Focused = true;      ///< the front-end has the keyboard focus
  bool Reading = false;     ///< a ReadKey is waiting for a key
  bool Painting = false;    ///< inside a repaint of everything
  bool CheckBreak = true;   ///< Ctrl+Break ends the program; system keys other than Left/Right pass
  bool CheckEOF = false;    ///< Ctrl+Z ends a line read
  bool BrailleAwaitsFrontend = false;  ///< no front-end opened yet: the Braille mode is set when one does

  ConsoleSettings Settings;

  // Font metrics and window size, filled by a front-end that draws with a font (pixels).
  int CharWidth = 1;
  int CharHeight = 1;
  int FontAscent = 0;
  int TextOffsetX = 0;
  int WindowWidth = 0;
  int WindowHeight = 0;
  bool Magnifying = false;  ///< the magnifier is showing (right mouse button held)

  std::string Title;        ///< the title the program set last (cp1252)

  ConsoleFrontend* Frontend = nullptr;  ///< the front-end in use; headless when none was chosen

  /// How the program ends (code 0 from DoneConsole, 255 on a quit message or Ctrl+Break). The
  /// default restores the front-end and calls std::exit. Tests replace it with one that throws
  /// ConsoleExit. If the hook returns, the process exits with the code anyway.
  std::function<void(int code)> exit_hook;

  /// Local wall-clock time for GetDate/GetTime as milliseconds since the epoch; empty: the system
  /// clock. Tests set a fixed time.
  std::function<int64_t()> wall_clock_ms;
};
extern NxCrtState Crt;

/// Resets Crt to its start-up state: no console created, settings unread, identity palette, buffers
/// blank, whole-screen window, the default exit hook and front-end kept. Used by tests.
void ResetConsoleState();

/// Creates the console on first use: reads the settings, fills both buffers with spaces and TextAttr,
/// makes the text window the whole screen, opens the front-end (headless when none is set), installs
/// the console's message handler, then switches to the configured Braille mode (with its tones).
/// Does nothing when the console exists.
void InitConsole();

/// Reads the console's keys of NARRIX.INI (in WindowsDir(), name matched without letter case) into
/// *out. A missing file or key gives the defaults. Pure apart from reading the file.
void ReadConsoleSettings(ConsoleSettings* out);

/// Parses a "TABCORES" value into palette (entries not given keep their value): comma-separated
/// numbers, blanks around each allowed, at most 16; parsing stops at the first entry that is not a
/// whole number (that entry takes the value of its leading digits) or when no entry is left. Values
/// above 255 are kept as 255 (shown black, like every number above 15).
void ParsePalette(std::string_view text, uint8_t palette[16]);

/// The colour of a colour number (0..15 from the fixed table; anything above 15 is black).
Rgb ColorNumberRgb(int number);
/// The colour shown for a colour index 0..15 (through Palette).
Rgb ColorIndexRgb(int index);

/// Font size the window uses when "LARGURALETRA"/"ALTURALETRA" is missing or empty: work-area width
/// / 1024 x 13 and height / 734 x 28, rounded to the nearest integer with ties to even.
int DefaultFontWidth(int work_area_width);
int DefaultFontHeight(int work_area_height);

/// Writes count bytes at the cursor: BEL beeps, BS steps back and blanks, LF starts a new line at
/// column 1, CR returns to column 1, 32..255 are stored with TextAttr (a character that finds the
/// cursor one past the window's last column first wraps to a new line); other bytes are ignored. A new
/// line at the window's bottom row scrolls only the window. Changed cells are painted at once.
void WriteConsoleText(const char* text, uint16_t count);
/// WriteConsoleText of one character.
void WriteConsoleChar(char ch);
/// Cursor to window column x, row y (1-based), each clamped to the window. Does not create the console.
void GotoXY(int x, int y);
/// Cursor column and row, 1-based within the text window (X may be the window's width + 1).
int WhereX();
int WhereY();
/// Fills the text window with spaces in TextAttr, cursor to 1, 1, repaints everything.
void ClrScr();
/// Fills from the cursor to the window's right edge with spaces in TextAttr; the cursor stays.
void ClrEol();
/// Foreground colour index of TextAttr (unless colours are fixed).
void TextColor(int color);
/// Background colour index of TextAttr, kept to 8 bits (unless colours are fixed).
void TextBackground(int color);
/// Text window := columns x1..x2, rows y1..y2 (1-based, absolute); the cursor goes to its top-left.
/// Nothing is cleared. Values outside the screen or reversed are clamped to a valid window.
void Window(int x1, int y1, int x2, int y2);
/// Character and attribute of the cell at window column x, row y (1-based); a cell off the screen
/// reads as a space with attribute 0.
uint8_t ScreenChar(int x, int y);
uint8_t ScreenAttr(int x, int y);
/// Today's date; day_of_week 0 = Sunday .. 6 = Saturday.
void GetDate(uint16_t& year, uint16_t& month, uint16_t& day, uint16_t& day_of_week);
/// The current local time; hundredths = milliseconds / 10.
void GetTime(uint16_t& hour, uint16_t& minute, uint16_t& second, uint16_t& hundredths);
/// Sets the title of the console (cp1252) and shows it where the front-end can.
void SetConsoleTitle(std::string_view title);

/// Ends the program normally: discards every queued key, closes the front-end, then exit code 0 (or
/// the code given, for a program that could not start) through Crt.exit_hook.
[[noreturn]] void DoneConsole(int code = 0);
/// Ends the program after a quit message, a closed window or Ctrl+Break: exit code 255 through
/// Crt.exit_hook. The window's title becomes kProgramEndedTitle and CheckBreak goes off, then the
/// front-end is closed.
[[noreturn]] void TerminateConsole();
/// The title of a window whose program has ended.
inline constexpr const char* kProgramEndedTitle = "Programa terminado";

/// The program's standard output: writes text and then keeps messages flowing (KeyPressed), so every
/// write is shown at once.
void ConsoleWrite(std::string_view text);
/// ConsoleWrite of text and CR LF.
void ConsoleWriteLn(std::string_view text = {});
/// The program's standard input: one line read with ReadConsoleLine into a buffer of capacity bytes
/// (128 unless told; echoed), returned without its trailing CR, LF and end-of-file marks.
std::string ConsoleReadLine(uint16_t capacity = 128);

/// The console's message procedure (installed by InitConsole with SetMessageHandler): keys, focus,
/// repaints, resizes, close, quit and sound-done messages.
void ConsoleWndProc(const Message& msg);

}  // namespace falatro
