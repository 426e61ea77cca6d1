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
  for (std::vector<uint8_t>& g : Win.Glyphs) g.clear();
}

// Renders every cp1252 character once, as its coverage of a cell: centred and cut to the cell when
// wider (a proportional face, synthetic bold), its baseline at the font's ascent.
void BuildGlyphs() {
  FreeGlyphs();
  const int cw = Win.Font.CharWidth, ch = Win.Font.CharHeight;
  SDL_Color white = {255, 255, 255, 255};
  for (int b = 33; b < 256; ++b) {
    uint32_t cp = Cp1252ToUnicode(static_cast<uint8_t>(b));
    if (cp < 32 || (cp >= 0x7F && cp < 0xA0)) continue;  // control characters show as blanks
    SDL_Surface* s = TTF_RenderGlyph32_Blended(Win.Font.Font, cp, white);
    if (!s) continue;
    SDL_Surface* argb = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(s);
    if (!argb) continue;
    std::vector<uint8_t> mask(static_cast<size_t>(cw) * ch, 0);
    int over = argb->w - cw;
    int src_x = over > 0 ? over / 2 : 0, dst_x = over < 0 ? -over / 2 : 0;
    bool inked = false;
    SDL_LockSurface(argb);
    for (int y = 0; y < std::min(argb->h, ch); ++y) {
      const uint32_t* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(argb->pixels) +
                                                              y * argb->pitch);
      for (int x = 0; x + dst_x < cw && x + src_x < argb->w; ++x) {
        uint8_t a = static_cast<uint8_t>(row[x + src_x] >> 24);
        mask[static_cast<size_t>(y) * cw + x + dst_x] = a;
        inked |= a != 0;
      }
    }
    SDL_UnlockSurface(argb);
    SDL_FreeSurface(argb);
    if (inked) Win.Glyphs[b] = std::move(mask);
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

// Draws cells [first, end) of row into the screen image. Each run of equal attribute gets a table of
// its 256 shades between background and foreground, so a pixel is one look-up of its coverage.
void DrawCells(int row, int first, int end) {
  if (!Win.Screen) return;
  const int cw = Win.Font.CharWidth, ch = Win.Font.CharHeight;
  const SDL_PixelFormat* fmt = Win.Screen->format;
  uint8_t* base = static_cast<uint8_t*>(Win.Screen->pixels) + static_cast<size_t>(row) * ch * Win.Screen->pitch;
  uint32_t shade[256];
  int col = first;
  while (col < end) {
    uint8_t attr = Crt.AttrBuffer[row * ScreenCols + col];
    int run_end = col + 1;
    while (run_end < end && Crt.AttrBuffer[row * ScreenCols + run_end] == attr) ++run_end;
    Rgb bg = ColorIndexRgb(attr >> 4), fg = ColorIndexRgb(attr & 15);
    for (int a = 0; a < 256; ++a)
      shade[a] = SDL_MapRGB(fmt, static_cast<uint8_t>((bg.r * (255 - a) + fg.r * a + 127) / 255),
                            static_cast<uint8_t>((bg.g * (255 - a) + fg.g * a + 127) / 255),
                            static_cast<uint8_t>((bg.b * (255 - a) + fg.b * a + 127) / 255));
    for (int c = col; c < run_end; ++c) {
      const std::vector<uint8_t>& g = Win.Glyphs[Crt.ScreenBuffer[row * ScreenCols + c]];
      for (int y = 0; y < ch; ++y) {
        uint32_t* out = reinterpret_cast<uint32_t*>(base + static_cast<size_t>(y) * Win.Screen->pitch) + c * cw;
        if (g.empty()) {
          std::fill(out, out + cw, shade[0]);
        } else {
          const uint8_t* cov = g.data() + static_cast<size_t>(y) * cw;
          for (int x = 0; x < cw; ++x) out[x] = shade[cov[x]];
        }
      }
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
  else SDL_GetWindowSizeInPixels(Win.Window, &dw, &dh);
  if (ww <= 0 || dw <= 0) return 1.0f;
  return std::max(1.0f, static_cast<float>(dw) / static_cast<float>(ww));
}

// (Re)creates the font at the current scale, the screen image and its texture, then draws
// everything from the buffers.
bool BuildSurfaces(std::string* error) {
  const FontFile file = Win.Font.File;
  int px_w = static_cast<int>(std::lround(Win.FontWidthPt * Win.Scale));
  int px_h = static_cast<int>(std::lround(Win.FontHeightPt * Win.Scale));
  CellFont font;
  if (!OpenCellFont(file, px_w, px_h, Crt.Settings.FontWeight, &font, error)) return false;
  CloseCellFont(&Win.Font);
  Win.Font = font;
  BuildGlyphs();
  Win.GridWidth = ScreenCols * Win.Font.CharWidth;
  Win.GridHeight = ScreenRows * Win.Font.CharHeight;
  if (Win.Screen) SDL_FreeSurface(Win.Screen);
  if (Win.Texture) SDL_DestroyTexture(Win.Texture);
  Win.Texture = nullptr;
  Win.Screen = SDL_CreateRGBSurfaceWithFormat(0, Win.GridWidth, Win.GridHeight, 32, SDL_PIXELFORMAT_ARGB8888);
  if (Win.Screen) SDL_SetSurfaceBlendMode(Win.Screen, SDL_BLENDMODE_NONE);
  if (Win.Renderer) {
    Win.Texture = SDL_CreateTexture(Win.Renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                    Win.GridWidth, Win.GridHeight);
    if (Win.Texture) SDL_SetTextureScaleMode(Win.Texture, SDL_ScaleModeNearest);
  }
  if (!Win.Screen || (Win.Renderer && !Win.Texture)) {
    if (error) *error = std::string("cannot create the screen image: ") + SDL_GetError();
    return false;
  }
  Win.SurfaceStale = true;
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
  Win.SurfaceStale = true;
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
      if (!Win.UseSurface) CheckScale();
      Win.SurfaceStale = true;
      PresentWindow();
      break;
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_RESTORED:
    case SDL_WINDOWEVENT_MAXIMIZED:
      Win.SurfaceStale = true;
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
      // A burst of motion makes one zoomed frame per frame interval; the wait shows the last one.
      if (Crt.Magnifying) {
        SetMouse(ev.motion.x, ev.motion.y);
        PresentSoon();
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
  Win.CaretW = 0;
}

bool OpenWindow(std::string* error) {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // A window on a desktop only: without one, SDL would take over a text console's screen (KMS) and
  // the program belongs in the terminal there. A driver the user names is used as named.
  if (!SDL_GetHint(SDL_HINT_VIDEODRIVER)) SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11,wayland");
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
  Win.FontWidthPt = want_w;
  Win.FontHeightPt = want_h;
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
  // Where a point is a pixel, changed rectangles go straight to the window (a typed character costs
  // one cell); a denser display gets a renderer that draws whole frames at its density.
  Win.Renderer = nullptr;
  Win.Scale = CurrentScale();
  Win.UseSurface = Win.Scale < 1.01f && !Win.ForceRenderer;
  if (Win.UseSurface) {
    // The window's own pixels, not a texture SDL would draw with a renderer of its own: only the
    // changed rectangles then travel to the display (shared memory on a local X server).
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    Win.RendererName = "surface";
  } else {
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
  }
  if (!BuildSurfaces(error)) return fail();
  SDL_SetWindowMinimumSize(Win.Window, 16 * Win.CellWidthPt, 4 * Win.CellHeightPt);
  SDL_SetWindowMaximumSize(Win.Window, std::min(width, screen.w), std::min(height, screen.h));

  if (!StartWindowLoop(error)) return fail();
  WinLoop.OnEvent = HandleEvent;
  WinLoop.BeforeWait = [](bool blocking) {
    if (!Win.FramePending) return;
    if (blocking) PresentWindow();
    else PresentSoon();
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
  WinLoop.BeforeWait = nullptr;
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

namespace {

// The caret's rectangle in the screen image: a block two pixels high (at scale 1) at the baseline of
// its cell; W 0 when it is not shown.
SDL_Rect CaretRect() {
  SDL_Rect r = {0, 0, 0, 0};
  if (!Win.CaretVisible || Crt.Magnifying || Win.CaretCol < 0 || Win.CaretCol >= ScreenCols || Win.CaretRow < 0 ||
      Win.CaretRow >= ScreenRows)
    return r;
  int thick = std::max(2, static_cast<int>(std::lround(2 * Win.Scale)));
  int y = std::min(Win.CaretRow * Win.Font.CharHeight + Win.Font.Ascent, (Win.CaretRow + 1) * Win.Font.CharHeight - thick);
  return SDL_Rect{Win.CaretCol * Win.Font.CharWidth + Crt.TextOffsetX, y, Win.Font.CharWidth, thick};
}

// The caret inverts what it covers: the inverse of its cell's background.
Rgb CaretColor() {
  Rgb bg = ColorIndexRgb(Crt.AttrBuffer[Win.CaretRow * ScreenCols + Win.CaretCol] >> 4);
  return Rgb{static_cast<uint8_t>(255 - bg.r), static_cast<uint8_t>(255 - bg.g), static_cast<uint8_t>(255 - bg.b)};
}

void PresentToSurface() {
  SDL_Surface* ws = SDL_GetWindowSurface(Win.Window);
  if (!ws) return;
  SDL_Rect rects[4];
  int n = 0;
  SDL_Rect grid = {0, 0, Win.GridWidth, Win.GridHeight};
  if (Win.SurfaceStale || Crt.Magnifying) {
    // Everything: the grid (zoomed or not) over a black window.
    SDL_FillRect(ws, nullptr, SDL_MapRGB(ws->format, 0, 0, 0));
    if (Crt.Magnifying) {
      SDL_Rect src = ZoomSource();
      SDL_BlitScaled(Win.Screen, &src, ws, &grid);
    } else {
      SDL_BlitSurface(Win.Screen, nullptr, ws, &grid);
    }
    rects[n++] = SDL_Rect{0, 0, ws->w, ws->h};
    // Until the magnifier goes away every frame is a whole one; after it, one more restores the grid.
    Win.SurfaceStale = Crt.Magnifying;
  } else {
    if (Win.DirtyX0 < Win.DirtyX1) {
      SDL_Rect r = {Win.DirtyX0, Win.DirtyY0, Win.DirtyX1 - Win.DirtyX0, Win.DirtyY1 - Win.DirtyY0};
      SDL_Rect dst = r;
      SDL_BlitSurface(Win.Screen, &r, ws, &dst);
      rects[n++] = r;
    }
    if (Win.CaretW > 0) {
      // The pixels under the caret drawn last time come back from the screen image.
      SDL_Rect old = {Win.CaretX, Win.CaretY, Win.CaretW, Win.CaretH};
      SDL_Rect dst = old;
      SDL_BlitSurface(Win.Screen, &old, ws, &dst);
      rects[n++] = old;
    }
  }
  Win.DirtyX0 = Win.DirtyX1 = 0;
  SDL_Rect caret = CaretRect();
  if (caret.w > 0) {
    Rgb c = CaretColor();
    SDL_FillRect(ws, &caret, SDL_MapRGB(ws->format, c.r, c.g, c.b));
    rects[n++] = caret;
  }
  Win.CaretX = caret.x, Win.CaretY = caret.y, Win.CaretW = caret.w, Win.CaretH = caret.h;
  // Rectangles are kept inside the window (a maximised window may be smaller than the grid).
  int kept = 0;
  for (int i = 0; i < n; ++i) {
    SDL_Rect whole = {0, 0, ws->w, ws->h}, part;
    if (SDL_IntersectRect(&rects[i], &whole, &part)) rects[kept++] = part;
  }
  if (kept > 0) SDL_UpdateWindowSurfaceRects(Win.Window, rects, kept);
}

void PresentToRenderer() {
  if (!Win.Texture) return;
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
  }
  SDL_Rect caret = CaretRect();
  if (caret.w > 0) {
    Rgb c = CaretColor();
    SDL_SetRenderDrawColor(Win.Renderer, c.r, c.g, c.b, 255);
    SDL_RenderFillRect(Win.Renderer, &caret);
  }
  SDL_RenderPresent(Win.Renderer);
}

}  // namespace

void PresentWindow() {
  if (!Win.Window || !Win.Screen) return;
  if (Win.UseSurface) PresentToSurface();
  else PresentToRenderer();
  Win.FramePending = false;
  Win.LastFrameMs = WinLoop.Backend.NowMs();
  ++Win.Frames;
}

}  // namespace falatro
