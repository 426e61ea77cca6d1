// Test support for the window front-end: a shared Xvfb, the console opened in the window, screenshots
// read back from the X server, real keys and mouse through xdotool.
#include "window_test_support.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <dlfcn.h>

#include <chrono>
#include <memory>

#include "console/keyboard.h"
#include "platform/console/window/window_frontend.h"
#include "xvfb_server.h"

namespace falatro {

namespace {
std::unique_ptr<XvfbServer> shared_server;

// SDL's own connection to the display and the window on it.
bool WindowX11(Display** display, ::Window* window) {
  if (!Win.Window) return false;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(Win.Window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  *display = info.info.x11.display;
  *window = info.info.x11.window;
  return true;
}

uint64_t Ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

bool EnsureXvfb(std::string* error) {
  if (shared_server) return true;
  // SDL loads the X extension libraries when its video starts and unloads them when it stops; the
  // tests open many windows, and a library unloaded leaves its few allocations nameless. Kept loaded,
  // they stay attributed to their library.
  for (const char* lib : {"libXext.so.6", "libXcursor.so.1", "libXi.so.6", "libXfixes.so.3", "libXrandr.so.2",
                          "libXss.so.1", "libXxf86vm.so.1", "libXrender.so.1", "libX11-xcb.so.1", "libxkbcommon.so.0",
                          "libdecor-0.so.0", "libwayland-client.so.0", "libGL.so.1", "libGLX_mesa.so.0",
                          "libLLVM-15.so.1", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"})
    dlopen(lib, RTLD_NOW | RTLD_NODELETE);
  auto server = std::make_unique<XvfbServer>();
  if (!server->Start(1280, 1024)) {
    if (error) *error = server->Error;
    return false;
  }
  shared_server = std::move(server);
  return true;
}

ConsoleSettings TestSettings() {
  ConsoleSettings s;
  s.Read = true;
  s.FontName = "DejaVu Sans Mono";
  s.FontWidth = 10;
  s.FontHeight = 20;
  s.FontWeight = 400;
  return s;
}

bool OpenWindowConsole(const ConsoleSettings& settings, std::string* error) {
  if (!EnsureXvfb(error)) return false;
  ResetConsoleState();
  ResetKeyboardState();
  Crt.Settings = settings;
  Crt.Frontend = WindowFrontend();
  Crt.exit_hook = [](int code) { throw ConsoleExit{code}; };
  InitConsole();
  if (!Win.IsOpen) {
    if (error) *error = "the window did not open";
    return false;
  }
  if (!FocusWindow()) {
    if (error) *error = "the window did not get the focus";
    return false;
  }
  return true;
}

void CloseWindowConsole() {
  if (!Crt.Created) return;
  try {
    DoneConsole();
  } catch (const ConsoleExit&) {
  }
}

bool PumpUntil(const std::function<bool()>& pred, int timeout_ms) {
  uint64_t end = Ms() + timeout_ms;
  for (;;) {
    ProcessMessages();
    if (pred()) return true;
    uint64_t now = Ms();
    if (now >= end) return false;
    WaitMessage(static_cast<int>(std::min<uint64_t>(end - now, 20)));
  }
}

void PumpFor(int ms) {
  PumpUntil([] { return false; }, ms);
}

unsigned long WindowXid() {
  Display* d;
  ::Window w;
  return WindowX11(&d, &w) ? w : 0;
}

bool FocusWindow() {
  Display* d;
  ::Window w;
  if (!WindowX11(&d, &w)) return false;
  // Without a window manager nobody gives the focus; the test does what one would.
  PumpUntil([&] {
    XWindowAttributes a;
    return XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
  }, 3000);
  XSetInputFocus(d, w, RevertToParent, CurrentTime);
  XSync(d, False);
  return PumpUntil([] { return Win.Focused && Crt.Focused; }, 3000);
}

bool UnfocusWindow() {
  Display* d;
  ::Window w;
  if (!WindowX11(&d, &w)) return false;
  XSetInputFocus(d, DefaultRootWindow(d), RevertToNone, CurrentTime);
  XSync(d, False);
  return PumpUntil([] { return !Win.Focused && !Crt.Focused; }, 3000);
}

int Xdotool(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"xdotool"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunXTool(argv);
}

bool BindKeysyms(const std::vector<std::string>& names) {
  Display* d;
  ::Window w;
  if (!WindowX11(&d, &w)) return false;
  int min_kc = 0, max_kc = 0, per = 0;
  XDisplayKeycodes(d, &min_kc, &max_kc);
  KeySym* map = XGetKeyboardMapping(d, min_kc, max_kc - min_kc + 1, &per);
  if (!map) return false;
  size_t next = 0;
  bool ok = true;
  for (int kc = max_kc; kc >= min_kc && next < names.size(); --kc) {
    bool empty = true;
    for (int i = 0; i < per; ++i)
      if (map[(kc - min_kc) * per + i] != NoSymbol) empty = false;
    if (!empty) continue;
    KeySym sym = XStringToKeysym(names[next].c_str());
    if (sym == NoSymbol) {
      ok = false;
      break;
    }
    KeySym syms[2] = {sym, sym};
    XChangeKeyboardMapping(d, kc, 2, syms, 1);
    ++next;
  }
  XFree(map);
  XSync(d, False);
  PumpFor(100);  // the window reads the new mapping
  return ok && next == names.size();
}

std::vector<uint8_t> TakeKeys() {
  std::vector<uint8_t> keys(Kbd.KeyBuffer, Kbd.KeyBuffer + Kbd.KeyCount);
  Kbd.KeyCount = 0;
  return keys;
}

int Screenshot::Count(int x, int y, int w, int h, Rgb c) const {
  int n = 0;
  for (int j = y; j < y + h && j < Height; ++j)
    for (int i = x; i < x + w && i < Width; ++i)
      if (SameRgb(At(i, j), c)) ++n;
  return n;
}

bool SameRgb(Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

Screenshot TakeScreenshot() {
  Screenshot shot;
  if (Win.FramePending) PresentWindow();
  Display* d;
  ::Window w;
  if (!WindowX11(&d, &w)) return shot;
  XSync(d, False);
  XWindowAttributes a;
  if (!XGetWindowAttributes(d, w, &a)) return shot;
  XImage* img = XGetImage(d, w, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
  if (!img) return shot;
  shot.Width = a.width;
  shot.Height = a.height;
  shot.Pixels.resize(static_cast<size_t>(a.width) * a.height);
  auto channel = [](unsigned long pixel, unsigned long mask) {
    if (!mask) return uint8_t{0};
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    unsigned long max = mask >> shift;
    return static_cast<uint8_t>(((pixel & mask) >> shift) * 255 / max);
  };
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) {
      unsigned long p = XGetPixel(img, x, y);
      shot.Pixels[static_cast<size_t>(y) * a.width + x] = {channel(p, img->red_mask), channel(p, img->green_mask),
                                                           channel(p, img->blue_mask)};
    }
  XDestroyImage(img);
  return shot;
}

}  // namespace falatro
