// The channel's function keys: help, nickname memory, speech settings, local address, punctuation,
// screen review, paste and copy.
#pragma once

#include <cstdint>

namespace falatro {

/// Acts on an extended key of the channel (the code after the 0): F1 help, F2 stores a nickname in
/// one of the 256 memories, F3 adds a remembered nickname to the typed line, F4 speech settings, F6
/// the local address, F7 punctuation reading, F9 screen review, Shift+Insert paste, Ctrl+Insert copy;
/// any other key says that the option is invalid. F2, F3 and F5 first send a line being typed.
void HandleChannelFunctionKey(uint8_t code);

/// Says the channel's help lines.
void ShowChannelHelp();

/// Asks for a speed (1 to 5 restarts speech at it) and whether typed characters are spelled.
void ChangeSpeechSettings();

/// Says the dotted local address of the server connection.
void SayLocalAddress();

}  // namespace falatro
