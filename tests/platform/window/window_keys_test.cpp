// SDL key events to normalised key events: key numbers, modifiers, message kinds and typed characters.
#include <gtest/gtest.h>

#include <cstring>

#include "console/keyboard.h"
#include "platform/console/window/window_keys.h"

namespace falatro {
namespace {

TEST(WindowKeys, SdlKeysGetPcKeyNumbers) {
  struct Case {
    const char* what;
    SDL_Keycode sym;
    SDL_Scancode sc;
    uint16_t mod;
    uint16_t vk;
  } cases[] = {
      {"a letter is its capital", SDLK_q, SDL_SCANCODE_Q, 0, 'Q'},
      {"a letter with Shift is still its capital", SDLK_q, SDL_SCANCODE_Q, KMOD_LSHIFT, 'Q'},
      {"a digit", SDLK_7, SDL_SCANCODE_7, 0, '7'},
      {"a letter of a Cyrillic layout goes by its place", 0x444, SDL_SCANCODE_A, 0, 'A'},
      {"the digit row of a French layout goes by its place", '&', SDL_SCANCODE_1, 0, '1'},
      {"the c cedilla key of a Brazilian layout", 0xE7, SDL_SCANCODE_SEMICOLON, 0, 0xBA},
      {"F1", SDLK_F1, SDL_SCANCODE_F1, 0, 0x70},
      {"F10", SDLK_F10, SDL_SCANCODE_F10, 0, VK_F10},
      {"F12", SDLK_F12, SDL_SCANCODE_F12, 0, VK_F12},
      {"F13", SDLK_F13, SDL_SCANCODE_F13, 0, 0x7C},
      {"Page Up", SDLK_PAGEUP, SDL_SCANCODE_PAGEUP, 0, VK_PRIOR},
      {"Insert", SDLK_INSERT, SDL_SCANCODE_INSERT, 0, VK_INSERT},
      {"Enter", SDLK_RETURN, SDL_SCANCODE_RETURN, 0, VK_RETURN},
      {"the keypad's Enter", SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, 0, VK_RETURN},
      {"keypad 7 without Num Lock is Home", SDLK_KP_7, SDL_SCANCODE_KP_7, 0, VK_HOME},
      {"keypad 7 with Num Lock is the number", SDLK_KP_7, SDL_SCANCODE_KP_7, KMOD_NUM, 0x67},
      {"keypad point without Num Lock is Delete", SDLK_KP_PERIOD, SDL_SCANCODE_KP_PERIOD, 0, VK_DELETE},
      {"keypad 5 without Num Lock is Clear", SDLK_KP_5, SDL_SCANCODE_KP_5, 0, 0x0C},
      {"Pause", SDLK_PAUSE, SDL_SCANCODE_PAUSE, 0, 0x13},
      {"Pause with Ctrl is Break", SDLK_PAUSE, SDL_SCANCODE_PAUSE, KMOD_LCTRL, VK_CANCEL},
      {"right Ctrl", SDLK_RCTRL, SDL_SCANCODE_RCTRL, KMOD_RCTRL, VK_CONTROL},
      {"AltGr (the mode key)", SDLK_MODE, SDL_SCANCODE_MODE, KMOD_MODE, VK_MENU},
      {"a key with no PC number", SDLK_AUDIONEXT, SDL_SCANCODE_AUDIONEXT, 0, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(VirtualKeyFromSdl(c.sym, c.sc, c.mod), c.vk) << c.what;
}

TEST(WindowKeys, ModifiersAndMessageKinds) {
  struct Case {
    const char* what;
    uint16_t sdl_mod;
    uint8_t mods;
    int kind_of_x;
    int kind_of_f10;
  } cases[] = {
      {"none", 0, 0, kMsgKeyDown, kMsgSysKeyDown},
      {"Shift", KMOD_RSHIFT, kModShift, kMsgKeyDown, kMsgSysKeyDown},
      {"Ctrl", KMOD_LCTRL, kModCtrl, kMsgKeyDown, kMsgKeyDown},
      {"Alt alone makes system keys", KMOD_LALT, kModAlt, kMsgSysKeyDown, kMsgSysKeyDown},
      {"Ctrl with Alt does not", KMOD_LCTRL | KMOD_RALT, kModCtrl | kModAlt, kMsgKeyDown, kMsgKeyDown},
      {"AltGr counts as Ctrl with Alt", KMOD_MODE, kModCtrl | kModAlt, kMsgKeyDown, kMsgKeyDown},
      {"Caps Lock and Num Lock are not modifiers", KMOD_CAPS | KMOD_NUM, 0, kMsgKeyDown, kMsgSysKeyDown},
  };
  for (const Case& c : cases) {
    uint8_t mods = KeyModsFromSdl(c.sdl_mod);
    EXPECT_EQ(mods, c.mods) << c.what;
    EXPECT_EQ(KeyDownKind('X', mods), c.kind_of_x) << c.what;
    EXPECT_EQ(KeyDownKind(VK_F10, mods), c.kind_of_f10) << c.what;
  }
}

TEST(WindowKeys, KeysThatTypeCharactersTextInputDoesNotBring) {
  struct Case {
    const char* what;
    uint16_t vk;
    uint8_t mods;
    int ch;
  } cases[] = {
      {"Enter", VK_RETURN, 0, 13},
      {"Ctrl+Enter (the console makes it LF)", VK_RETURN, kModCtrl, 13},
      {"Backspace", VK_BACK, 0, 8},
      {"Ctrl+Backspace (the console makes it 127)", VK_BACK, kModCtrl, 8},
      {"Tab", VK_TAB, 0, 9},
      {"Ctrl+Tab types nothing", VK_TAB, kModCtrl, -1},
      {"Esc", VK_ESCAPE, 0, 27},
      {"Ctrl+A", 'A', kModCtrl, 1},
      {"Ctrl+Z", 'Z', kModCtrl, 26},
      {"Ctrl+Shift+C", 'C', kModCtrl | kModShift, 3},
      {"Ctrl+[", 0xDB, kModCtrl, 27},
      {"Ctrl+]", 0xDD, kModCtrl, 29},
      {"Ctrl+Space", VK_SPACE, kModCtrl, 32},
      {"a plain letter comes from text input", 'A', 0, -1},
      {"Ctrl+Alt+A is a key code, not a character", 'A', kModCtrl | kModAlt, -1},
      {"Alt+Enter is a system character", VK_RETURN, kModAlt, -1},
      {"Ctrl+digit types nothing", '5', kModCtrl, -1},
      {"F1 types nothing", VK_F1, 0, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(ControlCharOfKey(c.vk, c.mods), c.ch) << c.what;
}

TEST(WindowKeys, TextTypedWithModifiers) {
  struct Case {
    const char* what;
    uint16_t mod;
    bool allowed;
  } cases[] = {
      {"plain", 0, true},
      {"Shift", KMOD_LSHIFT, true},
      {"left Alt: a system key, no text", KMOD_LALT, false},
      {"Ctrl: a control key, no text", KMOD_LCTRL, false},
      {"Ctrl with left Alt", KMOD_LCTRL | KMOD_LALT, false},
      {"AltGr as the mode key", KMOD_MODE, true},
      {"AltGr as right Alt", KMOD_RALT, true},
      {"AltGr as Ctrl with right Alt", KMOD_LCTRL | KMOD_RALT, true},
  };
  for (const Case& c : cases) EXPECT_EQ(TextInputAllowed(c.mod), c.allowed) << c.what;
}

SDL_Event KeyEventOf(uint32_t type, SDL_Keycode sym, SDL_Scancode sc, uint16_t mod) {
  SDL_Event ev;
  std::memset(&ev, 0, sizeof ev);
  ev.type = type;
  ev.key.keysym.sym = sym;
  ev.key.keysym.scancode = sc;
  ev.key.keysym.mod = mod;
  return ev;
}

SDL_Event TextEventOf(const char* utf8) {
  SDL_Event ev;
  std::memset(&ev, 0, sizeof ev);
  ev.type = SDL_TEXTINPUT;
  std::strncpy(ev.text.text, utf8, sizeof ev.text.text - 1);
  return ev;
}

struct Expected {
  int kind;
  uint16_t vk;
  uint8_t mods;
  uint8_t ch;
};

void ExpectMessages(const KeyMessages& got, const std::vector<Expected>& want, const char* what) {
  ASSERT_EQ(got.Count, static_cast<int>(want.size())) << what;
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got.Items[i].kind, want[i].kind) << what << " #" << i;
    EXPECT_EQ(got.Items[i].key.vk, want[i].vk) << what << " #" << i;
    EXPECT_EQ(got.Items[i].key.mods, want[i].mods) << what << " #" << i;
    EXPECT_EQ(got.Items[i].key.ch, want[i].ch) << what << " #" << i;
  }
}

TEST(WindowKeys, EventSequencesBecomeMessages) {
  uint16_t key_mod = 0;
  KeyMessages m;

  TranslateSdlKeyEvent(KeyEventOf(SDL_KEYDOWN, SDLK_a, SDL_SCANCODE_A, KMOD_LCTRL), &key_mod, &m);
  ExpectMessages(m, {{kMsgKeyDown, 'A', kModCtrl, 0}, {kMsgChar, 'A', kModCtrl, 1}}, "Ctrl+A down");
  TranslateSdlKeyEvent(KeyEventOf(SDL_KEYUP, SDLK_a, SDL_SCANCODE_A, KMOD_LCTRL), &key_mod, &m);
  ExpectMessages(m, {{kMsgKeyUp, 'A', kModCtrl, 0}}, "Ctrl+A up");

  // Alt+X: a system key; the text SDL reports for it afterwards is not typed.
  TranslateSdlKeyEvent(KeyEventOf(SDL_KEYDOWN, SDLK_x, SDL_SCANCODE_X, KMOD_LALT), &key_mod, &m);
  ExpectMessages(m, {{kMsgSysKeyDown, 'X', kModAlt, 0}}, "Alt+X down");
  TranslateSdlKeyEvent(KeyEventOf(SDL_KEYUP, SDLK_LALT, SDL_SCANCODE_LALT, 0), &key_mod, &m);
  TranslateSdlKeyEvent(TextEventOf("x"), &key_mod, &m);
  ExpectMessages(m, {}, "text of Alt+X, read after Alt was released");

  // A dead key then a letter: one composed character, converted to cp1252.
  TranslateSdlKeyEvent(KeyEventOf(SDL_KEYDOWN, SDLK_a, SDL_SCANCODE_A, 0), &key_mod, &m);
  ExpectMessages(m, {{kMsgKeyDown, 'A', 0, 0}}, "a down");
  TranslateSdlKeyEvent(TextEventOf("\xC3\xA3"), &key_mod, &m);
  ExpectMessages(m, {{kMsgChar, 0, 0, 0xE3}}, "a with tilde");

  // Pasted or composed text of several characters; what cp1252 lacks becomes "?".
  TranslateSdlKeyEvent(TextEventOf("a\xE2\x82\xAC\xE2\x86\x92\xC3\xA7"), &key_mod, &m);
  ExpectMessages(m, {{kMsgChar, 0, 0, 'a'}, {kMsgChar, 0, 0, 0x80}, {kMsgChar, 0, 0, '?'}, {kMsgChar, 0, 0, 0xE7}},
                 "several characters");
  TranslateSdlKeyEvent(TextEventOf("\xFF\xFE"), &key_mod, &m);
  ExpectMessages(m, {{kMsgChar, 0, 0, '?'}, {kMsgChar, 0, 0, '?'}}, "bytes that are not UTF-8");

  // Keys without a PC number give nothing at all.
  TranslateSdlKeyEvent(KeyEventOf(SDL_KEYDOWN, SDLK_AUDIONEXT, SDL_SCANCODE_AUDIONEXT, 0), &key_mod, &m);
  ExpectMessages(m, {}, "a media key");

  // AltGr: Ctrl and Alt for the key-down, and its text is typed.
  TranslateSdlKeyEvent(KeyEventOf(SDL_KEYDOWN, SDLK_q, SDL_SCANCODE_Q, KMOD_MODE), &key_mod, &m);
  ExpectMessages(m, {{kMsgKeyDown, 'Q', kModCtrl | kModAlt, 0}}, "AltGr+Q down");
  TranslateSdlKeyEvent(TextEventOf("/"), &key_mod, &m);
  ExpectMessages(m, {{kMsgChar, 0, kModCtrl | kModAlt, '/'}}, "AltGr+Q text");
}

}  // namespace
}  // namespace falatro
