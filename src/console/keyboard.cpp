// The keyboard: key events become PC-style key codes in a 64-byte queue; Braille chords; clipboard.
#include "console/keyboard.h"

#include <algorithm>
#include <cstring>

#include "console/console_sound.h"
#include "console/frontend.h"
#include "console/nxcrt.h"

namespace falatro {

KeyboardState Kbd;

const char* const kBrailleWindowOnlyNotice =
    "A digita\xE7\xE3o em Braille s\xF3 funciona na janela; no terminal ela fica desligada.";

namespace {

constexpr uint8_t kNoChar = 0xFE;
constexpr uint8_t kSpaceBit = 0x40;
constexpr uint8_t kNumberSign = '#';
constexpr uint8_t kCapitalSign = '{';

// Characters of the 64 Braille cells, indexed by dot bits (dot 1 = 1 .. dot 6 = 32), in cp1252.
const uint8_t kBrailleTable[64] = {
    ' ',  'a',  ',',  'b',  '\'', 'k',  ';',  'l',   //
    '^',  'c',  'i',  'f',  0xED, 'm',  's',  'p',   //
    '~',  'e',  ':',  'h',  '*',  'o',  '!',  'r',   //
    0xAC, 'd',  'j',  'g',  0xE3, 'n',  't',  'q',   //
    0xFD, 0xE2, '?',  0xEA, '-',  'u',  '"',  'v',   //
    '{',  0xEE, 0xF5, 0xE0, 0xF3, 'x',  0xE8, 0xE7,  //
    '$',  0xFB, 0xFF, 0xFC, '}',  'z',  '=',  0xE1,  //
    '_',  0xF4, 'w',  0xEF, '#',  'y',  0xFA, 0xE9,  //
};

// Alt codes of the letters A..Z and of the digits 1..9, 0.
const uint8_t kAltLetter[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                                49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};

struct ExtendedKey {
  uint16_t vk;
  uint8_t plain;
  uint8_t ctrl;
};
const ExtendedKey kExtended[] = {
    {0x70, 59, 94},  {0x71, 60, 95},  {0x72, 61, 96},   {0x73, 62, 97},   {0x74, 63, 98},
    {0x75, 64, 99},  {0x76, 65, 100}, {0x77, 66, 101},  {0x78, 67, 102},  {0x79, 68, 103},
    {0x7A, 69, 104}, {0x7B, 70, 105}, {VK_INSERT, 82, 255}, {VK_DELETE, 83, 83},
    {VK_HOME, 71, 119}, {VK_END, 79, 117}, {VK_PRIOR, 73, 132}, {VK_NEXT, 81, 118},
    {VK_UP, 72, 113},  {VK_DOWN, 80, 114}, {VK_LEFT, 75, 115}, {VK_RIGHT, 77, 116},
};

void Store(uint8_t byte) {
  if (Kbd.KeyCount < KeyBufferSize) Kbd.KeyBuffer[Kbd.KeyCount++] = byte;
  ++Kbd.KeysStored;
}

uint8_t DotBit(uint16_t vk) {
  switch (vk) {
    case 'F': return 1;
    case 'D': return 2;
    case 'S': return 4;
    case 'J': return 8;
    case 'K': return 16;
    case 'L': return 32;
    case VK_SPACE: return kSpaceBit;
    default: return 0;
  }
}

bool IsLetterKey(uint16_t vk) { return vk >= 'A' && vk <= 'Z'; }

void ClearSigns() {
  Kbd.NumberMode = false;
  Kbd.CapitalSign = false;
  Kbd.CapitalLock = false;
}

// Number and capital signs of mode 2, applied to the character of a finished chord.
uint8_t ApplySigns(uint8_t ch) {
  if (Kbd.NumberMode) {
    if (ch == '\'') {
      ch = '.';
    } else if (ch >= 'a' && ch <= 'i') {
      ch = static_cast<uint8_t>('1' + (ch - 'a'));
    } else if (ch == 'j') {
      ch = '0';
    } else if (ch == '~') {
      Kbd.NumberMode = false;
    }
  }
  if ((Kbd.CapitalSign || Kbd.CapitalLock) && ch >= 'a' && ch <= 'z') ch = static_cast<uint8_t>(ch - 32);
  if (ch == kNumberSign) {
    Kbd.NumberMode = true;
    return kNoChar;
  }
  if (ch == kCapitalSign) {
    if (Kbd.CapitalSign) Kbd.CapitalLock = true;
    Kbd.CapitalSign = true;
    return kNoChar;
  }
  Kbd.CapitalSign = false;
  return ch;
}

void HandleChar(uint8_t ch, uint8_t mods) {
  if (Kbd.BrailleMode != 0 && (ch == ' ' || (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'))) return;
  if (Kbd.KeyCount >= KeyBufferSize) return;
  if (mods & kModCtrl) {
    if (ch == 8) ch = 127;
    else if (ch == 13) ch = 10;
  }
  Store(ch);
}

void HandleKeyDown(uint16_t vk, uint8_t mods) {
  bool ctrl = mods & kModCtrl, alt = mods & kModAlt;
  if (Crt.CheckBreak && vk == VK_CANCEL) TerminateConsole();
  if (alt) {
    if (ctrl && vk == VK_F12) {
      SetBrailleMode(0);
      return;
    }
    if (ctrl && vk == VK_F11) {
      SetBrailleMode(Kbd.BrailleMode + 1);
      return;
    }
    uint8_t code = 0;
    if (IsLetterKey(vk)) code = kAltLetter[vk - 'A'];
    else if (vk >= '1' && vk <= '9') code = static_cast<uint8_t>(120 + (vk - '1'));
    else if (vk == '0') code = 129;
    if (code) {
      if (Kbd.KeyCount <= KeyBufferSize - 2) {
        Store(0);
        Store(code);
      }
      return;
    }
  }
  if (!ctrl && Kbd.BrailleMode != 0) {
    if (uint8_t bit = DotBit(vk)) {
      Kbd.ChordDots |= bit;
      Kbd.KeysHeld |= bit;
      return;
    }
  }
  if (Kbd.KeyCount > KeyBufferSize - 2) return;
  for (const ExtendedKey& k : kExtended) {
    if (k.vk != vk) continue;
    uint8_t code = k.plain;
    if (ctrl) code = k.ctrl;
    else if (vk == VK_INSERT && (mods & kModShift)) code = kKeyShiftInsert;
    Store(0);
    Store(code);
    return;
  }
}

bool HandleKeyUp(uint16_t vk, uint8_t mods) {
  if (Kbd.BrailleMode == 0) return false;
  if ((mods & kModCtrl) || !(vk == VK_SPACE || IsLetterKey(vk))) {
    ClearSigns();
    return false;
  }
  Kbd.KeysHeld &= static_cast<uint8_t>(~DotBit(vk));
  if (Kbd.KeysHeld != 0) return true;
  uint8_t dots = Kbd.ChordDots;
  Kbd.ChordDots = 0;
  // Releasing a letter that is not a dot key, with no chord typed, is no chord at all: without this
  // it would read as the empty cell and queue a space nobody typed.
  if (dots == 0) return true;
  uint8_t ch = kNoChar;
  if (dots & kSpaceBit) {
    ClearSigns();
    if (dots == kSpaceBit) ch = ' ';
    else ch = kBrailleTable[dots & 63] & 0x1F;
  } else {
    ch = kBrailleTable[dots & 63];
    if (Kbd.BrailleMode == 2) ch = ApplySigns(ch);
  }
  if (ch != kNoChar && Kbd.KeyCount <= KeyBufferSize - 1) Store(ch);
  return true;
}

void ShowCaret(bool visible) {
  if (!Crt.Frontend || !Crt.Created) return;
  Crt.Frontend->SetCaret(visible, std::min(Crt.TextWindow.Left + Crt.CursorPos.X, ScreenCols - 1),
                         Crt.TextWindow.Top + Crt.CursorPos.Y);
}

void PlayModeTone(uint16_t hz) {
  PlayTone(hz);
  Delay(200);
  StopTone();
}

void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

void ResetKeyboardState() {
  if (!Kbd.ToneBuffer.empty()) StopTone();
  Kbd = KeyboardState{};
}

uint8_t BrailleChar(int dots) { return kBrailleTable[dots & 63]; }

bool TranslateKeyMessage(const Message& msg) {
  const KeyEvent& key = msg.key;
  Kbd.Mods = key.mods;
  switch (msg.kind) {
    case kMsgChar:
      HandleChar(key.ch, key.mods);
      return true;
    case kMsgKeyDown:
      HandleKeyDown(key.vk, key.mods);
      return true;
    case kMsgSysKeyDown:
      if (Crt.CheckBreak && key.vk != VK_LEFT && key.vk != VK_RIGHT) return false;
      HandleKeyDown(key.vk, key.mods);
      return true;
    case kMsgKeyUp:
      return HandleKeyUp(key.vk, key.mods);
    default:
      return false;
  }
}

void ProcessMessages() {
  if (!EventLoop.handler) SetMessageHandler(ConsoleWndProc);
  DispatchMessages();
}

void ProcessConsoleMessages() { ProcessMessages(); }

bool KeyPressed() {
  InitConsole();
  ProcessMessages();
  return Kbd.KeyCount > 0;
}

uint8_t ReadKey() {
  if (!KeyPressed()) {
    Crt.Reading = true;
    if (Crt.Focused) ShowCaret(true);
    do {
      WaitMessage(-1);
    } while (!KeyPressed());
    if (Crt.Focused) ShowCaret(false);
    Crt.Reading = false;
  }
  uint8_t byte = Kbd.KeyBuffer[0];
  --Kbd.KeyCount;
  std::memmove(Kbd.KeyBuffer, Kbd.KeyBuffer + 1, Kbd.KeyCount);
  return byte;
}

void Delay(uint16_t ms) {
  SleepMs(ms);
  ProcessMessages();
  ProcessConsoleMessages();
}

uint16_t ReadConsoleLine(char* buffer, uint16_t capacity) {
  int i = 0;
  uint8_t ch;
  for (;;) {
    ch = ReadKey();
    if (ch == 8) {
      if (i > 0) {
        --i;
        WriteConsoleChar(8);
      }
    } else if (ch == 0) {
      // The code that follows the 0 of an extended key is not a character of the line.
      ReadKey();
    } else if (ch >= 32 && i < capacity - 2) {
      buffer[i++] = static_cast<char>(ch);
      WriteConsoleChar(static_cast<char>(ch));
    }
    if (ch == 13 || (Crt.CheckEOF && ch == 26)) break;
  }
  if (i < capacity) buffer[i++] = static_cast<char>(ch);
  if (ch == 13) {
    if (i < capacity) buffer[i++] = 10;
    WriteConsoleText("\r\n", 2);
  }
  return static_cast<uint16_t>(i);
}

void CopyToClipboard(const char* text) {
  if (!text) return;
  Kbd.OwnClipboard = text;
  if (Crt.Frontend) Crt.Frontend->SetClipboard(Kbd.OwnClipboard);
}

void PasteFromClipboard(char* buffer, size_t capacity) {
  if (capacity == 0 || !buffer) return;
  std::string text;
  if (!Crt.Frontend || !Crt.Frontend->GetClipboard(&text)) text = Kbd.OwnClipboard;
  size_t len = std::strlen(text.c_str());  // a text ends at its first zero byte
  size_t n = std::min(len + 1, capacity);
  std::memcpy(buffer, text.c_str(), n);
  buffer[n - 1] = 0;
}

void SetBrailleMode(int mode) {
  if (mode > 2) mode = 1;
  if (mode < 0) mode = 0;
  if (mode != 0 && Crt.Frontend && !Crt.Frontend->HasKeyUpEvents()) {
    // Chords need key releases; without them letters would be swallowed and nothing typed.
    Crt.Frontend->Notice(kBrailleWindowOnlyNotice);
    mode = 0;
  }
  if (mode == 0) {
    Kbd.ChordDots = 0;
    Kbd.KeysHeld = 0;
    ClearSigns();
    bool was_on = Kbd.BrailleMode != 0;
    Kbd.BrailleMode = 0;
    if (was_on) PlayModeTone(100);
    return;
  }
  PlayModeTone(800);
  PlayModeTone(mode == 1 ? 1600 : 400);
  Kbd.BrailleMode = mode;
}

std::vector<uint8_t> BuildToneImage(uint16_t hz) {
  uint32_t f = hz ? hz : 1;
  std::vector<uint8_t> image(11071, 0);
  uint8_t* samples = image.data() + 44;
  const uint32_t period = 11025 / f;
  uint32_t k = 0;
  uint32_t start = 0;
  for (;;) {
    start = static_cast<uint32_t>(uint64_t{k} * 11025 / f);
    if (period > 10981 || start > 10981 - period) break;
    uint32_t next = static_cast<uint32_t>(uint64_t{k + 1} * 11025 / f);
    // A period runs up to the next one's start (11025 / f is rarely whole, so some are a sample
    // longer than period): the first half low, the rest high.
    for (uint32_t s = start; s < next; ++s) samples[s] = (s - start < period / 2) ? 96 : 160;
    ++k;
  }
  uint32_t data_length = start;
  if (data_length > 0) samples[data_length - 1] = 128;
  uint8_t* h = image.data();
  std::memcpy(h, "RIFF", 4);
  PutLe32(h + 4, data_length + 36);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  PutLe32(h + 16, 16);
  PutLe16(h + 20, 1);
  PutLe16(h + 22, 1);
  PutLe32(h + 24, 11025);
  PutLe32(h + 28, 11025);
  PutLe16(h + 32, 1);
  PutLe16(h + 34, 8);
  std::memcpy(h + 36, "data", 4);
  PutLe32(h + 40, data_length);
  return image;
}

void PlayTone(uint16_t hz) {
  StopTone();
  Kbd.ToneBuffer = BuildToneImage(hz);
  uint32_t data_length = Kbd.ToneBuffer[40] | (Kbd.ToneBuffer[41] << 8) | (Kbd.ToneBuffer[42] << 16) |
                         (static_cast<uint32_t>(Kbd.ToneBuffer[43]) << 24);
  if (ConsoleSoundSink* sink = GetConsoleSoundSink()) sink->PlayLoop(Kbd.ToneBuffer.data(), 44 + data_length);
}

void StopTone() {
  if (Kbd.ToneBuffer.empty()) return;
  if (ConsoleSoundSink* sink = GetConsoleSoundSink()) sink->StopLoop();
  Kbd.ToneBuffer.clear();
  Kbd.ToneBuffer.shrink_to_fit();
}

void InjectKeys(std::string_view bytes) {
  for (char c : bytes) Store(static_cast<uint8_t>(c));
}

void PostKeyDown(uint16_t vk, uint8_t mods) {
  Message m;
  m.kind = (mods & kModAlt) && !(mods & kModCtrl) ? kMsgSysKeyDown : kMsgKeyDown;
  if (vk == VK_F10 && !(mods & kModCtrl)) m.kind = kMsgSysKeyDown;
  m.key.vk = vk;
  m.key.mods = mods;
  PostMessage(m);
}

void PostKeyUp(uint16_t vk, uint8_t mods) {
  Message m;
  m.kind = kMsgKeyUp;
  m.key.vk = vk;
  m.key.mods = mods;
  PostMessage(m);
}

void PostChar(uint8_t ch, uint8_t mods) {
  Message m;
  m.kind = kMsgChar;
  m.key.ch = ch;
  m.key.mods = mods;
  PostMessage(m);
}

}  // namespace falatro
