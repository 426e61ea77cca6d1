// Keys of the window: SDL keyboard events turned into normalised key events with PC key numbers.
#pragma once

#include <SDL2/SDL_events.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "base/event_loop.h"

namespace falatro {

/// KeyMod bits of an SDL modifier state. AltGr (the mode key) counts as Ctrl + Alt, as on the desktop
/// the keyboard codes come from.
uint8_t KeyModsFromSdl(uint16_t sdl_mod);

/// The PC virtual-key number of an SDL key (0 when it has none). Letters and digits are found by
/// the symbol the layout gives and, on layouts without Latin letters, by the key's position; the
/// keypad gives the cursor keys when Num Lock is off; Pause with Ctrl is Break (VK_CANCEL).
uint16_t VirtualKeyFromSdl(SDL_Keycode sym, SDL_Scancode scancode, uint16_t sdl_mod);

/// The character a key-down produces that SDL's text input does not deliver (-1 when none): Enter 13,
/// Tab 9 (not with Ctrl), Backspace 8, Esc 27, and with Ctrl alone Ctrl+letter 1..26, Ctrl+[ \ ]
/// 27..29, Ctrl+Space 32. Alt without Ctrl gives none.
int ControlCharOfKey(uint16_t vk, uint8_t mods);

/// True when text typed with sdl_mod held is a character of the keyboard: not with Ctrl or the left
/// Alt key (those combinations give key codes, not characters), except through AltGr.
bool TextInputAllowed(uint16_t sdl_mod);

/// The message kind of a key-down: kMsgSysKeyDown with Alt held and Ctrl not held, and for F10
/// without Ctrl; otherwise kMsgKeyDown.
int KeyDownKind(uint16_t vk, uint8_t mods);

/// What one SDL event means to the console, as messages (none, one, or several for typed text).
/// Events that are not keyboard events give nothing.
struct KeyMessages {
  Message Items[32];
  int Count = 0;
};
/// Translates event. *key_mod is the modifier state of the last key-down: a key-down sets it, and
/// text input (which SDL sends right after the key-down that typed it, without modifiers of its own)
/// is judged by it, since the keys may be released by the time the queue is read.
void TranslateSdlKeyEvent(const SDL_Event& event, uint16_t* key_mod, KeyMessages* out);

}  // namespace falatro
