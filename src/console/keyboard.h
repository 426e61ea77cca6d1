// The keyboard: key events become a 64-byte queue of PC-style key codes, Alt codes and Braille chords.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/event_loop.h"

namespace falatro {

constexpr int KeyBufferSize = 64;

/// Virtual-key numbers of the normalised key events (PC numbering).
enum VirtualKey : uint16_t {
  VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_MENU = 0x12,
  VK_CANCEL = 0x03, VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23,
  VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28, VK_INSERT = 0x2D,
  VK_DELETE = 0x2E, VK_F1 = 0x70, VK_F10 = 0x79, VK_F11 = 0x7A, VK_F12 = 0x7B,
};

/// Second codes of the extended keys (after the byte 0).
enum ExtendedCode : uint8_t {
  kKeyF1 = 59, kKeyF10 = 68, kKeyF11 = 69, kKeyF12 = 70, kKeyHome = 71, kKeyUp = 72, kKeyPgUp = 73,
  kKeyLeft = 75, kKeyRight = 77, kKeyEnd = 79, kKeyDown = 80, kKeyPgDn = 81, kKeyInsert = 82,
  kKeyDelete = 83, kKeyShiftInsert = 254, kKeyCtrlInsert = 255,
};

/// The keyboard's whole state (one instance, Kbd). Tests set it up and inspect it.
struct KeyboardState {
  uint8_t KeyBuffer[KeyBufferSize] = {};
  int KeyCount = 0;            ///< bytes queued, 0..64
  uint64_t KeysStored = 0;     ///< bytes ever queued: a sound started earlier tells by it that a key came

  int BrailleMode = 0;         ///< 0 off, 1 plain chords, 2 with number and capital signs
  uint8_t ChordDots = 0;       ///< dots of the chord being typed (dot 1 = 1 .. dot 6 = 32, space 0x40)
  uint8_t KeysHeld = 0;        ///< dot keys still held (same bits)
  bool CapitalSign = false;    ///< a capital sign is pending
  bool CapitalLock = false;    ///< capitals locked (two capital signs)
  bool NumberMode = false;     ///< after the number sign

  uint8_t Mods = 0;            ///< KeyMod bits of the last key event (the shift state)

  std::vector<uint8_t> ToneBuffer;  ///< the looping tone's wave image; empty when no tone plays

  std::string OwnClipboard;    ///< the program's own clipboard (cp1252), used when a front-end has none
};
extern KeyboardState Kbd;

/// Resets Kbd to its start-up state (empty queue, Braille off, no tone). Used by tests.
void ResetKeyboardState();

/// Creates the console if needed, dispatches pending messages, and tells whether a key is queued.
bool KeyPressed();
/// Takes the next queued byte, sleeping in the event loop until one is queued (no polling).
uint8_t ReadKey();
/// Dispatches every pending message (keys, repaints, sound completions). A quit message ends the
/// program with exit code 255.
void ProcessMessages();
/// The same for the console's messages (the program has one window, so the same as ProcessMessages).
void ProcessConsoleMessages();
/// Sleeps ms milliseconds in the event loop (keys typed meanwhile stay queued), then dispatches.
void Delay(uint16_t ms);
/// Reads one line into buffer with echo: printable bytes while i < capacity - 2, BS removes one, Enter
/// ends it (Ctrl+Z too when CheckEOF). The line is followed by CR LF (or the Ctrl+Z). Returns the
/// number of bytes stored. Capacity below 3 stores no characters.
uint16_t ReadConsoleLine(char* buffer, uint16_t capacity);
/// Puts a zero-terminated cp1252 text on the clipboard (front-end's, and the program's own buffer).
/// Failures are silent.
void CopyToClipboard(const char* text);
/// Copies the clipboard's text into buffer, cut to capacity - 1 bytes and zero-terminated; an empty
/// clipboard gives an empty text; capacity 0 leaves the buffer untouched.
void PasteFromClipboard(char* buffer, size_t capacity);
/// Switches Braille chord typing: 0 off, 1 plain, 2 with signs (above 2 becomes 1), with its tones.
/// On a front-end without key-up events chords cannot be typed: the mode stays off and the front-end
/// tells the user.
void SetBrailleMode(int mode);
/// Starts a looping square-wave tone of hz (stops any tone playing) through the ConsoleSoundSink.
void PlayTone(uint16_t hz);
/// Stops the tone that is playing, if any, and frees its image.
void StopTone();
/// Builds the looping tone's wave image for hz: 44-byte header and the 8-bit square wave, 11071 bytes
/// allocated. hz 0 is taken as 1.
std::vector<uint8_t> BuildToneImage(uint16_t hz);

/// Queues key bytes as if typed, within the queue's bounds (bytes beyond 64 are dropped). For tests
/// and for paste-as-typing.
void InjectKeys(std::string_view bytes);

/// The translator of normalised key events into key codes (called by ConsoleWndProc for kMsgKeyDown,
/// kMsgSysKeyDown, kMsgKeyUp and kMsgChar). Returns false when the event was not handled (it would go
/// to the platform's default procedure).
bool TranslateKeyMessage(const Message& msg);

/// The cp1252 character of a Braille cell (dot bits 0..63).
uint8_t BrailleChar(int dots);

/// What a front-end without key-up events is asked to tell when a Braille mode is switched on (cp1252).
extern const char* const kBrailleWindowOnlyNotice;

/// Helpers for front-ends that post key events. PostKeyDown posts kMsgSysKeyDown for a key held with
/// Alt and without Ctrl, and for F10 without Ctrl (as a desktop sends them); kMsgKeyDown otherwise.
void PostKeyDown(uint16_t vk, uint8_t mods);
void PostKeyUp(uint16_t vk, uint8_t mods);
void PostChar(uint8_t ch, uint8_t mods);

}  // namespace falatro
