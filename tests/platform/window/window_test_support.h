// Test support for the window front-end: a shared Xvfb, the console opened in the window, screenshots
// read back from the X server, real keys and mouse through xdotool.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "console/nxcrt.h"

namespace falatro {

/// Starts Xvfb once for the test program (1280 x 1024) and points DISPLAY at it; false when it fails.
bool EnsureXvfb(std::string* error);

/// Console settings of the tests: DejaVu Sans Mono, cells of 10 x 20 pixels, regular weight.
ConsoleSettings TestSettings();

/// Opens the console in the window with settings, the exit hook throwing ConsoleExit, and gives the
/// window the keyboard focus. false when the window did not open.
bool OpenWindowConsole(const ConsoleSettings& settings, std::string* error);
/// Ends the console (DoneConsole through the throwing hook).
void CloseWindowConsole();

/// Runs the event loop (waits and dispatches) until pred is true or timeout_ms passes.
bool PumpUntil(const std::function<bool()>& pred, int timeout_ms = 3000);
/// Runs the event loop for ms milliseconds.
void PumpFor(int ms);
/// Gives the window the X keyboard focus and waits until the console knows it.
bool FocusWindow();
/// Gives the X keyboard focus to the root window and waits until the window knows it lost it.
bool UnfocusWindow();
/// The X id of the console window.
unsigned long WindowXid();

/// Runs xdotool with args; its exit status.
int Xdotool(const std::vector<std::string>& args);

/// Puts each named keysym on a free keycode of the X keyboard (so xdotool finds a key for it without
/// remapping one while the window reads). false when there is no free keycode left.
bool BindKeysyms(const std::vector<std::string>& names);

/// The key bytes queued now, taken out of the queue.
std::vector<uint8_t> TakeKeys();

/// What the X server shows in the console window.
struct Screenshot {
  int Width = 0;
  int Height = 0;
  std::vector<Rgb> Pixels;
  Rgb At(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x]; }
  /// How many pixels of the rectangle have colour c.
  int Count(int x, int y, int w, int h, Rgb c) const;
};
/// Reads the window's pixels back from the X server (after showing what is pending).
Screenshot TakeScreenshot();

bool SameRgb(Rgb a, Rgb b);

}  // namespace falatro
