// A private X server for tests and measurements: Xvfb started on a free display and stopped after.
#pragma once

#include <string>
#include <vector>

namespace falatro {

/// A running Xvfb (one per test program). Stopped by Stop or by the destructor, and it ends by itself
/// when the program that started it dies.
struct XvfbServer {
  int Pid = -1;
  int Display = -1;          ///< the display number Xvfb chose
  std::string Error;         ///< why Start failed
  void* Keeper = nullptr;    ///< the connection that keeps Xvfb alive (an X Display)

  /// Starts Xvfb on a display number it picks itself (-displayfd), screen width x height x 24, and
  /// points DISPLAY at it. false (with Error) when Xvfb is missing or does not come up in 10 s.
  bool Start(int width, int height);
  void Stop();
  ~XvfbServer() { Stop(); }
};

/// Runs a program of the X test tools (xdotool ...) on the display in DISPLAY and waits for it.
/// Returns its exit status (-1 when it cannot be started).
int RunXTool(const std::vector<std::string>& argv);

}  // namespace falatro
