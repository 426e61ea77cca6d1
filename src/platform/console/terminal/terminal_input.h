// Decoding of terminal input: escape sequences (xterm, VT220, rxvt, Linux console) and UTF-8 into key events.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/event_loop.h"

namespace falatro {

/// The decoder's state (the terminal front-end uses the instance TermInput; tests and the fuzzer make
/// their own). Bytes of an incomplete sequence wait in pending until more bytes or a flush come.
struct TerminalInputState {
  std::string pending;          ///< bytes of a sequence not complete yet
  bool rxvt_keys = false;       ///< rxvt numbering: CSI 25~ .. 34~ are Shift+F3 .. Shift+F10
  bool discarding = false;      ///< inside an over-long control sequence, dropped up to its final byte
  bool in_paste = false;        ///< between the bracketed-paste markers
  std::string paste;            ///< text of the paste being received (UTF-8, at most kMaxPaste bytes)
  std::string last_paste;       ///< the last complete paste, as cp1252
  int pastes = 0;               ///< how many pastes completed
  size_t dropped = 0;           ///< bytes dropped as unknown, invalid or truncated (for tests)
};
extern TerminalInputState TermInput;

/// Longest control sequence kept; longer ones are dropped whole.
constexpr size_t kMaxSequence = 64;
/// Longest paste kept (bytes of UTF-8); the rest of a paste is dropped.
constexpr size_t kMaxPaste = 65536;

/// Decodes bytes (after what st->pending holds) and appends the key events to out: kMsgChar for
/// characters (cp1252, with Ctrl for Ctrl+Enter as LF and Ctrl+Backspace as BS), kMsgKeyDown for
/// function, cursor and editing keys and for Alt+letter/digit (the ESC prefix), kMsgFocus for
/// focus reports. Unknown sequences are dropped whole; invalid UTF-8 and characters cp1252 lacks are
/// dropped. A sequence cut short waits in st->pending.
void DecodeTerminalInput(TerminalInputState* st, std::string_view bytes, std::vector<Message>* out);

/// No more bytes came within the Esc delay: a lone ESC is the Esc key, ESC ESC two of them, ESC O
/// Alt+O; any other incomplete sequence or character is dropped; a paste without its end marker ends.
void FlushTerminalInput(TerminalInputState* st, std::vector<Message>* out);

/// True when bytes wait for the rest of a sequence (the caller then waits at most the Esc delay) or a
/// paste is being received.
bool TerminalInputPending(const TerminalInputState& st);

}  // namespace falatro
