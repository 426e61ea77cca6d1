// The window front-end: the console drawn in an SDL window with a TrueType cell font.
#include "platform/console/window/window_frontend.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_ttf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/text_encoding.h"
#include "console/nxcrt.h"
#include "platform/console/window/window_bell.h"
#include "platform/console/window/window_keys.h"
#include "platform/console/window/window_loop.h"

namespace falatro {

WindowFrontendState Win;

namespace {

void FreeGlyphs() {
  for (SDL_Surface*& g : Win.Glyphs) {
    if (g) SDL_FreeSurface(g);
    g = nullptr;
  }
}

// Renders every cp1252 character once; the colour is applied when a glyph is drawn.
void BuildGlyphs() {
  FreeGlyphs();
  SDL_Color white = {255, 255, 255, 255};
  for (int b = 33; b < 256; ++b) {
    uint32_t cp = Cp1252ToUnicode(static_cast<uint8_t>(b));
    if (cp < 32 || (cp >= 0x7F && cp < 0xA0)) continue;  // control characters show as blanks
    SDL_Surface* s = TTF_RenderGlyph32_Blended(Win.Font.Font, cp, white);
    if (!s) continue;
    SDL_SetSurfaceBlendMode(s, SDL_BLENDMODE_BLEND);
    Win.Glyphs[b] = s;
  }
}

void MarkDirty(int x0, int y0, int x1, int y1) {
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, Win.GridWidth);
  y1 = std::min(y1, Win.GridHeight);
  if (x0 >= x1 || y0 >= y1) return;
  if (Win.DirtyX0 >= Win.DirtyX1) {
    Win.DirtyX0 = x0, Win.DirtyY0 = y0, Win.DirtyX1 = x1, Win.DirtyY1 = y1;
  } else {
    Win.DirtyX0 = std::min(Win.DirtyX0, x0);
    Win.DirtyY0 = std::min(Win.DirtyY0, y0);
    Win.DirtyX1 = std::max(Win.DirtyX1, x1);
    Win.DirtyY1 = std::max(Win.DirtyY1, y1);
  }
  Win.FramePending = true;
}

uint32_t MapColor(const Rgb& c) { return SDL_MapRGB(Win.Screen->format, c.r, c.g, c.b); }

// Draws cells [first, end) of row into the screen image, one background fill per run of equal
// attribute and one glyph copy per visible character.
void DrawCells(int row, int first, int end) {
  const int cw = Win.Font.CharWidth, ch = Win.Font.CharHeight;
  int col = first;
  while (col < end) {
    uint8_t attr = Crt.AttrBuffer[row * ScreenCols + col];
    int run_end = col + 1;
    while (run_end < end && Crt.AttrBuffer[row * ScreenCols + run_end] == attr) ++run_end;
    SDL_Rect bg = {col * cw, row * ch, (run_end - col) * cw, ch};
    SDL_FillRect(Win.Screen, &bg, MapColor(ColorIndexRgb(attr >> 4)));
    Rgb fg = ColorIndexRgb(attr & 15);
    for (int c = col; c < run_end; ++c) {
      SDL_Surface* g = Win.Glyphs[Crt.ScreenBuffer[row * ScreenCols + c]];
      if (!g) continue;
      SDL_SetSurfaceColorMod(g, fg.r, fg.g, fg.b);
      // A glyph wider than its cell (a proportional face, synthetic bold) is centred and cut to it.
      int over = g->w - cw;
      SDL_Rect src = {over > 0 ? over / 2 : 0, 0, std::min(g->w, cw), std::min(g->h, ch)};
      SDL_Rect dst = {c * cw + (over < 0 ? -over / 2 : 0) + Crt.TextOffsetX, row * ch, src.w, src.h};
      SDL_BlitSurface(g, &src, Win.Screen, &dst);
    }
    col = run_end;
  }
  MarkDirty(first * cw, row * ch, end * cw, (row + 1) * ch);
}

void DrawAll() {
  for (int row = 0; row < ScreenRows; ++row) DrawCells(row, 0, ScreenCols);
  ++Win.FullRepaints;
}

// Shows the frame now unless one was shown less than a frame interval ago.
void PresentSoon() {
  Win.FramePending = true;
  uint64_t now = WinLoop.Backend.NowMs();
  if (now - Win.LastFrameMs >= static_cast<uint64_t>(Win.FrameIntervalMs)) PresentWindow();
}

// Reads the drawable's scale (high-DPI displays draw more pixels than the window has points).
float CurrentScale() {
  int ww = 0, wh = 0, dw = 0, dh = 0;
  SDL_GetWindowSize(Win.Window, &ww, &wh);
  if (Win.Renderer) SDL_GetRendererOutputSize(Win.Renderer, &dw, &dh);
  if (ww <= 0 || dw <= 0) return 1.0f;
  return std::max(1.0f, static_cast<float>(dw) / static_cast<float>(ww));
}

// (Re)creates the font at the current scale, the screen image and its texture, then draws
// everything from the buffers.
bool BuildSurfaces(std::string* error) {
  const FontFile file = Win.Font.File;
  int px_w = static_cast<int>(std::lround(Win.CellWidthPt * Win.Scale));
  int px_h = static_cast<int>(std::lround(Win.CellHeightPt * Win.Scale));
  CellFont font;
  if (!OpenCellFont(file, px_w, px_h, Crt.Settings.FontWeight, &font, error)) return false;
  CloseCellFont(&Win.Font);
  Win.Font = font;
  BuildGlyphs();
  Win.GridWidth = ScreenCols * Win.Font.CharWidth;
  Win.GridHeight = ScreenRows * Win.Font.CharHeight;
  if (Win.Screen) SDL_FreeSurface(Win.Screen);
  if (Win.Texture) SDL_DestroyTexture(Win.Texture);
  Win.Screen = SDL_CreateRGBSurfaceWithFormat(0, Win.GridWidth, Win.GridHeight, 32, SDL_PIXELFORMAT_ARGB8888);
  Win.Texture = SDL_CreateTexture(Win.Renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                  Win.GridWidth, Win.GridHeight);
  if (!Win.Screen || !Win.Texture) {
    if (error) *error = std::string("cannot create the screen image: ") + SDL_GetError();
    return false;
  }
  SDL_SetTextureScaleMode(Win.Texture, SDL_ScaleModeNearest);
  Crt.CharWidth = Win.Font.CharWidth;
  Crt.CharHeight = Win.Font.CharHeight;
  Crt.FontAscent = Win.Font.Ascent;
  Crt.TextOffsetX = 0;
  Crt.WindowWidth = Win.GridWidth;
  Crt.WindowHeight = Win.GridHeight;
  if (Crt.Created) DrawAll();
  else SDL_FillRect(Win.Screen, nullptr, SDL_MapRGB(Win.Screen->format, 0, 0, 0));
  MarkDirty(0, 0, Win.GridWidth, Win.GridHeight);
  return true;
}

// A window moved to a display of another density gets a font of that density.
void CheckScale() {
  float scale = CurrentScale();
  if (std::fabs(scale - Win.Scale) < 0.01f) return;
  float old = Win.Scale;
  Win.Scale = scale;
  std::string error;
  if (!BuildSurfaces(&error)) {
    Win.Scale = old;
    BuildSurfaces(nullptr);
  }
}

// Where the magnifier reads: the part of the screen image that is stretched over the whole grid.
SDL_Rect ZoomSource() {
  int z = std::clamp(Crt.Settings.Zoom, 1, 7);
  int x = std::clamp(Win.MouseX, 0, Win.GridWidth);
  int y = std::clamp(Win.MouseY, 0, Win.GridHeight);
  SDL_Rect src = {std::max(0, x - x / z), std::max(0, y - y / z), Win.GridWidth / z, Win.GridHeight / z};
  src.w = std::max(src.w, 1);
  src.h = std::max(src.h, 1);
  src.x = std::min(src.x, Win.GridWidth - src.w);
  src.y = std::min(src.y, Win.GridHeight - src.h);
  return src;
}

void SetMouse(int x, int y) {
  Win.MouseX = static_cast<int>(x * Win.Scale);
  Win.MouseY = static_cast<int>(y * Win.Scale);
}

void StopMagnifier() {
  if (!Crt.Magnifying) return;
  Crt.Magnifying = false;
  PresentWindow();
}

void HandleWindowEvent(const SDL_WindowEvent& we) {
  Message m;
  switch (we.event) {
    case SDL_WINDOWEVENT_CLOSE:
      m.kind = kMsgClose;
      PostMessage(m);
      break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
    case SDL_WINDOWEVENT_FOCUS_LOST:
      Win.Focused = we.event == SDL_WINDOWEVENT_FOCUS_GAINED;
      if (!Win.Focused) StopMagnifier();
      m.kind = kMsgFocus;
      m.a = Win.Focused ? 1 : 0;
      PostMessage(m);
      break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
    case SDL_WINDOWEVENT_DISPLAY_CHANGED:
      CheckScale();
      PresentWindow();
      break;
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_MAXIMIZED:
      PresentWindow();
      break;
    default:
      break;
  }
}

void HandleEvent(const SDL_Event& ev) {
  switch (ev.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
    case SDL_TEXTINPUT: {
      KeyMessages msgs;
      TranslateSdlKeyEvent(ev, &Win.LastKeyMod, &msgs);
      for (int i = 0; i < msgs.Count; ++i) PostMessage(msgs.Items[i]);
      break;
    }
    case SDL_WINDOWEVENT:
      HandleWindowEvent(ev.window);
      break;
    case SDL_MOUSEBUTTONDOWN:
      if (ev.button.button == SDL_BUTTON_RIGHT && !Crt.Magnifying) {
        Crt.Magnifying = true;
        SetMouse(ev.button.x, ev.button.y);
        PresentWindow();
      }
      break;
    case SDL_MOUSEMOTION:
      if (Crt.Magnifying) {
        SetMouse(ev.motion.x, ev.motion.y);
        PresentWindow();
      }
      break;
    case SDL_MOUSEBUTTONUP:
      if (ev.button.button == SDL_BUTTON_RIGHT) StopMagnifier();
      break;
    case SDL_RENDER_TARGETS_RESET:
    case SDL_RENDER_DEVICE_RESET:
      BuildSurfaces(nullptr);
      PresentWindow();
      break;
    default:
      break;
  }
}

void DestroyWindow() {
  FreeGlyphs();
  CloseCellFont(&Win.Font);
  if (Win.Texture) SDL_DestroyTexture(Win.Texture);
  if (Win.Screen) SDL_FreeSurface(Win.Screen);
  if (Win.Renderer) SDL_DestroyRenderer(Win.Renderer);
  if (Win.Window) SDL_DestroyWindow(Win.Window);
  Win.Texture = nullptr;
  Win.Screen = nullptr;
  Win.Renderer = nullptr;
  Win.Window = nullptr;
}

bool OpenWindow(std::string* error) {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    if (error) *error = std::string("no display: ") + SDL_GetError();
    return false;
  }
  if (TTF_Init() != 0) {
    if (error) *error = std::string("no font engine: ") + TTF_GetError();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
  }
  auto fail = [&]() {
    DestroyWindow();
    TTF_Quit();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
  };

  SDL_Rect area = {0, 0, 1024, 734}, screen = {0, 0, 1024, 768};
  if (SDL_GetDisplayUsableBounds(0, &area) != 0) SDL_GetDisplayBounds(0, &area);
  if (SDL_GetDisplayBounds(0, &screen) != 0) screen = area;
  int want_w = Crt.Settings.FontWidth > 0 ? Crt.Settings.FontWidth : DefaultFontWidth(area.w);
  int want_h = Crt.Settings.FontHeight > 0 ? Crt.Settings.FontHeight : DefaultFontHeight(area.h);

  FontFile file;
  if (!FindFontFile(Crt.Settings.FontName, Crt.Settings.FontWeight, &file, error)) return fail();
  // The cell size in window points comes from the font at scale 1; a denser display only adds pixels.
  CellFont probe;
  if (!OpenCellFont(file, want_w, want_h, Crt.Settings.FontWeight, &probe, error)) return fail();
  Win.CellWidthPt = probe.CharWidth;
  Win.CellHeightPt = probe.CharHeight;
  CloseCellFont(&probe);
  Win.Font.File = file;

  int width = ScreenCols * Win.CellWidthPt, height = ScreenRows * Win.CellHeightPt;
  Uint32 flags = SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN;
  if (!Crt.Settings.CornerWindow) flags |= SDL_WINDOW_MAXIMIZED;
  std::string title = Cp1252ToUtf8(Crt.Title);
  Win.Window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                                flags);
  if (!Win.Window) {
    if (error) *error = std::string("cannot create the window: ") + SDL_GetError();
    return fail();
  }
  // Frames are paced by the front-end, so the renderer must not wait for the display's refresh.
  Win.Renderer = SDL_CreateRenderer(Win.Window, -1, SDL_RENDERER_ACCELERATED);
  if (!Win.Renderer) Win.Renderer = SDL_CreateRenderer(Win.Window, -1, SDL_RENDERER_SOFTWARE);
  if (!Win.Renderer) {
    if (error) *error = std::string("cannot draw in the window: ") + SDL_GetError();
    return fail();
  }
  SDL_RendererInfo info;
  if (SDL_GetRendererInfo(Win.Renderer, &info) == 0) Win.RendererName = info.name;
  Win.Scale = CurrentScale();
  if (!BuildSurfaces(error)) return fail();
  SDL_SetWindowMinimumSize(Win.Window, 16 * Win.CellWidthPt, 4 * Win.CellHeightPt);
  SDL_SetWindowMaximumSize(Win.Window, std::min(width, screen.w), std::min(height, screen.h));

  if (!StartWindowLoop(error)) return fail();
  WinLoop.OnEvent = HandleEvent;
  WinLoop.BeforeBlock = [] {
    if (Win.FramePending) PresentWindow();
  };
  SDL_ShowWindow(Win.Window);
  SDL_StartTextInput();
  Win.Focused = (SDL_GetWindowFlags(Win.Window) & SDL_WINDOW_INPUT_FOCUS) != 0;
  Win.IsOpen = true;
  PresentWindow();
  return true;
}

void CloseWindow() {
  if (!Win.IsOpen) return;
  StopWindowLoop();
  WinLoop.OnEvent = nullptr;
  WinLoop.BeforeBlock = nullptr;
  SDL_StopTextInput();
  DestroyWindow();
  TTF_Quit();
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  Crt.Magnifying = false;
  Win.CaretVisible = false;
  Win.FramePending = false;
  Win.DirtyX0 = Win.DirtyX1 = 0;
  Win.IsOpen = false;
}

void ScrollUpCells(int left, int top, int right, int bottom, bool fast) {
  left = std::clamp(left, 0, ScreenCols - 1);
  right = std::clamp(right, left, ScreenCols - 1);
  top = std::clamp(top, 0, ScreenRows - 1);
  bottom = std::clamp(bottom, top, ScreenRows - 1);
  bool move_pixels = fast && Win.Focused;
  if (move_pixels) {
    // Only while the whole window is well inside the screen (its pixels are all really there).
    int wy = 0, wh = 0, dummy = 0;
    SDL_Rect screen;
    SDL_GetWindowPosition(Win.Window, &dummy, &wy);
    SDL_GetWindowSize(Win.Window, &dummy, &wh);
    int display = std::max(0, SDL_GetWindowDisplayIndex(Win.Window));
    if (SDL_GetDisplayBounds(display, &screen) != 0 || wy + wh >= screen.y + screen.h - 32) move_pixels = false;
  }
  if (!move_pixels) {
    DrawAll();
    PresentSoon();
    return;
  }
  const int cw = Win.Font.CharWidth, ch = Win.Font.CharHeight;
  const int bpp = Win.Screen->format->BytesPerPixel;
  uint8_t* pixels = static_cast<uint8_t*>(Win.Screen->pixels);
  const size_t span = static_cast<size_t>((right - left + 1) * cw) * bpp;
  for (int y = top * ch; y < bottom * ch; ++y)
    std::memmove(pixels + y * Win.Screen->pitch + left * cw * bpp,
                 pixels + (y + ch) * Win.Screen->pitch + left * cw * bpp, span);
  MarkDirty(left * cw, top * ch, (right + 1) * cw, bottom * ch);
  DrawCells(bottom, left, right + 1);
  ++Win.PixelScrolls;
  PresentSoon();
}

struct WindowFrontendImpl : ConsoleFrontend {
  const char* Name() const override { return "window"; }
  bool Open(std::string* error) override { return Win.IsOpen || OpenWindow(error); }
  void Close() override { CloseWindow(); }
  void PaintSpan(int row, int first_col, int end_col) override {
    if (!Win.IsOpen || row < 0 || row >= ScreenRows) return;
    first_col = std::clamp(first_col, 0, ScreenCols);
    end_col = std::clamp(end_col, first_col, ScreenCols);
    if (first_col == end_col) return;
    DrawCells(row, first_col, end_col);
    ++Win.SpansPainted;
    PresentSoon();
  }
  void RepaintAll() override {
    if (!Win.IsOpen) return;
    DrawAll();
    PresentSoon();
  }
  void ScrollUp(int left, int top, int right, int bottom, bool fast) override {
    if (Win.IsOpen) ScrollUpCells(left, top, right, bottom, fast);
  }
  void SetCaret(bool visible, int col, int row) override {
    Win.CaretVisible = visible;
    Win.CaretCol = col;
    Win.CaretRow = row;
    if (Win.IsOpen) PresentSoon();
  }
  void SetTitle(std::string_view title) override {
    if (Win.Window) SDL_SetWindowTitle(Win.Window, Cp1252ToUtf8(title).c_str());
  }
  void Beep() override { WindowBell(Win.Window); }
  bool SetClipboard(std::string_view text) override {
    if (!Win.IsOpen) return false;
    return SDL_SetClipboardText(Cp1252ToUtf8(text).c_str()) == 0;
  }
  bool GetClipboard(std::string* text) override {
    if (!Win.IsOpen) return false;
    if (!SDL_HasClipboardText()) {
      text->clear();
      return true;
    }
    char* utf8 = SDL_GetClipboardText();
    if (!utf8) return false;
    *text = Utf8ToCp1252(utf8, '?');
    SDL_free(utf8);
    return true;
  }
  bool HasKeyUpEvents() const override { return true; }
  void Notice(std::string_view text) override {
    std::string utf8 = Cp1252ToUtf8(text);
    std::fprintf(stderr, "%s\n", utf8.c_str());
  }
  LoopBackend* Backend() override { return &WinLoop.Backend; }
};

}  // namespace

ConsoleFrontend* WindowFrontend() {
  static WindowFrontendImpl frontend;
  return &frontend;
}

void PresentWindow() {
  if (!Win.Renderer || !Win.Texture || !Win.Screen) return;
  if (Win.DirtyX0 < Win.DirtyX1) {
    SDL_Rect r = {Win.DirtyX0, Win.DirtyY0, Win.DirtyX1 - Win.DirtyX0, Win.DirtyY1 - Win.DirtyY0};
    const uint8_t* p = static_cast<const uint8_t*>(Win.Screen->pixels) + r.y * Win.Screen->pitch +
                       r.x * Win.Screen->format->BytesPerPixel;
    SDL_UpdateTexture(Win.Texture, &r, p, Win.Screen->pitch);
    Win.DirtyX0 = Win.DirtyX1 = 0;
  }
  SDL_SetRenderDrawColor(Win.Renderer, 0, 0, 0, 255);
  SDL_RenderClear(Win.Renderer);
  SDL_Rect grid = {0, 0, Win.GridWidth, Win.GridHeight};
  if (Crt.Magnifying) {
    SDL_Rect src = ZoomSource();
    SDL_RenderCopy(Win.Renderer, Win.Texture, &src, &grid);
  } else {
    SDL_RenderCopy(Win.Renderer, Win.Texture, nullptr, &grid);
    if (Win.CaretVisible && Win.CaretCol >= 0 && Win.CaretCol < ScreenCols && Win.CaretRow >= 0 &&
        Win.CaretRow < ScreenRows) {
      // The caret inverts what it covers: the inverse of the cell's background.
      Rgb bg = ColorIndexRgb(Crt.AttrBuffer[Win.CaretRow * ScreenCols + Win.CaretCol] >> 4);
      int thick = std::max(2, static_cast<int>(std::lround(2 * Win.Scale)));
      int y = std::min(Win.CaretRow * Win.Font.CharHeight + Win.Font.Ascent,
                       (Win.CaretRow + 1) * Win.Font.CharHeight - thick);
      SDL_Rect caret = {Win.CaretCol * Win.Font.CharWidth + Crt.TextOffsetX, y, Win.Font.CharWidth, thick};
      SDL_SetRenderDrawColor(Win.Renderer, 255 - bg.r, 255 - bg.g, 255 - bg.b, 255);
      SDL_RenderFillRect(Win.Renderer, &caret);
    }
  }
  SDL_RenderPresent(Win.Renderer);
  Win.FramePending = false;
  Win.LastFrameMs = WinLoop.Backend.NowMs();
  ++Win.Frames;
}

}  // namespace falatro
