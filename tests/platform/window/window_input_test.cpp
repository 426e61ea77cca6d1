// The window under a real X server: key presses and releases sent with xdotool (XTEST) become the
// console's key codes, Alt and Ctrl codes and Braille chords; closing and focus reach the console.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>

#include <cstdlib>

#include "console/keyboard.h"
#include "console/nxcrt.h"
#include "platform/console/window/window_frontend.h"
#include "window_test_support.h"
#include "xvfb_server.h"

namespace falatro {
namespace {

class WindowInput : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(OpenWindowConsole(TestSettings(), &error)) << error;
  }
  void TearDown() override { CloseWindowConsole(); }

  // Sends the xdotool words, then collects key bytes until `expected` of them came (and a little more
  // to catch extra ones).
  std::vector<uint8_t> Keys(const std::vector<std::string>& words, size_t expected) {
    EXPECT_EQ(Xdotool(words), 0);
    PumpUntil([&] { return static_cast<size_t>(Kbd.KeyCount) >= expected; }, 3000);
    PumpFor(100);
    return TakeKeys();
  }
};

struct KeyCase {
  const char* what;
  std::vector<std::string> words;
  std::vector<uint8_t> bytes;
};

TEST_F(WindowInput, RealKeysGiveThePcKeyCodes) {
  // Keys for characters the test keyboard lacks, as a Portuguese layout has them.
  ASSERT_TRUE(BindKeysyms({"atilde", "ccedilla", "EuroSign", "rightarrow"}));
  const KeyCase cases[] = {
      {"a letter", {"key", "a"}, {'a'}},
      {"a capital with Shift", {"key", "shift+a"}, {'A'}},
      {"a digit", {"key", "7"}, {'7'}},
      {"Enter", {"key", "Return"}, {13}},
      {"Ctrl+Enter gives LF", {"key", "ctrl+Return"}, {10}},
      {"Backspace", {"key", "BackSpace"}, {8}},
      {"Ctrl+Backspace gives 127", {"key", "ctrl+BackSpace"}, {127}},
      {"Tab from the character alone", {"key", "Tab"}, {9}},
      {"Esc", {"key", "Escape"}, {27}},
      {"Ctrl+A gives 1", {"key", "ctrl+a"}, {1}},
      {"Ctrl+Z gives 26", {"key", "ctrl+z"}, {26}},
      {"F1", {"key", "F1"}, {0, 59}},
      {"Ctrl+F1", {"key", "ctrl+F1"}, {0, 94}},
      {"F10 (a system key) passes only Left and Right, so nothing", {"key", "F10"}, {}},
      {"F12", {"key", "F12"}, {0, 70}},
      {"Ctrl+F12", {"key", "ctrl+F12"}, {0, 105}},
      {"Home", {"key", "Home"}, {0, 71}},
      {"Ctrl+Home", {"key", "ctrl+Home"}, {0, 119}},
      {"Up", {"key", "Up"}, {0, 72}},
      {"Ctrl+Left", {"key", "ctrl+Left"}, {0, 115}},
      {"Page Down", {"key", "Next"}, {0, 81}},
      {"Insert", {"key", "Insert"}, {0, 82}},
      {"Shift+Insert", {"key", "shift+Insert"}, {0, 254}},
      {"Ctrl+Insert", {"key", "ctrl+Insert"}, {0, 255}},
      {"Ctrl+Delete", {"key", "ctrl+Delete"}, {0, 83}},
      {"Delete", {"key", "Delete"}, {0, 83}},
      {"keypad Home with Num Lock off", {"key", "KP_Home"}, {0, 71}},
      {"Ctrl+Alt+Q gives the Alt code of Q", {"key", "ctrl+alt+q"}, {0, 16}},
      {"Ctrl+Alt+0 gives 129", {"key", "ctrl+alt+0"}, {0, 129}},
      {"Ctrl+Alt+A", {"key", "ctrl+alt+a"}, {0, 30}},
      {"Alt+Left is a system key that passes", {"key", "alt+Left"}, {0, 75}},
      {"Alt+X is a system key left to the desktop: nothing, then b", {"key", "alt+x", "b"}, {'b'}},
      {"characters cp1252 has, typed as text", {"key", "atilde", "ccedilla", "EuroSign"}, {0xE3, 0xE7, 0x80}},
      {"a character cp1252 lacks becomes ?", {"key", "rightarrow"}, {'?'}},
  };
  for (const KeyCase& c : cases) {
    std::vector<uint8_t> got = Keys(c.words, c.bytes.size());
    EXPECT_EQ(got, c.bytes) << c.what;
  }
}

TEST_F(WindowInput, AltGrCharactersOfABrazilianLayoutAreTyped) {
  const char* display = std::getenv("DISPLAY");
  ASSERT_NE(display, nullptr);
  ASSERT_EQ(RunXTool({"setxkbmap", "-display", display, "br"}), 0);
  PumpFor(200);  // the window reads the new layout
  const KeyCase cases[] = {
      {"AltGr+Q is the slash", {"key", "ISO_Level3_Shift+q"}, {'/'}},
      {"AltGr+E is the degree sign", {"key", "ISO_Level3_Shift+e"}, {0xB0}},
      {"the c cedilla key", {"key", "ccedilla"}, {0xE7}},
      {"Ctrl+Alt+Q still gives the Alt code", {"key", "ctrl+alt+q"}, {0, 16}},
  };
  for (const KeyCase& c : cases) EXPECT_EQ(Keys(c.words, c.bytes.size()), c.bytes) << c.what;
  RunXTool({"setxkbmap", "-display", display, "us"});
  PumpFor(200);
}

TEST_F(WindowInput, CtrlBreakEndsTheProgramWith255) {
  ASSERT_EQ(Xdotool({"key", "ctrl+Pause"}), 0);
  int code = -1;
  try {
    PumpFor(1500);
  } catch (const ConsoleExit& e) {
    code = e.code;
  }
  EXPECT_EQ(code, 255);
}

struct ChordCase {
  const char* what;
  int mode;
  std::vector<std::string> chords;  // each: the keys pressed together and then released
  std::vector<uint8_t> bytes;
};

TEST_F(WindowInput, ChordsOfRealKeysTypeBrailleCells) {
  const ChordCase cases[] = {
      {"S, D, F together: dots 1 2 3 are l", 1, {"s d f"}, {'l'}},
      {"F and D: b", 1, {"f d"}, {'b'}},
      {"the space bar alone: a space", 1, {"space"}, {' '}},
      {"space with F: Ctrl+A", 1, {"space f"}, {1}},
      {"J K L: dots 4 5 6 are _ in mode 1", 1, {"j k l"}, {'_'}},
      {"mode 2: number sign, a, b give 1 2", 2, {"s j k l", "f", "f d"}, {'1', '2'}},
      {"mode 2: capital sign then a gives A", 2, {"j l", "f"}, {'A'}},
      {"mode 2: the same chords in mode 1 are the signs", 1, {"s j k l", "j l"}, {'#', '{'}},
  };
  for (const ChordCase& c : cases) {
    SetBrailleMode(c.mode);
    TakeKeys();
    for (const std::string& chord : c.chords) {
      std::vector<std::string> down = {"keydown"}, up = {"keyup"};
      size_t start = 0;
      while (start < chord.size()) {
        size_t end = chord.find(' ', start);
        if (end == std::string::npos) end = chord.size();
        down.push_back(chord.substr(start, end - start));
        up.push_back(chord.substr(start, end - start));
        start = end + 1;
      }
      int before = Kbd.KeyCount;
      ASSERT_EQ(Xdotool(down), 0);
      PumpUntil([] { return Kbd.KeysHeld != 0; }, 2000);
      PumpFor(50);
      // Nothing is typed while keys are still held.
      EXPECT_EQ(Kbd.KeyCount, before) << c.what << ": keys held";
      ASSERT_EQ(Xdotool(up), 0);
      PumpUntil([] { return Kbd.ChordDots == 0 && Kbd.KeysHeld == 0; }, 2000);
      PumpFor(50);
    }
    EXPECT_EQ(TakeKeys(), c.bytes) << c.what;
    SetBrailleMode(0);
  }
}

TEST_F(WindowInput, LettersTypedInBrailleModeAreNotTypedAsText) {
  SetBrailleMode(1);
  TakeKeys();
  ASSERT_EQ(Xdotool({"key", "a"}), 0);  // a is not a dot key: its chord is empty
  ASSERT_EQ(Xdotool({"key", "1"}), 0);  // digits are still typed
  PumpUntil([] { return Kbd.KeyCount >= 1; });
  PumpFor(100);
  EXPECT_EQ(TakeKeys(), std::vector<uint8_t>{'1'});
  SetBrailleMode(0);
}

// What a window manager sends when the user closes the window.
void SendDeleteWindow() {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  ASSERT_TRUE(SDL_GetWindowWMInfo(Win.Window, &info));
  Display* d = info.info.x11.display;
  XEvent ev = {};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = info.info.x11.window;
  ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  ev.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, info.info.x11.window, False, NoEventMask, &ev);
  // Wait for the server's answer here, while the caller's error handler is still the one in force.
  XSync(d, False);
}

int IgnoreXError(Display*, XErrorEvent*) { return 0; }

TEST_F(WindowInput, ClosingTheWindowEndsTheProgramNormally) {
  // The window manager's close request can meet the window while SDL is still settling it (the X
  // server then answers BadWindow, which by default ends the process): ask again until it is heard.
  XErrorHandler previous = XSetErrorHandler(IgnoreXError);
  int code = -1;
  for (int attempt = 0; attempt < 5 && code < 0; ++attempt) {
    SendDeleteWindow();
    try {
      PumpFor(500);
    } catch (const ConsoleExit& e) {
      code = e.code;
    }
  }
  XSetErrorHandler(previous);
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(Win.IsOpen);
}

TEST_F(WindowInput, FocusLeavingAndComingBackReachesTheConsole) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  ASSERT_TRUE(SDL_GetWindowWMInfo(Win.Window, &info));
  Display* d = info.info.x11.display;
  // Another client's window takes the focus.
  ::Window other = XCreateSimpleWindow(d, DefaultRootWindow(d), 900, 900, 50, 50, 0, 0, 0);
  XMapWindow(d, other);
  XSync(d, False);
  PumpFor(100);
  XSetInputFocus(d, other, RevertToParent, CurrentTime);
  XSync(d, False);
  EXPECT_TRUE(PumpUntil([] { return !Crt.Focused; }));
  EXPECT_FALSE(Win.Focused);
  // Keys typed now go elsewhere.
  Xdotool({"key", "a"});
  PumpFor(100);
  EXPECT_EQ(Kbd.KeyCount, 0);
  XSetInputFocus(d, info.info.x11.window, RevertToParent, CurrentTime);
  XSync(d, False);
  EXPECT_TRUE(PumpUntil([] { return Crt.Focused; }));
  XDestroyWindow(d, other);
  XSync(d, False);
}

TEST_F(WindowInput, ClipboardCarriesCp1252TextThroughUtf8) {
  CopyToClipboard("a\xE7\xE3o \x80 5");
  // What other programs see is UTF-8.
  char* utf8 = SDL_GetClipboardText();
  ASSERT_NE(utf8, nullptr);
  EXPECT_STREQ(utf8, "a\xC3\xA7\xC3\xA3o \xE2\x82\xAC 5");
  SDL_free(utf8);
  // Text another program put there comes back as cp1252; what cp1252 lacks becomes ?.
  SDL_SetClipboardText("p\xC3\xA3o \xE2\x86\x92 x");
  char buf[32];
  PasteFromClipboard(buf, sizeof buf);
  EXPECT_STREQ(buf, "p\xE3o ? x");
  PasteFromClipboard(buf, 4);
  EXPECT_STREQ(buf, "p\xE3o");
}

}  // namespace
}  // namespace falatro
