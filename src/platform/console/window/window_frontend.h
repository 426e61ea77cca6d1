// The window front-end: the console drawn in an SDL window with a TrueType cell font.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/frontend.h"
#include "platform/console/window/window_font.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
struct SDL_Surface;

namespace falatro {

/// State of the window front-end (one instance, Win). Tests inspect it.
struct WindowFrontendState {
  bool IsOpen = false;
  SDL_Window* Window = nullptr;
  SDL_Renderer* Renderer = nullptr;
  SDL_Texture* Texture = nullptr;   ///< the screen image on the renderer's side
  SDL_Surface* Screen = nullptr;    ///< the screen image: 80 x 25 cells, drawing-surface pixels
  /// Coverage (0..255) of each cp1252 character over one cell, row-major, CharWidth x CharHeight;
  /// empty for characters that show nothing (space, controls).
  std::vector<uint8_t> Glyphs[256];
  CellFont Font;                    ///< in drawable pixels (points x Scale)
  float Scale = 1.0f;               ///< drawable pixels per window point (high-DPI displays)
  int FontWidthPt = 0;              ///< the font size asked for (settings or work area), points
  int FontHeightPt = 0;
  int CellWidthPt = 0;              ///< one cell in window points, as that font measures
  int CellHeightPt = 0;
  int GridWidth = 0;                ///< 80 x cell width, drawable pixels
  int GridHeight = 0;
  std::string RendererName;         ///< "surface" when frames go straight to the window's pixels
  /// Frames are copied to the window's own pixel buffer, only the changed rectangles (displays where
  /// a point is a pixel); otherwise an SDL renderer draws whole frames at the drawable's density.
  bool UseSurface = false;
  bool ForceRenderer = false;       ///< tests: use the renderer even where the surface would do
  bool SurfaceStale = true;         ///< the window's pixels must all be copied again
  int CaretX = 0, CaretY = 0, CaretW = 0, CaretH = 0;  ///< where the caret was drawn (W 0: nowhere)

  // Drawing not yet shown.
  int DirtyX0 = 0, DirtyY0 = 0, DirtyX1 = 0, DirtyY1 = 0;  ///< changed pixels (empty when x0 >= x1)
  bool FramePending = false;        ///< something changed since the last frame
  uint64_t LastFrameMs = 0;
  int FrameIntervalMs = 16;         ///< at most one frame per interval while output streams

  bool CaretVisible = false;
  int CaretCol = 0;
  int CaretRow = 0;
  bool Focused = false;             ///< the window has the keyboard focus
  uint16_t LastKeyMod = 0;          ///< SDL modifiers of the last key-down (for the text it typed)
  int MouseX = 0;                   ///< the magnifier's point, drawable pixels
  int MouseY = 0;

  // Counters for tests and measurements.
  uint64_t Frames = 0;
  uint64_t SpansPainted = 0;
  uint64_t FullRepaints = 0;
  uint64_t PixelScrolls = 0;
};
extern WindowFrontendState Win;

/// The window front-end (one instance). Open fails, with a reason, when no display can be opened
/// (the caller then uses the terminal). Font and size come from Crt.Settings; the font metrics are
/// stored in Crt.CharWidth, CharHeight, FontAscent and the grid size in Crt.WindowWidth/Height.
ConsoleFrontend* WindowFrontend();

/// Shows what was drawn since the last frame now (the loop does it before blocking and at most once
/// per frame interval while output streams).
void PresentWindow();

}  // namespace falatro
