// The window's beep: the display server's bell.
#include "platform/console/window/window_bell.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>

namespace falatro {

void WindowBell(SDL_Window* window) {
  if (!window) return;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11) {
    XBell(info.info.x11.display, 0);
    XFlush(info.info.x11.display);
  }
}

}  // namespace falatro
