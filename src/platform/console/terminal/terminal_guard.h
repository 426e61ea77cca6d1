// Keeping the tty sane: raw mode on, and the saved modes back on every way out, signals included.
#pragma once

#include <string>
#include <string_view>

namespace falatro {

/// Puts the tty fd in raw mode (no echo, no line editing, no signals from keys, no flow control, no
/// CR/LF translation), writes enter_seq, and arranges that the saved modes and exit_seq come back on
/// RestoreTerminal, on normal exit, and on SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP and the crash
/// signals (the signal then takes its usual course). SIGWINCH and SIGCONT are reported by writing
/// 'W' or 'C' to notify_fd. Returns false (with *error) when fd is not a terminal.
bool EnterRawMode(int fd, int notify_fd, std::string_view enter_seq, std::string_view exit_seq,
                  std::string* error);
/// Raw mode again after the program was stopped and continued (the modes were restored meanwhile).
void ReenterRawMode();
/// Restores the saved modes and writes the exit sequence. Idempotent; async-signal-safe.
void RestoreTerminal();
/// Forgets the tty (after RestoreTerminal, before its descriptor is closed).
void ReleaseTerminal();
/// True while raw mode is in effect.
bool TerminalIsRaw();

}  // namespace falatro
