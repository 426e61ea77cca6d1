// The terminal console front-end: the controlling tty in raw mode shows the 80 x 25 screen.
#pragma once

#include <cstdint>
#include <string>

#include "console/frontend.h"

namespace falatro {

/// State of the terminal front-end (one instance).
struct TerminalState {
  int fd = -1;                   ///< the tty, opened from /dev/tty
  int pipe_rd = -1;              ///< self-pipe: wake-ups and signal notes ('W' resize, 'C' continued)
  int pipe_wr = -1;
  bool open = false;
  bool gone = false;             ///< the tty hung up or failed; the program was told to close
  int esc_delay_ms = 50;         ///< how long a lone ESC waits for the rest of a sequence
  uint64_t last_input_ms = 0;    ///< when bytes last arrived
  int pastes_seen = 0;           ///< pastes already copied to the program's clipboard
  std::string notice;            ///< the last notice (cp1252)
  std::string title;             ///< the title (cp1252)
};
extern TerminalState Term;

/// The terminal front-end. Open fails when the process has no controlling terminal. Reads
/// $COLORTERM (24-bit colour when "truecolor" or "24bit"), $TERM (rxvt key numbering) and
/// $FALATRO_ESC_DELAY (milliseconds a lone ESC waits, 10..2000, default 50).
ConsoleFrontend* TerminalFrontend();

/// True when the process has a controlling terminal the terminal front-end can open (so a caller
/// can choose another front-end beforehand rather than run with none).
bool TerminalAvailable();

}  // namespace falatro
