// Keys of the window: SDL keyboard events turned into normalised key events with PC key numbers.
#include "platform/console/window/window_keys.h"

#include <string_view>

#include "base/text_encoding.h"
#include "console/keyboard.h"

namespace falatro {

namespace {

// PC key numbers the console's header does not name (used only to tell keys apart).
enum : uint16_t {
  kVkClear = 0x0C, kVkPause = 0x13, kVkCapital = 0x14, kVkSnapshot = 0x2C, kVkLWin = 0x5B,
  kVkRWin = 0x5C, kVkApps = 0x5D, kVkNumpad0 = 0x60, kVkMultiply = 0x6A, kVkAdd = 0x6B,
  kVkSubtract = 0x6D, kVkDecimal = 0x6E, kVkDivide = 0x6F, kVkF13 = 0x7C, kVkNumLock = 0x90,
  kVkScroll = 0x91, kVkOem1 = 0xBA, kVkOemPlus = 0xBB, kVkOemComma = 0xBC, kVkOemMinus = 0xBD,
  kVkOemPeriod = 0xBE, kVkOem2 = 0xBF, kVkOem3 = 0xC0, kVkOem4 = 0xDB, kVkOem5 = 0xDC,
  kVkOem6 = 0xDD, kVkOem7 = 0xDE, kVkOem102 = 0xE2,
};

// Keypad keys by position: the number with Num Lock on, the cursor key with it off.
uint16_t KeypadKey(SDL_Scancode sc, bool num_lock) {
  static const struct { SDL_Scancode sc; uint16_t on, off; } kPad[] = {
      {SDL_SCANCODE_KP_0, kVkNumpad0 + 0, VK_INSERT}, {SDL_SCANCODE_KP_1, kVkNumpad0 + 1, VK_END},
      {SDL_SCANCODE_KP_2, kVkNumpad0 + 2, VK_DOWN},   {SDL_SCANCODE_KP_3, kVkNumpad0 + 3, VK_NEXT},
      {SDL_SCANCODE_KP_4, kVkNumpad0 + 4, VK_LEFT},   {SDL_SCANCODE_KP_5, kVkNumpad0 + 5, kVkClear},
      {SDL_SCANCODE_KP_6, kVkNumpad0 + 6, VK_RIGHT},  {SDL_SCANCODE_KP_7, kVkNumpad0 + 7, VK_HOME},
      {SDL_SCANCODE_KP_8, kVkNumpad0 + 8, VK_UP},     {SDL_SCANCODE_KP_9, kVkNumpad0 + 9, VK_PRIOR},
      {SDL_SCANCODE_KP_PERIOD, kVkDecimal, VK_DELETE},
  };
  for (const auto& k : kPad)
    if (k.sc == sc) return num_lock ? k.on : k.off;
  switch (sc) {
    case SDL_SCANCODE_KP_ENTER: return VK_RETURN;
    case SDL_SCANCODE_KP_MULTIPLY: return kVkMultiply;
    case SDL_SCANCODE_KP_PLUS: return kVkAdd;
    case SDL_SCANCODE_KP_MINUS: return kVkSubtract;
    case SDL_SCANCODE_KP_DIVIDE: return kVkDivide;
    default: return 0;
  }
}

uint16_t PunctuationKey(SDL_Keycode sym, SDL_Scancode sc) {
  switch (sym) {
    case ';': return kVkOem1;
    case '=': return kVkOemPlus;
    case ',': return kVkOemComma;
    case '-': return kVkOemMinus;
    case '.': return kVkOemPeriod;
    case '/': return kVkOem2;
    case '`': return kVkOem3;
    case '[': return kVkOem4;
    case '\\': return kVkOem5;
    case ']': return kVkOem6;
    case '\'': return kVkOem7;
    default: break;
  }
  // Other layouts put their own characters on these keys (the c cedilla, accents): the key's place.
  switch (sc) {
    case SDL_SCANCODE_SEMICOLON: return kVkOem1;
    case SDL_SCANCODE_EQUALS: return kVkOemPlus;
    case SDL_SCANCODE_COMMA: return kVkOemComma;
    case SDL_SCANCODE_MINUS: return kVkOemMinus;
    case SDL_SCANCODE_PERIOD: return kVkOemPeriod;
    case SDL_SCANCODE_SLASH: return kVkOem2;
    case SDL_SCANCODE_GRAVE: return kVkOem3;
    case SDL_SCANCODE_LEFTBRACKET: return kVkOem4;
    case SDL_SCANCODE_BACKSLASH: return kVkOem5;
    case SDL_SCANCODE_RIGHTBRACKET: return kVkOem6;
    case SDL_SCANCODE_APOSTROPHE: return kVkOem7;
    case SDL_SCANCODE_NONUSBACKSLASH: return kVkOem102;
    case SDL_SCANCODE_INTERNATIONAL1: return kVkOem2;  // the ABNT2 keyboard's extra slash key
    default: return 0;
  }
}

void Add(KeyMessages* out, int kind, uint16_t vk, uint8_t mods, uint8_t ch) {
  if (out->Count >= static_cast<int>(sizeof out->Items / sizeof out->Items[0])) return;
  Message& m = out->Items[out->Count++];
  m = Message();
  m.kind = kind;
  m.key.vk = vk;
  m.key.mods = mods;
  m.key.ch = ch;
}

}  // namespace

uint8_t KeyModsFromSdl(uint16_t sdl_mod) {
  uint8_t mods = 0;
  if (sdl_mod & KMOD_SHIFT) mods |= kModShift;
  if (sdl_mod & KMOD_CTRL) mods |= kModCtrl;
  if (sdl_mod & KMOD_ALT) mods |= kModAlt;
  if (sdl_mod & KMOD_MODE) mods |= kModCtrl | kModAlt;
  return mods;
}

uint16_t VirtualKeyFromSdl(SDL_Keycode sym, SDL_Scancode sc, uint16_t sdl_mod) {
  if (sc >= SDL_SCANCODE_KP_DIVIDE && sc <= SDL_SCANCODE_KP_PERIOD)
    return KeypadKey(sc, (sdl_mod & KMOD_NUM) != 0);
  if (sym >= 'a' && sym <= 'z') return static_cast<uint16_t>(sym - 'a' + 'A');
  if (sym >= '0' && sym <= '9') return static_cast<uint16_t>(sym);
  if (sym >= SDLK_F1 && sym <= SDLK_F12) return static_cast<uint16_t>(VK_F1 + (sym - SDLK_F1));
  if (sym >= SDLK_F13 && sym <= SDLK_F24) return static_cast<uint16_t>(kVkF13 + (sym - SDLK_F13));
  switch (sym) {
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_RETURN: case SDLK_RETURN2: return VK_RETURN;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_END: return VK_END;
    case SDLK_HOME: return VK_HOME;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL: case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT: case SDLK_RALT: case SDLK_MODE: return VK_MENU;
    case SDLK_PAUSE: return (sdl_mod & KMOD_CTRL) ? uint16_t{VK_CANCEL} : uint16_t{kVkPause};
    case SDLK_CANCEL: return VK_CANCEL;
    case SDLK_CAPSLOCK: return kVkCapital;
    case SDLK_NUMLOCKCLEAR: return kVkNumLock;
    case SDLK_SCROLLLOCK: return kVkScroll;
    case SDLK_PRINTSCREEN: return kVkSnapshot;
    case SDLK_LGUI: return kVkLWin;
    case SDLK_RGUI: return kVkRWin;
    case SDLK_APPLICATION: case SDLK_MENU: return kVkApps;
    default: break;
  }
  // Layouts without Latin letters (or with other symbols on the digit row) still have the keys.
  if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return static_cast<uint16_t>('A' + (sc - SDL_SCANCODE_A));
  if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return static_cast<uint16_t>('1' + (sc - SDL_SCANCODE_1));
  if (sc == SDL_SCANCODE_0) return '0';
  return PunctuationKey(sym, sc);
}

int ControlCharOfKey(uint16_t vk, uint8_t mods) {
  // Alt without Ctrl makes system characters, which are not typed text.
  if ((mods & kModAlt) && !(mods & kModCtrl)) return -1;
  switch (vk) {
    case VK_RETURN: return 13;
    case VK_TAB: return (mods & kModCtrl) ? -1 : 9;
    case VK_BACK: return 8;
    case VK_ESCAPE: return 27;
    default: break;
  }
  // Ctrl with a letter gives its control character; with Alt as well (AltGr) the layout decides and
  // text input brings whatever it gives.
  if ((mods & kModCtrl) && !(mods & kModAlt)) {
    if (vk >= 'A' && vk <= 'Z') return vk - 'A' + 1;
    if (vk == kVkOem4) return 27;
    if (vk == kVkOem5) return 28;
    if (vk == kVkOem6) return 29;
    if (vk == VK_SPACE) return 32;
  }
  return -1;
}

bool TextInputAllowed(uint16_t sdl_mod) {
  if (sdl_mod & KMOD_MODE) return true;
  if (sdl_mod & KMOD_CTRL) return (sdl_mod & KMOD_RALT) != 0;
  return (sdl_mod & KMOD_LALT) == 0;
}

int KeyDownKind(uint16_t vk, uint8_t mods) {
  if (vk == VK_F10 && !(mods & kModCtrl)) return kMsgSysKeyDown;
  if ((mods & kModAlt) && !(mods & kModCtrl)) return kMsgSysKeyDown;
  return kMsgKeyDown;
}

void TranslateSdlKeyEvent(const SDL_Event& event, uint16_t* key_mod, KeyMessages* out) {
  out->Count = 0;
  switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      const SDL_Keysym& ks = event.key.keysym;
      uint16_t vk = VirtualKeyFromSdl(ks.sym, ks.scancode, ks.mod);
      if (vk == 0) return;
      if (event.type == SDL_KEYDOWN) *key_mod = ks.mod;
      uint8_t mods = KeyModsFromSdl(ks.mod);
      if (event.type == SDL_KEYUP) {
        Add(out, kMsgKeyUp, vk, mods, 0);
        return;
      }
      Add(out, KeyDownKind(vk, mods), vk, mods, 0);
      int ch = ControlCharOfKey(vk, mods);
      if (ch >= 0) Add(out, kMsgChar, vk, mods, static_cast<uint8_t>(ch));
      return;
    }
    case SDL_TEXTINPUT: {
      if (!TextInputAllowed(*key_mod)) return;
      uint8_t mods = KeyModsFromSdl(*key_mod);
      std::string text = Utf8ToCp1252(event.text.text, '?');
      for (unsigned char c : text)
        if (c >= 32 && c != 127) Add(out, kMsgChar, 0, mods, c);
      return;
    }
    default:
      return;
  }
}

}  // namespace falatro
