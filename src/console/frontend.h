// The interface between the console and what shows it: the window, the terminal, or nothing.
#pragma once

#include <string>
#include <string_view>

#include "base/event_loop.h"

namespace falatro {

/// A console front-end. It draws from Crt's buffers (nxcrt.h), posts normalised key events and other
/// messages with PostMessage, and provides the event loop's backend. Coordinates are 0-based
/// absolute cells. Every call is made on the program's thread.
struct ConsoleFrontend {
  virtual ~ConsoleFrontend() = default;
  /// Short name ("headless", "terminal", "window").
  virtual const char* Name() const = 0;
  /// Opens the display; called once by InitConsole. false (with *error) when it cannot.
  virtual bool Open(std::string* error) = 0;
  /// Closes the display and restores whatever it changed (tty modes, cursor). Safe to call twice.
  virtual void Close() = 0;
  /// Draws cells [first_col, end_col) of row from the buffers.
  virtual void PaintSpan(int row, int first_col, int end_col) = 0;
  /// Draws every cell.
  virtual void RepaintAll() = 0;
  /// The cells of rect were just scrolled up one row in the buffers (bottom row blanked). A
  /// front-end may move pixels instead of repainting; fast is the "LENTO" setting.
  virtual void ScrollUp(int left, int top, int right, int bottom, bool fast) = 0;
  /// Shows the caret at the cell (col, row), or hides it.
  virtual void SetCaret(bool visible, int col, int row) = 0;
  /// Sets the title (cp1252).
  virtual void SetTitle(std::string_view title) = 0;
  /// The default message beep (used when no sound sink is installed).
  virtual void Beep() = 0;
  /// Puts cp1252 text on the front-end's clipboard. false when it has none or failed.
  virtual bool SetClipboard(std::string_view text) = 0;
  /// Reads the clipboard's text as cp1252 into *text. false when it has none of its own (the program's
  /// own buffer is then used) or failed.
  virtual bool GetClipboard(std::string* text) = 0;
  /// True when key-up events are posted (needed for Braille chords).
  virtual bool HasKeyUpEvents() const = 0;
  /// Tells the user something the console cannot do here (say, chord typing in a terminal).
  virtual void Notice(std::string_view text) = 0;
  /// The event loop's backend of this front-end (clock and blocking wait).
  virtual LoopBackend* Backend() = 0;
};

/// Chooses the front-end (before InitConsole; nullptr: headless). The console does not own it. When
/// the console already exists the old one is closed and the new one opened and repainted.
void SetConsoleFrontend(ConsoleFrontend* frontend);

}  // namespace falatro
