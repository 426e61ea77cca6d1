// The headless console front-end: shows nothing; for tests and machines with no display.
#pragma once

#include <string>

#include "console/frontend.h"

namespace falatro {

/// State of the headless front-end (one instance). Tests may inspect what the console asked of it.
struct HeadlessState {
  LoopBackend* backend = nullptr;  ///< the loop's backend; nullptr: RealClockBackend()
  bool open = false;
  std::string title;                ///< the last title set (cp1252)
  std::string notice;               ///< the last notice (cp1252)
  int beeps = 0;                    ///< beeps asked for
  int paints = 0;                   ///< spans, repaints and scrolls asked for
  bool caret_visible = false;
  bool key_up_events = true;        ///< what HasKeyUpEvents answers (tests of chords post key-ups)
};
extern HeadlessState Headless;

/// The headless front-end: draws nothing, keeps no clipboard of its own (the program's own buffer is
/// used), and waits on backend (nullptr: the real clock; tests pass a SimulatedBackend).
ConsoleFrontend* HeadlessFrontend(LoopBackend* backend = nullptr);

}  // namespace falatro
