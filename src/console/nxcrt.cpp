// The text console: screen and attribute buffers, text window, cursor, writing and scrolling.
#include "console/nxcrt.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/ini_file.h"
#include "base/paths.h"
#include "base/text_encoding.h"
#include "console/console_sound.h"
#include "console/frontend.h"
#include "console/keyboard.h"

namespace falatro {

namespace {

NxCrtState MakeInitialState() {
  NxCrtState s;
  std::memset(s.ScreenBuffer, ' ', sizeof s.ScreenBuffer);
  std::memset(s.AttrBuffer, s.TextAttr, sizeof s.AttrBuffer);
  return s;
}

const Rgb kColorTable[16] = {
    {0, 0, 0},       {0, 0, 255},     {0, 255, 0},     {0, 255, 255},
    {255, 0, 0},     {142, 0, 142},   {68, 34, 34},    {192, 192, 192},
    {128, 128, 128}, {128, 128, 255}, {128, 255, 128}, {128, 255, 255},
    {255, 128, 128}, {255, 128, 255}, {255, 255, 0},   {255, 255, 255},
};

int WindowWidth() { return Crt.TextWindow.Right - Crt.TextWindow.Left + 1; }
int WindowHeight() { return Crt.TextWindow.Bottom - Crt.TextWindow.Top + 1; }

// First letter S or s: the suite's "SIM".
bool IsYes(const std::string& value) { return !value.empty() && (value[0] == 'S' || value[0] == 's'); }

// Paints cells [left, right) of window row y.
void ShowText(int left, int right, int y) {
  if (right <= left || !Crt.Frontend) return;
  Crt.Frontend->PaintSpan(Crt.TextWindow.Top + y, Crt.TextWindow.Left + left, Crt.TextWindow.Left + right);
}

void FillCells(int row, int first_col, int end_col) {
  for (int c = first_col; c < end_col; ++c) {
    Crt.ScreenBuffer[row * ScreenCols + c] = ' ';
    Crt.AttrBuffer[row * ScreenCols + c] = Crt.TextAttr;
  }
}

void ScrollWindowUp() {
  const TextRect& w = Crt.TextWindow;
  int width = WindowWidth();
  for (int row = w.Top; row < w.Bottom; ++row) {
    std::memmove(&Crt.ScreenBuffer[row * ScreenCols + w.Left], &Crt.ScreenBuffer[(row + 1) * ScreenCols + w.Left],
                 width);
    std::memmove(&Crt.AttrBuffer[row * ScreenCols + w.Left], &Crt.AttrBuffer[(row + 1) * ScreenCols + w.Left],
                 width);
  }
  FillCells(w.Bottom, w.Left, w.Right + 1);
  if (Crt.Frontend) Crt.Frontend->ScrollUp(w.Left, w.Top, w.Right, w.Bottom, Crt.Settings.FastScroll);
}

// New line during a write: paint what is pending on this row, move down, scroll at the bottom.
void NewLine(int* pending_left, int* pending_right) {
  ShowText(*pending_left, *pending_right, Crt.CursorPos.Y);
  *pending_left = *pending_right = 0;
  ++Crt.CursorPos.Y;
  if (Crt.CursorPos.Y >= WindowHeight()) {
    Crt.CursorPos.Y = WindowHeight() - 1;
    ScrollWindowUp();
  }
}

void DefaultExit(int code) { std::exit(code); }

[[noreturn]] void EndProgram(int code) {
  if (Crt.exit_hook) Crt.exit_hook(code);
  DefaultExit(code);
  std::abort();  // not reached: std::exit does not return
}

// The front-end is closed and the console forgotten before the program ends, so the terminal is
// restored even when an exit hook unwinds instead of exiting.
void CloseConsole() {
  StopTone();
  if (Crt.Created && Crt.Frontend) {
    if (Crt.Reading) Crt.Frontend->SetCaret(false, 0, 0);
    Crt.Frontend->Close();
  }
  Crt.Created = false;
  Crt.Reading = false;
  Crt.CursorPos = {};
}

// The program's path as the window's first title: in the program's code page, at most 79 characters.
std::string ProgramPath() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "Falatro";
  std::string path = Utf8ToCp1252(std::string_view(buf, static_cast<size_t>(n)));
  if (path.size() > 79) path.resize(79);
  return path;
}

void LocalTime(std::tm* tm, int* millis) {
  int64_t ms;
  if (Crt.wall_clock_ms) {
    ms = Crt.wall_clock_ms();
  } else {
    using namespace std::chrono;
    ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  }
  std::time_t secs = static_cast<std::time_t>(ms / 1000);
  *millis = static_cast<int>(ms % 1000);
  localtime_r(&secs, tm);
}

}  // namespace

NxCrtState Crt = MakeInitialState();

void ResetConsoleState() {
  ConsoleFrontend* frontend = Crt.Frontend;
  auto hook = Crt.exit_hook;
  auto clock = Crt.wall_clock_ms;
  Crt = MakeInitialState();
  Crt.Frontend = frontend;
  Crt.exit_hook = hook;
  Crt.wall_clock_ms = clock;
}

void ParsePalette(std::string_view text, uint8_t palette[16]) {
  size_t pos = 0;
  for (int index = 0; index < 16; ++index) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    if (pos >= text.size()) return;  // no entry left
    size_t start = pos;
    long value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      if (value < 100000) value = value * 10 + (text[pos] - '0');
      ++pos;
    }
    palette[index] = static_cast<uint8_t>(std::min<long>(value, 255));
    bool digits = pos > start;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    if (!digits) return;
    if (pos >= text.size()) return;
    if (text[pos] != ',') return;  // not a whole number: it kept its leading digits
    ++pos;
  }
}

void ReadConsoleSettings(ConsoleSettings* out) {
  ConsoleSettings s;
  std::string path = FindFileNoCase(JoinPath(WindowsDir(), "NARRIX.INI"));
  const size_t cap = 80;
  auto get = [&](const char* section, const char* key, const char* def) {
    return GetProfileString(path, section, key, def, cap);
  };

  uint8_t palette[16];
  for (int i = 0; i < 16; ++i) palette[i] = static_cast<uint8_t>(i);
  ParsePalette(get("VIDEO", "TABCORES", "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15"), palette);
  std::memcpy(Crt.Palette, palette, sizeof palette);

  s.FixedColors = IsYes(get("VIDEO", "CORESFIXAS", "N"));
  s.FastScroll = IsYes(get("VIDEO", "LENTO", "N"));
  // A key present with an empty value differs from a missing key for the colours.
  int background = ProfileInt(get("VIDEO", "CORFUNDO", "0"), 0);
  int foreground = ProfileInt(get("VIDEO", "CORLETRA", "15"), 7);
  s.InitialAttr = static_cast<uint8_t>((background * 16) | foreground);

  std::string mode = get("BRAILLE", "MODO", "0");
  s.BrailleMode = mode.empty() ? 0 : (static_cast<uint8_t>(mode[0]) & 3);

  std::string zoom = GetProfileString(path, "VIDEO", "AMPLIF", "2", 2);
  s.Zoom = zoom.empty() ? 0 : (static_cast<uint8_t>(zoom[0]) & 7);
  if (s.Zoom < 1) s.Zoom = 2;

  s.FontName = get("VIDEO", "FONTE", "Lucida Console");
  std::string width = get("VIDEO", "LARGURALETRA", "");
  s.FontWidth = width.empty() ? -1 : ProfileInt(width, -1);
  std::string height = get("VIDEO", "ALTURALETRA", "");
  s.FontHeight = height.empty() ? -1 : ProfileInt(height, -1);
  s.FontWeight = ProfileInt(get("VIDEO", "PESOLETRA", "700"), 700);
  s.CornerWindow = IsYes(get("VIDEO", "CANTOTELA", "SIM"));
  s.Read = true;
  *out = s;
}

Rgb ColorNumberRgb(int number) {
  if (number < 0 || number > 15) return Rgb{};
  return kColorTable[number];
}

Rgb ColorIndexRgb(int index) { return ColorNumberRgb(Crt.Palette[index & 15]); }

namespace {
// Nearest integer of value * mult / div with ties to even, in exact integer arithmetic.
int RoundHalfEven(int64_t num, int64_t den) {
  if (num < 0) return -RoundHalfEven(-num, den);
  int64_t q = num / den, r = num % den;
  if (2 * r > den || (2 * r == den && (q & 1))) ++q;
  return static_cast<int>(q);
}
}  // namespace

int DefaultFontWidth(int work_area_width) { return RoundHalfEven(int64_t{work_area_width} * 13, 1024); }
int DefaultFontHeight(int work_area_height) { return RoundHalfEven(int64_t{work_area_height} * 28, 734); }

void InitConsole() {
  if (Crt.Created) return;
  if (!Crt.Settings.Read) ReadConsoleSettings(&Crt.Settings);
  Crt.TextAttr = Crt.Settings.InitialAttr;
  std::memset(Crt.ScreenBuffer, ' ', sizeof Crt.ScreenBuffer);
  std::memset(Crt.AttrBuffer, Crt.TextAttr, sizeof Crt.AttrBuffer);
  Crt.TextWindow = TextRect{};
  Crt.CursorPos = {};
  if (Crt.Title.empty()) Crt.Title = ProgramPath();
  SetMessageHandler(ConsoleWndProc);
  if (Crt.Frontend) {
    SetLoopBackend(Crt.Frontend->Backend());
    std::string error;
    if (!Crt.Frontend->Open(&error)) {
      // The program carries on without a display rather than failing: the console reports nothing.
      // The Braille mode is settled once a front-end opens, since chords need its key releases.
      Crt.Frontend = nullptr;
      Crt.BrailleAwaitsFrontend = true;
    }
  }
  Crt.Created = true;
  if (Crt.Frontend) {
    Crt.Frontend->SetTitle(Crt.Title);
    Crt.Frontend->RepaintAll();
  }
  if (!Crt.BrailleAwaitsFrontend) SetBrailleMode(Crt.Settings.BrailleMode);
}

void SetConsoleFrontend(ConsoleFrontend* frontend) {
  if (Crt.Created && Crt.Frontend && Crt.Frontend != frontend) Crt.Frontend->Close();
  bool reopen = Crt.Created && frontend && frontend != Crt.Frontend;
  Crt.Frontend = frontend;
  if (reopen) {
    SetLoopBackend(frontend->Backend());
    std::string error;
    if (!frontend->Open(&error)) {
      Crt.Frontend = nullptr;
      return;
    }
    frontend->SetTitle(Crt.Title);
    frontend->RepaintAll();
    if (Crt.BrailleAwaitsFrontend) {
      Crt.BrailleAwaitsFrontend = false;
      SetBrailleMode(Crt.Settings.BrailleMode);
    }
  }
}

void SetConsoleTitle(std::string_view title) {
  Crt.Title.assign(title.substr(0, 255));
  if (Crt.Created && Crt.Frontend) Crt.Frontend->SetTitle(Crt.Title);
}

void WriteConsoleText(const char* text, uint16_t count) {
  InitConsole();
  int width = WindowWidth();
  // A cursor left out of the window by a caller is brought back rather than writing past it.
  Crt.CursorPos.X = std::clamp(Crt.CursorPos.X, 0, width);
  Crt.CursorPos.Y = std::clamp(Crt.CursorPos.Y, 0, WindowHeight() - 1);
  int left = Crt.CursorPos.X, right = Crt.CursorPos.X;
  for (uint16_t i = 0; i < count; ++i) {
    uint8_t ch = static_cast<uint8_t>(text[i]);
    switch (ch) {
      case 7:
        if (ConsoleSoundSink* sink = GetConsoleSoundSink()) {
          sink->Beep();
        } else if (Crt.Frontend) {
          Crt.Frontend->Beep();
        }
        break;
      case 8:
        if (Crt.CursorPos.X > 0) {
          --Crt.CursorPos.X;
          int cell = (Crt.TextWindow.Top + Crt.CursorPos.Y) * ScreenCols + Crt.TextWindow.Left + Crt.CursorPos.X;
          Crt.ScreenBuffer[cell] = ' ';
          Crt.AttrBuffer[cell] = Crt.TextAttr;
          left = std::min(left, Crt.CursorPos.X);
        }
        break;
      case 10:
        NewLine(&left, &right);
        Crt.CursorPos.X = 0;
        break;
      case 13:
        Crt.CursorPos.X = 0;
        left = 0;
        break;
      default:
        if (ch < 32) break;
        if (Crt.CursorPos.X >= width) {
          Crt.CursorPos.X = 0;
          NewLine(&left, &right);
        }
        int cell = (Crt.TextWindow.Top + Crt.CursorPos.Y) * ScreenCols + Crt.TextWindow.Left + Crt.CursorPos.X;
        Crt.ScreenBuffer[cell] = ch;
        Crt.AttrBuffer[cell] = Crt.TextAttr;
        ++Crt.CursorPos.X;
        right = std::max(right, Crt.CursorPos.X);
        break;
    }
  }
  ShowText(left, right, Crt.CursorPos.Y);
}

void WriteConsoleChar(char ch) { WriteConsoleText(&ch, 1); }

void GotoXY(int x, int y) {
  Crt.CursorPos.X = std::clamp(x, 1, WindowWidth()) - 1;
  Crt.CursorPos.Y = std::clamp(y, 1, WindowHeight()) - 1;
  if (Crt.Created && Crt.Reading && Crt.Focused && Crt.Frontend)
    Crt.Frontend->SetCaret(true, std::min(Crt.TextWindow.Left + Crt.CursorPos.X, ScreenCols - 1),
                           Crt.TextWindow.Top + Crt.CursorPos.Y);
}

int WhereX() { return Crt.CursorPos.X + 1; }
int WhereY() { return Crt.CursorPos.Y + 1; }

void ClrScr() {
  InitConsole();
  for (int row = Crt.TextWindow.Top; row <= Crt.TextWindow.Bottom; ++row)
    FillCells(row, Crt.TextWindow.Left, Crt.TextWindow.Right + 1);
  Crt.CursorPos = {};
  if (Crt.Frontend) Crt.Frontend->RepaintAll();
}

void ClrEol() {
  InitConsole();
  int x = std::max(Crt.CursorPos.X, 0);
  int width = WindowWidth();
  if (x >= width || Crt.CursorPos.Y < 0 || Crt.CursorPos.Y >= WindowHeight()) return;
  FillCells(Crt.TextWindow.Top + Crt.CursorPos.Y, Crt.TextWindow.Left + x, Crt.TextWindow.Right + 1);
  ShowText(x, width, Crt.CursorPos.Y);
}

void TextColor(int color) {
  InitConsole();
  if (Crt.Settings.FixedColors) return;
  Crt.TextAttr = static_cast<uint8_t>((Crt.TextAttr & 0xF0) | (color & 0x0F));
}

void TextBackground(int color) {
  InitConsole();
  if (Crt.Settings.FixedColors) return;
  Crt.TextAttr = static_cast<uint8_t>((Crt.TextAttr & 0x0F) | ((color * 16) & 0xFF));
}

void Window(int x1, int y1, int x2, int y2) {
  x1 = std::clamp(x1, 1, ScreenCols);
  x2 = std::clamp(x2, x1, ScreenCols);
  y1 = std::clamp(y1, 1, ScreenRows);
  y2 = std::clamp(y2, y1, ScreenRows);
  Crt.TextWindow = TextRect{x1 - 1, y1 - 1, x2 - 1, y2 - 1};
  Crt.CursorPos = {};
}

uint8_t ScreenChar(int x, int y) {
  int col = Crt.TextWindow.Left + x - 1, row = Crt.TextWindow.Top + y - 1;
  if (col < 0 || col >= ScreenCols || row < 0 || row >= ScreenRows) return ' ';
  return Crt.ScreenBuffer[row * ScreenCols + col];
}

uint8_t ScreenAttr(int x, int y) {
  int col = Crt.TextWindow.Left + x - 1, row = Crt.TextWindow.Top + y - 1;
  if (col < 0 || col >= ScreenCols || row < 0 || row >= ScreenRows) return 0;
  return Crt.AttrBuffer[row * ScreenCols + col];
}

void GetDate(uint16_t& year, uint16_t& month, uint16_t& day, uint16_t& day_of_week) {
  std::tm tm{};
  int ms = 0;
  LocalTime(&tm, &ms);
  year = static_cast<uint16_t>(tm.tm_year + 1900);
  month = static_cast<uint16_t>(tm.tm_mon + 1);
  day = static_cast<uint16_t>(tm.tm_mday);
  day_of_week = static_cast<uint16_t>(tm.tm_wday);
}

void GetTime(uint16_t& hour, uint16_t& minute, uint16_t& second, uint16_t& hundredths) {
  std::tm tm{};
  int ms = 0;
  LocalTime(&tm, &ms);
  hour = static_cast<uint16_t>(tm.tm_hour);
  minute = static_cast<uint16_t>(tm.tm_min);
  second = static_cast<uint16_t>(tm.tm_sec);
  hundredths = static_cast<uint16_t>(ms / 10);
}

void DoneConsole(int code) {
  if (Crt.Created) Kbd.KeyCount = 0;
  CloseConsole();
  EndProgram(code);
}

void TerminateConsole() {
  // The program ends with its window still there: the window says so before it goes, and Ctrl+Break
  // no longer applies to it.
  if (Crt.Created && Crt.Frontend) SetConsoleTitle(kProgramEndedTitle);
  Crt.CheckBreak = false;
  CloseConsole();
  EndProgram(255);
}

void ConsoleWrite(std::string_view text) {
  while (!text.empty()) {
    uint16_t n = static_cast<uint16_t>(std::min<size_t>(text.size(), 0xFFFF));
    WriteConsoleText(text.data(), n);
    text.remove_prefix(n);
  }
  KeyPressed();
}

void ConsoleWriteLn(std::string_view text) {
  std::string line(text);
  line += "\r\n";
  ConsoleWrite(line);
}

std::string ConsoleReadLine(uint16_t capacity) {
  std::string line(capacity, '\0');
  line.resize(ReadConsoleLine(line.data(), capacity));
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == 26))
    line.pop_back();
  return line;
}

void ConsoleWndProc(const Message& msg) {
  switch (msg.kind) {
    case kMsgKeyDown:
    case kMsgSysKeyDown:
    case kMsgKeyUp:
    case kMsgChar:
      if (!TranslateKeyMessage(msg) && msg.kind == kMsgSysKeyDown && msg.key.vk == 0x73 &&
          (msg.key.mods & kModAlt)) {
        // What the default procedure does with Alt+F4: close the window, which ends the program.
        DoneConsole();
      }
      break;
    case kMsgFocus:
      Crt.Focused = msg.a != 0;
      if (Crt.Reading && Crt.Created && Crt.Frontend)
        Crt.Frontend->SetCaret(Crt.Focused, std::min(Crt.TextWindow.Left + Crt.CursorPos.X, ScreenCols - 1),
                               Crt.TextWindow.Top + Crt.CursorPos.Y);
      break;
    case kMsgPaint:
    case kMsgResize:
      if (Crt.Created && Crt.Frontend) {
        Crt.Painting = true;
        Crt.Frontend->RepaintAll();
        Crt.Painting = false;
      }
      break;
    case kMsgClose:
      DoneConsole();
    case kMsgQuit:
      TerminateConsole();
    case kMsgSoundDone:
      DeliverWaveDone(msg);
      break;
    default:
      break;
  }
}

}  // namespace falatro
